// The kernel-switch worker: writes and runs the switch script, waits for its
// console to come and go, and reports what the kernel's HEAD then names.
#pragma once
#include <string>

#include "scriptworker.h"

class linuxqiehuangThread : public ScriptWorker {
public:
  // The values of the click, kept for the whole run.
  linuxqiehuangThread(const std::string& srcPath, const std::string& kernelBranch, const std::string& gitBin,
                      const RunWaits& waits = RunWaits());

protected:
  std::vector<std::string> ScriptLines(const std::string& startTime) override;
  Outcome Watch(const ScriptRun& run, HWND console) override;
  void Report(Outcome outcome) override;

private:
  std::string kernel_, gitBin_;
};
