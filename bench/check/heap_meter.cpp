// The heap in use and its peak, counted by wrapping the C allocator (glibc):
// operator new and every container allocate through malloc.
#include <malloc.h>

#include <atomic>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace heap_meter {

std::atomic<long long> g_inUse{0};
std::atomic<long long> g_peak{0};

namespace {
void Add(void* p) {
  if (p == nullptr) return;
  long long now = g_inUse += static_cast<long long>(malloc_usable_size(p));
  long long peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}
void Remove(void* p) {
  if (p != nullptr) g_inUse -= static_cast<long long>(malloc_usable_size(p));
}
}  // namespace

long long InUse() { return g_inUse.load(); }
long long Peak() { return g_peak.load(); }
void ResetPeak() { g_peak = g_inUse.load(); }

}  // namespace heap_meter

extern "C" {

void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  heap_meter::Add(p);
  return p;
}
void* calloc(size_t count, size_t n) {
  void* p = __libc_calloc(count, n);
  heap_meter::Add(p);
  return p;
}
void* realloc(void* old, size_t n) {
  heap_meter::Remove(old);
  void* p = __libc_realloc(old, n);
  if (p != nullptr) heap_meter::Add(p);
  else if (n != 0) heap_meter::Add(old);  // the old block stays
  return p;
}
void free(void* p) {
  heap_meter::Remove(p);
  __libc_free(p);
}
void* memalign(size_t alignment, size_t n) {
  void* p = __libc_memalign(alignment, n);
  heap_meter::Add(p);
  return p;
}
void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
int posix_memalign(void** out, size_t alignment, size_t n) {
  void* p = memalign(alignment, n);
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}

}  // extern "C"
