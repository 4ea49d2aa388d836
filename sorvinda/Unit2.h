// The initialisation worker: clears the working folder's repositories,
// writes and runs the initialisation script, follows its console and the
// two result files, and ends with the branch lists filled or a failure.
#pragma once
#include <string>

#include "cl_thread.h"
#include "scripts.h"

class dlwThread : public cl::TThread {
public:
  // The values of the click, kept for the whole run.
  dlwThread(const std::string& srcPath, const std::string& branch, const std::string& gitBin,
            const std::string& host, const RunWaits& waits = RunWaits());

protected:
  void Execute() override;

private:
  void UpdateBranchLists();
  // Removes initdir\manifest, initdir\nh and initdir\origin; false when one
  // is still there after the bounded retries.
  bool ClearWorkingFolder();
  bool ResultsExist() const;
  std::string src_, branch_, gitBin_, host_;
  RunWaits waits_;
};
