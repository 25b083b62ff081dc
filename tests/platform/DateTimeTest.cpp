#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"

using namespace plat;

TEST(DateTime, DayCountStartsOn30December1899) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 5, 1), 45413.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 5, 1, 18, 0, 0), 45413.75);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(DateTime, DecodeIsTheInverseOfEncode) {
  const struct {
    int y, m, d, h, n, s;
  } cases[] = {{2024, 2, 29, 23, 59, 59},
               {2000, 1, 1, 0, 0, 0},
               {1999, 12, 31, 12, 30, 1},
               {9999, 12, 31, 23, 59, 59},
               {1800, 3, 1, 6, 0, 0}};
  for (const auto& c : cases) {
    const TDateTimeParts p = DecodeDateTime(EncodeDateTime(c.y, c.m, c.d, c.h, c.n, c.s));
    EXPECT_EQ(p.Year, c.y);
    EXPECT_EQ(p.Month, c.m);
    EXPECT_EQ(p.Day, c.d);
    EXPECT_EQ(p.Hour, c.h);
    EXPECT_EQ(p.Minute, c.n);
    EXPECT_EQ(p.Second, c.s);
  }
}

TEST(DateTime, MovingByMinutesUsesTheMinuteArithmetic) {
  const TDateTime t = EncodeDateTime(2024, 5, 2, 14, 0, 0);
  EXPECT_DOUBLE_EQ(IncMinutes(t, -10), (t * 1440 - 10) / 1440);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", IncMinutes(t, -10)), "2024-05-02 13:50:00");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", IncMinutes(t, 22 * 60 + 30)),
            "2024-05-03 12:30:00");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", IncMinutes(EncodeDateTime(2024, 1, 1), -1)),
            "2023-12-31 23:59:00");
}

TEST(DateTime, FormatsThePatternsTheSystemUses) {
  const TDateTime t = EncodeDateTime(2024, 3, 7, 9, 5, 59);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss ", t), "2024-03-07 09:05:59 ");
  EXPECT_EQ(FormatDateTime("yyyymmdd", t), "20240307");
  EXPECT_EQ(FormatDateTime("YYYY-MM-DD HH:NN:SS", t), "2024-03-07 09:05:59");
  // Card times drop the seconds rather than rounding them into the minute.
  EXPECT_EQ(FormatDateTime("YYYYMMDDHHNN", t), "202403070905");
  EXPECT_EQ(FormatDateTime("YYMMDD", t), "240307");
  EXPECT_EQ(FormatDateTime("HHNN", t), "0905");
}

TEST(DateTime, FractionsRoundToTheMillisecondBeforeSplitting) {
  // 0.5 ms short of midnight is midnight of the next day, as day counts are inexact.
  const TDateTime almostMidnight = EncodeDateTime(2024, 5, 1) + (86'399'999.6 / 86'400'000.0);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", almostMidnight), "2024-05-02 00:00:00");
}

TEST(DateTime, NowIsTheLocalClock) {
  const TDateTime now = Now();
  const time_t seconds = time(nullptr);
  tm local{};
  localtime_r(&seconds, &local);
  const TDateTime expected = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                            local.tm_hour, local.tm_min, local.tm_sec);
  EXPECT_NEAR(now, expected, 2.0 / 86400);
}

TEST(StrToDateTime, ReadsTheRequestForms) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"2024-05-01 14:00:00", "2024-05-01 14:00:00"},
      {"2024-5-1 9:5:7", "2024-05-01 09:05:07"},
      {" 2024 - 05 - 01   14 : 00 : 00 ", "2024-05-01 14:00:00"},
      {"2024-05-01 14:30", "2024-05-01 14:30:00"},
      {"2024-05-01 14", "2024-05-01 14:00:00"},
      {"2024-05-01 ", "2024-05-01 00:00:00"},
      {"2024-05-01", "2024-05-01 00:00:00"},
      {"2024-02-29 23:59:59", "2024-02-29 23:59:59"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", StrToDateTime(c.text)), c.expected) << c.text;
  }
}

TEST(StrToDateTime, RefusesWhatIsNoDateAndTime) {
  const char* cases[] = {"",
                         " ",
                         "14:00:00",
                         "2024/05/01 14:00:00",
                         "2023-02-29 10:00:00",
                         "2024-13-01 10:00:00",
                         "2024-04-31 10:00:00",
                         "2024-05-01 24:00:00",
                         "2024-05-01 10:60:00",
                         "2024-05-01 10:00:60",
                         "2024-05-01 10:00:00.5",
                         "2024-05-01 2:00 PM",
                         "24-05-01 10:00:00",
                         "2024-05-01 10:",
                         "2024-05-01 10:00:",
                         "2024-05-001 10:00:00",
                         "2024-05-01 10:00:00 x",
                         "x2024-05-01"};
  for (const char* text : cases) {
    try {
      StrToDateTime(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid date and time");
    }
  }
}
