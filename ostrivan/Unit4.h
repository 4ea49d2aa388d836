// The shared modal progress dialog that the workers open, feed and close.
#pragma once
#include <atomic>

#include "cl_app.h"
#include "cl_stdctrls.h"

class TForm4 : public cl::TForm {
public:
  TForm4();
  cl::TLabel Label1{this, "提取进度："};
  cl::TLabel Label2{this, ""};
  cl::TProgressBar ProgressBar1{this};
  cl::TButton Button1{this, "取消"};
  cl::TFont Font{"宋体", -14};

  void FormShow();
  void Button1Click();
  // The cancel request: Tag as the workers' protocol has it, and a copy the
  // workers read from their own threads without a data race.
  void SetCancelRequest(int value);
  bool CancelRequested() const { return cancel_.load() == 1; }

private:
  std::atomic<int> cancel_{0};
};

extern TForm4* Form4;
