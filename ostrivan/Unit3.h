#pragma once
// Extraction: the worker that copies objects of the opened image and of the
// WorkFile into a host folder (the walk is chunkwalk.h, its indexes come
// from the open image), and the rules that turn object names into safe host
// names.

#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cl_hostfile.h"
#include "cl_sync.h"
#include "cl_thread.h"
#include "cl_treeview.h"
#include "chunkwalk.h"
#include "openimage.h"
#include "progress.h"

// ---- Host names ----------------------------------------------------------------
// An object name (system code page) as a host file name: \ / : * ? " < > | and
// control characters become "_"; "", "." and ".." become "_"; trailing dots
// and blanks become "_"; a device name (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, with any extension) gets a leading "_". Double-byte characters
// are kept whole.
std::string SafeHostName(const std::string& name);
// folder + "\" + relative, without doubling a "\" that ends folder (a drive root).
std::string JoinHostPath(const std::string& folder, const std::string& relative);

// The key by which the host file system tells two names or paths apart: the
// text in UTF-16 with every letter upper-cased by the system's rule (not
// ASCII letters only), "/" read as "\".
std::wstring HostFoldKey(const std::string& path);

// The host paths one extraction has written, folded: the host takes two names
// of one key for one file, so a later entry there would replace, or be
// written into, what the run itself made. A file already on the host before
// the run is no claim and is replaced as before.
class WrittenHostNames {
public:
  enum class Kind { File, Folder };
  // Claims the path for an entry of kind. False, and nothing claimed, when
  // the run already has an entry there: any entry for a file, a file for a
  // folder. A folder meeting a folder is the same folder (true).
  bool Claim(const std::string& path, Kind kind);
  void Clear() { names_.clear(); }

private:
  std::unordered_map<std::wstring, Kind> names_;
};

// ---- Host files ----------------------------------------------------------------
// A file up to this size is assembled whole and written with one call;
// larger ones a piece of this size at a time, so that a large file also fits
// the address space of a 32-bit process.
constexpr uint32_t WholeFileBytes = 8u << 20;
static_assert(WholeFileBytes % ChunkSize == 0, "pieces hold whole chunks");
// The whole content of a regular file into out; false, and out untouched,
// for a file too large to be held at once (ExtractFileData writes it in pieces).
bool AssembleFileData(const ObjectRecord& r, const WalkSources& sources, std::vector<uint8_t>& out);

// Writes one regular file of the record at hostPath: the latest copy of each
// chunk, zeros where a chunk is missing. False when the host file cannot be
// created or written (no half-made file is left then).
bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath, const WalkSources& sources);
bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath);

// Regular files handed over by the extraction worker, assembled and written
// by threads of their own: creating and filling a host file costs more than
// finding its bytes. Files of one name are written by one thread in the order
// they were handed over, and WaitForPath lets a folder wait for a file at its
// place. Every file handed over is written (or removed whole when that fails)
// before Finish or the destructor returns.
class HostFileWriters {
public:
  // sources stay valid until the destructor has run.
  HostFileWriters(const WalkSources& sources, unsigned threads, size_t maxQueuedBytes = 64u << 20);
  ~HostFileWriters();
  HostFileWriters(const HostFileWriters&) = delete;
  HostFileWriters& operator=(const HostFileWriters&) = delete;

  // Hands over the regular file of r (AssembleFileData must hold it whole)
  // to be written at path; waits while more than maxQueuedBytes are queued.
  void Write(const std::string& path, const ObjectRecord& r);
  // Waits until no file handed over lies at path or at a folder above it.
  void WaitForPath(const std::string& path);
  // Waits for every file handed over; the files that failed since the last call.
  int Finish();

private:
  struct Job {
    std::string Path;
    std::wstring Key;  // HostFoldKey of Path
    ObjectRecord Record;
  };
  struct Queue {
    std::deque<Job> Jobs;
    cl::Condition Ready;  // a job came, or stopping
  };
  void Run(size_t index);

  const WalkSources sources_;
  // Handed over thousands of times a second: see cl_sync.h.
  cl::Lock lock_;
  cl::Condition done_;  // a file was written
  std::vector<Queue> queues_;
  std::unordered_map<std::wstring, int> pending_;  // files handed over and not yet written, by key
  size_t queued_ = 0;
  size_t maxQueued_;
  int failures_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;  // last: started once the rest is in place
};

// ---- outfileThread ---------------------------------------------------------------
// The worker of one extraction: the subtrees of the ids, in order, into the
// destination, with the progress dialog up for the whole run; Total and
// Position count tree nodes, CurrentItem is the relative path at hand.
class outfileThread : public progressThread {
public:
  // The creator starts the thread (TForm1::StartWorker).
  outfileThread(const std::string& destination, const std::vector<std::string>& ids);

  std::string Destination;
  std::vector<std::string> Ids;

protected:
  void Execute() override;
  std::string FailedObjectsText() const override;
  // Run on the interface thread through Synchronize.
  virtual void ShowExtractProgress();

private:
  friend void ExtractSubtree(outfileThread& thread, const cl::TTreeView& tree, cl::TTreeNode* node,
                             const std::string& destination);
  void Work();
  WrittenHostNames written_;
  WalkSources sources_;
  HostFileWriters* writers_ = nullptr;  // while Work runs
};

// Extracts one entry's subtree (the node and all below it, in preorder):
// folders, and nodes with children, become host folders, regular files host
// files; nothing else is written. An entry whose host name this run has
// already written (see WrittenHostNames) is not written and counts as
// failed, and so does everything below a folder that could not be made.
// Stops after the node at hand once the progress dialog's cancel request is set.
void ExtractSubtree(outfileThread& thread, const cl::TTreeView& tree, cl::TTreeNode* node,
                    const std::string& destination);
