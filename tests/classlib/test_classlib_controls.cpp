#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cl_app.h"
#include "cl_bars.h"
#include "cl_dialogs.h"
#include "cl_menus.h"
#include "cl_stdctrls.h"

namespace {

// Test forms stay on top in a corner, so windows of other test programs on
// the same display never hide what a test paints.
void PlaceOnTop(cl::TForm& form, int clientW, int clientH) {
  form.Position = cl::poDesigned;
  form.SetClientSize(clientW, clientH);
  SetWindowPos(form.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  form.Show();
}

// A window's rectangle in its parent's client coordinates.
RECT BoundsInParent(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string Str(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

HBITMAP SolidBitmap(int w, int h, COLORREF left, COLORREF right) {
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, bmp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(mem, x, y, x < w / 2 ? left : right);
  SelectObject(mem, old);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return bmp;
}

// The darkest pixel of text drawn black on white in font, as lists and menus
// draw it: about 0 where strokes are full, far above it where they come out
// thin and grey.
int DarkestPixel(HFONT font, const char* text) {
  const int w = 200, h = 40;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  HGDIOBJ oldFont = SelectObject(dc, font);
  PatBlt(dc, 0, 0, w, h, WHITENESS);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, 2, 2, text, static_cast<int>(strlen(text)));
  GdiFlush();
  int darkest = 255;
  for (int i = 0; i < w * h; ++i) {
    const BYTE* px = static_cast<const BYTE*>(bits) + 4 * i;
    darkest = std::min(darkest, (px[0] + px[1] + px[2]) / 3);
  }
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBmp);
  DeleteObject(bmp);
  DeleteDC(dc);
  return darkest;
}

// Sends a mouse message at a screen point, in the window's coordinates at
// the moment of sending, as the system does for a moving window.
void SendMouse(HWND hwnd, UINT msg, POINT screen, WPARAM keys) {
  ScreenToClient(hwnd, &screen);
  SendMessageA(hwnd, msg, keys, MAKELPARAM(screen.x, screen.y));
}

TEST(PanelLayout, AlignedPanelsShareTheClientAreaAfterEachResize) {
  cl::TForm form;
  PlaceOnTop(form, 400, 300);
  cl::TPanel top(&form), bottom(&form), left(&form), rest(&form);
  top.SetHeight(40);
  top.SetAlign(cl::alTop);
  bottom.SetHeight(20);
  bottom.SetAlign(cl::alBottom);
  left.SetWidth(100);
  left.SetAlign(cl::alLeft);
  rest.SetAlign(cl::alClient);

  struct Case {
    const char* name;
    int w, h;
    bool throughWindow;  // resized as the user does, not by SetClientSize
  };
  const Case cases[] = {{"designed", 400, 300, false}, {"wider", 520, 340, false}, {"dragged", 300, 200, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.throughWindow) {
      RECT r{0, 0, c.w, c.h};
      AdjustWindowRectEx(&r, GetWindowLongA(form.Handle(), GWL_STYLE), FALSE,
                         GetWindowLongA(form.Handle(), GWL_EXSTYLE));
      SetWindowPos(form.Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    } else {
      form.SetClientSize(c.w, c.h);
    }
    EXPECT_EQ(Str(BoundsInParent(top.Handle())), Str(Rect(0, 0, c.w, 40)));
    EXPECT_EQ(Str(BoundsInParent(bottom.Handle())), Str(Rect(0, c.h - 20, c.w, c.h)));
    EXPECT_EQ(Str(BoundsInParent(left.Handle())), Str(Rect(0, 40, 100, c.h - 20)));
    EXPECT_EQ(Str(BoundsInParent(rest.Handle())), Str(Rect(100, 40, c.w, c.h - 20)));
  }
}

TEST(PanelLayout, BevelsNarrowTheAreaOfAlignedChildren) {
  cl::TForm form;
  PlaceOnTop(form, 300, 200);
  cl::TPanel panel(&form);
  panel.SetBounds(10, 10, 200, 100);
  cl::TPanel inside(&panel);
  inside.SetAlign(cl::alClient);
  panel.SetBevelOuter(cl::bvRaised);
  panel.SetBevelInner(cl::bvLowered);
  EXPECT_EQ(Str(BoundsInParent(inside.Handle())), Str(Rect(0, 0, 196, 96)));
  panel.SetBevelInner(cl::bvNone);
  EXPECT_EQ(Str(BoundsInParent(inside.Handle())), Str(Rect(0, 0, 198, 98)));
}

TEST(Splitter, DragChangesTheLeftNeighbourWithinTheMinimumSizes) {
  cl::TForm form;
  PlaceOnTop(form, 400, 300);
  cl::TPanel left(&form);
  left.SetWidth(100);
  left.SetAlign(cl::alLeft);
  cl::TSplitter splitter(&form);
  cl::TPanel rest(&form);
  rest.SetAlign(cl::alClient);

  // The rest starts 297 wide; both sides keep at least MinSize (30).
  struct Case {
    const char* name;
    int dx, width;
  };
  const Case cases[] = {{"wider", 40, 140},
                        {"down to the minimum", -70, 30}, {"one past the minimum", -71, 30},
                        {"rest at its minimum", 267, 367}, {"rest one past its minimum", 268, 367}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    left.SetWidth(100);
    ASSERT_EQ(splitter.Left(), 100);
    POINT start{1, 10};
    ClientToScreen(splitter.Handle(), &start);
    SendMouse(splitter.Handle(), WM_LBUTTONDOWN, start, MK_LBUTTON);
    SendMouse(splitter.Handle(), WM_MOUSEMOVE, POINT{start.x + c.dx / 2, start.y}, MK_LBUTTON);
    SendMouse(splitter.Handle(), WM_MOUSEMOVE, POINT{start.x + c.dx, start.y}, MK_LBUTTON);
    SendMouse(splitter.Handle(), WM_LBUTTONUP, POINT{start.x + c.dx, start.y}, 0);
    EXPECT_EQ(left.Width(), c.width);
    EXPECT_EQ(Str(BoundsInParent(left.Handle())), Str(Rect(0, 0, c.width, 300)));
    EXPECT_EQ(Str(BoundsInParent(splitter.Handle())), Str(Rect(c.width, 0, c.width + 3, 300)));
    EXPECT_EQ(Str(BoundsInParent(rest.Handle())), Str(Rect(c.width + 3, 0, 400, 300)));
  }
  // A move without a press changes nothing.
  POINT p{1, 10};
  ClientToScreen(splitter.Handle(), &p);
  int before = left.Width();
  SendMouse(splitter.Handle(), WM_MOUSEMOVE, POINT{p.x + 50, p.y}, 0);
  EXPECT_EQ(left.Width(), before);
}

struct StatusFixture {
  cl::TForm form;
  cl::TStatusBar bar{&form};
  StatusFixture() {
    PlaceOnTop(form, 600, 200);
    bar.SetHeight(17);
    const int widths[] = {50, 100, 50, 80, 120};
    const char* texts[] = {"IMG名称", "", "IMG大小", "", ""};
    for (int i = 0; i < 5; ++i) bar.AddPanel(widths[i], texts[i]);
    bar.AddPanel(50, "", true);
  }
};

TEST(StatusBar, PanelsKeepTheirWidthsAndTheLastReachesTheEnd) {
  StatusFixture f;
  const int rightEdges[] = {50, 150, 200, 280, 400};
  for (int width : {600, 800, 450}) {
    SCOPED_TRACE(width);
    f.form.SetClientSize(width, 200);
    EXPECT_EQ(Str(BoundsInParent(f.bar.Handle())), Str(Rect(0, 183, width, 200)));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(f.bar.PanelRect(i).right, rightEdges[i]) << "panel " << i;
    RECT last = f.bar.PanelRect(5);
    RECT client;
    GetClientRect(f.bar.Handle(), &client);
    EXPECT_GE(last.left, 400);
    EXPECT_EQ(last.right, client.right);
  }
  EXPECT_EQ(Str(f.bar.PanelRect(6)), Str(Rect(0, 0, 0, 0)));
  EXPECT_EQ(Str(f.bar.PanelRect(-1)), Str(Rect(0, 0, 0, 0)));
}

TEST(StatusBar, OnlyTheOwnerDrawnPanelReachesTheHandlerWithItsRectangle) {
  StatusFixture f;
  std::vector<int> drawn;
  RECT lastRect{};
  f.bar.OnDrawPanel = [&](cl::TStatusBar* bar, int panel, const RECT& rect, cl::TCanvas& canvas) {
    EXPECT_EQ(bar, &f.bar);
    drawn.push_back(panel);
    lastRect = rect;
    canvas.TextOut(rect.left, rect.top, bar->PanelText(panel));
  };
  for (int width : {600, 900}) {
    SCOPED_TRACE(width);
    f.form.SetClientSize(width, 200);
    drawn.clear();
    f.bar.Repaint();
    EXPECT_EQ(drawn, std::vector<int>{5});
    EXPECT_EQ(Str(lastRect), Str(f.bar.PanelRect(5)));
  }
  // A new text of the owner-drawn panel is kept and repaints it.
  drawn.clear();
  UpdateWindow(f.bar.Handle());
  ASSERT_TRUE(drawn.empty());
  f.bar.SetPanelText(5, "文件 12 字节");
  UpdateWindow(f.bar.Handle());
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn, std::vector<int>(drawn.size(), 5));
  EXPECT_EQ(f.bar.PanelText(5), "文件 12 字节");
}

TEST(StatusBar, TextsTravelByteForByteAndHintsTakeTheWholeBar) {
  StatusFixture f;
  f.bar.SetPanelText(1, "固件 system.img");
  f.bar.ShowSimpleText("D:\\镜像\\system.img");
  EXPECT_TRUE(SendMessageA(f.bar.Handle(), SB_ISSIMPLE, 0, 0));
  f.bar.ShowPanels();
  EXPECT_FALSE(SendMessageA(f.bar.Handle(), SB_ISSIMPLE, 0, 0));
  char buf[256] = {};
  SendMessageA(f.bar.Handle(), SB_GETTEXTA, 1, reinterpret_cast<LPARAM>(buf));
  EXPECT_EQ(std::string(buf), "固件 system.img");
}

// The text the application's tooltip holds for a control; "<none>" when the
// control has no tool there.
std::string TipOf(const cl::TControl& c) {
  std::string text;
  return cl::Application.Hints().ToolText(c.Handle(), text) ? text : "<none>";
}

TEST(Hints, ControlsThatShowHintsHaveATipThatFollowsTheHint) {
  StatusFixture f;
  cl::TPanel panel(&f.form);
  // Longer than the 80 bytes the ANSI text query of a tooltip reaches.
  const std::string path = "D:\\固件\\某个很长的目录名\\another rather long folder name\\system.img";
  const std::string noted = path + "  \"OOB头双字节 有(OXFF,OXFF)檫除标记\"";
  ASSERT_GT(noted.size(), 80u);

  f.bar.SetHint(path);
  EXPECT_EQ(TipOf(f.bar), "<none>");
  f.bar.SetShowHint(true);
  EXPECT_EQ(TipOf(f.bar), path);
  panel.SetShowHint(true);
  panel.SetHint("面板");
  struct Step {
    const char* name;
    std::string hint;
  } steps[] = {{"with the note", noted}, {"cleared", ""}, {"path again", path}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    f.bar.SetHint(s.hint);
    EXPECT_EQ(TipOf(f.bar), s.hint);
    EXPECT_EQ(TipOf(panel), "面板");
  }
  f.bar.SetShowHint(false);
  EXPECT_EQ(TipOf(f.bar), "<none>");
  EXPECT_EQ(f.bar.Hint(), path);
  f.bar.SetShowHint(true);
  EXPECT_EQ(TipOf(f.bar), path);

  // A control that goes takes its tool with it.
  HWND tip = cl::Application.Hints().Handle();
  ASSERT_NE(tip, nullptr);
  const LRESULT tools = SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0);
  {
    cl::TPanel passing(&f.form);
    passing.SetShowHint(true);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), tools + 1);
  }
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), tools);
}

// A panel holding a tool bar directly or through a cool bar band, as the
// main window has both.
struct ToolFixture {
  cl::TForm form;
  cl::TPanel panel{&form};
  cl::TImageList images{32, 32};
  std::unique_ptr<cl::TCoolBar> cool;
  std::unique_ptr<cl::TToolBar> bar;
  explicit ToolFixture(bool inCoolBar) {
    PlaceOnTop(form, 500, 200);
    panel.SetHeight(70);
    panel.SetAlign(cl::alTop);
    HBITMAP a = SolidBitmap(32, 32, RGB(255, 0, 0), RGB(255, 0, 255));
    HBITMAP b = SolidBitmap(32, 32, RGB(0, 0, 255), RGB(255, 0, 255));
    EXPECT_EQ(images.AddBitmap(a, RGB(255, 0, 255)), 0);
    EXPECT_EQ(images.AddBitmap(b, RGB(255, 0, 255)), 1);
    DeleteObject(a);
    DeleteObject(b);
    if (inCoolBar) {
      cool = std::make_unique<cl::TCoolBar>(&panel);
      cool->SetAlign(cl::alClient);
      bar = std::make_unique<cl::TToolBar>(cool.get());
    } else {
      bar = std::make_unique<cl::TToolBar>(&panel);
      bar->SetWidth(300);
      bar->SetAlign(cl::alLeft);
    }
    bar->SetImages(&images);
    bar->SetShowCaptions(true);
    bar->SetButtonSize(51, 51);
    bar->SetBounds(0, 0, 300, 56);
    bar->AddButton("ToolButton10", "选取 yaffs2 IMG", 0);
    bar->AddButton("ToolButton6", "提取选中", 1).SetEnabled(false);
    bar->AddButton("ToolButton7", "全部导出", 1);
    if (cool) cool->AddBand(bar.get(), 100, 56);
  }
  // A click by the mouse on the button's middle.
  void ClickAt(const cl::TToolButton& b) {
    RECT r = bar->ButtonRect(b);
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(bar->Handle(), WM_MOUSEMOVE, 0, at);
    SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, at);
  }
};

TEST(ToolBar, MouseClicksRunTheEnabledButtonsWhereverTheBarLies) {
  for (bool inCoolBar : {false, true}) {
    SCOPED_TRACE(inCoolBar ? "in a cool bar band" : "in a panel");
    ToolFixture f(inCoolBar);
    // The list keeps the focus while its tool buttons are clicked.
    cl::TEdit focused(&f.form);
    focused.SetBounds(10, 100, 100, 21);
    focused.SetFocus();
    ASSERT_TRUE(focused.Focused());
    std::vector<std::string> clicked;
    for (auto& b : f.bar->Buttons()) {
      cl::TToolButton* button = b.get();
      button->OnClick = [&clicked, button] { clicked.push_back(button->Name); };
    }
    for (auto& b : f.bar->Buttons()) {
      RECT r = f.bar->ButtonRect(*b);
      ASSERT_GT(r.right, r.left) << b->Name;
      f.ClickAt(*b);
    }
    EXPECT_EQ(clicked, (std::vector<std::string>{"ToolButton10", "ToolButton7"}));
    EXPECT_TRUE(focused.Focused());

    // Enabled again, the middle button runs; a direct Click of a disabled
    // one does not.
    clicked.clear();
    f.bar->FindButton("ToolButton6")->SetEnabled(true);
    f.ClickAt(*f.bar->FindButton("ToolButton6"));
    f.bar->FindButton("ToolButton7")->SetEnabled(false);
    f.bar->FindButton("ToolButton7")->Click();
    EXPECT_EQ(clicked, std::vector<std::string>{"ToolButton6"});
    if (inCoolBar) {
      EXPECT_EQ(f.cool->BandCount(), 1);
      EXPECT_GE(f.cool->BarHeight(), 56);
    }
  }
}

// The tool bar's notification window and the timer are message-only windows
// of one registration per class: every window reaches the class's procedure
// with its own owner, and none is a top-level window.
TEST(MessageWindow, EachWindowOfAClassKeepsItsOwnerAndStaysOffTheDesktop) {
  struct Probe {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
      if (msg != WM_APP) return DefWindowProcA(hwnd, msg, wp, lp);
      *reinterpret_cast<std::string*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)) += static_cast<char>(wp);
      return 1;
    }
  };
  const char kClass[] = "ClMessageProbe";
  std::string first, second;
  HWND a = cl::CreateMessageWindow(kClass, Probe::Proc, &first);
  HWND b = cl::CreateMessageWindow(kClass, Probe::Proc, &second);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  SendMessageA(a, WM_APP, 'a', 0);
  SendMessageA(b, WM_APP, 'b', 0);
  SendMessageA(a, WM_APP, 'c', 0);
  EXPECT_EQ(first, "ac");
  EXPECT_EQ(second, "b");
  for (HWND w : {a, b}) {
    EXPECT_NE(GetAncestor(w, GA_PARENT), GetDesktopWindow());
    EXPECT_FALSE(IsWindowVisible(w));
  }
  HWND found = FindWindowExA(HWND_MESSAGE, nullptr, kClass, nullptr);
  EXPECT_TRUE(found == a || found == b);
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST(CoolBar, CommandsOfOtherBandChildrenReachTheirWrappersOnce) {
  ToolFixture f(true);
  cl::TButton button(f.cool.get(), "Button1");
  f.cool->AddBand(&button, 75, 25);
  EXPECT_EQ(f.cool->BandCount(), 2);
  int clicks = 0;
  button.OnClick = [&](cl::TControl*) { ++clicks; };
  SendMessageA(button.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
}

struct MenuFixture {
  cl::TForm form;
  cl::TPopupMenu menu;
  std::vector<std::string> clicked;
  MenuFixture() {
    PlaceOnTop(form, 300, 200);
    SetForegroundWindow(form.Handle());
    for (auto [name, caption] : {std::pair<const char*, const char*>{"N1", "打开"}, {"outfileok", "提取选择"},
                                 {"outfileallok", "全部导出"}}) {
      cl::TMenuItem& item = menu.Add(name, caption);
      item.OnClick = [this, &item] { clicked.push_back(item.Name); };
      if (std::string(name) == "N1") menu.AddSeparator();
    }
    menu.Find("outfileok")->SetEnabled(false);
  }
  // Opens the menu and answers it with the keys, then Escape. Enter goes
  // as the character the key would give.
  void PopupWithKeys(const std::vector<WPARAM>& keys) {
    auto onPopup = menu.OnPopup;
    menu.OnPopup = [&] {
      if (onPopup) onPopup();
      for (WPARAM k : keys) {
        if (k == VK_RETURN)
          PostMessageA(form.Handle(), WM_CHAR, '\r', 0);
        else
          PostMessageA(form.Handle(), WM_KEYDOWN, k, 0);
      }
      PostMessageA(form.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    menu.Popup(50, 50, form.Handle());
    menu.OnPopup = onPopup;
    cl::Application.ProcessMessages();
  }
};

TEST(PopupMenu, KeysPickEnabledItemsOnly) {
  struct Case {
    const char* name;
    std::vector<WPARAM> keys;
    std::vector<std::string> clicked;
  };
  const std::vector<Case> cases = {
      {"first item", {VK_DOWN, VK_RETURN}, {"N1"}},
      {"disabled item", {VK_DOWN, VK_DOWN, VK_RETURN}, {}},
      {"last item", {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}, {"outfileallok"}},
      {"escape", {}, {}},
  };
  MenuFixture f;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    f.clicked.clear();
    f.PopupWithKeys(c.keys);
    EXPECT_EQ(f.clicked, c.clicked);
  }
}

TEST(PopupMenu, OnPopupRunsBeforeTheMenuIsBuilt) {
  MenuFixture f;
  f.menu.OnPopup = [&] { f.menu.Find("outfileallok")->SetEnabled(false); };
  f.PopupWithKeys({VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
  f.menu.Find("outfileok")->Click();
  EXPECT_TRUE(f.clicked.empty());
}

TEST(Button, PostedClicksEndTheModalFormWithTheButtonsResult) {
  cl::TForm owner;
  PlaceOnTop(owner, 300, 200);
  cl::TForm dialog;
  dialog.Position = cl::poDesigned;
  cl::TPanel panel(&dialog);
  panel.SetAlign(cl::alClient);
  cl::TButton plain(&panel, "Button1");
  cl::TButton ok(&panel, "确定");
  ok.ModalResult = cl::mrOk;
  ok.SetDefault(true);
  // The plain button lies under a panel that covers it, as the trigger
  // button of the main window lies under the list.
  cl::TPanel cover(&panel);
  cover.SetBounds(0, 0, 120, 60);
  BringWindowToTop(cover.Handle());

  std::vector<std::string> log;
  plain.OnClick = [&](cl::TControl*) { log.push_back("plain " + std::to_string(dialog.ModalResult)); };
  ok.OnClick = [&](cl::TControl*) { log.push_back("ok " + std::to_string(dialog.ModalResult)); };
  PostMessageA(plain.Handle(), BM_CLICK, 0, 0);
  PostMessageA(ok.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(dialog.ShowModal(), cl::mrOk);
  EXPECT_EQ(log, (std::vector<std::string>{"plain 0", "ok 1"}));
  EXPECT_TRUE(GetWindowLongA(ok.Handle(), GWL_STYLE) & BS_DEFPUSHBUTTON);
}

TEST(ModalForm, EnterPressesTheDefaultButtonAndEscapeClosesOnlyWithACloseBox) {
  struct Case {
    const char* name;
    WPARAM key;
    bool closeBox;
    int result;
  } cases[] = {{"enter", VK_RETURN, true, cl::mrOk}, {"escape", VK_ESCAPE, true, cl::mrCancel},
               {"escape without close box", VK_ESCAPE, false, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cl::TForm dialog;
    dialog.Position = cl::poDesigned;
    dialog.SetBorderStyle(cl::bsDialog, c.closeBox);
    cl::TEdit edit(&dialog);
    cl::TButton ok(&dialog, "确定");
    ok.ModalResult = cl::mrOk;
    ok.SetDefault(true);
    cl::TButton other(&dialog, "其它");
    other.ModalResult = 7;
    PostMessageA(edit.Handle(), WM_KEYDOWN, c.key, 0);
    // Ends the form when the key did nothing.
    PostMessageA(other.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.ShowModal(), c.result);
  }
}

// Closes the first window other than the one kept that becomes active, by a
// message posted as it activates: the close arrives from inside the modal
// loop, once the window is up, as the user's would.
class CloseOnActivate {
public:
  explicit CloseOnActivate(HWND keep) {
    keep_ = keep;
    closed_ = nullptr;
    hook_ = SetWindowsHookExA(WH_CBT, Proc, nullptr, GetCurrentThreadId());
  }
  ~CloseOnActivate() { UnhookWindowsHookEx(hook_); }
  HWND Closed() const { return closed_; }

private:
  static LRESULT CALLBACK Proc(int code, WPARAM wp, LPARAM lp) {
    HWND h = reinterpret_cast<HWND>(wp);
    if (code == HCBT_ACTIVATE && !closed_ && h != keep_ && h != cl::Application.Handle()) {
      closed_ = h;
      PostMessageA(h, WM_CLOSE, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
  }
  static inline HWND keep_ = nullptr;
  static inline HWND closed_ = nullptr;
  HHOOK hook_;
};

// A form that notes, as it is hidden, what the window behind it is like then.
class HideProbe : public cl::TForm {
public:
  explicit HideProbe(HWND behind) : behind_(behind) {}
  bool hidden = false, behindEnabled = false;
  HWND activeAtHide = nullptr;

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_SHOWWINDOW && !wp) {
      hidden = true;
      behindEnabled = IsWindowEnabled(behind_);
      activeAtHide = GetActiveWindow();
    }
    return cl::TForm::WndProc(msg, wp, lp);
  }

private:
  HWND behind_;
};

// Whatever modal window the class layer puts up, the window that was active
// before it is active and enabled again once it is gone. The thread's active
// window is asked, not the foreground: other test programs share the display
// and take the foreground whenever they show a window.
TEST(ModalForm, TheWindowActiveBeforeIsActiveAgainAfterEveryModalWindow) {
  cl::TForm main;
  PlaceOnTop(main, 300, 200);
  struct Case {
    const char* name;
    std::function<void()> run;
  } cases[] = {
      {"modal form",
       [&main] {
         // The rest is enabled and active before the form goes: the system
         // never looks for another window to activate.
         HideProbe dialog(main.Handle());
         dialog.Position = cl::poDesigned;
         dialog.ShowModal();
         EXPECT_TRUE(dialog.hidden);
         EXPECT_TRUE(dialog.behindEnabled);
         EXPECT_EQ(dialog.activeAtHide, main.Handle());
       }},
      {"message box", [] { cl::MessageBox(cl::Application.Handle(), "确定要删除！", "提示", MB_OK); }},
      {"input box",
       [] {
         std::string name;
         cl::InputQuery("新建目录", "输入名称", name);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetForegroundWindow(main.Handle());
    ASSERT_EQ(GetActiveWindow(), main.Handle());
    CloseOnActivate closer(main.Handle());
    c.run();
    EXPECT_NE(closer.Closed(), nullptr);
    EXPECT_EQ(GetActiveWindow(), main.Handle());
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
  }
}

TEST(RadioGroup, ItemIndexStaysWithinTheItems) {
  cl::TForm form;
  PlaceOnTop(form, 300, 200);
  cl::TRadioGroup group(&form, "保存为：");
  group.SetItems({"无ECC", "yaffs2自带ECC", "NAND FLASH ECC"});
  struct Case {
    int set, expected;
  };
  const Case cases[] = {{-2, -1}, {-1, -1}, {2, 2}, {3, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    group.SetItemIndex(c.set);
    EXPECT_EQ(group.ItemIndex(), c.expected);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(SendMessageA(group.ItemHandle(i), BM_GETCHECK, 0, 0), i == c.expected ? BST_CHECKED : BST_UNCHECKED)
          << "item " << i;
  }
  // Fewer items: the choice is clamped to the last.
  group.SetItems({"没有", "有"});
  EXPECT_EQ(group.ItemIndex(), 1);
}

TEST(RadioGroup, UserPicksReachOnClickOncePerChange) {
  cl::TForm form;
  PlaceOnTop(form, 300, 200);
  cl::TRadioGroup group(&form, "OOB头（FF FF）擦除标志");
  group.SetItems({"没有", "有"});
  group.SetItemIndex(0);
  int clicks = 0;
  group.OnClick = [&] { ++clicks; };
  SendMessageA(group.ItemHandle(1), BM_CLICK, 0, 0);
  EXPECT_EQ(group.ItemIndex(), 1);
  SendMessageA(group.ItemHandle(1), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
  SendMessageA(group.ItemHandle(0), BM_CLICK, 0, 0);
  EXPECT_EQ(group.ItemIndex(), 0);
  EXPECT_EQ(clicks, 2);
}

TEST(ProgressBar, RangeAndPositionUseThirtyTwoBits) {
  cl::TForm form;
  PlaceOnTop(form, 300, 100);
  cl::TProgressBar bar(&form);
  bar.SetRange(0, 3000000);
  EXPECT_EQ(bar.Max(), 3000000);
  struct Case {
    int set, expected;
  };
  const Case cases[] = {{2500000, 2500000}, {3000000, 3000000}, {3000001, 3000000}, {0, 0}, {-1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    bar.SetPosition(c.set);
    EXPECT_EQ(bar.Position(), c.expected);
  }
  // The repaint is left to WM_PAINT: a shown bar stays shown, a hidden one hidden.
  EXPECT_TRUE(IsWindowVisible(bar.Handle()));
  ShowWindow(bar.Handle(), SW_HIDE);
  bar.SetPosition(7);
  EXPECT_EQ(bar.Position(), 7);
  EXPECT_FALSE(IsWindowVisible(bar.Handle()));
}

TEST(Captions, ChineseTextsRoundTripByteForByte) {
  cl::TForm form;
  PlaceOnTop(form, 400, 300);
  cl::TButton button(&form, "选取 yaffs2 IMG");
  cl::TEdit edit(&form);
  edit.SetText("Ostrivan 浏览器 Ver1.6");
  cl::TPanel panel(&form);
  panel.SetCaption("路径：");
  cl::TMemo memo(&form);
  const std::vector<std::string> lines = {"Ostrivan 浏览器", "", "能够浏览提取IMG内容。"};
  memo.SetLines(lines);
  EXPECT_EQ(button.Caption(), "选取 yaffs2 IMG");
  EXPECT_EQ(edit.Text(), "Ostrivan 浏览器 Ver1.6");
  EXPECT_EQ(panel.Caption(), "路径：");
  EXPECT_EQ(memo.Caption(), "Ostrivan 浏览器\r\n\r\n能够浏览提取IMG内容。");
  EXPECT_EQ(memo.Lines(), lines);
}

TEST(Captions, LatinLettersAreAsDarkAsTheChineseInListsAndMenus) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  HFONT menuFont = CreateFontIndirectA(&metrics.lfMenuFont);
  const struct {
    const char* where;
    HFONT font;
  } fonts[] = {{"controls and lists", cl::Application.DefaultFont().Handle()}, {"menus", menuFont}};
  for (const auto& f : fonts) {
    SCOPED_TRACE(f.where);
    int chinese = DarkestPixel(f.font, "修改");
    EXPECT_LT(chinese, 64);
    for (const char* latin : {"UID", "GID", "build.prop"}) {
      SCOPED_TRACE(latin);
      EXPECT_LE(DarkestPixel(f.font, latin), chinese + 32);
    }
  }
  DeleteObject(menuFont);
}

TEST(LabeledEdit, TheLabelFollowsTheEdit) {
  cl::TForm form;
  PlaceOnTop(form, 400, 300);
  cl::TLabeledEdit edit(&form);
  edit.SetBounds(120, 40, 200, 21);
  edit.SetLabel("名称版本：");
  edit.SetBounds(150, 100, 200, 21);
  RECT l = BoundsInParent(edit.EditLabel.Handle());
  EXPECT_EQ(l.right, 147);
  EXPECT_EQ(l.top, 100 + (21 - (l.bottom - l.top)) / 2);
  edit.SetLabel("git 安装路径：", false);  // above the edit
  l = BoundsInParent(edit.EditLabel.Handle());
  EXPECT_EQ(l.left, 150);
  EXPECT_EQ(l.bottom, 97);
  edit.SetVisible(false);
  EXPECT_FALSE(edit.EditLabel.Visible());
}

TEST(Image, TheImageOwnsOnlyItsCurrentBitmap) {
  cl::TForm form;
  PlaceOnTop(form, 300, 200);
  cl::TImage image(&form);
  HBITMAP first = SolidBitmap(2, 2, RGB(0, 255, 0), RGB(0, 255, 0));
  image.SetBitmap(first);
  HBITMAP second = SolidBitmap(2, 1, RGB(255, 0, 0), RGB(0, 0, 255));
  image.SetBitmap(second);
  EXPECT_EQ(GetObjectType(first), 0u);
  EXPECT_EQ(GetObjectType(second), static_cast<DWORD>(OBJ_BITMAP));
}

}  // namespace
