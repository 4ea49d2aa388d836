// The tree view: a node model that owns the nodes, and the system tree
// control that mirrors it. The control only holds items for the nodes a user
// can reach: the top level and the children of nodes expanded at least once;
// each item's lParam points at its node. Workers read the model, never the
// control.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cl_control.h"

namespace cl {

enum TNodeAttachMode { naAdd, naAddFirst, naAddChild, naAddChildFirst, naInsert };

class TTreeView;

class TTreeNode {
public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  void* Data = nullptr;  // the program's, never freed by the node

  int ImageIndex() const { return image_; }
  void SetImageIndex(int index);
  int SelectedIndex() const { return selectedImage_; }
  void SetSelectedIndex(int index);

  TTreeNode* Parent() const { return parent_; }
  int Count() const { return static_cast<int>(children_.size()); }
  // The i-th child, null outside 0..Count()-1.
  TTreeNode* Item(int i) const { return i >= 0 && i < Count() ? children_[i] : nullptr; }
  const std::vector<TTreeNode*>& Children() const { return children_; }
  TTreeNode* GetFirstChild() const { return children_.empty() ? nullptr : children_.front(); }
  TTreeNode* GetNextSibling() const;
  TTreeNode* GetPrevSibling() const;
  bool HasChildren() const { return !children_.empty(); }
  // Position among the siblings.
  int Index() const { return index_; }
  // Preorder position in the whole tree, the top-level nodes in order.
  int AbsoluteIndex() const;
  int Level() const;
  bool HasAsParent(const TTreeNode* ancestor) const;

  bool Expanded() const { return expanded_; }
  void Expand(bool recurse);
  void Collapse(bool recurse);
  // Moves the node with its subtree; a move under the node itself or one of
  // its descendants is refused. A null target means the top level.
  void MoveTo(TTreeNode* target, TNodeAttachMode mode);
  // Deletes the node with its subtree.
  void Delete();

  TTreeView* Owner() const { return owner_; }
  bool IsSelected() const;
  HTREEITEM ItemId() const { return item_; }

private:
  friend class TTreeView;
  TTreeNode(TTreeView* owner, const std::string& text) : owner_(owner), text_(text) {}
  ~TTreeNode() = default;

  TTreeView* owner_;
  TTreeNode* parent_ = nullptr;
  std::vector<TTreeNode*> children_;
  std::string text_;
  int image_ = -1;
  int selectedImage_ = -1;
  int index_ = 0;
  mutable int absIndex_ = 0;  // valid while the owner's preorder cache is
  bool expanded_ = false;
  // The control holds items for all children (set once expanded in the control).
  bool populated_ = false;
  HTREEITEM item_ = nullptr;
};

class TTreeView : public TControl {
public:
  explicit TTreeView(TWinControl* parent);
  ~TTreeView() override;
  const char* KindName() const override { return "TTreeView"; }

  // New last sibling of sibling, or new last top-level node when it is null.
  TTreeNode* Add(TTreeNode* sibling, const std::string& text);
  TTreeNode* AddFirst(TTreeNode* sibling, const std::string& text);
  // New last child of parent, or new last top-level node when it is null.
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
  TTreeNode* AddChildFirst(TTreeNode* parent, const std::string& text);
  TTreeNode* AddObject(TTreeNode* sibling, const std::string& text, void* data);
  TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);
  // New node just before sibling (last top-level node when it is null).
  TTreeNode* Insert(TTreeNode* sibling, const std::string& text);
  void Delete(TTreeNode* node);
  void Clear();

  // All nodes of the tree.
  int Count() const { return count_; }
  // The node at a preorder position, null outside 0..Count()-1.
  TTreeNode* Item(int absoluteIndex) const;
  const std::vector<TTreeNode*>& TopLevel() const { return top_; }
  TTreeNode* GetFirstNode() const { return top_.empty() ? nullptr : top_.front(); }

  TTreeNode* Selected() const { return selected_; }
  void SetSelected(TTreeNode* node);
  // The node whose item lies under a point of the client area, or null.
  TTreeNode* GetNodeAt(int x, int y) const;

  void FullCollapse();
  void FullExpand();

  using TCompare = std::function<int(TTreeNode* a, TTreeNode* b, intptr_t data)>;
  // Sorts every level of the tree; nodes that compare equal keep their order.
  void CustomSort(const TCompare& compare, intptr_t data);

  void SetImages(HIMAGELIST images);  // not owned
  void SetIndent(int indent);
  void BeginUpdate();
  void EndUpdate();

  std::function<void(TTreeNode* node)> OnChange;
  // Called for each node of a deleted subtree, deepest first, before it is freed.
  std::function<void(TTreeNode* node)> OnDeletion;

  bool OnNotify(NMHDR* hdr, LRESULT& result) override;

protected:
  // Where the mouse is, in screen coordinates, when a right click arrives.
  virtual POINT CursorScreenPos() const;

private:
  friend class TTreeNode;
  TTreeNode* NewNode(TTreeNode* parent, int pos, const std::string& text);
  void Attach(TTreeNode* node, TTreeNode* parent, int pos);
  void Detach(TTreeNode* node);
  std::vector<TTreeNode*>& SiblingsOf(TTreeNode* parent) { return parent ? parent->children_ : top_; }
  // Where mode puts a node relative to target: the parent and the position.
  void Resolve(TTreeNode* target, TNodeAttachMode mode, TTreeNode*& parent, int& pos);
  bool Mirrored(TTreeNode* parent) const { return !parent || (parent->item_ && parent->populated_); }
  void InsertItem(TTreeNode* node);
  void Populate(TTreeNode* node);
  void EnsureItem(TTreeNode* node);
  void UpdateChildrenFlag(TTreeNode* node);
  void ForgetItems(TTreeNode* node);
  void DeleteItemQuietly(TTreeNode* node);
  void FireDeletion(TTreeNode* node);
  void FreeSubtree(TTreeNode* node);
  void SetExpanded(TTreeNode* node, bool expand, bool recurse);
  void SortLevel(std::vector<TTreeNode*>& level, TTreeNode* parent, const TCompare& compare, intptr_t data);
  void Invalidate() { flatValid_ = false; }
  void RebuildFlat() const;
  void RightClickSelect();
  // Opens the node's ancestors and makes it the control's selection.
  void SelectItem(TTreeNode* node);
  TTreeNode* NodeOf(HTREEITEM item) const;
  void MoveNode(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode);
  static int SubtreeSize(const TTreeNode* node);

  std::vector<TTreeNode*> top_;
  int count_ = 0;
  TTreeNode* selected_ = nullptr;
  int updateCount_ = 0;
  // While set, selection notifications of the control are not events.
  int quiet_ = 0;
  int selChanges_ = 0;

  // Preorder cache for Item() and AbsoluteIndex(); workers may read it too.
  mutable std::mutex flatLock_;
  mutable std::vector<TTreeNode*> flat_;
  mutable std::atomic<bool> flatValid_{true};
};

}  // namespace cl
