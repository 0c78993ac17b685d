// PLACEHOLDER: replaced by the knowledge-base loader.
#include "enrich/knowledge_base.h"

void LoadKnowledgeBase(ScanContext&) {}
