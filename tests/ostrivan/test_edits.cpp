// The in-place edits and the new-folder command through the main window's
// handlers, and what of them reaches a rebuilt image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit7.h"
#include "entrytext.h"
#include "list_text.h"
#include "program_test.h"
#include "tree_text.h"

namespace {

using testsupport::HeaderFields;
using testsupport::ImageBuilder;

ObjectRecord* Record(const std::string& path) {
  cl::TTreeNode* n = FindNode(path);
  return n ? static_cast<ObjectRecord*>(n->Data) : nullptr;
}

// / holds etc (with hosts, passwd, zz and sub/deep), a.txt, b.txt, c.txt, a link
// and a hard link to a.txt.
ImageBuilder SampleImage() {
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(300, 1, "etc");
  b.AddFile(301, 300, "hosts", testsupport::PatternBytes(5000, 1));
  b.AddFile(302, 300, "passwd", "root:x:0:0\n");
  b.AddDir(303, 300, "sub");
  b.AddFile(304, 303, "deep", "deep");
  b.AddDir(310, 300, "zz");
  HeaderFields a;
  a.name = "a.txt";
  a.fileSize = 3;
  a.uid = 10;
  a.gid = 20;
  b.AddHeader(305, a);
  b.AddChunk(305, 1, "aaa");
  b.AddFile(306, 1, "b.txt", "bb");
  b.AddFile(307, 1, "c.txt", "c");
  b.AddSymlink(308, 1, "link", "/etc/hosts");
  b.AddHardLink(309, 1, "hard", 305);
  return b;
}

const std::vector<std::string> kRoot = {"etc", "a.txt", "b.txt", "c.txt", "hard", "link"};

class Edits : public ProgramTest {
protected:
  void SetUp() override {
    ProgramTest::SetUp();
    Open(SampleImage());
    Modified = 0;
  }
  void Show(const std::string& path) { ShowFolder(FindNode(path), Form1->ListView1); }
  void Select(const std::vector<std::string>& names) { ASSERT_TRUE(SelectListEntries(names).empty()); }
  // The last question asked: its kind, caption, text and default.
  const AskedDialog& Last() {
    static const AskedDialog none{};
    return dialogs_.asked.empty() ? none : dialogs_.asked.back();
  }
  void ExpectRefusedInput() {
    EXPECT_EQ(Last().kind, cl::DialogKind::MessageBox);
    EXPECT_EQ(Last().text, "输入有误！     ");
    EXPECT_EQ(Last().title, "提示");
    EXPECT_EQ(Last().flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(Last().owner, Form1->Handle());
  }
  std::vector<AskedDialog> Boxes() const {
    std::vector<AskedDialog> out;
    for (const AskedDialog& a : dialogs_.asked)
      if (a.kind == cl::DialogKind::MessageBox) out.push_back(a);
    return out;
  }
  void ExpectExists() {
    EXPECT_EQ(Last().kind, cl::DialogKind::MessageBox);
    EXPECT_EQ(Last().text, "目录已存在!");
    EXPECT_EQ(Last().owner, cl::Application.Handle());
  }
};

TEST_F(Edits, DeleteRemovesExactlyTheSelectedEntriesWithTheirSubtrees) {
  Show("/");
  ASSERT_EQ(ListCaptions(), kRoot);
  Select({"etc", "b.txt", "hard"});
  Form1->filedelClick();
  EXPECT_EQ(Last().text, "确定要删除！");
  EXPECT_EQ(Last().flags, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
  EXPECT_EQ(Last().owner, cl::Application.Handle());
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"a.txt", "c.txt", "link"}));
  EXPECT_EQ(Modified, 1);
  for (const char* gone : {"/etc", "/etc/hosts", "/etc/sub/deep", "/b.txt", "/hard"}) EXPECT_EQ(FindNode(gone), nullptr) << gone;
  for (uint32_t id : {300u, 301u, 302u, 303u, 304u, 306u, 309u}) EXPECT_EQ(NodeOf(NodeTable, id), nullptr) << id;
  EXPECT_EQ(NodeOf(NodeTable, 305), FindNode("/a.txt"));
}

TEST_F(Edits, DeleteAnsweredNoChangesNothing) {
  Show("/");
  Select({"a.txt"});
  dialogs_.QueueButton(IDNO);
  Form1->filedelClick();
  EXPECT_EQ(ListCaptions(), kRoot);
  EXPECT_NE(FindNode("/a.txt"), nullptr);
  EXPECT_EQ(Modified, 0);
}

TEST_F(Edits, DeleteUnderTheTreesSelectionLeavesTheListAsItIs) {
  // The tree's selection lies in the subtree to go, the list shows /etc.
  Form1->TreeView1.SetSelected(FindNode("/etc/sub"));
  Show("/etc");
  ASSERT_EQ(ListCaptions(), (std::vector<std::string>{"sub", "zz", "hosts", "passwd"}));
  // A refill would bring the shown caption back from the tree.
  Form1->ListView1.Item(3)->SetCaption("marked");
  Select({"sub"});
  Form1->filedelClick();
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"zz", "hosts", "marked"}));
  EXPECT_EQ(Form1->Edit2.Text(), "/etc");
  EXPECT_EQ(CurrentFolderId(), 300);
  EXPECT_EQ(FindNode("/etc/sub"), nullptr);
  EXPECT_NE(Form1->TreeView1.Selected(), nullptr);
}

TEST_F(Edits, HandlersPassOverEntriesWhoseObjectHasNoNode) {
  Show("/");
  cl::TListItem* ghost = Form1->ListView1.Add();
  ghost->SetCaption("ghost");
  ghost->SubItems() = {"999", "1"};
  Select({"ghost"});
  size_t before = dialogs_.asked.size();
  Form1->N6Click();
  Form1->N7Click();
  Form1->UID1Click();
  Form1->GID1Click();
  Form1->N3Click(Form1->N3);
  EXPECT_EQ(dialogs_.asked.size(), before);  // nothing to ask about
  EXPECT_EQ(Modified, 0);
  // With a live entry beside it the ghost is skipped, the live one changed.
  Select({"ghost", "c.txt"});
  dialogs_.QueueText("77");
  Form1->UID1Click();
  EXPECT_EQ(Record("/c.txt")->Uid, 77u);
  Form1->filedelClick();
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"etc", "a.txt", "b.txt", "hard", "link"}));
  EXPECT_EQ(FindNode("/c.txt"), nullptr);
}

TEST_F(Edits, RenameRefusesBadNamesAndSiblingNames) {
  Show("/");
  struct Case {
    const char* name;
    const char* typed;
    bool accepted;  // false: the box is cancelled
    bool exists;    // "目录已存在!" rather than "输入有误！     "
  } cases[] = {
      {"slash", "x/y", true, false},     {"dot", ".", true, false},           {"dotdot", "..", true, false},
      {"sibling", "b.txt", true, true},  {"trimmed sibling", " etc ", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Select({"a.txt"});
    dialogs_.QueueText(c.typed, c.accepted);
    Form1->N6Click();
    if (c.exists)
      ExpectExists();
    else
      ExpectRefusedInput();
    EXPECT_EQ(RecordName(*Record("/a.txt")), "a.txt");
    EXPECT_EQ(ListCaptions(), kRoot);
    EXPECT_EQ(Modified, 0);
  }
}

TEST_F(Edits, RenameCancelledOrUnchangedDoesNothing) {
  Show("/");
  Select({"a.txt"});
  dialogs_.QueueText("", false);  // cancel gives the caption back
  Form1->N6Click();
  EXPECT_EQ(Last().title, "重命名");
  EXPECT_EQ(Last().text, "输入名称         ");
  EXPECT_EQ(Last().value, "a.txt");
  dialogs_.QueueText("");
  Form1->N6Click();
  EXPECT_EQ(Modified, 0);
  EXPECT_EQ(ListCaptions(), kRoot);
}

TEST_F(Edits, RenameChangesTheNodeTheEntryAndTheRecordName) {
  Show("/");
  Select({"a.txt"});
  dialogs_.QueueText("Zeta 中.txt");
  Form1->N6Click();
  EXPECT_EQ(Modified, 1);
  cl::TTreeNode* node = NodeOf(NodeTable, 305);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Text(), "Zeta 中.txt");
  EXPECT_EQ(RecordName(*static_cast<ObjectRecord*>(node->Data)), u8"Zeta 中.txt");
  // The list keeps its order; the tree is sorted again only by the next add or scan.
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"etc", "Zeta 中.txt", "b.txt", "c.txt", "hard", "link"}));
  EXPECT_EQ(node->Index(), 1);
}

TEST_F(Edits, RenameToALongNameCutsTheRecordAtACharacterBoundary) {
  Show("/");
  Select({"a.txt"});
  std::string name = "a", utf8 = u8"a";
  for (int i = 0; i < 100; ++i) {
    name += "中";
    utf8 += u8"中";
  }
  dialogs_.QueueText(name);
  Form1->N6Click();
  cl::TTreeNode* node = NodeOf(NodeTable, 305);
  EXPECT_EQ(node->Text(), name);
  EXPECT_EQ(Form1->ListView1.Item(1)->Caption(), name);
  EXPECT_EQ(RecordName(*static_cast<ObjectRecord*>(node->Data)), utf8.substr(0, 1 + 84 * 3));
}

TEST_F(Edits, PermissionTextsOnOneEntry) {
  Show("/");
  struct Case {
    const char* typed;
    bool refused;
    uint32_t mode;
  } cases[] = {
      {"644", false, 0100644}, {"4755", false, 0104755}, {" 644 ", false, 0100644}, {"7777", false, 0107777},
      {"0", true, 0},          {"0000", true, 0},        {"8", true, 0},           {"12345", true, 0},
      {"abc", true, 0},        {"1 644", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.typed + "'");
    Record("/a.txt")->Mode = 0100755;
    Modified = 0;
    Select({"a.txt"});
    dialogs_.QueueText(c.typed);
    Form1->N7Click();
    if (c.refused) {
      ExpectRefusedInput();
      EXPECT_EQ(Record("/a.txt")->Mode, 0100755u);
      EXPECT_EQ(Modified, 0);
    } else {
      EXPECT_EQ(Record("/a.txt")->Mode, c.mode);
      EXPECT_EQ(Modified, 1);
    }
  }
}

TEST_F(Edits, PermissionPromptAndNoChange) {
  Show("/");
  Select({"a.txt"});
  dialogs_.QueueText("0644");  // the mode reads 0644 already
  Form1->N7Click();
  EXPECT_EQ(Last().title, "权限修改");
  EXPECT_EQ(Last().text, "输入权限代码 如 755 , 4755 等             ");
  EXPECT_EQ(Last().value, "0644");
  EXPECT_EQ(Modified, 0);
  Form1->N7Click();  // cancelled: the default comes back
  EXPECT_EQ(Modified, 0);
  EXPECT_EQ(Record("/a.txt")->Mode, 0100644u);
}

TEST_F(Edits, PermissionsOfSeveralEntriesKeepEachTypeBits) {
  Show("/");
  Select({"etc", "a.txt", "link"});
  dialogs_.QueueText("0000");  // the text of no current value: no change
  Form1->N7Click();
  EXPECT_EQ(Last().value, "");
  EXPECT_EQ(Modified, 0);
  dialogs_.QueueText("750");
  Form1->N7Click();
  EXPECT_EQ(Record("/etc")->Mode, 040750u);
  EXPECT_EQ(Record("/a.txt")->Mode, 0100750u);
  EXPECT_EQ(Record("/link")->Mode & ~07777u, 0120000u);
  EXPECT_EQ(Record("/link")->Mode & 07777u, 0750u);
  EXPECT_EQ(Record("/b.txt")->Mode, 0100644u);
}

TEST_F(Edits, OwnerTextsOnOneEntry) {
  Show("/");
  struct Case {
    const char* typed;
    bool refused;
    uint32_t value;
  } cases[] = {{"-1", false, 4294967295u}, {"$10", false, 16}, {"12 ", true, 0}};
  for (bool gid : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(gid ? "gid '" : "uid '") + c.typed + "'");
      ObjectRecord* r = Record("/a.txt");
      r->Uid = 10;
      r->Gid = 20;
      Modified = 0;
      Select({"a.txt"});
      dialogs_.QueueText(c.typed);
      gid ? Form1->GID1Click() : Form1->UID1Click();
      if (c.refused) {
        ExpectRefusedInput();
        EXPECT_EQ(Modified, 0);
      }
      EXPECT_EQ(r->Uid, !gid && !c.refused ? c.value : 10u);
      EXPECT_EQ(r->Gid, gid && !c.refused ? c.value : 20u);
    }
  }
}

TEST_F(Edits, OwnerPromptsForOneAndForSeveralEntries) {
  Show("/");
  Record("/a.txt")->Uid = 4294967295u;
  Select({"a.txt"});
  Form1->UID1Click();  // cancelled
  EXPECT_EQ(Last().title, "UID修改");
  EXPECT_EQ(Last().text, "输入UID              ");
  EXPECT_EQ(Last().value, "4294967295");
  dialogs_.QueueText("4294967295");  // the current value: no change
  Form1->UID1Click();
  EXPECT_EQ(Modified, 0);
  Select({"a.txt", "b.txt"});
  dialogs_.QueueText("500");
  Form1->GID1Click();
  EXPECT_EQ(Last().title, "GID修改");
  EXPECT_EQ(Last().text, "输入GID               ");
  EXPECT_EQ(Last().value, "");
  EXPECT_EQ(Record("/a.txt")->Gid, 500u);
  EXPECT_EQ(Record("/b.txt")->Gid, 500u);
  EXPECT_EQ(Modified, 1);
}

TEST_F(Edits, NewFolderRefusesDuplicatesAndBadNames) {
  Show("/");
  struct Case {
    const char* typed;
    bool exists;
  } cases[] = {{" etc ", true}, {"a.txt", true}, {"a/b", false}, {".", false}, {"..", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    dialogs_.QueueText(c.typed);
    Form1->newdirokClick();
    if (c.exists)
      ExpectExists();
    else
      ExpectRefusedInput();
    EXPECT_EQ(ListCaptions(), kRoot);
    EXPECT_EQ(Modified, 0);
  }
  Form1->newdirokClick();  // cancelled
  EXPECT_EQ(Last().title, "新建目录");
  EXPECT_EQ(Last().text, "输入名称");
  EXPECT_EQ(Last().value, "");
  EXPECT_EQ(ListCaptions(), kRoot);
}

TEST_F(Edits, NewFolderJoinsTheTreeAndTheListSortedThroughTheAddWorker) {
  Show("/etc");
  Form4->SetCaption("");
  Form4->Label1.SetCaption("");
  Form4->Label2.SetCaption("");
  dialogs_.QueueText("Etc");  // names differ by case: accepted
  Form1->newdirokClick();
  EXPECT_EQ(Modified, 1);
  // The worker waits for the interface thread to attach the node.
  EXPECT_TRUE(Form1->WorkerRunning());
  EXPECT_EQ(FindNode("/etc/Etc"), nullptr);
  WaitForWorkers();
  EXPECT_EQ(Form4->Caption(), "正在添加");
  EXPECT_EQ(Form4->Label1.Caption(), "添加进度：");
  EXPECT_EQ(Form4->Label2.Caption(), "Etc");
  EXPECT_EQ(Form4->ProgressBar1.Max(), 1);
  EXPECT_EQ(Form4->ProgressBar1.Position(), 1);
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
  EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"Etc", "sub", "zz", "hosts", "passwd"}));
  cl::TTreeNode* node = FindNode("/etc/Etc");
  ASSERT_NE(node, nullptr);
  const ObjectRecord* r = static_cast<ObjectRecord*>(node->Data);
  EXPECT_EQ(r->ObjectType, ObjectTypeDirectory);
  EXPECT_EQ(r->ParentId, 300u);
  EXPECT_EQ(IdKey(r->ObjectId), 311u);
  EXPECT_EQ(node->ImageIndex(), 0);
  EXPECT_EQ(NodeOf(NodeTable, 311), node);
  EXPECT_EQ(Form1->Edit2.Text(), "/etc");
}

TEST_F(Edits, NewFolderWithNoIdLeftIsReportedAndAddsNothing) {
  Show("/");
  MaxObjectId = 0xFFFF;
  dialogs_.QueueText("late");
  Form1->newdirokClick();
  WaitForWorkers();
  EXPECT_EQ(Last().text, "有1个对象添加失败！");
  EXPECT_EQ(Last().owner, cl::Application.Handle());
  EXPECT_EQ(ListCaptions(), kRoot);
  EXPECT_EQ(FindNode("/late"), nullptr);
}

// Save with the storage dialog answered, then open the result.
class EditsRebuilt : public Edits {
protected:
  void SaveAndReopen() {
    std::string out = NewPath("edited.img");
    Save(out, 1, 0);
    OpenPath(out);
  }
};

// n characters 名 followed by tail, in the interface's code page; in UTF-8
// each 名 takes three bytes, so 85 of them fill a stored name.
std::string LongName(int n, const std::string& tail) {
  std::string name;
  for (int i = 0; i < n; ++i) name += "名";
  return name + tail;
}

TEST_F(EditsRebuilt, NamesThatMeetOnceStoredAreRefusedAndNothingIsLostOnExport) {
  Show("/");
  Select({"b.txt"});
  dialogs_.QueueText(LongName(90, "1"));  // stored as its first 85 名
  Form1->N6Click();
  const ObjectRecord* renamed = RecordOf(NodeOf(NodeTable, 306));
  ASSERT_NE(renamed, nullptr);
  ASSERT_EQ(RecordName(*renamed).size(), 255u);
  // Names in the interface's code page sort after the Latin ones.
  const std::vector<std::string> named = {"etc", "a.txt", "c.txt", "hard", "link", LongName(90, "1")};
  SortFolderTree();
  struct Case {
    const char* name;
    bool rename;  // rename c.txt, else a new folder
    std::string typed;
    bool refused;
  } cases[] = {
      {"rename, differing past the cut", true, LongName(90, "2"), true},
      {"new folder, differing past the cut", false, LongName(90, "2"), true},
      {"new folder, the stored name itself", false, LongName(85, ""), true},
      {"new folder, stored whole", false, LongName(84, "2"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Show("/");
    Modified = 0;
    const size_t asked = Boxes().size();
    dialogs_.QueueText(c.typed);
    if (c.rename) {
      Select({"c.txt"});
      Form1->N6Click();
    } else {
      Form1->newdirokClick();
      WaitForWorkers();
    }
    if (c.refused) {
      ExpectExists();
      EXPECT_EQ(Modified, 0);
    } else {
      EXPECT_EQ(Boxes().size(), asked);
      EXPECT_EQ(Modified, 1);
    }
    std::vector<std::string> expected = named;
    if (!c.refused) expected.insert(expected.begin() + 1, c.typed);  // folders first
    EXPECT_EQ(ListCaptions(), expected);
  }
  ASSERT_NE(Record("/c.txt"), nullptr);

  SaveAndReopen();
  testsupport::ScratchFolder out;
  dialogs_.QueueText(out.Path());
  Form1->ToolButton7->Click();
  WaitForWorkers();
  EXPECT_EQ(testsupport::ReadHostFile(out.File(LongName(85, ""))), "bb");
  EXPECT_EQ(testsupport::ReadHostFile(out.File("c.txt")), "c");
  EXPECT_NE(GetFileAttributesA(out.File(LongName(84, "2")).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(EditsRebuilt, EveryEditReachesTheImage) {
  Show("/");
  Select({"a.txt"});
  dialogs_.QueueText("renamed.txt");
  Form1->N6Click();
  Select({"renamed.txt", "etc"});
  dialogs_.QueueText("4750");
  Form1->N7Click();
  dialogs_.QueueText("1000");
  Form1->UID1Click();
  dialogs_.QueueText("-1");
  Form1->GID1Click();
  Select({"b.txt"});
  Form1->filedelClick();
  dialogs_.QueueText("made");
  Form1->newdirokClick();
  WaitForWorkers();
  Show("/etc");
  Select({"sub"});
  Form1->filedelClick();
  SaveAndReopen();

  EXPECT_EQ(FindNode("/a.txt"), nullptr);
  EXPECT_EQ(FindNode("/b.txt"), nullptr);
  EXPECT_EQ(FindNode("/etc/sub"), nullptr);
  EXPECT_EQ(FindNode("/etc/sub/deep"), nullptr);
  const ObjectRecord* renamed = Record("/renamed.txt");
  ASSERT_NE(renamed, nullptr);
  EXPECT_EQ(renamed->Mode, 0104750u);
  EXPECT_EQ(renamed->Uid, 1000u);
  EXPECT_EQ(renamed->Gid, 4294967295u);
  EXPECT_EQ(renamed->FileSize, 3u);
  const ObjectRecord* etc = Record("/etc");
  ASSERT_NE(etc, nullptr);
  EXPECT_EQ(etc->Mode, 044750u);
  EXPECT_EQ(etc->Uid, 1000u);
  const ObjectRecord* made = Record("/made");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->ObjectType, ObjectTypeDirectory);
  EXPECT_EQ(made->Mode, 040755u);
  ASSERT_NE(Record("/etc/hosts"), nullptr);
  EXPECT_EQ(Record("/etc/hosts")->FileSize, 5000u);
  EXPECT_EQ(Record("/c.txt")->Mode, 0100644u);
}

}  // namespace
