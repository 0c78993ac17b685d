#include "tools/host/progress.h"

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/wtext.h"
#include "records/progress_callback.h"
#include "tools/host/console.h"
#include "tools/host/table.h"

namespace host {

namespace {

volatile std::sig_atomic_t g_stop = 0;
ProgressLine* g_active = nullptr;

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (g_stop) return FALSE;  // the second press ends the program
  g_stop = 1;
  return TRUE;
}
void CatchInterrupt(bool on) { SetConsoleCtrlHandler(OnConsoleControl, on ? TRUE : FALSE); }
#else
void OnInterrupt(int) {
  g_stop = 1;
  std::signal(SIGINT, SIG_DFL);
}
void CatchInterrupt(bool on) { std::signal(SIGINT, on ? OnInterrupt : SIG_DFL); }
#endif

// The current item cut to fit one 80-column line after the counts.
std::string Shortened(const std::string& text, size_t width) {
  std::u16string units = wtext::FromUtf8(text);
  std::u16string out;
  size_t used = 0;
  for (char16_t c : units) {
    if (c < 0x20) c = u' ';
    size_t w = DisplayWidth(wtext::ToUtf8(std::u16string(1, c)));
    if (used + w > width) {
      out += u"…";
      break;
    }
    out.push_back(c);
    used += w;
  }
  return wtext::ToUtf8(out);
}

}  // namespace

ProgressLine::ProgressLine(bool shown, const std::string& what, int known)
    : shown_(shown), what_(what), known_(known) {
  if (!shown_) return;
  g_active = this;
  CatchInterrupt(true);
  Draw("");
}

ProgressLine::~ProgressLine() {
  if (!shown_) return;
  WriteErr("\r\033[K");
  CatchInterrupt(false);
  if (g_active == this) g_active = nullptr;
}

void ProgressLine::Step(const std::string& current) {
  ++done_;
  if (shown_) Draw(current);
}

void ProgressLine::Draw(const std::string& current) {
  std::string counts = known_ > 0 ? std::to_string(done_) + "/" + std::to_string(known_) : std::to_string(done_);
  std::string head = "  " + what_ + " " + counts + " ";
  WriteErr("\r\033[K" + head + Shortened(current, head.size() < 76 ? 78 - head.size() : 2));
}

bool StopAsked() { return g_stop != 0; }

int32_t __cdecl ModuleProgress(const char16_t* text, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                               int32_t, int32_t) {
  if (g_active != nullptr) g_active->Step(text != nullptr ? wtext::ToUtf8(text) : std::string());
  return g_stop ? RUNVANE_PROGRESS_STOP : RUNVANE_PROGRESS_CONTINUE;
}

}  // namespace host
