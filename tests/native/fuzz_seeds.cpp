#include "fuzz_seeds.h"

#include "ecc.h"
#include "image_builder.h"

namespace imagecheck {

namespace {

using testsupport::ImageBuilder;
using testsupport::PatternBytes;

std::vector<uint8_t> Input(uint8_t choice, const std::vector<uint8_t>& image) {
  std::vector<uint8_t> input{choice};
  input.insert(input.end(), image.begin(), image.end());
  return input;
}

testsupport::HeaderFields FileFields(uint32_t parent, const std::string& name, uint32_t size) {
  testsupport::HeaderFields f;
  f.parent = parent;
  f.name = name;
  f.fileSize = size;
  return f;
}

// A tree written once: folders, files across chunk boundaries, a link.
ImageBuilder Plain(uint32_t tagsOffset) {
  ImageBuilder b(tagsOffset);
  b.AddRoot();
  b.AddDir(300, 1, "etc");
  b.AddFile(301, 300, "hosts", "127.0.0.1 localhost\n");
  b.AddFile(302, 1, "boot.bin", PatternBytes(4096 + 5, 2));
  b.AddSymlink(303, 300, "link", "/etc/hosts");
  b.AddHardLink(304, 1, "hard", 302);
  b.AddFile(305, 300, "empty", "");
  return b;
}

// As a device leaves its flash: blocks of several sequence numbers out of
// physical order, a rename, a deletion, a newer copy of a chunk, chunks out of
// order and missing, an old block below the walk, ids past 16 bits, an erased
// block at the end.
ImageBuilder Device(uint32_t tagsOffset) {
  ImageBuilder b(tagsOffset);
  std::string data = PatternBytes(3 * 2048 + 100, 7);
  b.AddFile(310, 1, "old.txt", "stale", 1000);                   // below the walk
  b.AddFile(311, 320, "app.cfg", "key=2\n", 4097);                // parent met later
  b.AddHeader(311, FileFields(320, "app.conf", 6), 4098);  // renamed
  b.AddRoot(4096);
  b.AddDir(320, 1, "data", 4096);
  b.AddFile(321, 320, "log", data, 4096);
  b.AddFileChunks(321, data, {3, 1}, 4099);                       // newer copies, out of order
  b.AddFile(322, 1, "gone", "bye", 4096);
  b.AddHeader(322, FileFields(3, "gone", 3), 5000);  // deleted
  b.AddFile(0x10000 + 323, 320, "wide", "id past 16 bits", 5000);
  b.AddFileChunks(324, PatternBytes(5000, 9), {2}, 5000);         // chunk 1 missing
  b.AddHeader(324, FileFields(1, "holes", 5000), 5000);
  b.AddErased(2);
  return b;
}

// Data ECC of one kind on the first walked pages, so that the probe finds it.
ImageBuilder WithEcc(uint8_t kind) {
  ImageBuilder b = Plain(TagsOffsetMarked);
  for (uint32_t p = 0; p < b.PageCount(); ++p) {
    uint8_t ecc[DataEccLength];
    CalcChunkEcc(b.Page(p), ecc, kind);
    b.SetDataEcc(p, ecc);
  }
  return b;
}

}  // namespace

std::vector<std::pair<std::string, std::vector<uint8_t>>> FuzzSeeds() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
  ImageBuilder plain = Plain(TagsOffsetPlain);
  ImageBuilder device = Device(TagsOffsetMarked);
  seeds.push_back({"plain-2048", Input(0, plain.Bytes())});
  seeds.push_back({"plain-2050", Input(0, Plain(TagsOffsetMarked).Bytes())});
  seeds.push_back({"plain-forced-2050", Input(2, plain.Bytes())});
  seeds.push_back({"device-2050", Input(0, device.Bytes())});
  seeds.push_back({"device-2048", Input(0, Device(TagsOffsetPlain).Bytes())});
  seeds.push_back({"device-cut", Input(0, device.Cut(device.Size() - 2112 * 2 - 40))});
  seeds.push_back({"plain-cut-2064", Input(1, plain.Cut(plain.Size() - 2112 + 2064))});
  seeds.push_back({"plain-cut-2063", Input(1, plain.Cut(plain.Size() - 2112 + 2063))});
  ImageBuilder cutFile(TagsOffsetMarked);
  cutFile.AddRoot();
  cutFile.AddFile(300, 1, "f", PatternBytes(5000, 3));
  seeds.push_back({"last-chunk-cut", Input(0, cutFile.Cut(cutFile.Size() - PageSize + 2070))});
  seeds.push_back({"ecc-yaffs2", Input(0, WithEcc(EccKindYaffs2).Bytes())});
  seeds.push_back({"ecc-nand", Input(0, WithEcc(EccKindNandFlash).Bytes())});
  seeds.push_back({"empty", Input(0, {})});
  return seeds;
}

}  // namespace imagecheck
