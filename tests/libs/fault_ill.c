/* Executes an illegal instruction (the trap instruction, ud2 on x86-64) in the sag request:
   SIGILL. */
#define FAULT_NAME "Fault ILL"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    if (ud->x == ud->x || fd->type == 3) __builtin_trap();
}
