// The SHA-256 of an item's program file, for --hash. On Linux the Windows
// path is looked up in the system image (its drive folders, each component
// matched ignoring case, as Windows would find it).
#pragma once

#include <string>

namespace host {

// Lower-case hex digest; empty when the file cannot be found or read.
std::string Sha256OfProgram(const std::string& windowsPath);

// The digest of bytes already in memory (FIPS 180-4).
std::string Sha256Hex(const std::string& bytes);

}  // namespace host
