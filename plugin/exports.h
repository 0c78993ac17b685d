// The exported functions: plain names, the C calling convention, 32-bit
// results. No C++ exception ever leaves one of them.
#pragma once

#include <cstdint>

#include "platform/module_hooks.h"
#include "records/check_node.h"
#include "records/fix_node.h"
#include "records/progress_callback.h"

extern "C" {
RUNVANE_API int32_t RUNVANE_CALL DLL_Check(CheckNode** list, ProgressCallback callback, int32_t* count,
                                      int32_t userData);
RUNVANE_API int32_t RUNVANE_CALL DLL_Release(CheckNode* list);
RUNVANE_API int32_t RUNVANE_CALL DLL_Repair(CheckNode* list, ProgressCallback callback,
                                       int32_t userData);
RUNVANE_API int32_t RUNVANE_CALL FixItemByName(FixNode* list);
#ifndef RUNVANE_CHECK_ONLY
RUNVANE_API int32_t RUNVANE_CALL VEK_RemoteInvoke(const char16_t* commandFile,
                                             const char16_t* responseFile);
#endif
}
