// Plain-text tables for a terminal: columns sized by display width (East
// Asian characters take two columns), long cells cut with an ellipsis.
#pragma once

#include <string>
#include <vector>

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headers, size_t maxCellWidth = 48);
  void AddRow(std::vector<std::string> cells);
  std::string Render() const;

 private:
  std::vector<std::string> headers_;
  std::vector<std::vector<std::string>> rows_;
  size_t maxCellWidth_;
};

// Display columns of a UTF-8 text.
size_t DisplayWidth(const std::string& utf8);
