# `cpack -G DEB` in the build folder: fernweave_VERSION_ARCH.deb from the
# install rules, installing under /usr.
set(CPACK_PACKAGE_NAME fernweave)
set(CPACK_PACKAGE_VENDOR Lumenfold)
set(CPACK_PACKAGE_CONTACT "Lumenfold <fernweave@lumenfold.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "draw fractals of iterated function systems with triangles")
set(CPACK_PACKAGE_DESCRIPTION
"Fernweave draws the fractals of iterated function systems (IFS). The user
draws a base triangle on the canvas with the mouse, then one triangle for each
affine map, the map that carries the base triangle onto it. A right click
starts the chaos game, which paints the attractor live onto the canvas until
it is stopped.

Each map has its own colour; undo and redo switch between the last rendering
and the picture before it. Objects are exported to files and imported again;
pictures are loaded and saved as BMP, JPEG and PNG with their resolution, and
printed at their size. A help file with four tutorials is included, and
fernweave-render renders objects into pictures from the command line.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.lumenfold.com/fernweave/")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds what the linker sees; Qt's SVG plugin (every toolbar
# icon) and chmlib (the help, loaded with dlopen) it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libchm1")
# xdg-open shows the web page; Qt's own dialogs speak the user's language with
# Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
