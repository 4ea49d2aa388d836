#include "Unit6.h"

TForm6* Form6 = nullptr;

namespace {
// A small picture for the dialog: the program's icon on a soft background.
HBITMAP DrawAboutPicture() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 89, 65);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT r{0, 0, 89, 65};
  HBRUSH back = CreateSolidBrush(RGB(225, 235, 250));
  FillRect(dc, &r, back);
  DeleteObject(back);
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
  if (!icon) icon = LoadIconA(nullptr, IDI_APPLICATION);
  DrawIconEx(dc, 28, 16, icon, 32, 32, 0, nullptr, DI_NORMAL);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bmp;
}
}  // namespace

TForm6::TForm6() {
  Name = "Form6";
  SetCaption("关于");
  SetBorderStyle(cl::bsDialog);
  Position = cl::poOwnerFormCenter;
  SetClientSize(400, 250);
  Image1.Name = "Image1";
  Image1.SetBounds(12, 12, 89, 65);
  Image1.SetBitmap(DrawAboutPicture());
  LabeledEdit2.Name = "LabeledEdit2";
  LabeledEdit2.SetBounds(190, 30, 195, 20);
  LabeledEdit2.SetLabel("名称版本：");
  LabeledEdit2.SetReadOnly(true);
  LabeledEdit2.SetBorder(false);
  LabeledEdit2.SetText(std::string("Ostrivan 浏览器") + " Ver1.6");
  Label1.Name = "Label1";
  Label1.SetBounds(12, 88, 100, 16);
  Memo1.Name = "Memo1";
  Memo1.SetBounds(12, 106, 376, 84);
  Memo1.SetReadOnly(true);
  Memo1.SetVerticalScrollBar(true);
  Memo1.SetLines({"Ostrivan 浏览器", "识别2048+64格式的YAFF2 文件系统 IMG", "能够浏览提取IMG内容。"});
  Bevel1.Name = "Bevel1";
  Bevel1.SetBounds(12, 200, 376, 2);
  Button1.Name = "Button1";
  Button1.SetBounds(162, 212, 75, 25);
  Button1.SetDefault(true);
  Button1.OnClick = [this](cl::TControl*) { Button1Click(); };
}

void TForm6::Button1Click() { Close(); }
