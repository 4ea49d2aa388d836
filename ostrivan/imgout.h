// The rebuild: writes the tree held in memory as a new, compacted image.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Unit3.h"
#include "openimage.h"
#include "progress.h"

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
// One mapping holds at most this many bytes of output.
constexpr uint64_t MaxOutputBytes = 0x7FFF0000u;

// The worker of one rebuild; Total and Position count tree nodes,
// CurrentItem is the stage or the node at hand.
class imgoutThread : public progressThread {
public:
  explicit imgoutThread(const std::string& fileName);

  std::string FileName;
  bool Written = false;  // the output was created and every node written

protected:
  void Execute() override;
  virtual void ShowRebuildProgress();

private:
  friend bool RebuildImage(imgoutThread& thread, const std::string& fileName);
  void Say(const std::string& text);
};

// The whole rebuild into fileName; true when every node was written.
bool RebuildImage(imgoutThread& thread, const std::string& fileName);
// Writes a regular file's header page and its data pages at out (the header
// page of the output); chunks the walk does not reach stay zero.
void WriteFileObject(ByteView sourceHeader, const ObjectRecord& r, uint8_t* out, const WalkSources& sources,
                     const StampSettings& settings);
