# The help file Fernweave.chm beside the program, compiled by chmcmd from the
# pages in resources/help, and the tutorial objects in Objects/ beside it.
# Each tutorial's pictures and page are made from its text drawing: the
# renderings by fernweave-render, the steps by fernweave-tutorial-frames.
find_program(CHMCMD chmcmd REQUIRED)

set(HELP_SOURCE ${PROJECT_SOURCE_DIR}/resources/help)
set(HELP_STAGE ${CMAKE_CURRENT_BINARY_DIR}/help)
set(HELP_RENDERS ${CMAKE_CURRENT_BINARY_DIR}/help-renders)
set(HELP_OBJECTS ${CMAKE_CURRENT_BINARY_DIR}/Objects)
set(HELP_FILE ${CMAKE_CURRENT_BINARY_DIR}/Fernweave.chm)

set(HELP_PAGES
  index.html main_window.html drawing.html colour_panel.html edit_object.html
  menu_file.html menu_edit.html menu_render.html menu_view.html menu_tutorials.html menu_help.html
  toolbar.html objects.html exchanging.html pictures.html posters.html printing.html shortcuts.html
)
set(HELP_TUTORIALS snowflake leaf tree grass)
set(HELP_ICONS new load save export import print start stop tutorials help about)

set(staged)
macro(stage_help_file source target)
  add_custom_command(OUTPUT ${HELP_STAGE}/${target}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${HELP_STAGE}/${target}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND staged ${HELP_STAGE}/${target})
endmacro()

foreach(file fernweave.hhp contents.hhc help.css edit_object.png ${HELP_PAGES})
  stage_help_file(${HELP_SOURCE}/${file} ${file})
endforeach()
foreach(icon ${HELP_ICONS})
  stage_help_file(${PROJECT_SOURCE_DIR}/resources/icons/${icon}.svg icons/${icon}.svg)
endforeach()
foreach(bitmap color panel swap)
  stage_help_file(${PROJECT_SOURCE_DIR}/resources/bitmaps/${bitmap}.bmp panel/${bitmap}.bmp)
endforeach()

foreach(t ${HELP_TUTORIALS})
  set(drawing ${HELP_SOURCE}/tutorials/${t}.txt)
  # The chaos game a moment after the start, a little later, and finished.
  set(renders ${HELP_RENDERS}/${t}_early.bmp ${HELP_RENDERS}/${t}_growing.bmp ${HELP_RENDERS}/${t}.bmp)
  add_custom_command(OUTPUT ${renders} ${HELP_OBJECTS}/${t}.ifs
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HELP_RENDERS} ${HELP_OBJECTS}
    COMMAND fernweave-render ${drawing} -o ${HELP_RENDERS}/${t}_early.bmp --steps 3000
    COMMAND fernweave-render ${drawing} -o ${HELP_RENDERS}/${t}_growing.bmp --steps 40000
    COMMAND fernweave-render ${drawing} -o ${HELP_RENDERS}/${t}.bmp --export ${HELP_OBJECTS}/${t}.ifs
    DEPENDS fernweave-render ${drawing}
    COMMENT "Rendering the ${t} tutorial"
    VERBATIM)
  add_custom_command(
    OUTPUT ${HELP_STAGE}/tutorial_${t}.html ${HELP_STAGE}/${t}.gif ${HELP_STAGE}/${t}_result.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HELP_STAGE}
    COMMAND fernweave-tutorial-frames ${drawing} ${HELP_SOURCE}/tutorials/${t}.html ${HELP_STAGE} ${t} ${renders}
    DEPENDS fernweave-tutorial-frames ${drawing} ${HELP_SOURCE}/tutorials/${t}.html ${renders}
    COMMENT "Drawing the steps of the ${t} tutorial"
    VERBATIM)
  list(APPEND staged ${HELP_STAGE}/tutorial_${t}.html ${HELP_STAGE}/${t}.gif ${HELP_STAGE}/${t}_result.png
    ${HELP_OBJECTS}/${t}.ifs)
endforeach()

add_custom_command(OUTPUT ${HELP_FILE}
  COMMAND ${CMAKE_COMMAND} -DCHMCMD=${CHMCMD} -DPROJECT_DIR=${HELP_STAGE} -DPROJECT=fernweave.hhp
    -DCOMPILED=Fernweave.chm -DDESTINATION=${HELP_FILE} -P ${CMAKE_CURRENT_SOURCE_DIR}/compile_help.cmake
  DEPENDS ${staged} ${CMAKE_CURRENT_SOURCE_DIR}/compile_help.cmake
  COMMENT "Compiling the help file Fernweave.chm"
  VERBATIM)
add_custom_target(fernweave_help ALL DEPENDS ${HELP_FILE})
