// The program's one tooltip control. Every control whose ShowHint is on has
// a tool in it that covers the control's window and shows its hint while the
// mouse rests there. (Tool bar buttons keep the tooltips of their bars.)
#pragma once
#include <windows.h>

#include <string>

namespace cl {

class THintWindow {
public:
  THintWindow() = default;
  THintWindow(const THintWindow&) = delete;
  THintWindow& operator=(const THintWindow&) = delete;
  ~THintWindow();

  // Adds control's tool, or gives it the new text. An empty text keeps the
  // tool but shows nothing.
  void SetTool(HWND control, const std::string& text);
  void RemoveTool(HWND control);
  // The text the tooltip holds for control's tool; false when it has none.
  bool ToolText(HWND control, std::string& text) const;
  // The tooltip window; null until the first tool is added.
  HWND Handle() const { return tip_; }

private:
  bool Ensure();
  HWND tip_ = nullptr;
};

}  // namespace cl
