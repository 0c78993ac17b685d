#include "inventory/scan_driver.h"

#include "inventory/run_key_scanner.h"
#include "inventory/run_key_table.h"
#include "inventory/startup_folder_scanner.h"
#include "inventory/startup_folders.h"
#include "knowledge/knowledge_base.h"

int ScanAutoRunItems(ScanContext& context) {
  LoadKnowledgeBase(context);
  context.inventory.RemoveAll();
  // A new scan reads every program anew.
  context.programFacts.Clear();

  // Each row in table order; a machine row in the native view, then in the
  // 32-bit view.
  for (int row = 0; row < kRunKeyCount && !context.cancel; ++row) {
    NativeViewValues native;
    for (int view = 0; view < kRunKeyViewCount && !context.cancel; ++view) {
      char16_t path[kRunKeyPathUnits];
      if (!RunKeyPath(row, view, RunKeySpelling::kCurrent, path)) continue;
      // A key shared by both views lists its values once.
      ScanRunKey(kRunKeyTable[row].root, path, row, context, native, view);
    }
  }

  struct FolderRow {
    int csidl;
    int32_t sourceIndex;
  };
  const FolderRow folders[] = {{CSIDL_COMMON_STARTUP, kTypeCommonStartup},
                               {CSIDL_STARTUP, kTypeUserStartup}};
  for (const FolderRow& folder : folders) {
    if (context.cancel) break;
    // An unknown folder is not scanned (an empty path would name the root).
    char16_t path[MAX_PATH];
    if (!StartupFolderPath(folder.csidl, path)) continue;
    ScanStartupFolder(path, folder.sourceIndex, context);
  }
  return 0;
}
