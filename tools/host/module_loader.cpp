#include "tools/host/module_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <vector>

namespace {

void* FindExport(void* handle, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
  return dlsym(handle, name);
#endif
}

template <typename F>
void Bind(void* handle, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(FindExport(handle, name));
}

}  // namespace

bool LoadModule(const std::string& path, LoadedModule* module, std::string* error) {
  *module = LoadedModule{};
#ifdef _WIN32
  int units = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(units > 0 ? units : 1);
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), units);
  HMODULE handle = LoadLibraryW(wide.data());
  if (handle == nullptr) {
    *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  module->handle = handle;
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    *error = "cannot load " + path + ": " + (why != nullptr ? why : "unknown error");
    return false;
  }
  module->handle = handle;
#endif
  Bind(module->handle, "DLL_Check", &module->DLL_Check);
  Bind(module->handle, "DLL_Release", &module->DLL_Release);
  Bind(module->handle, "DLL_Repair", &module->DLL_Repair);
  Bind(module->handle, "FixItemByName", &module->FixItemByName);
  Bind(module->handle, "VEK_RemoteInvoke", &module->VEK_RemoteInvoke);
  if (module->DLL_Check == nullptr || module->DLL_Release == nullptr ||
      module->DLL_Repair == nullptr || module->FixItemByName == nullptr) {
    *error = path + " lacks one of the check exports";
    UnloadModule(module);
    return false;
  }
  return true;
}

void UnloadModule(LoadedModule* module) {
  if (module->handle == nullptr) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(module->handle));
#else
  dlclose(module->handle);
#endif
  *module = LoadedModule{};
}

std::string HostProgramFolder() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path(buffer, n);
  size_t slash = path.find_last_of(L"\\/");
  path = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
  if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, &out[0], bytes, nullptr, nullptr);
  return out;
#else
  char buffer[4096] = {};
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
#endif
}
