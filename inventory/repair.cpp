// PLACEHOLDER: replaced by the repair workers.
#include "inventory/repair.h"

int RepairCheckList(CheckNode*, ScanContext&, int) { return 1; }
int DeleteItemByName(const char16_t*) { return 1; }
int FixItemsByName(ScanContext&, FixNode*) { return 0; }
