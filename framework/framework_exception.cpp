#include "framework/framework_exception.h"

#include "platform/wtext.h"

bool CFrameworkException::GetErrorMessage(char16_t* buffer, size_t maxUnits) const {
  if (buffer == nullptr || maxUnits == 0) return false;
  wtext::Copy(buffer, maxUnits, MessageText());
  return true;
}
