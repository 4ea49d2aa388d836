// Standard controls: panels, buttons, edits, labels, memos, bevels, the
// splitter, images, progress bars and radio groups. Each wrapper is the
// window handle plus the few members its control needs; the parent window
// destroys the child windows, the wrappers never do.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "cl_control.h"

namespace cl {

enum TBevelCut { bvNone, bvLowered, bvRaised };

// Owns one bitmap handle and deletes it.
class TBitmapHandle {
public:
  TBitmapHandle() = default;
  explicit TBitmapHandle(HBITMAP bmp) : bmp_(bmp) {}
  TBitmapHandle(const TBitmapHandle&) = delete;
  TBitmapHandle& operator=(const TBitmapHandle&) = delete;
  ~TBitmapHandle() { Reset(); }
  void Reset(HBITMAP bmp = nullptr);
  HBITMAP Get() const { return bmp_; }

private:
  HBITMAP bmp_ = nullptr;
};

// A container window with an optional centred caption and a one-pixel outer
// and inner bevel kept in the non-client area, so aligned children sit
// inside the bevels.
class TPanel : public TWinControl {
public:
  explicit TPanel(TWinControl* parent);
  const char* KindName() const override { return "TPanel"; }
  void SetBevelOuter(TBevelCut b);
  void SetBevelInner(TBevelCut b);
  TBevelCut BevelOuter() const { return outer_; }
  TBevelCut BevelInner() const { return inner_; }
  void SetCaption(const std::string& text) override;

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  int BevelWidth() const { return (outer_ != bvNone) + (inner_ != bvNone); }
  void BevelChanged();
  void PaintBevels();
  TBevelCut outer_ = bvRaised;
  TBevelCut inner_ = bvNone;
  HFONT font_ = nullptr;
};

// A push button. A non-zero ModalResult is handed to the owning form on
// every click, before OnClick runs.
class TButton : public TControl {
public:
  TButton(TWinControl* parent, const std::string& caption);
  const char* KindName() const override { return "TButton"; }
  void SetDefault(bool d);
  bool Default() const { return default_; }
  int ModalResult = 0;
  // Runs what a user's click runs.
  void Click();
  bool OnCommand(WORD code) override;

private:
  bool default_ = false;
};

// A single-line edit.
class TEdit : public TControl {
public:
  explicit TEdit(TWinControl* parent);
  const char* KindName() const override { return "TEdit"; }
  std::string Text() const { return Caption(); }
  void SetText(const std::string& t) { SetCaption(t); }
  void SetReadOnly(bool r);
  bool ReadOnly() const;
  void SetBorder(bool b);
};

// Static text drawn on its parent's background. Sizes itself to its caption
// unless automatic sizing is off.
class TLabel : public TControl {
public:
  TLabel(TWinControl* parent, const std::string& caption);
  const char* KindName() const override { return "TLabel"; }
  void SetCaption(const std::string& text) override;
  void SetAutoSize(bool a);
  // The colour its parent panel draws the text in.
  virtual COLORREF TextColor() const { return GetSysColor(COLOR_BTNTEXT); }

private:
  void FitToText();
  bool autoSize_ = true;
};

// A multi-line edit; its lines are joined with CR LF.
class TMemo : public TControl {
public:
  explicit TMemo(TWinControl* parent);
  const char* KindName() const override { return "TMemo"; }
  void SetLines(const std::vector<std::string>& lines);
  std::vector<std::string> Lines() const;
  void SetReadOnly(bool r);
  void SetVerticalScrollBar(bool v);
  // Text colour a parent panel draws it with; CLR_INVALID keeps the system's.
  COLORREF TextColor = CLR_INVALID;
};

// An edit with its own label, which follows the edit wherever it is moved,
// shown, hidden or enabled.
class TLabeledEdit : public TEdit {
public:
  explicit TLabeledEdit(TWinControl* parent);
  ~TLabeledEdit() override;
  const char* KindName() const override { return "TLabeledEdit"; }
  // Places the label to the left of the edit, or above it.
  void SetLabel(const std::string& text, bool left = true);
  TLabel EditLabel;

private:
  static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void PlaceLabel();
  WNDPROC oldProc_ = nullptr;
  bool labelLeft_ = true;
  static constexpr int kSpacing = 3;
};

// A horizontal etched rule.
class TBevel : public TControl {
public:
  explicit TBevel(TWinControl* parent);
  const char* KindName() const override { return "TBevel"; }
};

// A bar between a left-aligned control and the client-aligned rest; dragging
// it changes the width of the left-aligned control just before it.
class TSplitter : public TControl {
public:
  explicit TSplitter(TWinControl* parent);
  const char* KindName() const override { return "TSplitter"; }
  // Neither the neighbour nor the rest may become narrower than this.
  int MinSize = 30;

private:
  static LRESULT CALLBACK SplitterProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  TControl* Neighbour() const;
  POINT ParentPoint(LPARAM lp) const;
  void Drag(int parentX);
  bool dragging_ = false;
  int startX_ = 0, startWidth_ = 0;
};

// A picture stretched to the control's size.
class TImage : public TControl {
public:
  explicit TImage(TWinControl* parent);
  const char* KindName() const override { return "TImage"; }
  // Takes ownership of the bitmap and deletes the one shown before.
  void SetBitmap(HBITMAP bmp);
  HBITMAP Bitmap() const { return bitmap_.Get(); }

private:
  static LRESULT CALLBACK ImageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC dc);
  TBitmapHandle bitmap_;
};

// A progress bar with a 32-bit range.
class TProgressBar : public TControl {
public:
  explicit TProgressBar(TWinControl* parent);
  const char* KindName() const override { return "TProgressBar"; }
  void SetRange(int min, int max);
  void SetMin(int min) { SetRange(min, Max()); }
  void SetMax(int max) { SetRange(Min(), max); }
  void SetPosition(int pos);
  int Position() const;
  int Min() const;
  int Max() const;
};

// A framed group of radio buttons, one per item, laid out in columns.
class TRadioGroup : public TWinControl {
public:
  TRadioGroup(TWinControl* parent, const std::string& caption);
  const char* KindName() const override { return "TRadioGroup"; }
  // Keeps the item index while it is still an item, else the last item.
  void SetItems(const std::vector<std::string>& items);
  const std::vector<std::string>& Items() const { return items_; }
  int ItemIndex() const { return index_; }
  // Below -1 gives -1, past the last item gives the last item.
  void SetItemIndex(int i);
  void SetColumns(int n);
  void SetCaption(const std::string& text) override;
  void SetEnabled(bool e) override;
  // The radio button of item i (nullptr when there is none).
  HWND ItemHandle(int i) const;
  // Runs when the user picks another item.
  std::function<void()> OnClick;

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  void Arrange();
  void Paint(HDC dc);
  std::vector<std::string> items_;
  std::vector<HWND> buttons_;
  int index_ = -1;
  int columns_ = 1;
  HFONT font_ = nullptr;
};

}  // namespace cl
