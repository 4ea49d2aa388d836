// Writes the fuzzer's seed inputs into the folder given on the command line.
#include <cstdio>
#include <fstream>

#include "fuzz_seeds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
    return 2;
  }
  for (const auto& [name, bytes] : imagecheck::FuzzSeeds()) {
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
