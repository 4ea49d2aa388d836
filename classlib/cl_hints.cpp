#include "cl_hints.h"

#include <commctrl.h>

#include <vector>

#include "cl_app.h"
#include "cl_sysutil.h"

namespace cl {

namespace {

// A tool is the control's whole window; the tooltip watches its mouse
// messages itself. The tool is named by the control's handle alone, so that
// it can be taken off after the window has gone.
TTTOOLINFOW ToolOf(HWND control) {
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = control;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  return ti;
}

}  // namespace

THintWindow::~THintWindow() {
  if (tip_ && IsWindow(tip_)) DestroyWindow(tip_);
  tip_ = nullptr;
}

bool THintWindow::Ensure() {
  if (tip_ && IsWindow(tip_)) return true;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  // Shown also while another program's window is active; texts are paths,
  // so "&" stays a character.
  tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Application.Handle(), nullptr,
                         GetModuleHandleA(nullptr), nullptr);
  return tip_ != nullptr;
}

void THintWindow::SetTool(HWND control, const std::string& text) {
  if (!control || !Ensure()) return;
  std::wstring wide = WideFromAnsi(text);
  TTTOOLINFOW ti = ToolOf(control);
  ti.lpszText = &wide[0];
  std::string current;
  if (ToolText(control, current))
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  else
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void THintWindow::RemoveTool(HWND control) {
  if (!control || !tip_ || !IsWindow(tip_)) return;
  TTTOOLINFOW ti = ToolOf(control);
  SendMessageW(tip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

bool THintWindow::ToolText(HWND control, std::string& text) const {
  text.clear();
  if (!control || !tip_ || !IsWindow(tip_)) return false;
  TTTOOLINFOW ti = ToolOf(control);
  if (!SendMessageW(tip_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti))) return false;
  // The wide message is told the buffer's size; the ANSI one assumes 80 bytes.
  std::vector<wchar_t> buf(1024, L'\0');
  ti = ToolOf(control);
  ti.lpszText = buf.data();
  SendMessageW(tip_, TTM_GETTEXTW, buf.size(), reinterpret_cast<LPARAM>(&ti));
  buf.back() = L'\0';
  text = AnsiFromWide(buf.data());
  return true;
}

}  // namespace cl
