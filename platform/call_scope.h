// CallScope: one export call of the module, from entry to return. While a
// scope lives on a thread, the backend may keep what it learnt from the
// system during the call (which files a registry read found unchanged, the
// image's drive roots, the environment, the last program file opened) and
// answer later questions of the same call from it. Nothing kept outlives the
// outermost scope: the next call sees every change made meanwhile by others.
// Scopes nest; only the outermost one counts. The Windows backend keeps
// nothing.
#pragma once

namespace platform {

void BeginCall();
void EndCall();

class CallScope {
 public:
  CallScope() { BeginCall(); }
  ~CallScope() { EndCall(); }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
};

}  // namespace platform
