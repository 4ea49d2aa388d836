// The initialisation worker: clears the working folder's repositories,
// writes and runs the initialisation script, follows its console and the
// two result files, and ends with the branch lists filled or a failure.
#pragma once
#include <string>

#include "scriptworker.h"

class dlwThread : public ScriptWorker {
public:
  // The values of the click, kept for the whole run.
  dlwThread(const std::string& srcPath, const std::string& branch, const std::string& gitBin,
            const std::string& host, const RunWaits& waits = RunWaits());

protected:
  void Work() override;
  std::vector<std::string> ScriptLines(const std::string& startTime) override;
  Outcome Watch(const ScriptRun& run, HWND console) override;
  void Report(Outcome outcome) override;

private:
  void UpdateBranchLists();
  // Removes initdir\manifest, initdir\nh and initdir\origin; false when one
  // is still there after the bounded retries.
  bool ClearWorkingFolder();
  bool ResultsExist() const;
  std::string branch_, gitBin_, host_;
};
