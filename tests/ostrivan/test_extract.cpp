#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Unit1.h"
#include "Unit3.h"
#include "Unit4.h"
#include "addfilefun.h"
#include "hostlink.h"
#include "image_builder.h"
#include "session.h"

using testsupport::HeaderFields;
using testsupport::ImageBuilder;
using testsupport::PatternBytes;
using testsupport::ReadHostFile;
using testsupport::ScratchFolder;
using testsupport::WriteBytes;

namespace {

constexpr size_t kChunk = 2048;

// Chunk k (from 1) of bytes, as the builder writes it.
std::string ChunkOf(const std::string& bytes, uint32_t k) {
  size_t at = (k - 1) * kChunk;
  return at < bytes.size() ? bytes.substr(at, kChunk) : std::string();
}

HeaderFields FileHeader(const std::string& name, uint32_t size) {
  HeaderFields f;
  f.name = name;
  f.fileSize = size;
  return f;
}


// Everything under folder, as relative paths sorted by name; folders end in "\".
void ListInto(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
  WIN32_FIND_DATAA fd;
  HANDLE f = FindFirstFileA((folder + "*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.push_back(prefix + name + "\\");
      ListInto(folder + name + "\\", prefix + name + "\\", out);
    } else {
      out.push_back(prefix + name);
    }
  } while (FindNextFileA(f, &fd));
  FindClose(f);
}
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> out;
  ListInto(folder, "", out);
  std::sort(out.begin(), out.end());
  return out;
}

// An extraction that writes down its dialog steps and can press "取消" from
// inside one of them, on the interface thread, at a chosen point.
class RecordingExtract : public outfileThread {
public:
  using outfileThread::outfileThread;
  std::vector<std::string> log;
  std::string cancelAtItem;
  int cancelAtPosition = -1;
  std::string throwAtItem;

protected:
  void ShowExtractProgress() override {
    outfileThread::ShowExtractProgress();
    log.push_back("total " + std::to_string(Total) + (Form4->IsModal() ? " shown" : " hidden"));
  }
  void ShowCurrentItem() override {
    outfileThread::ShowCurrentItem();
    log.push_back("item " + CurrentItem);
    if (CurrentItem == cancelAtItem) PressCancel();
    if (CurrentItem == throwAtItem) throw std::runtime_error("interface call failed");
  }
  void ShowProgressPosition() override {
    outfileThread::ShowProgressPosition();
    log.push_back("position " + std::to_string(Position));
    if (Position == cancelAtPosition) PressCancel();
  }
  void CloseProgressDialog() override {
    log.push_back("close");
    outfileThread::CloseProgressDialog();
  }

private:
  static void PressCancel() { SendMessageA(Form4->Button1.Handle(), BM_CLICK, 0, 0); }
};

class Extract : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!Form1) {
      CreateProgramForms();
      Form1->Show();
      cl::Application.ProcessMessages();
    }
  }

  void SetUp() override {
    dialogs_.realForms.push_back(Form4);
    ASSERT_FALSE(dest_.Path().empty());
    ASSERT_FALSE(programDir_.Path().empty());
    OverrideProgramDir(programDir_.Path());
    WorkFileName = "tmpfile0.dat";
    Form1->TreeView1.Clear();
    Form1->ListView1.Clear();
    ASSERT_NE(nullptr, AllocNodeTable());
    Form4->Tag = 0;
  }

  void TearDown() override {
    Form1->TreeView1.Clear();
    Form1->ListView1.Clear();
    Form1->Edit2.SetText("");
    if (mapped_) ReleaseImage();
    ImageView = nullptr;
    ImageSize = 0;
    ReleaseWorkFile();
    OverrideProgramDir("");
    WorkFileName.clear();
    RunList.Clear();
    InputTagsOffset = TagsOffsetPlain;
    MaxObjectId = 0;
    ReleaseImage();  // nothing mapped any more: drops the image's index
  }

  // The built image as the open image, with the runs and an empty WorkFile
  // that a scan leaves. The image before it is released first, as the open
  // command does, and its index with it.
  void UseImage(const std::vector<uint8_t>& bytes, uint32_t tagsOffset) {
    ReleaseOpenImage();
    image_ = bytes;
    ImageView = image_.data();
    ImageSize = static_cast<uint32_t>(image_.size());
    InputTagsOffset = tagsOffset;
    StartRuns();
  }
  // Releases the open image, mapped or held in memory.
  void ReleaseOpenImage() {
    if (!mapped_) ImageView = nullptr;
    mapped_ = false;
    ReleaseImage();
  }
  void UseImage(const ImageBuilder& b) { UseImage(b.Bytes(), b.TagsOffset()); }
  // A built image written to a file and opened as the open command does.
  void OpenImage(const ImageBuilder& b, const std::string& name) {
    std::string path = programDir_.File(name);
    ASSERT_TRUE(b.WriteTo(path));
    ImageStatusTexts status;
    ASSERT_NE(nullptr, OpenImageFile(path, status));
    mapped_ = true;
    InputTagsOffset = b.TagsOffset();
    StartRuns();
  }
  void StartRuns() {
    RunList = RunEntryList::FromImage(ImageBytes(), InputTagsOffset);
    ASSERT_NE(nullptr, CreateWorkFile());
    RunList.AppendWorkFileEntry(0, 0);
  }

  cl::TTreeNode* Root() {
    ObjectRecord& r = NewRecord(1, "", ObjectTypeDirectory, 0);
    cl::TTreeNode* root = Form1->TreeView1.AddChildObject(nullptr, "/", &r);
    SetRootNode(NodeTable, root);
    return root;
  }
  // A node of an image object (parent null: a top-level node).
  cl::TTreeNode* Node(cl::TTreeNode* parent, uint32_t id, const std::string& name, uint32_t type, uint32_t size = 0,
                      PageRef firstPage = NoPage) {
    ObjectRecord& r = NewRecord(id, name, type, size);
    r.HeaderPage = 1;
    r.FirstPage = firstPage;
    return Attach(parent, r, name);
  }
  cl::TTreeNode* Attach(cl::TTreeNode* parent, ObjectRecord& r, const std::string& name) {
    cl::TTreeNode* node = Form1->TreeView1.AddChildObject(parent, name, &r);
    SetNode(NodeTable, r.ObjectId, node);
    return node;
  }
  ObjectRecord& NewRecord(uint32_t id, const std::string& name, uint32_t type, uint32_t size) {
    records_.emplace_back();
    ObjectRecord& r = records_.back();
    r.Valid = 1;
    r.ObjectId = id;
    r.ObjectType = type;
    r.FileSize = size;
    SetRecordName(r, name);
    return r;
  }

  // Destination as the folder chooser gives it: no trailing "\".
  std::string Dest() const { return dest_.Path().substr(0, dest_.Path().size() - 1); }

  void Run(const std::vector<std::string>& ids) {
    Form1->StartExtract(Dest(), ids);
    WaitForWorkers();
  }
  RecordingExtract* RunRecorded(const std::vector<std::string>& ids, const std::string& cancelAtItem = "",
                                int cancelAtPosition = -1) {
    // The main window owns it: it lives until the next worker starts.
    auto* w = new RecordingExtract(Dest(), ids);
    w->cancelAtItem = cancelAtItem;
    w->cancelAtPosition = cancelAtPosition;
    Form1->StartWorker(std::unique_ptr<cl::TThread>(w));
    WaitForWorkers();
    return w;
  }
  void WaitForWorkers() {
    EXPECT_TRUE(cl::Application.RunUntil([] { return !Form1->WorkerRunning(); }));
    EXPECT_FALSE(Form4->IsModal());
  }
  std::vector<AskedDialog> MessageBoxes() const {
    std::vector<AskedDialog> boxes;
    for (const AskedDialog& a : dialogs_.asked)
      if (a.kind == cl::DialogKind::MessageBox) boxes.push_back(a);
    return boxes;
  }

  ScriptedDialogs dialogs_;
  ScratchFolder dest_;
  ScratchFolder programDir_;
  std::vector<uint8_t> image_;
  std::deque<ObjectRecord> records_;
  bool mapped_ = false;
};

// ---- File data -----------------------------------------------------------------------

TEST_F(Extract, FileSizesAroundChunkBoundaries) {
  // The last two: the largest file written whole, and one byte more (written in pieces).
  const uint32_t sizes[] = {0, 2047, 2048, 2049, WholeFileBytes, WholeFileBytes + 1};
  constexpr uint32_t kFiles = sizeof sizes / sizeof sizes[0];
  ImageBuilder b;
  b.AddRoot();
  std::vector<std::string> contents;
  for (uint32_t i = 0; i < kFiles; ++i) contents.push_back(PatternBytes(sizes[i], static_cast<uint8_t>(i + 1)));
  std::vector<uint32_t> first;
  for (uint32_t i = 0; i < kFiles; ++i)
    first.push_back(b.AddFile(300 + i, 1, "f" + std::to_string(sizes[i]), contents[i]));
  UseImage(b);
  cl::TTreeNode* root = Root();
  std::vector<std::string> ids;
  for (uint32_t i = 0; i < kFiles; ++i) {
    Node(root, 300 + i, "f" + std::to_string(sizes[i]), ObjectTypeFile, sizes[i], first[i]);
    ids.push_back(std::to_string(300 + i));
  }
  Run(ids);
  for (uint32_t i = 0; i < kFiles; ++i) {
    SCOPED_TRACE(sizes[i]);
    std::string host = ReadHostFile(dest_.File("f" + std::to_string(sizes[i])));
    EXPECT_EQ(contents[i].size(), host.size());
    EXPECT_TRUE(contents[i] == host);
  }
  EXPECT_TRUE(MessageBoxes().empty());
}

// Versions of a 5000-byte file's chunks: which pages the image holds and
// which bytes each chunk of the host file must get.
struct ChunkCase {
  const char* name;
  void (*build)(ImageBuilder& b, const std::string& v1, const std::string& v2, PageRef& firstPage);
  // For chunks 1..3: 1 or 2 for a version, 0 for zeros.
  int expected[3];
};

const ChunkCase kChunkCases[] = {
    {"middle chunk missing",
     [](ImageBuilder& b, const std::string& v1, const std::string&, PageRef& first) {
       first = b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v1, {1, 3});
     },
     {1, 0, 1}},
    {"last chunk missing keeps the full length",
     [](ImageBuilder& b, const std::string& v1, const std::string&, PageRef& first) {
       first = b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v1, {1, 2});
     },
     {1, 1, 0}},
    {"chunks out of order",
     [](ImageBuilder& b, const std::string& v1, const std::string&, PageRef& first) {
       first = b.AddFileChunks(300, v1, {3, 1});
       b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v1, {2});
     },
     {1, 1, 1}},
    {"newer run placed before rewrites a chunk",
     [](ImageBuilder& b, const std::string& v1, const std::string& v2, PageRef& first) {
       b.AddFileChunks(300, v2, {2}, 4097);
       first = b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v1, {1, 2, 3});
     },
     {1, 2, 1}},
    {"older run placed after loses",
     [](ImageBuilder& b, const std::string& v1, const std::string& v2, PageRef& first) {
       b.AddHeader(300, FileHeader("f", 5000), 4097);
       b.AddFileChunks(300, v2, {1, 2, 3}, 4097);
       first = b.AddFileChunks(300, v1, {2}, 4096);  // first in walk order
     },
     {2, 2, 2}},
    {"second copy in one run wins and does not end the walk",
     [](ImageBuilder& b, const std::string& v1, const std::string& v2, PageRef& first) {
       first = b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v1, {1, 2});
       b.AddFileChunks(300, v2, {1});
       b.AddFileChunks(300, v1, {3}, 4097);
     },
     {2, 1, 1}},
    {"chunk ids past the end and 32-bit ids of the same low bits are skipped",
     [](ImageBuilder& b, const std::string& v1, const std::string& v2, PageRef& first) {
       first = b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v1, {1, 2, 3});
       b.AddChunk(300, 4, ChunkOf(v2, 1));
       b.AddChunk(300 + 0x10000, 2, ChunkOf(v2, 2));
     },
     {1, 1, 1}},
    {"no first page: the walk starts at the first run of 4096, not at page 0",
     [](ImageBuilder& b, const std::string&, const std::string& v2, PageRef& first) {
       b.AddFileChunks(300, v2, {3}, 100);  // page 0, in a run the scan never walks
       b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v2, {1, 2});
       first = NoPage;
     },
     {2, 2, 0}},
    {"erased pages end the walk",
     [](ImageBuilder& b, const std::string& v1, const std::string& v2, PageRef& first) {
       first = b.AddHeader(300, FileHeader("f", 5000));
       b.AddFileChunks(300, v1, {1, 2});
       b.AddErased(2);
       // Past the erased run with the erased sequence number: never read.
       b.AddChunk(300, 3, ChunkOf(v2, 3), ErasedSequenceNumber);
     },
     {1, 1, 0}},
};

TEST_F(Extract, ChunkWalkTakesTheLatestCopyOfEachChunk) {
  const std::string v1 = PatternBytes(5000, 11), v2 = PatternBytes(5000, 22);
  for (const ChunkCase& c : kChunkCases) {
    SCOPED_TRACE(c.name);
    ImageBuilder b;
    PageRef first = NoPage;
    c.build(b, v1, v2, first);
    UseImage(b);
    Form1->TreeView1.Clear();
    ASSERT_NE(nullptr, AllocNodeTable());
    Node(Root(), 300, "f", ObjectTypeFile, 5000, first);
    Run({"300"});
    std::string expected;
    for (uint32_t k = 1; k <= 3; ++k) {
      int v = c.expected[k - 1];
      std::string part = v == 0 ? std::string(ChunkOf(v1, k).size(), '\0') : ChunkOf(v == 1 ? v1 : v2, k);
      expected += part;
    }
    EXPECT_EQ(expected.size(), 5000u);
    EXPECT_EQ(expected, ReadHostFile(dest_.File("f")));
    ReleaseWorkFile();
  }
}

TEST_F(Extract, PartialLastPageIsReadWithinTheImage) {
  for (uint32_t tagsOffset : {TagsOffsetPlain, TagsOffsetMarked}) {
    SCOPED_TRACE(tagsOffset);
    const std::string bytes = PatternBytes(5000, 5);
    ImageBuilder b(tagsOffset);
    PageRef first = b.AddFile(300, 1, "f", bytes);
    UseImage(b.Cut(b.Size() - (PageSize - MinTrailingPage)), tagsOffset);
    Form1->TreeView1.Clear();
    ASSERT_NE(nullptr, AllocNodeTable());
    Node(Root(), 300, "f", ObjectTypeFile, 5000, first);
    Run({"300"});
    EXPECT_EQ(bytes, ReadHostFile(dest_.File("f")));
    ReleaseWorkFile();
  }
}

// ---- The index --------------------------------------------------------------------------

TEST_F(Extract, IndexIsBuiltOncePerOpenImageAndGoesWithIt) {
  ImageBuilder b;
  b.AddRoot();
  std::vector<std::string> contents;
  for (uint32_t i = 0; i < 3; ++i) {
    contents.push_back(PatternBytes(3000 + i, static_cast<uint8_t>(i)));
    b.AddFile(300 + i, 1, "f" + std::to_string(i), contents.back());
  }
  UseImage(b);
  cl::TTreeNode* root = Root();
  std::vector<std::string> ids;
  for (uint32_t i = 0; i < 3; ++i) {
    Node(root, 300 + i, "f" + std::to_string(i), ObjectTypeFile, 3000 + i, 1 + 3 * i);
    ids.push_back(std::to_string(300 + i));
  }
  uint32_t builds = ImageChunkIndexBuilds();
  Run(ids);
  Run({"301"});
  EXPECT_EQ(builds + 1, ImageChunkIndexBuilds());
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(contents[i], ReadHostFile(dest_.File("f" + std::to_string(i)))) << i;

  // The same bytes opened again with other runs (another scan): the index of
  // the image before went with it, and the new one follows the new runs.
  UseImage(b);
  RunList.Clear();
  RunList.Append({4096, PageSource::Image, 0, 4});  // f2 lies past the run
  RunList.AppendWorkFileEntry(0, 0);
  Run({"302"});
  EXPECT_EQ(builds + 2, ImageChunkIndexBuilds());
  EXPECT_EQ(std::string(3002, '\0'), ReadHostFile(dest_.File("f2")));
}

TEST_F(Extract, WorkersAskingTogetherShareOneIndex) {
  ImageBuilder b;
  b.AddRoot();
  b.AddFile(300, 1, "f", PatternBytes(5000, 3));
  UseImage(b);
  const uint32_t builds = ImageChunkIndexBuilds();
  constexpr int kThreads = 4;
  const ChunkIndex* seen[kThreads] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back([&seen, i] { seen[i] = &ImageChunkIndex(); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(builds + 1, ImageChunkIndexBuilds());
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(seen[0], seen[i]) << i;
  EXPECT_EQ(4, seen[0]->End(300) - seen[0]->Begin(300));  // the header and three chunks

  ReleaseOpenImage();
  EXPECT_EQ(0u, ImageChunkIndex().PageTotal());  // no image: an empty index, built anew
  EXPECT_EQ(builds + 2, ImageChunkIndexBuilds());
}

TEST_F(Extract, ReopenedImageOfTheSameShapeGetsItsOwnIndex) {
  // Two images of one size and one run layout, opened one after the other,
  // the second mapped where the first one was.
  void* firstAddress = nullptr;
  for (uint8_t seed : {1, 2}) {
    SCOPED_TRACE(static_cast<int>(seed));
    const std::string bytes = PatternBytes(5000, seed);
    ImageBuilder b;
    b.AddRoot();
    // The same pages, holding the chunks in another order.
    PageRef first = b.AddHeader(300, FileHeader("f", 5000));
    b.AddFileChunks(300, bytes, seed == 1 ? std::vector<uint32_t>{1, 2, 3} : std::vector<uint32_t>{3, 2, 1});
    OpenImage(b, "image" + std::to_string(seed) + ".img");
    if (!firstAddress) firstAddress = const_cast<uint8_t*>(ImageView);
    if (ImageView != firstAddress) {
      UnmapViewOfFile(ImageView);
      ImageView = static_cast<const uint8_t*>(MapViewOfFileEx(ImageMapping, FILE_MAP_READ, 0, 0, 0, firstAddress));
      ASSERT_EQ(firstAddress, ImageView);
    }
    Form1->TreeView1.Clear();
    ASSERT_NE(nullptr, AllocNodeTable());
    Node(Root(), 300, "f", ObjectTypeFile, 5000, first);
    Run({"300"});
    EXPECT_EQ(bytes, ReadHostFile(dest_.File("f")));
  }
}

// ---- WorkFile objects ---------------------------------------------------------------------

TEST_F(Extract, AddedObjectsComeFromTheWorkFile) {
  const std::string imageBytes = PatternBytes(3000, 7);
  ImageBuilder b;
  b.AddRoot();
  // Id 257 in the image too, with its second chunk missing: the WorkFile
  // object that gets the same id must not fill it. The table can hold one
  // node per id, so the image's object is reached through its folder.
  PageRef first = b.AddHeader(257, FileHeader("old", 3000));
  b.AddFileChunks(257, imageBytes, {1});
  UseImage(b);
  MaxObjectId = 256;
  cl::TTreeNode* root = Root();
  Node(Node(root, 300, "img", ObjectTypeDirectory), 257, "old", ObjectTypeFile, 3000, first);

  const std::string added = PatternBytes(5000, 9), inner = PatternBytes(2048, 10);
  std::string hostA = programDir_.File("a.bin"), hostB = programDir_.File("b.bin");
  ASSERT_TRUE(WriteBytes(hostA, added.data(), added.size()));
  ASSERT_TRUE(WriteBytes(hostB, inner.data(), inner.size()));
  addfilefunThread adder;
  std::vector<cl::TTreeNode*> nodes;
  struct Add {
    std::string host, name;
    uint32_t type;
    uint16_t parent;
  } adds[] = {{hostA, "new.bin", ObjectTypeFile, 1},
              {"", "dir", ObjectTypeDirectory, 1},
              {hostB, "in.bin", ObjectTypeFile, 258}};
  for (const Add& a : adds) {
    uint16_t id = adder.AddObject(a.host, a.name, a.type, a.parent);
    ASSERT_NE(0, id) << a.name;
    records_.push_back(adder.NewRecord);
    nodes.push_back(Attach(a.parent == 1 ? root : nodes[1], records_.back(), a.name));
  }
  Run({"300", "257", "258"});
  EXPECT_EQ(imageBytes.substr(0, 2048) + std::string(952, '\0'), ReadHostFile(dest_.File("img\\old")));
  EXPECT_EQ(added, ReadHostFile(dest_.File("new.bin")));
  EXPECT_EQ(inner, ReadHostFile(dest_.File("dir\\in.bin")));
}

TEST_F(Extract, WorkFileRecordWithoutAHeaderPageGivesZeros) {
  ImageBuilder b;
  b.AddRoot();
  UseImage(b);
  ObjectRecord& r = NewRecord(300, "w", ObjectTypeFile, 100);
  r.HeaderPage = NoPage;
  r.WorkOffset = 0;  // the dummy page: no object's header
  Attach(Root(), r, "w");
  Run({"300"});
  EXPECT_EQ(std::string(100, '\0'), ReadHostFile(dest_.File("w")));
}

// ---- Tree, names and folders -----------------------------------------------------------------

TEST_F(Extract, FoldersLinksAndFilesWithChildren) {
  const std::string bytes = PatternBytes(100, 3);
  ImageBuilder b;
  b.AddRoot();
  PageRef fileFirst = b.AddFile(305, 300, "f", bytes);
  PageRef parentFileFirst = b.AddFile(306, 1, "pf", bytes);
  UseImage(b);
  cl::TTreeNode* root = Root();
  cl::TTreeNode* etc = Node(root, 300, "etc", ObjectTypeDirectory);
  Node(etc, 301, "empty", ObjectTypeDirectory);
  Node(etc, 302, "link", ObjectTypeSymlink);
  Node(etc, 303, "hard", ObjectTypeHardlink);
  Node(etc, 304, "dev", ObjectTypeSpecial);
  Node(etc, 305, "f", ObjectTypeFile, 100, fileFirst);
  Node(etc, 307, "what", ObjectTypeUnknown);
  // A file whose node has children becomes a folder; its data is not written.
  cl::TTreeNode* pf = Node(root, 306, "pf", ObjectTypeFile, 100, parentFileFirst);
  Node(pf, 308, "kid", ObjectTypeDirectory);
  Node(root, 309, "lonely", ObjectTypeDirectory);
  Run({"300", "306", "309", "12345"});
  EXPECT_EQ(Listing(dest_.Path()),
            (std::vector<std::string>{"etc\\", "etc\\empty\\", "etc\\f", "lonely\\", "pf\\", "pf\\kid\\"}));
  EXPECT_EQ(bytes, ReadHostFile(dest_.File("etc\\f")));
}

TEST_F(Extract, SafeHostNames) {
  struct Case {
    const char* name;
    const char* safe;
  } cases[] = {
      {"", "_"},         {".", "_"},          {"..", "_"},          {"...", "___"},        {"a\\b", "a_b"},
      {"*?\"<>|/:", "________"}, {"\x01\x1f\x7f", "___"}, {"end. ", "end__"}, {" lead", " lead"}, {"a.b", "a.b"},
      {"CON", "_CON"},   {"con.txt", "_con.txt"}, {"con .txt", "_con .txt"}, {"com1", "_com1"}, {"COM9.log", "_COM9.log"},
      {"com0", "com0"},  {"com10", "com10"},  {"lpt9", "_lpt9"},    {"console", "console"}, {"乗\\", "乗_"},
      {"亅|", "亅_"},     {"conin$", "_conin$"}, {"CONOUT$.txt", "_CONOUT$.txt"}, {"conin", "conin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.safe, SafeHostName(c.name));
  }
  EXPECT_EQ("a\\b", JoinHostPath("a", "b"));
  EXPECT_EQ("C:\\etc", JoinHostPath("C:\\", "etc"));
  // The trail byte of 乗 is a "\" byte, not a separator.
  EXPECT_EQ("C:\\乗\\etc", JoinHostPath("C:\\乗", "etc"));
}

TEST(HostFiles, AssembledPiecesHoldTheChunksAndZerosForMissingOnes) {
  // Three source pages; the file has chunks 1 and 3 (from pages 0 and 2),
  // chunk 2 is missing, the last chunk holds 100 bytes.
  std::vector<uint8_t> image(3 * PageSize);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + i / PageSize);
  WalkSources sources;
  sources.ImageBytes = ByteView(image.data(), image.size());
  const uint32_t size = 2 * kChunk + 100;
  const std::vector<FilePiece> pieces{{0, PageBytes(sources.ImageBytes, 0), kChunk},
                                      {2 * kChunk, PageBytes(sources.ImageBytes, 2), 100}};
  std::string whole(reinterpret_cast<const char*>(image.data()), kChunk);
  whole += std::string(kChunk, '\0');
  whole.append(reinterpret_cast<const char*>(image.data() + 2 * PageSize), 100);
  struct Case {
    const char* name;
    uint64_t base;
    uint32_t length;
  } cases[] = {
      {"whole", 0, size},          {"first chunk", 0, kChunk},        {"missing chunk", kChunk, kChunk},
      {"across 1 and 2", 2000, 100}, {"across 2 and 3", 4000, 150},   {"last byte", size - 1, 1},
      {"last chunk", 2 * kChunk, 100}, {"nothing", 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out(c.length, '\x55');
    AssembleFileBytes(pieces, c.base, c.length, reinterpret_cast<uint8_t*>(&out[0]));
    EXPECT_EQ(whole.substr(c.base, c.length), out);
  }
}

TEST_F(Extract, ReplacedFilesAndNewFolders) {
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.Path().empty());
  const std::string file = scratch.File("f");
  ASSERT_TRUE(WriteBytes(file, "a much longer old content", 25));
  ASSERT_TRUE(cl::WriteHostFile(file, reinterpret_cast<const uint8_t*>("new"), 3));
  EXPECT_EQ("new", ReadHostFile(file));
  ASSERT_TRUE(cl::WriteHostFile(scratch.File("empty"), nullptr, 0));
  EXPECT_EQ("", ReadHostFile(scratch.File("empty")));
  // A folder at the name stays, and so does a file in a missing folder.
  ASSERT_TRUE(CreateDirectoryA(scratch.File("dir").c_str(), nullptr));
  EXPECT_FALSE(cl::WriteHostFile(scratch.File("dir"), reinterpret_cast<const uint8_t*>("x"), 1));
  EXPECT_TRUE(cl::DirectoryExists(scratch.File("dir")));
  EXPECT_FALSE(cl::WriteHostFile(scratch.File("none\\f"), reinterpret_cast<const uint8_t*>("x"), 1));
  // Folders: every missing level, an existing one, and none over a file.
  EXPECT_TRUE(cl::ForceDirectories(scratch.File("a\\b\\c")));
  EXPECT_TRUE(cl::DirectoryExists(scratch.File("a\\b\\c")));
  EXPECT_TRUE(cl::ForceDirectories(scratch.File("a\\b")));
  EXPECT_FALSE(cl::ForceDirectories(file));
  EXPECT_FALSE(cl::ForceDirectories(scratch.File("f\\below")));
  EXPECT_EQ("new", ReadHostFile(file));
}

// Files and folders of one host name in tree order: with the files written
// by threads of their own the first file still keeps its bytes, and a folder
// over a file made just before fails with what it holds.
TEST_F(Extract, NamesMetTwiceKeepTheFirstEntry) {
  constexpr uint32_t kPairs = 12;
  ImageBuilder b;
  b.AddRoot();
  std::vector<PageRef> first;
  for (uint32_t i = 0; i < 3 * kPairs + 1; ++i)
    first.push_back(b.AddFile(301 + i, 1, "f" + std::to_string(i), PatternBytes(3000 + i, static_cast<uint8_t>(i))));
  UseImage(b);
  cl::TTreeNode* root = Root();
  std::vector<std::string> ids;
  uint32_t n = 0;
  for (uint32_t i = 0; i < kPairs; ++i) {
    std::string name = "Dup" + std::to_string(i);
    Node(root, 301 + n, name, ObjectTypeFile, 3000 + n, first[n]);
    ++n;
    Node(root, 301 + n, "dUP" + std::to_string(i), ObjectTypeFile, 3000 + n, first[n]);
    ++n;
  }
  // A file "x", then a folder "X" with a file in it.
  Node(root, 301 + n, "x", ObjectTypeFile, 3000 + n, first[n]);
  cl::TTreeNode* folder = Node(root, 400, "X", ObjectTypeDirectory);
  Node(folder, 301 + n + 1, "k", ObjectTypeFile, 3000 + n + 1, first[n + 1]);
  for (cl::TTreeNode* c : root->Children()) ids.push_back(std::to_string(IdKey(RecordOf(c)->ObjectId)));
  Run(ids);
  for (uint32_t i = 0; i < kPairs; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PatternBytes(3000 + 2 * i, static_cast<uint8_t>(2 * i)),
              ReadHostFile(dest_.File("Dup" + std::to_string(i))));
  }
  EXPECT_EQ(PatternBytes(3000 + n, static_cast<uint8_t>(n)), ReadHostFile(dest_.File("x")));
  EXPECT_EQ(kPairs + 1, Listing(dest_.Path()).size());
  std::vector<AskedDialog> boxes = MessageBoxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("有" + std::to_string(kPairs + 2) + "个对象提取失败！", boxes[0].text);
}

namespace {

// The processes other than this one that run this program's file, by name.
std::vector<std::string> OtherCopiesOfThisProgram() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string name(self, n);
  name = name.substr(name.find_last_of("\\/") + 1);
  std::vector<std::string> others;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return {"<no snapshot>"};
  PROCESSENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL more = Process32First(snap, &e); more; more = Process32Next(snap, &e))
    if (e.th32ProcessID != GetCurrentProcessId() && lstrcmpiA(e.szExeFile, name.c_str()) == 0)
      others.push_back(std::string(e.szExeFile) + " " + std::to_string(e.th32ProcessID));
  CloseHandle(snap);
  return others;
}

// Looks for other copies of the program at every step the dialog shows,
// the last file's among them: by then thousands of files are being written.
class CensusExtract : public outfileThread {
public:
  using outfileThread::outfileThread;
  std::vector<int> sampledAt;
  std::vector<std::string> others;

protected:
  void ShowProgressPosition() override {
    outfileThread::ShowProgressPosition();
    sampledAt.push_back(Position);
    for (std::string& o : OtherCopiesOfThisProgram()) others.push_back(std::move(o));
  }
};

}  // namespace

TEST_F(Extract, ThousandsOfFilesAreWrittenInThisProcess) {
  constexpr uint32_t kFiles = 3000;
  ImageBuilder b;
  b.AddRoot();
  std::vector<PageRef> first;
  for (uint32_t i = 0; i < kFiles; ++i)
    first.push_back(
        b.AddFile(301 + i, 300, "f" + std::to_string(i), PatternBytes(100 + i % 50, static_cast<uint8_t>(i))));
  UseImage(b);
  cl::TTreeNode* folder = Node(Root(), 300, "many", ObjectTypeDirectory);
  for (uint32_t i = 0; i < kFiles; ++i)
    Node(folder, 301 + i, "f" + std::to_string(i), ObjectTypeFile, 100 + i % 50, first[i]);
  auto* w = new CensusExtract(Dest(), {"300"});
  Form1->StartWorker(std::unique_ptr<cl::TThread>(w));
  WaitForWorkers();
  ASSERT_FALSE(w->sampledAt.empty());
  EXPECT_EQ(static_cast<int>(kFiles) + 1, w->sampledAt.back());
  EXPECT_EQ(std::vector<std::string>(), w->others);
  EXPECT_EQ(kFiles + 1, Listing(dest_.Path()).size());
  for (uint32_t i = 0; i < kFiles; i += 499) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PatternBytes(100 + i % 50, static_cast<uint8_t>(i)),
              ReadHostFile(dest_.File("many\\f" + std::to_string(i))));
  }
  EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(Extract, HostileNamesStayInsideTheDestination) {
  ImageBuilder b;
  b.AddRoot();
  const char* names[] = {"..", "a\\b", "x:y", "con.txt", "乗", "."};
  std::vector<PageRef> first;
  for (uint32_t i = 0; i < 6; ++i) first.push_back(b.AddFile(300 + i, 400, names[i], std::string(1, 'a' + i)));
  UseImage(b);
  cl::TTreeNode* root = Root();
  cl::TTreeNode* up = Node(root, 400, "..", ObjectTypeDirectory);
  std::vector<std::string> ids = {"400"};
  for (uint32_t i = 0; i < 6; ++i) Node(up, 300 + i, names[i], ObjectTypeFile, 1, first[i]);
  Node(root, 401, "nul", ObjectTypeDirectory);
  ids.push_back("401");
  RecordingExtract* w = RunRecorded(ids);
  EXPECT_EQ(Listing(dest_.Path()), (std::vector<std::string>{"_\\", "_\\_", "_\\_con.txt", "_\\a_b", "_\\x_y",
                                                             "_\\乗", "_nul\\"}));
  // ".." and "." both become "_": the first keeps the name, the later one fails.
  EXPECT_EQ("a", ReadHostFile(dest_.File("_\\_")));
  EXPECT_EQ(w->log, (std::vector<std::string>{"total 8 shown", "position 1", "item _\\_", "position 2", "item _\\a_b",
                                              "position 3", "item _\\x_y", "position 4", "item _\\_con.txt",
                                              "position 5", "item _\\乗", "position 6", "position 7",
                                              "position 8", "close"}));
  ASSERT_EQ(1u, MessageBoxes().size());
  EXPECT_EQ("有1个对象提取失败！", MessageBoxes()[0].text);
}

// ---- Failures -----------------------------------------------------------------------------------

TEST_F(Extract, HostFailuresAreCountedAndReportedOnce) {
  ImageBuilder b;
  b.AddRoot();
  PageRef f1 = b.AddFile(301, 1, "f.bin", "abc");
  PageRef f2 = b.AddFile(303, 302, "hosts", "127.0.0.1\n");
  PageRef f3 = b.AddFile(304, 1, "ok", "fine");
  PageRef f4 = b.AddFile(305, 1, "busy", "new");
  UseImage(b);
  cl::TTreeNode* root = Root();
  Node(root, 301, "f.bin", ObjectTypeFile, 3, f1);
  cl::TTreeNode* etc = Node(root, 302, "etc", ObjectTypeDirectory);
  Node(etc, 303, "hosts", ObjectTypeFile, 10, f2);
  Node(root, 304, "ok", ObjectTypeFile, 4, f3);
  Node(root, 305, "busy", ObjectTypeFile, 3, f4);
  // A folder where the file goes, a file where the folder goes, a file held by another program.
  ASSERT_TRUE(CreateDirectoryA(dest_.File("f.bin").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dest_.File("etc"), "x", 1));
  ASSERT_TRUE(WriteBytes(dest_.File("busy"), "old", 3));
  HANDLE held = CreateFileA(dest_.File("busy").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  Run({"301", "302", "304", "305"});
  CloseHandle(held);
  EXPECT_EQ("fine", ReadHostFile(dest_.File("ok")));
  EXPECT_EQ("old", ReadHostFile(dest_.File("busy")));
  std::vector<AskedDialog> boxes = MessageBoxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("有4个对象提取失败！", boxes[0].text);
  EXPECT_EQ("提示", boxes[0].title);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), boxes[0].flags);
  EXPECT_EQ(cl::Application.Handle(), boxes[0].owner);
  // The message comes after the dialog has gone.
  EXPECT_EQ(cl::DialogKind::MessageBox, dialogs_.asked.back().kind);
}

// Links standing in the chosen folder, to a folder and to a file outside it:
// nothing is written into them, nothing they point at is replaced, and the
// entries that would have gone there count as failed.
TEST_F(Extract, LinksInTheDestinationAreNeitherFollowedNorReplaced) {
  ScratchFolder outside;
  ASSERT_FALSE(outside.Path().empty());
  ASSERT_TRUE(WriteBytes(outside.File("hosts"), "keep", 4));
  ASSERT_TRUE(WriteBytes(outside.File("target.txt"), "mine", 4));
  ImageBuilder b;
  b.AddRoot();
  PageRef f1 = b.AddFile(301, 1, "f.bin", "abc");
  PageRef f2 = b.AddFile(303, 302, "hosts", "127.0.0.1\n");
  PageRef f3 = b.AddFile(304, 302, "new.txt", "new");
  PageRef f4 = b.AddFile(305, 1, "ok", "fine");
  UseImage(b);
  cl::TTreeNode* root = Root();
  Node(root, 301, "f.bin", ObjectTypeFile, 3, f1);
  cl::TTreeNode* etc = Node(root, 302, "etc", ObjectTypeDirectory);
  Node(etc, 303, "hosts", ObjectTypeFile, 10, f2);
  Node(etc, 304, "new.txt", ObjectTypeFile, 3, f3);
  Node(root, 305, "ok", ObjectTypeFile, 4, f4);
  testlink::HostLink fileLink(dest_.File("f.bin"), outside.File("target.txt"));
  testlink::HostLink folderLink(dest_.File("etc"), outside.Path());
  ASSERT_TRUE(fileLink.Made());
  ASSERT_TRUE(folderLink.Made());
  Run({"301", "302", "305"});
  EXPECT_EQ("keep", ReadHostFile(outside.File("hosts")));
  EXPECT_EQ("mine", ReadHostFile(outside.File("target.txt")));
  EXPECT_EQ(Listing(outside.Path()), (std::vector<std::string>{"hosts", "target.txt"}));
  EXPECT_EQ("fine", ReadHostFile(dest_.File("ok")));
  ASSERT_EQ(1u, MessageBoxes().size());
  EXPECT_EQ("有4个对象提取失败！", MessageBoxes()[0].text);
}

// ---- Progress and cancel --------------------------------------------------------------------------

// A worker's steps on a clock of the test's own: the calls run on this
// (the interface) thread, so every shown step is recorded as it is made.
class ClockedSteps : public progressThread {
public:
  DWORD clock = 0;
  std::vector<long long> positions;
  std::vector<DWORD> shownAt;
  std::vector<std::string> items;

protected:
  void Execute() override {}
  DWORD ProgressClock() const override { return clock; }
  void ShowProgressPosition() override {
    positions.push_back(Position);
    shownAt.push_back(clock);
  }
  void ShowCurrentItem() override { items.push_back(CurrentItem); }
};

std::vector<long long> DueSteps(int total) {
  std::vector<long long> due;
  for (int p = 1; p <= total; ++p)
    if (cl::ProgressStepDue(p, total)) due.push_back(p);
  return due;
}

TEST(ProgressSteps, ShortRunsShowEveryStepAndLongRunsSpaceTheirStepsInTime) {
  struct Case {
    const char* name;
    int total;
    int stepsPerMillisecond;  // 0: the clock stands still
    std::vector<long long> expected;  // empty: checked by spacing below
  } cases[] = {
      {"short run, clock standing", 150, 0, DueSteps(150)},
      {"long run, clock standing: the first and the last", 10000, 0, {1, 10000}},
      {"long run, due steps 50 ms apart: all of them", 10000, 1, DueSteps(10000)},
      {"long run, due steps 5 ms apart", 10000, 10, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClockedSteps steps;
    steps.Total = c.total;
    for (int p = 1; p <= c.total; ++p) {
      if (c.stepsPerMillisecond > 0 && p % c.stepsPerMillisecond == 0) ++steps.clock;
      steps.StepTo(p);
    }
    if (!c.expected.empty()) {
      EXPECT_EQ(c.expected, steps.positions);
      continue;
    }
    ASSERT_GE(steps.positions.size(), 2u);
    EXPECT_EQ(1, steps.positions.front());
    EXPECT_EQ(c.total, steps.positions.back());
    for (size_t i = 1; i + 1 < steps.positions.size(); ++i)
      EXPECT_GE(steps.shownAt[i] - steps.shownAt[i - 1], progressThread::ShownStepInterval) << i;
    // 1000 ms of steps: about one shown step per interval.
    EXPECT_GE(steps.positions.size(), 20u);
    EXPECT_LE(steps.positions.size(), 27u);
  }
}

TEST(ProgressSteps, AStepShownForItsItemIsShownForItsPosition) {
  ClockedSteps steps;
  steps.Total = 10000;
  steps.clock = 1000;
  steps.ShowItem("a\\b", 5000);
  steps.StepTo(5000);  // no time has passed, but it is the same step
  steps.ShowItem("a\\c", 5050);
  steps.StepTo(5050);  // due, but too soon
  steps.clock += progressThread::ShownStepInterval;
  steps.StepTo(5100);
  EXPECT_EQ((std::vector<std::string>{"a\\b"}), steps.items);
  EXPECT_EQ((std::vector<long long>{5000, 5100}), steps.positions);
}

class ExtractTwoEntries : public Extract {
protected:
  void SetUp() override {
    Extract::SetUp();
    ImageBuilder b;
    b.AddRoot();
    for (uint32_t i = 0; i < 3; ++i) first_[i] = b.AddFile(301 + i, 300, "f" + std::to_string(i + 1), Data(i));
    first_[3] = b.AddFile(310, 1, "B", Data(3));
    UseImage(b);
    cl::TTreeNode* root = Root();
    cl::TTreeNode* a = Node(root, 300, "A", ObjectTypeDirectory);
    for (uint32_t i = 0; i < 3; ++i) Node(a, 301 + i, "f" + std::to_string(i + 1), ObjectTypeFile, 3000, first_[i]);
    Node(root, 310, "B", ObjectTypeFile, 3000, first_[3]);
  }
  static std::string Data(uint32_t i) { return PatternBytes(3000, static_cast<uint8_t>(40 + i)); }
  PageRef first_[4];
};

TEST_F(ExtractTwoEntries, SubtreesInOrderWithTheirSummedTotal) {
  RecordingExtract* w = RunRecorded({"300", "310"});
  EXPECT_EQ(w->log, (std::vector<std::string>{"total 5 shown", "position 1", "item A\\f1", "position 2", "item A\\f2",
                                              "position 3", "item A\\f3", "position 4", "item B", "position 5",
                                              "close"}));
  EXPECT_EQ("正在提取", Form4->Caption());
  EXPECT_EQ("提取进度：", Form4->Label1.Caption());
  EXPECT_EQ("B", Form4->Label2.Caption());
  EXPECT_EQ(5, Form4->ProgressBar1.Max());
  EXPECT_EQ(5, Form4->ProgressBar1.Position());
}

TEST_F(ExtractTwoEntries, CancelFinishesTheNodeAtHandAndBeginsNoFurtherEntry) {
  struct Case {
    const char* name;
    std::string cancelAtItem;
    int cancelAtPosition;
    std::vector<std::string> log;
    std::vector<std::string> files;
  } cases[] = {
      {"while a file is written", "A\\f2", -1,
       {"total 5 shown", "position 1", "item A\\f1", "position 2", "item A\\f2", "close"},
       {"A\\", "A\\f1", "A\\f2"}},
      {"after the folder", "", 1,
       {"total 5 shown", "position 1", "item A\\f1", "close"},
       {"A\\", "A\\f1"}},
      {"after the last node of the first entry", "", 4,
       {"total 5 shown", "position 1", "item A\\f1", "position 2", "item A\\f2", "position 3", "item A\\f3",
        "position 4", "close"},
       {"A\\", "A\\f1", "A\\f2", "A\\f3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder dest;
    auto* w = new RecordingExtract(dest.Path().substr(0, dest.Path().size() - 1), {"300", "310"});
    w->cancelAtItem = c.cancelAtItem;
    w->cancelAtPosition = c.cancelAtPosition;
    Form1->StartWorker(std::unique_ptr<cl::TThread>(w));
    WaitForWorkers();
    EXPECT_EQ(c.log, w->log);
    EXPECT_EQ(c.files, Listing(dest.Path()));
    for (uint32_t i = 0; i + 1 < c.files.size(); ++i)
      EXPECT_EQ(Data(i), ReadHostFile(dest.File("A\\f" + std::to_string(i + 1)))) << i;
    EXPECT_EQ(1, Form4->Tag);
  }
  EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(ExtractTwoEntries, RunAfterACancelStartsAfresh) {
  RunRecorded({"300", "310"}, "A\\f1");
  ASSERT_EQ(1, Form4->Tag);
  // The worker clears the request itself, also when the dialog is never shown.
  dialogs_.realForms.clear();
  RecordingExtract* w = RunRecorded({"300", "310"});
  EXPECT_EQ(w->log.back(), "close");
  EXPECT_EQ(11u, w->log.size());
  EXPECT_EQ(Data(3), ReadHostFile(dest_.File("B")));
  dialogs_.realForms.push_back(Form4);
  RecordingExtract* shown = RunRecorded({"310"});
  EXPECT_EQ(shown->log, (std::vector<std::string>{"total 1 shown", "item B", "position 1", "close"}));
  EXPECT_EQ(0, Form4->Tag);
}

TEST_F(ExtractTwoEntries, AnErrorInsideTheRunStillClosesTheDialogAndIsReported) {
  auto* w = new RecordingExtract(Dest(), {"300", "310"});
  w->throwAtItem = "A\\f2";
  Form1->StartWorker(std::unique_ptr<cl::TThread>(w));
  WaitForWorkers();
  EXPECT_EQ(w->log, (std::vector<std::string>{"total 5 shown", "position 1", "item A\\f1", "position 2",
                                              "item A\\f2", "close"}));
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
  ASSERT_EQ(1u, MessageBoxes().size());
  EXPECT_EQ("提取时出错，提取未完成！", MessageBoxes()[0].text);
  EXPECT_EQ("提示", MessageBoxes()[0].title);
}

// ---- Commands ---------------------------------------------------------------------------------------

void AddEntry(const std::string& caption, int id, int type) {
  cl::TListItem* item = Form1->ListView1.Add();
  item->SetCaption(caption);
  item->SubItems() = {std::to_string(id), std::to_string(type)};
}

TEST_F(ExtractTwoEntries, ExtractSelectionTakesTheSelectedEntries) {
  AddEntry("A", 300, 3);
  AddEntry("x", 999, 1);
  AddEntry("B", 310, 1);
  Form1->ListView1.Item(0)->SetSelected(true);
  Form1->ListView1.Item(2)->SetSelected(true);
  cl::Application.ProcessMessages();
  dialogs_.asked.clear();
  dialogs_.QueueText(Dest());
  Form1->ToolButton2Click();
  WaitForWorkers();
  ASSERT_FALSE(dialogs_.asked.empty());
  EXPECT_EQ(cl::DialogKind::BrowseFolder, dialogs_.asked[0].kind);
  EXPECT_EQ("请选择存放目录", dialogs_.asked[0].title);
  EXPECT_EQ(Form1->Handle(), dialogs_.asked[0].owner);
  EXPECT_EQ(Listing(dest_.Path()), (std::vector<std::string>{"A\\", "A\\f1", "A\\f2", "A\\f3", "B"}));
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(Data(i), ReadHostFile(dest_.File("A\\f" + std::to_string(i + 1)))) << i;
  EXPECT_EQ(Data(3), ReadHostFile(dest_.File("B")));
}

TEST_F(ExtractTwoEntries, CommandsWithoutAnythingToDoStartNothing) {
  struct Case {
    const char* name;
    void (*prepare)();
    void (*command)();
    bool asksForAFolder;
  } cases[] = {
      {"no entry selected", [] { AddEntry("A", 300, 3); }, [] { Form1->outfileokClick(); }, false},
      {"folder chooser cancelled",
       [] {
         AddEntry("A", 300, 3);
         Form1->ListView1.Item(0)->SetSelected(true);
       },
       [] { Form1->outfileokClick(); }, true},
      {"export all before anything was read", [] { Form1->Edit2.SetText(""); }, [] { Form1->outfileallokClick(); },
       false},
      {"export all, chooser cancelled", [] { Form1->Edit2.SetText("/"); }, [] { Form1->outfileallokClick(); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form1->ListView1.Clear();
    c.prepare();
    cl::Application.ProcessMessages();
    dialogs_.asked.clear();
    c.command();
    EXPECT_FALSE(Form1->WorkerRunning());
    cl::Application.ProcessMessages();
    std::vector<cl::DialogKind> kinds;
    for (const AskedDialog& a : dialogs_.asked) kinds.push_back(a.kind);
    EXPECT_EQ(kinds, c.asksForAFolder ? std::vector<cl::DialogKind>{cl::DialogKind::BrowseFolder}
                                      : std::vector<cl::DialogKind>{});
  }
  EXPECT_TRUE(Listing(dest_.Path()).empty());
}

TEST_F(Extract, ExportAllTakesTheChildrenOfTheRootOnly) {
  ImageBuilder b;
  b.AddRoot();
  PageRef first = b.AddFile(302, 1, "build.prop", "ro.x=1\n");
  UseImage(b);
  cl::TTreeNode* root = Root();
  Node(root, 301, "system", ObjectTypeDirectory);
  Node(root, 302, "build.prop", ObjectTypeFile, 7, first);
  Node(nullptr, 303, "orphan", ObjectTypeDirectory);  // parent never found
  Form1->Edit2.SetText("/");
  dialogs_.QueueText(Dest());
  Form1->ToolButton7Click();
  WaitForWorkers();
  EXPECT_EQ(Listing(dest_.Path()), (std::vector<std::string>{"build.prop", "system\\"}));
  EXPECT_EQ("ro.x=1\n", ReadHostFile(dest_.File("build.prop")));
}

TEST_F(Extract, ExportAllOfAnEmptyRootShowsAndClosesTheDialog) {
  ImageBuilder b;
  b.AddRoot();
  UseImage(b);
  Root();
  Form1->Edit2.SetText("/");
  dialogs_.QueueText(Dest());
  Form1->outfileallokClick();
  WaitForWorkers();
  EXPECT_TRUE(Listing(dest_.Path()).empty());
  EXPECT_EQ(0, Form4->ProgressBar1.Max());
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
}

// ---- Names the host takes for one ------------------------------------------------------------

TEST(HostFiles, FoldKeysFollowTheHostsCaseRule) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"case", "CASE", true},      {"Etc\\Init.RC", "etc/init.rc", true},
      {"C:\\Out\\ETC", "c:\\out\\etc", true}, {"a/B", "a\\b", true},
      {"", "", true},              {"x.TXT", "x.txt", true},
      {"乗\\D", "乗\\d", true},   {"丄A", "丄a", true},
      // Greek, Cyrillic and full-width letters fold as ASCII ones do.
      {"α", "Α", true},            {"я", "Я", true},
      {"ａ", "Ａ", true},          {"dir\\Σ.txt", "DIR/σ.TXT", true},
      {"a", "b", false},           {"dot.", "dot_", false},
      {"a", "ａ", false},          {"ab", "a\\b", false},
      // 丄 and 乤 differ only in a trail byte that looks like "A" and "a".
      {"丄", "乤", false},         {"乗", "乗\\", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(c.same, HostFoldKey(c.a) == HostFoldKey(c.b));
  }
}

// An image folder of six names that the host takes for three, folders that
// merge, and a file and a folder of one name: the first entry of a name
// keeps its bytes, every later one is counted, and nothing is lost silently.
class ExtractMeetingNames : public Extract {
protected:
  struct Entry {
    uint32_t id, parent;
    const char* name;
    uint32_t type;
  };
  static constexpr Entry kSix[] = {{301, 300, "case", ObjectTypeFile}, {302, 300, "CASE", ObjectTypeFile},
                                   {303, 300, "dot.", ObjectTypeFile}, {304, 300, "dot_", ObjectTypeFile},
                                   {305, 300, "a:b", ObjectTypeFile},  {306, 300, "a_b", ObjectTypeFile}};
  static constexpr Entry kOthers[] = {
      {310, 1, "sub", ObjectTypeDirectory}, {311, 310, "x", ObjectTypeFile},  {312, 310, "α", ObjectTypeFile},
      {320, 1, "SUB", ObjectTypeDirectory}, {321, 320, "X", ObjectTypeFile},  {322, 320, "y", ObjectTypeFile},
      {323, 320, "Α", ObjectTypeFile},      {330, 1, "m", ObjectTypeFile},    {331, 1, "M", ObjectTypeDirectory},
      {332, 331, "k", ObjectTypeFile},      {340, 1, "n", ObjectTypeDirectory}, {341, 340, "in", ObjectTypeFile},
      {342, 1, "N", ObjectTypeFile}};

  void SetUp() override {
    Extract::SetUp();
    ImageBuilder b;
    b.AddRoot();
    std::vector<Entry> all(std::begin(kSix), std::end(kSix));
    all.insert(all.end(), std::begin(kOthers), std::end(kOthers));
    std::vector<PageRef> first;
    for (const Entry& e : all)
      first.push_back(e.type == ObjectTypeFile ? b.AddFile(e.id, e.parent, e.name, Bytes(e.id)) : NoPage);
    UseImage(b);
    cl::TTreeNode* root = Root();
    Node(root, 300, "six", ObjectTypeDirectory);
    for (size_t i = 0; i < all.size(); ++i) {
      const Entry& e = all[i];
      cl::TTreeNode* parent = e.parent == 1 ? root : NodeOf(NodeTable, e.parent);
      Node(parent, e.id, e.name, e.type, e.type == ObjectTypeFile ? static_cast<uint32_t>(Bytes(e.id).size()) : 0,
           first[i]);
    }
  }
  static std::string Bytes(uint32_t id) { return "bytes of " + std::to_string(id) + std::string(id % 7, '+'); }
  std::vector<std::string> FailureTexts() const {
    std::vector<std::string> texts;
    for (const AskedDialog& a : MessageBoxes()) texts.push_back(a.text);
    return texts;
  }
};

TEST_F(ExtractMeetingNames, ExportAllKeepsTheFirstEntryOfEachHostName) {
  // A file on the host before the run is replaced as ever. A folder on the
  // host where the file m goes fails m, and nothing of the folder M that
  // meets m lands in it.
  ASSERT_TRUE(CreateDirectoryA(dest_.File("six").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dest_.File("six\\case"), "old", 3));
  ASSERT_TRUE(CreateDirectoryA(dest_.File("m").c_str(), nullptr));
  Form1->Edit2.SetText("/");
  dialogs_.QueueText(Dest());
  Form1->outfileallokClick();
  WaitForWorkers();
  std::vector<std::string> expected{"m\\",    "n\\",     "n\\in",   "six\\",   "six\\a_b", "six\\case",
                                    "six\\dot_", "sub\\", "sub\\x", "sub\\y",  "sub\\α"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, Listing(dest_.Path()));
  struct Written {
    const char* path;
    uint32_t id;
  } written[] = {{"six\\case", 301}, {"six\\dot_", 303}, {"six\\a_b", 305}, {"sub\\x", 311},
                 {"sub\\α", 312},    {"sub\\y", 322},    {"n\\in", 341}};
  for (const Written& w : written) {
    SCOPED_TRACE(w.path);
    EXPECT_EQ(Bytes(w.id), ReadHostFile(dest_.File(w.path)));
  }
  // CASE, dot_, a_b; X and Α in the merged folder; m, the folder M and its k; N.
  EXPECT_EQ(std::vector<std::string>{"有9个对象提取失败！"}, FailureTexts());
}

TEST_F(ExtractMeetingNames, ASelectionOfTheSixWritesThreeAndCountsThree) {
  for (const Entry& e : kSix) AddEntry(e.name, static_cast<int>(e.id), static_cast<int>(e.type));
  for (int i = 0; i < Form1->ListView1.Count(); ++i) Form1->ListView1.Item(i)->SetSelected(true);
  cl::Application.ProcessMessages();
  dialogs_.QueueText(Dest());
  Form1->ToolButton2Click();
  WaitForWorkers();
  EXPECT_EQ((std::vector<std::string>{"a_b", "case", "dot_"}), Listing(dest_.Path()));
  EXPECT_EQ(Bytes(301), ReadHostFile(dest_.File("case")));
  EXPECT_EQ(Bytes(303), ReadHostFile(dest_.File("dot_")));
  EXPECT_EQ(Bytes(305), ReadHostFile(dest_.File("a_b")));
  EXPECT_EQ(std::vector<std::string>{"有3个对象提取失败！"}, FailureTexts());
}

}  // namespace
