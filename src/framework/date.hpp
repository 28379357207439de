// Dates: seconds since 1970, labels, the working date and acceptance window.
#pragma once

#include <cstdint>
#include <ctime>

#include "framework/mess.hpp"
#include "framework/missing.hpp"

struct Date {
  std::int32_t year;
  std::int32_t month;
  std::int32_t day;
  std::int32_t jday;
  std::int32_t wday;
  std::int32_t hour;
  std::int32_t min;
  std::int32_t sec;
};

// No date: every field missing.
inline constexpr Date kNoDate = {tv::kMissInt, tv::kMissInt, tv::kMissInt, tv::kMissInt,
                                 tv::kMissInt, tv::kMissInt, tv::kMissInt, tv::kMissInt};

int DATE_init(Date *date);
int DATE_print(M_type level, Date *date);
// The three-letter abbreviation of `month` (1 to 12), "JAN" or with
// `upper` false "jan"; "" for any other month. The one month table of the
// program.
const char *DATE_month_abbr(int month, bool upper);
const char *DATE_month_lower(int month);
int DATE_is_leap(int year);
// The days of `month` (1 to 12) in `year`; 31 for any other month.
int DATE_month_days(int year, int month);
std::int64_t DATE_num_sec(Date *date);
time_t DATE_get_time(time_t *t);
int DATE_get_gmdate(const time_t *t, Date *date);
// `str` must hold at least 40 bytes.
char *DATE_get_current_str(char *str);
int DATE_julian_monday(int year, int jday, int *month, int *day);
int DATE_monday_julian(int year, int month, int day, int *jday);
int DATE_set_TZ(const char *str);
int DATE_set_range(int pre, int post);
int DATE_set_datim(Date *date);
int DATE_get_datim(Date *date);
int DATE_chk_range(int hhmm);
// Hours from `file_hour` to an observation's `hour` of day, the observation
// placed within eleven hours of it (a day back or on as needed): -1 for 23
// in a file of hour 0, 2 for 14 in one of hour 12.
constexpr std::int64_t DATE_hour_offset(std::int64_t hour, std::int64_t file_hour) {
  const std::int64_t d = hour - file_hour;
  return d > 11 ? d - 24 : d < -11 ? d + 24 : d;
}
// `label` must hold at least 40 bytes; -1 when it is absent. The date is
// not changed.
int DATE_make_label(Date *date, char *label);
int DATE_decode_label(const char *label, Date *date);
int DATE_decode_month(const char *text);

// What DATE_set_datim reads besides its argument: the text of a resource by
// name ("decode_hour"; null when absent) and the file time the user gave
// (the "hour" resource, kept by the file layer). Both lie above this
// module: the resource store and the file layer install them when the
// program starts. Until then, or in a program without them, no decode hour
// and no file time is given. Each returns the function that was in use.
using DATE_resource_fn = const char *(*)(const char *name);
using DATE_file_time_fn = int (*)(Date *date);
DATE_resource_fn DATE_use_resources(DATE_resource_fn get);
DATE_file_time_fn DATE_use_file_time(DATE_file_time_fn get);
