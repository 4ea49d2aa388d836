// The initialise and switch commands and their workers without a console:
// what the clicks refuse, the bounded waits, the script each worker writes
// and the commands it starts, and the close handler finding the console of
// a run whose folder is no longer the one shown.
#include <algorithm>

#include "Unit2.h"
#include "Unit5.h"
#include "Unit8.h"
#include "scriptworker.h"
#include "cl_strings.h"
#include "cl_hostpath.h"
#include "cl_sysutil.h"
#include "hostlink.h"
#include "sorv_test.h"

namespace {

using sorvtest::FakeConsole;
using sorvtest::ReadFile;
using sorvtest::ScratchDir;
using sorvtest::WriteFile;

struct Started {
  std::string line;
  UINT show;
};

class SorvRuns : public SorvTest {
protected:
  void SetUp() override {
    SorvTest::SetUp();
    RunCommand = [this](const std::string& line, UINT show) {
      started_.push_back({line, show});
      return 33u;
    };
    Form1->LabeledEdit1.SetText("");
    Form1->LabeledEdit2.SetText("");
    Form1->ComboBox1.SetText("android-4.4");
    Form1->ComboBox2.SetText("android-3.18");
  }
  void TearDown() override {
    SorvTest::TearDown();
    EndRun();
  }
  // A git folder the check accepts.
  std::string GitFolder() {
    std::string g = src_.Path() + "Git\\";
    WriteFile(g + "bin\\git.exe", "MZ");
    return g;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const AskedDialog& a : dialogs_.Asked()) out.push_back(a.text);
    return out;
  }
  void WaitWorkers() { cl::Application.RunUntil([] { return !WorkerRunning(); }); }
  // Starts worker 0 (initialise), 1 (download) or 2 (switch) on source
  // folder s, with waits short enough for runs that are refused.
  void StartRefusedRun(int worker, const std::string& s) {
    RunWaits waits;
    waits.appearMs = 50;
    waits.deleteTries = 2;
    waits.deletePauseMs = 1;
    waits.scriptGoneMs = 0;
    waits.waitFormMs = 0;
    waits.slowPollMs = 1;
    waits.manifestTests = 1;
    if (worker == 0) StartWorker(std::make_unique<dlwThread>(s, "android-4.4", "C:\\Git\\bin", "h", waits));
    if (worker == 1) StartWorker(std::make_unique<dlmemuThread>(s, "android-4.4", "k", "C:\\Git\\bin", "h", waits));
    if (worker == 2) StartWorker(std::make_unique<linuxqiehuangThread>(s, "android-3.18", "C:\\Git\\bin", waits));
  }

  ScratchDir src_;
  std::vector<Started> started_;
};

TEST_F(SorvRuns, InitialiseRefusesBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    bool running;
    std::string folder, branch;
    bool git;
    const char* message;
    bool savesFolder;
  } cases[] = {
      {"a run in progress", true, src_.Path() + "s", "android-4.4", true, "正在运行，请稍候！", false},
      {"no source folder", false, "  ", "android-4.4", true, "请设置 源码保存目录!   ", false},
      {"a blank in the folder", false, src_.Path() + "a b", "android-4.4", true,
       "源代码保存目录或分支名含有空格或特殊字符！", false},
      {"a special character in the branch", false, src_.Path() + "s", "a&b", true,
       "源代码保存目录或分支名含有空格或特殊字符！", false},
      {"no git", false, src_.Path() + "s", "android-4.4", false, "没有找到Git,请先安装Git!  请看帮助   ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileA((cl::ProgramDir() + "srcpath.dat").c_str());
    dialogs_.asked.clear();
    started_.clear();
    Form1->LabeledEdit1.SetText(c.folder);
    Form1->LabeledEdit2.SetText(c.git ? GitFolder() : src_.Path() + "nogit\\");
    Form1->ComboBox1.SetText(c.branch);
    if (c.running) {
      ASSERT_TRUE(TryBeginRun());
    }
    Form1->Button3.Click();
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(dialogs_.Asked()[0].title, "提示");
    EXPECT_FALSE(WorkerRunning());
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(cl::FileExists(cl::ProgramDir() + "srcpath.dat"), c.savesFolder);
    EXPECT_FALSE(cl::DirectoryExists(src_.Path() + "s\\initdir"));
    EndRun();
  }
}

TEST_F(SorvRuns, SwitchRefusesBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    bool running;
    std::string src, kernel;
    const char* message;
  } cases[] = {
      {"a run in progress", true, src_.Path(), "android-3.18", "正在运行，请稍候！"},
      {"no kernel branch", false, src_.Path(), " \t", "请先选择内核版本!   "},
      {"a blank in the branch", false, src_.Path(), "android 3.18", "源代码保存目录或分支名含有空格或特殊字符！"},
      {"a blank in the folder", false, src_.Path() + "a b\\", "android-3.18",
       "源代码保存目录或分支名含有空格或特殊字符！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.asked.clear();
    SrcPath = c.src;
    Form1->ComboBox2.SetText(c.kernel);
    if (c.running) {
      ASSERT_TRUE(TryBeginRun());
    }
    Form1->Button5.Click();
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message});
    EXPECT_FALSE(WorkerRunning());
    EXPECT_TRUE(started_.empty());
    EXPECT_FALSE(cl::FileExists(c.src + "initdir\\nhqh.bat"));
    EndRun();
  }
}

TEST_F(SorvRuns, InitialisationGivesUpOnAFolderThatCannotGo) {
  const std::string s = src_.Path();
  ASSERT_TRUE(WriteFile(s + "initdir\\manifest\\.git\\held.pack", "p"));
  ASSERT_TRUE(WriteFile(s + "initdir\\origin", "* remote origin\r\n"));
  HANDLE held = CreateFileA((s + "initdir\\manifest\\.git\\held.pack").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  RunWaits waits;
  waits.deleteTries = 3;
  waits.deletePauseMs = 1;
  ASSERT_TRUE(TryBeginRun());
  StartWorker(std::make_unique<dlwThread>(s, "android-4.4", "C:\\Git\\bin", "h", waits));
  WaitWorkers();
  CloseHandle(held);
  EXPECT_EQ(Texts(), std::vector<std::string>{"初始化失败"});
  EXPECT_TRUE(started_.empty());
  EXPECT_FALSE(cl::FileExists(s + "initdir\\initbat.bat"));
  EXPECT_FALSE(cl::FileExists(s + "initdir\\origin"));
  EXPECT_FALSE(RunInProgress());  // the worker ended its run
}

TEST_F(SorvRuns, InitialisationWithoutAConsoleFailsAfterTheWaitAndDeletesItsScript) {
  const std::string s = src_.Path();
  ASSERT_TRUE(WriteFile(s + "initdir\\origin", "* remote origin\r\n  HEAD branch: old\r\n"));
  ASSERT_TRUE(WriteFile(s + "initdir\\nh\\.git\\HEAD", "ref: refs/heads/master\n"));
  ASSERT_TRUE(WriteFile(s + "initdir\\jd.dat", "kernel\r\n"));
  RunWaits waits;
  waits.appearMs = 100;
  waits.scriptGoneMs = 0;
  ASSERT_TRUE(TryBeginRun());
  StartWorker(std::make_unique<dlwThread>(s, "android-4.4", "C:\\Git\\bin", "127.0.0.1:9418", waits));
  WaitWorkers();
  EXPECT_EQ(Texts(), std::vector<std::string>{"初始化失败"});
  ASSERT_EQ(started_.size(), 2u);
  EXPECT_EQ(started_[0].line, "cmd.exe /c " + s + "initdir\\initbat.bat");
  EXPECT_EQ(started_[0].show, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(started_[1].line, "cmd.exe /c del /f /a " + s + "initdir\\initbat.bat");
  EXPECT_EQ(started_[1].show, static_cast<UINT>(SW_HIDE));
  // The script as written, with the run's start time in its title.
  std::string expected;
  for (const std::string& l : InitScriptLines(s, "android-4.4", "C:\\Git\\bin", "127.0.0.1:9418", StartTime))
    expected += l + "\r\n";
  EXPECT_EQ(ReadFile(s + "initdir\\initbat.bat"), expected);
  // The earlier answer and repositories are gone (the answer's file is made
  // empty for the script to fill); other files stay.
  EXPECT_TRUE(cl::FileExists(s + "initdir\\origin"));
  EXPECT_EQ(ReadFile(s + "initdir\\origin"), "");
  EXPECT_FALSE(cl::FileExists(s + "initdir\\nh\\.git\\HEAD"));
  EXPECT_TRUE(cl::DirectoryExists(s + "initdir\\manifest"));
  EXPECT_TRUE(cl::DirectoryExists(s + "initdir\\nh"));
  EXPECT_EQ(ReadFile(s + "initdir\\jd.dat"), "kernel\r\n");
  EXPECT_EQ(InitConsoleWnd.load(), nullptr);
  EXPECT_FALSE(RunInProgress());
}

// An earlier initdir\nh that is a link to a folder elsewhere: the worker
// never lists or writes through it. Where the platform can remove the link,
// it goes and the initialisation goes on; where it cannot (Wine), the
// initialisation stops before anything is made in its place.
TEST_F(SorvRuns, InitialisationRemovesALinkedRepositoryFolderNotItsTarget) {
  ScratchDir outside;
  const std::string s = src_.Path();
  ASSERT_TRUE(WriteFile(outside.Path() + "keep.txt", "keep"));
  ASSERT_TRUE(WriteFile(s + "initdir\\manifest\\default.xml", "<manifest/>"));
  sorvtest::FolderLink link(s + "initdir\\nh", outside.Path());
  ASSERT_TRUE(link.Made());
  RunWaits waits;
  waits.appearMs = 50;
  waits.deleteTries = 3;
  waits.deletePauseMs = 1;
  waits.scriptGoneMs = 0;
  ASSERT_TRUE(TryBeginRun());
  StartWorker(std::make_unique<dlwThread>(s, "android-4.4", "C:\\Git\\bin", "h", waits));
  WaitWorkers();
  EXPECT_EQ(ReadFile(outside.Path() + "keep.txt"), "keep");
  EXPECT_FALSE(cl::DirectoryExists(outside.Path() + ".git"));
  EXPECT_FALSE(cl::FileExists(s + "initdir\\manifest\\default.xml"));
  EXPECT_EQ(Texts(), std::vector<std::string>{"初始化失败"});  // no console comes up here
  if (sorvtest::FolderLinksRemovable()) {
    EXPECT_FALSE(sorvtest::IsLink(s + "initdir\\nh"));
    EXPECT_TRUE(cl::DirectoryExists(s + "initdir\\nh"));
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[0].line, "cmd.exe /c " + s + "initdir\\initbat.bat");
  } else {
    EXPECT_TRUE(sorvtest::IsLink(s + "initdir\\nh"));
    EXPECT_TRUE(started_.empty());
    EXPECT_FALSE(cl::FileExists(s + "initdir\\initbat.bat"));
  }
  EXPECT_FALSE(RunInProgress());
}

// The program's folder in the source folder (initdir), or the manifest's
// folder in it, is a link to a folder elsewhere: no worker writes, deletes or
// runs anything through it, and each reports its failure.
TEST_F(SorvRuns, NoWorkerGoesThroughALinkAtTheProgramsFolder) {
  const std::string manifest =
      "<manifest><default revision=\"android-4.4\"/><project path=\"a\" name=\"a\"/></manifest>";
  struct Case {
    const char* name;
    const char* link;    // below the source folder
    const char* inside;  // the outside folder's place in a working folder
    int worker;          // 0 initialise, 1 download, 2 switch
    const char* message;
  } cases[] = {
      {"initialise, initdir a link", "initdir", "initdir\\", 0, "初始化失败"},
      {"download, initdir a link", "initdir", "initdir\\", 1, "下载中途断开!   "},
      {"download, the manifest's folder a link", "initdir\\manifest", "initdir\\manifest\\", 1, "下载中途断开!   "},
      {"switch, initdir a link", "initdir", "initdir\\", 2, "切换LINUX内核失败!   "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.asked.clear();
    started_.clear();
    ScratchDir src, outside;
    const std::string s = src.Path();
    // The outside folder holds what a working folder holds at that place.
    std::vector<std::pair<std::string, std::string>> files = {{"default.xml", manifest}};
    if (std::string(c.inside) == "initdir\\")
      files = {{"manifest\\default.xml", manifest}, {"nh\\keep.txt", "keep"}, {"origin", "* remote origin\r\n  HEAD branch: android-3.18\r\n"},
               {"jd.dat", "kernel\r\n"}};
    for (const auto& f : files) ASSERT_TRUE(WriteFile(outside.Path() + f.first, f.second));
    if (std::string(c.link) != "initdir") ASSERT_TRUE(cl::ForceDirectories(s + "initdir"));
    sorvtest::FolderLink link(s + c.link, outside.Path());
    ASSERT_TRUE(link.Made());
    ASSERT_TRUE(TryBeginRun());
    StartRefusedRun(c.worker, s);
    WaitWorkers();
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(started_.empty());
    for (const auto& f : files) EXPECT_EQ(ReadFile(outside.Path() + f.first), f.second) << f.first;
    for (const char* name : {"initbat.bat", "getsrc.bat", "nhqh.bat", "jdbranch.dat"})
      EXPECT_FALSE(cl::FileExists(outside.Path() + name)) << name;
    EXPECT_TRUE(sorvtest::IsLink(s + c.link));
    EXPECT_FALSE(RunInProgress());
  }
}

// A link of each kind at each place of the program's folder where a worker
// writes, deletes or runs git: nothing outside the source folder is changed,
// created or deleted through it. A worker that can see the link refuses and
// reports its failure before anything starts (the download's hidden checkout
// of a manifest off the branch included); a link to nothing cannot be seen,
// and a worker that writes a file there finds the name taken and refuses.
TEST_F(SorvRuns, NoWorkerWritesOrDeletesThroughALinkOfAnyKind) {
  enum Kind { FileLink, Dangling, FolderLink };
  struct Place {
    const char* name;  // below initdir
    std::vector<int> writers;  // the workers that write or delete there: 0 initialise, 1 download, 2 switch
  } places[] = {
      {"origin", {0}}, {"jd.dat", {1}}, {"jdbranch.dat", {1}}, {"initbat.bat", {0}}, {"manifest\\sub\\flink", {0}},
  };
  const char* kinds[] = {"a link to a file", "a link to nothing", "a link to a folder"};
  const char* failures[] = {"初始化失败", "下载中途断开!   ", "切换LINUX内核失败!   "};
  for (const Place& place : places) {
    for (int kind = FileLink; kind <= FolderLink; ++kind) {
      for (int worker = 0; worker < 3; ++worker) {
        SCOPED_TRACE(std::string(place.name) + ", " + kinds[kind] + ", worker " + std::to_string(worker));
        dialogs_.asked.clear();
        started_.clear();
        ScratchDir src, outside;
        const std::string s = src.Path(), target = outside.Path() + "target.txt";
        ASSERT_TRUE(WriteFile(target, "keep"));
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
        // A manifest off the download's branch would be checked out, hidden,
        // before anything else; a link to nothing is met only after that.
        const std::string revision = kind == Dangling ? "android-4.4" : "android-5.0";
        ASSERT_TRUE(WriteFile(s + "initdir\\manifest\\default.xml", "<manifest><default revision=\"" + revision +
                                                                        "\"/><project path=\"a\" name=\"a\"/></manifest>"));
        ASSERT_TRUE(WriteFile(s + "initdir\\manifest\\sub\\keep.txt", "k"));
        if (std::string(place.name) != "origin") {
          ASSERT_TRUE(WriteFile(s + "initdir\\origin", "* remote origin\r\n"));
        }
        const std::string at = s + "initdir\\" + place.name;
        const std::string to = kind == FileLink ? target : kind == Dangling ? outside.Path() + "none.txt" : outside.Path();
        {
          testlink::HostLink link(at, to);
          ASSERT_TRUE(link.Made());
          ASSERT_TRUE(TryBeginRun());
          StartRefusedRun(worker, s);
          WaitWorkers();
          const bool writes =
              std::find(place.writers.begin(), place.writers.end(), worker) != place.writers.end();
          if (kind != Dangling || writes) {
            EXPECT_EQ(Texts(), std::vector<std::string>{failures[worker]});
            EXPECT_TRUE(started_.empty());
          }
          if (kind != Dangling) {
            EXPECT_TRUE(cl::HostPathExists(at)) << "the link stays";
          }
          EXPECT_FALSE(RunInProgress());
        }
        EXPECT_EQ(ReadFile(target), "keep");
        EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((outside.Path() + "*").c_str(), &fd);
        std::vector<std::string> names;
        if (h != INVALID_HANDLE_VALUE) {
          do {
            if (std::string(fd.cFileName) != "." && std::string(fd.cFileName) != "..") names.push_back(fd.cFileName);
          } while (FindNextFileA(h, &fd));
          FindClose(h);
        }
        EXPECT_EQ(names, std::vector<std::string>{"target.txt"});
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
      }
    }
  }
}

// A source folder reached through a link is the user's own choice: the run
// goes on in it.
TEST_F(SorvRuns, ASourceFolderReachedThroughALinkIsUsed) {
  ScratchDir real, links;
  ASSERT_TRUE(cl::ForceDirectories(real.Path() + "initdir"));
  sorvtest::FolderLink link(links.Path() + "src", real.Path());
  ASSERT_TRUE(link.Made());
  const std::string s = links.Path() + "src\\";
  RunWaits waits;
  waits.appearMs = 50;
  waits.scriptGoneMs = 0;
  ASSERT_TRUE(TryBeginRun());
  StartWorker(std::make_unique<linuxqiehuangThread>(s, "android-3.18", "C:\\Git\\bin", waits));
  WaitWorkers();
  ASSERT_FALSE(started_.empty());
  EXPECT_EQ(started_[0].line, "cmd.exe /c " + s + "initdir\\nhqh.bat");
  EXPECT_NE(ReadFile(real.Path() + "initdir\\nhqh.bat").find("cd /d " + s + "kernel"), std::string::npos);
}

// A worker that runs until its event is set; its release is recorded.
class HeldWorker : public cl::TThread {
public:
  HeldWorker(HANDLE go, bool* released) : go_(go), released_(released) {}
  ~HeldWorker() override { *released_ = true; }

protected:
  void Execute() override { WaitForSingleObject(go_, INFINITE); }

private:
  HANDLE go_;
  bool* released_;
};

TEST_F(SorvRuns, AFinishedWorkerIsReleasedARunningOneIsNeverWaitedFor) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  bool firstReleased = false, secondReleased = false;
  StartWorker(std::make_unique<HeldWorker>(go, &firstReleased));
  ReleaseFinishedWorkers();  // returns at once: the running worker stays
  EXPECT_FALSE(firstReleased);
  EXPECT_TRUE(WorkerRunning());
  SetEvent(go);
  WaitWorkers();
  EXPECT_FALSE(firstReleased);
  StartWorker(std::make_unique<HeldWorker>(go, &secondReleased));  // the next start releases it
  EXPECT_TRUE(firstReleased);
  WaitWorkers();
  ReleaseFinishedWorkers();  // as at the program's end
  EXPECT_TRUE(secondReleased);
  CloseHandle(go);
}

TEST_F(SorvRuns, SwitchIsJudgedByTheKernelsHead) {
  struct Case {
    const char* head;
    const char* message;
  } cases[] = {
      {"ref: refs/heads/android-3.18\n", "切换LINUX内核完成!   "},
      {"ref: refs/heads/android-3.10\n", "切换LINUX内核失败!   "},
      {"", "切换LINUX内核失败!   "},
  };
  const std::string s = src_.Path();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    dialogs_.asked.clear();
    started_.clear();
    ASSERT_TRUE(WriteFile(s + "initdir\\x", ""));
    DeleteFileA((s + "kernel\\.git\\HEAD").c_str());
    if (*c.head) {
      ASSERT_TRUE(WriteFile(s + "kernel\\.git\\HEAD", c.head));
    }
    RunWaits waits;
    waits.appearMs = 50;
    waits.scriptGoneMs = 0;
    ASSERT_TRUE(TryBeginRun());
    StartWorker(std::make_unique<linuxqiehuangThread>(s, "android-3.18", "C:\\Git\\bin", waits));
    WaitWorkers();
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message});
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[0].line, "cmd.exe /c " + s + "initdir\\nhqh.bat");
    EXPECT_EQ(started_[0].show, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(started_[1].line, "cmd.exe /c del /f /a " + s + "initdir\\nhqh.bat");
    std::string expected;
    for (const std::string& l : SwitchScriptLines(s, "android-3.18", "C:\\Git\\bin", StartTime)) expected += l + "\r\n";
    EXPECT_EQ(ReadFile(s + "initdir\\nhqh.bat"), expected);
    EXPECT_EQ(SwitchConsoleWnd.load(), nullptr);
    EXPECT_FALSE(RunInProgress());
  }
}

TEST_F(SorvRuns, SwitchWithoutAWorkingFolderFails) {
  RunWaits waits;
  waits.appearMs = 50;
  ASSERT_TRUE(TryBeginRun());
  StartWorker(std::make_unique<linuxqiehuangThread>(src_.Path() + "none\\", "android-3.18", "C:\\Git\\bin", waits));
  WaitWorkers();
  EXPECT_EQ(Texts(), std::vector<std::string>{"切换LINUX内核失败!   "});
  EXPECT_TRUE(started_.empty());
}

// A worker that is only the shared life of a run: its script, its watch's
// answer and the reports it gets are the test's.
class LifeOnly : public ScriptWorker {
public:
  LifeOnly(const std::string& src, const RunWaits& waits, bool startable, Outcome watched,
           std::vector<Outcome>* reports)
      : ScriptWorker(ConsoleKind::Switch, src, "initdir\\life.bat", waits),
        startable_(startable),
        watched_(watched),
        reports_(reports) {}

protected:
  std::vector<std::string> ScriptLines(const std::string& startTime) override { return {"title " + startTime}; }
  bool BeforeStart() override { return startable_; }
  Outcome Watch(const ScriptRun&, HWND console) override {
    consoleSeen_ = SwitchConsoleWnd == console;
    return consoleSeen_ ? watched_ : Outcome::Broken;
  }
  void Report(Outcome outcome) override { reports_->push_back(outcome); }

private:
  bool startable_;
  Outcome watched_;
  std::vector<Outcome>* reports_;
  bool consoleSeen_ = false;
};

TEST_F(SorvRuns, EveryRunEndsTheSameWay) {
  using Outcome = ScriptWorker::Outcome;
  struct Case {
    const char* name;
    bool startable, console;
    Outcome watched;
    bool deletes;  // the script once the run is over
    std::vector<Outcome> reports;
  } cases[] = {
      {"not startable", false, true, Outcome::Done, false, {Outcome::NotStarted}},
      {"no console", true, false, Outcome::Done, true, {Outcome::NoConsole}},
      {"done", true, true, Outcome::Done, true, {Outcome::Done}},
      {"broken", true, true, Outcome::Broken, true, {Outcome::Broken}},
      {"quit", true, true, Outcome::Quit, false, {}},
  };
  const std::string s = src_.Path(), script = s + "initdir\\life.bat";
  ASSERT_TRUE(WriteFile(s + "initdir\\x", ""));
  std::unique_ptr<FakeConsole> console;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    started_.clear();
    DeleteFileA(script.c_str());
    RunCommand = [&](const std::string& line, UINT show) {
      started_.push_back({line, show});
      if (c.console && line == "cmd.exe /c " + script)
        cl::Application.Synchronize(
            [&] { console = std::make_unique<FakeConsole>(RunningConsoleTitle(ConsoleKind::Switch)); });
      return 33u;
    };
    RunWaits waits;
    waits.appearMs = 50;
    waits.scriptGoneMs = 0;
    std::vector<Outcome> reports;
    ASSERT_TRUE(TryBeginRun());
    StartWorker(std::make_unique<LifeOnly>(s, waits, c.startable, c.watched, &reports));
    WaitWorkers();
    console.reset();
    EXPECT_EQ(reports, c.reports);
    std::vector<std::string> expected;
    if (c.startable) expected.push_back("cmd.exe /c " + script);
    if (c.deletes) expected.push_back("cmd.exe /c del /f /a " + script);
    std::vector<std::string> lines;
    for (const Started& st : started_) lines.push_back(st.line);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(ReadFile(script), c.startable ? "title " + StartTime + "\r\n" : "");
    EXPECT_FALSE(RunInProgress());
  }
}

TEST_F(SorvRuns, ClosingFindsTheRunsConsoleAfterTheFolderChanged) {
  RunWaits waits;
  ScriptRun run(ConsoleKind::Init, "D:\\first\\", "D:\\first\\initdir\\initbat.bat", waits);
  StartTime = run.StartTime();
  FakeConsole console(run.Title());
  SrcPath = "D:\\second\\";  // browsed away during the run
  dialogs_.QueueButton(IDNO);
  Form1->Close();
  EXPECT_EQ(Texts(), std::vector<std::string>{"正在下载要断开退了出?   "});
  EXPECT_EQ(InitConsoleWnd.load(), console.Handle());
  EXPECT_FALSE(console.closed);
  EXPECT_FALSE(cl::Application.Terminated());
}

TEST_F(SorvRuns, TheListsComeFromTheFolderTheInitialisationRanIn) {
  ScratchDir other;
  const std::string s = src_.Path();
  ASSERT_TRUE(WriteFile(s + "initdir\\manifest\\.git\\FETCH_HEAD", "c5\t\tbranch 'android-4.4' of x\n"));
  ASSERT_TRUE(WriteFile(s + "initdir\\origin", "* remote origin\n    android-3.10 new (next fetch will store in remotes/origin)\n"));
  SrcPath = other.Path();  // browsed away during the run: nothing there
  UpdateBranchLists(s);
  EXPECT_EQ(Texts(), std::vector<std::string>{"初始化成功"});
  EXPECT_EQ(Form1->ComboBox1.Items(), std::vector<std::string>{"android-4.4"});
  EXPECT_EQ(Form1->ComboBox2.Items(), std::vector<std::string>{"android-3.10"});
  EXPECT_TRUE(Form1->Button1.Enabled());
  EXPECT_EQ(SrcPath, other.Path());
}

TEST_F(SorvRuns, TheRunningTitleIsClearedWhenTheRunEnds) {
  RunWaits waits;
  {
    ScriptRun run(ConsoleKind::Switch, "D:\\s\\", "D:\\s\\initdir\\nhqh.bat", waits);
    EXPECT_EQ(RunningConsoleTitle(ConsoleKind::Switch), ConsoleTitle(ConsoleKind::Switch, "D:\\s\\", run.StartTime()));
    EXPECT_EQ(RunningConsoleTitle(ConsoleKind::Init), "");
  }
  EXPECT_EQ(RunningConsoleTitle(ConsoleKind::Switch), "");
}

}  // namespace
