#include "cl_app.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "cl_dialogs.h"
#include "cl_messages.h"

namespace cl {

TApplication Application;
TScreen Screen;

namespace {
struct SyncCall {
  const std::function<void()>* fn;
  HANDLE done;
  std::exception_ptr error;
};
const char kAppClass[] = "ClApplication";
const char kFormClass[] = "ClForm";
}  // namespace

void TApplication::Initialize() {
  if (hwnd_) return;
  threadId_ = GetCurrentThreadId();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = AppProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kAppClass;
  RegisterClassExA(&wc);
  hwnd_ = CreateWindowExA(0, kAppClass, title_.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                          GetModuleHandleA(nullptr), nullptr);
}

void TApplication::SetTitle(const std::string& t) {
  title_ = t;
  if (hwnd_) SetWindowTextA(hwnd_, t.c_str());
}

void TApplication::AddForm(TForm* f) {
  adopted_.push_back(f);
  if (!mainForm_) mainForm_ = f;
}

LRESULT CALLBACK TApplication::AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CL_SYNC) {
    auto* call = reinterpret_cast<SyncCall*>(lp);
    try {
      (*call->fn)();
    } catch (...) {
      call->error = std::current_exception();
    }
    SetEvent(call->done);
    return 0;
  }
  return Guarded([&]() -> LRESULT {
    if (msg == WM_CL_CURSOR) {
      Screen.Apply();
      return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

namespace {
// The calling thread's event for Synchronize. A plain handle, released by
// ReleaseThreadEvent, and no object with a destructor: MinGW's runtime frees
// a thread's thread_local storage before it runs their destructors, so such a
// destructor would read memory another thread may already have reused, and
// close whatever handle it found there (the program's standard output, once).
thread_local HANDLE callerEvent = nullptr;
}  // namespace

void TApplication::ReleaseThreadEvent() {
  if (!callerEvent) return;
  CloseHandle(callerEvent);
  callerEvent = nullptr;
}

void TApplication::Synchronize(const std::function<void()>& fn) {
  if (GetCurrentThreadId() == threadId_ || !hwnd_) {
    fn();
    return;
  }
  // Posted, not sent: the call keeps its place behind messages the worker
  // posted before it (a click that opens the progress dialog, say).
  // One event per calling thread, made at its first call: a worker that
  // reports often pays no creation and release of an event per call.
  if (!callerEvent) callerEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SyncCall call{&fn, callerEvent, nullptr};
  if (call.done && PostMessageA(hwnd_, WM_CL_SYNC, 0, reinterpret_cast<LPARAM>(&call)))
    WaitForSingleObject(call.done, INFINITE);
  if (call.error) std::rethrow_exception(call.error);
}

bool TApplication::DispatchOne(MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return false;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  if (AfterDispatch) AfterDispatch();
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!DispatchOne(msg)) break;
  }
}

bool TApplication::RunUntil(const std::function<bool()>& pred) {
  MSG msg;
  while (!pred()) {
    if (terminated_) return false;
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
      terminated_ = true;
      return false;
    }
    DispatchOne(msg);
  }
  return true;
}

void TApplication::Run() {
  if (mainForm_) mainForm_->Show();
  MSG msg;
  while (!terminated_ && GetMessageA(&msg, nullptr, 0, 0)) DispatchOne(msg);
  terminated_ = true;
  DestroyForms();
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::DestroyForms() {
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) (*it)->DestroyForm();
  for (auto it = adopted_.rbegin(); it != adopted_.rend(); ++it) (*it)->DestroyForm();
  while (!forms_.empty()) forms_.pop_back();
  adopted_.clear();
  mainForm_ = nullptr;
}

void TApplication::HandleException(std::exception_ptr e) {
  // A handler that throws while its message is up (a paint, say) would stack
  // one box on another: the user hears of it once.
  if (reportingError_) return;
  reportingError_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reportingError_};
  std::string detail;
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    detail = ex.what();
  } catch (...) {
  }
  if (OnException) {
    OnException(detail);
    return;
  }
  // Qualified: an unqualified call would find the system function by its
  // handle argument and pass the seam by.
  cl::MessageBox(hwnd_, HandlerFailedText, "提示", MB_OK | MB_ICONINFORMATION);
}

void ReportHandlerException(std::exception_ptr e) {
  try {
    Application.HandleException(e);
  } catch (...) {
    // Nothing more can be told: the program goes on.
  }
}

void TScreen::SetCursor(LPCSTR cursor) {
  cursor_ = cursor;
  // One message in flight is enough: it applies whatever value is latest.
  if (Application.Handle() && InterlockedExchange(&pending_, 1) == 0)
    PostMessageA(Application.Handle(), WM_CL_CURSOR, 0, 0);
}

void TScreen::Apply() {
  InterlockedExchange(&pending_, 0);
  ::SetCursor(LoadCursorA(nullptr, cursor_));
}

// ---------------------------------------------------------------------------

TForm::TForm() : TWinControl(nullptr) {
  RegisterContainerClass(kFormClass, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                         LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)));
  CreateWindowExA(WS_EX_CONTROLPARENT, kFormClass, "", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400,
                  300, nullptr, nullptr, GetModuleHandleA(nullptr), this);
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Application.DefaultFont().Handle()), FALSE);
  SyncBoundsFromWindow();
}

TForm::~TForm() { DestroyForm(); }

void TForm::DestroyForm() {
  if (!hwnd_) return;
  if (OnDestroy) OnDestroy();
  HWND h = hwnd_;
  hwnd_ = nullptr;
  SetWindowLongPtrA(h, GWLP_USERDATA, 0);
  DestroyWindow(h);
}

void TForm::SetClientSize(int w, int h) {
  RECT r{0, 0, w, h};
  AdjustWindowRectEx(&r, GetWindowLongA(hwnd_, GWL_STYLE), FALSE, GetWindowLongA(hwnd_, GWL_EXSTYLE));
  SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
  SyncBoundsFromWindow();
  Realign();
}

void TForm::SetBorderStyle(TBorderStyle b, bool systemMenu) {
  border_ = b;
  LONG style = GetWindowLongA(hwnd_, GWL_STYLE) & ~(WS_OVERLAPPEDWINDOW | WS_POPUP | WS_DLGFRAME);
  LONG ex = GetWindowLongA(hwnd_, GWL_EXSTYLE) & ~WS_EX_DLGMODALFRAME;
  switch (b) {
    case bsSizeable: style |= WS_OVERLAPPEDWINDOW; break;
    case bsSingle: style |= WS_CAPTION | WS_MINIMIZEBOX | WS_MAXIMIZEBOX; break;
    case bsDialog: style |= WS_CAPTION; ex |= WS_EX_DLGMODALFRAME; break;
    case bsNone: style |= WS_POPUP; break;
  }
  if (systemMenu && b != bsNone) style |= WS_SYSMENU;
  SetWindowLongA(hwnd_, GWL_STYLE, style);
  SetWindowLongA(hwnd_, GWL_EXSTYLE, ex);
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void TForm::Center() {
  RECT area;
  if (Position == poOwnerFormCenter && Owner && Owner->Handle() && IsWindowVisible(Owner->Handle()))
    GetWindowRect(Owner->Handle(), &area);
  else if (Position != poDesigned)
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  else
    return;
  RECT r;
  GetWindowRect(hwnd_, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = area.left + (area.right - area.left - w) / 2, y = area.top + (area.bottom - area.top - h) / 2;
  SetWindowPos(hwnd_, nullptr, std::max(0, x), std::max(0, y), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SyncBoundsFromWindow();
}

void TForm::Show() {
  if (!shownOnce_) {
    shownOnce_ = true;
    Center();
  }
  bool wasVisible = IsWindowVisible(hwnd_);
  ShowWindow(hwnd_, SW_SHOW);
  Realign();
  if (!wasVisible && OnShow) OnShow();
}

void TForm::Hide() { ShowWindow(hwnd_, SW_HIDE); }

void TForm::Close() {
  TCloseAction action = modal_ ? caHide : (this == Application.MainForm() ? caFree : caHide);
  if (OnClose) OnClose(action);
  if (action == caNone) return;
  if (modal_) {
    if (ModalResult == mrNone) ModalResult = mrCancel;
    return;
  }
  if (this == Application.MainForm()) {
    Hide();
    Application.Terminate();
  } else {
    Hide();
  }
}

void TForm::SetModalResult(int r) { ModalResult = r; }

TWindowDisabler::TWindowDisabler(HWND except) {
  active_ = GetActiveWindow();
  if (active_ == except) active_ = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(&windows_));
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (*it == except) {
      it = windows_.erase(it);
    } else {
      EnableWindow(*it, FALSE);
      ++it;
    }
  }
}

TWindowDisabler::~TWindowDisabler() {
  for (HWND h : windows_)
    if (IsWindow(h)) EnableWindow(h, TRUE);
  if (active_ && IsWindow(active_) && IsWindowVisible(active_) && IsWindowEnabled(active_))
    SetActiveWindow(active_);
}

BOOL CALLBACK TWindowDisabler::Collect(HWND h, LPARAM lp) {
  if (IsWindowVisible(h) && IsWindowEnabled(h)) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

void ModalLoop(const std::function<bool()>& done) {
  MSG msg;
  while (!done()) {
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    Application.DispatchOne(msg);
  }
}

int TForm::ShowModal() {
  DialogRequest req;
  req.kind = DialogKind::ModalForm;
  req.title = Caption();
  req.form = this;
  DialogAnswer ans;
  if (AskHook(req, ans)) {
    ModalResult = ans.result;
    return ModalResult;
  }
  // Everything else of this thread waits while the form is up, and is
  // enabled and active again before the form goes.
  std::optional<TWindowDisabler> others(std::in_place, hwnd_);
  modal_ = true;
  ModalResult = mrNone;
  Show();
  SetForegroundWindow(hwnd_);
  MSG msg;
  while (ModalResult == mrNone && hwnd_) {
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_KEYDOWN && IsChild(hwnd_, msg.hwnd) && HandleDialogKey(msg.wParam)) continue;
    Application.DispatchOne(msg);
  }
  modal_ = false;
  others.reset();
  if (hwnd_) Hide();
  return ModalResult;
}

bool TForm::HandleDialogKey(WPARAM key) {
  if (key == VK_RETURN) {
    // Enter presses the default button, as in a dialog.
    std::vector<TControl*> all;
    CollectControls(all);
    for (TControl* c : all) {
      char cls[16] = {};
      GetClassNameA(c->Handle(), cls, sizeof cls);
      LONG style = GetWindowLongA(c->Handle(), GWL_STYLE);
      if (lstrcmpiA(cls, "Button") == 0 && (style & 0x0F) == BS_DEFPUSHBUTTON && IsWindowEnabled(c->Handle())) {
        SendMessageA(c->Handle(), BM_CLICK, 0, 0);
        return true;
      }
    }
  } else if (key == VK_ESCAPE && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_SYSMENU)) {
    // Escape closes a form that has a close box; the progress dialog has none.
    Close();
    return true;
  }
  return false;
}

TControl* TForm::FindControl(const std::string& name) const {
  std::vector<TControl*> all;
  CollectControls(all);
  for (TControl* c : all)
    if (c->Name == name) return c;
  return nullptr;
}

LRESULT TForm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SETCURSOR:
      if (Screen.Cursor() != IDC_ARROW && LOWORD(lp) == HTCLIENT) {
        Screen.Apply();
        return TRUE;
      }
      break;
    case WM_GETMINMAXINFO:
      break;
  }
  return TWinControl::WndProc(msg, wp, lp);
}

}  // namespace cl
