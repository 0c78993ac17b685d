// Registry-file text shaped like the system.reg a fresh Wine prefix holds:
// thousands of small sections in Wine's order (class registrations, the
// software tree, a control set with CurrentControlSet linked to it), string
// values with paths, dwords and wrapped hex.
#pragma once

#include <cstddef>
#include <string>

namespace prefixlike {

extern const char kHeader[];

// A REG_BINARY value as Wine writes it (wrapped), with its line end.
std::string WrappedHex(const char* name, size_t bytes);

// A whole file of about targetBytes (never less).
std::string SystemReg(size_t targetBytes);

// Sections only (no header), to add to an existing file of the machine.
std::string Sections(size_t targetBytes);

}  // namespace prefixlike
