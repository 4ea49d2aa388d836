// Test helper: saves this program's carried archive (resource NM1 of type
// LX1) to the file named on its command line, as the downloader saves it.
// Exit codes: 0 saved, 1 no resource, 2 cannot write, 3 usage.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: carried_probe OUTPUT\n");
    return 3;
  }
  HRSRC res = FindResourceA(nullptr, "NM1", "LX1");
  HGLOBAL loaded = res ? LoadResource(nullptr, res) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = res ? SizeofResource(nullptr, res) : 0;
  if (!bytes) {
    std::fprintf(stderr, "no resource NM1 of type LX1\n");
    return 1;
  }
  FILE* f = std::fopen(argv[1], "wb");
  if (!f) return 2;
  const bool written = std::fwrite(bytes, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) return 2;
  return 0;
}
