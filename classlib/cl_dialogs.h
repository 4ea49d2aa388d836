// Every modal question passes through one seam: the real dialog by default,
// scripted answers when a test or the session driver installs a hook.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cl {

class TForm;

enum class DialogKind { MessageBox, InputBox, OpenFile, SaveFile, BrowseFolder, ModalForm };

struct DialogRequest {
  DialogKind kind = DialogKind::MessageBox;
  HWND owner = nullptr;
  std::string title;   // caption of the box or dialog
  std::string text;    // message text, input prompt, default file name
  std::string value;   // input box default text
  std::string filter;  // file dialogs
  UINT flags = 0;      // MessageBox flags; file dialogs: OFN_ flags
  TForm* form = nullptr;
};

// result: the button (IDYES...), 1/0 for accepted/cancelled dialogs, the
// modal result of a form; kRunReal lets the real dialog run.
struct DialogAnswer {
  static constexpr int kRunReal = -1;
  int result = 0;
  std::string text;                 // input box text, chosen path
  std::vector<std::string> files;   // open dialog with several files
};

// The hook may be asked from any thread: workers show their own messages.
using DialogHook = std::function<DialogAnswer(const DialogRequest&)>;
void SetDialogHook(DialogHook hook);
bool HasDialogHook();
// Asks the hook; returns false when no hook is set or it said kRunReal. The
// hook always runs on the interface thread: a worker's question waits there
// for its turn, so any thread may ask.
bool AskHook(const DialogRequest& req, DialogAnswer& answer);

// MessageBoxA through the seam.
int MessageBox(HWND owner, const std::string& text, const std::string& title, UINT flags);
// An input box: false when cancelled.
bool InputQuery(const std::string& title, const std::string& prompt, std::string& value);
// An input box that gives back the default text when cancelled.
std::string InputBox(const std::string& title, const std::string& prompt, const std::string& defaultText);

// Common open and save dialogs.
class TOpenDialog {
public:
  std::string Title, Filter, FileName, InitialDir, DefaultExt;
  bool MultiSelect = false;
  std::vector<std::string> Files;
  HWND Owner = nullptr;
  bool Execute();
};
class TSaveDialog {
public:
  std::string Title, Filter, FileName, InitialDir, DefaultExt;
  HWND Owner = nullptr;
  bool Execute();
};

// An item-id list of the shell, released with the task allocator.
struct ItemIdListFree {
  void operator()(ITEMIDLIST* list) const;
};
using ItemIdList = std::unique_ptr<ITEMIDLIST, ItemIdListFree>;
// The desktop folder's parse of a display name; null when it cannot be parsed.
ItemIdList ParseShellName(HWND owner, const std::wstring& name);
// The folder chooser's root: the root of the current drive (the display name
// "\", or that root spelled out where the shell does not take "\"); null,
// which roots the chooser at the desktop, when neither parses.
ItemIdList FolderChooserRoot(HWND owner);

// The shell's folder chooser rooted at FolderChooserRoot, file-system folders
// only; false when cancelled.
bool BrowseForFolder(HWND owner, const std::string& title, std::string& path);

}  // namespace cl
