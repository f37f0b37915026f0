/* Libraries for RegistDll: built with REGISTER_RESULT they export DllRegisterServer and
   DllUnregisterServer, which append what they did to the file named by $TAVORIN_TEST_LOG and
   return REGISTER_RESULT (with REGISTER_CRASH, DllRegisterServer dies of SIGSEGV after logging);
   built without, they export neither. */
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#ifdef REGISTER_RESULT
static void Log(const char* what) {
    const char* path = getenv("TAVORIN_TEST_LOG");
    if (path == NULL) return;
    FILE* file = fopen(path, "a");
    if (file == NULL) return;
    fprintf(file, "%s\n", what);
    fclose(file);
}

__attribute__((visibility("default"))) int32_t DllRegisterServer(void) {
    Log("register");
#ifdef REGISTER_CRASH
    raise(SIGSEGV);
#endif
    return (int32_t)(REGISTER_RESULT);
}

__attribute__((visibility("default"))) int32_t DllUnregisterServer(void) {
    Log("unregister");
    return (int32_t)(REGISTER_RESULT);
}
#else
__attribute__((visibility("default"))) int32_t TavorinFixtureWithoutRegistration(void) {
    return 0;
}
#endif
