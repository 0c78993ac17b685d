// Feeds arbitrary bytes to VEK_RemoteInvoke as its command file, in a
// throw-away system image. After every call the response file is either
// absent or a complete, well-formed UTF-16 document with a "...Response"
// root; anything else (or a crash) is a finding.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "plugin/exports.h"

namespace {

std::string g_imageFolder;
std::string g_commandHost;
std::string g_responseHost;
const char16_t kCommandPath[] = u"C:\\fuzz\\command.xml";
const char16_t kResponsePath[] = u"C:\\fuzz\\response.xml";

void Fail(const char* why) {
  std::fprintf(stderr, "command_file fuzzer: %s\n", why);
  std::abort();
}

void CheckResponse() {
  std::ifstream in(g_responseHost, std::ios::binary);
  if (!in) return;  // no response is a valid outcome
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') Fail("response without UTF-16 mark");
  xmlDocPtr document = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "response.xml",
                                     nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (document == nullptr) Fail("response is not well formed");
  xmlNodePtr root = xmlDocGetRootElement(document);
  std::string name = root != nullptr ? reinterpret_cast<const char*>(root->name) : "";
  xmlFreeDoc(document);
  const std::string suffix = "Response";
  if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    Fail("response root is not a ...Response element");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/runvane-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) Fail("no temporary folder");
  g_imageFolder = folder;
  // The image is scratch space: gone when the fuzzer exits normally.
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(g_imageFolder, ignored);
  });
  if (!platform::image::CreateImage(folder)) Fail("no system image");
  platform::image::SetRoot(folder);
  platform::SetModuleFileNameForTesting(u"C:\\runvane\\runvane.dll");
  platform::CreateDirectoryW(u"C:\\runvane", nullptr);
  platform::CreateDirectoryW(u"C:\\fuzz", nullptr);
  g_commandHost = platform::image::Root() + "/drive_c/fuzz/command.xml";
  g_responseHost = platform::image::Root() + "/drive_c/fuzz/response.xml";
  xmlInitParser();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(g_commandHost, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::remove(g_responseHost.c_str());
  int32_t result = VEK_RemoteInvoke(kCommandPath, kResponsePath);
  if (result != 0 && result != -1) Fail("result other than 0 or -1");
  CheckResponse();
  return 0;
}
