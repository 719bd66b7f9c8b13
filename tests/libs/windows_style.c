/* A surface library written the way sources for Windows are written: it includes <windows.h>,
 * exports its entry with __declspec(dllexport) APIENTRY, keeps its parameter names in memory its
 * DllMain allocates when the library is attached (and frees when it is detached), makes the names
 * with _itoa, and shows a MessageBoxA for a parameter it does not have. The build compiles it with
 * exactly the command the README gives.
 *
 * Record version 4 (UserDefinedSurface5): a sphere of curvature cv with an even polynomial at the
 * top of the wider param array,
 *
 *   sag(r) = cv r^2 / (1 + sqrt(1 - cv^2 r^2)) + param[248] r^2 + param[249] r^4 + ...
 *            + param[255] r^16
 *
 * named "Coeff on r 2" .. "Coeff on r 16". Its safe data sets param[248] = 0.01. When the
 * environment names a file in VELMOR_DLLMAIN_LOG, DllMain appends "attach" and "detach" lines to
 * it. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "user_surface.h"

#define FIRST_COEFF 248
#define COEFFS 8

/* The names of param[248] .. param[255], made when the library is attached. */
static char (*g_names)[20] = NULL;

static void Log(const char* what) {
    const char* path = getenv("VELMOR_DLLMAIN_LOG");
    FILE* file = NULL;
    if (path == NULL || fopen_s(&file, path, "a") != 0) return;
    fprintf(file, "%s\n", what);
    fclose(file);
}

BOOL APIENTRY DllMain(HMODULE module, DWORD reason, LPVOID reserved) {
    UNREFERENCED_PARAMETER(module);
    UNREFERENCED_PARAMETER(reserved);
    switch (reason) {
        case DLL_PROCESS_ATTACH: {
            int k;
            g_names = (char(*)[20])malloc(COEFFS * sizeof *g_names);
            if (g_names == NULL) return FALSE;
            for (k = 0; k < COEFFS; ++k) {
                char power[12];
                strcpy_s(g_names[k], sizeof g_names[k], "Coeff on r ");
                strcat_s(g_names[k], sizeof g_names[k], _itoa(2 * k + 2, power, 10));
            }
            Log("attach");
            break;
        }
        case DLL_PROCESS_DETACH:
            free(g_names);
            g_names = NULL;
            Log("detach");
            break;
    }
    return TRUE;
}

__declspec(dllexport) int APIENTRY UserDefinedSurface5(USER_DATA* ud, FIXED_DATA5* fd) {
    char text[64];
    double r2, arg, sag, power;
    int k;
    if (g_names == NULL) {
        MessageBoxA(NULL, "DllMain was not called", "Windows Style", MB_OK | MB_ICONERROR);
        return -1;
    }
    switch (fd->type) {
        case 0:
            strcpy_s(ud->string, sizeof ud->string, fd->numb == 0 ? "Windows Style" : "");
            return 0;
        case 1:
            if (fd->numb < 0 || fd->numb > 255) {
                sprintf_s(text, sizeof text, "There is no param[%d].", fd->numb);
                MessageBoxA(NULL, text, "Windows Style", MB_OK | MB_ICONWARNING);
                return -1;
            }
            k = fd->numb - FIRST_COEFF;
            strcpy_s(ud->string, sizeof ud->string, k >= 0 ? g_names[k] : "");
            return 0;
        case 3:
            r2 = ud->x * ud->x + ud->y * ud->y;
            arg = 1.0 - fd->cv * fd->cv * r2;
            if (arg < 0.0) return -1;
            sag = fd->cv * r2 / (1.0 + sqrt(arg));
            for (k = 0, power = r2; k < COEFFS; ++k, power *= r2) {
                sag += fd->param[FIRST_COEFF + k] * power;
            }
            ud->sag1 = ud->sag2 = sag;
            return 0;
        case 7:
            fd->param[FIRST_COEFF] = 0.01;
            return 0;
        default:
            return 0;
    }
}
