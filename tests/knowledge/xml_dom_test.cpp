// The DOM access layer on its own: the same answers from MSXML (Windows) and
// libxml2 (Linux) for the operations the knowledge-base loader uses, and the
// streaming read giving the DOM's answers for every document.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "enrich/xml_dom.h"
#include "tests/support/test_system.h"

namespace {

class XmlDomTest : public ::testing::Test {
 protected:
  std::u16string Write(const std::string& bytes) {
    std::u16string path = testsys::ScratchFolder() + u"\\doc.xml";
    EXPECT_TRUE(testsys::WriteFileBytes(path, bytes));
    return path;
  }
  testsys::CleanSystem system;
};

TEST_F(XmlDomTest, SelectsNamedChildrenInDocumentOrder) {
  std::u16string path = Write(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Root><RunItem Name=\"one\"/><runitem Name=\"lower\"/><Skip><RunItem Name=\"deep\"/></Skip>"
      "text<RunItem Name=\"two\" Empty=\"\" Amp=\"a&amp;b&#x4E2D;\"/></Root>");
  CXmlDocumentWrapper document;
  ASSERT_TRUE(document.HasDocument());
  ASSERT_EQ(1, document.LoadFile(path.c_str()));
  CXmlNodeWrapper root = document.RootNode();
  ASSERT_FALSE(root.IsEmpty());
  CXmlNodeListWrapper items = root.SelectChildren(u"RunItem");
  ASSERT_EQ(2, items.Length());
  EXPECT_EQ(u"one", items.ItemAt(0).AttributeText(u"Name"));
  CXmlNodeWrapper second = items.ItemAt(1);
  EXPECT_EQ(u"two", second.AttributeText(u"Name"));
  EXPECT_EQ(u"", second.AttributeText(u"Empty"));
  EXPECT_EQ(u"", second.AttributeText(u"name"));
  EXPECT_EQ(u"", second.AttributeText(u"Missing"));
  EXPECT_EQ(u"a&b中", second.AttributeText(u"Amp"));
  EXPECT_TRUE(items.ItemAt(2).IsEmpty());
  EXPECT_EQ(u"", items.ItemAt(2).AttributeText(u"Name"));
  EXPECT_FALSE(document.ReadFailed());
}

TEST_F(XmlDomTest, FailedLoadsAnswerNothing) {
  CXmlDocumentWrapper document;
  std::u16string missing = testsys::ScratchFolder() + u"\\absent.xml";
  EXPECT_EQ(0, document.LoadFile(missing.c_str()));
  EXPECT_TRUE(document.RootNode().IsEmpty());

  std::u16string broken = Write("<Root><RunItem></Root>");
  EXPECT_EQ(0, document.LoadFile(broken.c_str()));

  CXmlNodeWrapper empty;
  EXPECT_TRUE(empty.SelectChildren(u"RunItem").IsEmpty());
  EXPECT_EQ(0, empty.SelectChildren(u"RunItem").Length());
  EXPECT_EQ(u"", empty.AttributeText(u"Name"));
}

// External entities are never fetched: the document either loads with the
// reference unresolved or not at all, and the secret never shows up.
TEST_F(XmlDomTest, ExternalEntitiesAreNotRead) {
  std::u16string secret = testsys::ScratchFolder() + u"\\secret.txt";
  ASSERT_TRUE(testsys::WriteFileBytes(secret, "SECRET"));
  std::u16string path = Write(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE Root [<!ENTITY s SYSTEM \"secret.txt\">]>\n"
      "<Root><RunItem Name=\"x&s;\"/></Root>");
  CXmlDocumentWrapper document;
  if (document.LoadFile(path.c_str()) == 0) return;
  CXmlNodeListWrapper items = document.RootNode().SelectChildren(u"RunItem");
  for (long i = 0; i < items.Length(); ++i)
    EXPECT_EQ(std::u16string::npos, items.ItemAt(i).AttributeText(u"Name").find(u"SECRET"));
}

const char16_t* const kNames[] = {u"Name", u"Desc", u"Level", u"Missing"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

// What a read of the document's "RunItem" children answers: whether it
// loaded, and each child's attribute texts in order.
struct Answer {
  bool loaded = false;
  std::vector<std::u16string> texts;
};

Answer ByDom(const std::u16string& path) {
  Answer answer;
  CXmlDocumentWrapper document;
  answer.loaded = document.LoadFile(path.c_str()) == 1;
  if (!answer.loaded) return answer;
  CXmlNodeListWrapper items = document.RootNode().SelectChildren(u"RunItem");
  for (long i = 0; i < items.Length(); ++i)
    for (const char16_t* name : kNames) answer.texts.push_back(items.ItemAt(i).AttributeText(name));
  EXPECT_FALSE(document.ReadFailed());
  return answer;
}

Answer ByStream(const std::u16string& path) {
  Answer answer;
  const XmlReadResult result =
      ReadChildElements(path.c_str(), u"RunItem", kNames, kNameCount, [&answer](const std::u16string* texts) {
        answer.texts.insert(answer.texts.end(), texts, texts + kNameCount);
        return true;
      });
  answer.loaded = result != XmlReadResult::kNotLoaded;
  if (!answer.loaded) answer.texts.clear();  // elements before a fault may have been handed over
  EXPECT_NE(XmlReadResult::kIncomplete, result);
  return answer;
}

class XmlStreamTest : public XmlDomTest {
 protected:
  // The streaming read must accept exactly what the DOM accepts and give
  // the same texts.
  void ExpectSameAnswers(const std::string& bytes) {
    std::u16string path = Write(bytes);
    Answer dom = ByDom(path);
    Answer stream = ByStream(path);
    EXPECT_EQ(dom.loaded, stream.loaded) << bytes;
    EXPECT_TRUE(dom.texts == stream.texts) << bytes;
  }
};

TEST_F(XmlStreamTest, GivesTheDomsAnswers) {
  const std::string documents[] = {
      // Children of other names and depths, text, comments, instructions,
      // character data, references in attribute texts.
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root><RunItem Name=\"one\" Level=\"1\"/><!-- c --><?pi x?>"
      "<runitem Name=\"lower\"/><Skip><RunItem Name=\"deep\"/></Skip>text<![CDATA[<RunItem Name='cdata'/>]]>"
      "<RunItem Name=\"a&amp;b&#x4E2D;&lt;\" Desc=\"\" Level=\"2\">inner<RunItem Name=\"nested\"/></RunItem></Root>",
      // Namespaces: a prefixed element is another name, a default namespace
      // is not; attributes in a namespace are not the plain ones.
      "<Root xmlns:p=\"urn:p\"><p:RunItem Name=\"prefixed\"/><RunItem p:Name=\"ns\" Name=\"plain\"/>"
      "<RunItem xmlns=\"urn:d\" Name=\"default\"/><q:RunItem Name=\"undeclared\"/></Root>",
      // Entities of the internal subset: in attribute texts, with elements
      // in their content, and default attribute values.
      "<?xml version=\"1.0\"?>\n<!DOCTYPE Root [<!ENTITY e \"ent\"><!ENTITY twice \"&e;&e;\">"
      "<!ENTITY item \"<RunItem Name='fromEntity'/>\"><!ATTLIST RunItem Level CDATA \"2\" Desc CDATA #FIXED \"d\">]>\n"
      "<Root><RunItem Name=\"a&e;b&twice;\"/>&item;<RunItem Name=\"x\" Level=\"3\"/>&item;&e;</Root>",
      // IDs declared twice, and one root element only.
      "<!DOCTYPE Root [<!ATTLIST RunItem Name ID #IMPLIED>]><Root><RunItem Name=\"same\"/><RunItem Name=\"same\"/>"
      "<RunItem xml:id=\"i\" Name=\"i1\"/><RunItem xml:id=\"i\" Name=\"i2\"/></Root>",
      "<Root/>",
      "<RunItem Name=\"root itself\"/>",
      // Encodings, known and not.
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root><RunItem Name=\"caf\xE9\"/></Root>",
      "<?xml version=\"1.0\" encoding=\"x-unknown\"?><Root><RunItem Name=\"a\"/></Root>",
      std::string("\xFF\xFE<\0R\0/\0>\0", 10),
      // Malformed in many ways.
      "", "<?xml version=\"1.0\"?>", "<Root><RunItem Name=\"a\"/></Root><Root/>", "<Root></Root>junk",
      "<Root><RunItem Name=\"&undeclared;\"/></Root>", "<Root><RunItem Name=\"&#0;\"/></Root>",
      "<Root><RunItem Name=\"a\" Name=\"b\"/></Root>", "<Root><RunItem Name=\"a\"></Root>",
      "<Root><RunItem Name=\"a\"/>\x01</Root>", "<Root><RunItem Name=\"\xC3\x28\"/></Root>",
      "<!DOCTYPE Root [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]><Root><RunItem Name=\"&a;\"/></Root>",
      "<!DOCTYPE Root [<!ENTITY s SYSTEM \"absent.txt\">]><Root><RunItem Name=\"x\"/>&s;</Root>",
  };
  for (const std::string& document : documents) ExpectSameAnswers(document);
}

// Every prefix of a document, and the document with each byte turned into
// markup: accepted or refused alike, the same texts where accepted.
TEST_F(XmlStreamTest, CutAndDamagedDocumentsGiveTheDomsAnswers) {
  const std::string whole =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE R [<!ENTITY e \"E\">]>\n<R>\n <RunItem Name=\"a&e;\" Level=\"1\"/>\n"
      " <RunItem Name=\"b\"><x/></RunItem><!--c--><RunItem Desc=\"&#x4E2D;\"/>\n</R>\n";
  for (size_t cut = 0; cut <= whole.size(); ++cut) ExpectSameAnswers(whole.substr(0, cut));
  for (size_t at = 0; at < whole.size(); ++at)
    for (char markup : {'<', '&', '"'}) {
      std::string damaged = whole;
      damaged[at] = markup;
      ExpectSameAnswers(damaged);
    }
}

// A visit that fails ends the handing over, and the document is still read
// to its end: a malformed one is refused however the visits went.
TEST_F(XmlStreamTest, AFailedVisitEndsTheHandingOver) {
  std::u16string good = Write("<Root><RunItem Name=\"a\"/><RunItem Name=\"b\"/></Root>");
  int visits = 0;
  EXPECT_EQ(XmlReadResult::kIncomplete, ReadChildElements(good.c_str(), u"RunItem", kNames, kNameCount,
                                                          [&visits](const std::u16string*) { return ++visits > 1; }));
  EXPECT_EQ(1, visits);
  visits = 0;
  EXPECT_EQ(XmlReadResult::kIncomplete,
            ReadChildElements(good.c_str(), u"RunItem", kNames, kNameCount, [&visits](const std::u16string*) -> bool {
              ++visits;
              throw std::runtime_error("visit");
            }));
  EXPECT_EQ(1, visits);

  std::u16string bad = Write("<Root><RunItem Name=\"a\"/><RunItem></Root>");
  EXPECT_EQ(XmlReadResult::kNotLoaded, ReadChildElements(bad.c_str(), u"RunItem", kNames, kNameCount,
                                                         [](const std::u16string*) { return false; }));
  std::u16string missing = testsys::ScratchFolder() + u"\\absent.xml";
  EXPECT_EQ(XmlReadResult::kNotLoaded, ReadChildElements(missing.c_str(), u"RunItem", kNames, kNameCount,
                                                         [](const std::u16string*) { return true; }));
}

}  // namespace
