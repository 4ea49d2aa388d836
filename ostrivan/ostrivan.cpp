// The program block of the image browser.
#include <objbase.h>

#include "Unit1.h"
#include "cl_writerproc.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (cl::RunIfFileWriterProcess()) return 0;  // a copy started to write an extraction's files
  CoInitialize(nullptr);  // the shell's icons and folder chooser
  cl::Application.Initialize();
  cl::Application.SetTitle("Ostrivan 浏览器");
  CreateProgramForms();
  cl::Application.Run();
  return 0;
}
