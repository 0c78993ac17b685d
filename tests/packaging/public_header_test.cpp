// The public header (include/runvane.h) against the module's own records and
// exports: every offset, every size, the callback and each export's
// signature must agree, so that the header a host builds against can never
// drift from what the module does. The comparison is made twice: at compile
// time against the header as C++ sees it, and at run time against the
// header as a C compiler laid it out (public_header_layout.c).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "plugin/exports.h"
#include "records/run_data.h"
#include "tests/packaging/public_header_layout.h"

// The public declarations in a namespace of their own, so that its
// CheckNode and FixNode stand beside the module's.
namespace pub {
#define RUNVANE_NO_PROTOTYPES
#include "include/runvane.h"
}  // namespace pub

namespace {

// The same type with the public records replaced by the module's own.
template <class T> struct Internal { using type = T; };
template <> struct Internal<pub::CheckNode> { using type = ::CheckNode; };
template <> struct Internal<pub::FixNode> { using type = ::FixNode; };
template <class T> struct Internal<T*> { using type = typename Internal<T>::type*; };
template <class T> struct Internal<const T> { using type = const typename Internal<T>::type; };
template <class R, class... A> struct Internal<R (*)(A...)> {
  using type = typename Internal<R>::type (*)(typename Internal<A>::type...);
};
template <class T> using InternalOf = typename Internal<T>::type;

#define SAME_FIELD(record, field)                                                          \
  static_assert(offsetof(pub::record, field) == offsetof(::record, field), #record "." #field); \
  static_assert(sizeof(pub::record::field) == sizeof(::record::field), #record "." #field " size")

SAME_FIELD(CheckNode, name);
SAME_FIELD(CheckNode, levelText);
SAME_FIELD(CheckNode, desc);
SAME_FIELD(CheckNode, cmdline);
SAME_FIELD(CheckNode, company);
SAME_FIELD(CheckNode, selected);
SAME_FIELD(CheckNode, failed);
SAME_FIELD(CheckNode, type);
SAME_FIELD(CheckNode, next);
static_assert(sizeof(pub::CheckNode) == sizeof(::CheckNode), "CheckNode size");
static_assert(alignof(pub::CheckNode) == alignof(::CheckNode), "CheckNode alignment");
SAME_FIELD(FixNode, name);
SAME_FIELD(FixNode, result);
SAME_FIELD(FixNode, reserved);
SAME_FIELD(FixNode, next);
static_assert(sizeof(pub::FixNode) == sizeof(::FixNode), "FixNode size");
static_assert(alignof(pub::FixNode) == alignof(::FixNode), "FixNode alignment");

// Field types, not only their room: text units, signedness of the integers.
static_assert(std::is_same<std::remove_extent<decltype(pub::CheckNode::name)>::type,
                           std::remove_extent<decltype(::CheckNode::name)>::type>::value,
              "text unit");
static_assert(std::is_same<decltype(pub::CheckNode::type), decltype(::CheckNode::type)>::value,
              "CheckNode.type");
static_assert(std::is_same<decltype(pub::FixNode::result), decltype(::FixNode::result)>::value,
              "FixNode.result");

static_assert(std::is_same<pub::RunvaneProgressCallback, ProgressCallback>::value,
              "the progress callback");
static_assert(std::is_same<InternalOf<pub::RunvaneDllCheck>, decltype(&::DLL_Check)>::value,
              "DLL_Check");
static_assert(std::is_same<InternalOf<pub::RunvaneDllRelease>, decltype(&::DLL_Release)>::value,
              "DLL_Release");
static_assert(std::is_same<InternalOf<pub::RunvaneDllRepair>, decltype(&::DLL_Repair)>::value,
              "DLL_Repair");
static_assert(std::is_same<InternalOf<pub::RunvaneFixItemByName>, decltype(&::FixItemByName)>::value,
              "FixItemByName");
static_assert(std::is_same<InternalOf<pub::RunvaneRemoteInvoke>,
                           decltype(&::VEK_RemoteInvoke)>::value,
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
  const pub::RunvaneChar safe[] = RUNVANE_LEVEL_SAFE_TEXT;
  const pub::RunvaneChar dangerous[] = RUNVANE_LEVEL_DANGEROUS_TEXT;
  const pub::RunvaneChar unknown[] = RUNVANE_LEVEL_UNKNOWN_TEXT;
  EXPECT_EQ(std::u16string(LevelText(kLevelSafe)), std::u16string(safe));
  EXPECT_EQ(std::u16string(LevelText(kLevelDangerous)), std::u16string(dangerous));
  EXPECT_EQ(std::u16string(LevelText(kLevelUnknown)), std::u16string(unknown));
}

}  // namespace
