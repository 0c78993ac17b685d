// The listing: every enabled item, then every disabled one.
#pragma once

#include "knowledge/scan_context.h"
#include "records/autorun_node.h"

int ListAutoRunItems(ScanContext& context, AutoRunItemNode** head);
void ScanDisabledItems(ScanContext& context);
void FreeAutoRunList(AutoRunItemNode* head);
