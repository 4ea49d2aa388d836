#include "cl_sysutil.h"

#include <windows.h>

#include "cl_strings.h"

namespace cl {

namespace {
std::string& Override() {
  static std::string folder;
  return folder;
}

std::wstring ToWide(const std::string& s, UINT cp) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string FromWide(const std::wstring& w, UINT cp) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}
}  // namespace

std::string ProgramDir() {
  if (!Override().empty()) return Override();
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return ExtractFilePath(path);
}

void OverrideProgramDir(const std::string& folder) { Override() = folder; }

std::string LongPathName(const std::string& path) {
  DWORD n = GetLongPathNameA(path.c_str(), nullptr, 0);
  if (n == 0) return {};
  std::string out(n, '\0');
  n = GetLongPathNameA(path.c_str(), &out[0], n);
  if (n == 0 || n >= out.size()) return {};
  out.resize(n);
  return out;
}

std::string TempDir() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof buf, buf);
  if (n == 0 || n > MAX_PATH) return {};
  std::string longForm = LongPathName(buf);
  return IncludeTrailingBackslash(longForm.empty() ? std::string(buf) : longForm);
}

std::string Utf8FromWide(const std::wstring& text) { return FromWide(text, CP_UTF8); }
std::wstring WideFromUtf8(const std::string& text) { return ToWide(text, CP_UTF8); }
std::string AnsiFromWide(const std::wstring& text) { return FromWide(text, CP_ACP); }
std::wstring WideFromAnsi(const std::string& text) { return ToWide(text, CP_ACP); }
std::string AnsiFromUtf8(const std::string& text) { return AnsiFromWide(WideFromUtf8(text)); }
std::string Utf8FromAnsi(const std::string& text) { return Utf8FromWide(WideFromAnsi(text)); }

}  // namespace cl
