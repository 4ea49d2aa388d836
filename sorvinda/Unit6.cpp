#include "Unit6.h"

TForm6* Form6 = nullptr;

const char* const kHelpLines[18] = {
    "使用本工具要先安装windows版本git,可到以下下载：",
    "https://git-scm.com/download/win",
    "选择Git-1.7.3.1-preview20101002.exe",
    "1，启动程序后。",
    "2，设置git的安装路径，及源代码保存目录",
    "3，先初始化。",
    "4，初始化成功后，选择android版本，及linux内核版本,按 开始更新下载",
    "，中途如果网络出错导致下出错，程序可自动从中断处重试下载，如果下",
    "载长时卡住可按Ctrl+c（出现'y/n'选'y'）中断，然后重新 按 开始更新",
    "下载，程序会检测重新从中断处开始下载。",
    "5，下载完成后，选择linux内核版本号后按切换，可提取相应linux内核版",
    "本的源码",
    "",
    "   为了加快下载，只下载相应选择的android版本源码。linux内核则全拉",
    "下来，自已选择linux内核版本号后按切换，可提取相应linux内核版本的",
    "源码，按3步骤操作。源码保存目录内,有initdir目录是下载时初始化数据",
    "，下载完后，如果不再使用本工具管理源代码，可删除。",
    "clone_result.log为下载记录文件可删除。",
};

namespace {
// The dialog's picture: a folder-and-arrow sketch on a soft background.
HBITMAP DrawHelpPicture() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 96, 96);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT r{0, 0, 96, 96};
  HBRUSH back = CreateSolidBrush(RGB(225, 235, 250));
  FillRect(dc, &r, back);
  DeleteObject(back);
  HBRUSH folder = CreateSolidBrush(RGB(240, 200, 90));
  RECT tab{18, 30, 44, 38}, body{18, 36, 78, 74};
  FillRect(dc, &tab, folder);
  FillRect(dc, &body, folder);
  DeleteObject(folder);
  HPEN pen = CreatePen(PS_SOLID, 4, RGB(40, 90, 200));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  MoveToEx(dc, 48, 10, nullptr);
  LineTo(dc, 48, 56);
  MoveToEx(dc, 36, 44, nullptr);
  LineTo(dc, 48, 56);
  LineTo(dc, 60, 44);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bmp;
}
}  // namespace

TForm6::TForm6() {
  Name = "Form6";
  SetCaption("关于帮助");
  SetBorderStyle(cl::bsDialog);
  Position = cl::poOwnerFormCenter;
  SetClientSize(516, 396);
  Image1.Name = "Image1";
  Image1.SetBounds(12, 12, 96, 96);
  Image1.SetBitmap(DrawHelpPicture());
  struct Field {
    cl::TLabeledEdit* edit;
    const char* name;
    const char* label;
    const char* text;
  };
  const Field fields[] = {{&LabeledEdit1, "LabeledEdit1", "名称：", "Sorvinda ver 1.3"},
                          {&LabeledEdit2, "LabeledEdit2", "作者：", "Sorvinda 开发组"},
                          {&LabeledEdit3, "LabeledEdit3", "联系：", "见随程序发布的说明文件"}};
  int top = 22;
  for (const Field& f : fields) {
    f.edit->Name = f.name;
    f.edit->SetBounds(190, top, 300, 20);
    f.edit->SetLabel(f.label);
    f.edit->SetReadOnly(true);
    f.edit->SetBorder(false);
    f.edit->SetText(f.text);
    top += 30;
  }
  Panel1.Name = "Panel1";
  Panel1.SetBevelOuter(cl::bvNone);
  Panel1.SetBounds(12, 120, 492, 230);
  Memo1.Name = "Memo1";
  Memo1.SetAlign(cl::alClient);
  Memo1.SetFont(MemoFont);
  Memo1.TextColor = RGB(0, 0, 255);
  Memo1.SetReadOnly(true);
  Memo1.SetVerticalScrollBar(true);
  Memo1.SetLines(std::vector<std::string>(kHelpLines, kHelpLines + 18));
  Button1.Name = "Button1";
  Button1.SetBounds(220, 361, 75, 25);
  Button1.SetDefault(true);
  Button1.OnClick = [this](cl::TControl*) { Button1Click(); };
}

void TForm6::Button1Click() { Close(); }
