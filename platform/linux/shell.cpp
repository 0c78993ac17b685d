// Shell folders, the Windows directory, environment expansion and the file
// search, all answered from the image's registry the way Wine keeps it, with
// Wine's defaults where a value is missing.
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "platform/case_fold.h"
#include "platform/linux/backend.h"
#include "platform/linux/hive_store.h"
#include "platform/linux/registry_store.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace platform {

namespace {

using backend::Hive;

constexpr char16_t kWindowsFolder[] = u"C:\\windows";
constexpr char16_t kSessionEnvironment[] = u"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr char16_t kProfileList[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kUserShellFolders[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

struct Variable {
  std::u16string name;
  std::u16string value;
};
using Environment = std::vector<Variable>;

bool SameName(const std::u16string& a, const std::u16string& b) {
  return CompareFolded(a.data(), a.size(), b.data(), b.size()) == 0;
}

const Variable* Lookup(const Environment& env, const std::u16string& name) {
  for (const Variable& v : env)
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

void Set(Environment* env, const std::u16string& name, const std::u16string& value) {
  for (Variable& v : *env)
    if (SameName(v.name, name)) {
      v.value = value;
      return;
    }
  env->push_back({name, value});
}

// %NAME% expansion as Windows does it: a known name is replaced; an unknown
// one is copied as written and its closing '%' may open the next reference.
std::u16string Expand(const Environment& env, const std::u16string& text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      // The plain run up to the next '%' is copied at once.
      const size_t next = text.find(u'%', i);
      const size_t end = next == std::u16string::npos ? text.size() : next;
      out.append(text, i, end - i);
      i = end;
      continue;
    }
    size_t close = text.find(u'%', i + 1);
    if (close == std::u16string::npos) {
      out += text.substr(i);
      break;
    }
    const Variable* v = close > i + 1 ? Lookup(env, text.substr(i + 1, close - i - 1)) : nullptr;
    if (v != nullptr) {
      out += v->value;
      i = close + 1;
    } else {
      out += text.substr(i, close - i);
      i = close;
    }
  }
  return out;
}

std::u16string HostUserName() {
  const char* user = getenv("USER");
  if (user != nullptr && *user != 0) return wtext::FromUtf8(user);
  struct passwd* pw = getpwuid(getuid());
  if (pw != nullptr && pw->pw_name != nullptr) return wtext::FromUtf8(pw->pw_name);
  return u"user";
}

// On an offline Windows volume the folders are those its SOFTWARE hive
// names and the profile is the chosen user's; Windows before Vista keeps
// the shared profile as ProfilesDirectory\AllUsersProfile.
void UseOfflineVolume(Environment* env) {
  static const struct {
    const char16_t* key;
    const char16_t* value;
    const char16_t* variable;
  } kFolders[] = {
      {u"Software\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot", u"SystemRoot"},
      {u"Software\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot", u"windir"},
      {u"Software\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir", u"ProgramFiles"},
      {u"Software\\Microsoft\\Windows\\CurrentVersion", u"CommonFilesDir", u"CommonProgramFiles"},
  };
  std::u16string text;
  for (const auto& f : kFolders)
    if (backend::ReadString(Hive::kMachine, f.key, f.value, &text, nullptr) && !text.empty())
      Set(env, f.variable, Expand(*env, text));
  std::u16string profiles;
  if (backend::ReadString(Hive::kMachine, kProfileList, u"ProfilesDirectory", &profiles, nullptr) &&
      backend::ReadString(Hive::kMachine, kProfileList, u"AllUsersProfile", &text, nullptr)) {
    Set(env, u"ALLUSERSPROFILE", Expand(*env, profiles) + u"\\" + text);
    Set(env, u"ProgramData", Expand(*env, profiles) + u"\\" + text);
  }
  std::u16string profile = backend::OfflineProfileFolder();
  if (profile.empty()) return;
  Set(env, u"USERPROFILE", profile);
  Set(env, u"HOMEPATH", profile.substr(2));
  Set(env, u"APPDATA", profile + u"\\AppData\\Roaming");
  Set(env, u"LOCALAPPDATA", profile + u"\\AppData\\Local");
  Set(env, u"TEMP", profile + u"\\AppData\\Local\\Temp");
  Set(env, u"TMP", profile + u"\\AppData\\Local\\Temp");
}

// The environment a process of the image starts with: Wine's derived
// variables, then the machine's, the session's and the user's values.
Environment BuildEnvironment() {
  Environment env;
  std::u16string user = backend::ImageUserName();
  std::u16string profile = u"C:\\users\\" + user;
  Set(&env, u"SystemRoot", kWindowsFolder);
  Set(&env, u"windir", kWindowsFolder);
  Set(&env, u"SystemDrive", u"C:");
  Set(&env, u"ProgramFiles", u"C:\\Program Files");
  Set(&env, u"CommonProgramFiles", u"C:\\Program Files\\Common Files");
  Set(&env, u"ProgramData", u"C:\\ProgramData");
  Set(&env, u"ALLUSERSPROFILE", u"C:\\ProgramData");
  Set(&env, u"PUBLIC", u"C:\\users\\Public");
  Set(&env, u"ComSpec", u"C:\\windows\\system32\\cmd.exe");
  Set(&env, u"PATH", u"C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem");
  Set(&env, u"USERNAME", user);
  Set(&env, u"USERPROFILE", profile);
  Set(&env, u"HOMEDRIVE", u"C:");
  Set(&env, u"HOMEPATH", u"\\users\\" + user);
  Set(&env, u"APPDATA", profile + u"\\AppData\\Roaming");
  Set(&env, u"LOCALAPPDATA", profile + u"\\AppData\\Local");
  Set(&env, u"TEMP", profile + u"\\Temp");
  Set(&env, u"TMP", profile + u"\\Temp");

  if (backend::OfflineImage()) UseOfflineVolume(&env);

  std::u16string text;
  if (backend::ReadString(Hive::kMachine, kProfileList, u"ProgramData", &text, nullptr)) {
    Set(&env, u"ProgramData", Expand(env, text));
    Set(&env, u"ALLUSERSPROFILE", Expand(env, text));
  }
  if (backend::ReadString(Hive::kMachine, kProfileList, u"Public", &text, nullptr))
    Set(&env, u"PUBLIC", Expand(env, text));

  for (const auto& v : backend::ReadStrings(Hive::kMachine, kSessionEnvironment))
    Set(&env, v.name, v.type == REG_EXPAND_SZ ? Expand(env, v.text) : v.text);
  for (const auto& v : backend::ReadStrings(Hive::kUser, u"Volatile Environment"))
    Set(&env, v.name, v.type == REG_EXPAND_SZ ? Expand(env, v.text) : v.text);
  for (const auto& v : backend::ReadStrings(Hive::kUser, u"Environment")) {
    std::u16string value = v.type == REG_EXPAND_SZ ? Expand(env, v.text) : v.text;
    const Variable* path = Lookup(env, u"PATH");
    if (SameName(v.name, u"PATH") && path != nullptr && !path->value.empty())
      value = path->value + u";" + value;  // the user's PATH extends the machine's
    Set(&env, v.name, value);
  }
  return env;
}

// The environment for this thread's export call, built once per call (and
// again after a registry change or a change of image); outside a call it is
// built for every use.
struct CallEnvironment {
  unsigned long serial = 0;
  unsigned long generation = 0;
  unsigned long changes = 0;
  Environment env;
};
thread_local CallEnvironment t_environment;

const Environment& CurrentEnvironment() {
  CallEnvironment& kept = t_environment;
  const unsigned long serial = backend::CallSerial();
  const unsigned long generation = backend::RootGeneration();
  const unsigned long changes = backend::LocalChanges();
  if (serial == 0 || kept.serial != serial || kept.generation != generation || kept.changes != changes) {
    kept.env = BuildEnvironment();
    kept.serial = serial;
    kept.generation = generation;
    kept.changes = changes;
  }
  return kept.env;
}

struct ShellFolder {
  int csidl;
  Hive hive;
  const char16_t* valueName;     // under "User Shell Folders" / "Shell Folders"; null: none
  const char16_t* defaultPath;   // Wine's default, before expansion
};

const ShellFolder kShellFolderTable[] = {
    {0x0002, Hive::kUser, u"Programs", u"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
    {0x0007, Hive::kUser, u"StartUp",
     u"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"},
    {0x000B, Hive::kUser, u"Start Menu", u"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
    {0x0016, Hive::kMachine, u"Common Start Menu", u"%ProgramData%\\Microsoft\\Windows\\Start Menu"},
    {0x0017, Hive::kMachine, u"Common Programs", u"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs"},
    {0x0018, Hive::kMachine, u"Common StartUp",
     u"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"},
    {0x001A, Hive::kUser, u"AppData", u"%USERPROFILE%\\AppData\\Roaming"},
    {0x001C, Hive::kUser, u"Local AppData", u"%USERPROFILE%\\AppData\\Local"},
    {0x0023, Hive::kMachine, u"Common AppData", u"%ProgramData%"},
    {0x0024, Hive::kMachine, nullptr, u"%SystemRoot%"},
    {0x0025, Hive::kMachine, nullptr, u"%SystemRoot%\\system32"},
    {0x0026, Hive::kMachine, nullptr, u"%ProgramFiles%"},
    {0x0028, Hive::kUser, nullptr, u"%USERPROFILE%"},
};

// The folder's Windows path, or "" when the id is not one we know.
std::u16string ShellFolderPath(int csidl) {
  const ShellFolder* folder = nullptr;
  for (const ShellFolder& f : kShellFolderTable)
    if (f.csidl == csidl) folder = &f;
  if (folder == nullptr) return u"";
  const Environment& env = CurrentEnvironment();
  std::u16string text;
  std::u16string path;
  if (folder->valueName != nullptr &&
      backend::ReadString(folder->hive, kUserShellFolders, folder->valueName, &text, nullptr) &&
      !text.empty())
    path = Expand(env, text);
  else if (folder->valueName != nullptr &&
           backend::ReadString(folder->hive, kShellFolders, folder->valueName, &text, nullptr) &&
           !text.empty())
    path = Expand(env, text);
  else
    path = Expand(env, folder->defaultPath);
  while (path.size() > 3 && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return path;
}

bool HasExtension(const std::u16string& name) {
  size_t slash = name.find_last_of(u"\\/");
  size_t dot = name.find_last_of(u'.');
  return dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash);
}

bool IsAbsolute(const std::u16string& name) {
  return (name.size() >= 2 && name[1] == u':') || (!name.empty() && (name[0] == u'\\' || name[0] == u'/'));
}

std::vector<std::u16string> SplitList(const std::u16string& list) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == u';') {
      if (i > start) parts.push_back(list.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

namespace backend {

std::u16string ImageUserName() {
  std::u16string name = OfflineUserName();
  if (!name.empty()) return name;
  if (ReadString(Hive::kUser, u"Volatile Environment", u"USERNAME", &name, nullptr) && !name.empty())
    return name;
  return HostUserName();
}

std::u16string ExpandImageEnvironment(const std::u16string& text) {
  return Expand(CurrentEnvironment(), text);
}

}  // namespace backend

BOOL SHGetSpecialFolderPathW(HWND /*owner*/, char16_t* path, int csidl, BOOL create) {
  backend::Guard guard(backend::Mutex());
  if (path != nullptr) path[0] = 0;
  if (backend::InjectedFault()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (path == nullptr) return FALSE;
  std::u16string folder = ShellFolderPath(csidl & 0xFF);
  if (folder.empty() || folder.size() >= MAX_PATH) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // As Windows does, the path is given even when the folder is missing;
  // only create = TRUE makes it.
  wtext::Copy(path, MAX_PATH, folder);
  std::string host = backend::MapPath(folder);
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (backend::IsDirectory(host)) return TRUE;
  if (!create) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (!backend::MakeDirectories(host)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

UINT GetWindowsDirectoryW(char16_t* buffer, UINT size) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  UINT length = UINT(wtext::Length(kWindowsFolder));
  if (buffer == nullptr || size <= length) return length + 1;
  wtext::Copy(buffer, size, kWindowsFolder);
  return length;
}

DWORD ExpandEnvironmentStringsW(const char16_t* source, char16_t* destination, DWORD size) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  if (source == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string expanded = backend::ExpandImageEnvironment(source);
  DWORD required = DWORD(expanded.size() + 1);
  // Too small a buffer gets the text cut to fit (as Wine does) and the
  // required size; nothing is ever written past size.
  if (destination != nullptr && size > 0) wtext::Copy(destination, size, expanded);
  if (required > size) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return required;
}

DWORD SearchPathW(const char16_t* searchPath, const char16_t* fileName, const char16_t* extension,
                  DWORD bufferLength, char16_t* buffer, char16_t** filePart) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  if (fileName == nullptr || *fileName == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string name = fileName;
  if (!HasExtension(name) && extension != nullptr) name += extension;

  std::vector<std::u16string> candidates;
  if (IsAbsolute(name)) {
    candidates.push_back(name);
  } else {
    std::vector<std::u16string> folders;
    if (searchPath != nullptr) {
      folders = SplitList(searchPath);
    } else {
      // The module's folder, the system folders, the Windows folder, then
      // PATH. The current directory is left out (safe search).
      std::u16string module = backend::ModuleFilePath();
      size_t slash = module.find_last_of(u'\\');
      if (slash != std::u16string::npos) folders.push_back(module.substr(0, slash));
      folders.push_back(u"C:\\windows\\system32");
      folders.push_back(u"C:\\windows\\system");
      folders.push_back(kWindowsFolder);
      const Environment& env = CurrentEnvironment();
      const Variable* path = Lookup(env, u"PATH");
      if (path != nullptr)
        for (const auto& folder : SplitList(path->value)) folders.push_back(folder);
    }
    for (auto folder : folders) {
      while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
      if (!folder.empty()) candidates.push_back(folder + u"\\" + name);
    }
  }
  for (const auto& candidate : candidates) {
    std::string host = backend::MapPath(candidate);
    if (host.empty() || !backend::Exists(host)) continue;
    if (candidate.size() + 1 > bufferLength || buffer == nullptr) return DWORD(candidate.size() + 1);
    wtext::Copy(buffer, bufferLength, candidate);
    if (filePart != nullptr) {
      size_t slash = candidate.find_last_of(u"\\/");
      *filePart = buffer + (slash == std::u16string::npos ? 0 : slash + 1);
    }
    return DWORD(candidate.size());
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return 0;
}

}  // namespace platform
