// The module's load and unload hooks on Linux: the shared object's
// constructor and destructor.
#include "platform/module_hooks.h"

__attribute__((constructor)) static void RunvaneModuleLoaded() { platform::ModuleLoaded(); }
__attribute__((destructor)) static void RunvaneModuleUnloaded() { platform::ModuleUnloading(); }
