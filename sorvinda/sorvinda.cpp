// The program block of the download manager.
#include "Unit1.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  cl::Application.Initialize();
  cl::Application.SetTitle("Sorvinda");
  CreateProgramForms();
  Form1->Show();
  cl::Application.RunUntil([] { return false; });
  // Finished workers are released; one still waiting on a console or a file
  // may read the forms, so the process ends here, before anything else is
  // freed, and ends it too.
  ReleaseFinishedWorkers();
  ExitProcess(0);
}
