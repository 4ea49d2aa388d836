#include "Unit2.h"

#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Unit1.h"
#include "addfilefun.h"
#include "ecc.h"
#include "progress.h"
#include "scanwalk.h"

cl::TTreeNode* ParkingNode = nullptr;

namespace {

// Accepted headers handed over in one synchronised call: a call per header
// would cost more than the walk of a large image.
constexpr size_t NodeBatch = 512;

// The status bar's face colour, with which the progress area is erased.
COLORREF StatusBarColour() { return GetSysColor(COLOR_BTNFACE); }

int ImageIndexOf(uint32_t objectType) { return objectType == ObjectTypeDirectory ? 0 : 1; }

// A node may go under target unless target is the node or lies below it.
bool CanMoveUnder(const cl::TTreeNode* node, const cl::TTreeNode* target) {
  return target != node && !target->HasAsParent(node);
}

void FillProgressArea(COLORREF colour, const RECT& r) {
  if (!Form1 || r.right <= r.left || r.bottom <= r.top) return;
  HDC dc = GetDC(Form1->StatusBar1.Handle());
  if (!dc) return;
  {
    cl::TCanvas canvas(dc);
    canvas.FillRect(r, colour);
  }
  ReleaseDC(Form1->StatusBar1.Handle(), dc);
}

}  // namespace

int ProgressBlocks(int32_t done, int32_t total, int width) {
  if (total <= 0 || done <= 0 || width <= 0) return 0;
  return static_cast<int>(std::ceil(static_cast<double>(done) / total * width / ProgressBlockStep));
}

std::string EraseMarkerNote(uint32_t tagsOffset) {
  return tagsOffset > TagsOffsetPlain ? "  \"OOB头双字节 有(OXFF,OXFF)檫除标记\"" : "  \"OOB头双字节 无(OXFF,OXFF)檫除标记\"";
}

// ---- Worker ----------------------------------------------------------------------

void readfileThread::ScanImage() {
  // Every way out, an exception too, ends in ScanFinished: it gives the user
  // the open command and the tree back, and says whether the scan got through.
  try {
    ScanPages();
  } catch (...) {
    Failed = true;
  }
  // Headers read before a failure still reach the tree.
  try {
    FlushNodes();
  } catch (...) {
    Failed = true;
  }
  pending_.clear();
  std::vector<uint32_t>().swap(summary_);
  try {
    Synchronize([this] { ScanFinished(); });
  } catch (...) {
    // ScanFinished itself failed on the interface thread before its message:
    // the user must hear that the read did not complete.
    Failed = true;
    try {
      ReportWorkerFailure(ScanFailedText);
    } catch (...) {
    }
  }
}

void readfileThread::ScanPages() {
  EnsureProbe("");
  MaxObjectId = 0;
  DetectedEccKind = EccKindNone;
  uint32_t pages = PageCount(ImageView ? ImageSize : 0);
  ProgressTotal = static_cast<int32_t>(pages);
  ProgressDone = 0;
  InputTagsOffset = OutputTagsOffset = DetectTagsOffset(ImageBytes());
  RunList.Clear();

  Synchronize([this] { ClearProgress(); });
  SetStateText("正在扫描IMG块信息");
  BuildRuns(pages);
  Synchronize([this] { ClearProgress(); });
  SetStateText("扫描IMG块信息完成");

  // Browsing and extraction need only the image: without a WorkFile the tree
  // is read all the same, and the commands that write through it refuse.
  NoWorkFile = !CreateWorkFile();
  RunList.AppendWorkFileEntry(0, 0);
  ProgressDone = 0;
  SetStateText("正在构建文件列表");
  WalkRuns(pages);
}

// Pass 1 builds the runs and keeps, per page, what the walk needs of it: the
// id's table key and the header test's verdict. The walk then goes back to
// the mapping only for the pages it accepts.
void readfileThread::BuildRuns(uint32_t pages) {
  RunList = ScanRuns(ImageBytes(), InputTagsOffset, summary_, [this] { StepProgress(); });
}

void readfileThread::WalkRuns(uint32_t pages) {
  if (!WalkableRun(RunList, RunList.FirstRunAtOrAbove(BaseSequenceNumber)) || summary_.size() != pages) return;
  cl::Screen.SetCursor(IDC_ARROW);
  WalkImageRuns(ImageBytes(), RunList, summary_, NodeTable, DetectedEccKind, MaxObjectId,
                [this](ByteView page, PageRef src) { Accept(page, src); }, [this] { StepProgress(); });
}

void readfileThread::Accept(ByteView page, PageRef src) {
  if (AcceptHook) AcceptHook(src);
  pending_.push_back(RecordOfHeaderPage(page, InputTagsOffset, src));
  EnsureProbe(IconKey(AnsiFromUtf8(RecordName(pending_.back()))));
  if (pending_.size() >= NodeBatch) FlushNodes();
}

void readfileThread::FlushNodes() {
  if (pending_.empty()) return;
  Synchronize([this] {
    for (const ObjectRecord& r : pending_) {
      Record = r;
      AddOrUpdateNode();
    }
  });
  pending_.clear();
}

void readfileThread::SetStateText(const char* text) {
  Synchronize([text] {
    if (Form1) Form1->StatusBar1.SetPanelText(4, text);
  });
}

void readfileThread::ReportWorkerFailure(const char* text) {
  Synchronize([text] { ShowFailure(text); });
}

void readfileThread::StepProgress() {
  ++ProgressDone;
  int blocks = ProgressBlocks(ProgressDone, ProgressTotal, progressWidth_);
  if (blocks != paintedBlocks_) {
    // Headers met so far reach the tree before the bar says they were read.
    FlushNodes();
    Synchronize([this] { PaintProgress(); });
  }
}

// An empty key asks for the folder probe. A probe that cannot be made only
// costs its entries their icon; the scan goes on.
void readfileThread::EnsureProbe(const std::string& key) {
  if (!probes_.insert(key).second) return;
  try {
    if (key.empty())
      MakeIconProbe(0, key);
    else
      MakeIconProbe(1, key);
  } catch (...) {
  }
}

// ---- Interface thread ------------------------------------------------------------

void readfileThread::AddOrUpdateNode() {
  if (!Form1 || !NodeTable) return;
  cl::TTreeNode* root = NodeOf(NodeTable, RootObjectId);
  const HeaderDecision place = PlaceHeader(NodeTable, Record);
  switch (place.Place) {
    case HeaderPlace::Ignored:
      return;
    case HeaderPlace::Root: {
      // The root stays where it is, with its text "/": only its record changes.
      if (!root) return;
      auto* r = RecordOf(root);
      if (!r) root->Data = r = new ObjectRecord;
      *r = Record;
      r->FirstPage = NoPage;
      return;
    }
    case HeaderPlace::Removed:
      if (place.Node != NoNode) DeleteObjectSubtree(TreeNodeOf(place.Node));
      return;
    case HeaderPlace::Known:
    case HeaderPlace::New:
      break;
  }
  const uint16_t id = IdKey(Record.ObjectId);
  cl::TTreeNode* node = TreeNodeOf(place.Node);
  const PageRef first = place.First;
  cl::TTreeNode* target = Record.ParentId == RootObjectId ? root : NodeOf(NodeTable, Record.ParentId);
  if (!target) target = ParkingNode;
  if (!target) return;
  std::string caption = AnsiFromUtf8(RecordName(Record));
  int image = ImageIndexOf(Record.ObjectType);

  if (node) {
    // The newest header wins: record, text and place follow it.
    ObjectRecord* r = RecordOf(node);
    bool moved = !r || IdKey(r->ParentId) != IdKey(Record.ParentId);
    PageRef keep = r ? r->FirstPage : NoPage;
    if (!r) node->Data = r = new ObjectRecord;
    *r = Record;
    r->FirstPage = keep;
    if (node->Text() != caption) node->SetText(caption);
    if (node->ImageIndex() != image) {
      node->SetImageIndex(image);
      node->SetSelectedIndex(image);
    }
    if (moved) {
      if (!CanMoveUnder(node, target)) target = ParkingNode;
      if (target && node->Parent() != target && CanMoveUnder(node, target)) node->MoveTo(target, cl::naAddChild);
    }
    return;
  }

  auto* r = new ObjectRecord(Record);
  r->FirstPage = first;
  cl::TTreeNode* added = Form1->TreeView1.AddChildObject(target, caption, r);
  added->SetImageIndex(image);
  added->SetSelectedIndex(image);
  SetNode(NodeTable, id, added);
}

void readfileThread::ScanFinished() {
  if (!Form1) return;
  // Whatever fails below, the user gets the open command and the tree back.
  struct Reenable {
    ~Reenable() {
      ParkingNode = nullptr;
      ScanRunning = false;
      Form1->ToolButton10->SetEnabled(true);
      Form1->TreeView1.SetEnabled(true);
    }
  } reenable;

  FillProgressArea(StatusBarColour(), ProgressRect);
  Form1->StatusBar1.SetPanelText(4, Failed ? ScanFailedText : "读取完成！");
  Form1->StatusBar1.SetHint(Form1->StatusBar1.Hint() + EraseMarkerNote(InputTagsOffset));
  SortFolderTree();

  SHFILEINFOA info{};
  std::string probes = TempDir() + "yaffs";
  auto images = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(probes.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_ICON));
  if (info.hIcon) DestroyIcon(info.hIcon);
  Form1->ListView1.SetLargeImages(images);

  // Parked objects go under their parents, known by now or never: to the top
  // level then. An object whose parent lies in its own subtree stays parked
  // and goes with the parking node.
  if (cl::TTreeNode* parking = ParkingNode) {
    std::vector<cl::TTreeNode*> parked = parking->Children();
    for (cl::TTreeNode* child : parked) {
      const ObjectRecord* r = RecordOf(child);
      cl::TTreeNode* parent = r ? NodeOf(NodeTable, r->ParentId) : nullptr;
      if (!parent) {
        child->MoveTo(nullptr, cl::naAdd);
      } else if (CanMoveUnder(child, parent)) {
        child->MoveTo(parent, cl::naAddChild);
      }
    }
    ParkingNode = nullptr;
    DeleteObjectSubtree(parking);
  }

  cl::TTreeNode* root = NodeOf(NodeTable, RootObjectId);
  Form1->TreeView1.FullCollapse();
  if (root) root->Expand(false);
  ShowFolder(root, Form1->ListView1);
  if (NoWorkFile) ShowFailure(WorkFileFailedText);
  if (Failed) ShowFailure(ScanFailedText);
}

void readfileThread::PaintProgress() {
  if (!Form1) return;
  RECT area = ProgressRect;
  progressWidth_ = area.right - area.left;
  int blocks = ProgressBlocks(ProgressDone, ProgressTotal, progressWidth_);
  paintedBlocks_ = blocks;
  if (blocks <= 0) return;
  HDC dc = GetDC(Form1->StatusBar1.Handle());
  if (!dc) return;
  {
    cl::TCanvas canvas(dc);
    for (int b = 0; b < blocks; ++b) {
      RECT r{area.left + ProgressBlockStep * b, area.top, 0, area.bottom};
      r.right = std::min<LONG>(r.left + ProgressBlockWidth, area.right);
      canvas.FillRect(r, RGB(0, 0, 255));
    }
  }
  ReleaseDC(Form1->StatusBar1.Handle(), dc);
}

void readfileThread::ClearProgress() {
  if (!Form1) return;
  Form1->StatusBar1.SetPanelText(5, "");
  FillProgressArea(StatusBarColour(), ProgressRect);
  progressWidth_ = ProgressRect.right - ProgressRect.left;
  paintedBlocks_ = 0;
}
