#include <gtest/gtest.h>
#include <objbase.h>

#include <deque>
#include <fstream>
#include <sstream>

#include "Unit1.h"
#include "program_test.h"
#include "session.h"

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void RemoveProbe(const std::string& key) {
  std::string path = IconProbePath(key);
  DeleteFileA(path.c_str());
  RemoveDirectoryA(path.c_str());
}

bool IsPlainFile(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A tree as the scan leaves it: nodes named in ANSI, records as node data,
// folders with image 0 and the rest with image 1, the NodeTable pointing at
// the nodes. Children are added out of order; SortFolderTree orders them.
class FolderView : public ProgramTest {
protected:
  void SetUp() override {
    ProgramTest::SetUp();
    Form1->TreeView1.Clear();
    Form1->ListView1.Clear();
    Form1->ListView1.Tag = 0;
    Form1->Edit2.SetText("");
    ScanRunning = false;
    AllocNodeTable();
    root = Form1->TreeView1.AddChild(nullptr, "/");
    root->SetImageIndex(0);
    root->SetSelectedIndex(0);
    root->Data = NewRecord("/", 1, 3);
    SetRootNode(NodeTable, root);
    zeta = Add(root, "zeta.txt", 10, 1);
    system_ = Add(root, "system", 2, 3);
    app = Add(system_, "app", 5, 3);
    Add(app, "Browser.apk", 9, 1);
    buildProp = Add(system_, "build.prop", 6, 1);
    Add(system_, "bin", 7, 3);
    Add(root, "README", 4, 1);
    Add(root, "Vendor", 12, 3);
    Add(root, "dup", 14, 1);
    Add(root, "link", 0x70010, 4);  // id beyond 16 bits: keyed and shown by its low 16
    data = Add(root, "data", 3, 3);
    Add(root, "dup", 13, 1);
    Add(root, "lib.so.1", 15, 1);
    lost = Add(nullptr, "lost", 20, 3);  // its parent was never found
    sub = Add(lost, "sub", 21, 3);
    SortFolderTree();
  }

  void TearDown() override {
    ScanRunning = false;
    Form1->ListView1.Clear();
    Form1->TreeView1.Clear();
  }

  ObjectRecord* NewRecord(const std::string& name, uint32_t id, uint32_t type) {
    records_.emplace_back();
    ObjectRecord& r = records_.back();
    r.Valid = 1;
    SetRecordName(r, Utf8FromAnsi(name));
    r.ObjectId = id;
    r.ObjectType = type;
    return &r;
  }

  cl::TTreeNode* Add(cl::TTreeNode* parent, const std::string& name, uint32_t id, uint32_t type) {
    cl::TTreeNode* n = Form1->TreeView1.AddChildObject(parent, name, NewRecord(name, id, type));
    int image = type == 3 ? 0 : 1;
    n->SetImageIndex(image);
    n->SetSelectedIndex(image);
    SetNode(NodeTable, id, n);
    return n;
  }

  static std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (int i = 0; i < Form1->ListView1.Count(); ++i) out.push_back(Form1->ListView1.Item(i)->Caption());
    return out;
  }
  static std::vector<std::vector<std::string>> SubItems() {
    std::vector<std::vector<std::string>> out;
    for (int i = 0; i < Form1->ListView1.Count(); ++i) out.push_back(Form1->ListView1.Item(i)->SubItems());
    return out;
  }
  static int IndexOf(const std::string& caption) {
    for (int i = 0; i < Form1->ListView1.Count(); ++i)
      if (Form1->ListView1.Item(i)->Caption() == caption) return i;
    return -1;
  }
  static std::string PathBar() { return Form1->Edit2.Text(); }

  cl::TTreeNode *root, *zeta, *system_, *app, *buildProp, *data, *lost, *sub;
  std::deque<ObjectRecord> records_;
};

const std::vector<std::string> kRootEntries = {"data", "system", "Vendor", "dup", "dup",
                                               "lib.so.1", "link", "README", "zeta.txt"};

TEST_F(FolderView, SelectingTheRootListsFoldersFirstThenNamesWithShellIcons) {
  Form1->TreeView1.SetSelected(root);
  cl::Application.ProcessMessages();
  // lstrcmpA order: "Vendor" after "system", where a byte order would put it first.
  EXPECT_EQ(Captions(), kRootEntries);
  EXPECT_EQ(SubItems(), (std::vector<std::vector<std::string>>{
                            {"3", "3"}, {"2", "3"}, {"12", "3"}, {"14", "1"}, {"13", "1"},
                            {"15", "1"}, {"16", "4"}, {"4", "1"}, {"10", "1"}}));
  EXPECT_EQ(PathBar(), "/");
  EXPECT_EQ(CurrentFolderId(), 1);

  int folderIcon = GetSystemIconIndex(IconProbePath("dir"));
  int nullIcon = GetSystemIconIndex(IconProbePath("null"));
  ASSERT_NE(folderIcon, nullIcon);  // else the icon checks below could not tell them apart
  const char* keys[] = {"dir", "dir", "dir", "null", "null", "1.1", "null", "null", "txt.txt"};
  for (int i = 0; i < Form1->ListView1.Count(); ++i) {
    SCOPED_TRACE(Captions()[i]);
    EXPECT_TRUE(i < 3 ? IsFolder(IconProbePath(keys[i])) : IsPlainFile(IconProbePath(keys[i])));
    EXPECT_EQ(Form1->ListView1.Item(i)->ImageIndex(), GetSystemIconIndex(IconProbePath(keys[i])));
  }
  // The tree itself holds the same order at every level.
  std::vector<std::string> tree;
  for (cl::TTreeNode* n : root->Children()) tree.push_back(n->Text());
  EXPECT_EQ(tree, kRootEntries);
  std::vector<std::string> inSystem;
  for (cl::TTreeNode* n : system_->Children()) inSystem.push_back(n->Text());
  EXPECT_EQ(inSystem, (std::vector<std::string>{"app", "bin", "build.prop"}));
}

TEST_F(FolderView, PathBarAndFolderIdFollowTheFolderShown) {
  struct Case {
    const char* name;
    cl::TTreeNode* node;
    const char* path;
    int id;
    std::vector<std::string> entries;
  } cases[] = {
      {"root", root, "/", 1, kRootEntries},
      {"nested", app, "/system/app", 5, {"Browser.apk"}},
      {"empty folder", data, "/data", 3, {}},
      {"top-level node other than the root", lost, "lost", 20, {"sub"}},
      {"below such a node", sub, "lost/sub", 21, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form1->TreeView1.SetSelected(c.node);
    cl::Application.ProcessMessages();
    EXPECT_EQ(PathBar(), c.path);
    EXPECT_EQ(CurrentFolderId(), c.id);
    EXPECT_EQ(Captions(), c.entries);
  }
}

TEST_F(FolderView, SelectingSomethingElseThanAFolderLeavesTheListAlone) {
  ShowFolder(system_, Form1->ListView1);
  Form1->TreeView1.SetSelected(buildProp);
  ShowFolder(nullptr, Form1->ListView1);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"app", "bin", "build.prop"}));
  EXPECT_EQ(PathBar(), "/system");
}

TEST_F(FolderView, OpenAndDoubleClickEnterTheFirstSelectedFolder) {
  struct Command {
    const char* name;
    void (TForm1::*handler)();
  } commands[] = {{"打开", &TForm1::N1Click}, {"double click", &TForm1::ListView1DblClick}};
  for (const Command& c : commands) {
    SCOPED_TRACE(c.name);
    ShowFolder(root, Form1->ListView1);
    // Nothing selected: nothing happens.
    (Form1->*c.handler)();
    EXPECT_EQ(PathBar(), "/");
    Form1->ListView1.SetItemIndex(IndexOf("system"));
    (Form1->*c.handler)();
    EXPECT_EQ(PathBar(), "/system");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"app", "bin", "build.prop"}));
    EXPECT_EQ(CurrentFolderId(), 2);
    // A file: nothing happens.
    Form1->ListView1.SetItemIndex(IndexOf("build.prop"));
    (Form1->*c.handler)();
    EXPECT_EQ(PathBar(), "/system");
    EXPECT_EQ(Form1->ListView1.Count(), 3);
    // Two folders selected: the first in list order is entered.
    Form1->ListView1.SetItemIndex(IndexOf("bin"));
    Form1->ListView1.Item(IndexOf("app"))->SetSelected(true);
    (Form1->*c.handler)();
    EXPECT_EQ(PathBar(), "/system/app");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Browser.apk"}));
  }
}

TEST_F(FolderView, EnteringAnEntryWhoseNodeWasRemovedDoesNothing) {
  ShowFolder(system_, Form1->ListView1);
  ClearNodeReference(NodeTable, 5, app);
  Form1->ListView1.SetItemIndex(IndexOf("app"));
  Form1->N1Click();
  EXPECT_EQ(PathBar(), "/system");
  EXPECT_EQ(Form1->ListView1.Count(), 3);
}

TEST_F(FolderView, UpShowsTheParentAndStopsAtTheTop) {
  ShowFolder(app, Form1->ListView1);
  Form1->ToolButton1Click();
  EXPECT_EQ(PathBar(), "/system");
  EXPECT_EQ(Captions(), (std::vector<std::string>{"app", "bin", "build.prop"}));
  Form1->ToolButton1->Click();
  EXPECT_EQ(PathBar(), "/");
  EXPECT_EQ(Captions(), kRootEntries);
  Form1->ListView1.SetItemIndex(0);
  Form1->ToolButton1Click();
  EXPECT_EQ(PathBar(), "/");
  EXPECT_EQ(Captions(), kRootEntries);
  EXPECT_EQ(Form1->ListView1.ItemIndex(), 0);  // the list was not rebuilt

  ShowFolder(sub, Form1->ListView1);
  Form1->ToolButton1Click();
  EXPECT_EQ(PathBar(), "lost");
  Form1->ToolButton1Click();
  EXPECT_EQ(PathBar(), "lost");
  EXPECT_EQ(Captions(), (std::vector<std::string>{"sub"}));
}

TEST_F(FolderView, UpDoesNothingWhileAScanRunsOrWithoutAFolder) {
  ShowFolder(app, Form1->ListView1);
  ScanRunning = true;
  Form1->ToolButton1Click();
  EXPECT_EQ(PathBar(), "/system/app");
  ScanRunning = false;
  // The folder's node is gone from the table (a new image being read).
  AllocNodeTable();
  Form1->ToolButton1Click();
  EXPECT_EQ(PathBar(), "/system/app");
}

TEST_F(FolderView, RootWithoutRecordShowsAsFolderOne) {
  root->Data = nullptr;
  ShowFolder(system_, Form1->ListView1);
  Form1->ToolButton1Click();
  EXPECT_EQ(PathBar(), "/");
  EXPECT_EQ(CurrentFolderId(), 1);
}

TEST_F(FolderView, RefreshKeepsTheOrder) {
  ShowFolder(root, Form1->ListView1);
  Form1->N5Click();
  EXPECT_EQ(Captions(), kRootEntries);
  EXPECT_EQ(SubItems()[4], (std::vector<std::string>{"13", "1"}));
}

TEST_F(FolderView, IconKeys) {
  std::string ext127(127, 'e'), ext128(128, 'e');
  struct Case {
    const char* name;
    std::string entry;
    std::string key;
  } cases[] = {
      {"no extension", "README", "null"},
      {"one dot", "build.prop", "prop.prop"},
      {"several dots", "lib.so.1", "1.1"},
      {"leading dot only", ".bashrc", "bashrc.bashrc"},
      {"trailing dot", "name.", "null"},
      {"trailing blank", "a.txt ", "null"},
      {"backslash after the dot", "a.b\\c", "null"},
      {"trail byte 0x5C is no separator", "a.b\x81\x5C", "b\x81\x5C.b\x81\x5C"},
      {"GBK extension", "说明.文本", "文本.文本"},
      {"device con", "x.con", "null"},
      {"device in capitals", "x.CON", "null"},
      {"device com1", "x.Com1", "null"},
      {"com0 is a name", "x.com0", "com0.com0"},
      {"com10 is a name", "x.com10", "com10.com10"},
      {"device lpt9", "x.LPT9", "null"},
      {"longer than a device", "x.console", "console.console"},
      {"question mark", "a.b?c", "null"},
      {"control character", "a.x\ty", "null"},
      {"key of 255 characters", "a." + ext127, ext127 + "." + ext127},
      {"key of 257 characters", "a." + ext128, "null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IconKey(c.entry), c.key);
  }
  EXPECT_EQ(IconKey("build.prop", true), "dir");
}

TEST_F(FolderView, ProbesAreMadeOnceAndNeverForUnusableKeys) {
  const std::string key = "fvonce.fvonce";
  RemoveProbe(key);
  MakeIconProbe(1, key);
  EXPECT_EQ(ReadWhole(IconProbePath(key)), "\r\n");
  {
    std::ofstream out(IconProbePath(key), std::ios::binary | std::ios::trunc);
    out << "kept";
  }
  MakeIconProbe(1, key);
  EXPECT_EQ(ReadWhole(IconProbePath(key)), "kept");
  RemoveProbe(key);

  for (const char* bad : {"fv?.fv?", "fvend.", "fv|x.fv|x"}) {
    SCOPED_TRACE(bad);
    MakeIconProbe(1, bad);
    EXPECT_EQ(GetFileAttributesA(IconProbePath(bad).c_str()), INVALID_FILE_ATTRIBUTES);
  }
  MakeIconProbe(0, "");
  EXPECT_TRUE(IsFolder(IconProbePath("dir")));
}

TEST_F(FolderView, EntriesWithoutAProbeTakeTheNullIcon) {
  const std::string blocked = "fvblock.fvblock", fresh = "fvfresh.fvfresh", gbk = "\x81\x5C.\x81\x5C";
  RemoveProbe(blocked);
  RemoveProbe(fresh);
  RemoveProbe(gbk);
  // A folder of the probe's name: the probe file cannot be made.
  ASSERT_TRUE(CreateDirectoryA(IconProbePath(blocked).c_str(), nullptr));
  cl::TTreeNode* folder = Add(root, "icons", 30, 3);
  Add(folder, "a.fvblock", 31, 1);
  Add(folder, "b.con", 32, 1);
  Add(folder, "c.a?b", 33, 1);
  Add(folder, "d.fvfresh", 34, 1);
  Add(folder, "e.\x81\x5C", 35, 1);
  ShowFolder(folder, Form1->ListView1);
  ASSERT_EQ(Captions(), (std::vector<std::string>{"a.fvblock", "b.con", "c.a?b", "d.fvfresh", "e.\x81\x5C"}));

  int nullIcon = GetSystemIconIndex(IconProbePath("null"));
  ASSERT_NE(nullIcon, GetSystemIconIndex(IconProbePath(blocked)));  // the folder's icon
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(Captions()[i]);
    EXPECT_EQ(Form1->ListView1.Item(i)->ImageIndex(), nullIcon);
  }
  // An extension the scan never met gets its probe now.
  for (const std::string& key : {fresh, gbk}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(ReadWhole(IconProbePath(key)), "\r\n");
  }
  EXPECT_EQ(Form1->ListView1.Item(3)->ImageIndex(), GetSystemIconIndex(IconProbePath(fresh)));
  EXPECT_EQ(Form1->ListView1.Item(4)->ImageIndex(), GetSystemIconIndex(IconProbePath(gbk)));
  RemoveProbe(blocked);
  RemoveProbe(fresh);
  RemoveProbe(gbk);
}

}  // namespace
