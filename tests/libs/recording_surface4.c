/* A record-version-3 surface (UserDefinedSurface4 only) that keeps a copy of the records it
   was given with the gradient-index question (type 0, numb 2), which it answers with 0 and
   no text. Every other request is answered with 0 and sag 0. The copies are read and reset
   through the Recorded* exports. */
#include <string.h>

#include "user_surface.h"

static int g_questions;
static USER_DATA g_questionUser;
static FIXED_DATA4 g_questionFixed;

USER_SURFACE_EXPORT int UserDefinedSurface4(USER_DATA* ud, FIXED_DATA4* fd) {
    if (fd->type == 0 && fd->numb == 2) {
        g_questions++;
        memcpy(&g_questionUser, ud, sizeof g_questionUser);
        memcpy(&g_questionFixed, fd, sizeof g_questionFixed);
    }
    if (fd->type == 3) ud->sag1 = ud->sag2 = 0.0;
    return 0;
}

USER_SURFACE_EXPORT int RecordedQuestions(void) {
    return g_questions;
}

/* The records of the last gradient-index question: 0 USER_DATA, 1 FIXED_DATA4. */
USER_SURFACE_EXPORT const void* RecordedQuestionRecords(int i) {
    return i == 0 ? (const void*)&g_questionUser : i == 1 ? (const void*)&g_questionFixed : 0;
}

USER_SURFACE_EXPORT void ResetRecording(void) {
    g_questions = 0;
    memset(&g_questionUser, 0, sizeof g_questionUser);
    memset(&g_questionFixed, 0, sizeof g_questionFixed);
}
