// The main window of the image browser and the module-level state that the
// other units share with it.
#pragma once
#include <windows.h>

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
#include "model.h"

// Rectangle of status panel 5, saved each time the panel is drawn.
extern RECT ProgressRect;
// Id (low 16 bits) of the folder shown in the list; kept in ListView1.Tag.
int CurrentFolderId();

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
  void newdirokClick();
  void addfileokClick();
  void adddirokClick();
  void filedelClick();
  void N6Click();
  void N7Click();
  void UID1Click();
  void GID1Click();
  void N3Click(void* sender);
  void TreeView1Change(cl::TTreeNode* node);
  int TreeView1Compare(cl::TTreeNode* a, cl::TTreeNode* b, intptr_t data);
  void ListView1DblClick();
  void ListView1Resize();
  int ListView1Compare(cl::TListItem* a, cl::TListItem* b, intptr_t data);

  // Workers started by the commands; closing waits for the running ones.
  void StartWorker(cl::TThread* worker);
  bool WorkerRunning() const;

private:
  void BuildImages();
  std::vector<cl::TThread*> workers_;
};

extern TForm1* Form1;

// Creates the forms in the program's order (the main window first).
void CreateProgramForms();
