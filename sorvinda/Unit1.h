// The main window of the download manager and the module-level state that
// its workers share with it.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
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
// The consoles found last: the workers write them from their own threads
// while the close handler reads and replaces them on the interface thread,
// so each is atomic. (Handing every write to the interface thread would
// make the workers' polling loops wait on it, also while it shows a
// message box or has stopped taking calls at the program's end.)
extern std::atomic<HWND> InitConsoleWnd, DownloadConsoleWnd, SwitchConsoleWnd;

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
// The same for the source folder an initialisation ran in.
void UpdateBranchLists(const std::string& srcPath);

// The main unit owns every worker it starts; a finished worker is released
// when the next one starts, or by ReleaseFinishedWorkers. Interface thread.
void StartWorker(std::unique_ptr<cl::TThread> worker);
bool WorkerRunning();
// Releases the workers that have finished and returns at once; one still
// running (waiting on a console, say) is left to end with the process.
void ReleaseFinishedWorkers();

// One script run at a time: from the click of "初始化", "开始更新下载" or
// "切换" until its worker ends. TryBeginRun refuses ("正在运行，请稍候！")
// while one is in progress; the worker calls EndRun as it ends.
bool TryBeginRun();
void EndRun();
bool RunInProgress();

// ---- Download script -------------------------------------------------------------
// One project of the platform manifest: its folder under the source folder
// (the name when the entry has no path) and its repository's name.
struct ManifestProject {
  std::string path, name;
};
struct Manifest {
  bool parsed = false;
  bool hasDefault = false;   // the root has a direct child named default
  std::string revision;      // that child's revision
  std::vector<ManifestProject> projects;  // direct children named project, in order
};
// Parses a manifest's text; COM must be initialised on the calling thread.
Manifest ParseManifest(const std::string& text);
Manifest ReadManifestFile(const std::string& path);
// The manifest is on branch when its revision is the branch or ends in "/"
// and the branch, without regard to case; an empty branch never is.
bool ManifestOnBranch(const std::string& revision, const std::string& branch);
// A project's folder or name may become a folder and a URL inside script
// lines: relative, no "..", only letters, digits and . _ - + /, every part
// between the slashes a name of its own (not empty, not ending in ".").
bool ProjectPathValid(const std::string& text);
// The longest folder of a project, the source folder included. The script
// names files down to the folder's "\.git\objects\pack\tmp*.*" (25 more
// characters), and cmd handles no path of MAX_PATH (260) characters or
// more: 234 + 25 = 259. Folders of up to 247 characters can be made.
constexpr size_t kMaxProjectFolder = 234;
// The text of the first project refused ("清单中的项目路径无效：" and the
// path, or the name when a given name is refused); empty when all pass.
// Refused besides invalid paths and names: no name, a folder too long under
// srcPath, the kernel's folder or "initdir" or a folder in them, a file the
// script writes in the source folder, a device name (NUL, CON, COM1...) as
// any part, and a folder that is, holds or lies in an earlier project's
// (case-free).
std::string InvalidProjectMessage(const std::vector<ManifestProject>& projects, const std::string& srcPath);

struct DownloadScript {
  std::vector<std::string> lines;
  int totalSteps = 0;  // lines of the progress file once every step has ended
};
// "initdir\getsrc.bat": the kernel step, then one step per project; a step
// whose key ("kernel", or the project's trimmed path) equals a whole line of
// done (case-free) is written without its fetch.
DownloadScript BuildDownloadScript(const std::vector<ManifestProject>& projects, const std::vector<std::string>& done,
                                   const std::string& srcPath, const std::string& gitBin, const std::string& branch,
                                   const std::string& kernelBranch, const std::string& host,
                                   const std::string& startTime);
// The hidden checkout of the platform branch in the manifest repository: the
// local branch when it exists, else a new one from origin; only after the
// change of folder succeeded, with gitBin first on the path.
std::string ManifestCheckoutCommand(const std::string& gitBin, const std::string& srcPath, const std::string& branch);
// Replaces the first line holding "HEAD branch" (any case) of the kernel
// repository's description by "HEAD branch: " and the kernel branch; false
// when there is none.
bool SetOriginHeadBranch(std::vector<std::string>& lines, const std::string& kernelBranch);

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
  void Button1Click();
  void Button3Click();
  void Button5Click();
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
  int FillBranchLists(bool withHead, const std::string& srcPath);
  // Exactly one of "初始化" and "开始更新下载" is enabled.
  void SetInitOrDownload(int listCount);

private:
  // A new source folder starts the log view afresh.
  void SetSourcePath(const std::string& path);
};

extern TForm1* Form1;

// Creates the forms in the program's order (the main window first).
void CreateProgramForms();
