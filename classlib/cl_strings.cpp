#include "cl_strings.h"

#include <windows.h>

#include "cl_hostfile.h"

namespace cl {

int TStringList::IndexOf(const std::string& s) const {
  for (size_t i = 0; i < Strings.size(); ++i)
    if (Strings[i] == s) return static_cast<int>(i);
  return -1;
}

std::string TStringList::Text() const {
  std::string out;
  for (const std::string& s : Strings) out += s + "\r\n";
  return out;
}

void TStringList::SetText(const std::string& text) {
  Strings.clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    Strings.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) Strings.push_back(text.substr(start));
}

std::string TStringList::CommaText() const {
  std::string out;
  for (size_t i = 0; i < Strings.size(); ++i) {
    if (i) out += ',';
    const std::string& s = Strings[i];
    bool quote = s.empty() ? false : s.find_first_of(" ,\"") != std::string::npos;
    for (unsigned char c : s)
      if (c < ' ') quote = true;
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TStringList::SetCommaText(const std::string& text) {
  Strings.clear();
  size_t i = 0, n = text.size();
  auto skipBlanks = [&] {
    while (i < n && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < n && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ') item += text[i++];
    }
    Strings.push_back(item);
    skipBlanks();
    if (i < n && text[i] == ',') {
      ++i;
      skipBlanks();
      if (i == n) Strings.push_back("");
    }
  }
}

bool TStringList::LoadFromFile(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return false;
  SetText(text);
  return true;
}

bool TStringList::SaveToFile(const std::string& path) const {
  // Made anew, never truncated: a name that is a link is left alone.
  HANDLE h = CreateFreshFile(path, GENERIC_WRITE);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string text = Text();
  DWORD put = 0;
  bool ok = text.empty() || (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
                             put == text.size());
  CloseHandle(h);
  return ok;
}

bool IsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != 0; }

size_t FileNameStart(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); i += CharBytes(path, i))
    if (path[i] == '\\' || path[i] == ':') start = i + 1;
  return start;
}

std::string ExtractFileName(const std::string& path) { return path.substr(FileNameStart(path)); }

std::string ExtractFilePath(const std::string& path) { return path.substr(0, FileNameStart(path)); }

std::string IncludeTrailingBackslash(const std::string& path) {
  if (!path.empty() && FileNameStart(path) == path.size() && path.back() == '\\') return path;
  return path + "\\";
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Offset of the last separator of path, by characters; npos when none.
size_t LastSeparator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); i += CharBytes(path, i))
    if (CharBytes(path, i) == 1 && IsSeparator(path[i])) last = i;
  return last;
}

// Bytes of the part of path that no one makes: "D:\" or "D:", "\\server\share\"
// (the share's separator included when there), a leading "\"; 0 when the
// path is relative.
size_t RootLength(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && !IsLeadByte(static_cast<unsigned char>(path[0])))
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    int separators = 0;  // after the server's name, then after the share's
    for (size_t i = 2; i < path.size(); i += CharBytes(path, i))
      if (CharBytes(path, i) == 1 && IsSeparator(path[i]) && ++separators == 2) return i + 1;
    return path.size();
  }
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}
}  // namespace

bool ForceDirectories(const std::string& path) {
  const size_t root = RootLength(path);
  std::string p = path;
  while (p.size() > root && LastSeparator(p) == p.size() - 1) p.pop_back();
  if (p.size() <= root) return !p.empty() && DirectoryExists(p);
  // The folder above is there nearly always: one call then, not a look at
  // each level first.
  if (CreateDirectoryA(p.c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_PATH_NOT_FOUND) return DirectoryExists(p);  // made already, or a file stands there
  const size_t cut = LastSeparator(p);
  // The folder above is the root, or there is none: nothing to make.
  if (cut == std::string::npos || cut + 1 <= root || !ForceDirectories(p.substr(0, cut))) return false;
  return CreateDirectoryA(p.c_str(), nullptr) || DirectoryExists(p);
}

bool ReadWholeFile(const std::string& path, std::string& content, bool writersShutOut) {
  const DWORD share = writersShutOut ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buf[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr)) && got > 0) text.append(buf, got);
  CloseHandle(h);
  if (!ok) return false;
  content.swap(text);
  return true;
}

bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

}  // namespace cl
