#include "cl_menus.h"

namespace cl {

void TMenuItem::Click() {
  if (enabled_ && !separator_ && OnClick) OnClick();
}

TMenuItem& TPopupMenu::Add(const std::string& name, const std::string& caption) {
  items_.push_back(std::unique_ptr<TMenuItem>(new TMenuItem(nextId_++, false)));
  items_.back()->Name = name;
  items_.back()->Caption = caption;
  return *items_.back();
}

void TPopupMenu::AddSeparator() {
  items_.push_back(std::unique_ptr<TMenuItem>(new TMenuItem(nextId_++, true)));
  items_.back()->Caption = "-";
}

TMenuItem* TPopupMenu::Find(const std::string& name) {
  if (name.empty()) return nullptr;
  for (auto& item : items_)
    if (item->Name == name) return item.get();
  return nullptr;
}

void TPopupMenu::Popup(int screenX, int screenY, HWND owner) {
  if (OnPopup) OnPopup();
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  for (auto& item : items_) {
    if (item->separator_)
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuA(menu, MF_STRING | (item->enabled_ ? MF_ENABLED : MF_GRAYED), static_cast<UINT_PTR>(item->id_),
                  item->Caption.c_str());
  }
  // Without the owner in front the menu would not close when the user
  // clicks elsewhere.
  if (owner) SetForegroundWindow(owner);
  int chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN,
                                               screenX, screenY, 0, owner, nullptr));
  if (owner) PostMessageA(owner, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (chosen <= 0) return;
  TMenuItem* picked = nullptr;
  for (auto& item : items_)
    if (item->id_ == chosen) picked = item.get();
  if (picked) picked->Click();
}

}  // namespace cl
