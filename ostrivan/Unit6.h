// The About dialog.
#pragma once
#include "cl_app.h"
#include "cl_stdctrls.h"

class TForm6 : public cl::TForm {
public:
  TForm6();
  cl::TImage Image1{this};
  cl::TLabeledEdit LabeledEdit2{this};
  cl::TLabel Label1{this, "产品描述："};
  cl::TMemo Memo1{this};
  cl::TBevel Bevel1{this};
  cl::TButton Button1{this, "确定"};

  void Button1Click();
};

extern TForm6* Form6;
