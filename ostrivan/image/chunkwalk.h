#pragma once
// The chunk walk that finds an object's pages in the image or the WorkFile,
// over an index of the walk order built in one pass over the tags, and the
// pieces of a regular file's bytes it gives. Plain code over bytes: the
// extraction worker and the rebuild call it, and so do the host tests.

#include <cstdint>
#include <vector>

#include "format.h"
#include "model.h"

// ---- Chunk index ---------------------------------------------------------------
// Where the pages of each 16-bit object id lie in the walk order of one source.
// The walk order of the image is its runs in RunList order, each from its first
// page, up to the first erased run or the WorkFile's entry; that of the
// WorkFile is its entry's pages. Built by one pass over the tags, so a walk
// costs the pages of its own object and no scan of the source.
class ChunkIndex {
public:
  static constexpr uint32_t NoOrder = 0xFFFFFFFF;

  // A page that carries an id of 16 bits or fewer, with its place in the walk.
  struct Located {
    uint32_t Order;
    uint32_t ChunkId;
    PageRef Page;
  };

  ChunkIndex() = default;
  // Indexes the walk order of source in runs over bytes (the whole source),
  // reading each page's tags at tagsOffset once. Pages outside bytes are
  // never read, whatever the RunList says.
  static ChunkIndex Build(ByteView bytes, PageSource source, const RunEntryList& runs, uint32_t tagsOffset);

  PageSource Source() const { return source_; }
  // Position of a page in the walk order; NoOrder when the walk never reads it.
  uint32_t OrderOf(PageRef page) const;
  // Pages whose tags carry exactly the id key (all 32 bits), in walk order.
  const Located* Begin(uint16_t key) const;
  const Located* End(uint16_t key) const;
  // Pages the walk order holds.
  uint32_t PageTotal() const { return total_; }

private:
  struct Segment {
    PageRef First;
    PageRef Last;
    uint32_t Order;  // walk position of First
  };
  PageSource source_ = PageSource::Image;
  std::vector<Segment> segments_;   // sorted by First
  std::vector<uint32_t> start_;     // per key, index of its first page in pages_; one more at the end
  std::vector<Located> pages_;      // grouped by key, walk order within a key
  uint32_t total_ = 0;
};

// The indexes a walk reads: the image's and the WorkFile's.
struct WalkSources {
  const ChunkIndex* Image = nullptr;
  const ChunkIndex* Work = nullptr;
  ByteView ImageBytes;
  ByteView WorkBytes;
};

// One page of an object's walk.
struct WalkPage {
  PageSource Source;
  PageRef Page;
  uint32_t ChunkId;
};
inline bool operator==(const WalkPage& a, const WalkPage& b) {
  return a.Source == b.Source && a.Page == b.Page && a.ChunkId == b.ChunkId;
}

// The chunk walk of an object: the pages of its source that carry its id, in
// walk order from its start page on. An image object starts at FirstPage, or,
// when it has none, where the scan's walk starts (the first run at or above
// BaseSequenceNumber); a WorkFile object at its header page. A start that the
// walk order does not hold (an erased run, past the end, the WorkFile's dummy
// page) gives no page. An image object never reads WorkFile pages.
std::vector<WalkPage> ChunkWalk(const ObjectRecord& r, const RunEntryList& runs, const WalkSources& sources);
// For chunk ids 1 to n, the copy that comes latest in the walk, by ascending
// chunk id; a chunk with no copy is absent.
std::vector<WalkPage> LatestChunks(const std::vector<WalkPage>& walk, uint32_t n);

// One piece of a regular file: Length bytes from the start of Page go to
// file offset Offset. Pieces never reach past the file's size.
struct FilePiece {
  uint64_t Offset;
  ByteView Page;
  uint32_t Length;
};
// The pieces of the record's bytes, by ascending offset: for each chunk 1 to
// ceil(FileSize / 2048) the latest copy the walk finds. A chunk with no copy
// has no piece; the file holds zeros there.
std::vector<FilePiece> FilePieces(const ObjectRecord& r, const RunEntryList& runs, const WalkSources& sources);
// Bytes [base, base + length) of the file whose pieces are pieces (as
// FilePieces gives them) into out: the pieces' bytes, zeros between them.
void AssembleFileBytes(const std::vector<FilePiece>& pieces, uint64_t base, uint32_t length, uint8_t* out);
// Bytes of the file that its pieces cover: the header's size capped at the end
// of the last chunk found.
uint64_t CoveredSize(const ObjectRecord& r, const std::vector<FilePiece>& pieces);
