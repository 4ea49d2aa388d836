#include "image_check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "scanwalk.h"

namespace imagecheck {

namespace {

// Stands for "the id has a node": the table only stores and compares it.
constexpr NodeRef Node = NodeRef(1);

// The records the tree keeps, by the tree's own decision on each header.
// Node placement is the tree's (it is not modelled): an object whose parent
// is removed later keeps its record here, so the rebuild below writes a set
// of objects that may hold more than the program's tree; the rescan must
// give back exactly that set.
void Apply(ScannedImage& s, const ObjectRecord& r) {
  const uint16_t id = IdKey(r.ObjectId);
  const HeaderDecision place = PlaceHeader(s.Table->data(), r);
  switch (place.Place) {
    case HeaderPlace::Ignored:
      return;
    case HeaderPlace::Root:
      s.Objects[id] = r;
      s.Objects[id].FirstPage = NoPage;
      return;
    case HeaderPlace::Removed:
      if (place.Node != NoNode) {
        ClearNodeReference(s.Table->data(), id, place.Node);
        s.Objects.erase(id);
      }
      return;
    case HeaderPlace::Known: {
      ObjectRecord& kept = s.Objects[id];
      PageRef keep = kept.FirstPage;
      kept = r;
      kept.FirstPage = keep;
      return;
    }
    case HeaderPlace::New:
      s.Objects[id] = r;
      s.Objects[id].FirstPage = place.First;
      SetNode(s.Table->data(), id, Node);
      return;
  }
}

bool Inside(ByteView part, ByteView whole) {
  if (part.empty()) return true;
  return part.data() >= whole.data() && part.size() <= whole.size() &&
         static_cast<size_t>(part.data() - whole.data()) <= whole.size() - part.size();
}

void Fail(std::string& failures, const std::string& what) {
  if (failures.size() < 4000) failures += what + "\n";
}

bool SameFields(const ObjectRecord& a, const ObjectRecord& b) {
  return a.ObjectType == b.ObjectType && a.ParentId == b.ParentId && RecordName(a) == RecordName(b) &&
         a.FileSize == b.FileSize && a.Mode == b.Mode && a.Uid == b.Uid && a.Gid == b.Gid && a.ATime == b.ATime &&
         a.MTime == b.MTime && a.CTime == b.CTime && a.EquivalentId == b.EquivalentId &&
         std::memcmp(a.Alias, b.Alias, sizeof a.Alias) == 0 && IdKey(a.ObjectId) == b.ObjectId;
}

}  // namespace

ScannedImage Scan(ByteView image, uint32_t tagsOffset) {
  ScannedImage s;
  s.TagsOffset = tagsOffset;
  // One table for every scan, as a fresh open leaves it; afterwards only the
  // entries of the ids met are put back (a fresh table per scan would cost
  // more than the scan of a small image).
  static std::vector<NodeEntry> table(kNodeTableEntries, NodeEntry{0, NoPage, NoNode});
  s.Table = &table;
  s.Runs = ScanRuns(image, tagsOffset, s.Summary, [] {});
  s.Runs.AppendWorkFileEntry(0, 0);
  WalkImageRuns(image, s.Runs, s.Summary, table.data(), s.EccKind, s.MaxObjectId,
                [&](ByteView page, PageRef src) { Apply(s, RecordOfHeaderPage(page, tagsOffset, src)); }, [] {});
  for (uint32_t summary : s.Summary) table[IdKey(summary)] = NodeEntry{0, NoPage, NoNode};
  table[RootObjectId] = NodeEntry{0, NoPage, NoNode};
  s.Table = nullptr;
  return s;
}

SparseFile ExtractToMemory(const ObjectRecord& r, const RunEntryList& runs, const WalkSources& sources,
                           ByteView image, std::string& failures) {
  std::vector<FilePiece> pieces = FilePieces(r, runs, sources);
  const std::string who = "file " + std::to_string(IdKey(r.ObjectId)) + ": ";
  SparseFile file;
  uint64_t next = 0, end = 0;
  for (const FilePiece& p : pieces) {
    uint64_t expected = std::min<uint64_t>(ChunkSize, r.FileSize - std::min<uint64_t>(r.FileSize, p.Offset));
    if (p.Offset % ChunkSize != 0 || p.Offset < next || p.Length != expected || p.Length == 0) {
      Fail(failures, who + "piece at " + std::to_string(p.Offset) + " of " + std::to_string(p.Length) + " bytes");
      continue;
    }
    if (!Inside(p.Page, image)) Fail(failures, who + "piece outside the image");
    std::vector<uint8_t>& bytes = file[p.Offset];
    bytes.resize(p.Length);
    p.Page.CopyOut(0, p.Length, bytes.data());
    next = end = p.Offset + p.Length;
  }
  if (end > r.FileSize || CoveredSize(r, pieces) != end)
    Fail(failures, who + "covered size " + std::to_string(CoveredSize(r, pieces)) + " for chunks ending at " +
                       std::to_string(end) + " of " + std::to_string(r.FileSize));
  // The bytes extraction writes: the pieces, zeros between them.
  if (end <= (1u << 20)) {
    std::vector<uint8_t> whole(static_cast<size_t>(end), 0x55);
    AssembleFileBytes(pieces, 0, static_cast<uint32_t>(end), whole.data());
    uint64_t at = 0;
    for (const auto& [offset, bytes] : file) {
      if (offset < at || offset + bytes.size() > whole.size() ||
          !std::all_of(whole.begin() + at, whole.begin() + offset, [](uint8_t v) { return v == 0; }) ||
          !std::equal(bytes.begin(), bytes.end(), whole.begin() + offset))
        Fail(failures, who + "assembled bytes differ at " + std::to_string(offset));
      at = offset + bytes.size();
    }
  }
  return file;
}

// True when two sparse files of one size hold the same bytes (zeros where a
// file has no piece).
bool SameBytes(const SparseFile& a, const SparseFile& b) {
  auto covers = [](const SparseFile& f, uint64_t offset, const std::vector<uint8_t>& bytes) {
    auto it = f.find(offset);
    if (it != f.end()) return it->second == bytes;
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t v) { return v == 0; });
  };
  for (const auto& [offset, bytes] : a)
    if (!covers(b, offset, bytes)) return false;
  for (const auto& [offset, bytes] : b)
    if (!covers(a, offset, bytes)) return false;
  return true;
}

std::vector<uint8_t> Rebuild(const ScannedImage& scan, ByteView image, const ChunkIndex& index,
                             const StampSettings& settings, size_t maxBytes) {
  const ObjectRecord* root = nullptr;
  auto it = scan.Objects.find(RootObjectId);
  if (it != scan.Objects.end()) root = &it->second;
  uint64_t pages = 1;
  for (const auto& [id, r] : scan.Objects)
    if (id != RootObjectId) pages += OutputPages(&r);
  if (pages * PageSize > maxBytes) return {};
  std::vector<uint8_t> out(static_cast<size_t>(pages * PageSize), 0);
  const WalkSources sources{&index, nullptr, image, ByteView()};
  ObjectRecord defaultRoot = DefaultRootRecord();
  WriteRootPage(root ? root : &defaultRoot, out.data(), sources, settings);
  uint64_t at = 1;
  for (const auto& [id, r] : scan.Objects) {
    if (id == RootObjectId) continue;
    WriteObjectPages(r, PagesFrom(out.data() + at * PageSize), sources, scan.Runs, scan.TagsOffset, settings);
    at += OutputPages(&r);
  }
  return out;
}

std::string CheckInput(const uint8_t* data, size_t size) {
  if (size == 0) return "";
  // An exact copy, so that the sanitizer sees any read before or past the image.
  const size_t length = size - 1;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[length ? length : 1]);
  if (length) std::memcpy(copy.get(), data + 1, length);
  const ByteView image(copy.get(), length);
  const uint32_t choice = data[0] % 3;
  const uint32_t tagsOffset =
      choice == 0 ? DetectTagsOffset(image) : choice == 1 ? TagsOffsetPlain : TagsOffsetMarked;

  std::string failures;
  ScannedImage scan = Scan(image, tagsOffset);
  ChunkIndex index = ChunkIndex::Build(image, PageSource::Image, scan.Runs, tagsOffset);
  if (index.PageTotal() > PageCount(static_cast<uint32_t>(std::min<size_t>(length, 0xFFFFFFFFu))))
    Fail(failures, "the index holds more pages than the image");
  const WalkSources sources{&index, nullptr, image, ByteView()};

  std::map<uint16_t, SparseFile> files;
  for (const auto& [id, r] : scan.Objects)
    if (r.ObjectType == ObjectTypeFile) files[id] = ExtractToMemory(r, scan.Runs, sources, image, failures);

  // Each ECC kind at the image's tags offset, and one at the other offset.
  // Kinds differ only in the data ECC bytes: the kind-1 images are scanned
  // again, the others compared with them.
  const uint32_t otherOffset = tagsOffset == TagsOffsetPlain ? TagsOffsetMarked : TagsOffsetPlain;
  std::vector<uint8_t> reference;
  const StampSettings kinds[] = {{tagsOffset, EccKindYaffs2},
                                 {tagsOffset, EccKindNone},
                                 {tagsOffset, EccKindNandFlash},
                                 {otherOffset, EccKindYaffs2}};
  for (const StampSettings& settings : kinds) {
    std::vector<uint8_t> out = Rebuild(scan, image, index, settings, 1u << 20);
    if (out.empty()) continue;
    if (settings.TagsOffset == tagsOffset && settings.EccKind != EccKindYaffs2) {
      if (out.size() != reference.size()) {
        Fail(failures, "rebuilds of one image differ in size");
        continue;
      }
      for (size_t p = 0; p < out.size(); p += PageSize) {
        const uint8_t* page = out.data() + p;
        const uint8_t* ref = reference.data() + p;
        uint8_t ecc[DataEccLength] = {};
        CalcChunkEcc(page, ecc, settings.EccKind);
        if (std::memcmp(page, ref, DataEccOffset) != 0 ||
            (settings.EccKind != EccKindNone && !std::all_of(page, page + PageSize, [](uint8_t v) { return v == 0; }) &&
             std::memcmp(page + DataEccOffset, ecc, DataEccLength) != 0))
          Fail(failures, "kind " + std::to_string(settings.EccKind) + ": page " + std::to_string(p / PageSize) +
                             " differs from kind 1 outside its data ECC or has a wrong one");
      }
      continue;
    }
    if (settings.TagsOffset == tagsOffset) reference = out;
    const std::string how = "rebuild at " + std::to_string(settings.TagsOffset) + " kind " +
                            std::to_string(settings.EccKind) + ": ";
    const ByteView rebuilt(out.data(), out.size());
    if (DetectTagsOffset(rebuilt) != settings.TagsOffset) Fail(failures, how + "tags offset not found again");
    ScannedImage again = Scan(rebuilt, settings.TagsOffset);
    // A data page that passes the header test is read as a header: the format
    // cannot tell it from one, so the tree may differ and is not compared.
    bool ambiguous = false;
    for (size_t p = 1; p < again.Summary.size() && !ambiguous; ++p)
      ambiguous = (again.Summary[p] & HeaderPassed) && PageBytes(rebuilt, static_cast<PageRef>(p)).U32(settings.TagsOffset + TagChunkId) != 0;
    if (ambiguous) continue;
    for (const auto& [id, r] : scan.Objects) {
      auto found = again.Objects.find(id);
      if (found == again.Objects.end()) {
        if (id != RootObjectId) Fail(failures, how + "object " + std::to_string(id) + " lost");
        continue;
      }
      if (id != RootObjectId && !SameFields(r, found->second))
        Fail(failures, how + "object " + std::to_string(id) + " changed");
    }
    for (const auto& [id, r] : again.Objects)
      if (id != RootObjectId && !scan.Objects.count(id))
        Fail(failures, how + "object " + std::to_string(id) + " appeared");
    ChunkIndex againIndex = ChunkIndex::Build(rebuilt, PageSource::Image, again.Runs, settings.TagsOffset);
    const WalkSources againSources{&againIndex, nullptr, rebuilt, ByteView()};
    for (const auto& [id, bytes] : files) {
      auto found = again.Objects.find(id);
      if (found == again.Objects.end()) continue;
      SparseFile second = ExtractToMemory(found->second, again.Runs, againSources, rebuilt, failures);
      if (!SameBytes(bytes, second)) Fail(failures, how + "file " + std::to_string(id) + " bytes differ");
    }
  }
  return failures;
}

}  // namespace imagecheck
