// Large-page advice on Windows: large pages need the "lock pages in memory"
// privilege and an allocation made for them, so the advice is not taken.
#include "platform/large_pages.h"

namespace platform {

void PreferLargePages(void*, size_t) {}

// Not asked either: the block's pages come as they are first written.
void PopulatePages(void*, size_t) {}

}  // namespace platform
