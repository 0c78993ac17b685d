// Shared pieces of the remote-invoke tests: command files written into the
// scratch folder, one call of VEK_RemoteInvoke, the response as text with its
// time stamp checked and masked, the response read back by the system's own
// XML parser, and the expected documents.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "tests/support/test_system.h"

namespace remotetest {

extern const char16_t kRunPath[];      // ...\CurrentVersion\Run
extern const char16_t kRunOncePath[];  // ...\CurrentVersion\RunOnce
extern const char16_t kStartupRegPath[];
extern const char16_t kStartupFolderPath[];

// One "autorun" element; absent attributes are left out of the file.
struct ItemSpec {
  std::u16string name, mainkey, subkey, type;
  bool hasName = true, hasMainkey = true, hasSubkey = true, hasType = true;
};
ItemSpec Item(const std::u16string& name, const std::u16string& mainkey,
              const std::u16string& subkey, const std::u16string& type);

// A command file: root "command" with name, then the items.
std::string CommandXml(const std::u16string& name, const std::vector<ItemSpec>& items);

// What one call gave.
struct Invocation {
  int32_t result = 0;
  bool responseExists = false;
  std::string bytes;         // the response file as written
  std::u16string text;       // the response after its byte-order mark
  bool hasByteOrderMark = false;
  std::u16string masked;     // text with each DateTime value replaced by "*"
  bool dateTimesWellFormed = true;
};

class RemoteTest : public ::testing::Test {
 protected:
  std::u16string CommandPath() const;
  std::u16string ResponsePath() const;
  // Writes the command file and calls the export with it.
  Invocation Run(const std::string& commandXml);
  Invocation RunPath(const std::u16string& commandPath);

  testsys::CleanSystem system_;
};

// Element attributes as a parser reads them back.
typedef std::map<std::u16string, std::u16string> Attributes;
struct ReadBack {
  bool loaded = false;
  bool hasDetail = false;
  std::vector<Attributes> items;
  Attributes result;
};
// Reads the response file with the DOM layer (libxml2 on Linux, MSXML on
// Windows); `attributes` names what to collect from every AutoRunItem.
ReadBack ReadResponse(const std::u16string& path, const std::vector<std::u16string>& attributes);
extern const std::vector<std::u16string> kListingAttributes;
extern const std::vector<std::u16string> kItemResultAttributes;

// Expected documents, with "*" for the time stamp.
struct ExpectedItem {
  std::u16string name, mainkey, subkey;
  int type;
  int nResult;
  std::u16string errMsg;
};
std::u16string ItemResultsDocument(const std::u16string& command,
                                   const std::vector<ExpectedItem>& items,
                                   const std::u16string& message, int nResult);
std::u16string EmptyListingDocument(const std::u16string& message);
std::u16string CommandFileErrorDocument();
std::u16string Escape(const std::u16string& value);

// Registry and files through the platform layer.
void SetValue(HKEY root, const std::u16string& key, const std::u16string& name,
              const std::u16string& data);
bool ValueExists(HKEY root, const std::u16string& key, const std::u16string& name);
std::u16string ValueData(HKEY root, const std::u16string& key, const std::u16string& name);
std::u16string StartupFolder(int csidl);
std::u16string AddFile(const std::u16string& folder, const std::u16string& name);
std::u16string DisabledFolder();
// Writes RunLib.xml beside the module from raw RunItem lines.
void WriteKnowledgeBase(const std::string& runItems);

std::string Utf8(const std::u16string& text);

}  // namespace remotetest
