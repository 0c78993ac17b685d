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

// Looked up at run time: 32-bit Windows before XP SP2 has neither call.
namespace {
template <typename Function>
Function Kernel32Function(const char* name) {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
}
}  // namespace

BOOL Wow64DisableWow64FsRedirection(void** oldValue) {
  typedef BOOL(WINAPI * Disable)(PVOID*);
  static const Disable disable = Kernel32Function<Disable>("Wow64DisableWow64FsRedirection");
  if (disable == nullptr) {
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return disable(oldValue);
}

BOOL Wow64RevertWow64FsRedirection(void* oldValue) {
  typedef BOOL(WINAPI * Revert)(PVOID);
  static const Revert revert = Kernel32Function<Revert>("Wow64RevertWow64FsRedirection");
  if (revert == nullptr) {
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return revert(oldValue);
}

int lstrcmpiW(const char16_t* a, const char16_t* b) { return ::lstrcmpiW(Wide(a), Wide(b)); }

}  // namespace platform
