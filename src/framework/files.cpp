// File naming: the name conventions (the template of each data type, from
// the name-convention file), user keys, the file time and the last name.
#include "framework/files.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "framework/date.hpp"
#include "framework/files_internal.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/string.hpp"

namespace tv::files {

Convention cur;
int header = 0;
int rmin_size = 0;
char keys[256][kKey];
Date file_date = kNoDate;
Date set_time = kNoDate;
bool name_fit = false;

namespace {
constinit FILE_resources resources{};
}  // namespace

const char *res_get(const char *name) { return resources.get ? resources.get(name) : nullptr; }

int res_get_list(const char *name, int *count, char ***list) {
  if (resources.get_list) return resources.get_list(name, count, list);
  *count = 0;
  *list = nullptr;
  return 0;
}

bool res_from_user(const char *name) { return resources.from_user && resources.from_user(name) != 0; }

void set_ext(std::string_view e) {
  std::size_t n = e.size() < kExt - 1 ? e.size() : kExt - 1;
  if (n > 0) std::memcpy(cur.ext, e.data(), n);
  cur.ext[n] = '\0';
}

}  // namespace tv::files

using namespace tv::files;

namespace {

// A missing name-convention file is not reported: the run names its files
// itself.
bool conv_quiet = false;
// The convention saved by FILE_save_name_conv.
Convention saved;

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

// Takes the template of a matched convention line.
void take_line(const std::string_view *f, int nf) {
  copy_name(cur.conv, nf > 1 ? f[1] : std::string_view(), "FILE_set_name");
  std::string_view h = nf > 2 ? f[2] : std::string_view();
  copy_name(cur.hconv, h == "-" ? std::string_view() : h, "FILE_set_name");
  cur.min_size = 0;
  if (nf > 3) {
    std::string num(f[3]);
    char *end = nullptr;
    long v = std::strtol(num.c_str(), &end, 10);
    if (end != num.c_str() && v > 0 && v < 2000000000L) cur.min_size = static_cast<int>(v);
  }
}

// Where the name-convention file is looked for: the resource "name_conv"
// (default "name_conv") under "file_path" unless it is a full path.
void conv_file_path(char *path) {
  const char *conv_res = res_get("name_conv");
  FILE_add_path(res_get("file_path"), conv_res ? conv_res : "name_conv", path);
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

FILE_resources FILE_use_resources(FILE_resources r) { return std::exchange(tv::files::resources, r); }

// The file time of the "hour" resource, which the date module reads too.

namespace {
[[maybe_unused]] const bool file_time_installed = [] {
  DATE_use_file_time(FILE_get_time);
  return true;
}();
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

namespace {

// The caller's own text as the template (no convention entry).
void own_template(std::string_view text) {
  cur.own = true;
  copy_name(cur.conv, text, "FILE_set_name");
}

// ":X=value" parts of a data type name define user keys; `type` (kText
// bytes) gets the name without them.
void cut_user_keys(std::string_view name, char *type) {
  NameOut out(type, "FILE_set_name");
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == ':' && i + 3 < name.size() && name[i + 2] == '=' && name[i + 3] != ':') {
      std::size_t end = name.find(':', i + 3);
      if (end == std::string_view::npos) end = name.size();
      std::string value(name.substr(i + 3, end - i - 3));
      FILE_set_key(static_cast<unsigned char>(name[i + 1]), value.c_str());
      if (MESS_check(kTraceStep)) MESS_print(kTraceStep, "KEY: %c = %s\n", name[i + 1], value.c_str());
      i = end - 1;
      continue;
    }
    out.put(name[i]);
  }
}

// Takes the entry of the convention file `f` for `type`: the exact key, or
// else the first key that is a leading part of it, whose extension is then
// the last "_" part of the type. An exact key anywhere in the file wins over
// an earlier partial one, so that every entry stays reachable whatever the
// order of the lines. Returns the key of a partial entry in `partial_key`.
enum class Entry { kNone, kExact, kPartial };
Entry take_convention(FILE *f, const char *type, std::string &partial_key) {
  std::size_t tlen = std::strlen(type);
  char line[kText + 1];
  char partial[kText + 1] = "";
  while (read_conv_line(f, line, sizeof line)) {
    std::string_view fld[4];
    int nf = split_fields(line, fld, 4);
    if (nf == 0 || fld[0][0] == '#') continue;
    std::string key(fld[0]);
    if (stricmp(key.c_str(), type) == 0) {
      take_line(fld, nf);
      return Entry::kExact;
    }
    if (!partial[0] && key.size() < tlen && strnicmp(key.c_str(), type, static_cast<int>(key.size())) == 0) {
      std::memcpy(partial, line, sizeof line);  // split again once no exact key is found
    }
  }
  if (!partial[0]) return Entry::kNone;
  std::string_view fld[4];
  int nf = split_fields(partial, fld, 4);
  take_line(fld, nf);
  const char *us = std::strrchr(type, '_');
  set_ext(us ? std::string_view(us + 1) : std::string_view());
  partial_key.assign(fld[0]);
  return Entry::kPartial;
}

}  // namespace

// Selects the template for data type `name`: "none", an "@" template, or the
// entry of the name-convention file (an exact key, else the first key that
// is a leading part of the name). Returns 1 when a convention was found.
int FILE_set_name(const char *name) {
  cur.filename[0] = '\0';
  cur.ext[0] = '\0';
  cur.min_size = 0;
  cur.hconv[0] = '\0';
  if (!name) name = "";
  cur.own = false;
  if (stricmp(name, "none") == 0) {
    cur.conv[0] = '\0';
    cur.late_off = tv::kMissInt;
    return 0;
  }
  if (name[0] == '@') {
    own_template(name + 1);
    cur.late_off = template_period(cur.conv);
    return 1;
  }
  char type[kText];
  cut_user_keys(name, type);
  char path[kText];
  conv_file_path(path);
  FILE *f = FILE_open(path, "r");
  if (!f) {
    if (!conv_quiet) report_missing_conv(path);
    own_template(type);
    cur.late_off = template_period(cur.conv);
    return 0;
  }
  if (MESS_check(kTraceName)) MESS_print(kTraceName, "Opening name convention file: %s\n", path);
  std::string key;
  const Entry entry = take_convention(f, type, key);
  FILE_close(f);
  if (entry == Entry::kNone) own_template(type);
  if (MESS_check(kTraceName)) {
    if (entry == Entry::kExact)
      MESS_print(kTraceName, "File name match for: %s\n", type);
    else if (entry == Entry::kPartial)
      MESS_print(kTraceName, "File name partial match for: %s-%s ext: %s\n", type, key.c_str(), cur.ext);
    else
      MESS_print(kTraceName, "No file name conversion for: %s\n", type);
  }
  cur.late_off = template_period(cur.conv);
  return entry == Entry::kNone ? 0 : 1;
}

int FILE_allow_template_command(const char *res, const char *name) {
  if (!cur.own || cur.conv[0] != '|' || !res_from_user(res)) return 0;
  return FILE_allow_command(name);
}

int FILE_save_name_conv() {
  saved = cur;
  return 0;
}

int FILE_restore_name_conv() {
  cur = saved;
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
  copy_name(cur.filename, name ? name : "", "FILE_set_filename");
  cur.filename_type = 1;
  return 0;
}

int FILE_get_date(Date *date) {
  if (date) *date = file_date;
  return 0;
}


