#include "Unit3.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Unit1.h"
#include "Unit4.h"

// ---- Chunk index ---------------------------------------------------------------

namespace {

constexpr uint32_t kIdKeys = 65536;

// The pages of an image of any size that the 32-bit page references reach.
uint32_t PagesOf(ByteView bytes) {
  return PageCount(bytes.size() > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes.size()));
}

}  // namespace

ChunkIndex ChunkIndex::Build(ByteView bytes, PageSource source, const RunEntryList& runs, uint32_t tagsOffset) {
  ChunkIndex ix;
  ix.source_ = source;
  const uint32_t pages = PagesOf(bytes);
  // The WorkFile's page 0 is a dummy that belongs to no object.
  const PageRef lowest = source == PageSource::WorkFile ? 1 : 0;
  uint32_t order = 0;
  for (const RunEntry& e : runs.Entries()) {
    if (source == PageSource::Image && (e.Source != PageSource::Image || e.SequenceNumber == ErasedSequenceNumber))
      break;
    if (e.Source != source) continue;
    PageRef first = std::max(e.FirstPage, lowest);
    if (pages == 0 || first > e.LastPage || first >= pages) continue;
    PageRef last = std::min<PageRef>(e.LastPage, pages - 1);
    uint32_t length = last - first + 1;
    if (length > ChunkIndex::NoOrder - 1 - order) break;
    ix.segments_.push_back({first, last, order});
    order += length;
  }
  ix.total_ = order;

  struct Found {
    uint16_t Key;
    Located Where;
  };
  std::vector<Found> found;
  found.reserve(order);
  for (const Segment& s : ix.segments_) {
    for (PageRef p = s.First;; ++p) {
      ByteView page = PageBytes(bytes, p);
      uint32_t id = page.U32(tagsOffset + TagObjectId);
      // Tags compare all 32 bits with a 16-bit key: larger ids never match.
      if (id < kIdKeys)
        found.push_back({static_cast<uint16_t>(id), {s.Order + (p - s.First), page.U32(tagsOffset + TagChunkId), p}});
      if (p == s.Last) break;
    }
  }

  // Group by key, keeping the walk order inside each group.
  ix.start_.assign(kIdKeys + 1, 0);
  for (const Found& f : found) ++ix.start_[f.Key + 1];
  for (uint32_t k = 0; k < kIdKeys; ++k) ix.start_[k + 1] += ix.start_[k];
  ix.pages_.resize(found.size());
  std::vector<uint32_t> next(ix.start_.begin(), ix.start_.end() - 1);
  for (const Found& f : found) ix.pages_[next[f.Key]++] = f.Where;

  std::sort(ix.segments_.begin(), ix.segments_.end(),
            [](const Segment& a, const Segment& b) { return a.First < b.First; });
  return ix;
}

uint32_t ChunkIndex::OrderOf(PageRef page) const {
  auto it = std::upper_bound(segments_.begin(), segments_.end(), page,
                             [](PageRef p, const Segment& s) { return p < s.First; });
  if (it == segments_.begin()) return NoOrder;
  --it;
  return page <= it->Last ? it->Order + (page - it->First) : NoOrder;
}

const ChunkIndex::Located* ChunkIndex::Begin(uint16_t key) const {
  return start_.empty() ? nullptr : pages_.data() + start_[key];
}

const ChunkIndex::Located* ChunkIndex::End(uint16_t key) const {
  return start_.empty() ? nullptr : pages_.data() + start_[key + 1];
}

// ---- The open image's index ----------------------------------------------------------

namespace {

// What the image's index was built from. The file's identity and time tell a
// newly opened image from the last one even when its view, size and runs
// happen to look the same.
struct ImageKey {
  const uint8_t* View = nullptr;
  uint32_t Size = 0;
  uint32_t TagsOffset = 0;
  DWORD Volume = 0, IndexHigh = 0, IndexLow = 0;
  FILETIME Written{}, Created{};
  std::vector<RunEntry> Runs;
};

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool operator==(const ImageKey& a, const ImageKey& b) {
  return a.View == b.View && a.Size == b.Size && a.TagsOffset == b.TagsOffset && a.Volume == b.Volume &&
         a.IndexHigh == b.IndexHigh && a.IndexLow == b.IndexLow && SameTime(a.Written, b.Written) &&
         SameTime(a.Created, b.Created) && a.Runs == b.Runs;
}

ImageKey CurrentImageKey() {
  ImageKey k;
  k.View = ImageView;
  k.Size = ImageView ? ImageSize : 0;
  k.TagsOffset = InputTagsOffset;
  BY_HANDLE_FILE_INFORMATION info;
  if (ImageHandle && ImageHandle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(ImageHandle, &info)) {
    k.Volume = info.dwVolumeSerialNumber;
    k.IndexHigh = info.nFileIndexHigh;
    k.IndexLow = info.nFileIndexLow;
    k.Written = info.ftLastWriteTime;
    k.Created = info.ftCreationTime;
  }
  for (const RunEntry& e : RunList.Entries())
    if (e.Source == PageSource::Image) k.Runs.push_back(e);
  return k;
}

struct ImageIndexCache {
  bool Valid = false;
  ImageKey Key;
  ChunkIndex Index;
  uint32_t Builds = 0;
};

ImageIndexCache& Cache() {
  static ImageIndexCache cache;
  return cache;
}

}  // namespace

const ChunkIndex& ImageChunkIndex() {
  ImageIndexCache& c = Cache();
  ImageKey key = CurrentImageKey();
  if (!c.Valid || !(c.Key == key)) {
    c.Valid = false;
    c.Index = ChunkIndex::Build(ImageBytes(), PageSource::Image, RunList, InputTagsOffset);
    c.Key = std::move(key);
    c.Valid = true;
    ++c.Builds;
  }
  return c.Index;
}

void InvalidateChunkIndex() {
  Cache().Valid = false;
  Cache().Index = ChunkIndex();
}

uint32_t ImageChunkIndexBuilds() { return Cache().Builds; }

ChunkIndex BuildWorkChunkIndex() {
  return ChunkIndex::Build(WorkBytes(), PageSource::WorkFile, RunList, InputTagsOffset);
}

// ---- The walk ------------------------------------------------------------------------

std::vector<WalkPage> ChunkWalk(const ObjectRecord& r, const RunEntryList& runs, const WalkSources& sources) {
  std::vector<WalkPage> walk;
  const ChunkIndex* ix = nullptr;
  PageRef start = NoPage;
  if (InWorkFile(r)) {
    ix = sources.Work;
    // Page 0 is the dummy page: an offset there (or between pages) is no header.
    if (r.WorkOffset % PageSize == 0 && r.WorkOffset >= PageSize) start = r.WorkOffset / PageSize;
  } else {
    ix = sources.Image;
    start = r.FirstPage;
    if (start == NoPage) {
      // No first page was kept: start where the scan's walk starts, which
      // meets every page the scan could have seen for the id.
      size_t k = runs.FirstRunAtOrAbove(BaseSequenceNumber);
      if (k != RunEntryList::NoEntry && runs[k].Source == PageSource::Image) start = runs[k].FirstPage;
    }
  }
  if (!ix || start == NoPage) return walk;
  uint32_t from = ix->OrderOf(start);
  if (from == ChunkIndex::NoOrder) return walk;
  const ChunkIndex::Located* begin = ix->Begin(IdKey(r.ObjectId));
  const ChunkIndex::Located* end = ix->End(IdKey(r.ObjectId));
  if (!begin) return walk;
  begin = std::lower_bound(begin, end, from,
                           [](const ChunkIndex::Located& l, uint32_t order) { return l.Order < order; });
  walk.reserve(end - begin);
  for (const ChunkIndex::Located* l = begin; l != end; ++l) walk.push_back({ix->Source(), l->Page, l->ChunkId});
  return walk;
}

std::vector<WalkPage> LatestChunks(const std::vector<WalkPage>& walk, uint32_t n) {
  std::vector<size_t> chosen;
  for (size_t i = 0; i < walk.size(); ++i)
    if (walk[i].ChunkId >= 1 && walk[i].ChunkId <= n) chosen.push_back(i);
  std::stable_sort(chosen.begin(), chosen.end(),
                   [&walk](size_t a, size_t b) { return walk[a].ChunkId < walk[b].ChunkId; });
  std::vector<WalkPage> latest;
  for (size_t i = 0; i < chosen.size(); ++i)
    if (i + 1 == chosen.size() || walk[chosen[i + 1]].ChunkId != walk[chosen[i]].ChunkId)
      latest.push_back(walk[chosen[i]]);
  return latest;
}

// ---- Host names ------------------------------------------------------------------------

namespace {

// True when the last character of path is a single-byte "\" or "/" (a trail
// byte of a double-byte character may have that value too).
bool EndsWithSeparator(const std::string& path) {
  bool separator = false;
  for (size_t i = 0; i < path.size(); i += cl::CharBytes(path, i))
    separator = cl::CharBytes(path, i) == 1 && (path[i] == '\\' || path[i] == '/');
  return separator;
}

// The folder above path ("" when there is none), read with double-byte
// characters whole.
std::string ParentFolder(const std::string& path) {
  size_t cut = std::string::npos;
  for (size_t i = 0; i < path.size(); i += cl::CharBytes(path, i))
    if (path[i] == '\\' || path[i] == '/') cut = i;
  if (cut == std::string::npos || cut == 0) return std::string();
  return path.substr(0, cut);
}

}  // namespace

std::string SafeHostName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "_";
  std::string out;
  out.reserve(name.size() + 1);
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (cl::IsLeadByte(c)) {
      // A lead byte with no trail byte after it is no character.
      if (cl::CharBytes(name, i) == 2 && name[i + 1] != '\0') {
        out += name[i];
        out += name[++i];
      } else {
        out += '_';
      }
    } else if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c)) {
      out += '_';
    } else {
      out += name[i];
    }
  }
  // Dots and blanks are never trail bytes, so the last bytes can be read alone.
  for (size_t i = out.size(); i > 0 && (out[i - 1] == '.' || out[i - 1] == ' '); --i) out[i - 1] = '_';
  if (cl::IsDeviceName(out)) out.insert(0, 1, '_');
  return out;
}

std::string JoinHostPath(const std::string& folder, const std::string& relative) {
  if (folder.empty() || EndsWithSeparator(folder)) return folder + relative;
  return folder + "\\" + relative;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (cl::DirectoryExists(path)) return true;
  if (cl::PathExists(path)) return false;  // a file stands there
  std::string parent = ParentFolder(path);
  if (!parent.empty() && parent.size() < path.size() && parent.back() != ':') ForceDirectories(parent);
  return CreateDirectoryA(path.c_str(), nullptr) || cl::DirectoryExists(path);
}

// ---- One file ----------------------------------------------------------------------------

namespace {

// Views of the host file are mapped a window at a time, so a large file also
// fits the address space of a 32-bit process. A window holds whole chunks and
// starts on the allocation granularity.
constexpr uint32_t kViewWindow = 32u << 20;
static_assert(kViewWindow % 65536 == 0 && kViewWindow % ChunkSize == 0, "windows hold whole chunks");

}  // namespace

bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath, const WalkSources& sources) {
  HANDLE file = CreateFileA(hostPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (r.FileSize == 0) return CloseHandle(file) != 0;

  // Sized first, so that a full disk shows here and not as a failed write.
  LARGE_INTEGER length;
  length.QuadPart = r.FileSize;
  HANDLE mapping = nullptr;
  if (SetFilePointerEx(file, length, nullptr, FILE_BEGIN) && SetEndOfFile(file))
    mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, r.FileSize, nullptr);
  CloseHandle(file);
  if (!mapping) {
    DeleteFileA(hostPath.c_str());
    return false;
  }

  const uint32_t n = static_cast<uint32_t>((static_cast<uint64_t>(r.FileSize) + ChunkSize - 1) / ChunkSize);
  const uint32_t lastLength = r.FileSize - (n - 1) * ChunkSize;
  bool ok = true;
  uint8_t* view = nullptr;
  uint64_t viewBase = 0;
  for (const WalkPage& w : LatestChunks(ChunkWalk(r, RunList, sources), n)) {
    uint64_t offset = static_cast<uint64_t>(w.ChunkId - 1) * ChunkSize;
    uint64_t base = offset - offset % kViewWindow;
    if (!view || base != viewBase) {
      if (view) UnmapViewOfFile(view);
      SIZE_T span = static_cast<SIZE_T>(std::min<uint64_t>(kViewWindow, r.FileSize - base));
      view = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE,
                                                 static_cast<DWORD>(base >> 32), static_cast<DWORD>(base), span));
      viewBase = base;
      if (!view) {
        ok = false;
        break;
      }
    }
    ByteView source = w.Source == PageSource::Image ? sources.ImageBytes : sources.WorkBytes;
    PageBytes(source, w.Page).CopyOut(0, w.ChunkId == n ? lastLength : ChunkSize, view + (offset - base));
  }
  if (view) UnmapViewOfFile(view);
  CloseHandle(mapping);
  if (!ok) DeleteFileA(hostPath.c_str());
  return ok;
}

bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath) {
  ChunkIndex work;
  WalkSources sources;
  sources.ImageBytes = ImageBytes();
  sources.WorkBytes = WorkBytes();
  if (InWorkFile(r)) {
    work = BuildWorkChunkIndex();
    sources.Work = &work;
  } else {
    sources.Image = &ImageChunkIndex();
  }
  return ExtractFileData(r, hostPath, sources);
}

// ---- outfileThread -------------------------------------------------------------------------

namespace {

int SubtreeSize(const cl::TTreeNode* node) {
  int count = 0;
  std::vector<const cl::TTreeNode*> stack{node};
  while (!stack.empty()) {
    const cl::TTreeNode* n = stack.back();
    stack.pop_back();
    ++count;
    for (const cl::TTreeNode* child : n->Children()) stack.push_back(child);
  }
  return count;
}

}  // namespace

outfileThread::outfileThread(const std::string& destination, const std::vector<std::string>& ids)
    : Destination(destination), Ids(ids) {}

void outfileThread::Execute() {
  RunWithProgress(nullptr, [this] { Work(); }, ExtractFailedText);
}

std::string outfileThread::FailedObjectsText() const {
  return "有" + std::to_string(FailedObjects) + "个对象提取失败！";
}

void outfileThread::Work() {
  std::vector<cl::TTreeNode*> nodes;
  for (const std::string& id : Ids) {
    char* end = nullptr;
    unsigned long value = std::strtoul(id.c_str(), &end, 10);
    if (id.empty() || *end != '\0') continue;
    cl::TTreeNode* node = NodeOf(NodeTable, static_cast<uint32_t>(value));
    if (!node) continue;
    nodes.push_back(node);
    Total += SubtreeSize(node);
  }
  Synchronize([this] { ShowExtractProgress(); });

  cl::Screen.SetCursor(IDC_APPSTARTING);
  const ChunkIndex& image = ImageChunkIndex();
  ChunkIndex work = BuildWorkChunkIndex();
  sources_ = {&image, &work, ImageBytes(), WorkBytes()};
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (i > 0 && CancelRequested()) break;
    ExtractSubtree(*this, Form1->TreeView1, nodes[i], Destination);
  }
  sources_ = WalkSources();
}

void ExtractSubtree(outfileThread& thread, const cl::TTreeView& tree, cl::TTreeNode* node,
                    const std::string& destination) {
  if (!node || node->Owner() != &tree) return;
  struct Pending {
    cl::TTreeNode* node;
    std::string relative;
  };
  std::vector<Pending> stack{{node, SafeHostName(node->Text())}};
  while (!stack.empty()) {
    Pending at = std::move(stack.back());
    stack.pop_back();
    cl::TTreeNode* n = at.node;
    const ObjectRecord* r = RecordOf(n);
    std::string hostPath = JoinHostPath(destination, at.relative);
    if (n->HasChildren() || (r && r->ObjectType == ObjectTypeDirectory)) {
      if (!ForceDirectories(hostPath)) ++thread.FailedObjects;
    } else if (r && r->ObjectType == ObjectTypeFile) {
      thread.ShowItem(at.relative, thread.Position + 1);
      bool ok = thread.sources_.Image || thread.sources_.Work ? ExtractFileData(*r, hostPath, thread.sources_)
                                                               : ExtractFileData(*r, hostPath);
      if (!ok) ++thread.FailedObjects;
    }
    if (thread.CancelRequested()) return;
    thread.StepTo(thread.Position + 1);
    const std::vector<cl::TTreeNode*>& children = n->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      stack.push_back({*it, at.relative + "\\" + SafeHostName((*it)->Text())});
  }
}

void outfileThread::ShowExtractProgress() {
  if (!Form4) return;
  Form4->SetCaption("正在提取");
  Form4->Label1.SetCaption("提取进度：");
  Form4->ProgressBar1.SetRange(0, Total);
}
