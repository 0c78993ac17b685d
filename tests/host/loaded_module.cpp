#include "tests/host/loaded_module.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <vector>

namespace host {

std::string ModuleFileName(const std::string& baseName) {
#ifdef _WIN32
  return baseName + ".dll";
#else
  return "lib" + baseName + ".so";
#endif
}

std::string ProgramFolder() {
#ifdef _WIN32
  wchar_t path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
  std::string text(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, path, -1, &text[0], bytes, nullptr, nullptr);
  text.resize(text.find('\0'));
  return text.substr(0, text.find_last_of("\\/") + 1);
#else
  std::vector<char> path(4096);
  ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return std::string();
  std::string text(path.data(), static_cast<size_t>(length));
  return text.substr(0, text.find_last_of('/') + 1);
#endif
}

LoadedModule::LoadedModule(const std::string& path) {
#ifdef _WIN32
  int units = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(units > 0 ? static_cast<size_t>(units) : 1, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), units);
  HMODULE module = ::LoadLibraryW(wide.data());
  if (module == nullptr)
    error_ = "LoadLibraryW(" + path + ") failed with error " + std::to_string(::GetLastError());
  handle_ = reinterpret_cast<void*>(module);
#else
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    error_ = "dlopen(" + path + "): " + (why != nullptr ? why : "unknown error");
  }
#endif
}

LoadedModule::~LoadedModule() {
  if (handle_ == nullptr) return;
#ifdef _WIN32
  ::FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
  ::dlclose(handle_);
#endif
}

void* LoadedModule::Find(const char* name) const {
  if (handle_ == nullptr) return nullptr;
#ifdef _WIN32
  return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
  return ::dlsym(handle_, name);
#endif
}

}  // namespace host
