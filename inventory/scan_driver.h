// The scan driver: a whole scan in the fixed order.
#pragma once

#include "knowledge/scan_context.h"

// Loads the knowledge base, empties the inventory, then scans the Run-key
// table rows 0-10 (machine rows in both registry views) and the all-users and current user's startup folders.
int ScanAutoRunItems(ScanContext& context);
