// The overwrite question of adding files: "是", "全是", "全否", "否". A new
// prompt is made for each question and goes when it has been answered.
#pragma once
#include "cl_app.h"
#include "cl_stdctrls.h"

// The prompt's modal results. 4 and 5 are the prompt's own values for "all"
// and "none", not the library's.
constexpr int OverwriteYes = 6;
constexpr int OverwriteAll = 4;
constexpr int OverwriteNone = 5;
constexpr int OverwriteNo = 7;

class TForm8 : public cl::TForm {
public:
  TForm8();
  ~TForm8() override;
  cl::TFont Font{"宋体", -13};
  cl::TFont BoldFont{"宋体", -16, GB2312_CHARSET, true};
  cl::TLabel Label1{this, "文件已存在！是否覆盖？"};
  cl::TButton Button1{this, "是"};
  cl::TButton Button2{this, "全是"};
  cl::TButton Button3{this, "全否"};
  cl::TButton Button4{this, "否"};
};

// The prompt being asked, nullptr between questions.
extern TForm8* Form8;
