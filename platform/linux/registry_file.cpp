#include "platform/linux/registry_file.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/case_fold.h"

namespace platform {
namespace regfile {

namespace {

constexpr char kHeaderLine[] = "WINE REGISTRY Version 2";
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeEpoch = 116444736000000000ull;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Line text without its line end.
std::string Content(const std::string& line) {
  size_t n = line.size();
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
  return line.substr(0, n);
}

// Appends the UTF-16 form of the byte sequence at s[pos]: UTF-8 when it is
// well formed, else the byte as a Latin-1 unit. Returns the bytes used.
size_t DecodeChar(const std::string& s, size_t pos, std::u16string* out) {
  unsigned char b = static_cast<unsigned char>(s[pos]);
  if (b < 0x80) {
    out->push_back(b);
    return 1;
  }
  int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  if (extra > 0 && pos + size_t(extra) < s.size()) {
    uint32_t cp = b & (0x3F >> extra);
    bool ok = true;
    for (int i = 1; i <= extra; ++i) {
      unsigned char c = static_cast<unsigned char>(s[pos + i]);
      if ((c & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && cp >= kMin[extra] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
      if (cp >= 0x10000) {
        cp -= 0x10000;
        out->push_back(char16_t(0xD800 + (cp >> 10)));
        out->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
      } else {
        out->push_back(char16_t(cp));
      }
      return size_t(extra) + 1;
    }
  }
  out->push_back(b);
  return 1;
}

// Reads escaped text from s[pos] up to the unescaped endChar. Returns the
// position after endChar, or npos when it is missing.
size_t ParseString(const std::string& s, size_t pos, char endChar, std::u16string* out) {
  out->clear();
  while (pos < s.size() && s[pos] != endChar) {
    if (s[pos] != '\\') {
      pos += DecodeChar(s, pos, out);
      continue;
    }
    ++pos;
    if (pos >= s.size()) return std::string::npos;
    char c = s[pos];
    switch (c) {
      case 'a': out->push_back(u'\a'); ++pos; break;
      case 'b': out->push_back(u'\b'); ++pos; break;
      case 'e': out->push_back(char16_t(0x1B)); ++pos; break;
      case 'f': out->push_back(u'\f'); ++pos; break;
      case 'n': out->push_back(u'\n'); ++pos; break;
      case 'r': out->push_back(u'\r'); ++pos; break;
      case 't': out->push_back(u'\t'); ++pos; break;
      case 'v': out->push_back(u'\v'); ++pos; break;
      case 'x': {
        ++pos;
        if (pos >= s.size() || !IsHexDigit(s[pos])) {
          out->push_back(u'x');
          break;
        }
        unsigned v = 0;
        for (int i = 0; i < 4 && pos < s.size() && IsHexDigit(s[pos]); ++i) v = v * 16 + HexValue(s[pos++]);
        out->push_back(char16_t(v));
        break;
      }
      case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
        unsigned v = 0;
        for (int i = 0; i < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++i)
          v = v * 8 + unsigned(s[pos++] - '0');
        out->push_back(char16_t(v));
        break;
      }
      default:
        pos += DecodeChar(s, pos, out);
        break;
    }
  }
  if (pos >= s.size()) return std::string::npos;
  return pos + 1;
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

void CollectSubtree(Key* key, std::vector<Key*>* out) {
  out->push_back(key);
  for (auto& child : key->children) CollectSubtree(child.get(), out);
}

}  // namespace

int CompareNames(const std::u16string& a, const std::u16string& b) {
  return CompareFolded(a.data(), a.size(), b.data(), b.size());
}

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
    std::string name = EscapeText(value.name.data(), value.name.size(), "\"\"");
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

bool ParseValueText(const std::string& line, Value* value, bool* needsMore) {
  *needsMore = false;
  size_t pos = 0;
  value->name.clear();
  if (line.empty()) return false;
  if (line[0] == '@') {
    pos = 1;
  } else if (line[0] == '"') {
    pos = ParseString(line, 1, '"', &value->name);
    if (pos == std::string::npos) return false;
  } else {
    return false;
  }
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return false;
  ++pos;
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  std::string rest = line.substr(pos);

  struct Tag { const char* text; DWORD type; char parse; };
  static const Tag kTags[] = {
      {"\"", REG_SZ, 's'},         {"str:\"", REG_SZ, 's'},   {"str(2):\"", REG_EXPAND_SZ, 's'},
      {"str(7):\"", REG_MULTI_SZ, 's'}, {"hex:", REG_BINARY, 'h'}, {"dword:", REG_DWORD, 'd'},
      {"hex(", 0, 'x'},
  };
  const Tag* tag = nullptr;
  for (const Tag& t : kTags)
    if (rest.compare(0, std::strlen(t.text), t.text) == 0) { tag = &t; break; }
  if (tag == nullptr) return false;
  size_t p = std::strlen(tag->text);
  char parse = tag->parse;
  value->type = tag->type;
  if (parse == 'x') {
    const char* start = rest.c_str() + p;
    char* end = nullptr;
    unsigned long type = std::strtoul(start, &end, 16);
    if (end == start || std::strncmp(end, "):", 2) != 0) return false;
    value->type = DWORD(type);
    p = size_t(end - rest.c_str()) + 2;
    parse = 'h';
  }
  if (parse == 's') {
    std::u16string text;
    if (ParseString(rest, p, '"', &text) == std::string::npos) return false;
    value->data = Utf16Bytes(text, true);
    return true;
  }
  if (parse == 'd') {
    uint32_t dw = uint32_t(std::strtoul(rest.c_str() + p, nullptr, 16));
    value->data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) value->data[i] = char((dw >> (8 * i)) & 0xFF);
    return true;
  }
  value->data.clear();
  while (p < rest.size() && IsHexDigit(rest[p])) {
    unsigned v = unsigned(HexValue(rest[p]));
    if (p + 1 < rest.size() && IsHexDigit(rest[p + 1])) v = v * 16 + unsigned(HexValue(rest[p + 1]));
    value->data.push_back(char(v));
    p += 2;
    if (p < rest.size() && rest[p] == ',') ++p;
  }
  while (p < rest.size() && IsSpace(rest[p])) ++p;
  if (p >= rest.size()) return true;
  if (rest[p] == '\\') {
    *needsMore = true;
    return true;
  }
  return false;
}

File::File() { Reset("REGISTRY\\\\Machine"); }

void File::Reset(const std::string& relativeTo) {
  header_ = std::string(kHeaderLine) + "\n;; All keys relative to " + relativeTo + "\n\n#arch=win32\n";
  order_.clear();
  root_ = std::make_unique<Key>();
}

bool File::Parse(const std::string& text) {
  order_.clear();
  root_ = std::make_unique<Key>();
  header_.clear();

  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  if (lines.empty() || Content(lines[0]) != kHeaderLine) {
    Reset("REGISTRY\\\\Machine");
    return false;
  }
  header_ = lines[0];

  Key* current = nullptr;
  bool inHead = false;
  std::string pending;
  auto flushPending = [&]() {
    (current != nullptr ? current->tail : header_) += pending;
    pending.clear();
  };

  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::string content = Content(line);
    size_t p = 0;
    while (p < content.size() && IsSpace(content[p])) ++p;
    char c = p < content.size() ? content[p] : '\0';

    if (c == '[') {
      std::u16string full;
      if (ParseString(content, p + 1, ']', &full) != std::string::npos) {
        KeyPath path;
        size_t start = 0;
        for (size_t k = 0; k <= full.size(); ++k) {
          if (k == full.size() || full[k] == u'\\') {
            if (k > start) path.push_back(full.substr(start, k - start));
            start = k + 1;
          }
        }
        flushPending();
        Key* key = root_.get();
        for (const auto& name : path) {
          Key* child = FindChild(key, name);
          key = child != nullptr ? child : AddChild(key, name);
        }
        current = key;
        if (key->hasSection) {
          // A second section of the same key: its values join the first.
          inHead = false;
        } else {
          key->hasSection = true;
          key->head = line;
          order_.push_back(key);
          inHead = true;
        }
        continue;
      }
    }
    if (c == '#' && inHead && current != nullptr) {
      current->head += line;
      continue;
    }
    if ((c == '"' || c == '@') && current != nullptr) {
      std::string logical = content.substr(p);
      std::string raw = line;
      size_t last = i;
      Value value;
      bool needsMore = false;
      bool ok = ParseValueText(logical, &value, &needsMore);
      while (ok && needsMore) {
        if (last + 1 >= lines.size()) { ok = false; break; }
        ++last;
        size_t cut = logical.find_last_of('\\');
        logical.erase(cut);
        std::string next = Content(lines[last]);
        size_t q = 0;
        while (q < next.size() && IsSpace(next[q])) ++q;
        logical += next.substr(q);
        raw += lines[last];
        ok = ParseValueText(logical, &value, &needsMore);
      }
      if (ok) {
        value.leading = pending;
        pending.clear();
        value.raw = raw;
        Value* existing = FindValue(current, value.name);
        if (existing != nullptr) {
          value.leading = existing->leading + existing->raw + value.leading;
          value.raw = raw;
          *existing = value;
        } else {
          current->values.push_back(value);
        }
        i = last;
        inHead = false;
        continue;
      }
    }
    pending += line;
    inHead = false;
  }
  flushPending();
  return true;
}

Key* File::Find(const KeyPath& path) {
  Key* key = root_.get();
  for (const auto& name : path) {
    key = FindChild(key, name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

Key* File::Create(const KeyPath& path, bool* created) {
  Key* key = root_.get();
  bool made = false;
  for (const auto& name : path) {
    Key* child = FindChild(key, name);
    made = child == nullptr;
    key = made ? AddChild(key, name) : child;
  }
  if (made) GiveSection(key);
  if (created != nullptr) *created = made;
  return key;
}

void File::Delete(Key* key) {
  if (key == nullptr || key->parent == nullptr) return;
  std::vector<Key*> gone;
  CollectSubtree(key, &gone);
  std::sort(gone.begin(), gone.end());
  order_.erase(std::remove_if(order_.begin(), order_.end(),
                              [&](Key* k) { return std::binary_search(gone.begin(), gone.end(), k); }),
               order_.end());
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
  for (auto& value : key->values)
    if (CompareNames(value.name, name) == 0) return &value;
  return nullptr;
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
  }
  MarkChanged(key);
}

bool File::DeleteValue(Key* key, const std::u16string& name) {
  for (size_t i = 0; i < key->values.size(); ++i) {
    if (CompareNames(key->values[i].name, name) != 0) continue;
    std::string leading = key->values[i].leading;
    key->values.erase(key->values.begin() + long(i));
    if (i < key->values.size())
      key->values[i].leading = leading + key->values[i].leading;
    else
      key->tail = leading + key->tail;
    MarkChanged(key);
    return true;
  }
  return false;
}

void File::MarkChanged(Key* key) {
  if (!key->hasSection) GiveSection(key);
  key->changed = true;
}

void File::GiveSection(Key* key) {
  key->hasSection = true;
  key->changed = true;
  key->head.clear();
  key->tail.clear();
  KeyPath path = PathOf(key);
  // Wine writes sections in depth-first order with sorted names; a new one
  // goes where Wine would have written it.
  auto at = std::upper_bound(order_.begin(), order_.end(), path,
                             [](const KeyPath& p, Key* k) { return PathLess(p, PathOf(k)); });
  order_.insert(at, key);
}

std::string File::Head(const Key* key) const {
  struct timespec now = {};
  if (clock_ >= 0) {
    now.tv_sec = time_t(clock_);
  } else {
    clock_gettime(CLOCK_REALTIME, &now);
  }
  uint64_t fileTime = uint64_t(now.tv_sec) * 10000000ull + uint64_t(now.tv_nsec) / 100 + kFileTimeEpoch;
  std::string path;
  KeyPath names = PathOf(key);
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) path += "\\\\";
    path += EscapeText(names[i].data(), names[i].size(), "[]");
  }
  std::string head = "[" + path + "] " + std::to_string(static_cast<long long>(now.tv_sec)) + "\n";
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
  bool previousChanged = false;
  for (const Key* key : order_) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    // Wine puts a blank line before every section; untouched neighbours
    // keep whatever they had.
    if ((key->changed || previousChanged) && !out.empty() &&
        out.compare(out.size() - std::min<size_t>(2, out.size()), 2, "\n\n") != 0)
      out += '\n';
    previousChanged = key->changed;
    out += key->changed ? Head(key) : key->head;
    for (const Value& value : key->values) {
      out += value.leading;
      out += value.raw.empty() ? DumpValue(value) : value.raw;
    }
    out += key->tail;
  }
  return out;
}

}  // namespace regfile
}  // namespace platform
