#include "Unit5.h"

#include <objbase.h>

#include "Unit1.h"
#include "Unit7.h"
#include "cl_strings.h"
#include "rules.h"

dlmemuThread::dlmemuThread(const std::string& srcPath, const std::string& branch, const std::string& kernelBranch,
                           const std::string& gitBin, const std::string& host, const RunWaits& waits,
                           DownloadHook hook)
    : ScriptWorker(ConsoleKind::Download, srcPath, "initdir\\getsrc.bat", waits, true),
      branch_(branch),
      kernel_(kernelBranch),
      gitBin_(gitBin),
      host_(host),
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

void dlmemuThread::Work() {
  struct WaitFormEnd {
    dlmemuThread* self;
    ~WaitFormEnd() {
      // No way out leaves the please-wait form up: it has no close box.
      if (!self->waitFormClosed_) self->Synchronize([s = self] { s->CloseWaitForm(); });
    }
  } waitFormEnd{this};
  // The hidden checkout runs git in the manifest's folder, the script is
  // written beside it: neither through a link.
  if (HoldsLink(src_ + "initdir")) {
    waitFormClosed_ = true;
    Synchronize([this] { CloseWaitForm(); });
    Report(Outcome::NotStarted);
    return;
  }
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
  projects_ = m.projects;
  RunScript();
}

std::vector<std::string> dlmemuThread::ScriptLines(const std::string& startTime) {
  DownloadScript script = BuildDownloadScript(projects_, DoneList(), src_, gitBin_, branch_, kernel_, host_, startTime);
  totalSteps_ = script.totalSteps;
  return script.lines;
}

void dlmemuThread::PublishRun() { TotalSteps = totalSteps_; }

bool dlmemuThread::BeforeStart() {
  // The kernel step writes the progress file anew; an old complete list must
  // not end this run at once. The branch record says whose list it will be.
  // The script's redirects and copies fill the progress files made empty
  // here, so that they never land where a link to nothing points.
  return WriteFreshFile(src_ + "initdir\\jd.dat", "") && WriteFreshFile(src_ + "initdir\\jd1.dat", "") &&
         WriteSettingFile(src_ + kProgressBranchFile, branch_);
}

ScriptWorker::Outcome dlmemuThread::Watch(const ScriptRun& run, HWND console) {
  const std::string jd = src_ + "initdir\\jd.dat";
  std::vector<std::string> count;
  while (static_cast<int>(count.size()) < totalSteps_) {
    if (Form1->Tag == 1) return Outcome::Quit;  // the user agreed to quit
    Sleep(waits_.slowPollMs);
    if (!ReadProgress(count)) {
      // Being written by the script: the copy is taken later, the watch goes on.
      Sleep(waits_.slowPollMs);
      CopyFileA(jd.c_str(), (src_ + "initdir\\jd1.dat").c_str(), FALSE);
      continue;
    }
    Reached(DownloadMoment::ProgressRead, static_cast<int>(count.size()));
    DownloadConsoleWnd = console = run.Find();
    if (static_cast<int>(count.size()) < totalSteps_ && !console) {
      // The last step may have ended just before the console did.
      ReadProgress(count);
      if (static_cast<int>(count.size()) >= totalSteps_) break;
      return Outcome::Broken;
    }
  }
  // Every step is done: let the script end on its own for a while.
  const DWORD start = GetTickCount();
  while ((console = run.Find()) != nullptr && GetTickCount() - start < waits_.scriptEndMs) Sleep(waits_.pollMs);
  DownloadConsoleWnd = console;
  ScriptRun::Close(console);
  return Outcome::Done;
}

bool dlmemuThread::DoneWithoutConsole() const {
  // Every step done before the console was seen (a resume with nothing left
  // to fetch): the progress file, made empty before the script, says so.
  std::vector<std::string> count;
  return ReadProgress(count) && static_cast<int>(count.size()) >= totalSteps_;
}

void dlmemuThread::Report(Outcome outcome) {
  ShowNotice(outcome == Outcome::Done ? "下载完成!   " : "下载中途断开!   ");
  // A script that never started leaves the kernel as it was.
  if (outcome != Outcome::NotStarted) UpdateSwitchButton();
}
