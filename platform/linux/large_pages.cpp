// Page advice on Linux: madvise(MADV_HUGEPAGE) over the whole pages of the
// block, for systems whose transparent huge pages are "madvise", and
// madvise(MADV_POPULATE_WRITE) to fault a block in with one call.
#include "platform/large_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

namespace {

// The whole pages inside the block, as madvise takes them; false when there
// are none.
bool WholePages(void* block, size_t bytes, void** first, size_t* length) {
  if (block == nullptr) return false;
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pageSize <= 0) return false;
  const uintptr_t page = static_cast<uintptr_t>(pageSize);
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t begin = (start + page - 1) & ~(page - 1);
  const uintptr_t end = (start + bytes) & ~(page - 1);
  if (end <= begin) return false;
  *first = reinterpret_cast<void*>(begin);
  *length = end - begin;
  return true;
}

}  // namespace

void PreferLargePages(void* block, size_t bytes) {
  void* first = nullptr;
  size_t length = 0;
  if (bytes < kLargePageAdviceFrom || !WholePages(block, bytes, &first, &length)) return;
#ifdef MADV_HUGEPAGE
  madvise(first, length, MADV_HUGEPAGE);
#endif
}

// MADV_POPULATE_WRITE (Linux 5.14) faults the range in as writes would,
// without writing; older systems refuse it and the pages come one by one.
void PopulatePages(void* block, size_t bytes) {
  void* first = nullptr;
  size_t length = 0;
  if (!WholePages(block, bytes, &first, &length)) return;
#ifdef MADV_POPULATE_WRITE
  madvise(first, length, MADV_POPULATE_WRITE);
#endif
}

}  // namespace platform
