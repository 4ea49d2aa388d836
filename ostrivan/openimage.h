#pragma once
// The open image on the Windows side: the file and mapping handles behind
// the views of model.h, opening and releasing them, the image's chunk index,
// the NodeTable's block of memory, and the record each tree node carries.

#include <windows.h>

#include <string>

#include "cl_strings.h"
#include "cl_sysutil.h"
#include "cl_treeview.h"
#include "chunkwalk.h"
#include "model.h"

// The shared helpers under the short names the units call them by.
using cl::AnsiFromUtf8;
using cl::LongPathName;
using cl::OverrideProgramDir;
using cl::ProgramDir;
using cl::TempDir;
using cl::Utf8FromAnsi;
using cl::Utf8FromWide;
using cl::WideFromUtf8;

// Handles are nullptr when nothing is open.
extern HANDLE ImageHandle;           // the image, opened for reading with exclusive sharing
extern HANDLE ImageMapping;          // read-only mapping of the whole image
extern HANDLE WorkFileHandle;        // the WorkFile, read/write, exclusive
extern HANDLE WorkFileMapping;

// The tree's nodes as the NodeTable holds them: a node's handle is its
// address, so the mapping costs nothing either way.
inline NodeRef RefOf(const cl::TTreeNode* node) { return NodeRef(reinterpret_cast<uintptr_t>(node)); }
inline cl::TTreeNode* TreeNodeOf(NodeRef ref) { return reinterpret_cast<cl::TTreeNode*>(static_cast<uintptr_t>(ref)); }
// The NodeTable's node routines (model.h) over tree nodes.
inline cl::TTreeNode* NodeOf(const NodeEntry* table, uint32_t id) { return TreeNodeOf(NodeRefOf(table, id)); }
inline void SetNode(NodeEntry* table, uint32_t id, cl::TTreeNode* node) { SetNode(table, id, RefOf(node)); }
inline void SetRootNode(NodeEntry* table, cl::TTreeNode* root) { SetRootNode(table, RefOf(root)); }
inline void ClearNodeReference(NodeEntry* table, uint32_t id, const cl::TTreeNode* node) {
  ClearNodeReference(table, id, RefOf(node));
}

// The record a tree node carries (nullptr for a node without one: the
// parking node, or a root that no header described).
inline ObjectRecord* RecordOf(const cl::TTreeNode* node) {
  return node ? static_cast<ObjectRecord*>(node->Data) : nullptr;
}

// Removes node with its whole subtree from the tree, after every node in it
// has stopped being its id's node in the NodeTable.
void DeleteObjectSubtree(cl::TTreeNode* node);

// Frees the current NodeTable, then allocates a fresh one, a block of global
// memory (never fewer entries than one per 16-bit id) with every entry
// {0, NoPage, NoNode}; stores it in NodeTable and returns it (nullptr when
// the memory is not available).
NodeEntry* AllocNodeTable(uint32_t entries = kNodeTableEntries);
// Frees the current NodeTable; NodeTable becomes nullptr.
void FreeNodeTable();

// What the main window shows of an opened file: status panel 1, status panel 3
// and the status bar's hint. A text stays empty when the open failed before
// the step that knows it.
struct ImageStatusTexts {
  std::string fileName;
  std::string sizeText;
  std::string hint;
};

// Releases the WorkFile (and deletes it), picks the next WorkFileName, releases
// the previous image, then opens path for reading with exclusive sharing and
// maps all of it read-only. Returns the view, also stored in ImageView;
// nullptr for an empty file, a file that cannot be opened, or a failed mapping,
// in which case nothing stays open. Touches no window.
const uint8_t* OpenImageFile(const std::string& path, ImageStatusTexts& status);
// Unmaps and closes the image and drops its chunk index; ImageView nullptr,
// ImageSize 0. Called on the interface thread when no worker runs.
void ReleaseImage();
// The chunk index of the open image over the scan's runs: built the first
// time a worker asks for it, then kept until ReleaseImage. Workers of one
// image share it; the reference stays valid until the image is released.
const ChunkIndex& ImageChunkIndex();
// How many times an image's index has been built (for tests of its reuse).
uint32_t ImageChunkIndexBuilds();
// The WorkFile's index, built from its pages as they are now: adding grows
// the WorkFile between two workers, so it is never kept.
ChunkIndex BuildWorkChunkIndex();
// Unmaps and closes the WorkFile (the file stays); WorkView nullptr, WorkFileSize 0.
void ReleaseWorkFile();
// First free "tmpfile" N ".dat" for N = 0..1000 in folder, or "tmpfile" when all exist.
std::string PickWorkFileName(const std::string& folder);
// The file-name part of a path (after the last "\", "/" or ":"), reading the
// system code page's double-byte characters whole.
std::string FileNamePart(const std::string& path);
