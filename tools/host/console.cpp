#include "tools/host/console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include "platform/wtext.h"

namespace host {

#ifdef _WIN32

namespace {

std::string FromWide(const wchar_t* text) {
  std::u16string units;
  for (; *text != 0; ++text) units.push_back(static_cast<char16_t>(*text));
  return wtext::ToUtf8(units);
}

// A console takes UTF-16 through WriteConsoleW, whatever its code page; a
// file or pipe gets the UTF-8 bytes.
void Write(DWORD which, FILE* stream, const std::string& utf8) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    std::u16string text = wtext::FromUtf8(utf8);
    const wchar_t* data = reinterpret_cast<const wchar_t*>(text.data());
    size_t left = text.size();
    while (left > 0) {
      DWORD chunk = left > 8192 ? 8192 : static_cast<DWORD>(left);
      DWORD written = 0;
      if (!WriteConsoleW(handle, data, chunk, &written, nullptr) || written == 0) break;
      data += written;
      left -= written;
    }
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  HANDLE handle = GetStdHandle(which);
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

std::vector<std::string> ProgramArguments(int, char**) {
  // The ANSI argv cannot hold names outside the code page: the arguments
  // are taken from the UTF-16 command line instead.
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(FromWide(wide[i]));
  LocalFree(wide);
  return args;
}

void PrepareOutput() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

void WriteOut(const std::string& utf8) { Write(STD_OUTPUT_HANDLE, stdout, utf8); }
void WriteErr(const std::string& utf8) { Write(STD_ERROR_HANDLE, stderr, utf8); }
bool StdoutIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }
bool StderrIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }
bool LocaleIsChinese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE; }

#else

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

void PrepareOutput() {}

void WriteOut(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}
void WriteErr(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}
bool StdoutIsTerminal() { return isatty(fileno(stdout)) != 0; }
bool StderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

bool LocaleIsChinese() {
  // The first of these that is set decides, as for the C library.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != 0) return std::strncmp(value, "zh", 2) == 0;
  }
  return false;
}

#endif

void Complain(const std::string& utf8) { WriteErr("runvane: " + utf8 + "\n"); }

}  // namespace host
