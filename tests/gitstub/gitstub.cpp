// git.exe for the tests: a Windows console program that runs the host's Linux
// git (/usr/bin/git) with the same arguments in the current directory, waits
// for it, and passes its standard output, standard error and exit code
// through. Built as build/tests/gitroot/bin/git.exe, so build/tests/gitroot
// is a git folder.
//
// Why not CreateProcess: Wine's process creation starts a Linux program
// without waiting for it and without its standard error. So the stand-in
// forks itself with raw Linux system calls, points the child's output at two
// temporary files, execs git there, waits for it with wait4 and then copies
// the files to its own standard handles (standard output first, then
// standard error). The child is cloned without an exit signal and waited for
// with __WALL, so no SIGCHLD disposition of Wine's can reap it first. git
// is killed when the stand-in ends (closing a console ends the git that runs
// in it on Windows too).
//
// Environment (paths may be Windows or Unix paths):
//   GITSTUB_HOME      required: HOME for git (holds the .gitconfig with
//                     user.name, user.email and pull.rebase=false).
//   GITSTUB_LOG       file: one line per invocation is appended, the current
//                     directory, a tab, the arguments joined by blanks, a tab
//                     and "ran N" (git's exit code N), "failed" or "blocked".
//   GITSTUB_FAIL      text: an invocation whose arguments (joined by blanks)
//                     or current directory contain it fails with exit code 1
//                     and "gitstub: failing on purpose: ..." on standard
//                     error, without running git.
//   GITSTUB_FAIL_COUNT file holding a decimal number: when set, only that many
//                     matching invocations fail (each one decrements it);
//                     once it reads 0, or is missing, they run git.
//   GITSTUB_BLOCK     text: an invocation matching it (as GITSTUB_FAIL) waits,
//                     before running git, until the file GITSTUB_RELEASE
//                     exists; for ever when GITSTUB_RELEASE is not set.
//   GITSTUB_RELEASE   file whose existence releases blocked invocations.
//   GITSTUB_BLOCKED   file created (holding the invocation) when an invocation
//                     starts to block, so a test can wait for that state.
// git only runs in the folder that holds GITSTUB_HOME or below it; anywhere
// else the stand-in exits 125 without running git.
// git itself runs with LC_ALL=C, HOME=$GITSTUB_HOME and PATH=/usr/bin:/bin
// only. Arguments that are drive-letter paths (C:\..., C:/...) are given to
// git as Unix paths; all others pass unchanged.
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#if !defined(__x86_64__)
#error "the git stand-in issues x86_64 Linux system calls"
#endif

namespace {

// Linux x86_64 system calls and flags.
namespace nr {
constexpr long long kOpen = 2, kClose = 3, kRtSigaction = 13, kRtSigprocmask = 14, kDup2 = 33, kGetpid = 39, kClone = 56,
               kExecve = 59, kWait4 = 61, kChdir = 80, kGetppid = 110, kPrctl = 157, kExitGroup = 231, kCloseRange = 436;
}
constexpr long long kORdonly = 0, kOWronly = 1, kOTrunc = 01000, kOCloexec = 02000000;
constexpr long long kWall = 0x40000000;  // wait4: any child, whatever its exit signal
constexpr long long kEintr = 4;
constexpr long long kPrSetPdeathsig = 1, kSigkill = 9;
constexpr int kLastSignal = 64;

// Linux registers are 64 bits wide; `long` is 32 bits in a Windows program.
using Reg = long long;

template <typename T>
Reg Ptr(T* p) {
  return reinterpret_cast<Reg>(p);
}

inline Reg Sys(Reg n, Reg a = 0, Reg b = 0, Reg c = 0, Reg d = 0, Reg e = 0, Reg f = 0) {
  register Reg r10 asm("r10") = d;
  register Reg r8 asm("r8") = e;
  register Reg r9 asm("r9") = f;
  Reg ret;
  asm volatile("syscall"
               : "=a"(ret)
               : "a"(n), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8), "r"(r9)
               : "rcx", "r11", "memory");
  return ret;
}

// The kernel's struct sigaction on x86_64 (all fields 8 bytes).
struct KernelSigaction {
  uint64_t handler;
  uint64_t flags;
  uint64_t restorer;
  uint64_t mask;
};
static_assert(sizeof(KernelSigaction) == 32, "kernel sigaction");

// Everything the child needs, prepared before the fork: after it the child
// makes system calls only, never a Windows or C library call.
struct ChildPlan {
  const char* program;
  char* const* argv;
  char* const* envp;
  const char* dir;
  long long in, out, err;
  long long parent;  // the stand-in's Linux process id
};

[[noreturn]] void RunChild(const ChildPlan& p) {
  // git ends with the stand-in, as a Windows git ends with its console.
  Sys(nr::kPrctl, kPrSetPdeathsig, kSigkill);
  if (Sys(nr::kGetppid) != p.parent) Sys(nr::kExitGroup, 127);
  Sys(nr::kDup2, p.in, 0);
  Sys(nr::kDup2, p.out, 1);
  Sys(nr::kDup2, p.err, 2);
  if (Sys(nr::kCloseRange, 3, Reg(~0u), 0) < 0)
    for (Reg fd = 3; fd < 4096; ++fd) Sys(nr::kClose, fd);
  // Ignored signals and the blocked mask survive an exec; git gets the
  // defaults, not what Wine set for its own threads.
  KernelSigaction dfl{};
  for (Reg sig = 1; sig <= kLastSignal; ++sig) Sys(nr::kRtSigaction, sig, Ptr(&dfl), 0, 8);
  uint64_t none = 0;
  Sys(nr::kRtSigprocmask, 2 /* SIG_SETMASK */, Ptr(&none), 0, 8);
  if (Sys(nr::kChdir, Ptr(p.dir)) == 0) Sys(nr::kExecve, Ptr(p.program), Ptr(p.argv), Ptr(p.envp));
  Sys(nr::kExitGroup, 127);
  for (;;) {
  }
}

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring Env(const wchar_t* name) {
  DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring v(n, L'\0');
  v.resize(GetEnvironmentVariableW(name, &v[0], n));
  return v;
}

bool IsDrivePath(const std::wstring& s) {
  return s.size() >= 3 && ((s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'a' && s[0] <= L'z')) && s[1] == L':' &&
         (s[2] == L'\\' || s[2] == L'/');
}

// Wine's own path conversions, looked up at run time.
using UnixNameFn = char*(CDECL*)(const wchar_t*);
using DosNameFn = wchar_t*(CDECL*)(const char*);

bool UnixPath(const std::wstring& win, std::string& unix) {
  static auto fn = reinterpret_cast<UnixNameFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return false;
  char* p = fn(win.c_str());
  if (!p) return false;
  unix = p;
  HeapFree(GetProcessHeap(), 0, p);
  return true;
}

// A path from the environment as Windows file functions need it.
std::wstring WindowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  static auto fn = reinterpret_cast<DosNameFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (!fn) return path;
  wchar_t* p = fn(Utf8(path).c_str());
  if (!p) return path;
  std::wstring w = p;
  HeapFree(GetProcessHeap(), 0, p);
  return w;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteHandle(HANDLE h, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    DWORD n = 0;
    if (!WriteFile(h, s.data() + done, DWORD(s.size() - done), &n, nullptr) || n == 0) return;
    done += n;
  }
}

void Complain(const std::string& text) {
  WriteHandle(GetStdHandle(STD_ERROR_HANDLE), "gitstub: " + text + "\n");
}

bool ReadWhole(const std::wstring& path, std::string& out) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0) out.append(buf, n);
  CloseHandle(h);
  return true;
}

bool WriteWhole(const std::wstring& path, const std::string& text, bool append) {
  HANDLE h = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = WriteFile(h, text.data(), DWORD(text.size()), &n, nullptr) && n == text.size();
  CloseHandle(h);
  return ok;
}

void Log(const std::string& invocation, const std::string& what) {
  const std::wstring log = Env(L"GITSTUB_LOG");
  if (!log.empty()) WriteWhole(WindowsPath(log), invocation + "\t" + what + "\n", true);
}

// Whether a GITSTUB_FAIL match fails now, counting down GITSTUB_FAIL_COUNT.
bool FailsNow() {
  const std::wstring countFile = Env(L"GITSTUB_FAIL_COUNT");
  if (countFile.empty()) return true;
  const std::wstring path = WindowsPath(countFile);
  std::string text;
  if (!ReadWhole(path, text)) return false;
  long left = std::strtol(text.c_str(), nullptr, 10);
  if (left <= 0) return false;
  WriteWhole(path, std::to_string(left - 1) + "\n", false);
  return true;
}

// Waits until the release file exists, woken by changes in its folder; the
// bounded wait only guards against a missed notification.
void BlockUntilReleased(const std::string& invocation) {
  const std::wstring blocked = Env(L"GITSTUB_BLOCKED");
  if (!blocked.empty()) WriteWhole(WindowsPath(blocked), invocation + "\n", false);
  const std::wstring release = WindowsPath(Env(L"GITSTUB_RELEASE"));
  if (release.empty()) Sleep(INFINITE);
  std::wstring dir = release.substr(0, release.find_last_of(L"\\/") + 1);
  HANDLE change = FindFirstChangeNotificationW(dir.empty() ? L"." : dir.c_str(), FALSE,
                                               FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
  while (!FileExists(release)) {
    if (change == INVALID_HANDLE_VALUE) {
      Sleep(50);
      continue;
    }
    WaitForSingleObject(change, 1000);
    FindNextChangeNotification(change);
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
}

// Runs git as planned and returns its exit code, or -1 when it could not be
// started or waited for.
int RunGit(ChildPlan plan) {
  plan.parent = Sys(nr::kGetpid);
  const Reg pid = Sys(nr::kClone, 0 /* no exit signal */, 0, 0, 0, 0);
  if (pid == 0) RunChild(plan);
  if (pid < 0) {
    Complain("clone failed: " + std::to_string(-pid));
    return -1;
  }
  int status = 0;
  Reg r;
  while ((r = Sys(nr::kWait4, pid, Ptr(&status), kWall, 0)) == -kEintr) {
  }
  if (r != pid) {
    Complain("wait4 failed: " + std::to_string(-r));
    return -1;
  }
  if ((status & 0x7f) == 0) return (status >> 8) & 0xff;
  return 128 + (status & 0x7f);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
  wchar_t cwdBuf[MAX_PATH * 4];
  const DWORD cwdLen = GetCurrentDirectoryW(MAX_PATH * 4, cwdBuf);
  const std::wstring cwd(cwdBuf, cwdLen);

  std::string joined;
  for (int i = 1; i < argc; ++i) joined += (i > 1 ? " " : "") + Utf8(wargv[i]);
  const std::string invocation = Utf8(cwd) + "\t" + joined;
  auto matches = [&](const wchar_t* var) {
    const std::string text = Utf8(Env(var));
    return !text.empty() && (joined.find(text) != std::string::npos || Utf8(cwd).find(text) != std::string::npos);
  };

  if (matches(L"GITSTUB_FAIL") && FailsNow()) {
    Log(invocation, "failed");
    Complain("failing on purpose: git " + joined);
    return 1;
  }
  if (matches(L"GITSTUB_BLOCK")) {
    Log(invocation, "blocked");
    BlockUntilReleased(invocation);
  }

  const std::wstring home = Env(L"GITSTUB_HOME");
  std::string unixHome, unixCwd;
  if (home.empty()) {
    Complain("GITSTUB_HOME is not set");
    return 126;
  }
  if (home[0] == L'/')
    unixHome = Utf8(home);
  else if (!UnixPath(home, unixHome)) {
    Complain("no Unix path for GITSTUB_HOME");
    return 126;
  }
  if (!UnixPath(cwd, unixCwd)) {
    Complain("no Unix path for the current directory");
    return 126;
  }
  // A test's script that lost its "cd" (an empty folder name, say) would
  // otherwise run git in whatever folder it started from, and a checkout
  // there could reset the project's own work tree.
  const std::string root = unixHome.substr(0, unixHome.find_last_of('/') + 1);
  if (root.size() < 2 || (unixCwd + "/").compare(0, root.size(), root) != 0) {
    Complain("refusing to run outside " + root + ": " + unixCwd);
    return 125;
  }

  std::vector<std::string> args{"git"};
  for (int i = 1; i < argc; ++i) {
    std::string unix;
    if (IsDrivePath(wargv[i]) && UnixPath(wargv[i], unix))
      args.push_back(unix);
    else
      args.push_back(Utf8(wargv[i]));
  }
  std::vector<std::string> env{"LC_ALL=C", "HOME=" + unixHome, "PATH=/usr/bin:/bin"};
  std::vector<char*> argvPtrs, envPtrs;
  for (auto& a : args) argvPtrs.push_back(&a[0]);
  argvPtrs.push_back(nullptr);
  for (auto& e : env) envPtrs.push_back(&e[0]);
  envPtrs.push_back(nullptr);

  // Temporary files for git's output, made and named by Windows, opened by
  // Linux for the child.
  wchar_t tempDir[MAX_PATH], outName[MAX_PATH], errName[MAX_PATH];
  GetTempPathW(MAX_PATH, tempDir);
  if (!GetTempFileNameW(tempDir, L"gso", 0, outName) || !GetTempFileNameW(tempDir, L"gse", 0, errName)) {
    Complain("cannot make temporary files");
    return 126;
  }
  std::string unixOut, unixErr;
  int code = -1;
  if (UnixPath(outName, unixOut) && UnixPath(errName, unixErr)) {
    const Reg in = Sys(nr::kOpen, Ptr("/dev/null"), kORdonly | kOCloexec);
    const Reg out = Sys(nr::kOpen, Ptr(unixOut.c_str()), kOWronly | kOTrunc | kOCloexec);
    const Reg err = Sys(nr::kOpen, Ptr(unixErr.c_str()), kOWronly | kOTrunc | kOCloexec);
    if (in >= 0 && out >= 0 && err >= 0)
      code = RunGit({"/usr/bin/git", argvPtrs.data(), envPtrs.data(), unixCwd.c_str(), in, out, err, 0});
    else
      Complain("cannot open the temporary files");
    for (Reg fd : {in, out, err})
      if (fd >= 0) Sys(nr::kClose, fd);
  }
  std::string outText, errText;
  ReadWhole(outName, outText);
  ReadWhole(errName, errText);
  DeleteFileW(outName);
  DeleteFileW(errName);
  WriteHandle(GetStdHandle(STD_OUTPUT_HANDLE), outText);
  WriteHandle(GetStdHandle(STD_ERROR_HANDLE), errText);
  if (code < 0) return 126;
  Log(invocation, "ran " + std::to_string(code));
  return code;
}
