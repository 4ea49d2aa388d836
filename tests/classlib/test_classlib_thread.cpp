#include <gtest/gtest.h>

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
