#include "Unit4.h"

#include <vector>

#include "Unit1.h"
#include "cl_strings.h"
#include "rules.h"

bool ReadWholeListing(const std::string& path, std::vector<std::string>& lines) {
  // With writers shut out the open fails while the console still writes.
  std::string text;
  if (!cl::ReadWholeFile(path, text, true)) return false;
  cl::TStringList list;
  list.SetText(text);
  lines = list.Strings;
  return true;
}

gitpathThread::gitpathThread(const std::string& listing, DWORD waitLimitMs)
    : listing_(listing), waitLimitMs_(waitLimitMs) {}

void gitpathThread::Execute() {
  std::vector<std::string> lines;
  DWORD waited = 0;
  for (;;) {
    Sleep(500);
    waited += 500;
    if (ReadWholeListing(listing_, lines)) break;
    if (waited >= waitLimitMs_) return;  // the listing never came: nothing to show
  }
  for (const std::string& dir : GitDirsFromListing(lines)) {
    GitDir = dir;
    Synchronize([this] { ShowGitDir(); });
  }
}

void gitpathThread::ShowGitDir() { Form1->LabeledEdit2.SetText(GitDir); }
