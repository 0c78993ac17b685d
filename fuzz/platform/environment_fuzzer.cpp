// Environment expansion over the image's environment, with variables the
// input defines in HKCU\Environment: never a unit past the buffer, a result
// that fits is terminated and one unit longer than the text, a buffer of
// exactly the size asked for gives the same text as a large one, text
// without '%' is itself, and a defined variable between plain text expands
// to its value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/support/scratch_image.h"

namespace {

const char kTarget[] = "environment";
constexpr char16_t kGuard = 0xA5A5;

void Require(bool condition, const char* what) {
  if (!condition) fuzzimage::Fail(kTarget, what);
}

// Expands into a buffer of `size` units followed by guards; the answer, and
// the text when it fit.
DWORD Expand(const std::u16string& source, DWORD size, std::u16string* text) {
  std::vector<char16_t> buffer(size + 8, kGuard);
  DWORD answer = platform::ExpandEnvironmentStringsW(source.c_str(), buffer.data(), size);
  for (size_t i = size; i < buffer.size(); ++i) Require(buffer[i] == kGuard, "wrote past the buffer");
  text->clear();
  if (answer != 0 && answer <= size) {
    Require(buffer[answer - 1] == 0, "a result that fits is not terminated there");
    *text = std::u16string(buffer.data());
    Require(text->size() + 1 == answer, "the answer is not the text's length and terminator");
  }
  return answer;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzimage::Create(kTarget);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 4096) return 0;
  // Units separated by U+0000: a buffer size, the value of FZ0, of FZ1, then
  // the text to expand.
  const std::u16string units = fuzzimage::Units(data, size);
  std::vector<std::u16string> parts(1);
  for (char16_t c : units) {
    if (c == 0 && parts.size() < 4) parts.emplace_back();
    else if (c != 0) parts.back().push_back(c);
  }
  parts.resize(4);
  const DWORD small = parts[0].empty() ? 0 : parts[0][0] % 300;

  platform::SHDeleteKeyW(HKEY_CURRENT_USER, u"Environment");
  HKEY key = nullptr;
  if (platform::RegCreateKeyExW(HKEY_CURRENT_USER, u"Environment", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr) != ERROR_SUCCESS)
    fuzzimage::Fail(kTarget, "no Environment key");
  for (int i = 0; i < 2; ++i) {
    const std::u16string name = u"FZ" + wtext::FromInt(i);
    const std::u16string& value = parts[1 + i];
    platform::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             DWORD((value.size() + 1) * sizeof(char16_t)));
  }
  platform::RegCloseKey(key);

  const std::u16string& source = parts[3];
  std::u16string whole, fitted, cut;
  const DWORD needed = Expand(source, 70000, &whole);
  Require(needed != 0 && needed <= 70000, "a large buffer was not enough");
  Require(Expand(source, needed, &fitted) == needed && fitted == whole,
          "the size asked for does not give the same text");
  Expand(source, small, &cut);
  if (source.find(u'%') == std::u16string::npos) Require(whole == source, "plain text changed");

  // A variable between plain text.
  const std::u16string& value = parts[1];
  if (source.find(u'%') == std::u16string::npos && value.find(u'%') == std::u16string::npos) {
    const std::u16string framed = source + u"%fz0%" + source;
    std::u16string expanded;
    Expand(framed, 70000, &expanded);
    Require(expanded == source + value + source, "a defined variable did not expand to its value");
  }
  return 0;
}
