#include "cl_listview.h"

#include <algorithm>
#include <exception>

#include "cl_app.h"

namespace cl {

namespace {
// -1 asks the control for a callback; "no image" is I_IMAGENONE.
int ImageOrNone(int index) { return index < 0 ? I_IMAGENONE : index; }
}  // namespace

// ---- TListItem -------------------------------------------------------------

void TListItem::SetCaption(const std::string& caption) {
  caption_ = caption;
  LVITEMA it{};
  it.iSubItem = 0;
  it.pszText = const_cast<char*>(caption_.c_str());
  SendMessageA(owner_->Handle(), LVM_SETITEMTEXTA, index_, reinterpret_cast<LPARAM>(&it));
}

void TListItem::SetImageIndex(int index) {
  image_ = index;
  LVITEMA it{};
  it.mask = LVIF_IMAGE;
  it.iItem = index_;
  it.iImage = ImageOrNone(index);
  SendMessageA(owner_->Handle(), LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

void TListItem::SetSelected(bool selected) { owner_->SetItemSelected(this, selected); }

void TListItem::Delete() { owner_->Delete(index_); }

// ---- TListView -------------------------------------------------------------

TListView::TListView(TWinControl* parent) : TControl(parent) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  CreateChild(WC_LISTVIEWA, "", WS_VISIBLE | WS_TABSTOP | LVS_ICON | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE,
              WS_EX_CLIENTEDGE);
  SendMessageA(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FLATSB, LVS_EX_FLATSB);
  // A system class: its own size and context-menu messages come through here.
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TListView::SubclassProc)));
}

TListView::~TListView() {
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    SendMessageA(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  }
  for (TListItem* it : items_) delete it;
}

LRESULT CALLBACK TListView::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = dynamic_cast<TListView*>(FromHandle(hwnd));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  return Guarded([&] { return self->ControlProc(msg, wp, lp); });
}

LRESULT TListView::ControlProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE: {
      LRESULT r = CallWindowProcA(oldProc_, hwnd_, msg, wp, lp);
      if (OnResize) OnResize(this);
      return r;
    }
    case WM_CONTEXTMENU:
      if (OnContextPopup) {
        ContextMenu(lp);
        return 0;
      }
      break;
  }
  return CallWindowProcA(oldProc_, hwnd_, msg, wp, lp);
}

void TListView::ContextMenu(LPARAM lp) {
  POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  if (p.x == -1 && p.y == -1) {
    // From the keyboard: the middle of the first selected item, else the corner.
    p = {0, 0};
    int i = ItemIndex();
    RECT r{};
    r.left = LVIR_BOUNDS;
    if (i >= 0 && SendMessageA(hwnd_, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r)))
      p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(hwnd_, &p);
  }
  OnContextPopup(p.x, p.y);
}

TListItem* TListView::Add() {
  auto* item = new TListItem(this, Count());
  items_.push_back(item);
  LVITEMA it{};
  it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  it.iItem = item->index_;
  it.pszText = const_cast<char*>(item->caption_.c_str());
  it.iImage = ImageOrNone(item->image_);
  it.lParam = reinterpret_cast<LPARAM>(item);
  SendMessageA(hwnd_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
  return item;
}

void TListView::Renumber(int from) {
  for (size_t i = from; i < items_.size(); ++i) items_[i]->index_ = static_cast<int>(i);
}

void TListView::Delete(int index) {
  TListItem* item = Item(index);
  if (!item) return;
  // The control may still report on the item while it goes: keep it until then.
  SendMessageA(hwnd_, LVM_DELETEITEM, index, 0);
  if (item->selected_) --selCount_;
  items_.erase(items_.begin() + index);
  Renumber(index);
  delete item;
}

void TListView::Clear() {
  SendMessageA(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  std::vector<TListItem*> old;
  old.swap(items_);
  selCount_ = 0;
  for (TListItem* it : old) delete it;
}

int TListView::ItemIndex() const {
  if (selCount_ == 0) return -1;
  for (TListItem* it : items_)
    if (it->selected_) return it->index_;
  return -1;
}

void TListView::SetItemIndex(int index) {
  LVITEMA it{};
  it.stateMask = LVIS_SELECTED;
  it.state = 0;
  SendMessageA(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&it));
  if (TListItem* item = Item(index)) {
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(hwnd_, LVM_SETITEMSTATE, item->index_, reinterpret_cast<LPARAM>(&it));
  }
  SyncSelection();
}

int TListView::SelCount() const { return selCount_; }

std::vector<TListItem*> TListView::SelectedItems() const {
  std::vector<TListItem*> out;
  for (TListItem* it : items_)
    if (it->selected_) out.push_back(it);
  return out;
}

void TListView::SetItemSelected(TListItem* item, bool selected) {
  LVITEMA it{};
  it.stateMask = LVIS_SELECTED;
  it.state = selected ? LVIS_SELECTED : 0;
  SendMessageA(hwnd_, LVM_SETITEMSTATE, item->index_, reinterpret_cast<LPARAM>(&it));
  if (item->selected_ != selected) {
    item->selected_ = selected;
    selCount_ += selected ? 1 : -1;
  }
}

void TListView::SyncSelection() {
  selCount_ = 0;
  for (TListItem* it : items_) {
    it->selected_ = (SendMessageA(hwnd_, LVM_GETITEMSTATE, it->index_, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    if (it->selected_) ++selCount_;
  }
}

void TListView::SetLargeImages(HIMAGELIST images) {
  SendMessageA(hwnd_, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
}

namespace {
// Orders the control's items as the model already is.
int CALLBACK ByModelIndex(LPARAM a, LPARAM b, LPARAM) {
  return reinterpret_cast<TListItem*>(a)->Index() - reinterpret_cast<TListItem*>(b)->Index();
}
}  // namespace

void TListView::CustomSort(const TCompare& compare, intptr_t data) {
  if (compare) {
    std::stable_sort(items_.begin(), items_.end(),
                     [&](TListItem* a, TListItem* b) { return compare(a, b, data) < 0; });
    Renumber(0);
  }
  SendMessageA(hwnd_, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(&ByModelIndex));
  Arrange();
}

void TListView::Arrange() { SendMessageA(hwnd_, LVM_ARRANGE, LVA_DEFAULT, 0); }

void TListView::BeginUpdate() {
  if (updateCount_++ == 0) SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) {
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

bool TListView::OnNotify(NMHDR* hdr, LRESULT& result) {
  switch (hdr->code) {
    case LVN_ITEMCHANGED: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
      TListItem* item = Item(nm->iItem);
      if (nm->uChanged & LVIF_STATE) {
        if (item) {
          bool sel = (nm->uNewState & LVIS_SELECTED) != 0;
          if (sel != item->selected_) {
            item->selected_ = sel;
            selCount_ += sel ? 1 : -1;
          }
        } else {
          SyncSelection();  // a change of all items at once
        }
        if (OnChange) OnChange(item, ctState);
      } else if (item && (nm->uChanged & LVIF_TEXT)) {
        if (OnChange) OnChange(item, ctText);
      } else if (item && (nm->uChanged & LVIF_IMAGE)) {
        if (OnChange) OnChange(item, ctImage);
      }
      return true;
    }
    case NM_DBLCLK:
      if (OnDblClick) OnDblClick(this);
      return true;
    case NM_KILLFOCUS:
      if (OnExit) OnExit(this);
      return true;
  }
  return false;
}

}  // namespace cl
