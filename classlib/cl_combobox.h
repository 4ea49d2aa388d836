// Combo boxes: the editable one with a drop-down list, and the drive list
// bound to a folder list box.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "cl_control.h"

namespace cl {

class TDirectoryListBox;

// An editable combo box. OnChange runs when the user types or picks an item,
// never when the program sets the text or the items.
class TComboBox : public TControl {
public:
  explicit TComboBox(TWinControl* parent);
  const char* KindName() const override { return "TComboBox"; }
  std::string Text() const { return Caption(); }
  void SetText(const std::string& t) { SetCaption(t); }
  void AddItem(const std::string& item);
  void ClearItems();
  int ItemCount() const;
  std::string Item(int i) const;
  std::vector<std::string> Items() const;
  TNotifyEvent OnChange;
  bool OnCommand(WORD code) override;
};

// The drives of the system as a drop-down list ("c: ", "d: "...); picking a
// drive moves the bound folder list to that drive's root.
class TDriveComboBox : public TControl {
public:
  explicit TDriveComboBox(TWinControl* parent);
  const char* KindName() const override { return "TDriveComboBox"; }
  // The drive letter shown, lower case; 0 when none is.
  char Drive() const;
  void SetDrive(char letter);
  TDirectoryListBox* DirList = nullptr;
  TNotifyEvent OnChange;
  bool OnCommand(WORD code) override;

private:
  void Fill();
};

}  // namespace cl
