#include "mymsgbox.h"

#include "Unit1.h"

TForm8* Form8 = nullptr;

TForm8::TForm8() {
  Name = "Form8";
  SetCaption("提示");
  // No border icons: only the four buttons answer.
  SetBorderStyle(cl::bsDialog, false);
  Position = cl::poOwnerFormCenter;
  Owner = Form1;
  SetClientSize(378, 103);
  SetFont(Font);
  Label1.Name = "Label1";
  Label1.SetFont(BoldFont);
  Label1.SetBounds(32, 24, 0, 0);
  Label1.SetAutoSize(true);  // measured in its own font
  struct {
    cl::TButton* button;
    const char* name;
    int left;
    int result;
  } const buttons[] = {{&Button1, "Button1", 32, OverwriteYes},
                       {&Button2, "Button2", 112, OverwriteAll},
                       {&Button3, "Button3", 192, OverwriteNone},
                       {&Button4, "Button4", 272, OverwriteNo}};
  for (const auto& b : buttons) {
    b.button->Name = b.name;
    b.button->SetBounds(b.left, 64, 65, 25);
    b.button->ModalResult = b.result;
    b.button->SetFont(Font);
  }
}

TForm8::~TForm8() {
  if (Form8 == this) Form8 = nullptr;
}
