#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include "cl_app.h"
#include "session.h"


// Every test program runs on a user-interface thread with an application
// window, as the programs do.
int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ReportFaultsAndFail();
  ::testing::InitGoogleTest(&argc, argv);
  cl::Application.Initialize();
  return RUN_ALL_TESTS();
}
