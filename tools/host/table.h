// Plain-text tables for a terminal: columns sized by display width (East
// Asian characters take two columns), long cells cut with an ellipsis
// (unless the width is kNoCut), control characters shown escaped.
#pragma once

#include <string>
#include <vector>

constexpr size_t kNoCut = static_cast<size_t>(-1);

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headers, size_t maxCellWidth = 48);
  void AddRow(std::vector<std::string> cells);
  std::string Render() const;
  bool Empty() const { return rows_.empty(); }

 private:
  std::vector<std::string> headers_;
  std::vector<std::vector<std::string>> rows_;
  size_t maxCellWidth_;
};

// A value for one table cell: control characters (C0, DEL, C1) and the line
// and paragraph separators shown as escapes (\r, \n, \t, \xHH, \uHHHH), so
// that one item stays on one line.
std::string EscapeControls(const std::string& utf8);

// Display columns of a UTF-8 text.
size_t DisplayWidth(const std::string& utf8);
