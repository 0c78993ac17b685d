// PLACEHOLDER: replaced by the file-facts reader.
#include "enrich/file_facts.h"

#include "platform/wtext.h"

void FillFileFacts(_RunData& item) {
  wtext::Copy(item.company, u"未知");
#ifndef RUNVANE_CHECK_ONLY
  wtext::Copy(item.version, u"未知");
  item.size = 0;
#endif
}
int ReadVersionString(const char16_t*, const char16_t*, char16_t* out) {
  out[0] = 0;
  return 0;
}
int64_t GetFileSizeOf(const char16_t*) { return 0; }
void NormalizeNativePath(char16_t*) {}
int GetModuleDirectory(HMODULE, char16_t*) { return 0; }
