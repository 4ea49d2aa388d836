#include <gtest/gtest.h>

#include <cstring>

#include "ecc.h"
#include "image_builder.h"
#include "rebuildpages.h"

namespace {

using testsupport::HeaderFields;
using testsupport::ImageBuilder;

uint32_t U32At(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// Checks the spare area of a written page against the settings and tags.
void ExpectStamped(const uint8_t* page, const StampSettings& s, const Tags& tags, const uint8_t* sourceEcc) {
  if (s.TagsOffset == 2050) {
    EXPECT_EQ(page[2048], 0xFF);
    EXPECT_EQ(page[2049], 0xFF);
  }
  EXPECT_EQ(U32At(page + s.TagsOffset), tags.SequenceNumber);
  EXPECT_EQ(U32At(page + s.TagsOffset + 4), tags.ObjectId);
  EXPECT_EQ(U32At(page + s.TagsOffset + 8), tags.ChunkId);
  EXPECT_EQ(U32At(page + s.TagsOffset + 12), tags.ByteCount);
  uint8_t tagsEcc[12];
  CalcTagsEcc(page + s.TagsOffset, tagsEcc);
  EXPECT_EQ(0, std::memcmp(page + s.TagsOffset + 16, tagsEcc, 12));
  uint8_t dataEcc[24];
  if (s.EccKind == 0) {
    std::memcpy(dataEcc, sourceEcc, 24);
  } else {
    CalcChunkEcc(page, dataEcc, s.EccKind);
  }
  EXPECT_EQ(0, std::memcmp(page + 2088, dataEcc, 24));
}

TEST(StampPage, MarkerTagsAndEccForEveryKindAndOffset) {
  for (uint32_t offset : {2048u, 2050u}) {
    for (uint8_t kind : {0, 1, 2}) {
      SCOPED_TRACE(std::to_string(offset) + " kind " + std::to_string(kind));
      std::vector<uint8_t> page(PageSize);
      for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7 + 3);
      std::vector<uint8_t> before = page;
      StampSettings s{offset, kind};
      Tags tags{4096, 0x12345, 3, 2048};
      StampPage(page.data(), tags, s);
      ExpectStamped(page.data(), s, tags, before.data() + 2088);
      // The data area and the unused spare bytes keep the source's values.
      EXPECT_EQ(0, std::memcmp(page.data(), before.data(), 2048));
      uint32_t unusedFrom = offset + 28;
      EXPECT_EQ(0, std::memcmp(page.data() + unusedFrom, before.data() + unusedFrom, 2088 - unusedFrom));
    }
  }
}

TEST(RewriteHeader, AppliesTheRecordsEditsAndKeepsTheRest) {
  ImageBuilder b;
  HeaderFields f;
  f.name = "old-name";
  f.parent = 77;
  f.fileSize = 5000;
  f.mtime = 1234567;
  b.AddHeader(300, f);
  ObjectRecord r{};
  SetRecordName(r, std::string(255, 'n'));
  r.Mode = 0100600;
  r.Uid = 1000;
  r.Gid = 2000;
  std::vector<uint8_t> out(PageSize, 0);
  StampSettings s{2050, 1};
  RewriteHeader(out.data(), ByteView(b.Bytes().data(), b.Size()), r, 300, s);
  ObjectHeader h = DecodeObjectHeader(ByteView(out.data(), PageSize));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 10), 255), std::string(255, 'n'));
  EXPECT_EQ(out[265], 0);  // a 255-byte name stays terminated
  EXPECT_EQ(h.Mode, 0100600u);
  EXPECT_EQ(h.Uid, 1000u);
  EXPECT_EQ(h.Gid, 2000u);
  EXPECT_EQ(h.ParentId, 77u);
  EXPECT_EQ(h.FileSize, 5000u);
  EXPECT_EQ(h.MTime, 1234567u);
  ExpectStamped(out.data(), s, Tags{4096, 300, 0, 0xFFFF}, nullptr);
}

TEST(RewriteHeader, PartialSourcePageReadsErasedPastTheEnd) {
  ImageBuilder b;
  HeaderFields f;
  f.name = "tail";
  b.AddHeader(301, f);
  std::vector<uint8_t> cut = b.Cut(2070);
  ObjectRecord r{};
  SetRecordName(r, "tail");
  std::vector<uint8_t> out(PageSize, 0);
  RewriteHeader(out.data(), ByteView(cut.data(), cut.size()), r, 301, StampSettings{2048, 0});
  // Past byte 2070 of the source nothing was there: erased bytes, not zeros.
  for (size_t i = 2088; i < PageSize; ++i) EXPECT_EQ(out[i], 0xFF) << i;
}

}  // namespace
