#include "rules.h"

#include <windows.h>

#include "cl_strings.h"

namespace {
// GBK is the code page of every text here, whatever the system's is.
constexpr UINT kGbk = 936;

bool LeadByte(const std::string& s, size_t i) {
  return i + 1 < s.size() && IsDBCSLeadByteEx(kGbk, static_cast<BYTE>(s[i]));
}

std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
  std::string out;
  size_t start = 0;
  for (size_t at; (at = s.find(from, start)) != std::string::npos; start = at + from.size())
    out += s.substr(start, at - start) + to;
  return out + s.substr(start);
}

std::string RemoveChar(std::string s, char c) {
  std::string out;
  for (char x : s)
    if (x != c) out += x;
  return out;
}
}  // namespace

std::string TrimText(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

size_t FindNoCase(const std::string& text, const std::string& what) { return UpperAscii(text).find(UpperAscii(what)); }

bool ContainsNoCase(const std::string& text, const std::string& what) {
  return FindNoCase(text, what) != std::string::npos;
}

std::vector<std::string> CommaSplit(const std::string& text) {
  cl::TStringList list;
  list.SetCommaText(text);
  return list.Strings;
}

bool IsUnsafeText(const std::string& text) {
  static const std::string kSpecial = "&|<>^%!\"();,=";
  for (size_t i = 0; i < text.size(); ++i) {
    if (LeadByte(text, i)) {
      ++i;  // the trail byte belongs to the character
      continue;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c <= ' ' || c == 0x7F || kSpecial.find(static_cast<char>(c)) != std::string::npos) return true;
  }
  return false;
}

std::string ReadSettingFile(const std::string& path) {
  cl::TStringList list;
  if (!list.LoadFromFile(path)) return {};
  std::string text = list.Text();
  return TrimText(text);
}

bool WriteSettingFile(const std::string& path, const std::string& text) {
  cl::TStringList list;
  list.Add(text);
  return list.SaveToFile(path);
}

std::string SourcePathFrom(const std::string& editText) { return cl::IncludeTrailingBackslash(TrimText(editText)); }

std::string ConsoleTitle(ConsoleKind kind, const std::string& srcPath, const std::string& startTime) {
  switch (kind) {
    case ConsoleKind::Init: return "正在初始化" + srcPath + "(下载开始时间：" + startTime + ")";
    case ConsoleKind::Download: return "正在下载到" + srcPath + "(下载开始时间：" + startTime + ")";
    case ConsoleKind::Switch: break;
  }
  return "正在切换LINUX内核" + srcPath + "(开始时间：" + startTime + ")";
}

bool FetchHeadEntry(const std::string& line, std::string& entry) {
  size_t at = line.find("branch");
  if (at == std::string::npos) return false;
  std::string s = line.substr(at);
  for (int pass = 0; pass < 8; ++pass) s = ReplaceAll(s, "  ", " ");
  s = RemoveChar(s, '\'');
  std::vector<std::string> items = CommaSplit(s);
  if (items.size() < 2 || items[1].empty()) return false;
  entry = items[1];
  return true;
}

bool HeadBranch(const std::vector<std::string>& lines, std::string& branch) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  text = RemoveChar(text, ' ');
  for (char& c : text)
    if (c == '/') c = ' ';
  std::vector<std::string> items = CommaSplit(text);
  if (items.empty()) return false;
  std::string last = TrimText(items.back());
  if (last.empty()) return false;
  branch = last;
  return true;
}

OriginInfo ReadOrigin(const std::vector<std::string>& lines) {
  OriginInfo info;
  if (lines.empty() || UpperAscii(lines[0]) != UpperAscii("* remote origin")) return info;
  info.accepted = true;
  for (const std::string& line : lines) {
    if (ContainsNoCase(line, "HEAD branch")) {
      std::string t = TrimText(line);
      size_t at = FindNoCase(t, "HEAD branch:");
      if (at != std::string::npos) t.erase(at, std::string("HEAD branch:").size());
      // Nothing after the colon empties the kernel box: the server named no head.
      info.headText = TrimText(t);
      info.hasHeadText = true;
    }
    if (ContainsNoCase(line, "remotes/origin")) {
      // A branch line starts with the name and goes on with git's remark.
      std::vector<std::string> items = CommaSplit(TrimText(line));
      if (items.size() >= 2 && !TrimText(items[0]).empty()) info.branches.push_back(TrimText(items[0]));
    }
  }
  return info;
}

bool FileSizeAboveZero(const std::string& path) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(path.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return fd.nFileSizeHigh != 0 || fd.nFileSizeLow != 0;
}

std::string ListingValue(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& l : lines) {
    size_t eq = l.find('=');
    if (eq != std::string::npos && UpperAscii(l.substr(0, eq)) == UpperAscii(name)) return l.substr(eq + 1);
  }
  return {};
}

std::vector<std::string> SplitPathValue(const std::string& value) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  for (char c : value) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

bool GitDirFromPathEntry(const std::string& entry, std::string& dir) {
  // Component boundaries, walking characters so a trail byte 0x5C never splits.
  std::vector<size_t> starts{0}, ends;
  for (size_t i = 0; i < entry.size(); ++i) {
    if (LeadByte(entry, i)) {
      ++i;
      continue;
    }
    if (entry[i] == '\\' || entry[i] == '/') {
      ends.push_back(i);
      starts.push_back(i + 1);
    }
  }
  ends.push_back(entry.size());
  for (size_t k = 0; k + 1 < starts.size(); ++k) {
    std::string comp = UpperAscii(entry.substr(starts[k], ends[k] - starts[k]));
    std::string next = UpperAscii(entry.substr(starts[k + 1], ends[k + 1] - starts[k + 1]));
    if (comp.size() < 3 || comp.compare(comp.size() - 3, 3, "GIT") != 0 || next != "BIN") continue;
    dir = entry.substr(0, ends[k]);
    for (size_t i = 0; i < dir.size(); ++i) {
      if (LeadByte(dir, i))
        ++i;
      else if (dir[i] == '/')
        dir[i] = '\\';
    }
    dir += '\\';
    return true;
  }
  return false;
}

std::vector<std::string> GitDirsFromListing(const std::vector<std::string>& lines) {
  std::vector<std::string> dirs;
  for (const std::string& entry : SplitPathValue(ListingValue(lines, "path"))) {
    std::string dir;
    if (GitDirFromPathEntry(entry, dir)) dirs.push_back(dir);
  }
  return dirs;
}

std::string ListingCommand(const std::string& programDir) {
  return "cmd.exe /c set>\"" + programDir + "tempgitpath.dat\"";
}

std::string ManifestRestoreCommand(const std::string& gitBin, const std::string& srcPath) {
  // The quoted form of set keeps blanks and parentheses of the git folder
  // (C:\Program Files (x86)\Git\bin) inside the value.
  return "cmd.exe /c set \"PATH=" + gitBin + ";%PATH%\" && cd /d " + srcPath + "initdir\\manifest && git checkout -f";
}
