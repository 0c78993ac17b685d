// Each built module, loaded by file name and driven through exports found by
// name, as the host application drives it: the check-cycle exports answer,
// the full edition alone has the remote invoke, and the list handed over
// keeps its layout across the module boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "records/fix_node.h"
#include "records/check_node.h"
#include "tests/host/host_system.h"
#include "tests/host/loaded_module.h"

namespace host {
namespace {

class ModulesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { PrepareSystemForModules(); }
  void TearDown() override { RemoveSystemForModules(); }
};
::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ModulesEnvironment);

struct Edition {
  const char* baseName;
  bool full;
};

std::ostream& operator<<(std::ostream& out, const Edition& edition) {
  return out << edition.baseName;
}

// What the callback saw: each text and the eight integers that came with it.
struct Calls {
  std::vector<std::u16string> texts;
  std::vector<std::vector<int32_t>> numbers;
  int stopAtCall = 0;  // answer non-zero from this call on (0: never)
};
Calls g_calls;

int32_t __cdecl RecordProgress(const char16_t* text, int32_t a, int32_t b, int32_t c, int32_t d,
                               int32_t userData, int32_t e, int32_t f, int32_t g) {
  g_calls.texts.push_back(text != nullptr ? text : u"(null)");
  g_calls.numbers.push_back({a, b, c, d, userData, e, f, g});
  return g_calls.stopAtCall != 0 && static_cast<int>(g_calls.texts.size()) >= g_calls.stopAtCall
             ? 1
             : 0;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::vector<const CheckNode*> Nodes(const CheckNode* head) {
  std::vector<const CheckNode*> nodes;
  for (; head != nullptr && nodes.size() < 10000; head = head->next) nodes.push_back(head);
  return nodes;
}

class HostLoadTest : public ::testing::TestWithParam<Edition> {
 protected:
  HostLoadTest() : module_(ProgramFolder() + ModuleFileName(GetParam().baseName)) {
    g_calls = Calls();
  }

  void SetUp() override {
    ASSERT_TRUE(module_.loaded()) << module_.error();
    check_ = reinterpret_cast<CheckFunction>(module_.Find("DLL_Check"));
    release_ = reinterpret_cast<ReleaseFunction>(module_.Find("DLL_Release"));
    ASSERT_NE(check_, nullptr);
    ASSERT_NE(release_, nullptr);
  }

  HostSystem system_;
  LoadedModule module_;
  CheckFunction check_ = nullptr;
  ReleaseFunction release_ = nullptr;
};

TEST_P(HostLoadTest, ExportsResolveByPlainName) {
  for (const char* name : {"DLL_Check", "DLL_Release", "DLL_Repair", "FixItemByName"})
    EXPECT_NE(module_.Find(name), nullptr) << name << " is not exported";
  if (GetParam().full)
    EXPECT_NE(module_.Find("VEK_RemoteInvoke"), nullptr) << "the full edition lacks it";
  else
    EXPECT_EQ(module_.Find("VEK_RemoteInvoke"), nullptr) << "the check-only edition has it";
  // Decorated or internal names stay inside the module.
  for (const char* name : {"_DLL_Check", "DLL_Check@16", "BuildCheckList", "ScanAutoRunItems"})
    EXPECT_EQ(module_.Find(name), nullptr) << name << " is visible to the host";
}

TEST_P(HostLoadTest, CheckOfAnEmptySystemGivesNoListAndReleaseOfNoListIsZero) {
  CheckNode sentinel{};
  CheckNode* list = &sentinel;
  int32_t count = 77;
  EXPECT_EQ(check_(&list, &RecordProgress, &count, 5), 0);
  EXPECT_EQ(list, nullptr) << "the list pointer must be cleared";
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(g_calls.texts.empty());
  EXPECT_EQ(release_(nullptr), 0);
  // A null callback is allowed as well.
  EXPECT_EQ(check_(&list, nullptr, &count, 0), 0);
  EXPECT_EQ(list, nullptr);
}

TEST_P(HostLoadTest, CheckReportsRunValuesInTableOrderAndTheHostReleasesTheList) {
  ASSERT_TRUE(system_.AddRunValue(true, "HostProbeMachine", "C:\\hostprobe\\machine.exe /q"));
  ASSERT_TRUE(system_.AddRunValue(false, "HostProbeUser", "C:\\hostprobe\\user.exe"));

  CheckNode* list = nullptr;
  int32_t count = -1;
  ASSERT_EQ(check_(&list, &RecordProgress, &count, 1234), 0);
  EXPECT_EQ(count, 2);

  ASSERT_EQ(g_calls.texts.size(), 2u);
  EXPECT_EQ(Utf8(g_calls.texts[0]), "C:\\hostprobe\\machine.exe /q");
  EXPECT_EQ(Utf8(g_calls.texts[1]), "C:\\hostprobe\\user.exe");
  const std::vector<int32_t> expected = {-1, -1, -1, -1, 1234, 0, 0, 0};
  EXPECT_EQ(g_calls.numbers[0], expected);

  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(nodes.size(), 2u);
  // The machine's Run key is row 0 of the table, the user's row 1.
  EXPECT_EQ(Utf8(nodes[0]->name), "HostProbeMachine");
  EXPECT_EQ(Utf8(nodes[0]->cmdline), "C:\\hostprobe\\machine.exe /q");
  EXPECT_EQ(nodes[0]->type, 0);
  EXPECT_EQ(Utf8(nodes[1]->name), "HostProbeUser");
  EXPECT_EQ(nodes[1]->type, 1);
  for (const CheckNode* node : nodes) {
    EXPECT_EQ(node->selected, 0);
    EXPECT_EQ(node->failed, 0);
    // Neither entry is in the knowledge base: unknown.
    EXPECT_EQ(std::u16string(node->levelText), u"\u672A\u77E5");
  }
  EXPECT_EQ(release_(list), 1);
}

TEST_P(HostLoadTest, CallbackThatAsksToStopEndsTheScanAfterOneItem) {
  ASSERT_TRUE(system_.AddRunValue(true, "HostProbeFirst", "C:\\hostprobe\\first.exe"));
  ASSERT_TRUE(system_.AddRunValue(true, "HostProbeSecond", "C:\\hostprobe\\second.exe"));
  ASSERT_TRUE(system_.AddRunValue(false, "HostProbeThird", "C:\\hostprobe\\third.exe"));
  g_calls.stopAtCall = 1;

  CheckNode* list = nullptr;
  int32_t count = -1;
  ASSERT_EQ(check_(&list, &RecordProgress, &count, 0), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(g_calls.texts.size(), 1u);
  std::vector<const CheckNode*> nodes = Nodes(list);
  EXPECT_LE(nodes.size(), 1u);
  EXPECT_EQ(release_(list), list != nullptr ? 1 : 0);
}

typedef int32_t(__cdecl* RepairFunction)(CheckNode* list, Progress callback, int32_t userData);
typedef int32_t(__cdecl* FixByNameFunction)(FixNode* list);

std::vector<std::string> NamesOf(const CheckNode* list) {
  std::vector<std::string> names;
  for (const CheckNode* node : Nodes(list)) names.push_back(Utf8(node->name));
  return names;
}

TEST_P(HostLoadTest, TheWholeCycleCheckMarkRepairCheckAgain) {
  auto repair = reinterpret_cast<RepairFunction>(module_.Find("DLL_Repair"));
  auto fixByName = reinterpret_cast<FixByNameFunction>(module_.Find("FixItemByName"));
  ASSERT_NE(repair, nullptr);
  ASSERT_NE(fixByName, nullptr);
  ASSERT_TRUE(system_.AddRunValue(true, "CycleKeep", "C:\\cycle\\keep.exe"));
  ASSERT_TRUE(system_.AddRunValue(true, "CycleRemove", "C:\\cycle\\remove.exe"));
  ASSERT_TRUE(system_.AddRunValue(false, "CycleByName", "C:\\cycle\\byname.exe"));

  CheckNode* list = nullptr;
  int32_t count = 0;
  ASSERT_EQ(check_(&list, &RecordProgress, &count, 0), 0);
  ASSERT_EQ(NamesOf(list), (std::vector<std::string>{"CycleKeep", "CycleRemove", "CycleByName"}));

  // The host marks one finding and has it repaired: every node is reported,
  // only the marked one is removed and gets its outcome.
  std::vector<const CheckNode*> nodes = Nodes(list);
  const_cast<CheckNode*>(nodes[1])->selected = 1;
  const_cast<CheckNode*>(nodes[0])->failed = 7;  // not selected: left as it is
  g_calls = Calls();
  EXPECT_EQ(repair(list, &RecordProgress, 0), 1);
  EXPECT_EQ(g_calls.texts.size(), 3u);
  EXPECT_EQ(nodes[1]->failed, 0);
  EXPECT_EQ(nodes[0]->failed, 7);
  EXPECT_EQ(release_(list), 1);

  list = nullptr;
  ASSERT_EQ(check_(&list, nullptr, &count, 0), 0);
  EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"CycleKeep", "CycleByName"}));
  EXPECT_EQ(count, 2);
  release_(list);

  // Removal by name, with a list the host made: one name found, one not.
  FixNode fix[2] = {};
  const char16_t found[] = u"CycleByName";
  const char16_t missing[] = u"CycleNowhere";
  std::copy(std::begin(found), std::end(found), fix[0].name);
  std::copy(std::begin(missing), std::end(missing), fix[1].name);
  fix[0].next = &fix[1];
  fix[0].result = fix[1].result = 9;
  EXPECT_EQ(fixByName(fix), 0);
  EXPECT_EQ(fix[0].result, 0);
  EXPECT_EQ(fix[1].result, 1);

  list = nullptr;
  ASSERT_EQ(check_(&list, nullptr, &count, 0), 0);
  EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"CycleKeep"}));
  release_(list);

  // No list at all: everything a check finds is removed.
  EXPECT_EQ(fixByName(nullptr), 0);
  list = nullptr;
  ASSERT_EQ(check_(&list, nullptr, &count, 0), 0);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(count, 0);
}

INSTANTIATE_TEST_SUITE_P(Editions, HostLoadTest,
                         ::testing::Values(Edition{"runvane", true},
                                           Edition{"runvane_check", false}),
                         [](const ::testing::TestParamInfo<Edition>& info) {
                           return std::string(info.param.full ? "Full" : "CheckOnly");
                         });

}  // namespace
}  // namespace host
