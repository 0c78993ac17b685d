#include "tools/host/response_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/wtext.h"

std::string ResponseElement::Get(const std::string& name) const {
  for (const auto& attribute : attributes)
    if (attribute.first == name) return attribute.second;
  return std::string();
}

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::u16string Unescape(const std::u16string& text) {
  static const struct {
    const char16_t* entity;
    char16_t c;
  } kEntities[] = {{u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&amp;", u'&'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    // A character reference (&#13; &#x1F600;): control characters and
    // others the module could not write as they are.
    if (text[i] == u'&' && i + 2 < text.size() && text[i + 1] == u'#') {
      bool hex = text[i + 2] == u'x' || text[i + 2] == u'X';
      size_t j = i + (hex ? 3 : 2);
      unsigned long code = 0;
      size_t digits = 0;
      for (; j < text.size() && digits < 8; ++j, ++digits) {
        char16_t c = text[j];
        int value = c >= u'0' && c <= u'9' ? c - u'0'
                    : hex && c >= u'a' && c <= u'f' ? c - u'a' + 10
                    : hex && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                    : -1;
        if (value < 0) break;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(value);
      }
      if (digits > 0 && j < text.size() && text[j] == u';' && code <= 0x10FFFF) {
        if (code >= 0x10000) {
          out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
          out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
          out.push_back(static_cast<char16_t>(code));
        }
        i = j + 1;
        continue;
      }
    }
    if (text[i] == u'&') {
      for (const auto& e : kEntities) {
        std::u16string entity(e.entity);
        if (text.compare(i, entity.size(), entity) == 0) {
          out.push_back(e.c);
          i += entity.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Parses the attributes of a start tag from just after its name to its end.
void ParseAttributes(const std::u16string& text, size_t* pos, ResponseElement* element) {
  size_t i = *pos;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size() || text[i] == u'/' || text[i] == u'>') break;
    size_t nameStart = i;
    while (i < text.size() && text[i] != u'=' && !IsSpace(text[i]) && text[i] != u'>') ++i;
    std::u16string name = text.substr(nameStart, i - nameStart);
    while (i < text.size() && (IsSpace(text[i]) || text[i] == u'=')) ++i;
    if (i >= text.size() || (text[i] != u'"' && text[i] != u'\'')) break;
    char16_t quote = text[i++];
    size_t valueStart = i;
    while (i < text.size() && text[i] != quote) ++i;
    std::u16string value = text.substr(valueStart, i - valueStart);
    if (i < text.size()) ++i;
    element->attributes.emplace_back(wtext::ToUtf8(name), wtext::ToUtf8(Unescape(value)));
  }
  *pos = i;
}

}  // namespace

bool WriteCommandFile(const std::string& path, const std::string& command,
                      const std::vector<CommandEntry>& entries) {
  std::ostringstream out;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out << "<command name=\"" << Escape(command) << "\">\n";
  for (const CommandEntry& entry : entries) {
    out << "  <autorun name=\"" << Escape(wtext::ToUtf8(entry.name)) << "\" mainkey=\""
        << Escape(wtext::ToUtf8(entry.mainkey)) << "\" subkey=\"" << Escape(wtext::ToUtf8(entry.subkey))
        << "\" type=\"" << entry.type << "\"/>\n";
  }
  out << "</command>\n";
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << out.str();
  return static_cast<bool>(file);
}

bool ReadResponseFile(const std::string& path, Response* response, std::string* error) {
  *response = Response{};
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "no response file was written";
    return false;
  }
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    *error = "the response is not UTF-16 with a byte-order mark";
    return false;
  }
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  size_t pos = text.find(u"?>");
  if (pos == std::u16string::npos) {
    *error = "the response has no XML declaration";
    return false;
  }
  while ((pos = text.find(u'<', pos)) != std::u16string::npos) {
    ++pos;
    if (pos < text.size() && (text[pos] == u'/' || text[pos] == u'?' || text[pos] == u'!')) continue;
    size_t nameStart = pos;
    while (pos < text.size() && !IsSpace(text[pos]) && text[pos] != u'/' && text[pos] != u'>') ++pos;
    ResponseElement element;
    element.tag = wtext::ToUtf8(text.substr(nameStart, pos - nameStart));
    ParseAttributes(text, &pos, &element);
    if (response->root.empty()) {
      response->root = element.tag;
    } else if (element.tag == "AutoRunItem") {
      response->items.push_back(element);
    } else if (element.tag == "Result") {
      response->result = element;
      response->hasResult = true;
    }
  }
  if (!response->hasResult) {
    *error = "the response has no Result element";
    return false;
  }
  return true;
}
