// The module's entry point on Windows: DllMain calls the load and unload
// hooks.
#include "platform/module_hooks.h"
#include "platform/win32_types.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) return platform::ModuleLoaded() ? TRUE : FALSE;
  if (reason == DLL_PROCESS_DETACH) platform::ModuleUnloading();
  return TRUE;
}
