// File naming: the current and latest file, the choice of the first input
// file, file sequences over a period, and what to do with an existing
// output file.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/files_internal.hpp"
#include "framework/flag.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/string.hpp"
#include "framework/system.hpp"

using namespace tv::files;
using tv::is_digit;

namespace {

constexpr int kNoPeriod = 100000;  // the step used when a template has no period

char **files = nullptr;  // positional names of the sequence
int numfile = 0;
int numfile_alloc = 0;   // element count of `files` as allocated
int file_ind = 0;
Date first_date = kNoDate;
int num_hour = 0;
int skip = 0;
int offset = 0;
int secs = 0;
int nsecs = 0;
int def_hours = 0;

constexpr int kLatestTries = 500;
// A time stamp's missing month and day count as the first: a day 0 would
// fall back into the previous month.
constexpr Date kStampBase = {0, 1, 1, tv::kMissInt, tv::kMissInt, 0, 0, 0};
constexpr long kMaxHours = 100000;  // bounds offsets so that seconds fit an int

// Reads an unsigned number at `*p`, bounded to kMaxHours.
long read_number(const char **p) {
  long v = 0;
  const char *s = *p;
  while (is_digit(*s)) {
    if (v < kMaxHours) v = v * 10 + (*s - '0');
    ++s;
  }
  *p = s;
  return v > kMaxHours ? kMaxHours : v;
}

// An offset: days "d" and optionally hours and ":" minutes, or hours
// optionally followed by ":" and minutes. Returns seconds.
std::int64_t read_offset(const char **p, int *d, int *h, int *m) {
  *d = *h = *m = 0;
  long a = read_number(p);
  if (**p == 'd') {
    ++*p;
    *d = static_cast<int>(a);
    if (is_digit(**p)) *h = static_cast<int>(read_number(p));
  } else {
    *h = static_cast<int>(a);
  }
  if (**p == ':' && is_digit((*p)[1])) {
    ++*p;
    *m = static_cast<int>(read_number(p));
  }
  return 86400LL * *d + 3600LL * *h + 60LL * *m;
}

// "+" forward, "-" or nothing backward.
int read_sign(const char **p) {
  if (**p == '+') {
    ++*p;
    return 1;
  }
  if (**p == '-') ++*p;
  return -1;
}


std::int64_t date_secs(const Date &d) {
  Date c = d;
  int day = c.day;
  c.day = 1;
  return DATE_num_sec(&c) + 86400LL * (day - 1);
}

// Applies the file time `set` to the moment t: a given month, day, hour or
// minute is taken, going back a year, month, day or hour where the clock
// has not reached it yet.
std::int64_t apply_set(std::int64_t t) {
  const Date &s = set_time;
  if (given(s.month) && s.month >= 1 && s.month <= 12) {
    Date c = utc_date(t);
    if (c.month < s.month) --c.year;
    c.month = s.month;
    if (c.day > DATE_month_days(c.year, c.month)) c.day = DATE_month_days(c.year, c.month);
    t = date_secs(c);
  }
  if (given(s.day) && s.day >= 1 && s.day <= 31) {
    Date c = utc_date(t);
    if (c.day < s.day) {
      if (--c.month < 1) {
        c.month = 12;
        --c.year;
      }
    }
    c.day = s.day > DATE_month_days(c.year, c.month) ? DATE_month_days(c.year, c.month) : s.day;
    t = date_secs(c);
  }
  if (given(s.hour)) {
    Date c = utc_date(t);
    std::int64_t start = day_start(c);
    int h = s.hour;
    if (h >= 0) {
      if (h > 23) h = 23;
      if (c.hour < h) start -= 86400;
    } else {
      h = round_field(h, c.hour);
    }
    t = start + 3600LL * h + 60LL * c.min + c.sec;
  }
  if (given(s.min)) {
    Date c = utc_date(t);
    std::int64_t start = day_start(c) + 3600LL * c.hour;
    int m = s.min;
    if (m >= 0) {
      if (m > 59) m = 59;
      if (c.min < m) start -= 3600;
    } else {
      m = round_field(m, c.min);
    }
    t = start + 60LL * m + c.sec;
  }
  return t;
}

// The reference moment of a current file: the clock, unless "zotcurtime"
// holds a time stamp.
std::int64_t reference_time() {
  if (const char *env = std::getenv("zotcurtime"); env && *env) {
    const char *p = env[0] == '#' ? env + 1 : env;
    Date d = kStampBase;
    if (read_stamp(&p, &d)) return DATE_num_sec(&d);
  }
  time_t now;
  DATE_get_time(&now);
  return static_cast<std::int64_t>(now);
}

void build_for(std::int64_t t, char *name) {
  Date u = utc_date(t);
  FILE_set_date(&u, name);
}

void free_files() {
  if (files) free_parsed_array(numfile_alloc, files);
  files = nullptr;
  numfile = numfile_alloc = 0;
}

// The moment a current-file text starts from: its "#yyyymmddhhnn" stamp
// (read past at `*p`), else the reference time; the file time applied.
std::int64_t start_time(const char **p) {
  std::int64_t t = 0;
  bool have_t = false;
  if (**p == '#') {
    const char *q = *p + 1;
    Date d = kStampBase;
    if (read_stamp(&q, &d)) {
      t = DATE_num_sec(&d);
      have_t = true;
    }
    *p = q;
    while (is_digit(**p)) ++*p;
  }
  if (!have_t) t = reference_time();
  return apply_set(t);
}

// "la[#N]" at `*p` (read past): the latest of N files (500 unless given)
// going back (or forward, `dir` 1) from `t` by the file period, the first
// larger than the minimum size; its name into `name`, its time returned.
// The last name tried is kept when none is found.
std::int64_t find_latest(const char **p, std::int64_t t, int dir, char *name) {
  ++*p;
  if (**p == 'a') ++*p;
  int tries = kLatestTries;
  if (**p == '#') {
    ++*p;
    int v;
    if (read_digits(p, 4, &v)) tries = v;
  }
  const bool trace = MESS_check(kTraceSeq) != 0;
  const long limit = rmin_size > 0 ? rmin_size : cur.min_size;
  bool found = false;
  int i = 0;
  for (; i < tries; ++i) {
    build_for(t, name);
    if (trace) {
      MESS_print(kTraceSeq, "LATE:%d %d %d %d %d\n", i, tries, static_cast<int>(t % 86400), cur.late_off, dir);
      MESS_print(kTraceSeq, "LATE: %s\n", name);
    }
    if (FILE_size(name) > limit) {
      found = true;
      break;
    }
    // Without a period there is no other name to try.
    if (cur.late_off <= 0 || i + 1 == tries) break;
    t += static_cast<std::int64_t>(dir) * cur.late_off;
  }
  if (trace) MESS_print(kTraceSeq, "LATEST: %s %s %d\n", name, found ? "found" : "none", i);
  return t;
}

// "[-]H[:M]" or ":M" in seconds; a leading "-" makes the minutes negative
// as well when the hours are 0.
int read_hours_minutes(const char *text) {
  const char *p = text;
  while (*p == ' ') ++p;
  bool minus = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long h = read_number(&p);
  long m = 0;
  if (*p == ':') {
    ++p;
    bool mneg = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    m = read_number(&p);
    if (mneg) m = -m;
  }
  if (minus) {
    h = -h;
    if (m > 0) m = -m;
  }
  return static_cast<int>(3600 * h + 60 * m);
}

}  // namespace

// Builds into `name` (kText bytes) the file name for the time `when`
// describes (null means "la": the latest file). Returns that time in
// seconds, rounded down to the file period when the template has one.
long FILE_set_current(const char *when, char *name) {
  char local[kText];
  if (!name) name = local;
  const char *p = when ? when : "la";
  cur.filename_type = 0;
  std::int64_t t = start_time(&p);

  const bool trace = MESS_check(kTraceSeq) != 0;
  int dir = read_sign(&p);
  if (is_digit(*p)) {
    int d, h, m;
    std::int64_t off = read_offset(&p, &d, &h, &m);
    t += dir * off;
    if (trace) {
      MESS_print(kTraceSeq, "CUR1:%d %d %d %d\n", d, h, m, dir);
      MESS_print(kTraceSeq, "CUR1:%s %d\n", when ? when : "la", static_cast<int>(off));
    }
    dir = read_sign(&p);
  }
  if (*p == 'l') {
    t = find_latest(&p, t, dir, name);
    dir = read_sign(&p);
  }
  if (is_digit(*p)) {
    int d, h, m;
    std::int64_t off = read_offset(&p, &d, &h, &m);
    t += dir * off;
    if (trace) {
      MESS_print(kTraceSeq, "CUR2:%d %d %d %d\n", d, h, m, dir);
      MESS_print(kTraceSeq, "CUR2:%d\n", static_cast<int>(off));
    }
  }
  build_for(t, name);
  if (cur.late_off > 0) {
    std::int64_t r = t % cur.late_off;
    if (r < 0) r += cur.late_off;
    t -= r;
  }
  return static_cast<long>(t);
}

// Chooses the first input file: a positional name, the "current" resource,
// the latest file in batch mode, or an answer at the prompt. Copies the
// name into `name` when given; returns 1 when that file exists.
int FILE_get_file_only(const char *prompt, char *name) {
  char buf[kText] = "";
  int argc = 0;
  char **argv = nullptr;
  res_get_list("filename", &argc, &argv);
  if (argc > 0) {
    if (stricmp(argv[0], "list") == 0) {
      free_parsed_array(argc, argv);
      FILE_list_file();
      ZOT_exit(0);
    }
    FILE_set_file(argv[0], buf);
    if (argv[0][0] == '|' && res_from_user("filename")) FILE_allow_command(buf);
    free_parsed_array(argc, argv);
  } else {
    if (argv) free_parsed_array(argc, argv);
    if (const char *when = res_get("current")) {
      FILE_set_current(when, buf);
      if (FILE_exist(buf)) MESS_print(kLevelMess, "Current filename: %s\n", buf);
    } else if (FLAG_batch()) {
      FILE_set_current("la", buf);
      if (FILE_exist(buf)) MESS_print(kLevelMess, "Current filename: %s\n", buf);
    } else {
      for (;;) {
        MESS_print(kLevelPrint, "List of available files:\n");
        FILE_list_file();
        MESS_print(kLevelPrint, "\n");
        char answer[80] = "";
        ZOT_prompts(prompt ? prompt : "", answer, 80);
        cur.filename_type = 1;
        if (stricmp(answer, "exit") == 0) ZOT_exit(0);
        if (stricmp(answer, "list") == 0) continue;
        if (answer[0] == '#' || std::strncmp(answer, "la", 2) == 0 || std::strncmp(answer, "cu", 2) == 0) {
          FILE_set_current(std::strncmp(answer, "cu", 2) == 0 ? answer + 2 : answer, buf);
          MESS_print(kLevelMess, "Current filename: %s\n", buf);
        } else {
          FILE_set_file(answer, buf);
          if (answer[0] == '|') FILE_allow_command(buf);  // typed at the prompt
        }
        break;
      }
    }
  }
  if (name) copy_name(name, buf, "FILE_get_file_only");
  return FILE_exist(buf);
}

// Starts the file sequence at `date`. Returns 0.
int FILE_first(Date *date) {
  free_files();
  res_get_list("filename", &numfile_alloc, &files);
  numfile = numfile_alloc;
  if (numfile > 0 && (std::strncmp(files[0], "la", 2) == 0 || std::strncmp(files[0], "cu", 2) == 0))
    numfile = 0;
  file_ind = 0;
  if (date) first_date = *date;

  num_hour = FILE_num_hour();
  skip = FILE_get_skip();
  offset = FILE_get_offset();
  if (skip > 0 && skip / offset >= 1) offset *= skip / offset;
  // A negative span starts at the first step at or after its beginning.
  secs = num_hour < 0 ? offset * (num_hour / offset) : 0;
  nsecs = secs;
  return 0;
}

// Puts the next file of the sequence into `name` (kText bytes). Returns 1,
// or 0 when the sequence is over.
int FILE_get_next(char *name) {
  char local[kText];
  if (!name) name = local;
  if (numfile > 0 && !(numfile == 1 && num_hour != 0)) {
    if (file_ind >= numfile) return 0;
    const char *typed = files[file_ind++];
    FILE_set_file(typed, name);
    if (typed[0] == '|' && res_from_user("filename")) FILE_allow_command(name);
    return 1;
  }
  if ((num_hour < 0 && nsecs > 0) || (num_hour >= 0 && nsecs > num_hour)) return 0;
  if (num_hour != 0) {
    Date in = first_date;
    FILE_set_date_off(&in, nsecs, name);
    if (MESS_check(kTraceSeq)) {
      MESS_print(kTraceSeq, " in: ");
      DATE_print(kTraceSeq, &first_date);
      MESS_print(kTraceSeq, "out: ");
      DATE_print(kTraceSeq, &file_date);
    }
    if (MESS_check(kTracePath))
      MESS_print(kTracePath, "NEXT: %d %d %d %d %d %s\n", nsecs, offset, skip, num_hour, file_ind, name);
  } else {
    copy_name(name, cur.filename, "FILE_get_next");
  }
  nsecs += offset;
  return 1;
}

// The file name for `date` + `off` seconds. Returns `off` in file periods.
int FILE_set_date_off(Date *date, int off, char *name) {
  Date d = date ? *date : kNoDate;
  if (MESS_check(kTraceSeq)) DATE_print(kTraceSeq, &d);
  std::int64_t base = DATE_num_sec(&d);
  std::int64_t t = base + off;
  Date u = utc_date(t);
  if (MESS_check(kTraceSeq))
    MESS_print(kTraceSeq, "%d %d = %d %d %d %d\n", static_cast<int>(base % 86400), off, u.year, u.month,
               u.day, u.hour);
  FILE_set_date(&u, name);
  return off / FILE_get_offset();
}

int FILE_is_sequence() {
  int n = 0;
  char **names = nullptr;
  res_get_list("filename", &n, &names);
  const bool current =
      n > 0 && (std::strncmp(names[0], "la", 2) == 0 || std::strncmp(names[0], "cu", 2) == 0);
  if (names) free_parsed_array(n, names);
  if (current) n = 0;
  return FILE_num_hour() != 0 && n <= 1 ? 1 : 0;
}

int FILE_get_offset() { return cur.late_off > 0 ? cur.late_off : kNoPeriod; }

int FILE_num_hour() {
  const char *v = res_get("num_hour");
  if (!v) return def_hours;
  return read_hours_minutes(v);
}

int FILE_get_skip() {
  const char *v = res_get("num_hour");
  const char *comma = v ? std::strchr(v, ',') : nullptr;
  if (!comma) return FILE_get_offset();
  return read_hours_minutes(comma + 1);
}

// What to do with an existing output file: 1 write anew, 2 append, 3 use
// the existing file, 0 nothing.
int FILE_overwrite(const char *name, int mode) {
  if (FILE_is_stdio(name) || !FILE_exist(name)) return 1;
  int param = FLAG_get(15);
  if (param >= 1) return param;
  if (FLAG_batch()) return 3;
  if (mode != 1 && mode != 2) return 0;
  char prompt[kText + 64];
  std::snprintf(prompt, sizeof prompt,
                mode == 1 ? "%s: exists overwrite (Y,N,Use,Over): " : "%s: exists overwrite (Y,N,Use,Over,App): ",
                name);
  char answer[10] = "";
  ZOT_prompts(prompt, answer, 10);
  char a = static_cast<char>(std::toupper(static_cast<unsigned char>(answer[0])));
  if (a == 'Y' || a == 'O') return 1;
  if (mode == 2 && a == 'A') return 2;
  return 3;
}

