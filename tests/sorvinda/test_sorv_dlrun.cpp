// The download command without a console: what the click refuses and which
// buttons it changes, the kernel branch written into the kernel repository's
// description, and the worker giving up on a manifest that never reaches the
// branch (hidden checkout, then 请先初始化, the run ended).
#include "Unit7.h"
#include "cl_strings.h"
#include "cl_sysutil.h"
#include "sorv_test.h"

namespace {

using sorvtest::ReadFile;
using sorvtest::ScratchDir;
using sorvtest::WriteFile;

struct Started {
  std::string line;
  UINT show;
};

class SorvDownloadRun : public SorvTest {
protected:
  void SetUp() override {
    SorvTest::SetUp();
    RunCommand = [this](const std::string& line, UINT show) {
      started_.push_back({line, show});
      return 33u;
    };
    Form1->ComboBox1.SetText("android-4.4");
    Form1->ComboBox2.SetText("android-3.18");
  }
  void TearDown() override {
    SorvTest::TearDown();
    EndRun();
  }
  std::string GitFolder() {
    std::string g = src_.Path() + "Git\\";
    WriteFile(g + "bin\\git.exe", "MZ");
    return g;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const AskedDialog& a : dialogs_.Asked())
      if (a.kind == cl::DialogKind::MessageBox) out.push_back(a.text);
    return out;
  }

  ScratchDir src_;
  std::vector<Started> started_;
};

const char kOrigin[] = "* remote origin\r\n  Fetch URL: git://h/kernel/common.git\r\n  HEAD branch: android-3.10\r\n";

TEST_F(SorvDownloadRun, ClickRefusesBeforeAnyWorker) {
  const std::string s = src_.Path() + "s\\";
  const std::string manifest = "<manifest><default revision=\"android-4.4\"/></manifest>";
  struct Case {
    const char* name;
    std::string folder, kernel;
    bool manifest, git;
    const char* origin;  // nullptr: no file
    const char* message;
    bool savesFolder;
    bool buttonsSwap;  // download off, initialise on
  } cases[] = {
      {"blanks for a folder", "   ", "android-3.18", true, true, kOrigin, "请设置 源码保存目录!   ", false, false},
      {"a special character in the kernel branch", s, "a&b", true, true, kOrigin,
       "源代码保存目录或分支名含有空格或特殊字符！", false, false},
      {"no manifest (before git)", s, "android-3.18", false, false, kOrigin, "请先初始化!   ", true, true},
      {"no git", s, "android-3.18", true, false, kOrigin, "没有找到Git,请先安装Git! 请看帮助   ", true, false},
      {"no origin", s, "android-3.18", true, true, nullptr, "请先初始化!   ", true, true},
      {"an empty origin", s, "android-3.18", true, true, "", "请先初始化!   ", true, true},
      {"no HEAD branch line", s, "android-3.18", true, true, "* remote origin\r\n  Remote branches:\r\n",
       "请先初始化!   ", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sorvtest::RemoveTree(s);
    DeleteFileA((cl::ProgramDir() + "srcpath.dat").c_str());
    dialogs_.asked.clear();
    started_.clear();
    if (c.manifest) WriteFile(s + "initdir\\manifest\\default.xml", manifest);
    if (c.origin) WriteFile(s + "initdir\\origin", c.origin);
    Form1->LabeledEdit1.SetText(c.folder);
    Form1->LabeledEdit2.SetText(c.git ? GitFolder() : src_.Path() + "nogit\\");
    Form1->ComboBox2.SetText(c.kernel);
    Form1->Button1.SetEnabled(true);
    Form1->Button3.SetEnabled(false);
    Form1->Button1.Click();
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message});
    EXPECT_FALSE(WorkerRunning());
    EXPECT_FALSE(RunInProgress());
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(cl::FileExists(cl::ProgramDir() + "srcpath.dat"), c.savesFolder);
    EXPECT_EQ(Form1->Button1.Enabled(), !c.buttonsSwap);
    EXPECT_EQ(Form1->Button3.Enabled(), c.buttonsSwap);
    if (c.origin) EXPECT_EQ(ReadFile(s + "initdir\\origin"), c.origin);
  }
}

TEST_F(SorvDownloadRun, ASecondStartIsRefused) {
  ASSERT_TRUE(TryBeginRun());
  Form1->LabeledEdit1.SetText(src_.Path() + "s");
  Form1->Button1.Click();
  EXPECT_EQ(Texts(), std::vector<std::string>{"正在运行，请稍候！"});
  EXPECT_FALSE(WorkerRunning());
}

TEST_F(SorvDownloadRun, AManifestOffTheBranchIsCheckedOutThenReportedNotInitialised) {
  const std::string s = src_.Path() + "s\\";
  WriteFile(s + "initdir\\manifest\\default.xml",
            "<manifest><default revision=\"refs/heads/android-4.4.2\"/><project path=\"a\" name=\"a\"/></manifest>");
  WriteFile(s + "initdir\\origin", kOrigin);
  WriteFile(s + "initdir\\jd.dat", "kernel\r\n");
  Form1->LabeledEdit1.SetText(s);
  Form1->LabeledEdit2.SetText(GitFolder());
  Form1->Button1.SetEnabled(true);
  Form1->Button1.Click();
  cl::Application.RunUntil([] { return !WorkerRunning(); });
  EXPECT_EQ(Texts(), std::vector<std::string>{"请先初始化!   "});
  ASSERT_FALSE(dialogs_.Asked().empty());
  EXPECT_EQ(dialogs_.Asked()[0].kind, cl::DialogKind::ModalForm);
  EXPECT_EQ(dialogs_.Asked()[0].title, "稍候");
  EXPECT_FALSE(Form1->Button1.Enabled());
  EXPECT_TRUE(Form1->Button3.Enabled());
  EXPECT_FALSE(RunInProgress());
  EXPECT_FALSE(Form7->Visible());
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0].line, ManifestCheckoutCommand(GitBin, s, "android-4.4"));
  EXPECT_EQ(started_[0].show, static_cast<UINT>(SW_HIDE));
  EXPECT_EQ(ReadFile(s + "initdir\\origin"),
            "* remote origin\r\n  Fetch URL: git://h/kernel/common.git\r\nHEAD branch: android-3.18\r\n");
  // Nothing ran: the progress file and the folder are as they were.
  EXPECT_EQ(ReadFile(s + "initdir\\jd.dat"), "kernel\r\n");
  EXPECT_FALSE(cl::FileExists(s + "initdir\\getsrc.bat"));
}

}  // namespace
