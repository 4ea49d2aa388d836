#include "Unit5.h"

#include <shellapi.h>

#include "Unit1.h"

TForm5* Form5 = nullptr;

namespace {
// A 32 by 32 bitmap of one icon of list on the dialog's face colour.
HBITMAP IconBitmap(HIMAGELIST list, int index) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 32, 32);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT r{0, 0, 32, 32};
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  bool drawn = ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL) != FALSE;
  SelectObject(dc, old);
  DeleteDC(dc);
  if (!drawn) {
    DeleteObject(bmp);
    return nullptr;
  }
  return bmp;
}
}  // namespace

HIMAGELIST SystemLargeIcons(HICON* released) {
  SHFILEINFOA info{};
  std::string folder = TempDir() + "yaffs";
  auto list = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(folder.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_ICON));
  if (info.hIcon) DestroyIcon(info.hIcon);
  if (released) *released = info.hIcon;
  return list;
}

TForm5::TForm5() : TabSheet1(PageControl1.AddPage("常规")) {
  Name = "Form5";
  SetCaption("属性");
  SetBorderStyle(cl::bsDialog);
  Position = cl::poOwnerFormCenter;
  SetClientSize(345, 365);
  PageControl1.Name = "PageControl1";
  PageControl1.SetBounds(8, 8, 329, 313);
  Image1.Name = "Image1";
  Image1.SetBounds(16, 12, 32, 32);
  Edit1.Name = "Edit1";
  Edit1.SetBounds(72, 18, 225, 21);
  Edit1.SetReadOnly(true);
  Bevel1.Name = "Bevel1";
  Bevel1.SetBounds(12, 56, 297, 2);
  int top = 70;
  for (auto row : {std::make_pair(&Label1, &filetype), std::make_pair(&Label3, &filesize),
                   std::make_pair(&Label2, &filectime)}) {
    row.first->SetBounds(16, top, 64, 16);
    row.second->SetBounds(84, top, 225, 16);
    top += 26;
  }
  Bevel2.Name = "Bevel2";
  Bevel2.SetBounds(12, top + 2, 297, 2);
  top += 16;
  for (auto row : {std::make_pair(&Label4, &fileuid), std::make_pair(&Label6, &filegid)}) {
    row.first->SetBounds(16, top, 64, 16);
    row.second->SetBounds(84, top, 225, 16);
    top += 26;
  }
  Label5.SetBounds(16, top, 64, 16);
  Label7.SetAutoSize(false);
  Label7.SetBounds(84, top, 225, 49);
  const std::pair<cl::TControl*, const char*> names[] = {
      {&Label1, "Label1"},     {&filetype, "filetype"}, {&Label3, "Label3"},       {&filesize, "filesize"},
      {&Label2, "Label2"},     {&filectime, "filectime"}, {&Label4, "Label4"},     {&fileuid, "fileuid"},
      {&Label6, "Label6"},     {&filegid, "filegid"},   {&Label5, "Label5"},       {&Label7, "Label7"}};
  for (const auto& n : names) n.first->Name = n.second;
  Button1.Name = "Button1";
  Button1.SetBounds(262, 331, 75, 25);
  Button1.OnClick = [this](cl::TControl*) { Button1Click(); };
  OnShow = [this] { FormShow(); };
}

void TForm5::FormShow() {
  ImageList1 = SystemLargeIcons();
  std::string key = Image1.Tag == 3 ? "dir" : IconKey(Edit1.Text());
  // A name added or renamed since the scan has no probe yet: make it now, or
  // the lookup would answer with whatever it answered last.
  int index = GetSystemIconIndex(IconProbeFor(key));
  if (!ImageList1) return;
  if (HBITMAP bmp = IconBitmap(ImageList1, index)) Image1.SetBitmap(bmp);
}

void TForm5::Button1Click() { Close(); }
