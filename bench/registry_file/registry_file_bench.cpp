// Parse time of Wine registry files: a prefix-like file (many sections of a
// few values, some wrapped hex) is the baseline; one key of many values and
// one long wrapped hex value are measured against it per byte. A reader
// that is linear in the file's size gives ratios near 1.
//
//   registry_file_bench [values-in-one-key [hex-bytes]]   (40000, 1048576)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/registry_file.h"

namespace {

const char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n";

std::string WrappedHex(const char* name, size_t bytes) {
  std::string line = std::string("\"") + name + "\"=hex:";
  size_t count = line.size();
  char buffer[8];
  for (size_t i = 0; i < bytes; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", unsigned(i * 7 & 0xFF));
    line += buffer;
    count += 2;
    if (i + 1 < bytes) {
      line += ',';
      if (++count > 76) {
        line += "\\\n  ";
        count = 2;
      }
    }
  }
  return line + "\n";
}

std::string PrefixLike(size_t targetBytes) {
  std::string text = kHeader;
  char buffer[160];
  for (int i = 0; text.size() < targetBytes; ++i) {
    std::snprintf(buffer, sizeof buffer,
                  "\n[Software\\\\Classes\\\\CLSID\\\\{%08X-70DE-11D0-BD40-00A0C911CE86}] 1796652463\n"
                  "#time=1dd865454179162\n",
                  i);
    text += buffer;
    text += "@=\"Some Filter\"\n\"ThreadingModel\"=\"Both\"\n\"Merit\"=dword:00600000\n";
    if (i % 4 == 0) text += WrappedHex("FilterData", 160);
  }
  return text;
}

std::string ManyValues(size_t values) {
  std::string text = std::string(kHeader) + "\n[Software\\\\Many] 1\n";
  char buffer[64];
  for (size_t i = 0; i < values; ++i) {
    std::snprintf(buffer, sizeof buffer, "\"value %zu\"=dword:%08zx\n", i, i);
    text += buffer;
  }
  return text;
}

// Seconds per parse, best of a few runs.
double Time(const std::string& text) {
  double best = 1e30;
  for (int run = 0; run < 3; ++run) {
    platform::regfile::File file;
    auto start = std::chrono::steady_clock::now();
    if (!file.Parse(text)) std::abort();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (s < best) best = s;
    if (s > 5) break;  // one run is enough for a slow reader
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  size_t values = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 40000;
  size_t hexBytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1048576;
  std::string many = ManyValues(values);
  std::string hex = std::string(kHeader) + "\n[Software\\\\Hex] 1\n" + WrappedHex("Blob", hexBytes);
  std::string base = PrefixLike(many.size() > hex.size() ? many.size() : hex.size());

  double tBase = Time(base);
  double tMany = Time(many);
  double tHex = Time(hex);
  auto perByte = [](double t, const std::string& s) { return t / double(s.size()); };
  std::printf("prefix-like file     %8.2f MB  %9.4f s  (baseline)\n", base.size() / 1e6, tBase);
  std::printf("%zu values, one key %8.2f MB  %9.4f s  per-byte ratio to baseline %.2f\n", values,
              many.size() / 1e6, tMany, perByte(tMany, many) / perByte(tBase, base));
  std::printf("%zu-byte wrapped hex %7.2f MB  %9.4f s  per-byte ratio to baseline %.2f\n", hexBytes,
              hex.size() / 1e6, tHex, perByte(tHex, hex) / perByte(tBase, base));
  return 0;
}
