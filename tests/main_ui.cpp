#include <gtest/gtest.h>

#include "cl_app.h"

// Every test program runs on a user-interface thread with an application
// window, as the programs do.
int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::testing::InitGoogleTest(&argc, argv);
  cl::Application.Initialize();
  return RUN_ALL_TESTS();
}
