// libFuzzer target: the input is a byte choosing the tags offset (detected,
// 2048 or 2050) followed by an image; see image_check.h for what is checked.
#include <cstdio>
#include <cstdlib>

#include "image_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failures = imagecheck::CheckInput(data, size);
  if (!failures.empty()) {
    std::fputs(failures.c_str(), stderr);
    std::abort();
  }
  return 0;
}
