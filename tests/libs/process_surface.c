/* A paraboloid (sag1 = (x^2 + y^2) / 4) whose every sag request runs system("true") and fork()
   (the child ends at once, the library waits for it), as a library that starts a program per
   call does; sag2 gets what fork() gave: 0 when a child started, else its errno. Once it has
   started kMaxStarts processes (a count of its own) it starts none, so it can never multiply,
   whether or not the helper refuses the starts. Windows: system("exit 0") alone, tried at most
   kMaxStarts times (a start the helper ends as it begins counts as made); at x -1 it starts once
   a process that would run for half a minute and does not wait for it, and at x -2 sag2 says
   whether that process has ended (1), runs (0) or never started (-1). */
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "user_surface.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

enum { kMaxStarts = 4 };
static int g_started;

static double StartProcesses(void) {
    if (g_started >= kMaxStarts) return -1;
#ifdef _WIN32
    ++g_started;
    return system("exit 0");
#else
    if (system("true") == 0) ++g_started;
    if (g_started >= kMaxStarts) return -1;
    const pid_t child = fork();
    if (child == 0) _exit(0);
    if (child < 0) return errno;
    ++g_started;
    waitpid(child, NULL, 0);
    return 0;
#endif
}

#ifdef _WIN32
static HANDLE g_sleeper;

static double Sleeper(double x) {
    if (x == -1 && g_sleeper == NULL) {
        char command[] = "cmd /c ping -n 30 127.0.0.1 >nul";
        STARTUPINFOA startup;
        PROCESS_INFORMATION started;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL,
                            &startup, &started)) {
            return -1;
        }
        CloseHandle(started.hThread);
        g_sleeper = started.hProcess;
        return 0;
    }
    if (g_sleeper == NULL) return -1;
    return WaitForSingleObject(g_sleeper, 0) == WAIT_OBJECT_0 ? 1 : 0;
}
#endif

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0:
            strcpy(ud->string, fd->numb == 0 ? "Process Surface" : "");
            return 0;
        case 3:
#ifdef _WIN32
            if (ud->x < 0) {
                ud->sag2 = Sleeper(ud->x);
                ud->sag1 = 0;
                return 0;
            }
#endif
            ud->sag2 = StartProcesses();
            ud->sag1 = 0.25 * (ud->x * ud->x + ud->y * ud->y);
            return 0;
        case 7:
            fd->param[1] = 1.0;
            return 0;
        default:
            return 0;
    }
}
