// A module loaded by file name from the test program's own folder, with its
// exports looked up by name: LoadLibraryW/GetProcAddress on Windows,
// dlopen/dlsym elsewhere.
#pragma once

#include <cstdint>
#include <string>

#include "records/check_node.h"

#if !defined(_WIN32) && !defined(__cdecl)
#define __cdecl
#endif

namespace host {

typedef int32_t(__cdecl* Progress)(const char16_t* text, int32_t, int32_t, int32_t, int32_t,
                                   int32_t userData, int32_t, int32_t, int32_t);
typedef int32_t(__cdecl* CheckFunction)(CheckNode** list, Progress callback, int32_t* count,
                                        int32_t userData);
typedef int32_t(__cdecl* ReleaseFunction)(CheckNode* list);

// "runvane" gives runvane.dll on Windows and librunvane.so elsewhere.
std::string ModuleFileName(const std::string& baseName);
// The folder of the running test program, with a trailing separator.
std::string ProgramFolder();

class LoadedModule {
 public:
  explicit LoadedModule(const std::string& path);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Why loading failed (empty when it did not).
  const std::string& error() const { return error_; }
  // Null when the module has no export of that name.
  void* Find(const char* name) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace host
