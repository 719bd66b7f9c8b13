/* A paraboloid (sag = (x^2 + y^2) / 4) whose sag request, for x > 0.5, breaks the helper's
   channels and then answers as usual; the point's y chooses how: y 0 writes bytes that are no
   frame into every pipe open for writing (the answer channel and the output among them), y 1
   closes every descriptor. */
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define FAULT_NAME "Fault PIPES"
#define FAULT_WHEN(ud, fd) ((fd)->type == 3 && (ud)->x > 0.5)
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)fd;
    if ((int)ud->y == 1) {
        for (int d = 0; d < 1024; ++d) close(d);
        return;
    }
    static const char garbage[] = "garbage, garbage, garbage\n";
    for (int d = 0; d < 1024; ++d) {
        struct stat s;
        const int flags = fcntl(d, F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || fstat(d, &s) != 0) continue;
        if (S_ISFIFO(s.st_mode) && write(d, garbage, sizeof garbage - 1) < 0) continue;
    }
}
