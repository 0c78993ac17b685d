// The rest of what the module asks of the system: time, the last error, the
// message box of the exception paths, COM and the locale's case-insensitive
// comparison.
#include <objbase.h>

#include "platform/platform.h"
#include "platform/windows/wide.h"

namespace platform {

using win32::Wide;

void GetLocalTime(SYSTEMTIME* time) { ::GetLocalTime(time); }

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD error) { ::SetLastError(error); }

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
  return ::MessageBoxW(owner, Wide(text), Wide(caption), type);
}

HRESULT CoInitialize(void* reserved) { return ::CoInitialize(reserved); }

void CoUninitialize() { ::CoUninitialize(); }

int lstrcmpiW(const char16_t* a, const char16_t* b) { return ::lstrcmpiW(Wide(a), Wide(b)); }

}  // namespace platform
