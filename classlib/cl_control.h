// Base of every control: a window handle plus position, alignment and the
// few properties the forms use. Containers lay out their aligned children and
// route WM_COMMAND / WM_NOTIFY / WM_DRAWITEM to the child wrapper, found
// through the child's GWLP_USERDATA.
#pragma once
#include <windows.h>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace cl {

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TWinControl;
class TControl;
using TNotifyEvent = std::function<void(TControl* sender)>;

// Shows an exception that reached a window procedure (TApplication::HandleException).
void ReportHandlerException(std::exception_ptr e);
// Every window procedure of the class layer runs its work through this: what
// a handler throws is shown once and the message answers fallback, so the
// program keeps running.
template <class Body>
LRESULT Guarded(Body&& body, LRESULT fallback = 0) {
  try {
    return body();
  } catch (...) {
    ReportHandlerException(std::current_exception());
    return fallback;
  }
}

// A hidden message-only window of the class name, which is registered with
// proc the first time; its user data is owner, where proc finds its object.
HWND CreateMessageWindow(const char* className, WNDPROC proc, void* owner);

// A font by face name, size (points; a negative size is a pixel height) and
// character set; owns its GDI font.
class TFont {
public:
  TFont() = default;
  TFont(const std::string& name, int size, BYTE charset = GB2312_CHARSET, bool bold = false)
      : name_(name), size_(size), charset_(charset), bold_(bold) {}
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  ~TFont();
  void Set(const std::string& name, int size, BYTE charset = GB2312_CHARSET, bool bold = false);
  HFONT Handle();
  const std::string& Name() const { return name_; }
  int Size() const { return size_; }

private:
  std::string name_ = "宋体";
  int size_ = 9;
  BYTE charset_ = GB2312_CHARSET;
  bool bold_ = false;
  HFONT font_ = nullptr;
};

class TControl {
public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  HWND Handle() const { return hwnd_; }
  TWinControl* Parent() const { return parent_; }
  std::string Name;
  int Tag = 0;
  TNotifyEvent OnClick;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  void SetBounds(int left, int top, int width, int height);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int w) { SetBounds(left_, top_, w, height_); }
  void SetHeight(int h) { SetBounds(left_, top_, width_, h); }

  bool Visible() const;
  void SetVisible(bool v);
  bool Enabled() const;
  virtual void SetEnabled(bool e);
  virtual std::string Caption() const;
  virtual void SetCaption(const std::string& text);
  const std::string& Hint() const { return hint_; }
  // The hint shows in the application's tooltip while ShowHint is on.
  void SetHint(const std::string& h);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);
  void SetFocus();
  bool Focused() const;
  void SetFont(TFont& font);
  // What the control is, for listings ("TButton", "TTreeView"...).
  virtual const char* KindName() const = 0;

  // Routed from the parent window. Return true when handled.
  virtual bool OnCommand(WORD code) { return false; }
  virtual bool OnNotify(NMHDR* hdr, LRESULT& result) { return false; }
  virtual bool OnDrawItem(DRAWITEMSTRUCT* dis) { return false; }

  static TControl* FromHandle(HWND hwnd);

protected:
  explicit TControl(TWinControl* parent);
  // Creates the control's window as a child of the parent and binds it.
  void CreateChild(const char* cls, const std::string& text, DWORD style, DWORD exStyle = 0);
  // Binds an already created window (forms create their own).
  void Bind(HWND hwnd);
  void SyncBoundsFromWindow();

  HWND hwnd_ = nullptr;
  TWinControl* parent_ = nullptr;
  TAlign align_ = alNone;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string hint_;
  bool showHint_ = false;
  friend class TWinControl;
};

// A control that holds other controls and lays out the aligned ones.
class TWinControl : public TControl {
public:
  const std::vector<TControl*>& Controls() const { return children_; }
  // Lays out the aligned children inside the client area, in the order
  // top, bottom, left, right, client; each in creation order.
  void Realign();
  // All descendants, depth first (for listings and look-ups by name).
  void CollectControls(std::vector<TControl*>& out) const;

protected:
  explicit TWinControl(TWinControl* parent) : TControl(parent) {}
  // Window procedure of containers; forms and panels use it.
  static LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static void RegisterContainerClass(const char* name, UINT style, HBRUSH background, HICON icon = nullptr);
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  // Shared routing of child notifications; returns true when handled.
  bool RouteToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

private:
  void AddChild(TControl* c) { children_.push_back(c); }
  void RemoveChild(TControl* c);
  std::vector<TControl*> children_;
  friend class TControl;
};

}  // namespace cl
