// The repair workers behind DLL_Repair and FixItemByName.
#pragma once

#include <cstdint>

#include "records/fix_node.h"
#include "knowledge/scan_context.h"
#include "records/check_node.h"

constexpr int kRepairAll = 0;
constexpr int kRepairSelected = 1;

int RepairCheckList(CheckNode* head, ScanContext& context, int mode);
int DeleteItemByName(const char16_t* name);
int FixItemsByName(ScanContext& context, FixNode* head);
