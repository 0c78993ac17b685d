// Loads a module by file name and finds its exports by name, exactly as the
// host application does: nothing of the module is linked in.
#pragma once

#include <cstdint>
#include <string>

#if !defined(_WIN32) && !defined(__cdecl)
#define __cdecl
#endif

struct CheckNode;
struct FixNode;

typedef int32_t(__cdecl* HostProgressCallback)(const char16_t*, int32_t, int32_t, int32_t, int32_t,
                                                int32_t, int32_t, int32_t, int32_t);

struct LoadedModule {
  void* handle = nullptr;
  int32_t(__cdecl* DLL_Check)(CheckNode**, HostProgressCallback, int32_t*, int32_t) = nullptr;
  int32_t(__cdecl* DLL_Release)(CheckNode*) = nullptr;
  int32_t(__cdecl* DLL_Repair)(CheckNode*, HostProgressCallback, int32_t) = nullptr;
  int32_t(__cdecl* FixItemByName)(FixNode*) = nullptr;
  // Null in the check-only edition.
  int32_t(__cdecl* VEK_RemoteInvoke)(const char16_t*, const char16_t*) = nullptr;
};

// False with a message in error when the file cannot be loaded or lacks one
// of the four check exports.
bool LoadModule(const std::string& path, LoadedModule* module, std::string* error);
void UnloadModule(LoadedModule* module);

// The folder of the running host program (with a trailing separator).
std::string HostProgramFolder();
