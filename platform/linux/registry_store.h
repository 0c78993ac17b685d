// The two registry files of the current image, kept in memory and in step
// with the disk: a file changed by another process is read again before the
// next operation, and every change is saved atomically under the image's
// lock, or refused while a Wine server owns the image.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/linux/registry_file.h"
#include "platform/win32_types.h"

namespace platform {
namespace backend {

enum class Hive { kMachine, kUser };

// The root line Wine writes into each file's header.
const char* HiveRelativeTo(Hive hive);
// The file of a hive in the image at root.
std::string HiveFile(const std::string& root, Hive hive);

// The hive as it is on disk now, or null with a Win32 error when its file
// cannot be read or is not a registry file. A missing file reads as empty.
regfile::File* ReadHive(Hive hive, LONG* error);

// The key's values, read from the hive's text, are dropped until they are
// asked for again (regfile::File::ForgetValues), unless the key changed.
// The hive as last read: its file is not looked at again.
void ForgetValues(Hive hive, const regfile::KeyPath& path);

// Runs change on the current hive under the image's lock and saves the
// result atomically when change reports a modification. Returns change's
// result, or the error that prevented the change or the save (the hive then
// stays as it is on disk).
LONG ChangeHive(Hive hive, const std::function<LONG(regfile::File& file, bool* modified)>& change);

// Holds the image's registry lock for as long as it lives: an exclusive
// flock on the image folder itself, so no lock file is ever created in the
// image (none to be left behind owned by another user, none to be made
// through a link planted there).
class ImageLock {
 public:
  ImageLock();
  ~ImageLock();
  ImageLock(const ImageLock&) = delete;
  ImageLock& operator=(const ImageLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The store's side of a registry transaction (platform's
// BeginRegistryTransaction): until the outermost EndTransaction, ChangeHive
// keeps changes in memory under the image lock, and a failed change drops
// them all; EndTransaction(true) then saves each changed hive once. Begin
// takes the backend's lock and End gives it back.
void BeginTransaction();
// False when the changes were dropped or could not all be saved.
bool EndTransaction(bool commit);

// How many changes this process has made to the registry (in memory);
// reads of another process's changes do not count.
unsigned long LocalChanges();

// Writes a whole file atomically: temporary file in the same folder, flush,
// rename. False when any step fails (the old file is then untouched).
bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode);

// Splits "A\B\C" into its names (empty names dropped).
regfile::KeyPath SplitKeyPath(const char16_t* path);

// A string value (REG_SZ, REG_EXPAND_SZ) of the hive as text; false when the
// key or value is missing or is no string.
bool ReadString(Hive hive, const std::u16string& keyPath, const std::u16string& name,
                std::u16string* text, DWORD* type);
struct NamedString {
  std::u16string name;
  std::u16string text;
  DWORD type;
};
// Every string value of a key, in enumeration order.
std::vector<NamedString> ReadStrings(Hive hive, const std::u16string& keyPath);

// The text of REG_SZ-style data up to its first zero unit.
std::u16string TextOfData(const std::string& data);

}  // namespace backend
}  // namespace platform
