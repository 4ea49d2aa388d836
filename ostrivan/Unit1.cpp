#include "Unit1.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <initializer_list>

#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"
#include "addfilefun.h"
#include "entrytext.h"
#include "imgout.h"

TForm1* Form1 = nullptr;
RECT ProgressRect = {0, 0, 0, 0};

int CurrentFolderId() { return Form1 ? Form1->ListView1.Tag : 0; }

namespace {

const COLORREF kMaskColor = RGB(255, 0, 255);

// Adding and a new folder write through the WorkFile: when the scan could not
// make it they say so and do nothing. The rebuild needs it only for added
// objects, and without it there are none.
bool WorkFileRefused() {
  if (WorkView) return false;
  ShowFailure(WorkFileFailedText);
  return true;
}

// Tool bar and tree pictures are drawn here rather than shipped as files.
enum class Picture { Open, Extract, ExportAll, Save, About, Up, Folder, Object };

HBITMAP DrawPicture(Picture what, int size) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  RECT all{0, 0, size, size};
  HBRUSH mask = CreateSolidBrush(kMaskColor);
  FillRect(dc, &all, mask);
  DeleteObject(mask);
  auto s = [size](int v) { return v * size / 32; };
  HPEN pen = CreatePen(PS_SOLID, size >= 32 ? 2 : 1, RGB(60, 60, 60));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  // Runs draw with a solid brush of colour c selected.
  auto filled = [&](COLORREF c, auto draw) {
    HBRUSH brush = CreateSolidBrush(c);
    HGDIOBJ old = SelectObject(dc, brush);
    draw();
    SelectObject(dc, old);
    DeleteObject(brush);
  };
  auto polygon = [&](std::initializer_list<POINT> points, COLORREF c) {
    filled(c, [&] { Polygon(dc, points.begin(), static_cast<int>(points.size())); });
  };
  auto folder = [&](int x, int y, int w, int h, COLORREF c) {
    polygon({{x, y + s(4)}, {x + w / 3, y + s(4)}, {x + w / 3 + s(3), y + s(7)}, {x + w, y + s(7)}, {x + w, y + h},
             {x, y + h}},
            c);
  };
  // An upward or downward arrow on the line x = cx between top and bottom.
  auto arrow = [&](int cx, int top, int bottom, bool up, COLORREF c) {
    int w = s(6), head = up ? top : bottom, tail = up ? bottom : top, d = up ? 2 * w : -2 * w;
    polygon({{cx, head}, {cx + 2 * w, head + d}, {cx + w / 2, head + d}, {cx + w / 2, tail}, {cx - w / 2, tail},
             {cx - w / 2, head + d}, {cx - 2 * w, head + d}},
            c);
  };
  auto box = [&](int l, int t, int r, int b, COLORREF c) { filled(c, [&] { Rectangle(dc, l, t, r, b); }); };
  switch (what) {
    case Picture::Open:
      folder(s(2), s(6), s(28), s(22), RGB(250, 200, 70));
      box(s(10), s(16), s(24), s(26), RGB(90, 150, 230));
      break;
    case Picture::Extract:
      box(s(4), s(16), s(28), s(30), RGB(250, 200, 70));
      arrow(s(16), s(2), s(22), false, RGB(40, 160, 60));
      break;
    case Picture::ExportAll:
      box(s(2), s(18), s(18), s(30), RGB(250, 200, 70));
      box(s(14), s(18), s(30), s(30), RGB(250, 200, 70));
      arrow(s(16), s(2), s(20), false, RGB(40, 160, 60));
      break;
    case Picture::Save:
      box(s(4), s(4), s(28), s(28), RGB(70, 110, 200));
      box(s(9), s(5), s(23), s(13), RGB(240, 240, 240));
      box(s(9), s(18), s(23), s(27), RGB(200, 200, 200));
      break;
    case Picture::About:
      filled(RGB(70, 130, 220), [&] { Ellipse(dc, s(3), s(3), s(29), s(29)); });
      box(s(14), s(13), s(18), s(24), RGB(255, 255, 255));
      box(s(14), s(7), s(18), s(11), RGB(255, 255, 255));
      break;
    case Picture::Up:
      folder(s(2), s(10), s(28), s(20), RGB(250, 200, 70));
      arrow(s(16), s(1), s(24), true, RGB(40, 160, 60));
      break;
    case Picture::Folder:
      folder(s(2), s(4), s(28), s(24), RGB(250, 200, 70));
      break;
    case Picture::Object:
      polygon({{s(7), s(3)}, {s(19), s(3)}, {s(26), s(10)}, {s(26), s(29)}, {s(7), s(29)}}, RGB(255, 255, 255));
      break;
  }
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, oldBmp);
  DeleteDC(dc);
  return bmp;
}

}  // namespace

void TForm1::BuildImages() {
  for (Picture p : {Picture::Open, Picture::Extract, Picture::ExportAll, Picture::Save, Picture::About,
                    Picture::Up}) {
    HBITMAP b = DrawPicture(p, 32);
    ImageList2.AddBitmap(b, kMaskColor);
    DeleteObject(b);
  }
  for (Picture p : {Picture::Folder, Picture::Object}) {
    HBITMAP b = DrawPicture(p, 16);
    ImageList3.AddBitmap(b, kMaskColor);
    DeleteObject(b);
  }
}

TForm1::TForm1() {
  Name = "Form1";
  SetCaption("Ostrivan 浏览器");
  SetBounds(0, 0, 931, 569);
  BuildImages();

  Panel1.Name = "Panel1";
  Panel1.SetBevelOuter(cl::bvNone);
  Panel1.SetHeight(60);
  Panel1.SetAlign(cl::alTop);
  Edit1.Name = "Edit1";
  Edit1.SetReadOnly(true);
  Edit1.SetVisible(false);
  CoolBar1.Name = "CoolBar1";
  CoolBar1.SetAlign(cl::alClient);
  for (cl::TToolBar* bar : {&ToolBar3, &ToolBar2}) {
    bar->SetImages(&ImageList2);
    bar->SetShowCaptions(true);
    bar->SetButtonSize(90, 51);
  }
  ToolBar3.Name = "ToolBar3";
  ToolButton10 = &ToolBar3.AddButton("ToolButton10", "选取 yaffs2 IMG", 0);
  ToolBar2.Name = "ToolBar2";
  ToolButton6 = &ToolBar2.AddButton("ToolButton6", "提取选中", 1);
  ToolButton7 = &ToolBar2.AddButton("ToolButton7", "全部导出", 2);
  ToolButton5 = &ToolBar2.AddButton("ToolButton5", "整理另存", 3);
  ToolButton8 = &ToolBar2.AddButton("ToolButton8", "关于", 4);
  CoolBar1.AddBand(&ToolBar3, 110, 57);
  CoolBar1.AddBand(&ToolBar2, 380, 57);

  Panel2.Name = "Panel2";
  Panel2.SetBevelOuter(cl::bvLowered);
  Panel2.SetAlign(cl::alClient);
  StatusBar1.Name = "StatusBar1";
  StatusBar1.SetHeight(17);
  StatusBar1.SetAlign(cl::alBottom);
  StatusBar1.AddPanel(50, "IMG名称");
  StatusBar1.AddPanel(100, "");
  StatusBar1.AddPanel(50, "IMG大小");
  StatusBar1.AddPanel(80, "");
  StatusBar1.AddPanel(120, "");
  StatusBar1.AddPanel(50, "", true);
  // Resting the mouse on the bar shows the image path and the marker note.
  StatusBar1.SetShowHint(true);
  TreeView1.Name = "TreeView1";
  TreeView1.SetWidth(168);
  TreeView1.SetAlign(cl::alLeft);
  TreeView1.SetImages(ImageList3.Handle());
  TreeView1.SetIndent(20);
  Splitter1.Name = "Splitter1";
  Splitter1.SetWidth(3);
  Splitter1.SetAlign(cl::alLeft);
  Panel3.Name = "Panel3";
  Panel3.SetBevelOuter(cl::bvNone);
  Panel3.SetAlign(cl::alClient);
  Panel4.Name = "Panel4";
  Panel4.SetBevelOuter(cl::bvNone);
  Panel4.SetHeight(38);
  Panel4.SetAlign(cl::alTop);
  ToolBar1.Name = "ToolBar1";
  ToolBar1.SetImages(&ImageList2);
  ToolBar1.SetShowCaptions(false);
  ToolBar1.SetButtonSize(38, 38);
  ToolBar1.SetWidth(124);
  ToolBar1.SetAlign(cl::alLeft);
  ToolButton1 = &ToolBar1.AddButton("ToolButton1", "向上", 5);
  ToolButton2 = &ToolBar1.AddButton("ToolButton2", "提取选中", 1);
  ToolButton3 = &ToolBar1.AddButton("ToolButton3", "全部导出", 2);
  Panel5.Name = "Panel5";
  Panel5.SetBevelOuter(cl::bvNone);
  Panel5.SetAlign(cl::alClient);
  ToolBar4.Name = "ToolBar4";
  ToolBar4.SetBevelOuter(cl::bvNone);
  ToolBar4.SetHeight(26);
  ToolBar4.SetAlign(cl::alBottom);
  Label1.Name = "Label1";
  Label1.SetBounds(4, 6, 40, 16);
  Edit2.Name = "Edit2";
  Edit2.SetReadOnly(true);
  Edit2.SetAlign(cl::alNone);
  Edit2.SetBounds(46, 2, 600, 21);
  Button1.Name = "Button1";
  Button1.SetBounds(8, 48, 113, 41);
  ListView1.Name = "ListView1";
  ListView1.SetAlign(cl::alClient);
  // The trigger button lies under the list: the user never sees it.
  SetWindowPos(Button1.Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  N1 = &PopupMenu1.Add("N1", "打开");
  PopupMenu1.AddSeparator();
  outfileok = &PopupMenu1.Add("outfileok", "提取选择");
  outfileallok = &PopupMenu1.Add("outfileallok", "全部导出");
  PopupMenu1.AddSeparator();
  newdirok = &PopupMenu1.Add("newdirok", "新建目录");
  addfileok = &PopupMenu1.Add("addfileok", "添加文件");
  adddirok = &PopupMenu1.Add("adddirok", "添加目录");
  filedel = &PopupMenu1.Add("filedel", "删除");
  PopupMenu1.AddSeparator();
  N5 = &PopupMenu1.Add("N5", "刷新");
  PopupMenu1.AddSeparator();
  N6 = &PopupMenu1.Add("N6", "重命名");
  N7 = &PopupMenu1.Add("N7", "权限修改");
  UID1 = &PopupMenu1.Add("UID1", "UID修改");
  GID1 = &PopupMenu1.Add("GID1", "GID修改");
  PopupMenu1.AddSeparator();
  N3 = &PopupMenu1.Add("N3", "属性");

  // Commands that need a selected entry start disabled.
  for (cl::TToolButton* b : {ToolButton6, ToolButton2}) b->SetEnabled(false);
  for (cl::TMenuItem* m : {N1, outfileok, filedel, N6, N7, UID1, GID1, N3}) m->SetEnabled(false);

  // Handlers, in one place.
  ToolButton10->OnClick = [this] { ToolButton10Click(); };
  ToolButton6->OnClick = [this] { ToolButton6Click(); };
  ToolButton7->OnClick = [this] { ToolButton7Click(); };
  ToolButton5->OnClick = [this] { ToolButton5Click(); };
  ToolButton8->OnClick = [this] { ToolButton8Click(); };
  ToolButton1->OnClick = [this] { ToolButton1Click(); };
  ToolButton2->OnClick = [this] { ToolButton2Click(); };
  ToolButton3->OnClick = [this] { ToolButton3Click(); };
  N1->OnClick = [this] { N1Click(); };
  outfileok->OnClick = [this] { outfileokClick(); };
  outfileallok->OnClick = [this] { outfileallokClick(); };
  newdirok->OnClick = [this] { newdirokClick(); };
  addfileok->OnClick = [this] { addfileokClick(); };
  adddirok->OnClick = [this] { adddirokClick(); };
  filedel->OnClick = [this] { filedelClick(); };
  N5->OnClick = [this] { N5Click(); };
  N6->OnClick = [this] { N6Click(); };
  N7->OnClick = [this] { N7Click(); };
  UID1->OnClick = [this] { UID1Click(); };
  GID1->OnClick = [this] { GID1Click(); };
  N3->OnClick = [this] { N3Click(N3); };
  Button1.OnClick = [this](cl::TControl*) { Button1Click(); };
  PopupMenu1.OnPopup = [this] { PopupMenu1Popup(); };
  StatusBar1.OnDrawPanel = [this](cl::TStatusBar* bar, int panel, const RECT& r, cl::TCanvas& c) {
    StatusBar1DrawPanel(bar, panel, r, c);
  };
  TreeView1.OnChange = [this](cl::TTreeNode* node) { TreeView1Change(node); };
  ListView1.OnChange = [this](cl::TListItem* item, cl::TItemChange change) { ListView1Change(item, change); };
  ListView1.OnExit = [this](cl::TControl*) { ListView1Exit(); };
  ListView1.OnDblClick = [this](cl::TControl*) { ListView1DblClick(); };
  ListView1.OnResize = [this](cl::TControl*) { ListView1Resize(); };
  ListView1.OnContextPopup = [this](int x, int y) { PopupMenu1.Popup(x, y, Handle()); };
  OnClose = [this](cl::TCloseAction& action) { FormClose(action); };
  OnDestroy = [this] { FormDestroy(); };

  OpenDialog1.Owner = Handle();
  OpenDialog2.Owner = Handle();
  OpenDialog2.MultiSelect = true;
  SaveDialog1.Owner = Handle();

  Realign();
  FormCreate();
}

TForm1::~TForm1() {
  DestroyForm();
  // A worker still running when the window goes (the program ends without
  // closing it) is let go, not freed under its feet.
  for (auto& w : workers_)
    if (!w->Finished()) w.release();
}

void TForm1::FormCreate() {
  NodeTable = AllocNodeTable(kNodeTableEntries);
  std::string probes = TempDir() + "yaffs\\";
  if (!cl::PathExists(probes)) SHCreateDirectoryExA(nullptr, probes.c_str(), nullptr);
  SetCaption(Caption() + " Ver" + "1.6");
}

void TForm1::StartWorker(std::unique_ptr<cl::TThread> worker) {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if ((*it)->Finished()) {
      (*it)->WaitFor();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
  workers_.push_back(std::move(worker));
  workers_.back()->Start();
}

bool TForm1::WorkerRunning() const {
  return std::any_of(workers_.begin(), workers_.end(),
                     [](const std::unique_ptr<cl::TThread>& w) { return !w->Finished(); });
}

void TForm1::FormClose(cl::TCloseAction& action) {
  if (Modified != 0) {
    int answer = cl::MessageBox(cl::Application.Handle(), "放弃修改！", "提示", MB_YESNO | MB_ICONINFORMATION);
    if (answer == IDNO) {
      action = cl::caNone;
      return;
    }
  }
  // A worker reads the mappings and the NodeTable that destruction frees:
  // let it finish first (its synchronised calls keep being served).
  cl::Application.RunUntil([this] { return !WorkerRunning(); });
  Tag = 1;
}

void TForm1::FormDestroy() {
  ReleaseImage();
  ReleaseWorkFile();
  FreeNodeTable();
  ListView1.SetLargeImages(nullptr);
  if (!WorkFileName.empty()) {
    std::string path = ProgramDir() + WorkFileName;
    if (cl::PathExists(path)) DeleteFileA(path.c_str());
  }
}

void TForm1::StatusBar1DrawPanel(cl::TStatusBar* bar, int panel, const RECT& rect, cl::TCanvas& canvas) {
  if (panel != 5) return;
  ProgressRect = rect;
  ProgressRect.right -= 15;
  canvas.TextOut(rect.left, rect.top, bar->PanelText(panel));
}

void TForm1::ListView1Change(cl::TListItem* item, cl::TItemChange change) {
  cl::TToolButton* buttons[] = {ToolButton2, ToolButton6};
  cl::TMenuItem* items[] = {N1, outfileok, N3, filedel, N6, N7, UID1, GID1};
  if (ListView1.Count() > 0 && ListView1.ItemIndex() >= 0) {
    for (auto* b : buttons) b->SetEnabled(true);
    for (auto* m : items) m->SetEnabled(true);
    N3Click(&ListView1);
    bool folder = item && item->SubItems().size() > 1 && item->SubItems()[1] == "3";
    N1->SetEnabled(folder);
  } else {
    for (auto* b : buttons) b->SetEnabled(false);
    for (auto* m : items) m->SetEnabled(false);
  }
}

void TForm1::ListView1Exit() {
  ToolButton2->SetEnabled(false);
  ToolButton6->SetEnabled(false);
}

void TForm1::PopupMenu1Popup() {
  bool image = !Edit1.Text().empty();
  for (cl::TMenuItem* m : {addfileok, adddirok, newdirok, outfileallok}) m->SetEnabled(image);
  if (!image)
    for (cl::TMenuItem* m : {outfileok, N6, N7, UID1, GID1}) m->SetEnabled(false);
}

void TForm1::N5Click() {
  ListView1.CustomSort([this](cl::TListItem* a, cl::TListItem* b, intptr_t d) { return ListView1Compare(a, b, d); },
                       0);
}

void TForm1::ToolButton8Click() { Form6->ShowModal(); }

void TForm1::Button1Click() { Form4->ShowModal(); }

// Commands that the following units fill in.
// The open command: a fresh tree with the root "/" and the parking node, the
// image mapped, and the reader started; the open button and the tree wait for
// the end of the scan.
void TForm1::ToolButton10Click() {
  if (ScanRunning) return;
  OpenDialog1.Title = "请选择 YAFFS2 IMG（文件系统镜像）";
  OpenDialog1.Filter = "*.*|*.*";
  if (!OpenDialog1.Execute()) return;
  if (Modified != 0) {
    if (cl::MessageBox(cl::Application.Handle(), "放弃修改！", "提示", MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
    Modified = 0;
  }
  std::string path = OpenDialog1.FileName;
  ScanRunning = true;
  TreeView1.Clear();
  ListView1.Clear();
  Edit2.SetText("");
  StatusBar1.SetHint("");
  AllocNodeTable(kNodeTableEntries);
  cl::TTreeNode* root = TreeView1.AddChildObject(nullptr, "/", new ObjectRecord(DefaultRootRecord()));
  root->SetImageIndex(0);
  root->SetSelectedIndex(0);
  ParkingNode = TreeView1.AddChild(root, "publictempnode");
  SetRootNode(NodeTable, root);
  ToolButton10->SetEnabled(false);
  TreeView1.SetEnabled(false);

  Edit1.SetText(path);
  ImageStatusTexts status;
  ImageView = OpenImageFile(path, status);
  if (!status.fileName.empty()) StatusBar1.SetPanelText(1, status.fileName);
  if (!status.sizeText.empty()) StatusBar1.SetPanelText(3, status.sizeText);
  StatusBar1.SetHint(status.hint);
  if (!ImageView) {
    cl::MessageBox(cl::Application.Handle(), "无法打开选定的IMG文件！,可能其它程序正在使用。", "提示",
                   MB_OK | MB_ICONINFORMATION);
    TreeView1.Clear();
    ListView1.Clear();
    StatusBar1.SetPanelText(4, "");
    ParkingNode = nullptr;
    if (NodeTable) NodeTable[RootObjectId] = NodeEntry{0, NoPage, NoNode};
    ListView1.Tag = 0;
    Edit1.SetText("");
    ToolButton10->SetEnabled(true);
    TreeView1.SetEnabled(true);
    ScanRunning = false;
    return;
  }
  StartWorker(std::make_unique<readfileThread>());
}
void TForm1::ToolButton6Click() { outfileokClick(); }
void TForm1::ToolButton7Click() { outfileallokClick(); }
void TForm1::ToolButton5Click() {
  if (Edit2.Text().empty()) return;
  int r = Form7->ShowModal();
  if ((r & 0xFF) < 11) return;
  OutputEccKind = static_cast<uint8_t>(r - 11);
  SaveDialog1.Title = "YAFFS2 IMG（文件系统镜像） 另存为";
  SaveDialog1.Filter = "*.img|*.img|*.*|*.*";
  SaveDialog1.DefaultExt = "img";
  if (!SaveDialog1.Execute()) return;
  const uint8_t modifiedBefore = Modified;
  Modified = 0;
  StartWorker(std::make_unique<imgoutThread>(SaveDialog1.FileName, modifiedBefore));
}
void TForm1::ToolButton2Click() { outfileokClick(); }
void TForm1::ToolButton3Click() { outfileallokClick(); }
void TForm1::outfileokClick() { ExtractSelection(); }

void TForm1::outfileallokClick() {
  if (Edit2.Text().empty() || TreeView1.Count() == 0) return;
  std::vector<std::string> ids;
  // Only the children of "/": top-level nodes whose parent was never found stay out.
  for (cl::TTreeNode* child : TreeView1.GetFirstNode()->Children())
    if (const ObjectRecord* r = RecordOf(child)) ids.push_back(std::to_string(IdKey(r->ObjectId)));
  std::string folder;
  if (cl::BrowseForFolder(Handle(), "请选择存放目录", folder)) StartExtract(folder, ids);
}

void TForm1::ExtractSelection() {
  if (ListView1.Count() == 0 || ListView1.ItemIndex() < 0) return;
  std::vector<std::string> ids;
  for (int i = 0; i < ListView1.Count(); ++i) {
    cl::TListItem* item = ListView1.Item(i);
    if (item->Selected() && !item->SubItems().empty()) ids.push_back(item->SubItems()[0]);
  }
  std::string folder;
  if (cl::BrowseForFolder(Handle(), "请选择存放目录", folder)) StartExtract(folder, ids);
}

void TForm1::StartExtract(const std::string& destination, const std::vector<std::string>& ids) {
  StartWorker(std::make_unique<outfileThread>(destination, ids));
}
// "添加文件": host files into the folder shown.
void TForm1::addfileokClick() {
  if (Edit2.Text().empty() || WorkFileRefused()) return;
  OpenDialog2.Title.clear();
  OpenDialog2.Filter = "*.*|*.*";
  if (!OpenDialog2.Execute() || OpenDialog2.Files.empty()) return;
  const uint16_t folderId = static_cast<uint16_t>(CurrentFolderId());
  if (!NodeOf(NodeTable, folderId)) return;
  Modified = 1;
  StartWorker(std::make_unique<addfilefunThread>(OpenDialog2.Files, "", folderId, false));
}

// "添加目录": a host folder with everything below it into the folder shown.
void TForm1::adddirokClick() {
  if (Edit2.Text().empty() || WorkFileRefused()) return;
  std::string path;
  if (!cl::BrowseForFolder(Handle(), "请选择存放目录", path)) return;
  const uint16_t folderId = static_cast<uint16_t>(CurrentFolderId());
  cl::TTreeNode* folder = NodeOf(NodeTable, folderId);
  if (!folder) return;
  if (ChildNamed(folder, HostFolderName(path))) {
    cl::MessageBox(cl::Application.Handle(), "目录已存在!", "提示", MB_OK | MB_ICONINFORMATION);
    return;
  }
  Modified = 1;
  StartWorker(std::make_unique<addfilefunThread>(std::vector<std::string>{path}, "*.*", folderId, false));
}

// ---- Folder view and icons -------------------------------------------------------

bool ScanRunning = false;

namespace {

// The one shell information record of the interface thread's icon lookups.
SHFILEINFOA iconInfo;

// The probe an entry's icon is asked from: its own, made now when the scan did
// not make it (names added or renamed since); the "null" probe when the key
// cannot be a file name or its file cannot be made.
std::string ProbeFor(const std::string& key) {
  if (key == "dir") {
    MakeIconProbe(0, key);
    return IconProbePath(key);
  }
  if (IconProbeKeyUsable(key)) {
    MakeIconProbe(1, key);
    std::string path = IconProbePath(key);
    if (cl::FileExists(path)) return path;
  }
  MakeIconProbe(1, "null");
  return IconProbePath("null");
}

// The node of the list's first selected entry, found through its id; null
// when nothing is selected or the id has no node.
cl::TTreeNode* SelectedEntryNode(const cl::TListView& list) {
  if (list.Count() == 0 || list.ItemIndex() < 0) return nullptr;
  uint16_t id = 0;
  return EntryId(list.Item(list.ItemIndex()), id) ? NodeOf(NodeTable, id) : nullptr;
}

}  // namespace

std::string IconProbePath(const std::string& key) { return TempDir() + "yaffs\\" + key; }

std::string IconProbeFor(const std::string& key) { return ProbeFor(key); }

bool IconProbeKeyUsable(const std::string& key) {
  if (key.empty()) return false;
  size_t chars = 0;
  size_t firstDot = std::string::npos;
  for (size_t i = 0; i < key.size(); i += cl::CharBytes(key, i), ++chars) {
    unsigned char c = static_cast<unsigned char>(key[i]);
    if (cl::CharBytes(key, i) == 2) continue;
    if (c < 0x20 || std::string("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string::npos) return false;
    if (c == '.' && firstDot == std::string::npos) firstDot = i;
  }
  // Trail bytes lie above 0x3F, so the last byte is a dot or blank only when
  // the last character is.
  if (chars > 255 || key.back() == '.' || key.back() == ' ') return false;
  return !cl::IsDeviceName(key.substr(0, firstDot));
}

std::string IconKey(const std::string& ansiName, bool folder) {
  if (folder) return "dir";
  // The last of ".", "\" and ":", reading double-byte characters whole: a
  // trail byte may equal "\".
  size_t last = std::string::npos;
  for (size_t i = 0; i < ansiName.size(); i += cl::CharBytes(ansiName, i))
    if (cl::CharBytes(ansiName, i) == 1 && (ansiName[i] == '.' || ansiName[i] == '\\' || ansiName[i] == ':')) last = i;
  if (last == std::string::npos || ansiName[last] != '.') return "null";
  std::string ext = ansiName.substr(last + 1);
  std::string key = ext + "." + ext;
  return IconProbeKeyUsable(key) ? key : "null";
}

void MakeIconProbe(int16_t kind, const std::string& key) {
  std::string temp = TempDir();
  if (temp.empty()) return;
  std::string folder = temp + "yaffs\\";
  if (kind == 0) {
    if (!cl::DirectoryExists(folder + "dir\\")) SHCreateDirectoryExA(nullptr, (folder + "dir").c_str(), nullptr);
    return;
  }
  if (!IconProbeKeyUsable(key)) return;
  std::string path = folder + key;
  if (cl::FileExists(path)) return;
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(h, "\r\n", 2, &written, nullptr);
      CloseHandle(h);
      return;
    }
    // The probe folder went away since the start: make it again, once.
    if (GetLastError() != ERROR_PATH_NOT_FOUND || attempt > 0) return;
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
  }
}

int32_t GetSystemIconIndex(const std::string& path) {
  // A failed lookup gives the system list's first icon, not the last answer.
  iconInfo.iIcon = 0;
  SHGetFileInfoA(path.c_str(), 0, &iconInfo, sizeof iconInfo, SHGFI_SYSICONINDEX | SHGFI_TYPENAME);
  return iconInfo.iIcon;
}

void ShowFolder(cl::TTreeNode* node, cl::TListView& list) {
  if (!node || node->ImageIndex() == 1) return;
  cl::Screen.SetCursor(IDC_APPSTARTING);
  list.BeginUpdate();
  list.Clear();
  // Only the root may lack a record (an image without a header for it).
  const ObjectRecord* record = RecordOf(node);
  list.Tag = record ? IdKey(record->ObjectId) : (node->Parent() ? 0 : static_cast<int>(RootObjectId));
  std::string path;
  for (const cl::TTreeNode* n = node; n; n = n->Parent()) {
    const std::string& text = n->Text();
    if (path.empty())
      path = text;
    else if (text == "/")
      path = "/" + path;
    else
      path = text + "/" + path;
  }
  if (Form1) Form1->Edit2.SetText(path);
  for (cl::TTreeNode* child : node->Children()) {
    const ObjectRecord* r = RecordOf(child);
    cl::TListItem* item = list.Add();
    item->SubItems() = {std::to_string(r ? IdKey(r->ObjectId) : 0u), std::to_string(r ? r->ObjectType : 0u)};
    item->SetCaption(child->Text());
    item->SetImageIndex(GetSystemIconIndex(ProbeFor(IconKey(child->Text(), child->ImageIndex() == 0))));
  }
  list.EndUpdate();
  cl::Screen.SetCursor(IDC_ARROW);
}

void SortFolderTree() {
  if (!Form1) return;
  auto compare = [](cl::TTreeNode* a, cl::TTreeNode* b, intptr_t data) { return Form1->TreeView1Compare(a, b, data); };
  Form1->TreeView1.CustomSort(compare, 1);
  Form1->TreeView1.CustomSort(compare, 0);
}

void TForm1::TreeView1Change(cl::TTreeNode* node) {
  // A removal moves the selection off the removed subtree: the list keeps
  // the folder it shows.
  if (holdFolderRefresh_ > 0) return;
  ShowFolder(node, ListView1);
}

// Data 1 orders by name, data 0 by kind ("0" folders before "1" others); the
// sort keeps equal nodes in place, so the two sorts in turn give folders first.
int TForm1::TreeView1Compare(cl::TTreeNode* a, cl::TTreeNode* b, intptr_t data) {
  switch (data) {
    case 0:
      return lstrcmpA(std::to_string(a->ImageIndex()).c_str(), std::to_string(b->ImageIndex()).c_str());
    case 1:
      return lstrcmpA(a->Text().c_str(), b->Text().c_str());
    default:
      return 0;
  }
}

void TForm1::ListView1DblClick() { ShowFolder(SelectedEntryNode(ListView1), ListView1); }

void TForm1::N1Click() { ShowFolder(SelectedEntryNode(ListView1), ListView1); }

void TForm1::ToolButton1Click() {
  if (ScanRunning) return;
  int id = CurrentFolderId();
  if (id < 1) return;
  if (cl::TTreeNode* node = NodeOf(NodeTable, static_cast<uint32_t>(id))) ShowFolder(node->Parent(), ListView1);
}

// The icon view lays its icons out again on a sort.
void TForm1::ListView1Resize() {
  ListView1.CustomSort([this](cl::TListItem* a, cl::TListItem* b, intptr_t d) { return ListView1Compare(a, b, d); },
                       0);
}

// Entries keep the order ShowFolder gave them (the tree's): all compare equal.
int TForm1::ListView1Compare(cl::TListItem* a, cl::TListItem* b, intptr_t data) { return 0; }

void CreateProgramForms() {
  Form1 = cl::Application.CreateForm<TForm1>();
  Form4 = cl::Application.CreateForm<TForm4>();
  Form5 = cl::Application.CreateForm<TForm5>();
  Form6 = cl::Application.CreateForm<TForm6>();
  Form7 = cl::Application.CreateForm<TForm7>();
  for (cl::TForm* f : {static_cast<cl::TForm*>(Form4), static_cast<cl::TForm*>(Form5),
                       static_cast<cl::TForm*>(Form6), static_cast<cl::TForm*>(Form7)})
    f->Owner = Form1;
}

// ---- In-place edits and properties -----------------------------------------------

namespace {

void Notice(const std::string& text) {
  cl::MessageBox(cl::Application.Handle(), text, "提示", MB_OK | MB_ICONINFORMATION);
}

// A refused permission, owner or name text; this message belongs to the main window.
void InputRefused(TForm1* form) {
  cl::MessageBox(form->Handle(), "输入有误！     ", "提示", MB_OK | MB_ICONINFORMATION);
}

ObjectRecord* MutableRecord(const cl::TTreeNode* node) {
  return node ? static_cast<ObjectRecord*>(node->Data) : nullptr;
}

// The records of the ids that still have a node, in the order given.
std::vector<ObjectRecord*> RecordsOf(const std::vector<uint32_t>& ids) {
  std::vector<ObjectRecord*> out;
  for (uint32_t id : ids)
    if (ObjectRecord* r = MutableRecord(NodeOf(NodeTable, id))) out.push_back(r);
  return out;
}

// Sum of the sizes of the regular files in a folder's subtree (the folder's
// own node included); false when the subtree holds no regular file.
bool SubtreeFileBytes(const cl::TTreeNode* folder, uint64_t& sum) {
  bool any = false;
  std::vector<const cl::TTreeNode*> stack{folder};
  while (!stack.empty()) {
    const cl::TTreeNode* n = stack.back();
    stack.pop_back();
    const ObjectRecord* r = RecordOf(n);
    if (r && r->ObjectType == ObjectTypeFile) {
      sum += r->FileSize;
      any = true;
    }
    for (const cl::TTreeNode* c : n->Children()) stack.push_back(c);
  }
  return any;
}

// The alias field up to its first zero byte, unconverted.
std::string AliasOf(const ObjectRecord& r) {
  size_t n = 0;
  while (n < AliasFieldSize && r.Alias[n]) ++n;
  return std::string(r.Alias, n);
}

}  // namespace

cl::TTreeNode* AttachObjectNode(const ObjectRecord& record, uint16_t parentId, const std::string& text) {
  if (!Form1 || parentId == 0) return nullptr;
  cl::TTreeNode* parent = NodeOf(NodeTable, parentId);
  if (!parent) return nullptr;
  cl::TTreeNode* node = Form1->TreeView1.AddChildObject(parent, text, new ObjectRecord(record));
  int image = record.ObjectType == ObjectTypeDirectory ? 0 : 1;
  node->SetImageIndex(image);
  node->SetSelectedIndex(image);
  SetNode(NodeTable, record.ObjectId, node);
  return node;
}

cl::TTreeNode* ChildNamed(const cl::TTreeNode* folder, const std::string& name, const cl::TTreeNode* except) {
  if (!Form1) return nullptr;
  // Names are also compared as the image stores them: two long names that
  // differ only past the name field's end become one name there, and their
  // objects would overwrite each other when extracted.
  const std::string stored = TrimBlanks(NameFieldText(name));
  const std::vector<cl::TTreeNode*>& children = folder ? folder->Children() : Form1->TreeView1.TopLevel();
  for (cl::TTreeNode* c : children) {
    if (c == except) continue;
    const ObjectRecord* r = RecordOf(c);
    if (SameEntryName(c->Text(), name) || TrimBlanks(r ? RecordName(*r) : NameFieldText(c->Text())) == stored)
      return c;
  }
  return nullptr;
}

void TForm1::RemoveObjectNode(cl::TTreeNode* node) {
  if (!node) return;
  InterlockedIncrement(&holdFolderRefresh_);
  DeleteObjectSubtree(node);
  InterlockedDecrement(&holdFolderRefresh_);
}

std::vector<cl::TListItem*> TForm1::SelectedEntries() const {
  std::vector<cl::TListItem*> out;
  for (int i = 0; i < ListView1.Count(); ++i)
    if (ListView1.Item(i)->Selected()) out.push_back(ListView1.Item(i));
  return out;
}

bool EntryId(const cl::TListItem* item, uint16_t& id) {
  return item && !item->SubItems().empty() && EntryId(item->SubItems()[0], id);
}

std::vector<uint32_t> TForm1::SelectedIds() const {
  std::vector<uint32_t> ids;
  uint16_t id = 0;
  for (const cl::TListItem* item : SelectedEntries())
    if (EntryId(item, id)) ids.push_back(id);
  return ids;
}

// "新建目录": one empty folder in the folder shown, written by the add worker.
void TForm1::newdirokClick() {
  if (Edit2.Text().empty() || WorkFileRefused()) return;
  std::string name = cl::InputBox("新建目录", "输入名称", "");
  if (name.empty()) return;
  if (NameRefused(name)) {
    InputRefused(this);
    return;
  }
  const uint16_t folderId = static_cast<uint16_t>(CurrentFolderId());
  cl::TTreeNode* folder = NodeOf(NodeTable, folderId);
  if (!folder) return;
  if (ChildNamed(folder, name)) {
    Notice("目录已存在!");
    return;
  }
  Modified = 1;
  StartWorker(std::make_unique<addfilefunThread>(std::vector<std::string>{name}, "", folderId, true));
}

// "删除": the selected entries leave the list and the tree with their subtrees.
void TForm1::filedelClick() {
  std::vector<cl::TListItem*> items = SelectedEntries();
  if (items.empty()) return;
  if (cl::MessageBox(cl::Application.Handle(), "确定要删除！", "提示", MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  Modified = 1;
  // The ids first: removing items and nodes moves the selections.
  const std::vector<uint32_t> ids = SelectedIds();
  for (auto it = items.rbegin(); it != items.rend(); ++it) ListView1.Delete((*it)->Index());
  for (uint32_t id : ids)
    if (id != 0) RemoveObjectNode(NodeOf(NodeTable, id));
}

// "重命名": the first selected entry gets a new name.
void TForm1::N6Click() {
  std::vector<cl::TListItem*> items = SelectedEntries();
  if (items.empty()) return;
  cl::TListItem* item = items.front();
  uint16_t id = 0;
  cl::TTreeNode* node = EntryId(item, id) ? NodeOf(NodeTable, id) : nullptr;
  ObjectRecord* record = MutableRecord(node);
  if (!record) return;
  const std::string caption = item->Caption();
  std::string text = cl::InputBox("重命名", "输入名称         ", caption);
  if (text.empty() || text == caption) return;
  if (NameRefused(text)) {
    InputRefused(this);
    return;
  }
  // Two entries of one name would overwrite each other when extracted.
  if (ChildNamed(node->Parent(), text, node)) {
    Notice("目录已存在!");
    return;
  }
  Modified = 1;
  node->SetText(text);
  SetRecordName(*record, NameFieldText(text));
  item->SetCaption(text);
  N5Click();
}

// "权限修改": the permission bits of every selected entry.
void TForm1::N7Click() {
  const std::vector<uint32_t> ids = SelectedIds();
  if (ids.empty()) return;
  uint32_t current = 0;
  std::string defaultText;
  if (ids.size() == 1) {
    const ObjectRecord* r = MutableRecord(NodeOf(NodeTable, ids[0]));
    if (!r) return;
    current = r->Mode;
    defaultText = FormatMode(current, 0);
  }
  std::string text = cl::InputBox("权限修改", "输入权限代码 如 755 , 4755 等             ", defaultText);
  if (text.empty() || text == FormatMode(current, 0)) return;
  std::string trimmed = TrimBlanks(text);
  uint32_t bits = ParseOctalMode(trimmed);
  if (trimmed.size() > 4 || bits == 0) {
    InputRefused(this);
    return;
  }
  Modified = 1;
  for (ObjectRecord* r : RecordsOf(ids)) r->Mode = WithPermissionBits(r->Mode, bits);
}

void TForm1::UID1Click() { EditOwnerIds(false); }
void TForm1::GID1Click() { EditOwnerIds(true); }

void TForm1::EditOwnerIds(bool gid) {
  const std::vector<uint32_t> ids = SelectedIds();
  if (ids.empty()) return;
  uint32_t current = 0;
  std::string defaultText;
  std::string prompt = gid ? "输入GID" : "输入UID";
  if (ids.size() == 1) {
    const ObjectRecord* r = MutableRecord(NodeOf(NodeTable, ids[0]));
    if (!r) return;
    current = gid ? r->Gid : r->Uid;
    defaultText = std::to_string(current);
    prompt += std::string(14, ' ');
  } else {
    prompt += std::string(15, ' ');
  }
  std::string text = cl::InputBox(gid ? "GID修改" : "UID修改", prompt, defaultText);
  if (text.empty() || text == std::to_string(current)) return;
  uint32_t value = 0;
  if (!ParseIdNumber(text, value)) {
    InputRefused(this);
    return;
  }
  Modified = 1;
  for (ObjectRecord* r : RecordsOf(ids)) (gid ? r->Gid : r->Uid) = value;
}

// "属性": with the list as sender the details go to status panel 5; from the
// menu they fill the properties dialog.
void TForm1::N3Click(void* sender) {
  if (Tag == 1) return;
  std::vector<cl::TListItem*> items = SelectedEntries();
  if (items.empty()) return;
  const cl::TListItem* item = items.front();
  uint16_t id = 0;
  const cl::TTreeNode* node = EntryId(item, id) ? NodeOf(NodeTable, id) : nullptr;
  const ObjectRecord* found = MutableRecord(node);
  if (!found) return;
  const ObjectRecord record = *found;
  uint32_t type = 0xFFFFFFFF;
  if (item->SubItems().size() > 1) ParseEntryNumber(item->SubItems()[1], type);
  std::string target;
  if (type == ObjectTypeHardlink) {
    // A target without a live node shows nothing after the arrow.
    if (const cl::TTreeNode* t = NodeOf(NodeTable, record.EquivalentId)) target = t->Text();
  }
  const std::string typeText = TypeText(type, AliasOf(record), target);
  std::string sizeText;
  if (type == ObjectTypeFile) {
    sizeText = ByteSizeText(record.FileSize);
  } else if (type == ObjectTypeDirectory) {
    uint64_t sum = 0;
    if (SubtreeFileBytes(node, sum)) sizeText = ByteSizeText(sum);
  }
  const std::string detail = DetailText(record.Mode);

  if (sender == &ListView1) {
    std::string line = StatusDetailsText(typeText, sizeText, detail);
    StatusBar1.SetPanelText(5, line);
    if (HDC dc = GetDC(StatusBar1.Handle())) {
      HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(StatusBar1.Handle(), WM_GETFONT, 0, 0)));
      cl::TCanvas canvas(dc);
      canvas.TextOut(ProgressRect.left, ProgressRect.top, line);
      SelectObject(dc, old);
      ReleaseDC(StatusBar1.Handle(), dc);
    }
    return;
  }
  Form5->Image1.Tag = type == ObjectTypeDirectory ? 3 : 0;
  Form5->filectime.SetCaption(MTimeText(record.MTime));
  Form5->filesize.SetCaption(sizeText);
  Form5->fileuid.SetCaption(std::to_string(record.Uid));
  Form5->filegid.SetCaption(std::to_string(record.Gid));
  Form5->Edit1.SetText(item->Caption());
  Form5->filetype.SetCaption(typeText);
  Form5->Label7.SetCaption(detail);
  Form5->ShowModal();
}
