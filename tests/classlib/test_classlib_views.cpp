#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cl_app.h"
#include "cl_listview.h"
#include "cl_thread.h"
#include "cl_treeview.h"

namespace {

using cl::TListItem;
using cl::TListView;
using cl::TTreeNode;
using cl::TTreeView;

// ---- helpers ---------------------------------------------------------------

// Trees are written as text: "+name" is a folder (image 0), "name" any other
// object (image 1), "name:tag" carries the tag as its Data, and "(...)" holds
// the children of the name before it.
class TreeBuilder {
public:
  explicit TreeBuilder(TTreeView& tree) : tree_(tree) {}
  void Build(const std::string& text) {
    size_t pos = 0;
    Level(text, pos, nullptr);
  }
  TTreeNode* Find(const std::string& label) const {
    for (int i = 0; i < tree_.Count(); ++i) {
      TTreeNode* n = tree_.Item(i);
      if (Label(n) == label) return n;
    }
    return nullptr;
  }
  static std::string Label(const TTreeNode* n) {
    std::string s = (n->ImageIndex() == 0 ? "+" : "") + n->Text();
    if (n->Data) s += std::string(":") + static_cast<const char*>(n->Data);
    return s;
  }

private:
  void Level(const std::string& text, size_t& pos, TTreeNode* parent) {
    TTreeNode* last = nullptr;
    while (pos < text.size()) {
      char c = text[pos];
      if (c == ' ' || c == '(' || c == ')') {
        ++pos;
        if (c == '(') Level(text, pos, last);
        if (c == ')') return;
        continue;
      }
      size_t end = std::min(text.find_first_of(" ()", pos), text.size());
      std::string word = text.substr(pos, end - pos);
      pos = end;
      bool folder = word[0] == '+';
      size_t colon = word.find(':');
      last = tree_.AddChild(parent, word.substr(folder, colon - folder));
      last->SetImageIndex(folder ? 0 : 1);
      if (colon != std::string::npos) last->Data = const_cast<char*>(tags_.emplace_back(word.substr(colon + 1)).c_str());
    }
  }
  TTreeView& tree_;
  std::deque<std::string> tags_;
};

std::string ModelText(const std::vector<TTreeNode*>& level) {
  std::string s;
  for (TTreeNode* n : level) {
    if (!s.empty()) s += ' ';
    s += TreeBuilder::Label(n);
    if (n->Count()) s += "(" + ModelText(n->Children()) + ")";
  }
  return s;
}

HTREEITEM NextItem(HWND tv, UINT how, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// The items the control holds, in the same notation, read back from the
// control's own text, image and structure.
std::string ControlText(HWND tv, HTREEITEM first) {
  std::string s;
  for (HTREEITEM h = first; h; h = NextItem(tv, TVGN_NEXT, h)) {
    char buf[256] = {};
    TVITEMA it{};
    it.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM;
    it.hItem = h;
    it.pszText = buf;
    it.cchTextMax = sizeof buf;
    SendMessageA(tv, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
    if (!s.empty()) s += ' ';
    s += (it.iImage == 0 ? "+" : "") + std::string(buf);
    if (auto* n = reinterpret_cast<TTreeNode*>(it.lParam); n && n->Data)
      s += std::string(":") + static_cast<const char*>(n->Data);
    if (HTREEITEM child = NextItem(tv, TVGN_CHILD, h)) s += "(" + ControlText(tv, child) + ")";
  }
  return s;
}

std::string ControlText(const TTreeView& tree) {
  return ControlText(tree.Handle(), NextItem(tree.Handle(), TVGN_ROOT, nullptr));
}

int ControlCount(const TTreeView& tree) {
  return static_cast<int>(SendMessageA(tree.Handle(), TVM_GETCOUNT, 0, 0));
}

// The folders-first order of the image browser: data 1 by name, data 0 by kind.
int BrowserCompare(TTreeNode* a, TTreeNode* b, intptr_t data) {
  if (data == 1) return lstrcmpA(a->Text().c_str(), b->Text().c_str());
  if (data == 0) return lstrcmpA(std::to_string(a->ImageIndex()).c_str(), std::to_string(b->ImageIndex()).c_str());
  return 0;
}

void SortLikeTheBrowser(TTreeView& tree) {
  tree.CustomSort(BrowserCompare, 1);
  tree.CustomSort(BrowserCompare, 0);
}

// A tree whose right clicks land where the test says.
class ClickTree : public TTreeView {
public:
  using TTreeView::TTreeView;
  POINT at{};

protected:
  POINT CursorScreenPos() const override { return at; }
};

class TreeViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    form_ = std::make_unique<cl::TForm>();
    form_->SetClientSize(400, 400);
    tree_ = std::make_unique<ClickTree>(form_.get());
    tree_->SetBounds(0, 0, 300, 400);
    form_->Show();
    tree_->OnDeletion = [this](TTreeNode* n) { deleted_.push_back(TreeBuilder::Label(n)); };
    tree_->OnChange = [this](TTreeNode* n) { changes_.push_back(n); };
  }
  void TearDown() override {
    tree_.reset();
    form_.reset();
  }
  std::unique_ptr<cl::TForm> form_;
  std::unique_ptr<ClickTree> tree_;
  std::vector<std::string> deleted_;
  std::vector<TTreeNode*> changes_;
};

// ---- tree: model -----------------------------------------------------------

TEST_F(TreeViewTest, AbsoluteIndexAndItemFollowPreorder) {
  TreeBuilder b(*tree_);
  b.Build("a(b(c d) e) f(g) h");
  // Adding in the middle moves everything after it.
  tree_->AddChildFirst(b.Find("b"), "x");
  tree_->Add(b.Find("g"), "y");
  const std::vector<std::string> preorder = {"a", "b", "x", "c", "d", "e", "f", "g", "y", "h"};
  ASSERT_EQ(tree_->Count(), 10);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(preorder[i]);
    ASSERT_NE(tree_->Item(i), nullptr);
    EXPECT_EQ(tree_->Item(i)->Text(), preorder[i]);
    EXPECT_EQ(tree_->Item(i)->AbsoluteIndex(), i);
  }
  EXPECT_EQ(tree_->Item(-1), nullptr);
  EXPECT_EQ(tree_->Item(10), nullptr);
  EXPECT_EQ(ModelText(tree_->TopLevel()), "a(b(x c d) e) f(g y) h");
}

TEST_F(TreeViewTest, OnlyReachableNodesHaveItemsAndTheyMatchTheModel) {
  TreeBuilder b(*tree_);
  b.Build("a(b(c d) e) f(g) h");
  EXPECT_EQ(ControlText(*tree_), "a f h");
  b.Find("a")->Expand(false);
  // Children added under a node the control shows appear at once, in place.
  tree_->AddChildFirst(b.Find("a"), "first");
  tree_->Insert(b.Find("e"), "beforee");
  EXPECT_EQ(ControlText(*tree_), "a(first b beforee e) f h");
  tree_->FullExpand();
  EXPECT_EQ(ControlText(*tree_), ModelText(tree_->TopLevel()));
  EXPECT_EQ(ControlCount(*tree_), tree_->Count());
}

TEST_F(TreeViewTest, DeleteTakesTheSubtreeAndReportsDeepestFirst) {
  TreeBuilder b(*tree_);
  b.Build("r(a(b(c) d) e) f");
  tree_->FullExpand();
  b.Find("a")->Delete();
  EXPECT_EQ(deleted_, (std::vector<std::string>{"c", "b", "d", "a"}));
  EXPECT_EQ(ModelText(tree_->TopLevel()), "r(e) f");
  EXPECT_EQ(ControlText(*tree_), "r(e) f");
  EXPECT_EQ(ControlCount(*tree_), 3);
  EXPECT_EQ(b.Find("f")->AbsoluteIndex(), 2);

  // The last child gone, the parent loses its button and its open state.
  tree_->Delete(b.Find("e"));
  EXPECT_FALSE(b.Find("r")->Expanded());
  TVITEMA it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = b.Find("r")->ItemId();
  SendMessageA(tree_->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_EQ(it.cChildren, 0);
}

TEST_F(TreeViewTest, DeleteAndClearReportNodesTheControlNeverShowed) {
  struct Case {
    const char* name;
    bool clear;  // else delete the first top node
    std::vector<std::string> deleted;
  };
  const Case cases[] = {{"delete", false, {"c", "b", "a", "d", "r"}},
                        {"clear", true, {"c", "b", "a", "d", "r", "f", "e"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tree_->Clear();
    deleted_.clear();
    TreeBuilder b(*tree_);
    b.Build(c.clear ? "r(a(b(c)) d) e(f)" : "r(a(b(c)) d)");
    tree_->SetSelected(b.Find("b"));
    if (c.clear)
      tree_->Clear();
    else
      b.Find("r")->Delete();
    EXPECT_EQ(deleted_, c.deleted);
    EXPECT_EQ(tree_->Count(), 0);
    EXPECT_EQ(tree_->Selected(), nullptr);
    EXPECT_EQ(ControlCount(*tree_), 0);
  }
}

TEST_F(TreeViewTest, MoveToCarriesTheSubtree) {
  struct Case {
    const char* name;
    const char* node;
    const char* target;  // null: the top level
    cl::TNodeAttachMode mode;
    const char* expected;
  };
  const Case cases[] = {
      {"last child", "b", "e", cl::naAddChild, "r(a(d) e(x b(c)))"},
      {"first child", "b", "e", cl::naAddChildFirst, "r(a(d) e(b(c) x))"},
      {"before the target", "e", "a", cl::naInsert, "r(e(x) a(b(c) d))"},
      {"up to the top level", "b", nullptr, cl::naAdd, "r(a(d) e(x)) b(c)"},
      {"refused: under itself", "a", "a", cl::naAddChild, "r(a(b(c) d) e(x))"},
      {"refused: under its grandchild", "a", "c", cl::naAdd, "r(a(b(c) d) e(x))"},
      {"refused: before itself", "a", "a", cl::naInsert, "r(a(b(c) d) e(x))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tree_->Clear();
    TreeBuilder b(*tree_);
    b.Build("r(a(b(c) d) e(x))");
    tree_->FullExpand();
    b.Find(c.node)->MoveTo(c.target ? b.Find(c.target) : nullptr, c.mode);
    EXPECT_EQ(ModelText(tree_->TopLevel()), c.expected);
    EXPECT_EQ(tree_->Count(), 7);
    EXPECT_EQ(ControlText(*tree_), c.expected);
    EXPECT_EQ(ControlCount(*tree_), 7);
    for (int i = 0; i < tree_->Count(); ++i) ASSERT_EQ(tree_->Item(i)->AbsoluteIndex(), i);
  }
}

TEST_F(TreeViewTest, MoveIntoAFolderTheControlDoesNotShowKeepsTheStateForLater) {
  TreeBuilder b(*tree_);
  b.Build("r(p(q) k(m(n)))");
  b.Find("r")->Expand(false);
  b.Find("k")->Expand(true);
  b.Find("k")->MoveTo(b.Find("q"), cl::naAddChild);
  EXPECT_EQ(ControlText(*tree_), "r(p)");
  b.Find("p")->Expand(true);
  EXPECT_EQ(ControlText(*tree_), "r(p(q(k(m(n)))))");
  EXPECT_EQ(ControlCount(*tree_), tree_->Count());
}

TEST_F(TreeViewTest, MovingTheSelectedNodeKeepsItSelectedWithoutEvents) {
  TreeBuilder b(*tree_);
  b.Build("r(a(b) c)");
  tree_->FullExpand();
  tree_->SetSelected(b.Find("b"));
  changes_.clear();
  b.Find("a")->MoveTo(b.Find("c"), cl::naAddChild);
  EXPECT_TRUE(changes_.empty());
  EXPECT_EQ(tree_->Selected(), b.Find("b"));
  EXPECT_EQ(NextItem(tree_->Handle(), TVGN_CARET, nullptr), b.Find("b")->ItemId());
}

// ---- tree: sort ------------------------------------------------------------

TEST_F(TreeViewTest, BrowserSortIsFoldersFirstByNameAndStable) {
  for (bool expandFirst : {true, false}) {
    SCOPED_TRACE(expandFirst ? "control mirrors before the sort" : "control mirrors after");
    tree_->Clear();
    TreeBuilder b(*tree_);
    b.Build("+r(b:1 +z a:1 +m b:2 a:2 +c(y:1 x +y:2 y:3) a:3) +e");
    if (expandFirst) tree_->FullExpand();
    SortLikeTheBrowser(*tree_);
    tree_->FullExpand();
    const char* expected = "+e +r(+c(+y:2 x y:1 y:3) +m +z a:1 a:2 a:3 b:1 b:2)";
    EXPECT_EQ(ModelText(tree_->TopLevel()), expected);
    EXPECT_EQ(ControlText(*tree_), expected);
    for (int i = 0; i < tree_->Count(); ++i) ASSERT_EQ(tree_->Item(i)->AbsoluteIndex(), i);
  }
}

// ---- tree: selection -------------------------------------------------------

TEST_F(TreeViewTest, SetSelectedFiresOnceAndAgreesWithTheControl) {
  TreeBuilder b(*tree_);
  b.Build("r(a(b(c)) d)");
  TTreeNode* c = b.Find("c");  // not yet in the control
  tree_->SetSelected(c);
  EXPECT_EQ(changes_, (std::vector<TTreeNode*>{c}));
  EXPECT_EQ(tree_->Selected(), c);
  EXPECT_EQ(NextItem(tree_->Handle(), TVGN_CARET, nullptr), c->ItemId());
  EXPECT_TRUE(b.Find("b")->Expanded());

  TTreeNode* d = b.Find("d");
  tree_->SetSelected(d);
  EXPECT_EQ(changes_, (std::vector<TTreeNode*>{c, d}));
  EXPECT_FALSE(c->IsSelected());
  EXPECT_EQ(NextItem(tree_->Handle(), TVGN_CARET, nullptr), d->ItemId());
  // Selecting what is already selected changes nothing.
  tree_->SetSelected(d);
  EXPECT_EQ(changes_.size(), 2u);
}

TEST_F(TreeViewTest, RightClickSelectsTheNodeUnderTheMouse) {
  TreeBuilder b(*tree_);
  b.Build("r(a b c)");
  tree_->FullExpand();
  tree_->SetSelected(b.Find("a"));
  changes_.clear();
  RECT r{};
  HTREEITEM item = b.Find("c")->ItemId();
  memcpy(&r, &item, sizeof item);  // TVM_GETITEMRECT takes the item in the rectangle
  ASSERT_TRUE(SendMessageA(tree_->Handle(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)));
  // On the item, then below the last item where there is nothing to select.
  for (int y : {(r.top + r.bottom) / 2, r.bottom + 3 * (r.bottom - r.top)}) {
    tree_->at = {(r.left + r.right) / 2, y};
    ClientToScreen(tree_->Handle(), &tree_->at);
    NMHDR hdr{tree_->Handle(), 0, static_cast<UINT>(NM_RCLICK)};
    SendMessageA(form_->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
    EXPECT_EQ(tree_->Selected(), b.Find("c"));
    EXPECT_EQ(changes_, (std::vector<TTreeNode*>{b.Find("c")}));
  }
}

TEST_F(TreeViewTest, DeletingTheSelectionMovesItToALiveNode) {
  TreeBuilder b(*tree_);
  b.Build("r(a(x) b)");
  tree_->FullExpand();
  tree_->SetSelected(b.Find("x"));
  changes_.clear();
  // The handler may look at the tree while the control moves its selection.
  std::vector<std::string> seen;
  tree_->OnChange = [&](TTreeNode* n) {
    changes_.push_back(n);
    seen.push_back(ModelText(tree_->TopLevel()));
  };
  b.Find("a")->Delete();
  TTreeNode* sel = tree_->Selected();
  ASSERT_NE(sel, nullptr);
  EXPECT_TRUE(sel == b.Find("r") || sel == b.Find("b"));
  EXPECT_EQ(NextItem(tree_->Handle(), TVGN_CARET, nullptr), sel->ItemId());
  for (TTreeNode* n : changes_) EXPECT_TRUE(n == b.Find("r") || n == b.Find("b"));
  for (const std::string& s : seen) EXPECT_EQ(s, "r(b)");
}

TEST_F(TreeViewTest, UserExpansionFillsTheLevelOnDemand) {
  TreeBuilder b(*tree_);
  b.Build("r(a(b) c) s");
  tree_->SetSelected(b.Find("r"));
  tree_->FullCollapse();
  tree_->SetFocus();
  // The arrow keys open and close the selected node as the user does.
  SendMessageA(tree_->Handle(), WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(ControlText(*tree_), "r(a c) s");
  EXPECT_TRUE(b.Find("r")->Expanded());
  EXPECT_FALSE(b.Find("a")->Expanded());
  SendMessageA(tree_->Handle(), WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_FALSE(b.Find("r")->Expanded());
}

// ---- tree: workers ---------------------------------------------------------

// Walks the tree the way the extraction worker does.
class TreeReader : public cl::TThread {
public:
  explicit TreeReader(TTreeView& tree) : tree_(tree) {}
  std::string path;
  int mismatches = -1;

protected:
  void Execute() override {
    mismatches = 0;
    for (int i = 0; i < tree_.Count(); ++i) {
      TTreeNode* n = tree_.Item(i);
      if (!n || n->AbsoluteIndex() != i) ++mismatches;
    }
    for (TTreeNode* n = tree_.Item(tree_.Count() - 1); n; n = n->Parent()) path = n->Text() + "/" + path;
  }

private:
  TTreeView& tree_;
};

TEST_F(TreeViewTest, AWorkerReadsTheModel) {
  TreeBuilder b(*tree_);
  b.Build("r(a(b(c) d(e(f))) g) h(i)");
  b.Find("g")->MoveTo(b.Find("f"), cl::naAddChild);  // leaves the preorder cache stale
  TreeReader reader(*tree_);
  reader.Start();
  cl::Application.RunUntil([&] { return reader.Finished(); });
  reader.WaitFor();
  EXPECT_EQ(reader.mismatches, 0);
  EXPECT_EQ(reader.path, "h/i/");
}

// ---- list view -------------------------------------------------------------

class ListViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    form_ = std::make_unique<cl::TForm>();
    form_->SetClientSize(400, 400);
    list_ = std::make_unique<TListView>(form_.get());
    list_->SetBounds(0, 0, 400, 400);
    form_->Show();
    list_->OnChange = [this](TListItem* item, cl::TItemChange change) {
      changes_.push_back((item ? item->Caption() : std::string("*")) + "/" + "TIS"[change]);
    };
  }
  void TearDown() override {
    list_.reset();
    form_.reset();
  }
  void Fill(const std::vector<std::string>& captions) {
    for (const std::string& c : captions) {
      TListItem* it = list_->Add();
      it->SetCaption(c);
      it->SetImageIndex(static_cast<int>(list_->Count()));
    }
  }
  // The captions in order, from the model and from the control; the two
  // must also agree item by item on the model's pointer.
  std::string Order() const {
    std::string model, control;
    int n = static_cast<int>(SendMessageA(list_->Handle(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < list_->Count(); ++i) model += (i ? " " : "") + list_->Item(i)->Caption();
    for (int i = 0; i < n; ++i) {
      char buf[256] = {};
      LVITEMA it{};
      it.mask = LVIF_TEXT | LVIF_PARAM;
      it.iItem = i;
      it.pszText = buf;
      it.cchTextMax = sizeof buf;
      SendMessageA(list_->Handle(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
      control += (i ? " " : "") + std::string(buf);
      if (reinterpret_cast<TListItem*>(it.lParam) != list_->Item(i) || list_->Item(i)->Index() != i)
        control += "(wrong item)";
    }
    return model == control ? model : "model " + model + " control " + control;
  }
  void SetState(int index, UINT state) {
    LVITEMA it{};
    it.stateMask = LVIS_SELECTED;
    it.state = state;
    SendMessageA(list_->Handle(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&it));
  }
  std::unique_ptr<cl::TForm> form_;
  std::unique_ptr<TListView> list_;
  std::vector<std::string> changes_;
};

TEST_F(ListViewTest, SelectionThroughTheControlReachesTheModel) {
  Fill({"a", "b", "c", "d"});
  struct Step {
    const char* name;
    int index;
    UINT state;
    int itemIndex;
    std::vector<int> selected;
  };
  const Step steps[] = {
      {"select the third", 2, LVIS_SELECTED, 2, {2}},
      {"add the second", 1, LVIS_SELECTED, 1, {1, 2}},
      {"drop the second", 1, 0, 2, {2}},
      {"drop all", -1, 0, -1, {}},
      {"select all", -1, LVIS_SELECTED, 0, {0, 1, 2, 3}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    changes_.clear();
    SetState(s.index, s.state);
    EXPECT_FALSE(changes_.empty());
    for (const std::string& c : changes_) EXPECT_EQ(c.back(), 'S');
    EXPECT_EQ(list_->ItemIndex(), s.itemIndex);
    EXPECT_EQ(list_->SelCount(), static_cast<int>(s.selected.size()));
    std::vector<int> got;
    for (TListItem* it : list_->SelectedItems()) got.push_back(it->Index());
    EXPECT_EQ(got, s.selected);
  }
  changes_.clear();
  SetState(1, LVIS_SELECTED);
  EXPECT_TRUE(changes_.empty());  // already selected: the control reports nothing
}

TEST_F(ListViewTest, SetItemIndexSelectsThatOneOnly) {
  Fill({"a", "b", "c"});
  SetState(0, LVIS_SELECTED);
  SetState(2, LVIS_SELECTED);
  list_->SetItemIndex(1);
  EXPECT_EQ(list_->ItemIndex(), 1);
  EXPECT_EQ(list_->SelCount(), 1);
  EXPECT_EQ(SendMessageA(list_->Handle(), LVM_GETSELECTEDCOUNT, 0, 0), 1);
  list_->SetItemIndex(-1);
  EXPECT_EQ(list_->ItemIndex(), -1);
  EXPECT_EQ(SendMessageA(list_->Handle(), LVM_GETSELECTEDCOUNT, 0, 0), 0);
}

TEST_F(ListViewTest, CustomSortIsStableInTheModelAndTheControl) {
  Fill({"c1", "b2", "a2", "a1", "b1", "c2", "a3"});
  list_->Item(4)->SetSelected(true);  // b1
  list_->CustomSort([](TListItem* a, TListItem* b, intptr_t) { return a->Caption()[0] - b->Caption()[0]; }, 0);
  EXPECT_EQ(Order(), "a2 a1 a3 b2 b1 c1 c2");
  ASSERT_EQ(list_->SelectedItems().size(), 1u);
  EXPECT_EQ(list_->SelectedItems()[0]->Caption(), "b1");
  EXPECT_EQ(list_->ItemIndex(), 4);
}

TEST_F(ListViewTest, ClearAndDelete) {
  Fill({"a", "b", "c", "d"});
  SetState(1, LVIS_SELECTED);
  SetState(3, LVIS_SELECTED);
  list_->Delete(1);
  EXPECT_EQ(Order(), "a c d");
  EXPECT_EQ(list_->SelCount(), 1);
  EXPECT_EQ(list_->ItemIndex(), 2);
  list_->Item(0)->Delete();
  EXPECT_EQ(Order(), "c d");
  EXPECT_EQ(list_->ItemIndex(), 1);
  list_->Clear();
  EXPECT_EQ(Order(), "");
  EXPECT_EQ(list_->ItemIndex(), -1);
  EXPECT_TRUE(list_->SelectedItems().empty());
}

TEST_F(ListViewTest, ContextPopupPosition) {
  Fill({"a", "b", "c"});
  std::vector<POINT> popups;
  list_->OnContextPopup = [&](int x, int y) { popups.push_back({x, y}); };
  POINT corner{0, 0};
  ClientToScreen(list_->Handle(), &corner);
  // From the mouse; from the keyboard without, then with a selection.
  SendMessageA(list_->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_->Handle()), MAKELPARAM(120, 70));
  SendMessageA(list_->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_->Handle()), -1);
  SetState(2, LVIS_SELECTED);
  SendMessageA(list_->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_->Handle()), -1);
  ASSERT_EQ(popups.size(), 3u);
  EXPECT_EQ(popups[0].x, 120);
  EXPECT_EQ(popups[0].y, 70);
  EXPECT_EQ(popups[1].x, corner.x);
  EXPECT_EQ(popups[1].y, corner.y);
  RECT r{};
  r.left = LVIR_BOUNDS;
  ASSERT_TRUE(SendMessageA(list_->Handle(), LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r)));
  MapWindowPoints(list_->Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_TRUE(PtInRect(&r, popups[2]));
}

}  // namespace
