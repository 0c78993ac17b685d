#include "records/run_data.h"

const char16_t* LevelText(int32_t level) {
  switch (level) {
    case kLevelSafe: return u"安全";
    case kLevelDangerous: return u"危险";
    case kLevelUnknown: return u"未知";
    default: return u"";
  }
}
