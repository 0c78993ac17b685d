#include "remote/file_compare.h"

#include <cstring>

#include "platform/platform.h"

#ifndef _WIN32
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "platform/linux/system_image.h"
#endif

namespace {

constexpr unsigned kChunk = 4096;

// One file read front to back. Fill() returns fewer than kChunk bytes only
// at the end of the file, so two readers can be compared chunk by chunk.
class ChunkReader {
 public:
  enum class Open { kOk, kMissing, kFailed };

#ifdef _WIN32
  ChunkReader() = default;
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;
  ~ChunkReader() {
    if (file_ != nullptr) platform::CloseHandle(file_);
  }

  Open OpenFile(const char16_t* path) {
    HANDLE handle = platform::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
      DWORD error = platform::GetLastError();
      return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? Open::kMissing
                                                                              : Open::kFailed;
    }
    file_ = handle;
    return Open::kOk;
  }

  bool Fill(char* buffer, unsigned* got) {
    *got = 0;
    while (*got < kChunk) {
      DWORD count = 0;
      if (!::ReadFile(file_, buffer + *got, kChunk - *got, &count, nullptr)) return false;
      if (count == 0) break;
      *got += count;
    }
    return true;
  }

 private:
  HANDLE file_ = nullptr;
#else
  Open OpenFile(const char16_t* path) {
    std::string host = platform::image::HostPath(path);
    if (host.empty()) return Open::kFailed;
    struct stat info;
    if (stat(host.c_str(), &info) != 0)
      return (errno == ENOENT || errno == ENOTDIR) ? Open::kMissing : Open::kFailed;
    if (!S_ISREG(info.st_mode)) return Open::kFailed;
    stream_.open(host, std::ios::binary);
    return stream_ ? Open::kOk : Open::kFailed;
  }

  bool Fill(char* buffer, unsigned* got) {
    stream_.read(buffer, kChunk);
    if (stream_.bad()) return false;
    *got = static_cast<unsigned>(stream_.gcount());
    return true;
  }

 private:
  std::ifstream stream_;
#endif
};

}  // namespace

TargetState CompareMoveTarget(const char16_t* source, const char16_t* target) {
  ChunkReader existing;
  switch (existing.OpenFile(target)) {
    case ChunkReader::Open::kMissing: return TargetState::kAbsent;
    case ChunkReader::Open::kFailed: return TargetState::kDifferent;
    case ChunkReader::Open::kOk: break;
  }
  ChunkReader moving;
  if (moving.OpenFile(source) != ChunkReader::Open::kOk) return TargetState::kDifferent;
  char a[kChunk];
  char b[kChunk];
  for (;;) {
    unsigned gotA = 0, gotB = 0;
    if (!existing.Fill(a, &gotA) || !moving.Fill(b, &gotB)) return TargetState::kDifferent;
    if (gotA != gotB || std::memcmp(a, b, gotA) != 0) return TargetState::kDifferent;
    if (gotA < kChunk) return TargetState::kIdentical;
  }
}
