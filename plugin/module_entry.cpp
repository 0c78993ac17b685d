// The load and unload hooks that drive the module object: DllMain on Windows,
// constructor and destructor functions of the shared object on Linux. Only
// the modules contain this file; test programs link the logic without it.
#include "platform/platform.h"
#include "plugin/module_object.h"

CRunvaneApp theApp;

int CRunvaneApp::InitInstance() {
  platform::CoInitialize(nullptr);
  return 1;
}

int CRunvaneApp::ExitInstance() {
  platform::CoUninitialize();
  return 0;
}

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) return theApp.InitInstance() ? TRUE : FALSE;
  if (reason == DLL_PROCESS_DETACH) theApp.ExitInstance();
  return TRUE;
}
#else
__attribute__((constructor)) static void RunvaneModuleLoaded() { theApp.InitInstance(); }
__attribute__((destructor)) static void RunvaneModuleUnloaded() { theApp.ExitInstance(); }
#endif
