// PLACEHOLDER: replaced by the startup-folder scanner.
#include "inventory/scanners.h"

int ScanStartupFolder(const char16_t*, int32_t, ScanContext&) { return 0; }
