// The life that the initialisation, download and switch workers share: the
// run's start time handed to the interface thread, the script written and
// started in a shown console, the wait for that console (given up after the
// wait's limit), the worker's own watch, the script deleted, one report, and
// the run slot given back however the worker ends. A worker supplies its
// script lines, its watch and its report.
#pragma once
#include <string>
#include <vector>

#include "cl_thread.h"
#include "rules.h"
#include "scripts.h"

class ScriptWorker : public cl::TThread {
public:
  // How a run ended.
  enum class Outcome {
    NotStarted,  // nothing ran: the script (or what it needs) could not be written
    NoConsole,   // the script's console never came up
    Broken,      // the console went before the work was done
    Done,        // the work was done
    Quit,        // the user agreed to quit: the script stays, nothing is reported
  };

protected:
  ScriptWorker(ConsoleKind kind, const std::string& srcPath, const std::string& scriptName, const RunWaits& waits,
               bool keepConsole = false);

  // The worker's body: what comes before the run, then RunScript.
  virtual void Work() { RunScript(); }
  void RunScript();

  // The script for the run's start time.
  virtual std::vector<std::string> ScriptLines(const std::string& startTime) = 0;
  // On the interface thread, beside StartTime: further globals of the run.
  virtual void PublishRun() {}
  // The last step before the script starts; false: the run is NotStarted.
  virtual bool BeforeStart() { return true; }
  // Follows the console that has come up until the run is Done, Broken or Quit.
  virtual Outcome Watch(const ScriptRun& run, HWND console) = 0;
  // Whether the script's work is done although its console was never found:
  // a script with little to do can end before the first search.
  virtual bool DoneWithoutConsole() const { return false; }
  // The run's one report, on the worker's thread, once its script is
  // deleted; a worker whose run cannot begin reports NotStarted itself.
  virtual void Report(Outcome outcome) = 0;

  const std::string src_;
  const RunWaits waits_;

private:
  void Execute() final;
  ConsoleKind kind_;
  std::string scriptPath_;
  bool keepConsole_;
};
