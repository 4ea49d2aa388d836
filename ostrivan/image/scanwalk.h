#pragma once
// The two passes of the image scan as plain code over bytes: the run pass,
// which also keeps per page what the walk needs of it, and the walk over the
// runs from the first run of BaseSequenceNumber upward, which probes the ECC
// kind, remembers each id's first page and hands every page that passes the
// header test to its caller. The reader worker runs them and hands the
// accepted headers to the tree; the host tests and the fuzzer run them too.

#include <cstdint>
#include <vector>

#include "format.h"
#include "model.h"

// Per page of the image, from the run pass: the object id's table key, and
// HeaderPassed when the page passes the header test.
constexpr uint32_t HeaderPassed = 0x10000;
inline uint32_t PageSummary(ByteView page, uint32_t tagsOffset) {
  return IdKey(page.U32(tagsOffset + TagObjectId)) | (PassesHeaderTest(page, tagsOffset) ? HeaderPassed : 0);
}

// Pass 1: the sorted runs of the image (no WorkFile entry) and the summary of
// every page; pageDone() after each page.
template <typename PageDone>
RunEntryList ScanRuns(ByteView image, uint32_t tagsOffset, std::vector<uint32_t>& summary, PageDone pageDone) {
  summary.assign(PageCount(image.size() > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(image.size())), 0);
  return RunEntryList::FromImage(image, tagsOffset, [&](PageRef i, ByteView page) {
    summary[i] = PageSummary(page, tagsOffset);
    pageDone();
  });
}

// The ECC kind a page's first triple shows: 1 when it is the YAFFS2 triple of
// data bytes 0 to 255, else 2 when it is the NAND one, else 0.
uint8_t ProbeEccKind(ByteView page);

// A run entry the walk may go on to: an image run that is not erased.
inline bool WalkableRun(const RunEntryList& runs, size_t entry) {
  return entry < runs.Count() && runs[entry].Source == PageSource::Image &&
         runs[entry].SequenceNumber != ErasedSequenceNumber;
}

// Pass 2 over runs (the image's runs and then the WorkFile's entry), summary
// from ScanRuns. Runs are maximal stretches of one sequence number, so the
// walk leaves a run exactly where the next page's number differs or the image
// ends. Walk iterations 1 to 4 overwrite detectedEccKind with their probe;
// maxObjectId grows to the largest table key met. Each page notes its id's
// first page in table (which may be null); accept(page, src) gets each page
// that passed the header test, step() is called after each page.
template <typename Accept, typename Step>
void WalkImageRuns(ByteView image, const RunEntryList& runs, const std::vector<uint32_t>& summary, NodeEntry* table,
                   uint8_t& detectedEccKind, uint16_t& maxObjectId, Accept accept, Step step) {
  const uint32_t pages = static_cast<uint32_t>(summary.size());
  size_t k = runs.FirstRunAtOrAbove(BaseSequenceNumber);
  if (!WalkableRun(runs, k)) return;
  PageRef src = runs[k].FirstPage;
  for (uint32_t j = 0; j < pages; ++j) {
    if (src > runs[k].LastPage) {
      size_t next = runs.Next(k);
      if (!WalkableRun(runs, next)) break;
      src = runs[next].FirstPage;
      k = next;
    }
    // Runs that do not come from this image's pages are never followed past its end.
    if (src >= pages) break;
    if (j >= 1 && j <= 4) detectedEccKind = ProbeEccKind(PageBytes(image, src));

    uint32_t s = summary[src];
    uint16_t id = static_cast<uint16_t>(s);
    if (id > maxObjectId) maxObjectId = id;
    NoteFirstPage(table, id, src);
    if (s & HeaderPassed) accept(PageBytes(image, src), src);

    ++src;
    step();
  }
}

// What the tree does with an accepted header, decided by the id's table entry
// and the record alone (the tree's side: the node's place, text and icon).
enum class HeaderPlace : uint8_t {
  Root,     // id 1 naming itself as parent: the root's record is replaced
  Ignored,  // id 1 with another parent (device dumps write the root with parent 0)
  Removed,  // a parent id that marks the object removed: its node, if any, goes with its subtree
  Known,    // the id has a node: the newest header wins, FirstPage stays that of the node
  New,      // a node is made, with FirstPage First
};
struct HeaderDecision {
  HeaderPlace Place;
  PageRef First;       // for New: the first page the walk met for the id, or NoPage
  NodeRef Node;        // for Known and Removed: the id's node (NoNode for Removed when it has none)
};
// Takes the id's first page from table when its entry still holds one (flag
// 0), as the creation of the node does; the root's entry is never touched.
HeaderDecision PlaceHeader(NodeEntry* table, const ObjectRecord& r);

// The record of a page that passed the header test, as the scan hands it over.
inline ObjectRecord RecordOfHeaderPage(ByteView page, uint32_t tagsOffset, PageRef src) {
  return RecordFromHeader(DecodeObjectHeader(page), DecodeTags(page, tagsOffset), src);
}
