#include "inventory/scan_context.h"

#include "platform/wtext.h"

const char16_t* LevelText(int32_t level) {
  switch (level) {
    case kLevelSafe: return u"安全";
    case kLevelDangerous: return u"危险";
    case kLevelUnknown: return u"未知";
    default: return u"";
  }
}

void ReportItem(ScanContext& context, const char16_t* text) {
  if (context.callback != nullptr) {
    int32_t answer = context.callback(text, -1, -1, -1, -1, context.userData, 0, 0, 0);
    context.cancel = answer != 0 ? 1 : 0;
  }
  if (context.itemCounter != nullptr) *context.itemCounter += 1;
}

void AppendToInventory(ScanContext& context, const _RunData& item) { context.inventory.Add(item); }
