// A test program whose disabled tests end the ways a broken test program
// can end; gtestrun-rules.sh runs them one by one through run-gtest.sh.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

// Kept from the optimiser, which would otherwise copy inline: the fault
// must happen inside the C library.
char* volatile nowhere = nullptr;
char* (*volatile copyText)(char*, const char*) = strcpy;

void FaultInTheCLibrary() { copyText(nowhere, "written through a null pointer"); }

// A program broken before GoogleTest begins, by the way it starts. Each start
// adds a byte to the file FAULT_PROBE_STARTS names; FAULT_PROBE_BROKEN says
// how the first start ends: "silent" (exit code 1, no output), "stderr" (a
// line on standard error, exit code 3), "unstarted" (as "silent", and takes
// back the start mark, as a start that never reached the program's code
// leaves none); "unstarted-always" does so on every start.
class BrokenStart {
public:
  BrokenStart() {
    wchar_t starts[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"FAULT_PROBE_STARTS", starts, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    HANDLE h = CreateFileW(starts, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) ExitProcess(5);
    const bool first = GetLastError() != ERROR_ALREADY_EXISTS;
    DWORD written = 0;
    WriteFile(h, "s", 1, &written, nullptr);
    CloseHandle(h);
    char how[32] = "";
    GetEnvironmentVariableA("FAULT_PROBE_BROKEN", how, sizeof how);
    if (strcmp(how, "unstarted-always") == 0 || (first && strcmp(how, "unstarted") == 0)) {
      wchar_t mark[MAX_PATH];
      n = GetEnvironmentVariableW(L"OSTRIVAN_START_MARK", mark, MAX_PATH);
      if (n > 0 && n < MAX_PATH) DeleteFileW(mark);
      ExitProcess(1);
    }
    if (!first) return;
    if (strcmp(how, "silent") == 0) ExitProcess(1);
    if (strcmp(how, "stderr") == 0) {
      fputs("probe: broken on its first start\n", stderr);
      fflush(stderr);
      ExitProcess(3);
    }
  }
};

// The first initialiser after the start mark's: the mark must come before it.
BrokenStart brokenStart __attribute__((init_priority(102)));

}  // namespace

TEST(Probe, Passes) { EXPECT_EQ(4u, strlen("four")); }

TEST(Probe, DISABLED_FaultsInTheCLibrary) { FaultInTheCLibrary(); }

TEST(Probe, DISABLED_FaultsInTheCLibraryOnAnotherThread) {
  std::thread t(FaultInTheCLibrary);
  t.join();
}

TEST(Probe, DISABLED_FaultsInItsOwnCode) { *nowhere = 1; }

TEST(Probe, DISABLED_LeavesEarlyWithExitCodeZero) { ExitProcess(0); }

TEST(Probe, DISABLED_Fails) { EXPECT_EQ(1, 2); }

TEST(Probe, DISABLED_PrintsAFailureAndEndsWell) {
  printf("[  FAILED  ] as a child program would print it\n");
  fflush(stdout);
}
