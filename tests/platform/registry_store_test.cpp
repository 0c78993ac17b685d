// The image's registry files on disk: saved atomically, re-read when another
// process changes them, never written while a Wine server owns the image,
// and a file that is not a registry file is never overwritten.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/call_scope.h"
#include "platform/handles.h"
#include "platform/linux/prefix_probe.h"
#include "platform/linux/registry_store.h"
#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "tests/support/test_system.h"

namespace {

const char16_t kKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteHost(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::u16string Query(HKEY root, const char16_t* key, const char16_t* name, LONG* result = nullptr) {
  platform::ScopedKey handle;
  char16_t text[128] = {};
  DWORD size = sizeof text - 2;
  LONG r = platform::RegOpenKeyExW(root, key, 0, KEY_READ, handle.receive());
  if (r == ERROR_SUCCESS)
    r = platform::RegQueryValueExW(handle.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  if (result != nullptr) *result = r;
  return r == ERROR_SUCCESS ? std::u16string(text) : std::u16string();
}

LONG SetValue(HKEY root, const char16_t* key, const char16_t* name, const std::u16string& text) {
  platform::ScopedKey handle;
  LONG r = platform::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.receive(), nullptr);
  if (r != ERROR_SUCCESS) return r;
  return platform::RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  DWORD((text.size() + 1) * 2));
}

class RegistryStore : public ::testing::Test {
 protected:
  std::string Root() const { return platform::image::Root(); }
  std::string UserReg() const { return Root() + "/user.reg"; }
  std::string SystemReg() const { return Root() + "/system.reg"; }

  testsys::CleanSystem system_;
};

TEST_F(RegistryStore, ChangesReachTheFileAndLeaveNoTemporaryFiles) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"Tool", u"C:\\tool.exe"), ERROR_SUCCESS);
  std::string text = ReadHost(UserReg());
  EXPECT_EQ(text.compare(0, 24, "WINE REGISTRY Version 2\n"), 0);
  EXPECT_NE(text.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run] "), std::string::npos);
  EXPECT_NE(text.find("\n\"Tool\"=\"C:\\\\tool.exe\"\n"), std::string::npos);
  EXPECT_EQ(ReadHost(SystemReg()).find("Tool"), std::string::npos) << "HKEY_CURRENT_USER lives in user.reg";

  DIR* dir = opendir(Root().c_str());
  ASSERT_NE(dir, nullptr);
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    EXPECT_TRUE(name == "." || name == ".." || name == "system.reg" || name == "user.reg" ||
                name == "drive_c" || name == "dosdevices")
        << "no lock file is left in the prefix; unexpected " << name;
  }
  closedir(dir);
}

TEST_F(RegistryStore, AFileChangedByAnotherProgramIsReadAgain) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"Mine", u"1"), ERROR_SUCCESS);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Mine"), u"1");
  // Another program rewrites the file (as Wine or an editor would).
  std::string text = ReadHost(UserReg());
  size_t at = text.find("\"Mine\"=\"1\"");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 10, "\"Mine\"=\"changed\"\n\"Theirs\"=\"2\"");
  WriteHost(UserReg() + ".new", text);
  ASSERT_EQ(rename((UserReg() + ".new").c_str(), UserReg().c_str()), 0);

  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Mine"), u"changed");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Theirs"), u"2");
  // A change made now keeps the other program's values.
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"Later", u"3"), ERROR_SUCCESS);
  std::string after = ReadHost(UserReg());
  EXPECT_NE(after.find("\"Theirs\"=\"2\""), std::string::npos);
  EXPECT_NE(after.find("\"Later\"=\"3\""), std::string::npos);
}

// Within one export call a read looks at the file once; the next call sees
// what another program wrote meanwhile, and a change made during the call is
// seen at once, by values and by the environment derived from them. A
// change always reads the file again first, so it never drops another
// program's values.
TEST_F(RegistryStore, ACallLooksAtTheFileOnceAndTheNextCallSeesOtherProgramsChanges) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"Mine", u"1"), ERROR_SUCCESS);
  auto rewrite = [this](const std::string& from, const std::string& to) {
    std::string text = ReadHost(UserReg());
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, from.size(), to);
    WriteHost(UserReg() + ".new", text);
    ASSERT_EQ(rename((UserReg() + ".new").c_str(), UserReg().c_str()), 0);
  };
  char16_t expanded[MAX_PATH] = {};
  {
    platform::CallScope call;
    EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Mine"), u"1");
    rewrite("\"Mine\"=\"1\"", "\"Mine\"=\"2\"\n\"Theirs\"=\"x\"");
    EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Mine"), u"1") << "looked at once in a call";
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, u"Environment", u"RV_CALL_VAR", u"before"), ERROR_SUCCESS);
    EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Theirs"), u"x") << "a change reads the file first";
    platform::ExpandEnvironmentStringsW(u"%RV_CALL_VAR%", expanded, MAX_PATH);
    EXPECT_EQ(std::u16string(expanded), u"before");
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, u"Environment", u"RV_CALL_VAR", u"after"), ERROR_SUCCESS);
    platform::ExpandEnvironmentStringsW(u"%RV_CALL_VAR%", expanded, MAX_PATH);
    EXPECT_EQ(std::u16string(expanded), u"after") << "the environment follows the call's own change";
    rewrite("\"Mine\"=\"2\"", "\"Mine\"=\"3\"");
  }
  platform::CallScope next;
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Mine"), u"3") << "the next call reads the file again";
}

TEST_F(RegistryStore, UntouchedSectionsKeepEveryByte) {
  std::string original = ReadHost(SystemReg());
  ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kKey, u"New", u"x"), ERROR_SUCCESS);
  std::string changed = ReadHost(SystemReg());
  // Every section of the original is still there, word for word.
  for (size_t start = original.find("\n["); start != std::string::npos;) {
    size_t end = original.find("\n[", start + 1);
    std::string section = original.substr(start, end == std::string::npos ? std::string::npos : end - start);
    EXPECT_NE(changed.find(section), std::string::npos) << section;
    start = end;
  }
  ASSERT_EQ(platform::SHDeleteValueW(HKEY_LOCAL_MACHINE, kKey, u"New"), ERROR_SUCCESS);
}

TEST_F(RegistryStore, AFileThatIsNoRegistryFileIsNeverOverwritten) {
  const std::string junk = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"b\"\n";
  WriteHost(UserReg(), junk);
  LONG r = ERROR_SUCCESS;
  Query(HKEY_CURRENT_USER, kKey, u"x", &r);
  EXPECT_NE(r, ERROR_SUCCESS);
  EXPECT_NE(SetValue(HKEY_CURRENT_USER, kKey, u"x", u"y"), ERROR_SUCCESS);
  EXPECT_EQ(ReadHost(UserReg()), junk);
}

TEST_F(RegistryStore, InjectedFaultLeavesTheValueAsItWas) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"v", u"before"), ERROR_SUCCESS);
  platform::ScopedKey key;
  ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.receive()), ERROR_SUCCESS);
  platform::image::ResetOperationCount();
  platform::image::FailOperationAt(1);
  EXPECT_EQ(platform::RegSetValueExW(key.get(), u"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"after"), 12),
            ERROR_CANTWRITE);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"v"), u"before");
  EXPECT_EQ(platform::image::OperationsSoFar(), 3) << "set, open and query were counted";
}

// A change that throws or fails after it has edited the hive in memory is
// dropped: the next successful change saves only itself, never the half-made
// edit it would otherwise find still "loaded".
TEST_F(RegistryStore, AChangeThatFailsPartWayIsNeverSavedByALaterOne) {
  using platform::backend::ChangeHive;
  using platform::backend::Hive;
  struct Row {
    const char* why;
    bool throws;
  };
  const Row rows[] = {{"an exception part-way through", true}, {"an error after the edit", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    LONG r = ERROR_SUCCESS;
    try {
      r = ChangeHive(Hive::kUser, [&](platform::regfile::File& file, bool* modified) -> LONG {
        bool created = false;
        platform::regfile::Key* key = file.Create(platform::backend::SplitKeyPath(kKey), &created);
        file.SetValue(key, u"half", REG_SZ, std::string("h\0a\0l\0f\0\0\0", 10));
        *modified = true;
        if (row.throws) throw std::runtime_error("stopped half-way");
        return ERROR_OUTOFMEMORY;
      });
    } catch (const std::exception&) {
      r = ERROR_CANTWRITE;  // the store let it escape; what counts is what is saved next
    }
    EXPECT_NE(r, ERROR_SUCCESS);
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"next", u"saved"), ERROR_SUCCESS);
    EXPECT_EQ(ReadHost(UserReg()).find("\"half\""), std::string::npos) << ReadHost(UserReg());
    LONG query = ERROR_SUCCESS;
    Query(HKEY_CURRENT_USER, kKey, u"half", &query);
    EXPECT_EQ(query, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"next"), u"saved");
  }
}

// A transaction keeps its changes in memory, visible to its own reads, and
// saves each changed file once when committed: a process stopped inside it
// leaves the files as they were. Given up, or with a change refused inside
// it, it keeps nothing of what it changed, in either file.
TEST_F(RegistryStore, ATransactionIsSavedWholeOnceOrNotAtAll) {
  const char16_t kDisabled[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Off";
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"Mover", u"C:\\mover.exe"), ERROR_SUCCESS);
  const std::string before = ReadHost(UserReg());
  {
    platform::ScopedRegistryTransaction move;
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kDisabled, u"Mover", u"C:\\mover.exe"), ERROR_SUCCESS);
    ASSERT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, kKey, u"Mover"), ERROR_SUCCESS);
    EXPECT_EQ(ReadHost(UserReg()), before) << "nothing is saved before the commit";
    EXPECT_EQ(Query(HKEY_CURRENT_USER, kDisabled, u"Mover"), u"C:\\mover.exe") << "its own reads see it";
    EXPECT_TRUE(move.Commit());
  }
  std::string after = ReadHost(UserReg());
  EXPECT_EQ(after.find("\"Mover\"=\"C:\\\\mover.exe\"\n"), after.rfind("\"Mover\"=")) << after;
  LONG r = ERROR_SUCCESS;
  Query(HKEY_CURRENT_USER, kKey, u"Mover", &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kDisabled, u"Mover"), u"C:\\mover.exe");

  // Given up: neither the file nor a later read keeps the change.
  {
    platform::ScopedRegistryTransaction dropped;
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"Dropped", u"x"), ERROR_SUCCESS);
  }
  EXPECT_EQ(ReadHost(UserReg()), after);
  Query(HKEY_CURRENT_USER, kKey, u"Dropped", &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);

  // A change refused inside it (a read-only user.reg) gives up the changes
  // already made to the other file too.
  const std::string machineBefore = ReadHost(SystemReg());
  ASSERT_EQ(chmod(UserReg().c_str(), 0444), 0);
  {
    platform::ScopedRegistryTransaction refused;
    EXPECT_EQ(SetValue(HKEY_LOCAL_MACHINE, kKey, u"Machine", u"m"), ERROR_SUCCESS);
    EXPECT_NE(SetValue(HKEY_CURRENT_USER, kKey, u"User", u"u"), ERROR_SUCCESS);
    EXPECT_FALSE(refused.Commit());
  }
  ASSERT_EQ(chmod(UserReg().c_str(), 0644), 0);
  EXPECT_EQ(ReadHost(SystemReg()), machineBefore);
  Query(HKEY_LOCAL_MACHINE, kKey, u"Machine", &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadHost(UserReg()), after);
}

// A root writer keeps the user's ownership and the file's mode; a read-only
// registry file is not replaced; nothing is created through a link planted
// in the prefix.
TEST_F(RegistryStore, OwnersModesAndLinksInThePrefixAreRespected) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"a", u"1"), ERROR_SUCCESS);
  // A link where the old lock file lived, leading out of the image.
  const std::string planted = "/tmp/rv-planted-" + std::to_string(getpid());
  unlink(planted.c_str());
  ASSERT_EQ(symlink(planted.c_str(), (Root() + "/.registry-lock").c_str()), 0);
  ASSERT_EQ(chmod(UserReg().c_str(), 0640), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(UserReg().c_str(), 12345, 23456), 0);
  }
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"b", u"2"), ERROR_SUCCESS);
  struct stat st;
  ASSERT_EQ(stat(UserReg().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (geteuid() == 0) {
    EXPECT_EQ(st.st_uid, 12345u) << "the owner is kept";
    EXPECT_EQ(st.st_gid, 23456u);
  }
  EXPECT_NE(lstat(planted.c_str(), &st), 0) << "nothing was created through the link";
  unlink((Root() + "/.registry-lock").c_str());

  ASSERT_EQ(chmod(SystemReg().c_str(), 0444), 0);
  const std::string before = ReadHost(SystemReg());
  EXPECT_EQ(SetValue(HKEY_LOCAL_MACHINE, kKey, u"c", u"3"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadHost(SystemReg()), before) << "a read-only registry file is not replaced";
  LONG r = ERROR_SUCCESS;
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, u"c", &r), u"") << "the refused change is not kept in memory";
}

// Two lines for one value name in different case in one key: Wine reads the
// last; deleting the value removes both, so it never comes back.
TEST_F(RegistryStore, ADuplicateValueLineInOtherCaseNeverBringsADeletedValueBack) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"other", u"x"), ERROR_SUCCESS);
  std::string text = ReadHost(UserReg());
  size_t at = text.find("\"other\"=\"x\"\n");
  ASSERT_NE(at, std::string::npos);
  text.insert(at, "\"Dup\"=\"first.exe\"\n\"dup\"=\"second.exe\"\n");
  WriteHost(UserReg() + ".new", text);
  ASSERT_EQ(rename((UserReg() + ".new").c_str(), UserReg().c_str()), 0);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"DUP"), u"second.exe") << "the last line wins, as in Wine";
  ASSERT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, kKey, u"Dup"), ERROR_SUCCESS);
  LONG r = ERROR_SUCCESS;
  Query(HKEY_CURRENT_USER, kKey, u"dup", &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND) << ReadHost(UserReg());
  EXPECT_EQ(ReadHost(UserReg()).find("first.exe"), std::string::npos) << "no line left to bring it back";
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"other"), u"x");
}

// Holds a Wine server's lock on the image the way a running server does.
class FakeWineServer {
 public:
  FakeWineServer(const std::string& imageRoot, const std::string& base) {
    struct stat st;
    if (stat(imageRoot.c_str(), &st) != 0) return;
    char name[80];
    std::snprintf(name, sizeof name, "/server-%llx-%llx", (unsigned long long)st.st_dev,
                  (unsigned long long)st.st_ino);
    base_ = base;
    folder_ = base + name;
    mkdir(base.c_str(), 0700);
    mkdir(folder_.c_str(), 0700);
    fd_ = open((folder_ + "/lock").c_str(), O_RDWR | O_CREAT, 0600);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    // An open-file-description lock conflicts with the backend's probe even
    // inside this process, as a server's lock does from another process.
    if (fd_ >= 0) locked_ = fcntl(fd_, F_OFD_SETLK, &lock) == 0;
  }
  void Stop() {
    if (fd_ >= 0) close(fd_);  // the lock file stays, as Wine leaves it
    fd_ = -1;
  }
  ~FakeWineServer() {
    Stop();
    unlink((folder_ + "/lock").c_str());
    rmdir(folder_.c_str());
    rmdir(base_.c_str());  // only when empty: never disturbs a real server
  }
  bool locked() const { return locked_; }

 private:
  std::string base_;
  std::string folder_;
  int fd_ = -1;
  bool locked_ = false;
};

TEST_F(RegistryStore, WritesAreRefusedWhileAWineServerOwnsTheImage) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"kept", u"1"), ERROR_SUCCESS);
  std::string before = ReadHost(UserReg());
  char debianFolder[] = "/tmp/wine-XXXXXX";
  ASSERT_NE(mkdtemp(debianFolder), nullptr);
  const std::string bases[] = {"/tmp/.wine-" + std::to_string(getuid()), debianFolder};
  for (const std::string& base : bases) {
    FakeWineServer server(Root(), base);
    ASSERT_TRUE(server.locked()) << base;
    EXPECT_NE(SetValue(HKEY_CURRENT_USER, kKey, u"lost", u"2"), ERROR_SUCCESS) << base;
    EXPECT_NE(platform::SHDeleteValueW(HKEY_CURRENT_USER, kKey, u"kept"), ERROR_SUCCESS);
    EXPECT_NE(platform::SHDeleteKeyW(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
    EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"kept"), u"1") << "reading goes on";
    EXPECT_EQ(ReadHost(UserReg()), before);

    server.Stop();
    EXPECT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"after", u"3"), ERROR_SUCCESS)
        << "an unlocked, left-over lock file does not block";
    EXPECT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, kKey, u"after"), ERROR_SUCCESS);
    before = ReadHost(UserReg());
  }
  rmdir(debianFolder);
}

// A process that looks like a Wine server to /proc: named wineserver64, its
// working folder the server folder, holding no lock (as seen from a TMPDIR
// nobody told us about).
class FakeServerProcess {
 public:
  explicit FakeServerProcess(const std::string& folder) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      if (chdir(folder.c_str()) == 0) prctl(PR_SET_NAME, "wineserver64", 0, 0, 0);
      char one = 1;
      if (write(ready[1], &one, 1) == 1) pause();
      _exit(0);
    }
    close(ready[1]);
    char one = 0;
    if (pid_ > 0 && read(ready[0], &one, 1) != 1) pid_ = -1;
    close(ready[0]);
  }
  ~FakeServerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

std::string MakeTempFolder(const std::string& pattern) {
  std::string path = pattern;
  return mkdtemp(&path[0]) != nullptr ? path : std::string();
}

std::string ServerName(const std::string& root) {
  struct stat st;
  stat(root.c_str(), &st);
  char name[80];
  std::snprintf(name, sizeof name, "server-%llx-%llx", (unsigned long long)st.st_dev,
                (unsigned long long)st.st_ino);
  return name;
}

// Restores TMPDIR when the test ends.
class TmpdirSetting {
 public:
  explicit TmpdirSetting(const std::string& value) {
    const char* old = getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TMPDIR", value.c_str(), 1);
  }
  ~TmpdirSetting() {
    if (had_) setenv("TMPDIR", old_.c_str(), 1);
    else unsetenv("TMPDIR");
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST_F(RegistryStore, AServerUnderTmpdirOrReachedThroughALinkIsFound) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"kept", u"1"), ERROR_SUCCESS);
  const std::string before = ReadHost(UserReg());
  const std::string tmpdir = MakeTempFolder("/tmp/rv-tmpdir-XXXXXX");
  ASSERT_FALSE(tmpdir.empty());
  // TMPDIR itself reached through a link, as on systems with per-user tmp.
  const std::string tmplink = tmpdir + "-link";
  ASSERT_EQ(symlink(tmpdir.c_str(), tmplink.c_str()), 0);
  TmpdirSetting setting(tmplink);
  const std::string debian = MakeTempFolder(tmpdir + "/wine-XXXXXX");
  const std::string bases[] = {tmpdir + "/.wine-" + std::to_string(getuid()), debian};
  // The prefix reached through a symbolic link: the server is named after the real folder.
  const std::string linked = Root() + "-link";
  ASSERT_EQ(symlink(Root().c_str(), linked.c_str()), 0);
  for (const std::string& root : {Root(), linked}) {
    platform::image::SetRoot(root);
    for (const std::string& base : bases) {
      FakeWineServer server(root, base);
      ASSERT_TRUE(server.locked()) << base;
      platform::prefix::ServerFinding finding = platform::prefix::FindServer(root);
      EXPECT_EQ(finding.state, platform::prefix::ServerState::kRunning) << root << " " << base;
      std::string message = platform::prefix::DescribeServer(root, finding);
      EXPECT_NE(message.find(base), std::string::npos) << message;
      EXPECT_NE(message.find("wineserver -k"), std::string::npos) << message;
      EXPECT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"lost", u"2"), ERROR_SHARING_VIOLATION) << base;
      EXPECT_EQ(ReadHost(UserReg()), before);
    }
  }
  platform::image::SetRoot(Root());
  unlink(linked.c_str());
  unlink(tmplink.c_str());
  rmdir(debian.c_str());
  rmdir(tmpdir.c_str());
}

TEST_F(RegistryStore, AServerStartedWithAnUnknownTmpdirIsFoundByItsProcess) {
  ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"kept", u"1"), ERROR_SUCCESS);
  const std::string before = ReadHost(UserReg());
  // A TMPDIR this process does not know: the server folder is found only
  // through the server process's working folder.
  const std::string elsewhere = MakeTempFolder("/tmp/rv-elsewhere-XXXXXX");
  ASSERT_FALSE(elsewhere.empty());
  const std::string wineFolder = elsewhere + "/wine-AbCdEf";
  const std::string serverFolder = wineFolder + "/" + ServerName(Root());
  ASSERT_EQ(mkdir(wineFolder.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(serverFolder.c_str(), 0700), 0);
  WriteHost(Root() + "/wineserver", "wine-AbCdEf");
  {
    FakeServerProcess server(serverFolder);
    ASSERT_GT(server.pid(), 0);
    platform::prefix::ServerFinding finding = platform::prefix::FindServer(Root());
    EXPECT_EQ(finding.state, platform::prefix::ServerState::kRunning);
    EXPECT_EQ(finding.pid, long(server.pid()));
    EXPECT_NE(platform::prefix::DescribeServer(Root(), finding).find(std::to_string(server.pid())),
              std::string::npos);
    EXPECT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"lost", u"2"), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadHost(UserReg()), before);
  }
  // The server has gone; its folder name stays in the prefix, as Wine leaves it.
  EXPECT_EQ(platform::prefix::FindServer(Root()).state, platform::prefix::ServerState::kNone);
  EXPECT_EQ(SetValue(HKEY_CURRENT_USER, kKey, u"after", u"3"), ERROR_SUCCESS);
  unlink((Root() + "/wineserver").c_str());
  rmdir(serverFolder.c_str());
  rmdir(wineFolder.c_str());
  rmdir(elsewhere.c_str());
}

}  // namespace

#endif  // _WIN32
