// Worker threads: Execute runs on its own thread, Synchronize hands a call
// to the user-interface thread and waits for it.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>

namespace cl {

class TThread {
public:
  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  virtual ~TThread();
  // Starts Execute; the creator calls it once construction is complete.
  void Start();
  // Blocks until Execute has returned (tests, and closing the program).
  void WaitFor();
  bool Finished() const { return finished_; }
  HANDLE Handle() const { return handle_; }

protected:
  virtual void Execute() = 0;
  void Synchronize(const std::function<void()>& call);

private:
  static DWORD WINAPI ThreadProc(LPVOID self);
  HANDLE handle_ = nullptr;
  std::atomic<bool> finished_{false};
};

// Whether a worker's progress step is worth showing: every step of a short
// run, about 200 evenly spaced steps of a long one, the first and the last.
// Each shown step costs the interface thread a repaint.
inline bool ProgressStepDue(long long position, long long total) {
  if (total <= 200 || position <= 1 || position >= total) return true;
  return position * 200 / total != (position - 1) * 200 / total;
}

}  // namespace cl
