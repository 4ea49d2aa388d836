#include "cl_thread.h"

#include "cl_app.h"

namespace cl {

TThread::~TThread() {
  if (handle_) CloseHandle(handle_);
}

void TThread::Start() {
  if (!handle_) handle_ = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

void TThread::WaitFor() {
  if (handle_) WaitForSingleObject(handle_, INFINITE);
}

DWORD WINAPI TThread::ThreadProc(LPVOID p) {
  auto* self = static_cast<TThread*>(p);
  // An error that escapes a worker ends that worker, without a message.
  try {
    self->Execute();
  } catch (...) {
  }
  Application.ReleaseThreadEvent();
  self->finished_ = true;
  // Wake the interface thread: whoever waits on this worker's end re-checks.
  if (Application.Handle()) PostMessageA(Application.Handle(), WM_NULL, 0, 0);
  return 0;
}

void TThread::Synchronize(const std::function<void()>& call) { Application.Synchronize(call); }

}  // namespace cl
