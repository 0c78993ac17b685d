// What a larger knowledge base costs: a check of an image with 1,000 Run
// values against knowledge bases of 0, 10,000 and 100,000 entries, and the
// knowledge lookups alone on 1,000 items. Everything is measured in this one
// run and printed as ratios to the empty knowledge base, so the numbers
// compare across machines.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "knowledge/knowledge_base.h"
#include "knowledge/classify.h"
#include "knowledge/knowledge_index.h"
#include "knowledge/scan_context.h"
#include "inventory/scan_driver.h"
#include "platform/handles.h"
#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace {

constexpr int kItems = 1000;
const int kSizes[] = {0, 100, 10000, 100000};
const char16_t kRunKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

typedef std::chrono::steady_clock Clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string EntryName(int i) { return "Tool" + std::to_string(i); }

// Every tenth item is named like an entry (spread over the whole base), in
// a different letter case; the others are unknown.
std::u16string ItemName(int j, int size) {
  if (size > 0 && j % 10 == 0) return wtext::FromUtf8("TOOL" + std::to_string((j * 7919) % size));
  return wtext::FromUtf8("Other" + std::to_string(j));
}

std::string KnowledgeBase(int size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RunLib>\n";
  for (int i = 0; i < size; ++i) {
    const char* level = i % 3 == 0 ? "2" : (i % 50 == 0 ? "3" : "1");
    text += "  <RunItem Name=\"" + EntryName(i) + "\" Desc=\"工具" + std::to_string(i) +
            "\" CmdL=\"" + (i % 2 == 0 ? "tool.exe" : "") + "\" Type=\"1\" Status=\"1\" Level=\"" + level + "\"/>\n";
  }
  return text + "</RunLib>\n";
}

bool WriteHostFile(const char16_t* windowsPath, const std::string& bytes) {
  std::string host = platform::image::HostPath(windowsPath);
  if (host.empty()) return false;
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

bool SetUpImage(std::string* root) {
  char pattern[] = "/tmp/rv-kb-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  *root = pattern;
  if (!platform::image::CreateImage(*root)) return false;
  platform::image::SetRoot(*root);
  platform::SetModuleFileNameForTesting(u"C:\\runvane\\runvane.dll");
  for (const char16_t* folder : {u"C:\\runvane", u"C:\\runvane\\common", u"C:\\runvane\\common\\config",
                                 u"C:\\runvane\\common\\config\\check"})
    platform::CreateDirectoryW(folder, nullptr);
  return true;
}

bool SetRunValues(int size) {
  platform::ScopedKey key;
  if (platform::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key.receive(), nullptr) != ERROR_SUCCESS)
    return false;
  for (int j = 0; j < kItems; ++j) {
    std::u16string name = ItemName(j, size);
    std::u16string data = u"C:\\Program Files\\Tools\\tool.exe /item" + wtext::FromInt(j);
    if (platform::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>((data.size() + 1) * 2)) != ERROR_SUCCESS)
      return false;
  }
  return true;
}

struct Measure {
  double load = 0;          // one LoadKnowledgeBase
  double scanPerItem = 0;   // a whole check, per item found
  double lookupPerItem = 0; // ClassifyItem alone, per item
  double walkPerItem = 0;   // the plain first-match walk, per item
  int found = 0;
};

Measure Run(int size) {
  Measure m;
  WriteHostFile(u"C:\\runvane\\common\\config\\check\\RunLib.xml", KnowledgeBase(size));

  // The best of three for the load and for a whole check (which loads the
  // knowledge base again); what the check costs beyond the load is the scan
  // of the items.
  ScanContext context(nullptr, nullptr, 0);
  Clock::time_point start;
  double check = 1e9;
  m.load = 1e9;
  for (int repetition = 0; repetition < 3; ++repetition) {
    start = Clock::now();
    LoadKnowledgeBase(context);
    m.load = std::min(m.load, Seconds(start));
    start = Clock::now();
    ScanAutoRunItems(context);
    check = std::min(check, Seconds(start));
  }
  m.found = context.inventory.GetSize();
  m.scanPerItem = std::max(check - m.load, 0.0) / kItems;

  std::vector<_RunData> items(kItems);
  for (int j = 0; j < kItems; ++j) {
    items[j] = _RunData{};
    items[j].kind = kKindRegistryValue;
    wtext::Copy(items[j].name, ItemName(j, size));
    wtext::Copy(items[j].cmdline, u"C:\\Program Files\\Tools\\tool.exe");
  }
  // The machine is shared: the best of several repetitions is the cost.
  m.lookupPerItem = 1e9;
  for (int repetition = 0; repetition < 7; ++repetition) {
    const int rounds = 50;
    start = Clock::now();
    for (int r = 0; r < rounds; ++r)
      for (_RunData item : items) ClassifyItem(item, context);
    double perItem = Seconds(start) / (rounds * kItems);
    if (perItem < m.lookupPerItem) m.lookupPerItem = perItem;
  }

  start = Clock::now();
  volatile int sink = 0;
  for (const _RunData& item : items)
    sink = sink + FindFirstLinear(context.hiddenList, item) + FindFirstLinear(context.safeList, item) +
           FindFirstLinear(context.dangerList, item);
  m.walkPerItem = Seconds(start) / kItems;
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  // Other sizes may be given on the command line; the first is the baseline.
  std::vector<int> sizes(std::begin(kSizes), std::end(kSizes));
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(atoi(argv[i]));
  }
  std::string root;
  std::vector<Measure> results;
  for (int size : sizes) {
    // A fresh image for each size: the Run values name entries of this base.
    if (!SetUpImage(&root) || !SetRunValues(size)) {
      std::fprintf(stderr, "cannot set up the system image\n");
      return 1;
    }
    results.push_back(Run(size));
    std::string remove = "rm -rf '" + root + "'";
    if (system(remove.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", root.c_str());
  }

  const Measure& base = results[0];
  std::printf("knowledge base: check of %d Run values, ratios to an empty knowledge base\n", kItems);
  std::printf("%9s %8s %12s %12s %8s %12s %8s %12s %11s\n", "entries", "listed", "load ms", "scan us/item",
              "ratio", "lookup ns", "ratio", "walk ns", "walk ratio");
  for (size_t i = 0; i < results.size(); ++i) {
    const Measure& m = results[i];
    std::printf("%9d %8d %12.2f %12.2f %8.2f %12.1f %8.2f %12.1f %11.1f\n", sizes[i], m.found, m.load * 1e3,
                m.scanPerItem * 1e6, m.scanPerItem / base.scanPerItem, m.lookupPerItem * 1e9,
                m.lookupPerItem / base.lookupPerItem, m.walkPerItem * 1e9,
                m.walkPerItem / (base.walkPerItem > 0 ? base.walkPerItem : 1e-9));
  }
  const size_t last = results.size() - 1;
  if (last >= 2 && sizes[last - 1] > 0 && sizes[last] > 0)
    std::printf("load time per entry at %d / at %d: %.2f\n", sizes[last], sizes[last - 1],
                (results[last].load / sizes[last]) / (results[last - 1].load / sizes[last - 1]));
  if (last >= 1 && sizes[1] > 0)
    std::printf("lookup per item at %d / at %d entries: %.2f\n", sizes[last], sizes[1],
                results[last].lookupPerItem / results[1].lookupPerItem);
  return 0;
}
