// The about and help dialog.
#pragma once
#include "cl_app.h"
#include "cl_stdctrls.h"

class TForm6 : public cl::TForm {
public:
  TForm6();
  cl::TImage Image1{this};
  cl::TLabeledEdit LabeledEdit1{this};
  cl::TLabeledEdit LabeledEdit2{this};
  cl::TLabeledEdit LabeledEdit3{this};
  cl::TPanel Panel1{this};
  cl::TMemo Memo1{&Panel1};
  cl::TButton Button1{this, "关闭"};
  cl::TFont MemoFont{"宋体", -14};

  void Button1Click();
};

extern TForm6* Form6;

// The help text, line by line.
extern const char* const kHelpLines[18];
