#pragma once
// The fuzzer's checks, shared with the replay of its regression inputs: an
// input is a byte choosing the tags offset followed by an image. The image is
// scanned, its chunk index built, every file extracted to memory and the image
// rebuilt to memory with each ECC kind; each rebuilt image is scanned again.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chunkwalk.h"
#include "ecc.h"
#include "model.h"
#include "rebuildpages.h"

namespace imagecheck {

// The objects a scan leaves, by table key, as the tree's records hold them:
// the latest accepted header of each id whose object is not removed, with
// the first page its node took; the root under key 1.
struct ScannedImage {
  uint32_t TagsOffset = TagsOffsetPlain;
  RunEntryList Runs;  // the image's runs and the WorkFile's entry
  std::vector<uint32_t> Summary;
  std::vector<NodeEntry>* Table = nullptr;  // while the walk runs
  std::map<uint16_t, ObjectRecord> Objects;
  uint8_t EccKind = EccKindNone;
  uint16_t MaxObjectId = 0;
};

ScannedImage Scan(ByteView image, uint32_t tagsOffset);

// A regular file as the extraction writes it, kept sparse: the bytes of each
// chunk found by offset; the rest of the file's size is zeros. A size read
// from the image never sizes an allocation.
using SparseFile = std::map<uint64_t, std::vector<uint8_t>>;
// The extraction of a regular file to memory. Adds to failures what breaks
// the rules: pieces past the size, out of order, outside the image, or a
// covered size other than the header's size capped by the chunks found.
SparseFile ExtractToMemory(const ObjectRecord& r, const RunEntryList& runs, const WalkSources& sources,
                                     ByteView image, std::string& failures);

// The rebuild of a scanned image into memory; empty when the output would
// exceed maxBytes.
std::vector<uint8_t> Rebuild(const ScannedImage& scan, ByteView image, const ChunkIndex& index,
                             const StampSettings& settings, size_t maxBytes);

// All checks of one fuzzer input; "" when every one holds, else what failed.
std::string CheckInput(const uint8_t* data, size_t size);

}  // namespace imagecheck
