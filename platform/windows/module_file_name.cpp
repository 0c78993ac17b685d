// The module's own instance handle and file name, with the test seam that
// lets a test program answer as if it were the module at a chosen path.
#include "platform/platform.h"
#include "platform/windows/wide.h"
#include "platform/wtext.h"

namespace platform {

namespace {

// Empty unless a test program set a path; read by the same thread that set
// it (the test programs are single-threaded). Longer than MAX_PATH, so that
// a test can give the module a path that does not fit the module's buffers.
char16_t g_testModulePath[1024] = {};

}  // namespace

HMODULE ThisModule() {
  HMODULE module = nullptr;
  // The address of this very function lies inside the module that contains
  // the platform layer, whether that is a DLL or a test program.
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ThisModule), &module))
    return nullptr;
  return module;
}

void SetModuleFileNameForTesting(const char16_t* path) {
  if (path == nullptr) {
    g_testModulePath[0] = 0;
    return;
  }
  wtext::Copy(g_testModulePath, path);
}

DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size) {
  if (g_testModulePath[0] != 0 && module == ThisModule()) {
    if (buffer == nullptr || size == 0) {
      ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    // As the system does: a path that does not fit is cut, terminated, and
    // the full buffer size is returned with ERROR_INSUFFICIENT_BUFFER.
    size_t length = wtext::Length(g_testModulePath);
    wtext::Copy(buffer, size, g_testModulePath);
    if (length >= size) {
      ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return size;
    }
    ::SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(length);
  }
  return ::GetModuleFileNameW(module, win32::Wide(buffer), size);
}

DWORD GetModuleStateFolderW(char16_t* buffer, DWORD size) {
  char16_t path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  while (length > 0 && path[length - 1] != u'\\') --length;
  if (length == 0) return 0;
  if (buffer == nullptr || size <= length) return length + 1;
  for (DWORD i = 0; i < length; ++i) buffer[i] = path[i];
  buffer[length] = 0;
  return length;
}

}  // namespace platform
