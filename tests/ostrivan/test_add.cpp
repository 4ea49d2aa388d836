// Adding host files and folders: the commands, the worker's protocol, the
// overwrite prompt, and what reaches a rebuilt image.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit7.h"
#include "addfilefun.h"
#include "list_text.h"
#include "mymsgbox.h"
#include "program_test.h"
#include "tree_text.h"

namespace {

using testsupport::ImageBuilder;
using testsupport::PatternBytes;
using testsupport::ReadHostFile;
using testsupport::ScratchFolder;

bool MakeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                              written == bytes.size());
  return CloseHandle(h) && ok;
}
bool MakeDir(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != 0; }


const ObjectRecord* Record(const std::string& path) { return RecordOf(FindNode(path)); }

// The paths below a tree path, in the tree's order.
std::vector<std::string> Below(const std::string& path) {
  std::vector<std::string> out;
  for (int i = 0; i < Form1->TreeView1.Count(); ++i) {
    std::string p = NodePath(Form1->TreeView1.Item(i));
    if (p.compare(0, path.size() + 1, path + "/") == 0) out.push_back(p.substr(path.size() + 1));
  }
  return out;
}

// / holds etc (hosts, passwd and sub with deep) and a.txt.
ImageBuilder SampleImage() {
  ImageBuilder b;
  b.AddRoot();
  b.AddDir(300, 1, "etc");
  b.AddFile(301, 300, "hosts", "127.0.0.1\n");
  b.AddFile(302, 300, "passwd", "root:x:0:0\n");
  b.AddDir(303, 300, "sub");
  b.AddFile(304, 303, "deep", "deep");
  b.AddFile(305, 1, "a.txt", "aaa");
  return b;
}

// A worker that writes down its dialog steps and questions.
class RecordingAdd : public addfilefunThread {
public:
  using addfilefunThread::addfilefunThread;
  std::vector<std::string> log;
  int positionCalls = 0;
  std::string unreadable;  // a folder whose listing fails
  // Listings given instead of the host's, by folder: names no host file
  // system here can hold.
  std::map<std::wstring, std::vector<HostEntry>> listings;

protected:
  void ShowAddProgress() override {
    addfilefunThread::ShowAddProgress();
    log.push_back("total " + std::to_string(Total));
  }
  void ShowCurrentItem() override {
    addfilefunThread::ShowCurrentItem();
    log.push_back("item " + CurrentItem);
  }
  void ShowProgressPosition() override {
    addfilefunThread::ShowProgressPosition();
    ++positionCalls;
    log.push_back("position " + std::to_string(Position));
  }
  void AskOverwrite() override {
    addfilefunThread::AskOverwrite();
    log.push_back("asked " + std::to_string(PromptState));
  }
  void FinishAdd() override {
    log.push_back("finish");
    addfilefunThread::FinishAdd();
  }
  bool ListFolder(const std::wstring& folder, const std::wstring& mask, std::vector<HostEntry>& entries) override {
    if (!unreadable.empty() && folder == cl::WideFromAnsi(unreadable)) return false;
    auto given = listings.find(folder);
    if (given != listings.end()) {
      entries = given->second;
      return true;
    }
    return addfilefunThread::ListFolder(folder, mask, entries);
  }
};

class Add : public ProgramTest {
protected:
  void SetUp() override {
    ProgramTest::SetUp();
    Modified = 0;  // an earlier test's edits: opening would ask first
    Open(SampleImage());
  }
  void Show(const std::string& path) { ShowFolder(FindNode(path), Form1->ListView1); }
  std::wstring Host(const std::string& relative) { return cl::WideFromAnsi(host_.File(relative)); }
  std::string HostPath(const std::string& relative) { return host_.File(relative); }
  // Runs a recording worker into the folder shown; it stays alive until the next run.
  RecordingAdd* Run(const std::vector<std::string>& paths, const std::string& mask,
                    const std::string& unreadable = "",
                    const std::map<std::wstring, std::vector<HostEntry>>& listings = {}) {
    auto* w = new RecordingAdd(paths, mask, static_cast<uint16_t>(CurrentFolderId()), false);
    w->unreadable = unreadable;
    w->listings = listings;
    Form1->StartWorker(std::unique_ptr<cl::TThread>(w));
    WaitForWorkers();
    return w;
  }
  std::vector<AskedDialog> Boxes() {
    std::vector<AskedDialog> out;
    for (const AskedDialog& a : dialogs_.Asked())
      if (a.kind == cl::DialogKind::MessageBox) out.push_back(a);
    return out;
  }
  void ExpectFailures(int n) {
    std::vector<AskedDialog> boxes = Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("有" + std::to_string(n) + "个对象添加失败！", boxes[0].text);
    EXPECT_EQ("提示", boxes[0].title);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), boxes[0].flags);
    EXPECT_EQ(cl::Application.Handle(), boxes[0].owner);
  }
  ScratchFolder host_;
};

TEST_F(Add, TwoFilesJoinTheFolderSortedWithTheirPages) {
  Show("/etc");
  ASSERT_TRUE(MakeFile(Host("b 100"), PatternBytes(100, 1)));
  ASSERT_TRUE(MakeFile(Host("Alpha"), PatternBytes(4096, 2)));
  dialogs_.QueueFiles({HostPath("b 100"), HostPath("Alpha")});
  Form1->addfileokClick();
  WaitForWorkers();
  EXPECT_EQ(1, Modified);
  EXPECT_EQ("正在添加", Form4->Caption());
  EXPECT_EQ("添加进度：", Form4->Label1.Caption());
  EXPECT_EQ(5, Form4->ProgressBar1.Max());
  EXPECT_EQ(5, Form4->ProgressBar1.Position());
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
  EXPECT_EQ((std::vector<std::string>{"sub", "Alpha", "b 100", "hosts", "passwd"}), ListCaptions());
  cl::TTreeNode* node = FindNode("/etc/b 100");
  ASSERT_NE(nullptr, node);
  EXPECT_EQ(1, node->ImageIndex());
  EXPECT_EQ(1, node->SelectedIndex());
  const ObjectRecord* r = RecordOf(node);
  EXPECT_EQ(NodeOf(NodeTable, r->ObjectId), node);
  EXPECT_EQ(1, EntryOf(NodeTable, r->ObjectId).Flag);
  EXPECT_EQ((std::vector<uint32_t>{ObjectTypeFile, 300, 100, 306}),
            (std::vector<uint32_t>{r->ObjectType, r->ParentId, r->FileSize, IdKey(r->ObjectId)}));
  EXPECT_EQ(4096u, Record("/etc/Alpha")->FileSize);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Add, CommandsActOnlyOnAReadImageAndAChoice) {
  Show("/");
  dialogs_.asked.clear();
  Form1->addfileokClick();  // the open dialog cancelled
  Form1->adddirokClick();   // the folder chooser cancelled
  ASSERT_EQ(2u, dialogs_.asked.size());
  EXPECT_EQ(static_cast<UINT>(OFN_ALLOWMULTISELECT), dialogs_.asked[0].flags);
  EXPECT_EQ("", dialogs_.asked[0].title);
  std::string shown = Form1->Edit2.Text();
  Form1->Edit2.SetText("");
  Form1->addfileokClick();
  Form1->adddirokClick();
  EXPECT_EQ(2u, dialogs_.asked.size());
  Form1->Edit2.SetText(shown);
  EXPECT_EQ(0, Modified);
  // A folder named like an entry of the folder shown (blanks aside) is refused.
  dialogs_.QueueText(HostPath(" etc "));
  Form1->adddirokClick();
  EXPECT_EQ("目录已存在!", dialogs_.asked.back().text);
  EXPECT_EQ(cl::Application.Handle(), dialogs_.asked.back().owner);
  EXPECT_EQ("请选择存放目录", dialogs_.asked[dialogs_.asked.size() - 2].title);
  EXPECT_EQ(0, Modified);
}

// ---- The overwrite prompt ----------------------------------------------------------------

TEST(OverwritePrompt, LayoutTextsAndAnswers) {
  TForm8 prompt;
  EXPECT_EQ("提示", prompt.Caption());
  RECT client;
  GetClientRect(prompt.Handle(), &client);
  EXPECT_EQ(378, client.right);
  EXPECT_EQ(103, client.bottom);
  EXPECT_EQ(0, GetWindowLongA(prompt.Handle(), GWL_STYLE) & WS_SYSMENU);  // no close box
  EXPECT_EQ("文件已存在！是否覆盖？", prompt.Label1.Caption());
  EXPECT_EQ(32, prompt.Label1.Left());
  EXPECT_EQ(24, prompt.Label1.Top());
  auto fontOf = [](const cl::TControl& c) {
    LOGFONTA f{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c.Handle(), WM_GETFONT, 0, 0)), sizeof f, &f);
    return std::string(f.lfFaceName) + " " + std::to_string(f.lfHeight) + (f.lfWeight >= FW_BOLD ? " bold" : "");
  };
  EXPECT_EQ("宋体 -16 bold", fontOf(prompt.Label1));
  struct Case {
    cl::TButton* button;
    const char* caption;
    int left;
    int result;
  } cases[] = {{&prompt.Button1, "是", 32, 6},
               {&prompt.Button2, "全是", 112, 4},
               {&prompt.Button3, "全否", 192, 5},
               {&prompt.Button4, "否", 272, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    EXPECT_EQ(c.caption, c.button->Caption());
    EXPECT_EQ((std::vector<int>{c.left, 64, 65, 25}),
              (std::vector<int>{c.button->Left(), c.button->Top(), c.button->Width(), c.button->Height()}));
    EXPECT_EQ("宋体 -13", fontOf(*c.button));
    prompt.ModalResult = 0;
    c.button->Click();
    EXPECT_EQ(c.result, prompt.ModalResult);
  }
  // Tab order: the buttons in the order of the table.
  EXPECT_EQ(prompt.Button2.Handle(), GetNextDlgTabItem(prompt.Handle(), prompt.Button1.Handle(), FALSE));
  EXPECT_EQ(prompt.Button4.Handle(), GetNextDlgTabItem(prompt.Handle(), prompt.Button3.Handle(), FALSE));
}

// /etc holds hosts, passwd and sub; the host files hosts, passwd, sub and new
// are added there, the prompt answered in turn.
TEST_F(Add, OverwriteAnswersAndTheirAllStates) {
  struct Case {
    const char* name;
    std::vector<int> answers;      // none left: the prompt closes without an answer
    int asked;
    std::vector<bool> replaced;    // hosts, passwd, sub
  } cases[] = {
      {"no, then yes to all", {OverwriteNo, OverwriteAll}, 2, {false, true, true}},
      {"no to all at once", {OverwriteNone}, 1, {false, false, false}},
      {"yes, yes, no", {OverwriteYes, OverwriteYes, OverwriteNo}, 3, {true, true, false}},
      {"no, no, yes", {OverwriteNo, OverwriteNo, OverwriteYes}, 3, {false, false, true}},
      {"closed without an answer", {}, 1, {false, false, false}},
  };
  for (const char* name : {"hosts", "passwd", "sub", "new"}) ASSERT_TRUE(MakeFile(Host(name), name));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(SampleImage());
    Show("/etc");
    std::vector<std::string> prompts;
    for (int answer : c.answers) {
      dialogs_.QueueModalAction([answer, &prompts](cl::TForm* form) {
        auto* prompt = dynamic_cast<TForm8*>(form);
        prompts.push_back(prompt && prompt == Form8 ? prompt->Label1.Caption() : "not the prompt");
        return answer;
      });
    }
    RecordingAdd* w = Run({HostPath("hosts"), HostPath("passwd"), HostPath("sub"), HostPath("new")}, "");
    EXPECT_EQ(c.asked, static_cast<int>(std::count_if(w->log.begin(), w->log.end(), [](const std::string& s) {
                return s.compare(0, 6, "asked ") == 0;
              })));
    EXPECT_EQ(std::vector<std::string>(c.answers.size() < static_cast<size_t>(c.asked) ? c.answers.size() : c.asked,
                                       "文件已存在！是否覆盖？"),
              prompts);
    EXPECT_EQ(nullptr, Form8);  // each prompt goes with its answer
    const char* names[] = {"hosts", "passwd", "sub"};
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(names[i]);
      const ObjectRecord* r = Record(std::string("/etc/") + names[i]);
      ASSERT_NE(nullptr, r);
      EXPECT_EQ(c.replaced[i], InWorkFile(*r));
    }
    EXPECT_EQ(c.replaced[2], FindNode("/etc/sub/deep") == nullptr);
    EXPECT_EQ(c.replaced[2], NodeOf(NodeTable, 304) == nullptr);
    EXPECT_NE(nullptr, Record("/etc/new"));
    EXPECT_EQ(8, Form4->ProgressBar1.Max());  // a skipped file still moves the bar
    EXPECT_EQ(8, Form4->ProgressBar1.Position());
    dialogs_.DropQueuedAnswers();
  }
}

TEST_F(Add, AFailedReplaceLeavesTheOldEntry) {
  ASSERT_TRUE(MakeFile(Host("hosts"), "new hosts"));
  HANDLE held = CreateFileA(HostPath("hosts").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  struct Case {
    const char* name;
    bool held;
    uint16_t maxId;
  } cases[] = {{"host file held by another program", true, 305}, {"no id left", false, 0xFFFF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.held) CloseHandle(held);
    Open(SampleImage());
    Show("/etc");
    cl::TTreeNode* old = FindNode("/etc/hosts");
    MaxObjectId = c.maxId;
    dialogs_.asked.clear();
    dialogs_.QueueModal(OverwriteYes);
    Run({HostPath("hosts")}, "");
    EXPECT_EQ(old, FindNode("/etc/hosts"));
    EXPECT_EQ(old, NodeOf(NodeTable, 301));
    EXPECT_FALSE(InWorkFile(*RecordOf(old)));
    EXPECT_EQ((std::vector<std::string>{"sub", "hosts", "passwd"}), ListCaptions());
    ExpectFailures(1);
    EXPECT_EQ(2, Form4->ProgressBar1.Position());
  }
}

// ---- Folders ------------------------------------------------------------------------------

TEST_F(Add, FolderWithTwoSubfoldersCountsEachTwice) {
  Show("/");
  ASSERT_TRUE(MakeDir(Host("two")));
  ASSERT_TRUE(MakeDir(Host("two\\x")));
  ASSERT_TRUE(MakeDir(Host("two\\y")));
  RecordingAdd* w = Run({HostPath("two")}, "*.*");
  EXPECT_EQ("item 正在统计数据空间", w->log.front());
  EXPECT_EQ("total 5", w->log[1]);
  EXPECT_EQ(3, w->Position);
  EXPECT_EQ(5, Form4->ProgressBar1.Max());
  EXPECT_EQ(3, Form4->ProgressBar1.Position());
  EXPECT_EQ("finish", w->log.back());
  EXPECT_EQ((std::vector<std::string>{"x", "y"}), Below("/two"));
  EXPECT_EQ(0, FindNode("/two")->ImageIndex());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Add, FolderWhoseObjectFailsTakesItsSubtreeAlong) {
  ASSERT_TRUE(MakeDir(Host("top")));
  ASSERT_TRUE(MakeDir(Host("top\\a")));
  ASSERT_TRUE(MakeFile(Host("top\\a\\x"), ""));
  ASSERT_TRUE(MakeFile(Host("top\\a\\y"), ""));
  struct Case {
    const char* name;
    uint16_t maxId;
    bool topAdded;
    int failures;
    int position;
  } cases[] = {{"the subfolder gets no id", 0xFFFE, true, 3, 4}, {"the folder itself gets no id", 0xFFFF, false, 4, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(SampleImage());
    Show("/");
    int nodes = Form1->TreeView1.Count();
    MaxObjectId = c.maxId;
    dialogs_.asked.clear();
    RecordingAdd* w = Run({HostPath("top")}, "*.*");
    EXPECT_EQ(5, w->Total);
    EXPECT_EQ(c.position, w->Position);
    EXPECT_EQ(c.topAdded, FindNode("/top") != nullptr);
    EXPECT_TRUE(Below("/top").empty());
    EXPECT_EQ(nodes + (c.topAdded ? 1 : 0), Form1->TreeView1.Count());
    EXPECT_EQ(nullptr, NodeOf(NodeTable, 0));
    ExpectFailures(c.failures);
  }
}

TEST_F(Add, NamesTheCodePageCannotHoldAndUnreadableEntriesAreSkipped) {
  ASSERT_TRUE(MakeDir(Host("names")));
  ASSERT_TRUE(MakeFile(Host("names\\ok.txt"), "ok"));
  ASSERT_TRUE(MakeFile(Host("names\\A"), "plain A"));
  ASSERT_TRUE(MakeFile(Host("names\\") + L"\u00c0", "A with a grave"));   // best fit would read it as A
  ASSERT_TRUE(MakeFile(Host("names\\") + L"\u0e01.txt", "thai"));
  ASSERT_TRUE(MakeDir(Host("names\\") + L"\u0e01"));
  ASSERT_TRUE(MakeFile(Host("names\\") + L"\u0e01\\inner", "inner"));
  ASSERT_TRUE(MakeFile(Host("names\\中文"), "zh"));
  ASSERT_TRUE(MakeFile(Host("names\\busy"), PatternBytes(5000)));
  ASSERT_TRUE(MakeDir(Host("names\\locked")));
  ASSERT_TRUE(MakeFile(Host("names\\locked\\x"), "x"));
  HANDLE held = CreateFileA(HostPath("names\\busy").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  Show("/");
  RecordingAdd* w = Run({HostPath("names")}, "*.*", HostPath("names\\locked"));
  CloseHandle(held);
  std::vector<std::string> added = Below("/names");
  std::sort(added.begin(), added.end());
  EXPECT_EQ((std::vector<std::string>{"A", "ok.txt", u8"中文"}), added);
  EXPECT_EQ(2u, Record(u8"/names/中文")->FileSize);
  // The Thai file and folder, the grave A, the busy file, the locked folder.
  ExpectFailures(5);
  EXPECT_EQ(w->Total - 1, w->Position);  // the locked folder counts twice, as every followed one
}

// Windows lets two names of one folder differ only past the cut the image
// stores names at (91 UTF-16 characters each); the image cannot hold both.
TEST_F(Add, EntriesOfOneFolderThatMeetOnceStoredKeepTheFirst) {
  std::string ming90;
  for (int i = 0; i < 90; ++i) ming90 += "名";
  const std::string first = ming90 + "1", second = ming90 + "2";
  ASSERT_TRUE(MakeDir(Host("long")));
  ASSERT_TRUE(MakeFile(Host("long\\kept"), "kept"));
  auto folder = [](const std::string& name) {
    HostEntry e;
    e.WideName = cl::WideFromAnsi(name);
    e.Name = name;
    e.Folder = true;
    return e;
  };
  HostEntry kept;
  kept.WideName = L"kept";
  kept.Name = "kept";
  kept.Size = 4;
  const std::map<std::wstring, std::vector<HostEntry>> listings = {
      {Host("long"), {folder(first), folder(second), kept, folder(" x"), folder("x")}},
      {Host("long\\" + first), {folder("inner")}},
      {Host("long\\" + first + "\\inner"), {}},
      {Host("long\\ x"), {}},
      {Host("long\\" + second), {folder("never")}},
      {Host("long\\" + second + "\\never"), {}},
  };
  Show("/");
  RecordingAdd* w = Run({HostPath("long")}, "*.*", "", listings);
  const std::string firstUtf8 = Utf8FromAnsi(first).substr(0, 255);  // as stored: 85 名
  std::vector<std::string> added = Below("/long");
  std::sort(added.begin(), added.end());
  EXPECT_EQ((std::vector<std::string>{" x", "kept", firstUtf8, firstUtf8 + "/inner"}), added);
  // The second long folder and "x" (" x" came first) are not added; only
  // followed folders count twice, so the bar still ends on its pages.
  ExpectFailures(2);
  EXPECT_EQ(1 + 4 + 1 + 2 + 2 + 1, w->Total);
  EXPECT_EQ(w->Total - 3, w->Position);
  EXPECT_EQ(w->Position, Form4->ProgressBar1.Position());
}

// A host name as long as a stored name can be (85 名, 255 bytes in UTF-8)
// meets an entry whose longer name the image stores cut to the same bytes.
TEST_F(Add, HostNamesMeetingAnEntryOnceStoredAreThatEntry) {
  std::string stored;
  for (int i = 0; i < 85; ++i) stored += "名";
  const std::string entry = stored + "x";
  ASSERT_TRUE(MakeFile(Host(stored), "new"));
  ASSERT_TRUE(MakeDir(Host("dir")));
  ASSERT_TRUE(MakeDir(Host("dir\\" + stored)));
  struct Case {
    const char* name;
    int answer;
    bool replaced;
  } cases[] = {{"no", OverwriteNo, false}, {"yes", OverwriteYes, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Modified = 0;
    Open(SampleImage());
    Show("/etc");
    dialogs_.QueueText(entry);
    Form1->newdirokClick();
    WaitForWorkers();
    const std::vector<std::string> kept = {"sub", entry, "hosts", "passwd"};
    ASSERT_EQ(kept, ListCaptions());

    dialogs_.asked.clear();
    dialogs_.QueueText(HostPath("dir\\" + stored));
    Form1->adddirokClick();
    EXPECT_FALSE(Form1->WorkerRunning());
    ASSERT_EQ(2u, dialogs_.asked.size());
    EXPECT_EQ("目录已存在!", dialogs_.asked[1].text);

    int prompts = 0;
    dialogs_.QueueModalAction([&prompts, &c](cl::TForm*) {
      ++prompts;
      return c.answer;
    });
    Run({HostPath(stored)}, "");
    EXPECT_EQ(1, prompts);
    const std::vector<std::string> replaced = {"sub", "hosts", "passwd", stored};
    EXPECT_EQ(c.replaced ? replaced : kept, ListCaptions());
    dialogs_.DropQueuedAnswers();
  }
}

TEST_F(Add, DriveRootIsNamedByItsLetter) {
  Show("/");
  // No such drive: the folder is named, then found unreadable.
  dialogs_.QueueText("Q:\\");
  Form1->adddirokClick();
  WaitForWorkers();
  EXPECT_EQ(1, Modified);  // set before the worker starts, also when nothing is added
  ExpectFailures(1);
  EXPECT_EQ(nullptr, FindNode("/Q"));
  dialogs_.QueueText("Q");
  Form1->newdirokClick();
  WaitForWorkers();
  dialogs_.asked.clear();
  dialogs_.QueueText("Q:\\");
  Form1->adddirokClick();
  ASSERT_EQ(2u, dialogs_.asked.size());
  EXPECT_EQ("目录已存在!", dialogs_.asked[1].text);
}

TEST(HostNames, LastComponentAndDriveLetter) {
  struct Case {
    const char* path;
    const char* last;
    const char* folder;
  } cases[] = {
      {"C:\\", "", "C"},           {"e:", "", "e"},
      {"D:\\foo", "foo", "foo"},   {"D:\\foo\\", "foo", "foo"},
      {"\\\\srv\\share", "share", "share"},
      {"C:\\乗", "乗", "乗"},       // its trail byte is "\"
      {"C:\\a\\乗\\", "乗", "乗"}, {"rel", "rel", "rel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.last, HostPathName(c.path));
    EXPECT_EQ(c.folder, HostFolderName(c.path));
  }
}

TEST(HostNames, RoundTripThroughTheCodePage) {
  struct Case {
    const wchar_t* wide;
    bool held;
    const char* ansi;
  } cases[] = {
      {L"abc.txt", true, "abc.txt"}, {L"中文", true, "中文"},         {L"\u00e9", true, "\xa8\xa6"},
      {L"\uff21", true, "\xa3\xc1"}, {L"\u00c0", false, ""},          {L"\u0e01.txt", false, ""},
      {L"a?b", true, "a?b"},         {L"\U0001F600", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(cl::Utf8FromWide(c.wide));
    std::string ansi = "x";
    EXPECT_EQ(c.held, AnsiNameOf(c.wide, ansi));
    EXPECT_EQ(c.ansi, ansi);
  }
}

TEST(HostNames, OnlyReparsePointsThatNameAnotherFileAreLinks) {
  struct Case {
    const char* name;
    DWORD attributes;
    DWORD tag;
    bool link;
  } cases[] = {
      {"plain folder", FILE_ATTRIBUTE_DIRECTORY, 0, false},
      {"tag not told", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0, true},
      {"symbolic link", FILE_ATTRIBUTE_REPARSE_POINT, 0xA000000C, true},
      {"junction", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0xA0000003, true},
      {"deduplicated file", FILE_ATTRIBUTE_REPARSE_POINT, 0x80000013, false},
      {"cloud file", FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WIN32_FIND_DATAW fd{};
    fd.dwFileAttributes = c.attributes;
    fd.dwReserved0 = c.tag;
    EXPECT_EQ(c.link, NamesAnotherFile(fd));
  }
}

// ---- Progress ------------------------------------------------------------------------------

TEST(AddProgress, MovesAreShownWhenTheyCrossAStep) {
  struct Case {
    long long from, to, total;
    bool due;
  } cases[] = {
      {4, 5, 1000, true},   {5, 6, 1000, false},  {1, 9, 1000, true},  {6, 9, 1000, false},
      {0, 1, 1000, true},   {998, 999, 1000, false}, {999, 1000, 1000, true}, {7, 7, 1000, false},
      {5, 6, 200, true},    {5, 6, 201, true},    {5, 6, 202, true},   {101, 102, 202, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + " of " + std::to_string(c.total));
    EXPECT_EQ(c.due, ProgressMoveDue(c.from, c.to, c.total));
    if (c.to == c.from + 1) {
      EXPECT_EQ(cl::ProgressStepDue(c.to, c.total), c.due);
    }
  }
}

// Steps this close together are shown a few dozen milliseconds apart (see
// ProgressSteps in the extraction tests), and never more than about 200.
TEST_F(Add, LargeAddsMoveTheBarAtMostAboutTwoHundredTimes) {
  Show("/");
  ASSERT_TRUE(MakeDir(Host("big")));
  ASSERT_TRUE(MakeFile(Host("big\\one"), PatternBytes(600 * 2048)));
  ASSERT_TRUE(MakeFile(Host("big\\two"), PatternBytes(300 * 2048 + 1)));
  RecordingAdd* w = Run({HostPath("big")}, "*.*");
  EXPECT_EQ(1 + 601 + 302, w->Total);
  EXPECT_EQ(w->Total, w->Position);
  EXPECT_LE(w->positionCalls, 203);
  EXPECT_GE(w->positionCalls, 2);
  EXPECT_EQ(w->Total, Form4->ProgressBar1.Position());
}

TEST_F(Add, FileLargerThanAReadWindowKeepsItsBytes) {
  Show("/");
  const std::string bytes = PatternBytes((32u << 20) + 3000, 7);
  ASSERT_TRUE(MakeFile(Host("large"), bytes));
  Run({HostPath("large")}, "");
  const ObjectRecord* r = Record("/large");
  ASSERT_NE(nullptr, r);
  ScratchFolder out;
  ASSERT_TRUE(ExtractFileData(*r, out.File("large")));
  EXPECT_TRUE(bytes == ReadHostFile(out.File("large")));
}

TEST_F(Add, NewFolderModeWritesOneFolder) {
  Show("/etc");
  auto* w = new RecordingAdd(std::vector<std::string>{"made"}, "", 300, true);
  Form1->StartWorker(std::unique_ptr<cl::TThread>(w));
  WaitForWorkers();
  EXPECT_EQ((std::vector<std::string>{"item 正在统计数据空间", "total 1", "item made", "item made", "position 1",
                                      "finish"}),
            w->log);
  EXPECT_EQ((std::vector<std::string>{"made", "sub", "hosts", "passwd"}), ListCaptions());
  EXPECT_EQ(0, FindNode("/etc/made")->ImageIndex());
}

// ---- Round trip -----------------------------------------------------------------------------

TEST_F(Add, AddedObjectsSurviveARebuildWithTheirBytes) {
  struct File {
    const char* path;
    size_t size;
  } files[] = {{"tree\\empty", 0},           {"tree\\one", 2048},        {"tree\\past", 2049},
               {"tree\\中文.bin", 5000},     {"tree\\sub\\deep", 7000},  {"tree\\hidden\\in", 10}};
  ASSERT_TRUE(MakeDir(Host("tree")));
  ASSERT_TRUE(MakeDir(Host("tree\\sub")));
  ASSERT_TRUE(MakeDir(Host("tree\\sub\\nothing")));
  ASSERT_TRUE(MakeDir(Host("tree\\hidden")));
  uint8_t seed = 10;
  for (const File& f : files) ASSERT_TRUE(MakeFile(Host(f.path), PatternBytes(f.size, seed++)));
  SetFileAttributesW(Host("tree\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(MakeFile(Host("loose.bin"), PatternBytes(3000, 99)));

  Show("/etc");
  dialogs_.QueueText(HostPath("tree"));
  Form1->adddirokClick();
  WaitForWorkers();
  dialogs_.QueueFiles({HostPath("loose.bin")});
  Form1->addfileokClick();
  WaitForWorkers();
  EXPECT_EQ((std::vector<std::string>{"sub", "tree", "hosts", "loose.bin", "passwd"}), ListCaptions());
  const std::vector<std::string> expected = {"hidden", "hidden/in", "sub", "sub/nothing", "sub/deep", "empty",
                                             "one", "past", u8"中文.bin"};
  EXPECT_EQ(expected, Below("/etc/tree"));

  std::string out = NewPath("added.img");
  Save(out, 1, 0);
  OpenPath(out);
  EXPECT_EQ(expected, Below("/etc/tree"));
  ASSERT_NE(nullptr, Record("/etc/loose.bin"));
  EXPECT_EQ(0100755u, Record("/etc/tree/one")->Mode);
  EXPECT_EQ(040755u, Record("/etc/tree/sub")->Mode);

  ScratchFolder dest;
  dialogs_.QueueText(dest.Path());
  Form1->ToolButton7->Click();
  WaitForWorkers();
  for (const File& f : files) {
    SCOPED_TRACE(f.path);
    EXPECT_EQ(ReadHostFile(HostPath(f.path)), ReadHostFile(dest.File(std::string("etc\\") + f.path)));
  }
  EXPECT_EQ(PatternBytes(3000, 99), ReadHostFile(dest.File("etc\\loose.bin")));
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
