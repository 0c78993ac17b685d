// The response document: declaration and root on the first line, one empty
// element per line, CRLF after every line, attribute values escaped by the
// markup engine, saved as UTF-16 little-endian with its byte-order mark.
#include "remote/cxml_result.h"

#include <string>

#include "platform/platform.h"
#include "platform/wtext.h"

namespace {

constexpr const char16_t* kDeclaration =
    u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"no\" ?>";
constexpr const char16_t* kCommandFileError = u"命令文件错误,请检查输入的Cmd文件信息!";
constexpr size_t kRootNameUnits = 260;
constexpr size_t kTimeUnits = 100;
constexpr size_t kMessageUnits = 261;

// "%d-%02d-%02d %02d:%02d:%02d" of the local time.
void FormatLocalTime(char16_t (&out)[kTimeUnits]) {
  SYSTEMTIME now = {};
  platform::GetLocalTime(&now);
  std::u16string text = wtext::FromInt(now.wYear);
  text += u'-';
  text += wtext::FromIntPadded(now.wMonth, 2);
  text += u'-';
  text += wtext::FromIntPadded(now.wDay, 2);
  text += u' ';
  text += wtext::FromIntPadded(now.wHour, 2);
  text += u':';
  text += wtext::FromIntPadded(now.wMinute, 2);
  text += u':';
  text += wtext::FromIntPadded(now.wSecond, 2);
  wtext::Copy(out, text);
}

}  // namespace

CXmlResult::CXmlResult(const char16_t* responsePath) : responsePath_() {
  if (responsePath != nullptr && wtext::Fits(responsePath, 260))
    wtext::Copy(responsePath_, responsePath);
}

CXmlResult::~CXmlResult() = default;

void CXmlResult::StartEmptyDocument() {
  document_.SetText(kDeclaration);
  document_.ClearErrorText();
  document_.Parse();
}

void CXmlResult::StartDocument(const char16_t* commandName) {
  StartEmptyDocument();
  std::u16string root = commandName != nullptr ? commandName : u"";
  root += u"Response";
  char16_t rootName[kRootNameUnits] = {};
  wtext::Copy(rootName, root);
  document_.AddElement(rootName);
  document_.AddChildElement(u"detail");
  document_.IntoElement();
}

int CXmlResult::BuildItemResults(const CommandItem* first, const char16_t* commandName) {
  StartDocument(commandName);
  for (const CommandItem* item = first; item != nullptr; item = item->next) {
    document_.AddChildElement(u"AutoRunItem");
    document_.SetChildAttribute(u"name", item->name);
    document_.SetChildAttribute(u"mainkey", item->mainkey);
    document_.SetChildAttribute(u"subkey", item->subkey);
    document_.SetChildAttribute(u"type", wtext::FromInt(item->type).c_str());
    document_.SetChildAttribute(u"nResult", wtext::FromInt(item->nResult).c_str());
    document_.SetChildAttribute(u"ErrMsg", item->ErrMsg);
  }
  document_.OutOfElement();
  return 1;
}

int CXmlResult::BuildAutoRunList(const AutoRunItemNode* first, const char16_t* commandName) {
  StartDocument(commandName);
  for (const AutoRunItemNode* node = first; node != nullptr; node = node->next) {
    document_.AddChildElement(u"AutoRunItem");
    document_.SetChildAttribute(u"name", node->name);
    document_.SetChildAttribute(u"status", wtext::FromInt(node->status).c_str());
    document_.SetChildAttribute(u"level", node->level);
    document_.SetChildAttribute(u"desc", node->desc);
    document_.SetChildAttribute(u"cmdline", node->cmdline);
    document_.SetChildAttribute(u"mainkey", node->mainkey);
    document_.SetChildAttribute(u"subkey", node->subkey);
    document_.SetChildAttribute(u"type", wtext::FromInt(node->type).c_str());
    document_.SetChildAttribute(u"company", node->company);
    document_.SetChildAttribute(u"size", wtext::FromInt(node->size).c_str());
    document_.SetChildAttribute(u"version", node->version);
  }
  document_.OutOfElement();
  return 1;
}

bool CXmlResult::AddResultAndSave(const RemoteCommand& command, const char16_t* message,
                                  int32_t resultCode) {
  document_.AddChildElement(u"Result");
  char16_t time[kTimeUnits] = {};
  FormatLocalTime(time);
  char16_t text[kMessageUnits] = {};
  wtext::Copy(text, message != nullptr ? message : u"");
  document_.SetChildAttribute(u"cmdName", command.name);
  document_.SetChildAttribute(u"DateTime", time);
  document_.SetChildAttribute(u"nResult", resultCode == 0 ? u"0" : u"1");
  document_.SetChildAttribute(u"ErrMsg", text);
  return document_.Save(responsePath_);
}

bool CXmlResult::WriteCommandFileError() {
  StartEmptyDocument();
  document_.AddElement(u"Response");
  document_.AddChildElement(u"Result");
  char16_t time[kTimeUnits] = {};
  FormatLocalTime(time);
  document_.SetChildAttribute(u"DateTime", time);
  document_.SetChildAttribute(u"nResult", u"1");
  document_.SetChildAttribute(u"ErrMsg", kCommandFileError);
  return document_.Save(responsePath_);
}
