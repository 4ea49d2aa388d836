#include "cl_timer.h"

#include "cl_app.h"
#include "cl_control.h"

namespace cl {

namespace {
const char kTimerClass[] = "ClTimer";
}

TTimer::TTimer() : hwnd_(CreateMessageWindow(kTimerClass, TimerProc, this)) {}

TTimer::~TTimer() {
  if (!hwnd_) return;
  KillTimer(hwnd_, 1);
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

void TTimer::SetEnabled(bool e) {
  enabled_ = e;
  Restart();
}

void TTimer::SetInterval(unsigned ms) {
  interval_ = ms;
  Restart();
}

void TTimer::Restart() {
  KillTimer(hwnd_, 1);
  if (enabled_ && interval_ > 0) SetTimer(hwnd_, 1, interval_, nullptr);
}

LRESULT CALLBACK TTimer::TimerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER) {
    auto* self = reinterpret_cast<TTimer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && self->enabled_ && self->OnTimer) {
      // No exception leaves a window procedure.
      try {
        self->OnTimer();
      } catch (...) {
        Application.HandleException(std::current_exception());
      }
    }
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace cl
