#include "Unit7.h"

#include "model.h"

TForm7* Form7 = nullptr;

const char* DetectedEccText(uint8_t kind) {
  switch (kind) {
    case 1: return "yaffs2自带ECC";
    case 2: return "NAND FLASH ECC";
    default: return "无ECC或未知ECC";
  }
}

TForm7::TForm7() {
  Name = "Form7";
  SetCaption("存储参数");
  SetBorderStyle(cl::bsDialog);
  Position = cl::poOwnerFormCenter;
  SetClientSize(420, 330);
  Label1.Name = "Label1";
  Label1.SetBounds(16, 14, 120, 16);
  Label2.Name = "Label2";
  Label2.SetAutoSize(false);
  Label2.SetBounds(140, 14, 260, 16);
  RadioGroup1.Name = "RadioGroup1";
  RadioGroup1.SetBounds(16, 40, 388, 90);
  RadioGroup1.SetItems({"无ECC", "yaffs2自带ECC", "NAND FLASH ECC"});
  Label3.Name = "Label3";
  Label3.SetAutoSize(false);
  Label3.SetBounds(16, 138, 388, 52);
  RadioGroup2.Name = "RadioGroup2";
  RadioGroup2.SetBounds(16, 196, 388, 60);
  RadioGroup2.SetColumns(2);
  RadioGroup2.SetItems({"没有", "有"});
  Button1.Name = "Button1";
  Button1.SetBounds(110, 276, 80, 28);
  Button1.SetDefault(true);
  Button2.Name = "Button2";
  Button2.SetBounds(230, 276, 80, 28);
  for (cl::TControl* c : {static_cast<cl::TControl*>(&RadioGroup1), static_cast<cl::TControl*>(&Label3),
                          static_cast<cl::TControl*>(&RadioGroup2), static_cast<cl::TControl*>(&Button1),
                          static_cast<cl::TControl*>(&Button2)})
    c->SetFont(Font);
  Label1.SetFont(BoldFont);
  Label2.SetFont(BoldFont);
  Label3.SetFont(BoldFont);
  OnShow = [this] { FormShow(); };
  Button1.OnClick = [this](cl::TControl*) { Button1Click(); };
  Button2.OnClick = [this](cl::TControl*) { Button2Click(); };
}

void TForm7::FormShow() {
  ModalResult = cl::mrNone;
  Label2.SetCaption(DetectedEccText(DetectedEccKind));
  // Item 0 is always "no marker", item 1 "marker"; the one that matches the
  // opened image is worded as the current state and preselected.
  if (InputTagsOffset == 2048) {
    RadioGroup2.SetItems({"当前IMG没有 FFFF标志", "设置为 有 FFFF标志"});
    RadioGroup2.SetItemIndex(0);
  } else {
    RadioGroup2.SetItems({"设置为 没有 FFFF 标志", "当前IMG 有 FFFF 标志"});
    RadioGroup2.SetItemIndex(1);
  }
  RadioGroup1.SetItemIndex(DetectedEccKind);
  Label3.SetCaption(std::string("(如果只是做删除操作,选择(无ECC)项则原ECC不会改动。") + "\r" +
                    " 如果有修改操作,修改的内容部分将保存为无ECC" + "\r" + " 其它未修改部分ECC不变)");
}

void TForm7::Button1Click() {
  OutputTagsOffset = RadioGroup2.ItemIndex() == 0 ? 2048 : 2050;
  ModalResult = 11 + RadioGroup1.ItemIndex();
}

void TForm7::Button2Click() { ModalResult = cl::mrCancel; }
