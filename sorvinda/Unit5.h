// The download worker: makes sure the manifest is on the chosen platform
// branch, builds and runs the download script, and follows its console and
// progress file until every step is done or the console has gone.
#pragma once
#include <functional>
#include <string>

#include "Unit1.h"
#include "scriptworker.h"

// The platform branch the progress file in the same folder was made for.
constexpr char kProgressBranchFile[] = "initdir\\jdbranch.dat";

// Moments of a run at which a test can act, called on the worker's thread
// with a number: the count of failed manifest tests so far, or the lines of
// the progress file just read. The program sets no hook.
enum class DownloadMoment { ManifestTestFailed, ProgressRead };
using DownloadHook = std::function<void(DownloadMoment moment, int n)>;

class dlmemuThread : public ScriptWorker {
public:
  // The values of the click, kept for the whole run.
  dlmemuThread(const std::string& srcPath, const std::string& branch, const std::string& kernelBranch,
               const std::string& gitBin, const std::string& host, const RunWaits& waits = RunWaits(),
               DownloadHook hook = DownloadHook());

protected:
  void Work() override;
  std::vector<std::string> ScriptLines(const std::string& startTime) override;
  void PublishRun() override;
  bool BeforeStart() override;
  Outcome Watch(const ScriptRun& run, HWND console) override;
  bool DoneWithoutConsole() const override;
  void Report(Outcome outcome) override;

private:
  void CloseWaitForm();
  void ReportNotInitialised();
  // The done list for this run: the progress file's lines when it was made
  // for this platform branch, else nothing.
  std::vector<std::string> DoneList() const;
  // Lines of the progress file into count; false when it could not be read
  // (count keeps its lines).
  bool ReadProgress(std::vector<std::string>& count) const;
  // Brings the manifest to the branch, then runs the script.
  void Run();
  void Reached(DownloadMoment moment, int n) const {
    if (hook_) hook_(moment, n);
  }
  std::string branch_, kernel_, gitBin_, host_;
  DownloadHook hook_;
  bool waitFormClosed_ = false;
  std::vector<ManifestProject> projects_;
  int totalSteps_ = 0;
};
