// Paths of the program and the system, and text conversions between UTF-8,
// UTF-16 and the ANSI code page.
#pragma once
#include <string>

namespace cl {

// Folder of the program file, ending in "\".
std::string ProgramDir();
// Makes ProgramDir() answer folder instead (tests); an empty folder restores
// the program's own.
void OverrideProgramDir(const std::string& folder);
// The temporary folder, long form, ending in "\".
std::string TempDir();
// GetLongPathNameA of path; empty when the path does not exist.
std::string LongPathName(const std::string& path);

std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
std::string AnsiFromWide(const std::wstring& text);
std::wstring WideFromAnsi(const std::string& text);
std::string AnsiFromUtf8(const std::string& text);
std::string Utf8FromAnsi(const std::string& text);

}  // namespace cl
