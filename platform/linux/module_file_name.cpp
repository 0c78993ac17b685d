// The module's own file name on Linux: the path of the loaded shared object
// (or of the test program that links the logic), in the image's namespace.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/linux/backend.h"
#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace platform {

namespace {

constexpr DWORD kErrorModNotFound = 126;

std::u16string& ModulePathOverride() {
  static std::u16string path;
  return path;
}

std::string HostPathOfThisModule() {
  Dl_info info = {};
  if (dladdr(reinterpret_cast<void*>(&ThisModule), &info) != 0 && info.dli_fname != nullptr &&
      info.dli_fname[0] == '/') {
    char real[PATH_MAX];
    if (realpath(info.dli_fname, real) != nullptr) return real;
    return info.dli_fname;
  }
  // The main program (test programs link the logic statically).
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  exe[n] = 0;
  return exe;
}

}  // namespace

namespace backend {

std::u16string ModuleFilePath() {
  if (!ModulePathOverride().empty()) return ModulePathOverride();
  std::string host = HostPathOfThisModule();
  return host.empty() ? std::u16string() : image::WindowsPath(host);
}

}  // namespace backend

HMODULE ThisModule() {
  Dl_info info = {};
  if (dladdr(reinterpret_cast<void*>(&ThisModule), &info) == 0) return nullptr;
  return reinterpret_cast<HMODULE>(info.dli_fbase);
}

void SetModuleFileNameForTesting(const char16_t* path) {
  backend::Guard guard(backend::Mutex());
  ModulePathOverride() = path == nullptr ? u"" : path;
}

DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  std::u16string path;
  if (module == ThisModule()) {
    path = backend::ModuleFilePath();
  } else if (module == nullptr) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
      exe[n] = 0;
      path = image::WindowsPath(exe);
    }
  } else {
    SetLastError(kErrorModNotFound);
    return 0;
  }
  if (path.empty()) {
    SetLastError(kErrorModNotFound);
    return 0;
  }
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    wtext::Copy(buffer, size, path);
    return DWORD(path.size());
  }
  // As Windows does: cut to fit, terminated, the full size returned.
  wtext::Copy(buffer, size, path);
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

DWORD GetModuleStateFolderW(char16_t* buffer, DWORD size) {
  backend::Guard guard(backend::Mutex());
  std::u16string folder = backend::ModuleFilePath();
  size_t slash = folder.find_last_of(u'\\');
  folder = slash == std::u16string::npos ? std::u16string() : folder.substr(0, slash + 1);
  // A module outside the image (Z:\...) would share its state between images
  // and write outside them: its state lives in the image instead.
  bool inImage = folder.size() > 2 && (folder[0] == u'C' || folder[0] == u'c') && folder[1] == u':';
  if (!inImage) folder = u"C:\\ProgramData\\Runvane\\";
  if (buffer == nullptr || size <= folder.size()) return DWORD(folder.size() + 1);
  for (size_t i = 0; i < folder.size(); ++i) buffer[i] = folder[i];
  buffer[folder.size()] = 0;
  return DWORD(folder.size());
}

}  // namespace platform
