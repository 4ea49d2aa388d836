// A test fixture that runs the image browser's forms as the program does:
// created once per test program, with scripted dialogs (the progress dialog
// shown for real) and a scratch folder that takes images and WorkFiles.
#pragma once
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

#include "Unit1.h"
#include "Unit4.h"
#include "Unit7.h"
#include "image_builder.h"
#include "session.h"

class ProgramTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    static bool comReady = false;
    if (!comReady) comReady = SUCCEEDED(CoInitialize(nullptr));
    if (!Form1) {
      CreateProgramForms();
      Form1->Show();
      cl::Application.ProcessMessages();
    }
    folder_ = new testsupport::ScratchFolder;
    OverrideProgramDir(folder_->Path());
  }
  static void TearDownTestSuite() {
    ReleaseImage();
    ReleaseWorkFile();
    OverrideProgramDir("");
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override { dialogs_.realForms.push_back(Form4); }

  // A fresh path in the scratch folder.
  static std::string NewPath(const std::string& name = "image.img") { return folder_->File(std::to_string(++files_) + "-" + name); }
  // Runs the message loop until no scan or worker runs any more.
  static void WaitForWorkers() {
    cl::Application.RunUntil([] { return !ScanRunning && !Form1->WorkerRunning(); });
  }
  // The open command with path chosen; returns once the scan has ended.
  void OpenPath(const std::string& path) {
    dialogs_.QueueFiles({path});
    Form1->ToolButton10->Click();
    WaitForWorkers();
  }
  // "整理另存" to out with the storage dialog answered as a user would: ECC
  // kind and erase-marker choice by their radio indexes.
  void Save(const std::string& out, int kind, int marker) {
    dialogs_.QueueModalAction([kind, marker](cl::TForm*) {
      Form7->FormShow();
      Form7->RadioGroup1.SetItemIndex(kind);
      Form7->RadioGroup2.SetItemIndex(marker);
      Form7->Button1Click();
      return Form7->ModalResult;
    });
    dialogs_.QueueText(out);
    Form1->ToolButton5->Click();
    WaitForWorkers();
  }
  // Writes the image to a file of its own and opens it.
  std::string Open(const testsupport::ImageBuilder& b, const std::string& name = "image.img") {
    std::string path = NewPath(name);
    EXPECT_TRUE(b.WriteTo(path));
    OpenPath(path);
    return path;
  }

  static inline testsupport::ScratchFolder* folder_ = nullptr;
  static inline int files_ = 0;
  ScriptedDialogs dialogs_;
};
