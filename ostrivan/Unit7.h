// The storage-parameters dialog: ECC kind and erase marker of the image to write.
#pragma once
#include "cl_app.h"
#include "cl_stdctrls.h"

class TForm7 : public cl::TForm {
public:
  TForm7();
  cl::TFont Font{"宋体", -13};
  cl::TFont BoldFont{"宋体", -13, GB2312_CHARSET, true};
  cl::TLabel Label1{this, "当前使用的ECC："};
  cl::TLabel Label2{this, ""};
  cl::TRadioGroup RadioGroup1{this, "保存为："};
  cl::TLabel Label3{this, ""};
  cl::TRadioGroup RadioGroup2{this, "OOB头（FF FF）擦除标志"};
  cl::TButton Button1{this, "确定"};
  cl::TButton Button2{this, "取消"};

  void FormShow();
  void Button1Click();
  void Button2Click();
};

extern TForm7* Form7;

// What the dialog says about the opened image's ECC kind.
const char* DetectedEccText(uint8_t kind);
