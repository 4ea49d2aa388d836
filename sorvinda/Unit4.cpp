#include "Unit4.h"

#include <vector>

#include "Unit1.h"
#include "cl_strings.h"
#include "rules.h"

bool ReadWholeListing(const std::string& path, std::vector<std::string>& lines) {
  // No FILE_SHARE_WRITE: the open fails while the console still writes.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buf[16384];
  DWORD got = 0;
  bool ok;
  while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr)) && got > 0) text.append(buf, got);
  CloseHandle(h);
  if (!ok) return false;
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
