// The main window of the image browser and the module-level state that the
// other units share with it.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "cl_app.h"
#include "cl_bars.h"
#include "cl_dialogs.h"
#include "cl_listview.h"
#include "cl_menus.h"
#include "cl_stdctrls.h"
#include "cl_thread.h"
#include "cl_treeview.h"
#include "openimage.h"

// Rectangle of status panel 5, saved each time the panel is drawn.
extern RECT ProgressRect;
// Id (low 16 bits) of the folder shown in the list; kept in ListView1.Tag.
int CurrentFolderId();

// ---- Folder view and icons -------------------------------------------------------
// True from the open command until the end of the scan; commands that move
// through the tree wait for it.
extern bool ScanRunning;

// Lists the children of a folder node in list (every caller passes
// Form1->ListView1), sets CurrentFolderId and the path bar Edit2. Does nothing
// for no node or a node that is not a folder (ImageIndex 1).
void ShowFolder(cl::TTreeNode* node, cl::TListView& list);
// Sorts every level of Form1's tree: folders first, then the names in lstrcmpA
// order, equal names keeping their order.
void SortFolderTree();
// Index in the system image list of the icon of the file or folder at path.
int32_t GetSystemIconIndex(const std::string& path);
// Kind 0: ensures the folder probe "dir"; any other kind ensures the file probe
// named key (never for a key that IconProbeKeyUsable refuses).
void MakeIconProbe(int16_t kind, const std::string& key);
// The name of an entry's icon probe: "dir" for a folder; else the extension of
// the ANSI name written twice with "." between ("a.txt" gives "txt.txt"), or
// "null" when the name has none or the key could not be a probe's file name.
std::string IconKey(const std::string& ansiName, bool folder = false);
// True when key can name a probe file: no device name, no character a file
// name cannot hold, no trailing dot or blank, at most 255 characters.
bool IconProbeKeyUsable(const std::string& key);
// Full path of a probe (TempDir() + "yaffs\" + key).
std::string IconProbePath(const std::string& key);
// The probe an entry of that key shows the icon of, made now when it is
// missing; the "null" probe when the key's own cannot be made.
std::string IconProbeFor(const std::string& key);

// ---- Edits of the tree -------------------------------------------------------------
// Attaches a node for a new object as the last child of the node of parentId,
// with a copy of record and the text, image 0 for a folder and 1 otherwise,
// and makes it the node of the record's id. Returns nullptr and attaches
// nothing when parentId has no node.
cl::TTreeNode* AttachObjectNode(const ObjectRecord& record, uint16_t parentId, const std::string& text);
// The first child of folder (the top level when folder is null), other than
// except, whose name counts as the same as name: the same text (SameEntryName),
// or the same name once stored (NameFieldText) and trimmed of blanks; or nullptr.
cl::TTreeNode* ChildNamed(const cl::TTreeNode* folder, const std::string& name, const cl::TTreeNode* except = nullptr);

// The object id (low 16 bits) of a list item's entry, read from its id
// text; false when the item has none.
bool EntryId(const cl::TListItem* item, uint16_t& id);

class TForm1 : public cl::TForm {
public:
  TForm1();
  ~TForm1() override;

  cl::TPanel Panel1{this};
  cl::TEdit Edit1{&Panel1};
  cl::TCoolBar CoolBar1{&Panel1};
  cl::TToolBar ToolBar3{&CoolBar1};
  cl::TToolBar ToolBar2{&CoolBar1};
  cl::TPanel Panel2{this};
  cl::TStatusBar StatusBar1{&Panel2};
  cl::TTreeView TreeView1{&Panel2};
  cl::TSplitter Splitter1{&Panel2};
  cl::TPanel Panel3{&Panel2};
  cl::TPanel Panel4{&Panel3};
  cl::TToolBar ToolBar1{&Panel4};
  cl::TPanel Panel5{&Panel4};
  cl::TPanel ToolBar4{&Panel5};
  cl::TLabel Label1{&ToolBar4, "路径："};
  cl::TEdit Edit2{&ToolBar4};
  cl::TButton Button1{&Panel3, "Button1"};
  cl::TListView ListView1{&Panel3};

  cl::TPopupMenu PopupMenu1;
  cl::TOpenDialog OpenDialog1, OpenDialog2;
  cl::TSaveDialog SaveDialog1;
  cl::TImageList ImageList2{32, 32};
  cl::TImageList ImageList3{16, 16};

  // The tool buttons and menu items, by their names.
  cl::TToolButton *ToolButton10, *ToolButton6, *ToolButton7, *ToolButton5, *ToolButton8;
  cl::TToolButton *ToolButton1, *ToolButton2, *ToolButton3;
  cl::TMenuItem *N1, *outfileok, *outfileallok, *newdirok, *addfileok, *adddirok, *filedel, *N5, *N6, *N7,
      *UID1, *GID1, *N3;

  void FormCreate();
  void FormClose(cl::TCloseAction& action);
  void FormDestroy();
  void StatusBar1DrawPanel(cl::TStatusBar* bar, int panel, const RECT& rect, cl::TCanvas& canvas);
  void ListView1Change(cl::TListItem* item, cl::TItemChange change);
  void ListView1Exit();
  void PopupMenu1Popup();
  void N5Click();
  void ToolButton8Click();
  void Button1Click();

  // Commands whose work lives in other units.
  void ToolButton10Click();
  void ToolButton6Click();
  void ToolButton7Click();
  void ToolButton5Click();
  void ToolButton1Click();
  void ToolButton2Click();
  void ToolButton3Click();
  void N1Click();
  void outfileokClick();
  void outfileallokClick();
  // Extracts the entries selected in the list into a folder the user picks.
  void ExtractSelection();
  // Starts the extraction worker of the ids (decimal, low 16 bits) into destination.
  void StartExtract(const std::string& destination, const std::vector<std::string>& ids);
  void newdirokClick();
  void addfileokClick();
  void adddirokClick();
  void filedelClick();
  void N6Click();
  void N7Click();
  void UID1Click();
  void GID1Click();
  void N3Click(void* sender);
  // Removes node with its subtree from the tree and clears the NodeTable
  // references of every object in it. The tree's selection change that the
  // removal may cause does not list another folder meanwhile. The add worker
  // may call it while the interface thread waits in the progress dialog.
  void RemoveObjectNode(cl::TTreeNode* node);
  void TreeView1Change(cl::TTreeNode* node);
  int TreeView1Compare(cl::TTreeNode* a, cl::TTreeNode* b, intptr_t data);
  void ListView1DblClick();
  void ListView1Resize();
  int ListView1Compare(cl::TListItem* a, cl::TListItem* b, intptr_t data);

  // Workers started by the commands, owned by the window: a finished one is
  // released when the next starts, the rest when the window goes; closing
  // waits for the running ones.
  void StartWorker(std::unique_ptr<cl::TThread> worker);
  bool WorkerRunning() const;

private:
  // The selected entries' items in list order, and their object ids.
  std::vector<cl::TListItem*> SelectedEntries() const;
  // The ids of the selected entries that have one, in list order.
  std::vector<uint32_t> SelectedIds() const;
  // The UID (gid false) or GID (gid true) command.
  void EditOwnerIds(bool gid);
  // While above 0, a change of the tree's selection lists no folder.
  volatile LONG holdFolderRefresh_ = 0;
  void BuildImages();
  std::vector<std::unique_ptr<cl::TThread>> workers_;
};

extern TForm1* Form1;

// Creates the forms in the program's order (the main window first).
void CreateProgramForms();
