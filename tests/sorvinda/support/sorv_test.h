// Test support of the download manager: scratch folders, files written in
// one call, the working folders made with git, and a fixture that runs the
// program's forms with scripted dialogs and a recorder of hidden commands.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Unit1.h"
#include "hostlink.h"
#include "scripts.h"
#include "session.h"

namespace sorvtest {

// A fresh folder under the temporary folder, removed with its contents.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // The folder with a trailing "\".
  const std::string& Path() const { return path_; }
  // Path() + name, with every folder along it made.
  std::string Make(const std::string& name) const;

private:
  std::string path_;
};

// Writes bytes as the whole file, making its folders; false on failure.
bool WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
void RemoveTree(const std::string& path);

// A link to a folder, made on the host for the life of the object; the
// destructor removes the link only.
using FolderLink = testlink::HostLink;
// True when a path names a reparse point (a link is still there).
bool IsLink(const std::string& path);
// Whether a link to a folder can be removed without touching its target:
// on Windows, not under Wine.
bool FolderLinksRemovable();

// The folder the git fixture made (with a trailing "\"); empty when the test
// runs without it.
std::string GitFolders();

// A top-level window with an exact title, as a script's console has; it
// records the WM_CLOSE it gets and then goes.
class FakeConsole {
public:
  explicit FakeConsole(const std::string& title);
  ~FakeConsole();
  HWND Handle() const { return hwnd_; }
  bool closed = false;

private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

}  // namespace sorvtest

// The program's forms, created once per test program, with the program's
// folder in a scratch folder and hidden commands recorded, not run.
class SorvTest : public ::testing::Test {
protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;
  // Runs the start-up again over the files now in the program's folder.
  void Restart();
  // The folder chooser answered with dir and "确定".
  void QueueFolder(const std::string& dir);

  static inline sorvtest::ScratchDir* program_ = nullptr;  // E
  std::vector<std::string> commands_;                       // hidden commands, in order
  ScriptedDialogs dialogs_;
};
