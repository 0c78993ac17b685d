// BuildCheckList: a full scan turned into the host's CheckNode list.
#pragma once

#include "knowledge/scan_context.h"
#include "records/check_node.h"

int BuildCheckList(ScanContext& context, CheckNode** head);
// Frees every node of a list; null is allowed.
void FreeCheckList(CheckNode* head);
