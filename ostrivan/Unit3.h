#pragma once
// Extraction: the worker that copies objects of the opened image and of the
// WorkFile into a host folder, the open image's chunk index (the walk itself
// is chunkwalk.h), and the rules that turn object names into safe host names.

#include <cstdint>
#include <string>
#include <vector>

#include "cl_thread.h"
#include "cl_treeview.h"
#include "chunkwalk.h"
#include "openimage.h"
#include "progress.h"

// The index of the open image, kept from one call to the next while the
// image (its view, size and file), the tags offset and the image's runs stay
// the same; rebuilt otherwise.
const ChunkIndex& ImageChunkIndex();
// Forgets the image's index; the next use rebuilds it.
void InvalidateChunkIndex();
// How many times the image's index has been built (for tests of its reuse).
uint32_t ImageChunkIndexBuilds();
// The WorkFile's index, built from its pages as they are now.
ChunkIndex BuildWorkChunkIndex();

// ---- Host names ----------------------------------------------------------------
// An object name (system code page) as a host file name: \ / : * ? " < > | and
// control characters become "_"; "", "." and ".." become "_"; trailing dots
// and blanks become "_"; a device name (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, with any extension) gets a leading "_". Double-byte characters
// are kept whole.
std::string SafeHostName(const std::string& name);
// folder + "\" + relative, without doubling a "\" that ends folder (a drive root).
std::string JoinHostPath(const std::string& folder, const std::string& relative);
// Creates a folder and every missing folder above it; true when it exists as a
// folder afterwards.
bool ForceDirectories(const std::string& path);

// Writes one regular file of the record at hostPath through a read/write
// mapping of its final length: the latest copy of each chunk, zeros where a
// chunk is missing. False when the host file cannot be created, sized, mapped
// or written (no half-made file is left then).
bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath, const WalkSources& sources);
bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath);

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
  WalkSources sources_;
};

// Extracts one entry's subtree (the node and all below it, in preorder):
// folders, and nodes with children, become host folders, regular files host
// files; nothing else is written. Stops after the node at hand once the
// progress dialog's cancel request is set.
void ExtractSubtree(outfileThread& thread, const cl::TTreeView& tree, cl::TTreeNode* node,
                    const std::string& destination);
