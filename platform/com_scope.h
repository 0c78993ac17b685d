// ComScope: COM initialised on the calling thread for as long as the scope
// lives, balanced exactly.
//
// The module never initialises COM when it is loaded: the loading thread is
// the host's, and a thread may already be in an apartment of its own. Each
// export that reads the knowledge base (the DOM component is a COM object on
// Windows) opens a scope on the thread that calls it instead:
//   - S_OK or S_FALSE: this scope took a reference and gives it back;
//   - RPC_E_CHANGED_MODE: the thread is in the multithreaded apartment
//     already, which serves as it is and is not the scope's to end;
//   - any other failure: nothing to balance (the knowledge base then cannot
//     be read, which the loader handles).
// On Linux the platform's CoInitialize does nothing and answers S_OK.
#pragma once

#include "platform/platform.h"

namespace platform {

class ComScope {
 public:
  ComScope() : result_(CoInitialize(nullptr)) {}
  ~ComScope() {
    if (result_ >= 0) CoUninitialize();  // S_OK and S_FALSE both count
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  // What CoInitialize answered.
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace platform
