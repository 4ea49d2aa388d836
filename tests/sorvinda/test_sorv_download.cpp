// The download script line by line, the manifest as MSXML reads it, the
// checks of projects and branches, and the kernel branch in the kernel
// repository's description.
#include <objbase.h>

#include "Unit1.h"
#include "sorv_test.h"

namespace {

const std::string S = "D:\\src\\", T = "2026/12/9 14:00:01", G = "C:\\Git\\bin", H = "127.0.0.1:9418",
                  B = "android-4.4", K = "android-3.10";

// A nested path ending in a digit and a project without path among them.
const std::vector<ManifestProject> kProjects = {
    {"build", "platform/build"},
    {"prebuilts/gcc/arm-eabi-4.8", "platform/prebuilts/gcc/arm-eabi-4.8"},
    {"platform/docs", "platform/docs"},
};

// Every line with no step done; the fetch blocks are the ranges below.
const std::vector<std::string> kAllFetched = {
    "@echo off",
    "title 正在下载到D:\\src\\(下载开始时间：2026/12/9 14:00:01)",
    "set path=C:\\Git\\bin;%path% ",
    "set android_source_code_path=D:\\src\\",
    "if not exist %android_source_code_path% md %android_source_code_path%  ",
    "cd /d %android_source_code_path%",
    " ",
    "echo 01---::kernel---read beginning",
    "echo 01---::kernel---read beginning>clone_result.log",
    "if not exist kernel md kernel ",  // 9: kernel fetch
    "if exist D:\\src\\kernel\\.git\\objects\\pack (",
    "del /f /a D:\\src\\kernel\\.git\\objects\\pack\\tmp*.* > nul 2>&1 )",
    "cd /d D:\\src\\kernel",
    "if /i not \"%cd%\"==\"D:\\src\\kernel\" exit",
    "if not exist D:\\src\\kernel\\.git git init",
    "git remote rm origin >nul 2>&1",
    "git remote add origin git://127.0.0.1:9418/kernel/common.git",
    ":re1",
    "if exist D:\\src\\kernel\\.git\\FETCH_HEAD del /f /a D:\\src\\kernel\\.git\\FETCH_HEAD",
    "git pull",
    "if not exist \"D:\\src\\kernel\\.git\\FETCH_HEAD\" (",
    "ping -n 4 127.0.0.1 >nul",
    "goto re1)",
    "for /f %%i in (\"D:\\src\\kernel\\.git\\FETCH_HEAD\") do (",
    "if %%~zi LSS 1 (",
    "echo   出错了！正在重新下载",
    "ping -n 4 127.0.0.1 >nul",
    "goto re1",
    "))",
    "git checkout \"origin/android-3.10\" -b \"android-3.10\"",
    "cd /d %android_source_code_path%",  // 30
    "echo ok---::kernel >>clone_result.log",
    "echo ok---::kernel ",
    "echo kernel>D:\\src\\initdir\\jd.dat",
    "copy D:\\src\\initdir\\jd.dat D:\\src\\initdir\\jd1.dat >nul 2>&1",
    "copy D:\\src\\clone_result.log D:\\src\\clone_result1.log >nul 2>&1",
    " ",
    "echo 02---::build---read beginning",  // 37
    "echo 02---::build---read beginning >>clone_result.log ",
    "if not exist D:\\src\\build md D:\\src\\build",  // 39: fetch of build
    "if exist D:\\src\\build\\.git\\objects\\pack (",
    "del /f /a D:\\src\\build\\.git\\objects\\pack\\tmp*.*  > nul 2>&1)",
    "cd /d D:\\src\\build",
    "if /i not \"%cd%\"==\"D:\\src\\build\" exit",
    "if not exist D:\\src\\build\\.git git init",
    "git remote rm origin 2>nul",
    "git remote add origin git://127.0.0.1:9418/platform/build.git",
    ":re2",
    "if exist D:\\src\\build\\.git\\FETCH_HEAD del /f /a D:\\src\\build\\.git\\FETCH_HEAD",
    "git pull origin \"android-4.4\":\"android-4.4\"",
    "if not exist \"D:\\src\\build\\.git\\FETCH_HEAD\" (",
    "ping -n 4 127.0.0.1 >nul",
    "goto re2)",
    "for /f %%i in (\"D:\\src\\build\\.git\\FETCH_HEAD\") do (",
    "if %%~zi LSS 1 (echo   出错了！正在重新下载",
    "ping -n 4 127.0.0.1 >nul",
    "goto re2",
    "))",
    "cd /d D:\\src\\build",
    "if /i not \"%cd%\"==\"D:\\src\\build\" exit",
    "git checkout \"android-4.4\"",
    "git branch -D master",
    "cd /d %android_source_code_path%",  // 62
    "echo ok---::build >>clone_result.log",
    "echo ok---::build",
    "echo build>>D:\\src\\initdir\\jd.dat",
    "copy D:\\src\\initdir\\jd.dat D:\\src\\initdir\\jd1.dat >nul 2>&1",
    "copy D:\\src\\clone_result.log D:\\src\\clone_result1.log >nul 2>&1",
    " ",
    "echo 03---::prebuilts/gcc/arm-eabi-4.8---read beginning",  // 69
    "echo 03---::prebuilts/gcc/arm-eabi-4.8---read beginning >>clone_result.log ",
    "if not exist D:\\src\\prebuilts\\gcc\\arm-eabi-4.8 md D:\\src\\prebuilts\\gcc\\arm-eabi-4.8",  // 71
    "if exist D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\\.git\\objects\\pack (",
    "del /f /a D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\\.git\\objects\\pack\\tmp*.*  > nul 2>&1)",
    "cd /d D:\\src\\prebuilts\\gcc\\arm-eabi-4.8",
    "if /i not \"%cd%\"==\"D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\" exit",
    "if not exist D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\\.git git init",
    "git remote rm origin 2>nul",
    "git remote add origin git://127.0.0.1:9418/platform/prebuilts/gcc/arm-eabi-4.8.git",
    ":re3",
    "if exist D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\\.git\\FETCH_HEAD del /f /a "
    "D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\\.git\\FETCH_HEAD",
    "git pull origin \"android-4.4\":\"android-4.4\"",
    "if not exist \"D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\\.git\\FETCH_HEAD\" (",
    "ping -n 4 127.0.0.1 >nul",
    "goto re3)",
    "for /f %%i in (\"D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\\.git\\FETCH_HEAD\") do (",
    "if %%~zi LSS 1 (echo   出错了！正在重新下载",
    "ping -n 4 127.0.0.1 >nul",
    "goto re3",
    "))",
    "cd /d D:\\src\\prebuilts\\gcc\\arm-eabi-4.8",
    "if /i not \"%cd%\"==\"D:\\src\\prebuilts\\gcc\\arm-eabi-4.8\" exit",
    "git checkout \"android-4.4\"",
    "git branch -D master",
    "cd /d %android_source_code_path%",  // 94
    "echo ok---::prebuilts/gcc/arm-eabi-4.8 >>clone_result.log",
    "echo ok---::prebuilts/gcc/arm-eabi-4.8",
    "echo prebuilts/gcc/arm-eabi-4.8>>D:\\src\\initdir\\jd.dat",
    "copy D:\\src\\initdir\\jd.dat D:\\src\\initdir\\jd1.dat >nul 2>&1",
    "copy D:\\src\\clone_result.log D:\\src\\clone_result1.log >nul 2>&1",
    " ",
    "echo 04---::platform/docs---read beginning",  // 101
    "echo 04---::platform/docs---read beginning >>clone_result.log ",
    "if not exist D:\\src\\platform\\docs md D:\\src\\platform\\docs",  // 103
    "if exist D:\\src\\platform\\docs\\.git\\objects\\pack (",
    "del /f /a D:\\src\\platform\\docs\\.git\\objects\\pack\\tmp*.*  > nul 2>&1)",
    "cd /d D:\\src\\platform\\docs",
    "if /i not \"%cd%\"==\"D:\\src\\platform\\docs\" exit",
    "if not exist D:\\src\\platform\\docs\\.git git init",
    "git remote rm origin 2>nul",
    "git remote add origin git://127.0.0.1:9418/platform/docs.git",
    ":re4",
    "if exist D:\\src\\platform\\docs\\.git\\FETCH_HEAD del /f /a D:\\src\\platform\\docs\\.git\\FETCH_HEAD",
    "git pull origin \"android-4.4\":\"android-4.4\"",
    "if not exist \"D:\\src\\platform\\docs\\.git\\FETCH_HEAD\" (",
    "ping -n 4 127.0.0.1 >nul",
    "goto re4)",
    "for /f %%i in (\"D:\\src\\platform\\docs\\.git\\FETCH_HEAD\") do (",
    "if %%~zi LSS 1 (echo   出错了！正在重新下载",
    "ping -n 4 127.0.0.1 >nul",
    "goto re4",
    "))",
    "cd /d D:\\src\\platform\\docs",
    "if /i not \"%cd%\"==\"D:\\src\\platform\\docs\" exit",
    "git checkout \"android-4.4\"",
    "git branch -D master",
    "cd /d %android_source_code_path%",  // 126
    "echo ok---::platform/docs >>clone_result.log",
    "echo ok---::platform/docs",
    "echo platform/docs>>D:\\src\\initdir\\jd.dat",
    "copy D:\\src\\initdir\\jd.dat D:\\src\\initdir\\jd1.dat >nul 2>&1",
    "copy D:\\src\\clone_result.log D:\\src\\clone_result1.log >nul 2>&1",
    " ",
    "copy D:\\src\\build\\core\\root.mk D:\\src\\Makefile",
    "echo 下完成！",
    "echo 下完成！ >>clone_result.log",
    "exit",
};
struct Range {
  size_t from, to;
};
const Range kKernelFetch{9, 30}, kBuildFetch{39, 62}, kPrebuiltsFetch{71, 94}, kDocsFetch{103, 126};

// The full script without the given fetch blocks.
std::vector<std::string> Without(std::vector<Range> ranges) {
  std::vector<std::string> out;
  for (size_t i = 0; i < kAllFetched.size(); ++i) {
    bool skipped = false;
    for (const Range& r : ranges) skipped = skipped || (i >= r.from && i < r.to);
    if (!skipped) out.push_back(kAllFetched[i]);
  }
  return out;
}

void ExpectLines(const std::vector<std::string>& got, const std::vector<std::string>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    EXPECT_EQ(got[i], expected[i]);
  }
}

TEST(SorvDownload, ScriptEveryLineForEachDoneList) {
  struct Case {
    const char* name;
    std::vector<std::string> done;
    std::vector<Range> skipped;
  } cases[] = {
      {"nothing done", {}, {}},
      {"kernel in capitals and build done", {"KERNEL", "build"}, {kKernelFetch, kBuildFetch}},
      {"a nested path and the project without path", {"prebuilts/gcc/arm-eabi-4.8", "platform/docs"},
       {kPrebuiltsFetch, kDocsFetch}},
      {"everything done", {"kernel", "build", "prebuilts/gcc/arm-eabi-4.8", "platform/docs"},
       {kKernelFetch, kBuildFetch, kPrebuiltsFetch, kDocsFetch}},
      {"whole lines only", {"kernel ", "buil", "build/", "platform"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadScript s = BuildDownloadScript(kProjects, c.done, S, G, B, K, H, T);
    EXPECT_EQ(s.totalSteps, 4);
    ExpectLines(s.lines, Without(c.skipped));
  }
}

TEST(SorvDownload, MasterChecksOutOnlyMasterAndOtherCasesDeleteIt) {
  const std::vector<ManifestProject> one = {{"build", "platform/build"}};
  std::vector<std::string> master = BuildDownloadScript(one, {"kernel"}, S, G, "master", K, H, T).lines;
  std::vector<std::string> capital = BuildDownloadScript(one, {"kernel"}, S, G, "Master", K, H, T).lines;
  // Header 9, kernel closing 7, then the project: 2 + 21 lines to the checkout.
  ASSERT_GT(master.size(), 41u);
  EXPECT_EQ(master[39], "git checkout master");
  EXPECT_EQ(master[40], "cd /d %android_source_code_path%");
  EXPECT_EQ(capital[39], "git checkout \"Master\"");
  EXPECT_EQ(capital[40], "git branch -D master");
  EXPECT_EQ(capital.size(), master.size() + 1);
}

TEST(SorvDownload, StepNumbersPastNinetyNine) {
  struct Case {
    size_t projects;
    int totalSteps;
    std::string lastTag, lastLabel;
  } cases[] = {
      {0, 1, "", ""},
      {8, 9, "echo 09---::p8---read beginning", ":re9"},
      {9, 10, "echo 10---::p9---read beginning", ":re10"},
      {99, 100, "echo 00---::p99---read beginning", ":re100"},
      {120, 121, "echo 21---::p120---read beginning", ":re121"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.projects);
    std::vector<ManifestProject> ps;
    for (size_t i = 1; i <= c.projects; ++i) ps.push_back({"p" + std::to_string(i), "n"});
    DownloadScript s = BuildDownloadScript(ps, {}, S, G, B, K, H, T);
    EXPECT_EQ(s.totalSteps, c.totalSteps);
    if (c.projects == 0) {
      EXPECT_EQ(s.lines.size(), 9u + 21u + 7u + 4u);
      continue;
    }
    const size_t step = s.lines.size() - 4 - 32;
    EXPECT_EQ(s.lines[step], c.lastTag);
    EXPECT_EQ(s.lines[step + 10], c.lastLabel);
    EXPECT_EQ(s.lines[step + 15], "goto re" + std::to_string(c.totalSteps) + ")");
    EXPECT_EQ(s.lines[step + 19], "goto re" + std::to_string(c.totalSteps));
  }
}

TEST(SorvDownload, ProjectPathsAndNames) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {
      {"build", true},
      {"prebuilts/gcc/arm-eabi-4.8", true},
      {"a_b+c-d.e/F9", true},
      {".repo/x", true},
      {"", false},
      {"/build", false},
      {"..", false},
      {"a/../b", false},
      {"a..b", false},
      {"a.b", true},
      {"C:/x", false},
      {"a\\b", false},
      {" build", false},
      {"build ", false},
      {"a b", false},
      {"a&b", false},
      {"a%b", false},
      {"中文", false},
      {".", false},
      {"./build", false},
      {"a/./b", false},
      {"a//b", false},
      {"build/", false},
      {"build.", false},  // the folder "build" on Windows
      {"a./b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ProjectPathValid(c.text), c.valid);
  }
}

TEST(SorvDownload, RefusedManifestEntries) {
  // S is 7 characters: a path of 227 gives a folder of 234, the longest.
  const std::string longest = "p/" + std::string(225, 'x');
  struct Case {
    const char* name;
    std::vector<ManifestProject> projects;
    std::string message;
  } cases[] = {
      {"all pass", kProjects, ""},
      {"a folder beside another of a longer name", {{"a", "a"}, {"ab", "ab"}, {"a-b/c", "c"}}, ""},
      {"the first refused entry", {{"build", "platform/build"}, {"../x", "platform/x"}, {"..", "y"}},
       "清单中的项目路径无效：../x"},
      {"a refused name", {{"x", "a&b"}}, "清单中的项目路径无效：a&b"},
      {"no name: the entry's path", {{"build", "b"}, {"frameworks/base", ""}}, "清单中的项目路径无效：frameworks/base"},
      {"the same path twice", {{"build", "b1"}, {"build", "b2"}}, "清单中的项目路径无效：build"},
      {"the same path in other case", {{"build", "b1"}, {"Build", "b2"}}, "清单中的项目路径无效：Build"},
      {"a path inside an earlier one", {{"a", "a"}, {"a/b", "b"}}, "清单中的项目路径无效：a/b"},
      {"a path holding an earlier one", {{"a/b/c", "c"}, {"A/b", "b"}}, "清单中的项目路径无效：A/b"},
      {"the kernel's folder", {{"kernel", "k"}}, "清单中的项目路径无效：kernel"},
      {"inside the kernel's folder", {{"Kernel/x", "k"}}, "清单中的项目路径无效：Kernel/x"},
      {"the working folder", {{"initdir", "i"}}, "清单中的项目路径无效：initdir"},
      {"the manifest repository", {{"initdir/manifest", "i"}}, "清单中的项目路径无效：initdir/manifest"},
      {"the source folder itself", {{".", "s"}}, "清单中的项目路径无效：."},
      {"names like the own folders", {{"kernels", "k"}, {"x/kernel", "x"}, {"initdir2", "i"}}, ""},
      {"a device name", {{"nul", "n"}}, "清单中的项目路径无效：nul"},
      {"a device name in capitals, deeper", {{"device/CON", "c"}}, "清单中的项目路径无效：device/CON"},
      {"a device name with an extension", {{"prn.txt/x", "p"}}, "清单中的项目路径无效：prn.txt/x"},
      {"a device name with two", {{"a/aux.tar.gz", "a"}}, "清单中的项目路径无效：a/aux.tar.gz"},
      {"the first serial port", {{"com1", "c"}}, "清单中的项目路径无效：com1"},
      {"the last printer port", {{"x/Lpt9.c", "l"}}, "清单中的项目路径无效：x/Lpt9.c"},
      {"names like devices", {{"nul2", "a"}, {"com0", "b"}, {"lpt10", "c"}, {"console", "d"}, {"xaux", "e"}, {"com", "f"}},
       ""},
      {"the download's log", {{"clone_result.log", "l"}}, "清单中的项目路径无效：clone_result.log"},
      {"the log's copy, in other case", {{"Clone_Result1.LOG", "l"}}, "清单中的项目路径无效：Clone_Result1.LOG"},
      {"the copied makefile", {{"Makefile", "m"}}, "清单中的项目路径无效：Makefile"},
      {"the script's file names deeper down", {{"x/clone_result.log", "l"}, {"build/Makefile", "m"}}, ""},
      {"the longest folder", {{longest, "n"}}, ""},
      {"one past the longest", {{longest + "x", "n"}}, "清单中的项目路径无效：" + longest + "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(InvalidProjectMessage(c.projects, S), c.message);
  }
  // The limit is the whole folder: a longer source folder leaves less.
  EXPECT_EQ(InvalidProjectMessage({{longest, "n"}}, S + "a\\"), "清单中的项目路径无效：" + longest);
}

TEST(SorvDownload, BranchTest) {
  struct Case {
    const char* revision;
    const char* branch;
    bool on;
  } cases[] = {
      {"android-4.4", "android-4.4", true},
      {"ANDROID-4.4", "android-4.4", true},
      {"refs/heads/cupcake", "cupcake", true},
      {"refs/heads/cupcake", "CUPCAKE", true},
      {"refs/heads/cupcake", "cake", false},
      {"android-4.4.2", "android-4.4", false},
      {"xandroid-4.4", "android-4.4", false},
      {"refs/heads/", "", false},
      {"", "", false},
      {"/b", "b", true},
      {"b", "/b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.revision) + " | " + c.branch);
    EXPECT_EQ(ManifestOnBranch(c.revision, c.branch), c.on);
  }
}

TEST(SorvDownload, HiddenCheckoutCommand) {
  EXPECT_EQ(ManifestCheckoutCommand("C:\\Program Files (x86)\\Git\\bin", S, "android-5.0"),
            "cmd.exe /c cd /d D:\\src\\initdir\\manifest && set \"PATH=C:\\Program Files (x86)\\Git\\bin;%PATH%\" && "
            "(git rev-parse --verify --quiet \"refs/heads/android-5.0\" >nul && git checkout \"android-5.0\" || "
            "git checkout \"origin/android-5.0\" -b \"android-5.0\")");
}

TEST(SorvDownload, KernelBranchReplacesTheFirstHeadLine) {
  std::vector<std::string> lines = {"* remote origin", "  Fetch URL: x", "  xx head BRANCH: android-3.4",
                                    "  HEAD branch: android-3.10"};
  ASSERT_TRUE(SetOriginHeadBranch(lines, "android-3.18"));
  EXPECT_EQ(lines, (std::vector<std::string>{"* remote origin", "  Fetch URL: x", "HEAD branch: android-3.18",
                                             "  HEAD branch: android-3.10"}));
  std::vector<std::string> none = {"* remote origin", "  Remote branches:"};
  EXPECT_FALSE(SetOriginHeadBranch(none, "k"));
  EXPECT_EQ(none.size(), 2u);
}

class SorvManifest : public ::testing::Test {
protected:
  void SetUp() override { CoInitialize(nullptr); }
};

TEST_F(SorvManifest, DirectProjectChildrenInOrder) {
  Manifest m = ParseManifest(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<manifest>\n"
      "  <remote name=\"origin\" fetch=\"..\" />\n"
      "  <default revision=\"refs/heads/android-4.4\" remote=\"origin\" />\n"
      "  <default revision=\"second\" />\n"
      "  <!-- <project path=\"commented\" name=\"c\" /> -->\n"
      "  <project path=\"build\" name=\"platform/build\" />\n"
      "  <Project path=\"case\" name=\"c\" />\n"
      "  <group><project path=\"nested\" name=\"n\" /></group>\n"
      "  <project name=\"platform/docs\" />\n"
      "  <project path=\"\" name=\"empty/path\" />\n"
      "  <project path=\"frameworks/base\" />\n"
      "</manifest>\n");
  ASSERT_TRUE(m.parsed);
  EXPECT_TRUE(m.hasDefault);
  EXPECT_EQ(m.revision, "refs/heads/android-4.4");
  ASSERT_EQ(m.projects.size(), 4u);
  EXPECT_EQ(m.projects[0].path, "build");
  EXPECT_EQ(m.projects[0].name, "platform/build");
  EXPECT_EQ(m.projects[1].path, "platform/docs");  // no path: the name
  EXPECT_EQ(m.projects[2].path, "");               // an empty path stays empty, and is refused
  EXPECT_EQ(m.projects[3].name, "");
  EXPECT_NE(InvalidProjectMessage(m.projects, S), "");
}

TEST_F(SorvManifest, BrokenOrBareManifests) {
  struct Case {
    const char* name;
    std::string text;
    bool parsed, hasDefault;
  } cases[] = {
      {"not XML", "not xml at all", false, false},
      {"cut short", "<manifest><default revision=\"a\" />", false, false},
      {"empty", "", false, false},
      {"no default", "<m><project path=\"a\" name=\"a\"/></m>", true, false},
      {"any root name", "<x><default revision=\"r\"/></x>", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Manifest m = ParseManifest(c.text);
    EXPECT_EQ(m.parsed, c.parsed);
    EXPECT_EQ(m.hasDefault, c.hasDefault);
    EXPECT_FALSE(ManifestOnBranch(m.revision, "android-4.4"));
  }
}

}  // namespace
