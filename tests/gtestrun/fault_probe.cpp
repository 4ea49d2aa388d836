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
