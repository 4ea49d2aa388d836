// The program's folder, the temporary folder and the code-page conversions
// that both programs share. ANSI text is in the system code page (GBK).
#pragma once
#include <string>

namespace cl {

// Folder of the program file, ending in "\".
std::string ProgramDir();
// Makes ProgramDir() answer folder (which must end in "\") instead, so that a
// test or the session driver keeps its files in a folder of its own; an
// empty folder restores the program's.
void OverrideProgramDir(const std::string& folder);
// The temporary folder, long form, ending in "\"; the short form the system
// gave when the long form cannot be had; empty when there is none.
std::string TempDir();
// The long form of path; empty when the path does not exist or the call fails.
std::string LongPathName(const std::string& path);

// Conversions through UTF-16; characters the code page lacks become its
// substitution character.
std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
std::string AnsiFromWide(const std::wstring& text);
std::wstring WideFromAnsi(const std::string& text);
std::string AnsiFromUtf8(const std::string& utf8);
std::string Utf8FromAnsi(const std::string& ansi);

}  // namespace cl
