// Version resources through version.dll.
#include "platform/platform.h"
#include "platform/windows/wide.h"

// After <windows.h>, which it builds on.
#include <winver.h>

namespace platform {

using win32::Wide;

DWORD GetFileVersionInfoSizeW(const char16_t* path, DWORD* handle) {
  return ::GetFileVersionInfoSizeW(Wide(path), handle);
}

BOOL GetFileVersionInfoW(const char16_t* path, DWORD handle, DWORD length, void* data) {
  return ::GetFileVersionInfoW(Wide(path), handle, length, data);
}

BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, UINT* length) {
  return ::VerQueryValueW(block, Wide(subBlock), buffer, length);
}

}  // namespace platform
