#include "entrytext.h"

#include <unordered_set>

#include "cl_datetime.h"
#include "openimage.h"
#include "model.h"

namespace {

// Seconds from 1601-01-01 (FILETIME's start) to 1970-01-01.
constexpr uint64_t UnixEpochSeconds = 11644473600ULL;
// What the shown times are ahead of the stored Unix times.
constexpr uint32_t ShownZoneSeconds = 28800;

// The user's decimal separator ("." when the locale gives none).
std::string DecimalSeparator() {
  char sep[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, sizeof sep) <= 1) return ".";
  return sep;
}

// numerator / denominator with two decimals, rounded half up.
std::string TwoDecimals(uint64_t numerator, uint64_t denominator) {
  uint64_t hundredths = (numerator * 100 + denominator / 2) / denominator;
  std::string frac = std::to_string(hundredths % 100);
  if (frac.size() < 2) frac = "0" + frac;
  return std::to_string(hundredths / 100) + DecimalSeparator() + frac;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FormatMode(uint32_t mode, uint8_t style) {
  static const char* const kTriples[] = {"---", "--x", "-w-", "-wx", "r--", "r-x", "rw-", "rwx"};
  uint32_t other = mode & 7, group = (mode >> 3) & 7, user = (mode >> 6) & 7, special = (mode >> 9) & 7;
  if (style == 0) return std::to_string(special) + std::to_string(user) + std::to_string(group) + std::to_string(other);
  if (style != 1) return "";
  std::string u = kTriples[user], g = kTriples[group], o = kTriples[other];
  auto mark = [](std::string& triple) { triple[2] = triple[2] == 'x' ? 's' : 'S'; };
  if (special & 4) mark(u);
  if (special & 2) mark(g);
  if (special & 1) mark(o);
  return u + g + o;
}

uint32_t ParseOctalMode(const std::string& text) {
  std::string digits = "0000" + text;
  digits = digits.substr(digits.size() - 4);
  uint32_t result = 0;
  for (char c : digits) {
    if (c < '0' || c > '7') return 0;
    result = result * 8 + static_cast<uint32_t>(c - '0');
  }
  return result;
}

std::string TypeText(uint32_t type, const std::string& alias, const std::string& hardLinkTarget) {
  switch (type) {
    case 3: return "目录";
    case 1: return "文件";
    case 2: return "软链接  ->" + alias;
    case 4: return "硬链接  ->" + hardLinkTarget;
    case 5: return "特殊";
    case 0: return "未知";
    default: return "";
  }
}

std::string ByteSizeText(uint64_t bytes) {
  const std::string count = std::to_string(bytes);
  const std::string sep = DecimalSeparator();
  std::string kb = TwoDecimals(bytes, 1024);
  // The unit follows the length of the KB text, as the separator makes it.
  if (kb.size() == 3 + sep.size()) return count + "字节";
  if (kb.size() <= 5 + sep.size()) return kb + "KB (" + count + "字节)";
  return TwoDecimals(bytes, 1024 * 1024) + "MB (" + count + "字节)";
}

SYSTEMTIME MTimeClock(uint32_t mtime) {
  uint32_t shown = mtime + ShownZoneSeconds;  // wraps in 32 bits
  uint64_t ticks = (static_cast<uint64_t>(shown) + UnixEpochSeconds) * 10000000ULL;
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME st{};
  FileTimeToSystemTime(&ft, &st);
  return st;
}

std::string MTimeText(uint32_t mtime) { return cl::DateTimeToStr(MTimeClock(mtime)); }

std::string DetailText(uint32_t mode) { return FormatMode(mode, 1) + " (" + FormatMode(mode, 0) + ")"; }

std::string StatusDetailsText(const std::string& type, const std::string& size, const std::string& detail) {
  return "类型：" + type + ", 大小：" + size + ", 详细：" + detail;
}

bool ParseIdNumber(const std::string& text, uint32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return false;
  uint64_t v = 0;
  for (; i < text.size(); ++i) {
    int d = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (d < 0) return false;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    // Hexadecimal digits fill the 32-bit pattern; decimals stay within the signed range.
    if (v > (hex ? 0xFFFFFFFFULL : (negative ? 0x80000000ULL : 0x7FFFFFFFULL))) return false;
  }
  uint32_t bits = static_cast<uint32_t>(v);
  value = negative ? 0u - bits : bits;
  return true;
}

bool ParseEntryNumber(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = static_cast<uint32_t>(std::stoull(text));
  return true;
}

bool EntryId(const std::string& text, uint16_t& id) {
  uint32_t value = 0;
  if (!ParseEntryNumber(text, value)) return false;
  id = IdKey(value);
  return true;
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

bool SameEntryName(const std::string& a, const std::string& b) { return TrimBlanks(a) == TrimBlanks(b); }

std::vector<bool> NamesTakenBefore(const std::vector<std::string>& ansiNames) {
  std::vector<bool> taken(ansiNames.size(), false);
  std::unordered_set<std::string> texts, stored;
  for (size_t i = 0; i < ansiNames.size(); ++i) {
    if (ansiNames[i].empty()) continue;
    std::string text = TrimBlanks(ansiNames[i]);
    std::string field = TrimBlanks(NameFieldText(ansiNames[i]));
    if (texts.count(text) || stored.count(field)) {
      taken[i] = true;
      continue;
    }
    texts.insert(std::move(text));
    stored.insert(std::move(field));
  }
  return taken;
}

bool NameRefused(const std::string& name) {
  // GBK trail bytes lie at 0x40 and above: a '/' byte is always the character.
  return name.find('/') != std::string::npos || name == "." || name == "..";
}

std::string CutUtf8(const std::string& utf8, size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  // Step back over the continuation bytes of the character the cut would split
  // (at most three: no valid character has more).
  size_t end = maxBytes;
  for (int i = 0; i < 3 && end > 0 && (static_cast<uint8_t>(utf8[end]) & 0xC0) == 0x80; ++i) --end;
  return utf8.substr(0, end);
}

std::string NameFieldText(const std::string& ansiName) { return CutUtf8(Utf8FromAnsi(ansiName), MaxNameBytes); }
