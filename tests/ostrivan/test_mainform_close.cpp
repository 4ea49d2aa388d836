#include <gtest/gtest.h>

#include "Unit1.h"
#include "session.h"

namespace {

// Makes synchronised calls, which only a running message loop serves.
class BusyWorker : public cl::TThread {
public:
  HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  int served = 0;
  ~BusyWorker() override { CloseHandle(started); }

protected:
  void Execute() override {
    SetEvent(started);
    for (int i = 0; i < 50; ++i) Synchronize([this] { ++served; });
  }
};

// Closing ends the program, so each case runs its own forms in a fresh
// process: this program holds one sequence, in order.
TEST(MainFormClose, AsksOnlyWithEditsAndNoKeepsTheWindow) {
  ScriptedDialogs dialogs;
  CreateProgramForms();
  Form1->Show();

  Modified = 1;
  dialogs.QueueButton(IDNO);
  Form1->Close();
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].title, "提示");
  EXPECT_EQ(dialogs.asked[0].text, "放弃修改！");
  EXPECT_EQ(dialogs.asked[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
  EXPECT_EQ(dialogs.asked[0].owner, cl::Application.Handle());
  EXPECT_FALSE(cl::Application.Terminated());
  EXPECT_EQ(Form1->Tag, 0);
  EXPECT_EQ(Modified, 1);

  // A worker still running when closing is agreed is let finish first: it
  // may be reading what the window's destruction frees.
  auto owned = std::make_unique<BusyWorker>();
  BusyWorker& worker = *owned;
  Form1->StartWorker(std::move(owned));
  WaitForSingleObject(worker.started, INFINITE);
  dialogs.QueueButton(IDYES);
  Form1->Close();
  EXPECT_TRUE(worker.Finished());
  EXPECT_EQ(worker.served, 50);
  EXPECT_EQ(dialogs.asked.size(), 2u);
  EXPECT_TRUE(cl::Application.Terminated());
  EXPECT_EQ(Form1->Tag, 1);
  cl::Application.DestroyForms();
}

}  // namespace
