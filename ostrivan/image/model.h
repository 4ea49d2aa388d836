#pragma once
// What the image browser holds about the opened image: the record of each
// object, the table from 16-bit object ids to tree nodes, the runs of pages of
// one sequence number and the module-level values of the open image. Plain
// code over bytes: no Windows header (openimage.h holds the file side).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "format.h"

// A page reference: the index of a page in its source (the image or the
// WorkFile). NoPage is "none" and differs from page 0, which is a real page;
// no file of 32-bit size has a page of that index.
using PageRef = uint32_t;
constexpr PageRef NoPage = 0xFFFFFFFF;
static_assert(PageRef(0xFFFFFFFFu / PageSize) < NoPage, "NoPage is never a real page");

// ---- ObjectRecord ------------------------------------------------------------
// The record each tree node carries for its object: the fields of its latest
// accepted header plus where its pages lie. Plain data, always copied whole.
struct ObjectRecord {
  uint8_t Valid = 0;                 // 1 in every filled record
  PageRef HeaderPage = NoPage;       // image page of the header last accepted; NoPage: object lives in the WorkFile
  PageRef FirstPage = NoPage;        // first image page of the id in walk order, where the chunk walk starts
  uint32_t WorkOffset = 0;           // offset of the header page from the WorkFile's start (added objects)
  char Name[NameFieldSize] = {};     // UTF-8, NUL-terminated, at most MaxNameBytes bytes
  uint32_t ObjectType = 0;
  uint32_t ParentId = 0;
  uint32_t ObjectId = 0;             // all 32 bits from the tags; looked up by the low 16
  uint32_t FileSize = 0;
  uint32_t Mode = 0;                 // as stored, file-type bits kept
  uint32_t Uid = 0;
  uint32_t Gid = 0;
  uint32_t ATime = 0;
  uint32_t MTime = 0;
  uint32_t CTime = 0;
  uint32_t EquivalentId = 0;         // hard-link target
  char Alias[AliasFieldSize] = {};   // symbolic-link target
  uint32_t TagsByteCount = 0;        // byte count of the accepted header's tags
};
static_assert(std::is_trivially_copyable<ObjectRecord>::value, "records are copied whole");

// True when the record's pages lie in the WorkFile (at WorkOffset), not in the image.
inline bool InWorkFile(const ObjectRecord& r) { return r.HeaderPage == NoPage; }
// The record of an accepted header as the scan fills it: Valid 1, the header's
// fields, the tags' object id and byte count, the header page, WorkOffset 0.
// The name takes the field's first MaxNameBytes bytes and always ends in 0;
// FirstPage stays NoPage (the node's creation sets it).
ObjectRecord RecordFromHeader(const ObjectHeader& header, const Tags& tags, PageRef headerPage);
// True for a parent id that marks its object as removed: 0 and 2 to 256.
inline bool RemovedParent(uint32_t parentId) {
  return parentId == 0 || (parentId >= 2 && parentId < FirstOrdinaryObjectId);
}
// Mode words of new objects: permissions 755 with the object's file-type bits.
constexpr uint32_t NewFileMode = 0100755;
constexpr uint32_t NewFolderMode = 040755;

// The header of a root that no accepted header describes: folder 1 in
// itself, mode NewFolderMode, size, owner and times 0, every other byte
// erased. The open command's root record and the rebuild's page 0 both come
// from it, so they agree.
ObjectHeader DefaultRootHeader();
// The record of that header, as the open command gives the root.
ObjectRecord DefaultRootRecord();

// The record's name up to its terminating zero (never past the field).
std::string RecordName(const ObjectRecord& r);
// Stores a UTF-8 name: its first MaxNameBytes bytes (a cut may split a
// character), the rest of the field zero.
void SetRecordName(ObjectRecord& r, const std::string& utf8);

// ---- NodeTable -----------------------------------------------------------------
// The tree node of an object as the table holds it: a handle that the image
// code only stores and compares, never looks into. The program maps its tree
// nodes to handles and back (openimage.h); NoNode is no node.
enum class NodeRef : uintptr_t {};
constexpr NodeRef NoNode = NodeRef(0);

// One entry per 16-bit object id. Flag 0: Page is the first page the walk met
// for the id (NoPage before any), and no node, except entry 1 whose Node is the
// root from the open on. Flag 1: Node is the object's tree node, or NoNode
// once it was removed or the object was born removed.
struct NodeEntry {
  uint8_t Flag;
  PageRef Page;
  NodeRef Node;
};
constexpr uint32_t kNodeTableEntries = 65536;

// The current table (AllocNodeTable, openimage.h). Readers go through the
// functions below, which accept a null table as one that holds nothing.
extern NodeEntry* NodeTable;

// Table key of an id: its low 16 bits (object, parent and hard-link ids alike).
inline uint16_t IdKey(uint32_t id) { return static_cast<uint16_t>(id); }
// The entry of an id (table must not be null).
inline NodeEntry& EntryOf(NodeEntry* table, uint32_t id) { return table[IdKey(id)]; }
// The tree node of an id: the entry's node when its flag is 1, and for the root
// id also while the flag is 0. A page reference is never a node.
NodeRef NodeRefOf(const NodeEntry* table, uint32_t id);
// The walk met a page of the id: remembered when nothing was seen for the id
// yet. Entry 1 holds the root node from the open on and never takes a page.
void NoteFirstPage(NodeEntry* table, uint32_t id, PageRef page);
// The id's node is about to be created: returns the first page remembered
// (NoPage when there is none or the flag was already 1) and sets the entry to
// flag 1 without a node.
PageRef TakeFirstPage(NodeEntry* table, uint32_t id);
// The id's node is node (flag 1).
void SetNode(NodeEntry* table, uint32_t id, NodeRef node);
// At each open: entry 1 := {flag 0, the root node}.
void SetRootNode(NodeEntry* table, NodeRef root);
// A node left the tree: the entry of its id stops referring to it (the flag
// stays). An entry that refers to another node keeps it. Whoever removes a
// subtree calls this for every node in it.
void ClearNodeReference(NodeEntry* table, uint32_t id, NodeRef node);
// The same for a list of ids whose nodes all left the tree.
void ClearNodeReferences(NodeEntry* table, const std::vector<uint32_t>& ids);

// ---- RunList -------------------------------------------------------------------
enum class PageSource : uint8_t { Image, WorkFile };

// A stretch of physically consecutive pages of one sequence number in one source.
struct RunEntry {
  uint32_t SequenceNumber = 0;
  PageSource Source = PageSource::Image;
  PageRef FirstPage = 0;
  PageRef LastPage = 0;
};
inline bool operator==(const RunEntry& a, const RunEntry& b) {
  return a.SequenceNumber == b.SequenceNumber && a.Source == b.Source && a.FirstPage == b.FirstPage &&
         a.LastPage == b.LastPage;
}

// The image's runs sorted by sequence number (unsigned) and then by first page,
// followed by the WorkFile's entry, always last.
class RunEntryList {
public:
  static constexpr size_t NoEntry = static_cast<size_t>(-1);

  // The sorted runs of the image's pages 0 .. PageCount(image.size()) - 1, read
  // at tagsOffset; no WorkFile entry yet. pageDone, when given, is called
  // after each page with its index and its bytes (PageBytes), so that the
  // scan learns what else it needs of a page in the same pass.
  template <typename PageDone>
  static RunEntryList FromImage(ByteView image, uint32_t tagsOffset, PageDone pageDone);
  static RunEntryList FromImage(ByteView image, uint32_t tagsOffset) {
    return FromImage(image, tagsOffset, [](PageRef, ByteView) {});
  }

  void Append(const RunEntry& e) { entries_.push_back(e); }
  // Sorts the image runs: sequence number unsigned ascending, then first page.
  void SortImageRuns();
  // Appends the WorkFile's entry {BaseSequenceNumber, WorkFile, first, last}.
  void AppendWorkFileEntry(PageRef first, PageRef last);
  // Rewrites the WorkFile's entry after a growth (appends it when missing).
  void SetWorkFileEntry(PageRef first, PageRef last);

  // Where the walk starts: the lowest index whose sequence number is
  // sequenceNumber or more (unsigned), so the lowest-placed run of the smallest
  // such number; for BaseSequenceNumber the WorkFile entry when the image has
  // none; NoEntry when no entry qualifies. The walk takes the found entry's
  // own sequence number as its current one and still stops at an erased run
  // or the WorkFile entry.
  size_t FirstRunAtOrAbove(uint32_t sequenceNumber) const;
  // Lowest index of an entry of source whose first <= page <= last; NoEntry when none.
  size_t EntryHolding(PageSource source, PageRef page) const;

  size_t Count() const { return entries_.size(); }
  size_t Next(size_t index) const { return index + 1; }
  size_t Last() const { return entries_.empty() ? NoEntry : entries_.size() - 1; }
  const RunEntry& operator[](size_t index) const { return entries_[index]; }
  const std::vector<RunEntry>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }

private:
  std::vector<RunEntry> entries_;
};

template <typename PageDone>
RunEntryList RunEntryList::FromImage(ByteView image, uint32_t tagsOffset, PageDone pageDone) {
  RunEntryList list;
  uint32_t pages = PageCount(image.size() > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(image.size()));
  if (pages == 0) return list;
  uint32_t current = PageSequenceNumber(PageBytes(image, 0), tagsOffset);
  PageRef start = 0;
  auto step = [&](uint32_t i, ByteView page) {
    uint32_t s = PageSequenceNumber(page, tagsOffset);
    if (s != current) {
      list.Append({current, PageSource::Image, start, i - 1});
      start = i;
      current = s;
    }
    if (i == pages - 1) list.Append({current, PageSource::Image, start, i});
    pageDone(i, page);
  };
  // Pages that lie whole in the image are views of a known size, so that the
  // bounds of every read fold away; only a trailing partial page is cut.
  uint32_t whole = static_cast<uint32_t>(std::min<uint64_t>(pages, image.size() / PageSize));
  for (uint32_t i = 0; i < whole; ++i) step(i, ByteView(image.data() + PageOffset(i), PageSize));
  for (uint32_t i = whole; i < pages; ++i) step(i, PageBytes(image, i));
  list.SortImageRuns();
  return list;
}

// The list built by the latest scan; GrowWorkFile rewrites its last entry.
extern RunEntryList RunList;

// ---- Open-image values -----------------------------------------------------------
extern const uint8_t* ImageView;     // the whole image; nullptr when no image is open
extern uint32_t ImageSize;           // file size of the image (32 bits)
extern std::string WorkFileName;     // name of the WorkFile in ProgramDir()
extern uint8_t* WorkView;            // the whole WorkFile, read/write; moves at each growth
extern uint32_t WorkFileSize;        // bytes of the WorkFile in use; WorkView covers at least these
extern uint32_t InputTagsOffset;     // tags offset of the opened image and of the WorkFile
extern uint32_t OutputTagsOffset;    // tags offset the rebuild writes
extern uint8_t DetectedEccKind;      // EccKind the scan guessed
extern uint8_t OutputEccKind;        // EccKind the rebuild writes
extern uint16_t MaxObjectId;         // largest low-16-bit id met; new ids count up from it
extern uint8_t Modified;             // 1 after an edit not yet written by a rebuild

// The open image and the WorkFile as bounded views (empty when not open).
inline ByteView ImageBytes() { return ByteView(ImageView, ImageView ? ImageSize : 0); }
inline ByteView WorkBytes() { return ByteView(WorkView, WorkView ? WorkFileSize : 0); }

// Size text of status panel 3: bytes / 1024 / 1024 with two decimals, rounded half up, then "MB".
std::string SizeText(uint32_t bytes);
// Sets count bytes to 0xFF (flag 1) or 0x00 (flag 0); any other flag, or a
// count of 0 or less, writes nothing.
void FillBytes(void* buffer, int count, int flag);
