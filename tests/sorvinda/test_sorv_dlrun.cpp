// The download command without a console: what the click refuses and which
// buttons it changes, the kernel branch written into the kernel repository's
// description, and the worker giving up on a manifest that never reaches the
// branch (hidden checkout, then 请先初始化, the run ended).
#include <memory>

#include "Unit5.h"
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

namespace {

// The worker on its own, with short waits and a window standing in for the
// script's console.
class SorvDownloadWorker : public SorvDownloadRun {
protected:
  RunWaits Waits() {
    RunWaits w;
    w.appearMs = 2000;
    w.pollMs = 5;
    w.slowPollMs = 20;
    w.waitFormMs = 0;
    w.scriptEndMs = 300;
    w.scriptGoneMs = 100;
    return w;
  }
  // The recorder also brings the console up, on the interface thread, when
  // the script is started, and lets the script write its progress lines.
  void ConsoleOnStart(std::string progress) {
    RunCommand = [this, progress](const std::string& line, UINT show) {
      started_.push_back({line, show});
      if (line.rfind("cmd.exe /k ", 0) == 0) {
        cl::Application.Synchronize([this] {
          console_ = std::make_unique<sorvtest::FakeConsole>(RunningConsoleTitle(ConsoleKind::Download));
        });
        WriteFile(s_ + "initdir\\jd.dat", progress);
      }
      return 33u;
    };
  }
  void Run(const std::string& branch) {
    WriteFile(s_ + "initdir\\manifest\\default.xml",
              "<manifest><default revision=\"android-4.4\"/><project path=\"a\" name=\"a\"/></manifest>");
    StartWorker(std::make_unique<dlmemuThread>(s_, branch, "k", "C:\\Git\\bin", "h", Waits()));
    cl::Application.RunUntil([] { return !WorkerRunning(); });
  }
  std::string s_ = src_.Path() + "s\\";
  std::unique_ptr<sorvtest::FakeConsole> console_;
};

TEST_F(SorvDownloadWorker, ACompleteCountWaitsForTheScriptThenClosesItsConsole) {
  WriteFile(s_ + "initdir\\jd.dat", "kernel\r\na\r\n");  // an old complete list of no known branch
  ConsoleOnStart("kernel\r\na\r\n");
  Run("android-4.4");
  EXPECT_EQ(Texts(), std::vector<std::string>{"下载完成!   "});
  ASSERT_TRUE(console_);
  EXPECT_TRUE(console_->closed);
  ASSERT_EQ(started_.size(), 2u);
  EXPECT_EQ(started_[0].line, "cmd.exe /k " + s_ + "initdir\\getsrc.bat");
  EXPECT_EQ(started_[0].show, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(started_[1].line, "cmd.exe /c del /f /a " + s_ + "initdir\\getsrc.bat");
  EXPECT_EQ(TotalSteps, 2);
  EXPECT_EQ(ReadFile(s_ + "initdir\\jdbranch.dat"), "android-4.4\r\n");
  // The old list was not for this branch: every step fetches.
  const std::string script = ReadFile(s_ + "initdir\\getsrc.bat");
  EXPECT_NE(script.find("git remote add origin git://h/kernel/common.git\r\n"), std::string::npos);
  EXPECT_NE(script.find("git remote add origin git://h/a.git\r\n"), std::string::npos);
  EXPECT_FALSE(RunInProgress());
}

TEST_F(SorvDownloadWorker, TheDoneListIsUsedOnlyForItsOwnBranch) {
  struct Case {
    const char* name;
    const char* record;  // nullptr: none
    bool skipsKernel;
  } cases[] = {
      {"the same branch", "android-4.4\r\n", true},
      {"another branch", "android-5.0\r\n", false},
      {"the branch in other letter case", "ANDROID-4.4\r\n", false},
      {"no record", nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sorvtest::RemoveTree(s_);
    dialogs_.asked.clear();
    started_.clear();
    WriteFile(s_ + "initdir\\jd.dat", "kernel\r\n");
    if (c.record) WriteFile(s_ + "initdir\\jdbranch.dat", c.record);
    ConsoleOnStart("kernel\r\na\r\n");
    Run("android-4.4");
    EXPECT_EQ(Texts(), std::vector<std::string>{"下载完成!   "});
    const std::string script = ReadFile(s_ + "initdir\\getsrc.bat");
    EXPECT_EQ(script.find("kernel/common.git") == std::string::npos, c.skipsKernel);
    EXPECT_NE(script.find("git://h/a.git"), std::string::npos);
  }
}

TEST_F(SorvDownloadWorker, AConsoleGoneBeforeTheLastStepIsABreak) {
  ConsoleOnStart("kernel\r\n");
  WriteFile(s_ + "initdir\\manifest\\default.xml",
            "<manifest><default revision=\"android-4.4\"/><project path=\"a\" name=\"a\"/></manifest>");
  DownloadConsoleWnd = nullptr;
  StartWorker(std::make_unique<dlmemuThread>(s_, "android-4.4", "k", "C:\\Git\\bin", "h", Waits()));
  // The user closes the console once the worker follows it.
  cl::Application.RunUntil([] { return DownloadConsoleWnd != nullptr || !WorkerRunning(); });
  ASSERT_TRUE(console_);
  console_.reset();
  cl::Application.RunUntil([] { return !WorkerRunning(); });
  EXPECT_EQ(Texts(), std::vector<std::string>{"下载中途断开!   "});
  EXPECT_EQ(ReadFile(s_ + "initdir\\jd.dat"), "kernel\r\n");
  ASSERT_EQ(started_.size(), 2u);
  EXPECT_EQ(started_[1].line, "cmd.exe /c del /f /a " + s_ + "initdir\\getsrc.bat");
}

// The console goes in the same moment the last step is written: the read
// that found a step missing came just before. The worker reads again before
// it calls the run broken.
TEST_F(SorvDownloadWorker, TheLastStepWrittenAsTheConsoleGoesIsComplete) {
  ConsoleOnStart("kernel\r\n");
  WriteFile(s_ + "initdir\\manifest\\default.xml",
            "<manifest><default revision=\"android-4.4\"/><project path=\"a\" name=\"a\"/></manifest>");
  std::vector<int> reads;
  auto hook = [this, &reads](DownloadMoment moment, int n) {
    if (moment != DownloadMoment::ProgressRead) return;
    reads.push_back(n);
    if (reads.size() != 1) return;
    WriteFile(s_ + "initdir\\jd.dat", "kernel\r\na\r\n");
    SendMessageA(console_->Handle(), WM_CLOSE, 0, 0);
  };
  StartWorker(std::make_unique<dlmemuThread>(s_, "android-4.4", "k", "C:\\Git\\bin", "h", Waits(), hook));
  cl::Application.RunUntil([] { return !WorkerRunning(); });
  EXPECT_EQ(reads, std::vector<int>{1});
  EXPECT_EQ(Texts(), std::vector<std::string>{"下载完成!   "});
  ASSERT_TRUE(console_);
  EXPECT_TRUE(console_->closed);
  ASSERT_EQ(started_.size(), 2u);
  EXPECT_EQ(started_[1].line, "cmd.exe /c del /f /a " + s_ + "initdir\\getsrc.bat");
}

// The manifest is tested five times after the please-wait form has closed;
// one that reaches the branch by the fifth test still downloads, after the
// fifth failure the run is reported not initialised.
TEST_F(SorvDownloadWorker, TheFifthFailedManifestTestReportsNotInitialised) {
  struct Case {
    const char* name;
    int fixedAfter;  // failed tests after which the checkout has taken effect; 0: never
    std::vector<int> failed;
    std::vector<std::string> texts;
    bool swapsButtons;
  } cases[] = {
      {"never on the branch", 0, {1, 2, 3, 4, 5}, {"请先初始化!   "}, true},
      {"on the branch at the fifth test", 4, {1, 2, 3, 4}, {"下载完成!   "}, false},
      {"on the branch only after the fifth", 5, {1, 2, 3, 4, 5}, {"请先初始化!   "}, true},
  };
  const std::string off = "<manifest><default revision=\"android-5.0\"/><project path=\"a\" name=\"a\"/></manifest>";
  const std::string on = "<manifest><default revision=\"android-4.4\"/><project path=\"a\" name=\"a\"/></manifest>";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sorvtest::RemoveTree(s_);
    dialogs_.asked.clear();
    started_.clear();
    console_.reset();
    Form1->Button1.SetEnabled(true);
    Form1->Button3.SetEnabled(false);
    WriteFile(s_ + "initdir\\manifest\\default.xml", off);
    ConsoleOnStart("kernel\r\na\r\n");
    std::vector<int> failed;
    auto hook = [&](DownloadMoment moment, int n) {
      if (moment != DownloadMoment::ManifestTestFailed) return;
      failed.push_back(n);
      if (n == c.fixedAfter) WriteFile(s_ + "initdir\\manifest\\default.xml", on);
    };
    StartWorker(std::make_unique<dlmemuThread>(s_, "android-4.4", "k", "C:\\Git\\bin", "h", Waits(), hook));
    cl::Application.RunUntil([] { return !WorkerRunning(); });
    EXPECT_EQ(failed, c.failed);
    EXPECT_EQ(Texts(), c.texts);
    EXPECT_EQ(Form1->Button1.Enabled(), !c.swapsButtons);
    EXPECT_EQ(Form1->Button3.Enabled(), c.swapsButtons);
    EXPECT_EQ(cl::FileExists(s_ + "initdir\\jdbranch.dat"), !c.swapsButtons);
    EXPECT_FALSE(RunInProgress());
  }
}

TEST_F(SorvDownloadWorker, NoConsoleWithinTheWaitIsABreak) {
  Run("android-4.4");
  EXPECT_EQ(Texts(), std::vector<std::string>{"下载中途断开!   "});
  EXPECT_FALSE(RunInProgress());
}

// A script with nothing left to fetch can end, and its console go, before
// the first search: the progress file tells whether it did every step.
TEST_F(SorvDownloadWorker, AScriptEndedBeforeItsConsoleWasSeenIsJudgedByItsProgress) {
  struct Case {
    const char* name;
    std::string progress, report;
  } cases[] = {
      {"every step", "kernel\r\na\r\n", "下载完成!   "},
      {"a step missing", "kernel\r\n", "下载中途断开!   "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sorvtest::RemoveTree(s_);
    dialogs_.asked.clear();
    started_.clear();
    RunCommand = [this, &c](const std::string& line, UINT show) {
      started_.push_back({line, show});
      if (line.rfind("cmd.exe /k ", 0) == 0) WriteFile(s_ + "initdir\\jd.dat", c.progress);
      return 33u;
    };
    Run("android-4.4");
    EXPECT_EQ(Texts(), std::vector<std::string>{c.report});
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[1].line, "cmd.exe /c del /f /a " + s_ + "initdir\\getsrc.bat");
    EXPECT_FALSE(RunInProgress());
  }
}

TEST_F(SorvDownloadWorker, AnUnsafeProjectIsRefusedBeforeAnythingRuns) {
  struct Case {
    const char* name;
    const char* project;  // the second project element, after path "a"
    std::string message;
  } cases[] = {
      {"a folder outside", "<project path=\"/etc\" name=\"b\"/>", "清单中的项目路径无效：/etc"},
      {"the first project's folder again", "<project path=\"A\" name=\"b\"/>", "清单中的项目路径无效：A"},
      {"the kernel's folder", "<project path=\"kernel\" name=\"b\"/>", "清单中的项目路径无效：kernel"},
      {"in the working folder", "<project path=\"initdir/manifest\" name=\"b\"/>",
       "清单中的项目路径无效：initdir/manifest"},
      {"no name", "<project path=\"b\"/>", "清单中的项目路径无效：b"},
      {"too long under this source folder", nullptr, ""},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.asked.clear();
    started_.clear();
    sorvtest::RemoveTree(s_);
    std::string project = c.project ? c.project : "";
    if (!c.project) {
      const std::string path(kMaxProjectFolder + 1 - s_.size(), 'p');
      project = "<project path=\"" + path + "\" name=\"b\"/>";
      c.message = "清单中的项目路径无效：" + path;
    }
    WriteFile(s_ + "initdir\\manifest\\default.xml",
              "<manifest><default revision=\"android-4.4\"/><project path=\"a\" name=\"a\"/>" + project +
                  "</manifest>");
    WriteFile(s_ + "initdir\\jd.dat", "kernel\r\n");
    StartWorker(std::make_unique<dlmemuThread>(s_, "android-4.4", "k", "C:\\Git\\bin", "h", Waits()));
    cl::Application.RunUntil([] { return !WorkerRunning(); });
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(ReadFile(s_ + "initdir\\jd.dat"), "kernel\r\n");
    EXPECT_FALSE(cl::FileExists(s_ + "initdir\\getsrc.bat"));
  }
}

}  // namespace
