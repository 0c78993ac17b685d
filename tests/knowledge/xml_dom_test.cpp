// The DOM access layer on its own: the same answers from MSXML (Windows) and
// libxml2 (Linux) for the operations the knowledge-base loader uses.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
