#include "cl_app.h"
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  cl::Application.Initialize();
  cl::Application.SetTitle("Ostrivan 浏览器");
  return 0;
}
