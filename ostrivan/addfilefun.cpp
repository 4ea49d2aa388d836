#include "addfilefun.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "Unit1.h"
#include "Unit4.h"
#include "entrytext.h"
#include "mymsgbox.h"

namespace {

// Seconds from 1601-01-01 (FILETIME's start) to 1970-01-01.
constexpr int64_t UnixEpochSeconds = 11644473600LL;

// Views of a host file are mapped a window at a time, so that a large file
// also fits beside the WorkFile in the address space of a 32-bit process. A
// window holds whole chunks and starts on the allocation granularity.
constexpr uint32_t kHostWindow = 32u << 20;
static_assert(kHostWindow % 65536 == 0 && kHostWindow % ChunkSize == 0, "windows hold whole chunks");

// A host file opened for reading with no other opener admitted, and mapped
// read-only a window at a time, for as long as one object is being written.
class HostFile {
public:
  HostFile() = default;
  HostFile(const HostFile&) = delete;
  HostFile& operator=(const HostFile&) = delete;
  ~HostFile() { Close(); }

  // False when the file cannot be opened or its first window mapped, or it
  // holds 4 GiB or more: its size would not survive the header's 32 bits.
  bool Open(const std::string& path) {
    file_ = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      file_ = nullptr;
      return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size) || size.QuadPart < 0 || size.QuadPart > 0xFFFFFFFFLL) return false;
    size_ = static_cast<uint32_t>(size.QuadPart);
    if (size_ == 0) return true;  // an empty file cannot be mapped, and needs no data pages
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, size_, nullptr);
    return mapping_ && At(0);
  }

  // The file's bytes from offset to the end of the chunk there; nullptr when
  // its window cannot be mapped.
  const uint8_t* At(uint32_t offset) {
    const uint32_t base = offset - offset % kHostWindow;
    if (!view_ || base != viewBase_) {
      if (view_) UnmapViewOfFile(view_);
      viewBase_ = base;
      view_ = static_cast<const uint8_t*>(
          MapViewOfFile(mapping_, FILE_MAP_READ, 0, base, std::min(kHostWindow, size_ - base)));
    }
    return view_ ? view_ + (offset - base) : nullptr;
  }

  void Close() {
    if (view_) UnmapViewOfFile(view_);
    view_ = nullptr;
    if (mapping_) CloseHandle(mapping_);
    mapping_ = nullptr;
    if (file_) CloseHandle(file_);
    file_ = nullptr;
  }

  uint32_t Size() const { return size_; }

private:
  HANDLE file_ = nullptr;
  HANDLE mapping_ = nullptr;
  const uint8_t* view_ = nullptr;
  uint32_t viewBase_ = 0;
  uint32_t size_ = 0;
};

// Maps the open WorkFile read/write over size bytes (the file grows to that
// size with zero bytes); keeps the mapping in WorkFileMapping.
uint8_t* MapWorkFile(uint32_t size) {
  WorkFileMapping = CreateFileMappingA(WorkFileHandle, nullptr, PAGE_READWRITE, 0, size, nullptr);
  if (!WorkFileMapping) return nullptr;
  void* view = MapViewOfFile(WorkFileMapping, FILE_MAP_WRITE, 0, 0, size);
  if (!view) {
    CloseHandle(WorkFileMapping);
    WorkFileMapping = nullptr;
  }
  return static_cast<uint8_t*>(view);
}

void UnmapWorkFile() {
  if (WorkView) UnmapViewOfFile(WorkView);
  WorkView = nullptr;
  if (WorkFileMapping) CloseHandle(WorkFileMapping);
  WorkFileMapping = nullptr;
}

// Floor division by a positive divisor, for clock readings before 1970.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

namespace {

// The view of a growth that mapped a reserve beyond WorkFileSize, and the
// bytes it maps; a view made anywhere else maps WorkFileSize bytes exactly.
uint8_t* reservedView = nullptr;
uint32_t reservedBytes = 0;

uint32_t MappedWorkBytes() { return WorkView && WorkView == reservedView ? reservedBytes : WorkFileSize; }

// The reserve mapped beyond an object's pages while a run adds many: a
// quarter of the file, between 4 and 64 MiB, whole pages.
uint32_t ReserveFor(uint32_t newSize) {
  uint32_t reserve = std::min<uint32_t>(64u << 20, std::max<uint32_t>(4u << 20, newSize / 4));
  reserve -= reserve % PageSize;
  return static_cast<uint32_t>(std::min<uint64_t>(0xFFFFFFFFu, static_cast<uint64_t>(newSize) + reserve) / PageSize *
                               PageSize);
}

// Cuts the open WorkFile back to size bytes and maps it exactly; releases it
// when even that fails.
void MapWorkFileExactly(uint32_t size) {
  LARGE_INTEGER end{};
  end.QuadPart = size;
  if (SetFilePointerEx(WorkFileHandle, end, nullptr, FILE_BEGIN)) SetEndOfFile(WorkFileHandle);
  WorkView = MapWorkFile(size);
  if (!WorkView) ReleaseWorkFile();
}

}  // namespace

uint8_t* CreateWorkFile() {
  ReleaseWorkFile();
  reservedView = nullptr;
  std::string path = ProgramDir() + WorkFileName;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  WorkFileHandle = file;
  uint8_t* view = MapWorkFile(PageSize);
  if (!view) {
    ReleaseWorkFile();
    return nullptr;
  }
  WorkView = view;
  WorkFileSize = PageSize;
  return view;
}

uint16_t NextObjectId() {
  uint16_t last = std::max(MaxObjectId, LastReservedObjectId);
  return last == LastNewObjectId ? 0 : static_cast<uint16_t>(last + 1);
}

uint32_t ObjectPageCount(uint32_t size) {
  return static_cast<uint32_t>((static_cast<uint64_t>(size) + ChunkSize - 1) / ChunkSize) + 1;
}

bool GrownWorkFileSize(uint32_t oldSize, uint32_t size, uint32_t& newSize) {
  uint64_t grown = static_cast<uint64_t>(oldSize) + static_cast<uint64_t>(ObjectPageCount(size)) * PageSize;
  if (grown > 0xFFFFFFFFu) return false;
  newSize = static_cast<uint32_t>(grown);
  return true;
}

uint8_t* GrowWorkFile(uint32_t size, uint8_t*& firstNewPage, bool withReserve) {
  firstNewPage = nullptr;
  uint16_t id = NextObjectId();
  uint32_t oldSize = WorkFileSize;
  uint32_t newSize = 0;
  if (id == 0 || !WorkFileHandle || !WorkView || !GrownWorkFileSize(oldSize, size, newSize)) return nullptr;

  if (newSize > MappedWorkBytes()) {
    // The handle stays open throughout: the file is never left to another opener.
    uint32_t mapSize = withReserve ? ReserveFor(newSize) : newSize;
    UnmapWorkFile();
    reservedView = nullptr;
    uint8_t* view = MapWorkFile(mapSize);
    if (!view && mapSize > newSize) view = MapWorkFile(mapSize = newSize);
    if (!view) {
      // Cut off whatever part of the growth took place and map the pages of before.
      MapWorkFileExactly(oldSize);
      return nullptr;
    }
    WorkView = view;
    if (mapSize > newSize) {
      reservedView = view;
      reservedBytes = mapSize;
    }
  }
  WorkFileSize = newSize;
  MaxObjectId = id;
  RunList.SetWorkFileEntry(1, newSize / PageSize - 1);
  firstNewPage = WorkView + oldSize;
  return WorkView;
}

void FitWorkFile() {
  if (!WorkView || WorkView != reservedView) return;
  UnmapWorkFile();
  reservedView = nullptr;
  MapWorkFileExactly(WorkFileSize);
}

void FillDataArea(uint8_t* page) { FillBytes(page, static_cast<int>(ChunkSize), 1); }

uint32_t TimeStampFromLocal(const SYSTEMTIME& local) {
  FILETIME ft;
  if (!SystemTimeToFileTime(&local, &ft)) return 0;
  uint64_t ticks = static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;  // 100 ns units
  int64_t ms = static_cast<int64_t>(ticks / 10000) - UnixEpochSeconds * 1000;
  return static_cast<uint32_t>(FloorDiv(ms + 500, 1000) - TimeStampOffset);
}

uint32_t CurrentTimeStamp() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  return TimeStampFromLocal(local);
}

namespace {

// The header of a new object: its type, parent, name (as the name field
// stores it) and size, mode 755 with the type's bits, owner 0, the clock's
// stamps; every other field erased.
ObjectHeader NewObjectHeader(uint32_t type, uint16_t parent, const std::string& name, uint32_t size) {
  ObjectHeader header;
  header.ObjectType = type;
  header.ParentId = parent;
  header.Checksum = 0xFFFF;
  std::string utf8 = NameFieldText(name);
  header.Name.fill(0);
  std::memcpy(header.Name.data(), utf8.data(), utf8.size());
  header.Padding = 0xFFFF;
  header.Mode = type == ObjectTypeDirectory ? NewFolderMode : NewFileMode;
  header.Uid = 0;
  header.Gid = 0;
  header.ATime = CurrentTimeStamp();
  header.MTime = CurrentTimeStamp();
  header.CTime = CurrentTimeStamp();
  header.FileSize = size;
  header.EquivalentId = 0xFFFFFFFF;
  header.Alias.fill(0xFF);
  header.Rdev = 0;
  header.Reserved.fill(0xFF);
  return header;
}

// A new object's header page: the data area erased, the header at its
// start, the header's tags in the spare area.
void WriteHeaderPage(uint8_t* page, const ObjectHeader& header, uint16_t id, uint32_t tagsOffset) {
  FillDataArea(page);
  EncodeObjectHeader(header, page);
  EncodeTags({BaseSequenceNumber, id, 0, HeaderByteCount}, page + tagsOffset);
}

// The data pages after a new file's header page, one per chunk of the host
// file, each followed by pageWritten. False when a window of the file could
// not be mapped: the chunks there stay zero.
template <typename PageWritten>
bool WriteDataPages(HostFile& host, uint8_t* headerPage, uint16_t id, uint32_t tagsOffset, PageWritten pageWritten) {
  const uint32_t size = host.Size();
  const uint32_t chunks = ObjectPageCount(size) - 1;
  bool whole = true;
  for (uint32_t i = 1; i <= chunks; ++i) {
    uint8_t* data = headerPage + static_cast<size_t>(i) * PageSize;
    uint32_t offset = (i - 1) * ChunkSize;
    uint32_t count = std::min(ChunkSize, size - offset);
    const uint8_t* bytes = host.At(offset);
    std::memset(data, 0, ChunkSize);
    if (bytes) std::memcpy(data, bytes, count);
    whole = whole && bytes;
    EncodeTags({BaseSequenceNumber, id, i, count}, data + tagsOffset);
    pageWritten();
  }
  return whole;
}

}  // namespace

// ---- addfilefunThread -----------------------------------------------------------

addfilefunThread::addfilefunThread(const std::vector<std::string>& paths, const std::string& mask,
                                   uint16_t targetFolderId, bool newFolder)
    : Paths(paths), Mask(mask), TargetFolderId(targetFolderId), NewFolder(newFolder) {}

uint16_t addfilefunThread::AddObject(const std::string& hostPath, const std::string& name, uint32_t type,
                                     uint16_t parent) {
  if (type != ObjectTypeFile && type != ObjectTypeDirectory) {
    ++FailedObjects;
    return 0;
  }
  // Everything that can fail happens before the WorkFile grows, so a skipped
  // object leaves no pages behind.
  HostFile host;
  if (type == ObjectTypeFile && !host.Open(hostPath)) {
    ++FailedObjects;
    return 0;
  }
  const uint32_t size = host.Size();
  uint8_t* page = nullptr;
  if (!GrowWorkFile(size, page, reserveWorkFile_)) {
    ++FailedObjects;
    return 0;
  }
  const uint16_t id = MaxObjectId;
  const uint32_t tagsOffset = InputTagsOffset == TagsOffsetMarked ? TagsOffsetMarked : TagsOffsetPlain;
  ShowItem(CurrentItem, Position + 1);

  const ObjectHeader header = NewObjectHeader(type, parent, name, size);
  WriteHeaderPage(page, header, id, tagsOffset);
  TakeNewRecord(header, id, page, parent, name);
  StepTo(Position + 1);

  const bool whole = WriteDataPages(host, page, id, tagsOffset, [this] { StepTo(Position + 1); });
  host.Close();
  if (!whole) {
    // A later window of the file could not be mapped: its pages stay unused
    // in the WorkFile, as those of a replaced object do.
    ++FailedObjects;
    return 0;
  }
  AttachNewNode();
  return id;
}

void addfilefunThread::TakeNewRecord(const ObjectHeader& header, uint16_t id, const uint8_t* page, uint16_t parent,
                                     const std::string& name) {
  ObjectRecord r = RecordFromHeader(header, Tags{BaseSequenceNumber, id, 0, HeaderByteCount}, NoPage);
  r.WorkOffset = static_cast<uint32_t>(page - WorkView);
  NewRecord = r;
  TargetFolderId = parent;
  CurrentItem = name;
}

void addfilefunThread::AttachNewNode() {
  if (deferAttach_) {
    pending_.push_back({NewRecord, TargetFolderId, CurrentItem});
    attached_ = true;
    if (pending_.size() >= kAttachBatch) Synchronize([this] { AttachPending(); });
  } else {
    Synchronize([this] { AttachAddedNode(); });
  }
}

// ---- Host files and folders ------------------------------------------------------

bool AnsiNameOf(const std::wstring& wide, std::string& ansi) {
  ansi.clear();
  if (wide.empty()) return true;
  const int length = static_cast<int>(wide.size());
  BOOL substituted = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &substituted);
  if (n <= 0 || substituted) return false;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, &out[0], n, nullptr, &substituted);
  if (substituted || cl::WideFromAnsi(out) != wide) return false;
  ansi = std::move(out);
  return true;
}

std::wstring JoinWidePath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
  return folder + L"\\" + name;
}

bool NamesAnotherFile(const WIN32_FIND_DATAW& fd) {
  if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return fd.dwReserved0 == 0 || (fd.dwReserved0 & 0x20000000) != 0;  // the name-surrogate bit
}

bool ListHostFolder(const std::wstring& folder, const std::wstring& mask, std::vector<HostEntry>& entries) {
  entries.clear();
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(JoinWidePath(folder, mask).c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) {
    // A drive root without entries lists nothing, not even "." and "..".
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    HostEntry e;
    e.WideName = name;
    AnsiNameOf(name, e.Name);
    e.Folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.Link = NamesAnotherFile(fd);
    e.Size = static_cast<uint64_t>(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow;
    entries.push_back(std::move(e));
  } while (FindNextFileW(find, &fd));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  return complete;
}

namespace {

bool IsSeparator(const std::string& text, size_t i) {
  return cl::CharBytes(text, i) == 1 && (text[i] == '\\' || text[i] == '/');
}

// The host file of a path chosen in the open dialog, as the file system
// lists it; false when nothing is found there. A "?" stands where the
// dialog's code page could not hold a character: as a wildcard it would
// find some other file, so it finds nothing here.
bool FindHostFile(const std::string& path, HostEntry& entry) {
  if (path.find_first_of("?*") != std::string::npos) return false;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(cl::WideFromAnsi(path).c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  entry.WideName = fd.cFileName;
  AnsiNameOf(entry.WideName, entry.Name);
  entry.Folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.Link = NamesAnotherFile(fd);
  entry.Size = static_cast<uint64_t>(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow;
  return true;
}

// The entries of a listing that are not added, by index. Links are not
// followed, and a name the code page cannot hold would open some other file
// or none. An entry whose name an entry before it took would share that
// stored name with it in the image, and one would overwrite the other when
// extracted.
std::vector<bool> LeftOutEntries(const std::vector<HostEntry>& entries) {
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const HostEntry& e : entries) names.push_back(e.Link ? std::string() : e.Name);
  std::vector<bool> left = NamesTakenBefore(names);
  for (size_t i = 0; i < entries.size(); ++i)
    if (names[i].empty()) left[i] = true;
  return left;
}

int ClampToInt(int64_t value) { return static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(value, INT_MAX))); }

}  // namespace

std::string HostPathName(const std::string& path) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < path.size(); i += cl::CharBytes(path, i)) starts.push_back(i);
  size_t end = starts.size();
  while (end > 0 && IsSeparator(path, starts[end - 1])) --end;
  size_t from = 0;
  for (size_t k = 0; k < end; ++k)
    if (IsSeparator(path, starts[k]) || path[starts[k]] == ':') from = k + 1;
  size_t first = from < starts.size() ? starts[from] : path.size();
  size_t last = end < starts.size() ? starts[end] : path.size();
  return first < last ? path.substr(first, last - first) : std::string();
}

std::string HostFolderName(const std::string& path) {
  std::string name = HostPathName(path);
  if (!name.empty()) return name;
  // A drive root: the letter before the last ":".
  size_t colon = std::string::npos;
  for (size_t i = 0; i < path.size(); i += cl::CharBytes(path, i))
    if (path[i] == ':') colon = i;
  if (colon != std::string::npos && colon > 0) {
    unsigned char letter = static_cast<unsigned char>(path[colon - 1]);
    if ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) return std::string(1, path[colon - 1]);
  }
  return std::string();
}

int64_t HostFileUnits(uint64_t size) { return static_cast<int64_t>((size + ChunkSize - 1) / ChunkSize) + 1; }

bool ProgressMoveDue(long long from, long long to, long long total) {
  if (to == from) return false;
  if (total <= 200 || to <= 1 || to >= total) return true;
  return from * 200 / total != to * 200 / total;
}

// ---- The add worker's run -----------------------------------------------------------

void addfilefunThread::Execute() {
  RunWithProgress(
      nullptr,
      [this] {
        // The reserve a run maps goes before the dialog closes, however the run ends.
        struct Fit {
          ~Fit() { FitWorkFile(); }
        } fit;
        reserveWorkFile_ = true;
        Work();
      },
      AddFailedText);
}

std::string addfilefunThread::FailedObjectsText() const {
  return "有" + std::to_string(FailedObjects) + "个对象添加失败！";
}

bool addfilefunThread::ListFolder(const std::wstring& folder, const std::wstring& mask,
                                  std::vector<HostEntry>& entries) {
  return ListHostFolder(folder, mask, entries);
}

void addfilefunThread::Work() {
  CurrentItem = CountingText;
  Synchronize([this] { ShowCurrentItem(); });
  if (NewFolder) {
    Total = 1;
    Synchronize([this] { ShowAddProgress(); });
    CurrentItem = Paths.empty() ? std::string() : Paths[0];
    Synchronize([this] { ShowCurrentItem(); });
    if (!Paths.empty()) AddAndAttach("", Paths[0], ObjectTypeDirectory, TargetFolderId);
  } else if (Mask.empty()) {
    AddFileList();
  } else if (Mask == "*.*") {
    // No name of a host folder is looked up in the tree while it is added:
    // its nodes can join the tree in batches.
    deferAttach_ = true;
    AddFolderTree();
    Synchronize([this] { AttachPending(); });
    deferAttach_ = false;
  }
  listings_.clear();
}

void addfilefunThread::Advance(int64_t units) {
  const int from = Position;
  Position = ClampToInt(static_cast<int64_t>(from) + units);
  if (ProgressMoveDue(from, Position, Total)) Synchronize([this] { ShowProgressPosition(); });
}

uint16_t addfilefunThread::AddAndAttach(const std::string& hostPath, const std::string& name, uint32_t type,
                                        uint16_t parent) {
  attached_ = false;
  uint16_t id = AddObject(hostPath, name, type, parent);
  if (id == 0) return 0;
  if (!attached_) {
    ++FailedObjects;
    return 0;
  }
  return id;
}

void addfilefunThread::AddFileList() {
  const uint16_t target = TargetFolderId;
  struct Chosen {
    bool found = false;
    HostEntry entry;
    int64_t units = 0;
  };
  std::vector<Chosen> chosen(Paths.size());
  int64_t total = 0;
  for (size_t i = 0; i < Paths.size(); ++i) {
    chosen[i].found = FindHostFile(Paths[i], chosen[i].entry);
    chosen[i].units = HostFileUnits(chosen[i].found ? chosen[i].entry.Size : 0);
    total += chosen[i].units;
  }
  Total = ClampToInt(total);
  Synchronize([this] { ShowAddProgress(); });
  PromptState = OverwriteYes;

  for (size_t i = 0; i < Paths.size(); ++i) {
    const std::string& path = Paths[i];
    const Chosen& c = chosen[i];
    ShowItem(path, Position + 1);
    const std::string name = HostPathName(path);
    cl::TTreeNode* folder = NodeOf(NodeTable, target);
    // A file the code page cannot name, or that is not there as named, is
    // not read: the name could lead to another file.
    if (!folder || !c.found || name.empty() || lstrcmpiA(c.entry.Name.c_str(), name.c_str()) != 0) {
      ++FailedObjects;
      Advance(c.units);
      continue;
    }
    cl::TTreeNode* existing = ChildNamed(folder, name);
    if (existing) {
      if (PromptState == OverwriteYes || PromptState == OverwriteNo) Synchronize([this] { AskOverwrite(); });
      if (PromptState != OverwriteYes && PromptState != OverwriteAll) {
        Advance(c.units);
        continue;
      }
    }
    replacing_ = existing;
    const int before = Position;
    if (!AddAndAttach(path, name, ObjectTypeFile, target)) Advance(before + c.units - Position);
    replacing_ = nullptr;
  }
}

addfilefunThread::Listing& addfilefunThread::CountFolder(const std::string& folder, const std::wstring& mask) {
  Listing& l = listings_[folder];
  l = Listing();
  l.Units = 1;
  l.Objects = 1;
  Total = ClampToInt(static_cast<int64_t>(Total) + 1);
  l.Listed = ListFolder(cl::WideFromAnsi(folder), mask, l.Entries);
  l.Left = LeftOutEntries(l.Entries);
  for (size_t i = 0; i < l.Entries.size(); ++i) {
    const HostEntry& e = l.Entries[i];
    if (e.Folder && !l.Left[i]) {
      // Counted here and again by its own listing: the bar's total runs
      // ahead of the pages written by one for each subfolder.
      Total = ClampToInt(static_cast<int64_t>(Total) + 1);
      const Listing& sub = CountFolder(cl::IncludeTrailingBackslash(folder) + e.Name, mask);
      l.Units += sub.Units;
      l.Objects += sub.Objects;
    } else {
      // Skipped entries count what they would have written, so that the bar
      // moves past them.
      int64_t units = e.Folder ? 1 : HostFileUnits(e.Size);
      Total = ClampToInt(static_cast<int64_t>(Total) + units);
      l.Units += units;
      l.Objects += 1;
    }
  }
  return l;
}

void addfilefunThread::CountFolderUnits(const std::string& folder, const std::string& mask) {
  CountFolder(folder, cl::WideFromAnsi(mask));
}

void addfilefunThread::AddFolderTree() {
  const std::string root = Paths.empty() ? std::string() : Paths[0];
  Total = 0;
  CountFolderUnits(root, Mask);
  Synchronize([this] { ShowAddProgress(); });
  const Listing& l = listings_[root];
  const int before = Position;
  if (!l.Listed) {
    ++FailedObjects;
    Advance(l.Units);
    return;
  }
  uint16_t id = AddAndAttach("", HostFolderName(root), ObjectTypeDirectory, TargetFolderId);
  if (id == 0) {
    FailedObjects += ClampToInt(l.Objects - 1);
    Advance(before + l.Units - Position);
    return;
  }
  AddFolderContents(root, Mask, id);
}

void addfilefunThread::AddFolderContents(const std::string& folder, const std::string& mask, uint16_t parent) {
  auto found = listings_.find(folder);
  const Listing& l = found != listings_.end() ? found->second : CountFolder(folder, cl::WideFromAnsi(mask));
  for (size_t i = 0; i < l.Entries.size(); ++i) {
    const HostEntry& e = l.Entries[i];
    if (l.Left[i]) {
      ++FailedObjects;
      Advance(e.Folder ? 1 : HostFileUnits(e.Size));
      continue;
    }
    const std::string path = cl::IncludeTrailingBackslash(folder) + e.Name;
    const int before = Position;
    if (e.Folder) {
      const Listing& sub = listings_[path];
      uint16_t id = sub.Listed ? AddAndAttach("", e.Name, ObjectTypeDirectory, parent) : 0;
      if (id == 0) {
        // Nothing below a folder that is not in the tree is added.
        FailedObjects += ClampToInt(sub.Listed ? sub.Objects - 1 : sub.Objects);
        Advance(before + sub.Units - Position);
        continue;
      }
      AddFolderContents(path, mask, id);
    } else if (!AddAndAttach(path, e.Name, ObjectTypeFile, parent)) {
      Advance(before + HostFileUnits(e.Size) - Position);
    }
  }
}

// ---- Run on the interface thread ----------------------------------------------------

void addfilefunThread::ShowAddProgress() {
  if (!Form4) return;
  Form4->SetCaption("正在添加");
  Form4->Label1.SetCaption("添加进度：");
  Form4->ProgressBar1.SetRange(0, Total);
}

void addfilefunThread::AskOverwrite() {
  std::unique_ptr<TForm8> prompt(new TForm8);
  Form8 = prompt.get();
  PromptState = prompt->ShowModal();
}

void addfilefunThread::AttachAddedNode() {
  cl::TTreeNode* node = AttachObjectNode(NewRecord, TargetFolderId, CurrentItem);
  attached_ = node != nullptr;
  if (node && replacing_ && Form1) {
    const std::vector<cl::TTreeNode*>& siblings = node->Parent()->Children();
    if (std::find(siblings.begin(), siblings.end(), replacing_) != siblings.end()) Form1->RemoveObjectNode(replacing_);
  }
  replacing_ = nullptr;
}

void addfilefunThread::AttachPending() {
  for (const PendingNode& p : pending_) {
    NewRecord = p.Record;
    TargetFolderId = p.Parent;
    CurrentItem = p.Name;
    attached_ = false;
    AttachAddedNode();
    if (!attached_) ++FailedObjects;
  }
  pending_.clear();
  attached_ = true;
}

void addfilefunThread::FinishAdd() {
  AttachPending();  // a run that ended early may leave some
  SortFolderTree();
  if (Form1) ShowFolder(NodeOf(NodeTable, static_cast<uint32_t>(CurrentFolderId())), Form1->ListView1);
  // The last moves may have fallen between the shown steps.
  if (Form4) Form4->ProgressBar1.SetPosition(Position);
  progressThread::CloseProgressDialog();
}
