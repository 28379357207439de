// Internals shared by the file-naming files of the FILE_ module (files.cpp:
// name conventions; files_template.cpp: the template language;
// files_current.cpp: current files and sequences; files_feed.cpp: the date
// of feed files). Nothing outside the module includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "framework/date.hpp"
#include "framework/files_access.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"

namespace tv::files {

constexpr M_type kLevelPrint = 15;
constexpr M_type kLevelFail = 192;
constexpr M_type kLevelMess = 3840;
constexpr M_type kTraceName = 0x10000000;
constexpr M_type kTracePath = 0x40000000;
constexpr M_type kTraceStep = 0x80000000;
constexpr M_type kTraceSeq = 0xF0000000;

constexpr std::size_t kKey = 30;  // user keys: 29 characters and the NUL
constexpr std::size_t kExt = 20;  // the extension: 19 characters and the NUL

// The template in use and what belongs to it: the extension and minimum
// size are as much part of it as its text, so FILE_save_name_conv keeps
// them together.
struct Convention {
  char conv[kText] = "";      // the template
  bool own = false;           // the text given to FILE_set_name, no convention entry
  char hconv[kText] = "";     // its header template ("" when none)
  char filename[kText] = "";  // the last name produced or given
  int filename_type = 0;      // 1 given or completed from a user's name, 0 produced
  int late_off = tv::kMissInt;  // the file period the template gives, seconds
  char ext[kExt] = "";
  int min_size = 0;
};
extern Convention cur;

extern int header;     // use hconv instead of conv (never set by the converter)
extern int rmin_size;  // a second minimum size; nothing in this program sets it
extern char keys[256][kKey];
extern Date file_date;  // the date of the last name
extern Date set_time;   // the file time of the "hour" resource
extern bool name_fit;   // the last typed name gave every date field of its template

inline bool given(int v) { return v != tv::kMissInt; }

// The resources of FILE_use_resources; absent while none are installed.
const char *res_get(const char *name);
int res_get_list(const char *name, int *count, char ***list);
bool res_from_user(const char *name);

void set_ext(std::string_view e);

// The period a template gives, the file time included; -9999 without one.
int template_period(std::string_view t);

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

// Reads up to `max` digits at `*p` into `*v`; false when no digit follows.
bool read_digits(const char **p, int max, int *v);
// Reads a time stamp of four digits of year and two digits each of month,
// day, hour and minute, each group only while digits follow. Fields not
// read are left as they are. Returns false when no year could be read.
bool read_stamp(const char **p, Date *d);

// Splits -(100 k + m) into k and m.
void split_round(int v, int *k, int *m);
// Resolves a rounding value -(100 k + m) against field value x: the largest
// multiple of m not above x, less k. m of 0 names no multiple and leaves x.
int round_field(int v, int x);
// Seconds of the day start of `d` (year, month and day).
std::int64_t day_start(const Date &d);
Date utc_date(std::int64_t t);

}  // namespace tv::files
