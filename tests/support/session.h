// Scripted answers for every modal question, and a record of what was asked.
// Tests and the session driver install it in place of the real dialogs.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "cl_dialogs.h"

struct AskedDialog {
  cl::DialogKind kind;
  std::string title;  // as the program shows it (ANSI, GBK)
  std::string text;
  UINT flags;
  HWND owner;
  std::string value;  // input box default text
};

class ScriptedDialogs {
public:
  ScriptedDialogs();   // installs itself as the dialog hook
  ~ScriptedDialogs();  // removes the hook

  // Answers, used in order; a question with none queued gets the default:
  // message boxes IDOK (IDYES for Yes/No), other dialogs cancelled, modal
  // forms closed with mrOk without being shown.
  void QueueButton(int id);          // next message box
  void QueueText(const std::string& text, bool accepted = true);  // input box, save, folder
  void QueueFiles(const std::vector<std::string>& files);         // open dialog
  // Drops the texts, file lists and forms no question took (a command that
  // asked nothing).
  void DropQueuedAnswers() {
    texts_.clear();
    files_.clear();
    modals_.clear();
  }
  void QueueModal(int result);       // next modal form (DialogAnswer::kRunReal shows it)
  // Next modal form: the action fills and closes it as a user would (the
  // form is not shown) and returns its modal result.
  void QueueModalAction(std::function<int(cl::TForm*)> action);
  // Modal forms that are always shown for real (the progress dialog).
  std::vector<const cl::TForm*> realForms;

  // Workers ask from their own threads: read asked through Asked() while one
  // may be running.
  std::vector<AskedDialog> asked;
  std::vector<AskedDialog> Asked();
  // Called for each question as it is asked (the driver prints them), one
  // question at a time.
  std::function<void(const AskedDialog&)> onAsked;

private:
  cl::DialogAnswer Answer(const cl::DialogRequest& req);
  CRITICAL_SECTION lock_;
  std::deque<int> buttons_;
  std::deque<std::pair<std::string, bool>> texts_;
  std::deque<std::vector<std::string>> files_;
  std::deque<std::function<int(cl::TForm*)>> modals_;
};

// GBK (the ANSI code page) to UTF-8 and back, for output and arguments.
std::string Utf8FromAnsiText(const std::string& ansi);
std::string AnsiFromUtf8Text(const std::string& utf8);

// A fault in the test program's own code (also inside a window procedure,
// where the system would swallow it) prints "FATAL: exception ..." on
// standard output and standard error and ends the process with exit code 3;
// so does any other exception that nothing handles ("FATAL: unhandled
// exception ...").
void ReportFaultsAndFail();

// Saves a window's pixels, as the screen shows them, to a BMP file.
bool SaveScreenshot(HWND window, const std::string& path);

// The program's arguments in UTF-8, whatever the code page: taken from the
// wide command line (the narrow one has lost what GBK cannot hold).
std::vector<std::string> Utf8Arguments();
