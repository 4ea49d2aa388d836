#include "cl_datetime.h"

namespace cl {

std::string DateTimeToStr(const SYSTEMTIME& t) {
  char date[128] = {}, time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, sizeof date);
  std::string out = date;
  if (t.wHour || t.wMinute || t.wSecond) {
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, sizeof time);
    out += std::string(" ") + time;
  }
  return out;
}

std::string NowText() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return DateTimeToStr(t);
}

}  // namespace cl
