// Large-page advice on Linux: madvise(MADV_HUGEPAGE) over the whole pages of
// the block, for systems whose transparent huge pages are "madvise".
#include "platform/large_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

void PreferLargePages(void* block, size_t bytes) {
  if (block == nullptr || bytes < kLargePageAdviceFrom) return;
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pageSize <= 0) return;
  const uintptr_t page = static_cast<uintptr_t>(pageSize);
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t first = (start + page - 1) & ~(page - 1);
  const uintptr_t end = (start + bytes) & ~(page - 1);
  if (end <= first) return;
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}

}  // namespace platform
