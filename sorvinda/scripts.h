// The generated scripts and what runs them: the git server, the script texts
// as plain functions from values to lines, the script file writer, the
// command lines, the console of a run found by its exact title, and the
// deletion of the working folders. The initialisation, download and switch
// workers all go through here.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "rules.h"

// ---- Git server ------------------------------------------------------------------
// The server every script fetches from, unless SORVINDA_GIT_SERVER names
// another one (host or host:port).
constexpr char kGitServerHost[] = "android.git.kernel.org";
// The server an environment value names: the value when it is a host name
// (letters, digits, "." and "-") with an optional ":port", else the constant.
std::string GitServerFrom(const std::string& envValue);
// GitServerFrom of this process's SORVINDA_GIT_SERVER.
std::string GitServer();

// ---- Script texts ------------------------------------------------------------------
// The line that puts git's bin folder first on a script's path.
std::string PathLine(const std::string& gitBin);
// The line after a "cd /d" into folder: the script ends unless it now stands
// in that folder, so nothing meant for the folder runs anywhere else. It
// tests the folder itself: Wine's cmd runs both sides of "||" and "&&"
// whatever the result, and a "cd" that works leaves the error level alone.
std::string InFolderOrExitLine(const std::string& folder);
// The pause before a failed fetch is tried again, so that a failing server
// is not asked many times a second: four echoes one second apart. Wine's cmd
// has no "timeout"; "ping" pauses there as on Windows.
constexpr char kRetryPauseLine[] = "ping -n 4 127.0.0.1 >nul";
// "initdir\initbat.bat": fetches the manifest on branch, then asks the
// server about the kernel repository into "initdir\origin".
std::vector<std::string> InitScriptLines(const std::string& srcPath, const std::string& branch,
                                         const std::string& gitBin, const std::string& host,
                                         const std::string& startTime);
// "initdir\nhqh.bat": checks the kernel out on kernelBranch, the local
// branch when there is one, else a new one from origin.
std::vector<std::string> SwitchScriptLines(const std::string& srcPath, const std::string& kernelBranch,
                                           const std::string& gitBin, const std::string& startTime);

// Starts a command line (WinExec) and returns at once; tests put a
// recorder here.
extern std::function<UINT(const std::string& commandLine, UINT show)> RunCommand;

// Replaces a file of the program's folder: a plain file there is deleted
// (read-only, hidden and system ones included), and the file is made anew
// with CREATE_NEW, so nothing is ever written through a link. False (nothing
// written) when a link, or something invisible (a link to nothing), holds
// the name, or the bytes cannot be written whole.
bool WriteFreshFile(const std::string& path, const std::string& bytes);
// Every line followed by CR LF, the bytes as they are (the program's texts
// are GBK); replaces the file as WriteFreshFile does.
bool WriteScriptFile(const std::string& path, const std::vector<std::string>& lines);
// "cmd.exe /c " or "cmd.exe /k " (keep), then the script path.
std::string ScriptCommand(const std::string& scriptPath, bool keepConsole = false);
std::string DeleteScriptCommand(const std::string& scriptPath);

// True when a HEAD file's text is the symbolic reference to the local
// branch (blanks and line ends around it aside).
bool HeadNamesBranch(const std::string& headText, const std::string& branch);

// "Link" below means a link or junction of any kind, also one that shows as a
// plain file (Wine shows only links to folders as reparse points): a path
// that the system reaches somewhere else than where it names (see
// cl::IsPlainBelow). What a link points at is never listed, written,
// deleted or given other attributes. Where the system can remove a link by
// itself (Windows), it goes; where it cannot (Wine), it stays.

// Deletes a folder and everything in it, read-only, hidden and system
// entries included; links, the folder itself included, are removed, never
// followed. Errors are not reported: the caller sees the folder still there.
bool DeleteTree(const std::string& path);
// Deletes one file, read-only, hidden and system ones included; a link is
// removed as above. Errors are not reported.
void DeleteHostFile(const std::string& path);
// Whether the path is itself a link.
bool IsLinkOrJunction(const std::string& path);
// Whether the folder is a link, or holds one at any depth (the links are not
// followed). The program's own folder (initdir) must not: its scripts,
// progress files and repositories are written and deleted there, and git
// runs in them, never through a link to a folder or file outside the source
// folder.
bool HoldsLink(const std::string& folder);

// ---- Runs ----------------------------------------------------------------------------
// How long a run waits, and how often it looks.
struct RunWaits {
  DWORD appearMs = 60000;     // for the console to come up
  DWORD pollMs = 30;          // between searches where the script is watched closely
  DWORD slowPollMs = 500;     // between the other looks at windows and files
  int deleteTries = 100;      // attempts at removing the old working folders
  DWORD deletePauseMs = 50;
  DWORD scriptGoneMs = 10000;  // for the hidden delete of a script to take effect
  DWORD waitFormMs = 1000;     // the please-wait form stays up at least this long
  int manifestTests = 5;       // tests of the manifest's branch after the form closed
  DWORD scriptEndMs = 10000;   // for a complete download script's own end
};

// One script run with the values it started with: source folder and start
// time give its console's title, so browsing to another folder or a later
// script never makes it lose its console.
class ScriptRun {
public:
  ScriptRun(ConsoleKind kind, const std::string& srcPath, const std::string& scriptPath, const RunWaits& waits);
  ~ScriptRun();
  ScriptRun(const ScriptRun&) = delete;
  ScriptRun& operator=(const ScriptRun&) = delete;

  const std::string& Title() const { return title_; }
  const std::string& StartTime() const { return startTime_; }
  // Writes the lines as the script and starts it in a shown console; false
  // (nothing started) when the file cannot be written.
  bool Start(const std::vector<std::string>& lines, bool keepConsole = false);
  HWND Find() const;
  // The console once it is up; nullptr after the wait's limit, or as soon
  // as ended() holds: a script may end, and its console go, before the
  // first search.
  HWND WaitAppear(const std::function<bool()>& ended = nullptr) const;
  // Returns once the console has gone (no limit: the user may close it).
  void WaitGone() const;
  static void Close(HWND console);
  // The hidden delete of the script; returns once the file has gone (or
  // after the wait's limit), so the next run's script of the same name can
  // never be the one it deletes.
  void DeleteScript() const;

private:
  ConsoleKind kind_;
  std::string srcPath_, scriptPath_, startTime_, title_;
  RunWaits waits_;
};

// The title of the console of the run in progress of that kind; empty when
// none. The close handler looks for it besides the title of the globals.
std::string RunningConsoleTitle(ConsoleKind kind);
