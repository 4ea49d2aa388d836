// The program block of the download manager.
#include "Unit1.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  cl::Application.Initialize();
  cl::Application.SetTitle("Sorvinda");
  CreateProgramForms();
  Form1->Show();
  cl::Application.RunUntil([] { return false; });
  // Workers may still wait on consoles or files and read the forms: the
  // process ends here, before anything is freed.
  ExitProcess(0);
}
