#include "model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

NodeEntry* NodeTable = nullptr;
RunEntryList RunList;

HANDLE ImageHandle = nullptr;
HANDLE ImageMapping = nullptr;
const uint8_t* ImageView = nullptr;
uint32_t ImageSize = 0;
std::string WorkFileName;
HANDLE WorkFileHandle = nullptr;
HANDLE WorkFileMapping = nullptr;
uint8_t* WorkView = nullptr;
uint32_t WorkFileSize = 0;
uint32_t InputTagsOffset = TagsOffsetPlain;
uint32_t OutputTagsOffset = TagsOffsetPlain;
uint8_t DetectedEccKind = 0;
uint8_t OutputEccKind = 0;
uint16_t MaxObjectId = 0;
uint8_t Modified = 0;

namespace {

std::string programDirOverride;

void CloseIf(HANDLE& h) {
  if (h) CloseHandle(h);
  h = nullptr;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Byte position just after the last path separator, stepping over the system
// code page's double-byte characters, whose trail byte may equal "\".
size_t AfterLastSeparator(const std::string& path) {
  size_t after = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsDBCSLeadByte(c) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (c == '\\' || c == '/' || c == ':') after = i + 1;
  }
  return after;
}

std::string NarrowFromWide(UINT codePage, const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring WideFromNarrow(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

}  // namespace

// ---- ObjectRecord ------------------------------------------------------------

ObjectRecord RecordFromHeader(const ObjectHeader& h, const Tags& tags, PageRef headerPage) {
  ObjectRecord r;
  r.Valid = 1;
  r.HeaderPage = headerPage;
  r.WorkOffset = 0;
  std::memcpy(r.Name, h.Name.data(), MaxNameBytes);
  r.Name[MaxNameBytes] = '\0';
  r.ObjectType = h.ObjectType;
  r.ParentId = h.ParentId;
  r.ObjectId = tags.ObjectId;
  r.FileSize = h.FileSize;
  r.Mode = h.Mode;
  r.Uid = h.Uid;
  r.Gid = h.Gid;
  r.ATime = h.ATime;
  r.MTime = h.MTime;
  r.CTime = h.CTime;
  r.EquivalentId = h.EquivalentId;
  std::memcpy(r.Alias, h.Alias.data(), AliasFieldSize);
  r.TagsByteCount = tags.ByteCount;
  return r;
}

std::string RecordName(const ObjectRecord& r) {
  const char* end = static_cast<const char*>(std::memchr(r.Name, 0, sizeof r.Name));
  return std::string(r.Name, end ? static_cast<size_t>(end - r.Name) : sizeof r.Name);
}

void SetRecordName(ObjectRecord& r, const std::string& utf8) {
  std::memset(r.Name, 0, sizeof r.Name);
  std::memcpy(r.Name, utf8.data(), std::min<size_t>(utf8.size(), MaxNameBytes));
}

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
  for (size_t i = 0; i < count; ++i) table[i] = NodeEntry{0, NoPage, nullptr};
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

cl::TTreeNode* NodeOf(const NodeEntry* table, uint32_t id) {
  if (!table) return nullptr;
  const NodeEntry& e = table[IdKey(id)];
  if (e.Flag == 1 || IdKey(id) == RootObjectId) return e.Node;
  return nullptr;
}

void NoteFirstPage(NodeEntry* table, uint32_t id, PageRef page) {
  if (!table) return;
  NodeEntry& e = EntryOf(table, id);
  if (e.Flag == 0 && e.Page == NoPage) e.Page = page;
}

PageRef TakeFirstPage(NodeEntry* table, uint32_t id) {
  if (!table) return NoPage;
  NodeEntry& e = EntryOf(table, id);
  if (e.Flag != 0) return NoPage;
  PageRef first = e.Page;
  e.Flag = 1;
  e.Page = NoPage;
  e.Node = nullptr;
  return first;
}

void SetNode(NodeEntry* table, uint32_t id, cl::TTreeNode* node) {
  if (!table) return;
  NodeEntry& e = EntryOf(table, id);
  e.Flag = 1;
  e.Node = node;
}

void SetRootNode(NodeEntry* table, cl::TTreeNode* root) {
  if (!table) return;
  table[RootObjectId] = NodeEntry{0, NoPage, root};
}

void ClearNodeReference(NodeEntry* table, uint32_t id, const cl::TTreeNode* node) {
  if (!table) return;
  NodeEntry& e = EntryOf(table, id);
  if (e.Node == node) e.Node = nullptr;
}

void ClearNodeReferences(NodeEntry* table, const std::vector<uint32_t>& ids) {
  if (!table) return;
  for (uint32_t id : ids) EntryOf(table, id).Node = nullptr;
}

// ---- RunList -------------------------------------------------------------------

void RunEntryList::SortImageRuns() {
  auto end = std::find_if(entries_.begin(), entries_.end(),
                          [](const RunEntry& e) { return e.Source != PageSource::Image; });
  std::sort(entries_.begin(), end, [](const RunEntry& a, const RunEntry& b) {
    if (a.SequenceNumber != b.SequenceNumber) return a.SequenceNumber < b.SequenceNumber;
    return a.FirstPage < b.FirstPage;
  });
}

void RunEntryList::AppendWorkFileEntry(PageRef first, PageRef last) {
  entries_.push_back({BaseSequenceNumber, PageSource::WorkFile, first, last});
}

void RunEntryList::SetWorkFileEntry(PageRef first, PageRef last) {
  if (entries_.empty() || entries_.back().Source != PageSource::WorkFile) {
    AppendWorkFileEntry(first, last);
    return;
  }
  entries_.back() = {BaseSequenceNumber, PageSource::WorkFile, first, last};
}

size_t RunEntryList::FirstRunAtOrAbove(uint32_t sequenceNumber) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].SequenceNumber >= sequenceNumber) return i;
  return NoEntry;
}

size_t RunEntryList::EntryHolding(PageSource source, PageRef page) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    const RunEntry& e = entries_[i];
    if (e.Source == source && e.FirstPage <= page && page <= e.LastPage) return i;
  }
  return NoEntry;
}

// ---- Open image ----------------------------------------------------------------

void ReleaseImage() {
  if (ImageView) UnmapViewOfFile(ImageView);
  ImageView = nullptr;
  ImageSize = 0;
  CloseIf(ImageMapping);
  CloseIf(ImageHandle);
}

void ReleaseWorkFile() {
  if (WorkView) UnmapViewOfFile(WorkView);
  WorkView = nullptr;
  WorkFileSize = 0;
  CloseIf(WorkFileMapping);
  CloseIf(WorkFileHandle);
}

std::string PickWorkFileName(const std::string& folder) {
  for (int n = 0; n <= 1000; ++n) {
    std::string name = "tmpfile" + std::to_string(n) + ".dat";
    if (!FileExists(folder + name)) return name;
  }
  return "tmpfile";
}

std::string SizeText(uint32_t bytes) {
  uint64_t hundredths = (static_cast<uint64_t>(bytes) * 100 + 1024 * 1024 / 2) / (1024 * 1024);
  char text[32];
  snprintf(text, sizeof text, "%u.%02uMB", static_cast<unsigned>(hundredths / 100),
           static_cast<unsigned>(hundredths % 100));
  return text;
}

std::string FileNamePart(const std::string& path) { return path.substr(AfterLastSeparator(path)); }

const uint8_t* OpenImageFile(const std::string& path, ImageStatusTexts& status) {
  status = ImageStatusTexts();
  ReleaseWorkFile();
  std::string folder = ProgramDir();
  if (!WorkFileName.empty() && FileExists(folder + WorkFileName)) DeleteFileA((folder + WorkFileName).c_str());
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

// ---- Service routines ----------------------------------------------------------

std::string Utf8FromWide(const std::wstring& text) { return NarrowFromWide(CP_UTF8, text); }
std::wstring WideFromUtf8(const std::string& text) { return WideFromNarrow(CP_UTF8, text); }
std::string AnsiFromUtf8(const std::string& utf8) { return NarrowFromWide(CP_ACP, WideFromUtf8(utf8)); }
std::string Utf8FromAnsi(const std::string& ansi) { return Utf8FromWide(WideFromNarrow(CP_ACP, ansi)); }

std::string LongPathName(const std::string& path) {
  char buffer[260] = {};
  GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

std::string TempDir() {
  char buffer[255] = {};
  DWORD n = GetTempPathA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  std::string longName = LongPathName(buffer);
  return longName.empty() ? std::string(buffer, n) : longName;
}

void FillBytes(void* buffer, int count, int flag) {
  if (count <= 0 || (flag != 0 && flag != 1)) return;
  std::memset(buffer, flag == 1 ? 0xFF : 0x00, static_cast<size_t>(count));
}

std::string ProgramDir() {
  if (!programDirOverride.empty()) return programDirOverride;
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, AfterLastSeparator(path));
}

void OverrideProgramDir(const std::string& folder) { programDirOverride = folder; }
