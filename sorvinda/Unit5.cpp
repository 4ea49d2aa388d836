#include "Unit5.h"

#include <objbase.h>

#include "Unit1.h"
#include "Unit7.h"
#include "cl_strings.h"
#include "rules.h"

dlmemuThread::dlmemuThread(const std::string& srcPath, const std::string& branch, const std::string& kernelBranch,
                           const std::string& gitBin, const std::string& host, const RunWaits& waits,
                           DownloadHook hook)
    : src_(srcPath),
      branch_(branch),
      kernel_(kernelBranch),
      gitBin_(gitBin),
      host_(host),
      waits_(waits),
      hook_(std::move(hook)) {}

void dlmemuThread::CloseWaitForm() {
  if (Form7) Form7->Close();
}

void dlmemuThread::ReportNotInitialised() {
  ShowNotice("请先初始化!   ");
  Form1->Button1.SetEnabled(false);
  Form1->Button3.SetEnabled(true);
}

std::vector<std::string> dlmemuThread::DoneList() const {
  const std::string jd = src_ + "initdir\\jd.dat", record = src_ + kProgressBranchFile;
  if (!cl::FileExists(jd) || !cl::FileExists(record)) return {};
  if (ReadSettingFile(record) != branch_) return {};
  cl::TStringList lines;
  if (!lines.LoadFromFile(jd)) return {};
  return lines.Strings;
}

bool dlmemuThread::ReadProgress(std::vector<std::string>& count) const {
  const std::string jd = src_ + "initdir\\jd.dat";
  if (!cl::FileExists(jd)) return true;
  cl::TStringList lines;
  if (!lines.LoadFromFile(jd)) return false;
  count = lines.Strings;
  return true;
}

void dlmemuThread::Execute() {
  struct RunEnd {
    dlmemuThread* self;
    ~RunEnd() {
      // No way out leaves the please-wait form up: it has no close box.
      if (!self->waitFormClosed_) self->Synchronize([s = self] { s->CloseWaitForm(); });
      EndRun();
    }
  } runEnd{this};
  CoInitialize(nullptr);
  try {
    Run();
  } catch (...) {
    // Before the script started nothing else tells the user: report it.
    if (!waitFormClosed_) {
      waitFormClosed_ = true;
      Synchronize([this] {
        CloseWaitForm();
        ReportNotInitialised();
      });
    }
  }
}

void dlmemuThread::Run() {
  const std::string manifestPath = src_ + "initdir\\manifest\\default.xml";
  Manifest m = ReadManifestFile(manifestPath);
  bool onBranch = ManifestOnBranch(m.revision, branch_);
  if (!onBranch) RunCommand(ManifestCheckoutCommand(gitBin_, src_, branch_), SW_HIDE);
  Sleep(waits_.waitFormMs);
  waitFormClosed_ = true;
  Synchronize([this] { CloseWaitForm(); });
  for (int test = 1; !onBranch; ++test) {
    Reached(DownloadMoment::ManifestTestFailed, test);
    if (test >= waits_.manifestTests) {
      Synchronize([this] { ReportNotInitialised(); });
      return;
    }
    Sleep(waits_.slowPollMs);
    m = ReadManifestFile(manifestPath);
    onBranch = ManifestOnBranch(m.revision, branch_);
  }
  // Folders and names go into script lines and URLs: refuse before anything runs.
  const std::string invalid = InvalidProjectMessage(m.projects, src_);
  if (!invalid.empty()) {
    ShowNotice(invalid);
    return;
  }

  ScriptRun run(ConsoleKind::Download, src_, src_ + "initdir\\getsrc.bat", waits_);
  // The close handler reads the globals on the interface thread: set them there.
  DownloadScript script =
      BuildDownloadScript(m.projects, DoneList(), src_, gitBin_, branch_, kernel_, host_, run.StartTime());
  const int total = script.totalSteps;
  Synchronize([&run, total] {
    StartTime = run.StartTime();
    TotalSteps = total;
    DownloadConsoleWnd = nullptr;
  });
  // The kernel step writes the progress file anew; an old complete list must
  // not end this run at once. The branch record says whose list it will be.
  const std::string jd = src_ + "initdir\\jd.dat";
  DeleteHostFile(jd);
  if (cl::FileExists(jd) || !WriteSettingFile(src_ + kProgressBranchFile, branch_) ||
      !run.Start(script.lines, true)) {
    ShowNotice("下载中途断开!   ");
    return;
  }
  HWND console = run.WaitAppear();
  DownloadConsoleWnd = console;
  if (!console) {
    run.DeleteScript();
    ShowNotice("下载中途断开!   ");
    UpdateSwitchButton();
    return;
  }

  std::vector<std::string> count;
  while (static_cast<int>(count.size()) < total) {
    if (Form1->Tag == 1) return;  // the user agreed to quit
    Sleep(waits_.slowPollMs);
    if (!ReadProgress(count)) {
      // Being written by the script: the copy is taken later, the watch goes on.
      Sleep(waits_.slowPollMs);
      CopyFileA(jd.c_str(), (src_ + "initdir\\jd1.dat").c_str(), FALSE);
      continue;
    }
    Reached(DownloadMoment::ProgressRead, static_cast<int>(count.size()));
    DownloadConsoleWnd = console = run.Find();
    if (static_cast<int>(count.size()) < total && !console) {
      // The last step may have ended just before the console did.
      ReadProgress(count);
      if (static_cast<int>(count.size()) >= total) break;
      run.DeleteScript();
      ShowNotice("下载中途断开!   ");
      UpdateSwitchButton();
      return;
    }
  }
  // Every step is done: let the script end on its own for a while.
  const DWORD start = GetTickCount();
  while ((console = run.Find()) != nullptr && GetTickCount() - start < waits_.scriptEndMs) Sleep(waits_.pollMs);
  DownloadConsoleWnd = console;
  ScriptRun::Close(console);
  run.DeleteScript();
  ShowNotice("下载完成!   ");
  UpdateSwitchButton();
}
