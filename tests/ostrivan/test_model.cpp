#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "image_builder.h"
#include "model.h"

using testsupport::ImageBuilder;

namespace {

// Handles the program would give its tree nodes.
constexpr NodeRef NodeA = NodeRef(1);
constexpr NodeRef NodeB = NodeRef(2);
constexpr NodeRef Root = NodeRef(3);

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

// ---- ObjectRecord ------------------------------------------------------------

TEST(ObjectRecord, FilledFromHeaderWithNameCutTo255Bytes) {
  testsupport::HeaderFields f;
  f.type = ObjectTypeFile;
  f.parent = 0x10105;
  f.name = std::string(256, 'x');  // no terminator in the image
  f.fileSize = 5000;
  f.mode = 0x81ED;
  f.uid = 7;
  f.gid = 8;
  f.atime = 1;
  f.mtime = 2;
  f.ctime = 3;
  f.equivalentId = 0x20000;
  f.alias = std::string(160, 'a');
  ImageBuilder b;
  b.AddPage({4096, 1, 0, 0});
  b.AddHeader(0x10120, f, 4100, 5000);
  ByteView page = PageBytes(b.View(), 1);

  ObjectRecord r = RecordFromHeader(DecodeObjectHeader(page), DecodeTags(page, TagsOffsetPlain), 1);
  EXPECT_EQ(1, r.Valid);
  EXPECT_EQ(1u, r.HeaderPage);
  EXPECT_EQ(NoPage, r.FirstPage);
  EXPECT_EQ(std::string(255, 'x'), RecordName(r));
  EXPECT_EQ((std::vector<uint32_t>{ObjectTypeFile, 0x10105, 0x10120, 5000, 0x81ED, 7, 8, 1, 2, 3, 0x20000, 5000}),
            (std::vector<uint32_t>{r.ObjectType, r.ParentId, r.ObjectId, r.FileSize, r.Mode, r.Uid, r.Gid, r.ATime,
                                   r.MTime, r.CTime, r.EquivalentId, r.TagsByteCount}));
  EXPECT_EQ(std::string(160, 'a'), std::string(r.Alias, sizeof r.Alias));
  EXPECT_FALSE(InWorkFile(r));
  // A header on page 0 is still in the image; only a record without one is not.
  EXPECT_FALSE(InWorkFile(RecordFromHeader(ObjectHeader(), Tags(), 0)));
  EXPECT_TRUE(InWorkFile(ObjectRecord()));
}

// The open command's root record and the rebuild's page 0 for a root that
// no header describes come from one header.
TEST(ObjectRecord, DefaultRootRecordIsTheRecordOfItsHeader) {
  ObjectRecord r = DefaultRootRecord();
  std::vector<uint8_t> page(PageSize, 0xFF);
  EncodeObjectHeader(DefaultRootHeader(), page.data());
  ObjectHeader h = DecodeObjectHeader(ByteView(page.data(), page.size()));
  ObjectRecord fromPage = RecordFromHeader(h, Tags{BaseSequenceNumber, RootObjectId, 0, HeaderByteCount}, NoPage);
  // Every member; the padding bytes after Valid hold nothing and differ.
  EXPECT_EQ(r.Valid, fromPage.Valid);
  constexpr size_t fields = offsetof(ObjectRecord, HeaderPage);
  EXPECT_EQ(0, std::memcmp(reinterpret_cast<const char*>(&r) + fields, reinterpret_cast<const char*>(&fromPage) + fields,
                           sizeof r - fields));
  EXPECT_EQ(1, r.Valid);
  EXPECT_EQ((std::vector<uint32_t>{ObjectTypeDirectory, RootObjectId, RootObjectId, 0, 040755, 0, 0, 0, 0, 0,
                                   0xFFFFFFFF, HeaderByteCount}),
            (std::vector<uint32_t>{r.ObjectType, r.ParentId, r.ObjectId, r.FileSize, r.Mode, r.Uid, r.Gid, r.ATime,
                                   r.MTime, r.CTime, r.EquivalentId, r.TagsByteCount}));
  EXPECT_EQ("", RecordName(r));
  EXPECT_EQ(std::string(AliasFieldSize, '\xFF'), std::string(r.Alias, sizeof r.Alias));
  EXPECT_EQ(0xFFFFFFFFu, h.Rdev);  // the rest of the header is erased
}

TEST(ObjectRecord, NameOf255Utf8BytesFitsWithItsTerminator) {
  std::string name255 = Repeat(u8"中", 85);
  ASSERT_EQ(255u, name255.size());
  struct Case {
    const char* name;
    std::string in;
    std::string stored;
  } cases[] = {
      {"255 bytes", name255, name255},
      {"256 bytes lose the last", name255 + "x", name255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ObjectRecord r;
    std::memset(r.Name, 'z', sizeof r.Name);
    SetRecordName(r, c.in);
    EXPECT_EQ(c.stored, RecordName(r));
    EXPECT_EQ(std::string(256 - c.stored.size(), '\0'), std::string(r.Name + c.stored.size(), 256 - c.stored.size()));
  }
}

// ---- NodeTable -------------------------------------------------------------------

// A table as a fresh open leaves it: no flag, no page, no node.
class NodeTableTest : public ::testing::Test {
protected:
  std::vector<NodeEntry> entries = std::vector<NodeEntry>(kNodeTableEntries, NodeEntry{0, NoPage, NoNode});
  NodeEntry* table = entries.data();
};

TEST_F(NodeTableTest, FirstPageIsKeptAndPage0IsAPage) {
  NoteFirstPage(table, 300, 0);
  NoteFirstPage(table, 300, 5);
  EXPECT_EQ(0u, table[300].Page);
  NoteFirstPage(table, 0x1012D, 9);  // same low 16 bits as 301
  NoteFirstPage(table, 301, 10);
  EXPECT_EQ(9u, table[301].Page);
  EXPECT_EQ(0u, TakeFirstPage(table, 300));
  EXPECT_EQ(1, table[300].Flag);
  EXPECT_EQ(NoPage, table[300].Page);
  EXPECT_EQ(NoPage, TakeFirstPage(table, 300));  // flag already 1
  NoteFirstPage(table, 300, 11);                    // flag 1: pages are no longer noted
  EXPECT_EQ(NoPage, table[300].Page);
  EXPECT_EQ(NoPage, TakeFirstPage(table, 302));     // nothing seen
}

TEST_F(NodeTableTest, TheRootsEntryNeverTakesAPage) {
  SetRootNode(table, Root);
  NoteFirstPage(table, RootObjectId, 4);
  NoteFirstPage(table, 0x10001, 5);  // same low 16 bits as the root
  NoteFirstPage(table, 2, 6);        // the id beside it does
  EXPECT_EQ(NoPage, table[RootObjectId].Page);
  EXPECT_EQ(Root, NodeRefOf(table, RootObjectId));
  EXPECT_EQ(6u, table[2].Page);
}

TEST_F(NodeTableTest, NodeOfFollowsTheRules) {
  SetRootNode(table, Root);
  NoteFirstPage(table, 260, 3);      // flag 0 with a page: not a node
  SetNode(table, 300, NodeA);
  SetNode(table, 301, NoNode);       // removed or born removed
  SetNode(table, 0xFFFF, NodeB);
  struct Case {
    uint32_t id;
    NodeRef node;
  } cases[] = {
      {0x10001, Root}, {260, NoNode}, {300, NodeA}, {0x7012C, NodeA},
      {301, NoNode},   {0, NoNode},   {0xFFFF, NodeB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(c.node, NodeRefOf(table, c.id));
  }
}

TEST_F(NodeTableTest, RemovalClearsReferencesAndKeepsFlags) {
  SetRootNode(table, Root);
  SetNode(table, 300, NodeA);
  SetNode(table, 301, NodeB);
  ClearNodeReference(table, 300, NodeB);  // entry refers to another node: kept
  EXPECT_EQ(NodeA, NodeRefOf(table, 300));
  ClearNodeReference(table, 0x1012C, NodeA);
  EXPECT_EQ(NoNode, NodeRefOf(table, 300));
  EXPECT_EQ(1, table[300].Flag);
  ClearNodeReferences(table, {301, 1});
  EXPECT_EQ(NoNode, NodeRefOf(table, 301));
  EXPECT_EQ(1, table[301].Flag);
  EXPECT_EQ(NoNode, NodeRefOf(table, 1));
  EXPECT_EQ(0, table[1].Flag);
}

TEST(NodeTable, NullTableHoldsNothing) {
  NoteFirstPage(nullptr, 5, 1);
  SetNode(nullptr, 5, NodeA);
  ClearNodeReferences(nullptr, {5});
  EXPECT_EQ(NoNode, NodeRefOf(nullptr, 5));
  EXPECT_EQ(NoPage, TakeFirstPage(nullptr, 5));
}

// ---- RunList -----------------------------------------------------------------------

namespace {

RunEntry ImageRun(uint32_t seq, PageRef first, PageRef last) { return {seq, PageSource::Image, first, last}; }

// One page per sequence number of seqs, in physical order.
ImageBuilder PagesOf(std::initializer_list<uint32_t> seqs, uint32_t tagsOffset = TagsOffsetPlain) {
  ImageBuilder b(tagsOffset);
  uint32_t id = 300;
  for (uint32_t s : seqs) {
    if (s == ErasedSequenceNumber)
      b.AddErased();
    else
      b.AddChunk(id++, 1, "x", s);
  }
  return b;
}

}  // namespace

TEST(RunList, RunsAreSortedBySequenceNumberUnsignedThenPosition) {
  struct Case {
    const char* name;
    ImageBuilder image;
    std::vector<RunEntry> runs;
  } cases[] = {
      {"4097, 4096, 5000, erased",
       PagesOf({4097, 4097, 4096, 4096, 4096, 5000, 0xFFFFFFFF, 0xFFFFFFFF}),
       {ImageRun(4096, 2, 4), ImageRun(4097, 0, 1), ImageRun(5000, 5, 5), ImageRun(0xFFFFFFFF, 6, 7)}},
      {"two runs of 4096 around 4097",
       PagesOf({4096, 4097, 4097, 4096}),
       {ImageRun(4096, 0, 0), ImageRun(4096, 3, 3), ImageRun(4097, 1, 2)}},
      {"0x80000000 sorts above 5000",
       PagesOf({0x80000000, 5000, 1000, 0xFFFFFFFF}),
       {ImageRun(1000, 2, 2), ImageRun(5000, 1, 1), ImageRun(0x80000000, 0, 0), ImageRun(0xFFFFFFFF, 3, 3)}},
      {"tags at 2050", PagesOf({4097, 4096}, TagsOffsetMarked), {ImageRun(4096, 1, 1), ImageRun(4097, 0, 0)}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.runs, RunEntryList::FromImage(c.image.View(), c.image.TagsOffset()).Entries());
  }
}

TEST(RunList, PartialLastPageCountsFrom2064Bytes) {
  ImageBuilder b = PagesOf({4096, 4097});
  EXPECT_EQ(std::vector<RunEntry>{ImageRun(4096, 0, 0)},
            RunEntryList::FromImage(ByteView(b.Bytes().data(), 2112 + 2063), TagsOffsetPlain).Entries());
  std::vector<RunEntry> two{ImageRun(4096, 0, 0), ImageRun(4097, 1, 1)};
  EXPECT_EQ(two, RunEntryList::FromImage(ByteView(b.Bytes().data(), 2112 + 2064), TagsOffsetPlain).Entries());
  EXPECT_EQ(0u, RunEntryList::FromImage(ByteView(b.Bytes().data(), 2063), TagsOffsetPlain).Count());
}

TEST(RunList, WalkStartsAtTheFirstRunOf4096OrMore) {
  struct Case {
    const char* name;
    ImageBuilder image;
    size_t start;
  } cases[] = {
      {"lowest-placed 4096", PagesOf({4096, 4097, 4096}), 0},
      {"no 4096, 5000 present", PagesOf({1000, 5000, 4097}), 1},
      {"4095 is below", PagesOf({4095, 4097}), 1},
      {"only lower runs: the WorkFile entry", PagesOf({1000, 4095}), 2},
      {"lower runs and erased pages: the erased run", PagesOf({1000, 0xFFFFFFFF}), 1},
      {"no page: the WorkFile entry", ImageBuilder(), 0},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunEntryList list = RunEntryList::FromImage(c.image.View(), TagsOffsetPlain);
    list.AppendWorkFileEntry(0, 0);
    EXPECT_EQ(c.start, list.FirstRunAtOrAbove(BaseSequenceNumber));
  }
  EXPECT_EQ(RunEntryList::NoEntry, RunEntryList().FirstRunAtOrAbove(BaseSequenceNumber));
}

TEST(RunList, WorkFileEntryStaysLastAndIsRewritten) {
  ImageBuilder b = PagesOf({4097, 4096});
  RunEntryList list = RunEntryList::FromImage(b.View(), TagsOffsetPlain);
  list.AppendWorkFileEntry(0, 0);
  EXPECT_EQ(2u, list.Next(1));
  list.SetWorkFileEntry(1, 4);
  EXPECT_EQ(3u, list.Count());
  EXPECT_EQ((RunEntry{4096, PageSource::WorkFile, 1, 4}), list[list.Last()]);

  // Without one yet, setting it appends it.
  RunEntryList bare = RunEntryList::FromImage(b.View(), TagsOffsetPlain);
  bare.SetWorkFileEntry(1, 2);
  EXPECT_EQ((std::vector<RunEntry>{ImageRun(4096, 1, 1), ImageRun(4097, 0, 0), {4096, PageSource::WorkFile, 1, 2}}),
            bare.Entries());
}

TEST(RunList, EntryHoldingAPageWithinItsSource) {
  ImageBuilder b = PagesOf({4097, 4097, 4096, 4096, 0xFFFFFFFF});
  RunEntryList list = RunEntryList::FromImage(b.View(), TagsOffsetPlain);
  list.AppendWorkFileEntry(1, 4);
  // 0: 4096 pages 2-3; 1: 4097 pages 0-1; 2: erased page 4; 3: WorkFile pages 1-4.
  struct Case {
    PageSource source;
    PageRef page;
    size_t entry;
  } cases[] = {
      {PageSource::Image, 1, 1},         {PageSource::Image, 2, 0},   {PageSource::Image, 4, 2},
      {PageSource::Image, 5, RunEntryList::NoEntry},                  {PageSource::Image, NoPage, RunEntryList::NoEntry},
      {PageSource::WorkFile, 0, RunEntryList::NoEntry},                {PageSource::WorkFile, 4, 3},
      {PageSource::WorkFile, 5, RunEntryList::NoEntry},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.source)) + "/" + std::to_string(c.page));
    EXPECT_EQ(c.entry, list.EntryHolding(c.source, c.page));
  }
}

// ---- Service routines -----------------------------------------------------------

TEST(FillBytes, FlagAndCountDecideWhatIsWritten) {
  struct Case {
    int count;
    int flag;
    std::vector<uint8_t> after;
  } cases[] = {
      {3, 1, {0xFF, 0xFF, 0xFF, 0x5A}}, {3, 0, {0x00, 0x00, 0x00, 0x5A}},
      {3, 2, {0x5A, 0x5A, 0x5A, 0x5A}}, {-5, 0, {0x5A, 0x5A, 0x5A, 0x5A}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + "/" + std::to_string(c.flag));
    std::vector<uint8_t> buffer(4, 0x5A);
    FillBytes(buffer.data(), c.count, c.flag);
    EXPECT_EQ(c.after, buffer);
  }
}

TEST(SizeText, TwoDecimalsRoundedHalfUp) {
  struct Case {
    uint32_t bytes;
    const char* text;
  } cases[] = {
      {5242, "0.00MB"},   {5243, "0.01MB"},   {131071, "0.12MB"},
      {131072, "0.13MB"}, {0xFFFFFFFFu, "4096.00MB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(c.text, SizeText(c.bytes));
  }
}
