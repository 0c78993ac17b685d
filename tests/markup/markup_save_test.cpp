// Writing a document to a file: encodings, byte counts, the result line and
// the runtime's error texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "markup/markup_doc.h"
#include "tests/support/test_system.h"

#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

const std::u16string kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"no\" ?>";

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string ResultLine(size_t chars, size_t bytes) {
  return Widen(std::to_string(chars) + " wide chars to " + std::to_string(bytes) + " bytes");
}

// Files for Save: in the test system's scratch folder when the platform
// layer provides one, else in a folder of the host (a temporary folder on
// Linux, the working folder under Windows).
class ScratchFiles {
 public:
  ScratchFiles() {
    folder_ = testsys::ScratchFolder();
    if (!folder_.empty()) {
      separator_ = u"\\";
      return;
    }
    hostFiles_ = true;
#ifdef _WIN32
    folder_ = u".";
    separator_ = u"\\";
#else
    char pattern[] = "/tmp/rv-markup-XXXXXX";
    if (mkdtemp(pattern) != nullptr) hostFolder_ = pattern;
    folder_ = Widen(hostFolder_);
    separator_ = u"/";
#endif
  }
  ~ScratchFiles() {
#ifndef _WIN32
    if (!hostFolder_.empty()) {
      for (const std::string& name : created_) unlink((hostFolder_ + "/" + name).c_str());
      rmdir(hostFolder_.c_str());
    }
#else
    for (const std::string& name : created_) std::remove(name.c_str());
#endif
  }

  std::u16string Path(const std::string& name) {
    created_.push_back(name);
    return folder_ + separator_ + Widen(name);
  }
  std::u16string MissingFolderPath() { return folder_ + separator_ + u"no such folder" + separator_ + u"out.xml"; }

  bool Read(const std::string& name, std::string* bytes) {
    if (!hostFiles_) return testsys::ReadFileBytes(folder_ + separator_ + Widen(name), bytes);
#ifdef _WIN32
    std::string host = name;
#else
    std::string host = hostFolder_ + "/" + name;
#endif
    std::FILE* file = std::fopen(host.c_str(), "rb");
    if (file == nullptr) return false;
    bytes->clear();
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, got);
    std::fclose(file);
    return true;
  }
  bool Write(const std::string& name, const std::string& bytes) {
    if (!hostFiles_) return testsys::WriteFileBytes(folder_ + separator_ + Widen(name), bytes);
#ifdef _WIN32
    std::string host = name;
#else
    std::string host = hostFolder_ + "/" + name;
#endif
    std::FILE* file = std::fopen(host.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
  }

 private:
  std::u16string folder_;
  std::u16string separator_;
  bool hostFiles_ = false;
  std::string hostFolder_;
  std::vector<std::string> created_;
};

class MarkupSave : public ::testing::Test {
 protected:
  testsys::CleanSystem system_;
  ScratchFiles files_;
};

TEST_F(MarkupSave, Utf16DeclarationWritesLittleEndianWithMark) {
  MarkupDoc doc;
  doc.SetText(kDeclaration);
  doc.Parse();
  ASSERT_TRUE(doc.AddElement(u"R"));
  ASSERT_TRUE(doc.AddChildElement(u"d"));
  ASSERT_TRUE(doc.SetChildAttribute(u"level", u"\u5b89\u5168"));
  const std::u16string& text = doc.GetText();

  ASSERT_TRUE(doc.Save(files_.Path("utf16.xml").c_str())) << std::string(doc.GetErrorText().begin(), doc.GetErrorText().end());
  EXPECT_EQ(ResultLine(text.size(), 2 * text.size()), doc.GetErrorText());
  std::string bytes;
  ASSERT_TRUE(files_.Read("utf16.xml", &bytes));
  ASSERT_EQ(2 * text.size() + 2, bytes.size());
  EXPECT_EQ(std::string("\xFF\xFE<\0?\0", 6), bytes.substr(0, 6));
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char low = static_cast<unsigned char>(bytes[2 + 2 * i]);
    const unsigned char high = static_cast<unsigned char>(bytes[3 + 2 * i]);
    ASSERT_EQ(text[i], static_cast<char16_t>(low | (high << 8))) << "unit " << i;
  }

  doc.SetText(u"<?xml encoding=\"UTF-16\"?><r/>");
  ASSERT_TRUE(doc.Save(files_.Path("upper.xml").c_str()));
  ASSERT_TRUE(files_.Read("upper.xml", &bytes));
  EXPECT_EQ(2 * doc.GetText().size() + 2, bytes.size());
  EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
}

TEST_F(MarkupSave, OtherTextIsUtf8WithoutMark) {
  MarkupDoc doc;
  // Any other spelling of the encoding, two-, three- and four-byte sequences,
  // and an unpaired surrogate (written as U+FFFD).
  doc.SetText(u"<?xml encoding=\"Utf-16\"?><r a=\"\u00e9\u5b89\U0001F600\xD800\"/>");
  ASSERT_TRUE(doc.Save(files_.Path("utf8.xml").c_str()));
  const std::string expected =
      "<?xml encoding=\"Utf-16\"?><r a=\"\xC3\xA9\xE5\xAE\x89\xF0\x9F\x98\x80\xEF\xBF\xBD\"/>";
  std::string bytes;
  ASSERT_TRUE(files_.Read("utf8.xml", &bytes));
  EXPECT_EQ(expected, bytes);
  EXPECT_EQ(ResultLine(doc.GetText().size(), expected.size()), doc.GetErrorText());
}

TEST_F(MarkupSave, EmptyTextTruncatesToNothing) {
  ASSERT_TRUE(files_.Write("empty.xml", "old content"));
  MarkupDoc doc;
  const std::u16string path = files_.Path("empty.xml");
  EXPECT_TRUE(doc.Save(path.c_str()));
  EXPECT_EQ(ResultLine(0, 0), doc.GetErrorText());
  std::string bytes = "x";
  ASSERT_TRUE(files_.Read("empty.xml", &bytes));
  EXPECT_EQ(0u, bytes.size());
}

TEST_F(MarkupSave, MissingFolderReportsTheRuntimeError) {
  MarkupDoc doc;
  doc.SetText(kDeclaration + u"<r/>");
  const std::u16string path = files_.MissingFolderPath();
  EXPECT_FALSE(doc.Save(path.c_str()));
  const char* expected = std::strerror(ENOENT);
  EXPECT_EQ(Widen(expected), doc.GetErrorText());
  std::string bytes;
  EXPECT_FALSE(files_.Read("no such folder/out.xml", &bytes));
}

TEST_F(MarkupSave, NoPathFails) {
  MarkupDoc doc;
  doc.SetText(u"<r/>");
  EXPECT_FALSE(doc.Save(u""));
  EXPECT_FALSE(doc.GetErrorText().empty());
  EXPECT_EQ(std::u16string::npos, doc.GetErrorText().find(u"wide chars"));
  EXPECT_FALSE(doc.Save(nullptr));
}

}  // namespace
