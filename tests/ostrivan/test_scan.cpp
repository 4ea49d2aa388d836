#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit2.h"
#include "Unit4.h"
#include "ecc.h"
#include "image_builder.h"
#include "program_test.h"
#include "session.h"
#include "tree_text.h"

using testsupport::HeaderFields;
using testsupport::ImageBuilder;

namespace {

constexpr uint32_t Erased = 0xFFFFFFFF;

HeaderFields Dir(uint32_t parent, const std::string& name) {
  HeaderFields f;
  f.type = ObjectTypeDirectory;
  f.parent = parent;
  f.name = name;
  f.mode = testsupport::DirMode;
  return f;
}

HeaderFields File(uint32_t parent, const std::string& name, uint32_t size = 0) {
  HeaderFields f;
  f.parent = parent;
  f.name = name;
  f.fileSize = size;
  return f;
}

// The whole tree in preorder, one "path type size id" text per node.
std::vector<std::string> TreeLines() {
  std::vector<std::string> lines;
  for (int i = 0; i < Form1->TreeView1.Count(); ++i) {
    const cl::TTreeNode* n = Form1->TreeView1.Item(i);
    const ObjectRecord* r = RecordOf(n);
    std::string line = NodePath(n);
    if (r)
      line += " " + std::to_string(r->ObjectType) + " " + std::to_string(r->FileSize) + " " +
              std::to_string(IdKey(r->ObjectId));
    lines.push_back(line);
  }
  return lines;
}

// The record, text and state of the node at path; a failure (and an empty
// value) when there is no such node.
ObjectRecord RecordAt(const std::string& path) {
  const cl::TTreeNode* n = FindNode(path);
  if (!n || !n->Data) {
    ADD_FAILURE() << "no record at " << path;
    return ObjectRecord();
  }
  return *RecordOf(n);
}
std::string TextAt(const std::string& path) {
  const cl::TTreeNode* n = FindNode(path);
  if (!n) ADD_FAILURE() << "no node at " << path;
  return n ? n->Text() : std::string();
}
bool ExpandedAt(const std::string& path) {
  const cl::TTreeNode* n = FindNode(path);
  if (!n) ADD_FAILURE() << "no node at " << path;
  return n && n->Expanded();
}

std::vector<std::string> ListCaptions() {
  std::vector<std::string> out;
  for (int i = 0; i < Form1->ListView1.Count(); ++i) out.push_back(Form1->ListView1.Item(i)->Caption());
  return out;
}

// What the tooltip holds for the status bar, asked of the tooltip control.
std::string StatusBarTip() {
  std::string text;
  EXPECT_TRUE(cl::Application.Hints().ToolText(Form1->StatusBar1.Handle(), text)) << "the status bar shows no hint";
  return text;
}

const char kOpenFailed[] = "无法打开选定的IMG文件！,可能其它程序正在使用。";

// The program's forms, created once; every image is written to a file of its
// own (the last one opened stays open, exclusively, until the next open) in a
// folder that also takes the WorkFiles.
class Scan : public ProgramTest {
protected:
  void SetUp() override {
    ProgramTest::SetUp();
    Modified = 0;
  }
  static void WaitForScan() { WaitForWorkers(); }
  size_t MessageBoxCount() const {
    size_t n = 0;
    for (const AskedDialog& a : dialogs_.asked) n += a.kind == cl::DialogKind::MessageBox;
    return n;
  }
};

// ---- The walk ------------------------------------------------------------------

TEST_F(Scan, OneRunOfBaseSequenceIsWalkedWhole) {
  ImageBuilder b;
  uint32_t chunk = b.AddChunk(301, 1, "early data");  // before its header: the object's first page
  b.AddRoot();
  b.AddDir(300, 1, "etc");
  uint32_t header = b.AddHeader(301, File(300, "hosts", 10));
  b.AddFile(302, 1, "zz", std::string(3000, 'z'));
  Open(b);

  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/etc 3 0 300", "/etc/hosts 1 10 301", "/zz 1 3000 302"}));
  EXPECT_EQ(RunList.Entries(), (std::vector<RunEntry>{{BaseSequenceNumber, PageSource::Image, 0, b.PageCount() - 1},
                                                     {BaseSequenceNumber, PageSource::WorkFile, 0, 0}}));
  ObjectRecord hosts = RecordAt("/etc/hosts");
  EXPECT_EQ(hosts.FirstPage, chunk);
  EXPECT_EQ(hosts.HeaderPage, header);
  EXPECT_EQ(hosts.WorkOffset, 0u);
  EXPECT_EQ(hosts.TagsByteCount, HeaderByteCount);
  EXPECT_EQ(RecordAt("/").FirstPage, NoPage);
  EXPECT_EQ(MaxObjectId, 302);
  EXPECT_NE(WorkView, nullptr);
  // Entry 1 holds the root node, never a page.
  EXPECT_EQ(NodeTable[1].Flag, 0);
  EXPECT_EQ(NodeTable[1].Page, NoPage);
  EXPECT_EQ(TreeNodeOf(NodeTable[1].Node), FindNode("/"));
}

// Object 300 is renamed in every run: its final name tells which run the
// walk visited last, and whether a run was visited at all.
TEST_F(Scan, WalkOrderAcrossRuns) {
  struct Case {
    const char* name;
    std::function<void(ImageBuilder&)> build;
    std::vector<std::string> tree;
  } cases[] = {
      {"runs 4097, 4096, 5000, erased: ascending, stops before the erased run",
       [](ImageBuilder& b) {
         b.AddFile(310, 1, "old", "x", 1000);  // below 4096: never walked
         b.AddHeader(300, File(1, "b"), 4097);
         b.AddRoot();
         b.AddHeader(300, File(1, "a"));
         b.AddHeader(300, File(1, "c"), 5000);
         b.AddErased(2);
         b.AddHeader(300, File(1, "erased"), Erased);  // a header in an erased run is never read
       },
       {"/ 3 0 1", "/c 1 0 300"}},
      {"two runs of 4096 around 4097: both 4096 runs first",
       [](ImageBuilder& b) {
         b.AddRoot();
         b.AddHeader(300, File(1, "a"));
         b.AddHeader(300, File(1, "c"), 4097);
         b.AddHeader(300, File(1, "b"));
       },
       {"/ 3 0 1", "/c 1 0 300"}},
      {"no run of exactly 4096: the walk starts at the first run above",
       [](ImageBuilder& b) {
         b.AddHeader(300, File(1, "x"), 4100);
         b.AddFile(301, 1, "below", "y", 4095);
         b.AddHeader(300, File(1, "y"), 4099);
       },
       {"/ 3 0 1", "/x 1 0 300"}},
      {"only runs below 4096", [](ImageBuilder& b) { b.AddHeader(300, File(1, "low"), 4095); }, {"/ 3 0 1"}},
      {"only erased pages above 4096",
       [](ImageBuilder& b) {
         b.AddHeader(300, File(1, "low"), 12);
         b.AddHeader(301, File(1, "erased"), Erased);
       },
       {"/ 3 0 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder b;
    c.build(b);
    Open(b);
    EXPECT_EQ(TreeLines(), c.tree);
  }
}

TEST_F(Scan, RunListKeepsUnvisitedRunsSorted) {
  ImageBuilder b;
  b.AddHeader(300, File(1, "a"), 4097);    // page 0
  b.AddHeader(301, File(1, "b"), 1000);    // page 1
  b.AddHeader(302, File(1, "c"));          // page 2
  b.AddErased(2);                          // pages 3, 4
  b.AddHeader(303, File(1, "d"), 4097);    // page 5
  Open(b);
  EXPECT_EQ(RunList.Entries(), (std::vector<RunEntry>{{1000, PageSource::Image, 1, 1},
                                                     {4096, PageSource::Image, 2, 2},
                                                     {4097, PageSource::Image, 0, 0},
                                                     {4097, PageSource::Image, 5, 5},
                                                     {Erased, PageSource::Image, 3, 4},
                                                     {4096, PageSource::WorkFile, 0, 0}}));
  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/a 1 0 300", "/c 1 0 302", "/d 1 0 303"}));
  EXPECT_EQ(MaxObjectId, 303);
}

TEST_F(Scan, PagesJustLongEnoughCount) {
  struct Case {
    size_t cut;
    std::vector<std::string> tree;
    size_t runs;
  } cases[] = {{2063, {"/ 3 0 1"}, 1}, {2064, {"/ 3 0 1", "/f 1 0 300"}, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cut);
    ImageBuilder b;
    b.AddHeader(300, File(1, "f"));
    std::string path = NewPath();
    ASSERT_TRUE(b.WriteTo(path, c.cut));
    OpenPath(path);
    EXPECT_EQ(TreeLines(), c.tree);
    EXPECT_EQ(RunList.Count(), c.runs);
    EXPECT_EQ(Form1->StatusBar1.PanelText(4), "读取完成！");
  }
}

// ---- Parking ---------------------------------------------------------------------

TEST_F(Scan, ParkedObjectsFindTheirParentsOrTheTopLevel) {
  ImageBuilder b;
  b.AddRoot();
  b.AddHeader(300, File(260, "0first"));  // parent met later
  b.AddDir(301, 270, "orphan");           // parent never met
  b.AddHeader(302, File(301, "kid"));     // child of a parked node
  b.AddDir(303, 303, "self");             // its own parent
  b.AddDir(304, 305, "ping");             // two that name each other
  b.AddDir(305, 304, "pong");
  b.AddHeader(306, File(307, "rider"));   // parked under a parked sibling
  b.AddDir(307, 280, "carrier");
  b.AddDir(260, 1, "p260");
  b.AddHeader(261, File(260, "a"));
  b.AddDir(280, 1, "d280");
  Open(b);

  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/d280 3 0 280", "/d280/carrier 3 0 307",
                                                  "/d280/carrier/rider 1 0 306", "/p260 3 0 260", "/p260/a 1 0 261",
                                                  "/p260/0first 1 0 300", "orphan 3 0 301", "orphan/kid 1 0 302"}));
  for (uint32_t id : {303u, 304u, 305u}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(NodeTable[id].Flag, 1);
    EXPECT_EQ(NodeTable[id].Node, NoNode);
  }
  EXPECT_EQ(FindNode("publictempnode"), nullptr);
  EXPECT_EQ(ParkingNode, nullptr);
  // Collapsed, with the root open, and the root listed.
  EXPECT_TRUE(ExpandedAt("/"));
  EXPECT_FALSE(ExpandedAt("/d280"));
  EXPECT_EQ(Form1->Edit2.Text(), "/");
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"d280", "p260"}));
}

// ---- Removal ---------------------------------------------------------------------

// Folder 300 holds file 301; a later header gives 300 the parent of the case;
// then 301 comes back under the root.
TEST_F(Scan, ParentsBelowTheFirstOrdinaryIdRemove) {
  struct Case {
    uint32_t parent;
    bool removed;
  } cases[] = {{0, true}, {2, true}, {3, true}, {4, true}, {256, true}, {257, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parent);
    ImageBuilder b;
    b.AddRoot();
    b.AddDir(300, 1, "d");
    uint32_t first301 = b.AddFile(301, 300, "f", "abc");
    b.AddHeader(300, Dir(c.parent, "d"));
    b.AddHeader(301, File(1, "f", 3));
    Open(b);
    if (c.removed) {
      EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/f 1 3 301"}));
      EXPECT_EQ(NodeTable[300].Flag, 1);
      EXPECT_EQ(NodeTable[300].Node, NoNode);
      EXPECT_EQ(RecordAt("/f").FirstPage, NoPage);
    } else {
      // 257 is an ordinary id without a node: parked, then at the top level.
      EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/f 1 3 301", "d 3 0 300"}));
      EXPECT_EQ(RecordAt("/f").FirstPage, first301);
    }
  }
}

TEST_F(Scan, ObjectBornRemovedGetsNoNode) {
  ImageBuilder b;
  b.AddRoot();
  b.AddChunk(300, 1, "data");
  b.AddHeader(300, File(3, "gone", 4));
  b.AddHeader(300, File(1, "back", 4));
  Open(b);
  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/back 1 4 300"}));
  EXPECT_EQ(RecordAt("/back").FirstPage, NoPage);
}

// ---- The newest header wins ----------------------------------------------------------

TEST_F(Scan, NewestHeaderWins) {
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(310, 1, "a");
  b.AddDir(311, 1, "b");
  uint32_t first = b.AddFile(300, 1, "old", "hello");
  b.AddFile(301, 1, "t", std::string(3000, 't'));
  b.AddHeader(312, File(310, "m", 0));
  b.AddDir(313, 310, "sub");
  b.AddHeader(314, File(313, "deep"));
  b.AddDir(320, 1, "loop");
  b.AddDir(321, 320, "inner");
  b.AddSymlink(330, 1, "ln", "/old/target");
  b.AddHeader(340, File(1, "waits"));
  // The newer headers, in a newer run.
  uint32_t renamed = b.AddHeader(300, File(1, "new", 5), 4097);  // rename
  b.AddHeader(301, File(1, "t", 0), 4097);                       // truncate
  b.AddHeader(312, File(311, "m"), 4097);                        // move a file
  b.AddHeader(313, Dir(311, "sub"), 4097);                       // move a folder with what it holds
  b.AddHeader(320, Dir(321, "loop"), 4097);                      // into its own subtree
  b.AddSymlink(330, 1, "ln", "/new/target", 4097);               // a link's new target (size 0)
  b.AddHeader(340, File(400, "waits"), 4097);                    // to a parent met later
  b.AddDir(400, 1, "later", 4097);
  Open(b);

  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/a 3 0 310", "/b 3 0 311", "/b/sub 3 0 313",
                                                  "/b/sub/deep 1 0 314", "/b/m 1 0 312", "/later 3 0 400",
                                                  "/later/waits 1 0 340", "/ln 2 0 330", "/new 1 5 300",
                                                  "/t 1 0 301"}));
  ObjectRecord r = RecordAt("/new");
  EXPECT_EQ(r.HeaderPage, renamed);
  EXPECT_EQ(r.FirstPage, first);
  EXPECT_EQ(TextAt("/new"), "new");
  EXPECT_STREQ(RecordAt("/ln").Alias, "/new/target");
  EXPECT_EQ(NodeTable[320].Node, NoNode);
  EXPECT_EQ(NodeTable[321].Node, NoNode);
}

TEST_F(Scan, RootRecordRules) {
  struct Case {
    const char* name;
    std::function<void(ImageBuilder&)> build;
    uint32_t mode, mtime;
  } cases[] = {
      {"no root header: the default record", [](ImageBuilder& b) { b.AddFile(300, 1, "f", "x"); }, 040755, 0},
      {"a root header replaces it",
       [](ImageBuilder& b) {
         HeaderFields f = Dir(1, "");
         f.mode = 040771;
         f.mtime = 5;
         b.AddHeader(1, f);
       },
       040771, 5},
      {"the newest root header wins",
       [](ImageBuilder& b) {
         b.AddRoot();
         HeaderFields f = Dir(1, "");
         f.mtime = 7;
         b.AddHeader(1, f, 4097);
       },
       testsupport::DirMode, 7},
      {"a root header with parent 0 is ignored",
       [](ImageBuilder& b) {
         HeaderFields f = Dir(0, "");
         f.mtime = 9;
         b.AddHeader(1, f);
       },
       040755, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder b;
    c.build(b);
    Open(b);
    cl::TTreeNode* root = FindNode("/");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Form1->TreeView1.TopLevel().front(), root);
    EXPECT_EQ(root->Text(), "/");
    const ObjectRecord* r = RecordOf(root);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->ObjectId, 1u);
    EXPECT_EQ(r->ObjectType, ObjectTypeDirectory);
    EXPECT_EQ(r->ParentId, 1u);
    EXPECT_EQ(r->Mode, c.mode);
    EXPECT_EQ(r->MTime, c.mtime);
    EXPECT_EQ(r->FirstPage, NoPage);
    EXPECT_STREQ(r->Name, "");
  }
}

// ---- Images from elsewhere ----------------------------------------------------------

// An offline tool writes one run without a root header.
TEST_F(Scan, ImageWithoutRootHeaderShowsItsFilesUnderTheRoot) {
  ImageBuilder b;
  b.AddDir(257, 1, "system");
  b.AddFile(258, 1, "init.rc", "on boot\n");
  b.AddFile(259, 257, "build.prop", "ro.x=1\n");
  b.AddSymlink(260, 1, "etc", "/system/etc");
  Open(b);
  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/system 3 0 257", "/system/build.prop 1 7 259",
                                                  "/etc 2 0 260", "/init.rc 1 8 258"}));
  EXPECT_EQ(Form1->Edit2.Text(), "/");
  EXPECT_EQ(CurrentFolderId(), 1);
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"system", "etc", "init.rc"}));
}

// A device numbers its blocks from 4096 upward, reuses the first ones, writes
// the root with parent 0, and leaves stale copies behind.
TEST_F(Scan, DeviceDumpShowsItsLiveTree) {
  ImageBuilder b(TagsOffsetMarked);
  // Block reused last (newest sequence), physically first.
  b.AddHeader(260, File(258, "c.txt", 5), 4110);      // renamed
  b.AddHeader(259, File(257, "a.txt", 0), 4110);      // moved and truncated
  b.AddHeader(261, Dir(3, "tmp"), 4110);              // unlinked
  b.AddHeader(261, Dir(4, "tmp"), 4110);              // deleted
  b.AddHeader(262, File(261, "x", 0), 4109);          // emptied before its folder went
  b.AddErased(3);
  // Older blocks.
  HeaderFields root = Dir(0, "");
  b.AddHeader(1, root, 4101);
  b.AddDir(257, 1, "system", 4101);
  b.AddDir(258, 1, "data", 4101);
  b.AddFile(259, 258, "a.txt", std::string(5000, 'a'), 4102);
  b.AddFile(260, 258, "b.txt", "bbbbb", 4102);
  b.AddDir(261, 258, "tmp", 4103);
  b.AddFile(262, 261, "x", "xx", 4103);
  b.AddHeader(263, File(1, "stale"), 3000);           // a block from before the numbering
  b.AddErased(2);
  Open(b);
  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/data 3 0 258", "/data/c.txt 1 5 260",
                                                  "/system 3 0 257", "/system/a.txt 1 0 259"}));
  EXPECT_EQ(RecordAt("/").Mode, 040755u);
  EXPECT_EQ(MaxObjectId, 262);
}

TEST_F(Scan, NamesShowInTheCodePage) {
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(300, 1, u8"系统");
  b.AddHeader(301, File(300, std::string(300, 'n')));  // a name field without its zero
  Open(b);
  cl::TTreeNode* dir = FindNode(u8"/系统");
  ASSERT_NE(dir, nullptr);
  EXPECT_EQ(dir->Text(), "系统");  // GBK, as every interface text
  cl::TTreeNode* longName = dir->GetFirstChild();
  ASSERT_NE(longName, nullptr);
  EXPECT_EQ(longName->Text(), std::string(255, 'n'));
}

// ---- ECC kind ------------------------------------------------------------------------

// The walk's pages 1 to 4 are probed; each probe overwrites the kind.
TEST_F(Scan, EccProbeOfTheFirstWalkedPages) {
  struct Case {
    const char* name;
    int pages;       // pages walked
    int marked;      // walked page whose triple is computed (-1: none)
    uint8_t kind;    // kind computed there
    uint8_t expect;
  } cases[] = {
      {"kind 1 on the fifth page", 8, 4, EccKindYaffs2, EccKindYaffs2},
      {"kind 2 on the fifth page", 8, 4, EccKindNandFlash, EccKindNandFlash},
      {"kind 1 on the fourth page, the fifth decides", 8, 3, EccKindYaffs2, EccKindNone},
      {"kind 1 on the sixth page is not probed", 8, 5, EccKindYaffs2, EccKindNone},
      {"four pages: the fourth decides", 4, 3, EccKindNandFlash, EccKindNandFlash},
      {"kind 1 on the first page is not probed", 2, 0, EccKindYaffs2, EccKindNone},
      {"one page: not probed, and reset", 1, -1, 0, EccKindNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder b;
    for (int p = 0; p < c.pages; ++p) {
      uint32_t page = b.AddChunk(300 + p, 1, testsupport::PatternBytes(2048, static_cast<uint8_t>(p)));
      uint8_t ecc[DataEccLength];
      std::memset(ecc, 0x5A, sizeof ecc);
      if (p == c.marked) {
        if (c.kind == EccKindYaffs2)
          CalcYaffs2Ecc(b.Page(page), ecc);
        else
          CalcNandFlashEcc(b.Page(page), ecc);
      }
      b.SetDataEcc(page, ecc);
    }
    DetectedEccKind = 2;
    Open(b);
    EXPECT_EQ(DetectedEccKind, c.expect);
  }
}

// ---- Status texts and hint ------------------------------------------------------------

TEST_F(Scan, StatusTextsAndEraseMarkerNote) {
  struct Case {
    uint32_t tagsOffset;
    const char* note;
  } cases[] = {{TagsOffsetPlain, "  \"OOB头双字节 无(OXFF,OXFF)檫除标记\""},
               {TagsOffsetMarked, "  \"OOB头双字节 有(OXFF,OXFF)檫除标记\""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tagsOffset);
    ImageBuilder b(c.tagsOffset);
    b.AddRoot();
    b.AddFile(300, 1, "f", std::string(3 * 2048, 'q'));
    std::string path = Open(b, "system.img");
    EXPECT_EQ(Form1->StatusBar1.Hint(), path + c.note);
    EXPECT_EQ(StatusBarTip(), path + c.note);
    EXPECT_EQ(Form1->StatusBar1.PanelText(1), FileNamePart(path));
    EXPECT_EQ(Form1->StatusBar1.PanelText(3), "0.01MB");
    EXPECT_EQ(Form1->StatusBar1.PanelText(4), "读取完成！");
    EXPECT_EQ(Form1->StatusBar1.PanelText(5), "");
    EXPECT_EQ(InputTagsOffset, c.tagsOffset);
    EXPECT_EQ(OutputTagsOffset, c.tagsOffset);
    EXPECT_EQ(Form1->Edit1.Text(), path);
    EXPECT_TRUE(Form1->ToolButton10->Enabled());
    EXPECT_TRUE(Form1->TreeView1.Enabled());
    EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/f 1 6144 300"}));
  }
}

TEST_F(Scan, ProgressBlocks) {
  struct Case {
    int32_t done, total;
    int width, blocks;
  } cases[] = {{0, 10, 170, 0}, {1, 10, 170, 1}, {10, 10, 170, 10}, {10, 10, 171, 11},
               {5, 10, 170, 5}, {6, 10, 169, 6},  {3, 0, 170, 0},   {3, 10, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.done) + "/" + std::to_string(c.total) + " of " + std::to_string(c.width));
    EXPECT_EQ(ProgressBlocks(c.done, c.total, c.width), c.blocks);
  }
}

// ---- The open command ------------------------------------------------------------

TEST_F(Scan, CommandsWaitWhileTheScanRuns) {
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(300, 1, "sub");
  Open(b);
  Form1->TreeView1.SetSelected(FindNode("/sub"));
  ASSERT_EQ(Form1->Edit2.Text(), "/sub");

  std::string path = NewPath();
  ASSERT_TRUE(b.WriteTo(path));
  dialogs_.QueueFiles({path});
  Form1->ToolButton10->Click();
  // No message has been handled yet, so the scan cannot have ended.
  EXPECT_TRUE(ScanRunning);
  EXPECT_FALSE(Form1->ToolButton10->Enabled());
  EXPECT_FALSE(Form1->TreeView1.Enabled());
  EXPECT_EQ(Form1->Edit2.Text(), "");
  EXPECT_EQ(Form1->StatusBar1.Hint(), path);
  EXPECT_EQ(StatusBarTip(), path);
  Form1->ToolButton1Click();  // "向上"
  EXPECT_EQ(Form1->Edit2.Text(), "");
  EXPECT_EQ(ListCaptions(), std::vector<std::string>{});
  WaitForScan();
  EXPECT_EQ(Form1->Edit2.Text(), "/");
  EXPECT_TRUE(Form1->ToolButton10->Enabled());
}

TEST_F(Scan, FailedOpens) {
  struct Case {
    const char* name;
    std::function<std::string()> make;  // the path chosen
    bool opens;  // the file itself opens: its name and size reach the status bar
  } cases[] = {
      {"empty file",
       [this] {
         std::string p = NewPath("empty.img");
         testsupport::WriteBytes(p, "", 0);
         return p;
       },
       true},
      {"missing file", [this] { return NewPath("missing.img"); }, false},
      {"locked file",
       [this] {
         std::string p = NewPath("locked.img");
         ImageBuilder b;
         b.AddRoot();
         b.WriteTo(p);
         return p;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder good;
    good.AddRoot();
    good.AddDir(300, 1, "sub");
    Open(good, "good.img");
    ASSERT_EQ(CurrentFolderId(), 1);
    std::string before1 = Form1->StatusBar1.PanelText(1);
    std::string before3 = Form1->StatusBar1.PanelText(3);

    std::string path = c.make();
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (std::string(c.name) == "locked file")
      lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    dialogs_.asked.clear();
    OpenPath(path);
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

    ASSERT_EQ(dialogs_.asked.size(), 2u);
    EXPECT_EQ(dialogs_.asked[0].kind, cl::DialogKind::OpenFile);
    EXPECT_EQ(dialogs_.asked[0].title, "请选择 YAFFS2 IMG（文件系统镜像）");
    const AskedDialog& box = dialogs_.asked[1];
    EXPECT_EQ(box.kind, cl::DialogKind::MessageBox);
    EXPECT_EQ(box.title, "提示");
    EXPECT_EQ(box.text, kOpenFailed);
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(box.owner, cl::Application.Handle());

    EXPECT_EQ(Form1->TreeView1.Count(), 0);
    EXPECT_EQ(Form1->ListView1.Count(), 0);
    EXPECT_EQ(Form1->Edit1.Text(), "");
    EXPECT_EQ(Form1->Edit2.Text(), "");
    EXPECT_EQ(ImageView, nullptr);
    EXPECT_TRUE(Form1->ToolButton10->Enabled());
    EXPECT_TRUE(Form1->TreeView1.Enabled());
    EXPECT_FALSE(ScanRunning);
    EXPECT_EQ(CurrentFolderId(), 0);
    EXPECT_EQ(NodeTable[1].Node, NoNode);
    EXPECT_EQ(NodeOf(NodeTable, 1), nullptr);
    EXPECT_EQ(Form1->StatusBar1.PanelText(1), c.opens ? FileNamePart(path) : before1);
    EXPECT_EQ(Form1->StatusBar1.PanelText(3), c.opens ? "0.00MB" : before3);
    EXPECT_EQ(Form1->StatusBar1.Hint(), c.opens ? path : "");
    EXPECT_EQ(StatusBarTip(), c.opens ? path : "");
    EXPECT_EQ(Form1->StatusBar1.PanelText(4), "");
    Form1->ToolButton1Click();  // "向上" has nothing to go to
    EXPECT_EQ(Form1->Edit2.Text(), "");
  }
}

// Browsing, extraction and the rebuild need only the image: a WorkFile that
// cannot be made (here the program's folder does not exist) costs only the
// commands that add through it, and the user hears of it once.
TEST_F(Scan, WithoutAWorkFileTheTreeIsReadAndOnlyTheAddingCommandsRefuse) {
  const char kNoWorkFile[] = "无法创建工作文件！,可能程序目录只读或磁盘已满。";
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(300, 1, "sub");
  b.AddFile(301, 300, "f", std::string(3000, 'f'));
  b.AddFile(302, 1, "top", "top bytes");
  std::string path = NewPath();
  ASSERT_TRUE(b.WriteTo(path));
  const std::vector<std::string> tree{"/ 3 0 1", "/sub 3 0 300", "/sub/f 1 3000 301", "/top 1 9 302"};
  auto expectOneNotice = [&](const std::vector<AskedDialog>& asked) {
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, cl::DialogKind::MessageBox);
    EXPECT_EQ(asked[0].title, "提示");
    EXPECT_EQ(asked[0].text, kNoWorkFile);
    EXPECT_EQ(asked[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(asked[0].owner, cl::Application.Handle());
  };

  OverrideProgramDir(folder_->Path() + "no such folder\\");
  dialogs_.QueueFiles({path});
  Form1->ToolButton10->Click();
  WaitForScan();
  OverrideProgramDir(folder_->Path());
  ASSERT_EQ(WorkView, nullptr);
  ASSERT_FALSE(dialogs_.asked.empty());
  EXPECT_EQ(dialogs_.asked[0].kind, cl::DialogKind::OpenFile);
  expectOneNotice(std::vector<AskedDialog>(dialogs_.asked.begin() + 1, dialogs_.asked.end()));
  EXPECT_EQ(TreeLines(), tree);
  EXPECT_EQ(RunList.Entries(), (std::vector<RunEntry>{{BaseSequenceNumber, PageSource::Image, 0, b.PageCount() - 1},
                                                     {BaseSequenceNumber, PageSource::WorkFile, 0, 0}}));
  EXPECT_EQ(Form1->StatusBar1.PanelText(4), "读取完成！");
  EXPECT_EQ(Form1->Edit2.Text(), "/");
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"sub", "top"}));
  EXPECT_TRUE(Form1->ToolButton10->Enabled());
  EXPECT_TRUE(Form1->TreeView1.Enabled());

  struct Command {
    const char* name;
    std::function<void()> run;
  } commands[] = {{"添加文件", [] { Form1->addfileokClick(); }},
                  {"添加目录", [] { Form1->adddirokClick(); }},
                  {"新建目录", [] { Form1->newdirokClick(); }}};
  for (const Command& c : commands) {
    SCOPED_TRACE(c.name);
    dialogs_.asked.clear();
    c.run();
    WaitForWorkers();
    // Refused before anything is asked: no file, folder, name or ECC kind.
    expectOneNotice(dialogs_.asked);
    EXPECT_EQ(Modified, 0);
    EXPECT_EQ(TreeLines(), tree);
  }

  testsupport::ScratchFolder dest;
  dialogs_.asked.clear();
  dialogs_.QueueText(dest.Path().substr(0, dest.Path().size() - 1));
  Form1->outfileallokClick();
  WaitForWorkers();
  for (const AskedDialog& a : dialogs_.asked) EXPECT_NE(a.kind, cl::DialogKind::MessageBox) << a.text;
  EXPECT_EQ(testsupport::ReadHostFile(dest.File("sub\\f")), std::string(3000, 'f'));
  EXPECT_EQ(testsupport::ReadHostFile(dest.File("top")), "top bytes");

  // An edit made without a WorkFile is saved.
  RecordOf(FindNode("/top"))->Uid = 1000;
  Modified = 1;
  const std::string saved = NewPath("saved.img");
  dialogs_.asked.clear();
  Save(saved, EccKindNone, 0);
  EXPECT_EQ(MessageBoxCount(), 0u);
  EXPECT_EQ(Modified, 0);
  OpenPath(saved);
  EXPECT_EQ(TreeLines(), tree);
  EXPECT_EQ(RecordAt("/top").Uid, 1000u);

  // The next open makes its WorkFile again, and the commands work.
  Open(b);
  EXPECT_NE(WorkView, nullptr);
  dialogs_.asked.clear();
  dialogs_.QueueText("new");
  Form1->newdirokClick();
  WaitForWorkers();
  EXPECT_EQ(MessageBoxCount(), 0u);
  EXPECT_NE(FindNode("/new"), nullptr);
  Modified = 0;
}

TEST_F(Scan, UnsavedEditsAreAskedAboutFirst) {
  struct Case {
    const char* name;
    bool choose;  // a file is chosen in the open dialog
    int answer;
    bool opened;
  } cases[] = {{"no", true, IDNO, false}, {"yes", true, IDYES, true}, {"dialog cancelled", false, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder first;
    first.AddRoot();
    first.AddDir(300, 1, "before");
    std::string firstPath = Open(first);
    Modified = 1;

    ImageBuilder second;
    second.AddRoot();
    second.AddDir(300, 1, "after");
    std::string path = NewPath();
    ASSERT_TRUE(second.WriteTo(path));
    dialogs_.asked.clear();
    if (c.choose) {
      dialogs_.QueueFiles({path});
      dialogs_.QueueButton(c.answer);
    } else {
      dialogs_.QueueFiles({});
    }
    Form1->ToolButton10->Click();
    WaitForScan();

    if (c.choose) {
      ASSERT_EQ(dialogs_.asked.size(), 2u);
      const AskedDialog& q = dialogs_.asked[1];
      EXPECT_EQ(q.kind, cl::DialogKind::MessageBox);
      EXPECT_EQ(q.title, "提示");
      EXPECT_EQ(q.text, "放弃修改！");
      EXPECT_EQ(q.flags, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
      EXPECT_EQ(q.owner, cl::Application.Handle());
    } else {
      EXPECT_EQ(dialogs_.asked.size(), 1u);
    }
    EXPECT_EQ(Modified, c.opened ? 0 : 1);
    EXPECT_EQ(Form1->Edit1.Text(), c.opened ? path : firstPath);
    EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", std::string(c.opened ? "/after" : "/before") +
                                                                   " 3 0 300"}));
    Modified = 0;
  }
}

// ---- Unexpected failures ---------------------------------------------------------

// Memory running out (or any failure no rule of the scan handles) ends the
// scan with one message that says so, never with "读取完成！" over the part
// of the tree read so far; the program stays usable.
TEST_F(Scan, FailureInsideTheScanIsReportedOnceAndNotAsDone) {
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(300, 1, "a");
  b.AddDir(301, 1, "b");
  b.AddDir(302, 1, "c");
  std::string path = NewPath();
  ASSERT_TRUE(b.WriteTo(path));
  struct Case {
    const char* name;
    int failAt;  // accepted header that fails, counted from 1
    std::function<void()> fail;
    std::vector<std::string> tree;
  } cases[] = {
      {"memory exhausted at the first header", 1, [] { throw std::bad_alloc(); }, {"/ 3 0 1"}},
      {"an error after some headers", 3, [] { throw std::runtime_error("broken"); }, {"/ 3 0 1", "/a 3 0 300"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int accepted = 0;
    readfileThread::AcceptHook = [&](PageRef) {
      if (++accepted == c.failAt) c.fail();
    };
    size_t before = MessageBoxCount();
    OpenPath(path);
    readfileThread::AcceptHook = nullptr;
    ASSERT_EQ(MessageBoxCount(), before + 1);
    const AskedDialog& box = dialogs_.asked.back();
    EXPECT_EQ(box.kind, cl::DialogKind::MessageBox);
    EXPECT_EQ(box.text, "读取IMG文件时出错，读取未完成！");
    EXPECT_EQ(box.title, "提示");
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(box.owner, cl::Application.Handle());
    EXPECT_EQ(Form1->StatusBar1.PanelText(4), "读取IMG文件时出错，读取未完成！");
    EXPECT_TRUE(Form1->ToolButton10->Enabled());
    EXPECT_TRUE(Form1->TreeView1.Enabled());
    EXPECT_FALSE(ScanRunning);
    // The tree holds what was read before the failure, and no more.
    EXPECT_EQ(TreeLines(), c.tree);
  }
  // The next open reads the whole image and says so, without a message.
  size_t before = MessageBoxCount();
  OpenPath(path);
  EXPECT_EQ(MessageBoxCount(), before);
  EXPECT_EQ(Form1->StatusBar1.PanelText(4), "读取完成！");
  EXPECT_EQ(TreeLines(), (std::vector<std::string>{"/ 3 0 1", "/a 3 0 300", "/b 3 0 301", "/c 3 0 302"}));
}

}  // namespace
