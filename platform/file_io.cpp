#include "platform/file_io.h"

#include "platform/handles.h"
#include "platform/platform.h"

namespace platform {

namespace {
constexpr DWORD kChunk = 1u << 20;
}  // namespace

bool ReadWholeFile(const char16_t* path, size_t maxBytes, std::string* bytes) {
  bytes->clear();
  ScopedFile file(platform::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD high = 0;
  platform::SetLastError(ERROR_SUCCESS);
  DWORD low = platform::GetFileSize(file.get(), &high);
  if (low == INVALID_FILE_SIZE && platform::GetLastError() != ERROR_SUCCESS) return false;
  const unsigned long long size = (static_cast<unsigned long long>(high) << 32) | low;
  if (size > maxBytes) {
    platform::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  bytes->reserve(static_cast<size_t>(size));
  // Read to the end rather than to the size: the file may change meanwhile.
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!platform::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) break;
    if (bytes->size() + got > maxBytes) {
      platform::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    bytes->append(buffer, got);
  }
  platform::SetLastError(ERROR_SUCCESS);
  return true;
}

bool WriteWholeFile(const char16_t* path, const void* data, size_t size) {
  ScopedFile file(platform::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD part = size > kChunk ? kChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!platform::WriteFile(file.get(), bytes, part, &written, nullptr)) return false;
    if (written != part) {
      platform::SetLastError(ERROR_DISK_FULL);
      return false;
    }
    bytes += part;
    size -= part;
  }
  platform::SetLastError(ERROR_SUCCESS);
  return true;
}

}  // namespace platform
