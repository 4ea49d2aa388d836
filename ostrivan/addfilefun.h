#pragma once
// Objects added to the opened image live in the WorkFile: a page file in the
// program's folder, in the image's own page format, that only grows while the
// image stays open. Page 0 is a zero dummy page; every added object follows
// as its header page and, for a file, one data page per chunk, all with
// sequence number BaseSequenceNumber and the tags at InputTagsOffset.

#include <cstdint>
#include <string>
#include <vector>

#include "openimage.h"
#include "progress.h"

// Ids handed to new objects: above the ids the image's own tools reserve, and
// never past the 16 bits by which objects are keyed.
constexpr uint16_t LastReservedObjectId = FirstOrdinaryObjectId - 1;
constexpr uint16_t LastNewObjectId = 0xFFFF;
// Seconds the clock stamp is taken back: it is read on a clock eight hours
// ahead of UTC, and the properties dialog adds them back.
constexpr int64_t TimeStampOffset = 28800;

// Creates ProgramDir() + WorkFileName afresh as one dummy page of zero bytes,
// kept open for reading and writing with exclusive sharing and mapped whole.
// Sets WorkFileHandle, WorkFileMapping, WorkView and WorkFileSize and returns
// the view; nullptr (and nothing open) when the file cannot be made or mapped.
// The caller appends the WorkFile's RunList entry.
uint8_t* CreateWorkFile();

// The id the next new object gets: one above the larger of MaxObjectId and
// LastReservedObjectId; 0 when LastNewObjectId is already taken.
uint16_t NextObjectId();

// Pages one object of size bytes takes: its header page and one page per
// chunk (a folder or an empty file: the header alone).
uint32_t ObjectPageCount(uint32_t size);
// The WorkFile's size once an object of size bytes is added to oldSize bytes;
// false when it would not fit in 32 bits.
bool GrownWorkFileSize(uint32_t oldSize, uint32_t size, uint32_t& newSize);

// Grows the WorkFile by the pages of one object of size bytes and remaps it
// whole: allocates the next id into MaxObjectId, sets WorkView and
// WorkFileSize, rewrites the RunList's WorkFile entry to span pages 1 to the
// last, and returns the new view with firstNewPage at the first new page.
// Returns nullptr when no id is left or the file cannot grow; MaxObjectId,
// the RunList and the WorkFile's bytes are then as they were.
uint8_t* GrowWorkFile(uint32_t size, uint8_t*& firstNewPage);

// Sets the data area of a page (its first ChunkSize bytes) to 0xFF.
void FillDataArea(uint8_t* page);

// The stamp a new object's times carry: the local clock read as if it were
// UTC, less TimeStampOffset, rounded to the nearest second.
uint32_t TimeStampFromLocal(const SYSTEMTIME& local);
uint32_t CurrentTimeStamp();

// The first at most maxBytes bytes of a UTF-8 text, ending on a character
// boundary.
std::string CutUtf8(const std::string& utf8, size_t maxBytes);

// ---- addfilefunThread -----------------------------------------------------------
// The worker that adds host files, host folders and new folders to the folder
// shown. AddObject writes one object into the WorkFile; the progress dialog
// and the tree hear of it through the synchronised calls. Position counts
// pages, CurrentItem ends as the new name, FailedObjects counts the objects
// AddObject skipped.
class addfilefunThread : public progressThread {
public:
  addfilefunThread() = default;
  addfilefunThread(const std::vector<std::string>& paths, const std::string& mask, uint16_t targetFolderId,
                   bool newFolder);

  // Writes one object (type ObjectTypeFile from hostPath, or ObjectTypeDirectory
  // with hostPath empty) named name (system code page) under parent, fills
  // NewRecord and attaches it through AttachAddedNode. Returns the new id, or 0
  // when the object is skipped: a host file that cannot be opened or read
  // whole (or holds 4 GiB or more), no id left, or a WorkFile that cannot
  // grow. A skipped object gets no pages and no node, makes no synchronised
  // call, leaves Position alone and counts in FailedObjects.
  uint16_t AddObject(const std::string& hostPath, const std::string& name, uint32_t type, uint16_t parent);

  std::vector<std::string> Paths;
  std::string Mask;
  uint16_t TargetFolderId = 0;       // folder added into; AddObject sets it to the new object's parent
  bool NewFolder = false;
  ObjectRecord NewRecord;            // record of the object just written
  int PromptState = 6;

protected:
  void Execute() override {}
  // Run on the interface thread through Synchronize.
  virtual void AttachAddedNode() {}
};
