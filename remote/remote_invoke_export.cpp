// PLACEHOLDER: replaced by the remote-invoke worker.
#include "plugin/exports.h"

extern "C" int32_t __cdecl VEK_RemoteInvoke(const char16_t* commandFile, const char16_t* responseFile) {
  if (commandFile == nullptr || responseFile == nullptr) return -1;
  return -1;
}
