#include "cl_linklabel.h"

namespace cl {

TLinkLabel::TLinkLabel(TWinControl* parent, const std::string& caption) : TLabel(parent, caption) {
  SetWindowLongA(hwnd_, GWL_STYLE, GetWindowLongA(hwnd_, GWL_STYLE) | SS_NOTIFY);
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TLinkLabel::LinkProc)));
}

TLinkLabel::~TLinkLabel() {
  if (hwnd_ && IsWindow(hwnd_)) {
    SendMessageA(hwnd_, WM_SETFONT, 0, FALSE);
    if (oldProc_) SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
  }
  if (underlined_) DeleteObject(underlined_);
}

void TLinkLabel::SetLinkFont(TFont& font) {
  LOGFONTA lf{};
  GetObjectA(font.Handle(), sizeof lf, &lf);
  lf.lfUnderline = TRUE;
  HFONT f = CreateFontIndirectA(&lf);
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
  if (underlined_) DeleteObject(underlined_);
  underlined_ = f;
  SetCaption(Caption());  // size to the new font
}

bool TLinkLabel::Underlined() const {
  auto f = reinterpret_cast<HFONT>(SendMessageA(hwnd_, WM_GETFONT, 0, 0));
  LOGFONTA lf{};
  return f && GetObjectA(f, sizeof lf, &lf) && lf.lfUnderline;
}

bool TLinkLabel::OnCommand(WORD code) {
  if (code != STN_CLICKED) return false;
  if (OnClick) OnClick(this);
  return true;
}

LRESULT CALLBACK TLinkLabel::LinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = dynamic_cast<TLinkLabel*>(FromHandle(hwnd));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == WM_SETCURSOR) {
    SetCursor(LoadCursorA(nullptr, IDC_HAND));
    return TRUE;
  }
  return CallWindowProcA(self->oldProc_, hwnd, msg, wp, lp);
}

}  // namespace cl
