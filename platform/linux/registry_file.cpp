#include "platform/linux/registry_file.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/case_fold.h"
#include "platform/large_pages.h"

namespace platform {
namespace regfile {

namespace {

constexpr char kHeaderLine[] = "WINE REGISTRY Version 2";
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeEpoch = 116444736000000000ull;

// The C locale's classes, as Wine's loader sees bytes.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// strtoul(s, &end, 16) of the C library on a 64-bit host (Wine's server is
// one): blanks, a sign and a "0x" prefix are accepted; overflow gives the
// largest value; *end is s itself when no digit was read.
uint64_t StrToUl16(const char* s, const char** end) {
  const char* p = s;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && IsHexDigit(p[2])) p += 2;
  if (!IsHexDigit(*p)) {
    if (end != nullptr) *end = s;
    return 0;
  }
  uint64_t v = 0;
  bool overflow = false;
  for (; IsHexDigit(*p); ++p) {
    if (v > (~uint64_t(0) >> 4)) overflow = true;
    v = (v << 4) | uint64_t(HexValue(*p));
  }
  if (end != nullptr) *end = p;
  if (overflow) return ~uint64_t(0);
  return negative ? uint64_t(0) - v : v;
}

// One step of Wine's reading of escaped text: the units of the escape or
// character at *at (none for bytes that do not form a valid UTF-8 sequence,
// which Wine drops), *at moved past it. -1 at the end of the text (a NUL
// byte, also right after a final backslash) or at an unescaped endChar,
// where *at then stays. Escapes: C letters, \x with up to four hex digits,
// octal with up to three; any other escaped character stands for itself.
int DecodeUnits(const char** at, char endChar, char16_t out[2]) {
  const char* p = *at;
  if (!*p || *p == endChar) return -1;
  int count = -2;  // not an escape
  if (*p == '\\') {
    ++p;
    if (!*p) {
      *at = p;
      return -1;
    }
    count = 1;
    switch (*p) {
      case 'a': out[0] = u'\a'; ++p; break;
      case 'b': out[0] = u'\b'; ++p; break;
      case 'e': out[0] = char16_t(0x1B); ++p; break;
      case 'f': out[0] = u'\f'; ++p; break;
      case 'n': out[0] = u'\n'; ++p; break;
      case 'r': out[0] = u'\r'; ++p; break;
      case 't': out[0] = u'\t'; ++p; break;
      case 'v': out[0] = u'\v'; ++p; break;
      case 'x': {
        ++p;
        char16_t v = u'x';
        if (IsHexDigit(*p)) {
          v = char16_t(HexValue(*p++));
          for (int i = 0; i < 3 && IsHexDigit(*p); ++i) v = char16_t(v * 16 + HexValue(*p++));
        }
        out[0] = v;
        break;
      }
      case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
        char16_t v = char16_t(*p++ - '0');
        for (int i = 0; i < 2 && *p >= '0' && *p <= '7'; ++i) v = char16_t(v * 8 + (*p++ - '0'));
        out[0] = v;
        break;
      }
      default:
        count = -2;  // the escaped character stands for itself
        break;
    }
    if (count == 1) {
      *at = p;
      return 1;
    }
  }
  unsigned char ch = static_cast<unsigned char>(*p++);
  *at = p;
  if (ch < 0x80) {
    out[0] = ch;
    return 1;
  }
  // Sequence length after the first byte; 0: not a valid first byte.
  int extra = ch >= 0xC2 && ch <= 0xDF ? 1 : ch >= 0xE0 && ch <= 0xEF ? 2 : ch >= 0xF0 && ch <= 0xF4 ? 3 : 0;
  if (extra == 0) return 0;
  static const unsigned char kMask[4] = {0x7F, 0x1F, 0x0F, 0x07};
  static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  uint32_t cp = ch & kMask[extra];
  for (int i = 0; i < extra; ++i) {
    unsigned char c = static_cast<unsigned char>(static_cast<unsigned char>(*p) ^ 0x80);
    if (c >= 0x40) {
      *at = p;
      return 0;
    }
    cp = (cp << 6) | c;
    ++p;
  }
  *at = p;
  if (cp < kMin[extra] || cp > 0x10FFFF) return 0;
  if (cp <= 0xFFFF) {
    out[0] = char16_t(cp);
    return 1;
  }
  cp -= 0x10000;
  out[0] = char16_t(0xD800 | (cp >> 10));
  out[1] = char16_t(0xDC00 | (cp & 0x3FF));
  return 2;
}

// A run of plain ASCII from *at appended to out, *at moved past it: bytes 1
// to 127 other than the escape character and endChar, which stand for
// themselves, unit for byte. Readers take such a run at once rather than one
// DecodeUnits step each.
void AppendPlainRun(const char** at, char endChar, std::u16string* out) {
  const char* run = *at;
  const char* p = run;
  while (static_cast<unsigned char>(*p - 1) < 0x7F && *p != '\\' && *p != endChar) ++p;
  if (p == run) return;
  const size_t old = out->size();
  out->resize(old + size_t(p - run));
  for (size_t i = 0; run + i < p; ++i) (*out)[old + i] = char16_t(run[i]);
  *at = p;
}

// Wine's reading of escaped text: from src up to the unescaped endChar.
// Returns the bytes read including endChar, or -1 when endChar is missing.
long ParseStrW(const char* src, char endChar, std::u16string* out) {
  out->clear();
  const char* p = src;
  char16_t units[2];
  for (;;) {
    AppendPlainRun(&p, endChar, out);
    const int n = DecodeUnits(&p, endChar, units);
    if (n < 0) break;
    out->append(units, size_t(n));
  }
  if (!*p) return -1;
  return long(p + 1 - src);
}

// Appends a line end when text does not end with one. After a CR it is CR LF:
// Wine takes one CR off a line that ends in CR LF, so the line still reads
// as it did when it was the last one.
void EndLine(std::string* text) {
  if (text->empty() || text->back() == '\n') return;
  *text += text->back() == '\r' ? "\r\n" : "\n";
}

void AppendLine(std::string* out, const std::string& piece) {
  if (piece.empty()) return;
  EndLine(out);
  *out += piece;
}

std::string Utf16Bytes(const std::u16string& text, bool terminate) {
  std::string bytes;
  bytes.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  if (terminate) bytes.append(2, '\0');
  return bytes;
}

std::string Hex(const char* format, unsigned long long v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

KeyPath PathOf(const Key* key) {
  KeyPath path;
  for (; key != nullptr && key->parent != nullptr; key = key->parent) path.push_back(key->name);
  std::reverse(path.begin(), path.end());
  return path;
}

// Depth-first order of the file: parents before children, siblings sorted.
bool PathLess(const KeyPath& a, const KeyPath& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int c = CompareNames(a[i], b[i]);
    if (c != 0) return c < 0;
  }
  return a.size() < b.size();
}

// A name escaped as Wine escapes it, except that a final NUL unit is kept:
// Wine drops it as a terminator when it writes a name, and then reads the
// name back without it.
std::string EscapeName(const std::u16string& name, const char* special) {
  std::string text = EscapeText(name.data(), name.size(), special);
  if (!name.empty() && name.back() == 0) text += "\\0";
  return text;
}

// The names of a path, empty names dropped.
KeyPath SplitPath(const std::u16string& path) {
  KeyPath names;
  size_t start = 0;
  for (size_t k = 0; k <= path.size(); ++k) {
    if (k == path.size() || path[k] == u'\\') {
      if (k > start) names.push_back(path.substr(start, k - start));
      start = k + 1;
    }
  }
  return names;
}

// A key's path as Wine writes it in a section line.
std::string SectionName(const Key* key) {
  std::string path;
  KeyPath names = PathOf(key);
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) path += "\\\\";
    path += EscapeName(names[i], "[]");
  }
  // Wine reads a section line whose name starts with a NUL unit as the
  // root; a leading separator (an empty name, skipped) avoids that.
  if (!names.empty() && !names[0].empty() && names[0][0] == 0) path = "\\\\" + path;
  return path;
}

// A section line Wine always refuses after making the keys down to key: a
// name longer than Wine allows follows them.
std::string RefusedSectionLine(const Key* key) {
  std::string path = SectionName(key);
  return "[" + path + (path.empty() ? "" : "\\\\") + std::string(257, 'x') + "]\n";
}

size_t SortedPosition(const std::vector<Value>& values, const std::u16string& name) {
  size_t i = 0;
  while (i < values.size() && CompareNames(values[i].name, name) <= 0) ++i;
  return i;
}

// Sub-keys are always kept sorted (AddChild inserts in order), so both
// lookups are binary searches: Software\Classes alone holds thousands.
Key* FindChild(Key* key, const std::u16string& name) {
  auto it = std::lower_bound(key->children.begin(), key->children.end(), name,
                             [](const std::unique_ptr<Key>& k, const std::u16string& n) {
                               return CompareNames(k->name, n) < 0;
                             });
  return it != key->children.end() && CompareNames((*it)->name, name) == 0 ? it->get() : nullptr;
}

Key* AddChild(Key* key, const std::u16string& name) {
  auto child = std::make_unique<Key>();
  child->name = name;
  child->parent = key;
  Key* raw = child.get();
  auto at = std::upper_bound(key->children.begin(), key->children.end(), name,
                             [](const std::u16string& n, const std::unique_ptr<Key>& k) {
                               return CompareNames(n, k->name) < 0;
                             });
  key->children.insert(at, std::move(child));
  return raw;
}

}  // namespace

int CompareNames(const std::u16string& a, const std::u16string& b) {
  return CompareFolded(a.data(), a.size(), b.data(), b.size());
}

namespace {

// Keys with fewer values are searched from the start: cheaper than hashing.
constexpr size_t kIndexFrom = 16;
constexpr size_t kNoValue = ~size_t(0);

// FoldCaseForCompare of the ASCII units, looked up once: names are mostly
// ASCII and are hashed unit by unit.
struct AsciiFold {
  char16_t unit[128];
  AsciiFold() {
    for (char16_t c = 0; c < 128; ++c) unit[c] = FoldCaseForCompare(c);
  }
};

// Names equal to CompareNames hash alike: the hash is over folded units.
uint32_t FoldedHash(const char16_t* units, size_t count) {
  static const AsciiFold ascii;
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < count; ++i) {
    const char16_t c = units[i];
    hash = (hash ^ (c < 128 ? ascii.unit[c] : FoldCaseForCompare(c))) * 16777619u;
  }
  return hash;
}
uint32_t FoldedHash(const std::u16string& name) { return FoldedHash(name.data(), name.size()); }

void IndexInsert(ValueIndex* index, uint32_t hash, size_t at) {
  const size_t mask = index->slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    if (index->slots[i] == 0) {
      index->slots[i] = uint64_t(hash) << 32 | uint64_t(at + 1);
      return;
    }
  }
}

// Brings the key's index up to its values, rebuilt at most half full. Values
// go in in list order, so of two of one name the first is found.
void CoverValues(Key* key) {
  ValueIndex& index = key->index;
  const std::vector<Value>& values = key->values;
  if (index.count > values.size() || index.slots.size() < 2 * values.size()) {
    size_t size = 64;
    while (size < 4 * values.size()) size *= 2;
    index.slots.assign(size, 0);
    index.count = 0;
  }
  for (; index.count < values.size(); ++index.count)
    IndexInsert(&index, FoldedHash(values[index.count].name), index.count);
}

void DropIndex(Key* key) {
  key->index.slots.clear();
  key->index.count = 0;
}

// Where the key's value of that name is, or kNoValue.
size_t ValueAt(Key* key, const std::u16string& name) {
  const std::vector<Value>& values = key->values;
  if (values.size() < kIndexFrom) {
    for (size_t i = 0; i < values.size(); ++i)
      if (CompareNames(values[i].name, name) == 0) return i;
    return kNoValue;
  }
  CoverValues(key);
  const std::vector<uint64_t>& slots = key->index.slots;
  const uint32_t hash = FoldedHash(name);
  const size_t mask = slots.size() - 1;
  for (size_t i = hash & mask; slots[i] != 0; i = (i + 1) & mask) {
    if (uint32_t(slots[i] >> 32) != hash) continue;
    size_t at = size_t(uint32_t(slots[i])) - 1;
    if (CompareNames(values[at].name, name) == 0) return at;
  }
  return kNoValue;
}

}  // namespace

std::string EscapeText(const char16_t* text, size_t units, const char* special) {
  static const char kEscapes[33] = ".......abtnvfr.............e....";
  std::string out;
  for (size_t i = 0; i < units; ++i) {
    char16_t c = text[i];
    size_t left = units - i;
    if (c > 127) {
      bool hexFollows = left > 1 && text[i + 1] < 128 && IsHexDigit(char(text[i + 1]));
      out += Hex(hexFollows ? "\\x%04llx" : "\\x%llx", c);
      continue;
    }
    if (c < 32) {
      if (c == 0 && left == 1) continue;  // the terminator is implied
      if (kEscapes[c] != '.') {
        out += '\\';
        out += kEscapes[c];
      } else if (left > 1 && text[i + 1] >= u'0' && text[i + 1] <= u'7') {
        out += Hex("\\%03llo", c);
      } else {
        out += Hex("\\%llo", c);
      }
      continue;
    }
    if (c == u'\\' || c == char16_t(special[0]) || c == char16_t(special[1])) out += '\\';
    out += char(c);
  }
  return out;
}

std::string DumpValue(const Value& value) {
  std::string out;
  size_t count;
  if (!value.name.empty()) {
    std::string name = EscapeName(value.name, "\"\"");
    out = "\"" + name + "\"=";
    count = 1 + name.size() + 2;
  } else {
    out = "@=";
    count = 2;
  }
  const std::string& data = value.data;
  size_t len = data.size();
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
      // Only properly terminated text is written as a string.
      if (len >= 2 && len % 2 == 0 && data[len - 1] == 0 && data[len - 2] == 0) {
        std::u16string units(len / 2, u'\0');
        for (size_t i = 0; i < len / 2; ++i)
          units[i] = char16_t(uint8_t(data[2 * i]) | (uint8_t(data[2 * i + 1]) << 8));
        if (value.type != REG_SZ) out += Hex("str(%llx):", value.type);
        out += '"';
        out += EscapeText(units.data(), units.size(), "\"\"");
        out += "\"\n";
        return out;
      }
      break;
    case REG_DWORD:
      if (len == 4) {
        uint32_t dw = uint32_t(uint8_t(data[0])) | uint32_t(uint8_t(data[1])) << 8 |
                      uint32_t(uint8_t(data[2])) << 16 | uint32_t(uint8_t(data[3])) << 24;
        out += Hex("dword:%08llx\n", dw);
        return out;
      }
      break;
    default:
      break;
  }
  std::string tag = value.type == REG_BINARY ? std::string("hex:") : Hex("hex(%llx):", value.type);
  out += tag;
  count += tag.size();
  for (size_t i = 0; i < len; ++i) {
    out += Hex("%02llx", uint8_t(data[i]));
    count += 2;
    if (i + 1 < len) {
      out += ',';
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  out += '\n';
  return out;
}

File::File() { Reset("REGISTRY\\\\Machine"); }

void File::Reset(const std::string& relativeTo) {
  std::u16string root;
  std::string escaped = relativeTo + "]";
  rootPath_ = ParseStrW(escaped.c_str(), ']', &root) < 0 ? KeyPath() : SplitPath(root);
  header_ = std::string(kHeaderLine) + "\n;; All keys relative to " + relativeTo + "\n\n#arch=win32\n";
  blocks_.clear();
  root_ = std::make_unique<Key>();
  text_.reset();
  allLoaded_ = true;
  lazyTree_ = false;
}

Key::~Key() {
  // Sub-keys are taken apart from a list, not by recursive destructors: a
  // file may nest keys tens of thousands deep.
  std::vector<std::unique_ptr<Key>> doomed;
  doomed.swap(children);
  while (!doomed.empty()) {
    std::unique_ptr<Key> key = std::move(doomed.back());
    doomed.pop_back();
    for (auto& child : key->children) doomed.push_back(std::move(child));
    key->children.clear();
  }
}

std::vector<Key*> File::Subtree(Key* from) {
  std::vector<Key*> out;
  if (from == nullptr) return out;
  std::vector<Key*> stack{from};
  while (!stack.empty()) {
    Key* key = stack.back();
    stack.pop_back();
    LoadValues(key);
    out.push_back(key);
    for (auto it = key->children.rbegin(); it != key->children.rend(); ++it) stack.push_back(it->get());
  }
  return out;
}

namespace {

// Wine's line reader: fgets into a buffer that starts at 4 bytes and grows
// by half whenever a line does not fit, never shrinking, then the length by
// strlen. So a line ends at its first NUL byte; when that NUL lies in a part
// read before the line end was reached, the rest of the line is read as the
// next line. One CR is taken off a line that ends in CR LF; the last line
// needs no line end (and then keeps a final CR).
class LineReader {
 public:
  // Reads the lines of text from begin up to end (a line start, or the end
  // of the text).
  explicit LineReader(const std::string& text, size_t begin = 0, size_t end = std::string::npos)
      : text_(text), pos_(begin), end_(std::min(end, text.size())) {}

  const std::string& Text() const { return text_; }
  size_t Position() const { return pos_; }

  // The next line's bytes, its line end included, as [*begin, *end) of the
  // text; only for a text without NUL bytes, where Wine's cut is the line
  // end. False at the end.
  bool NextSpan(size_t* begin, size_t* end) {
    if (pos_ >= end_) return false;
    *begin = pos_;
    const void* newline = std::memchr(text_.data() + pos_, '\n', end_ - pos_);
    pos_ = newline == nullptr ? end_ : size_t(static_cast<const char*>(newline) - text_.data()) + 1;
    *end = pos_;
    return true;
  }

  // The next line as Wine sees it, and the text kept for it: its bytes as
  // read, or, when Wine cut it at a NUL byte, what Wine saw and a line end.
  // False at the end of the text.
  bool Next(std::string* line, std::string* kept) {
    line->clear();
    const size_t n = end_;
    const size_t start = pos_;
    size_t newline = pos_ < n ? text_.find('\n', pos_) : std::string::npos;
    const size_t stop = newline == std::string::npos || newline >= n ? n : newline + 1;
    for (;;) {
      if (pos_ >= n) {
        if (line->empty()) return false;
        *kept = text_.substr(start, pos_ - start);
        return true;
      }
      size_t room = bufferSize_ - line->size() - 1;
      size_t end = std::min(pos_ + room, stop);
      const char* chunk = text_.data() + pos_;
      const char* nul = static_cast<const char*>(std::memchr(chunk, 0, end - pos_));
      pos_ = end;
      if (nul != nullptr) {
        line->append(chunk, size_t(nul - chunk));
        *kept = *line + (!line->empty() && line->back() == '\r' ? "\r\n" : "\n");
        return true;
      }
      line->append(chunk, size_t(end - (chunk - text_.data())));
      if (!line->empty() && line->back() == '\n') {
        line->pop_back();
        if (!line->empty() && line->back() == '\r') line->pop_back();
        *kept = text_.substr(start, pos_ - start);
        return true;
      }
      if (line->size() < bufferSize_ - 1) {  // the text ended inside the line
        *kept = text_.substr(start, pos_ - start);
        return true;
      }
      bufferSize_ += bufferSize_ / 2;
    }
  }

 private:
  const std::string& text_;
  size_t pos_ = 0;
  size_t end_ = 0;
  size_t bufferSize_ = 4;
};

// Wine's limits: a key name of 256 units, a value name of 16383, and 32
// symbolic links followed in one lookup.
constexpr size_t kMaxKeyName = 256;
constexpr size_t kMaxValueName = 16383;
constexpr int kMaxLinkDepth = 32;

}  // namespace

// Reads a file as Wine's loader does (load_keys and the functions it calls),
// building the tree and the blocks of text kept for writing. Three ways:
// whole (everything now), scan (a text without NUL bytes: section lines and
// options now, each section's other lines left to replay), and replay (the
// lines of one section of a key scanned before).
class File::Loader {
 public:
  enum class Mode { kWhole, kScan, kReplay };
  enum class Outcome { kRefused, kRead, kReadWhole, kReadWithKeys };

  // keysLater: a scan that makes no keys, only notes the sections
  // (File::Expand makes the keys).
  Loader(File* file, const std::string& text, Mode mode, bool keysLater = false)
      : file_(file), lines_(text), mode_(mode), keysLater_(keysLater) {}
  // Replays the lines [begin, end) of a section of key.
  Loader(const std::string& text, Key* key, size_t begin, size_t end, bool first)
      : file_(nullptr), lines_(text, begin, end), mode_(Mode::kReplay), key_(key), inHead_(first) {}

  // kRefused when Wine refuses the file: a wrong first line, an unknown or
  // a second, different "#arch=" before any section. kReadWhole: a scan
  // met what only a whole reading writes back right (a continuation left
  // dangling at the end of the text). kReadWithKeys: a scan that makes no
  // keys met a section line that only making them reads right (one Wine
  // refuses, or one through a symbolic link).
  Outcome Run() {
    if (mode_ == Mode::kScan) return Scan();
    std::string line, kept;
    if (!lines_.Next(&line, &kept) || line != kHeaderLine) return Outcome::kRefused;
    file_->header_ = kept;
    while (lines_.Next(&line, &kept)) {
      const char* p = line.c_str();
      while (*p != 0 && IsSpace(*p)) ++p;
      switch (*p) {
        case '[':
          lineStart_ = line.c_str();
          StartSection(p + 1, kept);
          break;
        case '@':
        case '"':
          if (key_ != nullptr) LoadValue(p, kept);
          else Ignore(kept);  // a value without a key
          break;
        case '#':
          if (key_ != nullptr) {
            LoadOption(p, kept);
            break;
          }
          if (!GlobalOption(p)) return Outcome::kRefused;
          Ignore(kept);
          break;
        default:
          Ignore(kept);
          break;
      }
    }
    FinishKey();
    return Outcome::kRead;
  }

  // The lines of one section (no section line among them: a scan ended the
  // section there).
  void Replay() {
    std::string line, kept;
    while (lines_.Next(&line, &kept)) {
      const char* p = line.c_str();
      while (*p != 0 && IsSpace(*p)) ++p;
      if (*p == '@' || *p == '"') LoadValue(p, kept);
      else if (*p == '#') LoadOption(p, kept);
      else Ignore(kept);
    }
    FinishKey();
  }

 private:
  // Section lines, options and global options as a whole reading takes
  // them; a value line is only followed through its continuation lines.
  // Blocks take their text as one piece of the file each.
  Outcome Scan() {
    std::string line, kept;
    if (!lines_.Next(&line, &kept) || line != kHeaderLine) return Outcome::kRefused;
    file_->header_ = kept;
    const std::string& text = lines_.Text();
    if (keysLater_) {
      // One block a section: their pages are asked for at once rather than
      // one fault each as the scan fills them.
      file_->blocks_.reserve(SectionLinesAtMost(text));
      platform::PopulatePages(file_->blocks_.data(), file_->blocks_.capacity() * sizeof(Block));
    }
    size_t body = lines_.Position();  // where the open block's lines start
    size_t begin = 0, end = 0;
    while (lines_.NextSpan(&begin, &end)) {
      const char* s = text.data() + begin;
      const size_t length = end - begin;
      size_t skip = 0;
      while (skip < length && IsSpace(s[skip])) ++skip;
      const char first = skip < length ? s[skip] : '\0';
      if (first != '[' && first != '#' && first != '@' && first != '"') {
        inHead_ = false;
        continue;
      }
      if ((first == '@' || first == '"') && (!InKey() || std::memchr(s, '\\', length) == nullptr)) {
        inHead_ = false;  // no continuation without a backslash
        continue;
      }
      kept.assign(s, length);
      line.assign(s, length);
      if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
      }
      const char* p = line.c_str() + skip;
      lineEnd_ = end;
      if (first == '[') {
        CloseBlock(body, begin);
        lineStart_ = line.c_str();
        lineOffset_ = begin;
        if (keysLater_) {
          if (!NoteSection(p + 1)) return Outcome::kReadWithKeys;
        } else {
          StartSection(p + 1, kept);
        }
        body = end;
      } else if (first == '#') {
        if (InKey()) {
          LoadOption(p, kept);
        } else {
          if (!GlobalOption(p)) return Outcome::kRefused;
          inHead_ = false;
        }
      } else {
        // Only hex data continues on the next line.
        const char* data = ValueData(p, &scratchName_);
        if (data != nullptr && Dangles(data)) return Outcome::kReadWhole;
        inHead_ = false;
      }
    }
    CloseBlock(body, text.size());
    return Outcome::kRead;
  }

  // Ends the open block (or the header) with the lines [from, to); a key's
  // section keeps them to replay. A block whose section line is as read is
  // a piece of the text, not a copy of it.
  void CloseBlock(size_t from, size_t to) {
    if (!file_->blocks_.empty() && !lineRewritten_) {
      Block& block = file_->blocks_.back();
      block.own.reset();
      block.inText = true;
      block.from = uint32_t(lineOffset_);
      block.length = uint32_t(to - lineOffset_);
    } else if (to > from) {
      Sink().append(lines_.Text(), from, to - from);
    }
    if (keysLater_ && !file_->blocks_.empty()) file_->blocks_.back().bodyFrom = uint32_t(from);
    if (!InKey() || to <= from) return;
    if (!keysLater_) key_->unread.push_back({&lines_.Text(), from, to, firstSection_});
    file_->allLoaded_ = false;
  }

  bool InKey() const { return key_ != nullptr || noted_; }

  // How many sections the text can hold: lines that start with "[".
  static size_t SectionLinesAtMost(const std::string& text) {
    size_t count = 0;
    for (const char* p = text.data(), *end = p + text.size();
         (p = static_cast<const char*>(std::memchr(p, '[', size_t(end - p)))) != nullptr; ++p)
      if (p == text.data() || p[-1] == '\n') ++count;
    return count;
  }

  // A scan that makes no keys: the section line's block, noted as pending
  // below the root. False when the line needs the keys made as it is read:
  // Wine refuses it (or part of it), it names the root itself, or it goes
  // through a key that is a symbolic link by now.
  bool NoteSection(const char* name) {
    noted_ = false;
    std::u16string& path = sectionName_;
    if (ParseStrW(name, ']', &path) < 0 || path.empty() || path[0] == 0) return false;
    size_t start = 0;
    bool named = false;
    for (size_t k = 0; k <= path.size(); ++k) {
      if (k < path.size() && path[k] != u'\\') continue;
      if (k - start > kMaxKeyName) return false;
      named |= k > start;
      start = k + 1;
    }
    if (!named) return false;
    for (const KeyPath& link : links_)
      if (PathStartsWith(path, link)) return false;
    const size_t at = size_t(name - lineStart_);
    if (file_->blocks_.size() >= UINT32_MAX || at >= UINT32_MAX) return false;
    file_->lazyTree_ = true;
    file_->blocks_.push_back(Block());
    file_->blocks_.back().headEnd = uint32_t(lineEnd_);
    file_->AddPending(file_->root_.get(), uint32_t(file_->blocks_.size() - 1), uint32_t(at));
    noted_ = true;
    inHead_ = true;
    return true;
  }

  // Whether the names of path begin with those of prefix (empty names
  // skipped, compared as sub-keys are).
  static bool PathStartsWith(const std::u16string& path, const KeyPath& prefix) {
    size_t k = 0;
    for (const std::u16string& name : prefix) {
      while (k < path.size() && path[k] == u'\\') ++k;
      size_t end = path.find(u'\\', k);
      if (end == std::u16string::npos) end = path.size();
      if (end == k || CompareFolded(path.data() + k, end - k, name.data(), name.size()) != 0) return false;
      k = end;
    }
    return true;
  }

  std::string& Sink() { return file_->blocks_.empty() ? file_->header_ : file_->blocks_.back().Text(); }
  void Keep(const std::string& kept) {
    if (mode_ == Mode::kWhole) Sink() += kept;
  }

  void Ignore(const std::string& kept) {
    Keep(kept);
    if (key_ != nullptr) pending_ += kept;
    inHead_ = false;
  }

  void FinishKey() {
    if (key_ != nullptr) key_->tail += pending_;
    pending_.clear();
  }

  void StartSection(const char* name, const std::string& kept) {
    if (mode_ == Mode::kWhole) FinishKey();
    file_->blocks_.push_back(Block());
    Block& block = file_->blocks_.back();
    // A scan keeps the line as a piece of the text unless it is rewritten.
    if (mode_ != Mode::kScan) block.Text() = kept;
    size_t used = 0;
    bool throughLink = false;
    Key* partial = nullptr;
    key_ = LoadKey(name, &used, &throughLink, &partial);
    inHead_ = false;
    firstSection_ = false;
    lineRewritten_ = throughLink;
    // A section line read through a symbolic link means what the link
    // leads to now; it is kept in a form that does not depend on the link.
    if (key_ == nullptr) {
      block.partial = partial;
      if (throughLink) block.Text() = RefusedSectionLine(partial);
      return;
    }
    if (throughLink) {
      size_t rest = size_t(name - lineStart_) + used;
      block.Text() = "[" + SectionName(key_) + "]" + (rest <= kept.size() ? kept.substr(rest) : std::string("\n"));
    }
    block.key = key_;
    if (!key_->hasSection) {
      key_->hasSection = true;
      key_->head = kept;
      block.first = true;
      inHead_ = true;
      firstSection_ = true;
    }
  }

  // Wine's load_key and create_key_recursive: null when Wine fails to
  // create the key (the section's lines are then ignored). Keys made before
  // the failing name stay, as they do in Wine.
  Key* LoadKey(const char* text, size_t* used, bool* throughLink, Key** partial) {
    std::u16string& name = sectionName_;
    long r = ParseStrW(text, ']', &name);
    if (r < 0) return nullptr;
    *used = size_t(r);
    Key* key = file_->root_.get();
    *partial = key;
    if (name.empty() || name[0] == 0) return key;
    size_t start = 0;
    for (;;) {
      size_t end = name.find(u'\\', start);
      if (end == std::u16string::npos) end = name.size();
      if (end > start) {
        if (end - start > kMaxKeyName) return nullptr;
        const char16_t* part = name.data() + start;
        Key* child = file_->Child(key, part, end - start);
        if (child != nullptr && child->link) {
          *throughLink = true;
          child = file_->Follow(child, end >= name.size(), 0);
          if (child == nullptr) return nullptr;
        } else if (child == nullptr) {
          child = file_->NewChild(key, part, end - start);
        }
        key = child;
        *partial = key;
      }
      if (end >= name.size()) return key;
      start = end + 1;
    }
  }

  // Wine's load_key_option: anywhere in a section.
  // A scan takes the link and the head; a replay, the lines waiting for the
  // next value.
  void LoadOption(const char* p, const std::string& kept) {
    Keep(kept);
    if (noted_) {
      Block& block = file_->blocks_.back();
      if (std::strncmp(p, "#link", 5) == 0 && !block.link) {
        block.link = true;
        links_.push_back(SplitPath(sectionName_));
      }
      if (inHead_) block.headEnd = uint32_t(lineEnd_);
      return;
    }
    if (mode_ != Mode::kReplay && std::strncmp(p, "#link", 5) == 0) key_->link = true;
    if (inHead_) {
      if (mode_ != Mode::kReplay) key_->head += kept;
    } else if (mode_ != Mode::kScan) {
      pending_ += kept;
    }
  }

  // Wine's load_global_option: only "#arch=" is checked.
  bool GlobalOption(const char* p) {
    if (std::strncmp(p, "#arch=", 6) != 0) return true;
    int arch = std::strcmp(p + 6, "win32") == 0 ? 32 : std::strcmp(p + 6, "win64") == 0 ? 64 : 0;
    if (arch == 0) return false;
    if (arch_ == 0) arch_ = arch;
    return arch == arch_;
  }

  // Wine's load_value. A line whose name or "=" is malformed is ignored; once
  // they are read the value exists, and malformed data leaves it empty with
  // type REG_NONE. Hex data continued with "\" takes the next line whatever
  // it holds.
  void LoadValue(const char* p, const std::string& kept) {
    Value parsed;
    std::string raw;
    bool dangling = false;
    if (!ReadValue(p, kept, &parsed, &raw, &dangling)) return Ignore(kept);
    // At the end of the text a dangling continuation would take whatever
    // is written after it: keep Wine's reading of it instead.
    Keep(dangling ? DumpValue(parsed) : raw);

    size_t at = ValueAt(key_, parsed.name);
    if (at == kNoValue) {
      parsed.leading = pending_;
      pending_.clear();
      key_->values.push_back(std::move(parsed));
    } else {
      // The last line wins; the name keeps its first spelling.
      Value& value = key_->values[at];
      value.type = parsed.type;
      value.data = std::move(parsed.data);
      value.raw = parsed.name == value.name ? std::move(parsed.raw) : std::string();
    }
    inHead_ = false;
  }

  // The value a line (and its continuation lines) holds, and their text in
  // *raw. False when Wine ignores the line.
  bool ReadValue(const char* p, const std::string& kept, Value* parsed, std::string* raw, bool* dangling) {
    const char* data = ValueData(p, &parsed->name);
    if (data == nullptr) return false;
    *raw = kept;
    bool ok = ParseData(data, parsed, raw, dangling);
    if (!ok) {
      parsed->type = REG_NONE;
      parsed->data.clear();
    }
    // A value whose text is malformed is rewritten in Wine's form, which
    // reads the same wherever it stands.
    parsed->raw = ok ? *raw : std::string();
    return true;
  }

  // The name of a value line and where its data starts; null when Wine
  // ignores the line.
  const char* ValueData(const char* p, std::u16string* name) {
    name->clear();
    size_t len = 1;
    if (*p == '"') {
      long r = ParseStrW(p + 1, '"', name);
      if (r < 0) return nullptr;
      len = size_t(r) + 1;
    }
    while (IsSpace(p[len])) ++len;
    if (p[len] != '=') return nullptr;
    ++len;
    while (IsSpace(p[len])) ++len;
    if (name->size() > kMaxValueName) return nullptr;
    return p + len;
  }

  enum class DataForm { kString, kDword, kBinary };

  // The tag a value's data starts with: its form, the type it gives, and
  // *p moved past it. False when Wine knows no such tag.
  static bool ReadDataTag(const char** p, DataForm* form, DWORD* type) {
    struct Tag { const char* text; DWORD type; DataForm form; };
    static const Tag kTags[] = {
        {"\"", REG_SZ, DataForm::kString},       {"str:\"", REG_SZ, DataForm::kString},
        {"str(2):\"", REG_EXPAND_SZ, DataForm::kString}, {"str(7):\"", REG_MULTI_SZ, DataForm::kString},
        {"hex:", REG_BINARY, DataForm::kBinary}, {"dword:", REG_DWORD, DataForm::kDword},
        {"hex(", 0, DataForm::kBinary},
    };
    for (const Tag& tag : kTags) {
      const size_t length = std::strlen(tag.text);
      if (std::strncmp(*p, tag.text, length) != 0) continue;
      *form = tag.form;
      *type = tag.type;
      if (tag.type == 0) {  // "hex(" type "):"
        const char* end = nullptr;
        *type = DWORD(StrToUl16(*p + length, &end));
        if (std::strncmp(end, "):", 2) != 0) return false;
        *p = end + 2;
      } else {
        *p += length;
      }
      return true;
    }
    return false;
  }

  // Wine's reading of hex data: bytes separated by commas and blanks, from
  // p to the line's end e and on through every line a "\\" continues it
  // to. add(byte) takes each byte; next(&p, &e) gives the next line, false
  // at the end of the text (the data is then dangling). False when the
  // data is malformed.
  template <typename Add, typename NextLine>
  static bool ReadHexLines(const char* p, const char* e, Add add, NextLine next, bool* dangling) {
    for (;;) {
      // A line ends before its line end (a line of the text) or at a NUL
      // byte (a line read into a string): StrToUl16 never reads past it.
      while (p < e && IsHexDigit(*p)) {
        // One or two digits and no "0x" make a byte as strtoul reads it;
        // anything longer goes through strtoul's own reading.
        const char* end = nullptr;
        uint32_t byte;
        if (IsHexDigit(p[1]) && !IsHexDigit(p[2])) {
          byte = uint32_t(HexValue(p[0]) * 16 + HexValue(p[1]));
          end = p + 2;
        } else if (!IsHexDigit(p[1]) && !(p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))) {
          byte = uint32_t(HexValue(p[0]));
          end = p + 1;
        } else {
          byte = uint32_t(StrToUl16(p, &end));
        }
        if (end == p || byte > 0xFF) return false;
        add(char(byte));
        p = end;
        while (p < e && IsSpace(*p)) ++p;
        if (p < e && *p == ',') ++p;
        while (p < e && IsSpace(*p)) ++p;
      }
      while (p < e && IsSpace(*p)) ++p;
      if (p == e) return true;
      if (*p != '\\') return false;
      if (!next(&p, &e)) {
        *dangling = true;
        return false;
      }
      while (p < e && IsSpace(*p)) ++p;
    }
  }

  bool ParseData(const char* p, Value* value, std::string* raw, bool* dangling) {
    DataForm form;
    if (!ReadDataTag(&p, &form, &value->type)) return false;
    if (form == DataForm::kString) {
      std::u16string text;
      if (ParseStrW(p, '"', &text) < 0) return false;
      value->data = Utf16Bytes(text, true);
      return true;
    }
    if (form == DataForm::kDword) {
      uint32_t dw = uint32_t(StrToUl16(p, nullptr));
      value->data.assign(4, '\0');
      for (int i = 0; i < 4; ++i) value->data[i] = char((dw >> (8 * i)) & 0xFF);
      return true;
    }
    value->data.clear();
    std::string line, kept;
    return ReadHexLines(
        p, p + std::strlen(p), [value](char byte) { value->data.push_back(byte); },
        [&](const char** from, const char** to) {
          if (!lines_.Next(&line, &kept)) return false;
          *raw += kept;
          *from = line.c_str();
          *to = *from + line.size();
          return true;
        },
        dangling);
  }

  // A scan's reading of a value line's data: only whether hex data goes on
  // past the end of the text. Its continuation lines are passed over as
  // pieces of the text (one without NUL bytes), nothing is built.
  bool Dangles(const char* p) {
    DataForm form;
    DWORD type;
    bool dangling = false;
    if (!ReadDataTag(&p, &form, &type) || form != DataForm::kBinary) return false;
    ReadHexLines(
        p, p + std::strlen(p), [](char) {},
        [this](const char** from, const char** to) {
          size_t begin = 0, end = 0;
          if (!lines_.NextSpan(&begin, &end)) return false;
          const char* text = lines_.Text().data();
          const char* stop = text + end;
          if (end > begin && stop[-1] == '\n') {
            --stop;
            if (stop > text + begin && stop[-1] == '\r') --stop;
          }
          *from = text + begin;
          *to = stop;
          return true;
        },
        &dangling);
    return dangling;
  }

  File* file_;            // null in a replay
  LineReader lines_;
  Mode mode_;
  bool keysLater_ = false;
  bool noted_ = false;    // keysLater_: the open section was noted
  std::vector<KeyPath> links_;  // keysLater_: the sections that are links so far
  size_t lineEnd_ = 0;    // where the line being read ends
  Key* key_ = nullptr;    // where values go; null: none (they are ignored)
  bool inHead_ = false;   // right after the key's first section line
  bool firstSection_ = false;  // the open block is key_'s first section
  std::string pending_;   // ignored lines waiting for the next value of key_
  std::u16string sectionName_;  // the section line's name (its room reused)
  size_t lineOffset_ = 0;       // where the open block's section line starts
  std::u16string scratchName_;  // a scan's reading of a value's name, thrown away
  bool lineRewritten_ = false;  // its line is kept in another form
  const char* lineStart_ = nullptr;  // the section line being read
  int arch_ = 0;
};

bool File::Parse(std::string text, bool lazily) {
  blocks_.clear();
  root_ = std::make_unique<Key>();
  header_.clear();
  allLoaded_ = true;
  lazyTree_ = false;
  text_ = std::make_unique<const std::string>(std::move(text));
  StartChildTable();
  const bool scan = lazily && text_->size() < UINT32_MAX && std::memchr(text_->data(), 0, text_->size()) == nullptr;
  Loader::Outcome outcome = Loader(this, *text_, scan ? Loader::Mode::kScan : Loader::Mode::kWhole, scan).Run();
  auto startAgain = [this] {
    blocks_.clear();
    root_ = std::make_unique<Key>();
    header_.clear();
    allLoaded_ = true;
    lazyTree_ = false;
    StartChildTable();
  };
  if (outcome == Loader::Outcome::kReadWithKeys) {
    startAgain();
    outcome = Loader(this, *text_, Loader::Mode::kScan).Run();
  }
  if (outcome == Loader::Outcome::kReadWhole) {
    startAgain();
    outcome = Loader(this, *text_, Loader::Mode::kWhole).Run();
  }
  EndChildTable();
  if (!scan) text_.reset();  // nothing points into it
  if (outcome == Loader::Outcome::kRefused) {
    KeyPath root = rootPath_;
    Reset("REGISTRY\\\\Machine");
    rootPath_ = root;
    return false;
  }
  return true;
}

// While a file is read, sub-keys are appended as they come and found
// through one table of (parent, folded name); at the end every key's
// sub-keys are sorted once. Sorted insertion instead costs a move of every
// later sibling per key: quadratic in a file whose sections are not in
// Wine's order.
namespace {

size_t ChildHash(const Key* parent, const char16_t* name, size_t units) {
  uint64_t mixed = uint64_t(reinterpret_cast<uintptr_t>(parent)) * 0x9E3779B97F4A7C15ull;
  return size_t(FoldedHash(name, units) ^ uint32_t(mixed >> 32));
}

// Puts a key's sub-keys, made in file order, in Wine's order. Sub-keys that
// came in reverse order are turned around in linear time; any other order
// is sorted.
void SortChildren(Key* key) {
  std::vector<std::unique_ptr<Key>>& children = key->children;
  auto before = [](const std::unique_ptr<Key>& a, const std::unique_ptr<Key>& b) {
    return CompareNames(a->name, b->name) < 0;
  };
  if (std::is_sorted(children.rbegin(), children.rend(), before)) {
    std::reverse(children.begin(), children.end());
    return;
  }
  std::sort(children.begin(), children.end(), before);
}

}  // namespace

void File::StartChildTable(size_t slots) {
  childSlots_.assign(slots, ChildSlot());
  childCount_ = 0;
  unsorted_.clear();
  readingChildren_ = true;
}

void File::EndChildTable() {
  readingChildren_ = false;
  std::vector<ChildSlot>().swap(childSlots_);
  std::sort(unsorted_.begin(), unsorted_.end());
  unsorted_.erase(std::unique(unsorted_.begin(), unsorted_.end()), unsorted_.end());
  for (Key* key : unsorted_) SortChildren(key);
  std::vector<Key*>().swap(unsorted_);
}

Key* File::Child(Key* key, const char16_t* name, size_t units) {
  if (!readingChildren_) {
    Expand(key);
    return FindChild(key, std::u16string(name, units));
  }
  const size_t mask = childSlots_.size() - 1;
  const size_t hash = ChildHash(key, name, units);
  for (size_t i = hash & mask; childSlots_[i].key != nullptr; i = (i + 1) & mask) {
    if (childSlots_[i].hash != hash) continue;
    Key* child = childSlots_[i].key;
    if (child->parent == key && CompareFolded(child->name.data(), child->name.size(), name, units) == 0)
      return child;
  }
  return nullptr;
}

Key* File::NewChild(Key* key, const char16_t* units, size_t count) {
  const std::u16string name(units, count);
  if (!readingChildren_) return AddChild(key, name);
  auto owned = std::make_unique<Key>();
  owned->name = name;
  owned->parent = key;
  Key* child = owned.get();
  // Files Wine wrote come in order: most parents need no sort at the end.
  if (!key->children.empty() && CompareNames(key->children.back()->name, name) > 0 &&
      (unsorted_.empty() || unsorted_.back() != key))
    unsorted_.push_back(key);
  key->children.push_back(std::move(owned));
  if (2 * (childCount_ + 1) > childSlots_.size()) {
    std::vector<ChildSlot> old(childSlots_.size() * 2);
    old.swap(childSlots_);
    for (const ChildSlot& slot : old)
      if (slot.key != nullptr) PlaceChild(slot.key, slot.hash);
  }
  PlaceChild(child, ChildHash(key, child->name.data(), child->name.size()));
  ++childCount_;
  return child;
}

void File::PlaceChild(Key* child, size_t hash) {
  const size_t mask = childSlots_.size() - 1;
  size_t i = hash & mask;
  while (childSlots_[i].key != nullptr) i = (i + 1) & mask;
  childSlots_[i] = {child, hash};
}

std::string_view File::TextOf(const Block& block) const {
  if (!block.inText) return block.own ? std::string_view(*block.own) : std::string_view();
  return std::string_view(*text_).substr(block.from, block.length);
}

void File::LoadValues(Key* key) {
  if (key == nullptr || key->valuesRead || key->unread.empty()) return;
  for (const Key::Unread& section : key->unread)
    Loader(*section.text, key, section.begin, section.end, section.first).Replay();
  key->valuesRead = true;
}

bool File::ForgetValues(Key* key) {
  // Only replaying the sections gave the key its values and its tail: a
  // key's lines are all in its unread sections until it is changed.
  if (key == nullptr || !key->valuesRead || key->changed) return false;
  std::vector<Value>().swap(key->values);
  key->index = ValueIndex();
  std::string().swap(key->tail);
  key->valuesRead = false;
  allLoaded_ = false;
  return true;
}

namespace {

// The next name of a section line's path from *at, empty names skipped, as
// Wine's reading splits the whole path; *at moves to where the name after
// it starts. *last: no name follows. False when no name is left.
bool NextName(const char** at, std::u16string* name, bool* last) {
  name->clear();
  char16_t units[2];
  const char* p = *at;
  int n;
  for (;;) {
    AppendPlainRun(&p, ']', name);
    if ((n = DecodeUnits(&p, ']', units)) < 0) break;
    if (n == 1 && units[0] == u'\\') {
      if (!name->empty()) break;
      continue;
    }
    name->append(units, size_t(n));
  }
  if (name->empty()) return false;
  // Separators (and dropped bytes) up to the next name or the end.
  *last = true;
  for (const char* q = p; (n = DecodeUnits(&q, ']', units)) >= 0; p = q) {
    if (n == 0 || (n == 1 && units[0] == u'\\')) continue;
    *last = false;
    break;
  }
  *at = p;
  return true;
}

}  // namespace

void File::Expand(Key* key) {
  if (key == nullptr || key->pending.empty()) return;
  uint32_t next = key->pending.first;
  key->pending = Key::Pending();
  // The sub-keys are made in file order, each named as its first section
  // line names it, through the reading's table (ExpandAll keeps one for all
  // keys); they are sorted when the table ends.
  const bool ownTable = !readingChildren_;
  if (ownTable) StartChildTable(16);
  std::u16string name;
  while (next != Key::kNoSection) {
    const uint32_t section = next;
    Block& block = blocks_[section];
    next = block.nextPending;
    const char* at = text_->data() + block.from + block.nameAt;
    bool last = false;
    if (!NextName(&at, &name, &last)) continue;  // not noted: every noted line names a key
    Key* child = Child(key, name.data(), name.size());
    if (child == nullptr) child = NewChild(key, name.data(), name.size());
    if (!last) {
      AddPending(child, section, uint32_t(at - (text_->data() + block.from)));
      continue;
    }
    // The section is the sub-key's own, as a reading that makes the keys
    // would have given it.
    block.key = child;
    const bool first = !child->hasSection;
    if (first) {
      child->hasSection = true;
      block.first = true;
      child->head.assign(*text_, block.from, block.headEnd - block.from);
    }
    if (block.link) child->link = true;
    const size_t end = block.from + block.length;
    if (block.bodyFrom < end) child->unread.push_back({text_.get(), block.bodyFrom, end, first});
  }
  if (ownTable) EndChildTable();
}

void File::AddPending(Key* key, uint32_t section, uint32_t nameAt) {
  Block& block = blocks_[section];
  block.nextPending = Key::kNoSection;
  block.nameAt = nameAt;
  if (key->pending.empty()) key->pending.first = section;
  else blocks_[key->pending.last].nextPending = section;
  key->pending.last = section;
}

void File::ExpandAll() {
  if (!lazyTree_) return;
  StartChildTable();
  std::vector<Key*> stack{root_.get()};
  while (!stack.empty()) {
    Key* key = stack.back();
    stack.pop_back();
    Expand(key);
    for (auto& child : key->children) stack.push_back(child.get());
  }
  EndChildTable();
  lazyTree_ = false;
}

Key* File::Root() {
  ExpandAll();
  if (!allLoaded_) {
    Subtree(root_.get());  // reads every key's values
    allLoaded_ = true;
  }
  return root_.get();
}

// The key a symbolic link leads to (itself when it is no link), or null
// when Wine cannot resolve it. Only targets inside this file are known; a
// missing last name of the target is created when the link is the last
// name of a section line, as Wine does.
Key* File::Follow(Key* key, bool last, int depth) {
  while (key != nullptr && key->link) {
    if (++depth > kMaxLinkDepth) return nullptr;
    Value* value = FindValue(key, u"SymbolicLinkValue");
    if (value == nullptr || value->data.size() < 2) return nullptr;
    std::u16string target;
    for (size_t i = 0; i + 1 < value->data.size(); i += 2)
      target.push_back(char16_t(uint8_t(value->data[i]) | (uint8_t(value->data[i + 1]) << 8)));
    if (target[0] != u'\\') return nullptr;
    KeyPath names = SplitPath(target);
    if (names.size() < rootPath_.size()) return nullptr;
    for (size_t i = 0; i < rootPath_.size(); ++i)
      if (CompareNames(names[i], rootPath_[i]) != 0) return nullptr;
    Key* at = root_.get();
    for (size_t i = rootPath_.size(); i < names.size(); ++i) {
      if (names[i].size() > kMaxKeyName) return nullptr;
      Key* child = Child(at, names[i].data(), names[i].size());
      if (child == nullptr) {
        if (!last || i + 1 != names.size()) return nullptr;
        child = NewChild(at, names[i].data(), names[i].size());
      } else if (i + 1 < names.size()) {
        child = Follow(child, false, depth);
        if (child == nullptr) return nullptr;
      }
      at = child;
    }
    key = at;
  }
  return key;
}


Key* File::Reach(const KeyPath& path) {
  Key* key = root_.get();
  for (size_t i = 0; i < path.size() && key != nullptr; ++i) {
    Expand(key);
    key = FindChild(key, path[i]);
    if (key != nullptr && key->link) key = Follow(key, false, 0);
  }
  return key;
}

Key* File::Find(const KeyPath& path) {
  Key* key = Reach(path);
  // Its sub-keys are listed by name.
  Expand(key);
  LoadValues(key);
  return key;
}

bool File::ForgetValues(const KeyPath& path) { return ForgetValues(Reach(path)); }

Key* File::Create(const KeyPath& path, bool* created) {
  Key* key = root_.get();
  bool made = false;
  for (size_t i = 0; i < path.size() && key != nullptr; ++i) {
    Expand(key);
    Key* child = FindChild(key, path[i]);
    made = child == nullptr;
    if (made) {
      ExpandAll();  // a new key's section goes among all the others
      child = AddChild(key, path[i]);
    } else if (child->link) {
      child = Follow(child, false, 0);
    }
    key = child;
  }
  if (key == nullptr) {
    if (created != nullptr) *created = false;
    return nullptr;
  }
  Expand(key);
  LoadValues(key);
  if (made) GiveSection(key);
  if (created != nullptr) *created = made;
  return key;
}

void File::Delete(Key* key) {
  if (key == nullptr || key->parent == nullptr) return;
  ExpandAll();
  std::vector<Key*> gone = Subtree(key);
  std::sort(gone.begin(), gone.end());
  // A refused section line made the keys before the name Wine refused; if
  // one of them is deleted now, the line is rewritten to make only those
  // that stay.
  for (Block& b : blocks_) {
    if (b.key != nullptr || b.partial == nullptr || !std::binary_search(gone.begin(), gone.end(), b.partial))
      continue;
    if (b.inText) {
      b.Text() = std::string(TextOf(b));
      b.inText = false;
    }
    std::string& text = b.Text();
    size_t lineEnd = text.find('\n');
    std::string rest = lineEnd == std::string::npos ? std::string() : text.substr(lineEnd + 1);
    b.partial = key->parent;
    text = RefusedSectionLine(b.partial) + rest;
  }
  blocks_.erase(std::remove_if(blocks_.begin(), blocks_.end(),
                               [&](const Block& b) {
                                 return b.key != nullptr && std::binary_search(gone.begin(), gone.end(), b.key);
                               }),
                blocks_.end());
  Key* parent = key->parent;
  for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
    if (it->get() == key) {
      parent->children.erase(it);
      break;
    }
  }
  // A key with neither values nor sub-keys only exists through its section.
  if (parent->parent != nullptr && !parent->hasSection && parent->children.empty())
    GiveSection(parent);
}

Value* File::FindValue(Key* key, const std::u16string& name) {
  LoadValues(key);
  size_t at = ValueAt(key, name);
  return at == kNoValue ? nullptr : &key->values[at];
}

void File::SetValue(Key* key, const std::u16string& name, DWORD type, const std::string& data) {
  Value* existing = FindValue(key, name);
  if (existing != nullptr) {
    existing->type = type;
    existing->data = data;
    existing->raw.clear();
  } else {
    Value value;
    value.name = name;
    value.type = type;
    value.data = data;
    key->values.insert(key->values.begin() + long(SortedPosition(key->values, name)), value);
    DropIndex(key);
  }
  MarkChanged(key);
}

bool File::DeleteValue(Key* key, const std::u16string& name) {
  LoadValues(key);
  const size_t i = ValueAt(key, name);
  if (i == kNoValue) return false;
  std::string leading = key->values[i].leading;
  key->values.erase(key->values.begin() + long(i));
  DropIndex(key);
  if (i < key->values.size())
    key->values[i].leading = leading + key->values[i].leading;
  else
    key->tail = leading + key->tail;
  MarkChanged(key);
  return true;
}

void File::MarkChanged(Key* key) {
  LoadValues(key);
  if (!key->hasSection) GiveSection(key);
  key->changed = true;
}

void File::GiveSection(Key* key) {
  ExpandAll();
  LoadValues(key);
  key->hasSection = true;
  key->changed = true;
  key->head.clear();
  key->tail.clear();
  KeyPath path = PathOf(key);
  // Wine writes sections in depth-first order with sorted names; a new one
  // goes before the first section that Wine would write after it.
  size_t at = blocks_.size();
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i].key != nullptr && PathLess(path, PathOf(blocks_[i].key))) {
      at = i;
      break;
    }
  }
  // Below a symbolic link (a sub-key made before the key became one), the
  // section must come before the line that makes it a link, or Wine would
  // read it through the link.
  for (const Key* up = key->parent; up != nullptr; up = up->parent)
    if (up->link) at = std::min(at, LinkBlock(up));
  Block block;
  block.key = key;
  block.first = true;
  blocks_.insert(blocks_.begin() + long(at), std::move(block));
}

size_t File::LinkBlock(const Key* key) const {
  size_t last = blocks_.size();
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i].key != key) continue;
    if (key->changed) {
      last = i;  // a changed link is written at its last section
      continue;
    }
    const std::string_view text = TextOf(blocks_[i]);
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      size_t p = start;
      while (p < end && IsSpace(text[p])) ++p;
      if (text.compare(p, 5, "#link") == 0) return i;
      start = end + 1;
    }
  }
  return last;
}

std::string File::Head(const Key* key) const {
  struct timespec now = {};
  if (clock_ >= 0) {
    now.tv_sec = time_t(clock_);
  } else {
    clock_gettime(CLOCK_REALTIME, &now);
  }
  uint64_t fileTime = uint64_t(now.tv_sec) * 10000000ull + uint64_t(now.tv_nsec) / 100 + kFileTimeEpoch;
  std::string head = "[" + SectionName(key) + "] " + std::to_string(static_cast<long long>(now.tv_sec)) + "\n";
  head += Hex("#time=%llx", fileTime >> 32) + Hex("%08llx\n", fileTime & 0xFFFFFFFFull);
  // Keep the options of the section that are not the time (#class, #link).
  size_t start = key->head.find('\n');
  while (start != std::string::npos && start + 1 < key->head.size()) {
    size_t end = key->head.find('\n', start + 1);
    std::string line = key->head.substr(start + 1, end == std::string::npos ? std::string::npos
                                                                            : end - start);
    if (line.compare(0, 6, "#time=") != 0) head += line;
    start = end;
  }
  if (!head.empty() && head.back() != '\n') head += '\n';
  return head;
}

std::string File::Serialize() const {
  std::string out = header_;
  // A changed key is written once, merged, at its first section. A link is
  // written at its last one: moved earlier, "#link" would lead sections in
  // between that named real sub-keys of it to its target instead.
  std::unordered_map<const Key*, size_t> place;
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const Key* key = blocks_[i].key;
    if (key != nullptr && key->changed && (blocks_[i].first || key->link)) place[key] = i;
  }
  bool previousChanged = false;
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const Block& block = blocks_[i];
    const Key* key = block.key;
    bool rewrite = key != nullptr && key->changed;
    if (rewrite && place[key] != i) continue;
    EndLine(&out);
    // Wine puts a blank line before every section; untouched neighbours
    // keep whatever they had.
    if ((rewrite || previousChanged) && !out.empty() &&
        out.compare(out.size() - std::min<size_t>(2, out.size()), 2, "\n\n") != 0)
      out += '\n';
    previousChanged = rewrite;
    if (!rewrite) {
      out += TextOf(block);
      continue;
    }
    out += Head(key);
    for (const Value& value : key->values) {
      AppendLine(&out, value.leading);
      AppendLine(&out, value.raw.empty() ? DumpValue(value) : value.raw);
    }
    AppendLine(&out, key->tail);
  }
  return out;
}

}  // namespace regfile
}  // namespace platform
