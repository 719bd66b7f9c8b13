/* Writes into the helper's answer channel, as only a library that goes looking for it can, then
   waits to be stopped: in a sag request at x > 1 bytes that are no frame at all, at x < -1 a
   frame of the call's op without the fields its answer has. Either is a broken answer, which
   must end the helper at once as a fault of the host (not wait for the time limit). */
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define FAULT_NAME "Fault ANSWER"
#define FAULT_WHEN(ud, fd) ((fd)->type == 3 && ((ud)->x > 1 || (ud)->x < -1))
#include "fault_surface.h"

/* The answer channel: the one pipe open for writing that standard output is not. */
static int AnswerChannel(void) {
    struct stat output;
    if (fstat(1, &output) != 0) return -1;
    for (int fd = 3; fd < 1024; ++fd) {
        struct stat s;
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) != O_WRONLY || fstat(fd, &s) != 0) continue;
        if (S_ISFIFO(s.st_mode) && s.st_ino != output.st_ino) return fd;
    }
    return -1;
}

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)fd;
    /* "not a frame!"; or magic "HLMV", op 3 (a call), no payload. */
    static const unsigned char garbage[12] = "not a frame";
    static const unsigned char empty[12] = {'H', 'L', 'M', 'V', 3, 0, 0, 0, 0, 0, 0, 0};
    const int channel = AnswerChannel();
    if (channel >= 0 && write(channel, ud->x > 1 ? garbage : empty, 12) != 12) return;
    for (;;) pause();
}
