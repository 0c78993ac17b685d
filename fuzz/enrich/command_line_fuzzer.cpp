// Arbitrary UTF-16 text as a command line and as a path. The program behind
// a command line and the quoted text must stay inside their 260-unit buffers,
// terminated; a split must either give parts that put together are the
// whole path, or (when a part does not fit) empty every wanted buffer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "enrich/resolve_command_line.h"
#include "enrich/split_path.h"
#include "fuzz/support/scratch_image.h"

namespace {

const char kTarget[] = "command_line";
constexpr size_t kUnits = 260;
constexpr char16_t kGuard = 0xA5A5;

// A buffer of `units` with guard units after it.
struct Guarded {
  explicit Guarded(size_t units) : units(units), buffer(units + 8, kGuard) {}
  char16_t* data() { return &buffer[0]; }
  bool Intact() const {
    for (size_t i = units; i < buffer.size(); ++i)
      if (buffer[i] != kGuard) return false;
    return true;
  }
  bool Terminated() const {
    for (size_t i = 0; i < units; ++i)
      if (buffer[i] == 0) return true;
    return false;
  }
  std::u16string Text() const { return std::u16string(buffer.data()); }
  size_t units;
  std::u16string buffer;
};

void Require(bool condition, const char* what) {
  if (!condition) fuzzimage::Fail(kTarget, what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzimage::Create(kTarget);
  platform::CreateDirectoryW(u"C:\\Program Files", nullptr);
  platform::CreateDirectoryW(u"C:\\Program Files\\Tool", nullptr);
  fuzzimage::WriteImageFile(u"C:\\Program Files\\Tool\\tool.exe", "MZ", 2);
  fuzzimage::WriteImageFile(u"C:\\windows\\system32\\found.exe", "MZ", 2);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 4096) return 0;
  // Four bytes choose the split's buffer sizes; the rest is the text.
  const size_t sizes[4] = {1u + data[0] % 4, 1u + data[1] * 2u, 1u + data[2], 1u + data[3] % 16};
  std::u16string text = fuzzimage::Units(data + 4, size - 4);
  text = text.c_str();  // up to the first NUL, as the callers pass it

  Guarded resolved(kUnits);
  std::fill(resolved.buffer.begin(), resolved.buffer.begin() + kUnits, 0);
  ResolveCommandLine(text.c_str(), resolved.data());
  Require(resolved.Intact() && resolved.Terminated(), "program path overran its buffer");

  Guarded quoted(kUnits);
  std::fill(quoted.buffer.begin(), quoted.buffer.begin() + kUnits, 0);
  ExtractQuotedText(text.c_str(), quoted.data());
  Require(quoted.Intact() && quoted.Terminated(), "quoted text overran its buffer");

  Guarded drive(sizes[0]), dir(sizes[1]), fname(sizes[2]), ext(sizes[3]);
  const bool split = SplitPath(text.c_str(), drive.data(), sizes[0], dir.data(), sizes[1],
                               fname.data(), sizes[2], ext.data(), sizes[3]);
  Require(drive.Intact() && dir.Intact() && fname.Intact() && ext.Intact(), "split overran a part");
  Require(drive.Terminated() && dir.Terminated() && fname.Terminated() && ext.Terminated(),
          "a split part without terminator");
  if (split) {
    Require(drive.Text() + dir.Text() + fname.Text() + ext.Text() == text,
            "the parts are not the whole path");
  } else {
    Require(drive.Text().empty() && dir.Text().empty() && fname.Text().empty() && ext.Text().empty(),
            "a failed split left a part");
  }
  return 0;
}
