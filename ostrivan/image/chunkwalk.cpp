#include "chunkwalk.h"

#include <algorithm>
#include <cstring>

// ---- Chunk index ---------------------------------------------------------------

namespace {

constexpr uint32_t kIdKeys = 65536;

// The pages of an image of any size that the 32-bit page references reach.
uint32_t PagesOf(ByteView bytes) {
  return PageCount(bytes.size() > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes.size()));
}

}  // namespace

ChunkIndex ChunkIndex::Build(ByteView bytes, PageSource source, const RunEntryList& runs, uint32_t tagsOffset) {
  ChunkIndex ix;
  ix.source_ = source;
  const uint32_t pages = PagesOf(bytes);
  // The WorkFile's page 0 is a dummy that belongs to no object.
  const PageRef lowest = source == PageSource::WorkFile ? 1 : 0;
  uint32_t order = 0;
  for (const RunEntry& e : runs.Entries()) {
    if (source == PageSource::Image && (e.Source != PageSource::Image || e.SequenceNumber == ErasedSequenceNumber))
      break;
    if (e.Source != source) continue;
    PageRef first = std::max(e.FirstPage, lowest);
    if (pages == 0 || first > e.LastPage || first >= pages) continue;
    PageRef last = std::min<PageRef>(e.LastPage, pages - 1);
    uint32_t length = last - first + 1;
    if (length > ChunkIndex::NoOrder - 1 - order) break;
    ix.segments_.push_back({first, last, order});
    order += length;
  }
  ix.total_ = order;

  struct Found {
    uint16_t Key;
    Located Where;
  };
  std::vector<Found> found;
  found.reserve(order);
  for (const Segment& s : ix.segments_) {
    for (PageRef p = s.First;; ++p) {
      ByteView page = PageBytes(bytes, p);
      uint32_t id = page.U32(tagsOffset + TagObjectId);
      // Tags compare all 32 bits with a 16-bit key: larger ids never match.
      if (id < kIdKeys)
        found.push_back({static_cast<uint16_t>(id), {s.Order + (p - s.First), page.U32(tagsOffset + TagChunkId), p}});
      if (p == s.Last) break;
    }
  }

  // Group by key, keeping the walk order inside each group.
  ix.start_.assign(kIdKeys + 1, 0);
  for (const Found& f : found) ++ix.start_[f.Key + 1];
  for (uint32_t k = 0; k < kIdKeys; ++k) ix.start_[k + 1] += ix.start_[k];
  ix.pages_.resize(found.size());
  std::vector<uint32_t> next(ix.start_.begin(), ix.start_.end() - 1);
  for (const Found& f : found) ix.pages_[next[f.Key]++] = f.Where;

  std::sort(ix.segments_.begin(), ix.segments_.end(),
            [](const Segment& a, const Segment& b) { return a.First < b.First; });
  return ix;
}

uint32_t ChunkIndex::OrderOf(PageRef page) const {
  auto it = std::upper_bound(segments_.begin(), segments_.end(), page,
                             [](PageRef p, const Segment& s) { return p < s.First; });
  if (it == segments_.begin()) return NoOrder;
  --it;
  return page <= it->Last ? it->Order + (page - it->First) : NoOrder;
}

const ChunkIndex::Located* ChunkIndex::Begin(uint16_t key) const {
  return start_.empty() ? nullptr : pages_.data() + start_[key];
}

const ChunkIndex::Located* ChunkIndex::End(uint16_t key) const {
  return start_.empty() ? nullptr : pages_.data() + start_[key + 1];
}

// ---- The walk ------------------------------------------------------------------------

std::vector<WalkPage> ChunkWalk(const ObjectRecord& r, const RunEntryList& runs, const WalkSources& sources) {
  std::vector<WalkPage> walk;
  const ChunkIndex* ix = nullptr;
  PageRef start = NoPage;
  if (InWorkFile(r)) {
    ix = sources.Work;
    // Page 0 is the dummy page: an offset there (or between pages) is no header.
    if (r.WorkOffset % PageSize == 0 && r.WorkOffset >= PageSize) start = r.WorkOffset / PageSize;
  } else {
    ix = sources.Image;
    start = r.FirstPage;
    if (start == NoPage) {
      // No first page was kept: start where the scan's walk starts, which
      // meets every page the scan could have seen for the id.
      size_t k = runs.FirstRunAtOrAbove(BaseSequenceNumber);
      if (k != RunEntryList::NoEntry && runs[k].Source == PageSource::Image) start = runs[k].FirstPage;
    }
  }
  if (!ix || start == NoPage) return walk;
  uint32_t from = ix->OrderOf(start);
  if (from == ChunkIndex::NoOrder) return walk;
  const ChunkIndex::Located* begin = ix->Begin(IdKey(r.ObjectId));
  const ChunkIndex::Located* end = ix->End(IdKey(r.ObjectId));
  if (!begin) return walk;
  begin = std::lower_bound(begin, end, from,
                           [](const ChunkIndex::Located& l, uint32_t order) { return l.Order < order; });
  walk.reserve(end - begin);
  for (const ChunkIndex::Located* l = begin; l != end; ++l) walk.push_back({ix->Source(), l->Page, l->ChunkId});
  return walk;
}

std::vector<WalkPage> LatestChunks(const std::vector<WalkPage>& walk, uint32_t n) {
  std::vector<size_t> chosen;
  for (size_t i = 0; i < walk.size(); ++i)
    if (walk[i].ChunkId >= 1 && walk[i].ChunkId <= n) chosen.push_back(i);
  std::stable_sort(chosen.begin(), chosen.end(),
                   [&walk](size_t a, size_t b) { return walk[a].ChunkId < walk[b].ChunkId; });
  std::vector<WalkPage> latest;
  for (size_t i = 0; i < chosen.size(); ++i)
    if (i + 1 == chosen.size() || walk[chosen[i + 1]].ChunkId != walk[chosen[i]].ChunkId)
      latest.push_back(walk[chosen[i]]);
  return latest;
}

std::vector<FilePiece> FilePieces(const ObjectRecord& r, const RunEntryList& runs, const WalkSources& sources) {
  std::vector<FilePiece> pieces;
  if (r.FileSize == 0) return pieces;
  const uint32_t n = static_cast<uint32_t>((static_cast<uint64_t>(r.FileSize) + ChunkSize - 1) / ChunkSize);
  const uint32_t lastLength = r.FileSize - (n - 1) * ChunkSize;
  for (const WalkPage& w : LatestChunks(ChunkWalk(r, runs, sources), n)) {
    ByteView source = w.Source == PageSource::Image ? sources.ImageBytes : sources.WorkBytes;
    pieces.push_back({static_cast<uint64_t>(w.ChunkId - 1) * ChunkSize, PageBytes(source, w.Page),
                      w.ChunkId == n ? lastLength : ChunkSize});
  }
  return pieces;
}

uint64_t CoveredSize(const ObjectRecord& r, const std::vector<FilePiece>& pieces) {
  return pieces.empty() ? 0 : std::min<uint64_t>(r.FileSize, pieces.back().Offset + pieces.back().Length);
}

void AssembleFileBytes(const std::vector<FilePiece>& pieces, uint64_t base, uint32_t length, uint8_t* out) {
  const uint64_t end = base + length;
  uint64_t filled = base;  // out holds the bytes of [base, filled)
  auto it = std::lower_bound(pieces.begin(), pieces.end(), base,
                             [](const FilePiece& p, uint64_t at) { return p.Offset + p.Length <= at; });
  for (; it != pieces.end() && it->Offset < end; ++it) {
    const uint64_t from = std::max(it->Offset, base);
    const uint64_t to = std::min(it->Offset + it->Length, end);
    if (from > filled) std::memset(out + (filled - base), 0, static_cast<size_t>(from - filled));
    it->Page.CopyOut(static_cast<size_t>(from - it->Offset), static_cast<size_t>(to - from), out + (from - base));
    filled = to;
  }
  if (end > filled) std::memset(out + (filled - base), 0, static_cast<size_t>(end - filled));
}
