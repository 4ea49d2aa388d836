#pragma once
// The YAFFS2 image in the 2048+64 page format: layout numbers, a bounded byte
// view over a mapped file, and pure decode/encode of tags and object headers.
// Nothing here does I/O; callers hand in the bytes where they lie.

#include <array>
#include <cstddef>
#include <cstdint>

// ---- Pages -----------------------------------------------------------------
constexpr uint32_t ChunkSize = 2048;                 // data area of a page: one chunk
constexpr uint32_t SpareSize = 64;                   // spare (OOB) area after the data
constexpr uint32_t PageSize = ChunkSize + SpareSize; // 2112: pages follow each other with no gap
constexpr uint32_t MinTrailingPage = 2064;           // a trailing partial page this long still counts
constexpr uint8_t ErasedByte = 0xFF;                 // value of erased flash, and of bytes past the file's end
static_assert(PageSize == 2112, "2048+64 page format");
static_assert(MinTrailingPage > ChunkSize && MinTrailingPage < PageSize, "partial page holds the data area");

// ---- Spare area (page offsets) ---------------------------------------------
constexpr uint32_t EraseMarkerOffset = ChunkSize;    // 2 bytes FF FF when the tags stand at 2050
constexpr uint32_t EraseMarkerLength = 2;
constexpr uint32_t TagsOffsetPlain = 2048;           // tags at the start of the spare area
constexpr uint32_t TagsOffsetMarked = 2050;          // tags after the erase marker
constexpr uint32_t TagsLength = 16;                  // four u32
constexpr uint32_t TagsEccLength = 12;               // tags ECC record right after the tags
constexpr uint32_t DataEccOffset = 2088;             // spare byte 40: eight 3-byte data ECC triples
constexpr uint32_t DataEccLength = 24;
constexpr uint32_t DataEccBlock = 256;               // data bytes covered by one triple
constexpr uint32_t DataEccTriple = 3;
static_assert(TagsOffsetPlain == EraseMarkerOffset, "plain tags start the spare area");
static_assert(TagsOffsetMarked == EraseMarkerOffset + EraseMarkerLength, "marked tags follow the marker");
static_assert(TagsOffsetMarked + TagsLength + TagsEccLength <= DataEccOffset, "tags and tags ECC end before the data ECC");
static_assert(DataEccOffset + DataEccLength == PageSize, "data ECC ends the page");
static_assert(DataEccLength == ChunkSize / DataEccBlock * DataEccTriple, "one triple per 256 data bytes");

// ---- Tags (offsets inside the 16 tag bytes) ----------------------------------
constexpr uint32_t TagSequenceNumber = 0;
constexpr uint32_t TagObjectId = 4;
constexpr uint32_t TagChunkId = 8;                   // 0 = header, n = data chunk n
constexpr uint32_t TagByteCount = 12;
static_assert(TagByteCount + 4 == TagsLength, "four u32 tags");

constexpr uint32_t BaseSequenceNumber = 4096;        // every page this program writes; the walk starts here
constexpr uint32_t ErasedSequenceNumber = 0xFFFFFFFF;// erased pages: the walk stops before them
constexpr uint32_t HeaderByteCount = 0xFFFF;         // byte count this program writes in header tags

// ---- Object header (offsets in the data area of a header chunk) -------------
constexpr uint32_t ObjectHeaderSize = 512;
constexpr uint32_t HeaderType = 0;                   // u32, 0..5
constexpr uint32_t HeaderParentId = 4;               // u32
constexpr uint32_t HeaderChecksum = 8;               // u16, not used (written 0xFFFF)
constexpr uint32_t HeaderName = 10;                  // 256 bytes UTF-8, NUL-terminated
constexpr uint32_t NameFieldSize = 256;
constexpr uint32_t MaxNameBytes = NameFieldSize - 1; // room for the terminating zero
constexpr uint32_t HeaderPadding = 266;              // u16 (written 0xFFFF)
constexpr uint32_t HeaderMode = 268;                 // u32, file-type bits above the 12 permission bits
constexpr uint32_t HeaderUid = 272;
constexpr uint32_t HeaderGid = 276;
constexpr uint32_t HeaderATime = 280;                // seconds since 1970
constexpr uint32_t HeaderMTime = 284;
constexpr uint32_t HeaderCTime = 288;
constexpr uint32_t HeaderFileSize = 292;             // low 32 bits of a regular file's size
constexpr uint32_t HeaderEquivalentId = 296;         // hard-link target
constexpr uint32_t HeaderAlias = 300;                // 160 bytes, symbolic-link target
constexpr uint32_t AliasFieldSize = 160;
constexpr uint32_t HeaderRdev = 460;                 // u32, special files
constexpr uint32_t HeaderReserved = 464;             // 48 bytes kept as they are
constexpr uint32_t ReservedFieldSize = 48;
static_assert(HeaderName + NameFieldSize == HeaderPadding, "name field runs up to the padding");
static_assert(HeaderAlias + AliasFieldSize == HeaderRdev, "alias field runs up to rdev");
static_assert(HeaderReserved + ReservedFieldSize == ObjectHeaderSize, "reserved bytes end the header");
static_assert(ObjectHeaderSize <= ChunkSize, "header fits one chunk");

// Object types of the header's first word.
constexpr uint32_t ObjectTypeUnknown = 0;
constexpr uint32_t ObjectTypeFile = 1;
constexpr uint32_t ObjectTypeSymlink = 2;
constexpr uint32_t ObjectTypeDirectory = 3;
constexpr uint32_t ObjectTypeHardlink = 4;
constexpr uint32_t ObjectTypeSpecial = 5;
constexpr uint32_t MaxObjectType = ObjectTypeSpecial;

// Object ids: the root folder, and parents below this mark an object as removed.
constexpr uint32_t RootObjectId = 1;
constexpr uint32_t FirstOrdinaryObjectId = 257;

// ---- Little-endian access to raw bytes ---------------------------------------
inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void WriteU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A non-owning view of bytes (a mapped file, a page, a buffer). Every read is
// bounded by the view's size: a byte past the end reads as ErasedByte, so a
// trailing partial page looks erased where the file stops.
class ByteView {
public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(size ? data : nullptr), size_(data ? size : 0) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // True when [offset, offset + length) lies inside the view.
  bool Contains(size_t offset, size_t length) const { return length <= size_ && offset <= size_ - length; }

  uint8_t U8(size_t offset) const { return offset < size_ ? data_[offset] : ErasedByte; }
  uint16_t U16(size_t offset) const {
    if (Contains(offset, 2)) return ReadU16(data_ + offset);
    uint8_t b[2];
    CopyOut(offset, 2, b);
    return ReadU16(b);
  }
  uint32_t U32(size_t offset) const {
    if (Contains(offset, 4)) return ReadU32(data_ + offset);
    uint8_t b[4];
    CopyOut(offset, 4, b);
    return ReadU32(b);
  }
  // Copies length bytes from offset into out; bytes past the end come out as ErasedByte.
  void CopyOut(size_t offset, size_t length, uint8_t* out) const;
  // The part of [offset, offset + length) that lies inside this view.
  ByteView Sub(size_t offset, size_t length) const {
    if (offset >= size_) return ByteView();
    return ByteView(data_ + offset, length < size_ - offset ? length : size_ - offset);
  }

private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Number of pages of an image of size bytes: whole pages, plus a trailing
// partial page of at least MinTrailingPage bytes.
uint32_t PageCount(uint32_t size);
// File offset of a page (64-bit: any index, however large, gives no overflow).
inline uint64_t PageOffset(uint32_t page) { return static_cast<uint64_t>(page) * PageSize; }
// The bytes of one page as far as the image holds them: PageSize bytes for a
// whole page, fewer for a trailing partial page, none past the end. Reads
// through the result give ErasedByte where the file stops.
inline ByteView PageBytes(ByteView image, uint32_t page) {
  uint64_t offset = PageOffset(page);
  if (offset >= image.size()) return ByteView();
  return image.Sub(static_cast<size_t>(offset), PageSize);
}

// Tags offset of an image, from spare bytes 0 and 1 of page 0 only: FF FF gives
// TagsOffsetMarked, anything else TagsOffsetPlain. A file too short to hold
// both bytes shows no marker and keeps the default TagsOffsetPlain (it has no
// page anyway, so only the offset a rebuild writes depends on it).
uint32_t DetectTagsOffset(ByteView image);

// ---- Tags ----------------------------------------------------------------------
struct Tags {
  uint32_t SequenceNumber = 0;
  uint32_t ObjectId = 0;
  uint32_t ChunkId = 0;
  uint32_t ByteCount = 0;
};
inline bool operator==(const Tags& a, const Tags& b) {
  return a.SequenceNumber == b.SequenceNumber && a.ObjectId == b.ObjectId && a.ChunkId == b.ChunkId &&
         a.ByteCount == b.ByteCount;
}

// Tags of a page at tagsOffset (the page as PageBytes gives it).
Tags DecodeTags(ByteView page, uint32_t tagsOffset);
// Writes the 16 tag bytes to out.
void EncodeTags(const Tags& tags, uint8_t* out);
// The sequence number alone, read in place: the run pass reads nothing else.
inline uint32_t PageSequenceNumber(ByteView page, uint32_t tagsOffset) {
  return page.U32(tagsOffset + TagSequenceNumber);
}

// ---- Object header -------------------------------------------------------------
// Every byte of the 512-byte header, field by field, so that decode followed by
// encode gives the same bytes back.
struct ObjectHeader {
  uint32_t ObjectType = 0;
  uint32_t ParentId = 0;
  uint16_t Checksum = 0xFFFF;
  std::array<uint8_t, NameFieldSize> Name{};
  uint16_t Padding = 0xFFFF;
  uint32_t Mode = 0;
  uint32_t Uid = 0;
  uint32_t Gid = 0;
  uint32_t ATime = 0;
  uint32_t MTime = 0;
  uint32_t CTime = 0;
  uint32_t FileSize = 0;
  uint32_t EquivalentId = 0;
  std::array<uint8_t, AliasFieldSize> Alias{};
  uint32_t Rdev = 0;
  std::array<uint8_t, ReservedFieldSize> Reserved{};
};

// Header from the first ObjectHeaderSize bytes of a chunk's data area.
ObjectHeader DecodeObjectHeader(ByteView data);
// Writes all ObjectHeaderSize bytes of the header to out.
void EncodeObjectHeader(const ObjectHeader& header, uint8_t* out);

// The header test of the walk: type at most MaxObjectType (unsigned), sequence
// number not 0, and byte count 0xFFFF, 0 or the header's own file size. The
// chunk id is not consulted. fileSize() gives the header's file size and is
// asked only when the byte count is neither 0xFFFF nor 0, so that the scan
// does not touch a further part of every page for it.
template <typename FileSize>
inline bool PassesHeaderTest(uint32_t headerType, uint32_t sequenceNumber, uint32_t byteCount, FileSize fileSize) {
  if (headerType > MaxObjectType || sequenceNumber == 0) return false;
  return byteCount == HeaderByteCount || byteCount == 0 || byteCount == fileSize();
}
inline bool PassesHeaderTest(const Tags& tags, uint32_t headerType, uint32_t headerFileSize) {
  return PassesHeaderTest(headerType, tags.SequenceNumber, tags.ByteCount, [=] { return headerFileSize; });
}
// The same test on a page as it lies in the image, reading only what it needs.
inline bool PassesHeaderTest(ByteView page, uint32_t tagsOffset) {
  return PassesHeaderTest(page.U32(HeaderType), page.U32(tagsOffset + TagSequenceNumber),
                          page.U32(tagsOffset + TagByteCount), [page] { return page.U32(HeaderFileSize); });
}
