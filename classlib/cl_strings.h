// String lists and file-name helpers. Paths are ANSI text in the system code
// page, where the trail byte of a double-byte character may be 0x5C ('\'):
// every split walks characters, never bytes.
#pragma once
#include <string>
#include <vector>

namespace cl {

class TStringList {
public:
  std::vector<std::string> Strings;

  int Count() const { return static_cast<int>(Strings.size()); }
  void Add(const std::string& s) { Strings.push_back(s); }
  void Clear() { Strings.clear(); }
  int IndexOf(const std::string& s) const;
  // Every line followed by CR LF.
  std::string Text() const;
  // Splits at CR LF, LF or CR; a final line break adds no empty line.
  void SetText(const std::string& text);
  // Items separated by commas; an item with a blank, a comma or a quote is
  // quoted, a quote inside doubled.
  std::string CommaText() const;
  // Items separated by commas or blanks; quoted items keep their blanks.
  void SetCommaText(const std::string& text);
  bool LoadFromFile(const std::string& path);
  // Writes the file anew (see CreateFreshFile); false when it cannot.
  bool SaveToFile(const std::string& path) const;
};

// True when c starts a double-byte character of the system code page.
bool IsLeadByte(unsigned char c);
// Bytes of the character that starts at text[i]: 2 for a lead byte with a
// byte after it (the trail byte may equal '\'), else 1. Every walk over ANSI
// text steps with it.
inline size_t CharBytes(const std::string& text, size_t i) {
  return IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// Offset just past the last '\' (or ':') of path, by characters.
size_t FileNameStart(const std::string& path);
std::string ExtractFileName(const std::string& path);
// The folder part with its trailing '\'.
std::string ExtractFilePath(const std::string& path);
std::string IncludeTrailingBackslash(const std::string& path);
// A file (not a folder) stands at path.
bool FileExists(const std::string& path);
// A folder stands at path.
bool DirectoryExists(const std::string& path);
// A file or a folder stands at path.
bool PathExists(const std::string& path);
// Makes the folder at path and every missing folder above it; true when a
// folder stands there afterwards. "\" and "/" both separate. A drive root
// ("D:\") or a share ("\\server\share") is never made, and a file in
// the way is never replaced: both give false.
bool ForceDirectories(const std::string& path);
// The whole content of the file at path; false when it cannot be opened or
// read to its end. With writersShutOut the open also fails while another
// handle has the file open for writing (a console still writing it).
bool ReadWholeFile(const std::string& path, std::string& content, bool writersShutOut = false);
// True for a name the file system hands to a device whatever its extension:
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9 and LPT1-LPT9, in any case,
// with trailing blanks before the first dot.
bool IsDeviceName(const std::string& name);

}  // namespace cl
