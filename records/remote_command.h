// The parsed command file and its items with their per-item results.
#pragma once

#include <cstdint>

struct CommandItem {
  char16_t name[261];
  char16_t mainkey[261];
  char16_t subkey[261];
  int32_t type;
  int32_t nResult;
  char16_t ErrMsg[261];
  CommandItem* next;
};

struct RemoteCommand {
  char16_t name[260];
  CommandItem* items;
};
