#include "imgout.h"

#include <cstring>

#include "Unit1.h"
#include "Unit4.h"

namespace {

// Releases the output's view and mapping on every way out.
struct OutputMapping {
  HANDLE mapping = nullptr;
  uint8_t* view = nullptr;
  ~OutputMapping() {
    if (view) UnmapViewOfFile(view);
    if (mapping) CloseHandle(mapping);
  }
};

}  // namespace

void WriteFileObject(ByteView sourceHeader, const ObjectRecord& r, uint8_t* out, const WalkSources& sources,
                     const StampSettings& settings) {
  cl::Screen.SetCursor(IDC_ARROW);
  WriteFilePages(sourceHeader, r, out, sources, RunList, InputTagsOffset, settings);
  cl::Screen.SetCursor(IDC_APPSTARTING);
}

imgoutThread::imgoutThread(const std::string& fileName) : FileName(fileName) {}

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
  // The edits are not all in a file yet: closing must still ask.
  if (!done) Modified = 1;
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
  OutputMapping output;
  // Exclusive sharing: the opened image and the WorkFile, held open by this
  // program, can never be chosen as the output.
  HANDLE file = size <= MaxOutputBytes
                    ? CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)
                    : INVALID_HANDLE_VALUE;
  if (file != INVALID_HANDLE_VALUE) {
    output.mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size), nullptr);
    CloseHandle(file);
    if (output.mapping)
      output.view = static_cast<uint8_t*>(MapViewOfFile(output.mapping, FILE_MAP_ALL_ACCESS, 0, 0, size));
  }
  if (!output.view) {
    // Shown through the dialog seam on the interface thread; the dialog
    // closes after it, on the way out.
    thread.Synchronize([] {
      cl::MessageBox(cl::Application.Handle(), "无法创建IMG文件！,可能其它程序正在使用。", "提示", MB_ICONINFORMATION);
    });
    return false;
  }

  const StampSettings settings{OutputTagsOffset, OutputEccKind};
  const ChunkIndex& imageIndex = ImageChunkIndex();
  ChunkIndex workIndex = BuildWorkChunkIndex();
  const WalkSources sources{&imageIndex, &workIndex, ImageBytes(), WorkBytes()};

  thread.Say("正在写入IMG文件头");
  WriteRootPage(count > 0 ? RecordOf(tree.Item(0)) : nullptr, output.view, sources, settings);

  uint64_t at = 1;
  for (int c = 1; c < count; ++c) {
    cl::TTreeNode* node = tree.Item(c);
    thread.ShowItem(node->Text(), c);
    const ObjectRecord* r = RecordOf(node);
    uint8_t* page = output.view + at * PageSize;
    if (r && r->ObjectType == ObjectTypeFile) {
      WriteFileObject(SourceHeader(*r, sources), *r, page, sources, settings);
    } else if (r) {
      WriteObjectPages(*r, page, sources, RunList, InputTagsOffset, settings);
    }
    at += OutputPages(r);
    if (thread.CancelRequested()) return false;
    thread.StepTo(c);
  }
  return true;
}
