#include "Unit4.h"

TForm4* Form4 = nullptr;

TForm4::TForm4() {
  Name = "Form4";
  SetCaption("正在提取");
  // Minimise and maximise only: no system menu, so no way to close it
  // except through the worker.
  SetBorderStyle(cl::bsDialog, false);
  Position = cl::poOwnerFormCenter;
  SetClientSize(644, 123);
  Label1.Name = "Label1";
  Label1.SetBounds(24, 16, 80, 16);
  Label2.Name = "Label2";
  Label2.SetAutoSize(false);
  Label2.SetBounds(108, 16, 505, 16);
  ProgressBar1.Name = "ProgressBar1";
  ProgressBar1.SetBounds(24, 40, 585, 25);
  Button1.Name = "Button1";
  Button1.SetBounds(279, 80, 75, 25);
  for (cl::TControl* c : {static_cast<cl::TControl*>(&Label1), static_cast<cl::TControl*>(&Label2),
                          static_cast<cl::TControl*>(&ProgressBar1), static_cast<cl::TControl*>(&Button1)})
    c->SetFont(Font);
  OnShow = [this] { FormShow(); };
  Button1.OnClick = [this](cl::TControl*) { Button1Click(); };
}

void TForm4::FormShow() {
  SetCancelRequest(0);
  ProgressBar1.SetPosition(0);
}

void TForm4::Button1Click() { SetCancelRequest(1); }

void TForm4::SetCancelRequest(int value) {
  Tag = value;
  cancel_.store(value);
}
