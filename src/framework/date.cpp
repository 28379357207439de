// Dates: seconds since 1970, day-of-year conversions, date labels, the
// display time zone and the working date with its acceptance window.
#include "framework/date.hpp"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/string.hpp"

namespace {

using MonthNames = std::array<std::array<char, 4>, 12>;
constexpr MonthNames kMonths = {{{"JAN"}, {"FEB"}, {"MAR"}, {"APR"}, {"MAY"}, {"JUN"},
                                 {"JUL"}, {"AUG"}, {"SEP"}, {"OCT"}, {"NOV"}, {"DEC"}}};
// The lower-case names, made from kMonths when the program is built.
constexpr MonthNames kMonthsLower = [] {
  MonthNames lower{};
  for (std::size_t m = 0; m < kMonths.size(); ++m)
    for (std::size_t i = 0; i < kMonths[m].size(); ++i) lower[m][i] = tv::to_lower(kMonths[m][i]);
  return lower;
}();
// Days before each month (index 0 = January); index 12 is the year length.
constexpr std::array<int, 13> num_day = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr std::array<int, 13> num_day_leap = {0,   31,  60,  91,  121, 152, 182,
                                              213, 244, 274, 305, 335, 366};

constexpr M_type kLevelMess = 3840;
constexpr M_type kLevelFail = 192;
constexpr M_type kLevelDateTrace = 0x40000000;

// Working date of the run and its acceptance window (seconds since 1970).
Date file_date = kNoDate;
std::int64_t base = 0;
std::int64_t begin_sec = 0;
std::int64_t end_sec = 0;
// The last time checked against the window and its answer: the reports of a
// run share a handful of times. Cleared whenever the window moves.
int memo_hhmm = tv::kMissInt;
int memo_result = 0;
int min_pre = -15;
int min_post = 10;

// Services of the layers above (see date.hpp).
constinit DATE_resource_fn resource_fn = nullptr;
constinit DATE_file_time_fn file_time_fn = nullptr;

// Display time zone of labels.
int tz_off = 0;
char tz_str[6] = "Z";  // a blank and up to four letters once set
int tz_pm = 0;         // 0 24-hour, 1 12-hour, -1 12-hour plus UTC in brackets

// Integers read from resource texts are bounded here so that no later
// negation, multiplication or division can overflow.
constexpr long kScanLimit = 1000000;

// Reads integers from `text` as sscanf would with a pattern made only of
// literal characters and "%d" (a "%d" skips blanks and takes an optional
// sign and at least one digit; literals must match exactly). Returns the
// number of integers read; values are clipped to +-kScanLimit.
int scan_ints(const char *text, std::string_view pattern, int *vals) {
  int count = 0;
  const char *p = text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'd') {
      ++i;
      while (std::isspace(static_cast<unsigned char>(*p))) ++p;
      bool neg = false;
      if (*p == '-' || *p == '+') {
        neg = *p == '-';
        ++p;
      }
      if (!tv::is_digit(*p)) return count;
      long v = 0;
      while (tv::is_digit(*p)) {
        if (v < kScanLimit) v = v * 10 + (*p - '0');
        ++p;
      }
      if (v > kScanLimit) v = kScanLimit;
      vals[count++] = static_cast<int>(neg ? -v : v);
    } else {
      if (*p != pattern[i]) return count;
      ++p;
    }
  }
  return count;
}

// A negative hour or minute -(100 k + m) names the last multiple of m at
// or before `x`, less k. A value ending in 00 names no multiple; it leaves
// the field at `x`.
int resolve_negative(int value, int x) {
  int a = -value;
  int m = a % 100;
  int k = a / 100;
  if (m == 0) return x;
  return (x / m) * m - k;
}

int year_of(int year) {
  if (year < 0) return 1980;
  if (year < 50) return year + 2000;
  if (year < 200) return year + 1900;
  return year;
}

// Moves `date` by `hours` (normalising it) through seconds since 1970.
void shift_hours(Date *date, int hours) {
  time_t t = static_cast<time_t>(DATE_num_sec(date) + 3600LL * hours);
  DATE_get_gmdate(&t, date);
}

// "HH[MM]" with the zone text, in 24- or 12-hour form, plus the UTC time in
// brackets for tz_pm = -1. `with_min` selects the minute form.
void time_part(char *out, std::size_t size, int hour, int min, const Date &utc, bool with_min) {
  if (tz_pm == 0) {
    if (with_min)
      std::snprintf(out, size, "%2.2d%2.2d%s", hour, min, tz_str);
    else
      std::snprintf(out, size, "%2.2d%s", hour, tz_str);
    return;
  }
  const char *half = hour < 12 ? "AM" : "PM";
  int h12 = hour % 12 == 0 ? 12 : hour % 12;
  int n;
  if (with_min)
    n = std::snprintf(out, size, "%d:%2.2d %s%s", h12, min, half, tz_str);
  else
    n = std::snprintf(out, size, "%d %s%s", h12, half, tz_str);
  if (tz_pm == -1 && n > 0 && static_cast<std::size_t>(n) < size) {
    int uh = utc.hour >= 0 && utc.hour <= 23 ? utc.hour : 0;
    int um = utc.min >= 0 && utc.min <= 59 ? utc.min : 0;
    if (with_min)
      std::snprintf(out + n, size - n, " [%2.2d%2.2dZ]", uh, um);
    else
      std::snprintf(out + n, size - n, " [%2.2dZ]", uh);
  }
}

// The time stamps of the message layer's log lines are made here.
[[maybe_unused]] const bool stamp_installed = [] {
  MESS_use_stamp(DATE_get_current_str);
  return true;
}();

}  // namespace

DATE_resource_fn DATE_use_resources(DATE_resource_fn get) { return std::exchange(resource_fn, get); }

DATE_file_time_fn DATE_use_file_time(DATE_file_time_fn get) { return std::exchange(file_time_fn, get); }

int DATE_init(Date *date) {
  if (!date) return -1;
  *date = kNoDate;
  return 0;
}

int DATE_print(M_type level, Date *date) {
  if (!date) return -1;
  MESS_print(level, "%d/%d/%d %2.2d:%2.2d:%2.2d\n", date->year, date->month, date->day, date->hour,
             date->min, date->sec);
  return 0;
}

const char *DATE_month_abbr(int month, bool upper) {
  if (month < 1 || month > 12) return "";
  const auto m = static_cast<std::size_t>(month - 1);
  return upper ? kMonths[m].data() : kMonthsLower[m].data();
}

const char *DATE_month_lower(int month) { return DATE_month_abbr(month, false); }

int DATE_is_leap(int year) {
  if (year % 100 == 0 && year % 400 != 0) return 0;
  return year % 4 == 0 ? 1 : 0;
}

int DATE_month_days(int year, int month) {
  if (month < 1 || month > 12) return 31;
  const auto &days = DATE_is_leap(year) ? num_day_leap : num_day;
  return days[month] - days[month - 1];
}

std::int64_t DATE_num_sec(Date *date) {
  if (!date) return 0;
  date->year = year_of(date->year);
  if (date->month < 1 || date->month > 12) date->month = 1;
  if (date->day < 0 || date->day > 31) date->day = 1;
  if (date->hour < 0 || date->hour > 23) date->hour = 0;
  if (date->min < 0 || date->min > 59) date->min = 0;
  if (date->sec < 0 || date->sec > 59) date->sec = 0;

  // Every fourth year is a leap year here, which holds from 1901 to 2099.
  std::int64_t y = static_cast<std::int64_t>(date->year) - 1900;
  std::int64_t leap = y / 4 - 17;
  if (date->month <= 2 && y % 4 == 0) --leap;
  return date->sec + 60LL * date->min + 3600LL * date->hour + 86400LL * (date->day - 1) +
         86400LL * num_day[date->month - 1] + 86400LL * leap +
         31536000LL * (static_cast<std::int64_t>(date->year) - 1970);
}

time_t DATE_get_time(time_t *t) {
  time_t now = std::time(nullptr);
  if (t) *t = now;
  return now;
}

// Returns 0, or -1 (all fields missing) when the time cannot be broken down.
int DATE_get_gmdate(const time_t *t, Date *date) {
  if (!date) return -1;
  time_t when = t ? *t : std::time(nullptr);
  struct tm tm {};
  if (!gmtime_r(&when, &tm)) {
    DATE_init(date);
    return -1;
  }
  date->year = tm.tm_year + 1900;
  date->month = tm.tm_mon + 1;
  date->day = tm.tm_mday;
  date->jday = tm.tm_yday + 1;
  date->wday = tm.tm_wday;
  date->hour = tm.tm_hour;
  date->min = tm.tm_min;
  date->sec = tm.tm_sec;
  return 0;
}

// `str` must hold at least 40 bytes.
char *DATE_get_current_str(char *str) {
  if (!str) return nullptr;
  Date now;
  DATE_get_gmdate(nullptr, &now);
  int month = now.month >= 1 && now.month <= 12 ? now.month : 1;
  std::snprintf(str, 40, "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2dZ", now.year % 100, DATE_month_abbr(month, true),
                now.day, now.hour, now.min, now.sec);
  return str;
}

int DATE_julian_monday(int year, int jday, int *month, int *day) {
  const auto &days = DATE_is_leap(year) ? num_day_leap : num_day;
  if (jday < 1) jday = 1;
  if (jday > days[12]) jday = days[12];
  int m = 1;
  while (m < 12 && jday > days[m]) ++m;
  if (month) *month = m;
  if (day) *day = jday - days[m - 1];
  return 0;
}

int DATE_monday_julian(int year, int month, int day, int *jday) {
  const auto &days = DATE_is_leap(year) ? num_day_leap : num_day;
  if (month < 1) month = 1;
  if (month > 12) month = 12;
  if (jday) *jday = days[month - 1] + day;
  return 0;
}

// "[+|-]NAME:HOURS": "+" 12-hour labels, "-" 12-hour labels with the UTC time
// in brackets. An offset that is absent, not a number or beyond a day counts
// as 0 (a label can never be shifted by more than a day).
int DATE_set_TZ(const char *str) {
  if (!str) return -1;
  tz_str[0] = ' ';
  if (*str == '-') {
    tz_pm = -1;
    ++str;
  } else if (*str == '+') {
    tz_pm = 1;
    ++str;
  }
  char name[5] = "";
  float hours = 0.0f;
  int n = std::sscanf(str, "%4[^:]:%f", name, &hours);
  if (n < 1) name[0] = '\0';
  if (n < 2) hours = 0.0f;
  std::snprintf(tz_str + 1, sizeof tz_str - 1, "%s", name);
  if (!(hours >= -24.0f && hours <= 24.0f)) {
    MESS_print(kLevelFail, "DATE_set_TZ: Time zone offset out of range: %s\n", str);
    hours = 0.0f;
  }
  tz_off = static_cast<int>(3600.0 * static_cast<double>(hours));
  return 0;
}

int DATE_set_range(int pre, int post) {
  min_pre = pre;
  min_post = post;
  return 0;
}

namespace {

// What a "decode_hour" text gives: `form` 1 to 8 a time to decode for
// (hour and minute), above 2 with a window of `pre` and `post` minutes, 9
// a window only, 0 nothing.
struct DecodeHour {
  int form = 0;
  int hour = 0;
  int min = 0;
  int pre = 0;
  int post = 0;
};

// The "cu" forms after "cu": the hour of the working date, moved back N
// hours by "-N" (the working date moves with it), a window "-P+Q", or a
// minute ":M" with a window.
void read_current_hour(const char *rest, DecodeHour &d) {
  int v[3] = {0, 0, 0};
  int w[2] = {0, 0};
  d.hour = file_date.hour;
  int m = scan_ints(rest, "-%d-%d+%d", v);
  if (m == 3) {  // -N-P+Q
    shift_hours(&file_date, -v[0]);
    d.hour = file_date.hour;
    d.min = file_date.min;
    d.pre = -v[1];
    d.post = v[2];
  } else if (scan_ints(rest, "-%d+%d", w) == 2) {  // -P+Q
    d.pre = -w[0];
    d.post = w[1];
    m = 2;
  } else if (m >= 1) {  // -N
    shift_hours(&file_date, -v[0]);
    d.hour = file_date.hour;
    d.min = file_date.min;
  } else if ((m = scan_ints(rest, ":%d-%d+%d", v)) >= 1) {  // :M[-P+Q]
    d.min = v[0];
    if (m == 3) {
      d.pre = -v[1];
      d.post = v[2];
    }
  } else {
    m = 0;
  }
  d.form = m + 2;
}

// Reads a "decode_hour" text by the first form that fits.
DecodeHour read_decode_hour(const char *val) {
  DecodeHour d;
  d.pre = min_pre;
  d.post = min_post;
  int v[4] = {0, 0, 0, 0};
  int n = scan_ints(val, "%d:%d-%d+%d", v);
  if (n >= 2) {  // H:M[-P[+Q]]
    d.hour = v[0];
    d.min = v[1];
    if (n >= 3) d.pre = -v[2];
    if (n >= 4) d.post = v[3];
    d.form = n;
  } else if ((n = scan_ints(val, "%d-%d+%d", v)) >= 1) {  // H[-P[+Q]]
    d.hour = v[0];
    if (n >= 2) d.pre = -v[1];
    if (n >= 3) d.post = v[2];
    d.form = n + 1;
  } else if ((n = scan_ints(val, ":-%d+%d", v)) == 2) {  // window only
    d.pre = -v[0];
    d.post = v[1];
    d.form = 9;
  } else if (strnicmp(val, "cu:cu", 5) == 0) {  // current hour and minute
    int m = scan_ints(val + 5, "-%d+%d", v);
    if (m == 2) {
      d.pre = -v[0];
      d.post = v[1];
    }
    d.hour = file_date.hour;
    d.min = file_date.min;
    d.form = m + 2;
  } else if (strnicmp(val, "cu", 2) == 0) {  // current hour
    read_current_hour(val + 2, d);
  } else {
    d.form = n;
  }
  return d;
}

// A given hour or minute of `work` replaces that of the working date; a
// negative one is a rounding rule against it.
void take_work_time(const Date &work) {
  if (work.hour != tv::kMissInt) {
    if (work.hour >= 0)
      file_date.hour = work.hour;
    else if (file_date.hour != tv::kMissInt)
      file_date.hour = resolve_negative(work.hour, file_date.hour);
  }
  if (work.min != tv::kMissInt) {
    if (work.min >= 0)
      file_date.min = work.min;
    else if (file_date.min != tv::kMissInt)
      file_date.min = resolve_negative(work.min, file_date.min);
  }
  if (file_date.min == tv::kMissInt) file_date.min = 0;
}

}  // namespace

int DATE_set_datim(Date *date) {
  if (!date) return -1;
  file_date = *date;
  Date work = kNoDate;
  if (file_time_fn) file_time_fn(&work);

  if (const char *val = resource_fn ? resource_fn("decode_hour") : nullptr) {
    DecodeHour d = read_decode_hour(val);
    if (d.form >= 1 && d.form <= 8) {
      if (d.hour < 0 && file_date.hour != tv::kMissInt) d.hour = resolve_negative(d.hour, file_date.hour);
      if (d.min < 0 && file_date.min != tv::kMissInt) d.min = resolve_negative(d.min, file_date.min);
      work.hour = d.hour;
      work.min = d.min;
      MESS_print(kLevelMess, "Decoding for: %2.2d:%2.2dZ\n", d.hour, d.min);
    }
    if (d.form > 2) MESS_print(kLevelMess, "Decoding range: %d +%d mins\n", d.pre, d.post);
    DATE_set_range(d.pre, d.post);
  }
  take_work_time(work);

  base = DATE_num_sec(&file_date);
  begin_sec = base + 60LL * min_pre;
  end_sec = base + 60LL * min_post;
  memo_hhmm = tv::kMissInt;
  memo_result = 0;
  return 0;
}

int DATE_get_datim(Date *date) {
  if (!date) return -1;
  *date = file_date;
  return 0;
}

namespace {

// The whole test of DATE_chk_range, with its trace.
[[gnu::noinline]] int chk_range(int hhmm) {
  if (hhmm == tv::kMissInt) return 0;
  std::int64_t h = hhmm / 100;
  std::int64_t m = hhmm % 100;
  std::int64_t fh = file_date.hour;
  std::int64_t dmin = 60 * (m - file_date.min);
  const std::int64_t t = base + 3600 * DATE_hour_offset(h, fh) + dmin;
  int result = (begin_sec <= t && t <= end_sec) ? 1 : 0;
  memo_hhmm = hhmm;
  memo_result = result;
  if (MESS_check(kLevelDateTrace))
    MESS_print(kLevelDateTrace, "%d %d %d-%d = %d\n", hhmm, static_cast<int>(t - base),
               static_cast<int>(begin_sec - base), static_cast<int>(end_sec - base), result);
  return result;
}

}  // namespace

// Reports of one bulletin share their time: the last answer is given again
// at the cost of a comparison (the trace needs the whole computation). No
// time at all is always outside; it is what the memo holds until the first
// time is asked for (with the answer 0), and is never stored after.
int DATE_chk_range(int hhmm) {
  if (hhmm == memo_hhmm && !MESS_check(kLevelDateTrace)) return memo_result;
  return chk_range(hhmm);
}

// `label` must hold at least 40 bytes. The date itself is left as it is.
int DATE_make_label(Date *date, char *label) {
  if (!label) return -1;
  label[0] = '\0';
  if (!date) return -1;

  Date lab = *date;
  Date utc = *date;
  // Only a label with a time of day is shifted to the display zone: a date
  // without an hour names no moment that could move.
  bool timed = date->month != tv::kMissInt && date->day != tv::kMissInt &&
               date->hour != tv::kMissInt;
  if (tz_off != 0 && timed) {
    Date copy = *date;
    std::int64_t t = DATE_num_sec(&copy);
    time_t tu = static_cast<time_t>(t);
    time_t tl = static_cast<time_t>(t + tz_off);
    DATE_get_gmdate(&tu, &utc);
    DATE_get_gmdate(&tl, &lab);
    if (date->min == tv::kMissInt) lab.min = tv::kMissInt;
  }

  int year = (lab.year < 0 ? 1980 : lab.year) % 100;
  if (lab.month == tv::kMissInt) {
    std::snprintf(label, 40, "%2.2d", year);
    return 0;
  }
  int month = lab.month >= 1 && lab.month <= 12 ? lab.month : 1;
  if (lab.day == tv::kMissInt) {
    std::snprintf(label, 40, "%3s %2.2d", DATE_month_abbr(month, true), year);
    return 0;
  }
  int day = lab.day >= 1 && lab.day <= 31 ? lab.day : 1;
  if (lab.hour == tv::kMissInt) {
    std::snprintf(label, 40, "%2d %3s %2.2d", day, DATE_month_abbr(month, true), year);
    return 0;
  }
  int hour = lab.hour >= 0 && lab.hour <= 23 ? lab.hour : 0;
  bool with_min = lab.min != tv::kMissInt;
  int min = with_min && lab.min >= 0 && lab.min <= 59 ? lab.min : 0;
  char tpart[28];  // longest: "12:30 PM ABCD [1830Z]"
  time_part(tpart, sizeof tpart, hour, min, utc, with_min);
  std::snprintf(label, 40, "%s %2d %3s %2.2d", tpart, day, DATE_month_abbr(month, true), year);
  return 0;
}

int DATE_decode_label(const char *label, Date *date) {
  if (!date) return -1;
  DATE_init(date);
  if (!label) return -1;

  const std::size_t len = std::strlen(label);
  auto tail = [&](std::size_t n) { return label + (len > n ? len - n : 0); };
  int hour = 0, min = 0, sec = 0, day = 0, year = 0, month = 0;
  char mon[4] = "";
  bool got = false;

  if (std::sscanf(label, "%2dZ %2d %3s %2d", &hour, &day, mon, &year) == 4) {
    date->hour = hour;
    got = true;
  } else if (std::sscanf(tail(15), "%2d%2dZ %2d %3s %2d", &hour, &min, &day, mon, &year) == 5) {
    // A three-digit time leaves a blank in front.
    if (*tail(15) == ' ') std::sscanf(tail(15), "%1d%2d", &hour, &min);
    date->hour = hour;
    date->min = min;
    got = true;
  } else if (std::sscanf(tail(19), "%2d:%2d:%2dZ %2d %3s %2d", &hour, &min, &sec, &day, mon,
                         &year) == 6) {
    date->hour = hour;
    date->min = min;
    date->sec = sec;
    got = true;
  } else if (std::sscanf(tail(13), "%2dZ %2d %3s %2d", &hour, &day, mon, &year) == 4) {
    date->hour = hour;
    got = true;
  } else if (std::sscanf(label, "%2d %2d %2d %2d", &year, &month, &day, &hour) == 4) {
    // The all-numeric form: year, month, day and hour.
    date->year = year;
    date->month = month;
    date->day = day;
    date->hour = hour;
  }
  if (got) {
    date->year = year;
    date->day = day;
    date->month = DATE_decode_month(mon);
  }
  if (date->year != tv::kMissInt) {
    if (date->year < 50)
      date->year += 2000;
    else if (date->year < 200)
      date->year += 1900;
  }
  return 0;
}

int DATE_decode_month(const char *text) {
  if (!text) return 0;
  std::size_t len = std::strlen(text);
  if (len == 0) return 0;
  auto up = [&](std::size_t i) {
    return i < len ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))) : '\0';
  };
  switch (up(0)) {
    case 'F': return 2;
    case 'S': return 9;
    case 'O': return 10;
    case 'N': return 11;
    case 'D': return 12;
    case 'J':
      if (up(1) == 'A') return 1;
      if (up(2) == 'N') return 6;
      if (up(2) == 'L') return 7;
      return 0;
    case 'M':
      if (up(2) == 'R') return 3;
      if (up(2) == 'Y') return 5;
      return 0;
    case 'A':
      if (up(2) == 'R') return 4;
      if (up(2) == 'G') return 8;
      return 0;
    default: return 0;
  }
}
