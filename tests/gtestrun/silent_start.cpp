// A program that carries no start mark and ends at once with exit code 1,
// printing nothing; each start adds a byte to the file STARTS.
// Usage: silent_start.exe STARTS
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HANDLE h = CreateFileA(argv[1], FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  WriteFile(h, "s", 1, &written, nullptr);
  CloseHandle(h);
  return 1;
}
