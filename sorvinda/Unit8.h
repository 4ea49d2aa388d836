// The kernel-switch worker: writes and runs the switch script, waits for its
// console to come and go, and reports what the kernel's HEAD then names.
#pragma once
#include <string>

#include "cl_thread.h"
#include "scripts.h"

class linuxqiehuangThread : public cl::TThread {
public:
  // The values of the click, kept for the whole run.
  linuxqiehuangThread(const std::string& srcPath, const std::string& kernelBranch, const std::string& gitBin,
                      const RunWaits& waits = RunWaits());

protected:
  void Execute() override;

private:
  std::string src_, kernel_, gitBin_;
  RunWaits waits_;
};
