// Progress on the terminal: items done of items known and the current
// item, one line on stderr redrawn in place. Nothing is drawn when stderr is
// not a terminal. While it is shown, Ctrl-C asks the work to stop: the
// module's progress callback answers "stop", and the host stops between
// items; a second Ctrl-C ends the program at once.
#pragma once

#include <cstdint>
#include <string>

#include "tools/host/module_loader.h"

namespace host {

class ProgressLine {
 public:
  // Shown only when shown is true (stderr a terminal).
  ProgressLine(bool shown, const std::string& what, int known);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // One more item done; current is the item now worked on.
  void Step(const std::string& current);
  void SetKnown(int known) { known_ = known; }
  int done() const { return done_; }

 private:
  void Draw(const std::string& current);
  bool shown_;
  std::string what_;
  int known_;
  int done_ = 0;
};

// Whether the user asked to stop (Ctrl-C while progress was shown).
bool StopAsked();

// The callback for DLL_Check and DLL_Repair: steps the line that is active.
int32_t __cdecl ModuleProgress(const char16_t* text, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                               int32_t, int32_t);

}  // namespace host
