// The download manager's main window: start-up, log view, branch lists and
// button states, the browse commands, the folder chooser and the help.
#include "Unit3.h"
#include "Unit4.h"
#include "Unit6.h"
#include "cl_strings.h"
#include "rules.h"
#include "sorv_test.h"

namespace {

using sorvtest::ReadFile;
using sorvtest::WriteFile;

class SorvMain : public SorvTest {
protected:
  std::string E() const { return program_->Path(); }
  // A folder that passes CheckGitDir.
  std::string MakeGitFolder(const sorvtest::ScratchDir& dir, const std::string& name) {
    WriteFile(dir.Path() + name + "\\bin\\git.exe", "MZ");
    return dir.Path() + name + "\\";
  }
  void ShowSource(const std::string& folder) {
    Form1->LabeledEdit1.SetText(folder);
    Form1->FormShow();
  }
  std::string GitFolder(const std::string& name) {
    std::string root = sorvtest::GitFolders();
    return root.empty() ? root : root + name;
  }
};

// ---- Start-up -------------------------------------------------------------------

TEST_F(SorvMain, StartUpTakesGitFromTheSettingsThenTheFolderBesideTheProgram) {
  WriteFile(E() + "gitpath.dat", "  D:\\Tools\\Git\\\r\n");
  WriteFile(E() + "Git\\bin\\git.exe", "MZ");
  Restart();
  EXPECT_EQ(Form1->LabeledEdit2.Text(), "D:\\Tools\\Git\\");
  DeleteFileA((E() + "gitpath.dat").c_str());
  Restart();
  EXPECT_EQ(Form1->LabeledEdit2.Text(), E() + "Git\\");
  EXPECT_TRUE(commands_.empty());
  EXPECT_FALSE(WorkerRunning());
  EXPECT_FALSE(cl::FileExists(E() + "gitpath.dat"));  // nothing saved by the start-up
}

TEST_F(SorvMain, StartUpListsTheEnvironmentAndShowsTheLastGitEntry) {
  WriteFile(E() + "tempgitpath.dat", "Path=C:\\stale\\Git\\bin\r\n");
  Restart();
  ASSERT_EQ(commands_, std::vector<std::string>{"cmd.exe /c set>\"" + E() + "tempgitpath.dat\""});
  EXPECT_FALSE(cl::FileExists(E() + "tempgitpath.dat"));  // an old listing never passes for the new one
  ASSERT_TRUE(WorkerRunning());
  WriteFile(E() + "tempgitpath.dat", "OS=Windows_NT\r\nPath=C:\\windows;C:\\Git\\bin;D:\\PortableGit\\bin\\\r\n");
  cl::Application.RunUntil([] { return !WorkerRunning(); });
  EXPECT_EQ(Form1->LabeledEdit2.Text(), "D:\\PortableGit\\");
  EXPECT_FALSE(cl::FileExists(E() + "gitpath.dat"));
}

TEST_F(SorvMain, StartUpRestoresTheSourceFolderDeletesItsLogAndShowsTheCopy) {
  sorvtest::ScratchDir src;
  std::string folder = src.Path().substr(0, src.Path().size() - 1);
  WriteFile(E() + "srcpath.dat", " " + folder + " \r\n");
  WriteFile(E() + "gitpath.dat", "\r\n");
  WriteFile(src.Path() + "clone_result.log", "old\r\n");
  SetFileAttributesA((src.Path() + "clone_result.log").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFile(src.Path() + "clone_result1.log", "step 1\r\nstep 2\r\nstep 3\r\n");
  Restart();
  EXPECT_EQ(Form1->LabeledEdit1.Text(), folder);
  EXPECT_EQ(SrcPath, src.Path());
  EXPECT_FALSE(cl::FileExists(src.Path() + "clone_result.log"));
  EXPECT_EQ(Form1->Memo1.Lines(), (std::vector<std::string>{"step 1", "step 2", "step 3"}));
  EXPECT_EQ(Form1->Timer1.Tag, 3);
  EXPECT_TRUE(Form1->Timer1.Enabled());
  EXPECT_EQ(Form1->Timer1.Interval(), 1000u);
}

TEST_F(SorvMain, WithoutASourceFolderNothingAtTheDriveRootIsTouched) {
  char cur[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof cur, cur);
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
  WriteFile("C:\\clone_result.log", "x\r\n");
  WriteFile("C:\\clone_result1.log", "root log\r\n");
  WriteFile(E() + "gitpath.dat", "\r\n");
  Restart();
  EXPECT_EQ(SrcPath, "\\");
  EXPECT_TRUE(cl::FileExists("C:\\clone_result.log"));
  Form1->Timer1Timer();
  EXPECT_TRUE(Form1->Memo1.Lines().empty());
  EXPECT_EQ(Form1->Timer1.Tag, 0);
  DeleteFileA("C:\\clone_result.log");
  DeleteFileA("C:\\clone_result1.log");
  SetCurrentDirectoryA(cur);
}

// ---- Log view --------------------------------------------------------------------

TEST_F(SorvMain, LogViewReloadsOnANewLineCountOnlyAndShowsTheEnd) {
  sorvtest::ScratchDir src;
  ShowSource(src.Path());
  const std::string log = src.Path() + "clone_result1.log";
  WriteFile(log, "");
  Form1->Timer1Timer();
  EXPECT_TRUE(Form1->Memo1.Lines().empty());  // 0 lines equal the count at start
  std::string text;
  std::vector<std::string> lines;
  for (int i = 1; i <= 60; ++i) {
    // One line far wider than the view: wrapped, it still ends up in view.
    lines.push_back(i == 30 ? std::string(3000, 'w') : "line " + std::to_string(i));
    text += lines.back() + "\r\n";
  }
  WriteFile(log, text);
  Form1->Timer1Timer();
  EXPECT_EQ(Form1->Memo1.Lines(), lines);
  EXPECT_EQ(Form1->Timer1.Tag, 60);
  // The caret walked to the last line.
  HWND memo = Form1->Memo1.Handle();
  int rows = static_cast<int>(SendMessageA(memo, EM_GETLINECOUNT, 0, 0));
  EXPECT_GT(rows, 60);
  EXPECT_EQ(SendMessageA(memo, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0), rows - 1);
  // Same count, other text: left as it is.
  text.replace(0, 6, "LINE 1");
  WriteFile(log, text);
  Form1->Timer1Timer();
  EXPECT_EQ(Form1->Memo1.Lines()[0], "line 1");
  // While the script holds the file, the count stays, and the next tick loads it.
  WriteFile(log, text + "line 61\r\n");
  HANDLE busy = CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  Form1->Timer1Timer();
  EXPECT_EQ(Form1->Timer1.Tag, 60);
  CloseHandle(busy);
  Form1->Timer1Timer();
  EXPECT_EQ(Form1->Timer1.Tag, 61);
  EXPECT_EQ(Form1->Memo1.Lines().back(), "line 61");
}

TEST_F(SorvMain, ANewSourceFolderNeverShowsTheOldFoldersLog) {
  sorvtest::ScratchDir a, b;
  ShowSource(a.Path());
  WriteFile(a.Path() + "clone_result1.log", "a1\r\na2\r\n");
  Form1->Timer1Timer();
  ASSERT_EQ(Form1->Memo1.Lines(), (std::vector<std::string>{"a1", "a2"}));
  WriteFile(b.Path() + "clone_result.log", "b\r\n");
  WriteFile(b.Path() + "clone_result1.log", "b1\r\nb2\r\n");  // the same line count
  QueueFolder(b.Path());
  Form1->Button2Click();
  EXPECT_TRUE(Form1->Memo1.Lines().empty());
  EXPECT_EQ(Form1->Timer1.Tag, 0);
  EXPECT_FALSE(cl::FileExists(b.Path() + "clone_result.log"));
  Form1->Timer1Timer();
  EXPECT_EQ(Form1->Memo1.Lines(), (std::vector<std::string>{"b1", "b2"}));
  EXPECT_FALSE(cl::FileExists(E() + "srcpath.dat"));  // browsing saves no setting
}

// ---- Branch lists and buttons ----------------------------------------------------------

TEST_F(SorvMain, BranchListsFromARealWorkingFolder) {
  std::string full = GitFolder("full");
  if (full.empty()) GTEST_SKIP() << "no git working folders (SORV_GIT_FOLDERS)";
  ShowSource(full);
  for (int show = 1; show <= 2; ++show) {
    SCOPED_TRACE(show);  // showing again gives the same lists
    EXPECT_EQ(Form1->ComboBox1.Items(), (std::vector<std::string>{"cupcake", "donut", "eclair", "master"}));
    EXPECT_EQ(Form1->ComboBox2.Items(), (std::vector<std::string>{"android-2.6.29", "android-2.6.32", "master"}));
    Form1->FormShow();
  }
  EXPECT_EQ(Form1->ComboBox1.Text(), "cupcake");
  EXPECT_EQ(Branch, "cupcake");
  EXPECT_EQ(Form1->ComboBox2.Text(), "master");
  EXPECT_TRUE(Form1->Button1.Enabled());
  EXPECT_FALSE(Form1->Button3.Enabled());
  EXPECT_TRUE(Form1->Button5.Enabled());
  EXPECT_TRUE(commands_.empty());  // default.xml is there

  // Another folder without a working folder: its lists are its own (empty).
  sorvtest::ScratchDir other;
  ShowSource(other.Path());
  EXPECT_EQ(Form1->ComboBox1.ItemCount() + Form1->ComboBox2.ItemCount(), 0);
  EXPECT_FALSE(Form1->Button1.Enabled());
  EXPECT_TRUE(Form1->Button3.Enabled());
  EXPECT_FALSE(Form1->Button5.Enabled());
}

TEST_F(SorvMain, MissingManifestFilesAreCheckedOutOnlyWithGitAndASafeFolder) {
  std::string noxml = GitFolder("noxml"), blank = GitFolder("no xml");
  if (noxml.empty()) GTEST_SKIP() << "no git working folders (SORV_GIT_FOLDERS)";
  sorvtest::ScratchDir tools;
  Form1->LabeledEdit2.SetText(tools.Path() + "none");
  ShowSource(noxml);
  EXPECT_TRUE(commands_.empty());  // no git: nothing to run
  EXPECT_TRUE(Form1->Button1.Enabled());

  std::string git = MakeGitFolder(tools, "Program Files (x86)\\Git");
  Form1->LabeledEdit2.SetText(git);
  ShowSource(noxml);
  ASSERT_EQ(commands_.size(), 1u);
  EXPECT_EQ(commands_[0], "cmd.exe /c set \"PATH=" + git + "bin;%PATH%\" && cd /d " + cl::IncludeTrailingBackslash(noxml) +
                              "initdir\\manifest && git checkout -f");
  EXPECT_EQ(GitBin, git + "bin");
  EXPECT_EQ(ReadFile(E() + "gitpath.dat"), git + "\r\n");

  commands_.clear();
  ShowSource(blank);
  EXPECT_TRUE(commands_.empty());  // a blank in the folder would split the command
  EXPECT_EQ(Form1->ComboBox1.ItemCount(), 4);

  // The program's folder a link to one elsewhere: its lists are read, but git
  // never writes through the link.
  sorvtest::ScratchDir linked;
  sorvtest::FolderLink link(linked.Path() + "initdir", cl::IncludeTrailingBackslash(noxml) + "initdir");
  ASSERT_TRUE(link.Made());
  commands_.clear();
  ShowSource(linked.Path());
  EXPECT_TRUE(commands_.empty());
  EXPECT_EQ(Form1->ComboBox1.ItemCount(), 4);
}

TEST_F(SorvMain, ButtonStatesFollowTheFiles) {
  sorvtest::ScratchDir src;
  const std::string s = src.Path();
  const std::string fetch = "c5\t\tbranch 'cupcake' of git://h/platform/manifest\n";
  const std::string origin = "* remote origin\n  HEAD branch: master\n    master new (next fetch will store in remotes/origin)\n";
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    bool download;  // "开始更新下载" (else "初始化")
    bool sw;        // "切换"
  };
  const Case cases[] = {
      {"nothing", {}, false, false},
      {"manifest only", {{"initdir\\manifest\\.git\\FETCH_HEAD", fetch}}, false, false},
      {"both lists", {{"initdir\\manifest\\.git\\FETCH_HEAD", fetch}, {"initdir\\origin", origin}}, true, false},
      {"empty fetch list", {{"initdir\\manifest\\.git\\FETCH_HEAD", ""}, {"initdir\\origin", origin}}, false, false},
      {"origin refused",
       {{"initdir\\manifest\\.git\\FETCH_HEAD", fetch}, {"initdir\\origin", "* remote origin \n    m x remotes/origin\n"}},
       false, false},
      {"odd origin lines skipped",
       {{"initdir\\manifest\\.git\\FETCH_HEAD", fetch + "c6\t\tbranch\n"},
        {"initdir\\origin", "* remote origin\n  remotes/origin\n  HEAD branch:\n" + origin.substr(16)}},
       true, false},
      {"kernel fetched, 0 bytes", {{"kernel\\.git\\FETCH_HEAD", ""}}, false, false},
      {"kernel fetched, 1 byte", {{"kernel\\.git\\FETCH_HEAD", "x"}}, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sorvtest::RemoveTree(s + "initdir");
    sorvtest::RemoveTree(s + "kernel");
    for (const auto& f : c.files) WriteFile(s + f.first, f.second);
    ShowSource(s);
    EXPECT_EQ(Form1->Button1.Enabled(), c.download);
    EXPECT_EQ(Form1->Button3.Enabled(), !c.download);
    EXPECT_EQ(Form1->Button5.Enabled(), c.sw);
  }
  // An empty HEAD branch empties the kernel box; an origin without the line
  // leaves the box as it was.
  struct HeadCase {
    const char* name;
    const char* origin;
    const char* text;
  } heads[] = {
      {"HEAD branch: and nothing", "* remote origin\n  HEAD branch:\n", ""},
      {"HEAD branch: and blanks", "* remote origin\n  HEAD branch:   \r\n", ""},
      {"HEAD branch: a name", "* remote origin\n  HEAD branch: next\n", "next"},
      {"no HEAD branch line", "* remote origin\n  Fetch URL: x\n", "kept"},
  };
  for (const HeadCase& h : heads) {
    SCOPED_TRACE(h.name);
    sorvtest::RemoveTree(s + "initdir");
    WriteFile(s + "initdir\\origin", h.origin);
    Form1->ComboBox2.SetText("kept");
    ShowSource(s);
    EXPECT_EQ(Form1->ComboBox2.Text(), h.text);
  }

  // An empty source folder: "初始化", and "切换" keeps its state.
  Form1->Button5.SetEnabled(true);
  ShowSource("   ");
  EXPECT_TRUE(Form1->Button3.Enabled());
  EXPECT_FALSE(Form1->Button1.Enabled());
  EXPECT_TRUE(Form1->Button5.Enabled());
  EXPECT_EQ(SrcPath, s);
}

TEST_F(SorvMain, UpdateBranchListsReportsBeforeSettingTheButtons) {
  sorvtest::ScratchDir src;
  ShowSource(src.Path());
  WriteFile(src.Path() + "initdir\\manifest\\.git\\FETCH_HEAD", "c5\t\tbranch 'donut' of x\n");
  WriteFile(src.Path() + "initdir\\manifest\\.git\\HEAD", "ref: refs/heads/donut\n");
  Form1->ComboBox1.SetText("cupcake");
  Form1->LabeledEdit2.SetText(MakeGitFolder(src, "Git"));
  std::vector<bool> downloadAtMessage;
  dialogs_.onAsked = [&](const AskedDialog&) { downloadAtMessage.push_back(Form1->Button1.Enabled()); };
  UpdateBranchLists();
  WriteFile(src.Path() + "initdir\\origin", "* remote origin\n    master new (next fetch will store in remotes/origin)\n");
  UpdateBranchLists();
  auto asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].text, "初始化失败");
  EXPECT_EQ(asked[1].text, "初始化成功");
  EXPECT_EQ(asked[1].flags, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(downloadAtMessage, (std::vector<bool>{false, false}));
  EXPECT_TRUE(Form1->Button1.Enabled());
  EXPECT_FALSE(Form1->Button3.Enabled());
  EXPECT_EQ(Form1->ComboBox1.Items(), std::vector<std::string>{"donut"});
  EXPECT_EQ(Form1->ComboBox1.Text(), "cupcake");  // the HEAD rule is the show's only
  EXPECT_TRUE(commands_.empty());                 // and so is the checkout
}

TEST_F(SorvMain, ComboBoxChangeCopiesThePlatformText) {
  Form1->ComboBox1.SetText("eclair ");
  Form1->ComboBox2.SetText("android-2.6.32");
  Branch.clear();
  Form1->ComboBox2.OnChange(&Form1->ComboBox2);
  EXPECT_EQ(Branch, "eclair ");
}

// ---- Browse commands and the folder chooser --------------------------------------------

TEST_F(SorvMain, GitBrowseSavesAnyFolderAndCheckGitDirTestsIt) {
  sorvtest::ScratchDir tools;
  std::string plain = tools.Make("plain");
  QueueFolder(plain);
  Form1->Button4Click();
  EXPECT_EQ(Form1->LabeledEdit2.Text(), plain);
  EXPECT_EQ(ReadFile(E() + "gitpath.dat"), plain + "\r\n");
  GitBin = "before";
  EXPECT_FALSE(CheckGitDir());
  EXPECT_EQ(GitBin, "before");
  EXPECT_EQ(ReadFile(E() + "gitpath.dat"), plain + "\r\n");

  std::string git = MakeGitFolder(tools, "Git");
  QueueFolder(git);
  Form1->Button4Click();
  EXPECT_EQ(Form1->LabeledEdit2.Text() + "\\", git);
  EXPECT_TRUE(CheckGitDir());
  EXPECT_EQ(GitBin, git + "bin");
  EXPECT_EQ(ReadFile(E() + "gitpath.dat"), git + "\r\n");

  dialogs_.QueueModal(cl::mrCancel);
  Form1->Button4Click();
  EXPECT_EQ(Form1->LabeledEdit2.Text() + "\\", git);
}

TEST_F(SorvMain, FolderChooserOpensOnAClickAndMakesNewFolders) {
  sorvtest::ScratchDir src;
  std::string base = src.Make("base");
  src.Make("base\\child");
  Form1->LabeledEdit1.SetText(base);
  Form3->FormShow();
  auto& list = Form3->DirectoryListBox1;
  EXPECT_EQ(list.Directory(), base);
  EXPECT_EQ(Form3->Edit1.Text(), base);
  EXPECT_EQ(Form3->DriveComboBox1.Drive(), static_cast<char>(tolower(base[0])));
  int child = list.ItemCount() - 1;
  ASSERT_EQ(list.ItemPath(child), base + "\\child");
  list.SetItemIndex(child);
  Form3->DirectoryListBox1Click();
  EXPECT_EQ(list.Directory(), base + "\\child");
  EXPECT_EQ(Form3->Edit1.Text(), base + "\\child");

  dialogs_.QueueText("新\\深");
  Form3->Button3Click();
  EXPECT_TRUE(cl::DirectoryExists(base + "\\child\\新\\深"));
  EXPECT_EQ(list.Directory(), base + "\\child");
  EXPECT_EQ(list.ItemPath(list.ItemCount() - 1), base + "\\child\\新");
  auto asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, "新建文件夹");
  EXPECT_EQ(asked[0].text, "输入名称         ");

  dialogs_.QueueText("x", false);  // cancelled
  Form3->Button3Click();
  EXPECT_FALSE(cl::DirectoryExists(base + "\\child\\x"));
  dialogs_.QueueText("a?b");
  Form3->Button3Click();
  asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 4u);  // two input boxes, then the message
  EXPECT_EQ(asked[3].title, "提示");
  EXPECT_EQ(asked[3].text, "输入有误！");
  EXPECT_EQ(asked[3].flags, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(asked[3].owner, cl::Application.Handle());
}

// ---- Help and the window -----------------------------------------------------------------

TEST_F(SorvMain, HelpShowsTheTextModally) {
  Form1->Label2.OnClick(&Form1->Label2);
  auto asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, cl::DialogKind::ModalForm);
  EXPECT_EQ(asked[0].title, "关于帮助");
  std::vector<std::string> lines = Form6->Memo1.Lines();
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[0], "使用本工具要先安装windows版本git,可到以下下载：");
  EXPECT_EQ(lines[2], "选择Git-1.7.3.1-preview20101002.exe");
  EXPECT_EQ(lines[8], "载长时卡住可按Ctrl+c（出现'y/n'选'y'）中断，然后重新 按 开始更新");
  EXPECT_EQ(lines[12], "");
  EXPECT_EQ(lines[13], "   为了加快下载，只下载相应选择的android版本源码。linux内核则全拉");
  EXPECT_EQ(lines[17], "clone_result.log为下载记录文件可删除。");
}

TEST_F(SorvMain, WindowLayout) {
  EXPECT_EQ(Form1->Width(), 878);
  EXPECT_EQ(Form1->Height(), 557);
  EXPECT_EQ(Form1->Panel1.Height(), 105);
  EXPECT_EQ(Form1->Memo1.Top(), 105);
  for (cl::TLinkLabel* l : {&Form1->Label2, &Form1->Label4}) {
    SCOPED_TRACE(l->Caption());
    EXPECT_EQ(l->TextColor(), RGB(0, 0, 255));
    EXPECT_TRUE(l->Underlined());
    EXPECT_TRUE(l->Left() + l->Width() <= Form1->Panel1.Width());
  }
  RECT client;
  GetClientRect(Form3->Handle(), &client);
  EXPECT_EQ(client.right, 424);
  EXPECT_EQ(client.bottom, 258);
}

}  // namespace
