#include <gtest/gtest.h>

#include "cl_strings.h"
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

}  // namespace
