// Owners for the handles of the platform layer: each closes its handle once,
// on every way out of the scope that holds it.
#pragma once

#include "platform/platform.h"

namespace platform {

class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() { reset(); }
  HKEY get() const { return key_; }
  HKEY* receive() { reset(); return &key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void reset() {
    if (key_ != nullptr) platform::RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// A registry transaction for as long as it lives: Commit saves what was
// changed in it; leaving the scope without Commit drops it.
class ScopedRegistryTransaction {
 public:
  ScopedRegistryTransaction() { platform::BeginRegistryTransaction(); }
  ScopedRegistryTransaction(const ScopedRegistryTransaction&) = delete;
  ScopedRegistryTransaction& operator=(const ScopedRegistryTransaction&) = delete;
  ~ScopedRegistryTransaction() {
    if (open_) platform::EndRegistryTransaction(FALSE);
  }
  // True when everything changed in the transaction was saved.
  bool Commit() {
    if (!open_) return false;
    open_ = false;
    return platform::EndRegistryTransaction(TRUE) != FALSE;
  }

 private:
  bool open_ = true;
};

class ScopedFind {
 public:
  explicit ScopedFind(HANDLE find) : find_(find) {}
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  ~ScopedFind() { if (valid()) platform::FindClose(find_); }
  bool valid() const { return find_ != INVALID_HANDLE_VALUE && find_ != nullptr; }
  HANDLE get() const { return find_; }

 private:
  HANDLE find_;
};

class ScopedFile {
 public:
  explicit ScopedFile(HANDLE file) : file_(file) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { if (valid()) platform::CloseHandle(file_); }
  bool valid() const { return file_ != INVALID_HANDLE_VALUE && file_ != nullptr; }
  HANDLE get() const { return file_; }

 private:
  HANDLE file_;
};

// File-system redirection switched off for the calling thread while it
// lives (when wanted), and switched back on however the scope is left.
// Where there is no redirection it does nothing.
class ScopedNativeFileSystem {
 public:
  explicit ScopedNativeFileSystem(bool wanted) {
    disabled_ = wanted && platform::Wow64DisableWow64FsRedirection(&old_) != FALSE;
  }
  ScopedNativeFileSystem(const ScopedNativeFileSystem&) = delete;
  ScopedNativeFileSystem& operator=(const ScopedNativeFileSystem&) = delete;
  ~ScopedNativeFileSystem() {
    if (disabled_) platform::Wow64RevertWow64FsRedirection(old_);
  }
  bool active() const { return disabled_; }

 private:
  void* old_ = nullptr;
  bool disabled_ = false;
};

}  // namespace platform
