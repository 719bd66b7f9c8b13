# The Linux build drives the build for Windows: a second CMake build with the mingw-w64 toolchain
# into ${CMAKE_BINARY_DIR}/win, rebuilt (a no-op when nothing changed) with every Linux build.
# Its helper velmor-surface-host.exe is copied beside the Linux programs, which start it under
# wine for a Windows DLL, and installed beside them.
#
#   VELMOR_WINDOWS_BUILD  ON when the mingw-w64 compiler is there; OFF skips all of it.
#   VELMOR_WIN_DIR        the Windows build's folder
#   VELMOR_WIN_LIB_DIR    its surface DLLs (tests get it as the compile definition of that name)
#   VELMOR_WINDOWS_TEST_PROGRAMS  its test programs, run under wine (tests/windows/wine_tests.cmake)
find_program(VELMOR_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(VELMOR_MINGW_CXX)
  set(velmor_windows_default ON)
else()
  set(velmor_windows_default OFF)
endif()
option(VELMOR_WINDOWS_BUILD "Cross-build the helper, DLLs and portable tests for Windows"
       ${velmor_windows_default})
if(VELMOR_WINDOWS_BUILD AND NOT VELMOR_MINGW_CXX)
  message(FATAL_ERROR "VELMOR_WINDOWS_BUILD needs x86_64-w64-mingw32-g++-posix "
                      "(Debian package g++-mingw-w64-x86-64-posix)")
endif()
if(NOT VELMOR_WINDOWS_BUILD)
  return()
endif()

include(ExternalProject)
set(VELMOR_WIN_DIR ${CMAKE_BINARY_DIR}/win)
set(VELMOR_WIN_LIB_DIR ${VELMOR_WIN_DIR}/lib)
set(VELMOR_WIN_HOST ${VELMOR_WIN_DIR}/bin/velmor-surface-host.exe)
# The Windows build's test programs (tests/windows), each run as one test under wine.
set(VELMOR_WINDOWS_TEST_PROGRAMS test_win_core test_win_system)
set(velmor_windows_outputs ${VELMOR_WIN_HOST})
foreach(program ${VELMOR_WINDOWS_TEST_PROGRAMS})
  list(APPEND velmor_windows_outputs ${VELMOR_WIN_DIR}/bin/${program}.exe)
endforeach()
cmake_host_system_information(RESULT velmor_cores QUERY NUMBER_OF_LOGICAL_CORES)
ExternalProject_Add(velmor_windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${VELMOR_WIN_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j ${velmor_cores}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${velmor_windows_outputs})

add_custom_target(velmor_windows_host ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELMOR_WIN_HOST}
          ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/velmor-surface-host.exe
  BYPRODUCTS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/velmor-surface-host.exe
  COMMENT "Copying velmor-surface-host.exe beside the programs"
  VERBATIM)
add_dependencies(velmor_windows_host velmor_windows)
install(PROGRAMS ${VELMOR_WIN_HOST} DESTINATION bin)
