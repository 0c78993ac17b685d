// The five exports. Each builds a fresh context on its stack,
// runs one worker and contains every exception, so that the host's list and
// count stay consistent whatever happens inside. Every export may run on
// several threads at once: nothing here is shared between calls. The three
// that read the knowledge base (check, fix by name, remote invoke) hold COM on
// the calling thread for the call (platform/com_scope.h). Every export that
// reads the system is one call of the platform (platform/call_scope.h): what
// the backend learns in it serves that call only.
#include "plugin/exports.h"

#include <new>

#include "framework/framework_exception.h"
#include "inventory/check_list.h"
#include "inventory/repair.h"
#include "platform/call_scope.h"
#include "platform/com_scope.h"
#include "platform/platform.h"
#ifndef RUNVANE_CHECK_ONLY
#include "remote/remote_invoke.h"
#endif

extern "C" int32_t RUNVANE_CALL DLL_Check(CheckNode** list, ProgressCallback callback, int32_t* count,
                                     int32_t userData) {
  // The host's out-values are set before anything can go wrong; without
  // both of them there is nowhere to hand a result, so nothing is scanned.
  if (list != nullptr) *list = nullptr;
  if (count != nullptr) *count = 0;
  if (list == nullptr || count == nullptr) return 0;
  CheckNode* head = nullptr;
  platform::ComScope com;
  platform::CallScope call;
  try {
    ScanContext context(callback, count, userData);
    BuildCheckList(context, &head);
  } catch (...) {
    // An exception before the list was built leaves no list; the count keeps
    // what was reported.
  }
  *list = head;
  return 0;
}

extern "C" int32_t RUNVANE_CALL DLL_Release(CheckNode* list) {
  if (list == nullptr) return 0;
  FreeCheckList(list);
  return 1;
}

extern "C" int32_t RUNVANE_CALL DLL_Repair(CheckNode* list, ProgressCallback callback, int32_t userData) {
  if (list == nullptr) return 0;
  platform::CallScope call;
  try {
    ScanContext context(callback, nullptr, userData);
    RepairCheckList(list, context, kRepairSelected);
  } catch (...) {
  }
  return 1;
}

extern "C" int32_t RUNVANE_CALL FixItemByName(FixNode* list) {
  platform::ComScope com;
  platform::CallScope call;
  try {
    ScanContext context(nullptr, nullptr, 0);
    FixItemsByName(context, list);
  } catch (...) {
  }
  return 0;
}

#ifndef RUNVANE_CHECK_ONLY
// The remote invoke shows a framework error to the user (the host has no
// other way to learn of it) and answers -1.
namespace {
void ShowExportError(const CFrameworkException& error) {
  char16_t text[261] = {};
  error.GetErrorMessage(text, 100);
  platform::MessageBoxW(nullptr, text, u"VEK_RemoteInvoke", MB_OK);
}
}  // namespace

extern "C" int32_t RUNVANE_CALL VEK_RemoteInvoke(const char16_t* commandFile, const char16_t* responseFile) {
  if (commandFile == nullptr || responseFile == nullptr) return -1;
  platform::ComScope com;
  platform::CallScope call;
  try {
    ScanContext context(nullptr, nullptr, 0);
    return RunRemoteCommand(commandFile, responseFile, context);
  } catch (const CFrameworkException& error) {
    ShowExportError(error);
  } catch (const std::bad_alloc&) {
    ShowExportError(CMemoryException());
  } catch (...) {
  }
  return -1;
}
#endif
