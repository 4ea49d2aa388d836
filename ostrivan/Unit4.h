// The shared modal progress dialog that the workers open, feed and close.
#pragma once
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
};

extern TForm4* Form4;
