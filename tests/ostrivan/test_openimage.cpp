#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "addfilefun.h"
#include "image_builder.h"
#include "model.h"
#include "openimage.h"

using testsupport::ScratchFolder;

namespace {

char nodeStorage[1];
cl::TTreeNode* const NodeA = reinterpret_cast<cl::TTreeNode*>(&nodeStorage[0]);

}  // namespace

// ---- NodeTable ---------------------------------------------------------------------

TEST(NodeTableAlloc, AllocReplacesWithAFreshTableAndFreeClears) {
  NodeEntry* table = AllocNodeTable(kNodeTableEntries);
  ASSERT_NE(nullptr, table);
  NoteFirstPage(table, 300, 7);
  SetNode(table, 0xFFFF, NodeA);
  NodeEntry* second = AllocNodeTable();
  ASSERT_EQ(second, NodeTable);
  EXPECT_EQ(NoPage, second[300].Page);
  EXPECT_EQ(0, second[0xFFFF].Flag);
  EXPECT_EQ(NoNode, second[0xFFFF].Node);
  FreeNodeTable();
  EXPECT_EQ(nullptr, NodeTable);
}

TEST(Paths, FileNamePartReadsDoubleByteCharactersWhole) {
  ASSERT_EQ(936u, GetACP());
  struct Case {
    std::string path;
    std::string name;
  } cases[] = {
      {"system.img", "system.img"},
      {"C:system.img", "system.img"},
      {"C:\\images/system.img", "system.img"},
      {"C:\\images\\", ""},
      {"C:\\a\\\x81\x5C" "b.img", "\x81\x5C" "b.img"},  // 0x5C as the trail byte of a GBK character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.name, FileNamePart(c.path));
  }
}

// ---- OpenImageFile ----------------------------------------------------------------

class OpenImageFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(programDir.Path().empty());
    ASSERT_FALSE(images.Path().empty());
    OverrideProgramDir(programDir.Path());
    WorkFileName.clear();
  }
  void TearDown() override {
    ReleaseImage();
    ReleaseWorkFile();
    WorkFileName.clear();
    OverrideProgramDir("");
  }
  std::string MakeImage(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = images.File(name);
    EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
    return path;
  }
  void Touch(const std::string& name) { EXPECT_TRUE(testsupport::WriteBytes(programDir.File(name), "", 0)); }
  bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  // True when nobody else holds the file open.
  bool Free(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }

  ScratchFolder programDir;
  ScratchFolder images;
};

TEST_F(OpenImageFileTest, MapsTheWholeFileAndFillsTheStatusTexts) {
  std::vector<uint8_t> bytes(1572864);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  std::string path = MakeImage("系统.img", bytes);
  Touch("tmpfile0.dat");
  Touch("tmpfile1.dat");
  ImageStatusTexts status;
  const uint8_t* view = OpenImageFile(path, status);
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(view, ImageView);
  EXPECT_EQ(1572864u, ImageSize);
  EXPECT_EQ(0, std::memcmp(view, bytes.data(), bytes.size()));
  EXPECT_EQ("系统.img", status.fileName);
  EXPECT_EQ("1.50MB", status.sizeText);
  EXPECT_EQ(path, status.hint);
  EXPECT_FALSE(Free(path));  // exclusive while open
  EXPECT_EQ("tmpfile2.dat", WorkFileName);  // the first free number
  EXPECT_FALSE(Exists(programDir.File("tmpfile2.dat")));  // chosen, not created
}

TEST_F(OpenImageFileTest, LockedMissingOrEmptyFileGivesNoneAndReleasesThePreviousImage) {
  std::string first = MakeImage("first.img", std::vector<uint8_t>(PageSize, 0xFF));
  std::string locked = MakeImage("locked.img", std::vector<uint8_t>(PageSize, 0xFF));
  ImageStatusTexts status;
  ASSERT_NE(nullptr, OpenImageFile(first, status));

  HANDLE other = CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_EQ(nullptr, OpenImageFile(locked, status));
  CloseHandle(other);
  EXPECT_EQ(nullptr, ImageView);
  EXPECT_EQ(nullptr, ImageHandle);
  EXPECT_EQ(0u, ImageSize);
  EXPECT_EQ("", status.fileName);
  EXPECT_EQ("", status.hint);
  EXPECT_TRUE(Free(first));

  EXPECT_EQ(nullptr, OpenImageFile(images.File("missing.img"), status));
  EXPECT_EQ(nullptr, ImageView);

  // An empty file opens to nothing but still names itself.
  std::string empty = MakeImage("empty.img", {});
  EXPECT_EQ(nullptr, OpenImageFile(empty, status));
  EXPECT_EQ(nullptr, ImageView);
  EXPECT_EQ("empty.img", status.fileName);
  EXPECT_EQ("0.00MB", status.sizeText);
  EXPECT_EQ(empty, status.hint);
  EXPECT_TRUE(Free(empty));
}

TEST_F(OpenImageFileTest, PreviousWorkFileIsReleasedAndDeletedSoItsNumberIsReused) {
  std::string path = MakeImage("a.img", std::vector<uint8_t>(PageSize, 0xFF));
  ImageStatusTexts status;
  ASSERT_NE(nullptr, OpenImageFile(path, status));
  ASSERT_EQ("tmpfile0.dat", WorkFileName);
  ASSERT_NE(nullptr, CreateWorkFile());
  Touch("tmpfile1.dat");

  ASSERT_NE(nullptr, OpenImageFile(path, status));  // the same image again
  EXPECT_EQ(nullptr, WorkView);
  EXPECT_EQ(nullptr, WorkFileHandle);
  EXPECT_EQ("tmpfile0.dat", WorkFileName);
  EXPECT_FALSE(Exists(programDir.File("tmpfile0.dat")));
  EXPECT_TRUE(Exists(programDir.File("tmpfile1.dat")));

  // A failed open releases and deletes the WorkFile as well.
  ASSERT_NE(nullptr, CreateWorkFile());
  EXPECT_EQ(nullptr, OpenImageFile(images.File("missing.img"), status));
  EXPECT_EQ(nullptr, WorkView);
  EXPECT_FALSE(Exists(programDir.File("tmpfile0.dat")));
}

TEST_F(OpenImageFileTest, AllThousandAndOneNamesTakenGivesTmpfile) {
  for (int n = 0; n < 1000; ++n) Touch("tmpfile" + std::to_string(n) + ".dat");
  EXPECT_EQ("tmpfile1000.dat", PickWorkFileName(programDir.Path()));
  Touch("tmpfile1000.dat");
  EXPECT_EQ("tmpfile", PickWorkFileName(programDir.Path()));
}
