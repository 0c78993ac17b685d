#include "inventory/check_list.h"

#include <cstdlib>
#include <cstring>

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
  CheckNode* first = nullptr;
  CheckNode* last = nullptr;
  for (int i = 0; i < count; ++i) {
    const _RunData& item = context.inventory.GetAt(i);
    char16_t levelText[10] = {};
    wtext::Copy(levelText, LevelText(item.level));
    // A node that cannot be allocated ends the list at the last one made.
    CheckNode* node = static_cast<CheckNode*>(std::calloc(1, sizeof(CheckNode)));
    if (node == nullptr) break;
    node->type = item.type;
    wtext::Copy(node->name, item.name);
    wtext::Copy(node->levelText, levelText);
    wtext::Copy(node->desc, item.desc);
    wtext::Copy(node->cmdline, item.cmdline);
    wtext::Copy(node->company, item.company);
    if (last == nullptr)
      first = node;
    else
      last->next = node;
    last = node;
  }
  *head = first;
  return 0;
}

void FreeCheckList(CheckNode* head) {
  while (head != nullptr) {
    CheckNode* next = head->next;
    std::free(head);
    head = next;
  }
}
