// Parses the input as a document, then applies edits that the rest of the
// input chooses, checking after every step that the element index agrees
// with the text; finally the edited text is parsed afresh and, when the
// input was well formed, must give exactly the index the edits kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "markup/markup_doc.h"
#include "tests/markup/markup_index_check.h"

namespace {

void Require(bool condition, const char* what, const std::string& detail = std::string()) {
  if (condition) return;
  std::fprintf(stderr, "markup fuzz: %s %s\n", what, detail.c_str());
  std::abort();
}

void RequireIndex(const MarkupDoc& doc, const char* when) {
  std::string problem = markup_check::CheckIndex(doc);
  Require(problem.empty(), when, problem);
}

// The text: a length byte pair, then that many bytes, one character each.
// Bytes 0xF0-0xFF stand for characters outside Latin-1 (CJK, a surrogate
// half, a pair half) so that wide text is exercised too.
char16_t Character(uint8_t b) {
  static const char16_t kWide[16] = {0x5B89, 0x5168, 0xD83D, 0xDE00, 0x4E2D, 0x00E9, 0x3000, 0xFFFD,
                                     0x0000, 0x2028, 0xFEFF, 0x0085, 0x00A0, 0x200B, 0xDC00, 0x7FFF};
  return b >= 0xF0 ? kWide[b - 0xF0] : static_cast<char16_t>(b);
}

const char16_t* const kNames[] = {u"a", u"item", u"x:y", u"Detail", u"AutoRunItem", u"_n-1.2", u"\u9879"};
const char16_t* const kAttributes[] = {u"k", u"id", u"name", u"a", u"x:y"};
const char16_t* const kValues[] = {u"", u"v", u"<&>\"'", u"C:\\Program Files\\x.exe /s", u"\u5b89\u5168",
                                   u"a longer value with spaces and = signs",
                                   u"tab\t lf\n cr\r ctl\x01\x1F lone\xD800 end\xFFFF"};

template <typename T, size_t N>
const T& Pick(const T (&table)[N], uint8_t b) {
  return table[b % N];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t textBytes = (static_cast<size_t>(data[0]) << 8 | data[1]) % (size - 1);
  std::u16string text;
  text.reserve(textBytes);
  for (size_t i = 0; i < textBytes; ++i) text.push_back(Character(data[2 + i]));
  const uint8_t* script = data + 2 + textBytes;
  const size_t scriptBytes = size - 2 - textBytes;

  MarkupDoc doc;
  doc.SetText(text);
  doc.ClearErrorText();
  doc.Parse();
  RequireIndex(doc, "after parse");
  const bool wellFormed = (doc.GetElement(0).flagsLevel & ElementEntry::kIllFormed) == 0;

  for (size_t i = 0; i + 1 < scriptBytes; i += 2) {
    const uint8_t op = script[i];
    const uint8_t arg = script[i + 1];
    switch (op % 7) {
      case 0: doc.AddElement(Pick(kNames, arg)); break;
      case 1: doc.AddChildElement(Pick(kNames, arg)); break;
      case 2: doc.SetChildAttribute(Pick(kAttributes, arg), Pick(kValues, arg >> 3)); break;
      case 3: doc.IntoElement(); break;
      case 4: doc.OutOfElement(); break;
      default: {
        // Jump to an element: it becomes the current child of its parent.
        const int32_t count = doc.GetElementCount();
        if (count < 2) break;
        const int32_t element = 1 + (arg * 131) % (count - 1);
        const int32_t parent = doc.GetElement(element).parent;
        if (parent == 0)
          Require(doc.SetPositions(0, element, 0), "top-level position refused");
        else
          Require(doc.SetPositions(doc.GetElement(parent).parent, parent, element), "position refused");
        break;
      }
    }
    // The check walks the whole index: after every edit while the document
    // is small, then every 32nd, so long edit scripts stay fast to run.
    if (doc.GetElementCount() < 64 || (i / 2) % 32 == 0) RequireIndex(doc, "after edit");
  }
  RequireIndex(doc, "after the edits");

  MarkupDoc fresh;
  fresh.SetText(doc.GetText());
  fresh.Parse();
  RequireIndex(fresh, "after re-parse");
  if (wellFormed) {
    Require((fresh.GetElement(0).flagsLevel & ElementEntry::kIllFormed) == 0, "edits made the document ill formed");
    Require(markup_check::DumpTree(fresh, true) == markup_check::DumpTree(doc, true), "re-parse differs from the edited index");
  }
  return 0;
}
