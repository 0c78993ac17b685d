// The test system on Linux: every CleanSystem is a fresh system image in a
// temporary folder, made current for the platform layer and removed at the
// end. The module's path is C:\runvane\runvane.dll inside it.
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "tests/support/test_system.h"

#ifndef RUNVANE_SOURCE_DIR
#error "RUNVANE_SOURCE_DIR must name the source tree"
#endif

namespace testsys {

namespace {

const char16_t kModulePath[] = u"C:\\runvane\\runvane.dll";
const char16_t kModuleFolder[] = u"C:\\runvane";
const char16_t kScratchFolder[] = u"C:\\runvane-scratch";

std::string g_imageRoot;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

void RemoveTree(const std::string& path) {
  if (!path.empty()) nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool MakeHostFolders(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeHostFolders(path.substr(0, slash))) return false;
  return mkdir(path.c_str(), 0755) == 0 || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

}  // namespace

CleanSystem::CleanSystem() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/rv-image-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    std::fprintf(stderr, "cannot make a temporary image folder\n");
    std::abort();
  }
  g_imageRoot = pattern;
  if (!platform::image::CreateImage(g_imageRoot)) {
    std::fprintf(stderr, "cannot create a system image in %s\n", g_imageRoot.c_str());
    std::abort();
  }
  platform::image::SetRoot(g_imageRoot);
  platform::image::FailOperationAt(0);
  platform::image::ResetOperationCount();
  platform::SetModuleFileNameForTesting(kModulePath);
  MakeFolders(kModuleFolder);
}

CleanSystem::~CleanSystem() {
  platform::image::FailOperationAt(0);
  RemoveTree(g_imageRoot);
  g_imageRoot.clear();
}

bool WriteFileBytes(const std::u16string& windowsPath, const std::string& bytes) {
  std::string host = platform::image::HostPath(windowsPath.c_str());
  if (host.empty()) return false;
  size_t slash = host.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeHostFolders(host.substr(0, slash))) return false;
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out.flush());
}

bool ReadFileBytes(const std::u16string& windowsPath, std::string* bytes) {
  std::string host = platform::image::HostPath(windowsPath.c_str());
  if (host.empty()) return false;
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *bytes = text.str();
  return true;
}

bool FileExists(const std::u16string& windowsPath) {
  std::string host = platform::image::HostPath(windowsPath.c_str());
  struct stat st;
  return !host.empty() && stat(host.c_str(), &st) == 0;
}

bool MakeFolders(const std::u16string& windowsPath) {
  return MakeHostFolders(platform::image::HostPath(windowsPath.c_str()));
}

std::u16string SourceTreePath(const std::string& relative) {
  return platform::image::WindowsPath(std::string(RUNVANE_SOURCE_DIR) + "/" + relative);
}

std::u16string ScratchFolder() {
  MakeFolders(kScratchFolder);
  return kScratchFolder;
}

}  // namespace testsys
