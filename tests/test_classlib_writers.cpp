#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cl_writerproc.h"
#include "image_builder.h"

using testsupport::PatternBytes;
using testsupport::ReadHostFile;
using testsupport::ScratchFolder;
using testsupport::WriteBytes;

namespace {


// Hands one file over, waiting for room as long as it takes.
void HandOver(cl::FileWriterProcess& w, const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(w.Fits(path, static_cast<uint32_t>(bytes.size())));
  uint8_t* at;
  while (!(at = w.Reserve(path, static_cast<uint32_t>(bytes.size())))) w.Wait(32);
  if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
  w.Publish();
}

std::vector<bool> AllResults(cl::FileWriterProcess& w) {
  std::vector<bool> results;
  while (w.InFlight() > 0) {
    w.Wait(w.InFlight());
    w.TakeResults(results);
  }
  return results;
}

bool Ended(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// A process handle of ours that stays valid after the writer's own is closed.
HANDLE Duplicate(HANDLE process) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0);
  return copy;
}

}  // namespace

// Replacing, failing and empty files, in the order handed over, by the
// writer process itself (it is still up afterwards: nothing fell back).
TEST(WriterProcess, WritesEachFileAndReportsItsResultInOrder) {
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.Path().empty());
  ASSERT_TRUE(WriteBytes(scratch.File("held"), "old", 3));
  HANDLE held = CreateFileA(scratch.File("held").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  ASSERT_TRUE(CreateDirectoryA(scratch.File("dir").c_str(), nullptr));

  cl::FileWriterProcess w;
  ASSERT_TRUE(w.Usable());
  ASSERT_NE(nullptr, w.Process());
  w.WaitUntilUp();
  ASSERT_TRUE(w.WriterUp());
  HandOver(w, scratch.File("a"), "first");
  HandOver(w, scratch.File("none\\f"), "x");  // no such folder
  HandOver(w, scratch.File("A"), "second");   // the same file: the later one wins
  HandOver(w, scratch.File("empty"), "");
  HandOver(w, scratch.File("held"), "new");  // held by another program
  HandOver(w, scratch.File("dir"), "x");     // a folder stands there
  HandOver(w, scratch.File("中文名"), PatternBytes(70000, 7));
  EXPECT_EQ((std::vector<bool>{true, false, true, true, false, false, true}), AllResults(w));
  CloseHandle(held);

  EXPECT_EQ("second", ReadHostFile(scratch.File("a")));
  EXPECT_EQ("", ReadHostFile(scratch.File("empty")));
  EXPECT_EQ("old", ReadHostFile(scratch.File("held")));
  EXPECT_EQ("<missing>", ReadHostFile(scratch.File("none\\f")));
  EXPECT_EQ(PatternBytes(70000, 7), ReadHostFile(scratch.File("中文名")));
  EXPECT_TRUE(w.WriterUp());
  EXPECT_FALSE(Ended(w.Process()));
}

// More bytes and more files than the ring holds at once: the owner waits
// for room, and every file arrives whole.
TEST(WriterProcess, MoreThanTheRingHoldsWaitsForRoom) {
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.Path().empty());
  cl::FileWriterProcess w;
  ASSERT_TRUE(w.Usable());
  const uint32_t big = 3u << 20;  // a few of these fill the ring
  const int bigFiles = cl::FileWriterProcess::RingBytes / big * 3;
  const int smallFiles = cl::FileWriterProcess::RingSlots + 300;
  for (int i = 0; i < bigFiles; ++i) HandOver(w, scratch.File("big" + std::to_string(i)), PatternBytes(big, i));
  for (int i = 0; i < smallFiles; ++i)
    HandOver(w, scratch.File("s" + std::to_string(i)), PatternBytes(i % 300, i));
  std::vector<bool> results = AllResults(w);
  ASSERT_EQ(static_cast<size_t>(bigFiles + smallFiles), results.size());
  EXPECT_EQ(results.size(), static_cast<size_t>(std::count(results.begin(), results.end(), true)));
  for (int i = 0; i < bigFiles; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(ReadHostFile(scratch.File("big" + std::to_string(i))) == PatternBytes(big, i));
  }
  for (int i = 0; i < smallFiles; i += 97) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PatternBytes(i % 300, i), ReadHostFile(scratch.File("s" + std::to_string(i))));
  }
}

// A writer killed with files in flight: the owner notices at its next wait
// and writes what was not written (a file cut short is made again), and
// writes every later file at once.
TEST(WriterProcess, FilesOfAWriterThatDiesAreWrittenByTheOwner) {
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.Path().empty());
  cl::FileWriterProcess w;
  ASSERT_TRUE(w.Usable());
  w.WaitUntilUp();
  for (int i = 0; i < 200; ++i) HandOver(w, scratch.File("f" + std::to_string(i)), PatternBytes(20000 + i, i));
  ASSERT_TRUE(TerminateProcess(w.Process(), 9));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(w.Process(), 30000));
  HandOver(w, scratch.File("f200"), "after the end");
  std::vector<bool> results = AllResults(w);
  EXPECT_EQ(std::vector<bool>(201, true), results);
  EXPECT_FALSE(w.WriterUp());
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(ReadHostFile(scratch.File("f" + std::to_string(i))) == PatternBytes(20000 + i, i));
  }
  HandOver(w, scratch.File("later"), "written at once");
  EXPECT_EQ(1u, w.InFlight());
  std::vector<bool> last;
  w.TakeResults(last);
  EXPECT_EQ(std::vector<bool>{true}, last);
  EXPECT_EQ("written at once", ReadHostFile(scratch.File("later")));
}

// Leaving the owner's hands: every file handed over is written, and the
// writer has ended by the time the destructor returns.
TEST(WriterProcess, DestructorWritesEverythingAndEndsTheWriter) {
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.Path().empty());
  HANDLE process = nullptr;
  {
    cl::FileWriterProcess w;
    ASSERT_TRUE(w.Usable());
    process = Duplicate(w.Process());
    ASSERT_NE(nullptr, process);
    for (int i = 0; i < 300; ++i) HandOver(w, scratch.File("f" + std::to_string(i)), PatternBytes(5000, i));
  }
  EXPECT_TRUE(Ended(process));
  CloseHandle(process);
  for (int i = 0; i < 300; i += 29) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PatternBytes(5000, i), ReadHostFile(scratch.File("f" + std::to_string(i))));
  }
}

// Run in a process of its own by the next test: starts a writer and ends
// without a word to it.
TEST(WriterProcess, DISABLED_OwnerThatVanishes) {
  auto* w = new cl::FileWriterProcess();  // never destroyed
  w->WaitUntilUp();
  const char* out = getenv("WRITER_PID_FILE");
  ASSERT_NE(nullptr, out);
  std::string pid = std::to_string(GetProcessId(w->Process()));
  ASSERT_TRUE(WriteBytes(out, pid.data(), pid.size()));
  TerminateProcess(GetCurrentProcess(), 0);
}

TEST(WriterProcess, AWriterWhoseOwnerHasGoneEnds) {
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.Path().empty());
  const std::string pidFile = scratch.File("pid");
  ASSERT_TRUE(SetEnvironmentVariableA("WRITER_PID_FILE", pidFile.c_str()));
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  std::string command = std::string("\"") + self +
                        "\" --gtest_filter=WriterProcess.DISABLED_OwnerThatVanishes --gtest_also_run_disabled_tests";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
  CloseHandle(pi.hProcess);
  SetEnvironmentVariableA("WRITER_PID_FILE", nullptr);
  std::string pid = ReadHostFile(pidFile);
  ASSERT_NE("<missing>", pid);
  HANDLE writer = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(pid));
  // Gone already, or going.
  if (writer) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer, 60000));
    CloseHandle(writer);
  }
}
