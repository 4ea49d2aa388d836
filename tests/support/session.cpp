#include "session.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "cl_app.h"
#include "cl_sysutil.h"

ScriptedDialogs::ScriptedDialogs() {
  InitializeCriticalSection(&lock_);
  cl::SetDialogHook([this](const cl::DialogRequest& req) { return Answer(req); });
}

ScriptedDialogs::~ScriptedDialogs() {
  cl::SetDialogHook(nullptr);
  DeleteCriticalSection(&lock_);
}

std::vector<AskedDialog> ScriptedDialogs::Asked() {
  EnterCriticalSection(&lock_);
  std::vector<AskedDialog> copy = asked;
  LeaveCriticalSection(&lock_);
  return copy;
}

void ScriptedDialogs::QueueButton(int id) { buttons_.push_back(id); }
void ScriptedDialogs::QueueText(const std::string& text, bool accepted) { texts_.emplace_back(text, accepted); }
void ScriptedDialogs::QueueFiles(const std::vector<std::string>& files) { files_.push_back(files); }
void ScriptedDialogs::QueueModal(int result) {
  modals_.push_back([result](cl::TForm*) { return result; });
}
void ScriptedDialogs::QueueModalAction(std::function<int(cl::TForm*)> action) { modals_.push_back(std::move(action)); }

cl::DialogAnswer ScriptedDialogs::Answer(const cl::DialogRequest& req) {
  cl::DialogAnswer ans;
  std::function<int(cl::TForm*)> action;
  EnterCriticalSection(&lock_);
  AskedDialog a{req.kind, req.title, req.text, req.flags, req.owner};
  a.value = req.value;
  asked.push_back(a);
  if (onAsked) onAsked(a);
  switch (req.kind) {
    case cl::DialogKind::MessageBox: {
      UINT type = req.flags & MB_TYPEMASK;
      ans.result = (type == MB_YESNO || type == MB_YESNOCANCEL) ? IDYES : IDOK;
      if (!buttons_.empty()) {
        ans.result = buttons_.front();
        buttons_.pop_front();
      }
      break;
    }
    case cl::DialogKind::InputBox:
    case cl::DialogKind::SaveFile:
    case cl::DialogKind::BrowseFolder:
      if (!texts_.empty()) {
        ans.text = texts_.front().first;
        ans.result = texts_.front().second ? 1 : 0;
        texts_.pop_front();
      }
      break;
    case cl::DialogKind::OpenFile:
      if (!files_.empty()) {
        ans.files = files_.front();
        ans.result = ans.files.empty() ? 0 : 1;
        files_.pop_front();
      } else if (!texts_.empty()) {
        ans.text = texts_.front().first;
        ans.result = texts_.front().second ? 1 : 0;
        texts_.pop_front();
      }
      break;
    case cl::DialogKind::ModalForm:
      if (std::find(realForms.begin(), realForms.end(), req.form) != realForms.end()) {
        ans.result = cl::DialogAnswer::kRunReal;
      } else if (!modals_.empty()) {
        action = std::move(modals_.front());
        modals_.pop_front();
      } else {
        ans.result = cl::mrOk;
      }
      break;
  }
  LeaveCriticalSection(&lock_);
  // The action may ask questions of its own: it runs outside the lock.
  if (action) ans.result = action(req.form);
  return ans;
}

namespace {

// Wine now and then ends a start before any of the program's code ran. The
// wrapper that starts the test programs and the drivers (scripts/wine-exec.sh)
// starts one once more only when it can tell that happened: this mark, made
// by the earliest static initialiser, before any other code of the program,
// in the file that OSTRIVAN_START_MARK names. A mark that cannot be made ends
// the program at once with exit code 4, so that a start that ran is never
// taken for one that did not. Children of the program inherit the variable
// and add to the same mark.
class StartMark {
public:
  StartMark() {
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"OSTRIVAN_START_MARK", path, MAX_PATH);
    if (n == 0) return;
    bool made = false;
    if (n < MAX_PATH) {
      HANDLE h = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        static const char kLine[] = "started\n";
        DWORD written = 0;
        made = WriteFile(h, kLine, sizeof kLine - 1, &written, nullptr) && written == sizeof kLine - 1;
        made = CloseHandle(h) && made;
      }
    }
    if (!made) {
      static const char kText[] = "FATAL: the start mark named by OSTRIVAN_START_MARK cannot be written\n";
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
      ExitProcess(4);
    }
  }
};

StartMark startMark __attribute__((init_priority(101)));

}  // namespace

std::string Utf8FromAnsiText(const std::string& ansi) { return cl::Utf8FromAnsi(ansi); }
std::string AnsiFromUtf8Text(const std::string& utf8) { return cl::AnsiFromUtf8(utf8); }

namespace {

// Prints text on standard output and standard error and ends the process
// with exit code 3. Drivers print to redirected standard output only; tests
// read standard error.
[[noreturn]] void ReportAndEnd(const char* text) {
  fputs(text, stdout);
  fputs(text, stderr);
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  for (;;) Sleep(INFINITE);
}

LONG CALLBACK FailOnFault(EXCEPTION_POINTERS* info) {
  DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_ILLEGAL_INSTRUCTION &&
      code != EXCEPTION_INT_DIVIDE_BY_ZERO && code != EXCEPTION_STACK_OVERFLOW)
    return EXCEPTION_CONTINUE_SEARCH;
  auto base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  auto at = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
  if (at < base || at >= base + nt->OptionalHeader.SizeOfImage) return EXCEPTION_CONTINUE_SEARCH;
  char text[128];
  snprintf(text, sizeof text, "FATAL: exception 0x%08lx at offset 0x%llx of the test program\n", code,
           static_cast<unsigned long long>(at - base));
  ReportAndEnd(text);
}

// Any exception that nothing handles, wherever it happened (inside a system
// or C library routine too): without this, the loader may end the process
// with a code that reads as success.
LONG WINAPI FailOnUnhandled(EXCEPTION_POINTERS* info) {
  char text[128];
  snprintf(text, sizeof text, "FATAL: unhandled exception 0x%08lx at %p\n",
           static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), info->ExceptionRecord->ExceptionAddress);
  ReportAndEnd(text);
}

}  // namespace

void ReportFaultsAndFail() {
  AddVectoredExceptionHandler(1, FailOnFault);
  SetUnhandledExceptionFilter(FailOnUnhandled);
}

bool SaveScreenshot(HWND window, const std::string& path) {
  RECT r;
  GetWindowRect(window, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  DWORD stride = ((w * 3 + 3) & ~3u), size = stride * h;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + size;
  bool ok = false;
  if (FILE* f = fopen(path.c_str(), "wb")) {
    ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
         fwrite(bits, 1, size, f) == size;
    ok = fclose(f) == 0 && ok;
  }
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return ok;
}

std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int a = 1; a < count; ++a) args.push_back(cl::Utf8FromWide(wide[a]));
    LocalFree(wide);
  }
  return args;
}
