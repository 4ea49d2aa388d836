#include "cl_sysutil.h"

#include <windows.h>

#include <mutex>

#include "cl_strings.h"

namespace cl {

namespace {

std::mutex overrideLock;
std::string programDirOverride;

std::string NarrowFromWide(UINT codePage, const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring WideFromNarrow(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

}  // namespace

std::string ProgramDir() {
  {
    std::lock_guard<std::mutex> hold(overrideLock);
    if (!programDirOverride.empty()) return programDirOverride;
  }
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return ExtractFilePath(path);
}

void OverrideProgramDir(const std::string& folder) {
  std::lock_guard<std::mutex> hold(overrideLock);
  programDirOverride = folder;
}

std::string TempDir() {
  char buffer[255] = {};
  DWORD n = GetTempPathA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  std::string longName = LongPathName(buffer);
  return longName.empty() ? std::string(buffer, n) : longName;
}

std::string LongPathName(const std::string& path) {
  char buffer[260] = {};
  GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

std::string Utf8FromWide(const std::wstring& text) { return NarrowFromWide(CP_UTF8, text); }
std::wstring WideFromUtf8(const std::string& text) { return WideFromNarrow(CP_UTF8, text); }
std::string AnsiFromWide(const std::wstring& text) { return NarrowFromWide(CP_ACP, text); }
std::wstring WideFromAnsi(const std::string& text) { return WideFromNarrow(CP_ACP, text); }
std::string AnsiFromUtf8(const std::string& utf8) { return AnsiFromWide(WideFromUtf8(utf8)); }
std::string Utf8FromAnsi(const std::string& ansi) { return Utf8FromWide(WideFromAnsi(ansi)); }

}  // namespace cl
