// Saving the carried archive through the link "android system.img修改工具".
#include <stdexcept>

#include "cl_strings.h"
#include "sorv_test.h"

namespace {

std::string ResourceBytes() {
  HRSRC res = FindResourceA(nullptr, "NM1", "LX1");
  HGLOBAL g = res ? LoadResource(nullptr, res) : nullptr;
  const char* p = g ? static_cast<const char*>(LockResource(g)) : nullptr;
  return p ? std::string(p, SizeofResource(nullptr, res)) : std::string();
}

class SorvArchive : public SorvTest {};

TEST_F(SorvArchive, SavesTheResourceByteForByteAndReplaces) {
  const std::string bytes = ResourceBytes();
  if (bytes.empty()) GTEST_SKIP() << "built without the carried archive";
  ASSERT_EQ(bytes.compare(0, 7, std::string("Rar!\x1a\x07\x00", 7)), 0);
  sorvtest::ScratchDir dir;
  const std::string path = dir.Path() + "ostrivan.rar";
  sorvtest::WriteFile(path, std::string(bytes.size() * 2, 'x'));  // longer: must shrink
  dialogs_.QueueText(path);
  Form1->Label4Click();
  auto asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, cl::DialogKind::SaveFile);
  EXPECT_EQ(asked[0].text, "ostrivan.rar");
  EXPECT_EQ(Form1->SaveDialog1.Filter, "*.rar|*.rar");
  EXPECT_EQ(Form1->SaveDialog1.DefaultExt, "rar");
  EXPECT_TRUE(sorvtest::ReadFile(path) == bytes);
}

TEST_F(SorvArchive, CancelWritesNothingAndAFailedCreateIsReported) {
  sorvtest::ScratchDir dir;
  dialogs_.QueueText(dir.Path() + "a.rar", false);
  Form1->Label4Click();
  EXPECT_FALSE(cl::FileExists(dir.Path() + "a.rar"));
  if (ResourceBytes().empty()) GTEST_SKIP() << "built without the carried archive";
  const std::string bad = dir.Path() + "no such folder\\a.rar";
  dialogs_.QueueText(bad);
  EXPECT_THROW(Form1->Label4Click(), std::runtime_error);
  EXPECT_FALSE(cl::FileExists(bad));
}

}  // namespace
