#include "tools/host/options.h"

#include <cstring>

namespace host {

namespace {

struct CommandSpec {
  const char* name;
  const char* operands;  // as the usage shows them
  const char* help;
  int minOperands;
  int maxOperands;  // -1: any number
  bool changes;
  bool numbered;  // every operand is a number
};

const CommandSpec kCommands[] = {
    {"check", "", "scan every startup item and show the findings", 0, 0, false, false},
    {"fix", "[N...] [--dangerous] [--unknown] [--all]",
     "check, then remove the chosen findings (numbers as check shows them) and show what was removed", 0, -1,
     true, true},
    {"repair", "NAME...", "remove the startup item of each name", 1, -1, true, false},
    {"list", "", "every item, enabled and disabled, with version and size", 0, 0, false, false},
    {"disable", "ITEM...", "switch items off (reversible)", 1, -1, true, false},
    {"enable", "ITEM...", "switch disabled items on again", 1, -1, true, false},
    {"delete", "ITEM...", "delete items, enabled or disabled", 1, -1, true, false},
    {"invoke", "COMMAND-FILE RESPONSE-FILE", "carry out a command file and write the response", 2, 2, false, false},
};

typedef bool (*ApplyOption)(HostOptions*, const std::string& value, std::string* error);

struct OptionSpec {
  const char* name;
  const char* value;     // the value's name in the usage; null when it takes none
  const char* commands;  // the commands that take it, space-separated; null: all
  const char* help;
  ApplyOption apply;
};

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

// One row per option; the usage text, the parser and the manual page are
// all made from this table.
const OptionSpec kOptions[] = {
    {"--module", "PATH", nullptr, "the module to load (default: the full edition beside this program)",
     [](HostOptions* o, const std::string& v, std::string*) { o->modulePath = v; return true; }},
    {"--check-only", nullptr, nullptr, "load the check-only edition beside this program",
     [](HostOptions* o, const std::string&, std::string*) { o->checkOnly = true; return true; }},
#ifndef _WIN32
    {"--image", "DIR", nullptr,
     "the Windows system image (a Wine prefix) to work on; default: RUNVANE_SYSTEM_ROOT, else WINEPREFIX, "
     "else ~/.wine; a mounted Windows volume (Windows/System32/config/SOFTWARE) works too",
     [](HostOptions* o, const std::string& v, std::string* e) {
       if (v.empty()) return Fail(e, "--image needs the folder of a system image");
       o->image = v;
       return true;
     }},
    {"--user", "NAME", nullptr,
     "on a Windows volume: the user whose NTUSER.DAT is the current user's registry (default: "
     "RUNVANE_USER, else the only one)",
     [](HostOptions* o, const std::string& v, std::string* e) {
       if (v.empty()) return Fail(e, "--user needs the name of a user profile");
       o->user = v;
       return true;
     }},
#endif
    {"--format", "FORMAT", nullptr,
     "table (the default), json (one array), jsonl (one object a line) or csv (RFC 4180, a header line "
     "first); json, jsonl and csv carry every field in full",
     [](HostOptions* o, const std::string& v, std::string* e) {
       if (v == "table") o->format = Format::kTable;
       else if (v == "json") o->format = Format::kJson;
       else if (v == "jsonl") o->format = Format::kJsonl;
       else if (v == "csv") o->format = Format::kCsv;
       else return Fail(e, "--format takes table, json, jsonl or csv, not '" + v + "'");
       return true;
     }},
    {"--wide", nullptr, nullptr, "tables: show every value in full, not cut to the column",
     [](HostOptions* o, const std::string&, std::string*) { o->wide = true; return true; }},
    {"--lang", "en|zh", nullptr, "tables: English or Chinese labels (default: Chinese when the locale is)",
     [](HostOptions* o, const std::string& v, std::string* e) {
       if (v == "en") o->lang = Lang::kEnglish;
       else if (v == "zh") o->lang = Lang::kChinese;
       else return Fail(e, "--lang takes en or zh, not '" + v + "'");
       return true;
     }},
    {"--hash", nullptr, "list check", "add the SHA-256 of each item's program file",
     [](HostOptions* o, const std::string&, std::string*) { o->hash = true; return true; }},
    {"--source", "SOURCE", "disable enable delete",
     "take the item of that name from this source only (a key such as 'HKCU\\SOFTWARE\\...\\Run', or a "
     "folder), as list shows it",
     [](HostOptions* o, const std::string& v, std::string* e) {
       if (v.empty()) return Fail(e, "--source needs a key or folder");
       o->source = v;
       return true;
     }},
    {"--dry-run", nullptr, "fix repair disable enable delete", "say what would change and change nothing",
     [](HostOptions* o, const std::string&, std::string*) { o->dryRun = true; return true; }},
    {"--dangerous", nullptr, "fix", "fix: choose every dangerous finding",
     [](HostOptions* o, const std::string&, std::string*) { o->fixDangerous = true; return true; }},
    {"--unknown", nullptr, "fix", "fix: choose every unknown finding",
     [](HostOptions* o, const std::string&, std::string*) { o->fixUnknown = true; return true; }},
    {"--all", nullptr, "fix", "fix: choose every finding",
     [](HostOptions* o, const std::string&, std::string*) { o->fixAll = true; return true; }},
    {"--version", nullptr, nullptr, "show the version and exit",
     [](HostOptions* o, const std::string&, std::string*) { o->version = true; return true; }},
    {"--help", nullptr, nullptr, "show this text and exit (also -h)",
     [](HostOptions* o, const std::string&, std::string*) { o->help = true; return true; }},
};

const char kExitCodes[] =
    "exit status:\n"
    "  0  everything asked for was done\n"
    "  1  some item was not found or some operation failed (each named on a line of\n"
    "     its own on stderr); also an ambiguous name and a cancelled run\n"
    "  2  usage error: unknown command or option, missing value, extra argument,\n"
    "     bad number\n"
    "  3  the system image or the module cannot be used (missing, not a system\n"
    "     image, unreadable, held by a running Wine server for a change)\n";

const char kItems[] =
    "items (disable, enable, delete): a name as list shows it, in any letter case,\n"
    "or a number as list shows it; a name that several items have needs --source.\n";

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

const OptionSpec* FindOption(const std::string& name) {
  for (const OptionSpec& option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

bool TakenBy(const OptionSpec& option, const std::string& command) {
  if (option.commands == nullptr) return true;
  std::string list = std::string(" ") + option.commands + " ";
  return list.find(" " + command + " ") != std::string::npos;
}

// Wraps text to the usage's right margin, each line indented.
std::string Wrapped(const std::string& text, size_t indent, size_t first) {
  const size_t width = 80;
  std::string out;
  size_t column = first;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(start, end - start);
    if (column > indent && column + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out += " ";
      ++column;
    }
    out += word;
    column += word.size();
    start = end + 1;
  }
  return out + "\n";
}

std::string Entry(const std::string& head, const std::string& help) {
  const size_t indent = 22;
  std::string out = "  " + head;
  size_t column = out.size();
  if (column + 1 > indent) {
    out += "\n" + std::string(indent, ' ');
  } else {
    out += std::string(indent - column, ' ');
  }
  return out + Wrapped(help, indent, indent);
}

}  // namespace

bool CommandChanges(const std::string& command) {
  const CommandSpec* row = FindCommand(command);
  return row != nullptr && row->changes;
}

std::string UsageText() {
  std::string out =
      "usage: runvane [OPTIONS] COMMAND [ARGS]\n"
      "\n"
      "commands:\n";
  for (const CommandSpec& command : kCommands)
    out += Entry(std::string(command.name) + (command.operands[0] ? " " : "") + command.operands, command.help);
  out += "\n";
  out += kItems;
  out += "\noptions:\n";
  for (const OptionSpec& option : kOptions) {
    std::string head = option.name;
    if (option.value != nullptr) head += std::string(" ") + option.value;
    std::string help = option.help;
    if (option.commands != nullptr && std::strcmp(option.commands, "fix") != 0)
      help += " [" + std::string(option.commands) + "]";
    out += Entry(head, help);
  }
  out += "\n";
  out += kExitCodes;
  return out;
}

bool ParseCommandLine(const std::vector<std::string>& args, HostOptions* options, std::string* error) {
  *options = HostOptions{};
  std::vector<const OptionSpec*> given;
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      if (options->command.empty())
        options->command = arg;
      else
        options->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    if (arg == "-h") arg = "--help";
    std::string value;
    bool inlineValue = false;
    size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inlineValue = true;
    }
    const OptionSpec* option = FindOption(arg);
    if (option == nullptr) return Fail(error, "unknown option " + args[i]);
    if (option->value != nullptr && !inlineValue) {
      if (i + 1 >= args.size()) return Fail(error, arg + " needs a value (" + option->value + ")");
      value = args[++i];
    } else if (option->value == nullptr && inlineValue) {
      return Fail(error, arg + " takes no value");
    }
    if (!option->apply(options, value, error)) return false;
    given.push_back(option);
  }
  if (options->help || options->version) return true;
  if (options->command.empty()) return Fail(error, "no command given");
  const CommandSpec* command = FindCommand(options->command);
  if (command == nullptr) return Fail(error, "unknown command " + options->command);
  for (const OptionSpec* option : given)
    if (!TakenBy(*option, command->name))
      return Fail(error, std::string(option->name) + " does not apply to " + command->name);
  int count = static_cast<int>(options->operands.size());
  if (count < command->minOperands)
    return Fail(error, std::string(command->name) + ": missing " + command->operands);
  if (command->maxOperands >= 0 && count > command->maxOperands)
    return Fail(error, std::string(command->name) + ": extra argument " + options->operands[command->maxOperands]);
  if (command->numbered)
    for (const std::string& operand : options->operands)
      if (operand.empty() || operand.size() > 9 || operand.find_first_not_of("0123456789") != std::string::npos)
        return Fail(error, std::string(command->name) + ": not a number: " + operand);
  return true;
}

}  // namespace host
