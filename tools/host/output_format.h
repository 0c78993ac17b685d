// Records as a program reads them: JSON (one array), JSON Lines, CSV
// (RFC 4180). Every value is written in full; a numeric column is written
// as a JSON number.
#pragma once

#include <string>
#include <vector>

namespace host {

struct Sheet {
  std::vector<std::string> keys;  // field names, in column order
  std::vector<bool> numeric;      // per column: written as a number in JSON
  std::vector<std::vector<std::string>> rows;  // UTF-8 values, one per key

  void AddColumn(const std::string& key, bool isNumber = false);
};

std::string JsonString(const std::string& utf8);
std::string RenderJson(const Sheet& sheet);
std::string RenderJsonLines(const Sheet& sheet);
std::string RenderCsv(const Sheet& sheet);


}  // namespace host
