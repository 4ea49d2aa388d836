// A label that looks and acts like a link: blue, underlined, a hand cursor,
// and OnClick on a click.
#pragma once
#include <windows.h>
#include <string>

#include "cl_stdctrls.h"

namespace cl {

class TLinkLabel : public TLabel {
public:
  TLinkLabel(TWinControl* parent, const std::string& caption);
  ~TLinkLabel() override;
  const char* KindName() const override { return "TLinkLabel"; }
  COLORREF TextColor() const override { return RGB(0, 0, 255); }
  // Takes the face and size of font, underlined.
  void SetLinkFont(TFont& font);
  bool Underlined() const;
  bool OnCommand(WORD code) override;

private:
  static LRESULT CALLBACK LinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  WNDPROC oldProc_ = nullptr;
  HFONT underlined_ = nullptr;
};

}  // namespace cl
