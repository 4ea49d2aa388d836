#include "cl_pagectrl.h"

#include <commctrl.h>

#include "cl_app.h"

namespace cl {

namespace {
const char kPageControlClass[] = "ClPageControl";
}  // namespace

TTabSheet::TTabSheet(TPageControl* owner, int index, const std::string& caption)
    : TPanel(owner), owner_(owner), index_(index), tabText_(caption) {
  Name = "TabSheet" + std::to_string(index + 1);
  SetBevelOuter(bvNone);
}

void TTabSheet::SetCaption(const std::string& text) {
  tabText_ = text;
  owner_->SetTabText(index_, text);
}

LRESULT TTabSheet::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd_, &ps);
    EndPaint(hwnd_, &ps);
    return 0;
  }
  return TPanel::WndProc(msg, wp, lp);
}

TPageControl::TPageControl(TWinControl* parent) : TWinControl(parent) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  RegisterContainerClass(kPageControlClass, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  width_ = 289;
  height_ = 193;
  CreateWindowExA(WS_EX_CONTROLPARENT, kPageControlClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                  0, 0, width_, height_, parent ? parent->Handle() : nullptr, nullptr, GetModuleHandleA(nullptr),
                  static_cast<TWinControl*>(this));
  tabs_ = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, width_,
                          height_, hwnd_, nullptr, GetModuleHandleA(nullptr), nullptr);
  SendMessageA(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(Application.DefaultFont().Handle()), FALSE);
}

TTabSheet& TPageControl::AddPage(const std::string& caption) {
  int index = PageCount();
  pages_.push_back(std::unique_ptr<TTabSheet>(new TTabSheet(this, index, caption)));
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(caption.c_str());
  SendMessageA(tabs_, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
  // Sheets lie over the strip, whose later siblings would otherwise sit below it.
  SetWindowPos(pages_.back()->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (active_ < 0) active_ = index;
  SetActivePage(active_);
  return *pages_.back();
}

void TPageControl::SetActivePage(int i) {
  if (!Page(i)) return;
  active_ = i;
  SendMessageA(tabs_, TCM_SETCURSEL, i, 0);
  Layout();
  for (auto& p : pages_) ShowWindow(p->Handle(), p->index_ == i ? SW_SHOW : SW_HIDE);
}

void TPageControl::SetTabText(int i, const std::string& text) {
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(tabs_, TCM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
  Layout();
}

void TPageControl::Layout() {
  RECT r;
  GetClientRect(hwnd_, &r);
  MoveWindow(tabs_, 0, 0, r.right, r.bottom, TRUE);
  SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  for (auto& p : pages_) p->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

LRESULT TPageControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->hwndFrom == tabs_ && hdr->code == TCN_SELCHANGE) {
        SetActivePage(static_cast<int>(SendMessageA(tabs_, TCM_GETCURSEL, 0, 0)));
        return 0;
      }
      break;
    }
  }
  return TWinControl::WndProc(msg, wp, lp);
}

}  // namespace cl
