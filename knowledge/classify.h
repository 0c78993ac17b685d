// Classification of an item against the knowledge lists of its context.
#pragma once

#include "knowledge/scan_context.h"
#include "records/run_data.h"

// The three lookups: 1 on a match (level and description taken from the
// first matching entry), else 0 with the item unchanged.
int FindInHiddenList(_RunData& item, ScanContext& context);
int FindInSafeList(_RunData& item, ScanContext& context);
int FindInDangerList(_RunData& item, ScanContext& context);

// Hidden, then safe, then dangerous; false when the item is to be dropped.
bool ClassifyItem(_RunData& item, ScanContext& context);
