#include "hostlink.h"

#include <windows.h>

#include "cl_strings.h"
#include "cl_sysutil.h"

namespace testlink {
namespace {

// Runs a shell line on the host, then waits until the mark file exists
// (want) or has gone (!want): a host program's end cannot be waited for
// from Windows code, the mark it leaves can.
bool RunShellUntil(const std::string& line, const std::string& mark, bool want) {
  std::string command = "/bin/sh -c \"" + line + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  const DWORD start = GetTickCount();
  while (cl::FileExists(mark) != want) {
    if (GetTickCount() - start > 10000) return false;
    Sleep(5);
  }
  return true;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

std::string UnixName(const std::string& path) {
  using ToUnix = char*(CDECL*)(const WCHAR*);
  auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return {};
  const std::wstring wide = cl::WideFromAnsi(path);
  char* name = toUnix(wide.c_str());
  if (!name) return {};
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

HostLink::HostLink(const std::string& link, const std::string& target) : link_(link) {
  static int n = 0;
  mark_ = cl::TempDir() + "hostlink-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++n);
  DeleteFileA(mark_.c_str());
  unixLink_ = UnixName(link);
  const std::string unixTarget = UnixName(target), unixMark = UnixName(mark_);
  if (unixLink_.empty() || unixTarget.empty() || unixMark.empty()) {
    const DWORD a = GetFileAttributesA(target.c_str());
    const bool folder = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    made_ = CreateSymbolicLinkA(link.c_str(), target.c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) != 0;
    return;
  }
  made_ = RunShellUntil("ln -s " + Quoted(unixTarget) + " " + Quoted(unixLink_) + " && : > " + Quoted(unixMark),
                        mark_, true);
}

HostLink::~HostLink() {
  if (!made_) return;
  if (unixLink_.empty()) {
    // Windows removes a link by itself, never its target.
    if (!DeleteFileA(link_.c_str())) RemoveDirectoryA(link_.c_str());
    return;
  }
  // Under Wine a Win32 removal would reach the target: the host removes it.
  RunShellUntil("rm -f " + Quoted(unixLink_) + " && rm -f " + Quoted(UnixName(mark_)), mark_, false);
}

}  // namespace testlink
