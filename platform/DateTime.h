#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

constexpr double kMinutesPerDay = 1440.0;
constexpr std::int64_t kMSecsPerDay = 86'400'000;

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, MSec = 0;
};

bool IsValidDate(int year, int month, int day);
// Throws EConvertError for a date or time that does not exist.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int msec = 0);
// Rounds to the millisecond first, so 09:05:59.9999 is 09:06:00.000.
TDateTimeParts DecodeDateTime(TDateTime value);

// The computer's local clock.
TDateTime Now();

// Moves T by N minutes as (T * 1440 + N) / 1440; N is negative to move back.
TDateTime IncMinutes(TDateTime value, std::int64_t minutes);

// Pattern letters, in either case: yyyy or yy, mm or m (month), dd or d, hh or h,
// nn or n (minutes), ss or s, zzz or z (milliseconds). Anything else is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

// Reads "yyyy-MM-dd hh:mm:ss": numbers may be shorter (the year has four digits),
// blanks may surround them, seconds or minutes-and-seconds may be left out, and an
// empty time of day is midnight. Throws "'%s' is not a valid date and time".
TDateTime StrToDateTime(std::string_view text);

}  // namespace plat
