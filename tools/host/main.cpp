// runvane — the reference host. It loads a module by file name, finds its
// exports by name and drives them as the check-and-repair application does:
// check, repair, and (full edition) the remote-invoke commands.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>

#include "platform/linux/offline_windows.h"
#include "platform/linux/prefix_probe.h"
#endif

#include "records/fix_node.h"
#include "platform/wtext.h"
#include "records/check_node.h"
#include "runvane_version.h"
#include "tools/host/module_loader.h"
#include "tools/host/response_file.h"
#include "tools/host/table.h"

namespace {

const char kUsage[] =
    "usage: runvane [--module PATH | --check-only] [--image DIR] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  check                       scan every startup item and show the findings\n"
    "  fix [N... | --dangerous | --unknown | --all]\n"
    "                              check, then remove the chosen findings (numbers as\n"
    "                              shown by check) and show what was removed\n"
    "  repair NAME...              remove the startup items of these names\n"
    "  list                        every item, enabled and disabled, with version and size\n"
    "  disable NAME...             switch items off (reversible)\n"
    "  enable NAME...              switch disabled items on again\n"
    "  delete NAME...              delete items, enabled or disabled\n"
    "  invoke COMMAND-FILE RESPONSE-FILE\n"
    "                              carry out a command file and write the response\n"
    "\n"
    "options:\n"
    "  --module PATH   the module to load (default: the full edition beside this program)\n"
    "  --check-only    load the check-only edition beside this program\n"
    "  --version       show the version and exit\n"
#ifndef _WIN32
    "  --image DIR     the Windows system image (a Wine prefix) to work on; default:\n"
    "                  RUNVANE_SYSTEM_ROOT, else WINEPREFIX, else ~/.wine; a mounted\n"
    "                  Windows volume (Windows/System32/config/SOFTWARE) works too\n"
    "  --user NAME     on a Windows volume: the user whose NTUSER.DAT is the current\n"
    "                  user's registry (default: RUNVANE_USER, else the only one)\n"
#endif
    ;

#ifdef _WIN32
const char* kFullModule = "runvane.dll";
const char* kCheckModule = "runvane_check.dll";
#else
const char* kFullModule = "librunvane.so";
const char* kCheckModule = "librunvane_check.so";
#endif

bool g_progress = false;

int32_t __cdecl ShowProgress(const char16_t* text, int32_t, int32_t, int32_t, int32_t, int32_t,
                             int32_t, int32_t, int32_t) {
  if (g_progress) {
    std::string line = wtext::ToUtf8(text);
    if (line.size() > 70) line = line.substr(0, 67) + "...";
    std::fprintf(stderr, "\r\033[K  %s", line.c_str());
    std::fflush(stderr);
  }
  return 0;
}

void EndProgress() {
  if (g_progress) std::fprintf(stderr, "\r\033[K");
}

std::string Utf8(const char16_t* text) { return wtext::ToUtf8(text); }

std::string TypeText(int32_t type) {
  if (type >= 0 && type <= 10) return "Run key " + std::to_string(type);
  if (type == 11) return "common startup";
  if (type == 12) return "user startup";
  if (type == 100) return "MSConfig (registry)";
  if (type == 101) return "MSConfig (folder)";
  return std::to_string(type);
}

std::vector<CheckNode*> Nodes(CheckNode* head) {
  std::vector<CheckNode*> nodes;
  for (CheckNode* node = head; node != nullptr; node = node->next) nodes.push_back(node);
  return nodes;
}

void PrintFindings(const std::vector<CheckNode*>& nodes, int32_t count) {
  TextTable table({"#", "level", "name", "where", "command line", "description", "company"}, 40);
  int index = 1;
  for (CheckNode* node : nodes)
    table.AddRow({std::to_string(index++), Utf8(node->levelText), Utf8(node->name), TypeText(node->type),
                  Utf8(node->cmdline), Utf8(node->desc), Utf8(node->company)});
  std::printf("%s", table.Render().c_str());
  std::printf("%zu item(s) listed, %d reported by the scan\n", nodes.size(), count);
}

int RunCheck(LoadedModule& module) {
  CheckNode* head = nullptr;
  int32_t count = 0;
  module.DLL_Check(&head, ShowProgress, &count, 0);
  EndProgress();
  PrintFindings(Nodes(head), count);
  module.DLL_Release(head);
  return 0;
}

int RunFix(LoadedModule& module, const std::vector<std::string>& args) {
  CheckNode* head = nullptr;
  int32_t count = 0;
  module.DLL_Check(&head, ShowProgress, &count, 0);
  EndProgress();
  std::vector<CheckNode*> nodes = Nodes(head);
  int chosen = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    CheckNode* node = nodes[i];
    bool pick = false;
    for (const std::string& arg : args) {
      if (arg == "--all") pick = true;
      else if (arg == "--dangerous") pick = pick || std::u16string(node->levelText) == u"危险";
      else if (arg == "--unknown") pick = pick || std::u16string(node->levelText) == u"未知";
      else if (std::atoi(arg.c_str()) == static_cast<int>(i + 1)) pick = true;
    }
    node->selected = pick ? 1 : 0;
    chosen += pick ? 1 : 0;
  }
  if (chosen == 0) {
    PrintFindings(nodes, count);
    std::printf("nothing chosen to remove\n");
    module.DLL_Release(head);
    return 0;
  }
  module.DLL_Repair(head, ShowProgress, 0);
  EndProgress();
  TextTable table({"#", "name", "where", "command line", "outcome"}, 50);
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!nodes[i]->selected) continue;
    table.AddRow({std::to_string(i + 1), Utf8(nodes[i]->name), TypeText(nodes[i]->type),
                  Utf8(nodes[i]->cmdline), nodes[i]->failed ? "FAILED" : "removed"});
  }
  std::printf("%s", table.Render().c_str());
  // Every item that could not be removed is named again, and the run fails.
  int failures = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!nodes[i]->selected || !nodes[i]->failed) continue;
    std::fprintf(stderr, "runvane: fix: not removed: #%zu %s (%s)\n", i + 1, Utf8(nodes[i]->name).c_str(),
                 Utf8(nodes[i]->cmdline).c_str());
    ++failures;
  }
  module.DLL_Release(head);
  return failures == 0 ? 0 : 1;
}

int RunRepairByName(LoadedModule& module, const std::vector<std::string>& names) {
  if (names.empty()) {
    std::fprintf(stderr, "repair: name the items to remove\n");
    return 2;
  }
  std::vector<FixNode> nodes(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    std::memset(&nodes[i], 0, sizeof(FixNode));
    std::u16string name = wtext::FromUtf8(names[i]);
    if (name.size() >= sizeof(nodes[i].name) / sizeof(char16_t)) {
      std::fprintf(stderr, "repair: name too long: %s\n", names[i].c_str());
      return 2;
    }
    std::memcpy(nodes[i].name, name.c_str(), name.size() * sizeof(char16_t));
    nodes[i].next = i + 1 < names.size() ? &nodes[i + 1] : nullptr;
  }
  module.FixItemByName(&nodes[0]);
  int failures = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    std::printf("%-40s %s\n", names[i].c_str(), nodes[i].result == 0 ? "removed" : "not found or not removed");
    failures += nodes[i].result != 0;
  }
  return failures == 0 ? 0 : 1;
}

// ---- remote invoke ---------------------------------------------------------

struct TempFolder {
  std::string path;  // host path with trailing separator
  TempFolder() {
#ifdef _WIN32
    char buffer[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, buffer);
    path = std::string(buffer) + "runvane-host-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(path.c_str(), nullptr);
#else
    char pattern[] = "/tmp/runvane-host-XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made != nullptr ? std::string(made) + "/" : "/tmp/";
#endif
  }
  ~TempFolder() {
    std::remove((path + "command.xml").c_str());
    std::remove((path + "response.xml").c_str());
#ifdef _WIN32
    RemoveDirectoryA(path.c_str());
#else
    rmdir(path.c_str());
#endif
  }
};

// The path as the module sees it: on Linux the module works in the image's
// Windows namespace, where the host's own file system is drive Z:.
std::u16string ModulePathOf(const std::string& hostPath) {
#ifdef _WIN32
  return wtext::FromUtf8(hostPath);
#else
  if (!hostPath.empty() && hostPath[0] == '/') {
    std::string windows = "Z:" + hostPath;
    for (char& c : windows)
      if (c == '/') c = '\\';
    return wtext::FromUtf8(windows);
  }
  return wtext::FromUtf8(hostPath);
#endif
}

bool Invoke(LoadedModule& module, const std::string& commandPath, const std::string& responsePath,
            int32_t* result) {
  if (module.VEK_RemoteInvoke == nullptr) {
    std::fprintf(stderr, "this edition has no remote invoke (use the full edition)\n");
    return false;
  }
  std::u16string command = ModulePathOf(commandPath);
  std::u16string response = ModulePathOf(responsePath);
  *result = module.VEK_RemoteInvoke(command.c_str(), response.c_str());
  return true;
}

void PrintListing(const Response& response) {
  TextTable table({"#", "state", "level", "name", "where", "command line", "description", "company",
                   "version", "size"},
                  36);
  int index = 1;
  for (const ResponseElement& item : response.items) {
    std::string type = item.Get("type");
    table.AddRow({std::to_string(index++), item.Get("status") == "1" ? "enabled" : "disabled",
                  item.Get("level"), item.Get("name"), TypeText(std::atoi(type.c_str())),
                  item.Get("cmdline"), item.Get("desc"), item.Get("company"), item.Get("version"),
                  item.Get("size")});
  }
  std::printf("%s", table.Render().c_str());
}

void PrintItemResults(const Response& response) {
  TextTable table({"name", "mainkey", "now at", "type", "outcome"}, 60);
  for (const ResponseElement& item : response.items)
    table.AddRow({item.Get("name"), item.Get("mainkey"), item.Get("subkey"), item.Get("type"),
                  item.Get("ErrMsg")});
  std::printf("%s", table.Render().c_str());
}

void PrintResult(const Response& response) {
  std::printf("%s: %s (%s) at %s\n", response.result.Get("cmdName").c_str(),
              response.result.Get("ErrMsg").c_str(),
              response.result.Get("nResult") == "0" ? "ok" : "failed",
              response.result.Get("DateTime").c_str());
}

bool RunCommand(LoadedModule& module, const std::string& command,
                const std::vector<CommandEntry>& entries, Response* response, int32_t* result) {
  TempFolder temp;
  std::string commandPath = temp.path + "command.xml";
  std::string responsePath = temp.path + "response.xml";
  if (!WriteCommandFile(commandPath, command, entries)) {
    std::fprintf(stderr, "cannot write %s\n", commandPath.c_str());
    return false;
  }
  if (!Invoke(module, commandPath, responsePath, result)) return false;
  std::string error;
  if (!ReadResponseFile(responsePath, response, &error)) {
    std::fprintf(stderr, "%s (module answered %d)\n", error.c_str(), *result);
    return false;
  }
  return true;
}

int RunList(LoadedModule& module) {
  Response response;
  int32_t result = -1;
  if (!RunCommand(module, "VEK_GetAutoRunList_RUN", {}, &response, &result)) return 1;
  PrintListing(response);
  PrintResult(response);
  return result == 0 ? 0 : 1;
}

struct ChangeCommand {
  const char* verb;
  const char* command;
  const char* wantedStatus;  // items of this status are candidates; null: any
};

const ChangeCommand kChangeCommands[] = {
    {"disable", "VEK_DisableAutoRun_RUN", "1"},
    {"enable", "VEK_EnableAutoRun_RUN", "2"},
    {"delete", "VEK_DeleteAutoRun_RUN", nullptr},
};

int RunChange(LoadedModule& module, const ChangeCommand& change, const std::vector<std::string>& names) {
  if (names.empty()) {
    std::fprintf(stderr, "%s: name the items\n", change.verb);
    return 2;
  }
  Response listing;
  int32_t result = -1;
  if (!RunCommand(module, "VEK_GetAutoRunList_RUN", {}, &listing, &result)) return 1;
  std::vector<CommandEntry> entries;
  bool missing = false;
  for (const std::string& name : names) {
    bool found = false;
    for (const ResponseElement& item : listing.items) {
      if (item.Get("name") != name) continue;
      if (change.wantedStatus != nullptr && item.Get("status") != change.wantedStatus) continue;
      CommandEntry entry;
      entry.name = wtext::FromUtf8(item.Get("name"));
      entry.mainkey = wtext::FromUtf8(item.Get("mainkey"));
      entry.subkey = wtext::FromUtf8(item.Get("subkey"));
      entry.type = std::atol(item.Get("type").c_str());
      entries.push_back(entry);
      found = true;
    }
    missing = missing || !found;
    if (!found) std::fprintf(stderr, "%s: no %s item named %s\n", change.verb,
                             change.wantedStatus == nullptr ? "" : (std::string(change.wantedStatus) == "1" ? "enabled" : "disabled"),
                             name.c_str());
  }
  if (entries.empty()) return 1;
  Response response;
  if (!RunCommand(module, change.command, entries, &response, &result)) return 1;
  PrintItemResults(response);
  PrintResult(response);
  if (result != 0) std::fprintf(stderr, "runvane: %s: failed (module answered %d)\n", change.verb, result);
  return result == 0 && !missing ? 0 : 1;
}

int RunInvoke(LoadedModule& module, const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "invoke: COMMAND-FILE RESPONSE-FILE\n");
    return 2;
  }
  int32_t result = -1;
  if (!Invoke(module, args[0], args[1], &result)) return 1;
  std::printf("module answered %d\n", result);
  Response response;
  std::string error;
  if (ReadResponseFile(args[1], &response, &error)) {
    if (response.root == "VEK_GetAutoRunList_RUNResponse")
      PrintListing(response);
    else if (!response.items.empty())
      PrintItemResults(response);
    PrintResult(response);
  } else {
    std::printf("%s\n", error.c_str());
  }
  return result == 0 ? 0 : 1;
}

// The module skips what it cannot read; the user is told here when the image
// is not there, is no system image or lacks one of its registry files.
bool ImageUsable() {
#ifdef _WIN32
  return true;
#else
  std::string root = platform::prefix::DefaultRoot();
  auto exists = [&](const char* name) { return access((root + "/" + name).c_str(), F_OK) == 0; };
  if (access(root.c_str(), F_OK) != 0) {
    std::fprintf(stderr, "runvane: the system image %s does not exist\n", root.c_str());
    return false;
  }
  if (platform::offline::IsOfflineWindows(root)) {
    platform::offline::Profile user;
    std::string error;
    if (platform::offline::ChooseProfile(root, platform::offline::WantedUser(), &user, &error)) return true;
    std::fprintf(stderr, "runvane: %s: %s\n", root.c_str(), error.c_str());
    return false;
  }
  bool system = exists("system.reg"), user = exists("user.reg");
  if (!system && !user) {
    std::fprintf(stderr,
                 "runvane: %s is no system image: it has neither system.reg and user.reg (a Wine prefix) "
                 "nor Windows/System32/config/SOFTWARE\n",
                 root.c_str());
    return false;
  }
  if (!system || !user) {
    std::fprintf(stderr, "runvane: the system image %s has no %s\n", root.c_str(),
                 system ? "user.reg" : "system.reg");
    return false;
  }
  return true;
#endif
}

// A Wine server keeps the prefix's registry in memory and saves it over the
// files: a change made beside it would be lost, and what is read may be
// behind. False (after saying why) when the command must not run.
bool WineServerAllows(const std::string& command) {
#ifdef _WIN32
  (void)command;
  return true;
#else
  using namespace platform::prefix;
  std::string root = DefaultRoot();
  ServerFinding finding = FindServer(root);
  if (finding.state == ServerState::kNone) return true;
  bool reading = command == "check" || command == "list" || command == "invoke";
  if (reading) {
    std::fprintf(stderr, "runvane: warning: %s; the registry files may be behind what the server holds\n",
                 DescribeServer(root, finding).c_str());
    return true;
  }
  std::fprintf(stderr, "runvane: %s: not changed: %s\n", command.c_str(), DescribeServer(root, finding).c_str());
  return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
#endif
  std::string modulePath;
  bool checkOnly = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--module" && i + 1 < argc) {
      modulePath = argv[++i];
    } else if (arg == "--check-only") {
      checkOnly = true;
#ifndef _WIN32
    } else if (arg == "--image") {
      if (i + 1 >= argc || argv[i + 1][0] == 0) {
        std::fprintf(stderr, "runvane: --image needs the folder of a system image\n");
        return 2;
      }
      setenv("RUNVANE_SYSTEM_ROOT", argv[++i], 1);
    } else if (arg == "--user") {
      if (i + 1 >= argc || argv[i + 1][0] == 0) {
        std::fprintf(stderr, "runvane: --user needs the name of a user profile\n");
        return 2;
      }
      setenv("RUNVANE_USER", argv[++i], 1);
#endif
    } else if (arg == "--version") {
      std::printf("runvane %s\n%s\n", RUNVANE_VERSION_TEXT, RUNVANE_COPYRIGHT_TEXT);
      return 0;
    } else if (arg == "-h" || arg == "--help") {
      std::printf("%s", kUsage);
      return 0;
    } else {
      args.push_back(arg);
    }
  }
  if (args.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  if (modulePath.empty()) modulePath = HostProgramFolder() + (checkOnly ? kCheckModule : kFullModule);
  g_progress = isatty(fileno(stderr)) != 0;

  if (!ImageUsable()) return 1;
  if (!WineServerAllows(args[0])) return 1;

  LoadedModule module;
  std::string error;
  if (!LoadModule(modulePath, &module, &error)) {
    std::fprintf(stderr, "runvane: %s\n", error.c_str());
    return 1;
  }
  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  int status = 2;
  if (command == "check") {
    status = RunCheck(module);
  } else if (command == "fix") {
    status = RunFix(module, rest);
  } else if (command == "repair") {
    status = RunRepairByName(module, rest);
  } else if (command == "list") {
    status = RunList(module);
  } else if (command == "invoke") {
    status = RunInvoke(module, rest);
  } else {
    bool known = false;
    for (const ChangeCommand& change : kChangeCommands) {
      if (command == change.verb) {
        status = RunChange(module, change, rest);
        known = true;
      }
    }
    if (!known) std::fprintf(stderr, "runvane: unknown command %s\n%s", command.c_str(), kUsage);
  }
  UnloadModule(&module);
  return status;
}
