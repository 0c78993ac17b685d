// Readers of the dynamic surface of a built module, written against the
// file formats themselves so that the test depends on no tool: the export
// and import tables of a PE file, the dynamic symbols and needed libraries
// of an ELF shared object.
#pragma once

#include <string>
#include <vector>

namespace surface {

struct PeSurface {
  bool ok = false;
  std::string error;                 // why the file was refused
  std::vector<std::string> exports;  // exported names
  unsigned exportedFunctions = 0;    // entries of the address table
  std::vector<std::string> imports;  // DLL names, ordinary and delay-loaded
};

struct ElfSurface {
  bool ok = false;
  std::string error;
  // Defined symbols that another object can bind to (global, weak or unique
  // binding; default or protected visibility).
  std::vector<std::string> exports;
  std::vector<std::string> needed;  // DT_NEEDED libraries
};

PeSurface ReadPeSurface(const std::string& bytes);
ElfSurface ReadElfSurface(const std::string& bytes);

// Whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace surface
