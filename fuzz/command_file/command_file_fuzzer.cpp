// Feeds arbitrary bytes to VEK_RemoteInvoke as its command file, in a
// throw-away system image that has startup items of every kind (Run values
// with markup and control characters among them, a startup-folder file and a
// knowledge base), so that registry text reaches the response. After every call the response file is either
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

void SetRunValue(HKEY root, const char16_t* key, const std::u16string& name,
                 const std::u16string& data) {
  HKEY handle = nullptr;
  if (platform::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                nullptr) != ERROR_SUCCESS)
    Fail("cannot create a Run key");
  platform::RegSetValueExW(handle, name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
  platform::RegCloseKey(handle);
}

void WriteFile(const char16_t* path, const std::string& bytes) {
  std::ofstream out(platform::image::HostPath(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Items the commands can list, disable, enable and delete; the command file
// names them when the fuzzer finds their names (the seeds do).
void AddItems() {
  const char16_t kRun[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const char16_t kRunOnce[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  SetRunValue(HKEY_LOCAL_MACHINE, kRun, u"Tool", u"C:\\tools\\tool.exe /s");
  SetRunValue(HKEY_CURRENT_USER, kRun, u"Quoted", u"\"C:\\Program Files\\q.exe\" -a <&>");
  SetRunValue(HKEY_CURRENT_USER, kRunOnce, u"Once", u"once.exe");
  SetRunValue(HKEY_CURRENT_USER, kRun, std::u16string(u"Ctl\x01\t") + char16_t(0xD800),
              std::u16string(u"c.exe\r\n") + char16_t(0xFFFF));
  platform::CreateDirectoryW(u"C:\\runvane\\common", nullptr);
  platform::CreateDirectoryW(u"C:\\runvane\\common\\config", nullptr);
  platform::CreateDirectoryW(u"C:\\runvane\\common\\config\\check", nullptr);
  WriteFile(u"C:\\runvane\\common\\config\\check\\RunLib.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RunLib>"
            "<RunItem Name=\"Tool\" Desc=\"a tool\" Type=\"1\" Status=\"1\" Level=\"1\"/>"
            "<RunItem Name=\"Quoted\" Desc=\"&lt;bad&gt;\" Type=\"1\" Status=\"1\" Level=\"2\"/>"
            "</RunLib>\n");
  char16_t startup[MAX_PATH] = {};
  if (platform::SHGetSpecialFolderPathW(nullptr, startup, CSIDL_STARTUP, TRUE)) {
    const std::u16string file = std::u16string(startup) + u"\\Starter.lnk";
    WriteFile(file.c_str(), "link");
  }
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
  AddItems();
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
  AddItems();  // what the last input disabled or deleted is back
  int32_t result = VEK_RemoteInvoke(kCommandPath, kResponsePath);
  if (result != 0 && result != -1) Fail("result other than 0 or -1");
  CheckResponse();
  return 0;
}
