/* A library whose DllMain refuses to be attached (FALSE): a host must fail the load, after
   telling the library it goes (DLL_PROCESS_DETACH), as the Windows loader does. It says what
   it was told on standard output. Built with the project's hidden symbols: windows.h's
   declaration keeps DllMain exported. */
#include <stdio.h>
#include <windows.h>

#include "user_surface.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    UNREFERENCED_PARAMETER(reserved);
    printf("DllMain %s%s\n", reason == DLL_PROCESS_ATTACH ? "attach" : "detach",
           instance != NULL ? "" : " without a handle");
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}

__declspec(dllexport) int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    UNREFERENCED_PARAMETER(fd);
    ud->sag1 = ud->sag2 = 1.0;
    return 0;
}
