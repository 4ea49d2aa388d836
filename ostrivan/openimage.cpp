#include "openimage.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "cl_sync.h"

HANDLE ImageHandle = nullptr;
HANDLE ImageMapping = nullptr;
HANDLE WorkFileHandle = nullptr;
HANDLE WorkFileMapping = nullptr;

namespace {

void CloseIf(HANDLE& h) {
  if (h) CloseHandle(h);
  h = nullptr;
}

// Unmaps a view and closes its mapping and file; all of them read as none after.
template <typename View>
void ReleaseMapped(View*& view, uint32_t& size, HANDLE& mapping, HANDLE& file) {
  if (view) UnmapViewOfFile(view);
  view = nullptr;
  size = 0;
  CloseIf(mapping);
  CloseIf(file);
}

// The image's index, built by the first worker that asks for it and dropped
// with the image. The lock makes the build happen once even if two threads
// asked together; dropping happens on the interface thread while no worker
// runs, so no reference handed out outlives it.
struct ImageIndexSlot {
  cl::Lock Lock;
  std::unique_ptr<ChunkIndex> Index;
  uint32_t Builds = 0;
};

ImageIndexSlot& IndexSlot() {
  static ImageIndexSlot slot;
  return slot;
}

void DropImageChunkIndex() {
  ImageIndexSlot& slot = IndexSlot();
  std::unique_ptr<ChunkIndex> dropped;
  std::lock_guard<cl::Lock> hold(slot.Lock);
  dropped.swap(slot.Index);
}

}  // namespace

// ---- NodeTable -----------------------------------------------------------------

NodeEntry* AllocNodeTable(uint32_t entries) {
  FreeNodeTable();
  size_t count = std::max(entries, kNodeTableEntries);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, count * sizeof(NodeEntry));
  if (!block) return nullptr;
  auto* table = static_cast<NodeEntry*>(GlobalLock(block));
  if (!table) {
    GlobalFree(block);
    return nullptr;
  }
  for (size_t i = 0; i < count; ++i) table[i] = NodeEntry{0, NoPage, NoNode};
  NodeTable = table;
  return table;
}

void FreeNodeTable() {
  if (!NodeTable) return;
  HGLOBAL block = GlobalHandle(NodeTable);
  NodeTable = nullptr;
  if (block) {
    GlobalUnlock(block);
    GlobalFree(block);
  }
}

void DeleteObjectSubtree(cl::TTreeNode* node) {
  if (!node) return;
  std::vector<cl::TTreeNode*> stack{node};
  while (!stack.empty()) {
    cl::TTreeNode* n = stack.back();
    stack.pop_back();
    if (const ObjectRecord* r = RecordOf(n)) ClearNodeReference(NodeTable, r->ObjectId, n);
    for (cl::TTreeNode* c : n->Children()) stack.push_back(c);
  }
  node->Delete();
}

// ---- Open image ----------------------------------------------------------------

void ReleaseImage() {
  DropImageChunkIndex();
  ReleaseMapped(ImageView, ImageSize, ImageMapping, ImageHandle);
}

const ChunkIndex& ImageChunkIndex() {
  ImageIndexSlot& slot = IndexSlot();
  std::lock_guard<cl::Lock> hold(slot.Lock);
  if (!slot.Index) {
    slot.Index = std::make_unique<ChunkIndex>(ChunkIndex::Build(ImageBytes(), PageSource::Image, RunList, InputTagsOffset));
    ++slot.Builds;
  }
  return *slot.Index;
}

uint32_t ImageChunkIndexBuilds() {
  ImageIndexSlot& slot = IndexSlot();
  std::lock_guard<cl::Lock> hold(slot.Lock);
  return slot.Builds;
}

ChunkIndex BuildWorkChunkIndex() {
  return ChunkIndex::Build(WorkBytes(), PageSource::WorkFile, RunList, InputTagsOffset);
}

void ReleaseWorkFile() { ReleaseMapped(WorkView, WorkFileSize, WorkFileMapping, WorkFileHandle); }

std::string PickWorkFileName(const std::string& folder) {
  for (int n = 0; n <= 1000; ++n) {
    std::string name = "tmpfile" + std::to_string(n) + ".dat";
    if (!cl::PathExists(folder + name)) return name;
  }
  return "tmpfile";
}

std::string FileNamePart(const std::string& path) {
  size_t after = 0;
  for (size_t i = 0; i < path.size(); i += cl::CharBytes(path, i))
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') after = i + 1;
  return path.substr(after);
}

const uint8_t* OpenImageFile(const std::string& path, ImageStatusTexts& status) {
  status = ImageStatusTexts();
  ReleaseWorkFile();
  std::string folder = ProgramDir();
  if (!WorkFileName.empty() && cl::PathExists(folder + WorkFileName)) DeleteFileA((folder + WorkFileName).c_str());
  WorkFileName = PickWorkFileName(folder);
  ReleaseImage();

  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  ImageHandle = file;
  status.fileName = FileNamePart(path);
  status.hint = path;

  LARGE_INTEGER size{};
  uint32_t size32 = GetFileSizeEx(file, &size) ? static_cast<uint32_t>(size.QuadPart) : 0;
  status.sizeText = SizeText(size32);
  // An empty file cannot be mapped; a size of 0 would also map the whole of a
  // file of 4 GiB, whose size the 32-bit model cannot hold.
  if (size32 != 0) ImageMapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, size32, nullptr);
  const void* view = ImageMapping ? MapViewOfFile(ImageMapping, FILE_MAP_READ, 0, 0, size32) : nullptr;
  if (!view) {
    ReleaseImage();
    return nullptr;
  }
  ImageView = static_cast<const uint8_t*>(view);
  ImageSize = size32;
  return ImageView;
}
