// The system image of the whole-check benchmark, the same on both builds:
// values over the eleven Run-type keys (both views of a machine row) naming
// distinct programs with a version resource, quoted, unquoted and through
// %ProgramFiles%, and files in both startup folders. PlanImage says what the
// image holds (Windows paths, computed without touching anything); MakeImage
// writes it through the platform layer, so the Linux build writes its own
// image and the Windows build writes the system's registry and disk. Both
// measure the check through CheckAndRelease.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "plugin/exports.h"

namespace check_image {

// Every measure is repeated this often, the repetitions of the measures
// alternating; each figure is the best of them, so a shared machine's noise
// touches both sides of a ratio alike.
constexpr int kRepetitions = 7;

typedef std::chrono::steady_clock Clock;
inline double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Where no program is named: one value naming a program every prefix has.
constexpr size_t kNoProgram = static_cast<size_t>(-1);

struct RunKey {
  HKEY root;
  std::u16string path;  // opened with KEY_WOW64_64KEY, as the module opens it
};

struct RunValue {
  size_t key;  // index into Plan::keys
  std::u16string name;
  std::u16string data;
  size_t program;  // index into Plan::programs, or kNoProgram
};

struct Plan {
  std::vector<RunKey> keys;
  std::vector<RunValue> values;
  std::vector<std::u16string> programs;     // each distinct program a value names
  std::vector<std::u16string> folders;      // both startup folders
  std::vector<std::u16string> folderFiles;  // the files in them, each a program
};

// The plan of an image of `values` Run values naming `programs` programs
// (0: one value naming no program file, as on a freshly made prefix) and
// `folderFiles` files in each startup folder. False when a startup folder
// is unknown to the system.
bool PlanImage(int values, int programs, int folderFiles, Plan* plan);

// Makes every folder of path (a drive-rooted Windows path) that is missing;
// true when the folder exists afterwards.
bool MakeFolders(const std::u16string& path);

// Writes the planned image: every program and startup file a copy of
// fixture (a program with a version resource), every value a REG_SZ.
bool MakeImage(const Plan& plan, const std::u16string& fixture);

// The measured check: the module's DLL_Check and DLL_Release (linked in, or
// looked up in the loaded module); the number of items listed.
typedef decltype(&DLL_Check) CheckExport;
typedef decltype(&DLL_Release) ReleaseExport;
int CheckAndRelease(CheckExport check, ReleaseExport release);

}  // namespace check_image
