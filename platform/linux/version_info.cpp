// PLACEHOLDER: replaced by the version-resource reader of the Linux backend.
#include "platform/platform.h"

namespace platform {
DWORD GetFileVersionInfoSizeW(const char16_t*, DWORD* handle) { if (handle) *handle = 0; SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND); return 0; }
BOOL GetFileVersionInfoW(const char16_t*, DWORD, DWORD, void*) { SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND); return FALSE; }
BOOL VerQueryValueW(const void*, const char16_t*, void** buffer, UINT* length) { if (buffer) *buffer = nullptr; if (length) *length = 0; return FALSE; }
}  // namespace platform
