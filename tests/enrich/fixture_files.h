// The fixture executables that the build makes (tests/fixtures), as the
// system under test sees them, and a few helpers to put them in place.
#pragma once

#include <string>

namespace fixtures {

// Windows path of a fixture in the build's fixtures folder (drive Z: is the
// host's root folder on both backends).
std::u16string Path(const char* name);
// Host path of the same file, for tests that read the bytes directly.
std::string HostPath(const char* name);
bool Exists(const char* name);
// Reads a fixture's bytes; false when it cannot be read.
bool ReadBytes(const char* name, std::string* bytes);
// Copies a fixture to a Windows path of the system under test, creating
// the folders on the way.
bool Install(const char* name, const std::u16string& destination);
// The system's Windows folder and its System32 folder.
std::u16string WindowsFolder();
std::u16string System32Folder();

// A PE32+ (64-bit) image with the same sections and resources as the given
// 32-bit image; empty when the image cannot be converted.
std::string ToPe32Plus(const std::string& pe32);

}  // namespace fixtures
