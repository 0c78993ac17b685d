#include "platform/file_compare.h"

#include <cstring>

#include "platform/handles.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr DWORD kChunk = 4096;

enum class Opened { kOk, kMissing, kFailed };

HANDLE OpenForReading(const char16_t* path, Opened* state) {
  HANDLE handle = platform::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    DWORD error = platform::GetLastError();
    *state = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? Opened::kMissing
                                                                              : Opened::kFailed;
    return INVALID_HANDLE_VALUE;
  }
  *state = Opened::kOk;
  return handle;
}

// Fills up to kChunk bytes; fewer only at the end of the file, so that two
// files can be compared chunk by chunk.
bool Fill(HANDLE file, char* buffer, DWORD* got) {
  *got = 0;
  while (*got < kChunk) {
    DWORD count = 0;
    if (!platform::ReadFile(file, buffer + *got, kChunk - *got, &count, nullptr)) return false;
    if (count == 0) break;
    *got += count;
  }
  return true;
}

}  // namespace

TargetState CompareMoveTarget(const char16_t* source, const char16_t* target) {
  Opened state;
  ScopedFile existing(OpenForReading(target, &state));
  if (state == Opened::kMissing) return TargetState::kAbsent;
  if (state == Opened::kFailed) return TargetState::kDifferent;
  ScopedFile moving(OpenForReading(source, &state));
  if (state != Opened::kOk) return TargetState::kDifferent;
  char a[kChunk];
  char b[kChunk];
  for (;;) {
    DWORD gotA = 0, gotB = 0;
    if (!Fill(existing.get(), a, &gotA) || !Fill(moving.get(), b, &gotB)) return TargetState::kDifferent;
    if (gotA != gotB || std::memcmp(a, b, gotA) != 0) return TargetState::kDifferent;
    if (gotA < kChunk) return TargetState::kIdentical;
  }
}

bool IsSameFile(const char16_t* a, const char16_t* b) {
  Opened state;
  ScopedFile first(OpenForReading(a, &state));
  if (state != Opened::kOk) return false;
  ScopedFile second(OpenForReading(b, &state));
  if (state != Opened::kOk) return false;
  ByHandleFileInformation x = {}, y = {};
  if (!platform::GetFileInformationByHandle(first.get(), &x) ||
      !platform::GetFileInformationByHandle(second.get(), &y))
    return false;
  return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace platform
