// Version resources on the Linux backend: the image's file is read with the
// portable PE reader, and the answers are those of the system's version
// library for the same file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/linux/backend.h"
#include "platform/linux/system_image.h"
#include "platform/pe_version.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kErrorBadPathname = 161;
constexpr DWORD kSmallestBlock = 6;  // one node header

// A regular file of the image, read in place with pread through a window.
class ImageFile : public pe_version::WindowedSource {
 public:
  ImageFile() = default;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  ~ImageFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  // 0 when open, else the Win32 error that opening the file gives.
  DWORD Open(const char16_t* windowsPath) {
    const std::string host = image::HostPath(windowsPath);
    if (host.empty()) return ERROR_PATH_NOT_FOUND;
    // O_NONBLOCK: a FIFO must not wait for a writer; only regular files are read.
    fd_ = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    struct stat info;
    if (::fstat(fd_, &info) != 0) return ERROR_FILE_NOT_FOUND;
    if (S_ISDIR(info.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISREG(info.st_mode)) return ERROR_FILE_NOT_FOUND;
    SetSize(static_cast<uint64_t>(info.st_size));
    return ERROR_SUCCESS;
  }

 private:
  bool Fetch(uint64_t offset, void* out, size_t n) const override {
    char* to = static_cast<char*>(out);
    while (n > 0) {
      ssize_t got = ::pread(fd_, to, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      to += got;
      offset += static_cast<uint64_t>(got);
      n -= static_cast<size_t>(got);
    }
    return true;
  }

  int fd_ = -1;
};

// The program file last opened on this thread during the current export
// call, and what was found in it: the size query and the read of a version
// block that follows it open the file and walk its resources once.
struct LastFile {
  unsigned long serial = 0;
  unsigned long generation = 0;
  std::u16string path;
  std::unique_ptr<ImageFile> file;
  bool located = false;
  DWORD error = ERROR_SUCCESS;
  pe_version::VersionResource found;
};
thread_local LastFile t_last;

// Opens the file into file and finds its version resource; a Win32 error
// (the one the system's library gives) when there is none.
DWORD Open(const char16_t* path, ImageFile* file, pe_version::VersionResource* found) {
  DWORD error = file->Open(path);
  if (error != ERROR_SUCCESS) return error;
  if (!pe_version::FindVersionResource(*file, found) || pe_version::InfoBlockSize(found->size) == 0)
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  return ERROR_SUCCESS;
}

// Finds the version resource of path: *file is the opened file (local
// outside an export call, the call's kept one within it). On failure the
// last error says why, as the system's library does.
bool Locate(const char16_t* path, ImageFile* local, const ImageFile** file,
            pe_version::VersionResource* found) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (path[0] == 0) {
    SetLastError(kErrorBadPathname);
    return false;
  }
  DWORD error;
  const unsigned long serial = backend::CallSerial();
  LastFile& last = t_last;
  if (serial == 0) {
    error = Open(path, local, found);
    *file = local;
  } else {
    if (last.serial != serial || last.generation != backend::RootGeneration() || last.path != path) {
      last = LastFile();
      last.file.reset(new ImageFile());
      last.error = Open(path, last.file.get(), &last.found);
      last.serial = serial;
      last.generation = backend::RootGeneration();
      last.path = path;
    }
    error = last.error;
    *found = last.found;
    *file = last.file.get();
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  return true;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(const char16_t* path, DWORD* handle) {
  if (handle != nullptr) *handle = 0;
  ImageFile local;
  const ImageFile* file = nullptr;
  pe_version::VersionResource found;
  if (!Locate(path, &local, &file, &found)) return 0;
  SetLastError(ERROR_SUCCESS);
  return pe_version::InfoBlockSize(found.size);
}

BOOL GetFileVersionInfoW(const char16_t* path, DWORD, DWORD length, void* data) {
  if (data == nullptr) {
    SetLastError(kErrorInvalidData);
    return FALSE;
  }
  // A block too small for one node header could not be queried safely.
  if (length < kSmallestBlock) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  ImageFile local;
  const ImageFile* file = nullptr;
  pe_version::VersionResource found;
  if (!Locate(path, &local, &file, &found)) return FALSE;
  const uint32_t copy = found.size < length ? found.size : length;
  if (!pe_version::ReadVersionResource(*file, found, data, copy)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  pe_version::FinishInfoBlock(static_cast<uint8_t*>(data), length);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, UINT* length) {
  if (block == nullptr) return FALSE;
  const uint8_t* bytes = static_cast<const uint8_t*>(block);
  const uint8_t* value = nullptr;
  uint32_t valueLength = 0;
  if (!pe_version::QueryValue(bytes, pe_version::BlockExtent(bytes), subBlock, &value,
                              &valueLength)) {
    if (length != nullptr) *length = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  if (buffer != nullptr) *buffer = const_cast<uint8_t*>(value);
  if (length != nullptr) *length = valueLength;
  return TRUE;
}

namespace backend {

void ForgetCall() { t_last = LastFile(); }

}  // namespace backend
}  // namespace platform
