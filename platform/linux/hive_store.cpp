#include "platform/linux/hive_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <cstdio>
#include <set>
#include <unordered_set>

#include "platform/linux/backend.h"
#include "platform/linux/hive_file.h"
#include "platform/linux/offline_windows.h"
#include "platform/wtext.h"

namespace platform {
namespace backend {

namespace {

using regfile::Key;

// A key read from a hive carries its node in Key::head (unused for hives:
// they are never written as text), so a change can be traced to the hive's
// cells. A key made by a change has no mark: it is new. Keys of the
// read-only SYSTEM part carry kReadOnlyMark.
constexpr char kNodeMark[] = "hive-node:";
constexpr char kReadOnlyMark[] = "hive-read-only";

void Mark(Key* key, hive_node_h node) {
  key->head = kNodeMark + std::to_string(node);
  key->hasSection = true;  // so that a change keeps the mark (no new section)
  key->changed = false;
}

hive_node_h NodeOf(const Key* key) {
  const size_t n = sizeof kNodeMark - 1;
  if (key->head.compare(0, n, kNodeMark) != 0) return 0;
  return hive_node_h(strtoull(key->head.c_str() + n, nullptr, 10));
}

struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified = {};
};

bool IdentityOf(const std::string& path, Identity* id) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  *id = Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return true;
}

bool Same(const Identity& a, const Identity& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
}

struct HiveFile {
  std::string path;
  hive::Handle handle;
  Identity identity;
  hive::Header header;
  std::vector<hive_node_h> loaded;  // every node read into the tree, sorted
};

struct Store {
  unsigned long generation = ~0ul;
  bool loaded = false;
  LONG error = ERROR_SUCCESS;
  regfile::File file;
  HiveFile main;    // SOFTWARE or NTUSER.DAT
  HiveFile system;  // HKEY_LOCAL_MACHINE only: SYSTEM
  bool pending = false;  // changed in an open group, not yet written
};

Store& StoreOf(Hive hive) {
  static Store stores[2];
  return stores[hive == Hive::kMachine ? 0 : 1];
}

// An open registry transaction: the image lock it holds from its first
// change to its end, whether a change in it failed, and the hives it
// changed, written once each at its end in the order of their first change.
struct Group {
  int depth = 0;
  bool failed = false;
  std::unique_ptr<ImageLock> lock;
  std::vector<Hive> changed;
};

Group& CurrentGroup() {
  static Group group;
  return group;
}

void DropPending() {
  for (Hive hive : {Hive::kMachine, Hive::kUser}) {
    Store& s = StoreOf(hive);
    if (s.pending) s.loaded = false;
    s.pending = false;
  }
}

struct Volume {
  unsigned long generation = ~0ul;
  bool offline = false;
  bool chosen = false;  // the user was looked for
  bool haveUser = false;
  offline::Profile user;
};

Volume& CurrentVolume() {
  static Volume volume;
  if (volume.generation != RootGeneration()) {
    volume = Volume();
    volume.generation = RootGeneration();
    volume.offline = offline::IsOfflineWindows(RootPath());
  }
  return volume;
}

void Say(const std::string& line) {
  std::fprintf(stderr, "runvane: %s\n", line.c_str());
  std::fflush(stderr);
}

// Each warning once a run: the module reads a hive many times.
void WarnOnce(const std::string& line) {
  static std::set<std::string> said;
  if (said.count(line) != 0) return;
  if (said.size() < 256) said.insert(line);  // bounded: a long run meets many hives
  Say(line);
}

const offline::Profile* ChosenUser() {
  Volume& v = CurrentVolume();
  if (!v.offline) return nullptr;
  if (!v.chosen) {
    v.chosen = true;
    std::string error;
    v.haveUser = offline::ChooseProfile(RootPath(), offline::WantedUser(), &v.user, &error);
    if (!v.haveUser) WarnOnce("HKEY_CURRENT_USER is not available: " + error);
  }
  return v.haveUser ? &v.user : nullptr;
}

bool LessName(const hive::NamedNode& a, const hive::NamedNode& b) {
  return regfile::CompareNames(a.name, b.name) < 0;
}

// Reads the whole hive below its root into `into`, without recursion. A
// hive whose lists are damaged, or lead back to a key already read, is
// refused whole.
LONG LoadTree(HiveFile& f, Key* into) {
  hive_h* h = f.handle.get();
  f.loaded.clear();
  std::unordered_set<hive_node_h> seen;
  std::vector<std::pair<Key*, hive_node_h>> pending{{into, hivex_root(h)}};
  std::vector<hive::RawValue> values;
  std::vector<hive::NamedNode> children;
  while (!pending.empty()) {
    Key* key = pending.back().first;
    hive_node_h node = pending.back().second;
    pending.pop_back();
    if (node == 0 || !seen.insert(node).second) return ERROR_BADDB;
    Mark(key, node);
    f.loaded.push_back(node);
    if (!hive::Values(h, node, &values)) return ERROR_BADDB;
    for (hive::RawValue& v : values) {
      if (regfile::File::FindValue(key, v.name) != nullptr) continue;  // a second of one name: unreachable
      regfile::Value value;
      value.name = std::move(v.name);
      value.type = v.type;
      value.data = std::move(v.data);
      key->values.push_back(std::move(value));
    }
    if (!hive::Children(h, node, &children)) return ERROR_BADDB;
    std::stable_sort(children.begin(), children.end(), LessName);
    for (size_t i = 0; i < children.size(); ++i) {
      if (i > 0 && regfile::CompareNames(children[i - 1].name, children[i].name) == 0) continue;
      auto child = std::make_unique<Key>();
      child->name = children[i].name;
      child->parent = key;
      pending.push_back({child.get(), children[i].node});
      key->children.push_back(std::move(child));
    }
  }
  std::sort(f.loaded.begin(), f.loaded.end());
  return ERROR_SUCCESS;
}

void CopyValues(hive_h* h, hive_node_h node, Key* key) {
  std::vector<hive::RawValue> values;
  if (node == 0 || !hive::Values(h, node, &values)) return;
  for (hive::RawValue& v : values) {
    regfile::Value value;
    value.name = std::move(v.name);
    value.type = v.type;
    value.data = std::move(v.data);
    key->values.push_back(std::move(value));
  }
}

// The part of SYSTEM the environment needs: Select, and the current control
// set's Session Manager\Environment under its own name and under
// CurrentControlSet (a link Windows makes at boot, absent from the file).
void LoadSystem(regfile::File& file, HiveFile& f) {
  hive_h* h = f.handle.get();
  hive_node_h root = hivex_root(h);
  hive_node_h select = hive::FindPath(h, root, {u"Select"});
  DWORD current = 1;
  std::vector<hive::RawValue> values;
  if (select != 0 && hive::Values(h, select, &values))
    for (const auto& v : values)
      if (regfile::CompareNames(v.name, u"Current") == 0 && v.type == REG_DWORD && v.data.size() == 4)
        current = DWORD(uint8_t(v.data[0]) | uint8_t(v.data[1]) << 8 | uint8_t(v.data[2]) << 16 |
                        uint32_t(uint8_t(v.data[3])) << 24);
  char setName[24];
  std::snprintf(setName, sizeof setName, "ControlSet%03u", unsigned(current % 1000));
  const std::u16string set = wtext::FromUtf8(setName);
  hive_node_h env = hive::FindPath(h, root, {set, u"Control", u"Session Manager", u"Environment"});
  if (select != 0) CopyValues(h, select, file.Create({u"SYSTEM", u"Select"}, nullptr));
  for (const std::u16string& name : {set, std::u16string(u"CurrentControlSet")})
    CopyValues(h, env, file.Create({u"SYSTEM", name, u"Control", u"Session Manager", u"Environment"}, nullptr));
}

// Opens a hive and checks its base block. A hive that was not cleanly
// written is read with a warning; one that is no hive, or that libhivex
// cannot open, is damaged.
LONG OpenHive(HiveFile& f, const std::string& path, bool writable) {
  f.path = path;
  if (!IdentityOf(path, &f.identity)) return ERROR_FILE_NOT_FOUND;
  if (!hive::ReadHeader(path, &f.header)) return ERROR_CANTREAD;
  if (!f.header.regf) {
    WarnOnce(path + " is damaged: it is no registry hive");
    return ERROR_BADDB;
  }
  if (!f.header.Clean())
    WarnOnce(path + " was not cleanly written (sequence numbers " + std::to_string(f.header.primarySequence) +
             " and " + std::to_string(f.header.secondarySequence) +
             " differ: its .LOG1/.LOG2 logs hold changes not in it): read as it is, and never written");
  if (!f.handle.Open(path, writable)) {
    WarnOnce(path + " is damaged: libhivex cannot open it");
    return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_BADDB;
  }
  return ERROR_SUCCESS;
}

std::string UserHivePath() {
  const offline::Profile* user = ChosenUser();
  return user == nullptr ? std::string() : user->userHive;
}

LONG Load(Hive which, Store& s) {
  s.loaded = true;
  s.main = HiveFile();
  s.system = HiveFile();
  s.file.Reset(HiveRelativeTo(which));
  std::string path = which == Hive::kMachine ? offline::SoftwareHivePath(RootPath()) : UserHivePath();
  if (path.empty()) return s.error = ERROR_FILE_NOT_FOUND;
  LONG r = OpenHive(s.main, path, true);
  Key* into = which == Hive::kMachine ? s.file.Create({u"SOFTWARE"}, nullptr) : s.file.Root();
  if (r == ERROR_SUCCESS) r = LoadTree(s.main, into);
  if (r != ERROR_SUCCESS) {
    if (r == ERROR_BADDB) WarnOnce(path + " is damaged: its keys cannot be read");
    s.file.Reset(HiveRelativeTo(which));
    return s.error = r;
  }
  if (which == Hive::kMachine) {
    std::string system = offline::SystemHivePath(RootPath());
    if (!system.empty() && OpenHive(s.system, system, false) == ERROR_SUCCESS) LoadSystem(s.file, s.system);
    for (Key* key : regfile::File::Subtree(s.file.Root())) {
      if (NodeOf(key) != 0) continue;
      key->head = kReadOnlyMark;
      key->hasSection = true;
      key->changed = false;
    }
  }
  return s.error = ERROR_SUCCESS;
}

// Brings the tree in step with the hive files.
LONG Refresh(Hive which) {
  Store& s = StoreOf(which);
  if (s.generation != RootGeneration()) {
    s.loaded = false;
    s.generation = RootGeneration();
  }
  if (s.loaded) {
    Identity now;
    bool same = IdentityOf(s.main.path, &now) && Same(now, s.main.identity);
    if (same && !s.system.path.empty()) same = IdentityOf(s.system.path, &now) && Same(now, s.system.identity);
    if (same) return s.error;
  }
  return Load(which, s);
}

// The copy of a hive kept before the first change of a run.
bool BackUp(const std::string& path) {
  static std::set<std::string> done;
  if (done.count(path) != 0) return true;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  time_t now = time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  char date[32];
  strftime(date, sizeof date, "%Y%m%d-%H%M%S", &local);
  int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::string backup;
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    backup = path + ".runvane-backup-" + date + (attempt == 0 ? "" : "-" + std::to_string(attempt));
    out = open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0666);
    if (out < 0 && errno != EEXIST) break;
  }
  bool ok = out >= 0;
  char buffer[65536];
  while (ok) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t w = write(out, buffer + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ok = false;
      else done += w;
    }
  }
  if (ok && geteuid() == 0 && fchown(out, st.st_uid, st.st_gid) != 0) {
    // Not all file systems keep owners (an NTFS mount without a user map).
  }
  ok = ok && fsync(out) == 0;
  close(in);
  if (out >= 0 && close(out) != 0) ok = false;
  if (!ok) {
    if (out >= 0) unlink(backup.c_str());
    return false;
  }
  done.insert(path);
  Say("kept a copy of " + path + " as " + backup);
  return true;
}

// Gives the new file the old one's owner and mode. File systems that keep
// neither (an NTFS mount without permissions) refuse or ignore the calls:
// what counts is that the result matches where the file system keeps them.
bool KeepOwnerAndMode(int fd, const struct stat& old) {
  if (geteuid() == 0) {
    struct stat now;
    if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
        (fstat(fd, &now) != 0 || now.st_uid != old.st_uid || now.st_gid != old.st_gid))
      return false;
  }
  struct stat now;
  if (fchmod(fd, old.st_mode & 07777) != 0 && (fstat(fd, &now) != 0 || (now.st_mode & 07777) != (old.st_mode & 07777)))
    return false;
  return true;
}

// True when the hive written to path opens again with a root key. libhivex
// can write, from a damaged hive it was able to open, a file it cannot open
// again; such a file must never replace the hive.
bool ReadsBack(const std::string& path) {
  hive_h* again = hivex_open(path.c_str(), 0);
  if (again == nullptr) return false;
  const bool rooted = hivex_root(again) != 0;
  hivex_close(again);
  return rooted;
}

// Writes the handle's hive over path: a new file beside it, flushed, read
// back, renamed.
LONG CommitFile(hive_h* h, const std::string& path) {
  struct stat old;
  if (stat(path.c_str(), &old) != 0) return ERROR_CANTWRITE;
  std::string folder = ParentOf(path);
  std::string base = path.substr(path.find_last_of('/') + 1);
  std::string temp = folder + "/." + base + ".runvane-XXXXXX";
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return errno == EROFS ? ERROR_WRITE_PROTECT : ERROR_CANTWRITE;
  close(fd);
  bool ok = hivex_commit(h, temp.c_str(), 0) == 0;
  fd = ok ? open(temp.c_str(), O_RDWR | O_CLOEXEC) : -1;
  ok = fd >= 0 && KeepOwnerAndMode(fd, old) && fsync(fd) == 0;
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (ok && !ReadsBack(temp)) {
    unlink(temp.c_str());
    Say(path + ": not changed: the hive written with the change could not be read back");
    return ERROR_BADDB;
  }
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return ERROR_CANTWRITE;
  }
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return ERROR_SUCCESS;
}

// Why a hive may not be written, or ERROR_SUCCESS.
LONG MayWrite(const HiveFile& f) {
  if (!f.header.Clean()) {
    Say(f.path + ": not changed: it was not cleanly written (its sequence numbers differ); let Windows "
                 "boot once, or replay its logs, before changing it");
    return ERROR_BADDB;
  }
  // A hive found through a link that leads out of the volume is not the
  // volume's: nothing outside the image is changed.
  char real[PATH_MAX];
  if (!InsideImage(f.path) || realpath(f.path.c_str(), real) == nullptr || !InsideImage(real)) {
    Say(f.path + ": not changed: it lies outside the volume");
    return ERROR_ACCESS_DENIED;
  }
  struct statvfs fs;
  std::string folder = ParentOf(f.path);
  if (statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0) {
    Say(f.path + ": not changed: the volume is mounted read-only (mount it read-write, e.g. with ntfs-3g)");
    return ERROR_WRITE_PROTECT;
  }
  struct stat st;
  if (stat(f.path.c_str(), &st) != 0 || (st.st_mode & 0222) == 0 ||
      (geteuid() != 0 && (access(f.path.c_str(), W_OK) != 0 || access(folder.c_str(), W_OK) != 0))) {
    Say(f.path + ": not changed: this user may not write it");
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

bool SetValues(hive_h* h, hive_node_h node, const Key* key) {
  std::vector<std::string> names;
  names.reserve(key->values.size());
  std::vector<hive_set_value> set;
  for (const regfile::Value& v : key->values) names.push_back(wtext::ToUtf8(v.name));
  for (size_t i = 0; i < key->values.size(); ++i) {
    const regfile::Value& v = key->values[i];
    set.push_back(hive_set_value{&names[i][0], hive_type(v.type), v.data.size(), const_cast<char*>(v.data.data())});
  }
  return hivex_node_set_values(h, node, set.size(), set.data(), 0) == 0;
}

// Applies the changed part of the tree below mount to the hive: deleted keys
// first (a key deleted and made again is a new key), then new keys and the
// values of changed ones.
bool ApplyChanges(HiveFile& f, Key* mount, std::vector<hive_node_h>* live) {
  hive_h* h = f.handle.get();
  std::vector<Key*> keys = regfile::File::Subtree(mount);
  live->clear();
  for (Key* key : keys)
    if (hive_node_h node = NodeOf(key)) live->push_back(node);
  std::sort(live->begin(), live->end());
  std::vector<hive_node_h> gone;
  std::set_difference(f.loaded.begin(), f.loaded.end(), live->begin(), live->end(), std::back_inserter(gone));
  // The tops of the deleted subtrees, all found before any is deleted: a
  // node below a deleted one is gone with it.
  std::vector<hive_node_h> tops;
  for (hive_node_h node : gone)
    if (!std::binary_search(gone.begin(), gone.end(), hivex_node_parent(h, node))) tops.push_back(node);
  for (hive_node_h node : tops)
    if (hivex_node_delete_child(h, node) != 0) return false;
  for (Key* key : keys) {
    hive_node_h node = NodeOf(key);
    if (node == 0) {
      hive_node_h parent = key->parent == nullptr ? 0 : NodeOf(key->parent);
      if (parent == 0) return false;
      node = hivex_node_add_child(h, parent, wtext::ToUtf8(key->name).c_str());
      if (node == 0) return false;
      if (!key->values.empty() && !SetValues(h, node, key)) return false;
      Mark(key, node);
      live->push_back(node);
    } else if (key->changed) {
      if (!SetValues(h, node, key)) return false;
      key->changed = false;
    }
  }
  std::sort(live->begin(), live->end());
  return true;
}

// Whether a change touched HKEY_LOCAL_MACHINE outside SOFTWARE: the part of
// SYSTEM read for the environment, or the root.
bool OnlySoftwareChanged(regfile::File& file, Key* software) {
  size_t readOnly = 0;
  for (Key* key : regfile::File::Subtree(file.Root())) {
    if (key == software) continue;
    bool inSoftware = false;
    for (Key* up = key->parent; up != nullptr && !inSoftware; up = up->parent) inSoftware = up == software;
    if (inSoftware) continue;
    if (key->head != kReadOnlyMark || key->changed) return false;
    ++readOnly;
  }
  (void)readOnly;
  return true;
}

LONG Commit(Hive which, Store& s) {
  Key* mount = which == Hive::kMachine ? s.file.Find({u"SOFTWARE"}) : s.file.Root();
  if (mount == nullptr || NodeOf(mount) == 0 ||
      (which == Hive::kMachine && !OnlySoftwareChanged(s.file, mount))) {
    Say("not changed: of HKEY_LOCAL_MACHINE only SOFTWARE is written on an offline Windows");
    return ERROR_ACCESS_DENIED;
  }
  LONG r = MayWrite(s.main);
  if (r != ERROR_SUCCESS) return r;
  if (!BackUp(s.main.path)) {
    Say(s.main.path + ": not changed: no copy of it could be kept beside it");
    return ERROR_CANTWRITE;
  }
  std::vector<hive_node_h> live;
  if (!ApplyChanges(s.main, mount, &live)) return ERROR_CANTWRITE;
  r = CommitFile(s.main.handle.get(), s.main.path);
  if (r != ERROR_SUCCESS) return r;
  s.main.loaded = std::move(live);
  if (!IdentityOf(s.main.path, &s.main.identity)) s.loaded = false;
  return ERROR_SUCCESS;
}

}  // namespace

bool OfflineImage() { return CurrentVolume().offline; }

std::u16string OfflineProfileFolder() {
  const offline::Profile* user = ChosenUser();
  return user == nullptr ? std::u16string() : user->folder;
}

std::u16string OfflineUserName() {
  const offline::Profile* user = ChosenUser();
  return user == nullptr ? std::u16string() : wtext::FromUtf8(user->name);
}

namespace hivestore {

regfile::File* ReadHive(Hive hive, LONG* error) {
  LONG r = Refresh(hive);
  if (error != nullptr) *error = r;
  return r == ERROR_SUCCESS ? &StoreOf(hive).file : nullptr;
}

LONG ChangeHive(Hive hive, const std::function<LONG(regfile::File& file, bool* modified)>& change) {
  Group& group = CurrentGroup();
  const bool grouped = group.depth > 0;
  if (grouped && group.failed) return ERROR_CANTWRITE;
  std::unique_ptr<ImageLock> lock;
  if (!grouped || group.lock == nullptr) {
    lock = std::make_unique<ImageLock>();
    if (!lock->held()) return ERROR_ACCESS_DENIED;
    if (grouped) group.lock = std::move(lock);
  }
  Store& s = StoreOf(hive);
  // Whatever was not written is dropped (inside a group, all the group
  // changed): the next read is the hive on disk.
  auto fail = [&](LONG error) {
    s.loaded = false;
    if (grouped) {
      group.failed = true;
      DropPending();
    }
    return error;
  };
  LONG r = Refresh(hive);
  if (r != ERROR_SUCCESS) return grouped ? fail(r) : r;
  bool modified = false;
  try {
    r = change(s.file, &modified);
  } catch (...) {
    return fail(ERROR_CANTWRITE);
  }
  if (!modified) return r;
  if (r != ERROR_SUCCESS) return fail(r);
  if (!grouped) {
    r = Commit(hive, s);
    return r == ERROR_SUCCESS ? r : fail(r);
  }
  // A hive that may not be written is refused now, not at the group's end.
  r = MayWrite(s.main);
  if (r != ERROR_SUCCESS) return fail(r);
  if (!s.pending) group.changed.push_back(hive);
  s.pending = true;
  return ERROR_SUCCESS;
}

void BeginTransaction() {
  Group& group = CurrentGroup();
  if (group.depth++ == 0) group.failed = false;
}

bool EndTransaction(bool commit) {
  Group& group = CurrentGroup();
  bool saved = true;
  if (group.depth > 0 && --group.depth == 0) {
    if (!commit || group.failed) {
      DropPending();
      saved = false;
    } else {
      for (Hive hive : group.changed) {
        Store& s = StoreOf(hive);
        if (!s.pending) continue;
        s.pending = false;
        if (Commit(hive, s) != ERROR_SUCCESS) {
          s.loaded = false;
          DropPending();
          saved = false;
        }
      }
    }
    group.changed.clear();
    group.failed = false;
    group.lock.reset();
  } else if (!commit) {
    group.failed = true;  // an inner group given up gives up the whole
    DropPending();
    saved = false;
  }
  return saved;
}

}  // namespace hivestore
}  // namespace backend
}  // namespace platform
