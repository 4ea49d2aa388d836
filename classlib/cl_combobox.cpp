#include "cl_combobox.h"

#include <cctype>

#include "cl_dirlist.h"

namespace cl {

TComboBox::TComboBox(TWinControl* parent) : TControl(parent) {
  width_ = 145;
  height_ = 200;  // the height of the dropped list; the edit keeps its own
  CreateChild("COMBOBOX", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL);
}

void TComboBox::AddItem(const std::string& item) {
  SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void TComboBox::ClearItems() {
  // CB_RESETCONTENT also empties the edit; the text is the program's to keep.
  std::string text = Text();
  SendMessageA(hwnd_, CB_RESETCONTENT, 0, 0);
  SetText(text);
}

int TComboBox::ItemCount() const { return static_cast<int>(SendMessageA(hwnd_, CB_GETCOUNT, 0, 0)); }

std::string TComboBox::Item(int i) const {
  LRESULT n = SendMessageA(hwnd_, CB_GETLBTEXTLEN, i, 0);
  if (n == CB_ERR) return {};
  std::string s(n + 1, '\0');
  n = SendMessageA(hwnd_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&s[0]));
  s.resize(n == CB_ERR ? 0 : n);
  return s;
}

std::vector<std::string> TComboBox::Items() const {
  std::vector<std::string> out;
  for (int i = 0, n = ItemCount(); i < n; ++i) out.push_back(Item(i));
  return out;
}

bool TComboBox::OnCommand(WORD code) {
  if (code == CBN_EDITCHANGE) {
    if (OnChange) OnChange(this);
    return true;
  }
  if (code == CBN_SELCHANGE) {
    // The edit takes the picked item only after this notification.
    int i = static_cast<int>(SendMessageA(hwnd_, CB_GETCURSEL, 0, 0));
    if (i >= 0) SetText(Item(i));
    if (OnChange) OnChange(this);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------

TDriveComboBox::TDriveComboBox(TWinControl* parent) : TControl(parent) {
  width_ = 145;
  height_ = 200;
  CreateChild("COMBOBOX", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
  Fill();
}

void TDriveComboBox::Fill() {
  SendMessageA(hwnd_, CB_RESETCONTENT, 0, 0);
  DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    std::string item = std::string(1, static_cast<char>('a' + i)) + ":";
    SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
}

char TDriveComboBox::Drive() const {
  int i = static_cast<int>(SendMessageA(hwnd_, CB_GETCURSEL, 0, 0));
  if (i < 0) return 0;
  char buf[8] = {};
  if (SendMessageA(hwnd_, CB_GETLBTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof buf)) return 0;
  SendMessageA(hwnd_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
  return buf[0];
}

void TDriveComboBox::SetDrive(char letter) {
  char key[3] = {static_cast<char>(std::tolower(static_cast<unsigned char>(letter))), ':', 0};
  int i = static_cast<int>(SendMessageA(hwnd_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(key)));
  SendMessageA(hwnd_, CB_SETCURSEL, i, 0);
}

bool TDriveComboBox::OnCommand(WORD code) {
  if (code != CBN_SELCHANGE) return false;
  char d = Drive();
  if (d && DirList && std::tolower(static_cast<unsigned char>(DirList->Drive())) != d)
    DirList->SetDirectory(std::string(1, d) + ":\\");
  if (OnChange) OnChange(this);
  return true;
}

}  // namespace cl
