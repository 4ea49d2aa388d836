// Finding git through the environment: the hidden listing, the worker's wait
// for a whole listing and its bounded wait; messages from worker threads.
#include "Unit4.h"
#include "cl_strings.h"
#include "cl_sysutil.h"
#include "sorv_test.h"

namespace {

class SorvGitPath : public SorvTest {};

TEST_F(SorvGitPath, RealListingInAProgramFolderWithABlank) {
  sorvtest::ScratchDir dir;
  const std::string e = dir.Make("程序 folder") + "\\";
  cl::OverrideProgramDir(e);
  RunCommand = [this](const std::string& line, UINT show) {
    commands_.push_back(line);
    return WinExec(line.c_str(), show);
  };
  char oldPath[8192] = {};
  GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
  SetEnvironmentVariableA("PATH", (std::string("C:\\Tools\\PortableGit\\bin;") + oldPath + ";c:/git/BIN/").c_str());
  Restart();
  SetEnvironmentVariableA("PATH", oldPath);
  ASSERT_EQ(commands_, std::vector<std::string>{"cmd.exe /c set>\"" + e + "tempgitpath.dat\""});
  cl::Application.RunUntil([] { return !WorkerRunning(); });
  EXPECT_EQ(Form1->LabeledEdit2.Text(), "c:\\git\\");
  EXPECT_NE(sorvtest::ReadFile(e + "tempgitpath.dat").find("PortableGit"), std::string::npos);
  cl::OverrideProgramDir(program_->Path());
}

TEST_F(SorvGitPath, WaitsForAWholeListingAndGivesUpQuietly) {
  sorvtest::ScratchDir dir;
  const std::string listing = dir.Path() + "tempgitpath.dat";
  Form1->LabeledEdit2.SetText("");
  // The console still writes: the first half must not be taken.
  HANDLE writer = CreateFileA(listing.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const std::string first = "Path=C:\\A\\Git\\bin", rest = ";D:\\B\\Git\\bin\r\n";
  DWORD put = 0;
  WriteFile(writer, first.data(), static_cast<DWORD>(first.size()), &put, nullptr);
  auto owned = std::make_unique<gitpathThread>(listing, 10000);
  gitpathThread* worker = owned.get();
  StartWorker(std::move(owned));
  // Three polls pass with the writer still there: the worker goes on waiting.
  EXPECT_EQ(WaitForSingleObject(worker->Handle(), 1600), static_cast<DWORD>(WAIT_TIMEOUT));
  WriteFile(writer, rest.data(), static_cast<DWORD>(rest.size()), &put, nullptr);
  CloseHandle(writer);
  cl::Application.RunUntil([worker] { return worker->Finished(); });
  EXPECT_EQ(Form1->LabeledEdit2.Text(), "D:\\B\\Git\\");

  // No listing at all: the worker ends after its limit, showing nothing.
  Form1->LabeledEdit2.SetText("kept");
  DWORD start = GetTickCount();
  auto ownedIdle = std::make_unique<gitpathThread>(dir.Path() + "never.dat", 1000);
  gitpathThread* idle = ownedIdle.get();
  StartWorker(std::move(ownedIdle));
  cl::Application.RunUntil([idle] { return idle->Finished(); });
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_EQ(Form1->LabeledEdit2.Text(), "kept");
  EXPECT_TRUE(dialogs_.Asked().empty());
}

// Workers show their own messages: the seam takes questions from several
// threads at once and loses none.
class Noisy : public cl::TThread {
public:
  explicit Noisy(int id) : id_(id) {}

protected:
  void Execute() override {
    for (int i = 0; i < 50; ++i) ShowNotice(std::to_string(id_) + ":" + std::to_string(i));
  }

private:
  int id_;
};

TEST_F(SorvGitPath, MessagesFromWorkerThreads) {
  std::vector<std::unique_ptr<Noisy>> workers;
  for (int id = 0; id < 4; ++id) workers.push_back(std::make_unique<Noisy>(id));
  for (auto& w : workers) w->Start();
  for (int i = 0; i < 50; ++i) ShowNotice("ui:" + std::to_string(i));
  // A worker's question is answered on the interface thread: keep serving it.
  cl::Application.RunUntil([&] {
    for (auto& w : workers)
      if (!w->Finished()) return false;
    return true;
  });
  for (auto& w : workers) w->WaitFor();
  auto asked = dialogs_.Asked();
  ASSERT_EQ(asked.size(), 250u);
  std::vector<int> next(5, 0);
  for (const AskedDialog& a : asked) {
    size_t colon = a.text.find(':');
    int who = a.text.compare(0, colon, "ui") == 0 ? 4 : std::stoi(a.text.substr(0, colon));
    EXPECT_EQ(std::stoi(a.text.substr(colon + 1)), next[who]++);  // each thread's own order kept
    EXPECT_EQ(a.title, "提示");
  }
}

}  // namespace
