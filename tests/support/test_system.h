// What every behaviour test needs from the system it runs on, the same on
// both targets: a clean system to start from, and a few file helpers.
//
// Linux: a fresh system image in a temporary folder (registry files and
// drive_c), made current for the platform layer and removed afterwards.
// Windows (under Wine): the real registry and file system of the throw-away
// test prefix, with every key and folder that the module reads emptied.
#pragma once

#include <string>

#include "platform/win32_types.h"

namespace testsys {

class CleanSystem {
 public:
  CleanSystem();
  ~CleanSystem();
  CleanSystem(const CleanSystem&) = delete;
  CleanSystem& operator=(const CleanSystem&) = delete;
};

// Writes bytes to a file given by its Windows path (creating missing
// folders); false on failure.
bool WriteFileBytes(const std::u16string& windowsPath, const std::string& bytes);
// Reads a whole file; false when it cannot be read.
bool ReadFileBytes(const std::u16string& windowsPath, std::string* bytes);
bool FileExists(const std::u16string& windowsPath);
// Creates a folder and its parents.
bool MakeFolders(const std::u16string& windowsPath);

// The Windows path of a file of the source tree (tests/..., data/...), as
// the system under test sees it.
std::u16string SourceTreePath(const std::string& relative);
// A scratch folder for this test (Windows path, no trailing backslash).
std::u16string ScratchFolder();

// The module path the logic sees (GetModuleFileNameW of ThisModule) and its
// folder with a trailing backslash.
std::u16string ModulePath();
std::u16string ModuleFolder();

// Sets or deletes registry values in one call each (REG_SZ unless told).
bool SetRegString(HKEY root, const std::u16string& key, const std::u16string& name,
                  const std::u16string& value, unsigned type = 1);
bool DeleteRegKey(HKEY root, const std::u16string& key);

}  // namespace testsys
