// A timer that runs OnTimer on the user-interface thread every Interval
// milliseconds while it is enabled. It owns a message-only window.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

namespace cl {

class TTimer {
public:
  TTimer();
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  std::string Name;
  int Tag = 0;
  std::function<void()> OnTimer;

private:
  static LRESULT CALLBACK TimerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Restart();
  HWND hwnd_ = nullptr;
  bool enabled_ = false;
  unsigned interval_ = 1000;
};

}  // namespace cl
