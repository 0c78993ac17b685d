// The rest of what the module asks of the system on Linux: last error, local
// time, the message box (text on standard error), COM (nothing to do) and
// the case-insensitive comparison.
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "platform/case_fold.h"
#include "platform/linux/backend.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace platform {

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

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

int lstrcmpiW(const char16_t* a, const char16_t* b) { return CompareFolded(a, b); }

// The image's paths are literal: System32 is System32, as a 64-bit process
// sees it. There is no redirection to switch off.
BOOL Wow64DisableWow64FsRedirection(void** /*oldValue*/) {
  SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

BOOL Wow64RevertWow64FsRedirection(void* /*oldValue*/) {
  SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

}  // namespace platform
