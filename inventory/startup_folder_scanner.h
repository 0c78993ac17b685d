// The scanner of one startup folder.
#pragma once

#include <cstdint>

#include "knowledge/scan_context.h"

// Appends the files directly inside folder (no trailing backslash).
// 1 when the folder could be listed, else 0.
int ScanStartupFolder(const char16_t* folder, int32_t sourceIndex, ScanContext& context);
