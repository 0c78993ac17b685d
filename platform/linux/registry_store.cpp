#include "platform/linux/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <utility>

#include "platform/large_pages.h"
#include "platform/linux/backend.h"
#include "platform/linux/hive_store.h"

namespace platform {
namespace backend {

namespace {

struct HiveState {
  unsigned long generation = ~0ul;
  bool loaded = false;
  bool valid = false;
  bool missing = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified = {};
  // Changed in memory by the open transaction, not yet saved.
  bool pending = false;
  // A digest of the bytes the in-memory hive was read from or saved as.
  size_t digest = 0;
  regfile::File file;
};

unsigned long g_localChanges = 0;

HiveState& State(Hive hive) {
  static HiveState states[2];
  return states[hive == Hive::kMachine ? 0 : 1];
}

bool SameIdentity(const HiveState& state, const struct stat& st) {
  return !state.missing && state.device == st.st_dev && state.inode == st.st_ino &&
         state.size == st.st_size && state.modified.tv_sec == st.st_mtim.tv_sec &&
         state.modified.tv_nsec == st.st_mtim.tv_nsec;
}

void Remember(HiveState& state, const struct stat& st) {
  state.missing = false;
  state.device = st.st_dev;
  state.inode = st.st_ino;
  state.size = st.st_size;
  state.modified = st.st_mtim;
}

// Reads a whole file straight into *bytes: room for the size fstat gave and
// one byte more (one read when the file did not grow), then on to its end.
// The room's pages are asked for at once, not one fault each.
bool ReadAll(int fd, size_t expected, std::string* bytes) {
  bytes->clear();
  bytes->reserve(expected + 1);
  platform::PopulatePages(bytes->data(), bytes->capacity());
  bytes->assign(expected + 1, '\0');
  size_t done = 0;
  for (;;) {
    if (done == bytes->size()) bytes->resize(bytes->size() * 2);
    ssize_t n = read(fd, &(*bytes)[done], bytes->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    done += size_t(n);
  }
  bytes->resize(done);
  return true;
}

size_t Digest(const std::string& bytes) { return std::hash<std::string>()(bytes); }

// Reads the hive's file again when it is not the one last read.
// The file's identity (device, inode, size, modification time) tells most
// changes by another process, but not all: a file replaced twice within one
// tick of the file-system clock can come back with a reused inode, the same
// size and the same time. Before a change (verify, under the image lock) the
// bytes themselves are compared, so no change is ever made to a stale copy.
LONG RefreshFromDisk(Hive hive, HiveState& state, bool verify) {
  std::string path = HiveFile(RootPath(), hive);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      state.loaded = false;
      return ERROR_CANTREAD;
    }
    if (!state.loaded || !state.missing) {
      state.file.Reset(HiveRelativeTo(hive));
      state.loaded = true;
      state.valid = true;
      state.missing = true;
    }
    return ERROR_SUCCESS;
  }
  if (state.loaded && SameIdentity(state, st) && !verify)
    return state.valid ? ERROR_SUCCESS : ERROR_BADDB;

  // A registry file that is a FIFO or a device is no registry file: opened
  // without blocking and refused.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    state.loaded = false;
    return ERROR_CANTREAD;
  }
  std::string text;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAll(fd, size_t(st.st_size), &text);
  close(fd);
  if (!ok) {
    state.loaded = false;
    return ERROR_CANTREAD;
  }
  // The same bytes under a new identity (a rewrite that changed nothing)
  // need no new parse.
  const size_t digest = Digest(text);
  if (state.loaded && !state.missing && digest == state.digest) {
    Remember(state, st);
    return state.valid ? ERROR_SUCCESS : ERROR_BADDB;
  }
  state.digest = digest;
  state.file.Reset(HiveRelativeTo(hive));  // the root links resolve against
  state.valid = state.file.Parse(std::move(text));
  state.loaded = true;
  Remember(state, st);
  return state.valid ? ERROR_SUCCESS : ERROR_BADDB;
}

// The export call (and image) in which this thread last found each hive in
// step with its file: a read in the same call needs no stat again.
struct CheckedInCall {
  unsigned long serial = 0;
  unsigned long generation = 0;
};
thread_local CheckedInCall t_checked[2];

// Brings the in-memory hive in step with its file. Returns a Win32 error.
// Within one export call the file is looked at once for reading; a change
// (verify) always looks again, under the image lock.
LONG Refresh(Hive hive, bool verify = false) {
  HiveState& state = State(hive);
  if (state.generation != RootGeneration()) {
    state = HiveState();
    state.generation = RootGeneration();
  }
  // Changes of the open transaction are never replaced by what another
  // writer put on disk meanwhile; the save refuses to overwrite it instead.
  if (state.loaded && state.pending) return ERROR_SUCCESS;
  CheckedInCall& checked = t_checked[hive == Hive::kMachine ? 0 : 1];
  const unsigned long serial = CallSerial();
  if (!verify && serial != 0 && state.loaded && checked.serial == serial &&
      checked.generation == state.generation)
    return state.valid ? ERROR_SUCCESS : ERROR_BADDB;
  LONG result = RefreshFromDisk(hive, state, verify);
  checked.serial = state.loaded ? serial : 0;
  checked.generation = state.generation;
  return result;
}

}  // namespace

ImageLock::ImageLock() {
  fd_ = open(RootPath().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return;
  int r;
  do {
    r = flock(fd_, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    close(fd_);
    fd_ = -1;
  }
}

ImageLock::~ImageLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

namespace {

// Whether this process may replace the file: never a read-only file (even as
// root, who could), never one whose permissions deny this user writing.
bool MayReplace(const std::string& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return false;
  return geteuid() == 0 || access(path.c_str(), W_OK) == 0;
}

}  // namespace

const char* HiveRelativeTo(Hive hive) {
  return hive == Hive::kMachine ? "REGISTRY\\\\Machine" : "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
}

std::string HiveFile(const std::string& root, Hive hive) {
  return root + (hive == Hive::kMachine ? "/system.reg" : "/user.reg");
}

regfile::File* ReadHive(Hive hive, LONG* error) {
  if (OfflineImage()) return hivestore::ReadHive(hive, error);
  LONG r = Refresh(hive);
  if (error != nullptr) *error = r;
  return r == ERROR_SUCCESS ? &State(hive).file : nullptr;
}

void ForgetValues(Hive hive, const regfile::KeyPath& path) {
  if (OfflineImage()) return;  // a hive file's keys are not read from text
  HiveState& state = State(hive);
  if (!state.loaded || !state.valid) return;
  state.file.ForgetValues(path);
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode) {
  std::string target = path;
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) != nullptr) target = real;
  // A registry file that is a link is written where it leads only inside the image.
  if (target != path && !InsideImage(target)) return false;
  // The new file keeps the old one's owner and group (a root writer must
  // not take a user's prefix from them); a new file takes the folder's.
  struct stat owner;
  bool haveOwner = stat(target.c_str(), &owner) == 0 || stat(ParentOf(target).c_str(), &owner) == 0;
  std::string folder = ParentOf(target);
  std::string base = target.substr(target.find_last_of('/') + 1);
  std::string temp = folder + (folder == "/" ? "" : "/") + "." + base + ".XXXXXX";
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += size_t(n);
  }
  if (ok && haveOwner && geteuid() == 0) ok = fchown(fd, owner.st_uid, owner.st_gid) == 0;
  ok = ok && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

namespace {

// The registry transaction of the thread that holds the backend's lock: its
// depth (transactions nest; the outermost one saves), the image lock it
// keeps from its first change to its end, and whether a change in it failed.
// The hives it changed are saved in the order of their first change, so a
// move between two files writes the new place before the old one loses it.
struct Transaction {
  int depth = 0;
  bool failed = false;
  std::unique_ptr<ImageLock> lock;
  std::vector<Hive> changed;
};

Transaction& CurrentTransaction() {
  static Transaction transaction;
  return transaction;
}

// Forgets the in-memory state of every hive with unsaved changes: the next
// read takes the disk again.
void DropPending() {
  for (Hive hive : {Hive::kMachine, Hive::kUser}) {
    HiveState& state = State(hive);
    if (state.pending) {
      state.loaded = false;
      ++g_localChanges;  // what was derived from the dropped change is stale
    }
    state.pending = false;
  }
}

// Whether a change may start now: the image is there, no Wine server owns
// it, and the image lock is held (in *lock, or by the open transaction).
LONG PrepareChange(std::unique_ptr<ImageLock>* lock) {
  if (WineServerOwnsImage()) return ERROR_SHARING_VIOLATION;
  if (!IsDirectory(RootPath())) return ERROR_CANTWRITE;
  auto held = std::make_unique<ImageLock>();
  if (!held->held()) return ERROR_ACCESS_DENIED;
  // A server may have started while we waited for the lock.
  if (WineServerOwnsImage()) return ERROR_SHARING_VIOLATION;
  *lock = std::move(held);
  return ERROR_SUCCESS;
}

// Writes the in-memory hive to its file atomically, keeping the file's mode
// (and owner), and takes the written text as the new state. On failure the
// change is dropped and the disk read again next time.
LONG SaveHive(Hive hive) {
  HiveState& state = State(hive);
  state.pending = false;
  std::string path = HiveFile(RootPath(), hive);
  struct stat st;
  bool exists = stat(path.c_str(), &st) == 0;
  // Another writer that ignored the lock changed the file since it was read:
  // neither its change nor ours is thrown away silently.
  if (exists ? !SameIdentity(state, st) : !state.missing) {
    state.loaded = false;
    return ERROR_CANTWRITE;
  }
  if (exists && !MayReplace(path, st)) {
    state.loaded = false;  // the change stays unsaved: read the disk again
    return ERROR_ACCESS_DENIED;
  }
  unsigned mode = exists ? unsigned(st.st_mode & 07777) : 0644u;
  std::string text;
  try {
    text = state.file.Serialize();
  } catch (...) {
    state.loaded = false;
    return ERROR_CANTWRITE;
  }
  if (!WriteFileAtomically(path, text, mode)) {
    state.loaded = false;
    return ERROR_CANTWRITE;
  }
  // Read back what was written, so the texts kept for faithful output are
  // those on disk and the file's new identity is known.
  state.digest = Digest(text);
  state.valid = state.file.Parse(std::move(text));
  if (stat(path.c_str(), &st) == 0) Remember(state, st);
  else state.loaded = false;
  return ERROR_SUCCESS;
}

}  // namespace

LONG ChangeHive(Hive hive, const std::function<LONG(regfile::File& file, bool* modified)>& change) {
  if (OfflineImage())
    return hivestore::ChangeHive(hive, [&](regfile::File& file, bool* modified) {
      LONG r = change(file, modified);
      if (*modified) ++g_localChanges;
      return r;
    });
  Transaction& transaction = CurrentTransaction();
  const bool grouped = transaction.depth > 0;
  if (grouped && transaction.failed) return ERROR_CANTWRITE;
  std::unique_ptr<ImageLock> lock;
  if (!grouped || transaction.lock == nullptr) {
    LONG r = PrepareChange(&lock);
    if (r != ERROR_SUCCESS) return r;
    if (grouped) transaction.lock = std::move(lock);
  }
  // A failed change leaves the hive half edited: drop it (and, inside a
  // transaction, everything the transaction changed), so that no later save
  // can write it out, and read the disk again before anything else.
  auto fail = [&](LONG error) {
    State(hive).loaded = false;
    if (grouped) {
      transaction.failed = true;
      DropPending();
    }
    return error;
  };
  LONG r = Refresh(hive, /*verify=*/true);
  if (r != ERROR_SUCCESS) return grouped ? fail(r) : r;

  HiveState& state = State(hive);
  bool modified = false;
  try {
    r = change(state.file, &modified);
  } catch (...) {
    return fail(ERROR_CANTWRITE);
  }
  if (!modified) return r;
  ++g_localChanges;
  if (r != ERROR_SUCCESS) return fail(r);
  if (!grouped) return SaveHive(hive);
  // A file this writer may not replace is refused now, not at the end.
  std::string path = HiveFile(RootPath(), hive);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !MayReplace(path, st)) return fail(ERROR_ACCESS_DENIED);
  if (!state.pending) transaction.changed.push_back(hive);
  state.pending = true;
  return ERROR_SUCCESS;
}

unsigned long LocalChanges() { return g_localChanges; }

void BeginTransaction() {
  Mutex().lock();  // released by EndTransaction: one thread's group at a time
  if (OfflineImage()) return hivestore::BeginTransaction();
  Transaction& transaction = CurrentTransaction();
  if (transaction.depth++ == 0) transaction.failed = false;
}

bool EndTransaction(bool commit) {
  if (OfflineImage()) {
    bool saved = hivestore::EndTransaction(commit);
    Mutex().unlock();
    return saved;
  }
  Transaction& transaction = CurrentTransaction();
  bool saved = true;
  if (transaction.depth > 0 && --transaction.depth == 0) {
    if (!commit || transaction.failed) {
      DropPending();
      saved = false;
    } else {
      for (Hive hive : transaction.changed) {
        if (!State(hive).pending) continue;
        if (SaveHive(hive) != ERROR_SUCCESS) {
          DropPending();
          saved = false;
        }
      }
    }
    transaction.changed.clear();
    transaction.failed = false;
    transaction.lock.reset();
  } else if (!commit) {
    // An inner group given up gives up the whole transaction.
    transaction.failed = true;
    DropPending();
    saved = false;
  }
  Mutex().unlock();
  return saved;
}

regfile::KeyPath SplitKeyPath(const char16_t* path) {
  regfile::KeyPath names;
  if (path == nullptr) return names;
  std::u16string current;
  for (const char16_t* p = path;; ++p) {
    if (*p == u'\\' || *p == 0) {
      if (!current.empty()) names.push_back(current);
      current.clear();
      if (*p == 0) break;
    } else {
      current.push_back(*p);
    }
  }
  return names;
}

std::u16string TextOfData(const std::string& data) {
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c = char16_t(uint8_t(data[i]) | (uint8_t(data[i + 1]) << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

bool ReadString(Hive hive, const std::u16string& keyPath, const std::u16string& name,
                std::u16string* text, DWORD* type) {
  regfile::File* file = ReadHive(hive, nullptr);
  if (file == nullptr) return false;
  regfile::Key* key = file->Find(SplitKeyPath(keyPath.c_str()));
  if (key == nullptr) return false;
  regfile::Value* value = regfile::File::FindValue(key, name);
  if (value == nullptr || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return false;
  *text = TextOfData(value->data);
  if (type != nullptr) *type = value->type;
  return true;
}

std::vector<NamedString> ReadStrings(Hive hive, const std::u16string& keyPath) {
  std::vector<NamedString> out;
  regfile::File* file = ReadHive(hive, nullptr);
  if (file == nullptr) return out;
  regfile::Key* key = file->Find(SplitKeyPath(keyPath.c_str()));
  if (key == nullptr) return out;
  for (const regfile::Value& value : key->values)
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
      out.push_back({value.name, TextOfData(value.data), value.type});
  return out;
}

}  // namespace backend
}  // namespace platform
