// The program block of the image browser.
#include <objbase.h>

#include "Unit1.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CoInitialize(nullptr);  // the shell's icons and folder chooser
  cl::Application.Initialize();
  cl::Application.SetTitle("Ostrivan 浏览器");
  CreateProgramForms();
  cl::Application.Run();
  return 0;
}
