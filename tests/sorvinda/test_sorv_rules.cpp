// The download manager's rules over strings and files, without a window.
#include <gtest/gtest.h>

#include "rules.h"
#include "sorv_test.h"

namespace {

TEST(SorvSettings, RoundTripAndTrimmedWholeText) {
  sorvtest::ScratchDir dir;
  const std::string f = dir.Path() + "srcpath.dat";
  ASSERT_TRUE(WriteSettingFile(f, "D:\\源码 树\\"));
  EXPECT_EQ(sorvtest::ReadFile(f), "D:\\源码 树\\\r\n");
  EXPECT_EQ(ReadSettingFile(f), "D:\\源码 树\\");
  // Several lines: joined by CR LF, trimmed only at the two ends.
  sorvtest::WriteFile(f, " \tD:\\a\nD:\\b \r\n\r\n");
  EXPECT_EQ(ReadSettingFile(f), "D:\\a\r\nD:\\b");
  EXPECT_EQ(ReadSettingFile(dir.Path() + "missing.dat"), "");
}

TEST(SorvSettings, SourcePathRule) {
  const struct {
    const char* text;
    const char* path;
  } cases[] = {{"D:\\src", "D:\\src\\"}, {"D:\\src\\", "D:\\src\\"}, {"  D:\\ ", "D:\\"}, {"   ", "\\"}, {"", "\\"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SourcePathFrom(c.text), c.path);
  }
}

TEST(SorvTitles, ThreeConsoles) {
  EXPECT_EQ(ConsoleTitle(ConsoleKind::Init, "D:\\s\\", "2026/12/9 14:00:01"),
            "正在初始化D:\\s\\(下载开始时间：2026/12/9 14:00:01)");
  EXPECT_EQ(ConsoleTitle(ConsoleKind::Download, "D:\\s\\", "T"), "正在下载到D:\\s\\(下载开始时间：T)");
  EXPECT_EQ(ConsoleTitle(ConsoleKind::Switch, "\\", ""), "正在切换LINUX内核\\(开始时间：)");
}

TEST(SorvTexts, UnsafeCharacterByCharacter) {
  EXPECT_FALSE(IsUnsafeText("D:\\android\\src-2.6_x"));
  EXPECT_FALSE(IsUnsafeText("D:\\源码\\android"));
  EXPECT_FALSE(IsUnsafeText(""));
  for (char c : std::string(" &|<>^%!\"();,=\t\x7f\x01")) {
    SCOPED_TRACE(static_cast<int>(c));
    EXPECT_TRUE(IsUnsafeText(std::string("D:\\a") + c + "b"));
  }
  // GBK characters whose trail byte is a special character are one character.
  for (const char* s : {"\x81\x7c", "\x81\x5e", "\x81\x60", "\x95\x5c"}) {
    SCOPED_TRACE(s);
    EXPECT_FALSE(IsUnsafeText(std::string("D:\\") + s));
  }
  // A lone lead byte at the end takes nothing with it.
  EXPECT_FALSE(IsUnsafeText("D:\\\x81"));
  EXPECT_TRUE(IsUnsafeText("a|\x81"));
}

TEST(SorvTexts, CommaSplit) {
  const struct {
    const char* text;
    std::vector<std::string> items;
  } cases[] = {
      {"  a b,c", {"a", "b", "c"}},
      {"a , b", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"\"x y\",\"q\"\"r\"", {"x y", "q\"r"}},
      {"\xd4\xb4\xc2\xeb a", {"\xd4\xb4\xc2\xeb", "a"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CommaSplit(c.text), c.items);
  }
}

TEST(SorvBranchRules, FetchHeadLines) {
  const struct {
    const char* line;
    bool ok;
    const char* entry;
  } cases[] = {
      {"c553\t\tbranch 'cupcake' of git://h/platform/manifest", true, "cupcake"},
      {"c553\tnot-for-merge\tbranch 'donut' of git://h/platform/manifest", true, "donut"},
      {"c553\tnot-for-merge\tbranch        'wide'   of x", true, "wide"},
      {"c553\tnot-for-merge\ttag 'v1' of git://h/p", false, ""},
      {"c553\t\tbranch", false, ""},      // no name after the word: skipped
      {"c553\t\tbranch ''", false, ""},   // an empty name: skipped
      {"Branch 'x' of y", false, ""},     // case-sensitive
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string entry = "unchanged";
    EXPECT_EQ(FetchHeadEntry(c.line, entry), c.ok);
    if (c.ok) {
      EXPECT_EQ(entry, c.entry);
    }
  }
}

TEST(SorvBranchRules, HeadLines) {
  const struct {
    std::vector<std::string> lines;
    bool ok;
    const char* branch;
  } cases[] = {
      {{"ref: refs/heads/cupcake"}, true, "cupcake"},
      {{"ref: refs/heads/feature/x"}, true, "x"},
      {{"c553691ebbcdbc8cef1fa6cdcd78db645281f02c"}, true, "c553691ebbcdbc8cef1fa6cdcd78db645281f02c"},
      {{}, false, ""},
      {{"  "}, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.branch);
    std::string branch = "unchanged";
    EXPECT_EQ(HeadBranch(c.lines, branch), c.ok);
    EXPECT_EQ(branch, c.ok ? c.branch : "unchanged");
  }
}

TEST(SorvBranchRules, OriginFile) {
  const std::vector<std::string> good = {
      "* remote origin",
      "  Fetch URL: git://h/kernel/common.git",
      "  HEAD branch: master",
      "  Remote branches:",
      "    android-2.6.29 new (next fetch will store in remotes/origin)",
      "    master         new (next fetch will store in remotes/origin)",
      "  remotes/origin",  // no branch name before git's remark: skipped
      "  Local ref configured for 'git push':"};
  OriginInfo o = ReadOrigin(good);
  EXPECT_TRUE(o.accepted);
  EXPECT_TRUE(o.hasHeadText);
  EXPECT_EQ(o.headText, "master");
  EXPECT_EQ(o.branches, (std::vector<std::string>{"android-2.6.29", "master"}));

  const struct {
    const char* name;
    std::vector<std::string> lines;
    bool accepted;
    bool hasHead;
    const char* head;
  } cases[] = {
      {"capitals", {"* REMOTE ORIGIN", "  head branch: next"}, true, true, "next"},
      {"trailing blank", {"* remote origin ", "  HEAD branch: next"}, false, false, ""},
      {"empty", {}, false, false, ""},
      {"no head line", {"* remote origin", "  Fetch URL: git://h/kernel/common.git"}, true, false, ""},
      {"no colon", {"* remote origin", "  HEAD branch (remote HEAD is ambiguous)"}, true, true,
       "HEAD branch (remote HEAD is ambiguous)"},
      {"nothing after", {"* remote origin", "  HEAD branch:   "}, true, true, ""},
      {"nothing after, no blank", {"* remote origin", "HEAD branch:"}, true, true, ""},
      {"the last head line wins", {"* remote origin", "  HEAD branch: next", "  HEAD branch:"}, true, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OriginInfo r = ReadOrigin(c.lines);
    EXPECT_EQ(r.accepted, c.accepted);
    EXPECT_EQ(r.hasHeadText, c.hasHead);
    EXPECT_EQ(r.headText, c.head);
    EXPECT_TRUE(r.branches.empty());
  }
}

TEST(SorvBranchRules, FetchHeadSizeBoundary) {
  sorvtest::ScratchDir dir;
  sorvtest::WriteFile(dir.Path() + "empty", "");
  sorvtest::WriteFile(dir.Path() + "one", "x");
  EXPECT_FALSE(FileSizeAboveZero(dir.Path() + "empty"));
  EXPECT_TRUE(FileSizeAboveZero(dir.Path() + "one"));
  EXPECT_FALSE(FileSizeAboveZero(dir.Path() + "missing"));
}

TEST(SorvGitPath, PathEntries) {
  const struct {
    const char* entry;
    const char* dir;  // "" when the entry names no git bin folder
  } cases[] = {
      {"C:\\Program Files\\Git\\bin", "C:\\Program Files\\Git\\"},
      {"C:/Git/bin/", "C:\\Git\\"},
      {"c:\\git\\BIN", "c:\\git\\"},
      {"D:\\Robin\\Git\\bin", "D:\\Robin\\Git\\"},
      {"D:\\tools\\PortableGit\\bin\\", "D:\\tools\\PortableGit\\"},
      {"C:\\msysgit\\bin", "C:\\msysgit\\"},
      {"C:\\Program Files (x86)\\Git\\bin", "C:\\Program Files (x86)\\Git\\"},
      {"C:\\Git\\binaries", ""},
      {"C:\\Git\\cmd", ""},
      {"C:\\Gitx\\bin", ""},
      {"C:\\bin\\git", ""},
      {"git\\bin", "git\\"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    std::string dir;
    EXPECT_EQ(GitDirFromPathEntry(c.entry, dir), *c.dir != 0);
    EXPECT_EQ(dir, c.dir);
  }
  // A trail byte 0x5C does not end a component: "\x95\x5c" is one character.
  std::string dir;
  EXPECT_FALSE(GitDirFromPathEntry("C:\\\x95\\git\\x\\bin", dir));
  EXPECT_TRUE(GitDirFromPathEntry("C:\\\x95\\git\\bin", dir));
  EXPECT_EQ(dir, "C:\\\x95\\git\\");
}

TEST(SorvGitPath, Listing) {
  const std::vector<std::string> listing = {
      "ALLUSERSPROFILE=C:\\ProgramData",
      "PATHEXT=.COM;.EXE",
      "Path=C:\\windows\\system32;;\"C:\\P F\\Git\\bin\";C:\\Git\\cmd;D:\\PortableGit\\bin",
      "PATH=C:\\late\\Git\\bin",
  };
  EXPECT_EQ(ListingValue(listing, "path"), listing[2].substr(5));
  EXPECT_EQ(ListingValue(listing, "nothing"), "");
  EXPECT_EQ(SplitPathValue("a;;\"b;c\";d"), (std::vector<std::string>{"a", "", "b;c", "d"}));
  // Both matches in order: the worker shows each, the last stays.
  EXPECT_EQ(GitDirsFromListing(listing), (std::vector<std::string>{"C:\\P F\\Git\\", "D:\\PortableGit\\"}));
  EXPECT_TRUE(GitDirsFromListing({"Path=C:\\Git\\cmd"}).empty());
  EXPECT_TRUE(GitDirsFromListing({"TEMP=C:\\Git\\bin"}).empty());
}

TEST(SorvCommands, HiddenCommandLines) {
  EXPECT_EQ(ListingCommand("C:\\Program Files\\Sorvinda\\"),
            "cmd.exe /c set>\"C:\\Program Files\\Sorvinda\\tempgitpath.dat\"");
  EXPECT_EQ(ManifestRestoreCommand("C:\\Program Files (x86)\\Git\\bin", "D:\\src\\"),
            "cmd.exe /c set \"PATH=C:\\Program Files (x86)\\Git\\bin;%PATH%\" && cd /d D:\\src\\initdir\\manifest && "
            "git checkout -f");
}

}  // namespace
