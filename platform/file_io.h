// Whole-file reads and writes over the platform's file operations
// (CreateFileW, GetFileSize, ReadFile, WriteFile), so that every file the
// module reads or writes goes through the same layer on both targets, fault
// injection included.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The whole file at path into bytes. False, with the last error set, when it
// cannot be opened or read or holds more than maxBytes.
bool ReadWholeFile(const char16_t* path, size_t maxBytes, std::string* bytes);

// Creates or truncates the file at path and writes size bytes. False, with
// the last error set, when it cannot be created or not every byte was written.
bool WriteWholeFile(const char16_t* path, const void* data, size_t size);

// Replaces the file at path with size bytes, whole or not at all: the bytes
// go to a new file beside it (created, never opened through an existing
// name), which is then renamed over path. A symbolic link at path is
// replaced, not followed. False, with the last error set and path as it
// was, when any step fails; the new file is removed then.
bool ReplaceWholeFile(const char16_t* path, const void* data, size_t size);

}  // namespace platform
