#include "session.h"

#include <algorithm>

#include "cl_app.h"

ScriptedDialogs::ScriptedDialogs() {
  cl::SetDialogHook([this](const cl::DialogRequest& req) { return Answer(req); });
}

ScriptedDialogs::~ScriptedDialogs() { cl::SetDialogHook(nullptr); }

void ScriptedDialogs::QueueButton(int id) { buttons_.push_back(id); }
void ScriptedDialogs::QueueText(const std::string& text, bool accepted) { texts_.emplace_back(text, accepted); }
void ScriptedDialogs::QueueFiles(const std::vector<std::string>& files) { files_.push_back(files); }
void ScriptedDialogs::QueueModal(int result) {
  modals_.push_back([result](cl::TForm*) { return result; });
}
void ScriptedDialogs::QueueModalAction(std::function<int(cl::TForm*)> action) { modals_.push_back(std::move(action)); }

cl::DialogAnswer ScriptedDialogs::Answer(const cl::DialogRequest& req) {
  cl::DialogAnswer ans;
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
        auto action = std::move(modals_.front());
        modals_.pop_front();
        ans.result = action(req.form);
      } else {
        ans.result = cl::mrOk;
      }
      break;
  }
  return ans;
}

namespace {
std::string Convert(const std::string& s, UINT from, UINT to) {
  if (s.empty()) return s;
  int n = MultiByteToWideChar(from, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(from, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  int m = WideCharToMultiByte(to, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(m, '\0');
  WideCharToMultiByte(to, 0, w.data(), n, &out[0], m, nullptr, nullptr);
  return out;
}
}  // namespace

std::string Utf8FromAnsiText(const std::string& ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }
std::string AnsiFromUtf8Text(const std::string& utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }
