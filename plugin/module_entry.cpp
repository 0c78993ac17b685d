// The module object, driven by the system's load and unload hooks. Only the
// modules contain this file; test programs link the logic without it.
//
// Loading and unloading do nothing that belongs to the host's thread: no COM
// (each export holds COM on its own calling thread, platform/com_scope.h) and
// no library initialisation (the command-file reader counts its own uses).
#include "platform/module_hooks.h"
#include "plugin/module_object.h"

CRunvaneApp theApp;

int CRunvaneApp::InitInstance() { return 1; }

int CRunvaneApp::ExitInstance() { return 0; }

bool platform::ModuleLoaded() { return theApp.InitInstance() != 0; }
void platform::ModuleUnloading() { theApp.ExitInstance(); }
