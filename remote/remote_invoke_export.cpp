// VEK_RemoteInvoke: the remote-invoke export. It runs the worker on a fresh
// context and lets no exception out to the host.
#include <new>

#include "framework/framework_exception.h"
#include "platform/platform.h"
#include "plugin/exports.h"
#include "remote/remote_invoke.h"

namespace {
void ShowExportError(const CFrameworkException& error) {
  char16_t text[261] = {};
  error.GetErrorMessage(text, 100);
  platform::MessageBoxW(nullptr, text, u"VEK_RemoteInvoke", MB_OK);
}
}  // namespace

extern "C" int32_t __cdecl VEK_RemoteInvoke(const char16_t* commandFile, const char16_t* responseFile) {
  if (commandFile == nullptr || responseFile == nullptr) return -1;
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
