#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "cl_app.h"
#include "cl_dialogs.h"
#include "cl_thread.h"

namespace {

// Records the order in which posted messages and synchronised calls arrive.
class OrderProbe : public cl::TThread {
public:
  explicit OrderProbe(HWND target, std::vector<int>& log) : target_(target), log_(log) {}

protected:
  void Execute() override {
    PostMessageA(target_, WM_APP + 50, 1, 0);
    Synchronize([this] { log_.push_back(2); });
    PostMessageA(target_, WM_APP + 50, 3, 0);
    Synchronize([this] { log_.push_back(4); });
  }

private:
  HWND target_;
  std::vector<int>& log_;
};

std::vector<int>* g_log = nullptr;
LRESULT CALLBACK ProbeProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_APP + 50) {
    g_log->push_back(static_cast<int>(w));
    return 0;
  }
  return DefWindowProcA(h, m, w, l);
}

TEST(Synchronize, KeepsOrderWithMessagesTheWorkerPosted) {
  std::vector<int> log;
  g_log = &log;
  WNDCLASSA wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "OrderProbe";
  RegisterClassA(&wc);
  HWND target = CreateWindowA("OrderProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  OrderProbe worker(target, log);
  worker.Start();
  cl::Application.RunUntil([&] { return worker.Finished(); });
  worker.WaitFor();
  EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 4}));
  DestroyWindow(target);
}

// What another thread might do with memory the ending thread has just freed:
// take it and store a handle of its own there. Run from the ending thread
// itself, as its thread_local data is torn down, between the runtime's
// release of that data and the destructors it runs after.
HANDLE g_bystander = nullptr;
struct ReuseFreedMemory {
  ~ReuseFreedMemory() {
    for (int i = 0; i < 64; ++i) {
      auto* block = static_cast<HANDLE*>(malloc(16 + (i % 4) * 8));
      for (int k = 0; k < 2 + i % 4; ++k) block[k] = g_bystander;
      kept_.push_back(block);
    }
  }
  static inline std::vector<void*> kept_;
};

// Uses Synchronize, then leaves a reuser behind for its thread's end.
class SyncThenReuse : public cl::TThread {
protected:
  void Execute() override {
    Synchronize([] {});
    thread_local ReuseFreedMemory reuse;
    (void)&reuse;
  }
};

// The handle values open in this process. GetProcessHandleCount counts
// nothing under Wine; asking after each value does, and says which leaked.
std::set<uintptr_t> OpenHandles() {
  std::set<uintptr_t> open;
  DWORD flags = 0;
  for (uintptr_t value = 4; value < 0x10000; value += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) open.insert(value);
  return open;
}

void RunSyncThenReuse() {
  SyncThenReuse worker;
  worker.Start();
  cl::Application.RunUntil([&] { return worker.Finished(); });
  worker.WaitFor();
}

// A worker's thread closes its own Synchronize event as it ends, and no other
// handle, whatever the memory it freed holds by then.
TEST(Synchronize, AnEndingWorkerClosesItsOwnEventAndNoOtherHandle) {
  g_bystander = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // One round first: whatever the system opens once, on a first thread or a
  // first posted call, is not the workers' doing.
  RunSyncThenReuse();
  const std::set<uintptr_t> before = OpenHandles();
  for (int round = 0; round < 20; ++round) RunSyncThenReuse();
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(g_bystander, &flags));
  const std::set<uintptr_t> after = OpenHandles();
  std::vector<uintptr_t> leftOpen, closed;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(leftOpen));
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(closed));
  EXPECT_EQ(leftOpen, std::vector<uintptr_t>{});
  EXPECT_EQ(closed, std::vector<uintptr_t>{});
  CloseHandle(g_bystander);
  for (void* p : ReuseFreedMemory::kept_) free(p);
  ReuseFreedMemory::kept_.clear();
}

TEST(Synchronize, RunsDirectlyOnTheInterfaceThread) {
  int n = 0;
  cl::Application.Synchronize([&] { ++n; });
  EXPECT_EQ(n, 1);
}

// Asks a question from its own thread, as a worker that reports a failure.
class AskingWorker : public cl::TThread {
public:
  int answer = 0;

protected:
  void Execute() override { answer = cl::MessageBox(cl::Application.Handle(), "问题", "提示", MB_YESNO); }
};

TEST(DialogSeam, AWorkersQuestionIsAnsweredOnTheInterfaceThread) {
  std::vector<DWORD> threads;
  std::vector<std::string> texts;
  cl::SetDialogHook([&](const cl::DialogRequest& req) {
    threads.push_back(GetCurrentThreadId());
    texts.push_back(req.text + "|" + req.title);
    cl::DialogAnswer a;
    a.result = IDNO;
    return a;
  });
  AskingWorker worker;
  worker.Start();
  cl::Application.RunUntil([&] { return worker.Finished(); });
  worker.WaitFor();
  cl::SetDialogHook(nullptr);
  EXPECT_EQ(worker.answer, IDNO);
  EXPECT_EQ(threads, std::vector<DWORD>{cl::Application.ThreadId()});
  EXPECT_EQ(texts, std::vector<std::string>{"问题|提示"});
}

}  // namespace
