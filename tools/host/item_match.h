// Which listed items the user means: a number as list shows it, or a name
// compared as Windows compares names (ignoring case), narrowed by source
// when several items share the name.
#pragma once

#include <string>
#include <vector>

#include "tools/host/listed_item.h"

namespace host {

struct ItemChoice {
  std::vector<const ListedItem*> chosen;  // in the order asked for, each once
  std::vector<std::string> problems;      // one line per item not resolved
};

// wantEnabled: 1 only enabled items qualify, 0 only disabled, -1 any.
// Among several items of a name, those of the wanted state are preferred;
// more than one left is an ambiguity that lists them.
ItemChoice ChooseItems(const std::vector<ListedItem>& items, const std::vector<std::string>& asked,
                       const std::string& source, int wantEnabled);

// Names equal as Windows compares them.
bool SameName(const std::string& a, const std::string& b);

}  // namespace host
