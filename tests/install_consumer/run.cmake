# Installs the build into a scratch prefix (not the one it was configured for), then builds and
# runs two consumers of what was installed there: a CMake project through find_package, and a
# plain compiler command with the flags that pkg-config gives.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${what} failed: ${rc}")
  endif()
endfunction()
run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run("configuring the CMake consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run("building the CMake consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run("the CMake consumer" ${WORK_DIR}/build/consumer)

file(GLOB pcdir LIST_DIRECTORIES true ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
if(NOT pcdir)
  message(FATAL_ERROR "no pkg-config file installed")
endif()
set(ENV{PKG_CONFIG_PATH} ${pcdir})
execute_process(COMMAND pkg-config --cflags --libs corvella OUTPUT_VARIABLE flags
                RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(rc)
  message(FATAL_ERROR "pkg-config does not know the package")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
foreach(flag IN LISTS flags)
  if(flag MATCHES "^-[IL](.*)" AND NOT EXISTS "${CMAKE_MATCH_1}")
    message(FATAL_ERROR "pkg-config points at ${CMAKE_MATCH_1}, which is not installed")
  endif()
endforeach()
run("building the pkg-config consumer" c++ -std=c++20 ${SOURCE_DIR}/main.cpp ${flags}
    -o ${WORK_DIR}/pc_consumer)
set(ENV{LD_LIBRARY_PATH} ${pcdir}/..)
run("the pkg-config consumer" ${WORK_DIR}/pc_consumer)
