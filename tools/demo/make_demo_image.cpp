// Lays out a demonstration system with startup items of every kind: safe,
// dangerous, unknown and hidden Run values, startup-folder files, a value the
// module disabled earlier and an entry the system configuration utility
// switched off. On Linux it first creates a fresh system image in the folder
// given; on Windows it writes into the running system (use a throw-away Wine
// prefix).
//
// usage: make_demo_image IMAGE-FOLDER FIXTURES-FOLDER   (Linux)
//        make_demo_image FIXTURES-FOLDER                (Windows)
#include <cstdio>
#include <string>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#ifndef _WIN32
#include "platform/linux/system_image.h"
#endif

namespace {

const char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRunDisabled[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\TidyraDisable";
const char16_t kMsconfigReg[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";

bool g_ok = true;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "make_demo_image: could not %s\n", what.c_str());
    g_ok = false;
  }
}

void SetValue(HKEY root, const std::u16string& key, const std::u16string& name,
              const std::u16string& data, DWORD type = REG_SZ) {
  platform::ScopedKey handle;
  LONG r = platform::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     handle.receive(), nullptr);
  if (r == ERROR_SUCCESS)
    r = platform::RegSetValueExW(handle.get(), name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
  Check(r == ERROR_SUCCESS, "set " + wtext::ToUtf8(name));
}

void MakeFolders(const std::u16string& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == u'\\') {
      std::u16string part = path.substr(0, i);
      platform::CreateDirectoryW(part.c_str(), nullptr);
    }
  }
}

void CopyInto(const std::u16string& fixtures, const char16_t* fixture, const std::u16string& folder,
              const std::u16string& name) {
  MakeFolders(folder);
  std::u16string source = fixtures + u"\\" + fixture;
  std::u16string target = folder + u"\\" + name;
  Check(platform::CopyFileW(source.c_str(), target.c_str(), FALSE) != 0,
        "copy " + wtext::ToUtf8(source) + " to " + wtext::ToUtf8(target));
}

std::u16string Folder(int csidl) {
  char16_t path[MAX_PATH] = {};
  platform::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

std::u16string Expand(const char16_t* text) {
  char16_t out[MAX_PATH] = {};
  platform::ExpandEnvironmentStringsW(text, out, MAX_PATH);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_demo_image IMAGE-FOLDER FIXTURES-FOLDER\n");
    return 2;
  }
  if (!platform::image::CreateImage(argv[1])) {
    std::fprintf(stderr, "make_demo_image: cannot create an image in %s\n", argv[1]);
    return 1;
  }
  platform::image::SetRoot(argv[1]);
  const std::u16string fixtures = platform::image::WindowsPath(argv[2]);
#else
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_image FIXTURES-FOLDER\n");
    return 2;
  }
  const std::u16string fixtures = wtext::FromUtf8(argv[1]);
#endif

  const std::u16string tools = u"C:\\Program Files\\Demo Tools";
  const std::u16string suite = u"C:\\Program Files\\示例套件";
  const std::u16string appData = Expand(u"%APPDATA%");
  CopyInto(fixtures, u"normal.exe", tools, u"demotray.exe");
  CopyInto(fixtures, u"chinese.exe", suite, u"updater.exe");
  CopyInto(fixtures, u"no_version.exe", appData, u"svchost.exe");

  // Machine-wide Run values: safe, unknown, dangerous, hidden, and one the
  // module never lists.
  SetValue(HKEY_LOCAL_MACHINE, kRun, u"SecurityHealth",
           u"%windir%\\system32\\SecurityHealthSystray.exe");
  SetValue(HKEY_LOCAL_MACHINE, kRun, u"Demo Tools Tray", u"\"" + tools + u"\\demotray.exe\" /tray");
  SetValue(HKEY_LOCAL_MACHINE, kRun, u"svchost", appData + u"\\svchost.exe -k netsvcs");
  SetValue(HKEY_LOCAL_MACHINE, kRun, u"IMJPMIG8.1",
           u"C:\\Windows\\IME\\imjp8_1\\IMJPMIG.EXE /Spoil /RemAdvDef /Migration32");
  SetValue(HKEY_LOCAL_MACHINE, kRun, u"OrloOsInstall", u"C:\\Windows\\setup\\finish.exe");

  // The current user's Run values.
  SetValue(HKEY_CURRENT_USER, kRun, u"示例更新", u"\"" + suite + u"\\updater.exe\" -silent");
  SetValue(HKEY_CURRENT_USER, kRun, u"windows auto update", u"msblast.exe");
  SetValue(HKEY_CURRENT_USER, kRun, u"Demo Helper", u"%ProgramFiles%\\Demo Tools\\demotray.exe",
           REG_EXPAND_SZ);

  // Startup folders: shortcuts (their bytes do not matter to the module) and
  // a desktop.ini that is never listed.
  const std::u16string common = Folder(CSIDL_COMMON_STARTUP);
  const std::u16string user = Folder(CSIDL_STARTUP);
  Check(!common.empty() && !user.empty(), "find the startup folders");
  CopyInto(fixtures, u"no_version.exe", common, u"Send to OneNote.lnk");
  CopyInto(fixtures, u"no_version.exe", common, u"desktop.ini");
  CopyInto(fixtures, u"no_version.exe", user, u"Notes.lnk");

  // Switched-off items: one disabled by the module earlier, one by the
  // system configuration utility.
  SetValue(HKEY_CURRENT_USER, kRunDisabled, u"Old Helper",
           u"rem \"" + tools + u"\\demotray.exe\" /legacy");
  const std::u16string entry = std::u16string(kMsconfigReg) + u"\\Spotify";
  SetValue(HKEY_LOCAL_MACHINE, entry, u"item", u"Spotify");
  SetValue(HKEY_LOCAL_MACHINE, entry, u"command", appData + u"\\Spotify\\Spotify.exe /minimized");
  SetValue(HKEY_LOCAL_MACHINE, entry, u"hkey", u"HKCU");
  SetValue(HKEY_LOCAL_MACHINE, entry, u"key", kRun);

  if (g_ok) std::printf("demo system ready\n");
  return g_ok ? 0 : 1;
}
