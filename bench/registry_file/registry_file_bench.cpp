// Parse time of Wine registry files, as ratios from one run. Each shape (a
// prefix-like file of many small sections, one key of many values, one long
// wrapped hex value, many sibling keys out of order, deep nesting) is read
// whole at a size and at ten times that size: a reader linear in the file's
// bytes gives a per-byte ratio near 1; so does a lazy reading that looks up
// the keys a check reads. Then that lazy reading of a prefix-like file
// against reading it whole.
//
//   registry_file_bench [scale]   (1: the smaller files are about 0.3 MB)
//   RUNVANE_BENCH_PROFILE=N registry_file_bench   reads the prefix-like
//   system.reg lazily N times, for perf record; no ratios.
//   RUNVANE_BENCH_SYSTEM_REG=<file>   a real system.reg instead of it.
//
// The allocator keeps what it was given (no trimming), so
// the larger file does not pay the kernel's page faults anew on every run:
// the ratios are the reader's, not the allocator's.
#include <malloc.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "bench/registry_file/prefix_like.h"
#include "platform/linux/registry_file.h"

namespace {

using platform::regfile::File;
using platform::regfile::KeyPath;
using prefixlike::kHeader;

std::string ManyValues(size_t values) {
  std::string text = std::string(kHeader) + "\n[Software\\\\Many] 1\n";
  char buffer[64];
  for (size_t i = 0; i < values; ++i) {
    std::snprintf(buffer, sizeof buffer, "\"value %zu\"=dword:%08zx\n", i, i);
    text += buffer;
  }
  return text;
}

std::string LongHex(size_t bytes) {
  return std::string(kHeader) + "\n[Software\\\\Hex] 1\n" + prefixlike::WrappedHex("Blob", bytes);
}

// Sibling keys last name first: each new key sorts before all the others.
std::string ReversedKeys(size_t keys) {
  std::string text = kHeader;
  char buffer[96];
  for (size_t i = keys; i-- > 0;) {
    std::snprintf(buffer, sizeof buffer, "\n[Software\\\\Reversed\\\\Key%08zu] 1\n\"v\"=dword:1\n", i);
    text += buffer;
  }
  return text;
}

// One chain of keys, each a section below the one before; the sections of
// depth d name d keys, so the text grows with the square of the depth.
std::string Deep(size_t depth) {
  std::string text = kHeader;
  std::string path = "Deep";
  for (size_t d = 0; d < depth; ++d) {
    text += "\n[" + path + "] 1\n\"v\"=\"x\"\n";
    path += "\\\\K";
  }
  return text;
}

// The thread's processor time: on a shared machine a long run is preempted
// more often than a short one, and wall time would count the other
// programs' turns against it.
double Now() {
  struct timespec t = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

const KeyPath kWanted[] = {
    {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run"},
    {u"Software", u"Microsoft", u"Windows", u"CurrentVersion"},
    {u"System", u"CurrentControlSet", u"Control", u"Session Manager", u"Environment"},
};

// Seconds to read a text (handed over, as the store hands over what it
// read) and, lazily, to find the keys a check reads; the copy before and
// the freeing after are not counted.
double Read(const std::string& text, bool lazily) {
  std::string copy = text;
  File file;
  const double start = Now();
  if (!file.Parse(std::move(copy), lazily)) std::abort();
  if (lazily)
    for (const KeyPath& path : kWanted) file.Find(path);
  return Now() - start;
}

// The best times of two readings, their runs alternating so that a shared
// machine's load falls on both alike.
void BestOfBoth(const std::function<double()>& a, const std::function<double()>& b, double* ta, double* tb) {
  *ta = *tb = 1e30;
  for (int run = 0; run < 9; ++run) {
    *ta = std::min(*ta, a());
    *tb = std::min(*tb, b());
    if (*ta + *tb > 5) break;  // a slow reader: one run tells enough
  }
}

// Time per byte at ten times the size against the size, read whole and
// read as a check reads it (lazily, a check's keys looked up).
void Linearity(const char* shape, std::string (*make)(size_t), size_t n, size_t n10) {
  const std::string small = make(n), large = make(n10);
  double ratio[2];
  for (bool lazily : {false, true}) {
    double tSmall = 0, tLarge = 0;
    BestOfBoth([&] { return Read(small, lazily); }, [&] { return Read(large, lazily); }, &tSmall, &tLarge);
    ratio[lazily] = (tLarge / double(large.size())) / (tSmall / double(small.size()));
  }
  std::printf("  %-34s %6.2f MB / %6.2f MB   per-byte ratio %5.2f   %5.2f\n", shape, small.size() / 1e6,
              large.size() / 1e6, ratio[0], ratio[1]);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t scale = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1;
  if (scale < 1) {
    std::fprintf(stderr, "usage: registry_file_bench [scale]\n");
    return 2;
  }
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // large blocks from the heap too, kept
  std::string prefix = prefixlike::SystemReg(1700000);
  if (const char* real = std::getenv("RUNVANE_BENCH_SYSTEM_REG")) {
    std::ifstream in(real, std::ios::binary);
    prefix.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (const char* profile = std::getenv("RUNVANE_BENCH_PROFILE")) {
    for (long i = std::atol(profile); i > 0; --i) Read(prefix, true);
    return 0;
  }

  std::printf("ten times the bytes against the bytes (linear: 1), read whole / as a check reads it\n");
  Linearity("prefix-like file", prefixlike::SystemReg, scale * 300000, scale * 3000000);
  Linearity("values in one key", ManyValues, scale * 10000, scale * 100000);
  Linearity("one wrapped hex value", LongHex, scale * 100000, scale * 1000000);
  Linearity("sibling keys, reverse order", ReversedKeys, scale * 5000, scale * 50000);
  Linearity("nested keys", Deep, scale * 120, size_t(scale * 120 * 3.1623));

  // A check reads a few keys of a prefix's system.reg.
  double whole = 0, lazy = 0;
  BestOfBoth([&] { return Read(prefix, false); }, [&] { return Read(prefix, true); }, &whole, &lazy);
  std::printf("%s system.reg (%.2f MB): reading three keys lazily %.3f x reading it whole\n",
              std::getenv("RUNVANE_BENCH_SYSTEM_REG") != nullptr ? "given" : "prefix-like", prefix.size() / 1e6, lazy / whole);
  return 0;
}
