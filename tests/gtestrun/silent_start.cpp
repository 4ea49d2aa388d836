// Stands in for a start that Wine ends at once: the first run for a marker
// file ends with exit code 1 and prints nothing, later runs print "ran" and
// end with 0. With "always" every run ends so.
// Usage: silent_start.exe MARKER [always]
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const bool always = argc > 2 && strcmp(argv[2], "always") == 0;
  if (always || GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES) {
    HANDLE h = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return 1;
  }
  puts("ran");
  return 0;
}
