#include "scripts.h"

#include <cstdlib>

#include "cl_datetime.h"
#include "cl_hostfile.h"
#include "cl_hostpath.h"
#include "cl_strings.h"

namespace {
const std::string DQ = "\"";

bool HostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// The running consoles' titles, shared by a worker and the close handler.
struct RunningTitles {
  RunningTitles() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::string titles[3];
};
RunningTitles& Running() {
  static RunningTitles r;
  return r;
}
void SetRunningTitle(ConsoleKind kind, const std::string& title) {
  RunningTitles& r = Running();
  EnterCriticalSection(&r.lock);
  r.titles[static_cast<int>(kind)] = title;
  LeaveCriticalSection(&r.lock);
}
}  // namespace

std::string GitServerFrom(const std::string& envValue) {
  std::string v = TrimText(envValue);
  size_t colon = v.find(':');
  std::string host = v.substr(0, colon), port = colon == std::string::npos ? "" : v.substr(colon + 1);
  bool ok = !host.empty() && (colon == std::string::npos || (!port.empty() && port.size() <= 5));
  for (char c : host) ok = ok && HostChar(c);
  for (char c : port) ok = ok && c >= '0' && c <= '9';
  return ok ? v : std::string(kGitServerHost);
}

std::string GitServer() {
  char buf[512] = {};
  DWORD n = GetEnvironmentVariableA("SORVINDA_GIT_SERVER", buf, sizeof buf);
  return GitServerFrom(n > 0 && n < sizeof buf ? std::string(buf, n) : std::string());
}

std::string PathLine(const std::string& gitBin) { return "set path=" + TrimText(gitBin) + ";%path% "; }

std::string InFolderOrExitLine(const std::string& folder) {
  return "if /i not " + DQ + "%cd%" + DQ + "==" + DQ + folder + DQ + " exit";
}

std::vector<std::string> InitScriptLines(const std::string& S, const std::string& B, const std::string& gitBin,
                                         const std::string& H, const std::string& T) {
  // The manifest's retry and the kernel query's retry have labels of their
  // own: an empty FETCH_HEAD pulls the manifest again, and a kernel answer
  // that is not yet usable asks the server again from the kernel repository.
  // The answer's test leaves its loop before jumping: not every cmd.exe
  // leaves a for loop on a goto. The changes of folder inside that block
  // are tested at the kernel query's label, where the block's jumps land:
  // inside the block "%cd%" still reads as it did before the block ran.
  return {
      "@echo off",
      "Setlocal ENABLEDELAYEDEXPANSION",
      "title " + ConsoleTitle(ConsoleKind::Init, S, T),
      PathLine(gitBin),
      "cd /d " + S + "initdir\\manifest",
      InFolderOrExitLine(S + "initdir\\manifest"),
      "git init",
      "git remote add origin git://" + H + "/platform/manifest.git",
      ":reinit",
      "git pull ",
      "for /f %%i in (" + DQ + S + "initdir\\manifest\\.git\\FETCH_HEAD" + DQ + ") do (",
      "if %%~zi LSS 1 (goto reinit))",
      "git checkout " + DQ + "origin/" + B + DQ + " -b " + DQ + B + DQ,
      "cd /d " + S + "initdir\\nh",
      InFolderOrExitLine(S + "initdir\\nh"),
      "git init",
      "git remote add origin git://" + H + "/kernel/common.git",
      ":rekernel",
      InFolderOrExitLine(S + "initdir\\nh"),
      "git remote show origin >" + S + "initdir\\origin",
      "cd /d " + S + "initdir",
      InFolderOrExitLine(S + "initdir"),
      "set initok=",
      "if exist origin (",
      "for /f " + DQ + "tokens=*" + DQ + " %%a in (origin) do (",
      "if /i " + DQ + "%%a" + DQ + " EQU " + DQ + "* remote origin" + DQ + " (",
      "set initok=1))",
      "if defined initok goto initok",
      "cd /d " + S + "initdir\\nh",
      "goto rekernel) else (",
      "cd /d " + S + "initdir\\nh",
      "goto rekernel)",
      ":initok",
      "exit",
  };
}

std::vector<std::string> SwitchScriptLines(const std::string& S, const std::string& K, const std::string& gitBin,
                                           const std::string& T) {
  const std::string warning = "echo 正在切换LINUX内核，请千万不要关闭此窗口!!!!!!!";
  return {
      "@echo off",
      "title " + ConsoleTitle(ConsoleKind::Switch, S, T),
      warning,
      warning,
      PathLine(gitBin),
      "cd /d " + S + "kernel",
      InFolderOrExitLine(S + "kernel"),
      "git rev-parse --verify --quiet " + DQ + "refs/heads/" + K + DQ + " >nul",
      "if errorlevel 1 (git checkout " + DQ + "origin/" + K + DQ + " -b " + DQ + K + DQ + ") else (git checkout " +
          DQ + K + DQ + ")",
      "exit",
  };
}

bool WriteFreshFile(const std::string& path, const std::string& bytes) {
  DeleteHostFile(path);
  return cl::WriteHostFile(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool WriteScriptFile(const std::string& path, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& l : lines) bytes += l + "\r\n";
  return WriteFreshFile(path, bytes);
}

std::function<UINT(const std::string&, UINT)> RunCommand = [](const std::string& commandLine, UINT show) {
  return WinExec(commandLine.c_str(), show);
};

std::string ScriptCommand(const std::string& scriptPath, bool keepConsole) {
  return (keepConsole ? "cmd.exe /k " : "cmd.exe /c ") + scriptPath;
}

std::string DeleteScriptCommand(const std::string& scriptPath) { return "cmd.exe /c del /f /a " + scriptPath; }

bool HeadNamesBranch(const std::string& headText, const std::string& branch) {
  return !branch.empty() && TrimText(headText) == "ref: refs/heads/" + branch;
}

namespace {
// The path without trailing backslashes, a drive root ("D:\\") kept whole,
// as the attribute and removal calls want it.
std::string WithoutTrailingBackslash(std::string p) {
  while (p.size() > 1 && p.back() == '\\' && p[p.size() - 2] != ':') p.pop_back();
  return p;
}

// A link or junction goes itself; what it points at stays. It is deleted
// through a handle that is the link (asked for as a reparse point, and
// showing as one): where the system opens the target instead, which Wine
// does, deleting through a path or that handle would remove the target, so
// both stay. Its attributes are left alone, as setting them could reach the
// target.
void RemoveLink(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
  }
  CloseHandle(h);
}
}  // namespace

bool IsLinkOrJunction(const std::string& path) {
  const std::string p = WithoutTrailingBackslash(path);
  return cl::HostPathExists(p) && !cl::IsPlainBelow(cl::ExtractFilePath(p), p);
}

bool HoldsLink(const std::string& folder) {
  if (IsLinkOrJunction(folder)) return true;
  const std::string p = cl::IncludeTrailingBackslash(folder);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((p + "*.*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    // ".." is the source folder: the user's choice, a link or not.
    const std::string name = fd.cFileName, full = p + name;
    if (name == "." || name == "..") continue;
    found = !cl::IsPlainBelow(p, full) || ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && HoldsLink(full));
  } while (!found && FindNextFileA(h, &fd));
  FindClose(h);
  return found;
}

void DeleteHostFile(const std::string& path) {
  if (!cl::HostPathExists(path)) return;
  if (IsLinkOrJunction(path)) {
    RemoveLink(path);
    return;
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

bool DeleteTree(const std::string& path) {
  // A folder handed over as a link is never listed: whatever it points at
  // may lie outside the folder the user chose.
  if (IsLinkOrJunction(path)) {
    RemoveLink(WithoutTrailingBackslash(path));
    return true;
  }
  const std::string p = cl::IncludeTrailingBackslash(path);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((p + "*.*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = fd.cFileName, full = p + name;
      if (name == "." || name == "..") continue;
      // Under Wine a link to a file lists as a plain file, and deleting it
      // would delete what it points at.
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !cl::IsPlainBelow(p, full)) {
        RemoveLink(full);
      } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(full);
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(full.c_str());
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(p.c_str());
  return true;
}

// ---------------------------------------------------------------------------

ScriptRun::ScriptRun(ConsoleKind kind, const std::string& srcPath, const std::string& scriptPath,
                     const RunWaits& waits)
    : kind_(kind), srcPath_(srcPath), scriptPath_(scriptPath), startTime_(cl::NowText()), waits_(waits) {
  title_ = ConsoleTitle(kind_, srcPath_, startTime_);
  SetRunningTitle(kind_, title_);
}

ScriptRun::~ScriptRun() { SetRunningTitle(kind_, ""); }

bool ScriptRun::Start(const std::vector<std::string>& lines, bool keepConsole) {
  if (!WriteScriptFile(scriptPath_, lines)) return false;
  RunCommand(ScriptCommand(scriptPath_, keepConsole), SW_SHOWNORMAL);
  return true;
}

HWND ScriptRun::Find() const { return FindWindowA(nullptr, title_.c_str()); }

HWND ScriptRun::WaitAppear(const std::function<bool()>& ended) const {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND w = Find()) return w;
    if (ended && ended()) return nullptr;
    if (GetTickCount() - start >= waits_.appearMs) return nullptr;
    Sleep(waits_.pollMs);
  }
}

void ScriptRun::WaitGone() const {
  while (Find()) Sleep(waits_.pollMs);
}

void ScriptRun::Close(HWND console) {
  if (console) SendMessageA(console, WM_CLOSE, 0, 0);
}

void ScriptRun::DeleteScript() const {
  RunCommand(DeleteScriptCommand(scriptPath_), SW_HIDE);
  const DWORD start = GetTickCount();
  while (cl::FileExists(scriptPath_) && GetTickCount() - start < waits_.scriptGoneMs) Sleep(waits_.pollMs);
}

std::string RunningConsoleTitle(ConsoleKind kind) {
  RunningTitles& r = Running();
  EnterCriticalSection(&r.lock);
  std::string t = r.titles[static_cast<int>(kind)];
  LeaveCriticalSection(&r.lock);
  return t;
}
