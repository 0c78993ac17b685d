// What a larger knowledge base costs: a check of an image with 1,000 Run
// values against knowledge bases of 0, 10,000 and 100,000 entries, the load
// alone (repeated in this process, and as the first load of a new process),
// and the knowledge lookups alone on 1,000 items, the sizes taking turns.
// Everything is measured in this one run and printed as ratios to the empty
// knowledge base, so the numbers compare across machines.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
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
// The argument that makes this program the child of FreshLoad.
const char kFirstLoad[] = "--first-load";
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
  double load = 0;          // one LoadKnowledgeBase, repeated in this process
  double freshLoad = 0;     // the first LoadKnowledgeBase of a new process
  double scanPerItem = 0;   // a whole check, per item found; < 0: not measurable
  double lookupPerItem = 0; // ClassifyItem alone, per item
  double walkPerItem = 0;   // the plain first-match walk, per item
  int found = 0;
};

// One size's image, its loaded lists and the items looked up in them.
struct Subject {
  int size = 0;
  std::string root;
  std::unique_ptr<ScanContext> context;
  std::vector<_RunData> items;
};

void UseImage(const Subject& subject) {
  platform::image::SetRoot(subject.root);
  platform::SetModuleFileNameForTesting(u"C:\\runvane\\runvane.dll");
}

// The load and the whole check, in this process.
void MeasureLoadAndCheck(Subject& subject, Measure& m) {
  UseImage(subject);
  // The best of three for the load and for a whole check (which loads the
  // knowledge base again); what the check costs beyond the load is the scan
  // of the items.
  ScanContext& context = *subject.context;
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
  // Negative when the load's own spread is larger than the scan: a large
  // base's load dwarfs the scan of a thousand items, and no figure is given.
  m.scanPerItem = check > m.load ? (check - m.load) / kItems : -1;
}

// The first load of a new process (this program run again), as a host's
// first call sees it: every block of the lists and of the parsed document is
// fresh memory. The seconds, or a negative number when the child failed.
double FreshLoad(const Subject& subject) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (dup2(fds[1], STDOUT_FILENO) < 0) _exit(1);
    execl("/proc/self/exe", "knowledge_bench", kFirstLoad, subject.root.c_str(), static_cast<char*>(nullptr));
    _exit(1);
  }
  close(fds[1]);
  std::string answer;
  char buffer[64];
  ssize_t got;
  while (child > 0 && (got = read(fds[0], buffer, sizeof buffer)) > 0) answer.append(buffer, size_t(got));
  close(fds[0]);
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.empty()) return -1;
  return atof(answer.c_str());
}

// The child's side: one load in the image at root, its seconds on stdout.
int FirstLoadInImage(const char* root) {
  Subject subject;
  subject.root = root;
  UseImage(subject);
  ScanContext context(nullptr, nullptr, 0);
  Clock::time_point start = Clock::now();
  LoadKnowledgeBase(context);
  std::printf("%.9f\n", Seconds(start));
  return 0;
}

void MakeItems(Subject& subject) {
  subject.items.assign(kItems, _RunData{});
  for (int j = 0; j < kItems; ++j) {
    _RunData& item = subject.items[j];
    item.kind = kKindRegistryValue;
    wtext::Copy(item.name, ItemName(j, subject.size));
    wtext::Copy(item.cmdline, u"C:\\Program Files\\Tools\\tool.exe");
  }
}

double LookupPerItem(Subject& subject) {
  const int rounds = 50;
  Clock::time_point start = Clock::now();
  for (int r = 0; r < rounds; ++r)
    for (_RunData item : subject.items) ClassifyItem(item, *subject.context);
  return Seconds(start) / (rounds * kItems);
}

double WalkPerItem(Subject& subject) {
  const ScanContext& context = *subject.context;
  Clock::time_point start = Clock::now();
  volatile int sink = 0;
  for (const _RunData& item : subject.items)
    sink = sink + FindFirstLinear(context.hiddenList, item) + FindFirstLinear(context.safeList, item) +
           FindFirstLinear(context.dangerList, item);
  return Seconds(start) / kItems;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kFirstLoad) == 0) return FirstLoadInImage(argv[2]);
  // Other sizes may be given on the command line; the first is the baseline.
  std::vector<int> sizes(std::begin(kSizes), std::end(kSizes));
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(atoi(argv[i]));
  }
  // A fresh image for each size: the Run values name entries of its base.
  std::vector<Subject> subjects(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    Subject& subject = subjects[i];
    subject.size = sizes[i];
    if (!SetUpImage(&subject.root) || !SetRunValues(subject.size) ||
        !WriteHostFile(u"C:\\runvane\\common\\config\\check\\RunLib.xml", KnowledgeBase(subject.size))) {
      std::fprintf(stderr, "cannot set up the system image\n");
      return 1;
    }
    subject.context.reset(new ScanContext(nullptr, nullptr, 0));
    MakeItems(subject);
  }

  std::vector<Measure> results(sizes.size());
  for (size_t i = 0; i < subjects.size(); ++i) MeasureLoadAndCheck(subjects[i], results[i]);
  // The machine is shared: the sizes take turns, and the best of several
  // repetitions is the cost.
  for (Measure& m : results) m.freshLoad = m.lookupPerItem = 1e9;
  for (int repetition = 0; repetition < 7; ++repetition)
    for (size_t i = 0; i < subjects.size(); ++i) {
      results[i].lookupPerItem = std::min(results[i].lookupPerItem, LookupPerItem(subjects[i]));
      if (repetition < 5) {
        double fresh = FreshLoad(subjects[i]);
        if (fresh >= 0) results[i].freshLoad = std::min(results[i].freshLoad, fresh);
      }
    }
  for (size_t i = 0; i < subjects.size(); ++i) results[i].walkPerItem = WalkPerItem(subjects[i]);

  const Measure& base = results[0];
  std::printf("knowledge base: check of %d Run values, ratios to an empty knowledge base\n", kItems);
  std::printf("%9s %8s %10s %10s %12s %8s %12s %8s %12s %11s\n", "entries", "listed", "load ms", "fresh ms",
              "scan us/item", "ratio", "lookup ns", "ratio", "walk ns", "walk ratio");
  for (size_t i = 0; i < results.size(); ++i) {
    const Measure& m = results[i];
    char scan[32] = "           -", scanRatio[32] = "       -";
    if (m.scanPerItem >= 0) std::snprintf(scan, sizeof scan, "%12.2f", m.scanPerItem * 1e6);
    if (m.scanPerItem >= 0 && base.scanPerItem > 0)
      std::snprintf(scanRatio, sizeof scanRatio, "%8.2f", m.scanPerItem / base.scanPerItem);
    std::printf("%9d %8d %10.2f %10.2f %s %s %12.1f %8.2f %12.1f %11.1f\n", sizes[i], m.found, m.load * 1e3,
                m.freshLoad * 1e3, scan, scanRatio, m.lookupPerItem * 1e9, m.lookupPerItem / base.lookupPerItem,
                m.walkPerItem * 1e9, m.walkPerItem / (base.walkPerItem > 0 ? base.walkPerItem : 1e-9));
  }
  const size_t last = results.size() - 1;
  if (last >= 2 && sizes[last - 1] > 0 && sizes[last] > 0) {
    std::printf("load time per entry at %d / at %d: %.2f in one process, %.2f as a first load\n", sizes[last],
                sizes[last - 1], (results[last].load / sizes[last]) / (results[last - 1].load / sizes[last - 1]),
                (results[last].freshLoad / sizes[last]) / (results[last - 1].freshLoad / sizes[last - 1]));
  }
  if (last >= 1)
    std::printf("lookup per item at %d / at %d entries: %.2f\n", sizes[last], sizes[0],
                results[last].lookupPerItem / results[0].lookupPerItem);

  for (const Subject& subject : subjects) {
    std::string remove = "rm -rf '" + subject.root + "'";
    if (system(remove.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", subject.root.c_str());
  }
  return 0;
}
