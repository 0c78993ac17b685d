// Consistency checks of a MarkupDoc's element index against its text, shared
// by the markup tests and the parse-and-edit fuzzer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "markup/markup_doc.h"

namespace markup_check {

inline std::string Describe(int32_t index, const char* what) {
  return "element " + std::to_string(index) + ": " + what;
}

// Empty when every element is reachable exactly once from the document
// record, its links agree with the walk, its start points at '<' followed by
// its name, its tags lie within the text and children lie inside parents.
inline std::string CheckIndex(const MarkupDoc& doc) {
  const std::u16string& text = doc.GetText();
  const int64_t textLength = static_cast<int64_t>(text.size());
  const int32_t count = doc.GetElementCount();
  if (count < 1) return "no document record";
  const ElementEntry& document = doc.GetElement(0);
  if (document.start != 0 || document.length != textLength) return "document record does not span the text";
  if (document.StartTagLength() != 0) return "document record has a start tag";

  std::vector<char> seen(static_cast<size_t>(count), 0);
  int32_t visited = 0;
  // Iterative walk: (parent, child) pairs.
  std::vector<int32_t> parents{0};
  while (!parents.empty()) {
    const int32_t parent = parents.back();
    parents.pop_back();
    const ElementEntry& up = doc.GetElement(parent);
    const int64_t innerStart = parent == 0 ? 0 : int64_t{up.start} + up.StartTagLength();
    const int64_t innerEnd = parent == 0 ? textLength : int64_t{up.start} + up.length - up.EndTagLength();
    int32_t previous = 0;
    int64_t previousEnd = innerStart;
    int32_t last = 0;
    for (int32_t i = up.firstChild; i != 0; i = doc.GetElement(i).next) {
      if (i < 1 || i >= count) return Describe(i, "index out of range");
      if (seen[static_cast<size_t>(i)]) return Describe(i, "reached twice");
      seen[static_cast<size_t>(i)] = 1;
      ++visited;
      const ElementEntry& e = doc.GetElement(i);
      if (e.parent != parent) return Describe(i, "parent link disagrees");
      const bool first = previous == 0;
      if (first != ((e.flagsLevel & ElementEntry::kFirstChild) != 0)) return Describe(i, "first-child flag wrong");
      if (!first && e.prev != previous) return Describe(i, "prev link disagrees");
      const int64_t start = e.start;
      const int64_t stl = e.StartTagLength();
      const int64_t etl = e.EndTagLength();
      if (start < previousEnd) return Describe(i, "starts before the end of its previous sibling");
      if (stl < 3 || etl < 0 || stl > e.length) return Describe(i, "tag lengths out of range");
      if (start + e.length > innerEnd) return Describe(i, "ends outside its parent");
      if (text[static_cast<size_t>(start)] != u'<') return Describe(i, "start is not '<'");
      std::u16string name = doc.GetTagName(i);
      if (name.empty() || text.compare(static_cast<size_t>(start + 1), name.size(), name) != 0)
        return Describe(i, "name not after '<'");
      if (text[static_cast<size_t>(start + stl - 1)] != u'>') return Describe(i, "start tag does not end with '>'");
      if (etl > 0) {
        const int64_t endTag = start + e.length - etl;
        if (endTag < start + stl || text.compare(static_cast<size_t>(endTag), 2, u"</") != 0 ||
            text[static_cast<size_t>(start + e.length - 1)] != u'>')
          return Describe(i, "end tag not where its length says");
      } else if (e.length != stl) {
        return Describe(i, "no end tag but longer than its start tag");
      }
      if (e.firstChild != 0) {
        if (etl == 0) return Describe(i, "children without end tag");
        parents.push_back(i);
      }
      previous = i;
      previousEnd = start + e.length;
      last = i;
    }
    if (up.firstChild != 0 && doc.GetElement(up.firstChild).prev != last)
      return Describe(up.firstChild, "first child's prev does not name the last");
  }
  if (visited != count - 1) return "unreachable elements: " + std::to_string(count - 1 - visited);
  return std::string();
}

// The element tree as text, one line per element: depth, name, and offsets
// when withOffsets is set.
inline std::u16string DumpTree(const MarkupDoc& doc, bool withOffsets) {
  std::u16string out;
  std::vector<std::pair<int32_t, int32_t>> stack;  // element, depth
  auto pushChildren = [&](int32_t parent, int32_t depth) {
    std::vector<int32_t> children;
    for (int32_t i = doc.GetElement(parent).firstChild; i != 0; i = doc.GetElement(i).next) children.push_back(i);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.emplace_back(*it, depth);
  };
  pushChildren(0, 0);
  while (!stack.empty()) {
    auto [index, depth] = stack.back();
    stack.pop_back();
    out.append(static_cast<size_t>(depth), u' ');
    out += doc.GetTagName(index);
    if (withOffsets) {
      const ElementEntry& e = doc.GetElement(index);
      for (int64_t n : {int64_t{e.start}, int64_t{e.length}, int64_t{e.StartTagLength()}, int64_t{e.EndTagLength()}}) {
        out += u' ';
        for (char c : std::to_string(n)) out += static_cast<char16_t>(c);
      }
    }
    out += u'\n';
    pushChildren(index, depth + 1);
  }
  return out;
}

}  // namespace markup_check
