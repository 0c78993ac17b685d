// PLACEHOLDER: replaced by the command-line resolver.
#include "enrich/resolve_command_line.h"

#include "platform/wtext.h"

void ResolveCommandLine(const char16_t* commandLine, char16_t* resolvedPath) {
  wtext::Copy(resolvedPath, 260, commandLine);
}
void ExtractQuotedText(const char16_t* commandLine, char16_t* out) { wtext::Copy(out, 260, commandLine); }
