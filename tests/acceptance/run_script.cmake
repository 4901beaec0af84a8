# Runs one acceptance script with `corvella run` and compares what it printed with the .expected
# file beside it, byte for byte. The script gets two arguments, each ending with a backslash: the
# folder of the test images and an empty scratch folder.
#   cmake -DCLI=corvella -DSCRIPT=x.vbs -DIMAGES=dir -DWORK_DIR=dir -P run_script.cmake
foreach(variable CLI SCRIPT IMAGES WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(
  COMMAND "${CLI}" run "${SCRIPT}" "${IMAGES}\\" "${WORK_DIR}\\"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)

string(REGEX REPLACE "\\.vbs$" ".expected" expected_file "${SCRIPT}")
file(READ "${expected_file}" expected)
set(failures "")
if(NOT status STREQUAL "0")
  string(APPEND failures "exit status ${status}, not 0\n")
endif()
if(NOT errors STREQUAL "")
  string(APPEND failures "standard error:\n${errors}\n")
endif()
if(NOT output MATCHES "(^|\n)DONE\n$")
  string(APPEND failures "the output does not end with the line DONE\n")
endif()
if(NOT output STREQUAL expected)
  file(WRITE "${WORK_DIR}/actual.txt" "${output}")
  execute_process(COMMAND diff -u "${expected_file}" "${WORK_DIR}/actual.txt"
                  OUTPUT_VARIABLE difference)
  string(APPEND failures "the output differs from ${expected_file}:\n${difference}\n")
endif()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
