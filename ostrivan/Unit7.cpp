#include "Unit7.h"

TForm7* Form7 = nullptr;

TForm7::TForm7() {
  Name = "Form7";
  SetBorderStyle(cl::bsDialog);
  Position = cl::poOwnerFormCenter;
}
