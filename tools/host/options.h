// The host's command line: every option and command in one table each, the
// usage text made from those tables, and the checks that make a wrong
// command line a usage error.
#pragma once

#include <string>
#include <vector>

namespace host {

enum class Format { kTable, kJson, kJsonl, kCsv };
enum class Lang { kAuto, kEnglish, kChinese };

struct HostOptions {
  std::string modulePath;  // empty: the edition beside the program
  bool checkOnly = false;
  std::string image;  // empty: the default image
  std::string user;   // a Windows volume's user profile; empty: RUNVANE_USER or the only one
  Format format = Format::kTable;
  bool wide = false;
  Lang lang = Lang::kAuto;
  bool hash = false;
  bool dryRun = false;
  std::string source;  // empty: any source
  bool fixAll = false;
  bool fixDangerous = false;
  bool fixUnknown = false;
  bool help = false;
  bool version = false;
  std::string command;
  std::vector<std::string> operands;
};

// Parses the arguments (without the program name). False with the reason in
// error for a usage error: unknown command or option, missing or bad value,
// an option the command does not take, too few or too many operands.
bool ParseCommandLine(const std::vector<std::string>& args, HostOptions* options, std::string* error);

// The whole --help text: synopsis, commands, options, exit codes.
std::string UsageText();

// Commands that change the image (and so take --dry-run).
bool CommandChanges(const std::string& command);

}  // namespace host
