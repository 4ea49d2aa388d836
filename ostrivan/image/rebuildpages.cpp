#include "rebuildpages.h"

#include <cstring>

#include "ecc.h"

namespace {

uint32_t ChunkCount(uint32_t fileSize) { return static_cast<uint32_t>((uint64_t(fileSize) + ChunkSize - 1) / ChunkSize); }

ByteView SourceBytes(PageSource s, const WalkSources& sources) {
  return s == PageSource::Image ? sources.ImageBytes : sources.WorkBytes;
}

}  // namespace

ByteView SourceHeader(const ObjectRecord& r, const WalkSources& sources) {
  if (r.HeaderPage != NoPage) return PageBytes(sources.ImageBytes, r.HeaderPage);
  return sources.WorkBytes.Sub(r.WorkOffset, PageSize);
}

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
  EncodeObjectHeader(DefaultRootHeader(), dst);
}

uint64_t OutputPages(const ObjectRecord* r) {
  if (r && r->ObjectType == ObjectTypeFile) return 1 + uint64_t(ChunkCount(r->FileSize));
  return 1;
}

void WriteFilePages(ByteView sourceHeader, const ObjectRecord& r, const ObjectPageAt& out,
                    const WalkSources& sources, const RunEntryList& runs, uint32_t inputTagsOffset,
                    const StampSettings& settings) {
  RewriteHeader(out(0), sourceHeader, r, IdKey(r.ObjectId), settings);
  uint32_t n = ChunkCount(r.FileSize);
  if (n == 0) return;
  for (const WalkPage& p : LatestChunks(ChunkWalk(r, runs, sources), n)) {
    uint8_t* dst = out(p.ChunkId);
    ByteView src = PageBytes(SourceBytes(p.Source, sources), p.Page);
    src.CopyOut(0, PageSize, dst);
    // The tags move to the output's offset with the sequence number of
    // every written page; object id, chunk id and byte count stay as read.
    uint8_t tags[TagsLength];
    src.CopyOut(inputTagsOffset, TagsLength, tags);
    WriteU32(tags + TagSequenceNumber, BaseSequenceNumber);
    std::memcpy(dst + settings.TagsOffset, tags, TagsLength);
    StampPageEcc(dst, settings);
  }
}

void WriteObjectPages(const ObjectRecord& r, const ObjectPageAt& out, const WalkSources& sources,
                      const RunEntryList& runs, uint32_t inputTagsOffset, const StampSettings& settings) {
  if (r.ObjectType == ObjectTypeFile)
    WriteFilePages(SourceHeader(r, sources), r, out, sources, runs, inputTagsOffset, settings);
  else
    RewriteHeader(out(0), SourceHeader(r, sources), r, IdKey(r.ObjectId), settings);
}

void WriteRootPage(const ObjectRecord* root, uint8_t* out, const WalkSources& sources,
                   const StampSettings& settings) {
  if (root && root->HeaderPage != NoPage) {
    PageBytes(sources.ImageBytes, root->HeaderPage).CopyOut(0, PageSize, out);
  } else {
    DefaultRootPage(out);
  }
  StampPage(out, Tags{BaseSequenceNumber, root ? root->ObjectId : 1, 0, HeaderByteCount}, settings);
}
