#include "format.h"

#include <algorithm>
#include <cstring>

void ByteView::CopyOut(size_t offset, size_t length, uint8_t* out) const {
  size_t inside = offset < size_ ? std::min(length, size_ - offset) : 0;
  if (inside) std::memcpy(out, data_ + offset, inside);
  std::memset(out + inside, ErasedByte, length - inside);
}

uint32_t PageCount(uint32_t size) {
  return size / PageSize + (size % PageSize >= MinTrailingPage ? 1 : 0);
}

uint32_t DetectTagsOffset(ByteView image) {
  if (!image.Contains(EraseMarkerOffset, EraseMarkerLength)) return TagsOffsetPlain;
  return image.U16(EraseMarkerOffset) == 0xFFFF ? TagsOffsetMarked : TagsOffsetPlain;
}

Tags DecodeTags(ByteView page, uint32_t tagsOffset) {
  Tags t;
  t.SequenceNumber = page.U32(tagsOffset + TagSequenceNumber);
  t.ObjectId = page.U32(tagsOffset + TagObjectId);
  t.ChunkId = page.U32(tagsOffset + TagChunkId);
  t.ByteCount = page.U32(tagsOffset + TagByteCount);
  return t;
}

void EncodeTags(const Tags& tags, uint8_t* out) {
  WriteU32(out + TagSequenceNumber, tags.SequenceNumber);
  WriteU32(out + TagObjectId, tags.ObjectId);
  WriteU32(out + TagChunkId, tags.ChunkId);
  WriteU32(out + TagByteCount, tags.ByteCount);
}

ObjectHeader DecodeObjectHeader(ByteView data) {
  ObjectHeader h;
  h.ObjectType = data.U32(HeaderType);
  h.ParentId = data.U32(HeaderParentId);
  h.Checksum = data.U16(HeaderChecksum);
  data.CopyOut(HeaderName, NameFieldSize, h.Name.data());
  h.Padding = data.U16(HeaderPadding);
  h.Mode = data.U32(HeaderMode);
  h.Uid = data.U32(HeaderUid);
  h.Gid = data.U32(HeaderGid);
  h.ATime = data.U32(HeaderATime);
  h.MTime = data.U32(HeaderMTime);
  h.CTime = data.U32(HeaderCTime);
  h.FileSize = data.U32(HeaderFileSize);
  h.EquivalentId = data.U32(HeaderEquivalentId);
  data.CopyOut(HeaderAlias, AliasFieldSize, h.Alias.data());
  h.Rdev = data.U32(HeaderRdev);
  data.CopyOut(HeaderReserved, ReservedFieldSize, h.Reserved.data());
  return h;
}

void EncodeObjectHeader(const ObjectHeader& h, uint8_t* out) {
  WriteU32(out + HeaderType, h.ObjectType);
  WriteU32(out + HeaderParentId, h.ParentId);
  WriteU16(out + HeaderChecksum, h.Checksum);
  std::memcpy(out + HeaderName, h.Name.data(), NameFieldSize);
  WriteU16(out + HeaderPadding, h.Padding);
  WriteU32(out + HeaderMode, h.Mode);
  WriteU32(out + HeaderUid, h.Uid);
  WriteU32(out + HeaderGid, h.Gid);
  WriteU32(out + HeaderATime, h.ATime);
  WriteU32(out + HeaderMTime, h.MTime);
  WriteU32(out + HeaderCTime, h.CTime);
  WriteU32(out + HeaderFileSize, h.FileSize);
  WriteU32(out + HeaderEquivalentId, h.EquivalentId);
  std::memcpy(out + HeaderAlias, h.Alias.data(), AliasFieldSize);
  WriteU32(out + HeaderRdev, h.Rdev);
  std::memcpy(out + HeaderReserved, h.Reserved.data(), ReservedFieldSize);
}
