// The Windows build's whole check against the least the system must be
// asked for it, measured in one run (on Windows, or under Wine in a
// throw-away prefix: bench/check/check_bench_windows.sh).
//
// The image (bench/check/check_image.h) is written into the running system
// through the Win32 API, with the module and its knowledge base copied to
// C:\runvane. Every measure runs as the first call of a new process: the
// benchmark starts itself again with --measure for each one, the measures
// alternating. The check is the module's DLL_Check then DLL_Release. Two
// floors are set against it, each reading the knowledge base whole,
// enumerating the values of every Run-type key, listing both startup
// folders and reading each program's version block (size, block,
// translation and the three strings a check reads) and attributes:
//   distinct   each distinct program once;
//   per value  the program of every value again, as a check that keeps
//              nothing between the values naming one program reads.
// Each figure is the best of the repetitions.
//
//   check_bench_windows [values [programs [folder-files]]]   (1000 200 100)
//   RUNVANE_BENCH_PROFILE=N check_bench_windows ...   runs N of each in
//   this process and prints their times; no ratios.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/check/check_image.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/windows/wide.h"
#include "platform/wtext.h"
#include "plugin/exports.h"

namespace {

using check_image::Clock;
using check_image::Seconds;
using platform::win32::Wide;

const char16_t kModuleFolder[] = u"C:\\runvane";
const char16_t kKnowledgeFolder[] = u"C:\\runvane\\common\\config\\check";
const char16_t kKnowledgeFile[] = u"\\common\\config\\check\\RunLib.xml";
const char16_t kModuleFile[] = u"\\runvane.dll";

using check_image::CheckExport;
using check_image::ReleaseExport;

enum class Task { kCheck, kFloor, kPerValueFloor };
const char* const kTaskNames[] = {"check", "floor", "per-value-floor"};

struct Shape {
  int values = 1000;
  int programs = 200;
  int folderFiles = 100;
};

struct Result {
  double seconds = 0;
  int found = 0;  // items the check listed; 1 when a floor read anything
};

// This program's own file; empty when the system does not say.
std::u16string ProgramPath() {
  char16_t path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, Wide(path), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::u16string();
  return std::u16string(path, length);
}

// The folder of this program, without a trailing backslash.
std::u16string ProgramFolder() {
  const std::u16string path = ProgramPath();
  return path.substr(0, path.rfind(u'\\'));
}

class Library {
 public:
  explicit Library(const std::u16string& path) : module_(::LoadLibraryW(Wide(path.c_str()))) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  template <typename Function>
  Function Find(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

// ------------------------------------------------------------------ floors

// The whole file in one read.
long ReadWhole(const std::u16string& path) {
  platform::ScopedFile file(::CreateFileW(Wide(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return 0;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 30)) return 0;
  std::vector<char> bytes(size_t(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr)) return 0;
  return long(read);
}

long EnumerateValues(const check_image::RunKey& key) {
  platform::ScopedKey opened;
  if (::RegOpenKeyExW(key.root, Wide(key.path.c_str()), 0, KEY_READ | KEY_WOW64_64KEY, opened.receive()) !=
      ERROR_SUCCESS)
    return 0;
  static wchar_t name[16384];
  static BYTE data[65536];
  long sink = 0;
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = DWORD(sizeof name / sizeof name[0]);
    DWORD dataLength = DWORD(sizeof data);
    DWORD type = 0;
    LONG status = ::RegEnumValueW(opened.get(), index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) sink += long(dataLength);
  }
  return sink;
}

// A program's version block and attributes, as a check asks for them.
long ReadProgram(const std::u16string& path) {
  const wchar_t* wide = Wide(path.c_str());
  long sink = 0;
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(wide, &handle);
  if (size > 0) {
    std::vector<BYTE> block(size);
    if (::GetFileVersionInfoW(wide, 0, size, block.data())) {
      void* value = nullptr;
      UINT length = 0;
      if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
        WORD pair[2];
        std::memcpy(pair, value, sizeof pair);
        for (const wchar_t* field : {L"FileDescription", L"CompanyName", L"FileVersion"}) {
          wchar_t query[96];
          std::swprintf(query, 96, L"\\StringFileInfo\\%04x%04x\\%ls", pair[0], pair[1], field);
          if (::VerQueryValueW(block.data(), query, &value, &length)) sink += long(length);
        }
      }
    }
  }
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (::GetFileAttributesExW(wide, GetFileExInfoStandard, &attributes)) sink += long(attributes.nFileSizeLow);
  return sink;
}

long ListFolder(const std::u16string& folder) {
  WIN32_FIND_DATAW found;
  platform::ScopedFind find(::FindFirstFileW(Wide((folder + u"\\*").c_str()), &found));
  if (!find.valid()) return 0;
  long sink = 1;
  while (::FindNextFileW(find.get(), &found)) ++sink;
  return sink;
}

// The least a check asks of the system; returns a count so that nothing is
// optimised away.
long Floor(const check_image::Plan& plan, bool perValue) {
  long sink = ReadWhole(kModuleFolder + std::u16string(kKnowledgeFile));
  for (const check_image::RunKey& key : plan.keys) sink += EnumerateValues(key);
  if (perValue) {
    for (const check_image::RunValue& value : plan.values)
      if (value.program != check_image::kNoProgram) sink += ReadProgram(plan.programs[value.program]);
  } else {
    for (const std::u16string& program : plan.programs) sink += ReadProgram(program);
  }
  for (const std::u16string& file : plan.folderFiles) sink += ReadProgram(file);
  for (const std::u16string& folder : plan.folders) sink += ListFolder(folder);
  return sink;
}

// ------------------------------------------------------------ the measures

// One measure in this process, which does nothing else before it but load
// the module or plan the floor's reading.
Result Measure(Task task, const Shape& shape) {
  Result result;
  if (task == Task::kCheck) {
    Library module(kModuleFolder + std::u16string(kModuleFile));
    CheckExport check = module.Find<CheckExport>("DLL_Check");
    ReleaseExport release = module.Find<ReleaseExport>("DLL_Release");
    if (check == nullptr || release == nullptr) return result;
    Clock::time_point start = Clock::now();
    result.found = check_image::CheckAndRelease(check, release);
    result.seconds = Seconds(start);
  } else {
    check_image::Plan plan;
    if (!check_image::PlanImage(shape.values, shape.programs, shape.folderFiles, &plan)) return result;
    Clock::time_point start = Clock::now();
    result.found = Floor(plan, task == Task::kPerValueFloor) > 0 ? 1 : 0;
    result.seconds = Seconds(start);
  }
  if (result.found <= 0) result.seconds = 0;
  return result;
}

std::wstring Quoted(const std::u16string& text) { return L"\"" + std::wstring(Wide(text.c_str())) + L"\""; }

// Runs one measure as the first call of a new process: this program again,
// with --measure, answering on its standard output.
Result InChild(const std::u16string& self, Task task, const Shape& shape) {
  Result result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  platform::ScopedFile reader(readEnd);
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  const char* name = kTaskNames[int(task)];
  std::wstring command = Quoted(self) + L" --measure " + std::wstring(name, name + std::strlen(name)) + L" " +
                         std::to_wstring(shape.values) + L" " + std::to_wstring(shape.programs) + L" " +
                         std::to_wstring(shape.folderFiles);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  BOOL started = ::CreateProcessW(Wide(self.c_str()), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
  ::CloseHandle(writeEnd);  // the child holds the only write end now
  if (!started) return result;
  platform::ScopedFile processOwner(process.hProcess);
  platform::ScopedFile threadOwner(process.hThread);

  std::string answer;
  char buffer[256];
  DWORD read = 0;
  while (answer.size() < 4096 && ::ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
    answer.append(buffer, read);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  if (std::sscanf(answer.c_str(), "%lf %d", &result.seconds, &result.found) != 2) result = Result();
  return result;
}

void Keep(Result* best, const Result& r) {
  if (r.seconds > 0 && (best->seconds == 0 || r.seconds < best->seconds)) *best = r;
}

bool ParseShape(int argc, char** argv, int first, Shape* shape) {
  int* fields[] = {&shape->values, &shape->programs, &shape->folderFiles};
  for (int i = 0; i < 3 && first + i < argc; ++i) *fields[i] = std::atoi(argv[first + i]);
  return shape->values >= 1 && shape->programs >= 1 && shape->folderFiles >= 0;
}

// Writes the image and puts the module and its knowledge base in place.
// Refuses a system where the image was made before: its values would add
// to the new ones.
bool PrepareImage(const Shape& shape) {
  check_image::Plan plan;
  if (!check_image::PlanImage(shape.values, shape.programs, shape.folderFiles, &plan)) {
    std::fprintf(stderr, "the system does not know its startup folders\n");
    return false;
  }
  platform::ScopedKey existing;
  const check_image::RunKey& first = plan.keys.front();
  if (::RegOpenKeyExW(first.root, Wide(first.path.c_str()), 0, KEY_READ | KEY_WOW64_64KEY, existing.receive()) ==
      ERROR_SUCCESS) {
    const wchar_t* name = Wide(plan.values.front().name.c_str());
    if (::RegQueryValueExW(existing.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      std::fprintf(stderr, "this system already holds a benchmark image: run in a fresh prefix\n");
      return false;
    }
  }
  const std::u16string built = ProgramFolder();
  if (!check_image::MakeFolders(kKnowledgeFolder) ||
      !::CopyFileW(Wide((built + kModuleFile).c_str()), Wide((kModuleFolder + std::u16string(kModuleFile)).c_str()),
                   FALSE) ||
      !::CopyFileW(Wide((built + kKnowledgeFile).c_str()),
                   Wide((kModuleFolder + std::u16string(kKnowledgeFile)).c_str()), FALSE)) {
    std::fprintf(stderr, "cannot put the module and its knowledge base into %s\n",
                 wtext::ToUtf8(kModuleFolder).c_str());
    return false;
  }
  if (!check_image::MakeImage(plan, built + u"\\fixtures\\normal.exe")) {
    std::fprintf(stderr, "cannot write the image\n");
    return false;
  }
  return true;
}

int Profile(int rounds, const Shape& shape) {
  check_image::Plan plan;
  Library module(kModuleFolder + std::u16string(kModuleFile));
  CheckExport check = module.Find<CheckExport>("DLL_Check");
  ReleaseExport release = module.Find<ReleaseExport>("DLL_Release");
  if (check == nullptr || release == nullptr ||
      !check_image::PlanImage(shape.values, shape.programs, shape.folderFiles, &plan))
    return 1;
  double seconds[3] = {0, 0, 0};
  for (int r = 0; r < rounds; ++r) {
    Clock::time_point start = Clock::now();
    Floor(plan, false);
    seconds[0] += Seconds(start);
    start = Clock::now();
    Floor(plan, true);
    seconds[1] += Seconds(start);
    start = Clock::now();
    check_image::CheckAndRelease(check, release);
    seconds[2] += Seconds(start);
  }
  std::printf("%d checks: %.3f ms each, floor %.3f ms, per-value floor %.3f ms\n", rounds, 1e3 * seconds[2] / rounds,
              1e3 * seconds[0] / rounds, 1e3 * seconds[1] / rounds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Shape shape;
  if (argc > 2 && std::strcmp(argv[1], "--measure") == 0) {
    for (int t = 0; t < 3; ++t)
      if (std::strcmp(argv[2], kTaskNames[t]) == 0 && ParseShape(argc, argv, 3, &shape)) {
        Result r = Measure(Task(t), shape);
        std::printf("%.9f %d\n", r.seconds, r.found);
        return r.seconds > 0 ? 0 : 1;
      }
    return 2;
  }
  if (!ParseShape(argc, argv, 1, &shape)) {
    std::fprintf(stderr, "usage: check_bench_windows [values [programs [folder-files]]]\n");
    return 2;
  }
  if (!PrepareImage(shape)) return 1;
  if (const char* profile = std::getenv("RUNVANE_BENCH_PROFILE"))
    return Profile(std::max(1, std::atoi(profile)), shape);

  const std::u16string self = ProgramPath();
  if (self.empty()) return 1;
  Result check, floor, perValue;
  for (int repetition = 0; repetition < check_image::kRepetitions; ++repetition) {
    Keep(&floor, InChild(self, Task::kFloor, shape));
    Keep(&check, InChild(self, Task::kCheck, shape));
    Keep(&perValue, InChild(self, Task::kPerValueFloor, shape));
  }
  if (check.seconds == 0 || floor.seconds == 0 || perValue.seconds == 0) {
    std::fprintf(stderr, "a measure failed (check %d, floor %d, per-value floor %d)\n", check.seconds > 0,
                 floor.seconds > 0, perValue.seconds > 0);
    return 1;
  }
  // The image's items and what the system held before (a fresh prefix has
  // one or two): a check that lists fewer did less than the floor read.
  const int made = shape.values + 2 * shape.folderFiles;
  if (check.found < made) {
    std::fprintf(stderr, "the check listed %d items of the %d made: no figures\n", check.found, made);
    return 1;
  }
  std::printf("Windows build: check of %d Run values naming %d programs, %d + %d startup-folder files"
              " (%d items listed, %d made)\n",
              shape.values, shape.programs, shape.folderFiles, shape.folderFiles, check.found, made);
  std::printf("  check, first call in a process      %6.2f x the distinct-program floor\n",
              check.seconds / floor.seconds);
  std::printf("  check, first call in a process      %6.2f x the per-value floor\n", check.seconds / perValue.seconds);
  std::printf("  per-value floor                     %6.2f x the distinct-program floor\n",
              perValue.seconds / floor.seconds);
  return 0;
}
