// A throw-away system image for a fuzz target: made once when the fuzzer
// starts, current for every platform operation, removed when it exits. The
// module's own path is C:\runvane\runvane.dll inside it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace fuzzimage {

inline std::string& Folder() {
  static std::string folder;
  return folder;
}

[[noreturn]] inline void Fail(const char* target, const std::string& why) {
  std::fprintf(stderr, "%s fuzzer: %s\n", target, why.c_str());
  std::abort();
}

inline void Create(const char* target) {
  char folder[] = "/tmp/runvane-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) Fail(target, "no temporary folder");
  Folder() = folder;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(Folder(), ignored);
  });
  if (!platform::image::CreateImage(folder)) Fail(target, "no system image");
  platform::image::SetRoot(folder);
  platform::SetModuleFileNameForTesting(u"C:\\runvane\\runvane.dll");
  platform::CreateDirectoryW(u"C:\\runvane", nullptr);
}

// Bytes as UTF-16 units, two bytes each (little-endian); an odd last byte is
// one unit of its own.
inline std::u16string Units(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  if (size % 2 != 0) text.push_back(static_cast<char16_t>(data[size - 1]));
  return text;
}

// Writes a file of the image by its Windows path; false on failure.
inline bool WriteImageFile(const char16_t* windowsPath, const void* data, size_t size) {
  HANDLE file = platform::CreateFileW(windowsPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = size == 0 || (platform::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) &&
                          written == size);
  platform::CloseHandle(file);
  return ok;
}

}  // namespace fuzzimage
