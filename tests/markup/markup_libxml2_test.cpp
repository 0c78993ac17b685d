// The markup parser against libxml2: on well-formed documents (generated,
// and real XML files found on this machine) both must see the same element
// tree; on documents whose tag structure libxml2 rejects, Parse must report
// the document as not well formed.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "markup/markup_doc.h"
#include "tests/markup/markup_index_check.h"

namespace {

// Strict UTF-8 decoding; false for anything that is not valid UTF-8.
bool DecodeUtf8(const std::string& bytes, std::u16string* out) {
  out->clear();
  size_t i = 0;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    char32_t c;
    size_t extra;
    if (b < 0x80) { c = b; extra = 0; }
    else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
    else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
    else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
    else return false;
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= bytes.size()) return false;
      unsigned char n = static_cast<unsigned char>(bytes[i + k]);
      if ((n & 0xC0) != 0x80) return false;
      c = (c << 6) | (n & 0x3F);
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(c));
    }
  }
  return true;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// libxml2's element tree, in the form markup_check::DumpTree gives.
bool LibxmlTree(const std::string& bytes, std::u16string* tree) {
  xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "input.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
  if (doc == nullptr) return false;
  tree->clear();
  std::vector<std::pair<xmlNodePtr, int>> stack;
  auto pushChildren = [&](xmlNodePtr parent, int depth) {
    std::vector<xmlNodePtr> children;
    for (xmlNodePtr n = parent->children; n != nullptr; n = n->next)
      if (n->type == XML_ELEMENT_NODE) children.push_back(n);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.emplace_back(*it, depth);
  };
  pushChildren(reinterpret_cast<xmlNodePtr>(doc), 0);
  bool ok = true;
  while (!stack.empty() && ok) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    std::string name;
    if (node->ns != nullptr && node->ns->prefix != nullptr)
      name = reinterpret_cast<const char*>(node->ns->prefix) + std::string(":");
    name += reinterpret_cast<const char*>(node->name);
    std::u16string wide;
    ok = DecodeUtf8(name, &wide);
    tree->append(static_cast<size_t>(depth), u' ');
    *tree += wide;
    *tree += u'\n';
    pushChildren(node, depth + 1);
  }
  xmlFreeDoc(doc);
  return ok;
}

bool LibxmlAccepts(const std::string& bytes) {
  xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "input.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
  if (doc == nullptr) return false;
  xmlFreeDoc(doc);
  return true;
}

// Random well-formed documents with the constructs the tokenizer must step
// over: attributes holding '>' and the other quote, comments, CDATA sections,
// processing instructions, character references and non-ASCII names.
class DocumentGenerator {
 public:
  explicit DocumentGenerator(unsigned seed) : random_(seed) {}

  struct Document {
    std::string text;
    std::vector<size_t> endTags;  // offsets of the end tags of elements
  };

  Document Make() {
    Document doc;
    if (Chance(2)) doc.text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    Misc(doc);
    if (Chance(4)) doc.text += "<!DOCTYPE root SYSTEM \"x.dtd\">";
    Misc(doc);
    Element(doc, 0);
    Misc(doc);
    return doc;
  }

 private:
  bool Chance(int inverse) { return std::uniform_int_distribution<int>(0, inverse - 1)(random_) == 0; }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string Name() {
    static const char* const kNames[] = {"a", "item", "x:y", "Detail", "_u", "n-1", "v.2",
                                         "\xC3\xA9l\xC3\xA9ment", "\xE9\xA1\xB9", "AutoRunItem", "ab", "abc"};
    return kNames[Below(static_cast<int>(sizeof kNames / sizeof kNames[0]))];
  }

  void Misc(Document& doc) {
    static const char* const kMisc[] = {"", "\n", " \t\r\n", "<!-- note > -->", "<?pi data > more?>", "<!---->"};
    doc.text += kMisc[Below(6)];
  }

  void Attributes(Document& doc) {
    int count = Below(4);
    static const char* const kAttr[] = {"k", "id", "href", "x:lang", "p-q"};
    std::vector<std::string> used;
    for (int i = 0; i < count; ++i) {
      std::string name = kAttr[Below(5)];
      if (std::find(used.begin(), used.end(), name) != used.end()) continue;
      used.push_back(name);
      static const char* const kValues[] = {"\"v\"", "'a>b'", "\"it's\"", "'say \"hi\"'", "\"&lt;&amp;&#62;\"", "\"/\"", "\"\""};
      doc.text += (Chance(3) ? "\n  " : " ") + name + (Chance(4) ? " = " : "=") + kValues[Below(7)];
    }
  }

  void Element(Document& doc, int depth) {
    const std::string name = Name();
    doc.text += "<" + name;
    Attributes(doc);
    if (Chance(4) || depth > 6) {
      doc.text += Chance(2) ? "/>" : " />";
      return;
    }
    doc.text += ">";
    int children = Below(5);
    for (int i = 0; i < children; ++i) {
      switch (Below(7)) {
        case 0: doc.text += "text > more &amp; &#x41;"; break;
        case 1: doc.text += "<![CDATA[<not><tags>]]]]>"; break;
        case 2: doc.text += "<!-- <a> -->"; break;
        case 3: doc.text += "\r\n  "; break;
        default: Element(doc, depth + 1); break;
      }
    }
    doc.endTags.push_back(doc.text.size());
    doc.text += "</" + name + (Chance(5) ? " >" : ">");
  }

  std::mt19937 random_;
};

std::u16string OurTree(const std::u16string& text, bool* ok, std::u16string* error) {
  MarkupDoc doc;
  doc.SetText(text);
  doc.ClearErrorText();
  *ok = doc.Parse();
  *error = doc.GetErrorText();
  std::string problem = markup_check::CheckIndex(doc);
  EXPECT_EQ("", problem);
  return markup_check::DumpTree(doc, false);
}

TEST(MarkupAgainstLibxml2, GeneratedWellFormedDocuments) {
  DocumentGenerator generator(20240607);
  for (int i = 0; i < 1500; ++i) {
    DocumentGenerator::Document doc = generator.Make();
    std::u16string expected;
    ASSERT_TRUE(LibxmlTree(doc.text, &expected)) << "generated document is not well formed:\n" << doc.text;
    std::u16string text;
    ASSERT_TRUE(DecodeUtf8(doc.text, &text));
    bool ok;
    std::u16string error;
    std::u16string ours = OurTree(text, &ok, &error);
    ASSERT_TRUE(ok) << Narrow(error) << "\n" << doc.text;
    ASSERT_EQ(Narrow(expected), Narrow(ours)) << doc.text;
    ASSERT_EQ(expected, ours);
  }
}

TEST(MarkupAgainstLibxml2, BrokenTagStructureIsNotWellFormed) {
  DocumentGenerator generator(77);
  int checked = 0;
  for (int i = 0; i < 1500; ++i) {
    DocumentGenerator::Document doc = generator.Make();
    if (doc.endTags.empty()) continue;
    const size_t endTag = doc.endTags[static_cast<size_t>(i) % doc.endTags.size()];
    const size_t endTagLength = doc.text.find('>', endTag) + 1 - endTag;
    std::string broken;
    switch (i % 4) {
      case 0:  // an end tag missing
        broken = doc.text.substr(0, endTag) + doc.text.substr(endTag + endTagLength);
        break;
      case 1:  // an end tag naming another element
        broken = doc.text.substr(0, endTag) + "</zz>" + doc.text.substr(endTag + endTagLength);
        break;
      case 2: {  // the root element twice
        const size_t close = doc.text.find('>', doc.endTags.back()) + 1;
        size_t rootStart = 0;
        for (size_t p = doc.text.find('<'); p != std::string::npos; p = doc.text.find('<', p + 1)) {
          const char next = doc.text[p + 1];
          if (next != '?' && next != '!' && next != '/') {
            rootStart = p;
            break;
          }
        }
        broken = doc.text.substr(0, close) + doc.text.substr(rootStart, close - rootStart) + doc.text.substr(close);
        break;
      }
      default:  // a stray end tag inside the root
        broken = doc.text.substr(0, endTag) + "</stray>" + doc.text.substr(endTag);
        break;
    }
    if (LibxmlAccepts(broken)) continue;  // the change happened to leave it well formed
    std::u16string text;
    ASSERT_TRUE(DecodeUtf8(broken, &text));
    bool ok;
    std::u16string error;
    OurTree(text, &ok, &error);
    ASSERT_FALSE(ok) << broken;
    EXPECT_FALSE(error.empty()) << broken;
    ++checked;
  }
  EXPECT_GT(checked, 1000);
}

// Real XML files of this machine. A file counts when libxml2 reads it without
// fetching anything and it is UTF-8. Documents with an internal DTD subset
// are left out: their declarations may quote '<' and '>', which the
// tokenizer does not look inside.
TEST(MarkupAgainstLibxml2, XmlFilesOnThisMachine) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const char* root : {"/usr/share", "/etc"}) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
    for (; it != end && !ec; it.increment(ec)) {
      if (it->path().extension() != ".xml") continue;
      std::error_code sizeError;
      if (!it->is_regular_file(sizeError) || sizeError) continue;
      uintmax_t size = it->file_size(sizeError);
      if (!sizeError && size > 0 && size <= 1024 * 1024) files.push_back(it->path());
    }
  }
  if (files.empty()) GTEST_SKIP() << "no XML files found under /usr/share or /etc";
  std::sort(files.begin(), files.end());
  if (files.size() > 2000) files.resize(2000);

  int compared = 0;
  int refused = 0;
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    std::u16string text;
    if (!DecodeUtf8(bytes, &text)) continue;
    const size_t doctype = bytes.find("<!DOCTYPE");
    if (doctype != std::string::npos && bytes.find('[', doctype) < bytes.find('>', doctype)) continue;
    std::u16string expected;
    if (!LibxmlTree(bytes, &expected)) continue;
    bool ok;
    std::u16string error;
    std::u16string ours = OurTree(text, &ok, &error);
    if (!ok && error.find(u" too long") != std::u16string::npos) {
      // Tags beyond what the tag-length word holds are refused by design.
      ++refused;
      continue;
    }
    EXPECT_TRUE(ok) << path << ": " << Narrow(error);
    EXPECT_EQ(Narrow(expected), Narrow(ours)) << path;
    ++compared;
  }
  std::printf("compared %d XML files with libxml2 (%d refused for over-long tags)\n", compared, refused);
  EXPECT_GT(compared, 0);
}

}  // namespace

#endif  // _WIN32
