#include <gtest/gtest.h>

#include <windows.h>

#include "cl_strings.h"
#include "cl_sysutil.h"
#include "image_builder.h"

namespace {

TEST(StringList, TextSplitsAtEveryLineBreakAndJoinsWithCrLf) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"crlf", "a\r\nb\r\n", {"a", "b"}},
      {"lf and cr", "a\nb\rc", {"a", "b", "c"}},
      {"empty lines kept", "a\r\n\r\nb", {"a", "", "b"}},
      {"empty", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cl::TStringList l;
    l.SetText(c.text);
    EXPECT_EQ(l.Strings, c.lines);
  }
  cl::TStringList l;
  l.Strings = {"x", "", "中文"};
  EXPECT_EQ(l.Text(), "x\r\n\r\n中文\r\n");
}

TEST(StringList, CommaTextQuotesWhatNeedsItAndReadsItBack) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> items;
  } cases[] = {
      {"plain", "a,b,c", {"a", "b", "c"}},
      {"blanks separate", "a b,c", {"a", "b", "c"}},
      {"quoted blank", "\"a b\",c", {"a b", "c"}},
      {"doubled quote", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"empty between commas", "a,,b", {"a", "", "b"}},
      {"trailing comma", "a,", {"a", ""}},
      {"environment line", "Path=C:\\Program Files\\Git\\bin;C:\\x", {"Path=C:\\Program", "Files\\Git\\bin;C:\\x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cl::TStringList l;
    l.SetCommaText(c.text);
    EXPECT_EQ(l.Strings, c.items);
  }
  cl::TStringList l;
  l.Strings = {"a b", "c,d", "e\"f", "", "g"};
  EXPECT_EQ(l.CommaText(), "\"a b\",\"c,d\",\"e\"\"f\",,g");
  cl::TStringList back;
  back.SetCommaText(l.CommaText());
  EXPECT_EQ(back.Strings, l.Strings);
}

TEST(StringList, FilesRoundTripWithCrLf) {
  testsupport::ScratchFolder folder;
  cl::TStringList l;
  l.Strings = {"第一行", "second"};
  ASSERT_TRUE(l.SaveToFile(folder.File("list.txt")));
  cl::TStringList back;
  ASSERT_TRUE(back.LoadFromFile(folder.File("list.txt")));
  EXPECT_EQ(back.Strings, l.Strings);
  EXPECT_FALSE(back.LoadFromFile(folder.File("missing.txt")));
}

TEST(Paths, SplitsWalkDoubleByteCharacters) {
  // 0x95 0x5C is one GBK character whose trail byte is the backslash.
  const std::string tricky = "\x95\x5C";
  struct Case {
    std::string path, folder, name;
  } cases[] = {
      {"C:\\a\\b.txt", "C:\\a\\", "b.txt"},
      {"C:\\dir" + tricky, "C:\\", "dir" + tricky},
      {"C:\\" + tricky + "\\x", "C:\\" + tricky + "\\", "x"},
      {"C:x", "C:", "x"},
      {"name", "", "name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(cl::ExtractFilePath(c.path), c.folder);
    EXPECT_EQ(cl::ExtractFileName(c.path), c.name);
  }
  EXPECT_EQ(cl::IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(cl::IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(cl::IncludeTrailingBackslash("C:\\" + tricky), "C:\\" + tricky + "\\");
}

TEST(Paths, OneStepOverDoubleByteCharacters) {
  ASSERT_EQ(936u, GetACP());
  const std::string text = "a\x95\x5C\x95";  // a, one character whose trail byte is "\", a lone lead byte
  EXPECT_EQ(cl::CharBytes(text, 0), 1u);
  EXPECT_EQ(cl::CharBytes(text, 1), 2u);
  EXPECT_EQ(cl::CharBytes(text, 3), 1u);  // nothing after it: no character
}

TEST(Paths, DeviceNamesWhateverTheirExtension) {
  struct Case {
    const char* name;
    bool device;
  } cases[] = {
      {"CON", true},      {"con.txt", true},   {"Con .log", true},  {"CONSOLE", false}, {"CO", false},
      {"prn", true},      {"AUX.a.b", true},   {"nul", true},       {"NULL", false},    {"", false},
      {"CONIN$", true},   {"conout$.txt", true}, {"CONIN", false},  {"CONIN$$", false},
      {"COM1", true},     {"com9.x", true},    {"COM0", false},     {"COM10", false},
      {"LPT1", true},     {"lpt9", true},      {"LPT0", false},     {"LPT", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.device, cl::IsDeviceName(c.name));
  }
}

TEST(Paths, FileFolderAndPathTests) {
  testsupport::ScratchFolder folder;
  ASSERT_TRUE(CreateDirectoryA(folder.File("sub").c_str(), nullptr));
  HANDLE h = CreateFileA(folder.File("file.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  struct Case {
    std::string path;
    bool file, directory, exists;
  } cases[] = {
      {folder.File("file.txt"), true, false, true},
      {folder.File("sub"), false, true, true},
      {folder.File("sub\\"), false, true, true},
      {folder.File("missing"), false, false, false},
      {"", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.file, cl::FileExists(c.path));
    EXPECT_EQ(c.directory, cl::DirectoryExists(c.path));
    EXPECT_EQ(c.exists, cl::PathExists(c.path));
  }
}

TEST(Paths, ForceDirectoriesMakesEveryMissingLevelAndNothingElse) {
  testsupport::ScratchFolder folder;
  const std::string tricky = "\x95\x5C";  // one GBK character whose trail byte is "\"
  HANDLE h = CreateFileA(folder.File("file.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  struct Case {
    std::string name, path;
    bool made;
    std::string folder;  // a folder that stands afterwards; empty: none to look at
  } cases[] = {
      {"three new levels", folder.File("a\\b\\c"), true, folder.File("a\\b\\c")},
      {"a trailing backslash", folder.File("t\\u\\"), true, folder.File("t\\u")},
      {"forward slashes", folder.File("f/g"), true, folder.File("f\\g")},
      {"a name ending in a trail byte", folder.File("dir" + tricky + "\\x" + tricky), true,
       folder.File("dir" + tricky + "\\x" + tricky)},
      {"an existing folder", folder.File("a\\b"), true, folder.File("a\\b")},
      {"a drive root", "C:\\", true, "C:\\"},
      {"a file in the way", folder.File("file.txt"), false, ""},
      {"below a file", folder.File("file.txt\\below\\x"), false, ""},
      {"nothing", "", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cl::ForceDirectories(c.path), c.made);
    if (!c.folder.empty()) EXPECT_TRUE(cl::DirectoryExists(c.folder));
  }
  EXPECT_TRUE(cl::FileExists(folder.File("file.txt")));
  EXPECT_FALSE(cl::DirectoryExists(folder.File("dir")));  // the trail byte was no separator
}

TEST(SysUtil, ProgramDirAndItsOverride) {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  EXPECT_EQ(cl::ProgramDir() + cl::ExtractFileName(module), module);
  cl::OverrideProgramDir("C:\\elsewhere\\");
  EXPECT_EQ(cl::ProgramDir(), "C:\\elsewhere\\");
  cl::OverrideProgramDir("");
  EXPECT_EQ(cl::ProgramDir(), cl::ExtractFilePath(module));
  std::string temp = cl::TempDir();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_TRUE(cl::DirectoryExists(temp));
}

TEST(SysUtil, TextConversionsThroughWide) {
  ASSERT_EQ(936u, GetACP());
  EXPECT_EQ(std::wstring(L"中文名 1.txt"), cl::WideFromUtf8(u8"中文名 1.txt"));
  EXPECT_EQ(std::string(u8"中文名 1.txt"), cl::Utf8FromWide(L"中文名 1.txt"));
  EXPECT_EQ(std::string("提示"), cl::AnsiFromWide(L"提示"));  // the literal is stored as GBK
  EXPECT_EQ(std::wstring(L"提示"), cl::WideFromAnsi("提示"));
  EXPECT_EQ(std::string("提示"), cl::AnsiFromUtf8(u8"提示"));
  EXPECT_EQ(std::string(u8"提示"), cl::Utf8FromAnsi("提示"));
  EXPECT_EQ("", cl::AnsiFromUtf8(""));
  EXPECT_EQ(std::wstring(), cl::WideFromAnsi(""));
  EXPECT_EQ("a?b", cl::AnsiFromUtf8(u8"a\u0E01b"));  // no GBK form: substitution character
}

}  // namespace
