// Local date and time as text, in the user's short date and long time formats.
#pragma once
#include <windows.h>
#include <string>

namespace cl {

// The date, a blank and the time; the time is left out at 00:00:00.
std::string DateTimeToStr(const SYSTEMTIME& t);
// DateTimeToStr of the local time now.
std::string NowText();

}  // namespace cl
