// ScanRunKey reads the values of one Run-type key into the inventory.
#include "inventory/run_key_scanner.h"

#include <cstring>

#include "enrich/file_facts.h"
#include "knowledge/classify.h"
#include "inventory/run_key_table.h"
#include "platform/handles.h"
#include "platform/wtext.h"

namespace {
constexpr DWORD kNameUnits = 128;
constexpr DWORD kDataBytes = 512;
constexpr DWORD kDataUnits = kDataBytes / 2;
}  // namespace

int ScanRunKey(HKEY root, const char16_t* keyPath, int32_t sourceIndex, ScanContext& context) {
  char16_t rootText[128] = {};
  wtext::Copy(rootText, RootKeyText(root));

  platform::ScopedKey key;
  if (platform::RegOpenKeyExW(root, keyPath, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return 0;

  // One spare unit after the data buffer keeps the text terminated even when
  // a value fills all 512 bytes without a terminator of its own.
  char16_t name[kNameUnits];
  char16_t data[kDataUnits + 1];
  for (DWORD index = 0;;) {
    if (context.cancel == 1) break;
    std::memset(name, 0, sizeof(name));
    std::memset(data, 0, sizeof(data));
    DWORD nameLength = kNameUnits;
    DWORD dataLength = kDataBytes;
    DWORD type = 0;
    LONG result = platform::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataLength);
    ++index;
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;
    if (name[0] == 0 || data[0] == 0) continue;
    if (wtext::CompareNoCase(name, u"OrloOsInstall") == 0) continue;

    ReportItem(context, data);

    _RunData item;
    std::memset(&item, 0, sizeof(item));
    item.kind = kKindRegistryValue;
    item.status = 1;
    item.type = sourceIndex;
    wtext::Copy(item.name, name);
    wtext::Copy(item.cmdline, data);
    wtext::Copy(item.mainkey, rootText);
    wtext::Copy(item.subkey, keyPath);
    if (!ClassifyItem(item, context)) continue;
    FillFileFacts(item);
    AppendToInventory(context, item);
  }
  return 0;
}
