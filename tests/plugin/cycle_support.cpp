#include "tests/plugin/cycle_support.h"

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace cycle {

const char16_t kRunPath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRunOncePath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char16_t kPolicyRunPath[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";

Recorder& Current() {
  static Recorder recorder;
  return recorder;
}

int32_t __cdecl RecordingCallback(const char16_t* text, int32_t a, int32_t b, int32_t c,
                                  int32_t d, int32_t userData, int32_t e, int32_t f, int32_t g) {
  Recorder& recorder = Current();
  recorder.texts.push_back(text != nullptr ? std::u16string(text) : std::u16string(u"<null>"));
  recorder.arguments.push_back({a, b, c, d, userData, e, f, g});
  const int call = static_cast<int>(recorder.texts.size());
  return recorder.stopAt != 0 && call >= recorder.stopAt ? 1 : 0;
}

CycleTest::~CycleTest() { DLL_Release(list); }

void CycleTest::Check(int32_t userData) {
  DLL_Release(list);
  list = nullptr;
  count = -1;
  checkResult = DLL_Check(&list, RecordingCallback, &count, userData);
}

void SetValue(HKEY root, const char16_t* key, const std::u16string& name,
              const std::u16string& data) {
  ASSERT_TRUE(testsys::SetRegString(root, key, name, data)) << Utf8(name);
}

void SetValueBytes(HKEY root, const char16_t* key, const std::u16string& name,
                   const std::string& bytes, DWORD type) {
  platform::ScopedKey handle;
  ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                     nullptr, handle.receive(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS,
            platform::RegSetValueExW(handle.get(), name.c_str(), 0, type,
                                     reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size())));
}

bool ValueExists(HKEY root, const char16_t* key, const std::u16string& name) {
  platform::ScopedKey handle;
  if (platform::RegOpenKeyExW(root, key, 0, KEY_READ, handle.receive()) != ERROR_SUCCESS)
    return false;
  BYTE data[4096];
  DWORD type = 0;
  DWORD length = sizeof(data);
  return platform::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, data, &length) ==
         ERROR_SUCCESS;
}

std::u16string StartupFolder(int csidl) {
  char16_t path[MAX_PATH] = {};
  platform::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  EXPECT_NE(0, path[0]) << "no startup folder " << csidl;
  testsys::MakeFolders(path);
  return path;
}

std::u16string AddStartupFile(int csidl, const std::u16string& name) {
  std::u16string path = StartupFolder(csidl) + u"\\" + name;
  EXPECT_TRUE(testsys::WriteFileBytes(path, "startup item")) << Utf8(path);
  return path;
}

namespace {
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}
}  // namespace

void WriteKnowledgeBase(const std::vector<Entry>& entries) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RunLib>\n";
  for (const Entry& e : entries) {
    xml += "  <RunItem Name=\"" + Escape(e.name) + "\" Desc=\"" + Escape(e.desc) + "\" CmdL=\"" +
           Escape(e.cmdl) + "\" Param1=\"" + Escape(e.param1) + "\" Param2=\"" +
           Escape(e.param2) + "\" Type=\"" + Escape(e.type) + "\" Status=\"" +
           Escape(e.status) + "\" Level=\"" + Escape(e.level) + "\"/>\n";
  }
  xml += "</RunLib>\n";
  const std::u16string path = testsys::ModuleFolder() + u"common\\config\\check\\RunLib.xml";
  ASSERT_TRUE(testsys::WriteFileBytes(path, xml)) << Utf8(path);
}

std::vector<const CheckNode*> Nodes(const CheckNode* head) {
  std::vector<const CheckNode*> nodes;
  for (; head != nullptr && nodes.size() < 100000; head = head->next) nodes.push_back(head);
  return nodes;
}

const CheckNode* FindNode(const CheckNode* head, const std::u16string& name) {
  for (const CheckNode* node : Nodes(head))
    if (Text(node->name) == name) return node;
  return nullptr;
}

std::u16string Text(const char16_t* text) { return std::u16string(text); }

std::string Utf8(const std::u16string& text) { return wtext::ToUtf8(text); }

}  // namespace cycle
