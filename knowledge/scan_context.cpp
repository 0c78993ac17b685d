#include "knowledge/scan_context.h"

#include "platform/wtext.h"

void ReportItem(ScanContext& context, const char16_t* text) {
  if (context.callback != nullptr) {
    int32_t answer = context.callback(text, -1, -1, -1, -1, context.userData, 0, 0, 0);
    context.cancel = answer != 0 ? 1 : 0;
  }
  if (context.itemCounter != nullptr) *context.itemCounter += 1;
}

void AppendToInventory(ScanContext& context, const _RunData& item) {
  if (context.takeItem)
    context.takeItem(item);
  else
    context.inventory.Add(item);
}
