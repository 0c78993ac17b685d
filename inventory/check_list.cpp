#include "inventory/check_list.h"

#include "framework/host_list.h"
#include "inventory/scan_driver.h"
#include "platform/wtext.h"

int BuildCheckList(ScanContext& context, CheckNode** head) {
  // Each record becomes its node as the scan finds it: a check holds one
  // record per item. A node that cannot be allocated ends the list at the
  // last one made.
  HostListBuilder<CheckNode> list;
  int count = 0;
  bool full = false;
  ScopedTakeItem take(context, [&](const _RunData& item) {
    ++count;
    CheckNode* node = full ? nullptr : list.TryAppend();
    if (node == nullptr) {
      full = true;
      return;
    }
    char16_t levelText[10] = {};
    wtext::Copy(levelText, LevelText(item.level));
    node->type = item.type;
    wtext::Copy(node->name, item.name);
    wtext::Copy(node->levelText, levelText);
    wtext::Copy(node->desc, item.desc);
    wtext::Copy(node->cmdline, item.cmdline);
    wtext::Copy(node->company, item.company);
  });
  ScanAutoRunItems(context);
  if (count == 0) return 0;
  if (context.itemCounter != nullptr &&
      static_cast<uint32_t>(count) > static_cast<uint32_t>(*context.itemCounter)) {
    *context.itemCounter += count;
  }
  *head = list.Release();
  return 0;
}

void FreeCheckList(CheckNode* head) { FreeHostList(head); }
