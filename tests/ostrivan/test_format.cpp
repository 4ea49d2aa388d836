#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <vector>

#include "format.h"
#include "image_builder.h"

using testsupport::HeaderFields;
using testsupport::ImageBuilder;

namespace {

// Bytes placed so that the last one sits right before memory that must not
// be read: under Windows a no-access page, so a read past the end faults; in
// the host build an allocation of exactly their size, which the address
// sanitizer guards.
class GuardedBytes {
public:
  explicit GuardedBytes(const std::vector<uint8_t>& src) : size_(src.size()) {
#ifdef _WIN32
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    size_t page = si.dwPageSize;
    size_t span = (src.size() + page - 1) / page * page + page;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + span, page, PAGE_NOACCESS, &old);
    data_ = base_ + span - src.size();
#else
    base_ = new uint8_t[src.size() ? src.size() : 1];
    data_ = base_;
#endif
    if (!src.empty()) std::memcpy(data_, src.data(), src.size());
  }
  ~GuardedBytes() {
#ifdef _WIN32
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    delete[] base_;
#endif
  }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  ByteView View() const { return ByteView(data_, size_); }

private:
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) { return std::vector<uint8_t>(b); }

}  // namespace

TEST(PageCount, WholePagesPlusTrailingPageOfAtLeast2064Bytes) {
  struct Case {
    uint32_t size;
    uint32_t pages;
  } cases[] = {
      {0, 0},
      {2063, 0},
      {2064, 1},
      {2111, 1},
      {2112, 1},
      {2112 + 2063, 1},
      {2112 + 2064, 2},
      {2112 * 3 + 2063, 3},
      {2112 * 3 + 2064, 4},
      {0xFFFFFFFFu, 0xFFFFFFFFu / 2112},  // remainder 1983: no trailing page
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(c.pages, PageCount(c.size));
  }
}

TEST(ByteView, ReadsPastTheEndGiveErasedBytesWithoutTouchingThem) {
  GuardedBytes g(Bytes({0x11, 0x22, 0x33, 0x44, 0x55}));
  ByteView v = g.View();
  EXPECT_EQ(0x55443322u, v.U32(1));  // exactly at the end
  EXPECT_EQ(0xFF554433u, v.U32(2));  // one past
  EXPECT_EQ(0x5544u, v.U16(3));
  EXPECT_EQ(0xFF55u, v.U16(4));
  EXPECT_EQ(0xFFFFFFFFu, v.U32(5));
  EXPECT_EQ(0xFFu, v.U8(5));
  EXPECT_EQ(0xFFFFFFFFu, v.U32(static_cast<size_t>(-2)));  // offset arithmetic cannot wrap
  uint8_t out[4];
  v.CopyOut(3, 4, out);
  EXPECT_EQ(Bytes({0x44, 0x55, 0xFF, 0xFF}), std::vector<uint8_t>(out, out + 4));
}

TEST(ByteView, ContainsAndSubAreBoundedWithoutOverflow) {
  GuardedBytes g(std::vector<uint8_t>(10, 7));
  ByteView v = g.View();
  EXPECT_TRUE(v.Contains(6, 4));
  EXPECT_FALSE(v.Contains(7, 4));
  EXPECT_TRUE(v.Contains(10, 0));
  EXPECT_FALSE(v.Contains(11, 0));
  EXPECT_FALSE(v.Contains(1, static_cast<size_t>(-1)));
  EXPECT_FALSE(v.Contains(static_cast<size_t>(-1), 2));
  EXPECT_EQ(4u, v.Sub(6, 100).size());
  EXPECT_EQ(0u, v.Sub(10, 1).size());
  EXPECT_EQ(0u, v.Sub(static_cast<size_t>(-1), 5).size());
}

TEST(PageBytes, TrailingPartialPageReadsErasedPastTheEnd) {
  ImageBuilder b(TagsOffsetMarked);
  b.AddChunk(300, 1, "a", 4096);
  b.AddChunk(0x01020304, 2, std::string(2048, 'b'), 4096, 0x0000ABCD);
  struct Case {
    size_t cut;
    uint32_t byteCount;  // tags at 2050..2065 of page 1
  } cases[] = {
      {2112 + 2064, 0xFFFFABCD},  // counted partial page: bytes 2064 and 2065 lie past the end
      {2112 + 2065, 0xFF00ABCD},
      {2112 + 2066, 0x0000ABCD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cut);
    GuardedBytes g(b.Cut(c.cut));
    ASSERT_EQ(2u, PageCount(static_cast<uint32_t>(c.cut)));
    ByteView page = PageBytes(g.View(), 1);
    EXPECT_EQ(c.cut - 2112, page.size());
    Tags t = DecodeTags(page, TagsOffsetMarked);
    EXPECT_EQ(4096u, t.SequenceNumber);
    EXPECT_EQ(0x01020304u, t.ObjectId);
    EXPECT_EQ(2u, t.ChunkId);
    EXPECT_EQ(c.byteCount, t.ByteCount);
    uint8_t spare[SpareSize];
    page.CopyOut(ChunkSize, SpareSize, spare);
    EXPECT_EQ(0xFF, spare[SpareSize - 1]);
  }
}

TEST(PageBytes, PagesPastTheEndAreEmptyAndReadErased) {
  ImageBuilder b;
  b.AddChunk(5, 1, "x");
  GuardedBytes g(b.Bytes());
  EXPECT_EQ(2112u, PageBytes(g.View(), 0).size());
  EXPECT_EQ(0u, PageBytes(g.View(), 1).size());
  EXPECT_EQ(0u, PageBytes(g.View(), 0xFFFFFFFFu).size());
  EXPECT_EQ(0xFFFFFFFFu, PageSequenceNumber(PageBytes(g.View(), 1), TagsOffsetPlain));
}

TEST(DetectTagsOffset, OnlySpareBytes0And1OfPage0Count) {
  ImageBuilder marked(TagsOffsetMarked);
  marked.AddRoot();
  marked.AddDir(300, 1, "a");
  ImageBuilder plainAfterMarked(TagsOffsetMarked);
  plainAfterMarked.AddRoot();
  ImageBuilder plain;
  plain.AddRoot();
  plain.AddDir(300, 1, "a");
  ImageBuilder erasedFirst;
  erasedFirst.AddErased();
  erasedFirst.AddRoot();
  ImageBuilder lowFF;
  lowFF.AddRoot(0x0000FFFF);  // sequence number's low bytes are FF FF: read as a marker
  ImageBuilder half;
  half.AddRoot(0x000000FF);

  std::vector<uint8_t> markedThenPlain = plainAfterMarked.Bytes();
  {
    ImageBuilder second;
    second.AddDir(300, 1, "a");
    markedThenPlain.insert(markedThenPlain.end(), second.Bytes().begin(), second.Bytes().end());
  }
  std::vector<uint8_t> short2049(2049, 0xFF);
  std::vector<uint8_t> short2050(2050, 0xFF);
  std::vector<uint8_t> short2050Plain(2050, 0xFF);
  short2050Plain[2049] = 0x10;

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t offset;
  } cases[] = {
      {"marker FF FF", marked.Bytes(), 2050},
      {"marker on page 0, tags at 2048 later", markedThenPlain, 2050},
      {"tags at 2048", plain.Bytes(), 2048},
      {"erased page 0", erasedFirst.Bytes(), 2050},
      {"sequence number ending in FF FF", lowFF.Bytes(), 2050},
      {"only byte 2048 is FF", half.Bytes(), 2048},
      {"empty file", {}, 2048},
      {"2048 bytes", std::vector<uint8_t>(2048, 0xFF), 2048},
      {"2049 bytes", short2049, 2048},
      {"2050 bytes with FF FF", short2050, 2050},
      {"2050 bytes, byte 2049 not FF", short2050Plain, 2048},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GuardedBytes g(c.bytes);
    EXPECT_EQ(c.offset, DetectTagsOffset(g.View()));
  }
}

TEST(Tags, DecodeAndEncodeAtBothOffsets) {
  for (uint32_t offset : {TagsOffsetPlain, TagsOffsetMarked}) {
    SCOPED_TRACE(offset);
    ImageBuilder b(offset);
    Tags t{0x80001000, 0x00120105, 7, 1234};
    b.AddPage(t, "data");
    ByteView page = PageBytes(b.View(), 0);
    EXPECT_EQ(t, DecodeTags(page, offset));
    uint8_t out[TagsLength];
    EncodeTags(t, out);
    EXPECT_EQ(0, std::memcmp(out, page.data() + offset, TagsLength));
    // The marker, or the sequence number's first two bytes.
    EXPECT_EQ(offset == TagsOffsetMarked ? 0xFFFFu : 0x1000u, page.U16(2048));
  }
}

TEST(ObjectHeader, DecodesEveryFieldAndEncodesTheSameBytes) {
  HeaderFields f;
  f.type = ObjectTypeSymlink;
  f.parent = 0x00010102;
  f.name = std::string(256, 'n');  // fills the field, no terminating zero
  f.mode = 0xA1FF;
  f.uid = 1000;
  f.gid = 2000;
  f.atime = 0x5F000001;
  f.mtime = 0x5F000002;
  f.ctime = 0x5F000003;
  f.fileSize = 0x12345678;
  f.equivalentId = 0xFFFFFFFF;
  f.alias = "/system/bin/toolbox";
  f.rdev = 0x0801;
  ImageBuilder b;
  b.AddHeader(400, f);
  ByteView page = PageBytes(b.View(), 0);

  ObjectHeader h = DecodeObjectHeader(page);
  EXPECT_EQ(f.type, h.ObjectType);
  EXPECT_EQ(f.parent, h.ParentId);
  EXPECT_EQ(0xFFFF, h.Checksum);
  EXPECT_EQ(f.name, std::string(h.Name.begin(), h.Name.end()));
  EXPECT_EQ(0xFFFF, h.Padding);
  EXPECT_EQ(f.mode, h.Mode);
  EXPECT_EQ(f.uid, h.Uid);
  EXPECT_EQ(f.gid, h.Gid);
  EXPECT_EQ(f.atime, h.ATime);
  EXPECT_EQ(f.mtime, h.MTime);
  EXPECT_EQ(f.ctime, h.CTime);
  EXPECT_EQ(f.fileSize, h.FileSize);
  EXPECT_EQ(f.equivalentId, h.EquivalentId);
  EXPECT_EQ(std::string(f.alias) + std::string(160 - f.alias.size(), '\0'), std::string(h.Alias.begin(), h.Alias.end()));
  EXPECT_EQ(f.rdev, h.Rdev);
  EXPECT_EQ(std::vector<uint8_t>(48, 0xFF), std::vector<uint8_t>(h.Reserved.begin(), h.Reserved.end()));

  std::vector<uint8_t> out(ObjectHeaderSize, 0);
  EncodeObjectHeader(h, out.data());
  EXPECT_EQ(std::vector<uint8_t>(page.data(), page.data() + ObjectHeaderSize), out);
}

TEST(ObjectHeader, EncodeKeepsReservedBytesAsDecoded) {
  ImageBuilder b;
  b.AddDir(300, 1, "d");
  for (int i = 0; i < 48; ++i) b.Page(0)[464 + i] = static_cast<uint8_t>(i);
  ByteView page = PageBytes(b.View(), 0);
  std::vector<uint8_t> out(ObjectHeaderSize, 0);
  EncodeObjectHeader(DecodeObjectHeader(page), out.data());
  EXPECT_EQ(std::vector<uint8_t>(page.data(), page.data() + ObjectHeaderSize), out);
}

TEST(HeaderTest, TypeSequenceNumberAndByteCount) {
  struct Case {
    const char* name;
    uint32_t type;
    uint32_t seq;
    uint32_t byteCount;
    uint32_t fileSize;
    bool passes;
  } cases[] = {
      {"byte count 0xFFFF", 1, 4096, 0xFFFF, 100, true},
      {"byte count 0", 1, 4096, 0, 100, true},
      {"byte count equals file size", 1, 4096, 100, 100, true},
      {"byte count 2048, file size 100", 1, 4096, 2048, 100, false},
      {"byte count 0x1FFFF", 1, 4096, 0x1FFFF, 100, false},
      {"type 5", 5, 4096, 0xFFFF, 0, true},
      {"type 6", 6, 4096, 0xFFFF, 0, false},
      {"type 0xFFFFFFFF (unsigned)", 0xFFFFFFFF, 4096, 0xFFFF, 0, false},
      {"type 0", 0, 4096, 0xFFFF, 0, true},
      {"sequence number 0", 3, 0, 0xFFFF, 0, false},
      {"sequence number 1", 3, 1, 0xFFFF, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeaderFields f;
    f.type = c.type;
    f.fileSize = c.fileSize;
    ImageBuilder b;
    b.AddHeader(300, f, c.seq, c.byteCount);
    EXPECT_EQ(c.passes, PassesHeaderTest(PageBytes(b.View(), 0), TagsOffsetPlain));
  }
}

TEST(HeaderTest, DataChunkThatLooksLikeAHeaderPasses) {
  for (uint32_t offset : {TagsOffsetPlain, TagsOffsetMarked}) {
    SCOPED_TRACE(offset);
    ImageBuilder b(offset);
    b.AddChunk(300, 3, std::string("\x01\x00\x00\x00", 4), 4096, 0);
    b.AddChunk(300, 3, std::string("\x06\x00\x00\x00", 4), 4096, 0);
    EXPECT_TRUE(PassesHeaderTest(PageBytes(b.View(), 0), offset));
    EXPECT_FALSE(PassesHeaderTest(PageBytes(b.View(), 1), offset));
  }
}

TEST(HeaderTest, ErasedPageNeverPasses) {
  ImageBuilder b;
  b.AddErased();
  EXPECT_FALSE(PassesHeaderTest(PageBytes(b.View(), 0), TagsOffsetPlain));
  EXPECT_FALSE(PassesHeaderTest(ByteView(), TagsOffsetPlain));
}
