// Whether a host path is what it names, with links of every kind made on
// the host, and the fresh file that never replaces one.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "cl_hostfile.h"
#include "cl_hostpath.h"
#include "cl_strings.h"
#include "hostlink.h"
#include "image_builder.h"

namespace {

using testlink::HostLink;

bool WriteText(const std::string& path, const std::string& text) {
  return testsupport::WriteBytes(path, text.data(), text.size());
}

std::string ReadAll(const std::string& path) {
  std::string text;
  cl::ReadWholeFile(path, text);
  return text;
}

// The user's folder "user" beside a folder "outside", and links of each
// kind in the user's folder; "ulink" is a link to the user's folder itself.
class HostPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    user_ = scratch_.File("user\\");
    outside_ = scratch_.File("outside\\");
    ASSERT_TRUE(cl::ForceDirectories(user_ + "sub"));
    ASSERT_TRUE(cl::ForceDirectories(outside_));
    ASSERT_TRUE(WriteText(user_ + "plain.txt", "plain"));
    ASSERT_TRUE(WriteText(user_ + "sub\\deep.txt", "deep"));
    ASSERT_TRUE(WriteText(outside_ + "target.txt", "target"));
    SetFileAttributesA((outside_ + "target.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    Link("user\\flink", outside_ + "target.txt");
    Link("user\\sub\\flink", outside_ + "target.txt");
    Link("user\\dangle", outside_ + "none.txt");
    Link("user\\dlink", outside_);
    Link("ulink", scratch_.File("user"));
  }
  void TearDown() override { SetFileAttributesA((outside_ + "target.txt").c_str(), FILE_ATTRIBUTE_NORMAL); }
  void Link(const std::string& name, const std::string& target) {
    links_.push_back(std::make_unique<HostLink>(scratch_.File(name), target));
    ASSERT_TRUE(links_.back()->Made()) << name;
  }
  // The outside folder holds its one file, its bytes and its read-only mark
  // unchanged.
  void ExpectOutsideUntouched() {
    EXPECT_EQ(ReadAll(outside_ + "target.txt"), "target");
    EXPECT_EQ(GetFileAttributesA((outside_ + "target.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(cl::FileExists(outside_ + "none.txt"));
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((outside_ + "*").c_str(), &fd);
    int n = 0;
    if (h != INVALID_HANDLE_VALUE) {
      do n += std::string(fd.cFileName) != "." && std::string(fd.cFileName) != "..";
      while (FindNextFileA(h, &fd));
      FindClose(h);
    }
    EXPECT_EQ(n, 1);
  }

  testsupport::ScratchFolder scratch_;
  std::string user_, outside_;
  std::vector<std::unique_ptr<HostLink>> links_;
};

TEST_F(HostPathTest, OnlyAPathWithNoLinkBelowTheRootIsPlain) {
  struct Case {
    const char* name;
    std::string root, path;
    bool plain;
  } cases[] = {
      {"a plain file", user_, user_ + "plain.txt", true},
      {"a plain folder, trailing backslash", user_, user_ + "sub\\", true},
      {"a file in a plain folder", user_, user_ + "sub\\deep.txt", true},
      {"another case of the name", user_, user_ + "PLAIN.TXT", true},
      {"a dotted way there", user_, user_ + "sub\\..\\plain.txt", true},
      {"the root itself", user_, user_, true},
      {"a link to a file", user_, user_ + "flink", false},
      {"a link to a file in a subfolder", user_, user_ + "sub\\flink", false},
      {"a link to nothing", user_, user_ + "dangle", false},
      {"a link to a folder", user_, user_ + "dlink", false},
      {"a file in a linked folder", user_, user_ + "dlink\\target.txt", false},
      {"the root reached through a link", scratch_.File("ulink"), scratch_.File("ulink\\plain.txt"), true},
      {"a folder below a root reached through a link", scratch_.File("ulink\\"), scratch_.File("ulink\\sub"), true},
      {"a link below a root reached through a link", scratch_.File("ulink"), scratch_.File("ulink\\sub\\flink"),
       false},
      {"nothing there", user_, user_ + "missing.txt", false},
      {"not below the root", user_, outside_ + "target.txt", false},
      {"a name that only starts like the root", scratch_.File("us"), user_ + "plain.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cl::IsPlainBelow(c.root, c.path), c.plain);
  }
  EXPECT_TRUE(cl::HostPathExists(user_ + "flink"));
  EXPECT_FALSE(cl::HostPathExists(user_ + "dangle"));
  // A short (8.3) name in the user's folder is another name of a file of a
  // longer one: an image entry of that name must not replace it.
  const std::string longer = user_ + "a much longer name.txt";
  ASSERT_TRUE(WriteText(longer, "long"));
  char shortPath[MAX_PATH] = {};
  const DWORD n = GetShortPathNameA(longer.c_str(), shortPath, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  const std::string shortName = cl::ExtractFileName(shortPath);
  ASSERT_NE(shortName, "a much longer name.txt");
  EXPECT_FALSE(cl::IsPlainBelow(user_, user_ + shortName)) << shortName;
  EXPECT_TRUE(cl::IsPlainBelow(user_, longer));
}

// A fresh file replaces a plain file, never a link of any kind, and makes
// nothing where a link to nothing points.
TEST_F(HostPathTest, AFreshFileNeverReplacesALink) {
  struct Case {
    const char* name;
    std::string path;
    bool made;
  } cases[] = {
      {"a plain file", user_ + "plain.txt", true},
      {"a new name", user_ + "new.txt", true},
      {"a link to a file", user_ + "flink", false},
      {"a link to a file in a subfolder", user_ + "sub\\flink", false},
      {"a link to nothing", user_ + "dangle", false},
      {"a link to a folder", user_ + "dlink", false},
      {"a plain folder", user_ + "sub", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cl::WriteHostFile(c.path, reinterpret_cast<const uint8_t*>("new"), 3), c.made);
    if (c.made) {
      EXPECT_EQ(ReadAll(c.path), "new");
    }
    cl::TStringList list;
    list.Add("line");
    EXPECT_EQ(list.SaveToFile(c.path), c.made);
    ExpectOutsideUntouched();
  }
  EXPECT_EQ(ReadAll(user_ + "sub\\deep.txt"), "deep");
}

}  // namespace
