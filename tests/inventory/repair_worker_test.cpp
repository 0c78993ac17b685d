// The repair workers on input that never reaches the system: null lists,
// nodes passed over, cancelled walks and names that are not terminated
// inside their fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inventory/repair.h"
#include "platform/wtext.h"

namespace {

std::vector<std::u16string> g_reported;
int g_stopAt = 0;

int32_t __cdecl Record(const char16_t* text, int32_t, int32_t, int32_t, int32_t, int32_t,
                       int32_t, int32_t, int32_t) {
  g_reported.push_back(text);
  return g_stopAt != 0 && static_cast<int>(g_reported.size()) >= g_stopAt ? 1 : 0;
}

class RepairWorkerTest : public ::testing::Test {
 protected:
  RepairWorkerTest() {
    g_reported.clear();
    g_stopAt = 0;
    for (int i = 0; i < 3; ++i) {
      nodes_[i] = CheckNode{};
      wtext::Copy(nodes_[i].name, (u"item" + wtext::FromInt(i)).c_str());
      wtext::Copy(nodes_[i].cmdline, (u"C:\\item" + wtext::FromInt(i) + u".exe").c_str());
      nodes_[i].failed = 7;
      nodes_[i].next = i < 2 ? &nodes_[i + 1] : nullptr;
    }
  }
  CheckNode nodes_[3];
};

TEST_F(RepairWorkerTest, NullListReturnsOneWithoutReport) {
  ScanContext context(Record, nullptr, 0);
  EXPECT_EQ(1, RepairCheckList(nullptr, context, kRepairSelected));
  EXPECT_EQ(1, RepairCheckList(nullptr, context, kRepairAll));
  EXPECT_TRUE(g_reported.empty());
}

TEST_F(RepairWorkerTest, UnselectedNodesAreReportedAndCountedButLeftAlone) {
  int32_t counter = 0;
  ScanContext context(Record, &counter, 0);
  EXPECT_EQ(1, RepairCheckList(nodes_, context, kRepairSelected));
  ASSERT_EQ(3u, g_reported.size());
  EXPECT_EQ(u"C:\\item2.exe", g_reported[2]);
  EXPECT_EQ(3, counter);
  for (const CheckNode& node : nodes_) EXPECT_EQ(7, node.failed);
}

TEST_F(RepairWorkerTest, CancelStopsBeforeTheNextNode) {
  g_stopAt = 2;
  ScanContext context(Record, nullptr, 0);
  RepairCheckList(nodes_, context, kRepairSelected);
  EXPECT_EQ(2u, g_reported.size());
  EXPECT_EQ(1, context.cancel);
}

TEST_F(RepairWorkerTest, UnterminatedFieldsAreNotActedOn) {
  // A registry node whose name fills its field, a file node whose path does.
  for (char16_t& unit : nodes_[0].name) unit = u'x';
  nodes_[0].type = 0;
  for (char16_t& unit : nodes_[1].cmdline) unit = u'y';
  nodes_[1].type = 11;
  nodes_[2].type = -1;  // taken as unsigned: a file
  nodes_[2].cmdline[0] = 0;
  for (CheckNode& node : nodes_) node.selected = 1;
  ScanContext context(Record, nullptr, 0);
  RepairCheckList(nodes_, context, kRepairSelected);
  EXPECT_EQ(1, nodes_[0].failed);
  EXPECT_EQ(1, nodes_[1].failed);
  EXPECT_EQ(1, nodes_[2].failed) << "an empty path names no file";
  ASSERT_EQ(3u, g_reported.size());
  EXPECT_EQ(std::u16string(260, u'y'), g_reported[1]) << "reported within the field";
}

TEST(DeleteItemByNameTest, EmptyOrNullNameRemovesNothing) {
  EXPECT_EQ(1, DeleteItemByName(u""));
  EXPECT_EQ(1, DeleteItemByName(nullptr));
}

TEST(FixItemsByNameTest, UnterminatedAndEmptyNamesGetResultOneAndEveryNodeIsReported) {
  g_reported.clear();
  g_stopAt = 0;
  FixNode nodes[2] = {};
  for (char16_t& unit : nodes[0].name) unit = u'z';
  nodes[0].result = 9;
  nodes[0].next = &nodes[1];
  nodes[1].result = 9;
  ScanContext context(Record, nullptr, 0);
  EXPECT_EQ(0, FixItemsByName(context, nodes));
  EXPECT_EQ(1, nodes[0].result);
  EXPECT_EQ(1, nodes[1].result);
  ASSERT_EQ(2u, g_reported.size());
  EXPECT_EQ(261u, g_reported[0].size());
}

TEST(FixItemsByNameTest, CancelLeavesLaterResultsUnchanged) {
  g_reported.clear();
  g_stopAt = 1;
  FixNode nodes[2] = {};
  nodes[0].next = &nodes[1];
  nodes[0].result = 9;
  nodes[1].result = 9;
  ScanContext context(Record, nullptr, 0);
  FixItemsByName(context, nodes);
  EXPECT_EQ(1, nodes[0].result);
  EXPECT_EQ(9, nodes[1].result);
  EXPECT_EQ(1u, g_reported.size());
}

TEST(ReportItemTest, CallbackAnswerSetsAndClearsTheCancelFlagAndCounts) {
  g_reported.clear();
  g_stopAt = 1;
  int32_t counter = 0;
  ScanContext context(Record, &counter, 0);
  ReportItem(context, u"a");
  EXPECT_EQ(1, context.cancel);
  g_stopAt = 0;
  g_reported.clear();
  ReportItem(context, u"b");
  EXPECT_EQ(0, context.cancel);
  EXPECT_EQ(2, counter);
  ScanContext silent(nullptr, &counter, 0);
  ReportItem(silent, u"c");
  EXPECT_EQ(3, counter);
}

}  // namespace
