// The module object, driven by the system's load and unload hooks. Only the
// modules contain this file; test programs link the logic without it.
#include "platform/module_hooks.h"
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

bool platform::ModuleLoaded() { return theApp.InitInstance() != 0; }
void platform::ModuleUnloading() { theApp.ExitInstance(); }
