#include "cl_resstream.h"

namespace cl {

TResourceStream::TResourceStream(HMODULE module, const std::string& name, const std::string& type) {
  HRSRC res = FindResourceA(module, name.c_str(), type.c_str());
  if (!res) return;
  HGLOBAL g = LoadResource(module, res);
  if (!g) return;
  data_ = LockResource(g);
  size_ = data_ ? SizeofResource(module, res) : 0;
}

bool TResourceStream::SaveToFile(const std::string& path) const {
  if (!data_) return false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = size_ == 0 || (WriteFile(h, data_, static_cast<DWORD>(size_), &put, nullptr) && put == size_);
  ok = CloseHandle(h) && ok;
  if (!ok) DeleteFileA(path.c_str());
  return ok;
}

}  // namespace cl
