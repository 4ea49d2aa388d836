// The list view in icon view: a model of items in display order, mirrored
// one to one by the system list control (item i of the model is item i of the
// control; its lParam points at the model item). The selection is kept in
// the model too, from the control's change notifications, so it can be read
// without asking the window.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cl_control.h"

namespace cl {

enum TItemChange { ctText, ctImage, ctState };

class TListView;

class TListItem {
public:
  TListItem(const TListItem&) = delete;
  TListItem& operator=(const TListItem&) = delete;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  int ImageIndex() const { return image_; }
  void SetImageIndex(int index);
  // Model data only; the icon view shows no columns.
  std::vector<std::string>& SubItems() { return subItems_; }
  const std::vector<std::string>& SubItems() const { return subItems_; }
  bool Selected() const { return selected_; }
  void SetSelected(bool selected);
  int Index() const { return index_; }
  void* Data = nullptr;
  TListView* Owner() const { return owner_; }
  // Removes the item from its list and frees it.
  void Delete();

private:
  friend class TListView;
  TListItem(TListView* owner, int index) : owner_(owner), index_(index) {}
  ~TListItem() = default;

  TListView* owner_;
  int index_;
  std::string caption_;
  int image_ = -1;
  std::vector<std::string> subItems_;
  bool selected_ = false;
};

class TListView : public TControl {
public:
  explicit TListView(TWinControl* parent);
  ~TListView() override;
  const char* KindName() const override { return "TListView"; }

  // Appends an item; the control shows it at once.
  TListItem* Add();
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TListItem* Item(int i) const { return i >= 0 && i < Count() ? items_[i] : nullptr; }
  // Index of the first selected item, -1 when none is.
  int ItemIndex() const;
  // Selects that item only (-1: none).
  void SetItemIndex(int index);
  int SelCount() const;
  std::vector<TListItem*> SelectedItems() const;
  void SetLargeImages(HIMAGELIST images);  // shared, never destroyed here

  using TCompare = std::function<int(TListItem* a, TListItem* b, intptr_t data)>;
  // Items that compare equal keep their order; the icons are laid out again.
  void CustomSort(const TCompare& compare, intptr_t data);
  void Arrange();

  void BeginUpdate();
  void EndUpdate();

  std::function<void(TListItem* item, TItemChange change)> OnChange;
  TNotifyEvent OnExit;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  // Screen position where the menu belongs: the mouse, or for the keyboard
  // the first selected item (the view's corner when none is).
  std::function<void(int screenX, int screenY)> OnContextPopup;

  bool OnNotify(NMHDR* hdr, LRESULT& result) override;

private:
  friend class TListItem;
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT ControlProc(UINT msg, WPARAM wp, LPARAM lp);
  void ContextMenu(LPARAM lp);
  void SetItemSelected(TListItem* item, bool selected);
  void Renumber(int from);
  void SyncSelection();

  std::vector<TListItem*> items_;
  int selCount_ = 0;
  int updateCount_ = 0;
  WNDPROC oldProc_ = nullptr;
};

}  // namespace cl
