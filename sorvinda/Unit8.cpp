#include "Unit8.h"

#include "Unit1.h"

linuxqiehuangThread::linuxqiehuangThread(const std::string& srcPath, const std::string& kernelBranch,
                                         const std::string& gitBin, const RunWaits& waits)
    : src_(srcPath), kernel_(kernelBranch), gitBin_(gitBin), waits_(waits) {}

namespace {
std::string ReadText(const std::string& path) {
  std::string text;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return text;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
  CloseHandle(h);
  return text;
}
}  // namespace

void linuxqiehuangThread::Execute() {
  struct RunEnd {
    ~RunEnd() { EndRun(); }
  } runEnd;
  ScriptRun run(ConsoleKind::Switch, src_, src_ + "initdir\\nhqh.bat", waits_);
  // The close handler reads the global on the interface thread: set it there.
  Synchronize([&run] { StartTime = run.StartTime(); });
  SwitchConsoleWnd = nullptr;
  if (run.Start(SwitchScriptLines(src_, kernel_, gitBin_, run.StartTime()))) {
    // A console that came and went between two looks is judged by HEAD too.
    SwitchConsoleWnd = run.WaitAppear();
    if (SwitchConsoleWnd) run.WaitGone();
    SwitchConsoleWnd = nullptr;
    run.DeleteScript();
  }
  // Done only when the kernel's HEAD now names the chosen branch.
  ShowNotice(HeadNamesBranch(ReadText(src_ + "kernel\\.git\\HEAD"), kernel_) ? "切换LINUX内核完成!   "
                                                                               : "切换LINUX内核失败!   ");
}
