// Registry operations: the advapi32 calls, and the two shlwapi calls that
// delete a value and a whole key.
#include <shlwapi.h>

#include "platform/platform.h"
#include "platform/windows/wide.h"

namespace platform {

using win32::Wide;

LONG RegOpenKeyExW(HKEY root, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result) {
  return ::RegOpenKeyExW(root, Wide(subKey), options, access, result);
}

LONG RegCreateKeyExW(HKEY root, const char16_t* subKey, DWORD reserved, char16_t* keyClass,
                     DWORD options, REGSAM access, void* security, HKEY* result,
                     DWORD* disposition) {
  return ::RegCreateKeyExW(root, Wide(subKey), reserved, Wide(keyClass), options, access,
                           static_cast<LPSECURITY_ATTRIBUTES>(security), result, disposition);
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataLength) {
  return ::RegEnumValueW(key, index, Wide(name), nameLength, reserved, type, data, dataLength);
}

LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                   char16_t* keyClass, DWORD* classLength, void* lastWriteTime) {
  return ::RegEnumKeyExW(key, index, Wide(name), nameLength, reserved, Wide(keyClass),
                         classLength, static_cast<FILETIME*>(lastWriteTime));
}

LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* dataLength) {
  return ::RegQueryValueExW(key, Wide(valueName), reserved, type, data, dataLength);
}

LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD dataLength) {
  return ::RegSetValueExW(key, Wide(valueName), reserved, type, data, dataLength);
}

LONG RegDeleteValueW(HKEY key, const char16_t* valueName) {
  return ::RegDeleteValueW(key, Wide(valueName));
}

LONG SHDeleteValueW(HKEY root, const char16_t* subKey, const char16_t* valueName) {
  return static_cast<LONG>(::SHDeleteValueW(root, Wide(subKey), Wide(valueName)));
}

LONG SHDeleteKeyW(HKEY root, const char16_t* subKey) {
  return static_cast<LONG>(::SHDeleteKeyW(root, Wide(subKey)));
}

LONG RegDeleteTreeW(HKEY key, const char16_t* subKey) {
  return ::RegDeleteTreeW(key, Wide(subKey));
}

// Windows applies every registry change as it is made; a move interrupted
// between its write and its delete leaves the value in both keys, never in
// none.
void BeginRegistryTransaction() {}

BOOL EndRegistryTransaction(BOOL /*commit*/) { return TRUE; }

}  // namespace platform
