// FixNode: the host's list of names for FixItemByName. The module reads
// name (terminated before offset 524) and next, and writes result.
#pragma once

#include <cstddef>
#include <cstdint>

struct FixNode {
  char16_t name[262];
  int32_t result;
  uint8_t reserved[8];
  struct FixNode* next;
};

static_assert(offsetof(FixNode, result) == 524, "FixNode.result");
static_assert(offsetof(FixNode, next) == 536, "FixNode.next");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FixNode) == 540, "FixNode in the 32-bit interface");
#else
static_assert(sizeof(FixNode) == 544, "FixNode in the 64-bit interface");
#endif
