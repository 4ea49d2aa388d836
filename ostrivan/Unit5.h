// The properties dialog: name, icon, type, size, time, owners and mode of one
// entry, on the one page "常规".
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "cl_app.h"
#include "cl_pagectrl.h"
#include "cl_stdctrls.h"

class TForm5 : public cl::TForm {
public:
  TForm5();
  cl::TPageControl PageControl1{this};
  cl::TTabSheet& TabSheet1;
  cl::TImage Image1{&TabSheet1};
  cl::TEdit Edit1{&TabSheet1};
  cl::TBevel Bevel1{&TabSheet1};
  cl::TLabel Label1{&TabSheet1, "类型："};
  cl::TLabel filetype{&TabSheet1, ""};
  cl::TLabel Label3{&TabSheet1, "大小："};
  cl::TLabel filesize{&TabSheet1, ""};
  cl::TLabel Label2{&TabSheet1, "创建时间："};
  cl::TLabel filectime{&TabSheet1, ""};
  cl::TBevel Bevel2{&TabSheet1};
  cl::TLabel Label4{&TabSheet1, "UID："};
  cl::TLabel fileuid{&TabSheet1, ""};
  cl::TLabel Label6{&TabSheet1, "GID："};
  cl::TLabel filegid{&TabSheet1, ""};
  cl::TLabel Label5{&TabSheet1, "详细："};
  cl::TLabel Label7{&TabSheet1, ""};
  cl::TButton Button1{this, "关闭"};
  // The system's large icons, shared with the shell and never destroyed here.
  HIMAGELIST ImageList1 = nullptr;

  // Loads the icon of the entry named in Edit1 (a folder when Image1.Tag is 3).
  void FormShow();
  void Button1Click();
};

extern TForm5* Form5;

// The system's large icon list, asked of the shell for the probe folder; the
// icon the shell hands out with it is released at once (its former handle
// goes to released when that is given).
HIMAGELIST SystemLargeIcons(HICON* released = nullptr);
