#include "Unit7.h"

TForm7* Form7 = nullptr;

TForm7::TForm7() {
  Name = "Form7";
  SetCaption("稍候");
  SetBorderStyle(cl::bsDialog, false);
  Position = cl::poOwnerFormCenter;
  SetClientSize(415, 81);
  Label1.Name = "Label1";
  Label1.SetFont(Font);
  Label1.SetCaption(Label1.Caption());
  Label1.SetBounds(136, 32, Label1.Width(), Label1.Height());
}
