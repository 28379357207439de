// The template language of file names: "%" codes for dates, paths,
// resources, user keys and the extension; names built from a template
// (FILE_set_date), names typed by the user completed along it and their date
// read back (FILE_set_file), and the files that match it (FILE_list_file).
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
  for (std::size_t i = 0; i < t.size();) {
    if (t[i] == '/') return true;
    if (t[i] != '%') {
      ++i;
      continue;
    }
    Code c = parse_code(t, i);
    if (c.code == '{' || path_resource(c.code)) return true;
    i = c.next;
  }
  return false;
}

// The date codes of a template.
int count_date_codes(std::string_view t) {
  int n = 0;
  for (std::size_t i = 0; i < t.size();) {
    if (t[i] != '%') {
      ++i;
      continue;
    }
    Code c = parse_code(t, i);
    if (is_date_code(c.code)) ++n;
    i = c.next;
  }
  return n;
}

// The directory part of `name`, up to and with its last "/" ("" when none).
std::string_view dir_part(std::string_view name) {
  std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : name.substr(0, slash + 1);
}




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

bool is_separator(char c) { return c == '/' || c == ':'; }

int count_separators(std::string_view s) {
  int k = 0;
  for (char c : s)
    if (is_separator(c)) ++k;
  return k;
}

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
  for (std::size_t i = 0; i < t.size();) {
    if (t[i] != '%') {
      ++i;
      continue;
    }
    Code c = parse_code(t, i);
    if (c.code == 'd' || c.code == 'j' || c.code == 'h' || c.code == 'n') propose_period(&late, c);
    i = c.next;
  }
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

namespace {
int set_date(Date *date, char *name, bool whole);
}  // namespace

// Expands the template for `date` (or for the last file date when `date` is
// null) into `name` (kText bytes). Returns 0 when the name was built from
// the template, 1 when it was taken as it is.
int FILE_set_date(Date *date, char *name) { return set_date(date, name, false); }

// The same, for a name that must never be cut: -1, and no message, when it
// does not fit (`name` then holds its first 159 characters).
int FILE_set_date_whole(Date *date, char *name) { return set_date(date, name, true); }

namespace {

int set_date(Date *date, char *name, bool whole) {
  char local[kText];
  if (!name) name = local;
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
  std::string_view t(header && cur.hconv[0] ? cur.hconv : cur.conv);

  // A full path the user gave sets the directory of the names that follow.
  std::string extracted;
  bool have_extracted = false;
  if (cur.filename_type == 1 && FILE_fullpath(cur.filename)) {
    std::string_view f(cur.filename);
    std::size_t at = kth_separator_from_end(f, count_separators(t));
    if (at != std::string_view::npos) {
      extracted.assign(f.substr(0, at));
      have_extracted = true;
      if (MESS_check(kTracePath)) MESS_print(kTracePath, "Extracted path: %s\n", extracted.c_str());
    }
  }

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

  Date e = effective_date(src);
  char built[kText];
  bool cut = false;
  {
    NameOut out(built, "FILE_set_date", whole);
    out.put(user_dir);
    for (std::size_t i = 0; i < t.size();) {
      char c = t[i];
      if (c != '%') {
        if (c == ' ')
          out.put('_');
        else if (c != '{' && c != '}')
          out.put(c);
        ++i;
        continue;
      }
      Code k = parse_code(t, i);
      i = k.next;
      int n = date_count(k);
      switch (k.code) {
        case '\0':
        case '%': out.put('%'); break;
        case 'Y':
          if (!given(e.year)) {
            out.put("0000");
          } else {
            int y = round_down(e.year, n);
            put_number(out, "%4.4d", y);
            file_date.year = y;
          }
          break;
        case 'y':
          if (!given(e.year)) {
            out.put("00");
          } else {
            int yy = ((e.year % 100) + 100) % 100;
            int r = round_down(yy, n);
            put_number(out, "%2.2d", r);
            file_date.year = e.year - yy + r;
          }
          break;
        case 'm':
          if (!given(e.month)) {
            out.put("00");
          } else {
            int m = round_down(e.month, n);
            put_number(out, "%2.2d", m);
            file_date.month = m;
          }
          break;
        case 'b': {
          const char *lc = given(e.month) ? DATE_month_abbr(e.month, false) : "";
          out.put(lc && *lc ? std::string_view(lc).substr(0, 3) : std::string_view("xxx"));
          if (lc && *lc) file_date.month = e.month;
          break;
        }
        case 'd':
          if (!given(e.day)) {
            out.put("00");
          } else {
            int d = round_down(e.day, n);
            put_number(out, "%2.2d", d);
            file_date.day = d;
          }
          propose_period(&cur.late_off, k);
          break;
        case 'j': {
          int jd = e.jday;
          if (given(e.year) && given(e.month) && given(e.day))
            DATE_monday_julian(e.year, e.month, e.day, &jd);
          if (!given(jd)) {
            out.put("000");
          } else {
            jd = round_down(jd, n);
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
          break;
        }
        case 'h':
          if (!given(e.hour)) {
            out.put("00");
          } else {
            int h = round_down(e.hour, n);
            put_number(out, "%2.2d", h);
            file_date.hour = h;
          }
          propose_period(&cur.late_off, k);
          break;
        case 'n':
          if (!given(e.min)) {
            out.put("00");
          } else {
            int m = round_down(e.min, n);
            put_number(out, "%2.2d", m);
            file_date.min = m;
          }
          propose_period(&cur.late_off, k);
          break;
        case 'e': out.put(cur.ext); break;
        default: {
          if (k.code == '{' || path_resource(k.code)) {
            std::string_view v = have_extracted ? std::string_view(extracted) : resource_value(k);
            out.put(v);
            // A path that ends with "/" needs no second one from the template.
            if (out.ends_with_slash() && i < t.size() && t[i] == '/' && !v.empty()) ++i;
          } else {
            const char *key = keys[static_cast<unsigned char>(k.code)];
            if (!*key) {
              out.put('0');
            } else {
              std::string_view kv(key);
              if (k.has_count && static_cast<std::size_t>(k.count) < kv.size()) kv = kv.substr(0, k.count);
              out.put(kv);
            }
          }
          break;
        }
      }
    }
    cut = out.cut();
  }
  copy_name(name, built, "FILE_set_date");
  if (whole && cut) return -1;
  copy_name(cur.filename, built, "FILE_set_date");
  return 0;
}

}  // namespace

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

}  // namespace

// Completes the name `user_name` typed by the user into `name` (kText bytes) by walking the
// template beside it, and recovers the date of the name into `file_date`.
// Returns 0.
int FILE_set_file(const char *user_name, char *name) {
  char local[kText];
  if (!name) name = local;
  char sp[kText];
  copy_name(sp, user_name ? user_name : "", "FILE_set_file");

  clear_date_fields(&file_date);
  name_fit = false;
  if (char *hash = std::strchr(sp + (sp[0] ? 1 : 0), '#')) {
    *hash = '\0';
    // A suffix without a year leaves the file time as it was.
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

  if (stricmp(sp, "exit") == 0) ZOT_exit(0);
  if (sp[0] == '@') {
    copy_name(name, sp + 1, "FILE_set_file");
    FILE_set_filename(name);
    return 0;
  }
  if (FILE_is_stdio(sp) || (cur.conv[0] && FILE_is_stdio(cur.conv))) {
    copy_name(name, "-", "FILE_set_file");
    FILE_set_filename(name);
    return 0;
  }
  if (!cur.conv[0]) {
    copy_name(name, sp, "FILE_set_file");
    FILE_set_filename(sp);
    return 0;
  }
  if (sp[0] == '#' || std::strncmp(sp, "cu", 2) == 0 || std::strncmp(sp, "la", 2) == 0) {
    FILE_set_current(std::strncmp(sp, "cu", 2) == 0 ? sp + 2 : sp, name);
    MESS_print(kLevelMess, "Current filename: %s\n", name);
    return 0;
  }
  if (stricmp(sp, "none") == 0 || (FILE_fullpath(cur.conv) && FILE_fullpath(sp))) {
    copy_name(name, sp, "FILE_set_file");
    FILE_set_filename(sp);
    return 0;
  }

  std::string_view t(header && cur.hconv[0] ? cur.hconv : cur.conv);
  std::string_view s(sp);
  // A template that names a bare file matches the file part of a name typed
  // with a directory (in/23120712.syn, ./23120712.syn); the directory stays
  // as typed.
  const std::string_view user_dir = template_has_dir(t) ? std::string_view() : dir_part(s);
  s.remove_prefix(user_dir.size());
  const bool bare = s.find('/') == std::string_view::npos;
  const bool s_full = FILE_fullpath(sp) != 0;
  const bool trace = MESS_check(kTraceStep) != 0;
  int mode = 0;  // 0 nothing matched, 1 after a path or optional part, 2 after a date, 3 name used up
  std::size_t ti = 0, si = 0;
  bool abandon = false;
  int dates_read = 0;
  cur.late_off = tv::kMissInt;
  char built[kText];
  {
    NameOut out(built, "FILE_set_file");
    out.put(user_dir);
    while (ti < t.size() && !abandon) {
      if (trace) {
        std::string tr(t.substr(ti)), sr(s.substr(si));
        MESS_print(kTraceStep, "FILES:%s:%s:%s:%s:%s:%d\n", tr.c_str(), sr.c_str(), out.c_str(), cur.ext, sp, mode);
      }
      char c = t[ti];
      std::size_t adv = 1;  // template characters a literal stands for
      if (c == '%') {
        Code k = parse_code(t, ti);
        if (k.code == '\0' || k.code == '%') {
          adv = k.next - ti;  // "%%": a literal percent sign, matched below
        } else {
          ti = k.next;
          if (is_date_code(k.code)) {
            std::size_t take = std::min<std::size_t>(date_width(k.code), s.size() - si);
            std::string_view chunk = s.substr(si, take);
            if (!read_date_field(k.code, chunk)) {
              abandon = true;
              break;
            }
            out.put(chunk);
            si += take;
            mode = 2;
            ++dates_read;
            propose_period(&cur.late_off, k);
          } else if (k.code == '{' || path_resource(k.code)) {
            if (!s_full) {
              std::string_view v = resource_value(k);
              out.put(v);
              if (ti < t.size() && t[ti] == '/') {
                if (!out.ends_with_slash()) out.put('/');
                ++ti;
              }
            } else {
              // The user's own directory, as many separators back as the
              // rest of the template holds.
              std::string_view rest = s.substr(si);
              std::size_t at = kth_separator_from_end(rest, count_separators(t.substr(ti)));
              if (at != std::string_view::npos) {
                out.put(rest.substr(0, at));
                si += at;
              }
            }
            mode = 1;
          } else if (k.code == 'e') {
            std::string_view follow = following_text(t, ti);
            std::size_t at = follow.empty() ? std::string_view::npos : s.find(follow, si);
            if (at == std::string_view::npos) at = s.size();
            if (cur.ext[0]) {
              out.put(cur.ext);
            } else {
              set_ext(s.substr(si, at - si));
              out.put(s.substr(si, at - si));
            }
            si = at;
          } else {
            const char *key = keys[static_cast<unsigned char>(k.code)];
            if (!*key) {
              abandon = true;
              break;
            }
            std::string_view kv(key);
            if (k.has_count && static_cast<std::size_t>(k.count) < kv.size()) kv = kv.substr(0, k.count);
            out.put(kv);
            si += std::min(kv.size(), s.size() - si);
          }
          continue;
        }
      }
      if (c == '*') {
        out.put(s.substr(si));
        si = s.size();
        ti = t.size();
        break;
      }
      if (c == '{') {
        // An optional part is written as it is; when the user typed it, it
        // is passed over in the name as well.
        std::size_t end = ti + 1;
        while (end < t.size() && t[end] != '}' && t[end] != '%') ++end;
        std::string_view opt = t.substr(ti + 1, end - ti - 1);
        out.put(opt);
        if (s.substr(si, opt.size()) == opt) si += opt.size();
        ti = end;
        if (ti < t.size() && t[ti] == '}') {
          ++ti;
          mode = 1;
        }
        continue;
      }
      if (c == '}') {
        mode = 1;
        ++ti;
        continue;
      }
      // A literal character of the template.
      char tc = c == ' ' ? '_' : c;
      bool more = si < s.size();
      if (more && s[si] == tc) {
        // Equal characters are passed over in both texts in every mode.
        out.put(tc);
        ++si;
        if (mode >= 1 && si == s.size()) mode = 3;
      } else if (more && (mode == 0 || mode >= 2)) {
        abandon = true;
        break;
      } else {
        out.put(tc);
        if (more && bare) ++si;
      }
      ti += adv;
    }
    // What the template did not account for is kept as typed.
    out.put(s.substr(si));
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
  if (trace) MESS_print(kTraceStep, "FILES:%s:%s:%d\n", sp, name, mode);
  if (MESS_check(kTraceSeq)) DATE_print(kTraceSeq, &file_date);
  return 0;
}

// Lists the files that match the template with "ls -x". The template's
// literal text, resource values and user keys are quoted for the shell, so
// that only the wildcards put in here act as such: a value can neither run
// a command nor split the pattern.
int FILE_list_file() {
  std::string pattern;
  std::string literal;
  bool first = true;
  auto flush = [&]() {
    if (literal.empty()) return;
    if (first && literal[0] == '~') literal = expand_user_str(literal);
    pattern.push_back('\'');
    for (char ch : literal) {
      if (ch == '\'')
        pattern.append("'\\''");
      else
        pattern.push_back(ch);
    }
    pattern.push_back('\'');
    literal.clear();
    first = false;
  };
  auto wild = [&](std::string_view w) {
    flush();
    pattern.append(w);
    first = false;
  };

  std::string_view t(header && cur.hconv[0] ? cur.hconv : cur.conv);
  for (std::size_t i = 0; i < t.size();) {
    char c = t[i];
    if (c != '%') {
      if (c == '*')
        wild("*");
      else if (c == ' ')
        literal.push_back('_');
      else if (c != '{' && c != '}')
        literal.push_back(c);
      ++i;
      continue;
    }
    Code k = parse_code(t, i);
    i = k.next;
    switch (k.code) {
      case '\0':
      case '%': literal.push_back('%'); break;
      case 'Y': wild("?[0-9]??"); break;
      case 'b': wild("?[a-z]?"); break;
      case 'j': wild("?[0-9]?"); break;
      case 'y':
      case 'm':
      case 'd':
      case 'h':
      case 'n': wild("[0-9]?"); break;
      case 'e':
        if (cur.ext[0])
          literal.append(cur.ext);
        else
          wild("*");
        break;
      default:
        if (k.code == '{' || path_resource(k.code)) {
          std::string_view v = resource_value(k);
          literal.append(v);
          if (!literal.empty() && literal.back() == '/' && i < t.size() && t[i] == '/') ++i;
        } else if (const char *key = keys[static_cast<unsigned char>(k.code)]; *key) {
          std::string_view kv(key);
          if (k.has_count && static_cast<std::size_t>(k.count) < kv.size()) kv = kv.substr(0, k.count);
          literal.append(kv);
        } else if (k.has_count) {
          wild(std::string(static_cast<std::size_t>(k.count > 0 ? (k.count < 160 ? k.count : 160) : 0), '?'));
        } else {
          wild("*");
        }
        break;
    }
  }
  flush();
  std::string cmd = "ls -x " + pattern;
  MESS_print(kTraceSeq, "SEARCH: %s\n", cmd.c_str());
  std::fflush(stdout);
  std::fflush(stderr);
  int rc = std::system(cmd.c_str());
  (void)rc;  // the shell reports its own errors on the terminal
  return 0;
}

