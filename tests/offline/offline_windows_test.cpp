// An offline Windows volume through the registry operations: real hives
// read as an independent reader (reglookup) reads them, a built volume's
// environment, shell folders and user choice, and writes that reach the
// hive, keep a backup, and never touch a hive that is damaged, not cleanly
// written, read-only, or SYSTEM.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "platform/handles.h"
#include "platform/linux/offline_windows.h"
#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace {

const std::string kHives = RUNVANE_HIVE_DIR;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  pclose(p);
  return out;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t CountBackups(const std::string& folder, const std::string& hive) {
  size_t n = 0;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return 0;
  while (struct dirent* e = readdir(dir))
    if (std::string(e->d_name).rfind(hive + ".runvane-backup-", 0) == 0) ++n;
  closedir(dir);
  return n;
}

// A value as both sides print it: the type's name and, for strings, the text.
using Listing = std::map<std::string, std::string>;  // name -> "TYPE:text"

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_SZ: return "SZ";
    case REG_EXPAND_SZ: return "EXPAND_SZ";
    case REG_DWORD: return "DWORD";
    case 3: return "BINARY";
    case 7: return "MULTI_SZ";
    default: return "OTHER";
  }
}

// reglookup's %XX escapes undone.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += char(strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The values directly in key (a /-path from the hive's root) as reglookup lists them.
Listing ReglookupValues(const std::string& hive, const std::string& key) {
  Listing out;
  std::istringstream lines(Shell("reglookup -H -p " + Quote(key) + " " + Quote(hive) + " 2>/dev/null"));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string x; std::getline(fields, x, ',');) f.push_back(x);
    if (f.size() < 3 || f[1] == "KEY") continue;
    std::string path = Unescape(f[0]);
    if (path.size() <= key.size() + 1 || path.compare(0, key.size() + 1, key + "/") != 0) continue;
    std::string name = path.substr(key.size() + 1);
    if (name.find('/') != std::string::npos) continue;  // a value of a sub-key
    bool text = f[1] == "SZ" || f[1] == "EXPAND_SZ";
    std::string type = f[1] == "SZ" || f[1] == "EXPAND_SZ" || f[1] == "DWORD" || f[1] == "BINARY" || f[1] == "MULTI_SZ"
                           ? f[1] : "OTHER";
    out[name] = type + ":" + (text ? Unescape(f[2]) : "");
  }
  return out;
}

// The same key's values through the registry operations.
Listing ModuleValues(HKEY root, const std::u16string& key, LONG* error = nullptr) {
  Listing out;
  platform::ScopedKey handle;
  LONG r = platform::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.receive());
  if (error != nullptr) *error = r;
  if (r != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    char16_t name[16384];
    DWORD nameLength = 16384;
    BYTE data[65536];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (platform::RegEnumValueW(handle.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
      break;
    std::u16string text;
    for (DWORD k = 0; k + 1 < size; k += 2) {
      char16_t c = char16_t(data[k] | data[k + 1] << 8);
      if (c == 0) break;
      text.push_back(c);
    }
    bool isText = type == REG_SZ || type == REG_EXPAND_SZ;
    out[wtext::ToUtf8(name)] = TypeName(type) + ":" + (isText ? wtext::ToUtf8(text) : "");
  }
  return out;
}

std::u16string Expand(const char16_t* text) {
  char16_t out[1024] = {};
  platform::ExpandEnvironmentStringsW(text, out, 1024);
  return out;
}

LONG SetString(HKEY root, const std::u16string& key, const std::u16string& name, const std::u16string& text) {
  platform::ScopedKey handle;
  LONG r = platform::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.receive(),
                                     nullptr);
  if (r != ERROR_SUCCESS) return r;
  return platform::RegSetValueExW(handle.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  DWORD((text.size() + 1) * 2));
}

class OfflineVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/runvane-offline-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    work_ = pattern;
    volume_ = work_ + "/volume";
    config_ = volume_ + "/Windows/System32/config";
    unsetenv("RUNVANE_USER");
  }
  void TearDown() override {
    platform::image::SetRoot("");
    unsetenv("RUNVANE_USER");
    Shell("rm -rf " + Quote(work_));
  }
  // The volume of tests/support/make_offline_volume.sh, made current.
  void Build(const char* user) {
    ASSERT_EQ(Shell("bash " + Quote(RUNVANE_VOLUME_SCRIPT) + " " + Quote(volume_) + " " + Quote(RUNVANE_FIXTURE_DIR) +
                  " " + Quote(kHives) + " >/dev/null 2>&1 && echo ok"),
              "ok\n");
    Use(user);
  }
  void Use(const char* user) {
    if (user != nullptr) {
      setenv("RUNVANE_USER", user, 1);
    } else {
      unsetenv("RUNVANE_USER");
    }
    platform::image::SetRoot(volume_);
  }
  // A volume of real hives: SOFTWARE, and a user's NTUSER.DAT.
  void Unpack(const std::string& software, const std::string& user) {
    Shell("mkdir -p " + Quote(config_) + " " + Quote(volume_ + "/Users/owner"));
    Shell("xz -dc " + Quote(kHives + "/" + software + ".xz") + " > " + Quote(config_ + "/SOFTWARE"));
    Shell("xz -dc " + Quote(kHives + "/" + user + ".xz") + " > " + Quote(volume_ + "/Users/owner/NTUSER.DAT"));
    Use(nullptr);
  }
  std::string work_, volume_, config_;
};

// Every Run-type key of both hives lists the same names, types and data as
// reglookup lists them.
TEST_F(OfflineVolume, RealHivesListWhatReglookupLists) {
  const char* const kUserHives[] = {"regipy-NTUSER.DAT", "plaso-NTUSER-RunTests.DAT"};
  const char* const kRunKeys[] = {"Microsoft/Windows/CurrentVersion/Run", "Microsoft/Windows/CurrentVersion/RunOnce",
                                  "Microsoft/Windows/CurrentVersion/RunOnceEx",
                                  "Microsoft/Windows/CurrentVersion/Policies/Explorer/Run"};
  size_t compared = 0;
  for (const char* userHive : kUserHives) {
    SCOPED_TRACE(userHive);
    Unpack("regipy-SOFTWARE-partial", userHive);
    for (const char* key : kRunKeys) {
      std::u16string windowsKey = wtext::FromUtf8(key);
      for (auto& c : windowsKey)
        if (c == u'/') c = u'\\';
      Listing user = ModuleValues(HKEY_CURRENT_USER, u"Software\\" + windowsKey);
      EXPECT_EQ(user, ReglookupValues(volume_ + "/Users/owner/NTUSER.DAT", std::string("/Software/") + key)) << key;
      Listing machine = ModuleValues(HKEY_LOCAL_MACHINE, u"SOFTWARE\\" + windowsKey);
      EXPECT_EQ(machine, ReglookupValues(config_ + "/SOFTWARE", std::string("/") + key)) << key;
      compared += user.size() + machine.size();
    }
  }
  // What the hives' publishers list: Sidebar in both user hives, mctadmin in
  // one, OneDrive and four RunOnce values in the partial SOFTWARE.
  EXPECT_GE(compared, 2u * 5 + 3);
  Unpack("regipy-SOFTWARE-partial", "plaso-NTUSER-RunTests.DAT");
  EXPECT_EQ(ModuleValues(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce")["mctadmin"],
            "SZ:C:\\Windows\\System32\\mctadmin.exe");
}

// The damaged hive is refused whole, and nothing is written to it.
TEST_F(OfflineVolume, DamagedHiveIsRefusedAndNeverWritten) {
  Unpack("regipy-SOFTWARE-partial", "plaso-corrupt_sub_key_list.hiv");
  std::string hive = volume_ + "/Users/owner/NTUSER.DAT";
  std::string before = ReadHost(hive);
  LONG r = ERROR_SUCCESS;
  ModuleValues(HKEY_CURRENT_USER, u"Software", &r);
  EXPECT_EQ(r, ERROR_BADDB);
  EXPECT_NE(SetString(HKEY_CURRENT_USER, u"Software\\Run", u"x", u"y"), ERROR_SUCCESS);
  EXPECT_EQ(ReadHost(hive), before);
  EXPECT_EQ(CountBackups(volume_ + "/Users/owner", "NTUSER.DAT"), 0u);
  // The machine's hive is not affected by the user's.
  EXPECT_FALSE(ModuleValues(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run").empty());
}

// From a damaged hive that libhivex opens, it can write a hive it cannot
// open again (a fuzzer found one): the change is refused and the hive stays
// byte for byte as it was, with no new file left beside it.
TEST_F(OfflineVolume, AChangeWhoseHiveWouldNotReadBackIsRefused) {
  Unpack("regipy-SOFTWARE-partial", "plaso-NTUSER-RunTests.DAT");
  Shell("cp " + Quote(std::string(RUNVANE_HIVE_SEED_DIR) + "/fuzzed-written-unreadable.hiv") + " " +
        Quote(config_ + "/SOFTWARE"));
  Use(nullptr);
  const std::string before = ReadHost(config_ + "/SOFTWARE");
  platform::ScopedKey made;
  EXPECT_NE(platform::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Fuzzed", 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, made.receive(), nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadHost(config_ + "/SOFTWARE"), before);
  EXPECT_EQ(Shell("ls -A " + Quote(config_) + " | grep -c '^\\.SOFTWARE\\.runvane-' || true"), "0\n")
      << "a temporary file was left";
}

TEST_F(OfflineVolume, EnvironmentShellFoldersAndPathsComeFromTheVolume) {
  Build("ALICE");
  EXPECT_EQ(Expand(u"%VOLUME_SET%"), u"current");  // ControlSet002, as Select\Current says
  EXPECT_EQ(Expand(u"%USERPROFILE%|%USERNAME%|%USER_MARK%"), u"C:\\Users\\alice|alice|C:\\Users\\alice\\mark");
  EXPECT_EQ(Expand(u"%ProgramData%|%windir%|%ProgramFiles%"), u"C:\\ProgramData|C:\\Windows|C:\\Program Files");
  char16_t path[MAX_PATH] = {};
  ASSERT_TRUE(platform::SHGetSpecialFolderPathW(nullptr, path, 7, FALSE));
  EXPECT_EQ(std::u16string(path), u"C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  ASSERT_TRUE(platform::SHGetSpecialFolderPathW(nullptr, path, 24, FALSE));
  EXPECT_EQ(std::u16string(path), u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  // C: is the volume, found ignoring case; no other drive but the host's Z:.
  EXPECT_EQ(platform::image::HostPath(u"c:\\program files\\TOOLS\\normal.exe"),
            volume_ + "/Program Files/Tools/normal.exe");
  EXPECT_EQ(platform::image::HostPath(u"D:\\x"), "");
  EXPECT_EQ(platform::image::WindowsPath(volume_ + "/Users"), u"C:\\Users");
  EXPECT_EQ(ModuleValues(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run")["AliceSync"],
            "SZ:C:\\Program Files\\Tools\\normal.exe");
  EXPECT_EQ(ModuleValues(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run")["OldAgent"],
            "SZ:C:\\Program Files (x86)\\Old\\old.exe");
}

TEST_F(OfflineVolume, UserIsChosenOrTheCandidatesAreNamed) {
  Build(nullptr);
  platform::offline::Profile chosen;
  std::string error;
  EXPECT_FALSE(platform::offline::ChooseProfile(volume_, "", &chosen, &error));
  EXPECT_NE(error.find("alice, bob"), std::string::npos) << error;
  EXPECT_EQ(error.find("Default"), std::string::npos) << error;
  LONG r = ERROR_SUCCESS;
  ModuleValues(HKEY_CURRENT_USER, u"Software", &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(platform::offline::ChooseProfile(volume_, "carol", &chosen, &error));
  EXPECT_NE(error.find("carol"), std::string::npos) << error;
  ASSERT_TRUE(platform::offline::ChooseProfile(volume_, "Bob", &chosen, &error));
  EXPECT_EQ(chosen.folder, u"C:\\Users\\bob");  // ProfileImagePath, not expanded: C:\Users\bob
  // Without ProfileList the profile folders are found: the XP layout.
  Shell("cd " + Quote(volume_) + " && mkdir -p 'Documents and Settings' && mv Users/bob 'Documents and Settings/' && rm -r Users");
  Shell("hivexsh -w " + Quote(config_ + "/SOFTWARE") + " <<'EOF'\ncd Microsoft\\Windows NT\\CurrentVersion\\ProfileList\ndel\ncommit\nEOF");
  ASSERT_TRUE(platform::offline::ChooseProfile(volume_, "", &chosen, &error)) << error;
  EXPECT_EQ(chosen.folder, u"C:\\Documents and Settings\\bob");
}

// A change reaches the hive as reglookup reads it; a copy of the hive as it
// was is kept once; SYSTEM and the root of HKEY_LOCAL_MACHINE are refused.
TEST_F(OfflineVolume, ChangesReachTheHiveAfterOneBackup) {
  Build("alice");
  const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, run, u"Added", u"C:\\added.exe"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, run + u"\\Sub\\Deeper", u"", u"default"), ERROR_SUCCESS);
  {
    platform::ScopedKey key;
    ASSERT_EQ(platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, run.c_str(), 0, KEY_ALL_ACCESS, key.receive()), ERROR_SUCCESS);
    EXPECT_EQ(platform::RegDeleteValueW(key.get(), u"Missing Helper"), ERROR_SUCCESS);
  }
  std::string software = config_ + "/SOFTWARE";
  Listing after = ReglookupValues(software, "/Microsoft/Windows/CurrentVersion/Run");
  EXPECT_EQ(after["Added"], "SZ:C:\\added.exe");
  EXPECT_EQ(after.count("Missing Helper"), 0u);
  EXPECT_EQ(after["ToolsAgent"], "SZ:\"C:\\Program Files\\Tools\\normal.exe\" /background");
  EXPECT_NE(Shell("reglookup -H -p /Microsoft/Windows/CurrentVersion/Run/Sub/Deeper " + Quote(software)).find("default"),
            std::string::npos);
  // A key deleted and made again is a new key: none of its old values.
  ASSERT_EQ(platform::SHDeleteKeyW(HKEY_LOCAL_MACHINE, (run + u"\\Sub").c_str()), ERROR_SUCCESS);
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, run + u"\\Sub", u"again", u"1"), ERROR_SUCCESS);
  std::string sub = Shell("reglookup -H -p /Microsoft/Windows/CurrentVersion/Run/Sub " + Quote(software));
  EXPECT_EQ(sub.find("Deeper"), std::string::npos) << sub;
  EXPECT_NE(sub.find("again"), std::string::npos) << sub;
  EXPECT_EQ(CountBackups(config_, "SOFTWARE"), 1u);
  // The copy is the hive before the first change.
  EXPECT_EQ(ReglookupValues(config_ + "/" + Shell("ls " + Quote(config_) + " | grep backup | tr -d '\\n'"),
                            "/Microsoft/Windows/CurrentVersion/Run")
                .count("Missing Helper"),
            1u);
  // The user's hive is written as its own file, with its own copy.
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"Mine", u"m.exe"),
            ERROR_SUCCESS);
  EXPECT_EQ(ReglookupValues(volume_ + "/Users/alice/NTUSER.DAT", "/Software/Microsoft/Windows/CurrentVersion/Run")["Mine"],
            "SZ:m.exe");
  EXPECT_EQ(CountBackups(volume_ + "/Users/alice", "NTUSER.DAT"), 1u);
  EXPECT_EQ(CountBackups(volume_ + "/Users/bob", "NTUSER.DAT"), 0u);

  std::string system = ReadHost(config_ + "/SYSTEM");
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SYSTEM\\Select", u"Current", u"x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, u"NEWROOT", u"x", u"y"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadHost(config_ + "/SYSTEM"), system);
  EXPECT_EQ(Expand(u"%VOLUME_SET%"), u"current");  // the refused change was dropped
}

// Differing sequence numbers (a write cut off, its logs not replayed) and a
// read-only hive: read, never written, no backup made.
TEST_F(OfflineVolume, UncleanOrReadOnlyHivesAreNeverWritten) {
  Build("alice");
  std::string software = config_ + "/SOFTWARE";
  {
    int fd = open(software.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    // The second sequence number moved on, and the header's checksum (the
    // XOR of its first 127 words) made right again, as a cut-off write leaves it.
    unsigned char header[512];
    ASSERT_EQ(pread(fd, header, sizeof header, 0), 512);
    header[8] = 0x7f;
    uint32_t sum = 0;
    for (int i = 0; i < 127; ++i)
      sum ^= uint32_t(header[4 * i]) | uint32_t(header[4 * i + 1]) << 8 | uint32_t(header[4 * i + 2]) << 16 |
             uint32_t(header[4 * i + 3]) << 24;
    for (int k = 0; k < 4; ++k) header[0x1FC + k] = uint8_t(sum >> (8 * k));
    ASSERT_EQ(pwrite(fd, header, sizeof header, 0), 512);
    close(fd);
  }
  std::string before = ReadHost(software);
  platform::image::SetRoot(volume_);
  const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(ModuleValues(HKEY_LOCAL_MACHINE, run).count("ToolsAgent"), 1u);
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, run, u"Added", u"x"), ERROR_BADDB);
  EXPECT_EQ(platform::SHDeleteValueW(HKEY_LOCAL_MACHINE, run.c_str(), u"ToolsAgent"), ERROR_BADDB);
  EXPECT_EQ(ReadHost(software), before);
  EXPECT_EQ(CountBackups(config_, "SOFTWARE"), 0u);
  EXPECT_EQ(ModuleValues(HKEY_LOCAL_MACHINE, run).count("Added"), 0u);

  std::string user = volume_ + "/Users/alice/NTUSER.DAT";
  chmod(user.c_str(), 0444);
  std::string userBefore = ReadHost(user);
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\X", u"x", u"y"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadHost(user), userBefore);
  struct stat st;
  ASSERT_EQ(stat(user.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// The owner and mode of a rewritten hive are the old one's.
TEST_F(OfflineVolume, RewrittenHiveKeepsOwnerAndMode) {
  Build("alice");
  std::string user = volume_ + "/Users/alice/NTUSER.DAT";
  chmod(user.c_str(), 0640);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(user.c_str(), 1234, 5678), 0);
  }
  // The old file is held open, so that its inode number cannot be given to
  // a file made later (each change writes the hive anew, and the file
  // system reuses a freed number).
  const int old = open(user.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(old, 0);
  struct stat before;
  ASSERT_EQ(fstat(old, &before), 0);
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\Kept", u"x", u"y"), ERROR_SUCCESS);
  struct stat after;
  ASSERT_EQ(stat(user.c_str(), &after), 0);
  close(old);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file, renamed over the old
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

}  // namespace

namespace {

// A registry transaction writes each hive it changed once, at its end; one
// given up leaves the hive as it was.
TEST_F(OfflineVolume, TransactionWritesTheHiveOnceOrNotAtAll) {
  Build("alice");
  const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  std::string software = config_ + "/SOFTWARE";
  struct stat before;
  ASSERT_EQ(stat(software.c_str(), &before), 0);
  platform::BeginRegistryTransaction();
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, run + u"\\Moved", u"ToolsAgent", u"x"), ERROR_SUCCESS);
  EXPECT_EQ(platform::SHDeleteValueW(HKEY_LOCAL_MACHINE, run.c_str(), u"ToolsAgent"), ERROR_SUCCESS);
  struct stat during;
  ASSERT_EQ(stat(software.c_str(), &during), 0);
  EXPECT_EQ(during.st_ino, before.st_ino);  // nothing written yet
  EXPECT_EQ(ModuleValues(HKEY_LOCAL_MACHINE, run + u"\\Moved").count("ToolsAgent"), 1u);  // but read back
  EXPECT_TRUE(platform::EndRegistryTransaction(TRUE));
  EXPECT_EQ(ReglookupValues(software, "/Microsoft/Windows/CurrentVersion/Run/Moved")["ToolsAgent"], "SZ:x");
  EXPECT_EQ(ReglookupValues(software, "/Microsoft/Windows/CurrentVersion/Run").count("ToolsAgent"), 0u);

  std::string written = ReadHost(software);
  platform::BeginRegistryTransaction();
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, run, u"Dropped", u"y"), ERROR_SUCCESS);
  EXPECT_FALSE(platform::EndRegistryTransaction(FALSE));
  EXPECT_EQ(ReadHost(software), written);
  EXPECT_EQ(ModuleValues(HKEY_LOCAL_MACHINE, run).count("Dropped"), 0u);
}

}  // namespace

namespace {

// A hive that is a link out of the volume is read, never written.
TEST_F(OfflineVolume, HiveLinkedFromOutsideIsNeverWritten) {
  Build("alice");
  std::string outside = work_ + "/outside-SOFTWARE";
  ASSERT_EQ(rename((config_ + "/SOFTWARE").c_str(), outside.c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (config_ + "/SOFTWARE").c_str()), 0);
  platform::image::SetRoot(volume_);
  std::string before = ReadHost(outside);
  const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(ModuleValues(HKEY_LOCAL_MACHINE, run).count("ToolsAgent"), 1u);
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, run, u"Added", u"x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadHost(outside), before);
  struct stat st;
  ASSERT_EQ(lstat((config_ + "/SOFTWARE").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
