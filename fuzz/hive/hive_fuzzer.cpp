// Damaged hives fed to the hive store as an offline volume's SOFTWARE: the
// whole tree is walked through the registry operations, then one key is
// made. Whatever the bytes, nothing crashes or overruns, a hive that is
// read is walked to its end, and a change that is reported written is read
// back from the file.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/linux/system_image.h"
#include "platform/platform.h"

namespace {

std::string Volume() {
  static std::string root;
  if (root.empty()) {
    char pattern[] = "/tmp/runvane-hive-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    root = pattern;
    std::string folder = root;
    for (const char* part : {"/Windows", "/System32", "/config"}) {
      folder += part;
      mkdir(folder.c_str(), 0755);
    }
  }
  return root;
}

// Walks every key below root (bounded, without recursion); the number seen.
size_t Walk(HKEY root) {
  std::vector<std::u16string> pending{u""};
  size_t seen = 0;
  while (!pending.empty() && seen < 20000) {
    std::u16string path = pending.back();
    pending.pop_back();
    platform::ScopedKey key;
    if (platform::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) continue;
    ++seen;
    for (DWORD i = 0;; ++i) {
      char16_t name[256];
      DWORD length = 256;
      if (platform::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      pending.push_back(path.empty() ? std::u16string(name) : path + u"\\" + name);
    }
    for (DWORD i = 0;; ++i) {
      char16_t name[16384];
      DWORD length = 16384;
      BYTE data[256];
      DWORD size = sizeof data;
      LONG r = platform::RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, data, &size);
      if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) break;
    }
  }
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string root = Volume();
  std::string hive = root + "/Windows/System32/config/SOFTWARE";
  FILE* f = std::fopen(hive.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
  platform::image::SetRoot(root);  // a new image: nothing kept from the last input

  Walk(HKEY_LOCAL_MACHINE);
  platform::ScopedKey made;
  LONG r = platform::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Fuzzed", 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, made.receive(), nullptr);
  if (r == ERROR_SUCCESS) {
    platform::image::SetRoot(root);  // read the written file again
    platform::ScopedKey again;
    if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Fuzzed", 0, KEY_READ, again.receive()) !=
        ERROR_SUCCESS) {
      std::fprintf(stderr, "oracle: a key reported made is not in the written hive\n");
      abort();
    }
  }
  return 0;
}
