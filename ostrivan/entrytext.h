#pragma once
// The texts the editor shows and reads about one entry: mode bits and their
// octal form, the type, size and time texts of the properties, the number
// grammar of the UID and GID commands, and the rules for names typed by the
// user. Plain functions over strings and numbers; no window.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Bits 0-11 of mode as text: style 0 the four octal digits (0755, 4755),
// style 1 the nine rwx characters with set-id and sticky bits as s/S
// (rwsr-xr-x); any other style ''. Higher bits are ignored.
std::string FormatMode(uint32_t mode, uint8_t style);
// The last four characters of "0000" + text as octal digits (special, user,
// group, other); 0 for any character that is not a digit 0-7.
uint32_t ParseOctalMode(const std::string& text);
// Mode word after a permission edit: the file-type bits above the low 12
// stay, the low 12 become bits.
inline uint32_t WithPermissionBits(uint32_t mode, uint32_t bits) { return (mode & ~07777u) | (bits & 07777u); }

// "目录", "文件", "软链接  ->" + alias, "硬链接  ->" + target, "特殊", "未知"
// by the type number; '' for any other number.
std::string TypeText(uint32_t type, const std::string& alias, const std::string& hardLinkTarget);
// A byte count as the properties show it: n字节 below 10.00 KB, k.kkKB (n字节)
// below 1000.00 KB, m.mmMB (n字节) above; two decimals rounded half up with
// the user's decimal separator.
std::string ByteSizeText(uint64_t bytes);
// The date and time an mtime shows: eight hours added in 32 bits (so the sum
// wraps), whatever the machine's zone.
SYSTEMTIME MTimeClock(uint32_t mtime);
// MTimeClock as text: the user's short date, a blank and the user's long
// time; the date alone at exactly midnight.
std::string MTimeText(uint32_t mtime);
// FormatMode(mode, 1) + " (" + FormatMode(mode, 0) + ")".
std::string DetailText(uint32_t mode);
// The line of status panel 5 for the selected entry.
std::string StatusDetailsText(const std::string& type, const std::string& size, const std::string& detail);

// A whole signed 32-bit integer as the UID and GID commands accept it:
// leading blanks, an optional sign, then decimal digits within the signed
// 32-bit range, or hexadecimal digits after "$", "x", "X", "0x" or "0X" whose
// value fits in 32 bits; nothing after the digits. The result is the 32-bit
// pattern (-1 gives 4294967295). False for anything else.
bool ParseIdNumber(const std::string& text, uint32_t& value);

// A number of the entry list, an entry's id or type text as the folder view
// writes them: 1 to 10 decimal digits, taken in 32 bits. False, and value
// untouched, for any other text.
bool ParseEntryNumber(const std::string& text, uint32_t& value);
// An entry's id text (ParseEntryNumber) as the object id it names, keyed by
// its low 16 bits. False for a text that is no id.
bool EntryId(const std::string& text, uint16_t& id);

// The text without the characters up to blank (controls and blanks) at its ends.
std::string TrimBlanks(const std::string& text);
// Whether two entry names count as one: equal once trimmed, case-sensitive.
bool SameEntryName(const std::string& a, const std::string& b);
// Which entries of one folder's listing an added folder leaves out, by
// index: those whose name an entry before them has already taken, as
// ChildNamed tells names apart (the same trimmed text, or the same name field
// text once trimmed: two long names that differ only past the cut are one
// name in the image). An empty name stands for an entry left out for
// another reason: it takes no name and is never left out here.
std::vector<bool> NamesTakenBefore(const std::vector<std::string>& ansiNames);
// A name that no entry may take: one holding "/", or "." or "..".
bool NameRefused(const std::string& name);
// The first at most maxBytes bytes of a UTF-8 text, ending on a character
// boundary.
std::string CutUtf8(const std::string& utf8, size_t maxBytes);
// The UTF-8 name field of a record for an ANSI name typed by the user: its
// first bytes up to MaxNameBytes, cut at a character boundary.
std::string NameFieldText(const std::string& ansiName);
