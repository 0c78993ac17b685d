// The serial of the export call running on this thread; caches of the Linux
// backend key what they keep by it (and by the image's generation), so that
// nothing is served once the outermost scope has ended.
#include "platform/call_scope.h"

#include <atomic>

#include "platform/linux/backend.h"

namespace platform {

namespace {

std::atomic<unsigned long> g_lastSerial{0};
thread_local int t_depth = 0;
thread_local unsigned long t_serial = 0;

}  // namespace

void BeginCall() {
  if (t_depth++ == 0) t_serial = ++g_lastSerial;
}

void EndCall() {
  if (t_depth > 0 && --t_depth == 0) {
    t_serial = 0;
    backend::ForgetCall();
  }
}

namespace backend {

unsigned long CallSerial() { return t_serial; }

}  // namespace backend
}  // namespace platform
