#include "scriptworker.h"

#include "Unit1.h"

namespace {
std::atomic<HWND>& ConsoleWndOf(ConsoleKind kind) {
  switch (kind) {
    case ConsoleKind::Init:
      return InitConsoleWnd;
    case ConsoleKind::Download:
      return DownloadConsoleWnd;
    case ConsoleKind::Switch:
      break;
  }
  return SwitchConsoleWnd;
}
}  // namespace

ScriptWorker::ScriptWorker(ConsoleKind kind, const std::string& srcPath, const std::string& scriptName,
                           const RunWaits& waits, bool keepConsole)
    : src_(srcPath), waits_(waits), kind_(kind), scriptPath_(srcPath + scriptName), keepConsole_(keepConsole) {}

void ScriptWorker::Execute() {
  struct RunEnd {
    ~RunEnd() { EndRun(); }
  } runEnd;
  Work();
}

void ScriptWorker::RunScript() {
  if (HoldsLink(src_ + "initdir")) {
    Report(Outcome::NotStarted);
    return;
  }
  ScriptRun run(kind_, src_, scriptPath_, waits_);
  const std::vector<std::string> lines = ScriptLines(run.StartTime());
  std::atomic<HWND>& consoleWnd = ConsoleWndOf(kind_);
  consoleWnd = nullptr;
  // The close handler reads the globals on the interface thread: set them there.
  Synchronize([this, &run] {
    StartTime = run.StartTime();
    PublishRun();
  });
  if (!BeforeStart() || !run.Start(lines, keepConsole_)) {
    Report(Outcome::NotStarted);
    return;
  }
  const HWND console = run.WaitAppear([this] { return DoneWithoutConsole(); });
  consoleWnd = console;
  const Outcome outcome =
      console ? Watch(run, console) : DoneWithoutConsole() ? Outcome::Done : Outcome::NoConsole;
  if (outcome == Outcome::Quit) return;
  run.DeleteScript();
  Report(outcome);
}
