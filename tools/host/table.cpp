#include "tools/host/table.h"

#include <algorithm>
#include <cstdio>

#include "platform/wtext.h"

namespace {

size_t UnitWidth(char32_t c) {
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6))
    return 2;
  return 1;
}

// Cuts a cell to at most width columns, marking the cut with "…".
std::string Fit(const std::string& utf8, size_t width) {
  std::u16string text = wtext::FromUtf8(utf8);
  if (width == kNoCut || DisplayWidth(utf8) <= width) return utf8;
  std::u16string out;
  size_t used = 0;
  for (char16_t c : text) {
    size_t w = UnitWidth(c);
    if (used + w + 1 > width) break;
    out.push_back(c);
    used += w;
  }
  return wtext::ToUtf8(out) + "…";
}

std::string HexText(unsigned value, int digits) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, digits == 2 ? "%02X" : "%04X", value);
  return buffer;
}

}  // namespace

std::string EscapeControls(const std::string& utf8) {
  std::u16string text = wtext::FromUtf8(utf8);
  std::u16string out;
  auto add = [&](const std::string& ascii) {
    for (char c : ascii) out.push_back(static_cast<char16_t>(c));
  };
  for (char16_t c : text) {
    if (c == u'\n') add("\\n");
    else if (c == u'\r') add("\\r");
    else if (c == u'\t') add("\\t");
    else if (c < 0x20 || c == 0x7F) add("\\x" + HexText(c, 2));
    else if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) add("\\u" + HexText(c, 4));
    else out.push_back(c);
  }
  return wtext::ToUtf8(out);
}

size_t DisplayWidth(const std::string& utf8) {
  size_t width = 0;
  for (char16_t c : wtext::FromUtf8(utf8)) width += UnitWidth(c);
  return width;
}

TextTable::TextTable(std::vector<std::string> headers, size_t maxCellWidth)
    : headers_(std::move(headers)), maxCellWidth_(maxCellWidth) {}

void TextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(headers_.size());
  for (std::string& cell : cells) cell = Fit(EscapeControls(cell), maxCellWidth_);
  rows_.push_back(std::move(cells));
}

std::string TextTable::Render() const {
  std::vector<size_t> widths(headers_.size());
  for (size_t i = 0; i < headers_.size(); ++i) widths[i] = DisplayWidth(headers_[i]);
  for (const auto& row : rows_)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  auto line = [&](const std::vector<std::string>& cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
      out += cells[i];
      if (i + 1 < cells.size()) out += std::string(widths[i] - DisplayWidth(cells[i]) + 2, ' ');
    }
    return out + "\n";
  };
  std::string out = line(headers_);
  std::vector<std::string> rule;
  for (size_t w : widths) rule.push_back(std::string(w, '-'));
  out += line(rule);
  for (const auto& row : rows_) out += line(row);
  return out;
}
