/* A paraboloid (sag1 = (x^2 + y^2) / 4) whose sag request, for x > 0.5, starts a child process
   that sleeps for a minute and is never waited for, as a library that leaves a server running
   does; sag2 gets the child's process id, or minus fork()'s errno. It tries at most
   kMaxAttempts starts in all (a count of its own) and its children start nothing, so it can
   never multiply, whether or not the helper limits it. */
#include <errno.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include "user_surface.h"

enum { kMaxAttempts = 70 };
static int g_attempts;

static double StartSleeper(void) {
    if (g_attempts >= kMaxAttempts) return 0;
    ++g_attempts;
    const pid_t child = fork();
    if (child == 0) {
        sleep(60);
        _exit(0);
    }
    return child > 0 ? (double)child : -(double)errno;
}

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0:
            strcpy(ud->string, fd->numb == 0 ? "Process Keeper" : "");
            return 0;
        case 3:
            ud->sag2 = ud->x > 0.5 ? StartSleeper() : 0;
            ud->sag1 = 0.25 * (ud->x * ud->x + ud->y * ud->y);
            return 0;
        case 7:
            fd->param[1] = 1.0;
            return 0;
        default:
            return 0;
    }
}
