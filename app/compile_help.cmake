# Runs chmcmd on the help project and installs the result. chmcmd reports
# missing pages and pictures only as messages (and a missing project with
# status 0), so any line beyond its banner and "Writing CHM" fails the build.
file(REMOVE ${PROJECT_DIR}/${COMPILED})
execute_process(COMMAND ${CHMCMD} ${PROJECT}
  WORKING_DIRECTORY ${PROJECT_DIR}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
string(REPLACE "\n" ";" lines "${out}")
set(complaints)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^chmcmd, a CHM compiler" OR line MATCHES "^Writing CHM ")
    continue()
  endif()
  list(APPEND complaints "${line}")
endforeach()
if(NOT status EQUAL 0 OR complaints OR NOT EXISTS ${PROJECT_DIR}/${COMPILED})
  message(FATAL_ERROR "chmcmd failed on ${PROJECT_DIR}/${PROJECT} (status ${status}):\n${out}")
endif()
file(COPY_FILE ${PROJECT_DIR}/${COMPILED} ${DESTINATION})
