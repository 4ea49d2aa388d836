// The folder chooser of both "浏览" buttons.
#pragma once
#include <string>

#include "cl_app.h"
#include "cl_combobox.h"
#include "cl_dirlist.h"
#include "cl_stdctrls.h"

class TForm3 : public cl::TForm {
public:
  TForm3();
  cl::TDriveComboBox DriveComboBox1{this};
  cl::TDirectoryListBox DirectoryListBox1{this};
  cl::TButton Button3{this, "新建文件夹"};
  cl::TEdit Edit1{this};
  cl::TButton Button1{this, "确定"};
  cl::TButton Button2{this, "取消"};

  void FormShow();
  void DirectoryListBox1Change();
  void DirectoryListBox1Click();
  void Button3Click();
};

extern TForm3* Form3;
