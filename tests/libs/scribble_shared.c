/* A paraboloid (sag = (x^2 + y^2) / 4) whose sag request, for x > 0.5, writes over every
   writable shared mapping of its process (the helper's shared area with Velmor), as a library
   scribbling through a stray pointer may, and then answers as usual; the point's y chooses the
   bytes: y 0 zeros, y 1 0xFF, y 2 random bytes. Linux finds the mappings in /proc/self/maps;
   Windows (under wine) walks the address space with VirtualQuery for mapped, writable views. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define FAULT_NAME "Scribble Shared"
#define FAULT_WHEN(ud, fd) ((fd)->type == 3 && (ud)->x > 0.5)
#include "fault_surface.h"

static int g_scribbled;

static void Scribble(unsigned char* at, size_t size, int what) {
    if (what == 2) {
        static unsigned state = 12345;
        for (size_t i = 0; i < size; ++i) {
            state = state * 1103515245u + 12345u;
            at[i] = (unsigned char)(state >> 16);
        }
    } else {
        memset(at, what == 1 ? 0xFF : 0x00, size);
    }
}

#ifdef _WIN32
#include <windows.h>

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    const int what = (int)ud->y;
    (void)fd;
    if (g_scribbled++) return;
    unsigned char* at = 0;
    MEMORY_BASIC_INFORMATION info;
    while (VirtualQuery(at, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_MAPPED &&
            (info.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE)) != 0) {
            Scribble((unsigned char*)info.BaseAddress, info.RegionSize, what);
        }
        at = (unsigned char*)info.BaseAddress + info.RegionSize;
    }
}
#else
static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    const int what = (int)ud->y;
    (void)fd;
    if (g_scribbled++) return;
    FILE* maps = fopen("/proc/self/maps", "r");
    if (maps == NULL) return;
    char line[512];
    while (fgets(line, sizeof line, maps) != NULL) {
        unsigned long start = 0, end = 0;
        char perms[5] = "";
        if (sscanf(line, "%lx-%lx %4s", &start, &end, perms) != 3) continue;
        if (perms[0] == 'r' && perms[1] == 'w' && perms[3] == 's') {
            Scribble((unsigned char*)start, end - start, what);
        }
    }
    fclose(maps);
}
#endif
