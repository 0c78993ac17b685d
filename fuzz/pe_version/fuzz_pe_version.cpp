// Feeds arbitrary bytes to the version-resource reader twice: as a file whose
// resource section is searched, and directly as a version block to query.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/pe_version.h"

namespace {

const char16_t* const kQueries[] = {
    u"\\",
    u"\\VarFileInfo\\Translation",
    u"\\StringFileInfo\\040904b0\\CompanyName",
    u"\\StringFileInfo\\080404b0\\FileDescription",
    u"\\\\StringFileInfo\\\\040904B0\\FILEVERSION\\",
    u"",
};

// Queries a block, touching every byte of each answer it gives.
void QueryAll(const uint8_t* block, size_t size) {
  volatile uint8_t sink = 0;
  for (const char16_t* query : kQueries) {
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    if (!pe_version::QueryValue(block, size, query, &value, &length)) continue;
    // The answer starts inside the block; read it as far as the block goes.
    for (const uint8_t* p = value; p < block + size && p < value + length; ++p) sink ^= *p;
  }
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // As an image: whatever is found must be readable and queryable.
  pe_version::MemorySource source(data, size);
  pe_version::VersionResource found;
  if (pe_version::FindVersionResource(source, &found) && found.size <= (1u << 20)) {
    const uint32_t blockSize = pe_version::InfoBlockSize(found.size);
    if (blockSize >= 6) {
      std::vector<uint8_t> block(blockSize, 0);
      if (!pe_version::ReadVersionResource(source, found, block.data(), found.size)) __builtin_trap();
      pe_version::FinishInfoBlock(block.data(), blockSize);
      const uint32_t extent = pe_version::BlockExtent(block.data());
      if (extent > blockSize) __builtin_trap();
      QueryAll(block.data(), extent);
    }
  }
  // As a block of exactly the bytes given, so any read past them is caught.
  if (size > 0) {
    std::vector<uint8_t> block(data, data + size);
    QueryAll(block.data(), block.size());
  }
  return 0;
}
