// _RunData: one startup item (or one knowledge-base entry). A plain,
// fixed-size record: zero bytes when new, copied whole.
//
// The check-only edition (RUNVANE_CHECK_ONLY) keeps the field order with
// narrower text fields and without size and version.
#pragma once

#include <cstdint>

namespace rundata {
#ifdef RUNVANE_CHECK_ONLY
constexpr int kNameUnits = 128;
constexpr int kMainkeyUnits = 128;
constexpr int kSubkeyUnits = 128;
constexpr int kDescUnits = 256;
constexpr int kCmdlineUnits = 256;
constexpr int kCompanyUnits = 256;
constexpr bool kHasFileVersionAndSize = false;
#else
constexpr int kNameUnits = 260;
constexpr int kMainkeyUnits = 260;
constexpr int kSubkeyUnits = 260;
constexpr int kDescUnits = 260;
constexpr int kCmdlineUnits = 260;
constexpr int kCompanyUnits = 260;
constexpr int kVersionUnits = 260;
constexpr bool kHasFileVersionAndSize = true;
#endif
}  // namespace rundata

// kind codes
constexpr int32_t kKindRegistryValue = 1;
constexpr int32_t kKindFolderFile = 2;

// level codes
constexpr int32_t kLevelSafe = 1;
constexpr int32_t kLevelDangerous = 2;
constexpr int32_t kLevelHidden = 3;
constexpr int32_t kLevelUnknown = 4;

// source indexes beyond the Run-key table
constexpr int32_t kTypeCommonStartup = 11;
constexpr int32_t kTypeUserStartup = 12;
constexpr int32_t kTypeMsconfigReg = 100;
constexpr int32_t kTypeMsconfigFolder = 101;

struct _RunData {
  int32_t kind;
  int32_t status;
  int32_t level;
  int32_t type;
  char16_t name[rundata::kNameUnits];
  char16_t mainkey[rundata::kMainkeyUnits];
  char16_t subkey[rundata::kSubkeyUnits];
  char16_t desc[rundata::kDescUnits];
  char16_t cmdline[rundata::kCmdlineUnits];
  char16_t company[rundata::kCompanyUnits];
#ifndef RUNVANE_CHECK_ONLY
  int64_t size;
  char16_t version[rundata::kVersionUnits];
#endif
};

#ifndef RUNVANE_CHECK_ONLY
static_assert(sizeof(_RunData) == 16 + 6 * 520 + 8 + 520, "full-edition _RunData layout");
#else
static_assert(sizeof(_RunData) == 16 + 3 * 256 + 3 * 512, "check-only _RunData layout");
#endif

// The level as the host sees it: "安全", "危险", "未知", or empty.
const char16_t* LevelText(int32_t level);
