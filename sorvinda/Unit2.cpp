#include "Unit2.h"

#include "Unit1.h"
#include "cl_strings.h"

dlwThread::dlwThread(const std::string& srcPath, const std::string& branch, const std::string& gitBin,
                     const std::string& host, const RunWaits& waits)
    : ScriptWorker(ConsoleKind::Init, srcPath, "initdir\\initbat.bat", waits),
      branch_(branch),
      gitBin_(gitBin),
      host_(host) {}

void dlwThread::UpdateBranchLists() { ::UpdateBranchLists(src_); }

bool dlwThread::ClearWorkingFolder() {
  const std::string manifest = src_ + "initdir\\manifest", nh = src_ + "initdir\\nh", origin = src_ + "initdir\\origin";
  for (int attempt = 0;; ++attempt) {
    if (cl::DirectoryExists(manifest)) DeleteTree(manifest);
    if (cl::DirectoryExists(nh)) DeleteTree(nh);
    // An origin file of an earlier run must not pass for this run's answer.
    if (cl::FileExists(origin)) DeleteHostFile(origin);
    if (!cl::DirectoryExists(manifest) && !cl::DirectoryExists(nh) && !cl::FileExists(origin)) return true;
    // A link that the system cannot remove by itself stays for good.
    if (attempt + 1 >= waits_.deleteTries || HoldsLink(src_ + "initdir")) return false;
    Sleep(waits_.deletePauseMs);
  }
}

bool dlwThread::ResultsExist() const {
  return cl::FileExists(src_ + "initdir\\manifest\\default.xml") && FileSizeAboveZero(src_ + "initdir\\origin");
}

void dlwThread::Work() {
  // Links at the repository folders go first (or the run stops); one at the
  // program's folder itself stops it at once.
  if (IsLinkOrJunction(src_ + "initdir") || !ClearWorkingFolder()) {
    Report(Outcome::NotStarted);
    return;
  }
  cl::ForceDirectories(src_ + "initdir\\manifest");
  cl::ForceDirectories(src_ + "initdir\\nh");
  // The script's redirect fills the kernel's answer into a file made here,
  // so that it never lands where a link to nothing points.
  if (!WriteFreshFile(src_ + "initdir\\origin", "")) {
    Report(Outcome::NotStarted);
    return;
  }
  RunScript();
}

std::vector<std::string> dlwThread::ScriptLines(const std::string& startTime) {
  return InitScriptLines(src_, branch_, gitBin_, host_, startTime);
}

ScriptWorker::Outcome dlwThread::Watch(const ScriptRun& run, HWND) {
  // Watch while the console is open, until both result files are there.
  while (!ResultsExist()) {
    if ((InitConsoleWnd = run.Find()) != nullptr) {
      Sleep(waits_.pollMs);
      continue;
    }
    Sleep(waits_.slowPollMs);
    if (!ResultsExist()) return Outcome::Broken;
  }
  // The script may still be writing the kernel's answer: wait for its end.
  while ((InitConsoleWnd = run.Find()) != nullptr) Sleep(waits_.slowPollMs);
  return Outcome::Done;
}

void dlwThread::Report(Outcome outcome) {
  if (outcome == Outcome::Done) {
    Synchronize([this] { UpdateBranchLists(); });
  } else {
    ShowNotice("初始化失败");
  }
}
