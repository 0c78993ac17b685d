#include "platform/pe_version.h"

#include <cstring>

namespace pe_version {

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kOptional32 = 0x10B;
constexpr uint16_t kOptional64 = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kFileHeaderBytes = 20;
constexpr uint32_t kSectionBytes = 40;
// The system's loader refuses images with more sections than this.
constexpr uint32_t kMostSections = 96;
constexpr uint32_t kDirectoryBytes = 16;
constexpr uint32_t kEntryBytes = 8;
constexpr uint32_t kVersionType = 16;  // RT_VERSION
constexpr uint32_t kVersionId = 1;     // VS_VERSION_INFO
// The languages tried in turn before the first one listed.
constexpr uint16_t kPreferredLanguages[] = {0x0000, 0x0409, 0x0009};
constexpr uint32_t kNodeHeaderBytes = 6;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

// The parts of an image that resource lookups need.
class Image {
 public:
  explicit Image(const ByteSource& file) : file_(file) {}

  bool Open() {
    uint8_t dos[64];
    if (!file_.Read(0, dos, sizeof(dos)) || Get16(dos) != kDosMagic) return false;
    const uint64_t pe = Get32(dos + 0x3C);
    uint8_t head[4 + kFileHeaderBytes];
    if (!file_.Read(pe, head, sizeof(head)) || Get32(head) != kPeSignature) return false;
    const uint32_t sectionCount = Get16(head + 4 + 2);
    const uint32_t optionalBytes = Get16(head + 4 + 16);
    if (sectionCount == 0 || sectionCount > kMostSections) return false;

    const uint64_t optional = pe + sizeof(head);
    uint8_t magic[2];
    if (!file_.Read(optional, magic, sizeof(magic))) return false;
    uint32_t countAt, directoriesAt;
    if (Get16(magic) == kOptional32) {
      countAt = 92;
      directoriesAt = 96;
    } else if (Get16(magic) == kOptional64) {
      countAt = 108;
      directoriesAt = 112;
    } else {
      return false;
    }
    const uint32_t resourceAt = directoriesAt + kResourceDirectoryIndex * 8;
    if (resourceAt + 8 > optionalBytes) return false;
    uint8_t count[4], directory[8];
    if (!file_.Read(optional + countAt, count, 4) || Get32(count) <= kResourceDirectoryIndex)
      return false;
    if (!file_.Read(optional + resourceAt, directory, 8)) return false;
    resourceRva_ = Get32(directory);
    if (Get32(directory + 4) == 0 || resourceRva_ == 0) return false;

    sectionCount_ = sectionCount;
    const uint64_t table = optional + optionalBytes;
    for (uint32_t i = 0; i < sectionCount; ++i) {
      uint8_t raw[kSectionBytes];
      if (!file_.Read(table + uint64_t{i} * kSectionBytes, raw, sizeof(raw))) return false;
      sections_[i] = Section{Get32(raw + 12), Get32(raw + 8), Get32(raw + 16), Get32(raw + 20)};
    }
    return true;
  }

  // Maps [rva, rva + n) onto the file through the section that holds it.
  bool Map(uint32_t rva, uint32_t n, uint64_t* fileOffset, uint32_t* rawBytes) const {
    for (uint32_t i = 0; i < sectionCount_; ++i) {
      const Section& s = sections_[i];
      const uint64_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
      if (rva < s.virtualAddress || uint64_t{rva} >= uint64_t{s.virtualAddress} + extent) continue;
      const uint32_t into = rva - s.virtualAddress;
      if (uint64_t{into} + n > extent) return false;
      uint32_t fromFile = 0;
      if (into < s.rawSize) {
        fromFile = s.rawSize - into;
        if (fromFile > n) fromFile = n;
      }
      const uint64_t offset = uint64_t{s.rawOffset} + into;
      if (fromFile > 0 && offset + fromFile > file_.Size()) return false;
      *fileOffset = offset;
      *rawBytes = fromFile;
      return true;
    }
    return false;
  }

  bool ReadRva(uint32_t rva, void* out, uint32_t n) const {
    uint64_t offset = 0;
    uint32_t fromFile = 0;
    if (!Map(rva, n, &offset, &fromFile)) return false;
    if (fromFile > 0 && !file_.Read(offset, out, fromFile)) return false;
    std::memset(static_cast<uint8_t*>(out) + fromFile, 0, n - fromFile);
    return true;
  }

  // Reads from the resource tree at an offset from its root.
  bool ReadTree(uint32_t offset, void* out, uint32_t n) const {
    if (offset > 0xFFFFFFFFu - resourceRva_) return false;
    return ReadRva(resourceRva_ + offset, out, n);
  }

  // The target (offset from the root) of the id entry `id` of the directory
  // at dirOffset; false when there is none.
  bool FindId(uint32_t dirOffset, uint32_t id, uint32_t* target) const {
    uint8_t dir[kDirectoryBytes];
    if (!ReadTree(dirOffset, dir, sizeof(dir))) return false;
    const uint32_t named = Get16(dir + 12);
    const uint32_t ids = Get16(dir + 14);
    for (uint32_t i = named; i < named + ids; ++i) {
      uint8_t entry[kEntryBytes];
      if (!ReadTree(dirOffset + kDirectoryBytes + i * kEntryBytes, entry, sizeof(entry))) return false;
      if (Get32(entry) == id) {
        *target = Get32(entry + 4) & 0x7FFFFFFFu;
        return true;
      }
    }
    return false;
  }

  bool FirstEntry(uint32_t dirOffset, uint32_t* target) const {
    uint8_t dir[kDirectoryBytes];
    if (!ReadTree(dirOffset, dir, sizeof(dir))) return false;
    if (Get16(dir + 12) + Get16(dir + 14) == 0) return false;
    uint8_t entry[kEntryBytes];
    if (!ReadTree(dirOffset + kDirectoryBytes, entry, sizeof(entry))) return false;
    *target = Get32(entry + 4) & 0x7FFFFFFFu;
    return true;
  }

  bool FindVersion(VersionResource* found) const {
    uint32_t names = 0, languages = 0, data = 0;
    if (!FindId(0, kVersionType, &names)) return false;
    if (!FindId(names, kVersionId, &languages)) return false;
    bool have = false;
    for (uint16_t language : kPreferredLanguages)
      if (FindId(languages, language, &data)) {
        have = true;
        break;
      }
    if (!have && !FirstEntry(languages, &data)) return false;

    uint8_t entry[16];
    if (!ReadTree(data, entry, sizeof(entry))) return false;
    const uint32_t rva = Get32(entry);
    const uint32_t size = Get32(entry + 4);
    if (size == 0) return false;
    uint64_t offset = 0;
    uint32_t fromFile = 0;
    if (!Map(rva, size, &offset, &fromFile)) return false;
    found->size = size;
    found->fileOffset = offset;
    found->rawBytes = fromFile;
    return true;
  }

 private:
  const ByteSource& file_;
  uint32_t resourceRva_ = 0;
  uint32_t sectionCount_ = 0;
  Section sections_[kMostSections] = {};
};

// Lower-case mapping for the letters that version keys use: ASCII, Latin-1,
// Greek and Cyrillic capitals.
char16_t Lower(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

uint32_t Align4(uint32_t n) { return (n + 3u) & ~3u; }

// One node of a version block: header, key, value, children.
struct Node {
  uint32_t at;           // offset in the block
  uint32_t length;       // wLength
  uint32_t valueLength;  // wValueLength
  uint32_t keyAt;
  uint32_t keyUnits;     // without terminator
  uint32_t valueAt;
  uint32_t childrenAt;
};

// Reads the node at `at`; false when its header or key runs past limit.
bool ReadNode(const uint8_t* block, uint32_t limit, uint32_t at, Node* node) {
  if (at > limit || limit - at < kNodeHeaderBytes) return false;
  node->at = at;
  node->length = Get16(block + at);
  node->valueLength = Get16(block + at + 2);
  const uint32_t type = Get16(block + at + 4);
  node->keyAt = at + kNodeHeaderBytes;
  uint32_t p = node->keyAt;
  for (;; p += 2) {
    if (limit - p < 2) return false;
    if (Get16(block + p) == 0) break;
  }
  node->keyUnits = (p - node->keyAt) / 2;
  node->valueAt = at + Align4(p + 2 - at);
  const uint32_t valueBytes = node->valueLength * (type != 0 ? 2u : 1u);
  node->childrenAt = node->valueAt + Align4(valueBytes);
  return true;
}

bool KeyMatches(const uint8_t* block, const Node& node, const char16_t* key, uint32_t units) {
  if (node.keyUnits != units) return false;
  for (uint32_t i = 0; i < units; ++i)
    if (Lower(static_cast<char16_t>(Get16(block + node.keyAt + 2 * i))) != Lower(key[i]))
      return false;
  return true;
}

bool FindChild(const uint8_t* block, uint32_t limit, const Node& parent, const char16_t* key,
               uint32_t units, Node* child) {
  const uint64_t end = uint64_t{parent.at} + parent.length;
  uint64_t at = parent.childrenAt;
  // Every step moves on by at least four bytes, so the walk ends.
  while (at < end) {
    if (at > limit || !ReadNode(block, limit, static_cast<uint32_t>(at), child)) return false;
    if (KeyMatches(block, *child, key, units)) return true;
    if (child->length == 0) return false;
    at += Align4(child->length);
  }
  return false;
}

}  // namespace

bool MemorySource::Read(uint64_t offset, void* out, size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  if (n > 0) std::memcpy(out, data_ + offset, n);
  return true;
}

bool WindowedSource::Read(uint64_t offset, void* out, size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  if (n == 0) return true;
  const bool inWindow = offset >= windowStart_ && offset - windowStart_ <= windowBytes_ &&
                        n <= windowBytes_ - (offset - windowStart_);
  if (!inWindow) {
    if (n > kWindowBytes) return Fetch(offset, out, n);
    // The page the read starts in, unless the read would leave it.
    uint64_t start = offset - offset % kWindowBytes;
    if (offset + n > start + kWindowBytes) start = offset;
    const size_t bytes = static_cast<size_t>(size_ - start < kWindowBytes ? size_ - start : kWindowBytes);
    windowBytes_ = 0;
    if (!Fetch(start, window_, bytes)) return false;
    windowStart_ = start;
    windowBytes_ = bytes;
  }
  std::memcpy(out, window_ + (offset - windowStart_), n);
  return true;
}

bool FindVersionResource(const ByteSource& file, VersionResource* found) {
  Image image(file);
  return image.Open() && image.FindVersion(found);
}

bool ReadVersionResource(const ByteSource& file, const VersionResource& found, void* out,
                         uint32_t n) {
  if (n > found.size) return false;
  const uint32_t fromFile = n < found.rawBytes ? n : found.rawBytes;
  if (fromFile > 0 && !file.Read(found.fileOffset, out, fromFile)) return false;
  std::memset(static_cast<uint8_t*>(out) + fromFile, 0, n - fromFile);
  return true;
}

uint32_t InfoBlockSize(uint32_t resourceBytes) {
  if (resourceBytes == 0 || resourceBytes > (0xFFFFFFFFu - 4) / 2) return 0;
  return resourceBytes * 2 + 4;
}

void FinishInfoBlock(uint8_t* block, uint32_t blockSize) {
  if (blockSize < 2) return;
  uint32_t root = Get16(block);
  if (root > blockSize) {
    root = blockSize;
    block[0] = static_cast<uint8_t>(root & 0xFF);
    block[1] = static_cast<uint8_t>(root >> 8);
  }
  // A root shorter than one node header is no block at all; the mark would
  // land on the header itself and make it claim more than the block holds.
  if (root >= kNodeHeaderBytes && uint64_t{root} + 4 <= blockSize)
    std::memcpy(block + root, "FE2X", 4);
}

uint32_t BlockExtent(const uint8_t* block) { return Get16(block); }

bool QueryValue(const uint8_t* block, size_t blockSize, const char16_t* subBlock,
                const uint8_t** value, uint32_t* length) {
  *value = nullptr;
  *length = 0;
  if (block == nullptr || blockSize < kNodeHeaderBytes) return false;
  const uint32_t limit = blockSize > 0xFFFF ? 0xFFFF : static_cast<uint32_t>(blockSize);
  // A block whose first key character is printable holds 16-bit (ANSI)
  // nodes, which no PE resource carries; it names nothing here.
  if (block[4] >= 0x20) return false;
  if (subBlock == nullptr || subBlock[0] == 0) subBlock = u"\\";

  Node node;
  if (!ReadNode(block, limit, 0, &node)) return false;
  const char16_t* p = subBlock;
  while (*p != 0) {
    const char16_t* next = p;
    while (*next != 0 && *next != u'\\') ++next;
    if (next == p) {
      ++p;
      continue;
    }
    Node child;
    if (!FindChild(block, limit, node, p, static_cast<uint32_t>(next - p), &child)) return false;
    node = child;
    p = next;
  }
  if (node.valueAt > limit) return false;
  *value = block + node.valueAt;
  *length = node.valueLength;
  return true;
}

}  // namespace pe_version
