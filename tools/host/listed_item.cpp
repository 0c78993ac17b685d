#include "tools/host/listed_item.h"

#include <cstdlib>

#include "platform/case_fold.h"
#include "platform/wtext.h"
#include "records/check_node.h"

namespace host {

namespace {

// The text as the system's registry compares it (each backend folds to the
// case its system folds to): only ever compared with another folded text.
std::string Folded(const std::string& utf8) {
  std::u16string text = wtext::FromUtf8(utf8);
  for (char16_t& c : text) c = platform::FoldCaseForCompare(c);
  return wtext::ToUtf8(text);
}

// ASCII letters in upper case, every other byte as it is: for finding
// ASCII words ("\\WOW6432NODE\\", ".EXE") in a text, with offsets that
// stay those of the text itself.
std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && Folded(text.substr(0, prefix.size())) == Folded(prefix);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string TypeName(int code) {
  if (code >= RUNVANE_TYPE_RUN_KEY_FIRST && code <= RUNVANE_TYPE_RUN_KEY_LAST) return "run key";
  if (code == RUNVANE_TYPE_COMMON_STARTUP || code == RUNVANE_TYPE_USER_STARTUP) return "startup folder";
  if (code == 100) return "msconfig registry";
  if (code == 101) return "msconfig folder";
  return std::to_string(code);
}

bool IsFileType(int code) { return code == RUNVANE_TYPE_COMMON_STARTUP || code == RUNVANE_TYPE_USER_STARTUP; }

// The user whose profile a file path lies in ("C:\users\NAME\...").
std::string UserOfPath(const std::string& path) {
  for (const char* folder : {"\\users\\", "\\Documents and Settings\\"}) {
    std::string upper = AsciiUpper(path), key = AsciiUpper(folder);
    size_t at = upper.find(key);
    if (at == std::string::npos) continue;
    size_t start = at + key.size();
    size_t end = path.find('\\', start);
    if (end == std::string::npos) return std::string();
    std::string user = path.substr(start, end - start);
    return AsciiUpper(user) == "PUBLIC" || AsciiUpper(user) == "ALL USERS" ? std::string() : user;
  }
  return std::string();
}

void FillDerived(ListedItem* item) {
  std::string command = item->commandLine;
  // A value this module disabled keeps its data behind "rem ".
  if (!item->enabled && item->typeCode <= RUNVANE_TYPE_RUN_KEY_LAST && StartsWithNoCase(command, "rem "))
    command = command.substr(4);
  if (IsFileType(item->typeCode)) {
    item->path = command;
  } else {
    SplitCommandLine(command, &item->path, &item->args);
  }
  item->type = TypeName(item->typeCode);
  if (!item->mainkey.empty()) {
    item->source = item->mainkey + "\\" + item->subkey;
    item->view = AsciiUpper(item->subkey).find("\\WOW6432NODE\\") != std::string::npos ? "32-bit" : "native";
  } else if (!item->subkey.empty()) {
    item->source = FolderOf(item->subkey);
  } else if (IsFileType(item->typeCode)) {
    item->source = FolderOf(item->commandLine);
  }
  item->username = UserOfPath(IsFileType(item->typeCode) ? item->commandLine : item->subkey);
}

}  // namespace

void SplitCommandLine(const std::string& commandLine, std::string* path, std::string* args) {
  size_t start = commandLine.find_first_not_of(" \t");
  if (start == std::string::npos) {
    path->clear();
    args->clear();
    return;
  }
  std::string text = commandLine.substr(start);
  size_t end = std::string::npos, restAt = std::string::npos;
  if (text[0] == '"') {
    size_t close = text.find('"', 1);
    *path = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    restAt = close == std::string::npos ? text.size() : close + 1;
  } else {
    std::string upper = AsciiUpper(text);
    for (const char* extension : {".EXE", ".COM", ".BAT", ".CMD", ".SCR", ".PIF", ".LNK"}) {
      size_t at = 0;
      while ((at = upper.find(extension, at)) != std::string::npos) {
        size_t after = at + 4;
        if (after == upper.size() || upper[after] == ' ' || upper[after] == '\t') {
          if (end == std::string::npos || after < end) end = after;
          break;
        }
        at = after;
      }
    }
    if (end == std::string::npos) end = text.find_first_of(" \t");
    if (end == std::string::npos) end = text.size();
    *path = text.substr(0, end);
    restAt = end;
  }
  size_t rest = text.find_first_not_of(" \t", restAt);
  *args = rest == std::string::npos ? std::string() : text.substr(rest);
}

std::string NormalSource(const std::string& source) {
  std::string out = source;
  if (StartsWithNoCase(out, "HKCU\\")) out = "HKEY_CURRENT_USER" + out.substr(4);
  else if (StartsWithNoCase(out, "HKLM\\")) out = "HKEY_LOCAL_MACHINE" + out.substr(4);
  while (!out.empty() && (out.back() == '\\' || out.back() == '/')) out.pop_back();
  return Folded(out);
}

std::vector<ListedItem> ItemsOfListing(const Response& listing) {
  std::vector<ListedItem> items;
  for (const ResponseElement& element : listing.items) {
    ListedItem item;
    item.index = static_cast<int>(items.size()) + 1;
    item.enabled = element.Get("status") == "1";
    item.typeCode = std::atoi(element.Get("type").c_str());
    if (!item.enabled) item.disabledBy = item.typeCode >= 100 ? "msconfig" : "runvane";
    item.level = element.Get("level");
    item.name = element.Get("name");
    item.commandLine = element.Get("cmdline");
    item.description = element.Get("desc");
    item.company = element.Get("company");
    item.version = element.Get("version");
    item.size = element.Get("size");
    item.mainkey = element.Get("mainkey");
    item.subkey = element.Get("subkey");
    FillDerived(&item);
    items.push_back(item);
  }
  return items;
}

std::vector<ListedItem> ItemsOfCheck(const CheckNode* head) {
  std::vector<ListedItem> items;
  for (const CheckNode* node = head; node != nullptr; node = node->next) {
    ListedItem item;
    item.index = static_cast<int>(items.size()) + 1;
    item.typeCode = node->type;
    item.level = wtext::ToUtf8(node->levelText);
    item.name = wtext::ToUtf8(node->name);
    item.commandLine = wtext::ToUtf8(node->cmdline);
    item.description = wtext::ToUtf8(node->desc);
    item.company = wtext::ToUtf8(node->company);
    FillDerived(&item);
    items.push_back(item);
  }
  return items;
}

Sheet ListingSheet(const std::vector<ListedItem>& items, bool withHash) {
  Sheet sheet;
  for (const char* key : {"index", "status", "disabled_by", "level", "name", "command_line", "path", "args",
                          "source", "registry_view", "type", "type_code", "description", "company",
                          "version", "size", "username"})
    sheet.AddColumn(key, std::string(key) == "index" || std::string(key) == "type_code" ||
                             std::string(key) == "size");
  if (withHash) sheet.AddColumn("sha256");
  for (const ListedItem& item : items) {
    std::vector<std::string> row = {std::to_string(item.index), item.enabled ? "enabled" : "disabled",
                                    item.disabledBy, item.level, item.name, item.commandLine, item.path,
                                    item.args, item.source, item.view, item.type,
                                    std::to_string(item.typeCode), item.description, item.company,
                                    item.version, item.size, item.username};
    if (withHash) row.push_back(item.sha256);
    sheet.rows.push_back(row);
  }
  return sheet;
}

Sheet CheckSheet(const std::vector<ListedItem>& items, bool withHash) {
  Sheet sheet;
  for (const char* key : {"index", "level", "name", "command_line", "path", "args", "type", "type_code",
                          "description", "company", "username"})
    sheet.AddColumn(key, std::string(key) == "index" || std::string(key) == "type_code");
  if (withHash) sheet.AddColumn("sha256");
  for (const ListedItem& item : items) {
    std::vector<std::string> row = {std::to_string(item.index), item.level, item.name, item.commandLine,
                                    item.path, item.args, item.type, std::to_string(item.typeCode),
                                    item.description, item.company, item.username};
    if (withHash) row.push_back(item.sha256);
    sheet.rows.push_back(row);
  }
  return sheet;
}

}  // namespace host
