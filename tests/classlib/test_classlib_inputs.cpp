// The class layer's combo boxes, folder list, timer, link label, input box
// default and resource view.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "cl_app.h"
#include "cl_combobox.h"
#include "cl_datetime.h"
#include "cl_dialogs.h"
#include "cl_dirlist.h"
#include "cl_linklabel.h"
#include "cl_resstream.h"
#include "cl_strings.h"
#include "cl_sysutil.h"
#include "cl_timer.h"
#include "session.h"

namespace {

TEST(ComboBox, ItemsTextAndOnlyTheUsersChangesNotify) {
  cl::TForm form;
  cl::TComboBox box(&form);
  int changes = 0;
  box.OnChange = [&](cl::TControl*) { ++changes; };
  box.SetText("cupcake");
  box.AddItem("b");
  box.AddItem("a");
  box.AddItem("b");  // no test for duplicates, no sorting
  EXPECT_EQ(box.Items(), (std::vector<std::string>{"b", "a", "b"}));
  box.ClearItems();
  EXPECT_EQ(box.ItemCount(), 0);
  EXPECT_EQ(box.Text(), "cupcake");
  EXPECT_EQ(changes, 0);
  // A pick from the list: the text is the item when OnChange runs.
  box.AddItem("donut");
  std::string seen;
  box.OnChange = [&](cl::TControl*) { seen = box.Text(); };
  SendMessageA(box.Handle(), CB_SETCURSEL, 0, 0);
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box.Handle()));
  EXPECT_EQ(seen, "donut");
}

TEST(DirectoryListBox, PathLevelsThenSubfoldersAndTheDriveFollows) {
  std::string root = cl::TempDir() + "cl-dirlist-" + std::to_string(GetCurrentProcessId());
  SHCreateDirectoryExA(nullptr, (root + "\\b").c_str(), nullptr);
  SHCreateDirectoryExA(nullptr, (root + "\\A").c_str(), nullptr);
  cl::TForm form;
  cl::TDirectoryListBox list(&form);
  cl::TDriveComboBox drive(&form);
  drive.DirList = &list;
  int changes = 0;
  list.OnChange = [&](cl::TControl*) { ++changes; };
  ASSERT_TRUE(list.SetDirectory(root + "\\"));
  EXPECT_EQ(list.Directory(), root);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(list.SetDirectory(root + "\\missing"));
  EXPECT_EQ(list.Directory(), root);
  int n = list.ItemCount();
  ASSERT_GE(n, 3);
  EXPECT_EQ(list.ItemPath(0), root.substr(0, 3));
  EXPECT_EQ(list.ItemPath(n - 3), root);
  EXPECT_EQ(list.ItemPath(n - 2), root + "\\A");
  EXPECT_EQ(list.ItemPath(n - 1), root + "\\b");
  EXPECT_EQ(list.ItemIndex(), n - 3);
  EXPECT_EQ(list.ItemPath(n), "");
  // A new folder shows after Update.
  CreateDirectoryA((root + "\\c").c_str(), nullptr);
  list.Update();
  EXPECT_EQ(list.ItemPath(list.ItemCount() - 1), root + "\\c");
  // Picking another drive moves the list to its root.
  drive.SetDrive(root[0]);
  EXPECT_EQ(drive.Drive(), static_cast<char>(tolower(root[0])));
  ASSERT_TRUE(list.SetDirectory("C:\\windows"));
  drive.SetDrive('z');
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(drive.Handle()));
  EXPECT_EQ(list.Directory(), "z:\\");
  for (const char* d : {"\\A", "\\b", "\\c", ""}) RemoveDirectoryA((root + d).c_str());
}

TEST(Timer, TicksWhileEnabledOnly) {
  cl::TTimer timer;
  int ticks = 0;
  timer.OnTimer = [&] {
    if (++ticks == 3) timer.SetEnabled(false);
  };
  timer.SetInterval(10);
  EXPECT_FALSE(timer.Enabled());
  timer.SetEnabled(true);
  cl::Application.RunUntil([&] { return !timer.Enabled(); });
  EXPECT_EQ(ticks, 3);
}

TEST(LinkLabel, BlueUnderlinedHandAndClick) {
  cl::TForm form;
  cl::TPanel panel(&form);
  cl::TLinkLabel link(&panel, "关于帮助");
  cl::TFont font("宋体", -13);
  link.SetLinkFont(font);
  EXPECT_TRUE(link.Underlined());
  EXPECT_EQ(link.TextColor(), RGB(0, 0, 255));
  EXPECT_GT(link.Width(), 0);
  HDC dc = GetDC(link.Handle());
  SendMessageA(panel.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link.Handle()));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
  ReleaseDC(link.Handle(), dc);
  EXPECT_EQ(SendMessageA(link.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.Handle()), HTCLIENT), TRUE);
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
  int clicks = 0;
  link.OnClick = [&](cl::TControl*) { ++clicks; };
  SendMessageA(panel.Handle(), WM_COMMAND, MAKEWPARAM(0, STN_CLICKED), reinterpret_cast<LPARAM>(link.Handle()));
  EXPECT_EQ(clicks, 1);
}

TEST(InputBox, GivesTheDefaultWhenCancelled) {
  ScriptedDialogs dialogs;
  dialogs.QueueText("typed", false);
  EXPECT_EQ(cl::InputBox("t", "p", "default"), "default");
  dialogs.QueueText("typed");
  EXPECT_EQ(cl::InputBox("t", "p", "default"), "typed");
  ASSERT_EQ(dialogs.Asked().size(), 2u);
  EXPECT_EQ(dialogs.Asked()[0].title, "t");
}

TEST(DateTimeText, TheTimeIsLeftOutAtMidnightOnly) {
  SYSTEMTIME t{};
  t.wYear = 2026;
  t.wMonth = 12;
  t.wDay = 9;
  char date[64] = {}, time[64] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, sizeof date);
  EXPECT_EQ(cl::DateTimeToStr(t), date);
  t.wSecond = 1;  // one second past midnight
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, sizeof time);
  EXPECT_EQ(cl::DateTimeToStr(t), std::string(date) + " " + time);
  EXPECT_NE(std::string(time).find("00:00:01"), std::string::npos);
}

TEST(ResourceStream, MissingResourceWritesNothing) {
  cl::TResourceStream none(nullptr, "NOPE", "LX1");
  EXPECT_FALSE(none.Found());
  std::string path = cl::TempDir() + "cl-res-" + std::to_string(GetCurrentProcessId());
  EXPECT_FALSE(none.SaveToFile(path));
  EXPECT_FALSE(cl::FileExists(path));
}

}  // namespace

namespace {

// The file-system path of an item-id list ("" for none).
std::string PathOf(const cl::ItemIdList& list) {
  char buf[MAX_PATH] = {};
  return list && SHGetPathFromIDListA(list.get(), buf) ? std::string(buf) : std::string();
}

TEST(FolderChooser, RootedAtTheCurrentDrivesRootOrElseTheDesktop) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  char start[MAX_PATH] = {}, windows[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, start), 2u);
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 2u);
  // The root follows the current drive (under Wine the build folder lies on
  // another drive than the Windows folder).
  for (const char* current : {windows, start}) {
    SCOPED_TRACE(current);
    ASSERT_TRUE(SetCurrentDirectoryA(current));
    cl::ItemIdList root = cl::FolderChooserRoot(nullptr);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(PathOf(root), std::string(current, 2) + "\\");
  }
  SetCurrentDirectoryA(start);
  // A name the desktop cannot parse gives no list: the chooser then starts
  // at the desktop.
  std::string missing = cl::TempDir() + "cl-no-such-folder-" + std::to_string(GetCurrentProcessId()) + "\\below";
  EXPECT_EQ(cl::ParseShellName(nullptr, cl::WideFromAnsi(missing)), nullptr);
  CoUninitialize();
}

TEST(FolderChooser, ScriptedAnswersStandInForTheDialog) {
  ScriptedDialogs dialogs;
  dialogs.QueueText("D:\\输出");
  dialogs.QueueText("", false);
  std::string path = "unchanged";
  EXPECT_TRUE(cl::BrowseForFolder(nullptr, "请选择存放目录", path));
  EXPECT_EQ(path, "D:\\输出");
  path = "unchanged";
  EXPECT_FALSE(cl::BrowseForFolder(nullptr, "请选择存放目录", path));
  EXPECT_EQ(path, "unchanged");
  ASSERT_EQ(dialogs.asked.size(), 2u);
  for (const AskedDialog& a : dialogs.asked) {
    EXPECT_EQ(a.kind, cl::DialogKind::BrowseFolder);
    EXPECT_EQ(a.title, "请选择存放目录");
  }
}

}  // namespace
