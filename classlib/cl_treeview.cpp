#include "cl_treeview.h"

#include <algorithm>

namespace cl {

namespace {
// -1 asks the control for a callback; "no image" is I_IMAGENONE.
int ImageOrNone(int index) { return index < 0 ? I_IMAGENONE : index; }
}  // namespace

// ---- TTreeNode -------------------------------------------------------------

void TTreeNode::SetText(const std::string& text) {
  text_ = text;
  if (!item_) return;
  TVITEMA it{};
  it.mask = TVIF_TEXT;
  it.hItem = item_;
  it.pszText = const_cast<char*>(text_.c_str());
  SendMessageA(owner_->Handle(), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

void TTreeNode::SetImageIndex(int index) {
  image_ = index;
  if (!item_) return;
  TVITEMA it{};
  it.mask = TVIF_IMAGE;
  it.hItem = item_;
  it.iImage = ImageOrNone(index);
  SendMessageA(owner_->Handle(), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

void TTreeNode::SetSelectedIndex(int index) {
  selectedImage_ = index;
  if (!item_) return;
  TVITEMA it{};
  it.mask = TVIF_SELECTEDIMAGE;
  it.hItem = item_;
  it.iSelectedImage = ImageOrNone(index);
  SendMessageA(owner_->Handle(), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

TTreeNode* TTreeNode::GetNextSibling() const {
  const auto& sib = parent_ ? parent_->children_ : owner_->top_;
  return index_ + 1 < static_cast<int>(sib.size()) ? sib[index_ + 1] : nullptr;
}

TTreeNode* TTreeNode::GetPrevSibling() const {
  const auto& sib = parent_ ? parent_->children_ : owner_->top_;
  return index_ > 0 ? sib[index_ - 1] : nullptr;
}

int TTreeNode::AbsoluteIndex() const {
  std::lock_guard<std::mutex> lock(owner_->flatLock_);
  if (!owner_->flatValid_) owner_->RebuildFlat();
  return absIndex_;
}

int TTreeNode::Level() const {
  int n = 0;
  for (TTreeNode* p = parent_; p; p = p->parent_) ++n;
  return n;
}

bool TTreeNode::HasAsParent(const TTreeNode* ancestor) const {
  if (!ancestor) return false;
  for (TTreeNode* p = parent_; p; p = p->parent_)
    if (p == ancestor) return true;
  return false;
}

void TTreeNode::Expand(bool recurse) { owner_->SetExpanded(this, true, recurse); }
void TTreeNode::Collapse(bool recurse) { owner_->SetExpanded(this, false, recurse); }
void TTreeNode::MoveTo(TTreeNode* target, TNodeAttachMode mode) { owner_->MoveNode(this, target, mode); }
void TTreeNode::Delete() { owner_->Delete(this); }
bool TTreeNode::IsSelected() const { return owner_->selected_ == this; }

// ---- TTreeView: model ------------------------------------------------------

TTreeView::TTreeView(TWinControl* parent) : TControl(parent) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  CreateChild(WC_TREEVIEWA, "",
              WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
              WS_EX_CLIENTEDGE);
}

TTreeView::~TTreeView() {
  // Unbind first: the items go without raising events into a program that
  // is tearing down.
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    SendMessageA(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  }
  for (TTreeNode* n : top_) FreeSubtree(n);
}

TTreeNode* TTreeView::NewNode(TTreeNode* parent, int pos, const std::string& text) {
  auto* node = new TTreeNode(this, text);
  Attach(node, parent, pos);
  return node;
}

TTreeNode* TTreeView::Add(TTreeNode* sibling, const std::string& text) {
  TTreeNode* parent = sibling ? sibling->parent_ : nullptr;
  return NewNode(parent, static_cast<int>(SiblingsOf(parent).size()), text);
}

TTreeNode* TTreeView::AddFirst(TTreeNode* sibling, const std::string& text) {
  return NewNode(sibling ? sibling->parent_ : nullptr, 0, text);
}

TTreeNode* TTreeView::AddChild(TTreeNode* parent, const std::string& text) {
  return NewNode(parent, static_cast<int>(SiblingsOf(parent).size()), text);
}

TTreeNode* TTreeView::AddChildFirst(TTreeNode* parent, const std::string& text) {
  return NewNode(parent, 0, text);
}

TTreeNode* TTreeView::AddObject(TTreeNode* sibling, const std::string& text, void* data) {
  TTreeNode* n = Add(sibling, text);
  n->Data = data;
  return n;
}

TTreeNode* TTreeView::AddChildObject(TTreeNode* parent, const std::string& text, void* data) {
  TTreeNode* n = AddChild(parent, text);
  n->Data = data;
  return n;
}

TTreeNode* TTreeView::Insert(TTreeNode* sibling, const std::string& text) {
  if (!sibling) return Add(nullptr, text);
  return NewNode(sibling->parent_, sibling->index_, text);
}

int TTreeView::SubtreeSize(const TTreeNode* node) {
  int n = 1;
  for (const TTreeNode* c : node->children_) n += SubtreeSize(c);
  return n;
}

void TTreeView::Attach(TTreeNode* node, TTreeNode* parent, int pos) {
  auto& sib = SiblingsOf(parent);
  bool firstChild = parent && sib.empty();
  node->parent_ = parent;
  sib.insert(sib.begin() + pos, node);
  for (size_t i = pos; i < sib.size(); ++i) sib[i]->index_ = static_cast<int>(i);
  count_ += SubtreeSize(node);
  Invalidate();
  if (firstChild && parent->item_) UpdateChildrenFlag(parent);
  if (Mirrored(parent)) InsertItem(node);
}

void TTreeView::Detach(TTreeNode* node) {
  auto& sib = SiblingsOf(node->parent_);
  sib.erase(sib.begin() + node->index_);
  for (size_t i = node->index_; i < sib.size(); ++i) sib[i]->index_ = static_cast<int>(i);
  count_ -= SubtreeSize(node);
  Invalidate();
  TTreeNode* parent = node->parent_;
  if (parent && sib.empty()) {
    parent->expanded_ = false;
    if (parent->item_) UpdateChildrenFlag(parent);
  }
}

void TTreeView::Resolve(TTreeNode* target, TNodeAttachMode mode, TTreeNode*& parent, int& pos) {
  bool first = mode == naAddFirst || mode == naAddChildFirst;
  if (!target) {
    parent = nullptr;
    pos = first ? 0 : static_cast<int>(top_.size());
    return;
  }
  parent = (mode == naAddChild || mode == naAddChildFirst) ? target : target->parent_;
  if (mode == naInsert)
    pos = target->index_;
  else
    pos = first ? 0 : static_cast<int>(SiblingsOf(parent).size());
}

void TTreeView::MoveNode(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode) {
  if (target == node || (target && target->HasAsParent(node))) return;
  bool selInside = selected_ && (selected_ == node || selected_->HasAsParent(node));
  // The items are rebuilt at the new place; the selection only follows.
  ++quiet_;
  DeleteItemQuietly(node);
  Detach(node);
  TTreeNode* parent;
  int pos;
  Resolve(target, mode, parent, pos);
  Attach(node, parent, pos);
  if (selInside) SelectItem(selected_);
  --quiet_;
}

void TTreeView::FireDeletion(TTreeNode* node) {
  for (TTreeNode* c : node->children_) FireDeletion(c);
  if (OnDeletion) OnDeletion(node);
}

void TTreeView::FreeSubtree(TTreeNode* node) {
  for (TTreeNode* c : node->children_) FreeSubtree(c);
  delete node;
}

void TTreeView::Delete(TTreeNode* node) {
  if (!node || node->owner_ != this) return;
  FireDeletion(node);
  // The model lets go first, so a handler that the control's selection move
  // calls already sees the tree without the subtree.
  Detach(node);
  if (node->item_) SendMessageA(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(node->item_));
  if (selected_ && (selected_ == node || selected_->HasAsParent(node)))
    selected_ = NodeOf(reinterpret_cast<HTREEITEM>(SendMessageA(hwnd_, TVM_GETNEXTITEM, TVGN_CARET, 0)));
  FreeSubtree(node);
}

void TTreeView::Clear() {
  for (TTreeNode* n : top_) FireDeletion(n);
  std::vector<TTreeNode*> old;
  old.swap(top_);
  count_ = 0;
  Invalidate();
  SendMessageA(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  selected_ = nullptr;
  for (TTreeNode* n : old) FreeSubtree(n);
}

void TTreeView::RebuildFlat() const {
  flat_.clear();
  flat_.reserve(count_);
  std::vector<std::pair<const std::vector<TTreeNode*>*, size_t>> stack{{&top_, 0}};
  while (!stack.empty()) {
    auto& top = stack.back();
    if (top.second == top.first->size()) {
      stack.pop_back();
      continue;
    }
    TTreeNode* n = (*top.first)[top.second++];
    n->absIndex_ = static_cast<int>(flat_.size());
    flat_.push_back(n);
    if (!n->children_.empty()) stack.push_back({&n->children_, 0});
  }
  flatValid_ = true;
}

TTreeNode* TTreeView::Item(int absoluteIndex) const {
  std::lock_guard<std::mutex> lock(flatLock_);
  if (!flatValid_) RebuildFlat();
  if (absoluteIndex < 0 || absoluteIndex >= static_cast<int>(flat_.size())) return nullptr;
  return flat_[absoluteIndex];
}

void TTreeView::CustomSort(const TCompare& compare, intptr_t data) {
  TCompare byText = [](TTreeNode* a, TTreeNode* b, intptr_t) { return lstrcmpA(a->text_.c_str(), b->text_.c_str()); };
  BeginUpdate();
  SortLevel(top_, nullptr, compare ? compare : byText, data);
  EndUpdate();
  Invalidate();
}

namespace {
// Orders the control's items as the model already is.
int CALLBACK ByModelIndex(LPARAM a, LPARAM b, LPARAM) {
  return reinterpret_cast<TTreeNode*>(a)->Index() - reinterpret_cast<TTreeNode*>(b)->Index();
}
}  // namespace

void TTreeView::SortLevel(std::vector<TTreeNode*>& level, TTreeNode* parent, const TCompare& compare,
                          intptr_t data) {
  std::stable_sort(level.begin(), level.end(),
                   [&](TTreeNode* a, TTreeNode* b) { return compare(a, b, data) < 0; });
  for (size_t i = 0; i < level.size(); ++i) level[i]->index_ = static_cast<int>(i);
  if (level.size() > 1 && Mirrored(parent)) {
    TVSORTCB cb{};
    cb.hParent = parent ? parent->item_ : TVI_ROOT;
    cb.lpfnCompare = ByModelIndex;
    SendMessageA(hwnd_, TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&cb));
  }
  for (TTreeNode* n : level)
    if (!n->children_.empty()) SortLevel(n->children_, n, compare, data);
}

// ---- TTreeView: the control ------------------------------------------------

TTreeNode* TTreeView::NodeOf(HTREEITEM item) const {
  if (!item) return nullptr;
  TVITEMA it{};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  if (!SendMessageA(hwnd_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
  return reinterpret_cast<TTreeNode*>(it.lParam);
}

void TTreeView::InsertItem(TTreeNode* node) {
  TTreeNode* parent = node->parent_;
  const auto& sib = SiblingsOf(parent);
  TVINSERTSTRUCTA is{};
  is.hParent = parent ? parent->item_ : TVI_ROOT;
  if (node->index_ == 0)
    is.hInsertAfter = TVI_FIRST;
  else if (node->index_ + 1 == static_cast<int>(sib.size()))
    is.hInsertAfter = TVI_LAST;
  else
    is.hInsertAfter = sib[node->index_ - 1]->item_;
  is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
  is.item.pszText = const_cast<char*>(node->text_.c_str());
  is.item.iImage = ImageOrNone(node->image_);
  is.item.iSelectedImage = ImageOrNone(node->selectedImage_);
  is.item.cChildren = node->children_.empty() ? 0 : 1;
  is.item.lParam = reinterpret_cast<LPARAM>(node);
  node->item_ = reinterpret_cast<HTREEITEM>(SendMessageA(hwnd_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&is)));
  node->populated_ = false;
  if (node->item_ && node->expanded_ && !node->children_.empty()) {
    Populate(node);
    SendMessageA(hwnd_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(node->item_));
  }
}

void TTreeView::Populate(TTreeNode* node) {
  if (node->populated_) return;
  node->populated_ = true;
  for (TTreeNode* c : node->children_) InsertItem(c);
}

void TTreeView::EnsureItem(TTreeNode* node) {
  if (node->item_ || !node->parent_) return;
  EnsureItem(node->parent_);
  Populate(node->parent_);
}

void TTreeView::UpdateChildrenFlag(TTreeNode* node) {
  TVITEMA it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = node->item_;
  it.cChildren = node->children_.empty() ? 0 : 1;
  SendMessageA(hwnd_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

void TTreeView::ForgetItems(TTreeNode* node) {
  if (!node->item_) return;
  node->item_ = nullptr;
  node->populated_ = false;
  for (TTreeNode* c : node->children_) ForgetItems(c);
}

void TTreeView::DeleteItemQuietly(TTreeNode* node) {
  if (!node->item_) return;
  ++quiet_;
  SendMessageA(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(node->item_));
  --quiet_;
  ForgetItems(node);
}

void TTreeView::SetExpanded(TTreeNode* node, bool expand, bool recurse) {
  if (expand) {
    if (!node->children_.empty()) {
      node->expanded_ = true;
      if (node->item_) {
        Populate(node);
        SendMessageA(hwnd_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(node->item_));
      }
    }
  } else {
    bool was = node->expanded_;
    node->expanded_ = false;
    if (was && node->item_) SendMessageA(hwnd_, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(node->item_));
  }
  if (recurse)
    for (TTreeNode* c : node->children_) SetExpanded(c, expand, true);
}

void TTreeView::FullCollapse() {
  BeginUpdate();
  for (TTreeNode* n : top_) SetExpanded(n, false, true);
  EndUpdate();
}

void TTreeView::FullExpand() {
  BeginUpdate();
  for (TTreeNode* n : top_) SetExpanded(n, true, true);
  EndUpdate();
}

void TTreeView::SetSelected(TTreeNode* node) {
  if (node && node->owner_ != this) return;
  int before = selChanges_;
  SelectItem(node);
  if (selChanges_ == before && selected_ != node) {
    selected_ = node;
    if (OnChange) OnChange(node);
  }
}

void TTreeView::SelectItem(TTreeNode* node) {
  if (node) {
    EnsureItem(node);
    // A selected node is visible: its ancestors open, outermost first.
    std::vector<TTreeNode*> chain;
    for (TTreeNode* p = node->parent_; p; p = p->parent_) chain.push_back(p);
    for (auto p = chain.rbegin(); p != chain.rend(); ++p)
      if (!(*p)->expanded_) SetExpanded(*p, true, false);
  }
  SendMessageA(hwnd_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node ? node->item_ : nullptr));
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
  TVHITTESTINFO ht{};
  ht.pt = {x, y};
  SendMessageA(hwnd_, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht));
  if (!ht.hItem || !(ht.flags & TVHT_ONITEM)) return nullptr;
  return NodeOf(ht.hItem);
}

POINT TTreeView::CursorScreenPos() const {
  POINT p{};
  GetCursorPos(&p);
  return p;
}

void TTreeView::RightClickSelect() {
  POINT p = CursorScreenPos();
  ScreenToClient(hwnd_, &p);
  if (TTreeNode* n = GetNodeAt(p.x, p.y)) SetSelected(n);
}

void TTreeView::SetImages(HIMAGELIST images) {
  SendMessageA(hwnd_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
}

void TTreeView::SetIndent(int indent) { SendMessageA(hwnd_, TVM_SETINDENT, indent, 0); }

void TTreeView::BeginUpdate() {
  if (updateCount_++ == 0) SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
}

void TTreeView::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) {
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

bool TTreeView::OnNotify(NMHDR* hdr, LRESULT& result) {
  // The A and W forms of NMTREEVIEW share the layout of what is read here.
  auto* nm = reinterpret_cast<NMTREEVIEWA*>(hdr);
  switch (hdr->code) {
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW: {
      if (quiet_) return true;
      selected_ = nm->itemNew.hItem ? reinterpret_cast<TTreeNode*>(nm->itemNew.lParam) : nullptr;
      ++selChanges_;
      if (OnChange) OnChange(selected_);
      return true;
    }
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW:
      // lParam rather than a look-up: the control checks every handle it is
      // given against all its items.
      if ((nm->action & TVE_EXPAND) && nm->itemNew.hItem) {
        if (auto* n = reinterpret_cast<TTreeNode*>(nm->itemNew.lParam)) Populate(n);
      }
      result = FALSE;
      return true;
    case TVN_ITEMEXPANDEDA:
    case TVN_ITEMEXPANDEDW:
      if (auto* n = reinterpret_cast<TTreeNode*>(nm->itemNew.lParam)) {
        if (nm->action & TVE_COLLAPSE) n->expanded_ = false;
        if (nm->action & TVE_EXPAND) n->expanded_ = true;
      }
      return true;
    case NM_RCLICK:
      RightClickSelect();
      result = 0;  // the control goes on with WM_CONTEXTMENU
      return true;
  }
  return false;
}

}  // namespace cl
