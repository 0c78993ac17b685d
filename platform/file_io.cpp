#include "platform/file_io.h"

#include <atomic>
#include <chrono>
#include <cstdint>

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

namespace {

// Writes size bytes to an open file; false, with the last error set, unless
// every byte was written.
bool WriteAll(HANDLE file, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD part = size > kChunk ? kChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!platform::WriteFile(file, bytes, part, &written, nullptr)) return false;
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

// A name for the new file beside the target: "~rv" and eight hex digits, from
// a process-wide counter that starts at a value of the moment, so that
// threads and processes writing into one folder pick different names (and a
// name already taken is simply skipped).
std::u16string NextTemporaryName() {
  static std::atomic<uint32_t> counter(static_cast<uint32_t>(
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
      2654435761u));
  uint32_t value = counter.fetch_add(0x9E3779B9u);
  std::u16string name = u"~rv";
  for (int shift = 28; shift >= 0; shift -= 4)
    name.push_back(u"0123456789abcdef"[(value >> shift) & 0xF]);
  return name + u".tmp";
}

}  // namespace

bool WriteWholeFile(const char16_t* path, const void* data, size_t size) {
  ScopedFile file(platform::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  return WriteAll(file.get(), data, size);
}

bool ReplaceWholeFile(const char16_t* path, const void* data, size_t size) {
  if (path == nullptr || *path == 0) {
    platform::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  const std::u16string target = path;
  const size_t slash = target.find_last_of(u"\\/");
  const std::u16string folder = slash == std::u16string::npos ? u"" : target.substr(0, slash + 1);
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::u16string temporary = folder + NextTemporaryName();
    HANDLE handle = platform::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
      const DWORD error = platform::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return false;  // the folder is missing or cannot be written
    }
    bool written;
    {
      ScopedFile file(handle);
      written = WriteAll(file.get(), data, size);
    }
    if (written &&
        platform::MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING)) {
      platform::SetLastError(ERROR_SUCCESS);
      return true;
    }
    const DWORD error = platform::GetLastError();
    platform::DeleteFileW(temporary.c_str());
    platform::SetLastError(error);
    return false;
  }
  platform::SetLastError(ERROR_FILE_EXISTS);
  return false;
}

}  // namespace platform
