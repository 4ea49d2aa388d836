#include "Unit1.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"
#include "Unit8.h"
#include "cl_resstream.h"
#include "cl_strings.h"
#include "cl_sysutil.h"
#include "cl_xml.h"
#include "rules.h"
#include "scripts.h"

TForm1* Form1 = nullptr;

std::string SrcPath, GitBin, Branch, StartTime;
int TotalSteps = 0;
std::atomic<HWND> InitConsoleWnd{nullptr}, DownloadConsoleWnd{nullptr}, SwitchConsoleWnd{nullptr};

namespace {
// Never destroyed itself: a worker still running when the program ends
// ends with the process, its object untouched while its thread might run.
std::vector<std::unique_ptr<cl::TThread>>& Workers() {
  static auto* workers = new std::vector<std::unique_ptr<cl::TThread>>;
  return *workers;
}

void DeleteLog(const std::string& path) {
  if (cl::FileExists(path)) DeleteHostFile(path);
}

std::vector<std::string> FileLines(const std::string& path) {
  cl::TStringList list;
  list.LoadFromFile(path);
  return list.Strings;
}
}  // namespace

int ShowNotice(const std::string& text, UINT buttons) {
  return cl::MessageBox(cl::Application.Handle(), text, "提示", buttons | MB_ICONINFORMATION);
}

void StartWorker(std::unique_ptr<cl::TThread> worker) {
  ReleaseFinishedWorkers();
  Workers().push_back(std::move(worker));
  Workers().back()->Start();
}

bool WorkerRunning() {
  for (const auto& w : Workers())
    if (!w->Finished()) return true;
  return false;
}

void ReleaseFinishedWorkers() {
  auto& workers = Workers();
  for (auto it = workers.begin(); it != workers.end();) {
    if ((*it)->Finished()) {
      // Finished is set as Execute returns: the thread's last steps are short.
      (*it)->WaitFor();
      it = workers.erase(it);
    } else {
      ++it;
    }
  }
}

namespace {
volatile LONG runInProgress = 0;
}

bool TryBeginRun() {
  if (InterlockedCompareExchange(&runInProgress, 1, 0) == 0) return true;
  ShowNotice("正在运行，请稍候！");
  return false;
}

void EndRun() { InterlockedExchange(&runInProgress, 0); }

bool RunInProgress() { return InterlockedCompareExchange(&runInProgress, 0, 0) != 0; }

bool CheckGitDir() {
  std::string d = cl::IncludeTrailingBackslash(Form1->LabeledEdit2.Text());
  if (!cl::FileExists(d + "bin\\git.exe")) return false;
  WriteSettingFile(cl::ProgramDir() + "gitpath.dat", d);
  GitBin = d + "bin";
  return true;
}

void UpdateSwitchButton() { Form1->Button5.SetEnabled(FileSizeAboveZero(SrcPath + "kernel\\.git\\FETCH_HEAD")); }

void UpdateBranchLists() { UpdateBranchLists(SrcPath); }

void UpdateBranchLists(const std::string& srcPath) {
  int count = Form1->FillBranchLists(false, srcPath);
  ShowNotice(count == 2 ? "初始化成功" : "初始化失败");
  Form1->SetInitOrDownload(count);
}

// ---- Download script ---------------------------------------------------------------

Manifest ParseManifest(const std::string& text) {
  Manifest m;
  cl::TXMLDocument doc;
  if (!doc.Parse(text)) return m;
  cl::TXMLNode root = doc.DocumentElement();
  if (root.Empty()) return m;
  m.parsed = true;
  cl::TXMLNode def = root.FirstChild("default");
  m.hasDefault = !def.Empty();
  m.revision = def.Attribute("revision");
  for (const cl::TXMLNode& child : root.ChildNodes()) {
    if (child.NodeName() != "project") continue;
    ManifestProject p;
    p.name = child.Attribute("name");
    p.path = child.HasAttribute("path") ? child.Attribute("path") : p.name;
    m.projects.push_back(p);
  }
  return m;
}

Manifest ReadManifestFile(const std::string& path) {
  cl::TStringList text;
  if (!cl::FileExists(path) || !text.LoadFromFile(path)) return Manifest();
  return ParseManifest(text.Text());
}

bool ManifestOnBranch(const std::string& revision, const std::string& branch) {
  if (branch.empty()) return false;
  const std::string r = UpperAscii(revision), b = UpperAscii(branch);
  if (r == b) return true;
  return r.size() > b.size() && r.compare(r.size() - b.size(), b.size(), b) == 0 && r[r.size() - b.size() - 1] == '/';
}

bool ProjectPathValid(const std::string& text) {
  if (text.find("..") != std::string::npos) return false;
  for (char c : text) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
              c == '-' || c == '+' || c == '/';
    if (!ok) return false;
  }
  // Every part names a folder of its own: none empty (a leading, trailing or
  // doubled "/"), none "." and none ending in "." (Windows drops trailing
  // dots, so "a." would be the folder "a").
  size_t from = 0;
  for (;;) {
    const size_t to = std::min(text.find('/', from), text.size());
    if (to == from || text[to - 1] == '.') return false;
    if (to == text.size()) return true;
    from = to + 1;
  }
}

namespace {
// A valid path as the folder it names: Windows compares names without case.
std::string FolderKey(const std::string& path) {
  std::string key = UpperAscii(path);
  for (char& c : key)
    if (c == '/') c = '\\';
  return key;
}
// Windows takes these names, with any extension, for devices in every
// folder: a project there could never be made or entered.
bool IsDeviceName(const std::string& upperPart) {
  const std::string stem = upperPart.substr(0, upperPart.find('.'));
  if (stem == "NUL" || stem == "CON" || stem == "PRN" || stem == "AUX") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}
// The files that the download script writes in the source folder itself.
bool IsScriptFile(const std::string& key) {
  return key == "CLONE_RESULT.LOG" || key == "CLONE_RESULT1.LOG" || key == "MAKEFILE";
}
// The folders that hold a folder key, outermost first: "A", "A\B" for "A\B\C".
std::vector<std::string> HoldersOf(const std::string& key) {
  std::vector<std::string> out;
  for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
    out.push_back(key.substr(0, at));
  return out;
}
}  // namespace

std::string InvalidProjectMessage(const std::vector<ManifestProject>& projects, const std::string& srcPath) {
  std::unordered_set<std::string> folders, holders;  // of the entries before
  for (const ManifestProject& p : projects) {
    const std::string refused = "清单中的项目路径无效：" + p.path;
    if (!ProjectPathValid(p.path)) return refused;
    // No name: the path says which entry it is.
    if (p.name.empty()) return refused;
    if (!ProjectPathValid(p.name)) return "清单中的项目路径无效：" + p.name;
    if (srcPath.size() + p.path.size() > kMaxProjectFolder) return refused;
    const std::string key = FolderKey(p.path);
    const std::vector<std::string> up = HoldersOf(key);
    const std::string top = up.empty() ? key : up.front();
    // The kernel's folder and the program's working folder are not projects',
    // nor are the script's own files.
    if (top == "KERNEL" || top == "INITDIR" || IsScriptFile(key)) return refused;
    for (size_t from = 0; from <= key.size();) {
      const size_t to = std::min(key.find('\\', from), key.size());
      if (IsDeviceName(key.substr(from, to - from))) return refused;
      from = to + 1;
    }
    // One folder is one repository: none may be another's, or hold or lie in one.
    if (folders.count(key) || holders.count(key)) return refused;
    for (const std::string& h : up)
      if (folders.count(h)) return refused;
    folders.insert(key);
    holders.insert(up.begin(), up.end());
  }
  return {};
}

namespace {
// The fetch result's test: missing or empty means the pull failed; a result
// of an earlier run is removed first so it cannot pass for this one. A
// failed pull is tried again after a pause.
void AddFetchCheck(std::vector<std::string>& out, const std::string& fetchHead, const std::string& n, bool kernel) {
  const std::string DQ = "\"";
  out.push_back("if not exist " + DQ + fetchHead + DQ + " (");
  out.push_back(kRetryPauseLine);
  out.push_back("goto re" + n + ")");
  out.push_back("for /f %%i in (" + DQ + fetchHead + DQ + ") do (");
  if (kernel) {
    out.push_back("if %%~zi LSS 1 (");
    out.push_back("echo   出错了！正在重新下载");
  } else {
    out.push_back("if %%~zi LSS 1 (echo   出错了！正在重新下载");
  }
  out.push_back(kRetryPauseLine);
  out.push_back("goto re" + n);
  out.push_back("))");
}


// The kernel step: its fetch unless an earlier run finished it, then the
// lines that start the progress file anew.
void AddKernelStep(std::vector<std::string>& out, bool fetch, const std::string& S, const std::string& K,
                   const std::string& H) {
  const std::string DQ = "\"";
  if (fetch) {
    const std::string fetchHead = S + "kernel\\.git\\FETCH_HEAD";
    out.push_back("if not exist kernel md kernel ");
    out.push_back("if exist " + S + "kernel\\.git\\objects\\pack (");
    out.push_back("del /f /a " + S + "kernel\\.git\\objects\\pack\\tmp*.* > nul 2>&1 )");
    out.push_back("cd /d " + S + "kernel");
    out.push_back(InFolderOrExitLine(S + "kernel"));
    out.push_back("if not exist " + S + "kernel\\.git git init");
    out.push_back("git remote rm origin >nul 2>&1");
    out.push_back("git remote add origin git://" + H + "/kernel/common.git");
    out.push_back(":re1");
    out.push_back("if exist " + fetchHead + " del /f /a " + fetchHead);
    out.push_back("git pull");
    AddFetchCheck(out, fetchHead, "1", true);
    out.push_back("git checkout " + DQ + "origin/" + K + DQ + " -b " + DQ + K + DQ);
  }
  out.push_back("cd /d %android_source_code_path%");
  out.push_back("echo ok---::kernel >>clone_result.log");
  out.push_back("echo ok---::kernel ");
  out.push_back("echo kernel>" + S + "initdir\\jd.dat");
  out.push_back("copy " + S + "initdir\\jd.dat " + S + "initdir\\jd1.dat >nul 2>&1");
  out.push_back("copy " + S + "clone_result.log " + S + "clone_result1.log >nul 2>&1");
  out.push_back(" ");
}

// Step n, one project: its log lines, its fetch unless an earlier run
// finished it, and its line appended to the progress file.
void AddProjectStep(std::vector<std::string>& out, const ManifestProject& p, int n, bool fetch,
                    const std::string& S, const std::string& B, const std::string& H) {
  const std::string DQ = "\"";
  const std::string num = std::to_string(n);
  const std::string nn = ("000" + num).substr(("000" + num).size() - 2);
  std::string P = S + p.path;
  for (char& c : P)
    if (c == '/') c = '\\';
  out.push_back("echo " + nn + "---::" + p.path + "---read beginning");
  out.push_back("echo " + nn + "---::" + p.path + "---read beginning >>clone_result.log ");
  if (fetch) {
    const std::string fetchHead = P + "\\.git\\FETCH_HEAD";
    out.push_back("if not exist " + P + " md " + P);
    out.push_back("if exist " + P + "\\.git\\objects\\pack (");
    out.push_back("del /f /a " + P + "\\.git\\objects\\pack\\tmp*.*  > nul 2>&1)");
    out.push_back("cd /d " + P);
    out.push_back(InFolderOrExitLine(P));
    out.push_back("if not exist " + P + "\\.git git init");
    out.push_back("git remote rm origin 2>nul");
    out.push_back("git remote add origin git://" + H + "/" + p.name + ".git");
    out.push_back(":re" + num);
    out.push_back("if exist " + fetchHead + " del /f /a " + fetchHead);
    out.push_back("git pull origin " + DQ + B + DQ + ":" + DQ + B + DQ);
    AddFetchCheck(out, fetchHead, num, false);
    out.push_back("cd /d " + P);
    out.push_back(InFolderOrExitLine(P));
    if (B == "master") {
      out.push_back("git checkout master");
    } else {
      out.push_back("git checkout " + DQ + B + DQ);
      out.push_back("git branch -D master");
    }
  }
  out.push_back("cd /d %android_source_code_path%");
  out.push_back("echo ok---::" + p.path + " >>clone_result.log");
  out.push_back("echo ok---::" + p.path);
  out.push_back("echo " + TrimText(p.path) + ">>" + S + "initdir\\jd.dat");
  out.push_back("copy " + S + "initdir\\jd.dat " + S + "initdir\\jd1.dat >nul 2>&1");
  out.push_back("copy " + S + "clone_result.log " + S + "clone_result1.log >nul 2>&1");
  out.push_back(" ");
}
}  // namespace

DownloadScript BuildDownloadScript(const std::vector<ManifestProject>& projects, const std::vector<std::string>& done,
                                   const std::string& S, const std::string& gitBin, const std::string& B,
                                   const std::string& K, const std::string& H, const std::string& T) {
  std::unordered_set<std::string> doneKeys;
  doneKeys.reserve(done.size() * 2 + 1);
  for (const std::string& line : done) doneKeys.insert(UpperAscii(line));
  auto isDone = [&](const std::string& key) { return doneKeys.count(UpperAscii(key)) != 0; };

  DownloadScript s;
  std::vector<std::string>& out = s.lines;
  out.reserve(30 + projects.size() * 30);
  out.push_back("@echo off");
  out.push_back("title " + ConsoleTitle(ConsoleKind::Download, S, T));
  out.push_back(PathLine(gitBin));
  out.push_back("set android_source_code_path=" + S);
  out.push_back("if not exist %android_source_code_path% md %android_source_code_path%  ");
  out.push_back("cd /d %android_source_code_path%");
  out.push_back(" ");
  out.push_back("echo 01---::kernel---read beginning");
  out.push_back("echo 01---::kernel---read beginning>clone_result.log");
  AddKernelStep(out, !isDone("kernel"), S, K, H);
  int n = 1;
  for (const ManifestProject& p : projects) AddProjectStep(out, p, ++n, !isDone(TrimText(p.path)), S, B, H);
  s.totalSteps = n;
  out.push_back("copy " + S + "build\\core\\root.mk " + S + "Makefile");
  out.push_back("echo 下完成！");
  out.push_back("echo 下完成！ >>clone_result.log");
  out.push_back("exit");
  return s;
}

std::string ManifestCheckoutCommand(const std::string& gitBin, const std::string& S, const std::string& B) {
  const std::string DQ = "\"";
  // The quoted form of set keeps blanks and parentheses of the git folder.
  return "cmd.exe /c cd /d " + S + "initdir\\manifest && set " + DQ + "PATH=" + gitBin + ";%PATH%" + DQ +
         " && (git rev-parse --verify --quiet " + DQ + "refs/heads/" + B + DQ + " >nul && git checkout " + DQ + B +
         DQ + " || git checkout " + DQ + "origin/" + B + DQ + " -b " + DQ + B + DQ + ")";
}

bool SetOriginHeadBranch(std::vector<std::string>& lines, const std::string& kernelBranch) {
  for (std::string& line : lines) {
    if (!ContainsNoCase(line, "HEAD branch")) continue;
    line = "HEAD branch: " + kernelBranch;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------

TForm1::TForm1() {
  Name = "Form1";
  SetCaption("Sorvinda ver 1.3");
  SetBounds(0, 0, 878, 557);

  Panel1.Name = "Panel1";
  Panel1.SetBevelOuter(cl::bvNone);
  Panel1.SetHeight(105);
  Panel1.SetAlign(cl::alTop);
  Panel1.SetFont(PanelFont);

  Label1.Name = "Label1";
  Label1.SetFont(PanelFont);
  Label1.SetCaption(Label1.Caption());
  Label1.SetBounds(14, 16, Label1.Width(), Label1.Height());
  ComboBox1.Name = "ComboBox1";
  ComboBox1.SetFont(PanelFont);
  ComboBox1.SetBounds(80, 12, 150, 200);
  ComboBox1.SetText("cupcake");
  Label3.Name = "Label3";
  Label3.SetFont(PanelFont);
  Label3.SetCaption(Label3.Caption());
  Label3.SetBounds(246, 16, Label3.Width(), Label3.Height());
  ComboBox2.Name = "ComboBox2";
  ComboBox2.SetFont(PanelFont);
  ComboBox2.SetBounds(330, 12, 150, 200);
  Button3.Name = "Button3";
  Button3.SetBounds(496, 10, 75, 25);
  Button1.Name = "Button1";
  Button1.SetBounds(580, 10, 100, 25);
  Button5.Name = "Button5";
  Button5.SetBounds(689, 10, 75, 25);

  LabeledEdit2.Name = "LabeledEdit2";
  LabeledEdit2.SetFont(PanelFont);
  LabeledEdit2.EditLabel.SetFont(PanelFont);
  LabeledEdit2.SetBounds(110, 44, 480, 21);
  LabeledEdit2.SetLabel("git 安装路径：");
  LabeledEdit2.SetReadOnly(true);
  Button4.Name = "Button4";
  Button4.SetBounds(598, 42, 60, 25);
  LabeledEdit1.Name = "LabeledEdit1";
  LabeledEdit1.SetFont(PanelFont);
  LabeledEdit1.EditLabel.SetFont(PanelFont);
  LabeledEdit1.SetBounds(110, 75, 480, 21);
  LabeledEdit1.SetLabel("源码保存目录：");
  LabeledEdit1.SetReadOnly(true);
  Button2.Name = "Button2";
  Button2.SetBounds(598, 73, 60, 25);
  for (cl::TButton* b : {&Button3, &Button1, &Button5, &Button4, &Button2}) b->SetFont(PanelFont);
  Button3.SetEnabled(false);
  Button1.SetEnabled(false);
  Button5.SetEnabled(false);

  Label2.Name = "Label2";
  Label2.SetLinkFont(PanelFont);
  Label2.SetBounds(680, 48, Label2.Width(), Label2.Height());
  Label4.Name = "Label4";
  Label4.SetLinkFont(PanelFont);
  Label4.SetBounds(680, 79, Label4.Width(), Label4.Height());

  Memo1.Name = "Memo1";
  Memo1.SetAlign(cl::alClient);
  Memo1.SetVerticalScrollBar(true);
  Timer1.Name = "Timer1";
  Timer1.SetInterval(1000);

  SaveDialog1.DefaultExt = "rar";
  SaveDialog1.FileName = "ostrivan.rar";
  SaveDialog1.Filter = "*.rar|*.rar";

  OnShow = [this] { FormShow(); };
  OnClose = [this](cl::TCloseAction& a) { FormClose(a); };
  Button2.OnClick = [this](cl::TControl*) { Button2Click(); };
  Button4.OnClick = [this](cl::TControl*) { Button4Click(); };
  Button1.OnClick = [this](cl::TControl*) { Button1Click(); };
  Button3.OnClick = [this](cl::TControl*) { Button3Click(); };
  Button5.OnClick = [this](cl::TControl*) { Button5Click(); };
  Label2.OnClick = [this](cl::TControl*) { Label2Click(); };
  Label4.OnClick = [this](cl::TControl*) { Label4Click(); };
  ComboBox1.OnChange = [this](cl::TControl*) { ComboBox1Change(); };
  ComboBox2.OnChange = [this](cl::TControl*) { ComboBox1Change(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
}

void TForm1::FormCreate() {
  const std::string e = cl::ProgramDir();
  if (cl::FileExists(e + "srcpath.dat")) LabeledEdit1.SetText(ReadSettingFile(e + "srcpath.dat"));
  SrcPath = SourcePathFrom(LabeledEdit1.Text());
  // No source folder chosen yet: nothing at the root of the drive is ours.
  if (SrcPath != "\\") DeleteLog(SrcPath + "clone_result.log");
  Timer1Timer();
  Timer1.SetEnabled(true);

  if (cl::FileExists(e + "gitpath.dat")) {
    LabeledEdit2.SetText(ReadSettingFile(e + "gitpath.dat"));
  } else if (cl::FileExists(e + "Git\\bin\\git.exe")) {
    LabeledEdit2.SetText(e + "Git\\");
  } else {
    // A listing left by an earlier start must not pass for the new one.
    DeleteFileA((e + "tempgitpath.dat").c_str());
    RunCommand(ListingCommand(e), SW_HIDE);
    StartWorker(std::make_unique<gitpathThread>(e + "tempgitpath.dat"));
  }
}

void TForm1::SetSourcePath(const std::string& path) {
  if (path == SrcPath) return;
  SrcPath = path;
  Timer1.Tag = 0;
  Memo1.SetLines({});
}

int TForm1::FillBranchLists(bool withHead) { return FillBranchLists(withHead, SrcPath); }

int TForm1::FillBranchLists(bool withHead, const std::string& s) {
  int count = 0;
  ComboBox1.ClearItems();
  ComboBox2.ClearItems();
  if (cl::FileExists(s + "initdir\\manifest\\.git\\FETCH_HEAD")) {
    for (const std::string& line : FileLines(s + "initdir\\manifest\\.git\\FETCH_HEAD")) {
      std::string entry;
      if (FetchHeadEntry(line, entry)) ComboBox1.AddItem(entry);
    }
    if (withHead) {
      std::string branch;
      if (HeadBranch(FileLines(s + "initdir\\manifest\\.git\\HEAD"), branch)) {
        ComboBox1.SetText(branch);
        Branch = branch;
      }
      // The folder goes into a command line: only a safe one does; git writes
      // in the manifest's folder: never through a link.
      if (!cl::FileExists(s + "initdir\\manifest\\default.xml") && !IsUnsafeText(TrimText(LabeledEdit1.Text())) &&
          !HoldsLink(s + "initdir") && CheckGitDir())
        RunCommand(ManifestRestoreCommand(GitBin, s), SW_HIDE);
    }
    if (ComboBox1.ItemCount() > 0) ++count;
  }
  if (cl::FileExists(s + "initdir\\origin")) {
    OriginInfo origin = ReadOrigin(FileLines(s + "initdir\\origin"));
    if (origin.hasHeadText) ComboBox2.SetText(origin.headText);
    for (const std::string& b : origin.branches) ComboBox2.AddItem(b);
    if (ComboBox2.ItemCount() > 0) ++count;
  }
  return count;
}

void TForm1::SetInitOrDownload(int listCount) {
  Button1.SetEnabled(listCount == 2);
  Button3.SetEnabled(listCount != 2);
}

void TForm1::FormShow() {
  std::string t = TrimText(LabeledEdit1.Text());
  if (t.empty()) {
    SetInitOrDownload(0);
    return;
  }
  SetSourcePath(SourcePathFrom(t));
  SetInitOrDownload(FillBranchLists(true));
  UpdateSwitchButton();
}

void TForm1::ComboBox1Change() { Branch = ComboBox1.Text(); }

void TForm1::Button2Click() {
  if (Form3->ShowModal() != cl::mrOk) return;
  LabeledEdit1.SetText(Form3->DirectoryListBox1.Directory());
  FormShow();
  if (SrcPath != "\\") DeleteLog(SrcPath + "clone_result.log");
}

void TForm1::Button4Click() {
  if (Form3->ShowModal() != cl::mrOk) return;
  LabeledEdit2.SetText(Form3->DirectoryListBox1.Directory());
  WriteSettingFile(cl::ProgramDir() + "gitpath.dat", LabeledEdit2.Text());
}

void TForm1::Timer1Timer() {
  try {
    if (SrcPath == "\\") return;  // no source folder, no log
    std::string p = SrcPath + "clone_result1.log";
    if (!cl::FileExists(p)) return;
    cl::TStringList log;
    if (!log.LoadFromFile(p)) return;  // being rewritten: the next tick tries again
    if (log.Count() == Timer1.Tag) return;
    Memo1.SetLines(log.Strings);
    Timer1.Tag = log.Count();
    // Walk the caret to the last line so the view shows the end of the log;
    // wrapped lines count, so the walk reaches the end also with long lines.
    int rows = static_cast<int>(SendMessageA(Memo1.Handle(), EM_GETLINECOUNT, 0, 0));
    for (int i = 0; i < rows; ++i) SendMessageA(Memo1.Handle(), WM_KEYDOWN, VK_DOWN, -1);
  } catch (...) {
  }
}

namespace {
// The console of a kind under the globals' title, else under the title of
// the run in progress (its source folder may no longer be the one shown).
HWND FindConsole(ConsoleKind kind) {
  if (HWND w = FindWindowA(nullptr, ConsoleTitle(kind, SrcPath, StartTime).c_str())) return w;
  std::string running = RunningConsoleTitle(kind);
  return running.empty() ? nullptr : FindWindowA(nullptr, running.c_str());
}
// Says why a run that needs the source folder cannot start: one is going,
// or no folder is typed in.
bool ReadyToStart(const std::string& sourceFolder) {
  if (RunInProgress()) {
    ShowNotice("正在运行，请稍候！");
    return false;
  }
  if (sourceFolder.empty()) {
    ShowNotice("请设置 源码保存目录!   ");
    return false;
  }
  return true;
}
}  // namespace

void TForm1::Button3Click() {
  const std::string t = TrimText(LabeledEdit1.Text());
  if (!ReadyToStart(t)) return;
  // Both go into script lines and command lines unquoted.
  if (IsUnsafeText(t) || IsUnsafeText(TrimText(ComboBox1.Text()))) {
    ShowNotice("源代码保存目录或分支名含有空格或特殊字符！");
    return;
  }
  WriteSettingFile(cl::ProgramDir() + "srcpath.dat", t);
  Branch = TrimText(ComboBox1.Text());
  SetSourcePath(SourcePathFrom(t));
  if (!CheckGitDir()) {
    ShowNotice("没有找到Git,请先安装Git!  请看帮助   ");
    return;
  }
  if (!TryBeginRun()) return;
  StartWorker(std::make_unique<dlwThread>(SrcPath, Branch, GitBin, GitServer()));
}

void TForm1::Button1Click() {
  const std::string t = TrimText(LabeledEdit1.Text());
  if (!ReadyToStart(t)) return;
  const std::string kernel = TrimText(ComboBox2.Text());
  // All three go into script lines and command lines unquoted.
  if (IsUnsafeText(t) || IsUnsafeText(TrimText(ComboBox1.Text())) || IsUnsafeText(kernel)) {
    ShowNotice("源代码保存目录或分支名含有空格或特殊字符！");
    return;
  }
  WriteSettingFile(cl::ProgramDir() + "srcpath.dat", t);
  Branch = TrimText(ComboBox1.Text());
  SetSourcePath(SourcePathFrom(t));
  auto notInitialised = [this] {
    ShowNotice("请先初始化!   ");
    Button1.SetEnabled(false);
    Button3.SetEnabled(true);
  };
  if (!cl::FileExists(SrcPath + "initdir\\manifest\\default.xml")) {
    notInitialised();
    return;
  }
  if (!CheckGitDir()) {
    ShowNotice("没有找到Git,请先安装Git! 请看帮助   ");
    return;
  }
  const std::string originPath = SrcPath + "initdir\\origin";
  // A link there is neither read nor written through: the worker refuses it.
  if (!IsLinkOrJunction(originPath)) {
    cl::TStringList origin;
    if (!cl::FileExists(originPath) || !origin.LoadFromFile(originPath) || origin.Count() == 0 ||
        !SetOriginHeadBranch(origin.Strings, kernel)) {
      notInitialised();
      return;
    }
    origin.SaveToFile(originPath);
  }
  if (!TryBeginRun()) return;
  StartWorker(std::make_unique<dlmemuThread>(SrcPath, Branch, kernel, GitBin, GitServer()));
  // Only the worker closes it.
  Form7->ShowModal();
}

void TForm1::Button5Click() {
  if (RunInProgress()) {
    ShowNotice("正在运行，请稍候！");
    return;
  }
  std::string k = TrimText(ComboBox2.Text());
  if (k.empty()) {
    ShowNotice("请先选择内核版本!   ");
    return;
  }
  if (IsUnsafeText(SrcPath) || IsUnsafeText(k)) {
    ShowNotice("源代码保存目录或分支名含有空格或特殊字符！");
    return;
  }
  // Only for GitBin: without git there the script falls back on the path.
  CheckGitDir();
  if (!TryBeginRun()) return;
  StartWorker(std::make_unique<linuxqiehuangThread>(SrcPath, k, GitBin));
}

void TForm1::FormClose(cl::TCloseAction& action) {
  // What this handler found is what it acts on, whatever a worker stores meanwhile.
  const HWND init = FindConsole(ConsoleKind::Init), download = FindConsole(ConsoleKind::Download),
             switching = FindConsole(ConsoleKind::Switch);
  InitConsoleWnd = init;
  DownloadConsoleWnd = download;
  SwitchConsoleWnd = switching;
  if (switching) {
    ShowNotice("切换LINUX内核,不可退出!   ");
    action = cl::caNone;
  }
  if (download || init) {
    if (ShowNotice("正在下载要断开退了出?   ", MB_YESNO) == IDYES) {
      Tag = 1;
      if (download) SendMessageA(download, WM_CLOSE, 0, 0);
      if (init) SendMessageA(init, WM_CLOSE, 0, 0);
    } else {
      action = cl::caNone;
    }
  }
  // The window stays: the download worker must not take it as quitting.
  if (action == cl::caNone) Tag = 0;
}

void TForm1::Label2Click() { Form6->ShowModal(); }

void TForm1::Label4Click() {
  SaveDialog1.Owner = Handle();
  if (!SaveDialog1.Execute()) return;
  cl::TResourceStream archive(GetModuleHandleA(nullptr), "nm1", "lx1");
  if (!archive.Found()) throw std::runtime_error("找不到资源 NM1");
  if (!archive.SaveToFile(SaveDialog1.FileName)) throw std::runtime_error("无法创建文件 " + SaveDialog1.FileName);
}

void CreateProgramForms() {
  Form1 = cl::Application.CreateForm<TForm1>();
  Form1->FormCreate();
  Form3 = cl::Application.CreateForm<TForm3>();
  Form6 = cl::Application.CreateForm<TForm6>();
  Form7 = cl::Application.CreateForm<TForm7>();
  for (cl::TForm* f : {static_cast<cl::TForm*>(Form3), static_cast<cl::TForm*>(Form6), static_cast<cl::TForm*>(Form7)})
    f->Owner = Form1;
}
