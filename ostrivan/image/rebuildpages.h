#pragma once
// The pages of a rebuilt image as plain code over bytes: stamping tags and
// ECC, rewriting headers with the records' edits, and writing an object's
// pages from the chunk walk. The rebuild worker lays the tree out with them;
// the host tests and the fuzzer call them on memory.

#include <cstdint>
#include <functional>

#include "chunkwalk.h"
#include "format.h"
#include "model.h"

// Output tags, ECC kind and erase marker of the pages the rebuild writes.
struct StampSettings {
  uint32_t TagsOffset;  // 2048, or 2050 with the FF FF marker
  uint8_t EccKind;      // 0 keeps the page's data ECC bytes
};

// Puts the marker, the tags, the tags ECC and the data ECC into a page whose
// other bytes stay as they are.
void StampPage(uint8_t* page, const Tags& tags, const StampSettings& out);
// The tags ECC and data ECC steps alone, for pages whose tags are in place.
void StampPageEcc(uint8_t* page, const StampSettings& out);

// Copies a source header page (ErasedByte past the source's end) into dst,
// applies the record's name, mode, uid and gid, and stamps it with the
// header tags of objectId.
void RewriteHeader(uint8_t* dst, ByteView sourcePage, const ObjectRecord& r, uint32_t objectId,
                   const StampSettings& out);

// Page 0 for a root that no image header describes: DefaultRootHeader with
// every other byte of the page erased.
void DefaultRootPage(uint8_t* dst);

// Pages a node takes in the output: a regular file its header and one page
// per chunk, everything else one page.
uint64_t OutputPages(const ObjectRecord* r);
// The largest output the rebuild makes; a larger one is refused.
constexpr uint64_t MaxOutputBytes = 0x7FFF0000u;

// The header page a record points to: the image page, or the WorkFile page
// at its offset for an object added since the open.
ByteView SourceHeader(const ObjectRecord& r, const WalkSources& sources);

// The output pages of one object as its writer hands them out: the bytes of
// page index, counted from the object's header page (0). Pages are asked
// for front to back; a page never asked for reads as zero.
using ObjectPageAt = std::function<uint8_t*(uint64_t index)>;
// The pages of an output held whole in memory from out on.
inline ObjectPageAt PagesFrom(uint8_t* out) {
  return [out](uint64_t index) { return out + index * PageSize; };
}

// Writes a regular file's header page and its data pages (OutputPages(&r)
// pages in all); chunks the walk over runs does not reach stay zero. The
// data pages' tags are read at inputTagsOffset.
void WriteFilePages(ByteView sourceHeader, const ObjectRecord& r, const ObjectPageAt& out,
                    const WalkSources& sources, const RunEntryList& runs, uint32_t inputTagsOffset,
                    const StampSettings& settings);
// Writes the output pages of one object other than the root: a regular file
// through WriteFilePages, anything else its rewritten header.
void WriteObjectPages(const ObjectRecord& r, const ObjectPageAt& out, const WalkSources& sources,
                      const RunEntryList& runs, uint32_t inputTagsOffset, const StampSettings& settings);
// Writes page 0 of the output: the root's header page when its record has
// one in the image, else DefaultRootPage; stamped with the root's id (1 when
// there is no record).
void WriteRootPage(const ObjectRecord* root, uint8_t* out, const WalkSources& sources,
                   const StampSettings& settings);
