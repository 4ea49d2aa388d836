// Image lists, the drawing canvas, status bars, tool bars and cool bars.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cl_control.h"

namespace cl {

// Owns one image list of 32-bit images with masks.
class TImageList {
public:
  TImageList(int width, int height);
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;
  ~TImageList();
  // The bitmap is copied in; the caller keeps and deletes it. -1 on failure.
  int AddBitmap(HBITMAP image, COLORREF maskColor);
  int AddIcon(HICON icon);
  HIMAGELIST Handle() const { return list_; }
  int Count() const;
  int Width() const { return width_; }
  int Height() const { return height_; }

private:
  HIMAGELIST list_ = nullptr;
  int width_, height_;
};

// A device context lent to a draw handler; it is not owned.
class TCanvas {
public:
  explicit TCanvas(HDC dc) : dc_(dc) {}
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  HDC Handle() const { return dc_; }
  // Draws with a transparent background, unclipped.
  void TextOut(int x, int y, const std::string& text);
  void FillRect(const RECT& r, COLORREF color);
  void FrameRect(const RECT& r, COLORREF color);

private:
  HDC dc_;
};

// A status bar of fixed-width panels; the last one reaches to the bar's
// right end. Owner-drawn panels are painted by OnDrawPanel.
class TStatusBar : public TControl {
public:
  // Aligned to the bottom of its parent.
  explicit TStatusBar(TWinControl* parent);
  ~TStatusBar() override;
  const char* KindName() const override { return "TStatusBar"; }
  void AddPanel(int width, const std::string& text, bool ownerDraw = false);
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  std::string PanelText(int i) const;
  void SetPanelText(int i, const std::string& text);
  RECT PanelRect(int i) const;
  std::function<void(TStatusBar* bar, int panel, const RECT& rect, TCanvas& canvas)> OnDrawPanel;
  void Repaint();
  // Switches to one text over the whole bar, and back to the panels.
  void ShowSimpleText(const std::string& text);
  void ShowPanels();
  bool OnDrawItem(DRAWITEMSTRUCT* dis) override;

private:
  struct Panel {
    int width;
    std::string text;
    bool ownerDraw;
  };
  static LRESULT CALLBACK BarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void SendParts();
  void SendText(int i);
  std::vector<Panel> panels_;
  WNDPROC oldProc_ = nullptr;
};

class TToolBar;

// One button of a tool bar; it has no window of its own.
class TToolButton {
public:
  TToolButton(const TToolButton&) = delete;
  TToolButton& operator=(const TToolButton&) = delete;
  std::string Name, Caption, Hint;
  int ImageIndex = -1;
  std::function<void()> OnClick;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  // Runs OnClick, but only while the button is enabled.
  void Click();
  int CommandId() const { return id_; }

private:
  TToolButton(TToolBar* bar, int id) : bar_(bar), id_(id) {}
  TToolBar* bar_;
  int id_;
  bool enabled_ = true;
  bool visible_ = true;
  friend class TToolBar;
};

// A flat tool bar. Its notifications and commands go to a message-only
// window of its own, so a click reaches the right button whichever window
// holds the bar (a panel, a cool bar band).
class TToolBar : public TControl {
public:
  explicit TToolBar(TWinControl* parent);
  ~TToolBar() override;
  const char* KindName() const override { return "TToolBar"; }
  void SetImages(TImageList* images);
  // Captions are shown under the images when true.
  void SetShowCaptions(bool show);
  void SetButtonSize(int w, int h);
  // The hint starts as the caption.
  TToolButton& AddButton(const std::string& name, const std::string& caption, int imageIndex);
  const std::vector<std::unique_ptr<TToolButton>>& Buttons() const { return buttons_; }
  TToolButton* FindButton(const std::string& name);
  TToolButton* FindButton(int commandId);
  // The button's rectangle in the bar's client area (empty when hidden).
  RECT ButtonRect(const TToolButton& b) const;

private:
  static LRESULT CALLBACK NotifyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Notify(NMHDR* hdr);
  void Relayout();
  HWND notify_ = nullptr;
  std::vector<std::unique_ptr<TToolButton>> buttons_;
  std::wstring wideTip_;
  int nextId_ = 1;
  int buttonW_ = 0, buttonH_ = 0;
  friend class TToolButton;
};

// A rebar whose bands hold child controls created with the cool bar as
// their parent. It passes its children's commands and notifications to
// their wrappers.
class TCoolBar : public TWinControl {
public:
  explicit TCoolBar(TWinControl* parent);
  ~TCoolBar() override;
  const char* KindName() const override { return "TCoolBar"; }
  void AddBand(TControl* child, int minWidth, int minHeight);
  int BandCount() const;
  int BarHeight() const;

private:
  static LRESULT CALLBACK RebarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT BandProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  WNDPROC oldProc_ = nullptr;
};

}  // namespace cl
