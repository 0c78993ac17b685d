// File operations over the image's drives: directory listing, opening for
// the size, copying, deleting and making or removing folders. Every failure
// sets the thread's last error as Windows does.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/case_fold.h"
#include "platform/linux/backend.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace platform {

namespace {

constexpr DWORD kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder
constexpr DWORD kOpenAlways = 4;
constexpr DWORD kTruncateExisting = 5;
constexpr DWORD kBackupSemantics = 0x02000000;

struct FoundEntry {
  DWORD attributes;
  std::u16string name;
};

struct HandleObject {
  enum Kind { kFind, kFile } kind;
  std::vector<FoundEntry> entries;  // kFind: what is left to deliver
  size_t next = 0;
  int fd = -1;                      // kFile
  ~HandleObject() {
    if (fd >= 0) close(fd);
  }
};

std::map<uintptr_t, std::unique_ptr<HandleObject>>& Objects() {
  static std::map<uintptr_t, std::unique_ptr<HandleObject>> objects;
  return objects;
}

// Files this process created outside the image (the host's response is
// written beside the path the host named, which may lie anywhere). Outside
// the image nothing else is ever changed: such a file may be renamed over a
// name in its own folder, or deleted, and that is all.
std::set<std::string>& OwnFilesOutside() {
  static std::set<std::string> files;
  return files;
}

// Whether a change may act on host path: inside the image, or a file this
// process made outside it.
bool MayChange(const std::string& host) {
  return backend::InsideImage(host) || OwnFilesOutside().count(host) != 0;
}

HANDLE Register(std::unique_ptr<HandleObject> object) {
  static uintptr_t next = 0x40000000;
  next += 4;
  Objects()[next] = std::move(object);
  return reinterpret_cast<HANDLE>(next);
}

HandleObject* Lookup(HANDLE handle, HandleObject::Kind kind) {
  auto it = Objects().find(reinterpret_cast<uintptr_t>(handle));
  if (it == Objects().end() || it->second->kind != kind) return nullptr;
  return it->second.get();
}

template <typename T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Windows file-name wildcards, ignoring case: '*' any run, '?' one unit;
// "*.*" matches every name, with or without a dot.
bool Matches(const char16_t* mask, const char16_t* name) {
  if (wtext::Equal(mask, u"*.*") || wtext::Equal(mask, u"*")) return true;
  const char16_t* star = nullptr;
  const char16_t* resume = nullptr;
  while (*name != 0) {
    if (*mask == u'*') {
      star = mask++;
      resume = name;
    } else if (*mask == u'?' || (*mask != 0 && FoldCaseForCompare(*mask) == FoldCaseForCompare(*name))) {
      ++mask;
      ++name;
    } else if (star != nullptr) {
      mask = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*mask == u'*') ++mask;
  return *mask == 0;
}

DWORD AttributesOf(const struct stat& st, const std::u16string& name) {
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else {
    attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  }
  if (name.size() > 1 && name[0] == u'.' && name != u"..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

void Deliver(const FoundEntry& entry, FindDataW* data) {
  data->dwFileAttributes = entry.attributes;
  wtext::Copy(data->cFileName, MAX_PATH, entry.name);
}

bool ReadOnlyFile(const struct stat& st) {
  return !S_ISDIR(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Host path of a Windows path; "" sets ERROR_PATH_NOT_FOUND.
std::string Map(const char16_t* path) {
  if (path == nullptr || *path == 0) return "";
  return backend::MapPath(path);
}

// CreateFileW also takes a host path as it is ("/..."): the same file that
// drive Z: names, which is how Wine shows the host's own file system.
std::string MapOrHostPath(const char16_t* path) {
  std::string host = Map(path);
  if (host.empty() && path != nullptr && path[0] == u'/') host = wtext::ToUtf8(path);
  return host;
}

bool CopyBytes(int from, int to) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(to, buffer + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

// CopyFileW of a symbolic link: the same link text at the target, made
// beside it and renamed into place (or linked, when the target must not exist).
BOOL CopyLink(const std::string& from, const std::string& to, BOOL failIfExists) {
  std::vector<char> text(PATH_MAX + 1);
  ssize_t length = readlink(from.c_str(), text.data(), text.size() - 1);
  if (length < 0) return Fail(backend::ErrorFromErrno(errno, from), FALSE);
  std::string target(text.data(), size_t(length));
  struct stat existing;
  if (lstat(to.c_str(), &existing) == 0) {
    if (failIfExists) return Fail(ERROR_FILE_EXISTS, FALSE);
    if (S_ISDIR(existing.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  std::string folder = backend::ParentOf(to);
  if (!backend::IsDirectory(folder)) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (failIfExists) {
    if (symlink(target.c_str(), to.c_str()) == 0) return TRUE;
    return Fail(errno == EEXIST ? DWORD(ERROR_FILE_EXISTS) : backend::ErrorFromErrno(errno, to), FALSE);
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = folder + (folder == "/" ? "" : "/") + ".link-" + std::to_string(getpid()) + "-" +
                       std::to_string(attempt);
    if (symlink(target.c_str(), temp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return Fail(backend::ErrorFromErrno(errno, temp), FALSE);
    }
    if (rename(temp.c_str(), to.c_str()) == 0) return TRUE;
    int error = errno;
    unlink(temp.c_str());
    return Fail(backend::ErrorFromErrno(error, to), FALSE);
  }
  return Fail(ERROR_ACCESS_DENIED, FALSE);
}

}  // namespace

HANDLE FindFirstFileW(const char16_t* pattern, FindDataW* data) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if (pattern == nullptr || data == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  std::u16string text = pattern;
  size_t cut = text.find_last_of(u"\\/");
  if (cut == std::u16string::npos) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  std::u16string folder = text.substr(0, cut + 1);
  std::u16string mask = text.substr(cut + 1);
  if (mask.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  std::string host = Map(folder.c_str());
  if (host.empty() || !backend::IsDirectory(host)) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);

  // A drive's root lists no "." and "..".
  bool driveRoot = true;
  for (size_t i = 2; i < folder.size(); ++i)
    if (!IsSeparator(folder[i])) driveRoot = false;

  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) return Fail(backend::ErrorFromErrno(errno, host), INVALID_HANDLE_VALUE);
  auto object = std::make_unique<HandleObject>();
  object->kind = HandleObject::kFind;
  while (struct dirent* entry = readdir(dir)) {
    // A name that is not UTF-8 has no Windows spelling: listed, it would
    // decode to U+FFFD and alias every other such name.
    if (!wtext::IsValidUtf8(entry->d_name)) continue;
    std::u16string name = wtext::FromUtf8(entry->d_name);
    bool dots = name == u"." || name == u"..";
    if ((dots && driveRoot) || name.size() >= MAX_PATH) continue;
    if (!Matches(mask.c_str(), name.c_str())) continue;
    struct stat st;
    std::string full = host + (host == "/" ? "" : "/") + entry->d_name;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    object->entries.push_back({AttributesOf(st, name), name});
  }
  closedir(dir);
  // The order a Windows volume lists names in: "." and ".." first, then
  // sorted ignoring case.
  std::sort(object->entries.begin(), object->entries.end(), [](const FoundEntry& a, const FoundEntry& b) {
    bool aDots = a.name == u"." || a.name == u"..";
    bool bDots = b.name == u"." || b.name == u"..";
    if (aDots != bDots) return aDots;
    return CompareFolded(a.name.data(), a.name.size(), b.name.data(), b.name.size()) < 0;
  });
  if (object->entries.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  Deliver(object->entries[0], data);
  object->next = 1;
  return Register(std::move(object));
}

BOOL FindNextFileW(HANDLE find, FindDataW* data) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  HandleObject* object = Lookup(find, HandleObject::kFind);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (object->next >= object->entries.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
  Deliver(object->entries[object->next++], data);
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  backend::Guard guard(backend::Mutex());
  if (Lookup(find, HandleObject::kFind) == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  Objects().erase(reinterpret_cast<uintptr_t>(find));
  return TRUE;
}

HANDLE CreateFileW(const char16_t* path, DWORD access, DWORD /*share*/, void* /*security*/,
                   DWORD creation, DWORD flags, HANDLE /*templateFile*/) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  std::string host = MapOrHostPath(path);
  if (host.empty()) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  bool reading = (access & GENERIC_READ) != 0 || (access & GENERIC_WRITE) == 0;
  bool writing = (access & GENERIC_WRITE) != 0;
  // Writing, truncating or creating: never through a link, and outside the
  // image only a new file (which changes nothing that was there).
  bool changes = writing || creation != OPEN_EXISTING;
  // Reading what exists asks the opened file what it is; the other ways
  // look first, since they may make or cut a file.
  bool isFolder = changes && backend::IsDirectory(host);
  if (isFolder && (flags & kBackupSemantics) == 0) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);

  int mode = reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
  bool existed = changes && backend::Exists(host);
  bool outside = changes && !backend::InsideImage(host);
  if (outside && creation != CREATE_NEW) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if (changes) mode |= O_NOFOLLOW;
  switch (creation) {
    case CREATE_NEW: mode |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: mode |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case kOpenAlways: mode |= O_CREAT; break;
    case kTruncateExisting: mode |= O_TRUNC; break;
    default: return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  // O_NONBLOCK: opening a FIFO must not wait for a writer. What is opened
  // must then be a regular file (or a folder asked for as one): a FIFO,
  // socket or device has no facts to read and could block or never end.
  int fd = open(host.c_str(), mode | O_CLOEXEC | O_NONBLOCK | (isFolder ? O_DIRECTORY : 0), 0644);
  if (fd < 0) {
    DWORD error = errno == EEXIST ? DWORD(ERROR_FILE_EXISTS) : backend::ErrorFromErrno(errno, host);
    return Fail(error, INVALID_HANDLE_VALUE);
  }
  struct stat opened;
  if (fstat(fd, &opened) != 0) {
    close(fd);
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  if (!changes) isFolder = S_ISDIR(opened.st_mode);
  if (!(S_ISREG(opened.st_mode) || (isFolder && S_ISDIR(opened.st_mode))) ||
      (isFolder && (flags & kBackupSemantics) == 0)) {
    close(fd);
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  // Regular files never block; reads and writes go back to blocking mode
  // (no other status flag is ever set here).
  fcntl(fd, F_SETFL, 0);
  if (outside) OwnFilesOutside().insert(host);
  auto object = std::make_unique<HandleObject>();
  object->kind = HandleObject::kFile;
  object->fd = fd;
  if (creation == CREATE_ALWAYS || creation == kOpenAlways)
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return Register(std::move(object));
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, DWORD(INVALID_FILE_SIZE));
  HandleObject* object = Lookup(file, HandleObject::kFile);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE, DWORD(INVALID_FILE_SIZE));
  struct stat st;
  if (fstat(object->fd, &st) != 0) return Fail(ERROR_ACCESS_DENIED, DWORD(INVALID_FILE_SIZE));
  uint64_t size = uint64_t(st.st_size);
  if (sizeHigh != nullptr) *sizeHigh = DWORD(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(size & 0xFFFFFFFFu);
}

BOOL GetFileInformationByHandle(HANDLE file, ByHandleFileInformation* information) {
  backend::Guard guard(backend::Mutex());
  HandleObject* object = Lookup(file, HandleObject::kFile);
  if (object == nullptr || information == nullptr)
    return Fail(object == nullptr ? DWORD(ERROR_INVALID_HANDLE) : DWORD(ERROR_INVALID_PARAMETER), FALSE);
  struct stat st;
  if (fstat(object->fd, &st) != 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  // The device folded into 32 bits as a volume serial; the inode whole.
  uint64_t device = uint64_t(st.st_dev);
  information->dwVolumeSerialNumber = DWORD(device ^ (device >> 32));
  information->nFileIndexHigh = DWORD(uint64_t(st.st_ino) >> 32);
  information->nFileIndexLow = DWORD(uint64_t(st.st_ino) & 0xFFFFFFFFu);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  backend::Guard guard(backend::Mutex());
  if (read != nullptr) *read = 0;
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  HandleObject* object = Lookup(file, HandleObject::kFile);
  if (object == nullptr || read == nullptr || overlapped != nullptr)
    return Fail(object == nullptr ? DWORD(ERROR_INVALID_HANDLE) : DWORD(ERROR_INVALID_PARAMETER), FALSE);
  ssize_t n;
  do n = ::read(object->fd, buffer, toRead); while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(errno == EISDIR ? DWORD(ERROR_ACCESS_DENIED) : backend::ErrorFromErrno(errno, ""), FALSE);
  *read = DWORD(n);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  backend::Guard guard(backend::Mutex());
  if (written != nullptr) *written = 0;
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  HandleObject* object = Lookup(file, HandleObject::kFile);
  if (object == nullptr || written == nullptr || overlapped != nullptr)
    return Fail(object == nullptr ? DWORD(ERROR_INVALID_HANDLE) : DWORD(ERROR_INVALID_PARAMETER), FALSE);
  // Windows writes the whole buffer to a disk file or fails.
  const char* bytes = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(object->fd, bytes + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *written = done;
      return Fail(errno == ENOSPC ? DWORD(ERROR_DISK_FULL) : backend::ErrorFromErrno(errno, ""), FALSE);
    }
    done += DWORD(n);
  }
  *written = done;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  backend::Guard guard(backend::Mutex());
  auto it = Objects().find(reinterpret_cast<uintptr_t>(handle));
  if (it == Objects().end()) return Fail(ERROR_INVALID_HANDLE, FALSE);
  Objects().erase(it);
  return TRUE;
}

BOOL CopyFileW(const char16_t* source, const char16_t* destination, BOOL failIfExists) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  std::string from = Map(source);
  std::string to = Map(destination);
  if (from.empty() || to.empty()) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  // Reading may follow any drive; the copy is written only inside the image.
  if (!backend::InsideImage(to)) return Fail(ERROR_ACCESS_DENIED, FALSE);

  struct stat entry;
  if (lstat(from.c_str(), &entry) != 0) return Fail(backend::ErrorFromErrno(errno, from), FALSE);
  // A symbolic link is copied as the link it is (a move must not turn it
  // into a copy of what it points at, nor follow it out of the image).
  if (S_ISLNK(entry.st_mode)) return CopyLink(from, to, failIfExists);
  // Only regular files are copied: a FIFO or a device would block or never end.
  if (!S_ISREG(entry.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (in < 0) return Fail(backend::ErrorFromErrno(errno, from), FALSE);
  struct stat st;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(in);
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  struct stat target;
  if (stat(to.c_str(), &target) == 0) {
    DWORD error = failIfExists ? DWORD(ERROR_FILE_EXISTS)
                  : (S_ISDIR(target.st_mode) || ReadOnlyFile(target)) ? DWORD(ERROR_ACCESS_DENIED)
                                                                      : DWORD(ERROR_SUCCESS);
    if (error != ERROR_SUCCESS) {
      close(in);
      return Fail(error, FALSE);
    }
  }
  std::string folder = backend::ParentOf(to);
  if (!backend::IsDirectory(folder)) {
    close(in);
    return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  }
  // The copy is written beside the target and renamed into place, so a
  // failed copy never leaves a partial file under the target's name.
  std::string temp = folder + (folder == "/" ? "" : "/") + ".copy-XXXXXX";
  int out = mkostemp(&temp[0], O_CLOEXEC);
  if (out < 0) {
    DWORD error = backend::ErrorFromErrno(errno, temp);
    close(in);
    return Fail(error, FALSE);
  }
  bool ok = CopyBytes(in, out);
  int savedErrno = errno;
  close(in);
  if (ok) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    fchmod(out, st.st_mode & 0777);
    futimens(out, times);
    ok = fsync(out) == 0;
    savedErrno = errno;
  }
  ok = close(out) == 0 && ok;
  if (ok) {
    if (failIfExists) {
      ok = link(temp.c_str(), to.c_str()) == 0;
      savedErrno = errno;
      unlink(temp.c_str());
      if (!ok && savedErrno == EEXIST) return Fail(ERROR_FILE_EXISTS, FALSE);
    } else {
      ok = rename(temp.c_str(), to.c_str()) == 0;
      savedErrno = errno;
    }
  }
  if (!ok) {
    unlink(temp.c_str());
    return Fail(backend::ErrorFromErrno(savedErrno, to), FALSE);
  }
  return TRUE;
}

BOOL DeleteFileW(const char16_t* path) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  std::string host = Map(path);
  if (host.empty()) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (!MayChange(host)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return Fail(backend::ErrorFromErrno(errno, host), FALSE);
  // Only a regular file or a link is deleted: never a folder, FIFO, socket or device.
  if (!(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) || (S_ISREG(st.st_mode) && ReadOnlyFile(st)))
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (unlink(host.c_str()) != 0) return Fail(backend::ErrorFromErrno(errno, host), FALSE);
  backend::FolderEntriesTaken();
  OwnFilesOutside().erase(host);
  return TRUE;
}

// rename(2): atomic, and a symbolic link at the destination is replaced
// rather than followed. Only files move (the module never moves a folder).
// Both ends lie in the image, or the file is one this process made outside
// it and keeps its folder (how the host's response replaces its file).
BOOL MoveFileExW(const char16_t* existing, const char16_t* replacement, DWORD flags) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  std::string from = Map(existing);
  std::string to = Map(replacement);
  if (from.empty() || to.empty()) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  bool own = OwnFilesOutside().count(from) != 0;
  bool inside = backend::InsideImage(from) && backend::InsideImage(to);
  if (!inside && !(own && backend::ParentOf(from) == backend::ParentOf(to)))
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return Fail(backend::ErrorFromErrno(errno, from), FALSE);
  // Only a regular file or a link (moved as the link it is) is moved.
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (lstat(to.c_str(), &st) == 0) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) return Fail(ERROR_ALREADY_EXISTS, FALSE);
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  if (rename(from.c_str(), to.c_str()) != 0) {
    DWORD error = errno == ENOENT ? DWORD(ERROR_PATH_NOT_FOUND) : backend::ErrorFromErrno(errno, to);
    return Fail(error, FALSE);
  }
  backend::FolderEntriesTaken();
  OwnFilesOutside().erase(from);
  return TRUE;
}

BOOL CreateDirectoryW(const char16_t* path, void* /*security*/) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  std::string host = Map(path);
  if (host.empty()) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (!backend::InsideImage(host)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  struct stat st;
  if (lstat(host.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS, FALSE);
  if (mkdir(host.c_str(), 0755) != 0) {
    DWORD error = errno == ENOENT ? DWORD(ERROR_PATH_NOT_FOUND) : backend::ErrorFromErrno(errno, host);
    return Fail(error, FALSE);
  }
  return TRUE;
}

BOOL RemoveDirectoryW(const char16_t* path) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  std::string host = Map(path);
  if (host.empty()) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (!backend::InsideImage(host)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (rmdir(host.c_str()) != 0) {
    DWORD error = errno == ENOTDIR    ? kErrorDirectory
                  : errno == EEXIST   ? DWORD(ERROR_DIR_NOT_EMPTY)
                                      : backend::ErrorFromErrno(errno, host);
    return Fail(error, FALSE);
  }
  backend::FolderEntriesTaken();
  return TRUE;
}

}  // namespace platform
