// The page control: a tab strip over a stack of sheets, one sheet shown at a
// time. The sheets are panels the control owns as wrappers; their windows,
// like the strip's, go with the control's window.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "cl_stdctrls.h"

namespace cl {

class TPageControl;

// One page: a panel without bevels in the strip's display area; its caption
// is the text of its tab.
class TTabSheet : public TPanel {
public:
  const char* KindName() const override { return "TTabSheet"; }
  std::string Caption() const override { return tabText_; }
  void SetCaption(const std::string& text) override;
  int PageIndex() const { return index_; }

protected:
  // The caption belongs to the tab: the sheet paints only its face.
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  friend class TPageControl;
  TTabSheet(TPageControl* owner, int index, const std::string& caption);
  TPageControl* owner_;
  int index_;
  std::string tabText_;
};

class TPageControl : public TWinControl {
public:
  explicit TPageControl(TWinControl* parent);
  const char* KindName() const override { return "TPageControl"; }
  // A new last page; the first page added becomes the active one.
  TTabSheet& AddPage(const std::string& caption);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Page(int i) const { return i >= 0 && i < PageCount() ? pages_[i].get() : nullptr; }
  TTabSheet* ActivePage() const { return Page(active_); }
  void SetActivePage(int i);
  // The tab strip's window.
  HWND TabHandle() const { return tabs_; }

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  friend class TTabSheet;
  void SetTabText(int i, const std::string& text);
  // The strip fills the control; every sheet fills the strip's display area.
  void Layout();
  HWND tabs_ = nullptr;
  std::vector<std::unique_ptr<TTabSheet>> pages_;
  int active_ = -1;
};

}  // namespace cl
