// Session driver: starts the image browser's forms as the program does and
// runs the commands of its command line in order, answering dialogs from a
// script and printing results to stdout in UTF-8.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit7.h"
#include "list_text.h"
#include "mymsgbox.h"
#include "session.h"
#include "tree_text.h"

namespace {

const char kHelp[] =
    "usage: ostrivan-driver.exe COMMAND [ARGS]... [COMMAND [ARGS]...]...\n"
    "Runs the image browser's main window and the commands in order.\n"
    "Output is UTF-8; each message box the program shows prints as\n"
    "  MSG<TAB>title<TAB>text\n"
    "each modal form as FORM<TAB>caption, and each input box as\n"
    "  INPUT<TAB>caption<TAB>prompt<TAB>default\n"
    "(an input box with no answer queued is cancelled: it gives its default).\n"
    "Each command ends with a line\n"
    "  TIME<TAB>command<TAB>milliseconds\n"
    "Commands:\n"
    "  controls          one line per control of the main window:\n"
    "                    name<TAB>kind<TAB>caption<TAB>enabled<TAB>visible (0/1)\n"
    "  click NAME        click a tool button, menu item or button by name\n"
    "                    (a menu item is clicked after the menu's popup handler ran)\n"
    "  answer yes|no|ok|cancel   the answer for the next message box\n"
    "  close             close the main window (prints CLOSED or OPEN)\n"
    "  open PATH         the open command with PATH chosen; returns once the scan\n"
    "                    has ended (or the open failed)\n"
    "  tree              one line per tree node, in preorder:\n"
    "                    path<TAB>type<TAB>size<TAB>mode (octal)<TAB>uid<TAB>gid<TAB>mtime<TAB>id\n"
    "                    (\"/\" for the root, \"/a/b\" below it, \"x/y\" under a top-level x)\n"
    "  status            the six status panels (PANEL<TAB>i<TAB>text) and HINT<TAB>text\n"
    "  ls                one line per entry of the list: caption<TAB>id<TAB>type\n"
    "  cd PATH           show a folder of the tree (a path as tree prints it), as\n"
    "                    selecting it in the tree does\n"
    "  export-all DIR    \"全部导出\" with the folder chooser answered DIR; returns\n"
    "                    when the worker has ended\n"
    "  extract NAME... DIR  select those entries (captions) of the folder shown and\n"
    "                    run \"提取选中\" into DIR; the arguments run up to the next\n"
    "                    command word or the end, and the last of them is DIR\n"
    "  cancel-after N    press \"取消\" once the next worker's progress reaches N\n"
    "  save PATH KIND MARKER  \"整理另存\": ECC KIND 0, 1 or 2, MARKER 1 for the FF FF\n"
    "                    erase marker or 0 without, the file PATH; returns when the\n"
    "                    worker has ended\n"
    "  screenshot PATH   save the main window as it is on the screen, as a BMP file\n"
    "  input TEXT        the answer (OK) for the next input box\n"
    "  input-cancel      cancel the next input box\n"
    "  select NAME...    select exactly those entries (captions) of the folder shown;\n"
    "                    the arguments run up to the next command word or the end\n"
    "  mkdir NAME        \"新建目录\" with NAME typed\n"
    "  delete            \"删除\" on the selection (the question takes the next\n"
    "                    answer, Yes by default)\n"
    "  rename NAME       \"重命名\" of the first selected entry, NAME typed\n"
    "  chmod TEXT        \"权限修改\" of the selection, TEXT typed\n"
    "  uid TEXT          \"UID修改\" of the selection, TEXT typed\n"
    "  gid TEXT          \"GID修改\" of the selection, TEXT typed\n"
    "  props             \"属性\" of the first selected entry: one line per field of\n"
    "                    the dialog, PROP<TAB>control<TAB>text (Edit1, filetype,\n"
    "                    filesize, filectime, fileuid, filegid, Label7), then\n"
    "                    PANEL<TAB>5<TAB>text for the status panel's details\n"
    "  add-files PATH... \"添加文件\" with those host files chosen; the arguments run\n"
    "                    up to the next command word or the end; returns when the\n"
    "                    worker has ended\n"
    "  add-dir PATH      \"添加目录\" with the folder chooser answered PATH; returns\n"
    "                    when the worker has ended\n"
    "  overwrite yes|all|none|no  the answer for the next overwrite prompt (\"是\",\n"
    "                    \"全是\", \"全否\", \"否\"); a prompt with no answer queued is\n"
    "                    closed without one (skips that file and every later one)\n";

ScriptedDialogs* g_dialogs = nullptr;

void Print(const std::string& ansiOrUtf8, bool ansi = true) {
  std::string s = ansi ? Utf8FromAnsiText(ansiOrUtf8) : ansiOrUtf8;
  fwrite(s.data(), 1, s.size(), stdout);
  fflush(stdout);
}

std::string Flag(bool b) { return b ? "1" : "0"; }

void ListControls() {
  std::vector<cl::TControl*> all;
  Form1->CollectControls(all);
  Print(Form1->Name + "\t" + Form1->KindName() + "\t" + Form1->Caption() + "\t" + Flag(Form1->Enabled()) + "\t" +
        Flag(IsWindowVisible(Form1->Handle())) + "\n");
  for (cl::TControl* c : all) {
    Print(c->Name + "\t" + c->KindName() + "\t" + c->Caption() + "\t" + Flag(c->Enabled()) + "\t" +
          Flag(IsWindowVisible(c->Handle())) + "\n");
    if (auto* bar = dynamic_cast<cl::TToolBar*>(c)) {
      for (auto& b : bar->Buttons())
        Print(b->Name + "\tTToolButton\t" + b->Caption + "\t" + Flag(b->Enabled()) + "\t" +
              Flag(b->Visible() && IsWindowVisible(bar->Handle())) + "\n");
    }
  }
  for (auto& m : Form1->PopupMenu1.Items()) {
    if (m->IsSeparator()) continue;
    Print(m->Name + "\tTMenuItem\t" + m->Caption + "\t" + Flag(m->Enabled()) + "\t0\n");
  }
}

bool Click(const std::string& name) {
  std::vector<cl::TControl*> all;
  Form1->CollectControls(all);
  for (cl::TControl* c : all) {
    if (auto* bar = dynamic_cast<cl::TToolBar*>(c)) {
      if (cl::TToolButton* b = bar->FindButton(name)) {
        b->Click();
        return true;
      }
    }
  }
  if (cl::TMenuItem* m = Form1->PopupMenu1.Find(name)) {
    if (Form1->PopupMenu1.OnPopup) Form1->PopupMenu1.OnPopup();
    m->Click();
    return true;
  }
  if (auto* b = dynamic_cast<cl::TButton*>(Form1->FindControl(name))) {
    b->Click();
    return true;
  }
  return false;
}

void PrintTree() {
  for (int i = 0; i < Form1->TreeView1.Count(); ++i) {
    const cl::TTreeNode* n = Form1->TreeView1.Item(i);
    const ObjectRecord* r = RecordOf(n);
    char fields[160] = "";
    if (r)
      snprintf(fields, sizeof fields, "%u\t%u\t%o\t%u\t%u\t%u\t%u", r->ObjectType, r->FileSize, r->Mode, r->Uid,
               r->Gid, r->MTime, static_cast<unsigned>(IdKey(r->ObjectId)));
    Print(NodePath(n) + "\t" + fields + "\n", false);
  }
}

const char* const kCommands[] = {"controls", "click", "answer", "close", "open", "tree", "status", "ls",
                                 "cd", "export-all", "extract", "cancel-after", "save", "screenshot",
                                 "input", "input-cancel", "select", "mkdir", "delete", "rename", "chmod",
                                 "uid", "gid", "props", "add-files", "add-dir", "overwrite"};

bool IsCommand(const std::string& word) {
  for (const char* c : kCommands)
    if (word == c) return true;
  return false;
}


// Runs the message loop until no scan or worker runs any more.
void WaitForWorkers() {
  cl::Application.RunUntil([] { return !ScanRunning && !Form1->WorkerRunning(); });
}

// "取消" is pressed once the progress dialog's bar reaches this step.
int g_cancelAfter = -1;

void WatchProgress() {
  if (g_cancelAfter < 0 || !Form4->IsModal() || Form4->ProgressBar1.Position() < g_cancelAfter) return;
  g_cancelAfter = -1;
  Form4->Button1.Click();
}

}  // namespace

int main() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ReportFaultsAndFail();
  const std::vector<std::string> args = Utf8Arguments();
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    Print(kHelp);
    return args.empty() ? 2 : 0;
  }
  CoInitialize(nullptr);
  cl::Application.Initialize();
  cl::Application.SetTitle("Ostrivan 浏览器");
  ScriptedDialogs dialogs;
  g_dialogs = &dialogs;
  dialogs.onAsked = [](const AskedDialog& a) {
    if (a.kind == cl::DialogKind::MessageBox) Print("MSG\t" + a.title + "\t" + a.text + "\n");
    if (a.kind == cl::DialogKind::ModalForm) Print("FORM\t" + a.title + "\n");
    if (a.kind == cl::DialogKind::InputBox) Print("INPUT\t" + a.title + "\t" + a.text + "\t" + a.value + "\n");
  };
  CreateProgramForms();
  dialogs.realForms.push_back(Form4);
  cl::Application.AfterDispatch = WatchProgress;
  Form1->Show();
  cl::Application.ProcessMessages();

  int status = 0;
  size_t i = 0;
  auto needArg = [&](const std::string& cmd) -> std::string {
    if (i >= args.size()) {
      Print("ERROR\t" + cmd + " needs an argument\n", false);
      status = 2;
      return {};
    }
    return args[i++];
  };
  while (i < args.size() && status == 0) {
    std::string cmd = args[i++];
    DWORD start = GetTickCount();
    if (cmd == "controls") {
      ListControls();
    } else if (cmd == "click") {
      std::string name = needArg(cmd);
      if (status) break;
      if (!Click(name)) {
        Print("ERROR\tno control named " + name + "\n", false);
        status = 1;
      }
    } else if (cmd == "answer") {
      std::string a = needArg(cmd);
      if (status) break;
      static const std::map<std::string, int> ids = {{"yes", IDYES}, {"no", IDNO}, {"ok", IDOK}, {"cancel", IDCANCEL}};
      auto it = ids.find(a);
      if (it == ids.end()) {
        Print("ERROR\tanswer takes yes, no, ok or cancel\n", false);
        status = 2;
        break;
      }
      dialogs.QueueButton(it->second);
    } else if (cmd == "open") {
      std::string path = needArg(cmd);
      if (status) break;
      dialogs.QueueText(AnsiFromUtf8Text(path));
      Form1->ToolButton10->Click();
      WaitForWorkers();
    } else if (cmd == "export-all") {
      std::string dir = needArg(cmd);
      if (status) break;
      SHCreateDirectoryExA(nullptr, AnsiFromUtf8Text(dir).c_str(), nullptr);
      dialogs.QueueText(AnsiFromUtf8Text(dir));
      Form1->ToolButton7->Click();
      WaitForWorkers();
    } else if (cmd == "extract") {
      std::vector<std::string> words;
      while (i < args.size() && !IsCommand(args[i])) words.push_back(args[i++]);
      if (words.size() < 2) {
        Print("ERROR\textract needs entry names and a folder\n", false);
        status = 2;
        break;
      }
      std::string dir = words.back();
      words.pop_back();
      for (int e = 0; e < Form1->ListView1.Count(); ++e) {
        cl::TListItem* item = Form1->ListView1.Item(e);
        bool wanted = false;
        for (const std::string& w : words) wanted = wanted || Utf8FromAnsiText(item->Caption()) == w;
        item->SetSelected(wanted);
      }
      cl::Application.ProcessMessages();
      // The folder chooser only offers folders that exist.
      SHCreateDirectoryExA(nullptr, AnsiFromUtf8Text(dir).c_str(), nullptr);
      dialogs.QueueText(AnsiFromUtf8Text(dir));
      Form1->ToolButton6->Click();
      WaitForWorkers();
    } else if (cmd == "cancel-after") {
      std::string n = needArg(cmd);
      if (status) break;
      g_cancelAfter = atoi(n.c_str());
    } else if (cmd == "save") {
      if (i + 3 > args.size()) {
        Print("ERROR\tsave needs PATH KIND MARKER\n", false);
        status = 2;
        break;
      }
      std::string path = args[i++];
      int kind = atoi(args[i++].c_str());
      int marker = atoi(args[i++].c_str());
      dialogs.QueueModalAction([kind, marker](cl::TForm*) {
        Form7->FormShow();
        Form7->RadioGroup1.SetItemIndex(kind);
        Form7->RadioGroup2.SetItemIndex(marker);
        Form7->Button1Click();
        return Form7->ModalResult;
      });
      dialogs.QueueText(AnsiFromUtf8Text(path));
      Form1->ToolButton5->Click();
      WaitForWorkers();
    } else if (cmd == "screenshot") {
      std::string path = needArg(cmd);
      if (status) break;
      RedrawWindow(Form1->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      cl::Application.ProcessMessages();
      if (!SaveScreenshot(Form1->Handle(), AnsiFromUtf8Text(path))) {
        Print("ERROR\tcannot write " + path + "\n", false);
        status = 1;
      }
    } else if (cmd == "tree") {
      PrintTree();
    } else if (cmd == "status") {
      for (int p = 0; p < Form1->StatusBar1.PanelCount(); ++p)
        Print("PANEL\t" + std::to_string(p) + "\t" + Form1->StatusBar1.PanelText(p) + "\n");
      Print("HINT\t" + Form1->StatusBar1.Hint() + "\n");
    } else if (cmd == "ls") {
      for (int e = 0; e < Form1->ListView1.Count(); ++e) {
        const cl::TListItem* item = Form1->ListView1.Item(e);
        std::string line = item->Caption();
        for (const std::string& sub : item->SubItems()) line += "\t" + sub;
        Print(line + "\n");
      }
    } else if (cmd == "cd") {
      std::string path = needArg(cmd);
      if (status) break;
      cl::TTreeNode* node = FindNode(path);
      if (node) {
        Form1->TreeView1.SetSelected(node);
      } else {
        Print("ERROR\tno tree node " + path + "\n", false);
        status = 1;
      }
    } else if (cmd == "input") {
      std::string text = needArg(cmd);
      if (status) break;
      dialogs.QueueText(AnsiFromUtf8Text(text));
    } else if (cmd == "input-cancel") {
      dialogs.QueueText("", false);
    } else if (cmd == "select") {
      std::vector<std::string> words;
      while (i < args.size() && !IsCommand(args[i])) words.push_back(args[i++]);
      for (std::string& w : words) w = AnsiFromUtf8Text(w);
      for (const std::string& missing : SelectListEntries(words)) {
        Print("ERROR\tno entry " + missing + "\n");
        status = 1;
      }
    } else if (cmd == "mkdir" || cmd == "rename" || cmd == "chmod" || cmd == "uid" || cmd == "gid") {
      std::string text = needArg(cmd);
      if (status) break;
      dialogs.QueueText(AnsiFromUtf8Text(text));
      if (cmd == "mkdir") {
        Form1->newdirokClick();
        WaitForWorkers();
      }
      if (cmd == "rename") Form1->N6Click();
      if (cmd == "chmod") Form1->N7Click();
      if (cmd == "uid") Form1->UID1Click();
      if (cmd == "gid") Form1->GID1Click();
      // An edit that asked nothing (no selection) leaves no answer behind.
      dialogs.DropQueuedAnswers();
    } else if (cmd == "delete") {
      Form1->filedelClick();
    } else if (cmd == "props") {
      dialogs.QueueModalAction([](cl::TForm*) {
        Form5->FormShow();
        const std::pair<const char*, const cl::TControl*> fields[] = {
            {"Edit1", &Form5->Edit1},         {"filetype", &Form5->filetype}, {"filesize", &Form5->filesize},
            {"filectime", &Form5->filectime}, {"fileuid", &Form5->fileuid},   {"filegid", &Form5->filegid},
            {"Label7", &Form5->Label7}};
        for (const auto& f : fields) Print(std::string("PROP\t") + f.first + "\t" + f.second->Caption() + "\n");
        return static_cast<int>(cl::mrOk);
      });
      Form1->N3Click(Form1->N3);
      dialogs.DropQueuedAnswers();
      Print("PANEL\t5\t" + Form1->StatusBar1.PanelText(5) + "\n");
    } else if (cmd == "add-files") {
      std::vector<std::string> files;
      while (i < args.size() && !IsCommand(args[i])) files.push_back(AnsiFromUtf8Text(args[i++]));
      if (files.empty()) {
        Print("ERROR\tadd-files needs host files\n", false);
        status = 2;
        break;
      }
      dialogs.QueueFiles(files);
      Form1->addfileokClick();
      WaitForWorkers();
      dialogs.DropQueuedAnswers();
    } else if (cmd == "add-dir") {
      std::string dir = needArg(cmd);
      if (status) break;
      dialogs.QueueText(AnsiFromUtf8Text(dir));
      Form1->adddirokClick();
      WaitForWorkers();
      dialogs.DropQueuedAnswers();
    } else if (cmd == "overwrite") {
      std::string a = needArg(cmd);
      if (status) break;
      static const std::map<std::string, int> results = {
          {"yes", OverwriteYes}, {"all", OverwriteAll}, {"none", OverwriteNone}, {"no", OverwriteNo}};
      auto it = results.find(a);
      if (it == results.end()) {
        Print("ERROR\toverwrite takes yes, all, none or no\n", false);
        status = 2;
        break;
      }
      dialogs.QueueModal(it->second);
    } else if (cmd == "close") {
      Form1->Close();
      Print(cl::Application.Terminated() ? "CLOSED\n" : "OPEN\n", false);
    } else {
      Print("ERROR\tunknown command " + cmd + "\n", false);
      status = 2;
      break;
    }
    cl::Application.ProcessMessages();
    Print("TIME\t" + cmd + "\t" + std::to_string(GetTickCount() - start) + "\n", false);
  }
  cl::Application.DestroyForms();
  return status;
}
