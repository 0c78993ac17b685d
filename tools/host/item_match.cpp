#include "tools/host/item_match.h"

#include <algorithm>
#include <cstdlib>

#include "platform/case_fold.h"
#include "platform/wtext.h"

namespace host {

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Qualifies(const ListedItem& item, int wantEnabled) {
  return wantEnabled < 0 || item.enabled == (wantEnabled == 1);
}

std::string Describe(const ListedItem& item) {
  return "#" + std::to_string(item.index) + " " + (item.enabled ? "enabled" : "disabled") + " in " + item.source;
}

const char* StateWord(int wantEnabled) { return wantEnabled == 1 ? "enabled" : "disabled"; }

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  std::u16string x = wtext::FromUtf8(a), y = wtext::FromUtf8(b);
  return platform::CompareFolded(x.c_str(), static_cast<unsigned long>(x.size()), y.c_str(),
                                 static_cast<unsigned long>(y.size())) == 0;
}

ItemChoice ChooseItems(const std::vector<ListedItem>& items, const std::vector<std::string>& asked,
                       const std::string& source, int wantEnabled) {
  ItemChoice choice;
  std::string wantedSource = source.empty() ? std::string() : NormalSource(source);
  auto take = [&](const ListedItem* item) {
    if (std::find(choice.chosen.begin(), choice.chosen.end(), item) == choice.chosen.end())
      choice.chosen.push_back(item);
  };
  for (const std::string& name : asked) {
    if (AllDigits(name)) {
      long index = std::atol(name.c_str());
      if (index < 1 || index > static_cast<long>(items.size())) {
        choice.problems.push_back("no item #" + name + " (list shows " + std::to_string(items.size()) + ")");
        continue;
      }
      const ListedItem& item = items[index - 1];
      if (!Qualifies(item, wantEnabled)) {
        choice.problems.push_back("#" + name + " " + item.name + " is not " + StateWord(wantEnabled));
        continue;
      }
      take(&item);
      continue;
    }
    std::vector<const ListedItem*> named;
    for (const ListedItem& item : items)
      if (SameName(item.name, name) && (wantedSource.empty() || NormalSource(item.source) == wantedSource))
        named.push_back(&item);
    if (named.empty()) {
      choice.problems.push_back("no item named " + name + (source.empty() ? "" : " in " + source));
      continue;
    }
    std::vector<const ListedItem*> fitting;
    for (const ListedItem* item : named)
      if (Qualifies(*item, wantEnabled)) fitting.push_back(item);
    if (fitting.empty()) {
      choice.problems.push_back("no " + std::string(StateWord(wantEnabled)) + " item named " + name + " (" +
                                Describe(*named.front()) + ")");
      continue;
    }
    if (fitting.size() > 1) {
      std::string line = "the name " + name + " is ambiguous; name one by number or with --source:";
      for (const ListedItem* item : fitting) line += "\n  " + Describe(*item);
      choice.problems.push_back(line);
      continue;
    }
    take(fitting.front());
  }
  return choice;
}

}  // namespace host
