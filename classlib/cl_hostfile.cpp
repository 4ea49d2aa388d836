#include "cl_hostfile.h"

#include <algorithm>

#include "cl_hostpath.h"
#include "cl_strings.h"

namespace cl {

HANDLE CreateFreshFile(const std::string& path, DWORD access) {
  // Replacing by truncation makes the host flush the old file's blocks at
  // the last close; a file deleted and made anew costs nothing of the kind.
  const std::string folder = ExtractFilePath(path);
  return CreateFreshFileBelow(folder.empty() ? "." : folder, path, access);
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
