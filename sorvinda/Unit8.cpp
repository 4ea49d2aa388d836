#include "Unit8.h"

#include "Unit1.h"
#include "cl_strings.h"

linuxqiehuangThread::linuxqiehuangThread(const std::string& srcPath, const std::string& kernelBranch,
                                         const std::string& gitBin, const RunWaits& waits)
    : src_(srcPath), kernel_(kernelBranch), gitBin_(gitBin), waits_(waits) {}

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
  std::string head;
  cl::ReadWholeFile(src_ + "kernel\\.git\\HEAD", head);
  ShowNotice(HeadNamesBranch(head, kernel_) ? "切换LINUX内核完成!   "
                                                                               : "切换LINUX内核失败!   ");
}
