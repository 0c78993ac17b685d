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
  // The characters Windows reserves in a file name, and control characters:
  // a Linux file may hold them, but no Windows path can name such a file
  // without reaching somewhere else.
  static const char16_t kReserved[] = u"\\/:*?\"<>|";
  for (const char16_t* p = name; *p != 0; ++p) {
    if (*p < 0x20) return false;
    for (const char16_t* r = kReserved; *r != 0; ++r)
      if (*p == *r) return false;
  }
  return !wtext::Equal(name, u".") && !wtext::Equal(name, u"..");
}

bool IsFileDirectlyIn(const char16_t* folder, const char16_t* path) {
  if (folder == nullptr || path == nullptr || folder[0] == 0) return false;
  const char16_t* slash = wtext::FindLastChar(path, u'\\');
  if (slash == nullptr || !IsPlainFileName(slash + 1)) return false;
  size_t length = static_cast<size_t>(slash - path);
  if (wtext::LengthBounded(folder, length + 1) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char16_t a = folder[i], b = path[i];
    if (a >= u'a' && a <= u'z') a = char16_t(a - 32);
    if (b >= u'a' && b <= u'z') b = char16_t(b - 32);
    if (a != b) return false;
  }
  return true;
}
