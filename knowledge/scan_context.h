// ScanContext: the per-call context of every export — the inventory, the
// three knowledge lists, the host's callback and counter, the cancel flag.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "enrich/file_facts.h"
#include "framework/carray.h"
#include "knowledge/knowledge_index.h"
#include "records/progress_callback.h"
#include "records/run_data.h"
#include "platform/win32_types.h"

typedef CArray<_RunData, _RunData> RunDataArray;

struct ScanContext {
  ScanContext(ProgressCallback progress, int32_t* counter, int32_t data)
      : callback(progress), userData(data), itemCounter(counter) {}
  ScanContext(const ScanContext&) = delete;
  ScanContext& operator=(const ScanContext&) = delete;
  ~ScanContext() {
    hiddenList.RemoveAll();
    dangerList.RemoveAll();
    safeList.RemoveAll();
    inventory.RemoveAll();
  }

  RunDataArray inventory;
  RunDataArray safeList;
  RunDataArray dangerList;
  RunDataArray hiddenList;
  ProgressCallback callback = nullptr;
  int32_t userData = 0;
  int32_t cancel = 0;
  int32_t* itemCounter = nullptr;
  // Lookup indexes of the three knowledge lists (rebuilt by the loader, and
  // by a lookup that finds its list changed).
  KnowledgeIndex safeIndex;
  KnowledgeIndex dangerIndex;
  KnowledgeIndex hiddenIndex;
  // The facts of each program read during this call's scans.
  ProgramFactsCache programFacts;
  // When set, each record the scan finds is handed over here, in scan
  // order, instead of being kept in the inventory: a caller that needs each
  // record once (the check) holds no second copy of it.
  std::function<void(const _RunData&)> takeItem;
};

// Hands the records of the scans in its scope to take (context.takeItem),
// and unsets it however the scope ends, so nothing refers to a caller's
// list once it is gone.
class ScopedTakeItem {
 public:
  ScopedTakeItem(ScanContext& context, std::function<void(const _RunData&)> take) : context_(context) {
    context_.takeItem = std::move(take);
  }
  ~ScopedTakeItem() { context_.takeItem = nullptr; }
  ScopedTakeItem(const ScopedTakeItem&) = delete;
  ScopedTakeItem& operator=(const ScopedTakeItem&) = delete;

 private:
  ScanContext& context_;
};

// Tells the host what the module works on (callback, cancel flag, counter).
void ReportItem(ScanContext& context, const char16_t* text);

// Adds a copy of the record at the end of the inventory, or hands it to
// takeItem when that is set.
void AppendToInventory(ScanContext& context, const _RunData& item);
