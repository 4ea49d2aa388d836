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
  bool SaveToFile(const std::string& path) const;
};

// Offset just past the last '\' (or ':') of path, by characters.
size_t FileNameStart(const std::string& path);
std::string ExtractFileName(const std::string& path);
// The folder part with its trailing '\'.
std::string ExtractFilePath(const std::string& path);
std::string IncludeTrailingBackslash(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

}  // namespace cl
