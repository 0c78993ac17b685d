#include "inventory/startup_folders.h"

#include "platform/platform.h"
#include "platform/wtext.h"

bool StartupFolderPath(int csidl, char16_t (&path)[MAX_PATH]) {
  path[0] = 0;
  if (!platform::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ||
      wtext::LengthBounded(path, MAX_PATH) >= MAX_PATH) {
    path[0] = 0;
    return false;
  }
  return path[0] != 0;
}

bool IsPlainFileName(const char16_t* name) {
  if (name == nullptr || name[0] == 0) return false;
  for (const char16_t* p = name; *p != 0; ++p)
    if (*p == u'\\' || *p == u'/' || *p == u':') return false;
  return !wtext::Equal(name, u".") && !wtext::Equal(name, u"..");
}
