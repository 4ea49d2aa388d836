// The download worker: makes sure the manifest is on the chosen platform
// branch, builds and runs the download script, and follows its console and
// progress file until every step is done or the console has gone.
#pragma once
#include <functional>
#include <string>

#include "cl_thread.h"
#include "scripts.h"

// The platform branch the progress file in the same folder was made for.
constexpr char kProgressBranchFile[] = "initdir\\jdbranch.dat";

// Moments of a run at which a test can act, called on the worker's thread
// with a number: the count of failed manifest tests so far, or the lines of
// the progress file just read. The program sets no hook.
enum class DownloadMoment { ManifestTestFailed, ProgressRead };
using DownloadHook = std::function<void(DownloadMoment moment, int n)>;

class dlmemuThread : public cl::TThread {
public:
  // The values of the click, kept for the whole run.
  dlmemuThread(const std::string& srcPath, const std::string& branch, const std::string& kernelBranch,
               const std::string& gitBin, const std::string& host, const RunWaits& waits = RunWaits(),
               DownloadHook hook = DownloadHook());

protected:
  void Execute() override;

private:
  void CloseWaitForm();
  void ReportNotInitialised();
  // The done list for this run: the progress file's lines when it was made
  // for this platform branch, else nothing.
  std::vector<std::string> DoneList() const;
  // Lines of the progress file into count; false when it could not be read
  // (count keeps its lines).
  bool ReadProgress(std::vector<std::string>& count) const;
  void Run();
  void Reached(DownloadMoment moment, int n) const {
    if (hook_) hook_(moment, n);
  }
  std::string src_, branch_, kernel_, gitBin_, host_;
  RunWaits waits_;
  DownloadHook hook_;
  bool waitFormClosed_ = false;
};
