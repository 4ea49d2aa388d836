// Host files written whole: what the extraction and the rebuild share.
// Paths are ANSI (the system code page).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace cl {

// Creates path anew for access with exclusive sharing: CREATE_NEW, and when a
// file stands there it is deleted first (a folder, a link, or a file another
// program holds, stays and the result is INVALID_HANDLE_VALUE).
HANDLE CreateFreshFile(const std::string& path, DWORD access);
// WriteFile until length bytes are written; false on the first failure.
bool WriteAll(HANDLE file, const uint8_t* bytes, size_t length);
// A host file made anew with exactly bytes as its content, in one write;
// false (and no file left) when it cannot be created or written.
bool WriteHostFile(const std::string& hostPath, const uint8_t* bytes, size_t length);

}  // namespace cl
