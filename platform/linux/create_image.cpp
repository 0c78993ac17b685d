// Making a minimal system image: the registry values and folders that a
// fresh 32-bit Wine prefix has and that the module reads, written in Wine's
// own format so that Wine accepts the image too.
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/backend.h"
#include "platform/linux/registry_store.h"
#include "platform/linux/system_image.h"
#include "platform/wtext.h"

namespace platform {
namespace image {

namespace {

using backend::Hive;

std::string UserName() {
  const char* user = getenv("USER");
  if (user != nullptr && *user != 0) return user;
  struct passwd* pw = getpwuid(getuid());
  return pw != nullptr && pw->pw_name != nullptr ? pw->pw_name : "user";
}

std::string Bytes(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  bytes.append(2, '\0');
  return bytes;
}

struct Entry {
  const char16_t* key;
  const char16_t* name;
  DWORD type;
  const char16_t* value;  // "$U" stands for the user's name
};

constexpr char16_t kShell[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kUserShell[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

const Entry kMachineEntries[] = {
    {kShell, u"Common AppData", REG_SZ, u"C:\\ProgramData"},
    {kShell, u"Common Programs", REG_SZ, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
    {kShell, u"Common Start Menu", REG_SZ, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu"},
    {kShell, u"Common StartUp", REG_SZ, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"},
    {kUserShell, u"Common AppData", REG_EXPAND_SZ, u"%ProgramData%"},
    {kUserShell, u"Common Programs", REG_EXPAND_SZ, u"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs"},
    {kUserShell, u"Common Start Menu", REG_EXPAND_SZ, u"%ProgramData%\\Microsoft\\Windows\\Start Menu"},
    {kUserShell, u"Common StartUp", REG_EXPAND_SZ,
     u"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"},
    {u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"ProfilesDirectory", REG_EXPAND_SZ,
     u"C:\\users"},
    {u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"ProgramData", REG_EXPAND_SZ,
     u"C:\\ProgramData"},
    {u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"Public", REG_EXPAND_SZ,
     u"C:\\users\\Public"},
    {u"Software\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir", REG_SZ, u"C:\\Program Files"},
    {u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", u"ComSpec", REG_EXPAND_SZ,
     u"%SystemRoot%\\system32\\cmd.exe"},
    {u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", u"PATH", REG_EXPAND_SZ,
     u"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\system32\\wbem"},
    {u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", u"PATHEXT", REG_SZ,
     u".com;.exe;.bat;.cmd;.vbs;.vbe;.js;.jse;.wsf;.wsh"},
    {u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", u"TEMP", REG_EXPAND_SZ,
     u"%SystemRoot%\\temp"},
    {u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", u"TMP", REG_EXPAND_SZ,
     u"%SystemRoot%\\temp"},
    {u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", u"windir", REG_EXPAND_SZ,
     u"%SystemRoot%"},
};

const Entry kUserEntries[] = {
    {u"Environment", u"TEMP", REG_SZ, u"C:\\users\\$U\\Temp"},
    {u"Environment", u"TMP", REG_SZ, u"C:\\users\\$U\\Temp"},
    {kShell, u"AppData", REG_SZ, u"C:\\users\\$U\\AppData\\Roaming"},
    {kShell, u"Local AppData", REG_SZ, u"C:\\users\\$U\\AppData\\Local"},
    {kShell, u"Programs", REG_SZ, u"C:\\users\\$U\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
    {kShell, u"Start Menu", REG_SZ, u"C:\\users\\$U\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
    {kShell, u"StartUp", REG_SZ,
     u"C:\\users\\$U\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"},
    {kUserShell, u"AppData", REG_EXPAND_SZ, u"%USERPROFILE%\\AppData\\Roaming"},
    {kUserShell, u"Local AppData", REG_EXPAND_SZ, u"%USERPROFILE%\\AppData\\Local"},
    {kUserShell, u"Programs", REG_EXPAND_SZ, u"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
    {kUserShell, u"Start Menu", REG_EXPAND_SZ, u"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
    {kUserShell, u"StartUp", REG_EXPAND_SZ,
     u"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"},
    {u"Volatile Environment", u"APPDATA", REG_SZ, u"C:\\users\\$U\\AppData\\Roaming"},
    {u"Volatile Environment", u"HOMEDRIVE", REG_SZ, u"C:"},
    {u"Volatile Environment", u"HOMEPATH", REG_SZ, u"\\users\\$U"},
    {u"Volatile Environment", u"LOCALAPPDATA", REG_SZ, u"C:\\users\\$U\\AppData\\Local"},
    {u"Volatile Environment", u"USERNAME", REG_SZ, u"$U"},
    {u"Volatile Environment", u"USERPROFILE", REG_SZ, u"C:\\users\\$U"},
};

template <size_t N>
bool WriteHive(const std::string& root, Hive hive, const Entry (&entries)[N], const std::u16string& user) {
  regfile::File file;
  file.Reset(backend::HiveRelativeTo(hive));
  for (const Entry& e : entries) {
    regfile::Key* key = file.Create(backend::SplitKeyPath(e.key), nullptr);
    std::u16string value = e.value;
    for (size_t at; (at = value.find(u"$U")) != std::u16string::npos;) value.replace(at, 2, user);
    file.SetValue(key, e.name, e.type, Bytes(value));
  }
  return backend::WriteFileAtomically(backend::HiveFile(root, hive), file.Serialize(), 0644);
}

}  // namespace

bool CreateImage(const std::string& hostRoot) {
  backend::Guard guard(backend::Mutex());
  std::string root = hostRoot;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  std::string user = UserName();
  std::u16string user16 = wtext::FromUtf8(user);
  std::string c = root + "/drive_c";
  const std::string folders[] = {
      root + "/dosdevices",
      c + "/windows/system32",
      c + "/windows/system",
      c + "/windows/temp",
      c + "/Program Files/Common Files",
      c + "/ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp",
      c + "/users/Public",
      c + "/users/" + user + "/Temp",
      c + "/users/" + user + "/AppData/Local",
      c + "/users/" + user + "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp",
  };
  for (const auto& folder : folders)
    if (!backend::MakeDirectories(folder)) return false;
  struct stat st;
  std::string driveLink = root + "/dosdevices/c:";
  if (lstat(driveLink.c_str(), &st) != 0 && symlink("../drive_c", driveLink.c_str()) != 0) return false;
  std::string rootLink = root + "/dosdevices/z:";
  if (lstat(rootLink.c_str(), &st) != 0 && symlink("/", rootLink.c_str()) != 0) return false;
  return WriteHive(root, Hive::kMachine, kMachineEntries, user16) &&
         WriteHive(root, Hive::kUser, kUserEntries, user16);
}

}  // namespace image
}  // namespace platform
