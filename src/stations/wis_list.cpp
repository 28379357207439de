// The WIS 2.0 station list: CSV reading, WIGOS identifiers, look-up by the
// traditional identifier (a sorted table searched by halves).
#include "stations/wis_list.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/mess.hpp"

namespace {

constexpr M_type kFail = 0xC0;
constexpr double kMiss = -9999.0;

std::vector<CTY_wis_station> stations;

// The columns this reader takes, by their header names.
enum Column : std::uint8_t { kName, kWigos, kTraditional, kLat, kLon, kElevation, kBarometer, kColumns };
constexpr std::array<std::string_view, kColumns> kHeaders = {
    "station_name", "wigos_station_identifier", "traditional_station_identifier", "latitude",
    "longitude",    "elevation",                "barometer_height",
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Splits one CSV line into fields: commas separate, a field in double
// quotes may hold commas and doubled quotes. False for an unclosed quote.
bool split_csv(std::string_view line, std::vector<std::string> &fields) {
  fields.clear();
  std::string cur;
  bool quoted = false;
  bool was_quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        cur += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        cur += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"' && trim(cur).empty()) {
      quoted = was_quoted = true;
      cur.clear();
    } else if (c == ',') {
      fields.emplace_back(was_quoted ? cur : std::string(trim(cur)));
      cur.clear();
      was_quoted = false;
    } else {
      cur += c;
    }
  }
  if (quoted) return false;
  fields.emplace_back(was_quoted ? cur : std::string(trim(cur)));
  return true;
}

// A number of the list; empty is missing. False when it is no number or
// lies outside [lo, hi].
bool number(std::string_view s, double lo, double hi, double *out) {
  s = trim(s);
  if (s.empty()) {
    *out = kMiss;
    return true;
  }
  char buf[40];
  if (s.size() >= sizeof buf) return false;
  std::memcpy(buf, s.data(), s.size());
  buf[s.size()] = '\0';
  char *end = nullptr;
  errno = 0;
  const double v = std::strtod(buf, &end);
  if (errno != 0 || end != buf + s.size() || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

template <std::size_t N>
void copy_text(std::string_view s, char (&out)[N]) {
  const std::size_t n = std::min(s.size(), N - 1);
  std::memcpy(out, s.data(), n);
  out[n] = '\0';
}

bool by_id(const CTY_wis_station &a, const CTY_wis_station &b) {
  return std::strcmp(a.traditional, b.traditional) < 0;
}

}  // namespace

bool CTY_parse_wigos(std::string_view text, CTY_wigos *out) {
  text = trim(text);
  long part[3] = {0, 0, 0};
  constexpr long kMax[3] = {15, 65535, 65535};
  for (long &p : part) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 5) return false;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + dash, p);
    if (ec != std::errc() || ptr != text.data() + dash || p < 0 || p > kMax[&p - part]) return false;
    text.remove_prefix(dash + 1);
  }
  if (text.empty() || text.size() > 16) return false;
  for (char c : text)
    if (c <= ' ' || c > '~' || c == '-') return false;
  if (out) {
    out->series = static_cast<int>(part[0]);
    out->issuer = part[1];
    out->issue = part[2];
    copy_text(text, out->local);
  }
  return true;
}

namespace {

// One station line into `s`: null, or why the line is no station.
const char *station_of(const std::string &line, std::vector<std::string> &fields, std::size_t width,
                       const std::array<int, kColumns> &col, CTY_wis_station &s) {
  if (!split_csv(line, fields)) return "unclosed quote";
  if (fields.size() != width) return "wrong number of fields";
  auto field = [&](Column k) -> std::string_view {
    return col[k] >= 0 ? std::string_view(fields[static_cast<std::size_t>(col[k])]) : std::string_view();
  };
  if (!CTY_parse_wigos(field(kWigos), &s.wigos)) return "WIGOS identifier is not four fields";
  if (field(kTraditional).empty() || field(kTraditional).size() >= sizeof s.traditional)
    return "no traditional station identifier";
  if (!(number(field(kLat), -90.0, 90.0, &s.lat) && number(field(kLon), -180.0, 180.0, &s.lon) &&
        number(field(kElevation), -1000.0, 10000.0, &s.elevation) &&
        number(field(kBarometer), -1000.0, 10000.0, &s.barometer)))
    return "bad position or height";
  copy_text(field(kTraditional), s.traditional);
  copy_text(field(kName), s.name);
  return nullptr;
}

}  // namespace

int CTY_wis_load(const char *path) {
  stations.clear();
  if (!path || !*path) return -1;
  struct stat st;
  FILE *f = ::stat(path, &st) == 0 && S_ISREG(st.st_mode) ? std::fopen(path, "r") : nullptr;
  if (!f) {
    MESS_print(kFail, "CTY_wis_load: Unable to read station list: %s\n", path);
    return -1;
  }
  std::vector<std::string> fields;
  std::array<int, kColumns> col{};
  col.fill(-1);
  std::size_t width = 0;  // fields of the header line
  std::string line;
  long number_of_line = 0;
  bool header = false;
  bool bad_file = false;
  int c = 0;
  while (c != EOF && !bad_file) {
    line.clear();
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
      if (c == '\0') bad_file = true;  // binary: no CSV file
      line += static_cast<char>(c);
    }
    if (c == EOF && line.empty()) break;
    ++number_of_line;
    if (number_of_line == 1 && line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (bad_file) break;
    if (trim(line).empty()) continue;
    if (!header) {
      // The first line names the columns; without the identifiers it is no
      // station list.
      if (!split_csv(line, fields)) {
        bad_file = true;
        break;
      }
      for (std::size_t i = 0; i < fields.size(); ++i)
        for (std::size_t k = 0; k < kColumns; ++k)
          if (fields[i] == kHeaders[k]) col[k] = static_cast<int>(i);
      if (col[kWigos] < 0 || col[kTraditional] < 0) {
        bad_file = true;
        break;
      }
      width = fields.size();
      header = true;
      continue;
    }
    CTY_wis_station s;
    const char *why = station_of(line, fields, width, col, s);
    if (why) {
      MESS_print(kFail, "CTY_wis_load: Line %ld of %s skipped (%s)\n", number_of_line, path, why);
      continue;
    }
    stations.push_back(s);
  }
  std::fclose(f);
  if (bad_file || !header) {
    stations.clear();
    MESS_print(kFail, "CTY_wis_load: Not a CSV station list (a header line with %s and %s): %s\n",
               kHeaders[kWigos].data(), kHeaders[kTraditional].data(), path);
    return -1;
  }
  // The first of two lines for one station is the one used.
  std::stable_sort(stations.begin(), stations.end(), by_id);
  stations.erase(std::unique(stations.begin(), stations.end(),
                             [](const CTY_wis_station &a, const CTY_wis_station &b) { return !by_id(a, b); }),
                 stations.end());
  return 0;
}

const CTY_wis_station *CTY_wis_find(std::string_view id) {
  const auto it = std::lower_bound(stations.begin(), stations.end(), id,
                                   [](const CTY_wis_station &s, std::string_view v) { return s.traditional < v; });
  return it != stations.end() && it->traditional == id ? &*it : nullptr;
}

std::size_t CTY_wis_count() { return stations.size(); }

void CTY_wis_clear() { stations.clear(); }
