// The application object, forms and the screen cursor.
#pragma once
#include <windows.h>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cl_control.h"
#include "cl_hints.h"

namespace cl {

enum TModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrYes = IDYES, mrNo = IDNO };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TBorderStyle { bsSizeable, bsDialog, bsSingle, bsNone };
enum TPosition { poDesigned, poScreenCenter, poOwnerFormCenter };

class TForm;

// What the user is told when a handler fails on something no handler expects
// (memory exhausted, say): the command at hand did not complete.
constexpr char HandlerFailedText[] = "程序出错，操作未完成！";

// Owns the hidden application window, which owns message boxes and runs the
// calls that workers hand to the user-interface thread.
class TApplication {
public:
  void Initialize();
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t);
  // Forms are created in order; the first becomes the main form.
  template <class F>
  F* CreateForm() {
    auto f = std::make_unique<F>();
    F* raw = f.get();
    forms_.push_back(std::move(f));
    if (!mainForm_) mainForm_ = raw;
    return raw;
  }
  // Adopts a form created elsewhere (first one becomes the main form).
  void AddForm(TForm* f);
  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* f) { mainForm_ = f; }
  // Shows the main form and runs the message loop until it closes.
  void Run();
  // Handles every message waiting now, then returns.
  void ProcessMessages();
  // Runs the loop until pred() holds (or the main form closed); tests and
  // the driver wait on states this way, never on sleeps.
  bool RunUntil(const std::function<bool()>& pred);
  bool Terminated() const { return terminated_; }
  void Terminate();
  HWND Handle() const { return hwnd_; }
  DWORD ThreadId() const { return threadId_; }
  TFont& DefaultFont() { return font_; }
  // The tooltip of the controls that show hints.
  THintWindow& Hints() { return hints_; }
  // Destroys the forms in reverse order of creation.
  void DestroyForms();
  // Exceptions that reach a window procedure end here: one "提示" box with
  // HandlerFailedText through the dialog seam, or OnException (given the
  // exception's own text) when set. A second failure while the box is up is
  // not shown again.
  void HandleException(std::exception_ptr e);
  std::function<void(const std::string&)> OnException;
  // Runs after every message this thread dispatches, nested loops included
  // (the session driver watches the progress dialog with it).
  std::function<void()> AfterDispatch;

  // Runs a call on the user-interface thread, in order with posted messages.
  void Synchronize(const std::function<void()>& call);
  // Closes the calling thread's Synchronize event; a thread that called
  // Synchronize calls this before it ends (TThread does).
  void ReleaseThreadEvent();
  bool DispatchOne(MSG& msg);

private:
  static LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
  DWORD threadId_ = 0;
  std::string title_;
  // Before the forms: their controls take their tools off as they go.
  THintWindow hints_;
  std::vector<std::unique_ptr<TForm>> forms_;
  std::vector<TForm*> adopted_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool reportingError_ = false;
  TFont font_;
};

extern TApplication Application;

// The screen cursor: any thread may set it; the user-interface thread applies it.
class TScreen {
public:
  void SetCursor(LPCSTR cursor);  // IDC_WAIT, IDC_ARROW...
  LPCSTR Cursor() const { return cursor_; }
  void Apply();

private:
  volatile LPCSTR cursor_ = IDC_ARROW;
  volatile LONG pending_ = 0;  // an apply message is on its way
};
extern TScreen Screen;

// A top-level window with aligned children.
class TForm : public TWinControl {
public:
  TForm();
  ~TForm() override;
  const char* KindName() const override { return "TForm"; }

  void SetClientSize(int w, int h);
  void SetBorderStyle(TBorderStyle b, bool systemMenu = true);
  TPosition Position = poScreenCenter;
  TForm* Owner = nullptr;  // centring and modal owner

  void Show();
  void Hide();
  void Close();
  // Runs the form modally (through the dialog seam) and returns ModalResult.
  int ShowModal();
  bool IsModal() const { return modal_; }
  int ModalResult = mrNone;
  void SetModalResult(int r);

  std::function<void()> OnCreate, OnShow, OnDestroy;
  std::function<void(TCloseAction& action)> OnClose;

  // Runs OnDestroy and destroys the window; the form object stays.
  void DestroyForm();
  // Looks a control up by name among all descendants.
  TControl* FindControl(const std::string& name) const;

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void Center();
  // Enter and Escape in a modal form; true when the key was used.
  bool HandleDialogKey(WPARAM key);

private:
  bool modal_ = false;
  bool shownOnce_ = false;
  TBorderStyle border_ = bsSizeable;
};

// Disables the visible, enabled windows of this thread while it lives, as a
// modal form or box does to the rest of the program. As it ends it enables
// them again and gives the activation back to the window that had it: a
// modal window that goes while they are all disabled leaves the system no
// window of the program to activate, so it activates another program's, or
// the hidden owner of a box. The activation stays inside the program: a user
// who went to another program meanwhile is not pulled back.
class TWindowDisabler {
public:
  explicit TWindowDisabler(HWND except = nullptr);
  ~TWindowDisabler();
  TWindowDisabler(const TWindowDisabler&) = delete;
  TWindowDisabler& operator=(const TWindowDisabler&) = delete;

private:
  static BOOL CALLBACK Collect(HWND h, LPARAM lp);
  std::vector<HWND> windows_;
  HWND active_ = nullptr;
};

// Runs a nested message loop until done() holds; synchronised calls and
// posted clicks keep being served.
void ModalLoop(const std::function<bool()>& done);

}  // namespace cl
