#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "cl_app.h"
#include "cl_pagectrl.h"

namespace {

std::string TabText(HWND tabs, int i) {
  char buf[64] = {};
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = buf;
  item.cchTextMax = sizeof buf;
  SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
  return buf;
}

// Selects tab i as a click on it does: the strip changes, then tells its parent.
void ClickTab(cl::TPageControl& pc, int i) {
  SendMessageA(pc.TabHandle(), TCM_SETCURSEL, i, 0);
  NMHDR hdr{pc.TabHandle(), 0, static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageA(pc.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
}

TEST(PageControl, OneSheetShownAtATimeInsideTheStrip) {
  cl::TForm form;
  form.Position = cl::poDesigned;
  form.SetClientSize(300, 200);
  cl::TPageControl pc(&form);
  pc.SetBounds(10, 10, 280, 180);
  cl::TTabSheet& first = pc.AddPage("常规");
  cl::TTabSheet& second = pc.AddPage("Second");
  form.Show();
  cl::Application.ProcessMessages();

  EXPECT_EQ(pc.PageCount(), 2);
  EXPECT_EQ(pc.ActivePage(), &first);
  EXPECT_EQ(TabText(pc.TabHandle(), 0), "常规");
  EXPECT_EQ(first.Caption(), "常规");
  EXPECT_EQ(first.Name, "TabSheet1");
  EXPECT_TRUE(IsWindowVisible(first.Handle()));
  EXPECT_FALSE(IsWindowVisible(second.Handle()));
  // The sheet lies below the tabs, within the control.
  RECT display;
  GetClientRect(pc.Handle(), &display);
  SendMessageA(pc.TabHandle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  EXPECT_EQ(first.Left(), display.left);
  EXPECT_EQ(first.Top(), display.top);
  EXPECT_GT(first.Top(), 0);
  EXPECT_EQ(first.Width(), display.right - display.left);
  EXPECT_LE(first.Top() + first.Height(), 180);

  ClickTab(pc, 1);
  EXPECT_EQ(pc.ActivePage(), &second);
  EXPECT_FALSE(IsWindowVisible(first.Handle()));
  EXPECT_TRUE(IsWindowVisible(second.Handle()));
  pc.SetActivePage(0);
  EXPECT_EQ(SendMessageA(pc.TabHandle(), TCM_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(IsWindowVisible(first.Handle()));
  pc.SetActivePage(2);  // no such page
  EXPECT_EQ(pc.ActivePage(), &first);

  second.SetCaption("Renamed");
  EXPECT_EQ(TabText(pc.TabHandle(), 1), "Renamed");
  EXPECT_EQ(second.Caption(), "Renamed");
  form.DestroyForm();
}

}  // namespace
