// Closing the main window while script consoles are open. Closing ends the
// program, so the cases run in order and the one that closes comes last.
#include "rules.h"
#include "sorv_test.h"

namespace {

using sorvtest::FakeConsole;

class SorvClose : public SorvTest {
protected:
  void SetUp() override {
    SorvTest::SetUp();
    SrcPath = "D:\\src\\";
    StartTime = "2026/12/9 14:00:01";
    Form1->Tag = 0;
  }
  std::string Title(ConsoleKind k) const { return ConsoleTitle(k, SrcPath, StartTime); }
};

TEST_F(SorvClose, ASwitchForbidsClosingAndTheFlagGoesBack) {
  FakeConsole sw(Title(ConsoleKind::Switch)), dl(Title(ConsoleKind::Download));
  dialogs_.QueueButton(IDOK);
  dialogs_.QueueButton(IDYES);
  Form1->Close();
  auto asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].text, "切换LINUX内核,不可退出!   ");
  EXPECT_EQ(asked[0].flags, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(asked[1].text, "正在下载要断开退了出?   ");
  EXPECT_EQ(asked[1].flags, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
  EXPECT_EQ(asked[1].title, "提示");
  EXPECT_EQ(asked[1].owner, cl::Application.Handle());
  EXPECT_TRUE(dl.closed);  // Yes breaks the download off...
  EXPECT_FALSE(sw.closed);
  EXPECT_EQ(SwitchConsoleWnd.load(), sw.Handle());
  EXPECT_FALSE(cl::Application.Terminated());  // ...but the window stays
  EXPECT_EQ(Form1->Tag, 0);
  EXPECT_TRUE(IsWindowVisible(Form1->Handle()));
}

TEST_F(SorvClose, NoKeepsTheWindowAndTheConsole) {
  FakeConsole init(Title(ConsoleKind::Init));
  dialogs_.QueueButton(IDNO);
  Form1->Close();
  auto asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "正在下载要断开退了出?   ");  // the download question for an initialisation too
  EXPECT_FALSE(init.closed);
  EXPECT_EQ(InitConsoleWnd.load(), init.Handle());
  EXPECT_EQ(DownloadConsoleWnd.load(), nullptr);
  EXPECT_FALSE(cl::Application.Terminated());
  EXPECT_EQ(Form1->Tag, 0);
}

TEST_F(SorvClose, YesClosesTheConsoleAndTheProgramButNotAnEarlierScriptsConsole) {
  FakeConsole old(ConsoleTitle(ConsoleKind::Download, SrcPath, "2026/12/9 13:00:00"));
  FakeConsole init(Title(ConsoleKind::Init));
  dialogs_.QueueButton(IDYES);
  Form1->Close();
  EXPECT_EQ(dialogs_.Asked().size(), 1u);
  EXPECT_TRUE(init.closed);
  EXPECT_FALSE(old.closed);
  EXPECT_EQ(Form1->Tag, 1);
  EXPECT_TRUE(cl::Application.Terminated());
}

}  // namespace
