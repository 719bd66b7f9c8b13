/* A library that exports UserDefinedSurface but is no surface of its own: entry4_over_dependency
   depends on it, and a host must not drive that library through this entry. Its DllMain refuses
   every call: a host that took it for the DllMain of the library it loads would fail the load. */
#include "user_surface.h"

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    (void)fd;
    ud->sag1 = -100.0;
    return -100;
}

USER_SURFACE_EXPORT double DependencyValue(void) {
    return 0.5;
}

USER_SURFACE_EXPORT int DllMain(void* instance, unsigned int reason, void* reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return 0;
}
