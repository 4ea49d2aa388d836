#include "scanwalk.h"

#include <cstring>

#include "ecc.h"

uint8_t ProbeEccKind(ByteView page) {
  uint8_t bytes[DataEccOffset + DataEccTriple];
  page.CopyOut(0, sizeof bytes, bytes);
  uint8_t yaffs2[DataEccTriple], nand[DataEccTriple];
  CalcYaffs2Ecc(bytes, yaffs2);
  CalcNandFlashEcc(bytes, nand);
  const uint8_t* stored = bytes + DataEccOffset;
  if (std::memcmp(stored, yaffs2, DataEccTriple) == 0) return EccKindYaffs2;
  if (std::memcmp(stored, nand, DataEccTriple) == 0) return EccKindNandFlash;
  return EccKindNone;
}

HeaderDecision PlaceHeader(NodeEntry* table, const ObjectRecord& r) {
  const uint16_t id = IdKey(r.ObjectId);
  if (id == RootObjectId)
    return {r.ParentId == RootObjectId ? HeaderPlace::Root : HeaderPlace::Ignored, NoPage, NoNode};
  NodeEntry& e = EntryOf(table, id);
  PageRef first = e.Flag == 0 ? TakeFirstPage(table, id) : NoPage;
  NodeRef node = e.Node;  // flag 1 now: the object's node, or none
  if (RemovedParent(r.ParentId)) return {HeaderPlace::Removed, NoPage, node};
  if (node != NoNode) return {HeaderPlace::Known, NoPage, node};
  return {HeaderPlace::New, first, NoNode};
}
