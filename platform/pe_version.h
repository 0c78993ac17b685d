// A portable reader of the version resource of Windows executables (32- and
// 64-bit PE images) and of the version-information block that the system's
// version library hands out, with the answers that library gives.
//
// Nothing here trusts the file: every offset and size is checked against
// the bytes that exist, every walk is bounded, and a damaged or hostile file
// simply has no version resource.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pe_version {

// Random access to the bytes of one file.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies exactly n bytes from offset; false when they are not all there.
  virtual bool Read(uint64_t offset, void* out, size_t n) const = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) const override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// A file read through a window: a read that falls inside the bytes last
// fetched is answered from them, so that the many small reads of a resource
// walk cost a few reads of the file. Not for use by two threads at once.
class WindowedSource : public ByteSource {
 public:
  static constexpr size_t kWindowBytes = 4096;
  explicit WindowedSource(uint64_t size = 0) : size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) const override;

 protected:
  void SetSize(uint64_t size) {
    size_ = size;
    windowBytes_ = 0;
  }
  // Copies exactly n bytes from offset of the file (within Size()).
  virtual bool Fetch(uint64_t offset, void* out, size_t n) const = 0;

 private:
  uint64_t size_;
  mutable uint8_t window_[kWindowBytes];
  mutable uint64_t windowStart_ = 0;
  mutable size_t windowBytes_ = 0;
};

// Where the version resource (type 16, id 1) of an image lies: its size and
// how its bytes map onto the file. Bytes past rawBytes are the zero fill of
// a section whose virtual size exceeds its data in the file.
struct VersionResource {
  uint32_t size = 0;
  uint64_t fileOffset = 0;
  uint32_t rawBytes = 0;
};

// Finds the version resource of a PE image: the language-neutral entry,
// else US English, else English, else the first language listed.
bool FindVersionResource(const ByteSource& file, VersionResource* found);

// Copies the first n bytes (n <= found.size) of the resource into out.
bool ReadVersionResource(const ByteSource& file, const VersionResource& found, void* out,
                         uint32_t n);

// The block size that GetFileVersionInfoSizeW reports for a resource of
// resourceBytes (twice the resource plus four, room the system keeps for
// converted strings); 0 when that does not fit 32 bits.
uint32_t InfoBlockSize(uint32_t resourceBytes);

// Finishes a block of blockSize bytes whose start holds the resource (or as
// much of it as fits), as GetFileVersionInfoW does: the "FE2X" mark after the root
// node when it fits. A root node that claims more bytes than the block holds
// is shortened to the block so that no later query reads past it.
void FinishInfoBlock(uint8_t* block, uint32_t blockSize);

// The extent of a block as VerQueryValueW walks it: the root node's length.
uint32_t BlockExtent(const uint8_t* block);

// VerQueryValueW over `blockSize` bytes: "\" gives the fixed file info,
// "\VarFileInfo\Translation" the translation table, and
// "\StringFileInfo\<language code page>\<name>" a string, with its length
// as stored (characters with terminator for strings, bytes otherwise). Path
// components match ignoring case; empty components are skipped; an empty
// path means "\". False when the path names nothing in the block.
bool QueryValue(const uint8_t* block, size_t blockSize, const char16_t* subBlock,
                const uint8_t** value, uint32_t* length);

}  // namespace pe_version
