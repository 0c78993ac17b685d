#include "tests/remote/remote_support.h"

#include <cstring>

#include "enrich/xml_dom.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "plugin/exports.h"

namespace remotetest {

const char16_t kRunPath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRunOncePath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char16_t kStartupRegPath[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
const char16_t kStartupFolderPath[] =
    u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

const std::vector<std::u16string> kListingAttributes = {
    u"name",    u"status", u"level",   u"desc", u"cmdline", u"mainkey",
    u"subkey",  u"type",   u"company", u"size", u"version"};
const std::vector<std::u16string> kItemResultAttributes = {u"name", u"mainkey", u"subkey",
                                                           u"type", u"nResult", u"ErrMsg"};

std::string Utf8(const std::u16string& text) { return wtext::ToUtf8(text); }

ItemSpec Item(const std::u16string& name, const std::u16string& mainkey,
              const std::u16string& subkey, const std::u16string& type) {
  ItemSpec item;
  item.name = name;
  item.mainkey = mainkey;
  item.subkey = subkey;
  item.type = type;
  return item;
}

std::u16string Escape(const std::u16string& value) {
  std::u16string out;
  for (char16_t c : value) {
    switch (c) {
      case u'<': out += u"&lt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\'': out += u"&apos;"; break;
      case u'"': out += u"&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {
std::string Attribute(const char* name, const std::u16string& value) {
  return std::string(" ") + name + "=\"" + Utf8(Escape(value)) + "\"";
}

std::u16string DecodeUtf16Le(const std::string& bytes, size_t from) {
  std::u16string text;
  for (size_t i = from; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return text;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "%d-%02d-%02d %02d:%02d:%02d" of a plausible year.
bool IsDateTime(const std::u16string& value) {
  const std::u16string pattern = u"dddd-dd-dd dd:dd:dd";
  if (value.size() != pattern.size()) return false;
  for (size_t i = 0; i < value.size(); ++i) {
    if (pattern[i] == u'd' ? !IsDigit(value[i]) : value[i] != pattern[i]) return false;
  }
  return true;
}

std::u16string MaskDateTimes(const std::u16string& text, bool* wellFormed) {
  static const std::u16string kMarker = u"DateTime=\"";
  std::u16string out = text;
  size_t at = 0;
  while ((at = out.find(kMarker, at)) != std::u16string::npos) {
    size_t begin = at + kMarker.size();
    size_t end = out.find(u'"', begin);
    if (end == std::u16string::npos) {
      *wellFormed = false;
      break;
    }
    if (!IsDateTime(out.substr(begin, end - begin))) *wellFormed = false;
    out.replace(begin, end - begin, u"*");
    at = begin;
  }
  return out;
}

const std::u16string kDeclaration =
    u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"no\" ?>";

std::u16string ResultLine(const std::u16string& command, const std::u16string& message,
                          int nResult) {
  return u"<Result cmdName=\"" + Escape(command) + u"\" DateTime=\"*\" nResult=\"" +
         (nResult == 0 ? u"0" : u"1") + u"\" ErrMsg=\"" + Escape(message) + u"\"/>\r\n";
}
}  // namespace

std::string CommandXml(const std::u16string& name, const std::vector<ItemSpec>& items) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<command" +
                    Attribute("name", name) + ">\r\n";
  for (const ItemSpec& item : items) {
    xml += "  <autorun";
    if (item.hasName) xml += Attribute("name", item.name);
    if (item.hasMainkey) xml += Attribute("mainkey", item.mainkey);
    if (item.hasSubkey) xml += Attribute("subkey", item.subkey);
    if (item.hasType) xml += Attribute("type", item.type);
    xml += "/>\r\n";
  }
  xml += "</command>\r\n";
  return xml;
}

std::u16string RemoteTest::CommandPath() const { return testsys::ScratchFolder() + u"\\command.xml"; }
std::u16string RemoteTest::ResponsePath() const {
  return testsys::ScratchFolder() + u"\\response.xml";
}

Invocation RemoteTest::Run(const std::string& commandXml) {
  EXPECT_TRUE(testsys::WriteFileBytes(CommandPath(), commandXml));
  return RunPath(CommandPath());
}

Invocation RemoteTest::RunPath(const std::u16string& commandPath) {
  platform::DeleteFileW(ResponsePath().c_str());
  Invocation call;
  call.result = VEK_RemoteInvoke(commandPath.c_str(), ResponsePath().c_str());
  call.responseExists = testsys::ReadFileBytes(ResponsePath(), &call.bytes);
  if (call.responseExists) {
    call.hasByteOrderMark = call.bytes.size() >= 2 && call.bytes[0] == '\xFF' &&
                            call.bytes[1] == '\xFE';
    call.text = DecodeUtf16Le(call.bytes, call.hasByteOrderMark ? 2 : 0);
    call.masked = MaskDateTimes(call.text, &call.dateTimesWellFormed);
  }
  return call;
}

ReadBack ReadResponse(const std::u16string& path, const std::vector<std::u16string>& attributes) {
  ReadBack back;
  CXmlDocumentWrapper document;
  if (document.LoadFile(path.c_str()) != 1) return back;
  back.loaded = true;
  CXmlNodeWrapper root = document.RootNode();
  CXmlNodeListWrapper details = root.SelectChildren(u"detail");
  back.hasDetail = details.Length() == 1;
  if (back.hasDetail) {
    CXmlNodeWrapper detail = details.ItemAt(0);
    CXmlNodeListWrapper items = detail.SelectChildren(u"AutoRunItem");
    for (long i = 0; i < items.Length(); ++i) {
      CXmlNodeWrapper item = items.ItemAt(i);
      Attributes values;
      for (const std::u16string& name : attributes) values[name] = item.AttributeText(name.c_str());
      back.items.push_back(values);
    }
  }
  CXmlNodeListWrapper results = root.SelectChildren(u"Result");
  if (results.Length() == 1) {
    CXmlNodeWrapper result = results.ItemAt(0);
    for (const char16_t* name : {u"cmdName", u"DateTime", u"nResult", u"ErrMsg"})
      back.result[name] = result.AttributeText(name);
  }
  return back;
}

std::u16string ItemResultsDocument(const std::u16string& command,
                                   const std::vector<ExpectedItem>& items,
                                   const std::u16string& message, int nResult) {
  std::u16string doc = kDeclaration + u"<" + command + u"Response>\r\n";
  if (items.empty()) {
    doc += u"<detail/>\r\n";
  } else {
    doc += u"<detail>\r\n";
    for (const ExpectedItem& item : items) {
      doc += u"<AutoRunItem name=\"" + Escape(item.name) + u"\" mainkey=\"" + Escape(item.mainkey) +
             u"\" subkey=\"" + Escape(item.subkey) + u"\" type=\"" + wtext::FromInt(item.type) +
             u"\" nResult=\"" + wtext::FromInt(item.nResult) + u"\" ErrMsg=\"" +
             Escape(item.errMsg) + u"\"/>\r\n";
    }
    doc += u"</detail>\r\n";
  }
  doc += ResultLine(command, message, nResult);
  doc += u"</" + command + u"Response>\r\n";
  return doc;
}

std::u16string EmptyListingDocument(const std::u16string& message) {
  const std::u16string command = u"VEK_GetAutoRunList_RUN";
  return kDeclaration + u"<" + command + u"Response>\r\n<detail/>\r\n" +
         ResultLine(command, message, 0) + u"</" + command + u"Response>\r\n";
}

std::u16string CommandFileErrorDocument() {
  return kDeclaration +
         u"<Response>\r\n<Result DateTime=\"*\" nResult=\"1\" "
         u"ErrMsg=\"命令文件错误,请检查输入的Cmd文件信息!\"/>\r\n</Response>\r\n";
}

void SetValue(HKEY root, const std::u16string& key, const std::u16string& name,
              const std::u16string& data) {
  ASSERT_TRUE(testsys::SetRegString(root, key, name, data)) << Utf8(key) << " " << Utf8(name);
}

bool ValueExists(HKEY root, const std::u16string& key, const std::u16string& name) {
  platform::ScopedKey handle;
  if (platform::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.receive()) != ERROR_SUCCESS)
    return false;
  DWORD type = 0, bytes = 0;
  return platform::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, nullptr, &bytes) ==
         ERROR_SUCCESS;
}

std::u16string ValueData(HKEY root, const std::u16string& key, const std::u16string& name) {
  platform::ScopedKey handle;
  if (platform::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.receive()) != ERROR_SUCCESS)
    return u"";
  char16_t data[1025] = {};
  DWORD type = 0, bytes = sizeof(data) - sizeof(char16_t);
  if (platform::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS)
    return u"";
  return data;
}

std::u16string StartupFolder(int csidl) {
  char16_t path[MAX_PATH + 1] = {};
  platform::SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE);
  std::u16string folder = path;
  testsys::MakeFolders(folder);
  return folder;
}

std::u16string AddFile(const std::u16string& folder, const std::u16string& name) {
  std::u16string path = folder + u"\\" + name;
  EXPECT_TRUE(testsys::WriteFileBytes(path, "content of " + Utf8(name))) << Utf8(path);
  return path;
}

std::u16string DisabledFolder() { return testsys::ModuleFolder() + u"TidyraDisableFile"; }

void WriteKnowledgeBase(const std::string& runItems) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<RunLib>\r\n" + runItems +
                    "</RunLib>\r\n";
  ASSERT_TRUE(testsys::WriteFileBytes(
      testsys::ModuleFolder() + u"common\\config\\check\\RunLib.xml", xml));
}

}  // namespace remotetest
