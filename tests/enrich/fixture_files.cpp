#include "tests/enrich/fixture_files.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/support/test_system.h"

#ifndef RUNVANE_FIXTURE_DIR
#error "RUNVANE_FIXTURE_DIR must name the build's fixtures folder"
#endif

namespace fixtures {

std::u16string Path(const char* name) {
  std::u16string path = wtext::FromUtf8(std::string("Z:") + RUNVANE_FIXTURE_DIR + "/" + name);
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  return path;
}

std::string HostPath(const char* name) { return std::string(RUNVANE_FIXTURE_DIR) + "/" + name; }

bool ReadBytes(const char* name, std::string* bytes) {
  std::ifstream in(HostPath(name), std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !bytes->empty();
}

bool Exists(const char* name) {
  std::ifstream in(HostPath(name), std::ios::binary);
  return static_cast<bool>(in);
}

bool Install(const char* name, const std::u16string& destination) {
  size_t slash = destination.find_last_of(u'\\');
  if (slash != std::u16string::npos && !testsys::MakeFolders(destination.substr(0, slash)))
    return false;
  return platform::CopyFileW(Path(name).c_str(), destination.c_str(), FALSE) != 0;
}

std::u16string WindowsFolder() {
  char16_t buffer[MAX_PATH] = {};
  UINT n = platform::GetWindowsDirectoryW(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::u16string(buffer) : std::u16string(u"C:\\windows");
}

std::u16string System32Folder() { return WindowsFolder() + u"\\system32"; }

namespace {

uint16_t Get16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}
uint32_t Get32(const std::string& b, size_t at) {
  return Get16(b, at) | (static_cast<uint32_t>(Get16(b, at + 2)) << 16);
}
void Put16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

}  // namespace

std::string ToPe32Plus(const std::string& pe32) {
  if (pe32.size() < 0x40) return {};
  const size_t pe = Get32(pe32, 0x3C);
  const size_t optional = pe + 24;
  if (pe32.size() < optional + 96) return {};
  const uint32_t sections = Get16(pe32, pe + 6);
  const uint32_t optionalBytes = Get16(pe32, pe + 20);
  if (Get16(pe32, optional) != 0x10B) return {};
  const uint32_t dirs = Get32(pe32, optional + 92);
  if (dirs > 16 || optionalBytes < 96 + dirs * 8) return {};
  const size_t table = optional + optionalBytes;
  if (pe32.size() < table + sections * 40) return {};

  uint32_t firstRaw = 0xFFFFFFFFu;
  for (uint32_t i = 0; i < sections; ++i) {
    uint32_t raw = Get32(pe32, table + i * 40 + 20);
    if (raw != 0 && raw < firstRaw) firstRaw = raw;
  }
  const uint32_t newOptionalBytes = 112 + dirs * 8;
  const size_t newEnd = optional + newOptionalBytes + sections * 40;
  if (firstRaw == 0xFFFFFFFFu || newEnd > firstRaw || firstRaw > pe32.size()) return {};

  std::string out = pe32.substr(0, optional);
  Put16(out, pe + 4, 0x8664);                          // x86-64
  Put16(out, pe + 20, newOptionalBytes);
  Put16(out, pe + 22, Get16(pe32, pe + 22) & ~0x100u);  // not a 32-bit machine
  std::string opt(newOptionalBytes, '\0');
  std::memcpy(&opt[0], &pe32[optional], 24);  // magic .. base of code
  Put16(opt, 0, 0x20B);
  Put32(opt, 24, Get32(pe32, optional + 28));  // image base, widened
  std::memcpy(&opt[32], &pe32[optional + 32], 40);  // alignment .. dll characteristics
  for (int i = 0; i < 4; ++i) Put32(opt, 72 + 8 * i, Get32(pe32, optional + 72 + 4 * i));
  Put32(opt, 104, Get32(pe32, optional + 88));  // loader flags
  Put32(opt, 108, dirs);
  std::memcpy(&opt[112], &pe32[optional + 96], dirs * 8);
  out += opt;
  out += pe32.substr(table, sections * 40);
  out.resize(firstRaw, '\0');
  out += pe32.substr(firstRaw);
  return out;
}

}  // namespace fixtures
