#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "addfilefun.h"
#include "image_builder.h"
#include "model.h"

using testsupport::PatternBytes;
using testsupport::ScratchFolder;
using testsupport::WriteBytes;

namespace {

// The WorkFile's layout written out here, apart from the program's constants.
constexpr size_t kPage = 2112;
constexpr size_t kData = 2048;

// A worker whose synchronised calls write down what they saw.
class RecordingWorker : public addfilefunThread {
public:
  std::vector<std::string> log;
  std::string probePath;             // a host file that must be held exclusively while it is read
  bool probeAdmitted = false;

protected:
  void ShowCurrentItem() override {
    log.push_back("item " + CurrentItem);
    if (!probePath.empty()) {
      HANDLE h = CreateFileA(probePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      probeAdmitted = h != INVALID_HANDLE_VALUE;
      if (probeAdmitted) CloseHandle(h);
    }
  }
  void ShowProgressPosition() override { log.push_back("position " + std::to_string(Position)); }
  void AttachAddedNode() override {
    log.push_back("attach " + std::to_string(NewRecord.ObjectId) + " under " + std::to_string(TargetFolderId) + " " +
                  CurrentItem);
  }
};

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Offset of the first byte where a and b differ, -1 when they are the same.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return static_cast<long>(i);
  return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

// Spare area of a WorkFile page: zero bytes with the tags at tagsOffset.
void PutSpare(std::vector<uint8_t>& page, uint32_t tagsOffset, uint32_t id, uint32_t chunk, uint32_t count) {
  std::memset(&page[kData], 0, kPage - kData);
  Put32(&page[tagsOffset], 4096);
  Put32(&page[tagsOffset + 4], id);
  Put32(&page[tagsOffset + 8], chunk);
  Put32(&page[tagsOffset + 12], count);
}

struct ExpectedHeader {
  uint32_t type;
  uint32_t parent;
  std::string name;                  // UTF-8 bytes of the name field
  uint32_t mode;
  uint32_t size;
};

// The header page as it must be, with its three time stamps taken from the
// actual page once each is found within [earliest, latest].
std::vector<uint8_t> ExpectedHeaderPage(const ExpectedHeader& e, uint32_t id, uint32_t tagsOffset,
                                        const uint8_t* actual, uint32_t earliest, uint32_t latest) {
  std::vector<uint8_t> page(kPage, 0xFF);
  Put32(&page[0], e.type);
  Put32(&page[4], e.parent);
  Put16(&page[8], 0xFFFF);
  std::memset(&page[10], 0, 256);
  std::memcpy(&page[10], e.name.data(), e.name.size());
  Put16(&page[266], 0xFFFF);
  Put32(&page[268], e.mode);
  Put32(&page[272], 0);
  Put32(&page[276], 0);
  for (size_t at : {280u, 284u, 288u}) {
    uint32_t t = Get32(actual + at);
    EXPECT_LE(earliest, t) << "time at " << at;
    EXPECT_GE(latest, t) << "time at " << at;
    Put32(&page[at], t);
  }
  Put32(&page[292], e.size);
  Put32(&page[296], 0xFFFFFFFF);  // the alias at 300 stays 0xFF
  Put32(&page[460], 0);
  PutSpare(page, tagsOffset, id, 0, 0xFFFF);
  return page;
}

std::vector<uint8_t> ExpectedDataPage(const std::string& bytes, uint32_t chunk, uint32_t id, uint32_t tagsOffset) {
  std::vector<uint8_t> page(kPage, 0);
  std::string part = bytes.substr((chunk - 1) * kData, kData);
  std::memcpy(page.data(), part.data(), part.size());
  PutSpare(page, tagsOffset, id, chunk, static_cast<uint32_t>(part.size()));
  return page;
}

std::vector<uint8_t> WorkPage(uint32_t index) {
  const uint8_t* p = WorkView + index * kPage;
  return std::vector<uint8_t>(p, p + kPage);
}

std::vector<uint8_t> WorkFileBytes() { return std::vector<uint8_t>(WorkView, WorkView + WorkFileSize); }

uint64_t WorkFileLengthOnDisk() {
  LARGE_INTEGER size{};
  GetFileSizeEx(WorkFileHandle, &size);
  return static_cast<uint64_t>(size.QuadPart);
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const RunEntry kImageRun{4096, PageSource::Image, 0, 9};

// Each test gets a WorkFile of its own in a scratch program folder.
class WorkFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(scratch.Path().empty());
    OverrideProgramDir(scratch.Path());
    WorkFileName = "tmpfile0.dat";
    InputTagsOffset = 2048;
    MaxObjectId = 0;
    Fresh();
  }
  void TearDown() override {
    ReleaseWorkFile();
    OverrideProgramDir("");
    WorkFileName.clear();
    RunList.Clear();
    MaxObjectId = 0;
    InputTagsOffset = 2048;
  }
  // A new WorkFile after a scan of one image run, as the scan leaves it.
  void Fresh() {
    RunList.Clear();
    RunList.Append(kImageRun);
    ASSERT_NE(nullptr, CreateWorkFile());
    RunList.AppendWorkFileEntry(0, 0);
  }
  std::string Host(const std::string& name, const std::string& bytes) {
    std::string path = scratch.File(name);
    EXPECT_TRUE(WriteBytes(path, bytes.data(), bytes.size()));
    return path;
  }

  ScratchFolder scratch;
};

}  // namespace

// ---- CreateWorkFile ----------------------------------------------------------------

TEST_F(WorkFileTest, CreationReplacesAnOldFileWithOneZeroPageHeldExclusively) {
  ReleaseWorkFile();
  Host("tmpfile0.dat", PatternBytes(5000));
  ASSERT_NE(nullptr, CreateWorkFile());
  EXPECT_EQ(std::vector<uint8_t>(kPage, 0), WorkFileBytes());
  EXPECT_EQ(2112u, WorkFileLengthOnDisk());
  HANDLE other = CreateFileA(scratch.File("tmpfile0.dat").c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, other);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);

  // In a missing folder nothing is left open.
  ReleaseWorkFile();
  OverrideProgramDir(scratch.File("missing\\"));
  EXPECT_EQ(nullptr, CreateWorkFile());
  EXPECT_EQ(nullptr, WorkView);
  EXPECT_EQ(nullptr, WorkFileHandle);
  EXPECT_EQ(0u, WorkFileSize);
}

// ---- AddObject: pages and records ----------------------------------------------------

TEST_F(WorkFileTest, FileOf5000BytesTakesHeaderAndThreeDataPages) {
  std::string bytes = PatternBytes(5000, 3);
  std::string path = Host("data.bin", bytes);
  RecordingWorker w;
  w.CurrentItem = path;
  w.Position = 7;
  w.probePath = path;
  uint32_t earliest = CurrentTimeStamp();
  EXPECT_EQ(257, w.AddObject(path, "data.bin", 1, 300));
  uint32_t latest = CurrentTimeStamp();

  ASSERT_EQ(10560u, WorkFileSize);
  EXPECT_EQ(10560u, WorkFileLengthOnDisk());
  EXPECT_EQ(257, MaxObjectId);
  EXPECT_EQ((std::vector<RunEntry>{kImageRun, {4096, PageSource::WorkFile, 1, 4}}), RunList.Entries());

  EXPECT_EQ(std::vector<uint8_t>(kPage, 0), WorkPage(0));
  std::vector<uint8_t> header = WorkPage(1);
  EXPECT_EQ(-1, FirstDifference(ExpectedHeaderPage({1, 300, "data.bin", 0x81ED, 5000}, 257, 2048, header.data(),
                                                   earliest, latest),
                                header));
  for (uint32_t chunk = 1; chunk <= 3; ++chunk) {
    SCOPED_TRACE("chunk " + std::to_string(chunk));
    EXPECT_EQ(-1, FirstDifference(ExpectedDataPage(bytes, chunk, 257, 2048), WorkPage(chunk + 1)));
  }
  EXPECT_EQ(904u, Get32(WorkView + 4 * kPage + 2060));

  EXPECT_EQ((std::vector<std::string>{"item " + path, "position 8", "position 9", "position 10", "position 11",
                                      "attach 257 under 300 data.bin"}),
            w.log);
  EXPECT_FALSE(w.probeAdmitted);
  EXPECT_EQ(0, w.FailedObjects);

  // The record is the header page decoded, found through its offset.
  const ObjectRecord& r = w.NewRecord;
  EXPECT_EQ(NoPage, r.HeaderPage);
  EXPECT_TRUE(InWorkFile(r));
  EXPECT_EQ(2112u, r.WorkOffset);
  EXPECT_EQ(0, std::memcmp(r.Name, &header[10], 256));
  EXPECT_EQ((std::vector<uint32_t>{1, 300, 257, 5000, 0x81ED, 0, Get32(&header[284]), 0xFFFFFFFF, 0xFFFF}),
            (std::vector<uint32_t>{r.ObjectType, r.ParentId, r.ObjectId, r.FileSize, r.Mode, r.Uid, r.MTime,
                                   r.EquivalentId, r.TagsByteCount}));

  // The host file is let go once its bytes are in.
  HANDLE again = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, again);
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
}

TEST_F(WorkFileTest, ObjectsFollowEachOtherWithDataPagesByFileSize) {
  struct Case {
    const char* name;
    size_t size;
    std::vector<uint32_t> counts;    // byte count of each data page
  };
  const Case cases[] = {
      {"empty", 0, {}},
      {"one full chunk", 2048, {2048}},
      {"one past a chunk", 2049, {2048, 1}},
  };
  RecordingWorker w;
  uint32_t page = 1;
  uint16_t id = 257;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = PatternBytes(c.size, 5);
    ASSERT_EQ(id, w.AddObject(Host(c.name, bytes), c.name, 1, 1));
    EXPECT_EQ(page * kPage, w.NewRecord.WorkOffset);
    EXPECT_EQ(c.size, Get32(WorkView + page * kPage + 292));
    for (uint32_t chunk = 1; chunk <= c.counts.size(); ++chunk) {
      SCOPED_TRACE("chunk " + std::to_string(chunk));
      EXPECT_EQ(c.counts[chunk - 1], Get32(WorkView + (page + chunk) * kPage + 2060));
      EXPECT_EQ(-1, FirstDifference(ExpectedDataPage(bytes, chunk, id, 2048), WorkPage(page + chunk)));
    }
    page += static_cast<uint32_t>(c.counts.size()) + 1;
    ++id;
  }

  // A folder takes a header page only, and the run spans every object.
  uint32_t earliest = CurrentTimeStamp();
  ASSERT_EQ(id, w.AddObject("", "etc", 3, 259));
  uint32_t latest = CurrentTimeStamp();
  std::vector<uint8_t> header = WorkPage(page);
  EXPECT_EQ(-1, FirstDifference(ExpectedHeaderPage({3, 259, "etc", 0x41ED, 0}, id, 2048, header.data(), earliest,
                                                   latest),
                                header));
  EXPECT_EQ(0x41EDu, w.NewRecord.Mode);
  EXPECT_EQ((page + 1) * kPage, WorkFileSize);
  EXPECT_EQ((std::vector<RunEntry>{kImageRun, {4096, PageSource::WorkFile, 1, page}}), RunList.Entries());
}

TEST_F(WorkFileTest, TagsAt2050LeaveTheFirstTwoSpareBytesZero) {
  InputTagsOffset = 2050;
  std::string bytes = PatternBytes(10, 9);
  RecordingWorker w;
  uint32_t earliest = CurrentTimeStamp();
  ASSERT_EQ(257, w.AddObject(Host("small", bytes), "small", 1, 1));
  uint32_t latest = CurrentTimeStamp();
  std::vector<uint8_t> header = WorkPage(1);
  EXPECT_EQ(-1, FirstDifference(ExpectedHeaderPage({1, 1, "small", 0x81ED, 10}, 257, 2050, header.data(), earliest,
                                                   latest),
                                header));
  EXPECT_EQ(-1, FirstDifference(ExpectedDataPage(bytes, 1, 257, 2050), WorkPage(2)));
}

// ---- Names ----------------------------------------------------------------------------

TEST_F(WorkFileTest, LongNamesAreCutAtACharacterBoundary) {
  struct Case {
    const char* name;
    std::string ansiName;            // as typed, in the system code page
    std::string field;               // UTF-8 bytes stored
  };
  ASSERT_EQ(936u, GetACP());
  const Case cases[] = {
      {"85 whole characters fill 255 bytes", Repeat("中", 100), Repeat(u8"中", 85)},
      {"one byte before: the 85th would split", "a" + Repeat("中", 100), u8"a" + Repeat(u8"中", 84)},
      {"255 ASCII bytes fit", std::string(255, 'x'), std::string(255, 'x')},
      {"256 ASCII bytes lose one", std::string(256, 'x'), std::string(255, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWorker w;
    ASSERT_NE(0, w.AddObject("", c.ansiName, 3, 1));
    const uint8_t* name = WorkView + w.NewRecord.WorkOffset + 10;
    std::string field(reinterpret_cast<const char*>(name), 256);
    EXPECT_EQ(c.field + std::string(256 - c.field.size(), '\0'), field);
    EXPECT_EQ(c.field, RecordName(w.NewRecord));
    EXPECT_EQ(c.ansiName, w.CurrentItem);  // shown as typed, uncut
  }
}

// ---- Ids --------------------------------------------------------------------------------

TEST_F(WorkFileTest, NewIdsCountUpFromAbove256AndStopAt65535) {
  struct Case {
    uint16_t maxSeen;
    uint16_t first;
    uint16_t second;                 // 0: refused
  };
  const Case cases[] = {
      {0, 257, 258}, {256, 257, 258}, {257, 258, 259}, {65534, 65535, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("largest id seen " + std::to_string(c.maxSeen));
    ReleaseWorkFile();
    Fresh();
    MaxObjectId = c.maxSeen;
    RecordingWorker w;
    EXPECT_EQ(c.first, w.AddObject("", "one", 3, 1));
    EXPECT_EQ(c.first, Get32(WorkView + kPage + 2048 + 4));
    std::vector<uint8_t> before = WorkFileBytes();
    size_t logged = w.log.size();
    EXPECT_EQ(c.second, w.AddObject(Host("two", "abc"), "two", 1, 1));
    EXPECT_EQ(c.second ? c.second : c.first, MaxObjectId);
    EXPECT_EQ(c.second ? 0 : 1, w.FailedObjects);
    if (c.second == 0) {
      // Refused before anything is written, shown or counted up.
      EXPECT_EQ(before, WorkFileBytes());
      EXPECT_EQ(2 * kPage, WorkFileLengthOnDisk());
      EXPECT_EQ((std::vector<RunEntry>{kImageRun, {4096, PageSource::WorkFile, 1, 1}}), RunList.Entries());
      EXPECT_EQ(logged, w.log.size());
    }
  }
}

// ---- Skipped objects ------------------------------------------------------------------

TEST_F(WorkFileTest, UnreadableHostFileIsSkippedAndTheNextOneAdded) {
  std::string locked = Host("locked", "held by someone else");
  HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"missing", scratch.File("missing")},
      {"a folder", scratch.Path()},
      {"held open by another", locked},
      {"empty path", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> before = WorkFileBytes();
    RecordingWorker w;
    EXPECT_EQ(0, w.AddObject(c.path, "f", 1, 1));
    EXPECT_EQ(1, w.FailedObjects);
    EXPECT_TRUE(w.log.empty());
    EXPECT_EQ(0, MaxObjectId);
    EXPECT_EQ(before, WorkFileBytes());
    EXPECT_EQ((std::vector<RunEntry>{kImageRun, {4096, PageSource::WorkFile, 0, 0}}), RunList.Entries());
  }
  CloseHandle(holder);

  RecordingWorker w;
  EXPECT_EQ(257, w.AddObject(locked, "locked", 1, 1));
  EXPECT_EQ(3 * kPage, WorkFileSize);
}

TEST_F(WorkFileTest, HostFileOf4GiBIsSkipped) {
  std::string path = scratch.File("huge");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  LARGE_INTEGER end{};
  end.QuadPart = 0x100000000LL;  // its low 32 bits would read as an empty file
  bool made = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  ASSERT_TRUE(made);
  RecordingWorker w;
  EXPECT_EQ(0, w.AddObject(path, "huge", 1, 1));
  EXPECT_EQ(2112u, WorkFileSize);
  EXPECT_TRUE(w.log.empty());
}

TEST_F(WorkFileTest, NoWorkFileMeansNothingIsAdded) {
  ReleaseWorkFile();
  RecordingWorker w;
  EXPECT_EQ(0, w.AddObject("", "d", 3, 1));
  EXPECT_EQ(0, MaxObjectId);
  EXPECT_EQ(1, w.FailedObjects);
}

TEST(WorkFileSize, GrowthStopsAt4GiB) {
  EXPECT_EQ(2097153u, ObjectPageCount(0xFFFFFFFF));  // counted without wrapping

  uint32_t size = 0;
  EXPECT_TRUE(GrownWorkFileSize(0xFFFFFFFFu - 2 * 2112, 2048, size));
  EXPECT_EQ(0xFFFFFFFFu, size);
  EXPECT_FALSE(GrownWorkFileSize(0xFFFFFFFFu - 2 * 2112 + 1, 2048, size));
  EXPECT_FALSE(GrownWorkFileSize(2112, 0xFFFFFFFF, size));
}

// ---- Time stamps -----------------------------------------------------------------------

TEST(TimeStamp, LocalClockLessEightHoursRoundedToTheSecond) {
  struct Case {
    const char* name;
    SYSTEMTIME local;                // year, month, weekday, day, hour, minute, second, ms
    uint32_t expected;
  };
  const Case cases[] = {
      {"eight in the morning of 1970-01-01", {1970, 1, 4, 1, 8, 0, 0, 0}, 0},
      {"499 ms rounds down", {2020, 1, 3, 1, 0, 0, 0, 499}, 1577808000u},
      {"500 ms rounds up", {2020, 1, 3, 1, 0, 0, 0, 500}, 1577808001u},
      {"rounding up into the next day", {2020, 1, 3, 1, 23, 59, 59, 500}, 1577894400u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, TimeStampFromLocal(c.local));
  }
}
