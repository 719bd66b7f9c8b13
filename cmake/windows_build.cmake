# The build for Windows, cross-built with cmake/mingw-w64.cmake (the Linux build runs it into
# build/win, see windows_external.cmake): the Qt-free core, the helper velmor-surface-host.exe,
# velmor-cli.exe (without views), the example and test surfaces as DLLs in lib/, and the
# portable tests, which run under wine.
find_package(BISON 3.8 REQUIRED)
find_package(Threads REQUIRED)

add_compile_options(-Wall -Wextra -Wno-unused-parameter)

add_subdirectory(src/core)
add_subdirectory(src/host)
add_subdirectory(src/cli)
add_subdirectory(examples)
add_subdirectory(tests/windows)
