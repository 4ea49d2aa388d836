// Session driver of the download manager: starts its forms as the program
// does and runs the commands of its command line in order, answering dialogs
// from a script and printing results to stdout in UTF-8.
#include <shlobj.h>
#include <stdio.h>

#include <exception>
#include <map>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit3.h"
#include "Unit7.h"
#include "cl_strings.h"
#include "scripts.h"
#include "session.h"

namespace {

const char kHelp[] =
    "usage: sorvinda-driver.exe COMMAND [ARGS]... [COMMAND [ARGS]...]...\n"
    "Runs the download manager's main window and the commands in order.\n"
    "Output is UTF-8; each message box the program shows prints as\n"
    "  MSG<TAB>title<TAB>text\n"
    "and each modal form as FORM<TAB>caption (the please-wait form of a download\n"
    "stays up until its worker closes it). Each command ends with a line\n"
    "  TIME<TAB>command<TAB>milliseconds\n"
    "Commands:\n"
    "  controls          one line per control of the main window:\n"
    "                    name<TAB>kind<TAB>caption or text<TAB>enabled<TAB>visible (0/1)\n"
    "                    (a memo's line breaks show as \\n)\n"
    "  click NAME        click a button or link label by name\n"
    "  answer yes|no|ok|cancel   the answer for the next message box\n"
    "  browse-src DIR    the source folder's \"浏览\" with the chooser answered DIR\n"
    "                    (made when missing)\n"
    "  browse-git DIR    the git folder's \"浏览\", likewise\n"
    "  branch TEXT       set the platform box's text as a user's choice does\n"
    "  kernel TEXT       set the kernel box's text likewise\n"
    "  lists             the items of both boxes, one per line:\n"
    "                    ComboBox1<TAB>item, then ComboBox2<TAB>item\n"
    "  wait              until the running workers have ended\n"
    "  wait-file PATH    until PATH exists (at most 120 s; ERROR after that)\n"
    "  touch PATH        create PATH empty (releases a blocked git stand-in)\n"
    "  close-console KIND  close the console of the run of KIND (init, download,\n"
    "                    switch) as a user does; prints CONSOLE-CLOSED or NO-CONSOLE\n"
    "  log               the log view's lines\n"
    "  save-archive PATH the link \"android system.img修改工具\" with the save\n"
    "                    dialog answered PATH\n"
    "  close             close the main window (prints CLOSED or OPEN)\n"
    "  screenshot PATH   save the main window as it is on the screen, as a BMP file\n"
    "The settings files are read beside the driver, as the program reads them\n"
    "beside itself.\n";

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
    if (c->Name.empty()) continue;  // the labels of labelled edits
    // One line per control: a memo's line breaks show as \n.
    std::string caption = c->Caption();
    for (size_t at; (at = caption.find("\r\n")) != std::string::npos;) caption.replace(at, 2, "\\n");
    Print(c->Name + "\t" + c->KindName() + "\t" + caption + "\t" + Flag(c->Enabled()) + "\t" +
          Flag(IsWindowVisible(c->Handle())) + "\n");
  }
  Print("Timer1\tTTimer\t" + std::to_string(Form1->Timer1.Interval()) + "\t" + Flag(Form1->Timer1.Enabled()) + "\t0\n");
}


// The chooser answered with dir, as a user picks it and presses "确定".
void QueueFolder(ScriptedDialogs& dialogs, const std::string& dir) {
  SHCreateDirectoryExA(nullptr, dir.c_str(), nullptr);
  dialogs.QueueModalAction([dir](cl::TForm*) {
    Form3->FormShow();
    Form3->DirectoryListBox1.SetDirectory(dir);
    Form3->Button1.Click();
    return Form3->ModalResult;
  });
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
  cl::Application.Initialize();
  cl::Application.SetTitle("Sorvinda");
  cl::Application.OnException = [](const std::string& text) { Print("ERROR\t" + text + "\n"); };
  ScriptedDialogs dialogs;
  dialogs.onAsked = [](const AskedDialog& a) {
    if (a.kind == cl::DialogKind::MessageBox) Print("MSG\t" + a.title + "\t" + a.text + "\n");
    if (a.kind == cl::DialogKind::ModalForm) Print("FORM\t" + a.title + "\n");
  };
  CreateProgramForms();
  // The please-wait form is up for real: only the download worker closes it.
  dialogs.realForms.push_back(Form7);
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
    try {
      if (cmd == "controls") {
        ListControls();
      } else if (cmd == "click") {
        std::string name = needArg(cmd);
        if (status) break;
        cl::TControl* c = Form1->FindControl(name);
        if (auto* b = dynamic_cast<cl::TButton*>(c)) {
          b->Click();
        } else if (c && c->OnClick) {
          c->OnClick(c);
        } else {
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
      } else if (cmd == "browse-src" || cmd == "browse-git") {
        std::string dir = needArg(cmd);
        if (status) break;
        QueueFolder(dialogs, AnsiFromUtf8Text(dir));
        if (cmd == "browse-src")
          Form1->Button2Click();
        else
          Form1->Button4Click();
      } else if (cmd == "branch" || cmd == "kernel") {
        std::string text = needArg(cmd);
        if (status) break;
        cl::TComboBox& box = cmd == "branch" ? Form1->ComboBox1 : Form1->ComboBox2;
        box.SetText(AnsiFromUtf8Text(text));
        if (box.OnChange) box.OnChange(&box);
      } else if (cmd == "lists") {
        for (const std::string& item : Form1->ComboBox1.Items()) Print("ComboBox1\t" + item + "\n");
        for (const std::string& item : Form1->ComboBox2.Items()) Print("ComboBox2\t" + item + "\n");
      } else if (cmd == "wait") {
        cl::Application.RunUntil([] { return !WorkerRunning(); });
      } else if (cmd == "wait-file") {
        std::string path = AnsiFromUtf8Text(needArg(cmd));
        if (status) break;
        const DWORD start = GetTickCount();
        while (!cl::FileExists(path) && GetTickCount() - start < 120000) {
          MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
          cl::Application.ProcessMessages();
        }
        if (!cl::FileExists(path)) {
          Print("ERROR\tno file " + path + "\n");
          status = 1;
        }
      } else if (cmd == "touch") {
        std::string path = AnsiFromUtf8Text(needArg(cmd));
        if (status) break;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      } else if (cmd == "close-console") {
        std::string kind = needArg(cmd);
        if (status) break;
        static const std::map<std::string, ConsoleKind> kinds = {
            {"init", ConsoleKind::Init}, {"download", ConsoleKind::Download}, {"switch", ConsoleKind::Switch}};
        auto it = kinds.find(kind);
        if (it == kinds.end()) {
          Print("ERROR\tclose-console takes init, download or switch\n", false);
          status = 2;
          break;
        }
        std::string title = RunningConsoleTitle(it->second);
        HWND w = title.empty() ? nullptr : FindWindowA(nullptr, title.c_str());
        ScriptRun::Close(w);
        Print(w ? "CONSOLE-CLOSED\n" : "NO-CONSOLE\n", false);
      } else if (cmd == "log") {
        for (const std::string& line : Form1->Memo1.Lines()) Print(line + "\n");
      } else if (cmd == "save-archive") {
        std::string path = needArg(cmd);
        if (status) break;
        dialogs.QueueText(AnsiFromUtf8Text(path));
        Form1->Label4Click();
      } else if (cmd == "screenshot") {
        std::string path = needArg(cmd);
        if (status) break;
        RedrawWindow(Form1->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        cl::Application.ProcessMessages();
        if (!SaveScreenshot(Form1->Handle(), AnsiFromUtf8Text(path))) {
          Print("ERROR\tcannot write " + path + "\n", false);
          status = 1;
        }
      } else if (cmd == "close") {
        Form1->Close();
        Print(cl::Application.Terminated() ? "CLOSED\n" : "OPEN\n", false);
      } else {
        Print("ERROR\tunknown command " + cmd + "\n", false);
        status = 2;
        break;
      }
    } catch (const std::exception& e) {
      Print("ERROR\t" + std::string(e.what()) + "\n");
      status = 1;
    }
    cl::Application.ProcessMessages();
    Print("TIME\t" + cmd + "\t" + std::to_string(GetTickCount() - start) + "\n", false);
  }
  fflush(stdout);
  // As the program: workers may still run, so nothing is freed.
  ExitProcess(status);
}
