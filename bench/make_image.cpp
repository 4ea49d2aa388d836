// Writes a large test image for timing the open command: folders and files of
// mixed sizes in blocks of 64 pages, each block with its own sequence number
// from BaseSequenceNumber up, as a device writes them. Streams to disk.
//
//   make_image.exe [--offline] [--flat] OUT [MIB [OBJECTS]]   (defaults: 1024 MiB, 20000 objects)
// --offline writes every page with BaseSequenceNumber, as offline image
// tools do; --flat puts every file into one folder under the root.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "format.h"

namespace {

constexpr uint32_t BlockPages = 64;
bool g_offline = false;
bool g_flat = false;

class ImageWriter {
public:
  explicit ImageWriter(FILE* out) : out_(out) { buffer_.reserve(BufferBytes); }
  ~ImageWriter() { Flush(); }

  void Header(uint32_t id, const ObjectHeader& h) {
    uint8_t* p = NewPage();
    EncodeObjectHeader(h, p);
    Finish(p, {Sequence(), id, 0, HeaderByteCount});
  }
  void Chunk(uint32_t id, uint32_t chunk, uint32_t bytes) {
    uint8_t* p = NewPage();
    std::memset(p, static_cast<int>((id * 31 + chunk) & 0xFF), bytes);
    Finish(p, {Sequence(), id, chunk, bytes});
  }
  uint64_t Pages() const { return pages_; }

  void Flush() {
    if (!buffer_.empty()) fwrite(buffer_.data(), 1, buffer_.size(), out_);
    buffer_.clear();
  }

private:
  static constexpr size_t BufferBytes = size_t{PageSize} * 2048;

  uint32_t Sequence() const {
    return g_offline ? BaseSequenceNumber : BaseSequenceNumber + static_cast<uint32_t>(pages_ / BlockPages);
  }
  uint8_t* NewPage() {
    if (buffer_.size() + PageSize > BufferBytes) Flush();
    buffer_.resize(buffer_.size() + PageSize, 0xFF);
    return buffer_.data() + buffer_.size() - PageSize;
  }
  void Finish(uint8_t* page, const Tags& tags) {
    EncodeTags(tags, page + TagsOffsetPlain);
    ++pages_;
  }

  FILE* out_;
  std::vector<uint8_t> buffer_;
  uint64_t pages_ = 0;
};

ObjectHeader MakeHeader(uint32_t type, uint32_t parent, const std::string& name, uint32_t size) {
  ObjectHeader h;
  h.ObjectType = type;
  h.ParentId = parent;
  std::memcpy(h.Name.data(), name.data(), std::min<size_t>(name.size(), MaxNameBytes));
  h.Mode = type == ObjectTypeDirectory ? 040755 : 0100644;
  h.ATime = h.MTime = h.CTime = 1600000000;
  h.FileSize = size;
  h.EquivalentId = 0xFFFFFFFF;
  h.Alias.fill(0);
  h.Reserved.fill(0xFF);
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  for (; argc > 1 && std::strncmp(argv[1], "--", 2) == 0; --argc, ++argv) {
    if (std::strcmp(argv[1], "--offline") == 0) {
      g_offline = true;
    } else if (std::strcmp(argv[1], "--flat") == 0) {
      g_flat = true;
    } else {
      break;
    }
  }
  if (argc < 2) {
    fprintf(stderr, "usage: make_image [--offline] [--flat] OUT [MIB [OBJECTS]]\n");
    return 2;
  }
  uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
  uint32_t objects = argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 20000;
  objects = std::max<uint32_t>(2, std::min<uint32_t>(objects, 65000));
  const uint64_t pageBudget = (mib << 20) / PageSize + 1;
  const uint32_t folders = g_flat ? 1 : std::max<uint32_t>(1, objects / 12);
  const uint32_t files = objects - folders - 1;
  const uint64_t dataPages = pageBudget > objects ? pageBudget - objects : files;

  // Mixed sizes: mostly small files, some medium, a few large; scaled so that
  // the data chunks fill the page budget.
  std::mt19937 rng(7);
  std::vector<double> weight(files);
  double total = 0;
  for (double& w : weight) {
    uint32_t r = rng() % 100;
    w = r < 70 ? 1 + rng() % 4 : r < 95 ? 8 + rng() % 120 : 200 + rng() % 2000;
    total += w;
  }
  FILE* out = fopen(argv[1], "wb");
  if (!out) {
    fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  {
    ImageWriter w(out);
    w.Header(RootObjectId, MakeHeader(ObjectTypeDirectory, RootObjectId, "", 0));
    const uint32_t firstId = FirstOrdinaryObjectId;
    for (uint32_t f = 0; f < folders; ++f) {
      // The first folders hang under the root, the rest under earlier ones.
      uint32_t parent = f < 16 ? RootObjectId : firstId + static_cast<uint32_t>(rng() % f);
      w.Header(firstId + f, MakeHeader(ObjectTypeDirectory, parent, "dir" + std::to_string(f), 0));
    }
    static const char* const exts[] = {".so", ".apk", ".xml", ".png", ".txt", ".odex", "", ".jar", ".ttf", ".conf"};
    for (uint32_t i = 0; i < files; ++i) {
      uint32_t id = firstId + folders + i;
      uint64_t chunks = static_cast<uint64_t>(weight[i] / total * static_cast<double>(dataPages));
      uint32_t size = static_cast<uint32_t>(chunks * ChunkSize - (chunks ? rng() % 1024 : 0));
      uint32_t parent = firstId + static_cast<uint32_t>(rng() % folders);
      w.Header(id, MakeHeader(ObjectTypeFile, parent, "file" + std::to_string(i) + exts[i % 10], size));
      for (uint32_t c = 1; c <= chunks; ++c)
        w.Chunk(id, c, c < chunks ? ChunkSize : size - static_cast<uint32_t>((chunks - 1) * ChunkSize));
    }
    w.Flush();
    printf("%s: %llu pages, %llu bytes, %u objects\n", argv[1], static_cast<unsigned long long>(w.Pages()),
           static_cast<unsigned long long>(w.Pages() * PageSize), objects);
  }
  fclose(out);
  return 0;
}
