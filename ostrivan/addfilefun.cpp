#include "addfilefun.h"

#include <algorithm>
#include <cstring>

namespace {

// Seconds from 1601-01-01 (FILETIME's start) to 1970-01-01.
constexpr int64_t UnixEpochSeconds = 11644473600LL;

// A host file opened for reading with no other opener admitted, and mapped
// read-only whole, for as long as one object is being written.
class HostFile {
public:
  HostFile() = default;
  HostFile(const HostFile&) = delete;
  HostFile& operator=(const HostFile&) = delete;
  ~HostFile() { Close(); }

  // False when the file cannot be opened or mapped, or holds 4 GiB or more:
  // its size would not survive the header's 32 bits.
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
    if (!mapping_) return false;
    data_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, size_));
    return data_ != nullptr;
  }

  void Close() {
    if (data_) UnmapViewOfFile(data_);
    data_ = nullptr;
    if (mapping_) CloseHandle(mapping_);
    mapping_ = nullptr;
    if (file_) CloseHandle(file_);
    file_ = nullptr;
  }

  uint32_t Size() const { return size_; }
  const uint8_t* Data() const { return data_; }

private:
  HANDLE file_ = nullptr;
  HANDLE mapping_ = nullptr;
  const uint8_t* data_ = nullptr;
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

uint8_t* CreateWorkFile() {
  ReleaseWorkFile();
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

uint8_t* GrowWorkFile(uint32_t size, uint8_t*& firstNewPage) {
  firstNewPage = nullptr;
  uint16_t id = NextObjectId();
  uint32_t oldSize = WorkFileSize;
  uint32_t newSize = 0;
  if (id == 0 || !WorkFileHandle || !WorkView || !GrownWorkFileSize(oldSize, size, newSize)) return nullptr;

  // The handle stays open throughout: the file is never left to another opener.
  UnmapWorkFile();
  uint8_t* view = MapWorkFile(newSize);
  if (!view) {
    // Cut off whatever part of the growth took place and map the pages of before.
    LARGE_INTEGER end{};
    end.QuadPart = oldSize;
    if (SetFilePointerEx(WorkFileHandle, end, nullptr, FILE_BEGIN)) SetEndOfFile(WorkFileHandle);
    WorkView = MapWorkFile(oldSize);
    if (!WorkView) ReleaseWorkFile();
    return nullptr;
  }
  WorkView = view;
  WorkFileSize = newSize;
  MaxObjectId = id;
  RunList.SetWorkFileEntry(1, newSize / PageSize - 1);
  firstNewPage = view + oldSize;
  return view;
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

std::string CutUtf8(const std::string& utf8, size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  // Step back over the continuation bytes of the character the cut would split
  // (at most three: no valid character has more).
  size_t end = maxBytes;
  for (int i = 0; i < 3 && end > 0 && (static_cast<uint8_t>(utf8[end]) & 0xC0) == 0x80; ++i) --end;
  return utf8.substr(0, end);
}

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
  uint32_t size = host.Size();
  uint8_t* page = nullptr;
  if (!GrowWorkFile(size, page)) {
    ++FailedObjects;
    return 0;
  }
  const uint16_t id = MaxObjectId;
  const uint32_t tagsOffset = InputTagsOffset == TagsOffsetMarked ? TagsOffsetMarked : TagsOffsetPlain;
  Synchronize([this] { ShowCurrentItem(); });

  ObjectHeader header;
  header.ObjectType = type;
  header.ParentId = parent;
  header.Checksum = 0xFFFF;
  std::string utf8 = CutUtf8(Utf8FromAnsi(name), MaxNameBytes);
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

  FillDataArea(page);
  EncodeObjectHeader(header, page);
  EncodeTags({BaseSequenceNumber, id, 0, HeaderByteCount}, page + tagsOffset);

  ObjectRecord r = RecordFromHeader(header, Tags{BaseSequenceNumber, id, 0, HeaderByteCount}, NoPage);
  r.WorkOffset = static_cast<uint32_t>(page - WorkView);
  NewRecord = r;
  TargetFolderId = parent;
  CurrentItem = name;

  ++Position;
  Synchronize([this] { ShowProgressPosition(); });

  const uint32_t chunks = ObjectPageCount(size) - 1;
  for (uint32_t i = 1; i <= chunks; ++i) {
    uint8_t* data = page + static_cast<size_t>(i) * PageSize;
    uint32_t offset = (i - 1) * ChunkSize;
    uint32_t count = std::min(ChunkSize, size - offset);
    std::memset(data, 0, ChunkSize);
    std::memcpy(data, host.Data() + offset, count);
    EncodeTags({BaseSequenceNumber, id, i, count}, data + tagsOffset);
    ++Position;
    Synchronize([this] { ShowProgressPosition(); });
  }
  host.Close();

  Synchronize([this] { AttachAddedNode(); });
  return id;
}
