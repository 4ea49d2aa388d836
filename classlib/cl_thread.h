// Worker threads: Execute runs on its own thread, Synchronize hands a call
// to the user-interface thread and waits for it.
#pragma once
#include <windows.h>
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
  volatile bool finished_ = false;
};

}  // namespace cl
