// Advice about a large, freshly allocated block that is about to be filled:
// back it with large pages where the system offers them. A block of hundreds
// of megabytes otherwise costs one page fault per 4 KB on first touch, which
// on a virtual machine outweighs the work of filling it.
#pragma once

#include <cstddef>

namespace platform {

// Blocks smaller than this are left alone (large pages would waste memory).
constexpr size_t kLargePageAdviceFrom = size_t(4) << 20;

// Advice only: the block's contents and lifetime are unchanged, and nothing
// is reported when the system declines.
void PreferLargePages(void* block, size_t bytes);

// Asks for the block's whole pages at once, as one request, instead of one
// fault per page as each is first written: on a virtual machine a fault
// costs 10-30 us, far more than the zeroed page it brings. For a block that
// is about to be written through. Advice only, as above.
void PopulatePages(void* block, size_t bytes);

}  // namespace platform
