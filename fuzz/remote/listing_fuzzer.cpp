// Registry contents in, response out, read back by libxml2: the input makes
// Run-key values (names, data and types chosen by it) and a startup-folder
// file, the listing command runs through the remote-invoke export, and the
// response must parse with libxml2 without a single error, list every item
// and end in a successful Result.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/support/scratch_image.h"
#include "plugin/exports.h"

namespace {

const char kTarget[] = "listing";
const char16_t kCommandPath[] = u"C:\\fuzz\\command.xml";
const char16_t kResponsePath[] = u"C:\\fuzz\\response.xml";
const char kListing[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<command name=\"VEK_GetAutoRunList_RUN\"/>\n";
const char16_t* const kKeys[] = {
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
};
const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_MULTI_SZ};

void Silent(void*, const char*, ...) {}

void ClearKeys() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    for (const char16_t* key : kKeys) platform::SHDeleteKeyW(root, key);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzimage::Create(kTarget);
  platform::CreateDirectoryW(u"C:\\fuzz", nullptr);
  if (!fuzzimage::WriteImageFile(kCommandPath, kListing, sizeof kListing - 1))
    fuzzimage::Fail(kTarget, "cannot write the command file");
  xmlInitParser();
  xmlSetGenericErrorFunc(nullptr, Silent);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  ClearKeys();
  // Records separated by U+0000 U+0000: one control unit (root, key, type),
  // then the name, a U+0000, and the data.
  const std::u16string units = fuzzimage::Units(data, size);
  size_t at = 0;
  int values = 0;
  while (at < units.size() && values < 8) {
    size_t end = units.find(std::u16string(2, u'\0'), at);
    if (end == std::u16string::npos) end = units.size();
    const std::u16string record = units.substr(at, end - at);
    at = end + 2;
    if (record.empty()) continue;
    const char16_t control = record[0];
    const size_t split = record.find(u'\0', 1);
    const std::u16string name = record.substr(1, split == std::u16string::npos ? std::u16string::npos : split - 1);
    const std::u16string value = split == std::u16string::npos ? u"" : record.substr(split + 1);
    HKEY root = (control & 1) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY key = nullptr;
    if (platform::RegCreateKeyExW(root, kKeys[(control >> 1) & 1], 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr) != ERROR_SUCCESS)
      continue;
    std::u16string bytes = value;
    bytes.push_back(0);
    platform::RegSetValueExW(key, name.c_str(), 0, kTypes[(control >> 2) & 3],
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             DWORD(bytes.size() * sizeof(char16_t)));
    platform::RegCloseKey(key);
    ++values;
  }

  platform::DeleteFileW(kResponsePath);
  if (VEK_RemoteInvoke(kCommandPath, kResponsePath) != 0) fuzzimage::Fail(kTarget, "the listing failed");
  std::ifstream in(platform::image::HostPath(kResponsePath), std::ios::binary);
  const std::string response((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  xmlDocPtr document = xmlReadMemory(response.data(), static_cast<int>(response.size()), "response.xml",
                                     nullptr, XML_PARSE_NONET);
  if (document == nullptr) fuzzimage::Fail(kTarget, "libxml2 refused the response");
  xmlNodePtr root = xmlDocGetRootElement(document);
  bool success = false;
  for (xmlNodePtr node = root != nullptr ? root->children : nullptr; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE || xmlStrcmp(node->name, BAD_CAST "Result") != 0) continue;
    xmlChar* result = xmlGetProp(node, BAD_CAST "nResult");
    success = result != nullptr && xmlStrcmp(result, BAD_CAST "0") == 0;
    xmlFree(result);
  }
  xmlFreeDoc(document);
  if (!success) fuzzimage::Fail(kTarget, "no successful Result");
  return 0;
}
