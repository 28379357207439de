// File naming and access: name conventions and templates, the current and
// latest file, file sequences, and the small file-system functions.
#include "framework/files.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "framework/flag.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"
#include "framework/system.hpp"

namespace {

// Every name, template and path text: 159 characters and the NUL.
constexpr std::size_t kText = 160;
constexpr M_type kLevelFail = 192;

using tv::is_digit;
using tv::is_letter;

// Copies `src` into the kText-byte buffer `dst`; a longer text is cut at
// the bound and reported under the caller's name.
void copy_name(char *dst, std::string_view src, const char *func) {
  if (tv::copy_text(dst, kText, src) < src.size()) MESS_print(kLevelFail, "%s: Text too long, cut\n", func);
}

// Home directory of the current user: $HOME, else the user database.
const char *own_home() {
  const char *home = std::getenv("HOME");
  if (home && *home) return home;
  const passwd *pw = getpwuid(getuid());
  return pw ? pw->pw_dir : nullptr;
}

// `name` with a leading "~" (own home) or "~user" expanded; an unknown user
// or no home leaves it as it is.
std::string expand_user_str(std::string_view s) {
  if (s.empty() || s[0] != '~') return std::string(s);
  std::size_t slash = s.find('/');
  std::string_view user = s.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
  std::string_view rest = slash == std::string_view::npos ? std::string_view() : s.substr(slash);
  const char *home = nullptr;
  if (user.empty()) {
    home = own_home();
  } else {
    std::string uname(user);
    const passwd *pw = getpwnam(uname.c_str());
    if (pw) home = pw->pw_dir;
  }
  if (!home) return std::string(s);
  std::string full(home);
  full.append(rest);
  return full;
}

// The same into a kText-byte buffer; false when nothing was expanded.
bool expand_user(const char *name, char *out, const char *func) {
  std::string_view s(name ? name : "");
  std::string full = expand_user_str(s);
  bool expanded = !(full.size() == s.size() && full == s);
  copy_name(out, full, func);
  return expanded;
}

bool stat_name(const char *name, struct stat *st) {
  char path[kText];
  expand_user(name, path, "FILE_exist");
  return stat(path, st) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Paths and files

int FILE_fullpath(const char *name) {
  if (!name) return 0;
  return (name[0] == '/' || name[0] == '.' || name[0] == '~') ? 1 : 0;
}

// Joins `path` and `name` into `out` (kText bytes); a full path or a
// standard-stream name is taken as it is. `out` may be one of the inputs.
char *FILE_add_path(const char *path, const char *name, char *out) {
  if (!out) return out;
  if (!name) name = "";
  std::string joined;
  if (FILE_is_stdio(name) || FILE_fullpath(name)) {
    joined = name;
  } else {
    joined = path ? path : "";
    if (!joined.empty() && joined.back() != '/') joined.push_back('/');
    joined.append(name);
  }
  copy_name(out, joined, "FILE_add_path");
  return out;
}

// Appends "/" to a non-empty text that does not end with one; `str` holds
// kText bytes, so a text already at the bound is left as it is. Returns 1
// when the delimiter was added.
int FILE_add_path_delim(char *str) {
  if (!str || !*str) return 0;
  std::size_t n = std::strlen(str);
  if (str[n - 1] == '/') return 0;
  if (n >= kText - 1) {
    MESS_print(kLevelFail, "%s: Text too long, cut\n", "FILE_add_path_delim");
    return 0;
  }
  str[n] = '/';
  str[n + 1] = '\0';
  return 1;
}

// Expands a leading "~" (own home) or "~user" into `out` (kText bytes);
// an unknown user leaves the name unchanged. Returns 1 when expanded.
int FILE_add_user_path(const char *name, char *out) {
  if (!out) return 0;
  return expand_user(name, out, "FILE_add_user_path") ? 1 : 0;
}

int FILE_is_stdio(const char *name) {
  if (!name || !*name) return 1;
  return (std::strcmp(name, "-") == 0 || stricmp(name, "std") == 0 || stricmp(name, "stdn") == 0)
             ? 1
             : 0;
}

int FILE_exist(const char *name) {
  if (FILE_is_stdio(name)) return 1;
  struct stat st;
  return stat_name(name, &st) ? 1 : 0;
}

int FILE_is_dir(const char *name) {
  if (FILE_is_stdio(name)) return 0;
  struct stat st;
  return (stat_name(name, &st) && S_ISDIR(st.st_mode)) ? 1 : 0;
}

// Size in bytes, or -1 for a standard stream or a missing file.
long FILE_size(const char *name) {
  if (FILE_is_stdio(name)) return -1;
  struct stat st;
  if (!stat_name(name, &st)) return -1;
  return static_cast<long>(st.st_size);
}

// Returns 1 when the directory part of `path` exists; otherwise creates the
// directories made of all but the last `skip` parts and returns 0.
int FILE_make_dir(const char *path, int skip) {
  char work[kText];
  expand_user(path, work, "FILE_make_dir");
  for (char *p = work; *p; ++p)
    if (*p == '\\') *p = '/';
  std::string_view w(work);
  std::size_t last = w.rfind('/');
  if (last == std::string_view::npos) return 1;  // the current directory
  std::string dir(w.substr(0, last));
  struct stat st;
  if (dir.empty() || (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return 1;

  // Count the parts, then create every prefix ending before the last `skip`.
  int parts = 1;
  for (char c : w)
    if (c == '/') ++parts;
  int make = parts - (skip < 0 ? 0 : skip);
  std::string prefix;
  int part = 0;
  std::size_t start = 0;
  while (part < make && start <= w.size()) {
    std::size_t end = w.find('/', start);
    if (end == std::string_view::npos) end = w.size();
    prefix.assign(w.substr(0, end));
    ++part;
    if (!prefix.empty() && prefix != "." && prefix != "..") mkdir(prefix.c_str(), 0755);
    start = end + 1;
  }
  return 0;
}

// Commands. A name beginning with "|" runs a command only when the user gave
// it (FILE_allow_command); a name found on disk, built from a template or
// read from a file that anyone could have written never does.
namespace {

// Both lists live until the process ends: exit handlers still close pipes.
std::vector<std::string> &allowed_commands() {
  static auto *names = new std::vector<std::string>();
  return *names;
}

bool command_allowed(std::string_view name) {
  for (const std::string &a : allowed_commands())
    if (a == name) return true;
  return false;
}

// Streams opened by popen, closed with pclose.
std::vector<FILE *> &open_pipes() {
  static auto *pipes = new std::vector<FILE *>();
  return *pipes;
}

}  // namespace

int FILE_allow_command(const char *name) {
  if (!name || name[0] != '|') return 0;
  if (!command_allowed(name)) allowed_commands().emplace_back(name);
  return 1;
}

int FILE_is_command(const char *name) {
  if (!name || name[0] != '|' || !command_allowed(name)) return 0;
  // A file of that name is that file, whoever gave the name.
  return FILE_exist(name) ? 0 : 1;
}

int FILE_is_pipe(FILE *f) {
  if (!f) return 0;
  const auto &p = open_pipes();
  return std::find(p.begin(), p.end(), f) != p.end() ? 1 : 0;
}

int FILE_close(FILE *f) {
  if (!f) return 0;
  if (f == stdin) return 0;
  // Everything buffered must have reached its place: a command that ended
  // early or a full disk shows here, not as a successful close.
  int rc = (std::fflush(f) == 0 && !std::ferror(f)) ? 0 : -1;
  if (f == stdout || f == stderr) return rc;
  auto &p = open_pipes();
  auto it = std::find(p.begin(), p.end(), f);
  if (it != p.end()) {
    p.erase(it);
    if (pclose(f) == -1) rc = -1;
  } else if (std::fclose(f) != 0) {
    rc = -1;
  }
  return rc;
}

// Opens a standard stream ("-", "std", ...), a command the user gave
// ("|command", see FILE_allow_command) or a file; for writing, missing
// directories are created first. Returns null on failure.
FILE *FILE_open(const char *name, const char *mode) {
  if (!mode || !*mode) mode = "r";
  if (FILE_is_stdio(name)) return mode[0] == 'r' ? stdin : stdout;
  if (name[0] == '|' && !FILE_exist(name)) {
    if (!command_allowed(name)) {
      MESS_print(kLevelFail, "FILE_open: Not run as a command (not given by the user): %s\n", name);
      return nullptr;
    }
    // popen knows only "r" and "w"; an append to a pipe is a write.
    FILE *f = popen(name + 1, mode[0] == 'r' ? "r" : "w");
    if (f) {
      try {
        open_pipes().push_back(f);
      } catch (const std::bad_alloc &) {
        pclose(f);
        return nullptr;
      }
    }
    return f;
  }
  char path[kText];
  expand_user(name, path, "FILE_open");
  if (mode[0] == 'w' || mode[0] == 'a') FILE_make_dir(path, 1);
  return std::fopen(path, mode);
}

// ---------------------------------------------------------------------------
// The file time `set`

namespace {
Date set_time = kNoDate;
}  // namespace

int FILE_set_time(Date *date) {
  if (date) set_time = *date;
  return 0;
}

int FILE_get_time(Date *date) {
  if (date) *date = set_time;
  return 0;
}

int FILE_reset_time() {
  set_time.year = set_time.month = set_time.day = tv::kMissInt;
  set_time.hour = set_time.min = tv::kMissInt;
  return 0;
}

// ---------------------------------------------------------------------------
// Name conventions and templates

namespace {

constexpr M_type kLevelPrint = 15;
constexpr M_type kLevelMess = 3840;
constexpr M_type kTraceName = 0x10000000;
constexpr M_type kTracePath = 0x40000000;
constexpr M_type kTraceStep = 0x80000000;
constexpr M_type kTraceSeq = 0xF0000000;

constexpr std::size_t kKey = 30;  // user keys: 29 characters and the NUL
constexpr std::size_t kExt = 20;  // the extension: 19 characters and the NUL
constexpr int kNoPeriod = 100000;  // the step used when a template has no period

char conv[kText];      // the current template
bool conv_own = false;  // it is the text given to FILE_set_name, no convention entry
char hconv[kText];     // its header template ("" when none)
int header = 0;        // use hconv instead of conv (never set by the converter)
char filename[kText];  // the last name produced or given
int filename_type = 0;  // 1 given or completed from a user's name, 0 produced
char ext[kExt];
int min_size = 0;
int rmin_size = 0;  // a second minimum; nothing in this program sets it
char keys[256][kKey];
Date file_date = kNoDate;
int late_off = tv::kMissInt;
// The last typed name gave every date field of its template.
bool name_fit = false;
// A missing name-convention file is not reported: the run names its files
// itself.
bool conv_quiet = false;

// Saved convention. The extension and minimum size belong to a template as
// much as the template text, so they are saved with it.
char sconv[kText];
bool sconv_own = false;
char shconv[kText];
char sfilename[kText];
int sfilename_type = 0;
int slate_off = tv::kMissInt;
char sext[kExt];
int smin_size = 0;

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

bool given(int v) { return v != tv::kMissInt; }

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

// Splits -(100 k + m) into k and m.
void split_round(int v, int *k, int *m) {
  long long a = v < 0 ? -static_cast<long long>(v) : v;
  if (a > 1000000) a = 1000000;
  *k = static_cast<int>(a / 100);
  *m = static_cast<int>(a % 100);
}

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

// The period a template gives, the file time included; -9999 without one.
int template_period(std::string_view t) {
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

// Seconds of the day start of `d` (year, month and day).
std::int64_t day_start(const Date &d) {
  Date z = d;
  z.hour = z.min = z.sec = 0;
  return DATE_num_sec(&z);
}

Date utc_date(std::int64_t t) {
  time_t tt = static_cast<time_t>(t);
  Date d;
  DATE_get_gmdate(&tt, &d);
  return d;
}

// Resolves a rounding value -(100 k + m) against field value x: the largest
// multiple of m not above x, less k. m of 0 names no multiple and leaves x.
int round_field(int v, int x) {
  int k, m;
  split_round(v, &k, &m);
  if (m == 0) return x;
  return (x / m) * m - k;
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

// Bounded writer for names: everything past the bound is dropped and the cut
// is reported once, under the caller's name.
class NameOut {
 public:
  NameOut(char *buf, const char *func, bool quiet = false) : buf_(buf), func_(func), quiet_(quiet) {
    buf_[0] = '\0';
  }
  void put(char c) {
    if (len_ < kText - 1) {
      buf_[len_++] = c;
      buf_[len_] = '\0';
    } else {
      cut_ = true;
    }
  }
  void put(std::string_view s) {
    for (char c : s) put(c);
  }
  bool ends_with_slash() const { return len_ > 0 && buf_[len_ - 1] == '/'; }
  const char *c_str() const { return buf_; }
  bool cut() const { return cut_; }
  ~NameOut() {
    if (cut_ && !quiet_) MESS_print(kLevelFail, "%s: Text too long, cut\n", func_);
  }
  NameOut(const NameOut &) = delete;
  NameOut &operator=(const NameOut &) = delete;

 private:
  char *buf_;
  const char *func_;
  bool quiet_;  // the caller reports a cut itself
  std::size_t len_ = 0;
  bool cut_ = false;
};

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
    const char *v = RES_get(name.c_str());
    return v ? std::string_view(v) : std::string_view();
  }
  const char *v = RES_get(path_resource(c.code));
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

// The convention lines are read up to 160 characters; the rest of a longer
// line is dropped so that it cannot pose as an entry of its own.
bool read_conv_line(FILE *f, char *line, std::size_t size) {
  if (!std::fgets(line, static_cast<int>(size), f)) return false;
  std::size_t n = std::strlen(line);
  if (n > 0 && line[n - 1] == '\n') {
    line[--n] = '\0';
  } else {
    int ch;
    while ((ch = std::fgetc(f)) != EOF && ch != '\n') {
    }
  }
  if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
  return true;
}

// Splits a convention line into up to four blank-separated fields.
int split_fields(char *line, std::string_view *fields, int max) {
  int n = 0;
  char *p = line;
  while (n < max) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    char *start = p;
    while (*p && *p != ' ' && *p != '\t') ++p;
    fields[n++] = std::string_view(start, static_cast<std::size_t>(p - start));
  }
  return n;
}

void set_ext(std::string_view e) {
  std::size_t n = e.size() < kExt - 1 ? e.size() : kExt - 1;
  if (n > 0) std::memcpy(ext, e.data(), n);
  ext[n] = '\0';
}

// Takes the template of a matched convention line.
void take_line(const std::string_view *f, int nf) {
  copy_name(conv, nf > 1 ? f[1] : std::string_view(), "FILE_set_name");
  std::string_view h = nf > 2 ? f[2] : std::string_view();
  copy_name(hconv, h == "-" ? std::string_view() : h, "FILE_set_name");
  min_size = 0;
  if (nf > 3) {
    std::string num(f[3]);
    char *end = nullptr;
    long v = std::strtol(num.c_str(), &end, 10);
    if (end != num.c_str() && v > 0 && v < 2000000000L) min_size = static_cast<int>(v);
  }
}

// Where the name-convention file is looked for: the resource "name_conv"
// (default "name_conv") under "file_path" unless it is a full path.
void conv_file_path(char *path) {
  const char *conv_res = RES_get("name_conv");
  FILE_add_path(RES_get("file_path"), conv_res ? conv_res : "name_conv", path);
}

// A name relative to the current directory says where that is.
void report_missing_conv(const char *path) {
  char cwd[4096];
  if (path[0] != '/' && path[0] != '~' && getcwd(cwd, sizeof cwd))
    MESS_print(kLevelFail, "FILE_set_name: No file name convention file: %s (looked for in %s)\n", path, cwd);
  else
    MESS_print(kLevelFail, "FILE_set_name: No file name convention file: %s\n", path);
}

}  // namespace

int FILE_name_conv_path(char *path) {
  char local[kText];
  if (!path) path = local;
  conv_file_path(path);
  if (FILE_is_command(path)) return 1;
  char full[kText];
  expand_user(path, full, "FILE_name_conv_path");
  struct stat st;
  return (stat(full, &st) == 0 && S_ISREG(st.st_mode) && access(full, R_OK) == 0) ? 1 : 0;
}

int FILE_quiet_conv(int quiet) {
  conv_quiet = quiet != 0;
  return 0;
}

int FILE_name_fits() { return name_fit ? 1 : 0; }

// Selects the template for data type `name`: "none", an "@" template, or the
// entry of the name-convention file (an exact key, else the first key that
// is a leading part of the name). Returns 1 when a convention was found.
int FILE_set_name(const char *name) {
  filename[0] = '\0';
  ext[0] = '\0';
  min_size = 0;
  hconv[0] = '\0';
  if (!name) name = "";
  conv_own = false;
  if (stricmp(name, "none") == 0) {
    conv[0] = '\0';
    late_off = tv::kMissInt;
    return 0;
  }
  if (name[0] == '@') {
    conv_own = true;
    copy_name(conv, name + 1, "FILE_set_name");
    late_off = template_period(conv);
    return 1;
  }

  // ":X=value" parts define user keys and are cut off the name.
  char type[kText];
  {
    NameOut out(type, "FILE_set_name");
    std::string_view s(name);
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == ':' && i + 3 < s.size() && s[i + 2] == '=' && s[i + 3] != ':') {
        std::size_t end = s.find(':', i + 3);
        if (end == std::string_view::npos) end = s.size();
        std::string value(s.substr(i + 3, end - i - 3));
        FILE_set_key(static_cast<unsigned char>(s[i + 1]), value.c_str());
        if (MESS_check(kTraceStep)) MESS_print(kTraceStep, "KEY: %c = %s\n", s[i + 1], value.c_str());
        i = end - 1;
        continue;
      }
      out.put(s[i]);
    }
  }

  char path[kText];
  conv_file_path(path);
  FILE *f = FILE_open(path, "r");
  if (!f) {
    if (!conv_quiet) report_missing_conv(path);
    conv_own = true;
    copy_name(conv, type, "FILE_set_name");
    late_off = template_period(conv);
    return 0;
  }
  if (MESS_check(kTraceName)) MESS_print(kTraceName, "Opening name convention file: %s\n", path);

  // An exact key anywhere in the file wins over an earlier partial one, so
  // that every entry stays reachable whatever the order of the lines.
  std::size_t tlen = std::strlen(type);
  char line[kText + 1];
  char partial[kText + 1] = "";
  bool exact = false;
  while (read_conv_line(f, line, sizeof line)) {
    std::string_view fld[4];
    int nf = split_fields(line, fld, 4);
    if (nf == 0 || fld[0][0] == '#') continue;
    std::string key(fld[0]);
    if (stricmp(key.c_str(), type) == 0) {
      take_line(fld, nf);
      exact = true;
      break;
    }
    if (!partial[0] && key.size() < tlen && strnicmp(key.c_str(), type, static_cast<int>(key.size())) == 0) {
      std::memcpy(partial, line, sizeof line);  // split again once no exact key is found
    }
  }
  FILE_close(f);

  if (exact) {
    if (MESS_check(kTraceName)) MESS_print(kTraceName, "File name match for: %s\n", type);
    late_off = template_period(conv);
    return 1;
  }
  if (partial[0]) {
    std::string_view fld[4];
    int nf = split_fields(partial, fld, 4);
    take_line(fld, nf);
    const char *us = std::strrchr(type, '_');
    set_ext(us ? std::string_view(us + 1) : std::string_view());
    if (MESS_check(kTraceName)) {
      std::string key(fld[0]);
      MESS_print(kTraceName, "File name partial match for: %s-%s ext: %s\n", type, key.c_str(), ext);
    }
    late_off = template_period(conv);
    return 1;
  }
  conv_own = true;
  copy_name(conv, type, "FILE_set_name");
  if (MESS_check(kTraceName)) MESS_print(kTraceName, "No file name conversion for: %s\n", type);
  late_off = template_period(conv);
  return 0;
}

int FILE_allow_template_command(const char *res, const char *name) {
  if (!conv_own || conv[0] != '|' || !RES_from_user(res)) return 0;
  return FILE_allow_command(name);
}

int FILE_save_name_conv() {
  std::memcpy(sconv, conv, kText);
  sconv_own = conv_own;
  std::memcpy(shconv, hconv, kText);
  std::memcpy(sfilename, filename, kText);
  sfilename_type = filename_type;
  slate_off = late_off;
  std::memcpy(sext, ext, kExt);
  smin_size = min_size;
  return 0;
}

int FILE_restore_name_conv() {
  std::memcpy(conv, sconv, kText);
  conv_own = sconv_own;
  std::memcpy(hconv, shconv, kText);
  std::memcpy(filename, sfilename, kText);
  filename_type = sfilename_type;
  late_off = slate_off;
  std::memcpy(ext, sext, kExt);
  min_size = smin_size;
  return 0;
}

// Stores user key `key` (0 to 255): up to 29 characters, blanks as "_".
// Returns 0, or -1 for a key outside the table.
int FILE_set_key(int key, const char *value) {
  if (key < 0 || key > 255) return -1;
  char *k = keys[key];
  std::size_t n = 0;
  for (const char *p = value ? value : ""; *p; ++p) {
    if (n == kKey - 1) {
      MESS_print(kLevelFail, "%s: Text too long, cut\n", "FILE_set_key");
      break;
    }
    k[n++] = *p == ' ' ? '_' : *p;
  }
  k[n] = '\0';
  return 0;
}

int FILE_set_filename(const char *name) {
  copy_name(filename, name ? name : "", "FILE_set_filename");
  filename_type = 1;
  return 0;
}

int FILE_get_date(Date *date) {
  if (date) *date = file_date;
  return 0;
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
  if (!conv[0]) {
    copy_name(name, filename[0] ? filename : "filename", "FILE_set_date");
    filename_type = 1;
    return 1;
  }
  if (FILE_is_stdio(conv)) {
    copy_name(name, "-", "FILE_set_date");
    filename_type = 0;
    return 1;
  }
  std::string_view t(header && hconv[0] ? hconv : conv);

  // A full path the user gave sets the directory of the names that follow.
  std::string extracted;
  bool have_extracted = false;
  if (filename_type == 1 && FILE_fullpath(filename)) {
    std::string_view f(filename);
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
      filename_type == 1 && !template_has_dir(t) ? dir_part(filename) : std::string_view();

  late_off = tv::kMissInt;
  Date src;
  if (date) {
    clear_date_fields(&file_date);
    src = *date;
  } else {
    src = file_date;
  }
  if (!given(src.year) && filename[0]) {
    copy_name(name, filename, "FILE_set_date");
    filename_type = 1;
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
          propose_period(&late_off, k);
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
          propose_period(&late_off, k);
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
          propose_period(&late_off, k);
          break;
        case 'n':
          if (!given(e.min)) {
            out.put("00");
          } else {
            int m = round_down(e.min, n);
            put_number(out, "%2.2d", m);
            file_date.min = m;
          }
          propose_period(&late_off, k);
          break;
        case 'e': out.put(ext); break;
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
  copy_name(filename, built, "FILE_set_date");
  return 0;
}

}  // namespace

namespace {

// Reads up to `max` digits at `*p` into `*v`; false when no digit follows.
bool read_digits(const char **p, int max, int *v) {
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

// Reads a time stamp of four digits of year and two digits each of month,
// day, hour and minute, each group only while digits follow. Fields not
// read are left as they are. Returns false when no year could be read.
bool read_stamp(const char **p, Date *d) {
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
  if (FILE_is_stdio(sp) || (conv[0] && FILE_is_stdio(conv))) {
    copy_name(name, "-", "FILE_set_file");
    FILE_set_filename(name);
    return 0;
  }
  if (!conv[0]) {
    copy_name(name, sp, "FILE_set_file");
    FILE_set_filename(sp);
    return 0;
  }
  if (sp[0] == '#' || std::strncmp(sp, "cu", 2) == 0 || std::strncmp(sp, "la", 2) == 0) {
    FILE_set_current(std::strncmp(sp, "cu", 2) == 0 ? sp + 2 : sp, name);
    MESS_print(kLevelMess, "Current filename: %s\n", name);
    return 0;
  }
  if (stricmp(sp, "none") == 0 || (FILE_fullpath(conv) && FILE_fullpath(sp))) {
    copy_name(name, sp, "FILE_set_file");
    FILE_set_filename(sp);
    return 0;
  }

  std::string_view t(header && hconv[0] ? hconv : conv);
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
  late_off = tv::kMissInt;
  char built[kText];
  {
    NameOut out(built, "FILE_set_file");
    out.put(user_dir);
    while (ti < t.size() && !abandon) {
      if (trace) {
        std::string tr(t.substr(ti)), sr(s.substr(si));
        MESS_print(kTraceStep, "FILES:%s:%s:%s:%s:%s:%d\n", tr.c_str(), sr.c_str(), out.c_str(), ext, sp, mode);
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
            propose_period(&late_off, k);
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
            if (ext[0]) {
              out.put(ext);
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

  std::string_view t(header && hconv[0] ? hconv : conv);
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
        if (ext[0])
          literal.append(ext);
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

// ---------------------------------------------------------------------------
// Current file and sequences

namespace {

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

int days_in_month(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 31;
  return month == 2 && DATE_is_leap(year) ? 29 : kDays[month - 1];
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
    if (c.day > days_in_month(c.year, c.month)) c.day = days_in_month(c.year, c.month);
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
    c.day = s.day > days_in_month(c.year, c.month) ? days_in_month(c.year, c.month) : s.day;
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
    Date d = {0, 1, 1, tv::kMissInt, tv::kMissInt, 0, 0, 0};
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
  filename_type = 0;

  std::int64_t t = 0;
  bool have_t = false;
  if (*p == '#') {
    // Missing month and day count as the first: a day 0 would fall back
    // into the previous month.
    const char *q = p + 1;
    Date d = {0, 1, 1, tv::kMissInt, tv::kMissInt, 0, 0, 0};
    if (read_stamp(&q, &d)) {
      t = DATE_num_sec(&d);
      have_t = true;
    }
    p = q;
    while (is_digit(*p)) ++p;
  }
  if (!have_t) t = reference_time();
  t = apply_set(t);

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
    ++p;
    if (*p == 'a') ++p;
    int tries = kLatestTries;
    if (*p == '#') {
      ++p;
      int v;
      if (read_digits(&p, 4, &v)) tries = v;
    }
    const long limit = rmin_size > 0 ? rmin_size : min_size;
    bool found = false;
    int i = 0;
    for (; i < tries; ++i) {
      build_for(t, name);
      if (trace) {
        MESS_print(kTraceSeq, "LATE:%d %d %d %d %d\n", i, tries, static_cast<int>(t % 86400), late_off, dir);
        MESS_print(kTraceSeq, "LATE: %s\n", name);
      }
      if (FILE_size(name) > limit) {
        found = true;
        break;
      }
      // The last name tried is kept; without a period there is no other.
      if (late_off <= 0 || i + 1 == tries) break;
      t += static_cast<std::int64_t>(dir) * late_off;
    }
    if (trace) MESS_print(kTraceSeq, "LATEST: %s %s %d\n", name, found ? "found" : "none", i);
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
  if (late_off > 0) {
    std::int64_t r = t % late_off;
    if (r < 0) r += late_off;
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
  RES_getvals("filename", &argc, &argv);
  if (argc > 0) {
    if (stricmp(argv[0], "list") == 0) {
      free_parsed_array(argc, argv);
      FILE_list_file();
      ZOT_exit(0);
    }
    FILE_set_file(argv[0], buf);
    if (argv[0][0] == '|' && RES_from_user("filename")) FILE_allow_command(buf);
    free_parsed_array(argc, argv);
  } else {
    if (argv) free_parsed_array(argc, argv);
    if (const char *cur = RES_get("current")) {
      FILE_set_current(cur, buf);
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
        filename_type = 1;
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
  RES_getvals("filename", &numfile_alloc, &files);
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
    const char *spec = files[file_ind++];
    FILE_set_file(spec, name);
    if (spec[0] == '|' && RES_from_user("filename")) FILE_allow_command(name);
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
    copy_name(name, filename, "FILE_get_next");
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
  RES_getvals("filename", &n, &names);
  const bool current =
      n > 0 && (std::strncmp(names[0], "la", 2) == 0 || std::strncmp(names[0], "cu", 2) == 0);
  if (names) free_parsed_array(n, names);
  if (current) n = 0;
  return FILE_num_hour() != 0 && n <= 1 ? 1 : 0;
}

int FILE_get_offset() { return late_off > 0 ? late_off : kNoPeriod; }

int FILE_num_hour() {
  const char *v = RES_get("num_hour");
  if (!v) return def_hours;
  return read_hours_minutes(v);
}

int FILE_get_skip() {
  const char *v = RES_get("num_hour");
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

// ---------------------------------------------------------------------------
// The date of the data of a feed file

namespace {

constexpr std::size_t kHeadingLook = 1 << 16;  // bytes of a file searched for a heading

bool all_digits(std::string_view w) {
  for (char c : w)
    if (!is_digit(c)) return false;
  return !w.empty();
}

bool all_letters(std::string_view w) {
  for (char c : w)
    if (!is_letter(c)) return false;
  return !w.empty();
}

// TTAAii: data type and area letters, then two digits.
bool is_ttaaii(std::string_view w) {
  return w.size() == 6 && all_letters(w.substr(0, 4)) && all_digits(w.substr(4));
}

// CCCC: the location indicator of the originating centre.
bool is_cccc(std::string_view w) { return w.size() == 4 && all_letters(w); }

int two_digits(std::string_view w, std::size_t at) { return (w[at] - '0') * 10 + (w[at + 1] - '0'); }

// Day, hour and minute of a heading's YYGGgg group.
struct HeadingTime {
  int day = 0;
  int hour = 0;
  int min = 0;
};

bool read_yygggg(std::string_view w, HeadingTime &h) {
  if (w.size() != 6 || !all_digits(w)) return false;
  h.day = two_digits(w, 0);
  h.hour = two_digits(w, 2);
  h.min = two_digits(w, 4);
  return h.day >= 1 && h.day <= 31 && h.hour <= 23 && h.min <= 59;
}

// The date of heading time `h` in the month `year`-`month`, or in the
// latest month before it that has its day when that day lies after
// `ref_day` (a bulletin of the 31st filed on the 1st).
void place_heading(int year, int month, int ref_day, const HeadingTime &h, Date &out) {
  if (h.day > ref_day) {
    do {
      if (--month < 1) {
        month = 12;
        --year;
      }
    } while (h.day > days_in_month(year, month));
  }
  out = Date{year, month, h.day, tv::kMissInt, tv::kMissInt, h.hour, h.min, 0};
}

// A_TTAAiiCCCCYYGGgg[BBB]_C_CCCC_YYYYMMDD...: the date of the heading, in
// the month of the time stamp or the one before.
bool wmo_name_date(std::string_view base, Date &out) {
  if (base.size() < 2 || base.substr(0, 2) != "A_") return false;
  std::string_view r = base.substr(2);
  HeadingTime h;
  if (r.size() < 16 || !is_ttaaii(r.substr(0, 6)) || !is_cccc(r.substr(6, 4)) || !read_yygggg(r.substr(10, 6), h))
    return false;
  r.remove_prefix(16);
  if (r.size() >= 3 && all_letters(r.substr(0, 3))) r.remove_prefix(3);  // BBB: a correction or delay
  if (r.substr(0, 3) != "_C_") return false;
  r.remove_prefix(3);
  const std::size_t us = r.find('_');
  if (us == std::string_view::npos || us == 0) return false;
  r.remove_prefix(us + 1);
  if (r.size() < 8 || !all_digits(r.substr(0, 8))) return false;
  const int year = two_digits(r, 0) * 100 + two_digits(r, 2);
  const int month = two_digits(r, 4);
  const int day = two_digits(r, 6);
  if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return false;
  place_heading(year, month, day, h, out);
  return true;
}

// The first abbreviated heading among the lines of `text` (CR or LF ends a
// line; control bytes and blanks before it, and "** ", are passed over).
bool first_heading(std::string_view text, HeadingTime &h) {
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && static_cast<unsigned char>(line[0]) <= ' ') line.remove_prefix(1);
    if (line.substr(0, 3) == "** ") line.remove_prefix(3);
    std::string_view words[3];
    int n = 0;
    while (n < 3) {
      while (!line.empty() && line[0] == ' ') line.remove_prefix(1);
      if (line.empty()) break;
      std::size_t w = line.find(' ');
      words[n++] = line.substr(0, w);
      line.remove_prefix(w == std::string_view::npos ? line.size() : w);
    }
    if (n == 3 && is_ttaaii(words[0]) && is_cccc(words[1]) && read_yygggg(words[2], h)) return true;
  }
  return false;
}

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

int FILE_feed_date(const char *name, Date *date) {
  if (!name || !date || FILE_is_stdio(name) || FILE_is_command(name)) return 0;
  Date found{};
  int from = 0;
  std::string_view n(name);
  const std::size_t slash = n.rfind('/');
  if (wmo_name_date(slash == std::string_view::npos ? n : n.substr(slash + 1), found)) from = 1;

  if (from == 0) {
    char path[kText];
    expand_user(name, path, "FILE_feed_date");
    Fd in{open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat st;
    if (in.fd < 0 || fstat(in.fd, &st) != 0) return -1;
    if (S_ISFIFO(st.st_mode)) return 0;  // what is read there is gone
    if (!S_ISREG(st.st_mode)) return -1;
    std::string text(kHeadingLook, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
      const ssize_t r = read(in.fd, text.data() + got, text.size() - got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    text.resize(got);
    HeadingTime h;
    const time_t mtime = st.st_mtime;
    const Date m = utc_date(static_cast<std::int64_t>(mtime));
    if (!first_heading(text, h)) return 0;
    place_heading(m.year, m.month, m.day, h, found);
    from = 2;
  }
  if (!given(date->year)) date->year = found.year;
  if (!given(date->month)) date->month = found.month;
  if (!given(date->day)) date->day = found.day;
  if (!given(date->hour)) date->hour = found.hour;
  if (!given(date->min)) date->min = found.min;
  return from;
}
