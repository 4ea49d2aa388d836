#include "cl_control.h"

#include <algorithm>
#include <exception>

#include "cl_app.h"

namespace cl {

TFont::~TFont() {
  if (font_) DeleteObject(font_);
}

void TFont::Set(const std::string& name, int size, BYTE charset, bool bold) {
  name_ = name;
  size_ = size;
  charset_ = charset;
  bold_ = bold;
  if (font_) DeleteObject(font_);
  font_ = nullptr;
}

HFONT TFont::Handle() {
  if (!font_) {
    // A positive size is in points; a negative one is a pixel height.
    int h = size_;
    if (size_ > 0) {
      HDC dc = GetDC(nullptr);
      h = -MulDiv(size_, GetDeviceCaps(dc, LOGPIXELSY), 72);
      ReleaseDC(nullptr, dc);
    }
    font_ = CreateFontA(h, 0, 0, 0, bold_ ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, charset_,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, name_.c_str());
  }
  return font_;
}

TControl::TControl(TWinControl* parent) : parent_(parent) {
  if (parent_) parent_->AddChild(this);
}

TControl::~TControl() {
  if (showHint_) Application.Hints().RemoveTool(hwnd_);
  if (parent_) parent_->RemoveChild(this);
  // Child windows go with their parent; wrappers only unbind themselves.
  if (hwnd_ && IsWindow(hwnd_)) SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
}

TControl* TControl::FromHandle(HWND hwnd) {
  return hwnd ? reinterpret_cast<TControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)) : nullptr;
}

void TControl::CreateChild(const char* cls, const std::string& text, DWORD style, DWORD exStyle) {
  HWND parent = parent_ ? parent_->Handle() : nullptr;
  HWND h = CreateWindowExA(exStyle, cls, text.c_str(), style | WS_CHILD | WS_CLIPSIBLINGS, left_, top_,
                           width_, height_, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  Bind(h);
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(Application.DefaultFont().Handle()), FALSE);
}

void TControl::Bind(HWND hwnd) {
  hwnd_ = hwnd;
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TControl::SyncBoundsFromWindow() {
  RECT r;
  GetWindowRect(hwnd_, &r);
  HWND p = GetParent(hwnd_);
  if (p && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_CHILD)) MapWindowPoints(nullptr, p, reinterpret_cast<POINT*>(&r), 2);
  left_ = r.left;
  top_ = r.top;
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
}

void TControl::SetAlign(TAlign a) {
  align_ = a;
  if (parent_) parent_->Realign();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (hwnd_) MoveWindow(hwnd_, left, top, width, height, TRUE);
  if (parent_ && align_ != alNone) parent_->Realign();
}

bool TControl::Visible() const { return hwnd_ && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE); }

void TControl::SetVisible(bool v) {
  if (hwnd_) ShowWindow(hwnd_, v ? SW_SHOW : SW_HIDE);
  if (parent_ && align_ != alNone) parent_->Realign();
}

bool TControl::Enabled() const { return hwnd_ && IsWindowEnabled(hwnd_); }

void TControl::SetEnabled(bool e) {
  if (hwnd_) EnableWindow(hwnd_, e);
}

std::string TControl::Caption() const {
  if (!hwnd_) return {};
  int n = GetWindowTextLengthA(hwnd_);
  std::string s(n + 1, '\0');
  n = GetWindowTextA(hwnd_, &s[0], n + 1);
  s.resize(n > 0 ? n : 0);
  return s;
}

void TControl::SetCaption(const std::string& text) {
  if (hwnd_) SetWindowTextA(hwnd_, text.c_str());
}

void TControl::SetHint(const std::string& h) {
  hint_ = h;
  if (showHint_) Application.Hints().SetTool(hwnd_, hint_);
}

void TControl::SetShowHint(bool on) {
  if (on == showHint_) return;
  showHint_ = on;
  if (on)
    Application.Hints().SetTool(hwnd_, hint_);
  else
    Application.Hints().RemoveTool(hwnd_);
}

void TControl::SetFocus() {
  if (hwnd_) ::SetFocus(hwnd_);
}

bool TControl::Focused() const { return hwnd_ && GetFocus() == hwnd_; }

void TControl::SetFont(TFont& font) {
  if (hwnd_) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), TRUE);
}

void TWinControl::RemoveChild(TControl* c) {
  children_.erase(std::remove(children_.begin(), children_.end(), c), children_.end());
}

void TWinControl::CollectControls(std::vector<TControl*>& out) const {
  for (TControl* c : children_) {
    out.push_back(c);
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->CollectControls(out);
  }
}

void TWinControl::Realign() {
  if (!hwnd_) return;
  RECT r;
  GetClientRect(hwnd_, &r);
  static const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
  for (TAlign a : order) {
    for (TControl* c : children_) {
      if (c->align_ != a || !c->hwnd_ || !(GetWindowLongA(c->hwnd_, GWL_STYLE) & WS_VISIBLE)) continue;
      int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
      switch (a) {
        case alTop: h = c->height_; r.top += h; break;
        case alBottom: h = c->height_; y = r.bottom - h; r.bottom -= h; break;
        case alLeft: w = c->width_; r.left += w; break;
        case alRight: w = c->width_; x = r.right - w; r.right -= w; break;
        default: break;
      }
      if (w < 0) w = 0;
      if (h < 0) h = 0;
      c->left_ = x;
      c->top_ = y;
      if (a == alTop || a == alBottom || a == alClient) c->width_ = w;
      if (a == alLeft || a == alRight || a == alClient) c->height_ = h;
      MoveWindow(c->hwnd_, x, y, w, h, TRUE);
    }
  }
}

HWND CreateMessageWindow(const char* className, WNDPROC proc, void* owner) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc{};
  if (!GetClassInfoExA(instance, className, &wc)) {
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = className;
    RegisterClassExA(&wc);
  }
  HWND hwnd = CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
  return hwnd;
}

void TWinControl::RegisterContainerClass(const char* name, UINT style, HBRUSH background, HICON icon) {
  WNDCLASSEXA wc{};
  if (GetClassInfoExA(GetModuleHandleA(nullptr), name, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = ContainerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.hIcon = icon;
  wc.lpszClassName = name;
  RegisterClassExA(&wc);
}

bool TWinControl::RouteToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND:
      if (lp) {
        if (TControl* c = FromHandle(reinterpret_cast<HWND>(lp))) return c->OnCommand(HIWORD(wp));
      }
      return false;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (TControl* c = FromHandle(hdr->hwndFrom)) return c->OnNotify(hdr, result);
      // Tooltips and headers belong to a control of ours: ask their owner.
      if (TControl* c = FromHandle(GetParent(hdr->hwndFrom))) return c->OnNotify(hdr, result);
      return false;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      if (TControl* c = FromHandle(dis->hwndItem)) {
        if (c->OnDrawItem(dis)) {
          result = TRUE;
          return true;
        }
      }
      return false;
    }
  }
  return false;
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (RouteToChild(msg, wp, lp, result)) return result;
  if (msg == WM_SIZE) {
    Realign();
    return 0;
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK TWinControl::ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    auto* self = static_cast<TWinControl*>(cs->lpCreateParams);
    if (self) {
      self->hwnd_ = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<TControl*>(self)));
    }
  }
  auto* self = dynamic_cast<TWinControl*>(FromHandle(hwnd));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  return Guarded([&] { return self->WndProc(msg, wp, lp); });
}

}  // namespace cl
