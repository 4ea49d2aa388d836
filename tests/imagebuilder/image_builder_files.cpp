// The builder's file side: writing images and scratch folders (Windows only;
// the host build of the pure tests leaves this file out).
#include <windows.h>

#include <algorithm>

#include "image_builder.h"

namespace testsupport {

namespace {

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA((folder + "*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\");
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &fd));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

bool ImageBuilder::WriteTo(const std::string& path, size_t length) const {
  return WriteBytes(path, bytes_.data(), std::min(length, bytes_.size()));
}

std::string ReadHostFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  CloseHandle(h);
  return bytes;
}

bool WriteBytes(const std::string& path, const void* data, size_t size) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  bool ok = true;
  while (ok && size > 0) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    ok = WriteFile(f, p, part, &written, nullptr) && written == part;
    p += part;
    size -= part;
  }
  CloseHandle(f);
  return ok;
}

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  std::string base = std::string(temp) + "ostrivan-test-" + std::to_string(GetCurrentProcessId()) + "-";
  for (unsigned n = 0;; ++n) {
    std::string candidate = base + std::to_string(n);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate + "\\";
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS || n > 100000) return;
  }
}

ScratchFolder::~ScratchFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

}  // namespace testsupport
