// One registry file in Wine's text format ("WINE REGISTRY Version 2"), held
// as a key tree that remembers the text it was read from.
//
// Reading follows Wine's own loader line by line: the same line splitting
// (including its handling of NUL bytes and of a missing final line end), the
// same escapes and data forms, the same options, and the same outcome for
// duplicate keys and values and for every malformed line: what Wine drops or
// refuses is dropped or refused here.
//
// Writing is faithful: every section of a key that was not changed is
// written back with the bytes it was read with, lines this reader ignores
// included. A changed key is written once, as Wine writes it, at the place of
// its first section, with all its values merged; its later duplicate sections
// and the value lines Wine overrides are left out. New keys and values go
// where Wine would put them: names sorted ignoring case.
//
// Reading is lazy where that is exact: a file without NUL bytes is read
// section line by section line, and a key's values are read from its
// sections' text when the key is first handed out (Find, Create, Root,
// Subtree, FindValue). A file with NUL bytes is read whole at once, since
// Wine's cut of such a line depends on every line before it.
//
// In such a file the keys themselves are made as they are looked up, when
// every section line names its key plainly (no line goes through a
// symbolic link, none is refused): the reading then only notes where each
// section is, and a key's sub-keys are made from its sections' lines the
// first time the key is passed through. A change, Root and Delete make
// every key first, so what is written is what a whole reading gives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace platform {
namespace regfile {

struct Value {
  std::u16string name;    // empty: the key's default value
  DWORD type = 0;
  std::string data;       // the value's bytes as stored
  std::string leading;    // ignored lines that stood right before it
  std::string raw;        // its text as read; empty once changed (or when
                          // the text was malformed: it is then rewritten)
};

// Values of a key by folded name, for keys too large for a linear search:
// open addressing over (hash << 32 | index + 1) slots. It covers the first
// `count` values; values appended since are added on the next look-up, and
// any other change of the list drops it.
struct ValueIndex {
  std::vector<uint64_t> slots;
  size_t count = 0;
};

struct Key {
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  // Frees the subtree without recursion, however deep it is.
  ~Key();

  std::u16string name;
  Key* parent = nullptr;
  std::vector<std::unique_ptr<Key>> children;
  std::vector<Value> values;
  bool hasSection = false;  // written as a "[...]" section of its own
  bool link = false;        // "#link": a symbolic link to another key
  std::string head;         // the section line and its option lines, as read
  std::string tail;         // ignored lines after its last value
  bool changed = false;     // head is rebuilt (new time stamp) on output

  // Sections of this key whose lines are not read yet (a lazily read file),
  // in file order; first: the key's first section (its head).
  struct Unread {
    const std::string* text;
    size_t begin, end;
    bool first;
  };
  std::vector<Unread> unread;
  bool valuesRead = false;  // unread has been read into values (File::ForgetValues)
  ValueIndex index;

  // Sections below this key whose keys are not made yet (a lazily read
  // file), in file order: a list through the file's section blocks (each
  // section is pending below one key at a time), by their places among the
  // file's sections.
  static constexpr uint32_t kNoSection = UINT32_MAX;
  struct Pending {
    uint32_t first = kNoSection, last = kNoSection;
    bool empty() const { return first == kNoSection; }
  };
  Pending pending;
};


// Path components of a key below the file's root.
using KeyPath = std::vector<std::u16string>;

// Order of names as Wine keeps them: upper-cased unit by unit, then length.
int CompareNames(const std::u16string& a, const std::u16string& b);

class File {
 public:
  File();
  // Starts an empty file with the header Wine writes for the given root
  // ("REGISTRY\\Machine" or "REGISTRY\\User\\S-..."). The root stays for
  // later reads: symbolic links are resolved against it, as Wine resolves
  // them against the key the file is loaded into.
  void Reset(const std::string& relativeTo);
  // Reads a file's text. False (and an empty tree) when Wine refuses it: a
  // first line other than Wine's header, or an unknown "#arch=". lazily:
  // values are read when their key is first handed out (the text is kept
  // until then); otherwise everything is read now.
  bool Parse(std::string text, bool lazily = true);
  // The file's text with every change applied.
  std::string Serialize() const;

  // The root with every key's values read.
  Key* Root();
  // Every key below and including from, parents before children, without
  // recursion; their values read. Only for a tree that is whole: Root()
  // makes every key of a lazily read file.
  static std::vector<Key*> Subtree(Key* from);
  // Null when the key does not exist. An empty path is the root. Symbolic
  // links along the path are followed, as Wine follows them.
  Key* Find(const KeyPath& path);
  // Creates missing keys along the path; *created tells whether the last
  // one is new. Null when the path leads through a link Wine cannot follow.
  Key* Create(const KeyPath& path, bool* created);
  // Deletes a key (not the root) and everything below it.
  void Delete(Key* key);

  // Drops the values a key's unread sections were read into when nothing of
  // the key changed since: they are read again from the same text when the
  // key is next handed out, so a key holds them only while it is in use.
  // False (the values kept) for a changed key or one not read lazily.
  bool ForgetValues(Key* key);
  // The same for the key at path, found without reading its values.
  bool ForgetValues(const KeyPath& path);

  static Value* FindValue(Key* key, const std::u16string& name);
  void SetValue(Key* key, const std::u16string& name, DWORD type, const std::string& data);
  // False when the key has no such value.
  bool DeleteValue(Key* key, const std::u16string& name);

  // Time stamp written into changed sections (seconds since 1970); tests
  // and callers may fix it, otherwise the current time is used.
  void SetClock(int64_t unixSeconds) { clock_ = unixSeconds; }

 private:
  // One "[...]" section line and the lines up to the next one, in file
  // order. key is null for a section Wine refuses (its lines are ignored).
  struct Block {
    Key* key = nullptr;
    Key* partial = nullptr;  // refused: the last key its line made
    // The lines as read, unless inText (kept apart: most blocks are text_'s).
    std::unique_ptr<std::string> own;
    bool first = false;   // the key's first section: a rewrite goes here
    bool inText = false;  // the lines are text_'s [from, from + length)
    bool link = false;    // lazily read: the section holds "#link"
    // A lazily read file is smaller than 4 GB: offsets into text_. Lazily
    // read, also where the section's lines after its section line start,
    // and where its head (section line and the option lines right after
    // it) ends.
    uint32_t from = 0, length = 0, bodyFrom = 0, headEnd = 0;
    // Lazily read, while its key is not made: the next section pending
    // below the same key, and where the rest of its name starts in its
    // section line.
    uint32_t nextPending = Key::kNoSection, nameAt = 0;

    std::string& Text() {
      if (!own) own = std::make_unique<std::string>();
      return *own;
    }
  };
  std::string_view TextOf(const Block& block) const;
  class Loader;

  // Reads the lines of a key's unread sections into its values (their
  // leading lines, its tail): what a whole reading would have made of them.
  // The sections stay noted, for ForgetValues.
  static void LoadValues(Key* key);
  // Makes the sub-keys of key from its pending sections (a lazily read
  // file); every key of the file, for ExpandAll.
  void Expand(Key* key);
  // Puts a section at the end of the ones pending below key.
  void AddPending(Key* key, uint32_t section, uint32_t nameAt);
  void ExpandAll();
  // The key at path (links followed), its own sub-keys and values not yet
  // made or read; null when there is none.
  Key* Reach(const KeyPath& path);
  // Sub-key look-up and creation, through the reading's table while a file
  // is read (sub-keys unsorted until EndChildTable), else sorted.
  Key* Child(Key* key, const char16_t* name, size_t units);
  Key* NewChild(Key* key, const char16_t* name, size_t units);
  void StartChildTable(size_t slots = 1024);  // a power of two
  void EndChildTable();
  void PlaceChild(Key* child, size_t hash);

  // The key a symbolic link leads to (key itself when it is no link), or
  // null when Wine cannot follow it. Only targets inside this file are
  // known. last: the link ends a section line, so a missing last name of
  // its target is made, as Wine makes it.
  Key* Follow(Key* key, bool last, int depth);
  // The section where a link key becomes one in the written text.
  size_t LinkBlock(const Key* key) const;
  void GiveSection(Key* key);
  void MarkChanged(Key* key);
  std::string Head(const Key* key) const;

  std::string header_;         // everything before the first section
  std::unique_ptr<const std::string> text_;  // what unread sections point into
  bool allLoaded_ = true;      // no key has unread sections
  bool lazyTree_ = false;      // some keys are not made yet (Key::pending)
  bool readingChildren_ = false;
  // (parent, folded name) while reading; each slot keeps its hash, so a
  // probe passes other keys without reading them.
  struct ChildSlot {
    Key* key = nullptr;
    size_t hash = 0;
  };
  std::vector<ChildSlot> childSlots_;
  size_t childCount_ = 0;
  std::vector<Key*> unsorted_;    // parents whose sub-keys came out of order
  std::vector<Block> blocks_;  // the sections, in file order
  std::unique_ptr<Key> root_;
  KeyPath rootPath_;           // the absolute path of the file's root key
  int64_t clock_ = -1;
};

// Wine's escaping of a name or string: `\` and the two given characters are
// escaped, control characters as C escapes or octal, non-ASCII as \x.
std::string EscapeText(const char16_t* text, size_t units, const char* special);
// The line (or lines) Wine writes for a value, with the final newline.
std::string DumpValue(const Value& value);

}  // namespace regfile
}  // namespace platform
