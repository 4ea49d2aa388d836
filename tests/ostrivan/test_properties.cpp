// The properties command: the details line of status panel 5 and the
// properties dialog, for every kind of entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit5.h"
#include "entrytext.h"
#include "list_text.h"
#include "program_test.h"
#include "tree_text.h"

namespace {

using testsupport::HeaderFields;
using testsupport::ImageBuilder;

// /a/last/x (7 bytes); /b with big (10235 bytes), a hard link to it, a
// symbolic link and a special file; /empty/inner; /zero/e (0 bytes); a hard
// link to an id that has no object; u.txt with set-uid, owners and an mtime
// that shows midnight.
ImageBuilder PropertiesImage() {
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(300, 1, "a");
  b.AddDir(301, 300, "last");
  b.AddFile(302, 301, "x", "1234567");
  b.AddDir(303, 1, "b");
  b.AddFile(304, 303, "big", testsupport::PatternBytes(10235, 2));
  b.AddHardLink(305, 303, "hl", 304);
  b.AddSymlink(306, 303, "sl", "/target/path");
  HeaderFields dev;
  dev.type = ObjectTypeSpecial;
  dev.parent = 303;
  dev.name = "dev";
  dev.mode = 020660;
  b.AddHeader(307, dev);
  b.AddDir(308, 1, "empty");
  b.AddDir(309, 308, "inner");
  b.AddDir(310, 1, "zero");
  b.AddFile(311, 310, "e", "");
  b.AddHardLink(312, 1, "orphan", 999);
  HeaderFields u;
  u.name = "u.txt";
  u.mode = 0104755;
  u.uid = 1000;
  u.gid = 2000;
  u.mtime = 57600;
  u.fileSize = 10234;
  b.AddHeader(313, u);
  b.AddChunk(313, 1, std::string(2048, 'u'));
  return b;
}

class Properties : public ProgramTest {
protected:
  void SetUp() override {
    ProgramTest::SetUp();
    Open(PropertiesImage());
  }
  void Show(const std::string& path) { ShowFolder(FindNode(path), Form1->ListView1); }
  void Select(const std::vector<std::string>& names) { ASSERT_TRUE(SelectListEntries(names).empty()); }
  static std::string Panel5() { return Form1->StatusBar1.PanelText(5); }

  struct DialogTexts {
    std::string caption, name, type, size, time, uid, gid, detail;
    int iconTag = -1;
    bool shown = false;
  };
  // "属性" from the menu; the dialog is read as FormShow left it.
  DialogTexts OpenDialog() {
    DialogTexts t;
    dialogs_.QueueModalAction([&t](cl::TForm* form) {
      Form5->FormShow();
      t = {form->Caption(),
           Form5->Edit1.Text(),
           Form5->filetype.Caption(),
           Form5->filesize.Caption(),
           Form5->filectime.Caption(),
           Form5->fileuid.Caption(),
           Form5->filegid.Caption(),
           Form5->Label7.Caption(),
           Form5->Image1.Tag,
           true};
      return static_cast<int>(cl::mrOk);
    });
    Form1->N3Click(Form1->N3);
    return t;
  }
};

TEST_F(Properties, DetailsLineForEveryKindOfEntry) {
  const std::string kb = ByteSizeText(10235);
  struct Case {
    const char* folder;
    const char* entry;
    std::string line;
  } cases[] = {
      // A last child counts its own subtree only, not the folders after it.
      {"/", "a", "类型：目录, 大小：7字节, 详细：rwxr-xr-x (0755)"},
      {"/a", "last", "类型：目录, 大小：7字节, 详细：rwxr-xr-x (0755)"},
      // The hard link to big adds nothing.
      {"/", "b", "类型：目录, 大小：" + kb + ", 详细：rwxr-xr-x (0755)"},
      {"/", "empty", "类型：目录, 大小：, 详细：rwxr-xr-x (0755)"},
      {"/", "zero", "类型：目录, 大小：0字节, 详细：rwxr-xr-x (0755)"},
      {"/b", "big", "类型：文件, 大小：" + kb + ", 详细：rw-r--r-- (0644)"},
      {"/b", "hl", "类型：硬链接  ->big, 大小：, 详细：rw-r--r-- (0644)"},
      {"/b", "sl", "类型：软链接  ->/target/path, 大小：, 详细：rwxrwxrwx (0777)"},
      {"/b", "dev", "类型：特殊, 大小：, 详细：rw-rw---- (0660)"},
      {"/", "orphan", "类型：硬链接  ->, 大小：, 详细：rw-r--r-- (0644)"},
      {"/", "u.txt", "类型：文件, 大小：10234字节, 详细：rwsr-xr-x (4755)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " " + c.entry);
    Show(c.folder);
    Select({c.entry});
    EXPECT_EQ(Panel5(), c.line);
  }
}

TEST_F(Properties, DialogShowsTheLineTextsWithTimeAndOwners) {
  Show("/");
  Select({"u.txt"});
  DialogTexts t = OpenDialog();
  ASSERT_TRUE(t.shown);
  EXPECT_EQ(t.caption, "属性");
  EXPECT_EQ(t.name, "u.txt");
  EXPECT_EQ(t.type, "文件");
  EXPECT_EQ(t.size, "10234字节");
  EXPECT_EQ(t.time, MTimeText(57600));
  EXPECT_EQ(t.uid, "1000");
  EXPECT_EQ(t.gid, "2000");
  EXPECT_EQ(t.detail, "rwsr-xr-x (4755)");
  EXPECT_EQ(t.iconTag, 0);
  EXPECT_NE(Form5->Image1.Bitmap(), nullptr);
  Select({"a"});
  t = OpenDialog();
  EXPECT_EQ(t.type, "目录");
  EXPECT_EQ(t.size, "7字节");
  EXPECT_EQ(t.iconTag, 3);
  EXPECT_EQ(Panel5(), "类型：目录, 大小：7字节, 详细：rwxr-xr-x (0755)");
}

TEST_F(Properties, NothingWithoutASelectionOrWhileClosing) {
  Show("/");
  Select({});
  const size_t asked = dialogs_.asked.size();  // the open command's
  Form1->N3Click(Form1->N3);
  EXPECT_EQ(dialogs_.asked.size(), asked);
  Select({"u.txt"});
  Form1->StatusBar1.SetPanelText(5, "before");
  Form1->Tag = 1;
  Form1->N3Click(Form1->N3);
  Form1->N3Click(&Form1->ListView1);
  Form1->Tag = 0;
  EXPECT_EQ(dialogs_.asked.size(), asked);
  EXPECT_EQ(Panel5(), "before");
}

TEST_F(Properties, AnEntryWithoutAProbeGetsOne) {
  Show("/");
  Select({"u.txt"});
  std::string probe = IconProbePath("qqz.qqz");
  DeleteFileA(probe.c_str());
  dialogs_.QueueText("u.qqz");
  Form1->N6Click();
  ASSERT_EQ(GetFileAttributesA(probe.c_str()), INVALID_FILE_ATTRIBUTES);
  Form5->Image1.SetBitmap(nullptr);
  DialogTexts t = OpenDialog();
  EXPECT_EQ(t.name, "u.qqz");
  EXPECT_NE(GetFileAttributesA(probe.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(Form5->Image1.Bitmap(), nullptr);
}

TEST_F(Properties, DialogControlsAndItsCloseButton) {
  EXPECT_EQ(Form5->Caption(), "属性");
  ASSERT_EQ(Form5->PageControl1.PageCount(), 1);
  EXPECT_EQ(Form5->PageControl1.Page(0)->Caption(), "常规");
  EXPECT_EQ(&Form5->TabSheet1, Form5->PageControl1.ActivePage());
  const std::pair<const cl::TControl*, const char*> labels[] = {
      {&Form5->Label1, "类型："}, {&Form5->Label3, "大小："}, {&Form5->Label2, "创建时间："},
      {&Form5->Label4, "UID："},  {&Form5->Label6, "GID："},  {&Form5->Label5, "详细："},
      {&Form5->Button1, "关闭"}};
  for (const auto& l : labels) EXPECT_EQ(l.first->Caption(), l.second);
  EXPECT_EQ(Form5->Label7.Width(), 225);
  EXPECT_EQ(Form5->Label7.Height(), 49);
  EXPECT_EQ(Form5->Image1.Width(), 32);
  EXPECT_TRUE(Form5->Edit1.ReadOnly());
  // Shown for real, "关闭" ends the modal run.
  Show("/");
  Select({"zero"});
  dialogs_.QueueModal(cl::DialogAnswer::kRunReal);
  PostMessageA(Form5->Button1.Handle(), BM_CLICK, 0, 0);
  Form1->N3Click(Form1->N3);
  EXPECT_FALSE(Form5->IsModal());
  EXPECT_FALSE(IsWindowVisible(Form5->Handle()));
  EXPECT_EQ(Form5->filesize.Caption(), "0字节");
}

TEST(SystemLargeIcons, TheShellsIconIsReleased) {
  HICON icon = nullptr;
  EXPECT_NE(SystemLargeIcons(&icon), nullptr);
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(icon, &info));
}

}  // namespace
