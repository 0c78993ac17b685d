// CheckNode: the record of the list handed to the host by DLL_Check and back
// to DLL_Repair and DLL_Release. 3656 bytes in the 32-bit interface.
#pragma once

#include <cstddef>
#include <cstdint>

struct CheckNode {
  char16_t name[261];
  char16_t levelText[11];
  char16_t desc[1025];
  char16_t cmdline[261];
  char16_t company[261];
  // two bytes of zero padding follow company (natural alignment)
  int32_t selected;
  int32_t failed;
  int32_t type;
  CheckNode* next;
};

static_assert(offsetof(CheckNode, levelText) == 522, "CheckNode.levelText");
static_assert(offsetof(CheckNode, desc) == 544, "CheckNode.desc");
static_assert(offsetof(CheckNode, cmdline) == 2594, "CheckNode.cmdline");
static_assert(offsetof(CheckNode, company) == 3116, "CheckNode.company");
static_assert(offsetof(CheckNode, selected) == 3640, "CheckNode.selected");
static_assert(offsetof(CheckNode, failed) == 3644, "CheckNode.failed");
static_assert(offsetof(CheckNode, type) == 3648, "CheckNode.type");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(CheckNode, next) == 3652, "CheckNode.next");
static_assert(sizeof(CheckNode) == 3656, "CheckNode is 3656 bytes in the 32-bit interface");
#else
// With 8-byte pointers, next moves to the next 8-byte boundary.
static_assert(offsetof(CheckNode, next) == 3656, "CheckNode.next (64-bit)");
static_assert(sizeof(CheckNode) == 3664, "CheckNode is 3664 bytes in the 64-bit interface");
#endif
