// Writes the image that the outside tools are compared on: folders and
// regular files as an offline image tool writes them (tags at 2048, one
// sequence number 4096, no header for the root, chunks in order).
//   make_test_image.exe OUT
#include <cstdio>
#include <string>

#include "image_builder.h"

namespace {
std::string Bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_image.exe OUT\n");
    return 2;
  }
  testsupport::ImageBuilder b;
  auto dir = [&b](uint32_t id, uint32_t parent, const std::string& name) {
    testsupport::HeaderFields f;
    f.type = ObjectTypeDirectory;
    f.parent = parent;
    f.name = name;
    f.mode = testsupport::DirMode;
    b.AddHeader(id, f);
  };
  dir(300, 1, "system");
  dir(301, 300, "app");
  dir(302, 300, "etc");
  dir(303, 1, "empty");
  const size_t sizes[] = {0, 1, 2047, 2048, 2049, 4096, 5000, 100000, 1 << 20};
  uint32_t id = 400;
  for (size_t size : sizes) {
    b.AddFile(id, 302, "f" + std::to_string(size) + ".bin", Bytes(size, id));
    ++id;
  }
  b.AddFile(id++, 301, "Settings.apk", Bytes(300000, 7));
  b.AddFile(id++, 1, "init.rc", "on boot\n    start adbd\n");
  b.AddFile(id++, 300, "build.prop", "ro.build.id=TEST\n");
  return b.WriteTo(argv[1]) ? 0 : 1;
}
