// A folder list box: the path to the current folder, one line per level,
// then the current folder's subfolders, indented below it.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "cl_control.h"

namespace cl {

class TDirectoryListBox : public TControl {
public:
  explicit TDirectoryListBox(TWinControl* parent);
  const char* KindName() const override { return "TDirectoryListBox"; }
  // The current folder, without a trailing "\" except at a drive root.
  const std::string& Directory() const { return dir_; }
  // Moves to path when it names a folder (false, nothing changes, otherwise);
  // OnChange runs when the folder changes.
  bool SetDirectory(const std::string& path);
  char Drive() const { return dir_.empty() ? 0 : dir_[0]; }
  // Reads the current folder's subfolders from the disk again.
  void Update();
  int ItemCount() const { return static_cast<int>(paths_.size()); }
  std::string ItemText(int i) const;
  // The full path of item i ("" out of range).
  std::string ItemPath(int i) const;
  int ItemIndex() const;
  void SetItemIndex(int i);
  // A double click opens the item by itself; OnClick runs on every change of
  // the selected item, as a single click makes.
  TNotifyEvent OnChange;
  bool OnCommand(WORD code) override;

private:
  void Fill();
  std::string dir_;
  std::vector<std::string> paths_;
};

}  // namespace cl
