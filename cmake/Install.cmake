# `cmake --install build --prefix DIR` lays out a self-contained program folder,
# DIR/lib/fernweave: the program, its help file, the sample objects and a
# folder for pictures, all beside each other as the program expects. A link in
# DIR/bin, a desktop launcher and the icon make it a desktop program.
include(GNUInstallDirs)

set(FERNWEAVE_HOME "${CMAKE_INSTALL_LIBDIR}/fernweave")

install(TARGETS fernweave fernweave-render RUNTIME DESTINATION "${FERNWEAVE_HOME}")
install(FILES "$<TARGET_FILE_DIR:fernweave>/Fernweave.chm" DESTINATION "${FERNWEAVE_HOME}" OPTIONAL)
install(DIRECTORY "$<TARGET_FILE_DIR:fernweave>/Objects/" DESTINATION "${FERNWEAVE_HOME}/Objects" OPTIONAL)
install(DIRECTORY DESTINATION "${FERNWEAVE_HOME}/Pictures")

install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"../${FERNWEAVE_HOME}/fernweave\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/fernweave\" SYMBOLIC)
  file(CREATE_LINK \"../${FERNWEAVE_HOME}/fernweave-render\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/fernweave-render\" SYMBOLIC)
")

# The launcher names the program by its full installed path.
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/resources/desktop/fernweave.desktop.in\" launcher)
  string(REPLACE \"@FERNWEAVE_LAUNCH@\" \"\${CMAKE_INSTALL_PREFIX}/${FERNWEAVE_HOME}/fernweave\" launcher \"\${launcher}\")
  file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/fernweave.desktop\" \"\${launcher}\")
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/fernweave.desktop\")
")
install(FILES "${PROJECT_SOURCE_DIR}/resources/icons/fernweave.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
