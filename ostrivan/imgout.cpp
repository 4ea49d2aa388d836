#include "imgout.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Unit1.h"
#include "Unit4.h"
#include "cl_hostfile.h"

OutputWriter::OutputWriter(HANDLE file, uint32_t batchPages)
    : file_(file), batch_(std::max<uint32_t>(1, batchPages)) {
  for (std::vector<uint8_t>& b : buffers_) b.assign(size_t{batch_} * PageSize, 0);
  writer_ = std::thread([this] { Run(); });
}

OutputWriter::~OutputWriter() {
  {
    std::unique_lock<std::mutex> hold(lock_);
    idle_.wait(hold, [this] { return !busy_; });
    stopping_ = true;
  }
  ready_.notify_one();
  writer_.join();
}

uint8_t* OutputWriter::Page(uint64_t page) {
  if (page < first_) throw std::logic_error("output pages go front to back");
  if (page >= first_ + batch_) {
    Hand();
    first_ = page;
  }
  used_ = std::max<uint64_t>(used_, page - first_ + 1);
  return buffers_[current_].data() + (page - first_) * PageSize;
}

void OutputWriter::Flush() {
  Hand();
  std::unique_lock<std::mutex> hold(lock_);
  idle_.wait(hold, [this] { return !busy_; });
  if (failed_) throw std::runtime_error("output not written");
}

// The gathered batch goes to the writer thread; this thread goes on in the
// other buffer once the writer is done with it.
void OutputWriter::Hand() {
  if (used_ == 0) return;
  {
    std::unique_lock<std::mutex> hold(lock_);
    idle_.wait(hold, [this] { return !busy_; });
    if (failed_) throw std::runtime_error("output not written");
    busy_ = true;
    handed_ = current_;
    handedOffset_ = first_ * PageSize;
    handedLength_ = static_cast<DWORD>(used_ * PageSize);
  }
  ready_.notify_one();
  current_ ^= 1;
  first_ += used_;
  used_ = 0;
}

void OutputWriter::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    ready_.wait(hold, [this] { return stopping_ || busy_; });
    if (!busy_) return;
    std::vector<uint8_t>& buffer = buffers_[handed_];
    const uint64_t offset = handedOffset_;
    const DWORD length = handedLength_;
    hold.unlock();
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    bool ok = WriteFile(file_, buffer.data(), length, &done, &at) && done == length;
    // Pages a later batch skips must read as zero.
    std::memset(buffer.data(), 0, length);
    hold.lock();
    if (!ok) failed_ = true;
    busy_ = false;
    idle_.notify_all();
  }
}

void WriteFileObject(ByteView sourceHeader, const ObjectRecord& r, OutputWriter& output, uint64_t headerPage,
                     const WalkSources& sources, const StampSettings& settings) {
  cl::Screen.SetCursor(IDC_ARROW);
  WriteFilePages(sourceHeader, r, [&](uint64_t index) { return output.Page(headerPage + index); }, sources, RunList,
                 InputTagsOffset, settings);
  cl::Screen.SetCursor(IDC_APPSTARTING);
}

imgoutThread::imgoutThread(const std::string& fileName, uint8_t modifiedBefore)
    : FileName(fileName), ModifiedBefore(modifiedBefore) {}

void imgoutThread::Execute() {
  bool done = false;
  // The set-up call comes before the click: the dialog shows the rebuild's
  // caption from its first paint.
  RunWithProgress(
      [this] {
        const int count = Form1->TreeView1.Count();
        Total = count - 2 > 0 ? count - 2 : 0;
        Synchronize([this] { ShowRebuildProgress(); });
      },
      [this, &done] { done = RebuildImage(*this, FileName); }, RebuildFailedText);
  Written = done;
  if (!done) Modified = ModifiedBefore;
}

void imgoutThread::Say(const std::string& text) { ShowItem(text, 0); }

void imgoutThread::ShowRebuildProgress() {
  Form4->SetCaption("正在重建另存:");
  Form4->Label1.SetCaption("存储进度：");
  Form4->ProgressBar1.SetRange(0, Total);
}

bool RebuildImage(imgoutThread& thread, const std::string& fileName) {
  cl::TTreeView& tree = Form1->TreeView1;
  const int count = tree.Count();

  thread.Say("正在计算空间");
  uint64_t pages = 1;
  for (int c = 1; c < count; ++c) pages += OutputPages(RecordOf(tree.Item(c)));
  const uint64_t size = pages * PageSize;

  thread.Say("正在创建文件");
  // Exclusive sharing: the opened image and the WorkFile, held open by this
  // program, can never be chosen as the output. The file has its full size
  // from the start; pages not yet written read as zero.
  HANDLE file = size <= MaxOutputBytes ? cl::CreateFreshFile(fileName, GENERIC_WRITE) : INVALID_HANDLE_VALUE;
  if (file != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER length;
    length.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file, length, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
      CloseHandle(file);
      DeleteFileA(fileName.c_str());
      file = INVALID_HANDLE_VALUE;
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    // Shown through the dialog seam on the interface thread; the dialog
    // closes after it, on the way out.
    thread.Synchronize([] {
      cl::MessageBox(cl::Application.Handle(), "无法创建IMG文件！,可能其它程序正在使用。", "提示", MB_ICONINFORMATION);
    });
    return false;
  }
  struct Closer {
    HANDLE file;
    ~Closer() { CloseHandle(file); }
  } closer{file};
  OutputWriter output(file, OutputBatchPages);

  const StampSettings settings{OutputTagsOffset, OutputEccKind};
  const ChunkIndex& imageIndex = ImageChunkIndex();
  ChunkIndex workIndex = BuildWorkChunkIndex();
  const WalkSources sources{&imageIndex, &workIndex, ImageBytes(), WorkBytes()};

  thread.Say("正在写入IMG文件头");
  WriteRootPage(count > 0 ? RecordOf(tree.Item(0)) : nullptr, output.Page(0), sources, settings);

  uint64_t at = 1;
  for (int c = 1; c < count; ++c) {
    cl::TTreeNode* node = tree.Item(c);
    thread.ShowItem(node->Text(), c);
    const ObjectRecord* r = RecordOf(node);
    if (r && r->ObjectType == ObjectTypeFile) {
      WriteFileObject(SourceHeader(*r, sources), *r, output, at, sources, settings);
    } else if (r) {
      WriteObjectPages(*r, [&](uint64_t index) { return output.Page(at + index); }, sources, RunList,
                       InputTagsOffset, settings);
    }
    at += OutputPages(r);
    if (thread.CancelRequested()) {
      output.Flush();
      return false;
    }
    thread.StepTo(c);
  }
  output.Flush();
  return true;
}
