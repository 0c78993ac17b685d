#include "inventory/check_list.h"

#include "framework/host_list.h"
#include "inventory/scan_driver.h"
#include "platform/wtext.h"

int BuildCheckList(ScanContext& context, CheckNode** head) {
  ScanAutoRunItems(context);
  const int count = context.inventory.GetSize();
  if (count == 0) return 0;
  if (context.itemCounter != nullptr &&
      static_cast<uint32_t>(count) > static_cast<uint32_t>(*context.itemCounter)) {
    *context.itemCounter += count;
  }
  HostListBuilder<CheckNode> list;
  for (int i = 0; i < count; ++i) {
    const _RunData& item = context.inventory.GetAt(i);
    char16_t levelText[10] = {};
    wtext::Copy(levelText, LevelText(item.level));
    // A node that cannot be allocated ends the list at the last one made.
    CheckNode* node = list.TryAppend();
    if (node == nullptr) break;
    node->type = item.type;
    wtext::Copy(node->name, item.name);
    wtext::Copy(node->levelText, levelText);
    wtext::Copy(node->desc, item.desc);
    wtext::Copy(node->cmdline, item.cmdline);
    wtext::Copy(node->company, item.company);
  }
  *head = list.Release();
  return 0;
}

void FreeCheckList(CheckNode* head) { FreeHostList(head); }
