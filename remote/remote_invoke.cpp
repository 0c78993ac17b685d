// RunRemoteCommand: reads the command file, runs its command over the items
// it names and writes the response document.
#include "remote/remote_invoke.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "framework/framework_exception.h"
#include "remote/command_file.h"
#include "remote/cxml_result.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "remote/listing.h"
#include "remote/file_item_ops.h"
#include "remote/msconfig_entries.h"
#include "remote/registry_item_ops.h"

namespace {

typedef int (*ItemOperation)(CommandItem& item);

// One operation of the per-item dispatch, and whether the item's type reads
// 1 afterwards (whatever the operation's outcome).
struct ItemStep {
  ItemOperation operation;
  bool typeBecomesOne;
};

enum class CommandKind { kListing, kPerItem };

struct CommandRow {
  const char16_t* name;
  CommandKind kind;
  const char16_t* itemSuccess;
  const char16_t* itemFailure;
  const char16_t* overallSuccess;
  const char16_t* overallFailure;
  // By type code: a Run-type key value (0-10), an MSConfig registry entry
  // (100), an MSConfig folder entry (101), a file (every other code).
  ItemStep runKeyValue;
  ItemStep startupRegEntry;
  ItemStep startupFolderEntry;
  ItemStep file;
};

const CommandRow kCommandTable[] = {
    {u"VEK_GetAutoRunList_RUN", CommandKind::kListing, nullptr, nullptr, u"获取成功", u"获取失败",
     {nullptr, false}, {nullptr, false}, {nullptr, false}, {nullptr, false}},
    {u"VEK_EnableAutoRun_RUN", CommandKind::kPerItem, u"启用自启动项成功", u"启用自启动项失败",
     u"启用成功", u"启用失败",
     {EnableRegistryItem, false}, {EnableStartupRegEntry, true}, {EnableStartupFolderEntry, true},
     {EnableFileItem, false}},
    {u"VEK_DisableAutoRun_RUN", CommandKind::kPerItem, u"禁用自启动项成功", u"禁用自启动项失败",
     u"禁用成功", u"禁用失败",
     {DisableRegistryItem, false}, {DisableFileItem, false}, {DisableFileItem, false},
     {DisableFileItem, false}},
    {u"VEK_DeleteAutoRun_RUN", CommandKind::kPerItem, u"删除自启动项成功", u"删除自启动项失败",
     u"删除成功", u"删除失败",
     {DeleteRegistryItem, false}, {DeleteStartupRegEntry, false}, {DeleteStartupFolderEntry, true},
     {DeleteFileItem, false}},
};

const CommandRow* FindCommand(const char16_t* name) {
  for (const CommandRow& row : kCommandTable)
    if (wtext::Equal(name, row.name)) return &row;
  return nullptr;
}

// Codes compare as unsigned, so negative codes name files too.
const ItemStep& StepForType(const CommandRow& command, int32_t type) {
  const uint32_t code = static_cast<uint32_t>(type);
  if (code <= 10) return command.runKeyValue;
  if (code == 100) return command.startupRegEntry;
  if (code == 101) return command.startupFolderEntry;
  return command.file;
}

struct RemoteCommandDeleter {
  void operator()(RemoteCommand* command) const { FreeRemoteCommand(command); }
};
typedef std::unique_ptr<RemoteCommand, RemoteCommandDeleter> RemoteCommandPtr;

struct AutoRunListDeleter {
  void operator()(AutoRunItemNode* head) const { FreeAutoRunList(head); }
};
typedef std::unique_ptr<AutoRunItemNode, AutoRunListDeleter> AutoRunListPtr;

int32_t RunListing(const CommandRow& command, const RemoteCommand& remote,
                   const char16_t* commandName, ScanContext& context, CXmlResult& response,
                   int32_t& overall) {
  AutoRunItemNode* head = nullptr;
  overall = ListAutoRunItems(context, &head);
  AutoRunListPtr nodes(head);
  response.BuildAutoRunList(nodes.get(), commandName);
  // A response that could not be written whole fails the call: the host
  // would otherwise read an old or missing file as this call's answer.
  if (!response.AddResultAndSave(remote, overall == 0 ? command.overallSuccess
                                                      : command.overallFailure,
                                 overall))
    overall = -1;
  return overall;
}

int32_t RunPerItem(const CommandRow& command, RemoteCommand& remote, const char16_t* commandName,
                   CXmlResult& response, int32_t& overall) {
  overall = 0;
  for (CommandItem* item = remote.items; item != nullptr; item = item->next) {
    const ItemStep& step = StepForType(command, item->type);
    const bool succeeded = step.operation(*item) == 0;
    if (step.typeBecomesOne) item->type = 1;
    item->nResult = succeeded ? 0 : 1;
    wtext::Copy(item->ErrMsg, succeeded ? command.itemSuccess : command.itemFailure);
    if (!succeeded) overall = -1;
  }
  response.BuildItemResults(remote.items, commandName);
  if (!response.AddResultAndSave(remote, overall == 0 ? command.overallSuccess
                                                      : command.overallFailure,
                                 overall))
    overall = -1;
  return overall;
}

void ShowExceptionError(const char16_t* text) {
  platform::MessageBoxW(nullptr, text, u"ExceptionError", MB_OK);
}

}  // namespace

int32_t RunRemoteCommand(const char16_t* commandFile, const char16_t* responseFile,
                         ScanContext& context) {
  if (commandFile == nullptr || responseFile == nullptr) return -1;
  // A response path that does not fit the builder's buffer would be cut to
  // another file's name: such a builder cannot be created.
  if (!wtext::Fits(responseFile, 260)) return -1;
  std::unique_ptr<CXmlResult> response(new (std::nothrow) CXmlResult(responseFile));
  if (!response) return -1;

  RemoteCommandPtr remote(static_cast<RemoteCommand*>(std::calloc(1, sizeof(RemoteCommand))));
  if (!remote || ReadCommandFile(commandFile, *remote) != 0) {
    remote.reset();
    response->WriteCommandFileError();
    return -1;
  }

  char16_t commandName[261] = {};
  wtext::Copy(commandName, remote->name);
  int32_t overall = -1;

  try {
    const CommandRow* command = FindCommand(commandName);
    if (command == nullptr) return -1;  // unknown command: no response at all
    if (command->kind == CommandKind::kListing)
      return RunListing(*command, *remote, commandName, context, *response, overall);
    return RunPerItem(*command, *remote, commandName, *response, overall);
  } catch (const CFrameworkException& error) {
    char16_t text[261] = {};
    error.GetErrorMessage(text, 100);
    ShowExceptionError(text);
  } catch (const std::bad_alloc&) {
    char16_t text[261] = {};
    CMemoryException().GetErrorMessage(text, 100);
    ShowExceptionError(text);
  }
  return overall;
}
