#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "ecc.h"
#include "image_builder.h"
#include "imgout.h"

// ---- Round trips through the real commands -----------------------------------

#include <objbase.h>

#include <functional>
#include <map>
#include <new>

#include "Unit1.h"
#include "Unit4.h"
#include "Unit7.h"
#include "program_test.h"
#include "session.h"
#include "tree_text.h"

namespace {

using testsupport::HeaderFields;
using testsupport::ImageBuilder;

uint32_t U32At(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The tree as "path type size mode uid gid id" lines, preorder.
std::vector<std::string> TreeLines() {
  std::vector<std::string> lines;
  for (int i = 0; i < Form1->TreeView1.Count(); ++i) {
    const cl::TTreeNode* n = Form1->TreeView1.Item(i);
    const ObjectRecord* r = RecordOf(n);
    std::string line = NodePath(n);
    if (r)
      line += " " + std::to_string(r->ObjectType) + " " + std::to_string(r->FileSize) + " " +
              std::to_string(r->Mode) + " " + std::to_string(r->Uid) + " " + std::to_string(r->Gid) + " " +
              std::to_string(IdKey(r->ObjectId));
    lines.push_back(line);
  }
  return lines;
}

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed * 17 + i / 2048) & 0xFF);
  return s;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> out;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  DWORD size = GetFileSize(h, nullptr), got = 0;
  out.resize(size);
  if (size) ::ReadFile(h, out.data(), size, &got, nullptr);
  CloseHandle(h);
  out.resize(got);
  return out;
}

// Pages asked for in order reach the file in batches; the others stay zero.
TEST(OutputWriter, PagesReachTheFileAndGapsStayZero) {
  constexpr uint32_t kBatch = 4;
  constexpr uint64_t kPages = 12;
  struct Case {
    const char* name;
    std::vector<uint64_t> pages;
  } cases[] = {
      {"nothing", {}},
      {"exactly one batch", {0, 1, 2, 3}},
      {"one past a batch", {0, 1, 2, 3, 4}},
      {"gap inside a batch", {0, 2, 3}},
      {"gap longer than a batch", {0, 9}},
      {"last page alone", {kPages - 1}},
      {"a page asked twice", {1, 1, 5, 5, 6}},
  };
  testsupport::ScratchFolder scratch;
  ASSERT_FALSE(scratch.Path().empty());
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = scratch.File("out" + std::to_string(n++));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER size;
    size.QuadPart = kPages * PageSize;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    std::vector<uint8_t> expected(kPages * PageSize, 0);
    {
      OutputWriter out(file, kBatch);
      for (uint64_t p : c.pages) {
        uint8_t* page = out.Page(p);
        for (uint32_t i = 0; i < PageSize; ++i) EXPECT_EQ(page[i], expected[p * PageSize + i]) << i;
        std::memset(page, static_cast<int>(p + 1), PageSize);
        std::memset(expected.data() + p * PageSize, static_cast<int>(p + 1), PageSize);
      }
      out.Flush();
      if (!c.pages.empty()) {
        EXPECT_THROW(out.Page(c.pages.back() - 1), std::logic_error);
      }
    }
    CloseHandle(file);
    EXPECT_EQ(expected, ReadWholeFile(path));
  }
}

// A worker that presses "取消" once it has written a given number of nodes.
class CancellingRebuild : public imgoutThread {
public:
  CancellingRebuild(const std::string& file, int after, uint8_t modifiedBefore)
      : imgoutThread(file, modifiedBefore), after_(after) {}

protected:
  void ShowProgressPosition() override {
    imgoutThread::ShowProgressPosition();
    if (Position >= after_ && !pressed_) {
      pressed_ = true;
      Form4->Button1.Click();
    }
  }

private:
  int after_;
  bool pressed_ = false;
};

// A rebuild that fails where nothing expects it (memory exhausted, say) at
// its nth position step.
class FailingRebuild : public imgoutThread {
public:
  FailingRebuild(const std::string& file, int at, uint8_t modifiedBefore)
      : imgoutThread(file, modifiedBefore), at_(at) {}

protected:
  void ShowProgressPosition() override {
    imgoutThread::ShowProgressPosition();
    if (Position == at_) throw std::bad_alloc();
  }

private:
  int at_;
};

class Rebuild : public ProgramTest {};

// Root, folders, files of sizes around the chunk size, a link, a stale copy
// and an erased run, as a dump from a device would hold them.
ImageBuilder SampleImage(uint32_t tagsOffset, std::map<std::string, std::string>& files) {
  ImageBuilder b(tagsOffset);
  b.AddRoot();
  testsupport::HeaderFields etc;
  etc.type = ObjectTypeDirectory;
  etc.parent = 1;
  etc.name = "etc";
  etc.mode = testsupport::DirMode;
  b.AddHeader(300, etc);
  files["/etc/empty"] = "";
  files["/etc/one"] = Pattern(1, 1);
  files["/etc/full"] = Pattern(2048, 2);
  files["/big"] = Pattern(5000, 3);
  files["/etc/hosts"] = Pattern(70000, 4);
  b.AddFile(301, 300, "empty", files["/etc/empty"]);
  b.AddFile(302, 300, "one", files["/etc/one"]);
  b.AddFile(303, 300, "full", files["/etc/full"]);
  b.AddFile(304, 1, "big", Pattern(5000, 9));  // stale copy, rewritten below
  b.AddSymlink(305, 1, "link", "/etc/hosts");
  b.AddFile(306, 300, "hosts", files["/etc/hosts"]);
  b.AddFile(304, 1, "big", files["/big"], 4097);
  b.AddErased(3);
  return b;
}

TEST_F(Rebuild, RoundTripKeepsTheTreeAndTheBytes) {
  for (uint32_t in : {2048u, 2050u}) {
    for (int kind : {0, 1, 2}) {
      for (int marker : {0, 1}) {
        SCOPED_TRACE("in " + std::to_string(in) + " kind " + std::to_string(kind) + " marker " +
                     std::to_string(marker));
        std::map<std::string, std::string> files;
        ImageBuilder b = SampleImage(in, files);
        Open(b, "in.img");
        std::vector<std::string> before = TreeLines();
        Modified = 1;
        std::string out = NewPath("out.img");
        Save(out, kind, marker);
        EXPECT_EQ(Modified, 0);
        EXPECT_EQ(OutputEccKind, kind);
        const uint32_t tags = marker ? 2050 : 2048;
        EXPECT_EQ(OutputTagsOffset, tags);

        std::vector<uint8_t> bytes = ReadWholeFile(out);
        // One page for the root, each other node one page, files one per chunk.
        uint64_t pages = 1;
        for (int i = 1; i < Form1->TreeView1.Count(); ++i) pages += OutputPages(RecordOf(Form1->TreeView1.Item(i)));
        ASSERT_EQ(bytes.size(), pages * PageSize);
        for (uint64_t p = 0; p < pages; ++p) {
          SCOPED_TRACE("page " + std::to_string(p));
          const uint8_t* page = bytes.data() + p * PageSize;
          EXPECT_EQ(U32At(page + tags), 4096u);
          if (tags == 2050) {
            EXPECT_TRUE(page[2048] == 0xFF && page[2049] == 0xFF);
          }
          uint8_t tagsEcc[12];
          CalcTagsEcc(page + tags, tagsEcc);
          EXPECT_EQ(0, std::memcmp(page + tags + 16, tagsEcc, 12));
          if (kind != 0) {
            uint8_t dataEcc[24];
            CalcChunkEcc(page, dataEcc, static_cast<uint8_t>(kind));
            EXPECT_EQ(0, std::memcmp(page + 2088, dataEcc, 24));
          }
        }

        OpenPath(out);
        EXPECT_EQ(InputTagsOffset, tags);
        EXPECT_EQ(TreeLines(), before);
        ByteView image(ImageView, ImageSize);
        for (const auto& f : files) {
          SCOPED_TRACE(f.first);
          cl::TTreeNode* node = FindNode(f.first);
          ASSERT_NE(node, nullptr);
          const ObjectRecord* r = RecordOf(node);
          ASSERT_EQ(r->FileSize, f.second.size());
          // The rebuild lays chunk k right after the header, at page + k.
          std::string got;
          for (uint32_t k = 1; got.size() < f.second.size(); ++k) {
            ByteView page = PageBytes(image, r->HeaderPage + k);
            size_t take = std::min<size_t>(2048, f.second.size() - got.size());
            got.append(reinterpret_cast<const char*>(page.data()), take);
          }
          EXPECT_TRUE(got == f.second);
        }
      }
    }
  }
}

TEST_F(Rebuild, EditsOfRecordsReachTheOutput) {
  std::map<std::string, std::string> files;
  Open(SampleImage(2048, files));
  auto* r = static_cast<ObjectRecord*>(FindNode("/etc/hosts")->Data);
  SetRecordName(*r, "hosts.new");
  r->Mode = 0100600;
  r->Uid = 1000;
  r->Gid = 3003;
  std::string out = NewPath("edited.img");
  Save(out, 1, 0);
  OpenPath(out);
  cl::TTreeNode* node = FindNode("/etc/hosts.new");
  ASSERT_NE(node, nullptr);
  const ObjectRecord* e = RecordOf(node);
  EXPECT_EQ(e->Mode, 0100600u);
  EXPECT_EQ(e->Uid, 1000u);
  EXPECT_EQ(e->Gid, 3003u);
  EXPECT_EQ(e->FileSize, 70000u);
}

TEST_F(Rebuild, MissingChunkLeavesAZeroPage) {
  ImageBuilder b;
  b.AddRoot();
  std::string data = Pattern(3 * 2048, 5);
  testsupport::HeaderFields f;
  f.name = "gap";
  f.fileSize = static_cast<uint32_t>(data.size());
  b.AddHeader(400, f);
  b.AddFileChunks(400, data, {1, 3});
  Open(b);
  std::string out = NewPath("gap.img");
  Save(out, 0, 0);
  std::vector<uint8_t> bytes = ReadWholeFile(out);
  ASSERT_EQ(bytes.size(), 5u * PageSize);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 2 * PageSize, data.data(), 2048));
  for (size_t i = 0; i < PageSize; ++i) ASSERT_EQ(bytes[3 * PageSize + i], 0) << i;
  EXPECT_EQ(0, std::memcmp(bytes.data() + 4 * PageSize, data.data() + 4096, 2048));
}

TEST_F(Rebuild, RootWithoutHeaderGetsABuiltOne) {
  ImageBuilder b;  // as offline tools write them: no header for the root
  b.AddFile(300, 1, "a.txt", "hello");
  Open(b);
  std::string out = NewPath("noroot.img");
  Save(out, 1, 1);
  std::vector<uint8_t> bytes = ReadWholeFile(out);
  ASSERT_EQ(bytes.size(), 3u * PageSize);
  ObjectHeader h = DecodeObjectHeader(ByteView(bytes.data(), PageSize));
  EXPECT_EQ(h.ObjectType, 3u);
  EXPECT_EQ(h.ParentId, 1u);
  EXPECT_EQ(h.Mode, 040755u);
  EXPECT_EQ(h.FileSize, 0u);  // as the root's record says
  EXPECT_EQ(h.EquivalentId, 0xFFFFFFFFu);  // the other header bytes are erased
  EXPECT_EQ(U32At(bytes.data() + 2050 + 4), 1u);
  OpenPath(out);
  EXPECT_NE(FindNode("/a.txt"), nullptr);
}

TEST_F(Rebuild, OpenedImageAsOutputFailsAndLeavesItUntouched) {
  std::map<std::string, std::string> files;
  std::string in = Open(SampleImage(2048, files));
  std::vector<uint8_t> before = ReadWholeFile(in);
  Modified = 1;
  // The worker's message passes the dialog seam on the interface thread,
  // where a test can answer it.
  std::vector<DWORD> askedOn;
  dialogs_.onAsked = [&](const AskedDialog&) { askedOn.push_back(GetCurrentThreadId()); };
  Save(in, 1, 1);
  dialogs_.onAsked = nullptr;
  ASSERT_FALSE(dialogs_.asked.empty());
  const AskedDialog& last = dialogs_.asked.back();
  EXPECT_EQ(last.text, "无法创建IMG文件！,可能其它程序正在使用。");
  EXPECT_EQ(last.title, "提示");
  EXPECT_EQ(last.flags, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(askedOn, std::vector<DWORD>(askedOn.size(), cl::Application.ThreadId()));
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
  EXPECT_EQ(Modified, 1);
  EXPECT_EQ(ReadWholeFile(in), before);
  EXPECT_EQ(Modified, 1);  // nothing was written: closing must still ask
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
}

TEST_F(Rebuild, OutputTooLargeForOneMappingWritesNothing) {
  std::map<std::string, std::string> files;
  Open(SampleImage(2048, files));
  auto* r = static_cast<ObjectRecord*>(FindNode("/etc/hosts")->Data);
  const uint32_t size = r->FileSize;
  r->FileSize = 0xFFFFFFFF;  // a header with an absurd size: over 4 GiB of output
  std::string out = NewPath("huge.img");
  Save(out, 0, 0);
  r->FileSize = size;
  ASSERT_FALSE(dialogs_.asked.empty());
  EXPECT_EQ(dialogs_.asked.back().text, "无法创建IMG文件！,可能其它程序正在使用。");
  EXPECT_EQ(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A save that does not complete leaves the modified flag as it was before
// the command cleared it: edits not in a file still ask on closing, and an
// image without edits never does.
TEST_F(Rebuild, FailedSaveLeavesTheModifiedFlagAsItWas) {
  std::map<std::string, std::string> files;
  std::string in = Open(SampleImage(2048, files));
  for (int before : {0, 1}) {
    SCOPED_TRACE(before);
    Modified = static_cast<uint8_t>(before);
    Save(in, 1, 1);  // the opened image itself: not creatable
    ASSERT_FALSE(dialogs_.asked.empty());
    EXPECT_EQ(dialogs_.asked.back().text, "无法创建IMG文件！,可能其它程序正在使用。");
    EXPECT_EQ(Modified, before);
  }
}

TEST_F(Rebuild, CancelKeepsTheFullSizeWithZerosAfterTheLastObject) {
  std::map<std::string, std::string> files;
  Open(SampleImage(2048, files));
  std::string out;
  for (int before : {1, 0}) {
    SCOPED_TRACE(before);
    Modified = 0;  // as the command leaves it
    out = NewPath("cancel.img");
    auto* worker = new CancellingRebuild(out, 2, static_cast<uint8_t>(before));
    Form1->StartWorker(std::unique_ptr<cl::TThread>(worker));
    WaitForWorkers();
    EXPECT_FALSE(worker->Written);
    EXPECT_EQ(Modified, before);
  }
  std::vector<uint8_t> bytes = ReadWholeFile(out);
  uint64_t pages = 1;
  uint64_t written = 1;
  for (int i = 1; i < Form1->TreeView1.Count(); ++i) {
    uint64_t n = OutputPages(RecordOf(Form1->TreeView1.Item(i)));
    pages += n;
    if (i <= 3) written += n;  // nodes 1..2 and the one at hand when the cancel was seen
  }
  ASSERT_EQ(bytes.size(), pages * PageSize);
  for (size_t i = written * PageSize; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_NE(U32At(bytes.data() + (written - 1) * PageSize + 2048), 0u);
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
}

TEST_F(Rebuild, AnUnexpectedFailureIsReportedOnceAndClosesTheDialog) {
  std::map<std::string, std::string> files;
  Open(SampleImage(2048, files));
  Modified = 0;
  size_t before = dialogs_.asked.size();
  auto* worker = new FailingRebuild(NewPath("failing.img"), 2, 1);
  Form1->StartWorker(std::unique_ptr<cl::TThread>(worker));
  WaitForWorkers();
  EXPECT_FALSE(worker->Written);
  EXPECT_EQ(Modified, 1);  // the edits made before the save are not all in a file
  EXPECT_FALSE(IsWindowVisible(Form4->Handle()));
  ASSERT_FALSE(dialogs_.asked.empty());
  const AskedDialog& last = dialogs_.asked.back();
  EXPECT_EQ(last.kind, cl::DialogKind::MessageBox);
  EXPECT_EQ(last.text, "重建IMG文件时出错，另存未完成！");
  EXPECT_EQ(last.title, "提示");
  EXPECT_EQ(last.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  size_t boxes = 0;
  for (size_t i = before; i < dialogs_.asked.size(); ++i) boxes += dialogs_.asked[i].kind == cl::DialogKind::MessageBox;
  EXPECT_EQ(boxes, 1u);
}

}  // namespace
