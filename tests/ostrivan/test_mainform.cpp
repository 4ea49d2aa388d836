#include <gtest/gtest.h>

#include "Unit1.h"
#include "Unit4.h"
#include "Unit6.h"
#include "cl_thread.h"
#include "session.h"

namespace {

// The program's forms, created once as the program block does.
class MainForm : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!Form1) {
      CreateProgramForms();
      Form1->Show();
      cl::Application.ProcessMessages();
    }
  }
  void SetUp() override { dialogs_.realForms.push_back(Form4); }
  ScriptedDialogs dialogs_;
};

TEST_F(MainForm, CaptionsAndStatusPanelsAtStart) {
  EXPECT_EQ(Form1->Caption(), "Ostrivan 浏览器 Ver1.6");
  ASSERT_EQ(Form1->StatusBar1.PanelCount(), 6);
  const char* texts[] = {"IMG名称", "", "IMG大小", "", "", ""};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Form1->StatusBar1.PanelText(i), texts[i]);
  }
  EXPECT_EQ(Form1->Label1.Caption(), "路径：");
  EXPECT_EQ(Form1->ToolButton10->Caption, "选取 yaffs2 IMG");
  EXPECT_FALSE(Form1->ToolButton6->Enabled());
  EXPECT_FALSE(Form1->ToolButton2->Enabled());
  EXPECT_FALSE(IsWindowVisible(Form1->Edit1.Handle()));
}

TEST_F(MainForm, LayoutFollowsTheWindowSize) {
  RECT r;
  GetWindowRect(Form1->Handle(), &r);
  EXPECT_EQ(r.right - r.left, 931);
  EXPECT_EQ(r.bottom - r.top, 569);
  EXPECT_EQ(Form1->TreeView1.Width(), 168);
  SetWindowPos(Form1->Handle(), nullptr, 0, 0, 1100, 700, SWP_NOMOVE | SWP_NOZORDER);
  cl::Application.ProcessMessages();
  RECT client;
  GetClientRect(Form1->Panel3.Handle(), &client);
  RECT list;
  GetClientRect(Form1->ListView1.Handle(), &list);
  EXPECT_EQ(Form1->ListView1.Width(), client.right);
  EXPECT_EQ(Form1->ListView1.Height(), client.bottom - Form1->Panel4.Height());
  EXPECT_EQ(Form1->TreeView1.Width(), 168);
  SetWindowPos(Form1->Handle(), nullptr, 0, 0, 931, 569, SWP_NOMOVE | SWP_NOZORDER);
  cl::Application.ProcessMessages();
}

TEST_F(MainForm, ProgressRectTracksTheLastPanel) {
  for (int width : {931, 1200}) {
    SCOPED_TRACE(width);
    SetWindowPos(Form1->Handle(), nullptr, 0, 0, width, 569, SWP_NOMOVE | SWP_NOZORDER);
    cl::Application.ProcessMessages();
    InvalidateRect(Form1->StatusBar1.Handle(), nullptr, TRUE);
    UpdateWindow(Form1->StatusBar1.Handle());
    RECT panel = Form1->StatusBar1.PanelRect(5);
    EXPECT_EQ(ProgressRect.left, panel.left);
    EXPECT_EQ(ProgressRect.top, panel.top);
    EXPECT_EQ(ProgressRect.bottom, panel.bottom);
    EXPECT_EQ(ProgressRect.right, panel.right - 15);
  }
  SetWindowPos(Form1->Handle(), nullptr, 0, 0, 931, 569, SWP_NOMOVE | SWP_NOZORDER);
  cl::Application.ProcessMessages();
}

// Adds entries as the folder view does: caption, id and type as sub-items.
void AddEntry(const std::string& caption, int id, int type) {
  cl::TListItem* item = Form1->ListView1.Add();
  item->SetCaption(caption);
  item->SubItems() = {std::to_string(id), std::to_string(type)};
}

TEST_F(MainForm, SelectionSwitchesTheEntryCommands) {
  Form1->ListView1.Clear();
  AddEntry("system", 2, 3);
  AddEntry("build.prop", 3, 1);
  std::vector<cl::TMenuItem*> items = {Form1->outfileok, Form1->N3, Form1->filedel, Form1->N6,
                                       Form1->N7, Form1->UID1, Form1->GID1};
  struct Case {
    const char* name;
    int select;
    bool open;
  } cases[] = {{"folder", 0, true}, {"file", 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form1->ListView1.SetItemIndex(c.select);
    cl::Application.ProcessMessages();
    EXPECT_TRUE(Form1->ToolButton2->Enabled());
    EXPECT_TRUE(Form1->ToolButton6->Enabled());
    for (auto* m : items) EXPECT_TRUE(m->Enabled()) << m->Name;
    EXPECT_EQ(Form1->N1->Enabled(), c.open);
  }
  // Losing the focus turns off only the two extract buttons.
  Form1->ListView1Exit();
  EXPECT_FALSE(Form1->ToolButton2->Enabled());
  EXPECT_FALSE(Form1->ToolButton6->Enabled());
  EXPECT_TRUE(Form1->N3->Enabled());
  // No selection: all of them off.
  Form1->ListView1.Item(1)->SetSelected(false);
  cl::Application.ProcessMessages();
  EXPECT_FALSE(Form1->ToolButton6->Enabled());
  EXPECT_FALSE(Form1->N1->Enabled());
  for (auto* m : items) EXPECT_FALSE(m->Enabled()) << m->Name;
  Form1->ListView1.Clear();
}

TEST_F(MainForm, PopupOffersImageCommandsOnlyWithAnImage) {
  std::vector<cl::TMenuItem*> imageWide = {Form1->addfileok, Form1->adddirok, Form1->newdirok, Form1->outfileallok};
  Form1->Edit1.SetText("");
  Form1->PopupMenu1Popup();
  for (auto* m : imageWide) EXPECT_FALSE(m->Enabled()) << m->Name;
  for (auto* m : {Form1->outfileok, Form1->N6, Form1->N7, Form1->UID1, Form1->GID1})
    EXPECT_FALSE(m->Enabled()) << m->Name;
  EXPECT_TRUE(Form1->N5->Enabled());
  Form1->Edit1.SetText("Z:\\tmp\\system.img");
  Form1->PopupMenu1Popup();
  for (auto* m : imageWide) EXPECT_TRUE(m->Enabled()) << m->Name;
  Form1->Edit1.SetText("");
}

TEST_F(MainForm, CloseWithoutEditsAsksNothing) {
  Modified = 0;
  cl::TCloseAction action = cl::caFree;
  Form1->FormClose(action);
  EXPECT_EQ(action, cl::caFree);
  EXPECT_TRUE(dialogs_.asked.empty());
  EXPECT_EQ(Form1->Tag, 1);
  Form1->Tag = 0;
}

TEST_F(MainForm, AboutShowsModally) {
  Form1->ToolButton8->Click();
  ASSERT_EQ(dialogs_.asked.size(), 1u);
  EXPECT_EQ(dialogs_.asked[0].kind, cl::DialogKind::ModalForm);
  EXPECT_EQ(dialogs_.asked[0].title, "关于");
  EXPECT_EQ(Form6->LabeledEdit2.Text(), "Ostrivan 浏览器 Ver1.6");
  EXPECT_EQ(Form6->Memo1.Lines(), (std::vector<std::string>{"Ostrivan 浏览器", "识别2048+64格式的YAFF2 文件系统 IMG",
                                                            "能够浏览提取IMG内容。"}));
}

// A worker opens the progress dialog by a posted click and then feeds and
// closes it through synchronised calls, which must arrive after the click.
class ProgressWorker : public cl::TThread {
public:
  std::vector<std::string> seen;

protected:
  void Execute() override {
    PostMessageA(Form1->Button1.Handle(), BM_CLICK, 0, 0);
    Synchronize([this] {
      seen.push_back(Form4->IsModal() ? "shown" : "hidden");
      Form4->SetCaption("正在提取");
      Form4->ProgressBar1.SetRange(0, 3);
    });
    for (int i = 1; i <= 3; ++i) Synchronize([i] { Form4->ProgressBar1.SetPosition(i); });
    Synchronize([this] {
      seen.push_back("pos " + std::to_string(Form4->ProgressBar1.Position()));
      Form4->Close();
    });
  }
};

TEST_F(MainForm, ProgressDialogOpensBeforeTheWorkersCalls) {
  Form4->Tag = 1;  // a cancel left over from an earlier run
  auto owned = std::make_unique<ProgressWorker>();
  ProgressWorker& worker = *owned;
  Form1->StartWorker(std::move(owned));
  cl::Application.RunUntil([&] { return worker.Finished(); });
  worker.WaitFor();
  EXPECT_EQ(worker.seen, (std::vector<std::string>{"shown", "pos 3"}));
  EXPECT_FALSE(Form4->IsModal());
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
  EXPECT_EQ(Form4->Tag, 0);
}

}  // namespace

namespace {

// The forms ask for 宋体; the system must give a font that has Chinese glyphs.
TEST(ChineseFont, SongTiHasChineseGlyphs) {
  cl::TFont font("宋体", 9);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font.Handle());
  WORD glyphs[4] = {};
  ASSERT_NE(GetGlyphIndicesW(dc, L"浏览路径", 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS), GDI_ERROR);
  for (WORD g : glyphs) EXPECT_NE(g, 0xFFFF);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  EXPECT_EQ(tm.tmCharSet, GB2312_CHARSET);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
}

}  // namespace
