// The rebuild: writes the tree held in memory as a new, compacted image.
#pragma once
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "openimage.h"
#include "rebuildpages.h"
#include "progress.h"

// The output file written front to back: the pages asked for are gathered
// in a buffer of batchPages pages and written with one WriteFile per batch,
// by a thread of its own while the next batch is gathered in a second
// buffer; a page never asked for stays as the file has it (zero in a file
// sized beforehand). A failed write throws, at the next batch or at Flush.
class OutputWriter {
public:
  OutputWriter(HANDLE file, uint32_t batchPages);
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;
  // The bytes of output page page, zero until written; page is never below
  // a page asked for before it.
  uint8_t* Page(uint64_t page);
  // Writes the pages gathered so far and waits until they are written.
  void Flush();

private:
  void Hand();
  void Run();

  HANDLE file_;
  uint32_t batch_;
  std::vector<uint8_t> buffers_[2];
  int current_ = 0;     // the buffer being gathered
  uint64_t first_ = 0;  // output page of its first page
  uint64_t used_ = 0;   // its pages up to the last one asked for
  std::mutex lock_;
  std::condition_variable ready_;  // a batch was handed over, or stopping
  std::condition_variable idle_;   // the writer is done with its batch
  bool busy_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  int handed_ = 0;
  uint64_t handedOffset_ = 0;
  DWORD handedLength_ = 0;
  std::thread writer_;  // last: started once the rest is in place
};
// Pages per WriteFile of the rebuild.
constexpr uint32_t OutputBatchPages = 512;

// The worker of one rebuild; Total and Position count tree nodes,
// CurrentItem is the stage or the node at hand.
class imgoutThread : public progressThread {
public:
  // modifiedBefore: the modified flag as it stood before the save command
  // cleared it.
  explicit imgoutThread(const std::string& fileName, uint8_t modifiedBefore = 0);

  std::string FileName;
  // A rebuild that does not write every node puts the flag back to it: edits
  // not yet in a file still ask on closing, and a save without edits never does.
  uint8_t ModifiedBefore;
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
// Writes a regular file's header page at output page headerPage and its data
// pages after it; chunks the walk does not reach stay zero.
void WriteFileObject(ByteView sourceHeader, const ObjectRecord& r, OutputWriter& output, uint64_t headerPage,
                     const WalkSources& sources, const StampSettings& settings);
