// Looks for git's bin folder among the path entries of the environment
// listing that the start-up has a hidden console write.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "cl_thread.h"

class gitpathThread : public cl::TThread {
public:
  // listing: the file the hidden "set" writes; the wait for it ends quietly
  // after waitLimitMs.
  explicit gitpathThread(const std::string& listing, DWORD waitLimitMs = 30000);

protected:
  void Execute() override;

private:
  void ShowGitDir();
  std::string listing_;
  DWORD waitLimitMs_;
  std::string GitDir;
};

// True once path can be opened with writers shut out: the console that
// writes it has closed it. Gives its lines then.
bool ReadWholeListing(const std::string& path, std::vector<std::string>& lines);
