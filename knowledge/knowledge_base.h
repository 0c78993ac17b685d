// RunLib.xml, read afresh into a context's safe, dangerous and hidden lists.
#pragma once

#include "knowledge/scan_context.h"

void LoadKnowledgeBase(ScanContext& context);
