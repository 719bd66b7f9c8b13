# The tests that run wine, registered in the Linux build (included by tests/CMakeLists.txt when
# the Windows build is on): the wine-prefix fixture and the Windows test programs, each run as
# one test under wine. Every such test has the label `win` and requires the fixture `wine`; a
# test of the Linux build that starts wine does the same and takes the prefix from
# VELMOR_WINE_PREFIX (see VELMOR_WINE_ENVIRONMENT below).
#
#   VELMOR_WINE64           wine's 64-bit loader (wine64 on PATH, else Debian's folder)
#   VELMOR_WINE_PREFIX_DIR  the tests' prefix, build/win/wine-prefix
#   VELMOR_WINE_ENVIRONMENT ENVIRONMENT for such a test; DISPLAY is unset besides
find_program(VELMOR_WINE64 wine64 PATHS /usr/lib/wine)
find_program(VELMOR_WINESERVER wineserver PATHS /usr/lib/wine)
if(NOT VELMOR_WINE64 OR NOT VELMOR_WINESERVER)
  message(STATUS "wine64 not found: the tests under wine are left out")
  return()
endif()

set(VELMOR_WINE_PREFIX_DIR ${VELMOR_WIN_DIR}/wine-prefix)
set(VELMOR_WINE_ENVIRONMENT
  WINEPREFIX=${VELMOR_WINE_PREFIX_DIR}
  VELMOR_WINE_PREFIX=${VELMOR_WINE_PREFIX_DIR}
  WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml=")

set(script ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_prefix.sh)
add_test(NAME wine_prefix
  COMMAND ${script} start ${VELMOR_WINE64} ${VELMOR_WINESERVER} ${VELMOR_WINE_PREFIX_DIR})
add_test(NAME wine_prefix_end
  COMMAND ${script} stop ${VELMOR_WINE64} ${VELMOR_WINESERVER} ${VELMOR_WINE_PREFIX_DIR})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine LABELS win TIMEOUT 300)
set_tests_properties(wine_prefix_end PROPERTIES FIXTURES_CLEANUP wine LABELS win)

# Makes `test` one that runs wine.
function(velmor_wine_test test)
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED wine
    LABELS win
    ENVIRONMENT "${VELMOR_WINE_ENVIRONMENT}"
    ENVIRONMENT_MODIFICATION "DISPLAY=unset:")
endfunction()

# The Windows test programs (tests/windows), built by the Windows build.
foreach(program ${VELMOR_WINDOWS_TEST_PROGRAMS})
  add_test(NAME ${program} COMMAND ${VELMOR_WINE64} ${VELMOR_WIN_DIR}/bin/${program}.exe)
  velmor_wine_test(${program})
  set_tests_properties(${program} PROPERTIES TIMEOUT 300)
endforeach()
