// The words of the host's tables in English or Chinese. Machine-readable
// output never goes through here: it keeps the module's own texts.
#pragma once

#include <string>

#include "tools/host/listed_item.h"

namespace host {

class Labels {
 public:
  explicit Labels(bool chinese) : chinese_(chinese) {}
  bool chinese() const { return chinese_; }
  // A column heading, by the field name of the machine-readable formats.
  std::string Heading(const std::string& key) const;
  // The module's level text ("安全", "危险", "未知") in the table's language.
  std::string Level(const std::string& moduleText) const;
  std::string State(const ListedItem& item) const;
  // Where an item lives, short: "HKCU\Run", "HKLM\Run (32-bit)", "startup (user)".
  std::string Where(const ListedItem& item) const;
  // One word: English, or the Chinese of the same word.
  std::string Word(const std::string& english) const;

 private:
  bool chinese_;
};

}  // namespace host
