# velmor-cli and the helper built with the address and undefined-behaviour sanitizers, into
# ${CMAKE_BINARY_DIR}/sanitized (a second build of the same sources, without the windows, the
# benchmarks or the Windows build), rebuilt (a no-op when nothing changed) with every Linux
# build. The test `sanitized_faults` (tests/CMakeLists.txt) runs the libraries that write past
# their records, over the shared memory and into the helper's channels through it.
#
#   VELMOR_SANITIZED_TESTS  ON (default) when the compiler has the sanitizers' libraries
#   VELMOR_SANITIZED_DIR    that build's folder
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=address,undefined")
set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=address,undefined")
check_cxx_source_compiles("int main() { return 0; }" VELMOR_HAVE_SANITIZERS)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
option(VELMOR_SANITIZED_TESTS "Test velmor-cli and the helper built with the sanitizers"
       ${VELMOR_HAVE_SANITIZERS})
if(NOT VELMOR_SANITIZED_TESTS OR VELMOR_SANITIZE)
  return()
endif()

include(ExternalProject)
set(VELMOR_SANITIZED_DIR ${CMAKE_BINARY_DIR}/sanitized)
ExternalProject_Add(velmor_sanitized
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${VELMOR_SANITIZED_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DVELMOR_SANITIZE=ON
    -DVELMOR_BUILD_UI=OFF
    -DVELMOR_BUILD_BENCH=OFF
    -DVELMOR_WINDOWS_BUILD=OFF
    -DVELMOR_SANITIZED_TESTS=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target velmor-cli velmor-surface-host
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${VELMOR_SANITIZED_DIR}/bin/velmor-cli
                   ${VELMOR_SANITIZED_DIR}/bin/velmor-surface-host)
