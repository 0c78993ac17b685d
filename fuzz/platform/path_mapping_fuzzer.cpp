// The image's path mapping and the UTF-8 conversion under it, on arbitrary
// text. UTF-16 to UTF-8 and back gives the text with only its unpaired
// surrogates replaced by U+FFFD; UTF-8 to UTF-16 is stable after one round;
// a C: path maps inside the image's drive_c, with no "." or ".." left and no
// empty component, whatever it spells.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/support/scratch_image.h"

namespace {

const char kTarget[] = "path_mapping";
std::string g_driveC;

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::u16string WithoutLoneSurrogates(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
      out += text.substr(i, 2);
      ++i;
    } else {
      out.push_back(IsHigh(text[i]) || IsLow(text[i]) ? char16_t(0xFFFD) : text[i]);
    }
  }
  return out;
}

void Require(bool condition, const char* what) {
  if (!condition) fuzzimage::Fail(kTarget, what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzimage::Create(kTarget);
  char real[4096];
  if (realpath((fuzzimage::Folder() + "/drive_c").c_str(), real) == nullptr)
    fuzzimage::Fail(kTarget, "no drive_c");
  g_driveC = real;
  platform::CreateDirectoryW(u"C:\\Mixed Case", nullptr);
  platform::CreateDirectoryW(u"C:\\Mixed Case\\\x4E2D\x6587", nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  // The bytes as UTF-8, both ways.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string decoded = wtext::FromUtf8(bytes);
  Require(wtext::FromUtf8(wtext::ToUtf8(decoded)) == WithoutLoneSurrogates(decoded),
          "UTF-8 is not stable after one round");

  // The bytes as UTF-16, both ways.
  const std::u16string units = fuzzimage::Units(data, size);
  Require(wtext::FromUtf8(wtext::ToUtf8(units)) == WithoutLoneSurrogates(units),
          "UTF-16 to UTF-8 and back changed more than unpaired surrogates");

  // The text as a path of drive C: (up to its first NUL).
  const std::u16string path = u"C:\\" + std::u16string(units.c_str());
  const std::string host = platform::image::HostPath(path.c_str());
  Require(host.compare(0, g_driveC.size(), g_driveC) == 0 &&
              (host.size() == g_driveC.size() || host[g_driveC.size()] == '/'),
          "a C: path maps outside drive_c");
  size_t start = g_driveC.size();
  while (start < host.size()) {
    const size_t end = host.find('/', start + 1);
    const std::string part = host.substr(start + 1, (end == std::string::npos ? host.size() : end) - start - 1);
    Require(!part.empty() && part != "." && part != "..", "an empty, . or .. component");
    start = end == std::string::npos ? host.size() : end;
  }
  return 0;
}
