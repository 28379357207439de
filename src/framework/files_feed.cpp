// The date of the data of a feed file: the WMO file-naming convention of
// its name, else the first abbreviated heading in it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/files_internal.hpp"
#include "framework/missing.hpp"
#include "framework/string.hpp"

using namespace tv::files;
using tv::is_digit;
using tv::is_letter;

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
    } while (h.day > DATE_month_days(year, month));
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
  if (month < 1 || month > 12 || day < 1 || day > DATE_month_days(year, month)) return false;
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
