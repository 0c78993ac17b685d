#include "tests/host/host_system.h"

#ifdef _WIN32
#include "platform/win32_types.h"
#include "platform/wtext.h"
#include "tests/support/test_system.h"
#else
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#endif

namespace host {

#ifdef _WIN32

struct HostSystem::Platform {
  testsys::CleanSystem clean;
};

HostSystem::HostSystem() : platform_(new Platform) {}
HostSystem::~HostSystem() = default;

bool HostSystem::AddRunValue(bool machine, const std::string& name, const std::string& data) {
  values_.push_back(Value{machine, name, data});
  return WriteRegistry();
}

bool HostSystem::WriteRegistry() {
  const Value& value = values_.back();
  return testsys::SetRegString(value.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                               u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                               wtext::FromUtf8(value.name), wtext::FromUtf8(value.data));
}

void PrepareSystemForModules() {}
void RemoveSystemForModules() {}

#else

namespace {

std::string& ImageRoot() {
  static std::string root;
  return root;
}

// Text as Wine writes it between quotes: backslash and quote escaped.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

// Writes a registry file whole, through a temporary file and a rename, as
// Wine's server saves it.
bool WriteRegistryFile(const std::string& path, const std::string& relativeTo,
                       const std::vector<std::pair<std::string, std::string>>& runValues) {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to " + relativeTo +
                     "\n\n#arch=win32\n";
  if (!runValues.empty()) {
    text += "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run] 1700000000\n";
    for (const auto& value : runValues)
      text += Quoted(value.first) + "=" + Quoted(value.second) + "\n";
  }
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    out.flush();
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

struct HostSystem::Platform {};

HostSystem::HostSystem() : platform_(new Platform) { WriteRegistry(); }

HostSystem::~HostSystem() {
  values_.clear();
  WriteRegistry();
}

bool HostSystem::AddRunValue(bool machine, const std::string& name, const std::string& data) {
  values_.push_back(Value{machine, name, data});
  return WriteRegistry();
}

bool HostSystem::WriteRegistry() {
  if (ImageRoot().empty()) return false;
  std::vector<std::pair<std::string, std::string>> machine, user;
  for (const Value& value : values_)
    (value.machine ? machine : user).emplace_back(value.name, value.data);
  return WriteRegistryFile(ImageRoot() + "/system.reg", "\\\\Machine", machine) &&
         WriteRegistryFile(ImageRoot() + "/user.reg", "\\\\User\\\\S-1-5-21-0-0-0-1000", user);
}

void PrepareSystemForModules() {
  char pattern[] = "/tmp/runvane-host-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  std::string root = pattern;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(root + "/drive_c/windows/system32", error);
  fs::create_directories(root + "/dosdevices", error);
  // Drive letters as Wine links them: c: to the image's drive_c, z: to /.
  fs::create_directory_symlink("../drive_c", root + "/dosdevices/c:", error);
  fs::create_directory_symlink("/", root + "/dosdevices/z:", error);
  ImageRoot() = root;
  ::setenv("RUNVANE_SYSTEM_ROOT", root.c_str(), 1);
  HostSystem empty;
}

void RemoveSystemForModules() {
  if (ImageRoot().empty()) return;
  std::error_code error;
  std::filesystem::remove_all(ImageRoot(), error);
  ImageRoot().clear();
}

#endif

}  // namespace host
