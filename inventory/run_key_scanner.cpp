// ScanRunKey reads the values of one Run-type key into the inventory.
#include "inventory/run_key_scanner.h"

#include <cstring>

#include "enrich/file_facts.h"
#include "knowledge/classify.h"
#include "inventory/run_key_table.h"
#include "inventory/run_values.h"
#include "platform/handles.h"
#include "platform/wtext.h"

void NativeViewValues::Add(const _RunData& item) { values_.emplace_back(item.name, item.cmdline); }

bool NativeViewValues::Contains(const _RunData& item) const {
  for (const auto& value : values_)
    if (wtext::CompareNoCaseSimple(value.first.c_str(), item.name) == 0 &&
        wtext::Equal(value.second.c_str(), item.cmdline))
      return true;
  return false;
}

int ScanRunKey(HKEY root, const char16_t* keyPath, int32_t sourceIndex, ScanContext& context,
               NativeViewValues& native, int view) {
  char16_t rootText[128] = {};
  wtext::Copy(rootText, RootKeyText(root));

  platform::ScopedKey key;
  if (OpenRunKey(root, keyPath, KEY_READ, key.receive()) != ERROR_SUCCESS) return 0;

  // Values are read whole, so no value is passed over for the length of its
  // name or data; texts longer than their fields are cut to fit the record,
  // and repair finds the value again by its cut name.
  RunValue value;
  for (DWORD index = 0;; ++index) {
    if (context.cancel == 1) break;
    const LONG result = ReadRunValueAt(key.get(), index, &value);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;
    if (value.name.empty() || value.text.empty()) continue;
    if (wtext::CompareNoCase(value.name.c_str(), u"OrloOsInstall") == 0) continue;

    _RunData item;
    std::memset(&item, 0, sizeof(item));
    item.kind = kKindRegistryValue;
    item.status = 1;
    item.type = sourceIndex;
    wtext::Copy(item.name, value.name);
    wtext::Copy(item.cmdline, value.text);
    if (view != kNativeView && native.Contains(item)) continue;

    ReportItem(context, value.text.c_str());
    wtext::Copy(item.mainkey, rootText);
    wtext::Copy(item.subkey, keyPath);
    if (!ClassifyItem(item, context)) continue;
    FillFileFacts(item, context.programFacts);
    if (view == kNativeView) native.Add(item);
    AppendToInventory(context, item);
  }
  return 0;
}
