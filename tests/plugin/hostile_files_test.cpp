// Startup files an attacker controls: names Windows cannot hold, bytes that
// are not UTF-8, forged paths in the host's nodes. Each row is an input and
// what must follow: the item is not listed or is refused, and nothing
// outside the startup folder is touched.
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/plugin/cycle_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/system_image.h"
#endif

namespace cycle {
namespace {

class HostileFiles : public CycleTest {
 protected:
  // A file that a forged path would reach, with known bytes.
  std::u16string PlaceVictim(const std::u16string& path) {
    EXPECT_TRUE(testsys::WriteFileBytes(path, "victim")) << Utf8(path);
    return path;
  }
  static bool Intact(const std::u16string& path) {
    std::string bytes;
    return testsys::ReadFileBytes(path, &bytes) && bytes == "victim";
  }
};

// Nodes the host hands back with a path it has changed: repair acts only on
// a file directly in the startup folder of the node's type.
TEST_F(HostileFiles, RepairRefusesForgedPathsInTheHostsNodes) {
  const std::u16string user = StartupFolder(CSIDL_STARTUP);
  const std::u16string common = StartupFolder(CSIDL_COMMON_STARTUP);
  const std::u16string outside = testsys::ScratchFolder() + u"\\victim.txt";
  PlaceVictim(outside);
  const std::u16string inCommon = PlaceVictim(common + u"\\InCommon.lnk");
  struct Row {
    int32_t type;
    std::u16string cmdline;
    const char* why;
  };
  const Row rows[] = {
      {12, user + u"\\..\\..\\..\\..\\..\\..\\..\\runvane-scratch\\victim.txt", "climbs out with .."},
      {12, outside, "a path outside every startup folder"},
      {12, inCommon, "a file of the other startup folder"},
      {11, user + u"\\sub\\..\\..\\InCommon.lnk", "a sub-path"},
      {40, outside, "a type that is no source"},
  };
  for (const Row& row : rows) {
    CheckNode node{};
    node.type = row.type;
    ASSERT_TRUE(wtext::Copy(node.cmdline, row.cmdline));
    node.selected = 1;
    DLL_Repair(&node, nullptr, 0);
    EXPECT_EQ(1, node.failed) << row.why;
    EXPECT_TRUE(Intact(outside)) << row.why;
    EXPECT_TRUE(Intact(inCommon)) << row.why;
  }
}

TEST_F(HostileFiles, FixByNameRefusesNamesThatLeaveTheFolder) {
  const std::u16string user = StartupFolder(CSIDL_STARTUP);
  const std::u16string victim = PlaceVictim(user + u"\\..\\victim.txt");
  for (const char16_t* name : {u"..\\victim.txt", u"../victim.txt", u"..", u"C:victim.txt", u"*.txt"}) {
    FixNode node{};
    ASSERT_TRUE(wtext::Copy(node.name, name));
    FixItemByName(&node);
    EXPECT_NE(0, node.result) << Utf8(name);
    EXPECT_TRUE(Intact(victim)) << Utf8(name);
  }
}

#ifndef _WIN32
// Names a Linux folder can hold and Windows cannot: not listed, so neither
// check, repair of everything, nor a remote operation can reach through them.
TEST_F(HostileFiles, NamesWindowsCannotHoldAreNotListedAndNothingLeavesTheFolder) {
  const std::u16string user = StartupFolder(CSIDL_STARTUP);
  const std::string folder = platform::image::HostPath(user.c_str());
  // What "..\..\..\victim.txt" would reach when joined and mapped.
  const std::u16string victim = PlaceVictim(user + u"\\..\\..\\..\\victim.txt");
  const std::u16string beside = PlaceVictim(user + u"\\victim.txt");
  struct Row {
    std::string bytes;
    const char* why;
  };
  const Row rows[] = {
      {"..\\..\\..\\victim.txt", "backslashes"},
      {"\xC0\xAE\xC0\xAE\xC1\x9C\xC0\xAE\xC0\xAE\xC1\x9C\xC0\xAE\xC0\xAE\xC1\x9Cvictim.txt",
       "overlong '.' and '\\'"},
      {"\xC1\x9C" "victim.txt", "overlong '\\' before a name beside it"},
      {"bad\xFF.lnk", "a byte that is no UTF-8"},
      {"bad\xFE.lnk", "another, which must not alias the first"},
      {"\xED\xA0\x80.lnk", "an encoded surrogate"},
      {"drive:victim.txt", "a colon"},
      {"what?.lnk", "a wildcard"},
      {"ctl\x01.lnk", "a control character"},
      {"pipe|.lnk", "a pipe sign"},
  };
  for (const Row& row : rows) {
    int fd = open((folder + "/" + row.bytes).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << row.why;
    ASSERT_EQ(write(fd, "hostile", 7), 7);
    close(fd);
  }
  Check();
  for (const CheckNode* node : Nodes(list)) {
    EXPECT_EQ(Text(node->name), u"victim.txt") << "listed: " << Utf8(Text(node->cmdline));
    const_cast<CheckNode*>(node)->selected = 1;
  }
  DLL_Repair(list, nullptr, 0);
  EXPECT_TRUE(Intact(victim)) << "the file two folders up is untouched";
  EXPECT_FALSE(testsys::FileExists(beside)) << "the one real item was removed";
  FixItemByName(nullptr);  // remove everything by the module's own scan
  EXPECT_TRUE(Intact(victim));
  for (const Row& row : rows) {
    struct stat st;
    EXPECT_EQ(0, lstat((folder + "/" + row.bytes).c_str(), &st)) << "hostile file kept: " << row.why;
  }
}
// A FIFO named like a program, a Run value naming one and a value naming a
// device: the check neither blocks nor reads them, and repair leaves them.
// The test runs the check in a child process so that a hang fails the test
// instead of stopping the run.
TEST_F(HostileFiles, FifosAndDevicesNeitherBlockTheCheckNorAreDeleted) {
  const std::u16string user = StartupFolder(CSIDL_STARTUP);
  const std::string fifo = platform::image::HostPath(user.c_str()) + "/pipe.exe";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
  const std::string runFifo = platform::image::HostPath(u"C:\\fifo.exe");
  ASSERT_EQ(0, mkfifo(runFifo.c_str(), 0644));
  SetValue(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"Fifo",
           u"C:\\fifo.exe");
  SetValue(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"Device",
           u"Z:\\dev\\zero");
  pid_t child = fork();
  if (child == 0) {
    alarm(20);  // a blocked open() ends the child, and the test fails
    CheckNode* head = nullptr;
    int32_t found = 0;
    DLL_Check(&head, nullptr, &found, 0);
    for (CheckNode* node = head; node != nullptr; node = node->next) node->selected = 1;
    DLL_Repair(head, nullptr, 0);
    DLL_Release(head);
    _exit(found == 3 ? 0 : 3);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status)) << "the check was stopped (signal " << WTERMSIG(status) << ")";
  EXPECT_EQ(0, WEXITSTATUS(status)) << "three items listed";
  struct stat st;
  EXPECT_EQ(0, lstat(fifo.c_str(), &st)) << "a FIFO is never deleted";
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(0, stat("/dev/zero", &st));
}
#endif

}  // namespace
}  // namespace cycle
