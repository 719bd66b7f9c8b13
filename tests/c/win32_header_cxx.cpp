// windows.h in a C++ source: the checks of win32_header.c, compiled as C++ (where the forms that
// take a char array without its size exist too and max and min are no macros).
#include "win32_header.c"
