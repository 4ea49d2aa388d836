#include "cl_stdctrls.h"

#include <commctrl.h>

#include <algorithm>

#include "cl_app.h"

namespace cl {

namespace {
const char kPanelClass[] = "ClPanel";
const char kSplitterClass[] = "ClSplitter";
const char kImageClass[] = "ClImage";
const char kRadioGroupClass[] = "ClRadioGroup";

void RegisterPlainClass(const char* name, WNDPROC proc, LPCSTR cursor, HBRUSH background) {
  WNDCLASSEXA wc{};
  if (GetClassInfoExA(GetModuleHandleA(nullptr), name, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, cursor);
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  RegisterClassExA(&wc);
}

void EnsureCommonControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

HWND CreateContainer(const char* cls, const std::string& text, TWinControl* parent, int w, int h, TWinControl* self) {
  return CreateWindowExA(WS_EX_CONTROLPARENT, cls, text.c_str(),
                         WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, w, h,
                         parent ? parent->Handle() : nullptr, nullptr, GetModuleHandleA(nullptr), self);
}

void SetExStyleBit(HWND hwnd, DWORD bit, bool on) {
  LONG ex = GetWindowLongA(hwnd, GWL_EXSTYLE);
  SetWindowLongA(hwnd, GWL_EXSTYLE, on ? (ex | bit) : (ex & ~static_cast<LONG>(bit)));
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int FontHeight(HWND hwnd, HFONT font) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return tm.tmHeight;
}
}  // namespace

void TBitmapHandle::Reset(HBITMAP bmp) {
  if (bmp_ && bmp_ != bmp) DeleteObject(bmp_);
  bmp_ = bmp;
}

// ---------------------------------------------------------------------------

TPanel::TPanel(TWinControl* parent) : TWinControl(parent) {
  RegisterContainerClass(kPanelClass, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  width_ = 185;
  height_ = 41;
  CreateContainer(kPanelClass, "", parent, width_, height_, this);
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Application.DefaultFont().Handle()), FALSE);
}

void TPanel::SetBevelOuter(TBevelCut b) {
  outer_ = b;
  BevelChanged();
}

void TPanel::SetBevelInner(TBevelCut b) {
  inner_ = b;
  BevelChanged();
}

void TPanel::BevelChanged() {
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Realign();
}

void TPanel::SetCaption(const std::string& text) {
  TControl::SetCaption(text);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TPanel::PaintBevels() {
  HDC dc = GetWindowDC(hwnd_);
  RECT r;
  GetWindowRect(hwnd_, &r);
  OffsetRect(&r, -r.left, -r.top);
  for (TBevelCut b : {outer_, inner_}) {
    if (b != bvNone) DrawEdge(dc, &r, b == bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  }
  ReleaseDC(hwnd_, dc);
}

LRESULT TPanel::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCCALCSIZE: {
      // Both forms of the message start with the proposed window rectangle.
      auto* r = reinterpret_cast<RECT*>(lp);
      int b = BevelWidth();
      r->left += b;
      r->top += b;
      r->right = std::max(r->left, r->right - b);
      r->bottom = std::max(r->top, r->bottom - b);
      return 0;
    }
    case WM_NCPAINT:
      PaintBevels();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      std::string text = Caption();
      if (!text.empty()) {
        RECT r;
        GetClientRect(hwnd_, &r);
        HGDIOBJ old = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
      }
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_CTLCOLORSTATIC:
      if (auto* label = dynamic_cast<TLabel*>(FromHandle(reinterpret_cast<HWND>(lp)))) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, label->TextColor());
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      [[fallthrough]];
    case WM_CTLCOLOREDIT: {
      auto* memo = dynamic_cast<TMemo*>(FromHandle(reinterpret_cast<HWND>(lp)));
      if (memo && memo->TextColor != CLR_INVALID) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, memo->TextColor);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    }
  }
  return TWinControl::WndProc(msg, wp, lp);
}

// ---------------------------------------------------------------------------

TButton::TButton(TWinControl* parent, const std::string& caption) : TControl(parent) {
  width_ = 75;
  height_ = 25;
  CreateChild("BUTTON", caption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
}

void TButton::SetDefault(bool d) {
  default_ = d;
  SendMessageA(hwnd_, BM_SETSTYLE, d ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
  if (ModalResult != 0) {
    TControl* top = this;
    while (top->Parent()) top = top->Parent();
    if (auto* form = dynamic_cast<TForm*>(top)) form->SetModalResult(ModalResult);
  }
  if (OnClick) OnClick(this);
}

bool TButton::OnCommand(WORD code) {
  if (code != BN_CLICKED) return false;
  Click();
  return true;
}

// ---------------------------------------------------------------------------

TEdit::TEdit(TWinControl* parent) : TControl(parent) {
  width_ = 121;
  height_ = 21;
  CreateChild("EDIT", "", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
}

void TEdit::SetReadOnly(bool r) { SendMessageA(hwnd_, EM_SETREADONLY, r, 0); }

bool TEdit::ReadOnly() const { return (GetWindowLongA(hwnd_, GWL_STYLE) & ES_READONLY) != 0; }

void TEdit::SetBorder(bool b) { SetExStyleBit(hwnd_, WS_EX_CLIENTEDGE, b); }

// ---------------------------------------------------------------------------

TLabel::TLabel(TWinControl* parent, const std::string& caption) : TControl(parent) {
  CreateChild("STATIC", caption, WS_VISIBLE | SS_LEFT | SS_NOPREFIX);
  FitToText();
}

void TLabel::SetCaption(const std::string& text) {
  TControl::SetCaption(text);
  FitToText();
}

void TLabel::SetAutoSize(bool a) {
  autoSize_ = a;
  FitToText();
}

void TLabel::FitToText() {
  if (!autoSize_ || !hwnd_) return;
  std::string text = Caption();
  HDC dc = GetDC(hwnd_);
  auto font = reinterpret_cast<HFONT>(SendMessageA(hwnd_, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  SIZE s{0, 0};
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  if (!text.empty()) GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  SetBounds(left_, top_, s.cx, tm.tmHeight);
}

// ---------------------------------------------------------------------------

TMemo::TMemo(TWinControl* parent) : TControl(parent) {
  width_ = 185;
  height_ = 89;
  CreateChild("EDIT", "", WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, WS_EX_CLIENTEDGE);
}

void TMemo::SetLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  SetCaption(text);
}

std::vector<std::string> TMemo::Lines() const {
  std::vector<std::string> lines;
  std::string text = Caption();
  if (text.empty()) return lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

void TMemo::SetReadOnly(bool r) { SendMessageA(hwnd_, EM_SETREADONLY, r, 0); }

void TMemo::SetVerticalScrollBar(bool v) {
  LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
  SetWindowLongA(hwnd_, GWL_STYLE, v ? (style | WS_VSCROLL) : (style & ~WS_VSCROLL));
  ShowScrollBar(hwnd_, SB_VERT, v);
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// ---------------------------------------------------------------------------

TLabeledEdit::TLabeledEdit(TWinControl* parent) : TEdit(parent), EditLabel(parent, "") {
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TLabeledEdit::EditProc)));
}

TLabeledEdit::~TLabeledEdit() {
  if (hwnd_ && IsWindow(hwnd_) && oldProc_)
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
}

void TLabeledEdit::SetLabel(const std::string& text, bool left) {
  labelLeft_ = left;
  EditLabel.SetCaption(text);
  PlaceLabel();
}

void TLabeledEdit::PlaceLabel() {
  RECT r;
  GetWindowRect(hwnd_, &r);
  MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
  int w = EditLabel.Width(), h = EditLabel.Height();
  if (labelLeft_)
    EditLabel.SetBounds(r.left - kSpacing - w, r.top + (r.bottom - r.top - h) / 2, w, h);
  else
    EditLabel.SetBounds(r.left, r.top - kSpacing - h, w, h);
}

LRESULT CALLBACK TLabeledEdit::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded([&]() -> LRESULT {
    auto* self = dynamic_cast<TLabeledEdit*>(FromHandle(hwnd));
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    LRESULT result = CallWindowProcA(self->oldProc_, hwnd, msg, wp, lp);
    if (msg == WM_WINDOWPOSCHANGED) {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
      if (pos->flags & SWP_SHOWWINDOW) ShowWindow(self->EditLabel.Handle(), SW_SHOWNA);
      if (pos->flags & SWP_HIDEWINDOW) ShowWindow(self->EditLabel.Handle(), SW_HIDE);
      if ((pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) self->PlaceLabel();
    } else if (msg == WM_ENABLE) {
      EnableWindow(self->EditLabel.Handle(), static_cast<BOOL>(wp));
    }
    return result;
  });
}

// ---------------------------------------------------------------------------

TBevel::TBevel(TWinControl* parent) : TControl(parent) {
  width_ = 50;
  height_ = 2;
  CreateChild("STATIC", "", WS_VISIBLE | SS_ETCHEDHORZ);
}

// ---------------------------------------------------------------------------

TSplitter::TSplitter(TWinControl* parent) : TControl(parent) {
  RegisterPlainClass(kSplitterClass, SplitterProc, IDC_SIZEWE, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  width_ = 3;
  height_ = 100;
  CreateChild(kSplitterClass, "", WS_VISIBLE);
  SetAlign(alLeft);
}

TControl* TSplitter::Neighbour() const {
  if (!parent_) return nullptr;
  const auto& all = parent_->Controls();
  auto me = std::find(all.begin(), all.end(), this);
  while (me != all.begin()) {
    --me;
    if ((*me)->Align() == alLeft && (*me)->Visible()) return *me;
  }
  return nullptr;
}

POINT TSplitter::ParentPoint(LPARAM lp) const {
  POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  MapWindowPoints(hwnd_, parent_->Handle(), &p, 1);
  return p;
}

void TSplitter::Drag(int parentX) {
  TControl* n = Neighbour();
  if (!n) return;
  // The rest keeps MinSize: it is what lies right of the splitter now,
  // the client-aligned control when there is one.
  RECT pr;
  GetClientRect(parent_->Handle(), &pr);
  int rest = pr.right - (left_ + width_);
  for (TControl* c : parent_->Controls())
    if (c->Align() == alClient && c->Visible()) rest = c->Width();
  int maxWidth = n->Width() + rest - MinSize;
  int w = startWidth_ + (parentX - startX_);
  w = std::max(MinSize, std::min(w, maxWidth));
  if (w != n->Width()) n->SetWidth(w);
}

LRESULT CALLBACK TSplitter::SplitterProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded([&]() -> LRESULT {
    auto* self = dynamic_cast<TSplitter*>(FromHandle(hwnd));
    if (self && self->parent_) {
      switch (msg) {
        case WM_LBUTTONDOWN:
          if (TControl* n = self->Neighbour()) {
            self->dragging_ = true;
            self->startX_ = self->ParentPoint(lp).x;
            self->startWidth_ = n->Width();
            SetCapture(hwnd);
          }
          return 0;
        case WM_MOUSEMOVE:
          if (self->dragging_) self->Drag(self->ParentPoint(lp).x);
          return 0;
        case WM_LBUTTONUP:
          if (self->dragging_) {
            self->Drag(self->ParentPoint(lp).x);
            self->dragging_ = false;
            ReleaseCapture();
          }
          return 0;
        case WM_CAPTURECHANGED:
          self->dragging_ = false;
          return 0;
      }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

// ---------------------------------------------------------------------------

TImage::TImage(TWinControl* parent) : TControl(parent) {
  RegisterPlainClass(kImageClass, ImageProc, IDC_ARROW, nullptr);
  width_ = 105;
  height_ = 105;
  CreateChild(kImageClass, "", WS_VISIBLE);
}

void TImage::SetBitmap(HBITMAP bmp) {
  bitmap_.Reset(bmp);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TImage::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  BITMAP info{};
  if (!bitmap_.Get() || !GetObjectA(bitmap_.Get(), sizeof info, &info)) {
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, bitmap_.Get());
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}

LRESULT CALLBACK TImage::ImageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded([&]() -> LRESULT {
    auto* self = dynamic_cast<TImage*>(FromHandle(hwnd));
    if (self) {
      switch (msg) {
        case WM_ERASEBKGND:
          return 1;
        case WM_PAINT: {
          PAINTSTRUCT ps;
          HDC dc = BeginPaint(hwnd, &ps);
          self->Paint(dc);
          EndPaint(hwnd, &ps);
          return 0;
        }
        case WM_PRINTCLIENT:
          self->Paint(reinterpret_cast<HDC>(wp));
          return 0;
      }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

// ---------------------------------------------------------------------------

TProgressBar::TProgressBar(TWinControl* parent) : TControl(parent) {
  EnsureCommonControls();
  width_ = 150;
  height_ = 16;
  CreateChild(PROGRESS_CLASSA, "", WS_VISIBLE);
}

void TProgressBar::SetRange(int min, int max) { SendMessageA(hwnd_, PBM_SETRANGE32, min, max); }

void TProgressBar::SetPosition(int pos) {
  if (!IsWindowVisible(hwnd_)) {
    SendMessageA(hwnd_, PBM_SETPOS, pos, 0);
    return;
  }
  // The control repaints itself at once on every new position; painted with
  // the next WM_PAINT instead, a worker's synchronised call returns sooner.
  SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageA(hwnd_, PBM_SETPOS, pos, 0);
  SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, FALSE);
}

int TProgressBar::Position() const { return static_cast<int>(SendMessageA(hwnd_, PBM_GETPOS, 0, 0)); }

int TProgressBar::Min() const { return static_cast<int>(SendMessageA(hwnd_, PBM_GETRANGE, TRUE, 0)); }

int TProgressBar::Max() const { return static_cast<int>(SendMessageA(hwnd_, PBM_GETRANGE, FALSE, 0)); }

// ---------------------------------------------------------------------------

TRadioGroup::TRadioGroup(TWinControl* parent, const std::string& caption) : TWinControl(parent) {
  RegisterContainerClass(kRadioGroupClass, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  width_ = 185;
  height_ = 105;
  CreateContainer(kRadioGroupClass, caption, parent, width_, height_, this);
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Application.DefaultFont().Handle()), FALSE);
}

void TRadioGroup::SetItems(const std::vector<std::string>& items) {
  for (HWND b : buttons_) DestroyWindow(b);
  buttons_.clear();
  items_ = items;
  bool enabled = IsWindowEnabled(hwnd_) != FALSE;
  for (size_t i = 0; i < items_.size(); ++i) {
    HWND b = CreateWindowExA(0, "BUTTON", items_[i].c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_RADIOBUTTON, 0,
                             0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(i + 1)),
                             GetModuleHandleA(nullptr), nullptr);
    SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (!enabled) EnableWindow(b, FALSE);
    buttons_.push_back(b);
  }
  SetItemIndex(std::min(index_, static_cast<int>(items_.size()) - 1));
  Arrange();
}

void TRadioGroup::SetItemIndex(int i) {
  int count = static_cast<int>(items_.size());
  if (i >= count) i = count - 1;
  if (i < -1) i = -1;
  index_ = i;
  for (int j = 0; j < count; ++j)
    SendMessageA(buttons_[j], BM_SETCHECK, j == index_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioGroup::SetColumns(int n) {
  columns_ = std::max(1, n);
  Arrange();
}

void TRadioGroup::SetCaption(const std::string& text) {
  TControl::SetCaption(text);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TRadioGroup::SetEnabled(bool e) {
  TControl::SetEnabled(e);
  for (HWND b : buttons_) EnableWindow(b, e);
}

HWND TRadioGroup::ItemHandle(int i) const {
  return i >= 0 && i < static_cast<int>(buttons_.size()) ? buttons_[i] : nullptr;
}

void TRadioGroup::Arrange() {
  if (buttons_.empty()) return;
  RECT r;
  GetClientRect(hwnd_, &r);
  int top = FontHeight(hwnd_, font_) + 1;
  int count = static_cast<int>(buttons_.size());
  int perColumn = (count + columns_ - 1) / columns_;
  int w = std::max(0, (static_cast<int>(r.right) - 10) / columns_);
  int h = std::max(0, (static_cast<int>(r.bottom) - top - 5) / perColumn);
  for (int i = 0; i < count; ++i)
    MoveWindow(buttons_[i], 8 + (i / perColumn) * w, top + (i % perColumn) * h, w, h, TRUE);
}

void TRadioGroup::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  HGDIOBJ old = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  RECT frame = r;
  frame.top += tm.tmHeight / 2;
  DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  std::string text = Caption();
  if (!text.empty()) {
    SIZE s{0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
    RECT back{6, 0, 10 + s.cx + 2, tm.tmHeight};
    FillRect(dc, &back, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(hwnd_) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    TextOutA(dc, 8, 0, text.c_str(), static_cast<int>(text.size()));
  }
  SelectObject(dc, old);
}

LRESULT TRadioGroup::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) {
        auto it = std::find(buttons_.begin(), buttons_.end(), reinterpret_cast<HWND>(lp));
        if (it != buttons_.end()) {
          int picked = static_cast<int>(it - buttons_.begin());
          bool changed = picked != index_;
          SetItemIndex(picked);
          if (changed && OnClick) OnClick();
          return 0;
        }
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SIZE:
      Arrange();
      break;
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wp);
      for (HWND b : buttons_) SendMessageA(b, WM_SETFONT, wp, lp);
      Arrange();
      if (LOWORD(lp)) InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
  }
  return TWinControl::WndProc(msg, wp, lp);
}

}  // namespace cl
