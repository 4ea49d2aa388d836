// Replays every input kept under the folder given on the command line (the
// fuzzer's findings and its seeds) through the fuzzer's checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_seeds.h"
#include "image_check.h"

namespace {

std::string folder;

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(FuzzRegressions, EveryKeptInputPassesTheChecks) {
  ASSERT_FALSE(folder.empty()) << "usage: replay_regressions FOLDER";
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename() != "README") inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  for (const auto& path : inputs) {
    SCOPED_TRACE(path.string());
    std::vector<uint8_t> bytes = ReadAll(path);
    EXPECT_EQ("", imagecheck::CheckInput(bytes.data(), bytes.size()));
  }
}

TEST(FuzzSeeds, EverySeedPassesTheChecks) {
  for (const auto& [name, bytes] : imagecheck::FuzzSeeds()) {
    SCOPED_TRACE(name);
    EXPECT_EQ("", imagecheck::CheckInput(bytes.data(), bytes.size()));
  }
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) folder = argv[1];
  return RUN_ALL_TESTS();
}
