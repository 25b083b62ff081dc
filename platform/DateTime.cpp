#include "platform/DateTime.h"

#include <cmath>
#include <ctime>

#include "platform/Errors.h"

namespace plat {
namespace {

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1899-12-30 (day 0) to the given civil date.
std::int64_t DaysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil, shifted from 1970-01-01 to 1899-12-30.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + doe - 719468 + 25569;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  const std::int64_t z = days - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

TDateTime Compose(std::int64_t days, std::int64_t msOfDay) {
  const double time = static_cast<double>(msOfDay) / static_cast<double>(kMSecsPerDay);
  // Before day 0 the fraction still counts forward from midnight.
  return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

void AppendNumber(std::string& out, int value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  out += digits;
}

// A small scanner for StrToDateTime.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ')
      ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ == text_.size();
  }
  // Up to maxDigits decimal digits after optional blanks.
  bool Number(int& value, std::size_t maxDigits, std::size_t* digitCount = nullptr) {
    SkipBlanks();
    std::size_t n = 0;
    value = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      if (++n > maxDigits)
        return false;
      value = value * 10 + (text_[pos_++] - '0');
    }
    if (digitCount != nullptr)
      *digitCount = n;
    return n > 0;
  }
  bool Char(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

[[noreturn]] void NotADateTime(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid date and time");
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  if (!IsValidDate(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || msec < 0 || msec > 999) {
    throw EConvertError("Invalid argument to date encode");
  }
  const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
  return Compose(DaysFromCivil(year, month, day), ms);
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  std::int64_t days = static_cast<std::int64_t>(std::trunc(value));
  std::int64_t ms = std::llround(std::fabs(value - static_cast<double>(days)) *
                                 static_cast<double>(kMSecsPerDay));
  if (ms >= kMSecsPerDay) {
    ms -= kMSecsPerDay;
    days += value < 0 ? -1 : 1;
  }
  TDateTimeParts p;
  CivilFromDays(days, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(ms / 3'600'000);
  p.Minute = static_cast<int>(ms / 60'000 % 60);
  p.Second = static_cast<int>(ms / 1000 % 60);
  p.MSec = static_cast<int>(ms % 1000);
  return p;
}

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  const std::int64_t ms =
      ((local.tm_hour * 60LL + local.tm_min) * 60 + local.tm_sec) * 1000 + ts.tv_nsec / 1'000'000;
  return Compose(DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday), ms);
}

TDateTime IncMinutes(TDateTime value, std::int64_t minutes) {
  return (value * kMinutesPerDay + static_cast<double>(minutes)) / kMinutesPerDay;
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  const TDateTimeParts p = DecodeDateTime(value);
  std::string out;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    std::size_t run = 1;
    while (i + run < pattern.size() && (pattern[i + run] | 0x20) == lower)
      ++run;
    switch (lower) {
      case 'y':
        if (run >= 4) {
          AppendNumber(out, p.Year, 4);
        } else {
          AppendNumber(out, p.Year % 100, 2);
        }
        break;
      case 'm':
        AppendNumber(out, p.Month, run >= 2 ? 2 : 1);
        break;
      case 'd':
        AppendNumber(out, p.Day, run >= 2 ? 2 : 1);
        break;
      case 'h':
        AppendNumber(out, p.Hour, run >= 2 ? 2 : 1);
        break;
      case 'n':
        AppendNumber(out, p.Minute, run >= 2 ? 2 : 1);
        break;
      case 's':
        AppendNumber(out, p.Second, run >= 2 ? 2 : 1);
        break;
      case 'z':
        AppendNumber(out, p.MSec, run >= 3 ? 3 : 1);
        break;
      default:
        out.append(pattern.substr(i, run));
        break;
    }
    i += run;
  }
  return out;
}

TDateTime StrToDateTime(std::string_view text) {
  Scanner s(text);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::size_t yearDigits = 0;
  if (!s.Number(year, 4, &yearDigits) || yearDigits != 4 || !s.Char('-') || !s.Number(month, 2) ||
      !s.Char('-') || !s.Number(day, 2) || !IsValidDate(year, month, day)) {
    NotADateTime(text);
  }
  if (!s.AtEnd()) {
    if (!s.Number(hour, 2))
      NotADateTime(text);
    if (s.Char(':')) {
      if (!s.Number(minute, 2))
        NotADateTime(text);
      if (s.Char(':') && !s.Number(second, 2))
        NotADateTime(text);
    }
    if (!s.AtEnd() || hour > 23 || minute > 59 || second > 59)
      NotADateTime(text);
  }
  return EncodeDateTime(year, month, day, hour, minute, second);
}

}  // namespace plat
