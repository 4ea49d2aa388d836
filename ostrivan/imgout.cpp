#include "imgout.h"

#include <cstring>

#include "Unit1.h"
#include "Unit4.h"
#include "ecc.h"

namespace {

uint32_t ChunkCount(uint32_t fileSize) { return static_cast<uint32_t>((uint64_t(fileSize) + ChunkSize - 1) / ChunkSize); }

ByteView SourceBytes(PageSource s, const WalkSources& sources) {
  return s == PageSource::Image ? sources.ImageBytes : sources.WorkBytes;
}

// The header page a record points to: the image page, or the WorkFile page
// at its offset for an object added since the open.
ByteView SourceHeader(const ObjectRecord& r, const WalkSources& sources) {
  if (r.HeaderPage != NoPage) return PageBytes(sources.ImageBytes, r.HeaderPage);
  return sources.WorkBytes.Sub(r.WorkOffset, PageSize);
}

const ObjectRecord* RecordOf(cl::TTreeNode* node) { return static_cast<const ObjectRecord*>(node->Data); }

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

void StampPageEcc(uint8_t* page, const StampSettings& out) {
  if (out.TagsOffset > TagsOffsetPlain) std::memset(page + EraseMarkerOffset, ErasedByte, EraseMarkerLength);
  CalcTagsEcc(page + out.TagsOffset, page + out.TagsOffset + TagsLength);
  CalcChunkEcc(page, page + DataEccOffset, out.EccKind);
}

void StampPage(uint8_t* page, const Tags& tags, const StampSettings& out) {
  EncodeTags(tags, page + out.TagsOffset);
  StampPageEcc(page, out);
}

void RewriteHeader(uint8_t* dst, ByteView sourcePage, const ObjectRecord& r, uint32_t objectId,
                   const StampSettings& out) {
  sourcePage.CopyOut(0, PageSize, dst);
  std::memcpy(dst + HeaderName, r.Name, MaxNameBytes);
  // The record's name is terminated within 255 bytes; so is the field.
  dst[HeaderName + MaxNameBytes] = 0;
  WriteU32(dst + HeaderMode, r.Mode);
  WriteU32(dst + HeaderUid, r.Uid);
  WriteU32(dst + HeaderGid, r.Gid);
  StampPage(dst, Tags{BaseSequenceNumber, objectId, 0, HeaderByteCount}, out);
}

void DefaultRootPage(uint8_t* dst) {
  std::memset(dst, ErasedByte, PageSize);
  WriteU32(dst + HeaderType, ObjectTypeDirectory);
  WriteU32(dst + HeaderParentId, 1);
  std::memset(dst + HeaderName, 0, NameFieldSize);
  WriteU32(dst + HeaderMode, 040755);
  for (uint32_t field : {HeaderUid, HeaderGid, HeaderATime, HeaderMTime, HeaderCTime}) WriteU32(dst + field, 0);
}

uint64_t OutputPages(const ObjectRecord* r) {
  if (r && r->ObjectType == ObjectTypeFile) return 1 + uint64_t(ChunkCount(r->FileSize));
  return 1;
}

void WriteFileObject(ByteView sourceHeader, const ObjectRecord& r, uint8_t* out, const WalkSources& sources,
                     const StampSettings& settings) {
  RewriteHeader(out, sourceHeader, r, IdKey(r.ObjectId), settings);
  uint32_t n = ChunkCount(r.FileSize);
  if (n == 0) return;
  cl::Screen.SetCursor(IDC_ARROW);
  for (const WalkPage& p : LatestChunks(ChunkWalk(r, RunList, sources), n)) {
    uint8_t* dst = out + uint64_t(p.ChunkId) * PageSize;
    ByteView src = PageBytes(SourceBytes(p.Source, sources), p.Page);
    src.CopyOut(0, PageSize, dst);
    // The tags move to the output's offset with the sequence number of
    // every written page; object id, chunk id and byte count stay as read.
    uint8_t tags[TagsLength];
    src.CopyOut(InputTagsOffset, TagsLength, tags);
    WriteU32(tags + TagSequenceNumber, BaseSequenceNumber);
    std::memcpy(dst + settings.TagsOffset, tags, TagsLength);
    StampPageEcc(dst, settings);
  }
  cl::Screen.SetCursor(IDC_APPSTARTING);
}

imgoutThread::imgoutThread(const std::string& fileName) : FileName(fileName) {}

void imgoutThread::Execute() {
  bool done = false;
  try {
    done = RebuildImage(*this, FileName);
  } catch (...) {
    try {
      Synchronize([this] { CloseProgressDialog(); });
    } catch (...) {
    }
  }
  Written = done;
  // The edits are not all in a file yet: closing must still ask.
  if (!done) Modified = 1;
  cl::Screen.SetCursor(IDC_ARROW);
}

void imgoutThread::Say(const std::string& text) {
  CurrentText = text;
  Synchronize([this] { ShowCurrentItem(); });
}

void imgoutThread::ShowRebuildProgress() {
  Form4->SetCaption("正在重建另存:");
  Form4->Label1.SetCaption("存储进度：");
  Form4->ProgressBar1.SetRange(0, Total);
}

void imgoutThread::ShowCurrentItem() { Form4->Label2.SetCaption(CurrentText); }
void imgoutThread::ShowProgressPosition() { Form4->ProgressBar1.SetPosition(Position); }
void imgoutThread::CloseProgressDialog() { Form4->Close(); }

bool RebuildImage(imgoutThread& thread, const std::string& fileName) {
  cl::TTreeView& tree = Form1->TreeView1;
  const int count = tree.Count();
  thread.Total = count - 2 > 0 ? count - 2 : 0;
  thread.Synchronize([&thread] { thread.ShowRebuildProgress(); });
  Form4->Tag = 0;
  PostMessageA(Form1->Button1.Handle(), BM_CLICK, 0, 0);

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
    cl::MessageBox(cl::Application.Handle(), "无法创建IMG文件！,可能其它程序正在使用。", "提示", MB_ICONINFORMATION);
    thread.Synchronize([&thread] { thread.CloseProgressDialog(); });
    return false;
  }

  const StampSettings settings{OutputTagsOffset, OutputEccKind};
  const ChunkIndex& imageIndex = ImageChunkIndex();
  ChunkIndex workIndex = BuildWorkChunkIndex();
  const WalkSources sources{&imageIndex, &workIndex, ImageBytes(), WorkBytes()};

  thread.Say("正在写入IMG文件头");
  const ObjectRecord* root = count > 0 ? RecordOf(tree.Item(0)) : nullptr;
  if (root && root->HeaderPage != NoPage) {
    PageBytes(sources.ImageBytes, root->HeaderPage).CopyOut(0, PageSize, output.view);
  } else {
    DefaultRootPage(output.view);
  }
  StampPage(output.view, Tags{BaseSequenceNumber, root ? root->ObjectId : 1, 0, HeaderByteCount}, settings);

  uint64_t at = 1;
  for (int c = 1; c < count; ++c) {
    cl::TTreeNode* node = tree.Item(c);
    if (cl::ProgressStepDue(c, thread.Total)) thread.Say(node->Text());
    const ObjectRecord* r = RecordOf(node);
    uint8_t* page = output.view + at * PageSize;
    if (r && r->ObjectType == ObjectTypeFile) {
      WriteFileObject(SourceHeader(*r, sources), *r, page, sources, settings);
    } else if (r) {
      RewriteHeader(page, SourceHeader(*r, sources), *r, IdKey(r->ObjectId), settings);
    }
    at += OutputPages(r);
    if (Form4->Tag == 1) {
      thread.Synchronize([&thread] { thread.CloseProgressDialog(); });
      return false;
    }
    thread.Position = c;
    if (cl::ProgressStepDue(c, thread.Total)) thread.Synchronize([&thread] { thread.ShowProgressPosition(); });
  }
  thread.Synchronize([&thread] { thread.CloseProgressDialog(); });
  return true;
}
