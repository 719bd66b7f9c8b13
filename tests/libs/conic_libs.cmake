# The conic of the comparison tests, in two record versions: one C file (conic_surface.c).
# Included by the folder that builds the test libraries (for Linux and for Windows); each
# library is added to VELMOR_TEST_LIBS.
set(VELMOR_CONIC_LIBS
  conic_surface:
  "conic_surface3:CONIC_FD=FIXED_DATA3,CONIC_ENTRY=UserDefinedSurface3")
include(${CMAKE_CURRENT_LIST_DIR}/variant_libs.cmake)
velmor_variant_libs(${CMAKE_CURRENT_LIST_DIR}/conic_surface.c ${VELMOR_CONIC_LIBS})
