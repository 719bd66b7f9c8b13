/* Windows.h - the same header as windows.h, under the name some sources include: file names
   are case-sensitive here. */
#include "windows.h"
