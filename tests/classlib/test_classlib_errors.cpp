#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "cl_app.h"
#include "cl_bars.h"
#include "cl_listview.h"
#include "cl_stdctrls.h"
#include "session.h"

namespace {

// What a handler does: fail in one of the ways a handler can, or count.
struct Handler {
  int calls = 0;
  std::function<void()> fail;
  void Run() {
    ++calls;
    if (fail) fail();
  }
};

// One window of each kind whose procedure runs a handler: a button on a form,
// tool buttons in a panel and in a cool bar band (the notify path), a list.
struct Windows {
  cl::TForm form;
  cl::TPanel panel{&form};
  cl::TButton button{&form, "Button1"};
  std::unique_ptr<cl::TToolBar> plainBar;
  cl::TCoolBar cool{&panel};
  std::unique_ptr<cl::TToolBar> bandBar;
  cl::TListView list{&form};
  Handler handler;

  Windows() {
    form.Position = cl::poDesigned;
    form.SetClientSize(400, 300);
    SetWindowPos(form.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    panel.SetBounds(0, 0, 400, 120);
    button.SetBounds(10, 130, 75, 25);
    plainBar = std::make_unique<cl::TToolBar>(&panel);
    cool.SetBounds(0, 60, 400, 56);
    bandBar = std::make_unique<cl::TToolBar>(&cool);
    list.SetBounds(10, 170, 200, 100);
    button.OnClick = [this](cl::TControl*) { handler.Run(); };
    for (cl::TToolBar* bar : {plainBar.get(), bandBar.get()}) {
      bar->SetShowCaptions(true);
      bar->SetButtonSize(51, 51);
      bar->SetBounds(0, 0, 200, 56);
    }
    plainBar->AddButton("ToolButton1", "一", 0).OnClick = [this] { handler.Run(); };
    bandBar->AddButton("ToolButton2", "二", 0).OnClick = [this] { handler.Run(); };
    cool.AddBand(bandBar.get(), 100, 40);
    list.OnResize = [this](cl::TControl*) { handler.Run(); };
    form.Show();
  }
  // A click by the mouse on the button's middle: the bar tells its notify
  // window, whose procedure runs the button's handler.
  static void Command(cl::TToolBar& bar, const char* name) {
    RECT r = bar.ButtonRect(*bar.FindButton(name));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(bar.Handle(), WM_MOUSEMOVE, 0, at);
    SendMessageA(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(bar.Handle(), WM_LBUTTONUP, 0, at);
  }
};

struct Path {
  const char* name;
  std::function<void(Windows&)> trigger;
};

const Path kPaths[] = {
    {"a button's click", [](Windows& w) { SendMessageA(w.button.Handle(), BM_CLICK, 0, 0); }},
    {"a tool button in a panel", [](Windows& w) { Windows::Command(*w.plainBar, "ToolButton1"); }},
    {"a tool button in a cool bar band", [](Windows& w) { Windows::Command(*w.bandBar, "ToolButton2"); }},
    {"a list's resize", [](Windows& w) { w.list.SetWidth(w.list.Width() + 1); }},
};

std::vector<AskedDialog> Boxes(const ScriptedDialogs& d) {
  std::vector<AskedDialog> boxes;
  for (const AskedDialog& a : d.asked)
    if (a.kind == cl::DialogKind::MessageBox) boxes.push_back(a);
  return boxes;
}

TEST(HandlerErrors, ShownOnceAsAHintAndTheProgramGoesOn) {
  const std::pair<const char*, std::function<void()>> failures[] = {
      {"memory exhausted", [] { throw std::bad_alloc(); }},
      {"a runtime error", [] { throw std::runtime_error("broken"); }},
      {"not an exception class", [] { throw 42; }},
  };
  for (const Path& p : kPaths) {
    for (const auto& f : failures) {
      SCOPED_TRACE(std::string(p.name) + ", " + f.first);
      ScriptedDialogs dialogs;
      Windows w;
      w.handler.fail = f.second;
      p.trigger(w);
      ASSERT_EQ(w.handler.calls, 1);
      std::vector<AskedDialog> boxes = Boxes(dialogs);
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, "程序出错，操作未完成！");
      EXPECT_EQ(boxes[0].title, "提示");
      EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
      EXPECT_EQ(boxes[0].owner, cl::Application.Handle());

      // Still responsive: the same window runs its handler again, quietly.
      w.handler.fail = nullptr;
      p.trigger(w);
      cl::Application.ProcessMessages();
      EXPECT_EQ(w.handler.calls, 2);
      EXPECT_EQ(Boxes(dialogs).size(), 1u);
      EXPECT_TRUE(IsWindow(w.form.Handle()));
    }
  }
}

TEST(HandlerErrors, AFailureWhileTheMessageIsUpIsNotShownAgain) {
  ScriptedDialogs dialogs;
  Windows w;
  w.handler.fail = [] { throw std::runtime_error("broken"); };
  // The box's own loop would serve a paint or a click that fails again.
  dialogs.onAsked = [&](const AskedDialog&) {
    if (w.handler.calls == 1) SendMessageA(w.button.Handle(), BM_CLICK, 0, 0);
  };
  SendMessageA(w.button.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(w.handler.calls, 2);
  EXPECT_EQ(Boxes(dialogs).size(), 1u);
  // Once the box is gone, a new failure is shown again.
  dialogs.onAsked = nullptr;
  SendMessageA(w.button.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(Boxes(dialogs).size(), 2u);
}

}  // namespace
