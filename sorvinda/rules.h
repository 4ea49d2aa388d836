// The download manager's rules over plain strings and files: settings, the
// source-folder and console-title texts, the safety check of texts that go
// into command lines, the branch-list readers and the search for git among
// the environment's path entries. The forms and workers call these.
#pragma once
#include <string>
#include <vector>

// ---- Texts ---------------------------------------------------------------------
// Removes characters of value 0 to 32 from both ends.
std::string TrimText(const std::string& s);
// a-z become A-Z; every other byte stays (GBK included).
std::string UpperAscii(std::string s);
// Byte-wise search after upper-casing both sides in ASCII; npos when absent.
size_t FindNoCase(const std::string& text, const std::string& what);
bool ContainsNoCase(const std::string& text, const std::string& what);
// The class layer's comma-text split.
std::vector<std::string> CommaSplit(const std::string& text);
// True when text holds a blank, a control character or one of
// & | < > ^ % ! " ( ) ; , = outside a double-byte GBK character: such a text
// could break or extend a script line or a command line.
bool IsUnsafeText(const std::string& text);

// ---- Settings files beside the program -----------------------------------------------
// The whole text of the file (lines joined by CR LF), trimmed at both ends;
// empty when the file is missing.
std::string ReadSettingFile(const std::string& path);
// Writes text as the only line of the file, replacing it; false on failure.
bool WriteSettingFile(const std::string& path, const std::string& text);
// The source folder of an edit's text: trimmed, with "\" appended unless its
// last character is one ("" gives "\").
std::string SourcePathFrom(const std::string& editText);

// ---- Console windows -------------------------------------------------------------
enum class ConsoleKind { Init, Download, Switch };
// The exact title a generated script gives its console window.
std::string ConsoleTitle(ConsoleKind kind, const std::string& srcPath, const std::string& startTime);

// ---- Branch lists -------------------------------------------------------------------
// The platform branch a FETCH_HEAD line names; false for a line without
// "branch" or without a name after it.
bool FetchHeadEntry(const std::string& line, std::string& entry);
// The branch a HEAD file's lines name (the part after the last "/"); false
// when they yield none.
bool HeadBranch(const std::vector<std::string>& lines, std::string& branch);
// What the kernel repository's description ("initdir\origin") gives.
struct OriginInfo {
  bool accepted = false;        // its first line is "* remote origin" (any case)
  bool hasHeadText = false;     // a "HEAD branch" line was there (its text may be empty)
  std::string headText;         // the kernel box's text
  std::vector<std::string> branches;  // the kernel list's entries, in order
};
OriginInfo ReadOrigin(const std::vector<std::string>& lines);
// True when path names an entry of more than 0 bytes.
bool FileSizeAboveZero(const std::string& path);

// ---- Git through the environment -----------------------------------------------------
// The value of name in a "set" listing: the text after the first "=" of the
// first line whose name matches without regard to case; empty when none does.
std::string ListingValue(const std::vector<std::string>& lines, const std::string& name);
// The entries of a path value: split at ";" outside double quotes, the
// quotes removed.
std::vector<std::string> SplitPathValue(const std::string& value);
// True when an entry names git's bin folder: a component ending in "git" (any
// case) followed by the component "bin"; dir is the entry up to that git
// component, "/" turned into "\", with a trailing "\".
bool GitDirFromPathEntry(const std::string& entry, std::string& dir);
// Every git folder the listing's path value names, in order.
std::vector<std::string> GitDirsFromListing(const std::vector<std::string>& lines);

// ---- Hidden commands ---------------------------------------------------------------
// Writes the environment listing into programDir + "tempgitpath.dat".
std::string ListingCommand(const std::string& programDir);
// Restores the manifest's working files with gitBin on the path; the checkout
// runs only when the change of folder succeeded.
std::string ManifestRestoreCommand(const std::string& gitBin, const std::string& srcPath);
