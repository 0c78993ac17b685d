#include "inventory/check_list.h"

#include "framework/host_list.h"
#include "inventory/scan_driver.h"
#include "platform/wtext.h"

namespace {

// Items turned into nodes are let go this many at a time (about half a
// megabyte): few enough releases, each of which gives pages back to the
// system, and little more held than the knowledge lists let go before.
constexpr int kReleaseBatch = 128;

void FillNode(CheckNode& node, const _RunData& item) {
  char16_t levelText[10] = {};
  wtext::Copy(levelText, LevelText(item.level));
  node.type = item.type;
  wtext::Copy(node.name, item.name);
  wtext::Copy(node.levelText, levelText);
  wtext::Copy(node.desc, item.desc);
  wtext::Copy(node.cmdline, item.cmdline);
  wtext::Copy(node.company, item.company);
}

}  // namespace

int BuildCheckList(ScanContext& context, CheckNode** head) {
  ScanAutoRunItems(context);
  const int count = context.inventory.GetSize();
  if (count == 0) return 0;
  if (context.itemCounter != nullptr &&
      static_cast<uint32_t>(count) > static_cast<uint32_t>(*context.itemCounter)) {
    *context.itemCounter += count;
  }
  // The knowledge lists and the program facts served the scan only.
  ReleaseKnowledge(context);
  // The nodes are made from the last item back to the first, and the items
  // made into nodes are let go batch by batch: at its height a check holds
  // about one record per item, not an item and its node.
  HostListBuilder<CheckNode> list;
  RunDataArray& inventory = context.inventory;
  int remaining = count;
  while (remaining > 0) {
    CheckNode* node = list.TryPrepend();
    if (node == nullptr) break;
    FillNode(*node, inventory.GetAt(remaining - 1));
    --remaining;
    if (remaining % kReleaseBatch == 0) {
      inventory.SetSize(remaining);
      inventory.FreeExtra();
    }
  }
  if (remaining > 0) {
    // A node that cannot be allocated ends the list at the last one made,
    // counted from the first item: the nodes of the later items are let go
    // and the list is made again from the front.
    list.Clear();
    for (int i = 0; i < remaining; ++i) {
      CheckNode* node = list.TryAppend();
      if (node == nullptr) break;
      FillNode(*node, inventory.GetAt(i));
    }
  }
  inventory.RemoveAll();
  *head = list.Release();
  return 0;
}

void FreeCheckList(CheckNode* head) { FreeHostList(head); }
