#include "model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

NodeEntry* NodeTable = nullptr;
RunEntryList RunList;

const uint8_t* ImageView = nullptr;
uint32_t ImageSize = 0;
std::string WorkFileName;
uint8_t* WorkView = nullptr;
uint32_t WorkFileSize = 0;
uint32_t InputTagsOffset = TagsOffsetPlain;
uint32_t OutputTagsOffset = TagsOffsetPlain;
uint8_t DetectedEccKind = 0;
uint8_t OutputEccKind = 0;
uint16_t MaxObjectId = 0;
uint8_t Modified = 0;


// ---- ObjectRecord ------------------------------------------------------------

ObjectRecord RecordFromHeader(const ObjectHeader& h, const Tags& tags, PageRef headerPage) {
  ObjectRecord r;
  r.Valid = 1;
  r.HeaderPage = headerPage;
  r.WorkOffset = 0;
  std::memcpy(r.Name, h.Name.data(), MaxNameBytes);
  r.Name[MaxNameBytes] = '\0';
  r.ObjectType = h.ObjectType;
  r.ParentId = h.ParentId;
  r.ObjectId = tags.ObjectId;
  r.FileSize = h.FileSize;
  r.Mode = h.Mode;
  r.Uid = h.Uid;
  r.Gid = h.Gid;
  r.ATime = h.ATime;
  r.MTime = h.MTime;
  r.CTime = h.CTime;
  r.EquivalentId = h.EquivalentId;
  std::memcpy(r.Alias, h.Alias.data(), AliasFieldSize);
  r.TagsByteCount = tags.ByteCount;
  return r;
}

ObjectHeader DefaultRootHeader() {
  ObjectHeader h = DecodeObjectHeader(ByteView());  // every byte erased
  h.ObjectType = ObjectTypeDirectory;
  h.ParentId = RootObjectId;
  h.Name.fill(0);
  h.Mode = NewFolderMode;
  h.FileSize = 0;
  h.Uid = h.Gid = 0;
  h.ATime = h.MTime = h.CTime = 0;
  return h;
}

ObjectRecord DefaultRootRecord() {
  return RecordFromHeader(DefaultRootHeader(), Tags{BaseSequenceNumber, RootObjectId, 0, HeaderByteCount}, NoPage);
}

std::string RecordName(const ObjectRecord& r) {
  const char* end = static_cast<const char*>(std::memchr(r.Name, 0, sizeof r.Name));
  return std::string(r.Name, end ? static_cast<size_t>(end - r.Name) : sizeof r.Name);
}

void SetRecordName(ObjectRecord& r, const std::string& utf8) {
  std::memset(r.Name, 0, sizeof r.Name);
  std::memcpy(r.Name, utf8.data(), std::min<size_t>(utf8.size(), MaxNameBytes));
}

// ---- NodeTable -----------------------------------------------------------------

NodeRef NodeRefOf(const NodeEntry* table, uint32_t id) {
  if (!table) return NoNode;
  const NodeEntry& e = table[IdKey(id)];
  if (e.Flag == 1 || IdKey(id) == RootObjectId) return e.Node;
  return NoNode;
}

void NoteFirstPage(NodeEntry* table, uint32_t id, PageRef page) {
  if (!table || IdKey(id) == RootObjectId) return;
  NodeEntry& e = EntryOf(table, id);
  if (e.Flag == 0 && e.Page == NoPage) e.Page = page;
}

PageRef TakeFirstPage(NodeEntry* table, uint32_t id) {
  if (!table) return NoPage;
  NodeEntry& e = EntryOf(table, id);
  if (e.Flag != 0) return NoPage;
  PageRef first = e.Page;
  e.Flag = 1;
  e.Page = NoPage;
  e.Node = NoNode;
  return first;
}

void SetNode(NodeEntry* table, uint32_t id, NodeRef node) {
  if (!table) return;
  NodeEntry& e = EntryOf(table, id);
  e.Flag = 1;
  e.Node = node;
}

void SetRootNode(NodeEntry* table, NodeRef root) {
  if (!table) return;
  table[RootObjectId] = NodeEntry{0, NoPage, root};
}

void ClearNodeReference(NodeEntry* table, uint32_t id, NodeRef node) {
  if (!table) return;
  NodeEntry& e = EntryOf(table, id);
  if (e.Node == node) e.Node = NoNode;
}

void ClearNodeReferences(NodeEntry* table, const std::vector<uint32_t>& ids) {
  if (!table) return;
  for (uint32_t id : ids) EntryOf(table, id).Node = NoNode;
}

// ---- RunList -------------------------------------------------------------------

void RunEntryList::SortImageRuns() {
  auto end = std::find_if(entries_.begin(), entries_.end(),
                          [](const RunEntry& e) { return e.Source != PageSource::Image; });
  std::sort(entries_.begin(), end, [](const RunEntry& a, const RunEntry& b) {
    if (a.SequenceNumber != b.SequenceNumber) return a.SequenceNumber < b.SequenceNumber;
    return a.FirstPage < b.FirstPage;
  });
}

void RunEntryList::AppendWorkFileEntry(PageRef first, PageRef last) {
  entries_.push_back({BaseSequenceNumber, PageSource::WorkFile, first, last});
}

void RunEntryList::SetWorkFileEntry(PageRef first, PageRef last) {
  if (entries_.empty() || entries_.back().Source != PageSource::WorkFile) {
    AppendWorkFileEntry(first, last);
    return;
  }
  entries_.back() = {BaseSequenceNumber, PageSource::WorkFile, first, last};
}

size_t RunEntryList::FirstRunAtOrAbove(uint32_t sequenceNumber) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].SequenceNumber >= sequenceNumber) return i;
  return NoEntry;
}

size_t RunEntryList::EntryHolding(PageSource source, PageRef page) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    const RunEntry& e = entries_[i];
    if (e.Source == source && e.FirstPage <= page && page <= e.LastPage) return i;
  }
  return NoEntry;
}

// ---- Service routines ----------------------------------------------------------

std::string SizeText(uint32_t bytes) {
  uint64_t hundredths = (static_cast<uint64_t>(bytes) * 100 + 1024 * 1024 / 2) / (1024 * 1024);
  char text[32];
  snprintf(text, sizeof text, "%u.%02uMB", static_cast<unsigned>(hundredths / 100),
           static_cast<unsigned>(hundredths % 100));
  return text;
}

void FillBytes(void* buffer, int count, int flag) {
  if (count <= 0 || (flag != 0 && flag != 1)) return;
  std::memset(buffer, flag == 1 ? 0xFF : 0x00, static_cast<size_t>(count));
}
