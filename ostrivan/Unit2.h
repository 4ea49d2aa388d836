// The reader: scans an opened image into the object tree. The worker groups
// the pages into runs, walks them from the first run of BaseSequenceNumber
// upward and hands every accepted header to the interface thread, which
// creates, updates, moves or removes the object's node.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "cl_thread.h"
#include "openimage.h"

namespace cl {
class TTreeNode;
}

// Width and gap of one progress block of status panel 5, in pixels.
constexpr int ProgressBlockWidth = 15;
constexpr int ProgressBlockStep = 17;
// Blocks shown for done of total over a panel width pixels wide: the ceiling
// of done / total * width / ProgressBlockStep; 0 when there is nothing to show.
int ProgressBlocks(int32_t done, int32_t total, int width);

// The erase-marker note the scan appends to the status bar's hint.
std::string EraseMarkerNote(uint32_t tagsOffset);

class readfileThread : public cl::TThread {
public:
  int32_t ProgressDone = 0;   // pages handled in the current pass
  int32_t ProgressTotal = 0;  // page count of the image
  ObjectRecord Record;        // the header at hand, as AddOrUpdateNode takes it
  bool Failed = false;        // the scan stopped short on an unexpected failure
  bool NoWorkFile = false;    // the WorkFile could not be made; the tree is read all the same

  // Called with the page of each accepted header before it is handed over;
  // tests make a scan fail with it.
  static inline std::function<void(PageRef)> AcceptHook;

  // Both passes, then ScanFinished, whatever happened on the way.
  void ScanImage();

  // Run on the interface thread through Synchronize.
  void AddOrUpdateNode();
  void ScanFinished();
  void PaintProgress();
  void ClearProgress();

protected:
  void Execute() override { ScanImage(); }

private:
  void ScanPages();
  void BuildRuns(uint32_t pages);
  void WalkRuns(uint32_t pages);
  void Accept(ByteView page, PageRef src);
  void FlushNodes();
  void SetStateText(const char* text);
  void ReportWorkerFailure(const char* text);
  void StepProgress();
  void EnsureProbe(const std::string& key);

  // Per page of the image, from pass 1 (PageSummary).
  std::vector<uint32_t> summary_;
  // Accepted headers not yet handed over: the interface thread takes them in
  // order, one synchronised call for a batch.
  std::vector<ObjectRecord> pending_;
  // Probe keys made or found during this scan.
  std::unordered_set<std::string> probes_;
  int paintedBlocks_ = 0;
  int progressWidth_ = 0;  // taken from ProgressRect on the interface thread
};

// The parking node of the running scan (null outside a scan).
extern cl::TTreeNode* ParkingNode;
