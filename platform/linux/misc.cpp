// The small operations of the Linux backend: last error, local time, the
// message box (text on standard error), COM (nothing to do), the module's
// own file name and the case-insensitive comparison.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "platform/case_fold.h"
#include "platform/linux/backend.h"
#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace platform {

namespace {

constexpr DWORD kErrorModNotFound = 126;

thread_local DWORD t_lastError = ERROR_SUCCESS;

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

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

void GetLocalTime(SYSTEMTIME* time) {
  if (time == nullptr) return;
  struct timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local = {};
  localtime_r(&now.tv_sec, &local);
  time->wYear = WORD(local.tm_year + 1900);
  time->wMonth = WORD(local.tm_mon + 1);
  time->wDayOfWeek = WORD(local.tm_wday);
  time->wDay = WORD(local.tm_mday);
  time->wHour = WORD(local.tm_hour);
  time->wMinute = WORD(local.tm_min);
  time->wSecond = WORD(local.tm_sec);
  time->wMilliseconds = WORD(now.tv_nsec / 1000000);
}

int MessageBoxW(HWND /*owner*/, const char16_t* text, const char16_t* caption, UINT /*type*/) {
  std::string line = wtext::ToUtf8(caption == nullptr ? u"" : caption) + ": " +
                     wtext::ToUtf8(text == nullptr ? u"" : text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return 1;  // IDOK
}

HRESULT CoInitialize(void* /*reserved*/) { return S_OK; }
void CoUninitialize() {}

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

int lstrcmpiW(const char16_t* a, const char16_t* b) { return CompareFolded(a, b); }

}  // namespace platform
