// The scan's walk, the chunk walk's file pieces and the rebuild's pages as
// plain functions over built images (no window, no file): these run in the
// Windows test build and in the host build under the sanitizers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "chunkwalk.h"
#include "ecc.h"
#include "image_builder.h"
#include "rebuildpages.h"
#include "scanwalk.h"

using testsupport::HeaderFields;
using testsupport::ImageBuilder;
using testsupport::PatternBytes;

namespace {

// What the walk of one image gave.
struct Walked {
  RunEntryList runs;
  std::vector<PageRef> accepted;
  std::vector<NodeEntry> table = std::vector<NodeEntry>(kNodeTableEntries, NodeEntry{0, NoPage, NoNode});
  uint8_t ecc = 7;  // "unchanged" unless the walk probes
  uint16_t maxId = 0;
  uint32_t steps = 0;
};

Walked Walk(ByteView image, uint32_t tagsOffset) {
  Walked w;
  std::vector<uint32_t> summary;
  w.runs = ScanRuns(image, tagsOffset, summary, [&w] { ++w.steps; });
  w.runs.AppendWorkFileEntry(0, 0);
  WalkImageRuns(image, w.runs, summary, w.table.data(), w.ecc, w.maxId,
                [&w](ByteView, PageRef src) { w.accepted.push_back(src); }, [&w] { ++w.steps; });
  return w;
}

HeaderFields FileHeader(const std::string& name, uint32_t size) {
  HeaderFields f;
  f.name = name;
  f.fileSize = size;
  return f;
}

ObjectRecord FileRecord(const ImageBuilder& b, PageRef header, PageRef first) {
  ObjectRecord r = RecordOfHeaderPage(PageBytes(b.View(), header), b.TagsOffset(), header);
  r.FirstPage = first;
  return r;
}

uint32_t U32At(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

}  // namespace

// ---- The scan's walk -----------------------------------------------------------

TEST(ScanWalk, RunsInSequenceOrderUpToTheErasedRun) {
  ImageBuilder b;
  PageRef p4097 = b.AddDir(301, 1, "b", 4097);
  PageRef p4096 = b.AddDir(300, 1, "a", 4096);
  PageRef p5000 = b.AddDir(302, 1, "c", 5000);
  b.AddErased(1);
  PageRef p6000 = b.AddDir(303, 1, "d", 6000);  // placed after the erased page, sorted before it
  b.AddDir(304, 1, "old", 1000);                // below the walk
  Walked w = Walk(b.View(), TagsOffsetPlain);
  EXPECT_EQ((std::vector<PageRef>{p4096, p4097, p5000, p6000}), w.accepted);
  EXPECT_EQ(303, w.maxId);
  EXPECT_EQ(NoPage, w.table[304].Page);
  EXPECT_EQ(p4097, w.table[301].Page);
  EXPECT_EQ(6u + 4u, w.steps);  // six pages in the run pass, four walked
}

TEST(ScanWalk, NoRunOf4096OrMoreWalksNothing) {
  ImageBuilder b;
  b.AddDir(300, 1, "a", 100);
  Walked w = Walk(b.View(), TagsOffsetPlain);
  EXPECT_TRUE(w.accepted.empty());
  EXPECT_EQ(7, w.ecc);
  EXPECT_EQ(0, w.maxId);
}

TEST(ScanWalk, PartialLastPageCountsFrom2064Bytes) {
  for (size_t cut : {size_t(2064), size_t(2063)}) {
    SCOPED_TRACE(cut);
    ImageBuilder b;
    b.AddRoot();
    PageRef last = b.AddDir(300, 1, "a");
    std::vector<uint8_t> bytes = b.Cut(PageSize + cut);
    Walked w = Walk(ByteView(bytes.data(), bytes.size()), TagsOffsetPlain);
    std::vector<PageRef> expected{0};
    if (cut >= MinTrailingPage) expected.push_back(last);
    EXPECT_EQ(expected, w.accepted);
  }
}

TEST(ScanWalk, EccProbeOfWalkIterationsOneToFour) {
  struct Case {
    const char* name;
    uint32_t pages;
    uint8_t kind;  // written on every page
    uint8_t expected;
  } cases[] = {
      {"one page probes nothing", 1, EccKindYaffs2, 7},
      {"two pages probe once", 2, EccKindYaffs2, EccKindYaffs2},
      {"nand", 6, EccKindNandFlash, EccKindNandFlash},
      {"none", 6, EccKindNone, EccKindNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder b;
    for (uint32_t i = 0; i < c.pages; ++i) {
      PageRef p = b.AddChunk(300, i + 1, PatternBytes(2048, static_cast<uint8_t>(i)));
      uint8_t ecc[DataEccLength];
      std::memset(ecc, 0xFF, sizeof ecc);
      CalcChunkEcc(b.Page(p), ecc, c.kind);
      b.SetDataEcc(p, ecc);
    }
    EXPECT_EQ(c.expected, Walk(b.View(), TagsOffsetPlain).ecc);
  }
}

TEST(ScanWalk, PlaceOfEachHeaderByTheTableAndTheRecord) {
  constexpr NodeRef node = NodeRef(7);
  std::vector<NodeEntry> table(kNodeTableEntries, NodeEntry{0, NoPage, NoNode});
  NoteFirstPage(table.data(), 300, 9);
  NoteFirstPage(table.data(), 302, 4);
  SetNode(table.data(), 301, node);
  auto record = [](uint32_t id, uint32_t parent) {
    ObjectRecord r;
    r.ObjectId = id;
    r.ParentId = parent;
    return r;
  };
  struct Case {
    const char* name;
    ObjectRecord r;
    HeaderPlace place;
    PageRef first;
    NodeRef node;
  } cases[] = {
      {"root naming itself", record(0x10001, 1), HeaderPlace::Root, NoPage, NoNode},
      {"root with parent 0", record(1, 0), HeaderPlace::Ignored, NoPage, NoNode},
      {"new takes the first page", record(300, 1), HeaderPlace::New, 9, NoNode},
      {"taken once", record(300, 1), HeaderPlace::New, NoPage, NoNode},
      {"known", record(301, 400), HeaderPlace::Known, NoPage, node},
      {"removed by parent 256", record(301, 256), HeaderPlace::Removed, NoPage, node},
      {"born removed by parent 0 still takes its page", record(302, 0), HeaderPlace::Removed, NoPage, NoNode},
      {"parent 257 is ordinary", record(302, 257), HeaderPlace::New, NoPage, NoNode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeaderDecision d = PlaceHeader(table.data(), c.r);
    EXPECT_EQ(c.place, d.Place);
    EXPECT_EQ(c.first, d.First);
    EXPECT_EQ(c.node, d.Node);
  }
  EXPECT_EQ(0, table[RootObjectId].Flag);
  EXPECT_EQ(NoPage, table[RootObjectId].Page);
}

// ---- File pieces -----------------------------------------------------------------

TEST(FilePieces, SizesAroundChunkBoundaries) {
  for (uint32_t size : {0u, 1u, 2047u, 2048u, 2049u, 4096u, 5000u}) {
    SCOPED_TRACE(size);
    const std::string bytes = PatternBytes(size, 3);
    ImageBuilder b;
    PageRef header = b.AddFile(300, 1, "f", bytes);
    Walked w = Walk(b.View(), TagsOffsetPlain);
    ChunkIndex index = ChunkIndex::Build(b.View(), PageSource::Image, w.runs, TagsOffsetPlain);
    const WalkSources sources{&index, nullptr, b.View(), ByteView()};
    std::vector<FilePiece> pieces = FilePieces(FileRecord(b, header, header), w.runs, sources);
    std::string got;
    for (const FilePiece& p : pieces) {
      EXPECT_EQ(got.size(), p.Offset);
      got.append(reinterpret_cast<const char*>(p.Page.data()), p.Length);
    }
    EXPECT_EQ(bytes, got);
    EXPECT_EQ(size, CoveredSize(FileRecord(b, header, header), pieces));
  }
}

TEST(FilePieces, HoldWhatTheChunksHoldAndNoMore) {
  const std::string v = PatternBytes(3 * 2048, 4);
  struct Case {
    const char* name;
    uint32_t size;                // header's size
    std::vector<uint32_t> chunks; // chunk ids written after the header
    std::vector<uint64_t> offsets;
    uint64_t covered;
  } cases[] = {
      {"middle chunk missing", 6144, {1, 3}, {0, 4096}, 6144},
      {"last chunk missing", 6144, {1, 2}, {0, 2048}, 4096},
      {"huge size, one chunk", 0xFFFFFFFFu, {2}, {2048}, 4096},
      {"chunk past the size", 2048, {1, 2, 3}, {0}, 2048},
      {"chunk id 0 is the header", 100, {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder b;
    PageRef header = b.AddHeader(300, FileHeader("f", c.size));
    b.AddFileChunks(300, v, c.chunks);
    b.AddChunk(300, 0xFFFFFFFFu, "x");  // no chunk of any file
    Walked w = Walk(b.View(), TagsOffsetPlain);
    ChunkIndex index = ChunkIndex::Build(b.View(), PageSource::Image, w.runs, TagsOffsetPlain);
    const WalkSources sources{&index, nullptr, b.View(), ByteView()};
    ObjectRecord r = FileRecord(b, header, header);
    std::vector<FilePiece> pieces = FilePieces(r, w.runs, sources);
    std::vector<uint64_t> offsets;
    for (const FilePiece& p : pieces) offsets.push_back(p.Offset);
    EXPECT_EQ(c.offsets, offsets);
    EXPECT_EQ(c.covered, CoveredSize(r, pieces));
  }
}

TEST(FilePieces, PartialLastPageIsReadWithinTheImage) {
  const std::string bytes = PatternBytes(2048 + 100, 6);
  ImageBuilder b;
  PageRef header = b.AddFile(300, 1, "f", bytes);
  std::vector<uint8_t> cut = b.Cut(b.Size() - (PageSize - MinTrailingPage));
  const ByteView image(cut.data(), cut.size());
  Walked w = Walk(image, TagsOffsetPlain);
  ChunkIndex index = ChunkIndex::Build(image, PageSource::Image, w.runs, TagsOffsetPlain);
  const WalkSources sources{&index, nullptr, image, ByteView()};
  std::vector<FilePiece> pieces = FilePieces(FileRecord(b, header, header), w.runs, sources);
  ASSERT_EQ(2u, pieces.size());
  EXPECT_EQ(MinTrailingPage, pieces[1].Page.size());
  EXPECT_EQ(100u, pieces[1].Length);
}

// ---- Rebuilt pages -------------------------------------------------------------

TEST(RebuildPages, FileHeaderAndChunksWithAZeroPageForAMissingChunk) {
  const std::string v = PatternBytes(5000, 8);
  for (const StampSettings& s : {StampSettings{TagsOffsetPlain, EccKindNone}, StampSettings{TagsOffsetMarked, EccKindYaffs2},
                                 StampSettings{TagsOffsetPlain, EccKindNandFlash}}) {
    SCOPED_TRACE(s.TagsOffset * 10 + s.EccKind);
    ImageBuilder b(TagsOffsetMarked);
    PageRef header = b.AddHeader(0x10000 + 300, FileHeader("f", 5000));
    b.AddFileChunks(300, v, {3, 1}, 4097);
    Walked w = Walk(b.View(), TagsOffsetMarked);
    ChunkIndex index = ChunkIndex::Build(b.View(), PageSource::Image, w.runs, TagsOffsetMarked);
    const WalkSources sources{&index, nullptr, b.View(), ByteView()};
    ObjectRecord r = FileRecord(b, header, header);
    ASSERT_EQ(4u, OutputPages(&r));
    std::vector<uint8_t> out(4 * PageSize, 0);
    WriteObjectPages(r, PagesFrom(out.data()), sources, w.runs, TagsOffsetMarked, s);
    const uint8_t* page = out.data();
    EXPECT_EQ((std::vector<uint32_t>{BaseSequenceNumber, 300, 0, HeaderByteCount}),
              (std::vector<uint32_t>{U32At(page + s.TagsOffset), U32At(page + s.TagsOffset + 4),
                                     U32At(page + s.TagsOffset + 8), U32At(page + s.TagsOffset + 12)}));
    for (uint32_t c : {1u, 3u}) {
      SCOPED_TRACE(c);
      page = out.data() + c * PageSize;
      EXPECT_EQ(0, std::memcmp(page, v.data() + (c - 1) * 2048, c == 3 ? 904 : 2048));
      EXPECT_EQ((std::vector<uint32_t>{BaseSequenceNumber, 300, c, c == 3 ? 904u : 2048u}),
                (std::vector<uint32_t>{U32At(page + s.TagsOffset), U32At(page + s.TagsOffset + 4),
                                       U32At(page + s.TagsOffset + 8), U32At(page + s.TagsOffset + 12)}));
      if (s.EccKind != EccKindNone) {
        uint8_t ecc[DataEccLength];
        CalcChunkEcc(page, ecc, s.EccKind);
        EXPECT_EQ(0, std::memcmp(page + DataEccOffset, ecc, DataEccLength));
      }
    }
    EXPECT_EQ(std::vector<uint8_t>(PageSize, 0), std::vector<uint8_t>(out.begin() + 2 * PageSize, out.begin() + 3 * PageSize));
  }
}

TEST(RebuildPages, RootPageFromItsHeaderOrBuilt) {
  ImageBuilder b;
  b.AddDir(300, 1, "a");
  PageRef rootPage = b.AddRoot();
  const WalkSources sources{nullptr, nullptr, b.View(), ByteView()};
  const StampSettings s{TagsOffsetPlain, EccKindNone};
  ObjectRecord root = RecordOfHeaderPage(PageBytes(b.View(), rootPage), TagsOffsetPlain, rootPage);
  std::vector<uint8_t> fromHeader(PageSize), built(PageSize), expected(PageSize);
  WriteRootPage(&root, fromHeader.data(), sources, s);
  std::memcpy(expected.data(), b.Page(rootPage), PageSize);
  StampPage(expected.data(), Tags{BaseSequenceNumber, RootObjectId, 0, HeaderByteCount}, s);
  EXPECT_EQ(expected, fromHeader);

  WriteRootPage(nullptr, built.data(), sources, s);
  DefaultRootPage(expected.data());
  StampPage(expected.data(), Tags{BaseSequenceNumber, RootObjectId, 0, HeaderByteCount}, s);
  EXPECT_EQ(expected, built);
}
