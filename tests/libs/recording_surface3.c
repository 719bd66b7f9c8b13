/* A record-version-2 surface (UserDefinedSurface3 only) that records what the host sends.
   It never writes `string`, answers every request with 0 and gives simple values:
   sag1 = x * y, index = n2 with the gradient (1, 2, 3). The recording is read and reset
   through the Recorded* exports. */
#include "user_surface.h"

static int g_requests[9];            /* per type 0..7, [8] for any other type */
static int g_gradientQuestions;      /* type 0 with numb 2 */
static double g_safeDataFields[4];   /* n1, n2, cv, k seen by the first request 7 */
static const void* g_lastRecords[2]; /* USER_DATA and FIXED_DATA3 addresses of the last call */

USER_SURFACE_EXPORT int UserDefinedSurface3(USER_DATA* ud, FIXED_DATA3* fd) {
    const int type = fd->type;
    g_lastRecords[0] = ud;
    g_lastRecords[1] = fd;
    g_requests[type >= 0 && type <= 7 ? type : 8]++;
    if (type == 0 && fd->numb == 2) g_gradientQuestions++;
    if (type == 3) ud->sag1 = ud->x * ud->y;
    if (type == 6) {
        ud->index = fd->n2;
        ud->dndx = 1.0;
        ud->dndy = 2.0;
        ud->dndz = 3.0;
    }
    if (type == 7 && g_requests[7] == 1) {
        g_safeDataFields[0] = fd->n1;
        g_safeDataFields[1] = fd->n2;
        g_safeDataFields[2] = fd->cv;
        g_safeDataFields[3] = fd->k;
    }
    return 0;
}

USER_SURFACE_EXPORT int RecordedRequests(int type) {
    return type >= 0 && type <= 8 ? g_requests[type] : 0;
}

USER_SURFACE_EXPORT int RecordedGradientQuestions(void) {
    return g_gradientQuestions;
}

USER_SURFACE_EXPORT double RecordedSafeDataField(int i) {
    return i >= 0 && i < 4 ? g_safeDataFields[i] : 0.0;
}

USER_SURFACE_EXPORT const void* RecordedLastRecords(int i) {
    return i >= 0 && i < 2 ? g_lastRecords[i] : 0;
}

USER_SURFACE_EXPORT void ResetRecording(void) {
    for (int i = 0; i < 9; ++i) g_requests[i] = 0;
    g_gradientQuestions = 0;
    for (int i = 0; i < 4; ++i) g_safeDataFields[i] = 0.0;
    g_lastRecords[0] = g_lastRecords[1] = 0;
}
