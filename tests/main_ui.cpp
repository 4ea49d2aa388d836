#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include "cl_app.h"

namespace {

// A fault in our own code ends the test program with a failure, also where
// the system would swallow it (inside a window procedure).
LONG CALLBACK FailOnFault(EXCEPTION_POINTERS* info) {
  DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_ILLEGAL_INSTRUCTION &&
      code != EXCEPTION_INT_DIVIDE_BY_ZERO && code != EXCEPTION_STACK_OVERFLOW)
    return EXCEPTION_CONTINUE_SEARCH;
  auto base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  auto at = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
  if (at < base || at >= base + nt->OptionalHeader.SizeOfImage) return EXCEPTION_CONTINUE_SEARCH;
  fprintf(stderr, "FATAL: exception 0x%08lx at offset 0x%llx of the test program\n", code,
          static_cast<unsigned long long>(at - base));
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

// Every test program runs on a user-interface thread with an application
// window, as the programs do.
int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  AddVectoredExceptionHandler(1, FailOnFault);
  ::testing::InitGoogleTest(&argc, argv);
  cl::Application.Initialize();
  return RUN_ALL_TESTS();
}
