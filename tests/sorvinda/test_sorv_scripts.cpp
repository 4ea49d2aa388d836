// The generated scripts line by line, the script file's bytes, the command
// lines, the git server setting, the HEAD test and the deletion of the
// working folders.
#include "cl_strings.h"
#include "scripts.h"
#include "sorv_test.h"

namespace {

using sorvtest::ReadFile;
using sorvtest::ScratchDir;
using sorvtest::WriteFile;

const std::string S = "D:\\src\\", T = "2026/12/9 14:00:01", G = "C:\\Git\\bin";

TEST(SorvScripts, InitialisationScriptEveryLine) {
  const std::vector<std::string> expected = {
      "@echo off",
      "Setlocal ENABLEDELAYEDEXPANSION",
      "title 正在初始化D:\\src\\(下载开始时间：2026/12/9 14:00:01)",
      "set path=C:\\Git\\bin;%path% ",
      "cd /d D:\\src\\initdir\\manifest",
      "if /i not \"%cd%\"==\"D:\\src\\initdir\\manifest\" exit",
      "git init",
      "git remote add origin git://127.0.0.1:9418/platform/manifest.git",
      ":reinit",
      "git pull ",
      "for /f %%i in (\"D:\\src\\initdir\\manifest\\.git\\FETCH_HEAD\") do (",
      "if %%~zi LSS 1 (goto reinit))",
      "git checkout \"origin/android-4.4\" -b \"android-4.4\"",
      "cd /d D:\\src\\initdir\\nh",
      "if /i not \"%cd%\"==\"D:\\src\\initdir\\nh\" exit",
      "git init",
      "git remote add origin git://127.0.0.1:9418/kernel/common.git",
      ":rekernel",
      "if /i not \"%cd%\"==\"D:\\src\\initdir\\nh\" exit",
      "git remote show origin >D:\\src\\initdir\\origin",
      "cd /d D:\\src\\initdir",
      "if /i not \"%cd%\"==\"D:\\src\\initdir\" exit",
      "set initok=",
      "if exist origin (",
      "for /f \"tokens=*\" %%a in (origin) do (",
      "if /i \"%%a\" EQU \"* remote origin\" (",
      "set initok=1))",
      "if defined initok goto initok",
      "cd /d D:\\src\\initdir\\nh",
      "goto rekernel) else (",
      "cd /d D:\\src\\initdir\\nh",
      "goto rekernel)",
      ":initok",
      "exit",
  };
  std::vector<std::string> got = InitScriptLines(S, "android-4.4", G, "127.0.0.1:9418", T);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    EXPECT_EQ(got[i], expected[i]);
  }
}

TEST(SorvScripts, InitialisationLabelsAreDistinctAndEveryJumpHasOne) {
  std::vector<std::string> lines = InitScriptLines(S, "b", G, "h", T);
  std::vector<std::string> labels;
  for (const std::string& l : lines)
    if (!l.empty() && l[0] == ':') labels.push_back(l.substr(1));
  EXPECT_EQ(labels, (std::vector<std::string>{"reinit", "rekernel", "initok"}));
  // No label is the start of another (cmd.exe compares whole words, but a
  // prefix would still mislead a reader).
  for (const std::string& a : labels)
    for (const std::string& b : labels) {
      if (a == b) continue;
      EXPECT_NE(b.find(a), 0u) << a << " / " << b;
    }
  for (const std::string& l : lines) {
    size_t at = l.find("goto ");
    if (at == std::string::npos) continue;
    std::string target = l.substr(at + 5);
    target = target.substr(0, target.find_first_of(") "));
    SCOPED_TRACE(l);
    EXPECT_NE(std::find(labels.begin(), labels.end(), target), labels.end());
  }
}

TEST(SorvScripts, SwitchScriptEveryLine) {
  const std::vector<std::string> expected = {
      "@echo off",
      "title 正在切换LINUX内核D:\\src\\(开始时间：2026/12/9 14:00:01)",
      "echo 正在切换LINUX内核，请千万不要关闭此窗口!!!!!!!",
      "echo 正在切换LINUX内核，请千万不要关闭此窗口!!!!!!!",
      "set path=C:\\Git\\bin;%path% ",
      "cd /d D:\\src\\kernel",
      "if /i not \"%cd%\"==\"D:\\src\\kernel\" exit",
      "git rev-parse --verify --quiet \"refs/heads/android-3.18\" >nul",
      "if errorlevel 1 (git checkout \"origin/android-3.18\" -b \"android-3.18\") else (git checkout \"android-3.18\")",
      "exit",
  };
  std::vector<std::string> got = SwitchScriptLines(S, "android-3.18", G, T);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    EXPECT_EQ(got[i], expected[i]);
  }
}

// Runs a script with cmd.exe, as the workers do, and waits for its end.
DWORD RunScript(const std::string& path, const std::vector<std::string>& lines) {
  if (!WriteScriptFile(path, lines)) return 0;
  std::string command = ScriptCommand(path);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return 0;
  const DWORD start = GetTickCount();
  const bool ended = WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ended ? GetTickCount() - start + 1 : 0;
}

TEST(SorvScripts, AFolderThatCannotBeEnteredEndsTheScriptUnderCmd) {
  ScratchDir dir;
  const std::string folder = dir.Make("project"), file = dir.Path() + "clone_result.log", log = dir.Path() + "log";
  ASSERT_TRUE(WriteFile(file, "x"));
  struct Case {
    const char* name;
    std::string target;
    const char* log;
  } cases[] = {
      {"a folder", folder, "entered\r\n"},
      {"the same folder in other case", dir.Path() + "PROJECT", "entered\r\n"},
      {"a file", file, ""},
      {"a missing folder", dir.Path() + "missing", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileA(log.c_str());
    ASSERT_NE(RunScript(dir.Path() + "s.bat", {"@echo off", "cd /d " + dir.Path(), "cd /d " + c.target,
                                              InFolderOrExitLine(c.target), "echo entered>>" + log}),
              0u);
    EXPECT_EQ(cl::FileExists(log) ? ReadFile(log) : "", c.log);
  }
}

TEST(SorvScripts, TheRetryPauseReallyPausesUnderCmd) {
  ScratchDir dir;
  const std::string log = dir.Path() + "log";
  const DWORD ms = RunScript(dir.Path() + "s.bat", {"@echo off", kRetryPauseLine, "echo after>" + log});
  EXPECT_GE(ms, 2500u);
  EXPECT_EQ(cl::FileExists(log) ? ReadFile(log) : "", "after\r\n");
}

TEST(SorvScripts, PathLineTrimsTheGitFolderAndKeepsItsBlanks) {
  EXPECT_EQ(PathLine(" C:\\Program Files (x86)\\Git\\bin "), "set path=C:\\Program Files (x86)\\Git\\bin;%path% ");
  EXPECT_EQ(PathLine(""), "set path=;%path% ");
}

TEST(SorvScripts, ScriptFileIsEveryLineWithCrLfReplacingTheOldFile) {
  ScratchDir dir;
  const std::string path = dir.Path() + "s.bat";
  ASSERT_TRUE(WriteFile(path, std::string(200, 'x')));
  ASSERT_TRUE(WriteScriptFile(path, {"@echo off", "echo 正在切换", "", "exit"}));
  EXPECT_EQ(ReadFile(path), "@echo off\r\necho 正在切换\r\n\r\nexit\r\n");
  // GBK bytes as the program holds them, not UTF-8.
  EXPECT_EQ(ReadFile(path).substr(16, 4), "\xD5\xFD\xD4\xDA");
  EXPECT_FALSE(WriteScriptFile(dir.Path() + "missing\\s.bat", {"x"}));
}

TEST(SorvScripts, CommandLines) {
  EXPECT_EQ(ScriptCommand("D:\\src\\initdir\\initbat.bat"), "cmd.exe /c D:\\src\\initdir\\initbat.bat");
  EXPECT_EQ(ScriptCommand("D:\\src\\initdir\\getsrc.bat", true), "cmd.exe /k D:\\src\\initdir\\getsrc.bat");
  EXPECT_EQ(DeleteScriptCommand("D:\\src\\initdir\\nhqh.bat"), "cmd.exe /c del /f /a D:\\src\\initdir\\nhqh.bat");
}

TEST(SorvScripts, GitServerFromTheEnvironmentValue) {
  struct Case {
    const char* value;
    const char* server;
  } cases[] = {
      {"", kGitServerHost},
      {"127.0.0.1:9418", "127.0.0.1:9418"},
      {" git.example.org ", "git.example.org"},
      {"git-1.example.org:1", "git-1.example.org:1"},
      {"host:65535", "host:65535"},
      {"host:123456", kGitServerHost},  // six digits: no port
      {"host:", kGitServerHost},
      {":9418", kGitServerHost},
      {"a b", kGitServerHost},
      {"host&calc", kGitServerHost},
      {"host/evil", kGitServerHost},
      {"host:94a", kGitServerHost},
      {"host:1:2", kGitServerHost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(GitServerFrom(c.value), c.server);
  }
}

TEST(SorvScripts, GitServerReadsTheVariable) {
  SetEnvironmentVariableA("SORVINDA_GIT_SERVER", "127.0.0.1:4242");
  EXPECT_EQ(GitServer(), "127.0.0.1:4242");
  SetEnvironmentVariableA("SORVINDA_GIT_SERVER", nullptr);
  EXPECT_EQ(GitServer(), kGitServerHost);
}

TEST(SorvScripts, HeadNamesOnlyTheWholeBranch) {
  struct Case {
    const char* head;
    const char* branch;
    bool names;
  } cases[] = {
      {"ref: refs/heads/android-3.18\n", "android-3.18", true},
      {"ref: refs/heads/android-3.18\r\n", "android-3.18", true},
      {"ref: refs/heads/android-3.18", "android-3.1", false},
      {"ref: refs/heads/android-3.1", "android-3.18", false},
      {"ref: refs/heads/topic/x\n", "topic/x", true},
      {"ref: refs/heads/topic/x\n", "x", false},
      {"0123456789abcdef0123456789abcdef01234567\n", "android-3.18", false},
      {"ref: refs/remotes/origin/android-3.18\n", "android-3.18", false},
      {"", "", false},
      {"ref: refs/heads/\n", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.head) + " / " + c.branch);
    EXPECT_EQ(HeadNamesBranch(c.head, c.branch), c.names);
  }
}

TEST(SorvScripts, DeleteTreeTakesReadOnlyHiddenAndNestedEntries) {
  ScratchDir dir;
  const std::string root = dir.Path() + "initdir\\manifest";
  ASSERT_TRUE(WriteFile(root + "\\.git\\objects\\pack\\pack-1.pack", "p"));
  ASSERT_TRUE(WriteFile(root + "\\default.xml", "<manifest/>"));
  ASSERT_TRUE(WriteFile(root + "\\a\\b\\c\\deep.txt", "d"));
  SetFileAttributesA((root + "\\.git\\objects\\pack\\pack-1.pack").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((root + "\\default.xml").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesA((root + "\\a\\b").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_TRUE(WriteFile(dir.Path() + "initdir\\jd.dat", "kernel\r\n"));
  EXPECT_TRUE(DeleteTree(root));
  EXPECT_FALSE(cl::DirectoryExists(root));
  EXPECT_EQ(ReadFile(dir.Path() + "initdir\\jd.dat"), "kernel\r\n");
  // With or without the trailing backslash.
  ASSERT_TRUE(WriteFile(root + "\\x.txt", "x"));
  EXPECT_TRUE(DeleteTree(root + "\\"));
  EXPECT_FALSE(cl::DirectoryExists(root));
}

TEST(SorvScripts, DeleteTreeLeavesAFileItCannotDelete) {
  ScratchDir dir;
  const std::string root = dir.Path() + "nh";
  ASSERT_TRUE(WriteFile(root + "\\held.txt", "h"));
  ASSERT_TRUE(WriteFile(root + "\\free.txt", "f"));
  HANDLE held = CreateFileA((root + "\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(DeleteTree(root));  // always true: the caller looks at the folder
  EXPECT_TRUE(cl::FileExists(root + "\\held.txt"));
  EXPECT_FALSE(cl::FileExists(root + "\\free.txt"));
  CloseHandle(held);
  DeleteTree(root);
  EXPECT_FALSE(cl::DirectoryExists(root));
}

}  // namespace

namespace {

// A folder outside the one being deleted, with a read-only file: neither the
// file nor its attributes may change, whatever link leads there.
TEST(SorvScripts, DeleteTreeNeverListsThroughALink) {
  struct Case {
    const char* name;
    const char* link;  // under the scratch folder
    const char* root;  // what DeleteTree is handed
    bool manifestGoes;
    const char* target;  // under the outside folder
  } cases[] = {
      {"the folder handed over is a link", "initdir\\nh", "initdir\\nh", false, ""},
      {"handed over with a trailing backslash", "initdir\\nh", "initdir\\nh\\", false, ""},
      {"a link inside the folder", "initdir\\manifest\\link", "initdir\\manifest", true, ""},
      {"handed over, an empty target", "initdir\\nh", "initdir\\nh", false, "empty"},
      {"inside, an empty target", "initdir\\manifest\\link", "initdir\\manifest", true, "empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir, outside;
    const std::string keep = outside.Path() + "sub\\keep.txt";
    ASSERT_TRUE(WriteFile(keep, "keep"));
    SetFileAttributesA(keep.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(WriteFile(dir.Path() + "initdir\\manifest\\default.xml", "<manifest/>"));
    ASSERT_TRUE(WriteFile(dir.Path() + "initdir\\jd.dat", "kernel\r\n"));
    const std::string target = outside.Make(c.target);
    sorvtest::FolderLink link(dir.Path() + c.link, target);
    ASSERT_TRUE(link.Made());
    EXPECT_TRUE(DeleteTree(dir.Path() + c.root));
    EXPECT_TRUE(cl::DirectoryExists(target));
    EXPECT_EQ(ReadFile(keep), "keep");
    EXPECT_NE(GetFileAttributesA(keep.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(sorvtest::IsLink(dir.Path() + c.link), !sorvtest::FolderLinksRemovable());
    // What lies beside a link inside the folder goes; the rest of initdir stays.
    EXPECT_EQ(cl::FileExists(dir.Path() + "initdir\\manifest\\default.xml"), !c.manifestGoes);
    EXPECT_EQ(ReadFile(dir.Path() + "initdir\\jd.dat"), "kernel\r\n");
    SetFileAttributesA(keep.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
