#include "progress.h"

#include "Unit1.h"
#include "Unit4.h"

void ShowFailure(const std::string& text) {
  cl::MessageBox(cl::Application.Handle(), text, "提示", MB_OK | MB_ICONINFORMATION);
}

bool progressThread::StepShown(long long step) {
  if (!cl::ProgressStepDue(step, Total)) return false;
  const DWORD now = ProgressClock();
  if (!(Total <= 200 || step <= 1 || step >= Total || step == shownStep_ || now - shownAt_ >= ShownStepInterval))
    return false;
  shownStep_ = step;
  shownAt_ = now;
  return true;
}

void progressThread::ShowItem(const std::string& text, long long at) {
  CurrentItem = text;
  if (StepShown(at)) Synchronize([this] { ShowCurrentItem(); });
}

void progressThread::StepTo(int position) {
  Position = position;
  if (StepShown(position)) Synchronize([this] { ShowProgressPosition(); });
}

bool progressThread::CancelRequested() const { return Form4 && Form4->CancelRequested(); }

void progressThread::ReportFailure(const std::string& text) {
  Synchronize([text] { ShowFailure(text); });
}

bool progressThread::RunWithProgress(const std::function<void()>& setUp, const std::function<void()>& work,
                                     const std::string& failedText) {
  Total = 0;
  Position = 0;
  FailedObjects = 0;
  shownStep_ = -1;
  shownAt_ = ProgressClock() - ShownStepInterval;
  // A cancel left over from an earlier run must not stop this one, also
  // when the dialog is never shown.
  Synchronize([] {
    if (Form4) Form4->SetCancelRequest(0);
  });
  bool completed = false;
  {
    struct DialogCloser {
      progressThread* thread;
      ~DialogCloser() {
        cl::Screen.SetCursor(IDC_ARROW);
        try {
          thread->Synchronize([t = thread] { t->CloseProgressDialog(); });
        } catch (...) {
        }
      }
    } closer{this};
    try {
      if (setUp) setUp();
      if (Form1) PostMessageA(Form1->Button1.Handle(), BM_CLICK, 0, 0);
      work();
      completed = true;
    } catch (...) {
    }
  }
  if (!completed) {
    ReportFailure(failedText);
  } else if (FailedObjects > 0) {
    std::string text = FailedObjectsText();
    if (!text.empty()) ReportFailure(text);
  }
  return completed;
}

void progressThread::ShowCurrentItem() {
  if (Form4) Form4->Label2.SetCaption(CurrentItem);
}

void progressThread::ShowProgressPosition() {
  if (Form4) Form4->ProgressBar1.SetPosition(Position);
}

void progressThread::CloseProgressDialog() {
  if (Form4) Form4->Close();
}
