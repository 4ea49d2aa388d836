#include "Unit5.h"

TForm5* Form5 = nullptr;

TForm5::TForm5() {
  Name = "Form5";
  SetBorderStyle(cl::bsDialog);
  Position = cl::poOwnerFormCenter;
}
