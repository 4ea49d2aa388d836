// Holds a Wine session up for the length of a test run: the wineserver, the
// services and the desktop process, all started away from any test's output.
//   keepalive.exe          owns a hidden window (the desktop process stays
//                          while a window exists) and sleeps until killed.
//   keepalive.exe --ready  waits until a keepalive holds its window, at most
//                          60 s; exit code 0 once it does.
// The wrapper runs the first in the background and the second in the
// foreground, so the session is up before the first test starts.
#include <windows.h>

#include <cstring>

namespace {
const char kReadyEvent[] = "ostrivan-test-session-ready";
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kReadyEvent);
  if (!ready) return 2;
  if (cmdLine && std::strstr(cmdLine, "--ready")) return WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0 ? 0 : 1;

  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = "OstrivanTestSession";
  RegisterClassA(&wc);
  // A top-level window, never shown: creating it starts the desktop process.
  CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
  SetEvent(ready);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
