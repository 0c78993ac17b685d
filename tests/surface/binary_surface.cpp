#include "tests/surface/binary_surface.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace surface {
namespace {

// Little-endian reads that refuse to leave the file.
class Bytes {
 public:
  explicit Bytes(const std::string& data) : data_(data) {}
  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }
  uint64_t Read(uint64_t offset, int width, bool* ok) const {
    if (!Has(offset, static_cast<uint64_t>(width))) {
      *ok = false;
      return 0;
    }
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
      value = (value << 8) | static_cast<uint8_t>(data_[offset + static_cast<uint64_t>(i)]);
    return value;
  }
  // A zero-terminated ASCII text that ends inside the file.
  bool Text(uint64_t offset, std::string* out) const {
    if (offset >= data_.size()) return false;
    size_t end = data_.find('\0', static_cast<size_t>(offset));
    if (end == std::string::npos) return false;
    *out = data_.substr(static_cast<size_t>(offset), end - static_cast<size_t>(offset));
    return true;
  }

 private:
  const std::string& data_;
};

struct PeSection {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

bool RvaToOffset(const std::vector<PeSection>& sections, uint32_t rva, uint64_t* offset) {
  for (const PeSection& s : sections) {
    uint32_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
      uint32_t delta = rva - s.virtualAddress;
      if (delta >= s.rawSize) return false;  // not backed by the file
      *offset = static_cast<uint64_t>(s.rawOffset) + delta;
      return true;
    }
  }
  return false;
}

}  // namespace

PeSurface ReadPeSurface(const std::string& data) {
  PeSurface out;
  Bytes file(data);
  bool ok = true;
  auto fail = [&out](const std::string& why) {
    out.ok = false;
    out.error = why;
    return out;
  };
  if (file.Read(0, 2, &ok) != 0x5A4D || !ok) return fail("no MZ header");
  const uint64_t pe = file.Read(0x3C, 4, &ok);
  if (!ok || file.Read(pe, 4, &ok) != 0x00004550 || !ok) return fail("no PE signature");
  const uint64_t coff = pe + 4;
  const uint64_t sectionCount = file.Read(coff + 2, 2, &ok);
  const uint64_t optionalSize = file.Read(coff + 16, 2, &ok);
  const uint64_t optional = coff + 20;
  const uint64_t magic = file.Read(optional, 2, &ok);
  if (!ok) return fail("truncated COFF header");
  uint64_t directoryCountAt = 0;
  if (magic == 0x10B)
    directoryCountAt = optional + 92;
  else if (magic == 0x20B)
    directoryCountAt = optional + 108;
  else
    return fail("unknown optional header");
  const uint64_t directoryCount = file.Read(directoryCountAt, 4, &ok);
  const uint64_t directories = directoryCountAt + 4;
  auto directory = [&](uint64_t index, uint32_t* rva, uint32_t* size) {
    *rva = 0;
    *size = 0;
    if (index >= directoryCount) return;
    *rva = static_cast<uint32_t>(file.Read(directories + index * 8, 4, &ok));
    *size = static_cast<uint32_t>(file.Read(directories + index * 8 + 4, 4, &ok));
  };

  std::vector<PeSection> sections;
  const uint64_t table = optional + optionalSize;
  for (uint64_t i = 0; i < sectionCount; ++i) {
    const uint64_t at = table + i * 40;
    PeSection s;
    s.virtualSize = static_cast<uint32_t>(file.Read(at + 8, 4, &ok));
    s.virtualAddress = static_cast<uint32_t>(file.Read(at + 12, 4, &ok));
    s.rawSize = static_cast<uint32_t>(file.Read(at + 16, 4, &ok));
    s.rawOffset = static_cast<uint32_t>(file.Read(at + 20, 4, &ok));
    sections.push_back(s);
  }
  if (!ok) return fail("truncated section table");

  uint32_t rva = 0, size = 0;
  uint64_t at = 0;
  directory(0, &rva, &size);
  if (rva != 0) {
    if (!RvaToOffset(sections, rva, &at)) return fail("export directory outside the file");
    out.exportedFunctions = static_cast<unsigned>(file.Read(at + 20, 4, &ok));
    const uint64_t nameCount = file.Read(at + 24, 4, &ok);
    const uint32_t namesRva = static_cast<uint32_t>(file.Read(at + 32, 4, &ok));
    if (!ok) return fail("truncated export directory");
    uint64_t names = 0;
    if (nameCount > 0 && !RvaToOffset(sections, namesRva, &names))
      return fail("export name table outside the file");
    for (uint64_t i = 0; i < nameCount; ++i) {
      uint32_t nameRva = static_cast<uint32_t>(file.Read(names + i * 4, 4, &ok));
      uint64_t nameAt = 0;
      std::string name;
      if (!ok || !RvaToOffset(sections, nameRva, &nameAt) || !file.Text(nameAt, &name))
        return fail("bad export name");
      out.exports.push_back(name);
    }
  }

  // Ordinary imports: 20-byte descriptors up to an all-zero one.
  directory(1, &rva, &size);
  if (rva != 0) {
    if (!RvaToOffset(sections, rva, &at)) return fail("import directory outside the file");
    for (uint64_t d = at;; d += 20) {
      const uint32_t lookup = static_cast<uint32_t>(file.Read(d, 4, &ok));
      const uint32_t nameRva = static_cast<uint32_t>(file.Read(d + 12, 4, &ok));
      const uint32_t thunks = static_cast<uint32_t>(file.Read(d + 16, 4, &ok));
      if (!ok) return fail("truncated import directory");
      if (lookup == 0 && nameRva == 0 && thunks == 0) break;
      uint64_t nameAt = 0;
      std::string name;
      if (!RvaToOffset(sections, nameRva, &nameAt) || !file.Text(nameAt, &name))
        return fail("bad import name");
      out.imports.push_back(name);
    }
  }

  // Delay-loaded imports: 32-byte descriptors up to an all-zero one.
  directory(13, &rva, &size);
  if (rva != 0) {
    if (!RvaToOffset(sections, rva, &at)) return fail("delay-import directory outside the file");
    for (uint64_t d = at;; d += 32) {
      const uint32_t attributes = static_cast<uint32_t>(file.Read(d, 4, &ok));
      const uint32_t nameRva = static_cast<uint32_t>(file.Read(d + 4, 4, &ok));
      if (!ok) return fail("truncated delay-import directory");
      if (attributes == 0 && nameRva == 0) break;
      uint64_t nameAt = 0;
      std::string name;
      if (!RvaToOffset(sections, nameRva, &nameAt) || !file.Text(nameAt, &name))
        return fail("bad delay-import name");
      out.imports.push_back(name);
    }
  }
  out.ok = true;
  return out;
}

ElfSurface ReadElfSurface(const std::string& data) {
  ElfSurface out;
  Bytes file(data);
  bool ok = true;
  auto fail = [&out](const std::string& why) {
    out.ok = false;
    out.error = why;
    return out;
  };
  if (data.size() < 16 || data.compare(0, 4, "\x7f" "ELF") != 0) return fail("no ELF header");
  const bool is64 = data[4] == 2;
  if (data[4] != 1 && data[4] != 2) return fail("unknown ELF class");
  if (data[5] != 1) return fail("not little-endian");

  const int word = is64 ? 8 : 4;
  const uint64_t shoff = file.Read(is64 ? 0x28 : 0x20, word, &ok);
  const uint64_t shentsize = file.Read(is64 ? 0x3A : 0x2E, 2, &ok);
  const uint64_t shnum = file.Read(is64 ? 0x3C : 0x30, 2, &ok);
  if (!ok || shentsize < static_cast<uint64_t>(is64 ? 64 : 40)) return fail("bad section headers");

  struct Section {
    uint32_t type;
    uint64_t offset, size, entsize;
    uint32_t link;
  };
  std::vector<Section> sections;
  for (uint64_t i = 0; i < shnum; ++i) {
    const uint64_t at = shoff + i * shentsize;
    Section s;
    s.type = static_cast<uint32_t>(file.Read(at + 4, 4, &ok));
    s.offset = file.Read(at + (is64 ? 24 : 16), word, &ok);
    s.size = file.Read(at + (is64 ? 32 : 20), word, &ok);
    s.link = static_cast<uint32_t>(file.Read(at + (is64 ? 40 : 24), 4, &ok));
    s.entsize = file.Read(at + (is64 ? 56 : 36), word, &ok);
    sections.push_back(s);
  }
  if (!ok) return fail("truncated section headers");

  constexpr uint32_t kDynamic = 6, kDynsym = 11;
  bool sawDynsym = false;
  for (const Section& s : sections) {
    if (s.type != kDynsym && s.type != kDynamic) continue;
    if (s.link >= sections.size() || !file.Has(s.offset, s.size)) return fail("bad section");
    const Section& strings = sections[s.link];
    if (!file.Has(strings.offset, strings.size)) return fail("bad string table");
    auto text = [&](uint64_t index, std::string* name) {
      return index < strings.size && file.Text(strings.offset + index, name);
    };
    if (s.type == kDynsym) {
      sawDynsym = true;
      const uint64_t entry = is64 ? 24 : 16;
      for (uint64_t at = s.offset; at + entry <= s.offset + s.size; at += entry) {
        const uint64_t nameIndex = file.Read(at, 4, &ok);
        const uint64_t info = file.Read(at + (is64 ? 4 : 12), 1, &ok);
        const uint64_t other = file.Read(at + (is64 ? 5 : 13), 1, &ok);
        const uint64_t shndx = file.Read(at + (is64 ? 6 : 14), 2, &ok);
        const uint64_t binding = info >> 4, visibility = other & 3;
        const bool bindable = binding == 1 || binding == 2 || binding == 10;
        const bool visible = visibility == 0 || visibility == 3;
        if (shndx == 0 || !bindable || !visible) continue;
        std::string name;
        if (!text(nameIndex, &name)) return fail("bad symbol name");
        out.exports.push_back(name);
      }
    } else {
      const uint64_t entry = is64 ? 16 : 8;
      for (uint64_t at = s.offset; at + entry <= s.offset + s.size; at += entry) {
        const uint64_t tag = file.Read(at, word, &ok);
        const uint64_t value = file.Read(at + static_cast<uint64_t>(word), word, &ok);
        if (tag == 0) break;
        if (tag != 1) continue;  // DT_NEEDED
        std::string name;
        if (!text(value, &name)) return fail("bad needed-library name");
        out.needed.push_back(name);
      }
    }
    if (!ok) return fail("truncated dynamic section");
  }
  if (!sawDynsym) return fail("no dynamic symbol table");
  out.ok = true;
  return out;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace surface
