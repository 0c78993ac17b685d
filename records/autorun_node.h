// AutoRunItemNode: one item of a listing, enabled (status 1) or disabled (2).
// Allocated zeroed with malloc by the extended scan, freed with free.
#pragma once

#include <cstdint>

struct AutoRunItemNode {
  char16_t name[261];
  int32_t status;
  int32_t type;
  char16_t level[11];
  char16_t desc[1025];
  char16_t cmdline[261];
  char16_t mainkey[261];
  char16_t subkey[261];
  char16_t company[261];
  int64_t size;
  char16_t version[261];
  AutoRunItemNode* next;
};
