// The host's progress callback, handed to DLL_Check and DLL_Repair.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

// The host's progress callback: the text being worked on, four -1, the user
// data, three 0. A non-zero answer asks the module to stop.
typedef int32_t(__cdecl* ProgressCallback)(const char16_t* text, int32_t, int32_t, int32_t,
                                            int32_t, int32_t userData, int32_t, int32_t,
                                            int32_t);
