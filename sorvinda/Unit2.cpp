#include "Unit2.h"

#include "Unit1.h"
#include "cl_strings.h"

dlwThread::dlwThread(const std::string& srcPath, const std::string& branch, const std::string& gitBin,
                     const std::string& host, const RunWaits& waits)
    : src_(srcPath), branch_(branch), gitBin_(gitBin), host_(host), waits_(waits) {}

void dlwThread::UpdateBranchLists() { ::UpdateBranchLists(src_); }

bool dlwThread::ClearWorkingFolder() {
  const std::string manifest = src_ + "initdir\\manifest", nh = src_ + "initdir\\nh", origin = src_ + "initdir\\origin";
  for (int attempt = 0;; ++attempt) {
    if (cl::DirectoryExists(manifest)) DeleteTree(manifest);
    if (cl::DirectoryExists(nh)) DeleteTree(nh);
    // An origin file of an earlier run must not pass for this run's answer.
    if (cl::FileExists(origin)) DeleteHostFile(origin);
    if (!cl::DirectoryExists(manifest) && !cl::DirectoryExists(nh) && !cl::FileExists(origin)) return true;
    if (attempt + 1 >= waits_.deleteTries) return false;
    Sleep(waits_.deletePauseMs);
  }
}

bool dlwThread::ResultsExist() const {
  return cl::FileExists(src_ + "initdir\\manifest\\default.xml") && cl::FileExists(src_ + "initdir\\origin");
}

void dlwThread::Execute() {
  struct RunEnd {
    ~RunEnd() { EndRun(); }
  } runEnd;
  if (!ClearWorkingFolder()) {
    ShowNotice("初始化失败");
    return;
  }
  cl::ForceDirectories(src_ + "initdir\\manifest");
  cl::ForceDirectories(src_ + "initdir\\nh");
  InitConsoleWnd = nullptr;
  ScriptRun run(ConsoleKind::Init, src_, src_ + "initdir\\initbat.bat", waits_);
  // The close handler reads the global on the interface thread: set it there.
  Synchronize([&run] { StartTime = run.StartTime(); });
  if (!run.Start(InitScriptLines(src_, branch_, gitBin_, host_, run.StartTime()))) {
    ShowNotice("初始化失败");
    return;
  }
  InitConsoleWnd = run.WaitAppear();
  if (!InitConsoleWnd) {
    run.DeleteScript();
    ShowNotice("初始化失败");
    return;
  }
  // Watch while the console is open, until both result files are there.
  bool complete = false;
  for (;;) {
    if (ResultsExist()) {
      complete = true;
      break;
    }
    InitConsoleWnd = run.Find();
    if (InitConsoleWnd) {
      Sleep(waits_.pollMs);
      continue;
    }
    Sleep(waits_.slowPollMs);
    complete = ResultsExist();
    break;
  }
  if (!complete) {
    run.DeleteScript();
    ShowNotice("初始化失败");
    return;
  }
  // The script may still be writing the kernel's answer: wait for its end.
  while ((InitConsoleWnd = run.Find()) != nullptr) Sleep(waits_.slowPollMs);
  Synchronize([this] { UpdateBranchLists(); });
  run.DeleteScript();
}
