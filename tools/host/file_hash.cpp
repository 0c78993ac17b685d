#include "tools/host/file_hash.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include "platform/linux/prefix_probe.h"
#endif

#include "platform/wtext.h"

namespace host {

namespace {

const uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Compress(uint32_t state[8], const unsigned char* block) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = (uint32_t(block[4 * i]) << 24) | (uint32_t(block[4 * i + 1]) << 16) | (uint32_t(block[4 * i + 2]) << 8) |
           uint32_t(block[4 * i + 3]);
  for (int i = 16; i < 64; ++i) {
    uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
    uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5], g = state[6],
           h = state[7];
  for (int i = 0; i < 64; ++i) {
    uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRoundConstants[i] + w[i];
    uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a; state[1] += b; state[2] += c; state[3] += d;
  state[4] += e; state[5] += f; state[6] += g; state[7] += h;
}

#ifndef _WIN32
// The host path of a Windows path in the current image: the drive through
// dosdevices/ (a Wine prefix) or the image itself as C: (an offline
// volume), then each component matched ignoring case.
std::string HostPathInImage(const std::string& windowsPath) {
  if (windowsPath.size() < 3 || windowsPath[1] != ':' || (windowsPath[2] != '\\' && windowsPath[2] != '/'))
    return std::string();
  std::string root = platform::prefix::DefaultRoot();
  char drive = static_cast<char>(windowsPath[0] | 0x20);
  std::string path = root + "/dosdevices/" + drive + ":";
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (drive != 'c') return std::string();
    path = stat((root + "/drive_c").c_str(), &info) == 0 ? root + "/drive_c" : root;
  }
  size_t start = 3;
  while (start <= windowsPath.size()) {
    size_t end = windowsPath.find_first_of("\\/", start);
    if (end == std::string::npos) end = windowsPath.size();
    std::string part = windowsPath.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    std::string exact = path + "/" + part;
    if (stat(exact.c_str(), &info) == 0) {
      path = exact;
      continue;
    }
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return std::string();
    std::string found;
    while (dirent* entry = readdir(dir))
      if (strcasecmp(entry->d_name, part.c_str()) == 0) found = entry->d_name;
    closedir(dir);
    if (found.empty()) return std::string();
    path += "/" + found;
  }
  return path;
}
#endif

}  // namespace

std::string Sha256Hex(const std::string& bytes) {
  uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string data = bytes;
  uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
  data.push_back(static_cast<char>(0x80));
  while (data.size() % 64 != 56) data.push_back(0);
  for (int i = 7; i >= 0; --i) data.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
  for (size_t i = 0; i < data.size(); i += 64) Compress(state, reinterpret_cast<const unsigned char*>(data.data() + i));
  std::string out;
  char hex[9];
  for (uint32_t word : state) {
    std::snprintf(hex, sizeof hex, "%08x", word);
    out += hex;
  }
  return out;
}

std::string Sha256OfProgram(const std::string& windowsPath) {
  if (windowsPath.empty()) return std::string();
#ifdef _WIN32
  std::u16string wide = wtext::FromUtf8(windowsPath);
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  if (!ok) return std::string();
  return Sha256Hex(bytes);
#else
  std::string path = HostPathInImage(windowsPath);
  if (path.empty()) return std::string();
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::string();
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::string();
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::string();
  return Sha256Hex(bytes);
#endif
}

}  // namespace host
