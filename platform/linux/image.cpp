// Which system image the backend works on, how its Windows paths map to host
// paths, whether a Wine server owns it, and fault injection for tests.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "platform/case_fold.h"
#include "platform/linux/backend.h"
#include "platform/linux/hive_store.h"
#include "platform/linux/prefix_probe.h"
#include "platform/linux/system_image.h"
#include "platform/wtext.h"

namespace platform {

namespace {

std::string g_root;
bool g_rootChosen = false;
unsigned long g_generation = 1;
long g_operations = 0;
long g_failAt = 0;  // absolute operation number that fails; 0 = none

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string RootFromEnvironment() { return prefix::DefaultRoot(); }

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The entry of folder whose name equals name ignoring case, or "".
std::string FindIgnoringCase(const std::string& folder, const std::u16string& name) {
  DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
  if (dir == nullptr) return "";
  std::string match;
  while (struct dirent* entry = readdir(dir)) {
    std::u16string entryName = wtext::FromUtf8(entry->d_name);
    if (CompareFolded(entryName.data(), entryName.size(), name.data(), name.size()) == 0) {
      match = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return match;
}

std::string Canonical(const std::string& path) {
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) != nullptr) return real;
  // Resolve the longest existing prefix, keep the rest as written.
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return path;
  return Canonical(path.substr(0, slash)) + path.substr(slash);
}

// The host folder a drive letter leads to ("" for the host's root); false
// when the image maps no such drive.
bool ResolveDriveRoot(char16_t letter, std::string* base) {
  std::string device = backend::RootPath() + "/dosdevices/" + char(letter) + ":";
  char real[PATH_MAX];
  if (backend::OfflineImage()) {
    // An offline Windows volume is drive C:; Z: stays the host's own file
    // system, as in a Wine prefix, for the files the host hands over.
    if (letter != u'c' && letter != u'z') return false;
    *base = letter == u'c' ? backend::RootPath() : "";
  } else if (realpath(device.c_str(), real) != nullptr) *base = std::string(real) == "/" ? "" : real;
  else if (letter == u'c') *base = backend::RootPath() + "/drive_c";
  else if (letter == u'z') *base = "";
  else return false;
  return true;
}

// The drive roots resolved during this thread's export call: every path of
// a call maps through the same links, followed once.
struct DriveRoots {
  unsigned long serial = 0;
  unsigned long generation = 0;
  bool known[26] = {};
  bool mapped[26] = {};
  std::string base[26];
};
thread_local DriveRoots t_driveRoots;

bool DriveRoot(char16_t letter, std::string* base) {
  const unsigned long serial = backend::CallSerial();
  if (serial == 0) return ResolveDriveRoot(letter, base);
  DriveRoots& roots = t_driveRoots;
  if (roots.serial != serial || roots.generation != g_generation) {
    roots = DriveRoots();
    roots.serial = serial;
    roots.generation = g_generation;
  }
  const int i = letter - u'a';
  if (!roots.known[i]) {
    roots.mapped[i] = ResolveDriveRoot(letter, &roots.base[i]);
    roots.known[i] = true;
  }
  *base = roots.base[i];
  return roots.mapped[i];
}

// The folder entries found during this thread's export call: for a host
// folder and a Windows name in folded case, the entry's name as the folder
// spells it. Only entries found to exist are kept, so a folder or file made
// meanwhile is still seen; this process's own deletions and moves, which
// could take a kept entry away, forget them all (g_entriesTaken).
struct FolderEntries {
  unsigned long serial = 0;
  unsigned long generation = 0;
  unsigned long taken = 0;
  std::unordered_map<std::string, std::string> spelled;
  // Whole paths whose every part was found, by their folded Windows text.
  std::unordered_map<std::u16string, std::string> mapped;
};
thread_local FolderEntries t_entries;
std::atomic<unsigned long> g_entriesTaken{0};

// This thread's entries for the running export call; null outside a call.
FolderEntries* CallEntries() {
  const unsigned long serial = backend::CallSerial();
  if (serial == 0) return nullptr;
  FolderEntries* entries = &t_entries;
  const unsigned long taken = g_entriesTaken.load();
  if (entries->serial != serial || entries->generation != g_generation || entries->taken != taken) {
    entries->spelled.clear();
    entries->mapped.clear();
    entries->serial = serial;
    entries->generation = g_generation;
    entries->taken = taken;
  }
  return entries;
}

// text with every unit in the case the registry and file names compare in.
std::u16string Folded(std::u16string text) {
  for (char16_t& c : text) c = FoldCaseForCompare(c);
  return text;
}

std::string EntryKey(const std::string& folder, const std::u16string& name) {
  return folder + '\0' + wtext::ToUtf8(Folded(name));
}

// The entry of folder that name means, as the folder spells it: the name
// itself when it exists as written, else its one spelling ignoring case;
// false when there is none.
bool FindEntry(const std::string& folder, const std::u16string& name, std::string* spelled) {
  FolderEntries* entries = CallEntries();
  std::string key;
  if (entries != nullptr) {
    key = EntryKey(folder, name);
    auto found = entries->spelled.find(key);
    if (found != entries->spelled.end()) {
      *spelled = found->second;
      return true;
    }
  }
  *spelled = wtext::ToUtf8(name);
  struct stat st;
  if (lstat((folder + "/" + *spelled).c_str(), &st) != 0) {
    std::string match = FindIgnoringCase(folder, name);
    if (match.empty()) return false;
    *spelled = match;
  }
  if (entries != nullptr) entries->spelled.emplace(std::move(key), *spelled);
  return true;
}

}  // namespace

namespace backend {

void FolderEntriesTaken() { ++g_entriesTaken; }

std::recursive_mutex& Mutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

bool InjectedFault() {
  ++g_operations;
  if (g_failAt > 0 && g_operations == g_failAt) {
    g_failAt = 0;
    return true;
  }
  return false;
}

const std::string& RootPath() {
  if (!g_rootChosen) {
    g_root = RootFromEnvironment();
    g_rootChosen = true;
  }
  return g_root;
}

unsigned long RootGeneration() { return g_generation; }

bool WineServerOwnsImage() {
  return prefix::FindServer(RootPath()).state != prefix::ServerState::kNone;
}

bool InsideImage(const std::string& hostPath) {
  std::string root = Canonical(RootPath());
  if (root.empty() || root == "/" || hostPath.empty()) return false;
  size_t slash = hostPath.find_last_of('/');
  std::string name = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return false;
  std::string folder = slash == std::string::npos || slash == 0 ? "/" : hostPath.substr(0, slash);
  std::string real = Canonical(folder);
  if (real.find("/../") != std::string::npos || real.find("/./") != std::string::npos) return false;
  return real == root || real.compare(0, root.size() + 1, root + "/") == 0;
}

std::string MapPath(const std::u16string& windowsPath) {
  std::u16string path = windowsPath;
  if (path.compare(0, 4, u"\\\\?\\") == 0 || path.compare(0, 4, u"\\??\\") == 0) path.erase(0, 4);
  if (path.size() < 2 || path[1] != u':') return "";
  char16_t letter = Lower(path[0]);
  if (letter < u'a' || letter > u'z') return "";
  if (path.size() > 2 && !IsSeparator(path[2])) return "";  // drive-relative: not supported

  std::string base;
  if (!DriveRoot(letter, &base)) return "";

  // Within a call, a path (or the folder of a path) whose every part was
  // found is kept by its folded text: mapped again, it costs a look-up, and
  // a file of a known folder costs one entry.
  FolderEntries* entries = CallEntries();
  std::u16string folded;
  if (entries != nullptr) {
    folded = Folded(path);
    auto found = entries->mapped.find(folded);
    if (found != entries->mapped.end()) return found->second;
    const size_t cut = folded.find_last_of(u"\\/");
    if (cut != std::u16string::npos && cut > 2 && cut + 1 < folded.size()) {
      const std::u16string name = path.substr(cut + 1);
      auto folder = name == u"." || name == u".." ? entries->mapped.end()
                                                : entries->mapped.find(folded.substr(0, cut));
      if (folder != entries->mapped.end()) {
        const std::string parent = folder->second == "/" ? "" : folder->second;
        std::string spelled;
        const bool exists = FindEntry(parent, name, &spelled);
        std::string host = parent + "/" + (exists ? spelled : wtext::ToUtf8(name));
        if (exists) entries->mapped.emplace(std::move(folded), host);
        return host;
      }
    }
  }

  std::vector<std::string> parts;
  std::string host = base;  // base and parts joined
  bool existing = true;
  size_t start = 2;
  for (size_t i = 2; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    std::u16string name = path.substr(start, i - start);
    start = i + 1;
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (!parts.empty()) parts.pop_back();
      host = base;
      for (const auto& p : parts) host += "/" + p;
      existing = true;  // re-check from the parent
      continue;
    }
    std::string spelled;
    if (existing) existing = FindEntry(host, name, &spelled);
    if (!existing) spelled = wtext::ToUtf8(name);
    parts.push_back(spelled);
    host += "/" + spelled;
    if (entries != nullptr && existing && i < path.size()) entries->mapped.emplace(folded.substr(0, i), host);
  }
  if (host.empty()) host = "/";
  if (entries != nullptr && existing) entries->mapped.emplace(std::move(folded), host);
  return host;
}

}  // namespace backend

namespace image {

void SetRoot(const std::string& hostRoot) {
  backend::Guard guard(backend::Mutex());
  g_root = hostRoot.empty() ? RootFromEnvironment() : StripTrailingSlashes(hostRoot);
  g_rootChosen = true;
  ++g_generation;
}

std::string Root() {
  backend::Guard guard(backend::Mutex());
  return backend::RootPath();
}

std::string HostPath(const char16_t* windowsPath) {
  backend::Guard guard(backend::Mutex());
  return windowsPath == nullptr ? std::string() : backend::MapPath(windowsPath);
}

std::u16string WindowsPath(const std::string& hostPath) {
  backend::Guard guard(backend::Mutex());
  std::string path = hostPath;
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return u"";
    path = std::string(cwd) + "/" + path;
  }
  path = StripTrailingSlashes(Canonical(path));
  std::string driveC =
      StripTrailingSlashes(Canonical(backend::RootPath() + (backend::OfflineImage() ? "" : "/drive_c")));
  std::string rest;
  std::u16string drive;
  if (path == driveC || path.compare(0, driveC.size() + 1, driveC + "/") == 0) {
    drive = u"C:";
    rest = path.substr(driveC.size());
  } else {
    drive = u"Z:";
    rest = path == "/" ? "" : path;
  }
  std::u16string out = drive + wtext::FromUtf8(rest);
  for (auto& c : out)
    if (c == u'/') c = u'\\';
  if (out.size() == 2) out += u'\\';
  return out;
}

void FailOperationAt(long k) {
  backend::Guard guard(backend::Mutex());
  g_failAt = k > 0 ? g_operations + k : 0;
}

long OperationsSoFar() {
  backend::Guard guard(backend::Mutex());
  return g_operations;
}

void ResetOperationCount() {
  backend::Guard guard(backend::Mutex());
  if (g_failAt > 0) g_failAt -= g_operations;
  g_operations = 0;
}

}  // namespace image
}  // namespace platform
