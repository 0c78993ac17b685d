// The scan driver and the two scanners that fill a context's inventory.
#pragma once

#include "knowledge/scan_context.h"

// Loads the knowledge base, empties the inventory, then scans the Run-key
// table rows 0-10 and the all-users and current user's startup folders.
int ScanAutoRunItems(ScanContext& context);

// Appends the values of one key (never its sub-keys); the source index is
// recorded as each item's type.
int ScanRunKey(HKEY root, const char16_t* keyPath, int32_t sourceIndex, ScanContext& context);

// Appends the files directly inside folder (no trailing backslash).
// 1 when the folder could be listed, else 0.
int ScanStartupFolder(const char16_t* folder, int32_t sourceIndex, ScanContext& context);
