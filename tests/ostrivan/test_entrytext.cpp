#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "entrytext.h"

namespace {

std::string Octal(uint32_t v) {
  char buf[16];
  snprintf(buf, sizeof buf, "0%o", v);
  return buf;
}

TEST(FormatMode, BothStylesMarkSetIdAndStickyBits) {
  struct Case {
    uint32_t mode;
    const char* rwx;
    const char* digits;
  } cases[] = {
      {0100755, "rwxr-xr-x", "0755"},  // the file-type bits are ignored
      {04755, "rwsr-xr-x", "4755"},
      {04644, "rwSr--r--", "4644"},
      {02750, "rwxr-s---", "2750"},
      {01777, "rwxrwxrws", "1777"},   // sticky takes s, not t
      {01776, "rwxrwxrwS", "1776"},
      {07000, "--S--S--S", "7000"},
      {0, "---------", "0000"},
      {0177777, "rwsrwsrws", "7777"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Octal(c.mode));
    EXPECT_EQ(FormatMode(c.mode, 1), c.rwx);
    EXPECT_EQ(FormatMode(c.mode, 0), c.digits);
  }
  EXPECT_EQ(FormatMode(0755, 2), "");
  EXPECT_EQ(DetailText(0100755), "rwxr-xr-x (0755)");
}

TEST(ParseOctalMode, LastFourCharactersAsOctalDigits) {
  struct Case {
    const char* text;
    uint32_t bits;
  } cases[] = {
      {"755", 493},   {"0755", 493}, {"4755", 2541}, {"7777", 4095}, {"12755", 1517},  // only "2755" counts
      {"", 0},        {"8", 0},      {"75a", 0},     {" 755", 0},    {"0000", 0},
      {"-755", 0},    {"7", 7},      {"0007", 7},    {"70", 56},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "'");
    EXPECT_EQ(ParseOctalMode(c.text), c.bits);
  }
}

TEST(TypeText, UnknownAndUnlistedTypeNumbers) {
  EXPECT_EQ(TypeText(0, "x", "y"), "未知");
  EXPECT_EQ(TypeText(6, "x", "y"), "");
}

TEST(ByteSizeText, UnitsSwitchOnTheLengthOfTheKilobyteText) {
  char sep[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, sizeof sep) <= 1) strcpy(sep, ".");
  auto d = [&sep](const char* whole, const char* frac) { return std::string(whole) + sep + frac; };
  struct Case {
    uint64_t bytes;
    std::string text;
  } cases[] = {
      {0, "0字节"},
      {10234, "10234字节"},
      {10235, d("10", "00") + "KB (10235字节)"},
      {10368, d("10", "13") + "KB (10368字节)"},  // 10.125 rounds up
      {1023994, d("999", "99") + "KB (1023994字节)"},
      {1023995, d("0", "98") + "MB (1023995字节)"},
      {4294967295u, d("4096", "00") + "MB (4294967295字节)"},
      {5368709120ull, d("5120", "00") + "MB (5368709120字节)"},  // a folder's sum passes 32 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytes));
    EXPECT_EQ(ByteSizeText(c.bytes), c.text);
  }
}

TEST(MTimeClock, EightHoursAheadInThirtyTwoBits) {
  struct Case {
    uint32_t mtime;
    WORD day, hour, minute, second;
  } cases[] = {
      {0, 1, 8, 0, 0},
      {4294967295u, 1, 7, 59, 59},  // wraps to 28799
      {57599, 1, 23, 59, 59},
      {57600, 2, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mtime));
    SYSTEMTIME t = MTimeClock(c.mtime);
    EXPECT_EQ(t.wYear, 1970);
    EXPECT_EQ(t.wMonth, 1);
    EXPECT_EQ(t.wDay, c.day);
    EXPECT_EQ(t.wHour, c.hour);
    EXPECT_EQ(t.wMinute, c.minute);
    EXPECT_EQ(t.wSecond, c.second);
  }
}

TEST(MTimeText, MidnightShowsTheDateAlone) {
  SYSTEMTIME t = MTimeClock(57600);
  char date[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, sizeof date);
  EXPECT_EQ(MTimeText(57600), date);
  EXPECT_GT(MTimeText(57601).size(), std::string(date).size() + 1);
}

TEST(ParseIdNumber, SignedDecimalOrHexadecimalPattern) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t value;
  } cases[] = {
      {"1000", true, 1000},
      {"-1", true, 4294967295u},
      {"$10", true, 16},
      {"X1f", true, 31},
      {"0XfF", true, 255},
      {"  42", true, 42},
      {"+7", true, 7},
      {"-$10", true, 0xFFFFFFF0u},
      {"2147483647", true, 2147483647u},
      {"2147483648", false, 0},
      {"-2147483648", true, 2147483648u},
      {"-2147483649", false, 0},
      {"$FFFFFFFF", true, 4294967295u},
      {"$100000000", false, 0},
      {"1e3", false, 0},
      {"12 ", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"0x", false, 0},
      {"$G", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "'");
    uint32_t v = 12345;
    EXPECT_EQ(ParseIdNumber(c.text, v), c.ok);
    if (c.ok) EXPECT_EQ(v, c.value);
  }
}

TEST(EntryId, DecimalIdTextsKeyedByTheirLow16Bits) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t id;
  } cases[] = {
      {"1", true, 1},
      {"0", true, 0},
      {"65535", true, 65535},
      {"65536", true, 0},
      {"70000", true, 4464},
      {"0000000300", true, 300},        // ten digits: the longest text read
      {"00000000300", false, 0},        // eleven
      {"4294967296", true, 0},          // taken in 32 bits first
      {"", false, 0},
      {" 300", false, 0},
      {"300 ", false, 0},
      {"+300", false, 0},
      {"-1", false, 0},
      {"3a", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "'");
    uint16_t id = 12345;
    EXPECT_EQ(c.ok, EntryId(c.text, id));
    EXPECT_EQ(c.ok ? c.id : 12345, id);
  }
  uint32_t type = 7;
  EXPECT_TRUE(ParseEntryNumber("4294967295", type));
  EXPECT_EQ(4294967295u, type);
  EXPECT_FALSE(ParseEntryNumber("x", type));
  EXPECT_EQ(4294967295u, type);
}

TEST(EntryNames, TrimmedComparisonAndRefusedNames) {
  EXPECT_TRUE(SameEntryName("  tmp  ", "tmp"));
  EXPECT_TRUE(SameEntryName("tmp\t", " tmp"));
  EXPECT_FALSE(SameEntryName("Tmp", "tmp"));
  EXPECT_FALSE(SameEntryName("t mp", "tmp"));
  EXPECT_EQ(TrimBlanks("   "), "");
  struct Case {
    const char* name;
    bool refused;
  } cases[] = {{"a/b", true}, {"/", true},   {"a/", true},   {".", true},  {"..", true},
               {"...", false}, {". ", false}, {".a", false}, {"a.b", false}, {"中文", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NameRefused(c.name), c.refused);
  }
}

// Names of one host folder's listing, in listing order, and which of them an
// added folder leaves out because an entry before takes the name.
TEST(NamesTakenBefore, NamesThatMeetOnceStoredAreLeftOutAfterTheFirst) {
  std::string ming90, ming85, ming84;
  for (int i = 0; i < 90; ++i) ming90 += "名";  // 270 bytes in UTF-8
  ming85 = ming90.substr(0, 85 * 2);              // 255 bytes: a whole name field
  ming84 = ming90.substr(0, 84 * 2);              // 252 bytes
  const std::string n255(255, 'n'), n254(254, 'n');
  struct Case {
    const char* name;
    std::vector<std::string> names;
    std::vector<bool> left;
  } cases[] = {
      {"different names", {"a", "b", "c"}, {false, false, false}},
      {"differ only past the cut", {ming90 + "1", ming90 + "2"}, {false, true}},
      {"three past the cut, the first stays", {ming90 + "1", "x", ming90 + "2", ming90 + "3"},
       {false, false, true, true}},
      {"a whole field and one character more", {ming85, ming85 + "1"}, {false, true}},
      {"differ inside the field", {ming84 + "a", ming84 + "b"}, {false, false}},
      {"255 bytes then a difference", {n255 + "x", n255 + "y"}, {false, true}},
      {"254 bytes then a difference", {n254 + "x", n254 + "y"}, {false, false}},
      {"the same once trimmed", {" x", "x", "x "}, {false, true, true}},
      {"case counts", {"Tmp", "tmp"}, {false, false}},
      {"empty names take nothing", {"", "", "a", "", "a"}, {false, false, false, false, true}},
      {"no names", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.left, NamesTakenBefore(c.names));
  }
}

TEST(CutUtf8, KeepsWholeCharactersOnly) {
  struct Case {
    const char* name;
    std::string text;
    size_t max;
    std::string expected;
  };
  const Case cases[] = {
      {"exactly at the limit", "abc", 3, "abc"},
      {"one past the limit", "abcd", 3, "abc"},
      {"four-byte character split after its third byte", u8"a😀", 4, "a"},
      {"four-byte character whole", u8"a😀", 5, u8"a😀"},
      {"nothing fits", u8"€", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, CutUtf8(c.text, c.max));
  }
}

TEST(NameFieldText, LongNamesEndOnACharacterBoundary) {
  std::string ansi, utf8;
  for (int i = 0; i < 85; ++i) {
    ansi += "中";
    utf8 += u8"中";
  }
  // 255 bytes fit whole; one byte more cuts back to the last whole character.
  EXPECT_EQ(NameFieldText(ansi), utf8);
  std::string cut = u8"a" + utf8.substr(0, 84 * 3);
  EXPECT_EQ(NameFieldText("a" + ansi), cut);
  EXPECT_EQ(NameFieldText(std::string(255, 'n')), std::string(255, 'n'));
  EXPECT_EQ(NameFieldText(std::string(256, 'n')), std::string(255, 'n'));
}

}  // namespace
