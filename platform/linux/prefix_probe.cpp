#include "platform/linux/prefix_probe.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <glob.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace platform {
namespace prefix {

namespace {

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string HomeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && *home != 0) return home;
  struct passwd* pw = getpwuid(getuid());
  return pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "/";
}

enum class Lock { kAbsent, kFree, kHeld, kUnreadable };

// Whether someone holds a write lock on a server's lock file. F_GETLK never
// reports this process's own classic locks; the backend takes none there.
Lock ProbeLock(const std::string& lockFile) {
  int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? Lock::kAbsent : Lock::kUnreadable;
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  int r = fcntl(fd, F_GETLK, &probe);
  close(fd);
  if (r != 0) return Lock::kUnreadable;
  return probe.l_type != F_UNLCK ? Lock::kHeld : Lock::kFree;
}

std::string Canonical(const std::string& path) {
  char real[PATH_MAX];
  return realpath(path.c_str(), real) != nullptr ? std::string(real) : std::string();
}

// The folder name Debian's Wine writes into the prefix's "wineserver" file.
std::string NamedServerFolder(const std::string& root) {
  int fd = open((root + "/wineserver").c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return "";
  char text[256] = {};
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return "";
  std::string name(text, size_t(n));
  while (!name.empty() && (name.back() == '\n' || name.back() == 0)) name.pop_back();
  // Only a plain folder name: the file is the prefix's, not to be trusted with a path.
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return "";
  return name;
}

bool StartsWith(const std::string& text, const char* start) {
  return text.compare(0, std::strlen(start), start) == 0;
}

struct ProcessScan {
  bool complete = true;  // every wineserver process of the owner could be inspected
  long pid = 0;
  std::string folder;    // the matching server's working folder
};

// Every running wineserver whose working folder is the prefix's server folder.
ProcessScan ScanProcesses(const std::string& serverName, uid_t owner) {
  ProcessScan scan;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    scan.complete = false;
    return scan;
  }
  while (struct dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != 0) continue;
    std::string base = std::string("/proc/") + entry->d_name;
    char comm[64] = {};
    int fd = open((base + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ssize_t n = read(fd, comm, sizeof comm - 1);
    close(fd);
    if (n <= 0 || !StartsWith(comm, "wineserver")) continue;
    // Wine runs a prefix only for its owner, so only the owner's servers count.
    struct stat st;
    if (stat(base.c_str(), &st) != 0 || st.st_uid != owner) continue;
    char cwd[PATH_MAX] = {};
    ssize_t length = readlink((base + "/cwd").c_str(), cwd, sizeof cwd - 1);
    if (length <= 0) {
      if (errno != ENOENT) scan.complete = false;  // the process may have just ended
      continue;
    }
    std::string folder(cwd, size_t(length));
    size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && folder.substr(slash + 1) == serverName) {
      scan.pid = pid;
      scan.folder = folder;
      break;
    }
  }
  closedir(proc);
  return scan;
}

}  // namespace

std::string DefaultRoot() {
  for (const char* name : {"RUNVANE_SYSTEM_ROOT", "WINEPREFIX"}) {
    const char* value = getenv(name);
    if (value != nullptr && *value != 0) return StripTrailingSlashes(value);
  }
  return HomeFolder() + "/.wine";
}

ServerFinding FindServer(const std::string& root) {
  ServerFinding finding;
  struct stat st;
  if (stat(root.c_str(), &st) != 0) return finding;  // no prefix: nothing to hold
  char serverName[80];
  std::snprintf(serverName, sizeof serverName, "server-%llx-%llx", (unsigned long long)st.st_dev,
                (unsigned long long)st.st_ino);

  std::vector<std::string> bases;
  std::set<std::string> seen;
  const char* tmp = getenv("TMPDIR");
  for (std::string base : {std::string(tmp != nullptr ? tmp : ""), std::string("/tmp")}) {
    std::string real = base.empty() ? "" : Canonical(base);
    if (!real.empty() && seen.insert(real).second) bases.push_back(real);
  }
  std::string named = NamedServerFolder(root);
  std::vector<std::string> folders;
  for (const std::string& base : bases) {
    folders.push_back(base + "/.wine-" + std::to_string(st.st_uid) + "/" + serverName);
    if (!named.empty()) folders.push_back(base + "/" + named + "/" + serverName);
    glob_t found = {};
    if (glob((base + "/wine-*/" + serverName).c_str(), GLOB_NOSORT, nullptr, &found) == 0)
      for (size_t i = 0; i < found.gl_pathc; ++i) folders.push_back(found.gl_pathv[i]);
    globfree(&found);
  }
  for (const std::string& folder : folders) {
    Lock lock = ProbeLock(folder + "/lock");
    if (lock == Lock::kHeld) {
      finding.state = ServerState::kRunning;
      finding.folder = folder;
    } else if (lock == Lock::kUnreadable && finding.state == ServerState::kNone) {
      finding.state = ServerState::kUnknown;
      finding.folder = folder;
      finding.reason = "its lock file cannot be inspected";
    }
  }
  bool namedFound = named.empty();
  for (const std::string& base : bases) {
    struct stat folder;
    if (!named.empty() && lstat((base + "/" + named).c_str(), &folder) == 0) namedFound = true;
  }
  // A server started with another TMPDIR: its working folder is its server folder.
  ProcessScan scan = ScanProcesses(serverName, st.st_uid);
  if (scan.pid != 0) {
    finding.state = ServerState::kRunning;
    finding.folder = scan.folder;
    finding.pid = scan.pid;
    return finding;
  }
  if (finding.state == ServerState::kRunning) return finding;
  if (!scan.complete && !namedFound) {
    finding.state = ServerState::kUnknown;
    finding.reason = "its server folder " + named +
                     " is in no temporary folder known here and the running Wine servers cannot be inspected";
  }
  return finding;
}

std::string DescribeServer(const std::string& root, const ServerFinding& finding) {
  std::string where = finding.folder.empty() ? "" : " (" + finding.folder + ")";
  std::string pid = finding.pid != 0 ? " " + std::to_string(finding.pid) : "";
  std::string stop = "stop it with: WINEPREFIX=" + root + " wineserver -k";
  switch (finding.state) {
    case ServerState::kNone:
      return "no Wine server holds " + root;
    case ServerState::kRunning:
      return "the Wine server" + pid + where + " holds " + root + "; " + stop;
    case ServerState::kUnknown:
      break;
  }
  return "a Wine server may hold " + root + where + ": " + finding.reason + "; " + stop;
}

}  // namespace prefix
}  // namespace platform
