# velmor_variant_libs(SOURCE ENTRY...): surface libraries built from one C file, each entry
# "name:SWITCH,SWITCH" (the switches defined for that library; none after a bare "name:").
# Each library goes beside the others and is added to VELMOR_TEST_LIBS.
# Included by the folders that build the test libraries (for Linux and for Windows).
macro(velmor_variant_libs source)
  foreach(entry ${ARGN})
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    list(LENGTH parts count)
    add_library(${name} SHARED ${source})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/examples/include)
    set_target_properties(${name} PROPERTIES PREFIX "" C_VISIBILITY_PRESET hidden
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
    target_link_libraries(${name} PRIVATE m)
    if(count GREATER 1)
      list(GET parts 1 switches)
      if(NOT switches STREQUAL "")
        string(REPLACE "," ";" switches "${switches}")
        target_compile_definitions(${name} PRIVATE ${switches})
      endif()
    endif()
    list(APPEND VELMOR_TEST_LIBS ${name})
  endforeach()
endmacro()
