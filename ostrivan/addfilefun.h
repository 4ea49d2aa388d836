#pragma once
// Objects added to the opened image live in the WorkFile: a page file in the
// program's folder, in the image's own page format, that only grows while the
// image stays open. Page 0 is a zero dummy page; every added object follows
// as its header page and, for a file, one data page per chunk, all with
// sequence number BaseSequenceNumber and the tags at InputTagsOffset.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cl_treeview.h"
#include "openimage.h"
#include "progress.h"

// Ids handed to new objects: above the ids the image's own tools reserve, and
// never past the 16 bits by which objects are keyed.
constexpr uint16_t LastReservedObjectId = FirstOrdinaryObjectId - 1;
constexpr uint16_t LastNewObjectId = 0xFFFF;
// Seconds the clock stamp is taken back: it is read on a clock eight hours
// ahead of UTC, and the properties dialog adds them back.
constexpr int64_t TimeStampOffset = 28800;

// What adding, a new folder and the rebuild say when the scan could not make
// the WorkFile (the program's folder is read-only, or the disk is full).
constexpr char WorkFileFailedText[] = "无法创建工作文件！,可能程序目录只读或磁盘已满。";

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
// withReserve maps some more zero pages beyond the new size when the mapping
// must grow, so that the next objects of a long run fit without remapping;
// WorkFileSize stays the size of the pages in use, and FitWorkFile cuts the
// file back to it.
uint8_t* GrowWorkFile(uint32_t size, uint8_t*& firstNewPage, bool withReserve = false);
// Cuts a reserve that GrowWorkFile mapped off the file and maps it exactly.
void FitWorkFile();

// Sets the data area of a page (its first ChunkSize bytes) to 0xFF.
void FillDataArea(uint8_t* page);

// The stamp a new object's times carry: the local clock read as if it were
// UTC, less TimeStampOffset, rounded to the nearest second.
uint32_t TimeStampFromLocal(const SYSTEMTIME& local);
uint32_t CurrentTimeStamp();

// ---- Host files and folders ------------------------------------------------------
// The add worker's texts.
constexpr char CountingText[] = "正在统计数据空间";
constexpr char AddFailedText[] = "添加时出错，添加未完成！";

// One entry of a host folder, listed with the wide functions.
struct HostEntry {
  std::wstring WideName;
  std::string Name;          // in the system code page; empty when the code page cannot hold the name
  bool Folder = false;
  bool Link = false;         // a symbolic link, a junction or another reparse point: never followed
  uint64_t Size = 0;
};

// The name in the system code page when the code page holds it exactly: the
// wide name converted there and back gives itself again (no substitution and
// no best-fit look-alike, which could name another file). False otherwise.
bool AnsiNameOf(const std::wstring& wide, std::string& ansi);
// A symbolic link, a junction or another reparse point that stands for some
// other file; one whose tag is not told (as Wine lists a Unix link) counts
// as one. Reparse points that keep their own data (deduplicated or cloud
// files) read as plain files.
bool NamesAnotherFile(const WIN32_FIND_DATAW& entry);
// Lists folder + "\" + mask with every attribute admitted, "." and ".." left
// out, in the order the file system gives. False when the folder cannot be listed.
bool ListHostFolder(const std::wstring& folder, const std::wstring& mask, std::vector<HostEntry>& entries);
// folder + "\" + name, without doubling the "\" that ends a drive root.
std::wstring JoinWidePath(const std::wstring& folder, const std::wstring& name);
// The last component of a host path (after its last "\" or "/"), reading
// double-byte characters whole; trailing separators are left out first.
std::string HostPathName(const std::string& path);
// The name an added host folder gets: its last component, or for a drive
// root ("C:\", "C:") the drive letter.
std::string HostFolderName(const std::string& path);
// Progress units of a host file of size bytes: its header page and one page
// per chunk, in 64 bits.
int64_t HostFileUnits(uint64_t size);
// Whether a move of the bar from one position to another is worth showing:
// under the same rule as the workers' single steps (about 200 shown steps in
// all), also when the move jumps several steps.
bool ProgressMoveDue(long long from, long long to, long long total);

// ---- addfilefunThread -----------------------------------------------------------
// The worker that adds host files, host folders and new folders to the folder
// shown. AddObject writes one object into the WorkFile; the progress dialog
// and the tree hear of it through the synchronised calls. Position counts
// pages, CurrentItem ends as the new name, FailedObjects counts the objects
// that were not added.
class addfilefunThread : public progressThread {
public:
  addfilefunThread() = default;
  // Paths is one folder's path in the folder-tree mode (mask "*.*"), the
  // files' paths in the file-list mode (mask empty), or the new folder's name
  // with newFolder set. The creator starts the thread (TForm1::StartWorker).
  addfilefunThread(const std::vector<std::string>& paths, const std::string& mask, uint16_t targetFolderId,
                   bool newFolder);

  // Writes one object (type ObjectTypeFile from hostPath, or ObjectTypeDirectory
  // with hostPath empty) named name (system code page) under parent, fills
  // NewRecord and attaches it through AttachAddedNode. Returns the new id, or 0
  // when the object is skipped: a host file that cannot be opened or read
  // whole (or holds 4 GiB or more), no id left, or a WorkFile that cannot
  // grow. A skipped object gets no pages and no node, makes no synchronised
  // call, leaves Position alone and counts in FailedObjects. The host file is
  // read through a window of 32 MiB at a time; when a later window cannot be
  // mapped the object's pages stay unused, it gets no node and counts too.
  uint16_t AddObject(const std::string& hostPath, const std::string& name, uint32_t type, uint16_t parent);

  // Adds to Total the units of the host folder and everything below it that
  // is followed, and keeps the listings for AddFolderContents.
  void CountFolderUnits(const std::string& folder, const std::string& mask);
  // Adds the contents of a host folder, depth first in listing order, below
  // the folder object parent.
  void AddFolderContents(const std::string& folder, const std::string& mask, uint16_t parent);

  std::vector<std::string> Paths;
  std::string Mask;
  uint16_t TargetFolderId = 0;       // folder added into; AddObject sets it to the new object's parent
  bool NewFolder = false;
  ObjectRecord NewRecord;            // record of the object just written
  int PromptState = 6;               // the overwrite prompt's last answer in this run

protected:
  void Execute() override;
  std::string FailedObjectsText() const override;
  // The dialog closes through FinishAdd on every way out.
  void CloseProgressDialog() override { FinishAdd(); }
  // Lists a host folder (ListHostFolder); tests stand in for a folder that
  // cannot be read.
  virtual bool ListFolder(const std::wstring& folder, const std::wstring& mask, std::vector<HostEntry>& entries);

  // Run on the interface thread through Synchronize.
  virtual void ShowAddProgress();
  virtual void AskOverwrite();
  // Attaches NewRecord as the last child of TargetFolderId's node; a file
  // that replaces an entry takes its place only now, once written.
  virtual void AttachAddedNode();
  virtual void FinishAdd();

private:
  // A node that joins the tree with the next batch: a folder tree's nodes go
  // in batches rather than one synchronised call each.
  struct PendingNode {
    ObjectRecord Record;
    uint16_t Parent;
    std::string Name;
  };
  static constexpr size_t kAttachBatch = 256;
  // Runs AttachAddedNode for each pending node, in order (interface thread).
  void AttachPending();
  std::vector<PendingNode> pending_;
  bool deferAttach_ = false;
  bool reserveWorkFile_ = false;

  struct Listing {
    bool Listed = false;
    std::vector<HostEntry> Entries;
    std::vector<bool> Left;  // by entry: not added (LeftOutEntries)
    int64_t Units = 1;   // what adding the folder and its contents moves the bar by
    int64_t Objects = 1; // the folder and every entry below it
  };
  void Work();
  void AddFileList();
  void AddFolderTree();
  // Counts folder (listing it) and returns its listing.
  Listing& CountFolder(const std::string& folder, const std::wstring& mask);
  // A skipped object moves the bar as if it had been added.
  void Advance(int64_t units);
  // The steps of AddObject after its pages are placed: the record of the
  // header written at page, which also names the node's parent and text;
  // then the node, at once or with the next batch.
  void TakeNewRecord(const ObjectHeader& header, uint16_t id, const uint8_t* page, uint16_t parent,
                     const std::string& name);
  void AttachNewNode();
  // AddObject and the node both made: the new id, else 0 (counted).
  uint16_t AddAndAttach(const std::string& hostPath, const std::string& name, uint32_t type, uint16_t parent);

  std::map<std::string, Listing> listings_;
  cl::TTreeNode* replacing_ = nullptr;  // the entry a file being added replaces
  bool attached_ = false;
};
