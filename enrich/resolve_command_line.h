// The program that a command line starts: fixed cuts, one environment
// expansion, one split, and a search of the executable path.
#pragma once

// resolvedPath: a caller's buffer of 260 units.
void ResolveCommandLine(const char16_t* commandLine, char16_t* resolvedPath);
// out: a zero-filled buffer of 260 units.
void ExtractQuotedText(const char16_t* commandLine, char16_t* out);
