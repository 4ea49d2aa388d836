#pragma once
// Small images for the fuzzer to start from, made with the test image
// builder: each is a fuzzer input (a byte choosing the tags offset, then the
// image).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace imagecheck {

std::vector<std::pair<std::string, std::vector<uint8_t>>> FuzzSeeds();

}  // namespace imagecheck
