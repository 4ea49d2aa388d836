// Popup menus built from a list of items each time they open.
#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cl {

class TMenuItem {
public:
  TMenuItem(const TMenuItem&) = delete;
  TMenuItem& operator=(const TMenuItem&) = delete;
  std::string Name, Caption;
  bool IsSeparator() const { return separator_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e) { enabled_ = e; }
  std::function<void()> OnClick;
  // Runs OnClick, but only for an enabled item.
  void Click();
  int CommandId() const { return id_; }

private:
  TMenuItem(int id, bool separator) : id_(id), separator_(separator) {}
  int id_;
  bool separator_;
  bool enabled_ = true;
  friend class TPopupMenu;
};

// Captions are shown as given: no hot keys are added.
class TPopupMenu {
public:
  TPopupMenu() = default;
  TPopupMenu(const TPopupMenu&) = delete;
  TPopupMenu& operator=(const TPopupMenu&) = delete;
  TMenuItem& Add(const std::string& name, const std::string& caption);
  void AddSeparator();
  const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return items_; }
  TMenuItem* Find(const std::string& name);
  std::function<void()> OnPopup;
  // Runs OnPopup, shows the menu at the screen point and runs the chosen
  // item's Click once the menu has closed.
  void Popup(int screenX, int screenY, HWND owner);

private:
  std::vector<std::unique_ptr<TMenuItem>> items_;
  int nextId_ = 1;
};

}  // namespace cl
