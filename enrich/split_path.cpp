#include "enrich/split_path.h"

#include <cstring>

namespace {

struct Part {
  char16_t* buffer;
  size_t units;
  const char16_t* begin;
  size_t length;
};

void Empty(Part* parts, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (parts[i].buffer != nullptr && parts[i].units > 0) parts[i].buffer[0] = 0;
}

}  // namespace

bool SplitPath(const char16_t* path, char16_t* drive, size_t driveUnits, char16_t* dir,
               size_t dirUnits, char16_t* fname, size_t fnameUnits, char16_t* ext,
               size_t extUnits) {
  Part parts[4] = {{drive, driveUnits, nullptr, 0},
                   {dir, dirUnits, nullptr, 0},
                   {fname, fnameUnits, nullptr, 0},
                   {ext, extUnits, nullptr, 0}};
  if (path == nullptr) {
    Empty(parts, 4);
    return false;
  }

  const char16_t* rest = path;
  if (rest[0] != 0 && rest[1] == u':') {
    parts[0].begin = rest;
    parts[0].length = 2;
    rest += 2;
  }

  // The last separator ends the directory; the last dot after it starts the
  // extension. A dot inside the directory part is not an extension.
  const char16_t* afterSlash = nullptr;
  const char16_t* dot = nullptr;
  const char16_t* end = rest;
  for (; *end != 0; ++end) {
    if (*end == u'\\' || *end == u'/')
      afterSlash = end + 1;
    else if (*end == u'.')
      dot = end;
  }
  if (afterSlash != nullptr) {
    parts[1].begin = rest;
    parts[1].length = static_cast<size_t>(afterSlash - rest);
    rest = afterSlash;
  }
  if (dot != nullptr && dot >= rest) {
    parts[2].begin = rest;
    parts[2].length = static_cast<size_t>(dot - rest);
    parts[3].begin = dot;
    parts[3].length = static_cast<size_t>(end - dot);
  } else {
    parts[2].begin = rest;
    parts[2].length = static_cast<size_t>(end - rest);
  }

  for (const Part& part : parts) {
    if (part.buffer == nullptr) continue;
    if (part.units == 0 || part.length >= part.units) {
      Empty(parts, 4);
      return false;
    }
  }
  for (const Part& part : parts) {
    if (part.buffer == nullptr) continue;
    if (part.length > 0) std::memcpy(part.buffer, part.begin, part.length * sizeof(char16_t));
    part.buffer[part.length] = 0;
  }
  return true;
}
