#include "platform/linux/offline_windows.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/case_fold.h"
#include "platform/linux/hive_file.h"
#include "platform/wtext.h"

namespace platform {
namespace offline {

namespace {

bool SameName(const std::u16string& a, const std::u16string& b) {
  return CompareFolded(a.data(), a.size(), b.data(), b.size()) == 0;
}

std::string EntryIgnoringCase(const std::string& folder, const std::string& name) {
  struct stat st;
  if (lstat((folder + "/" + name).c_str(), &st) == 0) return name;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return "";
  std::u16string wanted = wtext::FromUtf8(name);
  std::string match;
  while (struct dirent* entry = readdir(dir)) {
    if (SameName(wtext::FromUtf8(entry->d_name), wanted)) {
      match = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return match;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folders that hold no user's hive of their own.
bool IsSharedProfile(const std::string& name) {
  static const char16_t* const kShared[] = {u"Default", u"Default User", u"All Users", u"Public"};
  std::u16string n = wtext::FromUtf8(name);
  for (const char16_t* shared : kShared)
    if (SameName(n, shared)) return true;
  return false;
}

// A profile path as ProfileList stores it ("%SystemDrive%\Users\alice",
// "C:\Documents and Settings\bob") as a path below the volume's root, or ""
// when it lies on another drive.
std::string RelativeOfWindowsPath(std::u16string path) {
  static const struct {
    const char16_t* variable;
    const char16_t* value;
  } kVariables[] = {{u"%SystemDrive%", u"C:"}, {u"%SystemRoot%", u"C:\\Windows"}, {u"%windir%", u"C:\\Windows"}};
  for (const auto& v : kVariables) {
    std::u16string name = v.variable;
    if (path.size() >= name.size() && SameName(path.substr(0, name.size()), name))
      path = v.value + path.substr(name.size());
  }
  if (path.size() < 2 || path[1] != u':' || (path[0] != u'C' && path[0] != u'c')) return "";
  std::string relative = wtext::ToUtf8(path.substr(2));
  for (char& c : relative)
    if (c == '\\') c = '/';
  while (!relative.empty() && relative[0] == '/') relative.erase(0, 1);
  return relative;
}

Profile ProfileAt(const std::string& root, const std::string& relative) {
  Profile p;
  size_t slash = relative.find_last_of('/');
  p.name = slash == std::string::npos ? relative : relative.substr(slash + 1);
  std::string host = FindIgnoringCase(root, relative);
  std::string spelled = host.empty() ? relative : host.substr(root.size() + 1);
  std::string windows = "C:\\" + spelled;
  for (char& c : windows)
    if (c == '/') c = '\\';
  p.folder = wtext::FromUtf8(windows);
  if (!host.empty()) {
    std::string hive = FindIgnoringCase(host, "NTUSER.DAT");
    if (IsRegularFile(hive)) p.userHive = hive;
  }
  return p;
}

void FromProfileList(const std::string& root, std::vector<Profile>* out) {
  hive::Handle h;
  if (!h.Open(SoftwareHivePath(root), false)) return;
  hive_node_h list = hive::FindPath(h.get(), hivex_root(h.get()),
                                    {u"Microsoft", u"Windows NT", u"CurrentVersion", u"ProfileList"});
  std::vector<hive::NamedNode> sids;
  if (list == 0 || !hive::Children(h.get(), list, &sids)) return;
  for (const hive::NamedNode& sid : sids) {
    // S-1-5-21-...: accounts of people; S-1-5-18/19/20 are the system's.
    if (sid.name.compare(0, 9, u"S-1-5-21-") != 0) continue;
    std::u16string path;
    if (!hive::ReadText(h.get(), sid.node, u"ProfileImagePath", &path)) continue;
    std::string relative = RelativeOfWindowsPath(path);
    if (relative.empty()) continue;
    Profile p = ProfileAt(root, relative);
    if (!IsSharedProfile(p.name)) out->push_back(p);
  }
}

void FromFolders(const std::string& root, std::vector<Profile>* out) {
  for (const char* parent : {"Users", "Documents and Settings"}) {
    std::string folder = FindIgnoringCase(root, parent);
    if (folder.empty()) continue;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) continue;
    std::vector<std::string> names;
    while (struct dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != ".." && !IsSharedProfile(name)) names.push_back(name);
    }
    closedir(dir);
    std::string spelled = folder.substr(root.size() + 1);
    for (const std::string& name : names) {
      Profile p = ProfileAt(root, spelled + "/" + name);
      if (!p.userHive.empty()) out->push_back(p);
    }
  }
}

std::string NamesOf(const std::vector<Profile>& profiles) {
  std::string names;
  for (const Profile& p : profiles) {
    if (p.userHive.empty()) continue;
    names += names.empty() ? "" : ", ";
    names += p.name;
  }
  return names.empty() ? "none" : names;
}

}  // namespace

std::string FindIgnoringCase(const std::string& root, const std::string& relative) {
  std::string path = root;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t slash = relative.find('/', start);
    if (slash == std::string::npos) slash = relative.size();
    std::string name = relative.substr(start, slash - start);
    start = slash + 1;
    if (name.empty()) continue;
    std::string entry = EntryIgnoringCase(path, name);
    if (entry.empty()) return "";
    path += "/" + entry;
  }
  return path;
}

bool IsOfflineWindows(const std::string& root) { return IsRegularFile(SoftwareHivePath(root)); }

std::string SoftwareHivePath(const std::string& root) {
  return FindIgnoringCase(root, "Windows/System32/config/SOFTWARE");
}

std::string SystemHivePath(const std::string& root) {
  return FindIgnoringCase(root, "Windows/System32/config/SYSTEM");
}

std::vector<Profile> Profiles(const std::string& root) {
  std::vector<Profile> profiles;
  FromProfileList(root, &profiles);
  if (profiles.empty()) FromFolders(root, &profiles);
  return profiles;
}

bool ChooseProfile(const std::string& root, const std::string& wanted, Profile* chosen, std::string* error) {
  std::vector<Profile> profiles = Profiles(root);
  if (!wanted.empty()) {
    for (const Profile& p : profiles) {
      if (!SameName(wtext::FromUtf8(p.name), wtext::FromUtf8(wanted))) continue;
      if (p.userHive.empty()) {
        *error = "the profile " + p.name + " has no NTUSER.DAT";
        return false;
      }
      *chosen = p;
      return true;
    }
    *error = "no user profile " + wanted + " on this volume (profiles with NTUSER.DAT: " + NamesOf(profiles) + ")";
    return false;
  }
  const Profile* only = nullptr;
  size_t withHive = 0;
  for (const Profile& p : profiles)
    if (!p.userHive.empty()) {
      ++withHive;
      only = &p;
    }
  if (withHive == 1) {
    *chosen = *only;
    return true;
  }
  *error = withHive == 0 ? std::string("no user profile on this volume has an NTUSER.DAT")
                         : "choose the user with --user NAME (RUNVANE_USER): profiles with NTUSER.DAT: " +
                               NamesOf(profiles);
  return false;
}

std::string WantedUser() {
  const char* user = getenv("RUNVANE_USER");
  return user == nullptr ? "" : user;
}

}  // namespace offline
}  // namespace platform
