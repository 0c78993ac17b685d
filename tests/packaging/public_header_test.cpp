// The public header (include/runvane.h) against the module: the module's
// records are the header's own, its exports must have the header's
// signatures (checked at compile time), and the records as a C compiler lays
// the header out (public_header_layout.c) must be the module's.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "plugin/exports.h"
#include "records/run_data.h"
#include "tests/packaging/public_header_layout.h"

namespace {

// The module's records are the public header's own (records/public_interface.h);
// what is left to prove is that the exports the module defines have the
// header's signatures, and that a C compiler lays the header out alike.
static_assert(std::is_same<RunvaneDllCheck, decltype(&::DLL_Check)>::value, "DLL_Check");
static_assert(std::is_same<RunvaneDllRelease, decltype(&::DLL_Release)>::value, "DLL_Release");
static_assert(std::is_same<RunvaneDllRepair, decltype(&::DLL_Repair)>::value, "DLL_Repair");
static_assert(std::is_same<RunvaneFixItemByName, decltype(&::FixItemByName)>::value,
              "FixItemByName");
static_assert(std::is_same<RunvaneRemoteInvoke, decltype(&::VEK_RemoteInvoke)>::value,
              "VEK_RemoteInvoke");

TEST(PublicHeaderTest, CheckNodeAsCompiledByCMatchesTheModule) {
  const size_t module[RV_CHECK_NODE_FIELDS] = {
      offsetof(CheckNode, name),    offsetof(CheckNode, levelText), offsetof(CheckNode, desc),
      offsetof(CheckNode, cmdline), offsetof(CheckNode, company),   offsetof(CheckNode, selected),
      offsetof(CheckNode, failed),  offsetof(CheckNode, type),      offsetof(CheckNode, next),
      sizeof(CheckNode)};
  const char* names[RV_CHECK_NODE_FIELDS] = {"name",   "levelText", "desc", "cmdline", "company",
                                             "selected", "failed",  "type", "next",    "sizeof"};
  for (int i = 0; i < RV_CHECK_NODE_FIELDS; ++i)
    EXPECT_EQ(module[i], rv_c_check_node_layout[i]) << "CheckNode " << names[i];
}

TEST(PublicHeaderTest, FixNodeAsCompiledByCMatchesTheModule) {
  const size_t module[RV_FIX_NODE_FIELDS] = {offsetof(FixNode, name), offsetof(FixNode, result),
                                             offsetof(FixNode, reserved), offsetof(FixNode, next),
                                             sizeof(FixNode)};
  const char* names[RV_FIX_NODE_FIELDS] = {"name", "result", "reserved", "next", "sizeof"};
  for (int i = 0; i < RV_FIX_NODE_FIELDS; ++i)
    EXPECT_EQ(module[i], rv_c_fix_node_layout[i]) << "FixNode " << names[i];
}

// The interface's own figures: 32-bit layout on the product's target, the
// module's choice for 8-byte pointers elsewhere.
TEST(PublicHeaderTest, RecordSizesAreTheInterfaceSizes) {
  if (sizeof(void*) == 4) {
    EXPECT_EQ(3656u, rv_c_check_node_layout[RV_CHECK_NODE_FIELDS - 1]);
    EXPECT_EQ(540u, rv_c_fix_node_layout[RV_FIX_NODE_FIELDS - 1]);
  } else {
    EXPECT_EQ(3664u, rv_c_check_node_layout[RV_CHECK_NODE_FIELDS - 1]);
    EXPECT_EQ(544u, rv_c_fix_node_layout[RV_FIX_NODE_FIELDS - 1]);
  }
}

// The level texts a host compares with are the ones the module writes.
TEST(PublicHeaderTest, LevelTextsAreTheModulesTexts) {
  const RunvaneChar safe[] = RUNVANE_LEVEL_SAFE_TEXT;
  const RunvaneChar dangerous[] = RUNVANE_LEVEL_DANGEROUS_TEXT;
  const RunvaneChar unknown[] = RUNVANE_LEVEL_UNKNOWN_TEXT;
  EXPECT_EQ(std::u16string(LevelText(kLevelSafe)), std::u16string(safe));
  EXPECT_EQ(std::u16string(LevelText(kLevelDangerous)), std::u16string(dangerous));
  EXPECT_EQ(std::u16string(LevelText(kLevelUnknown)), std::u16string(unknown));
}

}  // namespace
