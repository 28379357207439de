// Dates: seconds since 1970, day-of-year conversions, labels, the working
// date with its decoding hour, and the acceptance window.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"

namespace {

constexpr int M = tv::kMissInt;

Date make(int y, int mo = M, int d = M, int h = M, int mi = M, int s = M) {
  return Date{y, mo, d, M, M, h, mi, s};
}

std::string fields(const Date &d) {
  return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day) +
         " " + std::to_string(d.hour) + ":" + std::to_string(d.min) + ":" + std::to_string(d.sec);
}

std::string label_of(Date date) {
  char buf[40];
  EXPECT_EQ(DATE_make_label(&date, buf), 0);
  return buf;
}

// DATE_set_datim with `decode_hour` (null: resource without value); returns
// what it printed.
std::string set_datim(Date date, const char *decode_hour) {
  RES_new(-9999, "decode_hour", decode_hour, CV_string);
  testing::internal::CaptureStdout();
  DATE_set_datim(&date);
  return testing::internal::GetCapturedStdout();
}

Date working_date() {
  Date d;
  DATE_get_datim(&d);
  return d;
}

// Observation times and whether the window accepts them.
void expect_window(std::vector<std::pair<int, int>> checks) {
  for (auto [hhmm, accepted] : checks) EXPECT_EQ(DATE_chk_range(hhmm), accepted) << hhmm;
}

class DateWindow : public testing::Test {
 protected:
  void SetUp() override {
    FILE_reset_time();
    DATE_set_range(-45, 45);
  }
  void TearDown() override {
    RES_new(-9999, "decode_hour", nullptr, CV_string);
    FILE_reset_time();
  }
};

}  // namespace

TEST(DateNumSec, StatedValuesAndNormalisation) {
  Date epoch = make(1970, 1, 1, 0, 0, 0), d99 = make(99, 3, 1, 0, 0, 0);
  Date leap = make(2024, 2, 29, 12, 0, 0);
  EXPECT_EQ(DATE_num_sec(&epoch), 0);
  EXPECT_EQ(DATE_num_sec(&d99), 920246400);
  EXPECT_EQ(DATE_num_sec(&leap), 1709208000);

  for (auto [in, out] : {std::pair{23, 2023}, {49, 2049}, {50, 1950}, {199, 2099}, {-1, 1980}}) {
    Date d = make(in, 6, 1, 0, 0, 0);
    DATE_num_sec(&d);
    EXPECT_EQ(d.year, out) << in;  // normalised in the caller's record
  }
  Date bad = make(-1, 13, 32, 24, 60, 60);
  EXPECT_EQ(DATE_num_sec(&bad), 315532800);  // 1 January 1980
  EXPECT_EQ(fields(bad), "1980-1-1 0:0:0");
  Date none = make(M);
  EXPECT_EQ(DATE_num_sec(&none), 315532800);
  // Day 0 is kept: the day before the first of the month.
  Date day0 = make(2023, 3, 0, 0, 0, 0), feb28 = make(2023, 2, 28, 0, 0, 0);
  EXPECT_EQ(DATE_num_sec(&day0), DATE_num_sec(&feb28));
}

TEST(DateNumSec, AgreesWithTimegmFrom1950To2099) {
  for (int year = 1950; year <= 2099; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day : {1, 15, 28}) {
        Date d = make(year, month, day, 17, 42, 9);
        struct tm tm {};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = 17;
        tm.tm_min = 42;
        tm.tm_sec = 9;
        ASSERT_EQ(DATE_num_sec(&d), static_cast<std::int64_t>(timegm(&tm))) << fields(d);
      }
    }
  }
}

TEST(DateCalendar, LeapYearsAndDaysOfTheYear) {
  EXPECT_EQ(DATE_is_leap(2024) * 1000 + DATE_is_leap(2023) * 100 + DATE_is_leap(2000) * 10 +
                DATE_is_leap(1900),
            1010);
  struct Case {
    int year, jday, month, day;
  };
  for (Case c : {Case{2024, 60, 2, 29},
                 {2023, 60, 3, 1},
                 {2023, 400, 12, 31},
                 {2024, 366, 12, 31},
                 {2023, 0, 1, 1},
                 {2023, 31, 1, 31},
                 {2023, 32, 2, 1}}) {
    int m = 0, d = 0;
    DATE_julian_monday(c.year, c.jday, &m, &d);
    EXPECT_EQ(m * 100 + d, c.month * 100 + c.day) << c.year << " " << c.jday;
  }
  for (int year : {2023, 2024}) {
    for (int jday = 1; jday <= 365 + DATE_is_leap(year); ++jday) {
      int m = 0, d = 0, back = 0;
      DATE_julian_monday(year, jday, &m, &d);
      DATE_monday_julian(year, m, d, &back);
      ASSERT_EQ(back, jday) << year;
    }
  }
  int jday = 0;
  DATE_monday_julian(2023, 14, 31, &jday);  // month clipped to December
  EXPECT_EQ(jday, 365);

  // The days of each month: the last day of a month is its count, the day
  // after it the first of the next month.
  for (int year : {1900, 2000, 2023, 2024}) {
    for (int month = 1; month <= 12; ++month) {
      const int days = DATE_month_days(year, month);
      int last = 0, next = 0;
      DATE_monday_julian(year, month, days, &last);
      DATE_julian_monday(year, last + 1, &next, nullptr);
      EXPECT_EQ(next, month == 12 ? 12 : month + 1) << year << "-" << month;
      if (month == 2) {
        EXPECT_EQ(days, 28 + DATE_is_leap(year)) << year;
      }
    }
  }
  EXPECT_EQ(DATE_month_days(2023, 0), 31);
  EXPECT_EQ(DATE_month_days(2023, 13), 31);
}

TEST(DateCalendar, BrokenDownTimeAndCurrentTime) {
  time_t t = 1709208000;  // 29 February 2024 12:00 UTC, a Thursday
  Date d;
  EXPECT_EQ(DATE_get_gmdate(&t, &d), 0);
  EXPECT_EQ(fields(d), "2024-2-29 12:0:0");
  EXPECT_EQ(d.jday, 60);
  EXPECT_EQ(d.wday, 4);

  char buf[40];
  ASSERT_EQ(DATE_get_current_str(buf), buf);
  EXPECT_TRUE(std::regex_match(
      std::string(buf), std::regex("[0-9]{2} (JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC) "
                                   "[0-3][0-9]  [0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z")))
      << buf;
  time_t stored = 0;
  EXPECT_EQ(DATE_get_time(&stored), stored);

  d = make(2023, 12, 7, 6, 5, 4);
  testing::internal::CaptureStdout();
  DATE_print(3840, &d);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "2023/12/7 06:05:04\n");
}

TEST(DateCalendar, MonthNames) {
  EXPECT_STREQ(DATE_month_lower(1), "jan");
  EXPECT_STREQ(DATE_month_lower(12), "dec");
  EXPECT_STREQ(DATE_month_lower(0), "");
  EXPECT_STREQ(DATE_month_lower(13), "");
  const char *upper[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const char *lower[] = {"jan", "feb", "mar", "apr", "may", "jun",
                         "jul", "aug", "sep", "oct", "nov", "dec"};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_STREQ(DATE_month_abbr(m, true), upper[m - 1]);
    EXPECT_STREQ(DATE_month_abbr(m, false), lower[m - 1]);
    EXPECT_EQ(DATE_month_lower(m), DATE_month_abbr(m, false));  // the same table
    EXPECT_EQ(DATE_decode_month(upper[m - 1]), m);
    EXPECT_EQ(DATE_decode_month(DATE_month_lower(m)), m);
  }
  for (int m : {-9999, -1, 0, 13}) {
    EXPECT_STREQ(DATE_month_abbr(m, true), "") << m;
    EXPECT_STREQ(DATE_month_abbr(m, false), "") << m;
  }
  for (const char *bad : {"XYZ", "", "J", "Ju", "MAX"}) EXPECT_EQ(DATE_decode_month(bad), 0) << bad;
  EXPECT_EQ(DATE_decode_month(nullptr), 0);
}

TEST(DateCalendar, NoDateHasEveryFieldMissing) {
  Date d = {2023, 12, 7, 341, 4, 6, 5, 4};
  EXPECT_EQ(DATE_init(&d), 0);
  for (int v : {d.year, d.month, d.day, d.jday, d.wday, d.hour, d.min, d.sec}) EXPECT_EQ(v, tv::kMissInt);
  EXPECT_EQ(std::memcmp(&d, &kNoDate, sizeof d), 0);
}

TEST(DateLabel, Making) {
  EXPECT_EQ(label_of(make(2023)), "23");
  EXPECT_EQ(label_of(make(2023, 12)), "DEC 23");
  EXPECT_EQ(label_of(make(2023, 12, 7)), " 7 DEC 23");
  EXPECT_EQ(label_of(make(2023, 12, 7, 12)), "12Z  7 DEC 23");
  EXPECT_EQ(label_of(make(2023, 12, 7, 12, 0)), "1200Z  7 DEC 23");
  EXPECT_EQ(label_of(make(2005, 1, 31, 23, 59)), "2359Z 31 JAN 05");
  EXPECT_EQ(label_of(make(-5, 13, 40, 25, 61)), "0000Z  1 JAN 80");  // out of range
  EXPECT_EQ(label_of(make(123456, 6, 3)), " 3 JUN 56");

  Date d = make(23, 12, 7, 12);
  char buf[40];
  DATE_make_label(&d, buf);
  EXPECT_EQ(fields(d), fields(make(23, 12, 7, 12)));  // labelling never changes the date
  EXPECT_EQ(DATE_make_label(&d, nullptr), -1);
}

TEST(DateLabel, Decoding) {
  struct Case {
    const char *label;
    const char *date;
  };
  for (Case c : {
           Case{"1200Z  7 DEC 23", "2023-12-7 12:0:-9999"},
           {"12Z  7 DEC 23", "2023-12-7 12:-9999:-9999"},
           {"Surface data 0630Z 15 JUN 99", "1999-6-15 6:30:-9999"},
           {"12:34:56Z  1 JAN 05", "2005-1-1 12:34:56"},
           {"prefix 18Z 28 FEB 24", "2024-2-28 18:-9999:-9999"},
           {"at 930Z  7 DEC 23", "2023-12-7 9:30:-9999"},  // a three-digit time
           {"23 12 07 18", "2023-12-7 18:-9999:-9999"},    // all-numeric: the hour last
           {"", "-9999--9999--9999 -9999:-9999:-9999"},
           {"hello", "-9999--9999--9999 -9999:-9999:-9999"},
           {"1200Z", "-9999--9999--9999 -9999:-9999:-9999"},
       }) {
    Date d;
    DATE_decode_label(c.label, &d);
    EXPECT_EQ(fields(d), c.date) << c.label;
  }
  for (int month = 1; month <= 12; ++month) {
    for (int hour = 0; hour < 24; hour += 5) {
      Date d = make(2031, month, month * 2, hour, 7 * month % 60), back;
      DATE_decode_label(label_of(d).c_str(), &back);
      ASSERT_EQ(fields(back), fields(d)) << label_of(d);
    }
  }
}

TEST_F(DateWindow, AroundTheFileHourAndAcrossMidnight) {
  set_datim(make(2023, 12, 7, 12, 0), nullptr);
  expect_window({{1130, 1}, {1115, 1}, {1114, 0}, {1245, 1}, {1246, 0}, {1300, 0}, {0, 0}, {M, 0}});
  set_datim(make(2023, 12, 7, 0, 0), nullptr);
  expect_window({{2330, 1}, {2314, 0}, {45, 1}, {1200, 0}});
  set_datim(make(2023, 12, 7, 23, 30), nullptr);
  expect_window({{10, 1}, {16, 0}, {2245, 1}});

  DATE_set_range(-15, 10);
  set_datim(make(23, 12, 7, 6), nullptr);  // missing minute becomes 0
  EXPECT_EQ(fields(working_date()), "2023-12-7 6:0:0");
  expect_window({{545, 1}, {544, 0}, {610, 1}, {611, 0}});
}

TEST_F(DateWindow, DecodeHourForms) {
  struct Case {
    Date file;
    const char *value;
    const char *printed;
    int hour, min;
  };
  const Date f14 = make(2023, 12, 7, 14, 20);
  for (Case c : {
           Case{make(2023, 12, 7, 14), "-6", "Decoding for: 12:00Z\n", 12, 0},
           {make(2023, 12, 7, 14), "-306", "Decoding for: 09:00Z\n", 9, 0},
           {make(2023, 12, 7, 14), "-300", "Decoding for: 14:00Z\n", 14, 0},  // no multiple
           {make(2023, 12, 7, 14, 40), "12:-15", "Decoding for: 12:30Z\n", 12, 30},
           {make(2023, 12, 7, 3), "06:30", "Decoding for: 06:30Z\n", 6, 30},
           {f14, "CU", "Decoding for: 14:00Z\n", 14, 0},
           {f14, "x", "", 14, 20},
           {f14, nullptr, "", 14, 20},
           {f14, "cu:30", "Decoding for: 14:30Z\nDecoding range: -45 +45 mins\n", 14, 30},
           {f14, "9-5", "Decoding for: 09:00Z\nDecoding range: -5 +45 mins\n", 9, 0},
       }) {
    DATE_set_range(-45, 45);
    EXPECT_EQ(set_datim(c.file, c.value), c.printed) << c.value;
    EXPECT_EQ(working_date().hour * 100 + working_date().min, c.hour * 100 + c.min) << c.value;
  }
}

TEST_F(DateWindow, DecodeHourWindows) {
  EXPECT_EQ(set_datim(make(2023, 12, 7, 12), "12-30+20"),
            "Decoding for: 12:00Z\nDecoding range: -30 +20 mins\n");
  expect_window({{1130, 1}, {1129, 0}, {1220, 1}, {1221, 0}});
  EXPECT_EQ(set_datim(make(2023, 12, 7, 3), "06:30-10+5"),
            "Decoding for: 06:30Z\nDecoding range: -10 +5 mins\n");
  expect_window({{620, 1}, {619, 0}, {636, 0}});
  EXPECT_EQ(set_datim(make(2023, 12, 7, 18, 0), ":-20+30"), "Decoding range: -20 +30 mins\n");
  EXPECT_EQ(working_date().hour, 18);
  expect_window({{1740, 1}, {1739, 0}, {1830, 1}});
  EXPECT_EQ(set_datim(make(2023, 12, 7, 14, 20), "cu:cu-5+5"),
            "Decoding for: 14:20Z\nDecoding range: -5 +5 mins\n");
  expect_window({{1425, 1}, {1426, 0}});
  EXPECT_EQ(set_datim(make(2023, 12, 7, 14), "cu-10+10"),
            "Decoding for: 14:00Z\nDecoding range: -10 +10 mins\n");
  expect_window({{1350, 1}, {1349, 0}});
}

TEST_F(DateWindow, CurrentHourMovedBack) {
  EXPECT_EQ(set_datim(make(2023, 12, 7, 2, 0), "cu-3").substr(0, 21), "Decoding for: 23:00Z\n");
  EXPECT_EQ(fields(working_date()), "2023-12-6 23:0:0");
  EXPECT_EQ(set_datim(make(2023, 1, 1, 1, 0), "cu-3-10+20"),
            "Decoding for: 22:00Z\nDecoding range: -10 +20 mins\n");
  EXPECT_EQ(fields(working_date()), "2022-12-31 22:0:0");
  expect_window({{2220, 1}, {2221, 0}});
}

TEST_F(DateWindow, FileTimeOfTheHourResource) {
  Date ft = make(M, M, M, 6);
  FILE_set_time(&ft);
  set_datim(make(2023, 12, 7, 14, 30), nullptr);
  EXPECT_EQ(working_date().hour * 100 + working_date().min, 630);
  ft.hour = -6;  // resolved against the file hour
  ft.min = 15;
  FILE_set_time(&ft);
  set_datim(make(2023, 12, 7, 14, 30), nullptr);
  EXPECT_EQ(working_date().hour * 100 + working_date().min, 1215);
  EXPECT_EQ(set_datim(make(2023, 12, 7, 14, 30), "3"), "Decoding for: 03:00Z\n");
  EXPECT_EQ(working_date().hour * 100 + working_date().min, 300);  // decode_hour wins
}

TEST_F(DateWindow, OutlandishNumbersStayBounded) {
  // The sanitizer build catches any overflow in this arithmetic.
  for (const char *v : {"99999999999:99999999999-99999999999+99999999999", "-2147483648",
                        "cu-99999999999-99999999999+99999999999", ":--2147483648+-2147483648"})
    set_datim(make(2023, 12, 7, 14), v);
  expect_window({{2147483647, 0}, {-2147483647 - 1, 0}});
}

// The display time zone is process-wide and cannot be reset, so every label
// that depends on it is checked here, in the last test of the file.
TEST(DateTimeZone, LabelsInTheDisplayZone) {
  DATE_set_TZ("-CST:-6");
  EXPECT_EQ(label_of(make(2023, 12, 7, 18, 30)), "12:30 PM CST [1830Z]  7 DEC 23");
  EXPECT_EQ(label_of(make(2023, 12, 7, 18)), "12 PM CST [18Z]  7 DEC 23");
  EXPECT_EQ(label_of(make(2023, 12, 8, 3, 5)), "9:05 PM CST [0305Z]  7 DEC 23");
  EXPECT_EQ(label_of(make(2023, 12, 7, 6, 0)), "12:00 AM CST [0600Z]  7 DEC 23");
  EXPECT_EQ(label_of(make(2023, 12, 7, 17, 0)), "11:00 AM CST [1700Z]  7 DEC 23");
  EXPECT_EQ(label_of(make(2023, 12)), "DEC 23");  // no time of day: nothing to shift
  EXPECT_EQ(label_of(make(2023, 12, 7)), " 7 DEC 23");

  DATE_set_TZ("+EST:-5");
  EXPECT_EQ(label_of(make(2023, 12, 7, 12, 30)), "7:30 AM EST  7 DEC 23");
  DATE_set_TZ("GMT:");  // no sign keeps 12-hour labels; no offset is 0
  EXPECT_EQ(label_of(make(2023, 12, 7, 0, 30)), "12:30 AM GMT  7 DEC 23");
  DATE_set_TZ("IST:5.5");
  EXPECT_EQ(label_of(make(2023, 12, 7, 0, 0)), "5:30 AM IST  7 DEC 23");

  testing::internal::CaptureStderr();
  DATE_set_TZ("BAD:1e30");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "DATE_set_TZ: Time zone offset out of range: BAD:1e30\n");
  EXPECT_EQ(label_of(make(2023, 12, 7, 9, 0)), "9:00 AM BAD  7 DEC 23");
  DATE_set_TZ("TOOLONGNAME:1");  // four letters kept
  EXPECT_EQ(label_of(make(2023, 12, 7, 9, 0)), "9:00 AM TOOL  7 DEC 23");
}

// The decode hour and the file time come from the layers above through
// hooks they install when the program starts: both are read through them,
// and without them the working date is the date given, at its own hour.
TEST_F(DateWindow, DecodeHourAndFileTimeThroughTheirHooks) {
  Date ft = make(M, M, M, 6);
  FILE_set_time(&ft);
  EXPECT_EQ(set_datim(make(2023, 12, 7, 14, 30), "3"), "Decoding for: 03:00Z\n");

  const DATE_resource_fn resources = DATE_use_resources(nullptr);
  const DATE_file_time_fn file_time = DATE_use_file_time(nullptr);
  ASSERT_NE(resources, nullptr);  // installed by the resource store and the file layer
  ASSERT_NE(file_time, nullptr);
  EXPECT_EQ(set_datim(make(2023, 12, 7, 14, 30), "3"), "");
  EXPECT_EQ(fields(working_date()), "2023-12-7 14:30:0");

  DATE_use_file_time(file_time);  // the file time alone
  EXPECT_EQ(set_datim(make(2023, 12, 7, 14, 30), "3"), "");
  EXPECT_EQ(working_date().hour * 100 + working_date().min, 630);

  DATE_use_resources([](const char *name) -> const char * {
    return std::string_view(name) == "decode_hour" ? "9-5" : nullptr;
  });
  EXPECT_EQ(set_datim(make(2023, 12, 7, 14, 30), nullptr), "Decoding for: 09:00Z\nDecoding range: -5 +45 mins\n");
  DATE_use_resources(resources);
}
