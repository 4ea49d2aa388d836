#include "sorv_test.h"

#include <shellapi.h>
#include <shlobj.h>

#include "Unit3.h"
#include "cl_strings.h"
#include "cl_sysutil.h"
#include "scripts.h"

namespace sorvtest {

ScratchDir::ScratchDir() {
  static int n = 0;
  path_ = cl::TempDir() + "sorvtest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++n) + "\\";
  RemoveTree(path_);
  SHCreateDirectoryExA(nullptr, path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::string ScratchDir::Make(const std::string& name) const {
  std::string p = path_ + name;
  SHCreateDirectoryExA(nullptr, p.c_str(), nullptr);
  return p;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::string dir = cl::ExtractFilePath(path);
  if (!dir.empty()) SHCreateDirectoryExA(nullptr, dir.c_str(), nullptr);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = bytes.empty() || (::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                              put == bytes.size());
  CloseHandle(h);
  return ok;
}

std::string ReadFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buf[65536];
  DWORD got = 0;
  while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
  CloseHandle(h);
  return out;
}

void RemoveTree(const std::string& path) {
  // The program's own deletion: it never lists through a link a test left.
  if (cl::DirectoryExists(path)) DeleteTree(path);
}

bool IsLink(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool FolderLinksRemovable() {
  // Wine opens a link's target even when asked for the link itself, so no
  // link to a folder can go there without its target.
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
}

std::string GitFolders() {
  char buf[1024] = {};
  DWORD n = GetEnvironmentVariableA("SORV_GIT_FOLDERS", buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return {};
  std::string p = buf;
  // A Unix path: Wine shows the root as drive Z.
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p)
    if (c == '/') c = '\\';
  p = cl::IncludeTrailingBackslash(p);
  return cl::DirectoryExists(p + "full") ? p : std::string();
}

FakeConsole::FakeConsole(const std::string& title) {
  WNDCLASSEXA wc{};
  if (!GetClassInfoExA(GetModuleHandleA(nullptr), "SorvFakeConsole", &wc)) {
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SorvFakeConsole";
    RegisterClassExA(&wc);
  }
  hwnd_ = CreateWindowExA(0, "SorvFakeConsole", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                          GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

FakeConsole::~FakeConsole() {
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

LRESULT CALLBACK FakeConsole::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {
    if (auto* self = reinterpret_cast<FakeConsole*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA))) {
      self->closed = true;
      self->hwnd_ = nullptr;
    }
    DestroyWindow(hwnd);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace sorvtest

void SorvTest::SetUpTestSuite() {
  program_ = new sorvtest::ScratchDir;
  cl::OverrideProgramDir(program_->Path());
  if (!Form1) {
    // The first start-up finds no git source and would start a listing.
    sorvtest::WriteFile(program_->Path() + "gitpath.dat", "\r\n");
    CreateProgramForms();
    Form1->Show();
    cl::Application.ProcessMessages();
  }
}

void SorvTest::TearDownTestSuite() {
  cl::Application.RunUntil([] { return !WorkerRunning(); });
  cl::OverrideProgramDir("");
  delete program_;
  program_ = nullptr;
}

void SorvTest::SetUp() {
  commands_.clear();
  RunCommand = [this](const std::string& line, UINT show) {
    EXPECT_EQ(show, static_cast<UINT>(SW_HIDE));
    commands_.push_back(line);
    return 33u;
  };
  for (const char* f : {"srcpath.dat", "gitpath.dat", "tempgitpath.dat"}) DeleteFileA((program_->Path() + f).c_str());
  sorvtest::RemoveTree(program_->Path() + "Git");
}

void SorvTest::TearDown() { cl::Application.RunUntil([] { return !WorkerRunning(); }); }

void SorvTest::Restart() {
  Form1->LabeledEdit1.SetText("");
  Form1->LabeledEdit2.SetText("");
  Form1->Timer1.SetEnabled(false);
  Form1->Timer1.Tag = 0;
  Form1->Memo1.SetLines({});
  Form1->FormCreate();
}

void SorvTest::QueueFolder(const std::string& dir) {
  dialogs_.QueueModalAction([dir](cl::TForm*) {
    Form3->FormShow();
    Form3->DirectoryListBox1.SetDirectory(dir);
    Form3->Button1.Click();
    return Form3->ModalResult;
  });
}
