#pragma once
// The protocol of the workers that show their run in the shared progress
// dialog (Form4): the dialog opened by the hidden button's click, fed at most
// about 200 steps, the cancel request, the count of objects that failed, and
// the dialog closed on every way out; plus the message of a worker that ends
// on a failure nobody planned for (memory exhausted, say).

#include <functional>
#include <string>

#include "cl_thread.h"

// Messages of a worker that stopped short on an unexpected failure.
constexpr char ScanFailedText[] = "读取IMG文件时出错，读取未完成！";
constexpr char ExtractFailedText[] = "提取时出错，提取未完成！";
constexpr char RebuildFailedText[] = "重建IMG文件时出错，另存未完成！";

// Shows text in a "提示" box owned by the application window; call it on the
// interface thread (workers: progressThread::ReportFailure).
void ShowFailure(const std::string& text);

class progressThread : public cl::TThread {
public:
  int Total = 0;              // the bar's maximum
  int Position = 0;           // the bar's position
  std::string CurrentItem;    // what Label2 shows
  int FailedObjects = 0;      // objects the worker could not handle

  // Public for the routines that do a worker's work (ExtractSubtree, RebuildImage).
  void Synchronize(const std::function<void()>& call) { cl::TThread::Synchronize(call); }
  // The current item is text; Label2 shows it when the step at is shown.
  void ShowItem(const std::string& text, long long at);
  // The bar moves to position when that step is shown.
  void StepTo(int position);
  // A long run's due steps (cl::ProgressStepDue) come this close together
  // only when its objects are small; each shown step stops the worker for a
  // repaint, which under Wine costs about a millisecond. So a due step of a
  // long run is shown only this many milliseconds after the last one shown
  // (the first and the last always, and every step of a short run).
  static constexpr DWORD ShownStepInterval = 40;
  // The user pressed "取消" in this run.
  bool CancelRequested() const;
  // One "提示" box with text, shown on the interface thread.
  void ReportFailure(const std::string& text);

protected:
  // Clears the cancel request, runs setUp (may be empty: a worker whose
  // set-up call precedes the click), queues the click that shows the dialog,
  // runs work and closes the dialog however work ends. An exception out of work
  // is reported with failedText; otherwise FailedObjects > 0 with
  // FailedObjectsText. Returns true when work ran to its end.
  bool RunWithProgress(const std::function<void()>& setUp, const std::function<void()>& work,
                       const std::string& failedText);
  virtual std::string FailedObjectsText() const { return std::string(); }

  // Run on the interface thread through Synchronize.
  virtual void ShowCurrentItem();
  virtual void ShowProgressPosition();
  virtual void CloseProgressDialog();
  // Milliseconds, for spacing the shown steps.
  virtual DWORD ProgressClock() const { return GetTickCount(); }

private:
  // Whether step is shown (see ShownStepInterval); a step shown for its
  // item is shown for its position too.
  bool StepShown(long long step);
  long long shownStep_ = -1;
  DWORD shownAt_ = 0;
};
