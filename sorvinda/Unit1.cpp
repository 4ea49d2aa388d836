#include "Unit1.h"

#include <stdexcept>

#include "Unit3.h"
#include "Unit4.h"
#include "Unit6.h"
#include "Unit7.h"
#include "cl_resstream.h"
#include "cl_strings.h"
#include "cl_sysutil.h"
#include "rules.h"

TForm1* Form1 = nullptr;

std::string SrcPath, GitBin, Branch, StartTime;
int TotalSteps = 0;
HWND InitConsoleWnd = nullptr, DownloadConsoleWnd = nullptr, SwitchConsoleWnd = nullptr;

std::function<UINT(const std::string&, UINT)> RunCommand = [](const std::string& commandLine, UINT show) {
  return WinExec(commandLine.c_str(), show);
};

namespace {
std::vector<cl::TThread*>& Workers() {
  static std::vector<cl::TThread*> workers;
  return workers;
}

void DeleteLog(const std::string& path) {
  if (!cl::FileExists(path)) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
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

void StartWorker(cl::TThread* worker) {
  Workers().push_back(worker);
  worker->Start();
}

bool WorkerRunning() {
  for (cl::TThread* w : Workers())
    if (!w->Finished()) return true;
  return false;
}

bool CheckGitDir() {
  std::string d = cl::IncludeTrailingBackslash(Form1->LabeledEdit2.Text());
  if (!cl::FileExists(d + "bin\\git.exe")) return false;
  WriteSettingFile(cl::ProgramDir() + "gitpath.dat", d);
  GitBin = d + "bin";
  return true;
}

void UpdateSwitchButton() { Form1->Button5.SetEnabled(FileSizeAboveZero(SrcPath + "kernel\\.git\\FETCH_HEAD")); }

void UpdateBranchLists() {
  int count = Form1->FillBranchLists(false);
  ShowNotice(count == 2 ? "初始化成功" : "初始化失败");
  Form1->SetInitOrDownload(count);
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
    StartWorker(new gitpathThread(e + "tempgitpath.dat"));
  }
}

void TForm1::SetSourcePath(const std::string& path) {
  if (path == SrcPath) return;
  SrcPath = path;
  Timer1.Tag = 0;
  Memo1.SetLines({});
}

int TForm1::FillBranchLists(bool withHead) {
  const std::string s = SrcPath;
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
      // The folder goes into a command line: only a safe one does.
      if (!cl::FileExists(s + "initdir\\manifest\\default.xml") && !IsUnsafeText(TrimText(LabeledEdit1.Text())) &&
          CheckGitDir())
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

void TForm1::FormClose(cl::TCloseAction& action) {
  InitConsoleWnd = FindWindowA(nullptr, ConsoleTitle(ConsoleKind::Init, SrcPath, StartTime).c_str());
  DownloadConsoleWnd = FindWindowA(nullptr, ConsoleTitle(ConsoleKind::Download, SrcPath, StartTime).c_str());
  SwitchConsoleWnd = FindWindowA(nullptr, ConsoleTitle(ConsoleKind::Switch, SrcPath, StartTime).c_str());
  if (SwitchConsoleWnd) {
    ShowNotice("切换LINUX内核,不可退出!   ");
    action = cl::caNone;
  }
  if (DownloadConsoleWnd || InitConsoleWnd) {
    if (ShowNotice("正在下载要断开退了出?   ", MB_YESNO) == IDYES) {
      Tag = 1;
      if (DownloadConsoleWnd) SendMessageA(DownloadConsoleWnd, WM_CLOSE, 0, 0);
      if (InitConsoleWnd) SendMessageA(InitConsoleWnd, WM_CLOSE, 0, 0);
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
