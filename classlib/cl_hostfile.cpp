#include "cl_hostfile.h"

#include <algorithm>

namespace cl {

HANDLE CreateFreshFile(const std::string& path, DWORD access) {
  HANDLE file = CreateFileA(path.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  DWORD error = GetLastError();
  if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  // Replacing by truncation makes the host flush the old file's blocks at
  // the last close; a file deleted and made anew costs nothing of the kind.
  if (!DeleteFileA(path.c_str())) return INVALID_HANDLE_VALUE;
  return CreateFileA(path.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file, bytes, part, &done, nullptr) || done == 0) return false;
    bytes += done;
    length -= done;
  }
  return true;
}

bool WriteHostFile(const std::string& hostPath, const uint8_t* bytes, size_t length) {
  HANDLE file = CreateFreshFile(hostPath, GENERIC_WRITE);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, bytes, length);
  if (!CloseHandle(file)) ok = false;
  if (!ok) DeleteFileA(hostPath.c_str());
  return ok;
}

}  // namespace cl
