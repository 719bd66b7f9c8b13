/* A paraboloid (sag = (x^2 + y^2) / 4) whose sag request, for x > 0.5, does what a library
   with a wrong sizeof or a long copy does to its records; the point's y chooses what:
     y 0, 1, 2   writes 1, 8 or 65536 bytes from the end of USER_DATA on
     y 3, 4, 5   writes 1, 8 or 65536 bytes from the end of the FIXED_DATA record on
     y 6         writes 8 bytes just before USER_DATA
     y 7         reads 8 bytes from the end of the FIXED_DATA record on
     y 8         writes 8 bytes 4096 bytes before FIXED_DATA
     y 9         reads 8 bytes 4096 bytes before USER_DATA
     y 10        writes the 4 padding bytes at the end of USER_DATA (inside the record)
     y 11        writes 1 byte past USER_DATA, but only on a thread other than the first one
                 that called it (the library check's threads)
   Built with the record of version 0 (fence_overrun) and of version 4 (fence_overrun5, with
   FENCE_VERSION5). What it reads goes into sag2, so the compiler keeps the read. */
#include <string.h>

#include "user_surface.h"

#ifdef _WIN32
#include <windows.h>
static unsigned long ThreadId(void) {
    return GetCurrentThreadId();
}
#else
#include <pthread.h>
static unsigned long ThreadId(void) {
    return (unsigned long)pthread_self();
}
#endif

/* The first thread that asks is the helper's own; any other is one of the check's. */
static int OnFirstThread(void) {
    static volatile unsigned long first;
    if (first == 0) first = ThreadId();
    return first == ThreadId();
}

#ifdef FENCE_VERSION5
#define FENCE_FD FIXED_DATA5
#define FENCE_ENTRY UserDefinedSurface5
#define FENCE_NAME "Fence Overrun 5"
#else
#define FENCE_FD FIXED_DATA
#define FENCE_ENTRY UserDefinedSurface
#define FENCE_NAME "Fence Overrun"
#endif

static double ReadAt(const unsigned char* at) {
    double value;
    memcpy(&value, (const void*)at, sizeof value);
    return value;
}

/* Through a volatile pointer: the compiler may assume no object lies where these write, and
   must not drop the writes for it. */
static void Fill(unsigned char* at, size_t count) {
    volatile unsigned char* p = at;
    for (size_t i = 0; i < count; ++i) p[i] = 0x5A;
}

static double Misbehave(USER_DATA* ud, FENCE_FD* fd, int what) {
    unsigned char* const udEnd = (unsigned char*)(ud + 1);
    unsigned char* const fdEnd = (unsigned char*)(fd + 1);
    static const size_t kCounts[3] = {1, 8, 65536};
    switch (what) {
        case 0:
        case 1:
        case 2:
            Fill(udEnd, kCounts[what]);
            return 0;
        case 3:
        case 4:
        case 5:
            Fill(fdEnd, kCounts[what - 3]);
            return 0;
        case 6:
            Fill((unsigned char*)ud - 8, 8);
            return 0;
        case 7:
            return ReadAt(fdEnd);
        case 8:
            Fill((unsigned char*)fd - 4096, 8);
            return 0;
        case 9:
            return ReadAt((unsigned char*)ud - 4096);
        case 10:
            Fill((unsigned char*)ud->string + sizeof ud->string, 4);
            return 0;
        case 11:
            if (!OnFirstThread()) Fill(udEnd, 1);
            return 0;
        default:
            return 0;
    }
}

USER_SURFACE_EXPORT int FENCE_ENTRY(USER_DATA* ud, FENCE_FD* fd) {
    switch (fd->type) {
        case 0:
            (void)OnFirstThread();
            strcpy(ud->string, fd->numb == 0 ? FENCE_NAME : "");
            return 0;
        case 3: {
            const double read = ud->x > 0.5 ? Misbehave(ud, fd, (int)ud->y) : 0;
            ud->sag1 = 0.25 * (ud->x * ud->x + ud->y * ud->y);
            ud->sag2 = ud->sag1 + 0 * read;
            return 0;
        }
        case 7:
            fd->param[1] = 1.0;
            return 0;
        default:
            return 0;
    }
}
