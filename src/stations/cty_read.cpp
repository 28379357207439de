// Station database file access: one station file open at a time, read as a
// stream of white-space separated words, ten words per station.
#include "stations/cty_read.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"

namespace {

constexpr int kFields = 10;
constexpr int kNoWmo = 99999;
constexpr float kHighestElevation = 9000.0f;  // above: a "not known" marker
constexpr long kAverageLine = 59;             // bytes per station line
constexpr long kMaxStations = 4000;
constexpr std::size_t kWordRoom = 64;

std::FILE *g_file = nullptr;
int g_fd = -1;
int g_type = 0;

// A word that did not fit the field it was read for. It is handed back as
// the first word of the next station, so one bad or missing field costs only
// the station it was read for, not every station after it.
char g_pending[kWordRoom];
bool g_has_pending = false;

struct Word {
  char text[kWordRoom];
  std::size_t len = 0;
  bool cut = false;  // longer than text could hold
};

// Next white-space separated word; false at the end of the file.
bool read_word(Word &w) {
  w.len = 0;
  w.cut = false;
  if (g_has_pending) {
    g_has_pending = false;
    w.len = std::strlen(g_pending);
    std::memcpy(w.text, g_pending, w.len + 1);
    return true;
  }
  int c;
  do {
    c = std::getc(g_file);
  } while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v');
  if (c == EOF) return false;
  while (c != EOF && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') {
    if (w.len + 1 < kWordRoom) {
      w.text[w.len++] = static_cast<char>(c);
    } else {
      w.cut = true;
    }
    c = std::getc(g_file);
  }
  w.text[w.len] = '\0';
  return true;
}

void push_back(const Word &w) {
  std::memcpy(g_pending, w.text, w.len + 1);
  g_has_pending = true;
}

// Longer names are cut.
template <std::size_t N>
void copy_text(char (&dst)[N], const Word &w) {
  tv::copy_text(dst, std::string_view(w.text, w.len));
}

bool parse_float(const Word &w, float *out) {
  if (w.cut || w.len == 0) return false;
  char *end = nullptr;
  errno = 0;
  const float v = std::strtof(w.text, &end);
  if (end != w.text + w.len || errno == ERANGE || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool parse_int(const Word &w, int *out) {
  if (w.cut || w.len == 0) return false;
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(w.text, &end, 10);
  if (end != w.text + w.len || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

// Priority field: a digit, optionally "*" before (mos) and after (ua).
bool parse_prior(const Word &w, CTY_data *city) {
  if (w.cut) return false;
  const char *p = w.text;
  char mos = ' ';
  char ua = ' ';
  if (*p == '*') {
    mos = '*';
    ++p;
  }
  if (*p < '0' || *p > '9') return false;
  const int prior = *p++ - '0';
  if (*p == '*') {
    ua = '*';
    ++p;
  }
  if (*p != '\0') return false;
  city->prior = prior;
  city->mos = mos;
  city->ua = ua;
  return true;
}

void clear_station(CTY_data *city) {
  std::memset(city, 0, sizeof *city);
  city->prior = tv::kMissInt;
  city->mos = ' ';
  city->ua = ' ';
  city->lat = tv::kMissFloat;
  city->lon = tv::kMissFloat;
  city->el = tv::kMissFloat;
  city->wmo = kNoWmo;
  city->num = 0;
}

bool file_matches(int city_fd) { return g_file != nullptr && city_fd == g_fd; }

}  // namespace

int CTY_open(const char *filename, int f_access, int f_type) {
  if (filename == nullptr || (f_access != 0 && f_access != 1)) return -1;
  if (g_file != nullptr) CTY_close(g_fd);
  std::FILE *fp = FILE_open(filename, f_access == 0 ? "r" : "w");
  if (fp == nullptr) return -1;
  g_file = fp;
  g_fd = fileno(fp);
  g_type = f_type;
  g_has_pending = false;
  return g_fd;
}

int CTY_read(int city_fd, CTY_data *city) {
  if (!file_matches(city_fd) || city == nullptr) return -1;
  clear_station(city);
  Word w;
  int fields = 0;
  for (; fields < kFields; ++fields) {
    if (!read_word(w)) break;
    bool ok = true;
    switch (fields) {
      case 0: copy_text(city->name, w); break;
      case 1: copy_text(city->state, w); break;
      case 2: copy_text(city->region, w); break;
      case 3: copy_text(city->id, w); break;
      case 4: ok = parse_prior(w, city); break;
      case 5: ok = parse_float(w, &city->lat); break;
      case 6: ok = parse_float(w, &city->lon); break;
      case 7: ok = parse_float(w, &city->el); break;
      case 8: ok = parse_int(w, &city->wmo); break;
      default: ok = parse_int(w, &city->num); break;
    }
    if (!ok) {
      push_back(w);
      break;
    }
  }
  if (fields == 0) return -1;
  if (city->el > kHighestElevation) city->el = tv::kMissFloat;
  return fields;
}

int CTY_rewind(int city_fd) {
  if (!file_matches(city_fd)) return -1;
  std::rewind(g_file);
  g_has_pending = false;
  return 0;
}

int CTY_close(int city_fd) {
  if (!file_matches(city_fd)) return -1;
  if (g_file != stdin && g_file != stdout) std::fclose(g_file);
  g_file = nullptr;
  g_fd = -1;
  g_has_pending = false;
  return 0;
}

int CTY_open_file(const char *city_file, int *num_stats) {
  if (num_stats != nullptr) *num_stats = 0;
  const char *chosen = RES_get("city_file");
  if (chosen == nullptr || chosen[0] == '\0') chosen = city_file;
  if (chosen == nullptr || chosen[0] == '\0') chosen = "sao.cty";
  if (stricmp(chosen, "none") == 0) return -1;

  char full[160];
  FILE_add_path(RES_get("file_path"), chosen, full);
  const int fd = CTY_open(full, 0, 0);
  if (fd < 0) {
    MESS_print(0xC0, "CTY_open_file: Database file not found: %s\n", full);
    return -1;
  }
  // Sized from the file, capped; at least one bucket, so that a file of a
  // single short line (or a pipe without a size) still gives a usable table.
  long n = FILE_size(full) / kAverageLine;
  if (n > kMaxStations) n = kMaxStations;
  if (n < 1) n = 1;
  if (num_stats != nullptr) *num_stats = static_cast<int>(n);
  return fd;
}
