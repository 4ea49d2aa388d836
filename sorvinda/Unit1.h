// The main window of the download manager and the module-level state that
// its workers share with it.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "cl_app.h"
#include "cl_combobox.h"
#include "cl_dialogs.h"
#include "cl_linklabel.h"
#include "cl_stdctrls.h"
#include "cl_thread.h"
#include "cl_timer.h"

// ---- Download state (nothing of it is saved) ------------------------------------------
extern std::string SrcPath;    // source folder with a trailing "\"
extern std::string GitBin;     // git folder that passed CheckGitDir, then "bin"
extern std::string Branch;     // platform branch
extern std::string StartTime;  // time label of the latest generated script
extern int TotalSteps;         // download steps
extern HWND InitConsoleWnd, DownloadConsoleWnd, SwitchConsoleWnd;

// Starts a hidden command (WinExec); tests put a recorder here.
extern std::function<UINT(const std::string& commandLine, UINT show)> RunCommand;

// Every message of the download manager: "提示", the information icon, owned
// by the application window; any thread may show one.
int ShowNotice(const std::string& text, UINT buttons = MB_OK);

// True when the git folder in LabeledEdit2 holds "bin\git.exe"; then saves
// the folder to "gitpath.dat" and sets GitBin.
bool CheckGitDir();
// "切换" follows the size of the kernel's FETCH_HEAD. Any thread.
void UpdateSwitchButton();
// The end of an initialisation: refills both lists, reports the result and
// sets the two exclusive buttons. User-interface thread.
void UpdateBranchLists();

// Workers are started running and never freed; the program's end ends them.
void StartWorker(cl::TThread* worker);
bool WorkerRunning();

class TForm1 : public cl::TForm {
public:
  TForm1();

  cl::TPanel Panel1{this};
  cl::TButton Button3{&Panel1, "初始化"};
  cl::TButton Button1{&Panel1, "开始更新下载"};
  cl::TLabel Label1{&Panel1, "版本号："};
  cl::TComboBox ComboBox1{&Panel1};
  cl::TLabel Label3{&Panel1, "内核版本号："};
  cl::TComboBox ComboBox2{&Panel1};
  cl::TButton Button5{&Panel1, "切换"};
  cl::TLabeledEdit LabeledEdit2{&Panel1};
  cl::TButton Button4{&Panel1, "浏览"};
  cl::TLabeledEdit LabeledEdit1{&Panel1};
  cl::TButton Button2{&Panel1, "浏览"};
  cl::TLinkLabel Label2{&Panel1, "关于帮助"};
  cl::TLinkLabel Label4{&Panel1, "android system.img修改工具"};
  cl::TMemo Memo1{this};
  cl::TTimer Timer1;
  cl::TSaveDialog SaveDialog1;
  cl::TFont PanelFont{"宋体", -13};

  void FormCreate();
  void FormShow();
  void FormClose(cl::TCloseAction& action);
  void Button2Click();
  void Button4Click();
  void Timer1Timer();
  void Label2Click();
  void Label4Click();
  void ComboBox1Change();
  // Steps shared by FormShow and UpdateBranchLists: both lists cleared and
  // refilled from the working folder; withHead also restores the platform
  // branch and, when the manifest's files are missing, checks them out.
  // Returns how many of the two lists hold entries.
  int FillBranchLists(bool withHead);
  // Exactly one of "初始化" and "开始更新下载" is enabled.
  void SetInitOrDownload(int listCount);

private:
  // A new source folder starts the log view afresh.
  void SetSourcePath(const std::string& path);
};

extern TForm1* Form1;

// Creates the forms in the program's order (the main window first).
void CreateProgramForms();
