#include "cl_dirlist.h"

#include <algorithm>

#include "cl_strings.h"

namespace cl {

namespace {
// "C:\a\b" -> {"C:\", "C:\a", "C:\a\b"}, splitting by characters.
std::vector<std::string> Ancestors(const std::string& dir) {
  std::vector<std::string> out;
  std::string rest = dir;
  while (!rest.empty()) {
    out.push_back(rest);
    if (rest.size() <= 3 && rest.size() >= 2 && rest[1] == ':') break;
    size_t cut = FileNameStart(rest);
    if (cut == 0) break;
    std::string parent = rest.substr(0, cut);
    if (!(parent.size() == 3 && parent[1] == ':')) parent.pop_back();
    if (parent == rest) break;
    rest = parent;
  }
  std::reverse(out.begin(), out.end());
  return out;
}

std::string FullFolder(const std::string& path) {
  char buf[MAX_PATH * 2] = {};
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  std::string full = (n == 0 || n >= sizeof buf) ? path : std::string(buf, n);
  // Drop a trailing "\" except at a drive root.
  while (full.size() > 3 && full.back() == '\\' && FileNameStart(full) == full.size()) full.pop_back();
  return full;
}
}  // namespace

TDirectoryListBox::TDirectoryListBox(TWinControl* parent) : TControl(parent) {
  width_ = 145;
  height_ = 97;
  CreateChild("LISTBOX", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE);
  char cur[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof cur, cur);
  dir_ = FullFolder(cur);
  Fill();
}

bool TDirectoryListBox::SetDirectory(const std::string& path) {
  if (path.empty() || !DirectoryExists(path)) return false;
  std::string full = FullFolder(path);
  bool changed = lstrcmpiA(full.c_str(), dir_.c_str()) != 0;
  dir_ = full;
  Fill();
  if (changed && OnChange) OnChange(this);
  return true;
}

void TDirectoryListBox::Update() { Fill(); }

void TDirectoryListBox::Fill() {
  SendMessageA(hwnd_, LB_RESETCONTENT, 0, 0);
  paths_.clear();
  std::vector<std::string> texts;
  std::vector<std::string> up = Ancestors(dir_);
  for (size_t i = 0; i < up.size(); ++i) {
    std::string name = i == 0 ? up[i] : ExtractFileName(up[i]);
    texts.push_back(std::string(2 * i, ' ') + name);
    paths_.push_back(up[i]);
  }
  int current = static_cast<int>(paths_.size()) - 1;
  std::vector<std::string> subs;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((IncludeTrailingBackslash(dir_) + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && n != "." && n != "..") subs.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  std::sort(subs.begin(), subs.end(), [](const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
  });
  for (const std::string& s : subs) {
    texts.push_back(std::string(2 * up.size(), ' ') + s);
    paths_.push_back(IncludeTrailingBackslash(dir_) + s);
  }
  for (const std::string& t : texts) SendMessageA(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
  SendMessageA(hwnd_, LB_SETCURSEL, current, 0);
}

std::string TDirectoryListBox::ItemText(int i) const {
  LRESULT n = SendMessageA(hwnd_, LB_GETTEXTLEN, i, 0);
  if (n == LB_ERR) return {};
  std::string s(n + 1, '\0');
  n = SendMessageA(hwnd_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&s[0]));
  s.resize(n == LB_ERR ? 0 : n);
  return s;
}

std::string TDirectoryListBox::ItemPath(int i) const {
  return i >= 0 && i < static_cast<int>(paths_.size()) ? paths_[i] : std::string();
}

int TDirectoryListBox::ItemIndex() const { return static_cast<int>(SendMessageA(hwnd_, LB_GETCURSEL, 0, 0)); }

void TDirectoryListBox::SetItemIndex(int i) { SendMessageA(hwnd_, LB_SETCURSEL, i, 0); }

bool TDirectoryListBox::OnCommand(WORD code) {
  if (code == LBN_SELCHANGE) {
    if (OnClick) OnClick(this);
    return true;
  }
  if (code == LBN_DBLCLK) {
    SetDirectory(ItemPath(ItemIndex()));
    return true;
  }
  return false;
}

}  // namespace cl
