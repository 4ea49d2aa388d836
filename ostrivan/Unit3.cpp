#include "Unit3.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Unit1.h"
#include "Unit4.h"

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

  bool ok = true;
  uint8_t* view = nullptr;
  uint64_t viewBase = 0;
  for (const FilePiece& piece : FilePieces(r, RunList, sources)) {
    uint64_t base = piece.Offset - piece.Offset % kViewWindow;
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
    piece.Page.CopyOut(0, piece.Length, view + (piece.Offset - base));
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
