// The built modules show the host exactly their exports and depend on
// nothing but the system: the PE export and import tables of the Windows
// modules, the dynamic symbols and needed libraries of the Linux ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "tests/surface/binary_surface.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

const std::set<std::string> kCheckExports = {"DLL_Check", "DLL_Repair", "DLL_Release",
                                             "FixItemByName"};
const std::set<std::string> kFullExports = {"DLL_Check", "DLL_Repair", "DLL_Release",
                                            "FixItemByName", "VEK_RemoteInvoke"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The folder of this test program, where the build puts the modules too.
std::string ProgramFolder() {
#ifdef _WIN32
  // The platform layer's test seam changes what its own GetModuleFileNameW
  // answers; the real location comes from the system directly.
  wchar_t path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string narrow;
  for (DWORD i = 0; i < length; ++i) narrow.push_back(static_cast<char>(path[i]));
  size_t slash = narrow.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : narrow.substr(0, slash + 1);
#else
  char path[4096] = {};
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string text(path, length > 0 ? static_cast<size_t>(length) : 0);
  size_t slash = text.find_last_of('/');
  return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
#endif
}

std::string ModuleBytes(const std::string& file) {
  std::string bytes;
  EXPECT_TRUE(surface::ReadWholeFile(ProgramFolder() + file, &bytes))
      << "cannot read " << ProgramFolder() + file;
  return bytes;
}

#ifdef _WIN32

std::set<std::string> AsSet(const std::vector<std::string>& names) {
  return std::set<std::string>(names.begin(), names.end());
}

bool IsSystemDll(const std::string& name) {
  static const std::set<std::string> kSystem = {
      "kernel32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll", "ole32.dll",
      "oleaut32.dll", "user32.dll",   "version.dll", "msvcrt.dll"};
  const std::string lower = Lower(name);
  return kSystem.count(lower) != 0 || lower.rfind("api-ms-win-", 0) == 0;
}

void ExpectPeSurface(const std::string& file, const std::set<std::string>& exports) {
  SCOPED_TRACE(file);
  const std::string bytes = ModuleBytes(file);
  ASSERT_FALSE(bytes.empty());
  const surface::PeSurface pe = surface::ReadPeSurface(bytes);
  ASSERT_TRUE(pe.ok) << pe.error;
  EXPECT_EQ(exports, AsSet(pe.exports));
  EXPECT_EQ(exports.size(), pe.exports.size()) << "an export name appears twice";
  // Every exported address carries one of the names: nothing by ordinal only.
  EXPECT_EQ(exports.size(), pe.exportedFunctions);
  for (const std::string& import : pe.imports) {
    EXPECT_TRUE(IsSystemDll(import)) << "imports " << import;
    EXPECT_EQ(std::string::npos, Lower(import).find("xerces")) << "imports " << import;
  }
}

TEST(ModuleSurfaceTest, CheckOnlyDllExportsTheFourCheckFunctionsAndImportsOnlySystemDlls) {
  ExpectPeSurface("runvane_check.dll", kCheckExports);
}

TEST(ModuleSurfaceTest, FullDllAddsTheRemoteInvokeExportAndImportsOnlySystemDlls) {
  ExpectPeSurface("runvane.dll", kFullExports);
}

#else

void ExpectElfSurface(const std::string& file, const std::set<std::string>& exports,
                      bool mayNeedXerces) {
  SCOPED_TRACE(file);
  const std::string bytes = ModuleBytes(file);
  ASSERT_FALSE(bytes.empty());
  const surface::ElfSurface elf = surface::ReadElfSurface(bytes);
  ASSERT_TRUE(elf.ok) << elf.error;
  std::set<std::string> seen;
  for (const std::string& name : elf.exports) {
    if (name == "_init" || name == "_fini") continue;
    EXPECT_NE(0u, name.rfind("_Z", 0)) << "C++ symbol exported: " << name;
    EXPECT_EQ(std::string::npos, Lower(name).find("xerces")) << "exported: " << name;
    seen.insert(name);
  }
  EXPECT_EQ(exports, seen);
  if (!mayNeedXerces) {
    for (const std::string& library : elf.needed)
      EXPECT_EQ(std::string::npos, Lower(library).find("xerces")) << "needs " << library;
  }
}

TEST(ModuleSurfaceTest, CheckOnlySharedObjectExportsTheFourCheckFunctionsAndNoXerces) {
  ExpectElfSurface("librunvane_check.so", kCheckExports, false);
}

TEST(ModuleSurfaceTest, FullSharedObjectAddsTheRemoteInvokeExport) {
  ExpectElfSurface("librunvane.so", kFullExports, true);
}

#endif

// The readers refuse damaged files instead of reading past them; a test that
// reads garbage must fail, not pass on an empty list.
TEST(ModuleSurfaceTest, DamagedFilesAreRefused) {
  EXPECT_FALSE(surface::ReadPeSurface("").ok);
  EXPECT_FALSE(surface::ReadElfSurface("").ok);
  EXPECT_FALSE(surface::ReadPeSurface(std::string("MZ") + std::string(70, '\xff')).ok);
  EXPECT_FALSE(surface::ReadElfSurface(std::string("\x7f" "ELF\x02\x01", 6) + std::string(58, '\xff')).ok);
#ifdef _WIN32
  const std::string bytes = ModuleBytes("runvane_check.dll");
  for (size_t cut : {size_t(64), size_t(400)})
    EXPECT_FALSE(surface::ReadPeSurface(bytes.substr(0, cut)).ok) << "cut at " << cut;
  // Cut further on, the tables may still be whole; reading must stay inside.
  surface::ReadPeSurface(bytes.substr(0, bytes.size() / 2));
#else
  const std::string bytes = ModuleBytes("librunvane_check.so");
  // The section headers sit at the end of the file: every cut loses them.
  for (size_t cut : {size_t(64), size_t(400), bytes.size() / 2})
    EXPECT_FALSE(surface::ReadElfSurface(bytes.substr(0, cut)).ok) << "cut at " << cut;
#endif
}

}  // namespace
