#include "cl_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <memory>
#include <mutex>
#include <vector>

#include "cl_app.h"

namespace cl {

namespace {
std::mutex hookLock;
DialogHook& Hook() {
  static DialogHook hook;
  return hook;
}

std::string FilterWithNuls(const std::string& filter) {
  // "Text|*.txt|All|*.*" -> "Text\0*.txt\0All\0*.*\0\0"
  std::string f = filter;
  for (char& c : f)
    if (c == '|') c = '\0';
  f.push_back('\0');
  f.push_back('\0');
  return f;
}
// The common open or save dialog; buf receives the chosen name(s).
bool RunFileDialog(bool save, HWND owner, const std::string& title, const std::string& filter,
                   const std::string& fileName, const std::string& initialDir, const std::string& defaultExt,
                   DWORD flags, std::vector<char>& buf) {
  fileName.copy(buf.data(), buf.size() - 1);
  std::string filters = FilterWithNuls(filter);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner ? owner : Application.Handle();
  ofn.lpstrFilter = filter.empty() ? nullptr : filters.c_str();
  ofn.lpstrFile = buf.data();
  ofn.nMaxFile = static_cast<DWORD>(buf.size());
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
  ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | flags;
  return save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
}

}  // namespace

void SetDialogHook(DialogHook hook) {
  std::lock_guard<std::mutex> hold(hookLock);
  Hook() = std::move(hook);
}

bool HasDialogHook() {
  std::lock_guard<std::mutex> hold(hookLock);
  return static_cast<bool>(Hook());
}

bool AskHook(const DialogRequest& req, DialogAnswer& answer) {
  DialogHook hook;
  {
    std::lock_guard<std::mutex> hold(hookLock);
    hook = Hook();
  }
  if (!hook) return false;
  // The hook belongs to the interface thread (a test's script, the driver's
  // log): a worker's question is answered there, in turn with the rest.
  Application.Synchronize([&] { answer = hook(req); });
  return answer.result != DialogAnswer::kRunReal;
}

int MessageBox(HWND owner, const std::string& text, const std::string& title, UINT flags) {
  DialogRequest req;
  req.kind = DialogKind::MessageBox;
  req.owner = owner;
  req.title = title;
  req.text = text;
  req.flags = flags;
  DialogAnswer ans;
  if (AskHook(req, ans)) return ans.result;
  std::unique_ptr<TWindowDisabler> guard;
  if (owner == Application.Handle()) guard = std::make_unique<TWindowDisabler>();
  return MessageBoxA(owner, text.c_str(), title.c_str(), flags);
}

// A small input box built from a dialog template in memory.
namespace {
struct InputBoxState {
  const std::string* title;
  const std::string* prompt;
  std::string* value;
};

INT_PTR CALLBACK InputBoxProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded([&]() -> INT_PTR {
    switch (msg) {
      case WM_INITDIALOG: {
        auto* st = reinterpret_cast<InputBoxState*>(lp);
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        SetWindowTextA(dlg, st->title->c_str());
        SetDlgItemTextA(dlg, 100, st->prompt->c_str());
        SetDlgItemTextA(dlg, 101, st->value->c_str());
        SendDlgItemMessageA(dlg, 101, EM_SETSEL, 0, -1);
        return TRUE;
      }
      case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
          if (LOWORD(wp) == IDOK) {
            auto* st = reinterpret_cast<InputBoxState*>(GetWindowLongPtrA(dlg, DWLP_USER));
            char buf[1024] = {};
            GetDlgItemTextA(dlg, 101, buf, sizeof buf);
            *st->value = buf;
          }
          EndDialog(dlg, LOWORD(wp));
          return TRUE;
        }
    }
    return FALSE;
  });
}

// Appends one item of an in-memory dialog template.
void AddItem(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
             const wchar_t* text) {
  while (t.size() % 2) t.push_back(0);  // DWORD alignment
  DLGITEMTEMPLATE it{style | WS_CHILD | WS_VISIBLE, 0, x, y, cx, cy, id};
  const WORD* p = reinterpret_cast<const WORD*>(&it);
  t.insert(t.end(), p, p + sizeof it / 2);
  t.push_back(0xFFFF);
  t.push_back(cls);
  for (; *text; ++text) t.push_back(*text);
  t.push_back(0);
  t.push_back(0);
}
}  // namespace

bool InputQuery(const std::string& title, const std::string& prompt, std::string& value) {
  DialogRequest req;
  req.kind = DialogKind::InputBox;
  req.owner = Application.Handle();
  req.title = title;
  req.text = prompt;
  req.value = value;
  DialogAnswer ans;
  if (AskHook(req, ans)) {
    if (ans.result) value = ans.text;
    return ans.result != 0;
  }
  std::vector<WORD> t;
  DLGTEMPLATE dt{DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 4, 0, 0, 220, 66};
  const WORD* p = reinterpret_cast<const WORD*>(&dt);
  t.insert(t.end(), p, p + sizeof dt / 2);
  t.push_back(0);  // no menu
  t.push_back(0);  // default class
  t.push_back(0);  // no title (set at init)
  t.push_back(9);  // font size
  for (const wchar_t* f = L"宋体"; *f; ++f) t.push_back(*f);
  t.push_back(0);
  AddItem(t, SS_LEFT, 8, 6, 204, 10, 100, 0x0082, L"");
  AddItem(t, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8, 18, 204, 12, 101, 0x0081, L"");
  AddItem(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 108, 44, 50, 14, IDOK, 0x0080, L"确定");
  AddItem(t, BS_PUSHBUTTON | WS_TABSTOP, 162, 44, 50, 14, IDCANCEL, 0x0080, L"取消");
  std::string v = value;
  InputBoxState st{&title, &prompt, &v};
  TWindowDisabler guard;
  INT_PTR r = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                      Application.Handle(), InputBoxProc, reinterpret_cast<LPARAM>(&st));
  if (r != IDOK) return false;
  value = v;
  return true;
}

std::string InputBox(const std::string& title, const std::string& prompt, const std::string& defaultText) {
  std::string value = defaultText;
  return InputQuery(title, prompt, value) ? value : defaultText;
}

bool TOpenDialog::Execute() {
  DialogRequest req;
  req.kind = DialogKind::OpenFile;
  req.owner = Owner;
  req.title = Title;
  req.text = FileName;
  req.filter = Filter;
  req.flags = MultiSelect ? OFN_ALLOWMULTISELECT : 0;
  DialogAnswer ans;
  Files.clear();
  if (AskHook(req, ans)) {
    if (!ans.result) return false;
    Files = ans.files;
    if (Files.empty() && !ans.text.empty()) Files.push_back(ans.text);
    FileName = Files.empty() ? ans.text : Files.front();
    return true;
  }
  std::vector<char> buf(MultiSelect ? 65536 : MAX_PATH, '\0');
  DWORD flags = OFN_FILEMUSTEXIST | (MultiSelect ? OFN_ALLOWMULTISELECT : 0);
  if (!RunFileDialog(false, Owner, Title, Filter, FileName, InitialDir, DefaultExt, flags, buf)) return false;
  // Several files come as the folder, then the names, each NUL-terminated.
  const char* p = buf.data();
  std::string first = p;
  p += first.size() + 1;
  if (!*p) {
    Files.push_back(first);
  } else {
    std::string dir = first;
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    for (; *p; p += strlen(p) + 1) Files.push_back(dir + p);
  }
  FileName = Files.front();
  return true;
}

bool TSaveDialog::Execute() {
  DialogRequest req;
  req.kind = DialogKind::SaveFile;
  req.owner = Owner;
  req.title = Title;
  req.text = FileName;
  req.filter = Filter;
  DialogAnswer ans;
  if (AskHook(req, ans)) {
    if (!ans.result) return false;
    FileName = ans.text;
    return true;
  }
  std::vector<char> buf(MAX_PATH, '\0');
  if (!RunFileDialog(true, Owner, Title, Filter, FileName, InitialDir, DefaultExt, 0, buf)) return false;
  FileName = buf.data();
  return true;
}

void ItemIdListFree::operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }

ItemIdList ParseShellName(HWND owner, const std::wstring& name) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return nullptr;
  std::wstring text = name;  // the call takes a writable text
  ULONG eaten = 0;
  LPITEMIDLIST list = nullptr;
  HRESULT hr = desktop->ParseDisplayName(owner, nullptr, &text[0], &eaten, &list, nullptr);
  desktop->Release();
  if (FAILED(hr)) {
    // Nothing that a failed call leaves behind is taken for a folder.
    if (list) CoTaskMemFree(list);
    return nullptr;
  }
  return ItemIdList(list);
}

ItemIdList FolderChooserRoot(HWND owner) {
  if (ItemIdList root = ParseShellName(owner, L"\\")) return root;
  // Not every shell takes "\" for the current drive's root (Wine's desktop
  // does not): the same root spelled out.
  wchar_t full[MAX_PATH] = {};
  DWORD n = GetFullPathNameW(L"\\", MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  return ParseShellName(owner, full);
}

bool BrowseForFolder(HWND owner, const std::string& title, std::string& path) {
  DialogRequest req;
  req.kind = DialogKind::BrowseFolder;
  req.owner = owner;
  req.title = title;
  DialogAnswer ans;
  if (AskHook(req, ans)) {
    if (ans.result) path = ans.text;
    return ans.result != 0;
  }
  ItemIdList root = FolderChooserRoot(owner);
  char display[MAX_PATH] = {};
  BROWSEINFOA bi{};
  bi.hwndOwner = owner;
  bi.pidlRoot = root.get();
  bi.pszDisplayName = display;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&bi);
  bool ok = false;
  if (chosen) {
    char buf[MAX_PATH] = {};
    if (SHGetPathFromIDListA(chosen, buf)) {
      path = buf;
      ok = true;
    }
    CoTaskMemFree(chosen);
  }
  return ok;
}

}  // namespace cl
