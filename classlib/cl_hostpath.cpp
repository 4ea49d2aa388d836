#include "cl_hostpath.h"

#include <vector>

#include "cl_sysutil.h"

namespace cl {
namespace {

// The full form of a path, without a trailing backslash (a drive root keeps
// it). Short (8.3) names stay as they are: below the root such a name is
// another name of a file of a longer one, never the file it names.
std::wstring FullPath(const std::string& path) {
  const std::wstring wide = WideFromAnsi(path);
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::vector<wchar_t> buf(n + 1);
  n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
  if (n == 0 || n >= buf.size()) return {};
  std::wstring full(buf.data(), n);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

// Where the system ends up when it opens path, in the same form as
// FullPath; empty when it cannot be opened. Under Wine every link on the
// way is followed, the last one too; with openLink on Windows the last one
// is opened itself, and isLink tells whether it is one.
std::wstring EndPoint(const std::wstring& path, bool openLink, bool* isLink) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (openLink ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info;
  if (isLink) *isLink = !GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  std::vector<wchar_t> buf(MAX_PATH + 1);
  DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
  }
  CloseHandle(h);
  if (n == 0 || n >= buf.size()) return {};
  std::wstring p(buf.data(), n);
  if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    p = L"\\\\" + p.substr(8);
  else if (p.compare(0, 4, L"\\\\?\\") == 0)
    p = p.substr(4);
  while (p.size() > 3 && p.back() == L'\\') p.pop_back();
  return p;
}

bool SameNoCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

bool HostPathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsPlainBelow(const std::string& root, const std::string& path) {
  const std::wstring fullRoot = FullPath(root), full = FullPath(path);
  if (fullRoot.empty() || full.size() < fullRoot.size() || !SameNoCase(full.substr(0, fullRoot.size()), fullRoot))
    return false;
  std::wstring rest = full.substr(fullRoot.size());
  if (!rest.empty() && rest[0] == L'\\') {
    rest.erase(0, 1);
  } else if (!rest.empty() && fullRoot.back() != L'\\') {
    return false;  // "C:\ab" is not below "C:\a"
  }
  const std::wstring rootEnd = EndPoint(fullRoot, false, nullptr);
  if (rootEnd.empty()) return false;
  if (rest.empty()) return true;
  bool isLink = true;
  const std::wstring end = EndPoint(full, true, &isLink);
  return !end.empty() && !isLink && SameNoCase(end, rootEnd + (rootEnd.back() == L'\\' ? L"" : L"\\") + rest);
}

HANDLE CreateFreshFileBelow(const std::string& root, const std::string& path, DWORD access) {
  HANDLE file = CreateFileA(path.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  DWORD error = GetLastError();
  if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  // Deleting a link to a file would delete what it points at (under Wine);
  // a name taken by nothing visible is a link to nothing.
  if (!IsPlainBelow(root, path) || !DeleteFileA(path.c_str())) return INVALID_HANDLE_VALUE;
  return CreateFileA(path.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace cl
