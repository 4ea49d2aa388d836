// The please-wait form the download command shows while its worker checks
// the manifest; only the worker closes it.
#pragma once
#include "cl_app.h"
#include "cl_stdctrls.h"

class TForm7 : public cl::TForm {
public:
  TForm7();
  cl::TLabel Label1{this, "请稍候........."};
  cl::TFont Font{"宋体", -15};
};

extern TForm7* Form7;
