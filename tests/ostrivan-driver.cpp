// Session driver: starts the image browser's forms as the program does and
// runs the commands of its command line in order, answering dialogs from a
// script and printing results to stdout in UTF-8.
#include <objbase.h>
#include <stdio.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit4.h"
#include "session.h"

namespace {

const char kHelp[] =
    "usage: ostrivan-driver.exe COMMAND [ARGS]... [COMMAND [ARGS]...]...\n"
    "Runs the image browser's main window and the commands in order.\n"
    "Output is UTF-8; each message box the program shows prints as\n"
    "  MSG<TAB>title<TAB>text\n"
    "and each modal form as FORM<TAB>caption. Each command ends with a line\n"
    "  TIME<TAB>command<TAB>milliseconds\n"
    "Commands:\n"
    "  controls          one line per control of the main window:\n"
    "                    name<TAB>kind<TAB>caption<TAB>enabled<TAB>visible (0/1)\n"
    "  click NAME        click a tool button, menu item or button by name\n"
    "                    (a menu item is clicked after the menu's popup handler ran)\n"
    "  answer yes|no|ok|cancel   the answer for the next message box\n"
    "  close             close the main window (prints CLOSED or OPEN)\n";

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

}  // namespace

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    Print(kHelp, false);
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
  };
  CreateProgramForms();
  dialogs.realForms.push_back(Form4);
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
