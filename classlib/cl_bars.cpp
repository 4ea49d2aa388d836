#include "cl_bars.h"

#include <algorithm>

#include "cl_sysutil.h"

namespace cl {

namespace {
const char kToolNotifyClass[] = "ClToolBarNotify";

void EnsureBarClasses() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

}  // namespace

TImageList::TImageList(int width, int height) : width_(width), height_(height) {
  list_ = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 4, 4);
}

TImageList::~TImageList() {
  if (list_) ImageList_Destroy(list_);
}

int TImageList::AddBitmap(HBITMAP image, COLORREF maskColor) {
  return list_ && image ? ImageList_AddMasked(list_, image, maskColor) : -1;
}

int TImageList::AddIcon(HICON icon) { return list_ && icon ? ImageList_AddIcon(list_, icon) : -1; }

int TImageList::Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

// ---------------------------------------------------------------------------

void TCanvas::TextOut(int x, int y, const std::string& text) {
  int oldMode = SetBkMode(dc_, TRANSPARENT);
  ::TextOutA(dc_, x, y, text.c_str(), static_cast<int>(text.size()));
  SetBkMode(dc_, oldMode);
}

void TCanvas::FillRect(const RECT& r, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  ::FillRect(dc_, &r, brush);
  DeleteObject(brush);
}

void TCanvas::FrameRect(const RECT& r, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  ::FrameRect(dc_, &r, brush);
  DeleteObject(brush);
}

// ---------------------------------------------------------------------------

TStatusBar::TStatusBar(TWinControl* parent) : TControl(parent) {
  EnsureBarClasses();
  width_ = 200;
  height_ = 19;
  // Our layout places the bar; it must not move itself to the parent's bottom.
  CreateChild(STATUSCLASSNAMEA, "", WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER);
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TStatusBar::BarProc)));
  SetAlign(alBottom);
}

TStatusBar::~TStatusBar() {
  if (hwnd_ && IsWindow(hwnd_) && oldProc_)
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
}

// A bar that does not size itself does not lay its parts out again either.
LRESULT CALLBACK TStatusBar::BarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = dynamic_cast<TStatusBar*>(FromHandle(hwnd));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  return Guarded([&] {
    LRESULT result = CallWindowProcA(self->oldProc_, hwnd, msg, wp, lp);
    if (msg == WM_SIZE) self->SendParts();
    return result;
  });
}

void TStatusBar::AddPanel(int width, const std::string& text, bool ownerDraw) {
  panels_.push_back({width, text, ownerDraw});
  SendParts();
  SendText(PanelCount() - 1);
}

void TStatusBar::SendParts() {
  // Right edges of the parts. The last one is the bar's width now: the bar
  // lays its parts out again only when the edges change.
  RECT client;
  GetClientRect(hwnd_, &client);
  std::vector<int> edges;
  int x = 0;
  for (const Panel& p : panels_) {
    edges.push_back(x + p.width);
    if (edges.size() < panels_.size()) x += p.width;
  }
  if (edges.empty()) edges.push_back(0);
  edges.back() = std::max(x, static_cast<int>(client.right));
  SendMessageA(hwnd_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void TStatusBar::SendText(int i) {
  const Panel& p = panels_[i];
  // Owner-drawn parts carry their index as item data.
  if (p.ownerDraw)
    SendMessageA(hwnd_, SB_SETTEXTA, i | SBT_OWNERDRAW, i);
  else
    SendMessageA(hwnd_, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(p.text.c_str()));
}

std::string TStatusBar::PanelText(int i) const {
  return i >= 0 && i < PanelCount() ? panels_[i].text : std::string();
}

void TStatusBar::SetPanelText(int i, const std::string& text) {
  if (i < 0 || i >= PanelCount()) return;
  panels_[i].text = text;
  SendText(i);
  if (panels_[i].ownerDraw) {
    RECT r = PanelRect(i);
    InvalidateRect(hwnd_, &r, TRUE);
  }
}

RECT TStatusBar::PanelRect(int i) const {
  RECT r{0, 0, 0, 0};
  if (i >= 0 && i < PanelCount() && !SendMessageA(hwnd_, SB_GETRECT, i, reinterpret_cast<LPARAM>(&r)))
    r = RECT{0, 0, 0, 0};
  return r;
}

void TStatusBar::Repaint() {
  InvalidateRect(hwnd_, nullptr, TRUE);
  UpdateWindow(hwnd_);
}

void TStatusBar::ShowSimpleText(const std::string& text) {
  SendMessageA(hwnd_, SB_SIMPLE, TRUE, 0);
  SendMessageA(hwnd_, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void TStatusBar::ShowPanels() { SendMessageA(hwnd_, SB_SIMPLE, FALSE, 0); }

bool TStatusBar::OnDrawItem(DRAWITEMSTRUCT* dis) {
  int i = static_cast<int>(dis->itemID);
  if (i < 0 || i >= PanelCount()) return false;
  if (OnDrawPanel) {
    TCanvas canvas(dis->hDC);
    OnDrawPanel(this, i, dis->rcItem, canvas);
  }
  return true;
}

// ---------------------------------------------------------------------------

void TToolButton::SetEnabled(bool e) {
  enabled_ = e;
  SendMessageA(bar_->Handle(), TB_ENABLEBUTTON, id_, MAKELONG(e ? TRUE : FALSE, 0));
}

void TToolButton::SetVisible(bool v) {
  visible_ = v;
  SendMessageA(bar_->Handle(), TB_HIDEBUTTON, id_, MAKELONG(v ? FALSE : TRUE, 0));
}

void TToolButton::Click() {
  if (enabled_ && OnClick) OnClick();
}

TToolBar::TToolBar(TWinControl* parent) : TControl(parent) {
  EnsureBarClasses();
  width_ = 150;
  height_ = 29;
  CreateChild(TOOLBARCLASSNAMEA, "",
              WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN);
  SendMessageA(hwnd_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  notify_ = CreateMessageWindow(kToolNotifyClass, NotifyProc, static_cast<TControl*>(this));
  SendMessageA(hwnd_, TB_SETPARENT, reinterpret_cast<WPARAM>(notify_), 0);
}

TToolBar::~TToolBar() {
  if (hwnd_ && IsWindow(hwnd_)) SendMessageA(hwnd_, TB_SETPARENT, reinterpret_cast<WPARAM>(GetParent(hwnd_)), 0);
  if (notify_) DestroyWindow(notify_);
}

void TToolBar::SetImages(TImageList* images) {
  SendMessageA(hwnd_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
  Relayout();
}

void TToolBar::SetShowCaptions(bool show) {
  // With no text row the captions stay with the buttons but are not drawn.
  SendMessageA(hwnd_, TB_SETMAXTEXTROWS, show ? 1 : 0, 0);
  Relayout();
}

void TToolBar::SetButtonSize(int w, int h) {
  buttonW_ = w;
  buttonH_ = h;
  Relayout();
}

void TToolBar::Relayout() {
  if (buttonW_ > 0 && buttonH_ > 0) SendMessageA(hwnd_, TB_SETBUTTONSIZE, 0, MAKELONG(buttonW_, buttonH_));
  SendMessageA(hwnd_, TB_AUTOSIZE, 0, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

TToolButton& TToolBar::AddButton(const std::string& name, const std::string& caption, int imageIndex) {
  std::unique_ptr<TToolButton> b(new TToolButton(this, nextId_++));
  b->Name = name;
  b->Caption = caption;
  b->Hint = caption;
  b->ImageIndex = imageIndex;
  TBBUTTON tb{};
  tb.iBitmap = imageIndex >= 0 ? imageIndex : I_IMAGENONE;
  tb.idCommand = b->id_;
  tb.fsState = TBSTATE_ENABLED;
  tb.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
  tb.iString = reinterpret_cast<INT_PTR>(b->Caption.c_str());
  SendMessageA(hwnd_, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&tb));
  buttons_.push_back(std::move(b));
  Relayout();
  return *buttons_.back();
}

TToolButton* TToolBar::FindButton(const std::string& name) {
  for (auto& b : buttons_)
    if (b->Name == name) return b.get();
  return nullptr;
}

TToolButton* TToolBar::FindButton(int commandId) {
  for (auto& b : buttons_)
    if (b->id_ == commandId) return b.get();
  return nullptr;
}

RECT TToolBar::ButtonRect(const TToolButton& b) const {
  RECT r{0, 0, 0, 0};
  if (!SendMessageA(hwnd_, TB_GETRECT, b.id_, reinterpret_cast<LPARAM>(&r))) r = RECT{0, 0, 0, 0};
  return r;
}

LRESULT TToolBar::Notify(NMHDR* hdr) {
  switch (hdr->code) {
    case TTN_GETDISPINFOA: {
      auto* d = reinterpret_cast<NMTTDISPINFOA*>(hdr);
      if (TToolButton* b = FindButton(static_cast<int>(hdr->idFrom))) {
        d->hinst = nullptr;
        d->lpszText = const_cast<char*>(b->Hint.c_str());
      }
      return 0;
    }
    case TTN_GETDISPINFOW: {
      auto* d = reinterpret_cast<NMTTDISPINFOW*>(hdr);
      if (TToolButton* b = FindButton(static_cast<int>(hdr->idFrom))) {
        wideTip_ = WideFromAnsi(b->Hint);
        d->hinst = nullptr;
        d->lpszText = &wideTip_[0];
      }
      return 0;
    }
    case TBN_GETINFOTIPA: {
      auto* t = reinterpret_cast<NMTBGETINFOTIPA*>(hdr);
      TToolButton* b = FindButton(t->iItem);
      if (b && t->pszText && t->cchTextMax > 0) lstrcpynA(t->pszText, b->Hint.c_str(), t->cchTextMax);
      return 0;
    }
    case TBN_GETINFOTIPW: {
      auto* t = reinterpret_cast<NMTBGETINFOTIPW*>(hdr);
      TToolButton* b = FindButton(t->iItem);
      if (b && t->pszText && t->cchTextMax > 0) lstrcpynW(t->pszText, WideFromAnsi(b->Hint).c_str(), t->cchTextMax);
      return 0;
    }
  }
  return 0;
}

LRESULT CALLBACK TToolBar::NotifyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = dynamic_cast<TToolBar*>(FromHandle(hwnd));
  return Guarded([&]() -> LRESULT {
    if (self) {
      switch (msg) {
        case WM_COMMAND:
          if (reinterpret_cast<HWND>(lp) == self->hwnd_) {
            if (TToolButton* b = self->FindButton(static_cast<int>(LOWORD(wp)))) b->Click();
          }
          return 0;
        case WM_NOTIFY:
          return self->Notify(reinterpret_cast<NMHDR*>(lp));
        case WM_NOTIFYFORMAT:
          return NFR_ANSI;
      }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

// ---------------------------------------------------------------------------

TCoolBar::TCoolBar(TWinControl* parent) : TWinControl(parent) {
  EnsureBarClasses();
  width_ = 150;
  height_ = 75;
  CreateChild(REBARCLASSNAMEA, "",
              WS_VISIBLE | WS_CLIPCHILDREN | RBS_VARHEIGHT | RBS_BANDBORDERS | CCS_NODIVIDER | CCS_NORESIZE |
                  CCS_NOPARENTALIGN);
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TCoolBar::RebarProc)));
}

TCoolBar::~TCoolBar() {
  if (hwnd_ && IsWindow(hwnd_) && oldProc_)
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
}

void TCoolBar::AddBand(TControl* child, int minWidth, int minHeight) {
  if (!child || child->Parent() != this) return;
  REBARBANDINFOA band{};
  band.cbSize = REBARBANDINFOA_V3_SIZE;
  band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE | RBBIM_ID;
  band.fStyle = RBBS_CHILDEDGE;
  band.hwndChild = child->Handle();
  band.cxMinChild = minWidth;
  band.cyMinChild = minHeight;
  band.cx = std::max(minWidth, child->Width());
  band.wID = static_cast<UINT>(BandCount() + 1);
  SendMessageA(hwnd_, RB_INSERTBANDA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

int TCoolBar::BandCount() const { return static_cast<int>(SendMessageA(hwnd_, RB_GETBANDCOUNT, 0, 0)); }

int TCoolBar::BarHeight() const { return static_cast<int>(SendMessageA(hwnd_, RB_GETBARHEIGHT, 0, 0)); }

LRESULT CALLBACK TCoolBar::RebarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = dynamic_cast<TCoolBar*>(FromHandle(hwnd));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  return Guarded([&] { return self->BandProc(hwnd, msg, wp, lp); });
}

LRESULT TCoolBar::BandProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_DRAWITEM) {
    LRESULT result = 0;
    if (RouteToChild(msg, wp, lp, result)) return result;
    HWND from = nullptr;
    if (msg == WM_COMMAND)
      from = reinterpret_cast<HWND>(lp);
    else if (msg == WM_NOTIFY)
      from = reinterpret_cast<NMHDR*>(lp)->hwndFrom;
    else if (reinterpret_cast<DRAWITEMSTRUCT*>(lp)->CtlType != ODT_MENU)
      from = reinterpret_cast<DRAWITEMSTRUCT*>(lp)->hwndItem;
    // A band child of ours declined it: the rebar would pass it on to our
    // parent, which would ask the same child again.
    if (from && GetParent(from) == hwnd && FromHandle(from)) return result;
  }
  return CallWindowProcA(oldProc_, hwnd, msg, wp, lp);
}

}  // namespace cl
