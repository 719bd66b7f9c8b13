# The conic of the comparison tests, in two record versions: one C file (conic_surface.c).
# Included by the folder that builds the test libraries (for Linux and for Windows); each
# library is added to VELMOR_TEST_LIBS.
set(VELMOR_CONIC_LIBS
  conic_surface:
  "conic_surface3:CONIC_FD=FIXED_DATA3,CONIC_ENTRY=UserDefinedSurface3")
foreach(entry ${VELMOR_CONIC_LIBS})
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 name)
  list(LENGTH parts count)
  add_library(${name} SHARED ${CMAKE_CURRENT_LIST_DIR}/conic_surface.c)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/examples/include)
  set_target_properties(${name} PROPERTIES PREFIX "" C_VISIBILITY_PRESET hidden
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  target_link_libraries(${name} PRIVATE m)
  if(count GREATER 1)
    list(GET parts 1 switches)
    string(REPLACE "," ";" switches "${switches}")
    target_compile_definitions(${name} PRIVATE ${switches})
  endif()
  list(APPEND VELMOR_TEST_LIBS ${name})
endforeach()
