#include "tools/host/output_format.h"

#include <cstdio>

#include "platform/wtext.h"

namespace host {

namespace {

std::string Hex(unsigned value, int digits) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, digits == 2 ? "%02X" : "%04X", value);
  return buffer;
}

// A JSON number: optional minus, digits. Anything else is written as a
// string, so a value the module sent malformed still parses.
bool IsJsonInteger(const std::string& text) {
  size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (i >= text.size()) return false;
  if (text[i] == '0' && i + 1 < text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

std::string JsonObject(const Sheet& sheet, const std::vector<std::string>& row) {
  std::string out = "{";
  for (size_t i = 0; i < sheet.keys.size(); ++i) {
    if (i > 0) out += ",";
    out += JsonString(sheet.keys[i]) + ":";
    const std::string& value = i < row.size() ? row[i] : std::string();
    if (sheet.numeric[i] && IsJsonInteger(value))
      out += value;
    else if (sheet.numeric[i] && value.empty())
      out += "null";
    else
      out += JsonString(value);
  }
  return out + "}";
}

std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string CsvLine(const std::vector<std::string>& cells) {
  std::string out;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += ",";
    out += CsvField(cells[i]);
  }
  return out + "\r\n";
}

}  // namespace

void Sheet::AddColumn(const std::string& key, bool isNumber) {
  keys.push_back(key);
  numeric.push_back(isNumber);
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F)
          out += "\\u" + Hex(c, 4);
        else
          out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

std::string RenderJson(const Sheet& sheet) {
  std::string out = "[";
  for (size_t i = 0; i < sheet.rows.size(); ++i) out += (i > 0 ? ",\n " : "\n ") + JsonObject(sheet, sheet.rows[i]);
  return out + (sheet.rows.empty() ? "]\n" : "\n]\n");
}

std::string RenderJsonLines(const Sheet& sheet) {
  std::string out;
  for (const auto& row : sheet.rows) out += JsonObject(sheet, row) + "\n";
  return out;
}

std::string RenderCsv(const Sheet& sheet) {
  std::string out = CsvLine(sheet.keys);
  for (auto row : sheet.rows) {
    row.resize(sheet.keys.size());
    out += CsvLine(row);
  }
  return out;
}

}  // namespace host
