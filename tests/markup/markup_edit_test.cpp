// Building documents in place: adding elements, setting attributes, and the
// index kept in step with the text.
#include <gtest/gtest.h>

#include <string>

#include "markup/markup_doc.h"
#include "tests/markup/markup_index_check.h"

namespace {

const std::u16string kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"no\" ?>";

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// A document that holds only the declaration, as a response starts.
void StartResponse(MarkupDoc& doc) {
  doc.SetText(kDeclaration);
  doc.ClearErrorText();
  EXPECT_FALSE(doc.Parse());
  EXPECT_EQ(u"No root element", doc.GetErrorText());
}

// The index that the edits left must be the one a fresh parse of the text
// builds: same elements, offsets and tag lengths.
void ExpectIndexMatchesReparse(const MarkupDoc& doc) {
  ASSERT_EQ("", markup_check::CheckIndex(doc));
  MarkupDoc fresh;
  fresh.SetText(doc.GetText());
  fresh.Parse();
  EXPECT_EQ(Narrow(markup_check::DumpTree(fresh, true)), Narrow(markup_check::DumpTree(doc, true)));
}

TEST(MarkupEdit, ElementsEachOnTheirOwnLine) {
  MarkupDoc doc;
  StartResponse(doc);
  const int32_t declLength = static_cast<int32_t>(kDeclaration.size());

  ASSERT_TRUE(doc.AddElement(u"R"));
  EXPECT_EQ(kDeclaration + u"<R/>\r\n", doc.GetText());
  EXPECT_EQ(0, doc.GetParentPos());
  EXPECT_EQ(1, doc.GetCurrentPos());
  EXPECT_EQ(0, doc.GetChildPos());
  EXPECT_EQ(1, doc.GetNodeType());
  EXPECT_EQ(declLength, doc.GetElement(1).start);
  EXPECT_EQ(4, doc.GetElement(1).length);

  ASSERT_TRUE(doc.AddChildElement(u"d"));
  EXPECT_EQ(kDeclaration + u"<R>\r\n<d/>\r\n</R>\r\n", doc.GetText());
  const ElementEntry& r = doc.GetElement(1);
  EXPECT_EQ(3, r.StartTagLength());
  EXPECT_EQ(4, r.EndTagLength());
  EXPECT_EQ(15, r.length);
  EXPECT_EQ(declLength + 5, doc.GetElement(2).start);
  EXPECT_EQ(1, doc.GetElement(2).Level());
  EXPECT_EQ(1, doc.GetCurrentPos());
  EXPECT_EQ(2, doc.GetChildPos());

  ASSERT_TRUE(doc.AddChildElement(u"e"));
  EXPECT_EQ(kDeclaration + u"<R>\r\n<d/>\r\n<e/>\r\n</R>\r\n", doc.GetText());
  EXPECT_EQ(21, doc.GetElement(1).length);
  EXPECT_EQ(3, doc.GetChildPos());
  EXPECT_EQ(static_cast<int32_t>(doc.GetText().size()), doc.GetElement(0).length);
  ExpectIndexMatchesReparse(doc);

  ASSERT_TRUE(doc.SetChildAttribute(u"a", u"1"));
  ASSERT_TRUE(doc.SetChildAttribute(u"b", u"2"));
  EXPECT_EQ(kDeclaration + u"<R>\r\n<d/>\r\n<e a=\"1\" b=\"2\"/>\r\n</R>\r\n", doc.GetText());
  ASSERT_TRUE(doc.SetChildAttribute(u"a", u"3"));
  EXPECT_EQ(kDeclaration + u"<R>\r\n<d/>\r\n<e a=\"3\" b=\"2\"/>\r\n</R>\r\n", doc.GetText());
  EXPECT_EQ(16, doc.GetElement(3).StartTagLength());
  ExpectIndexMatchesReparse(doc);
}

TEST(MarkupEdit, ResponseLikeDocument) {
  MarkupDoc doc;
  StartResponse(doc);
  ASSERT_TRUE(doc.AddElement(u"CmdResponse"));
  ASSERT_TRUE(doc.AddChildElement(u"detail"));
  doc.IntoElement();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(doc.AddChildElement(u"AutoRunItem"));
    ASSERT_TRUE(doc.SetChildAttribute(u"name", u"item" + std::u16string(1, static_cast<char16_t>(u'0' + i))));
    ASSERT_TRUE(doc.SetChildAttribute(u"cmdline", u"\"C:\\a b\\x.exe\" /s"));
  }
  doc.OutOfElement();
  EXPECT_EQ(1, doc.GetCurrentPos());
  EXPECT_EQ(2, doc.GetChildPos());
  ASSERT_TRUE(doc.AddChildElement(u"Result"));
  ASSERT_TRUE(doc.SetChildAttribute(u"nResult", u"0"));
  const std::u16string item = u"cmdline=\"&quot;C:\\a b\\x.exe&quot; /s\"/>\r\n";
  EXPECT_EQ(kDeclaration + u"<CmdResponse>\r\n<detail>\r\n" +                      //
                u"<AutoRunItem name=\"item0\" " + item +                          //
                u"<AutoRunItem name=\"item1\" " + item +                          //
                u"<AutoRunItem name=\"item2\" " + item +                          //
                u"</detail>\r\n<Result nResult=\"0\"/>\r\n</CmdResponse>\r\n",  //
            doc.GetText());
  ExpectIndexMatchesReparse(doc);
  doc.ClearErrorText();
  EXPECT_TRUE(doc.Parse());
}

TEST(MarkupEdit, EmptyDetailStaysOneLine) {
  MarkupDoc doc;
  StartResponse(doc);
  ASSERT_TRUE(doc.AddElement(u"R"));
  ASSERT_TRUE(doc.AddChildElement(u"detail"));
  doc.IntoElement();
  doc.OutOfElement();
  ASSERT_TRUE(doc.AddChildElement(u"Result"));
  EXPECT_EQ(kDeclaration + u"<R>\r\n<detail/>\r\n<Result/>\r\n</R>\r\n", doc.GetText());
  ExpectIndexMatchesReparse(doc);
}

TEST(MarkupEdit, AddingToParsedDocuments) {
  MarkupDoc doc;
  // A parent written as start and end tag with nothing between.
  doc.SetText(u"<p></p>");
  ASSERT_TRUE(doc.Parse());
  ASSERT_TRUE(doc.SetPositions(0, 1, 0));
  ASSERT_TRUE(doc.AddChildElement(u"x"));
  EXPECT_EQ(u"<p>\r\n<x/>\r\n</p>", doc.GetText());
  ExpectIndexMatchesReparse(doc);

  // Text after the current child keeps the new element right behind it.
  doc.SetText(u"<p><a/>text<c/></p>");
  ASSERT_TRUE(doc.Parse());
  ASSERT_TRUE(doc.SetPositions(0, 1, 2));
  ASSERT_TRUE(doc.AddChildElement(u"b"));
  EXPECT_EQ(u"<p><a/><b/>\r\ntext<c/></p>", doc.GetText());
  ExpectIndexMatchesReparse(doc);
  EXPECT_EQ(u"p\n a\n b\n c\n", markup_check::DumpTree(doc, false));

  // Inserting between two siblings keeps both sibling links right.
  doc.SetText(u"<p>\r\n<a/>\r\n<c/>\r\n</p>");
  ASSERT_TRUE(doc.Parse());
  ASSERT_TRUE(doc.SetPositions(1, 2, 0));
  ASSERT_TRUE(doc.AddElement(u"b"));
  EXPECT_EQ(u"<p>\r\n<a/>\r\n<b/>\r\n<c/>\r\n</p>", doc.GetText());
  EXPECT_EQ(4, doc.GetElement(3).prev) << "c's previous sibling is the new b";
  ExpectIndexMatchesReparse(doc);

  // Without a position, an element goes after the last top-level one.
  doc.SetText(u"<a/>  ");
  doc.Parse();
  ASSERT_TRUE(doc.AddElement(u"b"));
  EXPECT_EQ(u"<a/>  <b/>\r\n", doc.GetText());
  EXPECT_EQ(1, doc.GetElement(2).prev);
  ExpectIndexMatchesReparse(doc);
}

TEST(MarkupEdit, AttributeOnAnElementWithChildrenMovesWhatFollows) {
  MarkupDoc doc;
  doc.SetText(u"<r><a><b/></a><c/></r><!-- end -->");
  ASSERT_TRUE(doc.Parse());
  ASSERT_TRUE(doc.SetPositions(0, 1, 2));
  ASSERT_TRUE(doc.SetChildAttribute(u"k", u"v"));
  EXPECT_EQ(u"<r><a k=\"v\"><b/></a><c/></r><!-- end -->", doc.GetText());
  ExpectIndexMatchesReparse(doc);
}

TEST(MarkupEdit, AttributeSearch) {
  MarkupDoc doc;
  struct Case {
    const char16_t* before;
    const char16_t* name;
    const char16_t* value;
    const char16_t* after;
  } cases[] = {
      // Quoted values may hold '>' and '/'.
      {u"<r><e x='a>b' y=\"/\"/></r>", u"y", u"2", u"<r><e x='a>b' y=\"2\"/></r>"},
      {u"<r><e x='a>b' y=\"/\"/></r>", u"z", u"3", u"<r><e x='a>b' y=\"/\" z=\"3\"/></r>"},
      // New attributes go before whitespace and the closing of the tag.
      {u"<r><e  a=\"1\"  ></e></r>", u"b", u"2", u"<r><e  a=\"1\" b=\"2\"  ></e></r>"},
      // A name that only starts like the wanted one is another attribute.
      {u"<r><e ab=\"1\"/></r>", u"a", u"2", u"<r><e ab=\"1\" a=\"2\"/></r>"},
      // A bare name is not a value to replace: the attribute is added.
      {u"<r><e a b=\"2\"/></r>", u"a", u"1", u"<r><e a b=\"2\" a=\"1\"/></r>"},
      // An unquoted value is replaced whole, but never with the '/' of "/>".
      {u"<r><e a=1/></r>", u"a", u"2", u"<r><e a=\"2\"/></r>"},
      {u"<r><e a = 'x' /></r>", u"a", u"y", u"<r><e a = \"y\" /></r>"},
      // Values are escaped.
      {u"<r><e/></r>", u"v", u"x<y & \"z\" 'q' >", u"<r><e v=\"x&lt;y &amp; &quot;z&quot; &apos;q&apos; &gt;\"/></r>"},
  };
  for (const Case& c : cases) {
    doc.SetText(c.before);
    doc.Parse();
    ASSERT_TRUE(doc.SetPositions(0, 1, 2)) << Narrow(c.before);
    EXPECT_TRUE(doc.SetChildAttribute(c.name, c.value)) << Narrow(c.before);
    EXPECT_EQ(Narrow(c.after), Narrow(doc.GetText()));
    ExpectIndexMatchesReparse(doc);
  }
}

TEST(MarkupEdit, EscapeAttributeValue) {
  EXPECT_EQ(u"x&lt;y &amp; &quot;z&quot;", MarkupDoc::EscapeAttributeValue(u"x<y & \"z\""));
  EXPECT_EQ(u"&gt;&apos;&amp;amp;", MarkupDoc::EscapeAttributeValue(u">'&amp;"));
  EXPECT_EQ(u"", MarkupDoc::EscapeAttributeValue(u""));
  std::u16string many(1000, u'&');
  std::u16string escaped;
  for (int i = 0; i < 1000; ++i) escaped += u"&amp;";
  EXPECT_EQ(escaped, MarkupDoc::EscapeAttributeValue(many));
}

// What XML 1.0 forbids becomes U+FFFD; white space other than the blank is
// written as a reference; surrogate pairs and the last allowed units stay.
TEST(MarkupEdit, EscapeAttributeValueKeepsTheDocumentWellFormed) {
  const std::u16string in = std::u16string(u"\x00\x01\x08\x0B\x0C\x1F \x7F", 8) +
                            char16_t(0xD7FF) + char16_t(0xE000) + char16_t(0xFFFD) +
                            char16_t(0xFFFE) + char16_t(0xFFFF);
  const std::u16string out = std::u16string(u"\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD \x7F") +
                             char16_t(0xD7FF) + char16_t(0xE000) + char16_t(0xFFFD) +
                             char16_t(0xFFFD) + char16_t(0xFFFD);
  EXPECT_EQ(out, MarkupDoc::EscapeAttributeValue(in));
  EXPECT_EQ(u"a&#9;b&#10;c&#13;&#13;&#10;", MarkupDoc::EscapeAttributeValue(u"a\tb\nc\r\r\n"));

  const char16_t high = 0xD83D, low = 0xDE00;
  const std::u16string pair = {high, low};
  EXPECT_EQ(pair, MarkupDoc::EscapeAttributeValue(pair));
  EXPECT_EQ(u"\xFFFD", MarkupDoc::EscapeAttributeValue(std::u16string(1, high)));
  EXPECT_EQ(u"\xFFFD", MarkupDoc::EscapeAttributeValue(std::u16string(1, low)));
  EXPECT_EQ(u"\xFFFD" + pair, MarkupDoc::EscapeAttributeValue(std::u16string{high, high, low}));
  EXPECT_EQ(u"\xFFFD\xFFFDx", MarkupDoc::EscapeAttributeValue(std::u16string{low, high, u'x'}));
}

TEST(MarkupEdit, RefusedEditsChangeNothing) {
  MarkupDoc doc;
  StartResponse(doc);
  EXPECT_FALSE(doc.AddChildElement(u"x")) << "no current element";
  EXPECT_FALSE(doc.SetChildAttribute(u"a", u"1")) << "no current child";
  EXPECT_EQ(kDeclaration, doc.GetText());

  // An element without end tag has nowhere to hold children.
  doc.SetText(u"<r><a></r>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(1, 2, 0));
  EXPECT_FALSE(doc.AddChildElement(u"x"));
  doc.IntoElement();
  EXPECT_FALSE(doc.AddElement(u"x"));
  EXPECT_EQ(u"<r><a></r>", doc.GetText());

  // Start tags stay below 2^20 characters, end tags below 512.
  doc.SetText(u"<r/>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(0, 1, 0));
  EXPECT_FALSE(doc.AddElement(std::u16string((1 << 20) - 3, u'n')));
  EXPECT_TRUE(doc.AddElement(std::u16string((1 << 20) - 4, u'n')));
  doc.SetText(u"<r><e/></r>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(0, 1, 2));
  EXPECT_FALSE(doc.SetChildAttribute(u"a", std::u16string((1 << 20) - 9, u'v')));
  EXPECT_EQ(u"<r><e/></r>", doc.GetText());
  EXPECT_TRUE(doc.SetChildAttribute(u"a", std::u16string((1 << 20) - 10, u'v')));
  EXPECT_EQ((1 << 20) - 1, doc.GetElement(2).StartTagLength());
  ExpectIndexMatchesReparse(doc);

  const std::u16string longName(509, u'p');
  doc.SetText(u"<" + longName + u"/>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(0, 1, 0));
  EXPECT_FALSE(doc.AddChildElement(u"x")) << "its end tag would be 512 characters";
  const std::u16string shorter(508, u'p');
  doc.SetText(u"<" + shorter + u"/>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(0, 1, 0));
  EXPECT_TRUE(doc.AddChildElement(u"x"));
  EXPECT_EQ(511, doc.GetElement(1).EndTagLength());
  ExpectIndexMatchesReparse(doc);

  // A quote that the start tag does not close: refused rather than spliced
  // after the tag.
  doc.SetText(u"<r><e x\"y \"q>rest\" ></e></r>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(0, 1, 2));
  EXPECT_FALSE(doc.SetChildAttribute(u"a", u"1"));
  EXPECT_EQ(u"<r><e x\"y \"q>rest\" ></e></r>", doc.GetText());

  // Replacing an unquoted value that holds a quote would change where the
  // start tag ends: refused.
  doc.SetText(u"<r><e a=x\"y z\"/></r>");
  ASSERT_TRUE(doc.Parse());
  ASSERT_TRUE(doc.SetPositions(0, 1, 2));
  EXPECT_FALSE(doc.SetChildAttribute(u"a", u"v"));
  EXPECT_EQ(u"<r><e a=x\"y z\"/></r>", doc.GetText());
  EXPECT_TRUE(doc.SetChildAttribute(u"b", u"v")) << "adding keeps the quotes balanced";
  ExpectIndexMatchesReparse(doc);

  // The search stops at the '?' inside this name; adding there would cut
  // the name its end tag repeats.
  doc.SetText(u"<r><a?b></a?b></r>");
  ASSERT_TRUE(doc.Parse());
  ASSERT_TRUE(doc.SetPositions(0, 1, 2));
  EXPECT_FALSE(doc.SetChildAttribute(u"k", u"v"));
  EXPECT_EQ(u"<r><a?b></a?b></r>", doc.GetText());
}

TEST(MarkupEdit, ElementNamesMustReadBack) {
  MarkupDoc doc;
  StartResponse(doc);
  for (const char16_t* bad : {u"", u"a b", u"a>b", u"a/b", u"1a", u"-a", u"a?b", u"a!b", u"a<b", u"a\\b"}) {
    EXPECT_FALSE(doc.AddElement(bad)) << Narrow(bad);
  }
  EXPECT_EQ(kDeclaration, doc.GetText());
  EXPECT_EQ(0, doc.GetCurrentPos());
  ASSERT_TRUE(doc.AddElement(u"x:y-1.2_\u9879"));
  ASSERT_TRUE(doc.AddChildElement(u"a=b"));
  ASSERT_TRUE(doc.SetPositions(1, 2, 0));
  ASSERT_TRUE(doc.AddChildElement(u"c"));
  EXPECT_EQ(kDeclaration + u"<x:y-1.2_\u9879>\r\n<a=b>\r\n<c/>\r\n</a>\r\n</x:y-1.2_\u9879>\r\n", doc.GetText());
  ExpectIndexMatchesReparse(doc);

  // A parsed parent whose name the end tag could not repeat gets no children.
  doc.SetText(u"<a?b/>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(0, 1, 0));
  EXPECT_FALSE(doc.AddChildElement(u"c"));
  EXPECT_EQ(u"<a?b/>", doc.GetText());

  // Nor one that would still close itself once its '/' became '>'.
  doc.SetText(u"<a//>");
  doc.Parse();
  ASSERT_TRUE(doc.SetPositions(0, 1, 0));
  EXPECT_FALSE(doc.AddChildElement(u"c"));
  EXPECT_EQ(u"<a//>", doc.GetText());
}

TEST(MarkupEdit, LongBuildsKeepTheIndexExact) {
  MarkupDoc doc;
  StartResponse(doc);
  ASSERT_TRUE(doc.AddElement(u"Root"));
  ASSERT_TRUE(doc.AddChildElement(u"detail"));
  doc.IntoElement();
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(doc.AddChildElement(u"AutoRunItem"));
    ASSERT_TRUE(doc.SetChildAttribute(u"name", u"n"));
    ASSERT_TRUE(doc.SetChildAttribute(u"size", u"12345678901"));
  }
  doc.OutOfElement();
  ASSERT_TRUE(doc.AddChildElement(u"Result"));
  EXPECT_EQ(2004, doc.GetElementCount());
  ExpectIndexMatchesReparse(doc);
}

}  // namespace
