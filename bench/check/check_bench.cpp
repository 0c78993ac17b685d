// A whole check against the least I/O it needs, measured in one run.
//
// The image (bench/check/check_image.h) is made here through the platform
// layer, in a new image folder under /tmp. Every check runs as the first
// call of a fresh process (this program started again with the image and
// the measure on its command line), as a host's first call does. The
// floor reads what any check must: both registry files and the knowledge
// base whole, each distinct program opened, its PE resources walked and its
// version block read, and both folders listed. Repetitions of every measure alternate; each figure is
// the best of them.
//
//   check_bench [values [programs [folder-files]]]   (1000 200 100)
//   RUNVANE_BENCH_PREFIX=<prefix made by wineboot> check_bench ...   the
//   fresh image takes that prefix's system.reg instead of a prefix-like one.
//   RUNVANE_BENCH_PROFILE=N check_bench ...   runs N checks in this process
//   and prints each part's time, for perf record; no ratios.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/check/check_image.h"
#include "bench/registry_file/prefix_like.h"
#include "inventory/check_list.h"
#include "knowledge/classify.h"
#include "knowledge/knowledge_base.h"
#include "knowledge/scan_context.h"
#include "platform/call_scope.h"
#include "platform/handles.h"
#include "platform/linux/system_image.h"
#include "platform/pe_version.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "plugin/exports.h"
#include "remote/listing.h"

namespace heap_meter {
long long InUse();
long long Peak();
void ResetPeak();
}  // namespace heap_meter

namespace {

using check_image::Clock;
using check_image::kRepetitions;
using check_image::Seconds;
const char16_t kModule[] = u"C:\\runvane\\runvane.dll";
const char16_t kKnowledgeFolder[] = u"C:\\runvane\\common\\config\\check";

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteHost(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

// What the floor reads, as host paths fixed before any timing.
struct Image {
  std::string root;
  std::vector<std::string> wholeFiles;  // registry files and knowledge base
  std::vector<std::string> programs;    // each distinct program once
  std::vector<std::string> folders;     // the two startup folders
  int items = 0;
  int shape[3] = {0, 0, 0};             // values, programs, folder files
  std::string systemReg;                // what system.reg was made from
};

// The system.reg of a freshly made prefix: a wineboot-made one's when
// RUNVANE_BENCH_PREFIX names such a prefix, else the image's own keys and
// prefix-like sections up to a wineboot-made file's size. *source says which.
bool MakePrefixSystemReg(const std::string& root, std::string* source) {
  const std::string path = root + "/system.reg";
  if (const char* prefix = getenv("RUNVANE_BENCH_PREFIX")) {
    std::string text = ReadHost(std::string(prefix) + "/system.reg");
    if (text.empty()) return false;
    *source = std::string("the system.reg of ") + prefix;
    return WriteHost(path, text);
  }
  constexpr size_t kWinebootBytes = 1700000;  // Wine 8's, 8,900 sections
  std::string text = ReadHost(path);
  if (text.empty()) return false;
  text += prefixlike::Sections(kWinebootBytes > text.size() ? kWinebootBytes - text.size() : 0);
  *source = "a prefix-like system.reg";
  return WriteHost(path, text);
}

const char16_t kKnowledgeBase[] = u"C:\\runvane\\common\\config\\check\\RunLib.xml";

// What the floor reads of the image at root, and its plan: the platform's
// state pointed at the image. Computed alike by the process that made the
// image and by each measuring process.
bool DescribeImage(const std::string& root, int values, int programs, int folderFiles, Image* image,
                   check_image::Plan* plan) {
  image->root = root;
  platform::image::SetRoot(image->root);
  platform::SetModuleFileNameForTesting(kModule);
  image->wholeFiles = {image->root + "/system.reg", image->root + "/user.reg",
                       platform::image::HostPath(kKnowledgeBase)};
  if (!check_image::PlanImage(values, programs, folderFiles, plan)) return false;
  for (const std::u16string& path : plan->programs) image->programs.push_back(platform::image::HostPath(path.c_str()));
  for (const std::u16string& path : plan->folderFiles)
    image->programs.push_back(platform::image::HostPath(path.c_str()));
  for (const std::u16string& path : plan->folders) image->folders.push_back(platform::image::HostPath(path.c_str()));
  image->items = int(plan->values.size() + plan->folderFiles.size());
  image->shape[0] = values;
  image->shape[1] = programs;
  image->shape[2] = folderFiles;
  return true;
}

// A new image at /tmp with the knowledge base in place. programs == 0 gives
// one Run value naming no program file, as on a freshly made prefix, in a
// prefix's system.reg (MakePrefixSystemReg).
bool MakeImage(int values, int programs, int folderFiles, Image* image) {
  char pattern[] = "/tmp/rv-check-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  image->root = pattern;
  if (!platform::image::CreateImage(image->root)) return false;
  if (programs == 0 && !MakePrefixSystemReg(image->root, &image->systemReg)) return false;
  check_image::Plan plan;
  if (!DescribeImage(image->root, values, programs, folderFiles, image, &plan)) return false;
  if (!check_image::MakeFolders(kKnowledgeFolder)) return false;
  if (!WriteHost(image->wholeFiles[2], ReadHost(RUNVANE_DATA_DIR "/RunLib.xml"))) return false;
  std::u16string fixture = wtext::FromUtf8("Z:" RUNVANE_FIXTURE_DIR "/normal.exe");
  for (char16_t& c : fixture)
    if (c == u'/') c = u'\\';
  return check_image::MakeImage(plan, fixture);
}

void RemoveImage(const Image& image) {
  std::string remove = "rm -rf '" + image.root + "'";
  if (system(remove.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", image.root.c_str());
}

// A file read in place, as the backend's version reader reads it.
class HostFile : public pe_version::ByteSource {
 public:
  explicit HostFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) const override {
    return offset <= size_ && n <= size_ - offset && pread(fd_, out, n, off_t(offset)) == ssize_t(n);
  }

 private:
  int fd_;
  uint64_t size_;
};

// The least a check reads; returns a count so that nothing is optimised away.
long Floor(const Image& image) {
  long sink = 0;
  for (const std::string& path : image.wholeFiles) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0) {
      std::string bytes(size_t(st.st_size), '\0');
      sink += read(fd, &bytes[0], bytes.size());
    }
    close(fd);
  }
  std::vector<uint8_t> block;
  for (const std::string& path : image.programs) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0) {
      HostFile file(fd, uint64_t(st.st_size));
      pe_version::VersionResource found;
      if (pe_version::FindVersionResource(file, &found)) {
        block.resize(found.size);
        sink += pe_version::ReadVersionResource(file, found, block.data(), found.size);
      }
    }
    close(fd);
  }
  for (const std::string& folder : image.folders) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) continue;
    while (readdir(dir) != nullptr) ++sink;
    closedir(dir);
  }
  return sink;
}

// kFloorWithList adds to the floor what no check can leave out either: the
// host's list, one zero-filled node per item from the heap. kWarm times a
// later check of the same process against the floor there, best of five.
enum class Task { kCheck, kListing, kFloor, kFloorWithList, kWarm, kShippedLoad };

struct Result {
  double seconds = 0;
  long long peakBytes = 0;
  int found = 0;
  double floorSeconds = 0;  // kWarm: the floor in the same process
};

// A check of the image, its list released; the count of nodes.
int CheckOnce() { return check_image::CheckAndRelease(&DLL_Check, &DLL_Release); }

// The parent's side of a measuring process made by fork (pid, or < 0 when
// it could not be made): the value it writes into the pipe, failed when it
// said nothing.
template <typename T>
T ReadFromChild(pid_t pid, int pipeFds[2], const T& failed) {
  close(pipeFds[1]);
  T value = failed;
  if (pid > 0) {
    if (read(pipeFds[0], &value, sizeof value) != ssize_t(sizeof value)) value = failed;
    waitpid(pid, nullptr, 0);
  }
  close(pipeFds[0]);
  return value;
}

// What work returns, computed in a new process (a fork) and handed back
// through a pipe; failed when the process could not be made or said nothing.
template <typename T, typename Work>
T InNewProcess(const T& failed, Work work) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return failed;
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    const T value = work();
    ssize_t ignored = write(pipeFds[1], &value, sizeof value);
    (void)ignored;
    _exit(0);
  }
  return ReadFromChild(pid, pipeFds, failed);
}

// One task, timed, in this process: the platform's state already points at
// the image.
Result RunTask(const Image& image, Task task) {
  Result r;
  heap_meter::ResetPeak();
  const long long before = heap_meter::InUse();
  Clock::time_point start = Clock::now();
  if (task == Task::kCheck) {
    CheckNode* list = nullptr;
    int32_t count = 0;
    DLL_Check(&list, nullptr, &count, 0);
    r.peakBytes = heap_meter::Peak() - before;
    for (CheckNode* node = list; node != nullptr; node = node->next) ++r.found;
    DLL_Release(list);
  } else if (task == Task::kListing) {
    platform::CallScope call;  // as the listing command's export holds
    ScanContext context(nullptr, nullptr, 0);
    AutoRunItemNode* head = nullptr;
    ListAutoRunItems(context, &head);
    r.peakBytes = heap_meter::Peak() - before;
    for (AutoRunItemNode* node = head; node != nullptr; node = node->next) ++r.found;
    FreeAutoRunList(head);
  } else if (task == Task::kFloorWithList) {
    r.found = int(Floor(image) > 0);
    CheckNode* head = nullptr;
    for (int i = 0; i < image.items; ++i) {
      CheckNode* node = static_cast<CheckNode*>(calloc(1, sizeof(CheckNode)));
      if (node == nullptr) break;
      node->next = head;
      head = node;
    }
    r.seconds = Seconds(start);
    FreeCheckList(head);
  } else if (task == Task::kWarm) {
    r.found = CheckOnce();
    r.seconds = r.floorSeconds = 1e9;
    for (int i = 0; i < 5; ++i) {
      Clock::time_point at = Clock::now();
      Floor(image);
      r.floorSeconds = std::min(r.floorSeconds, Seconds(at));
      at = Clock::now();
      CheckOnce();
      r.seconds = std::min(r.seconds, Seconds(at));
    }
  } else if (task == Task::kShippedLoad) {
    ScanContext context(nullptr, nullptr, 0);
    LoadKnowledgeBase(context);
  } else {
    r.found = int(Floor(image) > 0);
  }
  if (task != Task::kFloorWithList && task != Task::kWarm) r.seconds = Seconds(start);
  return r;
}

const char kMeasure[] = "--measure";

// Runs one task as the first call of a new process: this program started
// again (fork and exec) with the image and the task on its command line,
// so that the measuring process has its own pages as a host's process has,
// not those it would share with this one after a bare fork (every first
// write to one of those copies the page). The result comes back through a
// pipe.
Result InChild(const Image& image, Task task) {
  Result failed;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return failed;
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    std::vector<std::string> args = {"check_bench", kMeasure, std::to_string(pipeFds[1]), image.root,
                                     std::to_string(int(task))};
    for (int n : image.shape) args.push_back(std::to_string(n));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  return ReadFromChild(pid, pipeFds, failed);
}

// The measuring process's side of InChild: argv holds the pipe, the image's
// root, the task and the image's shape.
int Measure(int argc, char** argv) {
  if (argc != 8) return 2;
  const int fd = atoi(argv[2]);
  Image image;
  check_image::Plan plan;
  if (!DescribeImage(argv[3], atoi(argv[5]), atoi(argv[6]), atoi(argv[7]), &image, &plan)) return 1;
  platform::image::SetRoot(image.root);  // forgets what planning read, as a first call finds it
  const Result r = RunTask(image, static_cast<Task>(atoi(argv[4])));
  return write(fd, &r, sizeof r) == ssize_t(sizeof r) ? 0 : 1;
}

struct Best {
  Result check, listing, floor, floorWithList, warm;
};

void Keep(Result* best, const Result& r) {
  if (best->seconds == 0 || (r.seconds > 0 && r.seconds < best->seconds)) *best = r;
}

std::string KnowledgeBase(int size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RunLib>\n";
  for (int i = 0; i < size; ++i) {
    const char* level = i % 3 == 0 ? "2" : (i % 50 == 0 ? "3" : "1");
    text += "  <RunItem Name=\"Tool" + std::to_string(i) + "\" Desc=\"tool " + std::to_string(i) + "\" CmdL=\"" +
            (i % 2 == 0 ? "tool.exe" : "") + "\" Type=\"1\" Status=\"1\" Level=\"" + level + "\"/>\n";
  }
  return text + "</RunLib>\n";
}

// The time of a knowledge-base load as the first of a new process (a fork),
// as a host's first check loads it: a later load in the same process finds
// the heap the last one left, which says more of the allocator than of
// the loader.
double FirstLoadSeconds(const std::u16string& module) {
  return InNewProcess(1e9, [&module] {
    platform::SetModuleFileNameForTesting(module.c_str());
    ScanContext context(nullptr, nullptr, 0);
    Clock::time_point start = Clock::now();
    LoadKnowledgeBase(context);
    return Seconds(start);
  });
}

// The knowledge base alone: load time per entry at two sizes, interleaved,
// and the look-up per item at the larger size against an empty base.
void KnowledgeFigures(const Image& image, double* loadRatio, double* lookupRatio) {
  const int sizes[] = {0, 10000, 100000};
  for (int s = 0; s < 3; ++s) {
    std::u16string folder = u"C:\\kb" + wtext::FromInt(sizes[s]) + u"\\common\\config\\check";
    check_image::MakeFolders(folder);
    WriteHost(platform::image::HostPath((folder + u"\\RunLib.xml").c_str()), KnowledgeBase(sizes[s]));
  }
  (void)image;
  double load[3] = {1e9, 1e9, 1e9};
  double lookup[3] = {1e9, 1e9, 1e9};
  std::vector<_RunData> items(1000);
  for (int repetition = 0; repetition < 3; ++repetition)
    for (int s = 0; s < 3; ++s) {
      std::u16string module = u"C:\\kb" + wtext::FromInt(sizes[s]) + u"\\runvane.dll";
      platform::SetModuleFileNameForTesting(module.c_str());
      ScanContext context(nullptr, nullptr, 0);
      load[s] = std::min(load[s], FirstLoadSeconds(module));
      Clock::time_point start = Clock::now();
      LoadKnowledgeBase(context);
      for (size_t j = 0; j < items.size(); ++j) {
        items[j] = _RunData{};
        items[j].kind = kKindRegistryValue;
        std::string name = sizes[s] > 0 && j % 10 == 0 ? "TOOL" + std::to_string((j * 7919) % sizes[s])
                                                        : "Other" + std::to_string(j);
        wtext::Copy(items[j].name, wtext::FromUtf8(name));
        wtext::Copy(items[j].cmdline, u"C:\\Program Files\\Tools\\tool.exe");
      }
      const int rounds = 20;
      start = Clock::now();
      for (int r = 0; r < rounds; ++r)
        for (_RunData item : items) ClassifyItem(item, context);
      lookup[s] = std::min(lookup[s], Seconds(start) / (rounds * double(items.size())));
    }
  platform::SetModuleFileNameForTesting(kModule);
  *loadRatio = (load[2] / sizes[2]) / (load[1] / sizes[1]);
  *lookupRatio = lookup[2] / lookup[0];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], kMeasure) == 0) return Measure(argc, argv);
  const int values = argc > 1 ? atoi(argv[1]) : 1000;
  const int programs = argc > 2 ? atoi(argv[2]) : 200;
  const int folderFiles = argc > 3 ? atoi(argv[3]) : 100;
  if (values < 1 || programs < 1 || folderFiles < 0) {
    std::fprintf(stderr, "usage: check_bench [values [programs [folder-files]]]\n");
    return 2;
  }
  Image fresh, full;
  if (!MakeImage(1, 0, 0, &fresh) || !MakeImage(values, programs, folderFiles, &full)) {
    std::fprintf(stderr, "cannot make the system images\n");
    return 1;
  }

  if (const char* profile = getenv("RUNVANE_BENCH_PROFILE")) {
    platform::image::SetRoot(full.root);
    const int rounds = std::max(1, atoi(profile));
    double check = 0, floor = 0;
    for (int r = 0; r < rounds; ++r) {
      Clock::time_point start = Clock::now();
      Floor(full);
      floor += Seconds(start);
      start = Clock::now();
      CheckNode* list = nullptr;
      int32_t count = 0;
      DLL_Check(&list, nullptr, &count, 0);
      DLL_Release(list);
      check += Seconds(start);
    }
    std::printf("%d checks: %.3f ms each, floor %.3f ms\n", rounds, 1e3 * check / rounds, 1e3 * floor / rounds);
    RemoveImage(fresh);
    RemoveImage(full);
    return 0;
  }

  Best big, small;
  Result shippedLoad;
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    Keep(&shippedLoad, InChild(full, Task::kShippedLoad));
    Keep(&big.floor, InChild(full, Task::kFloor));
    Keep(&big.check, InChild(full, Task::kCheck));
    Keep(&small.floor, InChild(fresh, Task::kFloor));
    Keep(&small.check, InChild(fresh, Task::kCheck));
    Keep(&big.listing, InChild(full, Task::kListing));
    Keep(&big.floorWithList, InChild(full, Task::kFloorWithList));
    if (repetition < 3) Keep(&big.warm, InChild(full, Task::kWarm));
  }
  platform::image::SetRoot(full.root);
  double loadRatio = 0, lookupRatio = 0;
  KnowledgeFigures(full, &loadRatio, &lookupRatio);

  std::printf("check of %d Run values naming %d programs, %d + %d startup-folder files (%d items listed)\n",
              values, programs, folderFiles, folderFiles, big.check.found);
  std::printf("  check, first call in a process      %6.2f x its floor\n", big.check.seconds / big.floor.seconds);
  std::printf("  check, first call in a process      %6.2f x its floor with the host's list made\n",
              big.check.seconds / big.floorWithList.seconds);
  std::printf("  check, a later call in the process  %6.2f x its floor there\n",
              big.warm.seconds / big.warm.floorSeconds);
  std::printf("  listing, first call in a process    %6.2f x the check's floor\n",
              big.listing.seconds / big.floor.seconds);
  std::printf("  fresh image, one item, first check  %6.2f x its floor (%s, %.2f MB)\n",
              small.check.seconds / small.floor.seconds, fresh.systemReg.c_str(),
              ReadHost(fresh.root + "/system.reg").size() / 1e6);
  std::printf("  knowledge-base load, the shipped one, first call in a process  %5.3f x the check's floor\n",
              shippedLoad.seconds / big.floor.seconds);
  std::printf("  knowledge-base load per entry, 100,000 / 10,000 entries  %5.2f\n", loadRatio);
  std::printf("  knowledge look-up per item, 100,000 / 0 entries          %5.2f\n", lookupRatio);
  std::printf("  peak heap of a check per item       %6.2f KB (one record is %.2f KB)\n",
              big.check.peakBytes / 1024.0 / std::max(big.check.found, 1), sizeof(CheckNode) / 1024.0);
  RemoveImage(fresh);
  RemoveImage(full);
  return 0;
}
