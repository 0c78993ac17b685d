// runvane — the reference host. It loads a module by file name, finds its
// exports by name and drives them as the check-and-repair application does:
// check, repair, and (full edition) the remote-invoke commands. Output is a
// table for people or JSON, JSON Lines or CSV for programs; the exit code
// says what happened (tools/host/exit_codes.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include "platform/linux/offline_windows.h"
#include "platform/linux/prefix_probe.h"
#endif

#include "platform/wtext.h"
#include "records/check_node.h"
#include "records/fix_node.h"
#include "runvane_version.h"
#include "tools/host/console.h"
#include "tools/host/exit_codes.h"
#include "tools/host/file_hash.h"
#include "tools/host/item_match.h"
#include "tools/host/labels.h"
#include "tools/host/listed_item.h"
#include "tools/host/module_loader.h"
#include "tools/host/options.h"
#include "tools/host/output_format.h"
#include "tools/host/progress.h"
#include "tools/host/response_file.h"
#include "tools/host/table.h"

namespace host {
namespace {

#ifdef _WIN32
const char* kFullModule = "runvane.dll";
const char* kCheckModule = "runvane_check.dll";
#else
const char* kFullModule = "librunvane.so";
const char* kCheckModule = "librunvane_check.so";
#endif

// What every command needs: the options, the table's words, the module.
struct Run {
  const HostOptions& options;
  Labels labels;
  LoadedModule& module;
  bool progress;  // stderr is a terminal

  size_t CellWidth(size_t narrow) const { return options.wide ? kNoCut : narrow; }
};

// The sheet in the chosen format, or the table.
void Emit(const Run& run, const Sheet& sheet, const TextTable& table) {
  switch (run.options.format) {
    case Format::kJson: WriteOut(RenderJson(sheet)); break;
    case Format::kJsonl: WriteOut(RenderJsonLines(sheet)); break;
    case Format::kCsv: WriteOut(RenderCsv(sheet)); break;
    case Format::kTable:
      if (!table.Empty()) WriteOut(table.Render());  // a table of nothing says nothing
      break;
  }
}

// A closing line for people; machine-readable output has none.
void Summary(const Run& run, const std::string& line) {
  if (run.options.format == Format::kTable) WriteOut(line + "\n");
}

std::vector<std::string> Headings(const Run& run, std::vector<std::string> keys) {
  for (std::string& key : keys) key = run.labels.Heading(key);
  return keys;
}

void AddHashes(const Run& run, std::vector<ListedItem>* items) {
  if (!run.options.hash) return;
  ProgressLine line(run.progress, "hashing", static_cast<int>(items->size()));
  for (ListedItem& item : *items) {
    line.Step(item.path);
    item.sha256 = Sha256OfProgram(item.path);
  }
}

// ---- check, fix, repair ------------------------------------------------------

// The check's findings; empty (with a message) when the user stopped it.
struct Findings {
  CheckNode* head = nullptr;
  int32_t count = 0;
  LoadedModule* module = nullptr;
  ~Findings() {
    if (head != nullptr) module->DLL_Release(head);
  }
};

bool CheckAll(const Run& run, Findings* findings) {
  findings->module = &run.module;
  {
    ProgressLine line(run.progress, "checking", 0);
    run.module.DLL_Check(&findings->head, ModuleProgress, &findings->count, 0);
  }
  if (StopAsked()) {
    Complain("check: cancelled");
    return false;
  }
  return true;
}

void PrintFindings(const Run& run, const std::vector<ListedItem>& items, int32_t count) {
  std::vector<std::string> keys = {"index", "level", "name", "where", "command_line", "description", "company"};
  if (run.options.hash) keys.push_back("sha256");
  TextTable table(Headings(run, keys), run.CellWidth(40));
  for (const ListedItem& item : items) {
    std::vector<std::string> row = {std::to_string(item.index), run.labels.Level(item.level), item.name,
                                    run.labels.Where(item), item.commandLine, item.description, item.company};
    if (run.options.hash) row.push_back(item.sha256);
    table.AddRow(row);
  }
  Emit(run, CheckSheet(items, run.options.hash), table);
  Summary(run, std::to_string(items.size()) + " item(s) listed, " + std::to_string(count) + " reported by the scan");
}

int RunCheck(const Run& run) {
  Findings findings;
  if (!CheckAll(run, &findings)) return kExitNotDone;
  std::vector<ListedItem> items = ItemsOfCheck(findings.head);
  AddHashes(run, &items);
  PrintFindings(run, items, findings.count);
  return kExitDone;
}

// The outcome of each chosen finding or named item, as a table and a sheet.
struct Outcomes {
  Sheet sheet;
  TextTable table;
  Outcomes(const Run& run, const std::vector<std::string>& keys, const std::vector<bool>& numeric)
      : table(Headings(run, keys), run.CellWidth(50)) {
    for (size_t i = 0; i < keys.size(); ++i) sheet.AddColumn(keys[i] == "where" ? "type" : keys[i], numeric[i]);
  }
};

int RunFix(const Run& run) {
  Findings findings;
  if (!CheckAll(run, &findings)) return kExitNotDone;
  std::vector<CheckNode*> nodes;
  for (CheckNode* node = findings.head; node != nullptr; node = node->next) nodes.push_back(node);
  std::vector<ListedItem> items = ItemsOfCheck(findings.head);
  const HostOptions& o = run.options;
  int problems = 0;
  for (const std::string& operand : o.operands) {
    long number = std::atol(operand.c_str());
    if (number < 1 || number > static_cast<long>(nodes.size())) {
      Complain("fix: no finding #" + operand + " (check shows " + std::to_string(nodes.size()) + ")");
      ++problems;
    }
  }
  int chosen = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    bool pick = o.fixAll || (o.fixDangerous && items[i].level == "危险") || (o.fixUnknown && items[i].level == "未知");
    for (const std::string& operand : o.operands) pick = pick || std::atol(operand.c_str()) == static_cast<long>(i + 1);
    nodes[i]->selected = pick ? 1 : 0;
    chosen += pick ? 1 : 0;
  }
  if (chosen == 0) {
    PrintFindings(run, items, findings.count);
    Summary(run, "nothing chosen to remove");
    return problems == 0 ? kExitDone : kExitNotDone;
  }
  if (!o.dryRun) {
    ProgressLine line(run.progress, "removing", chosen);
    run.module.DLL_Repair(findings.head, ModuleProgress, 0);
  }
  Outcomes out(run, {"index", "name", "where", "command_line", "outcome"}, {true, false, false, false, false});
  int failures = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!nodes[i]->selected) continue;
    std::string outcome = o.dryRun ? "would remove" : nodes[i]->failed ? "FAILED" : "removed";
    out.table.AddRow({std::to_string(i + 1), items[i].name, run.labels.Where(items[i]), items[i].commandLine,
                      run.labels.Word(outcome)});
    out.sheet.rows.push_back({std::to_string(i + 1), items[i].name, items[i].type, items[i].commandLine,
                              outcome == "FAILED" ? "failed" : outcome});
    if (!o.dryRun && nodes[i]->failed) {
      Complain("fix: not removed: #" + std::to_string(i + 1) + " " + items[i].name + " (" + items[i].commandLine + ")");
      ++failures;
    }
  }
  Emit(run, out.sheet, out.table);
  if (!o.dryRun && StopAsked()) {
    Complain("fix: cancelled");
    return kExitNotDone;
  }
  return failures == 0 && problems == 0 ? kExitDone : kExitNotDone;
}

int RunRepairByName(const Run& run) {
  // The module removes one item of a name; which one is said here first,
  // and a name that several findings share is refused.
  Findings findings;
  if (!CheckAll(run, &findings)) return kExitNotDone;
  std::vector<ListedItem> items = ItemsOfCheck(findings.head);
  std::vector<std::string> names;
  int problems = 0;
  for (const std::string& name : run.options.operands) {
    std::vector<const ListedItem*> named;
    for (const ListedItem& item : items)
      if (SameName(item.name, name)) named.push_back(&item);
    if (named.empty()) {
      Complain("repair: no item named " + name);
      ++problems;
    } else if (named.size() > 1) {
      std::string line = "repair: the name " + name + " is ambiguous; remove one with fix N:";
      for (const ListedItem* item : named) line += "\n  #" + std::to_string(item->index) + " " + item->commandLine;
      Complain(line);
      ++problems;
    } else if (wtext::FromUtf8(named.front()->name).size() >= RUNVANE_FIX_NAME_UNITS) {
      Complain("repair: name too long: " + name);
      ++problems;
    } else {
      names.push_back(named.front()->name);
    }
  }
  std::vector<FixNode> nodes(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    std::memset(&nodes[i], 0, sizeof(FixNode));
    std::u16string name = wtext::FromUtf8(names[i]);
    std::memcpy(nodes[i].name, name.c_str(), name.size() * sizeof(char16_t));
    nodes[i].next = i + 1 < names.size() ? &nodes[i + 1] : nullptr;
  }
  if (!nodes.empty() && !run.options.dryRun) run.module.FixItemByName(&nodes[0]);
  Outcomes out(run, {"name", "outcome"}, {false, false});
  for (size_t i = 0; i < names.size(); ++i) {
    std::string outcome = run.options.dryRun ? "would remove" : nodes[i].result == RUNVANE_FIX_REMOVED ? "removed" : "FAILED";
    out.table.AddRow({names[i], run.labels.Word(outcome)});
    out.sheet.rows.push_back({names[i], outcome == "FAILED" ? "failed" : outcome});
    if (outcome == "FAILED") {
      Complain("repair: not removed: " + names[i]);
      ++problems;
    }
  }
  Emit(run, out.sheet, out.table);
  return problems == 0 ? kExitDone : kExitNotDone;
}

// ---- remote invoke -----------------------------------------------------------

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

// False (after saying why) when the module has no remote invoke.
bool Invoke(LoadedModule& module, const std::string& commandPath, const std::string& responsePath,
            int32_t* result) {
  if (module.VEK_RemoteInvoke == nullptr) {
    Complain("this edition has no remote invoke (use the full edition)");
    return false;
  }
  std::u16string command = ModulePathOf(commandPath);
  std::u16string response = ModulePathOf(responsePath);
  *result = module.VEK_RemoteInvoke(command.c_str(), response.c_str());
  return true;
}

bool RunCommand(LoadedModule& module, const std::string& command, const std::vector<CommandEntry>& entries,
                Response* response, int32_t* result) {
  TempFolder temp;
  std::string commandPath = temp.path + "command.xml";
  std::string responsePath = temp.path + "response.xml";
  if (!WriteCommandFile(commandPath, command, entries)) {
    Complain("cannot write " + commandPath);
    return false;
  }
  if (!Invoke(module, commandPath, responsePath, result)) return false;
  std::string error;
  if (!ReadResponseFile(responsePath, response, &error)) {
    Complain(error + " (module answered " + std::to_string(*result) + ")");
    return false;
  }
  return true;
}

void PrintListing(const Run& run, std::vector<ListedItem> items) {
  AddHashes(run, &items);
  std::vector<std::string> keys = {"index", "status", "level", "name", "where", "command_line",
                                   "description", "company", "version", "size"};
  if (run.options.hash) keys.push_back("sha256");
  TextTable table(Headings(run, keys), run.CellWidth(36));
  for (const ListedItem& item : items) {
    std::vector<std::string> row = {std::to_string(item.index), run.labels.State(item), run.labels.Level(item.level),
                                    item.name, run.labels.Where(item), item.commandLine, item.description,
                                    item.company, item.version, item.size};
    if (run.options.hash) row.push_back(item.sha256);
    table.AddRow(row);
  }
  Emit(run, ListingSheet(items, run.options.hash), table);
}

bool ListAll(const Run& run, std::vector<ListedItem>* items, int32_t* result) {
  Response listing;
  {
    ProgressLine line(run.progress, "listing", 0);
    if (!RunCommand(run.module, "VEK_GetAutoRunList_RUN", {}, &listing, result)) return false;
  }
  *items = ItemsOfListing(listing);
  if (*result != 0) Complain("list: failed (module answered " + std::to_string(*result) + ": " + listing.result.Get("ErrMsg") + ")");
  return true;
}

int RunList(const Run& run) {
  std::vector<ListedItem> items;
  int32_t result = -1;
  if (!ListAll(run, &items, &result)) return kExitNotDone;
  PrintListing(run, items);
  Summary(run, std::to_string(items.size()) + " item(s) listed");
  return result == 0 ? kExitDone : kExitNotDone;
}

struct ChangeCommand {
  const char* verb;
  const char* command;
  int wantEnabled;  // 1 enabled items only, 0 disabled only, -1 any
};

const ChangeCommand kChangeCommands[] = {
    {"disable", "VEK_DisableAutoRun_RUN", 1},
    {"enable", "VEK_EnableAutoRun_RUN", 0},
    {"delete", "VEK_DeleteAutoRun_RUN", -1},
};

CommandEntry EntryOf(const ListedItem& item) {
  CommandEntry entry;
  entry.name = wtext::FromUtf8(item.name);
  entry.mainkey = wtext::FromUtf8(item.mainkey);
  entry.subkey = wtext::FromUtf8(item.subkey);
  entry.type = item.typeCode;
  return entry;
}

int RunChange(const Run& run, const ChangeCommand& change) {
  std::vector<ListedItem> items;
  int32_t result = -1;
  if (!ListAll(run, &items, &result)) return kExitNotDone;
  ItemChoice choice = ChooseItems(items, run.options.operands, run.options.source, change.wantEnabled);
  for (const std::string& problem : choice.problems) Complain(std::string(change.verb) + ": " + problem);
  bool failed = !choice.problems.empty();
  Outcomes out(run, {"index", "name", "source", "now_at", "outcome", "message"},
               {true, false, false, false, false, false});
  std::string verb = change.verb;
  if (run.options.dryRun) {
    for (const ListedItem* item : choice.chosen) {
      out.table.AddRow({std::to_string(item->index), item->name, item->source, "", run.labels.Word("would " + verb), ""});
      out.sheet.rows.push_back({std::to_string(item->index), item->name, item->source, "", "would " + verb, ""});
    }
    Emit(run, out.sheet, out.table);
    return failed ? kExitNotDone : kExitDone;
  }
  // On a terminal the items go one command each, so that progress shows
  // and Ctrl-C stops between two items; otherwise in one command.
  std::vector<std::vector<const ListedItem*>> batches;
  if (run.progress) {
    for (const ListedItem* item : choice.chosen) batches.push_back({item});
  } else if (!choice.chosen.empty()) {
    batches.push_back(choice.chosen);
  }
  size_t done = 0;
  {
    ProgressLine line(run.progress, verb, static_cast<int>(choice.chosen.size()));
    for (const auto& batch : batches) {
      if (StopAsked()) break;
      std::vector<CommandEntry> entries;
      for (const ListedItem* item : batch) entries.push_back(EntryOf(*item));
      line.Step(batch.front()->name);
      Response response;
      if (!RunCommand(run.module, change.command, entries, &response, &result)) {
        failed = true;
        break;
      }
      for (size_t i = 0; i < response.items.size(); ++i) {
        const ResponseElement& element = response.items[i];
        const ListedItem* item = i < batch.size() ? batch[i] : nullptr;
        bool ok = element.Get("nResult") == "0";
        std::string nowAt = element.Get("mainkey").empty() ? element.Get("subkey")
                                                            : element.Get("mainkey") + "\\" + element.Get("subkey");
        std::string index = item != nullptr ? std::to_string(item->index) : "";
        std::string source = item != nullptr ? item->source : "";
        std::string message = element.Get("ErrMsg");
        out.table.AddRow({index, element.Get("name"), source, nowAt,
                          run.labels.chinese() ? message : run.labels.Word(ok ? "done" : "FAILED"),
                          run.labels.chinese() ? "" : message});
        out.sheet.rows.push_back({index, element.Get("name"), source, nowAt, ok ? "done" : "failed", message});
        if (!ok) {
          Complain(verb + ": failed: " + element.Get("name") + " in " + source + " (" + message + ")");
          failed = true;
        }
      }
      if (result != 0 && !failed) {
        Complain(verb + ": failed (module answered " + std::to_string(result) + ": " +
                 response.result.Get("ErrMsg") + ")");
        failed = true;
      }
      done += batch.size();
    }
  }
  Emit(run, out.sheet, out.table);
  if (done < choice.chosen.size() && StopAsked()) {
    Complain(verb + ": cancelled: " + std::to_string(choice.chosen.size() - done) + " item(s) left as they were");
    failed = true;
  }
  return failed ? kExitNotDone : kExitDone;
}

int RunInvoke(const Run& run) {
  const std::vector<std::string>& args = run.options.operands;
  int32_t result = -1;
  if (!Invoke(run.module, args[0], args[1], &result)) return kExitNotDone;
  Response response;
  std::string error;
  if (!ReadResponseFile(args[1], &response, &error)) {
    Complain("invoke: " + error + " (module answered " + std::to_string(result) + ")");
    return kExitNotDone;
  }
  if (response.root == "VEK_GetAutoRunList_RUNResponse") PrintListing(run, ItemsOfListing(response));
  Summary(run, response.result.Get("cmdName") + ": " + response.result.Get("ErrMsg") + " (" +
                   (response.result.Get("nResult") == "0" ? "ok" : "failed") + ") at " +
                   response.result.Get("DateTime") + "; module answered " + std::to_string(result));
  if (result != 0) Complain("invoke: the module answered " + std::to_string(result));
  return result == 0 ? kExitDone : kExitNotDone;
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
    Complain("the system image " + root + " does not exist");
    return false;
  }
  if (platform::offline::IsOfflineWindows(root)) {
    platform::offline::Profile user;
    std::string error;
    if (platform::offline::ChooseProfile(root, platform::offline::WantedUser(), &user, &error)) return true;
    Complain(root + ": " + error);
    return false;
  }
  bool system = exists("system.reg"), user = exists("user.reg");
  if (!system && !user) {
    Complain(root + " is no system image: it has neither system.reg and user.reg (a Wine prefix) "
             "nor Windows/System32/config/SOFTWARE");
    return false;
  }
  if (!system || !user) {
    Complain("the system image " + root + " has no " + (system ? "user.reg" : "system.reg"));
    return false;
  }
  return true;
#endif
}

// A Wine server keeps the prefix's registry in memory and saves it over the
// files: a change made beside it would be lost, and what is read may be
// behind. False (after saying why) when the command must not run.
bool WineServerAllows(const std::string& command, bool changes) {
#ifdef _WIN32
  (void)command;
  (void)changes;
  return true;
#else
  using namespace platform::prefix;
  std::string root = DefaultRoot();
  ServerFinding finding = FindServer(root);
  if (finding.state == ServerState::kNone) return true;
  if (!changes) {
    Complain("warning: " + DescribeServer(root, finding) + "; the registry files may be behind what the server holds");
    return true;
  }
  Complain(command + ": not changed: " + DescribeServer(root, finding));
  return false;
#endif
}


int Main(int argc, char** argv) {
  PrepareOutput();
  HostOptions options;
  std::string error;
  if (!ParseCommandLine(ProgramArguments(argc, argv), &options, &error)) {
    Complain(error + " (runvane --help shows the usage)");
    return kExitUsage;
  }
  if (options.help) {
    WriteOut(UsageText());
    return kExitDone;
  }
  if (options.version) {
    WriteOut(std::string("runvane ") + RUNVANE_VERSION_TEXT + "\n" + RUNVANE_COPYRIGHT_TEXT + "\n");
    return kExitDone;
  }
#ifndef _WIN32
  if (!options.image.empty()) setenv("RUNVANE_SYSTEM_ROOT", options.image.c_str(), 1);
  if (!options.user.empty()) setenv("RUNVANE_USER", options.user.c_str(), 1);
#endif
  bool changes = CommandChanges(options.command) && !options.dryRun;
  if (!ImageUsable()) return kExitUnusable;
  if (!WineServerAllows(options.command, changes)) return kExitUnusable;

  std::string modulePath = options.modulePath;
  if (modulePath.empty()) modulePath = HostProgramFolder() + (options.checkOnly ? kCheckModule : kFullModule);
  LoadedModule module;
  if (!LoadModule(modulePath, &module, &error)) {
    Complain(error);
    return kExitUnusable;
  }
  bool chinese = options.lang == Lang::kChinese || (options.lang == Lang::kAuto && LocaleIsChinese());
  Run run{options, Labels(chinese), module, StderrIsTerminal()};
  const std::string& command = options.command;
  int status = kExitUsage;
  if (command == "check") status = RunCheck(run);
  else if (command == "fix") status = RunFix(run);
  else if (command == "repair") status = RunRepairByName(run);
  else if (command == "list") status = RunList(run);
  else if (command == "invoke") status = RunInvoke(run);
  for (const ChangeCommand& change : kChangeCommands)
    if (command == change.verb) status = RunChange(run, change);
  std::fflush(stdout);
  UnloadModule(&module);
  return status;
}

}  // namespace
}  // namespace host

int main(int argc, char** argv) { return host::Main(argc, argv); }
