#include <gtest/gtest.h>

#include "Unit1.h"
#include "Unit7.h"

namespace {

class StorageParameters : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!Form1) CreateProgramForms();
  }
};

TEST_F(StorageParameters, DialogDescribesTheOpenedImage) {
  struct Case {
    const char* name;
    uint32_t inputTags;
    uint8_t detected;
    const char* eccText;
    std::vector<std::string> markerItems;
    int markerIndex;
  } cases[] = {
      {"no marker, no ECC", 2048, 0, "无ECC或未知ECC", {"当前IMG没有 FFFF标志", "设置为 有 FFFF标志"}, 0},
      {"marker, yaffs2 ECC", 2050, 1, "yaffs2自带ECC", {"设置为 没有 FFFF 标志", "当前IMG 有 FFFF 标志"}, 1},
      {"no marker, NAND ECC", 2048, 2, "NAND FLASH ECC", {"当前IMG没有 FFFF标志", "设置为 有 FFFF标志"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputTagsOffset = c.inputTags;
    DetectedEccKind = c.detected;
    Form7->ModalResult = 12;
    Form7->FormShow();
    EXPECT_EQ(Form7->ModalResult, 0);
    EXPECT_EQ(Form7->Caption(), "存储参数");
    EXPECT_EQ(Form7->Label2.Caption(), c.eccText);
    EXPECT_EQ(Form7->RadioGroup2.Items(), c.markerItems);
    EXPECT_EQ(Form7->RadioGroup2.ItemIndex(), c.markerIndex);
    EXPECT_EQ(Form7->RadioGroup1.ItemIndex(), c.detected);
    EXPECT_EQ(Form7->Label3.Caption(),
              "(如果只是做删除操作,选择(无ECC)项则原ECC不会改动。\r 如果有修改操作,修改的内容部分将保存为无ECC\r "
              "其它未修改部分ECC不变)");
  }
}

TEST_F(StorageParameters, OkSetsTheTagsOffsetAndReturnsTheKind) {
  struct Case {
    int kind, marker;
    int result;
    uint32_t tags;
  } cases[] = {{0, 0, 11, 2048}, {1, 1, 12, 2050}, {2, 0, 13, 2048}, {2, 1, 13, 2050}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    InputTagsOffset = 2048;
    DetectedEccKind = 0;
    Form7->FormShow();
    Form7->RadioGroup1.SetItemIndex(c.kind);
    Form7->RadioGroup2.SetItemIndex(c.marker);
    Form7->Button1Click();
    EXPECT_EQ(Form7->ModalResult, c.result);
    EXPECT_EQ(OutputTagsOffset, c.tags);
  }
}

TEST_F(StorageParameters, CancelLeavesTheTagsOffset) {
  OutputTagsOffset = 2050;
  InputTagsOffset = 2048;
  Form7->FormShow();
  Form7->RadioGroup2.SetItemIndex(0);
  Form7->Button2Click();
  EXPECT_EQ(Form7->ModalResult, cl::mrCancel);
  EXPECT_EQ(OutputTagsOffset, 2050u);
}

}  // namespace
