// What a loadable module needs of the system it is loaded into: the mark of
// its exported functions, and the two hooks that the system calls when the
// library is loaded into a process and unloaded from it (DllMain on Windows,
// the shared object's constructor and destructor on Linux). The module
// defines the hooks; the backend's module_main.cpp calls them. Only the
// modules link a module_main.cpp: test programs link the logic without it.
#pragma once

#ifdef _WIN32
// Windows exports the names the .def file lists.
#define RUNVANE_API
#else
// Linux exports what is visible; the version script keeps it to the exports.
#define RUNVANE_API __attribute__((visibility("default")))
#endif

namespace platform {

// Called once when the library is loaded; false refuses the load.
bool ModuleLoaded();
// Called once when the library is unloaded.
void ModuleUnloading();

}  // namespace platform
