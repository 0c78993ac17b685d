// The benchmark's image: planned as Windows paths, written through the
// platform layer.
#include "bench/check/check_image.h"

#include "inventory/run_key_table.h"
#include "inventory/startup_folders.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace check_image {

namespace {

const char16_t kProgramFiles[] = u"C:\\Program Files";

bool SetString(const RunKey& key, const std::u16string& name, const std::u16string& data) {
  platform::ScopedKey opened;
  if (platform::RegCreateKeyExW(key.root, key.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                nullptr, opened.receive(), nullptr) != ERROR_SUCCESS)
    return false;
  return platform::RegSetValueExW(opened.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                  static_cast<DWORD>((data.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

// The folder part of a path (up to its last backslash).
std::u16string FolderOf(const std::u16string& path) { return path.substr(0, path.rfind(u'\\')); }

}  // namespace

bool PlanImage(int values, int programs, int folderFiles, Plan* plan) {
  *plan = Plan();
  // The Run-type keys in table order, a machine row in both views.
  for (int row = 0; row < kRunKeyCount; ++row)
    for (int view = 0; view < kRunKeyViewCount; ++view) {
      char16_t path[kRunKeyPathUnits];
      if (RunKeyPath(row, view, RunKeySpelling::kCurrent, path)) plan->keys.push_back({kRunKeyTable[row].root, path});
    }

  for (int p = 0; p < programs; ++p)
    plan->programs.push_back(std::u16string(kProgramFiles) + u"\\Maker " + wtext::FromInt(p % 20) + u"\\tool" +
                             wtext::FromInt(p) + u".exe");
  const size_t programFilesLength = std::u16string(kProgramFiles).size();
  for (int v = 0; v < values; ++v) {
    RunValue value;
    value.key = size_t(v) % plan->keys.size();
    value.name = u"Item " + wtext::FromInt(v);
    if (programs == 0) {
      value.program = kNoProgram;
      value.data = u"C:\\windows\\system32\\winemenubuilder.exe -a -r";
    } else {
      value.program = size_t(v % programs);
      const std::u16string& path = plan->programs[value.program];
      switch (v % 3) {
        case 0: value.data = u"\"" + path + u"\" /background"; break;
        case 1: value.data = path + u" -minimized"; break;
        default: value.data = u"%ProgramFiles%" + path.substr(programFilesLength); break;
      }
    }
    plan->values.push_back(value);
  }

  for (int csidl : {CSIDL_COMMON_STARTUP, CSIDL_STARTUP}) {
    char16_t folder[MAX_PATH];
    if (!StartupFolderPath(csidl, folder)) return false;
    plan->folders.push_back(folder);
    for (int f = 0; f < folderFiles; ++f)
      plan->folderFiles.push_back(std::u16string(folder) + u"\\started" + wtext::FromInt(f) + u".exe");
  }
  return true;
}

bool MakeFolders(const std::u16string& path) {
  // Each level below the drive ("C:\"), the whole path last.
  for (size_t i = 3; i < path.size(); ++i)
    if (path[i] == u'\\') platform::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  return platform::CreateDirectoryW(path.c_str(), nullptr) || platform::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MakeImage(const Plan& plan, const std::u16string& fixture) {
  for (const std::u16string& program : plan.programs)
    if (!MakeFolders(FolderOf(program)) || !platform::CopyFileW(fixture.c_str(), program.c_str(), FALSE)) return false;
  for (const RunValue& value : plan.values)
    if (!SetString(plan.keys[value.key], value.name, value.data)) return false;
  for (const std::u16string& folder : plan.folders)
    if (!MakeFolders(folder)) return false;
  for (const std::u16string& file : plan.folderFiles)
    if (!platform::CopyFileW(fixture.c_str(), file.c_str(), FALSE)) return false;
  return true;
}

int CheckAndRelease(CheckExport check, ReleaseExport release) {
  CheckNode* list = nullptr;
  int32_t count = 0;
  check(&list, nullptr, &count, 0);
  int found = 0;
  for (CheckNode* node = list; node != nullptr; node = node->next) ++found;
  release(list);
  return found;
}

}  // namespace check_image
