#include "Unit3.h"

#include "Unit1.h"
#include "cl_dialogs.h"
#include "cl_strings.h"

TForm3* Form3 = nullptr;

TForm3::TForm3() {
  Name = "Form3";
  SetCaption("源码保存目录");
  SetBorderStyle(cl::bsDialog);
  Position = cl::poOwnerFormCenter;
  SetClientSize(424, 258);
  DriveComboBox1.Name = "DriveComboBox1";
  DriveComboBox1.SetBounds(8, 8, 408, 200);
  DriveComboBox1.DirList = &DirectoryListBox1;
  DirectoryListBox1.Name = "DirectoryListBox1";
  DirectoryListBox1.SetBounds(8, 36, 408, 150);
  Button3.Name = "Button3";
  Button3.SetBounds(8, 194, 90, 25);
  Edit1.Name = "Edit1";
  Edit1.SetBounds(106, 196, 310, 21);
  Edit1.SetReadOnly(true);
  Button1.Name = "Button1";
  Button1.SetBounds(250, 226, 75, 25);
  Button1.ModalResult = cl::mrOk;
  Button1.SetDefault(true);
  Button2.Name = "Button2";
  Button2.SetBounds(341, 226, 75, 25);
  Button2.ModalResult = cl::mrCancel;

  OnShow = [this] { FormShow(); };
  DirectoryListBox1.OnChange = [this](cl::TControl*) { DirectoryListBox1Change(); };
  DirectoryListBox1.OnClick = [this](cl::TControl*) { DirectoryListBox1Click(); };
  Button3.OnClick = [this](cl::TControl*) { Button3Click(); };
}

void TForm3::FormShow() {
  DirectoryListBox1.SetDirectory(Form1->LabeledEdit1.Text());
  DriveComboBox1.SetDrive(DirectoryListBox1.Drive());
  Edit1.SetText(DirectoryListBox1.Directory());
}

void TForm3::DirectoryListBox1Change() { Edit1.SetText(DirectoryListBox1.Directory()); }

void TForm3::DirectoryListBox1Click() {
  DirectoryListBox1.SetDirectory(DirectoryListBox1.ItemPath(DirectoryListBox1.ItemIndex()));
}

void TForm3::Button3Click() {
  std::string name = cl::InputBox("新建文件夹", "输入名称         ", "");
  if (name.empty()) return;
  if (cl::ForceDirectories(cl::IncludeTrailingBackslash(DirectoryListBox1.Directory()) + name)) {
    DirectoryListBox1.Update();
    DirectoryListBox1Change();
  } else {
    ShowNotice("输入有误！");
  }
}
