#include "Unit8.h"

#include "Unit1.h"
#include "cl_strings.h"

linuxqiehuangThread::linuxqiehuangThread(const std::string& srcPath, const std::string& kernelBranch,
                                         const std::string& gitBin, const RunWaits& waits)
    : ScriptWorker(ConsoleKind::Switch, srcPath, "initdir\\nhqh.bat", waits), kernel_(kernelBranch), gitBin_(gitBin) {}

std::vector<std::string> linuxqiehuangThread::ScriptLines(const std::string& startTime) {
  return SwitchScriptLines(src_, kernel_, gitBin_, startTime);
}

ScriptWorker::Outcome linuxqiehuangThread::Watch(const ScriptRun& run, HWND) {
  run.WaitGone();
  SwitchConsoleWnd = nullptr;
  return Outcome::Done;
}

void linuxqiehuangThread::Report(Outcome) {
  // Whatever the console did (also when it came and went between two looks,
  // or never ran), done only when the kernel's HEAD now names the branch.
  std::string head;
  cl::ReadWholeFile(src_ + "kernel\\.git\\HEAD", head);
  ShowNotice(HeadNamesBranch(head, kernel_) ? "切换LINUX内核完成!   " : "切换LINUX内核失败!   ");
}
