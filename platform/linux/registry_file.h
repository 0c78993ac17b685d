// One registry file in Wine's text format ("WINE REGISTRY Version 2"), held
// as a key tree that remembers the text it was read from.
//
// Reading and writing are faithful: a key whose values were not changed is
// written back with the exact bytes it was read with, and so are the lines
// this reader does not understand (comments, options, malformed lines).
// Changed keys are written as Wine writes them. New keys and values go where
// Wine would put them: names sorted ignoring case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace platform {
namespace regfile {

struct Value {
  std::u16string name;    // empty: the key's default value
  DWORD type = 0;
  std::string data;       // the value's bytes as stored
  std::string leading;    // unknown lines that stood right before it
  std::string raw;        // its text as read; empty once changed
};

struct Key {
  std::u16string name;
  Key* parent = nullptr;
  std::vector<std::unique_ptr<Key>> children;
  std::vector<Value> values;
  bool hasSection = false;  // written as a "[...]" section of its own
  std::string head;         // the section line and its option lines, as read
  std::string tail;         // unknown lines after its last value
  bool changed = false;     // head is rebuilt (new time stamp) on output
};

// Path components of a key below the file's root.
using KeyPath = std::vector<std::u16string>;

// Order of names as Wine keeps them: upper-cased unit by unit, then length.
int CompareNames(const std::u16string& a, const std::u16string& b);

class File {
 public:
  File();
  // Starts an empty file with the header Wine writes for the given root
  // ("REGISTRY\\Machine" or "REGISTRY\\User\\S-...").
  void Reset(const std::string& relativeTo);
  // Reads a file's text. False (and an empty tree) when it does not start
  // with Wine's header line.
  bool Parse(const std::string& text);
  // The file's text with every change applied.
  std::string Serialize() const;

  Key* Root() { return root_.get(); }
  // Null when the key does not exist. An empty path is the root.
  Key* Find(const KeyPath& path);
  // Creates missing keys along the path; *created tells whether the last
  // one is new.
  Key* Create(const KeyPath& path, bool* created);
  // Deletes a key (not the root) and everything below it.
  void Delete(Key* key);

  static Value* FindValue(Key* key, const std::u16string& name);
  void SetValue(Key* key, const std::u16string& name, DWORD type, const std::string& data);
  // False when the key has no such value.
  bool DeleteValue(Key* key, const std::u16string& name);

  // Time stamp written into changed sections (seconds since 1970); tests
  // and callers may fix it, otherwise the current time is used.
  void SetClock(int64_t unixSeconds) { clock_ = unixSeconds; }

 private:
  void GiveSection(Key* key);
  void MarkChanged(Key* key);
  std::string Head(const Key* key) const;

  std::string header_;        // everything before the first section
  std::vector<Key*> order_;   // keys that have a section, in file order
  std::unique_ptr<Key> root_;
  int64_t clock_ = -1;
};

// Wine's escaping of a name or string: `\` and the two given characters are
// escaped, control characters as C escapes or octal, non-ASCII as \x.
std::string EscapeText(const char16_t* text, size_t units, const char* special);
// The line (or lines) Wine writes for a value, with the final newline.
std::string DumpValue(const Value& value);
// Parses one logical value line (continuation lines already joined); false
// when malformed. *needsMore: hex data ends in `\`, so the caller joins the
// next line (without its leading blanks) after dropping that backslash and
// parses again.
bool ParseValueText(const std::string& line, Value* value, bool* needsMore);

}  // namespace regfile
}  // namespace platform
