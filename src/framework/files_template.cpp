// The template language of file names: "%" codes for dates, paths,
// resources, user keys and the extension; names built from a template
// (FILE_set_date), names typed by the user completed along it and their date
// read back (FILE_set_file), and the files that match it (FILE_list_file).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/files_internal.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/string.hpp"
#include "framework/system.hpp"

using namespace tv::files;
using tv::is_digit;

namespace {

// ---------------------------------------------------------------- codes

// Path codes of the template language and the resources they name.
struct PathCode {
  char code;
  const char *resource;
};
constexpr PathCode kPathCodes[] = {
    {'C', "con_path"},  {'D', "data_path"},  {'F', "file_path"}, {'R', "raw_path"},
    {'G', "grid_path"}, {'I', "image_path"}, {'W', "watch_path"}, {'T', "text_path"},
    {'M', "model_path"}, {'S', "sat_path"},
};

const char *path_resource(char code) {
  for (const PathCode &p : kPathCodes)
    if (p.code == code) return p.resource;
  return nullptr;
}

bool is_date_code(char c) {
  return c == 'Y' || c == 'y' || c == 'm' || c == 'b' || c == 'd' || c == 'j' || c == 'h' ||
         c == 'n';
}

// Characters of a date code in a name.
int date_width(char c) {
  switch (c) {
    case 'Y': return 4;
    case 'b':
    case 'j': return 3;
    default: return 2;
  }
}

// One "%" code of a template: an optional count, the code character, and
// for "%{name}" the resource name.
struct Code {
  int count = 1;
  bool has_count = false;
  char code = '\0';  // '\0' when the template ends after "%" (and count)
  std::string_view name;
  std::size_t next = 0;  // index just after the code

  bool is_path() const { return code == '{' || path_resource(code) != nullptr; }
};

// Parses the code whose "%" is at `at`.
Code parse_code(std::string_view t, std::size_t at) {
  Code c;
  std::size_t i = at + 1;
  long n = 0;
  while (i < t.size() && is_digit(t[i])) {
    c.has_count = true;
    if (n < 10000) n = n * 10 + (t[i] - '0');
    ++i;
  }
  if (c.has_count) c.count = static_cast<int>(n);
  if (i >= t.size()) {
    c.next = i;
    return c;
  }
  c.code = t[i++];
  if (c.code == '{') {
    std::size_t close = t.find('}', i);
    if (close == std::string_view::npos) close = t.size();
    c.name = t.substr(i, close - i);
    i = close < t.size() ? close + 1 : close;
  }
  c.next = i;
  return c;
}

// Walks template `t` part by part: `literal(c)` for every character outside
// a code, true to stop the walk; `code(k)` for every code, returning where
// the walk goes on (k.next, or past template text the code has used) or
// kStop. True when the walk was stopped.
constexpr std::size_t kStop = std::string_view::npos;
template <typename Literal, typename CodeFn>
bool walk(std::string_view t, Literal literal, CodeFn code) {
  for (std::size_t i = 0; i < t.size();) {
    if (t[i] != '%') {
      if (literal(t[i])) return true;
      ++i;
      continue;
    }
    i = code(parse_code(t, i));
    if (i == kStop) return true;
  }
  return false;
}

// A count of 0 would divide by zero and make a zero-length file period:
// it counts as 1 for date fields.
int date_count(const Code &c) { return c.count > 0 ? c.count : 1; }

// Proposes the file period of one date code into `late`: the smallest
// proposal wins, while a rounding file time names the period directly.
void propose_period(int *late, const Code &c) {
  int n = date_count(c);
  int secs = 0;
  bool direct = false;
  if (c.code == 'd' || c.code == 'j') {
    secs = 86400 * n;
    if (given(set_time.day) && set_time.day < 0 && set_time.day > -10000) {
      secs = 86400 * -set_time.day;
      direct = true;
    }
  } else if (c.code == 'h' || c.code == 'n') {
    int unit = c.code == 'h' ? 3600 : 60;
    int sv = c.code == 'h' ? set_time.hour : set_time.min;
    secs = unit * n;
    if (given(sv) && sv < 0) {
      int k, m;
      split_round(sv, &k, &m);
      if (m > 0) {
        secs = unit * m;
        direct = true;
      }
    }
  } else {
    return;
  }
  if (direct || *late == tv::kMissInt || secs < *late) *late = secs;
}

// Does the template name a directory (a "/" or a path code)? A template
// without one names a bare file, which a user's directory can precede.
bool template_has_dir(std::string_view t) {
  return walk(t, [](char c) { return c == '/'; }, [](const Code &k) { return k.is_path() ? kStop : k.next; });
}

// The date codes of a template.
int count_date_codes(std::string_view t) {
  int n = 0;
  walk(t, [](char) { return false; },
       [&n](const Code &k) {
         if (is_date_code(k.code)) ++n;
         return k.next;
       });
  return n;
}

// The template of the names: the header template when asked for and given.
std::string_view template_in_use() { return header && cur.hconv[0] ? cur.hconv : cur.conv; }

// The directory part of `name`, up to and with its last "/" ("" when none).
std::string_view dir_part(std::string_view name) {
  std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : name.substr(0, slash + 1);
}

// Value of a path code or "%{name}" resource. A path code whose resource is
// absent, empty or "none" stands for the current directory; an absent
// "%{name}" stands for nothing.
std::string_view resource_value(const Code &c) {
  if (c.code == '{') {
    std::string name(c.name);
    const char *v = res_get(name.c_str());
    return v ? std::string_view(v) : std::string_view();
  }
  const char *v = res_get(path_resource(c.code));
  if (!v || !*v || stricmp(v, "none") == 0) return ".";
  return v;
}

// The user key of code `k`, cut to the code's count; none when not set.
std::optional<std::string_view> key_value(const Code &k) {
  std::string_view kv(keys[static_cast<unsigned char>(k.code)]);
  if (kv.empty()) return std::nullopt;
  if (k.has_count && static_cast<std::size_t>(k.count) < kv.size()) kv = kv.substr(0, k.count);
  return kv;
}

bool is_separator(char c) { return c == '/' || c == ':'; }

int count_separators(std::string_view s) { return static_cast<int>(std::count_if(s.begin(), s.end(), is_separator)); }

// Index of the k-th separator of `s` counted from its end, or npos.
std::size_t kth_separator_from_end(std::string_view s, int k) {
  if (k <= 0) return std::string_view::npos;
  for (std::size_t i = s.size(); i-- > 0;) {
    if (is_separator(s[i]) && --k == 0) return i;
  }
  return std::string_view::npos;
}

void clear_date_fields(Date *d) { d->year = d->month = d->day = d->hour = d->min = tv::kMissInt; }

}  // namespace

// ------------------------------------------------- shared with the module

void tv::files::split_round(int v, int *k, int *m) {
  long long a = v < 0 ? -static_cast<long long>(v) : v;
  if (a > 1000000) a = 1000000;
  *k = static_cast<int>(a / 100);
  *m = static_cast<int>(a % 100);
}

int tv::files::round_field(int v, int x) {
  int k, m;
  split_round(v, &k, &m);
  if (m == 0) return x;
  return (x / m) * m - k;
}

std::int64_t tv::files::day_start(const Date &d) {
  Date z = d;
  z.hour = z.min = z.sec = 0;
  return DATE_num_sec(&z);
}

Date tv::files::utc_date(std::int64_t t) {
  time_t tt = static_cast<time_t>(t);
  Date d;
  DATE_get_gmdate(&tt, &d);
  return d;
}

int tv::files::template_period(std::string_view t) {
  int late = tv::kMissInt;
  walk(t, [](char) { return false; },
       [&late](const Code &k) {
         propose_period(&late, k);
         return k.next;
       });
  return late;
}

bool tv::files::read_digits(const char **p, int max, int *v) {
  const char *s = *p;
  int n = 0, val = 0;
  while (n < max && is_digit(s[n])) {
    val = val * 10 + (s[n] - '0');
    ++n;
  }
  if (n == 0) return false;
  *v = val;
  *p = s + n;
  return true;
}

bool tv::files::read_stamp(const char **p, Date *d) {
  const char *s = *p;
  int y = 0;
  const char *q = s;
  if (!read_digits(&q, 4, &y) || q - s != 4) return false;
  d->year = y;
  int v;
  if (read_digits(&q, 2, &v)) {
    d->month = v;
    if (read_digits(&q, 2, &v)) {
      d->day = v;
      if (read_digits(&q, 2, &v)) {
        d->hour = v;
        if (read_digits(&q, 2, &v)) d->min = v;
      }
    }
  }
  *p = q;
  return true;
}

// ---------------------------------------------------- names from a date

namespace {

// The date a name is built for: `src` with the file time `set` applied. A
// rounding rule that steps back past midnight moves to the previous day.
Date effective_date(const Date &src) {
  Date e = src;
  const Date &s = set_time;
  if (given(s.year)) e.year = s.year;
  if (given(s.month)) e.month = s.month;
  if (given(s.day)) {
    if (s.day >= 0) {
      e.day = s.day;
    } else if (given(e.day) && s.day > -10000) {
      int m = -s.day;
      e.day = (e.day / m) * m;
    }
  }
  if (given(s.hour)) e.hour = s.hour >= 0 ? s.hour : (given(e.hour) ? round_field(s.hour, e.hour) : e.hour);
  if (given(s.min)) e.min = s.min >= 0 ? s.min : (given(e.min) ? round_field(s.min, e.min) : e.min);
  bool neg_hour = given(e.hour) && e.hour < 0;
  bool neg_min = given(e.min) && e.min < 0;
  if (neg_hour || neg_min) {
    if (given(e.year) && given(e.month) && given(e.day)) {
      std::int64_t t = day_start(e) + 3600LL * (given(e.hour) ? e.hour : 0) +
                       60LL * (given(e.min) ? e.min : 0);
      Date u = utc_date(t);
      e.year = u.year;
      e.month = u.month;
      e.day = u.day;
      if (given(e.hour)) e.hour = u.hour;
      if (given(e.min)) e.min = u.min;
      e.jday = u.jday;
    } else {
      if (neg_hour) e.hour = 0;
      if (neg_min) e.min = 0;
    }
  }
  return e;
}

int round_down(int v, int n) { return n > 1 && v >= 0 ? (v / n) * n : v; }

void put_number(NameOut &out, const char *fmt, int v) {
  char num[16];
  std::snprintf(num, sizeof num, fmt, v);
  out.put(num);
}

// The date codes written as one field of the date, rounded down to the
// code's count: the text of a missing field, the format, and whether the
// code proposes the file period.
struct FieldCode {
  char code;
  std::int32_t Date::*field;
  const char *missing;
  const char *format;
  bool period;
};
constexpr FieldCode kFieldCodes[] = {
    {'Y', &Date::year, "0000", "%4.4d", false}, {'m', &Date::month, "00", "%2.2d", false},
    {'d', &Date::day, "00", "%2.2d", true},     {'h', &Date::hour, "00", "%2.2d", true},
    {'n', &Date::min, "00", "%2.2d", true},
};

// "%y": the year of the century, rounded down within it.
void put_short_year(NameOut &out, const Code &k, const Date &e) {
  if (!given(e.year)) {
    out.put("00");
    return;
  }
  int yy = ((e.year % 100) + 100) % 100;
  int r = round_down(yy, date_count(k));
  put_number(out, "%2.2d", r);
  file_date.year = e.year - yy + r;
}

// "%b": the month's lower-case name.
void put_month_name(NameOut &out, const Date &e) {
  const char *lc = given(e.month) ? DATE_month_abbr(e.month, false) : "";
  out.put(*lc ? std::string_view(lc) : std::string_view("xxx"));
  if (*lc) file_date.month = e.month;
}

// "%j": the day of the year, from the date when it is whole.
void put_day_of_year(NameOut &out, const Code &k, const Date &e) {
  int jd = e.jday;
  if (given(e.year) && given(e.month) && given(e.day)) DATE_monday_julian(e.year, e.month, e.day, &jd);
  if (!given(jd)) {
    out.put("000");
  } else {
    jd = round_down(jd, date_count(k));
    put_number(out, "%3.3d", jd);
    file_date.jday = jd;
    if (given(e.year)) {
      int mo, dy;
      DATE_julian_monday(e.year, jd, &mo, &dy);
      file_date.month = mo;
      file_date.day = dy;
    }
  }
  propose_period(&cur.late_off, k);
}

// Writes date code `k` for the date `e` and keeps the field written in
// file_date. False for a code that is no date code.
bool put_date_code(NameOut &out, const Code &k, const Date &e) {
  for (const FieldCode &f : kFieldCodes) {
    if (f.code != k.code) continue;
    if (!given(e.*f.field)) {
      out.put(f.missing);
    } else {
      const int v = round_down(e.*f.field, date_count(k));
      put_number(out, f.format, v);
      file_date.*f.field = v;
    }
    if (f.period) propose_period(&cur.late_off, k);
    return true;
  }
  switch (k.code) {
    case 'y': put_short_year(out, k, e); return true;
    case 'b': put_month_name(out, e); return true;
    case 'j': put_day_of_year(out, k, e); return true;
    default: return false;
  }
}

// Writes code `k` of template `t` for the date `e` into `out`; returns where
// the template goes on. A path code stands for `user_path` when the user
// gave the directory, else for its resource.
std::size_t put_code(NameOut &out, std::string_view t, const Code &k, const Date &e,
                     std::optional<std::string_view> user_path) {
  std::size_t next = k.next;
  if (put_date_code(out, k, e)) return next;
  if (k.code == '\0' || k.code == '%') {
    out.put('%');
  } else if (k.code == 'e') {
    out.put(cur.ext);
  } else if (k.is_path()) {
    const std::string_view v = user_path ? *user_path : resource_value(k);
    out.put(v);
    // A path that ends with "/" needs no second one from the template.
    if (out.ends_with_slash() && next < t.size() && t[next] == '/' && !v.empty()) ++next;
  } else if (const std::optional<std::string_view> kv = key_value(k)) {
    out.put(*kv);
  } else {
    out.put('0');
  }
  return next;
}

// Writes template `t` for the date `e` into `out`: blanks as "_", the
// braces of optional parts left out.
void expand(std::string_view t, const Date &e, std::optional<std::string_view> user_path, NameOut &out) {
  walk(
      t,
      [&out](char c) {
        if (c == ' ')
          out.put('_');
        else if (c != '{' && c != '}')
          out.put(c);
        return false;
      },
      [&](const Code &k) { return put_code(out, t, k, e, user_path); });
}

// The directory of the last name when the user gave it as a full path: as
// many separators back as the template holds. The names that follow lie
// there. A view into cur.filename.
std::optional<std::string_view> user_path(std::string_view t) {
  if (cur.filename_type != 1 || !FILE_fullpath(cur.filename)) return std::nullopt;
  std::string_view f(cur.filename);
  std::size_t at = kth_separator_from_end(f, count_separators(t));
  if (at == std::string_view::npos) return std::nullopt;
  f = f.substr(0, at);
  if (MESS_check(kTracePath)) MESS_print(kTracePath, "Extracted path: %.*s\n", static_cast<int>(f.size()), f.data());
  return f;
}

// The names of no template: the last name (or "filename"), or standard
// input or output. Returns 1 then, else 0.
int name_without_template(char *name) {
  if (!cur.conv[0]) {
    copy_name(name, cur.filename[0] ? cur.filename : "filename", "FILE_set_date");
    cur.filename_type = 1;
    return 1;
  }
  if (FILE_is_stdio(cur.conv)) {
    copy_name(name, "-", "FILE_set_date");
    cur.filename_type = 0;
    return 1;
  }
  return 0;
}

int set_date(Date *date, char *name, bool whole) {
  char local[kText];
  if (!name) name = local;
  if (name_without_template(name)) return 1;
  const std::string_view t = template_in_use();
  const std::optional<std::string_view> path = user_path(t);
  // Names that follow a name the user gave with a directory lie in that
  // directory, when the template names a bare file.
  const std::string_view user_dir =
      cur.filename_type == 1 && !template_has_dir(t) ? dir_part(cur.filename) : std::string_view();

  cur.late_off = tv::kMissInt;
  Date src;
  if (date) {
    clear_date_fields(&file_date);
    src = *date;
  } else {
    src = file_date;
  }
  if (!given(src.year) && cur.filename[0]) {
    copy_name(name, cur.filename, "FILE_set_date");
    cur.filename_type = 1;
    return 1;
  }

  char built[kText];
  bool cut = false;
  {
    NameOut out(built, "FILE_set_date", whole);
    out.put(user_dir);
    expand(t, effective_date(src), path, out);
    cut = out.cut();
  }
  copy_name(name, built, "FILE_set_date");
  if (whole && cut) return -1;
  copy_name(cur.filename, built, "FILE_set_date");
  return 0;
}

}  // namespace

// Expands the template for `date` (or for the last file date when `date` is
// null) into `name` (kText bytes). Returns 0 when the name was built from
// the template, 1 when it was taken as it is.
int FILE_set_date(Date *date, char *name) { return set_date(date, name, false); }

// The same, for a name that must never be cut: -1, and no message, when it
// does not fit (`name` then holds its first 159 characters).
int FILE_set_date_whole(Date *date, char *name) { return set_date(date, name, true); }

// --------------------------------------------------- names the user typed

namespace {

// Reads the characters of date code `code` from `chunk` into `file_date`.
bool read_date_field(char code, std::string_view chunk) {
  if (code == 'b') {
    if (chunk.size() < 3) return false;
    std::string m(chunk.substr(0, 3));
    int month = DATE_decode_month(m.c_str());
    if (month < 1) return false;
    file_date.month = month;
    return true;
  }
  std::size_t n = 0;
  int v = 0;
  while (n < chunk.size() && is_digit(chunk[n])) v = v * 10 + (chunk[n++] - '0');
  if (n == 0) return false;
  switch (code) {
    case 'Y': file_date.year = v; break;
    case 'y': file_date.year = v < 50 ? v + 2000 : v + 1900; break;
    case 'm': file_date.month = v; break;
    case 'd': file_date.day = v; break;
    case 'j': file_date.jday = v; break;
    case 'h': file_date.hour = v; break;
    case 'n': file_date.min = v; break;
    default: return false;
  }
  return true;
}

// Literal template text that follows position `i`, up to the next code.
std::string_view following_text(std::string_view t, std::size_t i) {
  std::size_t end = i;
  while (end < t.size() && t[end] != '%' && t[end] != '{' && t[end] != '}' && t[end] != '*') ++end;
  return t.substr(i, end - i);
}

// Walks template `t` beside `s`, a name the user typed, and writes the
// completed name: the parts of the template the user left out are filled
// in, and the date fields are read from the characters that stand for
// them. The walk stops at the first part of the name that does not fit;
// the rest of the name is kept as typed.
class Matcher {
 public:
  // `typed` is the whole name as typed, `s` its part that the template
  // matches, `built` (kText bytes) the name written.
  Matcher(std::string_view t, std::string_view s, const char *typed, char *built)
      : t_(t),
        s_(s),
        typed_(typed),
        bare_(s.find('/') == std::string_view::npos),
        typed_full_(FILE_fullpath(typed) != 0),
        out_(built, "FILE_set_file") {}

  void run(std::string_view user_dir) {
    out_.put(user_dir);
    const bool trace = MESS_check(kTraceStep) != 0;
    bool going = true;
    while (going && ti_ < t_.size()) {
      if (trace)
        MESS_print(kTraceStep, "FILES:%.*s:%.*s:%s:%s:%s:%d\n", static_cast<int>(t_.size() - ti_), t_.data() + ti_,
                   static_cast<int>(s_.size() - si_), s_.data() + si_, out_.c_str(), cur.ext, typed_, mode_);
      going = step();
    }
    // What the template did not account for is kept as typed.
    out_.put(s_.substr(si_));
  }
  int mode() const { return mode_; }
  int dates_read() const { return dates_read_; }

 private:
  // How far the walk has come; printed in the traces.
  enum Mode : int { kNothing = 0, kAfterPath = 1, kAfterDate = 2, kUsedUp = 3 };

  // One part of the template; false when the walk stops.
  bool step() {
    const char c = t_[ti_];
    std::size_t adv = 1;  // template characters a literal stands for
    if (c == '%') {
      const Code k = parse_code(t_, ti_);
      if (k.code != '\0' && k.code != '%') {
        ti_ = k.next;
        return code(k);
      }
      adv = k.next - ti_;  // "%%": a literal percent sign
    }
    switch (c) {
      case '*':  // everything else of the name
        out_.put(s_.substr(si_));
        si_ = s_.size();
        ti_ = t_.size();
        return false;
      case '{':
        optional_part();
        return true;
      case '}':
        mode_ = kAfterPath;
        ++ti_;
        return true;
      default:
        return literal(c, adv);
    }
  }

  bool code(const Code &k) {
    if (is_date_code(k.code)) return date_code(k);
    if (k.is_path()) {
      path_code(k);
    } else if (k.code == 'e') {
      extension();
    } else {
      const std::optional<std::string_view> kv = key_value(k);
      if (!kv) return false;
      out_.put(*kv);
      si_ += std::min(kv->size(), s_.size() - si_);
    }
    return true;
  }

  bool date_code(const Code &k) {
    const std::size_t take = std::min<std::size_t>(date_width(k.code), s_.size() - si_);
    const std::string_view chunk = s_.substr(si_, take);
    if (!read_date_field(k.code, chunk)) return false;
    out_.put(chunk);
    si_ += take;
    mode_ = kAfterDate;
    ++dates_read_;
    propose_period(&cur.late_off, k);
    return true;
  }

  // The resource's directory, or for a full name the user's own directory,
  // as many separators back as the rest of the template holds.
  void path_code(const Code &k) {
    mode_ = kAfterPath;
    if (!typed_full_) {
      out_.put(resource_value(k));
      if (ti_ < t_.size() && t_[ti_] == '/') {
        if (!out_.ends_with_slash()) out_.put('/');
        ++ti_;
      }
      return;
    }
    const std::string_view rest = s_.substr(si_);
    const std::size_t at = kth_separator_from_end(rest, count_separators(t_.substr(ti_)));
    if (at != std::string_view::npos) {
      out_.put(rest.substr(0, at));
      si_ += at;
    }
  }

  // The extension of the convention, or what the name holds up to the
  // template's next literal text (which then becomes the extension).
  void extension() {
    const std::string_view follow = following_text(t_, ti_);
    std::size_t at = follow.empty() ? std::string_view::npos : s_.find(follow, si_);
    if (at == std::string_view::npos) at = s_.size();
    if (cur.ext[0]) {
      out_.put(cur.ext);
    } else {
      set_ext(s_.substr(si_, at - si_));
      out_.put(s_.substr(si_, at - si_));
    }
    si_ = at;
  }

  // An optional part is written as it is; when the user typed it, it is
  // passed over in the name as well.
  void optional_part() {
    std::size_t end = ti_ + 1;
    while (end < t_.size() && t_[end] != '}' && t_[end] != '%') ++end;
    const std::string_view opt = t_.substr(ti_ + 1, end - ti_ - 1);
    out_.put(opt);
    if (s_.substr(si_, opt.size()) == opt) si_ += opt.size();
    ti_ = end;
    if (ti_ < t_.size() && t_[ti_] == '}') {
      ++ti_;
      mode_ = kAfterPath;
    }
  }

  // A literal character of the template. Equal characters are passed over
  // in both texts; another character of the name stops the walk unless it
  // follows a path or an optional part.
  bool literal(char c, std::size_t adv) {
    const char tc = c == ' ' ? '_' : c;
    const bool more = si_ < s_.size();
    if (more && s_[si_] == tc) {
      out_.put(tc);
      ++si_;
      if (mode_ >= kAfterPath && si_ == s_.size()) mode_ = kUsedUp;
    } else if (more && (mode_ == kNothing || mode_ >= kAfterDate)) {
      return false;
    } else {
      out_.put(tc);
      if (more && bare_) ++si_;
    }
    ti_ += adv;
    return true;
  }

  std::string_view t_;
  std::string_view s_;
  const char *typed_;
  bool bare_;        // the name holds no directory
  bool typed_full_;  // the name is a full path
  NameOut out_;
  std::size_t ti_ = 0;
  std::size_t si_ = 0;
  int mode_ = kNothing;
  int dates_read_ = 0;
};

// The date of a typed name starts from the file time; a "#yyyymmddhh"
// suffix, cut off the name here, sets the file time first (a suffix
// without a year leaves it as it was).
void start_from_file_time(char *typed) {
  clear_date_fields(&file_date);
  name_fit = false;
  if (char *hash = std::strchr(typed + (typed[0] ? 1 : 0), '#')) {
    *hash = '\0';
    const char *p = hash + 1;
    Date stamp = set_time;
    clear_date_fields(&stamp);
    if (read_stamp(&p, &stamp)) set_time = stamp;
  }
  file_date.year = set_time.year;
  file_date.month = set_time.month;
  file_date.day = set_time.day;
  file_date.hour = set_time.hour;
  file_date.min = set_time.min;
}

// The text taken as the name without the template: "@name" is that name,
// a standard stream stays one, and without a template the name is as
// typed. Null when the template decides.
const char *taken_as_it_is(const char *typed) {
  if (typed[0] == '@') return typed + 1;
  if (FILE_is_stdio(typed) || (cur.conv[0] && FILE_is_stdio(cur.conv))) return "-";
  if (!cur.conv[0]) return typed;
  return nullptr;
}

// "#yyyymmddhh", "cu..." and "la...": the current or the latest file.
bool names_current_file(const char *typed) {
  return typed[0] == '#' || std::strncmp(typed, "cu", 2) == 0 || std::strncmp(typed, "la", 2) == 0;
}

// Completes `typed` along the template into `name` and reads its date.
void match_template(const char *typed, char *name) {
  const std::string_view t = template_in_use();
  std::string_view s(typed);
  // A template that names a bare file matches the file part of a name typed
  // with a directory (in/23120712.syn, ./23120712.syn); the directory stays
  // as typed.
  const std::string_view user_dir = template_has_dir(t) ? std::string_view() : dir_part(s);
  s.remove_prefix(user_dir.size());
  cur.late_off = tv::kMissInt;
  char built[kText];
  int mode = 0;
  int dates_read = 0;
  {
    Matcher m(t, s, typed, built);
    m.run(user_dir);
    mode = m.mode();
    dates_read = m.dates_read();
  }
  if (given(file_date.jday) && !given(file_date.month)) {
    int mo, dy;
    DATE_julian_monday(given(file_date.year) ? file_date.year : 2001, file_date.jday, &mo, &dy);
    file_date.month = mo;
    file_date.day = dy;
  }
  name_fit = dates_read > 0 && dates_read == count_date_codes(t);
  copy_name(name, built, "FILE_set_file");
  FILE_set_filename(built);
  if (MESS_check(kTraceStep)) MESS_print(kTraceStep, "FILES:%s:%s:%d\n", typed, name, mode);
  if (MESS_check(kTraceSeq)) DATE_print(kTraceSeq, &file_date);
}

}  // namespace

// Completes the name `user_name` typed by the user into `name` (kText
// bytes) by walking the template beside it, and recovers the date of the
// name into `file_date`. Returns 0.
int FILE_set_file(const char *user_name, char *name) {
  char local[kText];
  if (!name) name = local;
  char typed[kText];
  copy_name(typed, user_name ? user_name : "", "FILE_set_file");
  start_from_file_time(typed);
  if (stricmp(typed, "exit") == 0) ZOT_exit(0);
  const char *as_is = taken_as_it_is(typed);
  if (!as_is && names_current_file(typed)) {
    FILE_set_current(std::strncmp(typed, "cu", 2) == 0 ? typed + 2 : typed, name);
    MESS_print(kLevelMess, "Current filename: %s\n", name);
    return 0;
  }
  // "none", and a full path for a template that is one, are taken as typed.
  if (!as_is && (stricmp(typed, "none") == 0 || (FILE_fullpath(cur.conv) && FILE_fullpath(typed)))) as_is = typed;
  if (as_is) {
    copy_name(name, as_is, "FILE_set_file");
    FILE_set_filename(name);
    return 0;
  }
  match_template(typed, name);
  return 0;
}

// ------------------------------------------------ the files of a template

namespace {

// A pattern for the shell: literal text is quoted, so that only the
// wildcards put in here act as such and a value can neither run a command
// nor split the pattern. A leading "~" is expanded first, as the shell
// would not expand it inside quotes.
class ShellPattern {
 public:
  void literal(char c) { literal_.push_back(c); }
  void literal(std::string_view s) { literal_.append(s); }
  bool literal_ends_with_slash() const { return !literal_.empty() && literal_.back() == '/'; }
  void wild(std::string_view w) {
    flush();
    pattern_.append(w);
    first_ = false;
  }
  std::string text() {
    flush();
    return pattern_;
  }

 private:
  void flush() {
    if (literal_.empty()) return;
    if (first_ && literal_[0] == '~') literal_ = expand_user_str(literal_);
    pattern_.push_back('\'');
    for (char ch : literal_) {
      if (ch == '\'')
        pattern_.append("'\\''");
      else
        pattern_.push_back(ch);
    }
    pattern_.push_back('\'');
    literal_.clear();
    first_ = false;
  }

  std::string pattern_;
  std::string literal_;
  bool first_ = true;
};

// The wildcard of a date code: its width, digits where a digit must stand.
std::string_view date_wildcard(char code) {
  switch (code) {
    case 'Y': return "?[0-9]??";
    case 'b': return "?[a-z]?";
    case 'j': return "?[0-9]?";
    default: return "[0-9]?";
  }
}

// Code `k` of template `t` in the pattern; returns where the template goes
// on.
std::size_t add_code(ShellPattern &p, std::string_view t, const Code &k) {
  std::size_t next = k.next;
  if (k.code == '\0' || k.code == '%') {
    p.literal('%');
  } else if (is_date_code(k.code)) {
    p.wild(date_wildcard(k.code));
  } else if (k.code == 'e') {
    if (cur.ext[0])
      p.literal(std::string_view(cur.ext));
    else
      p.wild("*");
  } else if (k.is_path()) {
    p.literal(resource_value(k));
    if (p.literal_ends_with_slash() && next < t.size() && t[next] == '/') ++next;
  } else if (const std::optional<std::string_view> kv = key_value(k)) {
    p.literal(*kv);
  } else if (k.has_count) {
    p.wild(std::string(static_cast<std::size_t>(k.count > 0 ? (k.count < 160 ? k.count : 160) : 0), '?'));
  } else {
    p.wild("*");
  }
  return next;
}

// The pattern of template `t`: "*" a wildcard, blanks as "_", the braces of
// optional parts left out.
std::string list_pattern(std::string_view t) {
  ShellPattern p;
  walk(
      t,
      [&p](char c) {
        if (c == '*')
          p.wild("*");
        else if (c == ' ')
          p.literal('_');
        else if (c != '{' && c != '}')
          p.literal(c);
        return false;
      },
      [&](const Code &k) { return add_code(p, t, k); });
  return p.text();
}

}  // namespace

// Lists the files that match the template with "ls -x".
int FILE_list_file() {
  std::string cmd = "ls -x " + list_pattern(template_in_use());
  MESS_print(kTraceSeq, "SEARCH: %s\n", cmd.c_str());
  std::fflush(stdout);
  std::fflush(stderr);
  int rc = std::system(cmd.c_str());
  (void)rc;  // the shell reports its own errors on the terminal
  return 0;
}
