# `cmake --install build --prefix DIR` lays out a self-contained program folder,
# DIR/lib/fernweave: the program, its help file and the sample objects, all
# beside each other as the program expects. Links in DIR/bin, a desktop
# launcher, the object-file type, AppStream data, icons, manual pages and the
# licence make it a desktop program. `cpack -G DEB` packages the same rules.
include(GNUInstallDirs)

# The same folder whatever GNUInstallDirs calls the library folder (lib64,
# lib/x86_64-linux-gnu): the launcher and the links point into it.
set(FERNWEAVE_HOME "lib/fernweave")

install(TARGETS fernweave fernweave-render RUNTIME DESTINATION "${FERNWEAVE_HOME}")
install(FILES "$<TARGET_FILE_DIR:fernweave>/Fernweave.chm" DESTINATION "${FERNWEAVE_HOME}" OPTIONAL)
install(DIRECTORY "$<TARGET_FILE_DIR:fernweave>/Objects/" DESTINATION "${FERNWEAVE_HOME}/Objects" OPTIONAL)
# The marker tells the program it is installed: its dialogs then start in the
# user's own folders rather than in the program folder.
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/fernweave.installed"
     "Fernweave is installed here: its file dialogs start in the user's own folders.\n")
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/fernweave.installed" DESTINATION "${FERNWEAVE_HOME}")

install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"../${FERNWEAVE_HOME}/fernweave\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/fernweave\" SYMBOLIC)
  file(CREATE_LINK \"../${FERNWEAVE_HOME}/fernweave-render\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/fernweave-render\" SYMBOLIC)
")

# The launcher starts the program through its link in bin: by its bare name
# where that folder is /usr/bin (on every PATH), else by the link's full path.
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/resources/desktop/fernweave.desktop.in\" launcher)
  set(launch \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/fernweave\")
  if(launch STREQUAL \"/usr/bin/fernweave\")
    set(launch fernweave)
  endif()
  string(REPLACE \"@FERNWEAVE_LAUNCH@\" \"\${launch}\" launcher \"\${launcher}\")
  file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/fernweave.desktop\" \"\${launcher}\")
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/fernweave.desktop\")
")
set(desktop "${PROJECT_SOURCE_DIR}/resources/desktop")
install(FILES "${desktop}/fernweave-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages" RENAME fernweave.xml)
install(FILES "${desktop}/com.lumenfold.fernweave.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# Icons: the SVG, and the pixel sizes drawn from it at build time.
install(FILES "${PROJECT_SOURCE_DIR}/resources/icons/fernweave.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
set(icon_outputs)
foreach(size 16 32 48 64 128 256)
  set(dir "${PROJECT_BINARY_DIR}/icons/${size}x${size}")
  add_custom_command(OUTPUT "${dir}/fernweave.png"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${dir}"
    COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:svg_preview> ${size} "${dir}" "${PROJECT_SOURCE_DIR}/resources/icons/fernweave.svg"
    DEPENDS svg_preview "${PROJECT_SOURCE_DIR}/resources/icons/fernweave.svg"
    COMMENT "Drawing the ${size} px icon" VERBATIM)
  list(APPEND icon_outputs "${dir}/fernweave.png")
  install(FILES "${dir}/fernweave.png" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
endforeach()

# Manual pages and the package's changelog, compressed as Debian wants them
# (gzip -9 without a time stamp, so the package is the same at every build).
set(gzip_outputs)
function(fernweave_gzip source destination)
  get_filename_component(name "${source}" NAME)
  set(out "${PROJECT_BINARY_DIR}/gz/${name}")
  add_custom_command(OUTPUT "${out}.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy "${source}" "${out}"
    COMMAND gzip -9nf "${out}"
    DEPENDS "${source}" COMMENT "Compressing ${name}" VERBATIM)
  set(gzip_outputs ${gzip_outputs} "${out}.gz" PARENT_SCOPE)
  install(FILES "${out}.gz" DESTINATION "${destination}")
endfunction()
fernweave_gzip("${PROJECT_SOURCE_DIR}/resources/man/fernweave.1" "${CMAKE_INSTALL_MANDIR}/man1")
fernweave_gzip("${PROJECT_SOURCE_DIR}/resources/man/fernweave-render.1" "${CMAKE_INSTALL_MANDIR}/man1")
fernweave_gzip("${PROJECT_SOURCE_DIR}/resources/debian/changelog" "${CMAKE_INSTALL_DATADIR}/doc/fernweave")
install(FILES "${PROJECT_SOURCE_DIR}/resources/debian/copyright" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/fernweave")
add_custom_target(fernweave_install_files ALL DEPENDS ${icon_outputs} ${gzip_outputs})
