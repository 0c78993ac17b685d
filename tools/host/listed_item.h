// One startup item as the host shows it: the module's listing entry (or
// check finding) with the program path and arguments split off the command
// line, the source it lives in, its registry view and user, and the field
// names of the machine-readable formats.
#pragma once

#include <string>
#include <vector>

#include "tools/host/output_format.h"
#include "tools/host/response_file.h"

struct CheckNode;

namespace host {

struct ListedItem {
  int index = 0;            // 1-based, as list (or check) shows it
  bool enabled = true;
  std::string disabledBy;   // "", "runvane" or "msconfig"
  std::string level;        // the module's own level text
  std::string name;
  std::string commandLine;
  std::string path;
  std::string args;
  std::string source;       // root\key, or the folder of a file
  std::string view;         // "native", "32-bit", or "" for files
  std::string type;         // "run key", "startup folder", "msconfig"
  int typeCode = 0;
  std::string description;
  std::string company;
  std::string version;
  std::string size;
  std::string username;
  std::string sha256;       // filled on request
  // As the module gave them, for a command file naming this item.
  std::string mainkey;
  std::string subkey;
};

std::vector<ListedItem> ItemsOfListing(const Response& listing);
std::vector<ListedItem> ItemsOfCheck(const CheckNode* head);

// The program and its arguments: a quoted first word, or the text up to the
// first program extension followed by a space, or up to the first space.
void SplitCommandLine(const std::string& commandLine, std::string* path, std::string* args);

// "HKCU" and "HKLM" spelt out, a trailing separator dropped: the form that
// source compares in.
std::string NormalSource(const std::string& source);

// The machine-readable form of a listing or check (hash column only when
// asked for; check findings have no state, source or version).
Sheet ListingSheet(const std::vector<ListedItem>& items, bool withHash);
Sheet CheckSheet(const std::vector<ListedItem>& items, bool withHash);

}  // namespace host
