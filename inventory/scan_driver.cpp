#include "inventory/scan_driver.h"

#include "inventory/run_key_scanner.h"
#include "inventory/run_key_table.h"
#include "inventory/startup_folder_scanner.h"
#include "knowledge/knowledge_base.h"
#include "platform/platform.h"

int ScanAutoRunItems(ScanContext& context) {
  LoadKnowledgeBase(context);
  context.inventory.RemoveAll();

  for (int row = 0; row < kRunKeyCount; ++row) {
    if (context.cancel) break;
    ScanRunKey(kRunKeyTable[row].root, kRunKeyTable[row].path, row, context);
  }

  char16_t commonStartup[MAX_PATH] = {};
  char16_t userStartup[MAX_PATH] = {};
  platform::SHGetSpecialFolderPathW(nullptr, commonStartup, CSIDL_COMMON_STARTUP, FALSE);
  platform::SHGetSpecialFolderPathW(nullptr, userStartup, CSIDL_STARTUP, FALSE);

  struct FolderRow {
    const char16_t* path;
    int32_t sourceIndex;
  };
  const FolderRow folders[] = {{commonStartup, kTypeCommonStartup}, {userStartup, kTypeUserStartup}};
  for (const FolderRow& folder : folders) {
    if (context.cancel) break;
    ScanStartupFolder(folder.path, folder.sourceIndex, context);
  }
  return 0;
}
