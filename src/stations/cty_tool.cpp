// Station database in memory: the station table, station selection terms
// and the lookups by identifier and WMO number.
#include "stations/cty_tool.hpp"

#include <array>
#include <bit>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "framework/maptran.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"
#include "framework/table.hpp"
#include "stations/geodesy.hpp"
#include "stations/tools.hpp"

namespace {

constexpr M_type kFailLevel = 0xC0;
constexpr M_type kProgressLevel = 0xF00;
constexpr int kFields = 10;

int g_store = 0;        // store type of the last load
TAB_table g_city_tbl{};  // the station table
int g_id_type = 0;      // identifier rule of the compact store types
const char *g_last = nullptr;  // entry of the last successful search

// The last search and its entry (null: not found), kept when a writer
// asks for it (CTY_remember_last) until the table is loaded again.
struct LastSearch {
  char id[16];
  std::size_t len = 0;
  const char *found = nullptr;
  bool valid = false;
  bool on = false;
};
LastSearch g_memo{};

// May CTY_search_buffer read a station number as one word? Only when a
// store is loaded and the last answer is not remembered; set whenever
// either changes.
bool g_word_search = false;
void set_word_search() { g_word_search = !g_memo.on && g_store >= 1 && g_store <= 3; }

// The entries by WMO number: the first entry entered under each five-figure
// WMO text, which is what the table's search by that text answers. A
// report's station number is found (or not) in a few steps, without hashing
// text: most reports of a feed name a station by its number.
class NumberIndex {
 public:
  void clear() {
    places_.assign(kMinPlaces, Place{});
    mask_ = kMinPlaces - 1;
    shift_ = 32 - kMinBits;
    count_ = 0;
    held_.fill(0);
  }

  // Keeps the first entry of each number (of five figures at most).
  void add(int num, const char *entry) {
    const auto n = static_cast<std::uint32_t>(num);
    if (n >= kNumbers) return;
    if ((count_ + 1) * 2 > places_.size()) grow();
    Place &p = place(num);
    if (p.entry != nullptr) return;
    p = Place{num, entry};
    held_[n / 64] |= std::uint64_t{1} << (n % 64);
    ++count_;
  }

  const char *find(int num) const {
    // Most numbers asked for are of no station in the list (a feed holds
    // stations of the whole world): one bit tells, without a probe. Nothing
    // is held before the first load.
    const auto n = static_cast<std::uint32_t>(num);
    if (n >= kNumbers || ((held_[n / 64] >> (n % 64)) & 1) == 0) return nullptr;
    return place(num).entry;
  }

 private:
  struct Place {
    int num = -1;
    const char *entry = nullptr;
  };
  static constexpr std::size_t kMinPlaces = 64;
  static constexpr unsigned kMinBits = 6;
  static constexpr std::uint32_t kNumbers = 100000;  // five figures

  // The place holding `num`, or the free one where it goes (the index is at
  // most half full, so the walk ends).
  Place &place(int num) { return places_[slot(num)]; }
  const Place &place(int num) const { return places_[slot(num)]; }
  std::size_t slot(int num) const {
    std::size_t i = (static_cast<std::uint32_t>(num) * 0x9E3779B1u) >> shift_;
    while (places_[i].entry != nullptr && places_[i].num != num) i = (i + 1) & mask_;
    return i;
  }

  void grow() {
    std::vector<Place> old(places_.size() * 2);
    old.swap(places_);
    mask_ = places_.size() - 1;
    --shift_;
    for (const Place &p : old)
      if (p.entry != nullptr) places_[slot(p.num)] = p;
  }

  std::vector<Place> places_;
  std::size_t mask_ = 0;
  unsigned shift_ = 32 - kMinBits;
  std::size_t count_ = 0;
  std::array<std::uint64_t, (kNumbers + 63) / 64> held_{};  // a bit for each number held
};
NumberIndex g_numbers;

// The number of a WMO text of five figures, or -1.
int five_figures(const char *text) {
  int n = 0;
  for (int i = 0; i < 5; ++i) {
    const auto d = static_cast<unsigned>(text[i]) - static_cast<unsigned>('0');
    if (d > 9) return -1;
    n = n * 10 + static_cast<int>(d);
  }
  return text[5] == '\0' ? n : -1;
}

// five_figures of a text in a buffer of at least 8 bytes: the figures and
// the terminator tested as one word, and the figures made a number without
// a step each.
int five_figures_word(const char *text) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t w;
    std::memcpy(&w, text, sizeof w);
    // A figure is 0x30 to 0x39: its high half is 3 before and after adding
    // 6 (no carry leaves a byte whose high half is 3). The sixth byte is the
    // terminator; what follows it is not looked at.
    constexpr std::uint64_t kHigh = 0xFFF0F0F0F0F0ULL;
    constexpr std::uint64_t kFigures = 0x3030303030ULL;
    if ((w & kHigh) != kFigures || ((w + 0x0606060606ULL) & kHigh) != kFigures) return -1;
    // The first figure is the lowest byte. Pairs of figures first (the
    // byte below each pair's first figure is zero), then pairs of pairs.
    std::uint64_t v = (w & 0x0F0F0F0F0FULL) << 8;  // "0" d0 d1 d2 d3 d4
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FFULL;    // d0, d1d2, d3d4 as 16-bit lanes
    return static_cast<int>((v & 0xFFFF) * 10000 + ((v >> 16) & 0xFFFF) * 100 + (v >> 32));
  } else {
    return five_figures(text);
  }
}

using std::string_view;

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool ieq(string_view a, string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool istarts(string_view text, string_view prefix) {
  return text.size() >= prefix.size() && ieq(text.substr(0, prefix.size()), prefix);
}

using tv::is_digit;

// Writes the WMO text of a station: "b%05d" for buoys, else "%05d".
void wmo_text(const CTY_data &st, char *out, std::size_t room) {
  const bool buoy = std::strcmp(st.region, "B_") == 0;
  std::snprintf(out, room, buoy ? "b%05d" : "%05d", st.wmo);
}

void copy_bounded(char *dst, std::size_t room, const char *src) {
  std::size_t n = std::strlen(src);
  if (n > room - 1) n = room - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// The colon-separated terms of one selection value, split as parse_string
// splits (trailing colons dropped, empty terms kept), without allocating.
class Terms {
 public:
  explicit Terms(string_view value) : rest_(value) {
    while (!rest_.empty() && rest_.back() == ':') rest_.remove_suffix(1);
    done_ = rest_.empty();
  }
  // Next term; false when there is none left.
  bool next(string_view *term) {
    if (done_) return false;
    const std::size_t colon = rest_.find(':');
    if (colon == string_view::npos) {
      *term = rest_;
      done_ = true;
    } else {
      *term = rest_.substr(0, colon);
      rest_.remove_prefix(colon + 1);
    }
    return true;
  }

 private:
  string_view rest_;
  bool done_ = false;
};

// Numbers as "%d" and "%f" read them: the leading part of the term. The
// term is a view into a NUL-terminated value whose terms are separated by
// ':', which no number contains, so the C parsers stop inside the term.
bool term_int(string_view t, int *out) {
  if (t.empty()) return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(t.data(), &end, 10);
  if (end == t.data() || end > t.data() + t.size()) return false;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *out = static_cast<int>(v);
  return true;
}

bool term_float(string_view t, float *out) {
  if (t.empty()) return false;
  char *end = nullptr;
  const float v = std::strtof(t.data(), &end);
  if (end == t.data() || end > t.data() + t.size()) return false;
  *out = v;
  return true;
}

// "=", "<" (at most) or ">" (at least) against a number.
template <typename T>
bool compare_op(char op, T have, T want) {
  switch (op) {
    case '=': return have == want;
    case '<': return have <= want;
    case '>': return have >= want;
    default: return false;
  }
}

// State alone (2 characters) or state and region as "%2s_%2s" (5).
bool state_matches(string_view want, const CTY_data &st) {
  if (want.size() == 2) return ieq(want, st.state);
  if (want.size() != 5) return false;
  char text[8];
  std::snprintf(text, sizeof text, "%2s_%2s", st.state, st.region);
  return ieq(want, text);
}

// One term; may consume the terms that follow it.
bool term_holds(string_view t, Terms &terms, const CTY_data &st) {
  string_view extra;
  string_view extra2;
  if (istarts(t, "Name=")) return istarts(st.name, t.substr(5));
  if (ieq(t, "ST")) return terms.next(&extra) && state_matches(extra, st);
  if (istarts(t, "ST=")) return state_matches(t.substr(3), st);
  if (ieq(t, "CN")) return terms.next(&extra) && ieq(extra, st.region);
  if (istarts(t, "CN=")) return ieq(t.substr(3), st.region);
  if (istarts(t, "ID=")) return ieq(t.substr(3), st.id);
  if (istarts(t, "RA<")) {
    float lat = 0;
    float lon = 0;
    float dist = 0;
    if (!term_float(t.substr(3), &lat) || !terms.next(&extra) || !term_float(extra, &lon) ||
        !terms.next(&extra2) || !term_float(extra2, &dist))
      return false;
    return calc_earth_dist(lat, lon, st.lat, st.lon) <= dist;
  }
  if (istarts(t, "WMO=")) {
    char text[16];
    std::snprintf(text, sizeof text, "%5.5d", st.wmo);
    return ieq(t.substr(4), text);
  }
  int iv = 0;
  float fv = 0;
  if (istarts(t, "WMO<") || istarts(t, "WMO>"))
    return term_int(t.substr(4), &iv) && compare_op(t[3], st.wmo, iv);
  if (istarts(t, "P=") || istarts(t, "P<") || istarts(t, "P>"))
    return term_int(t.substr(2), &iv) && compare_op(t[1], st.prior, iv);
  if (istarts(t, "Lat") && t.size() > 3)
    return term_float(t.substr(4), &fv) && compare_op(t[3], st.lat, fv);
  if (istarts(t, "Lon") && t.size() > 3)
    return term_float(t.substr(4), &fv) && compare_op(t[3], st.lon, fv);
  if (istarts(t, "Elev") && t.size() > 4)
    return term_float(t.substr(5), &fv) && compare_op(t[4], st.el, fv);
  return false;
}

bool value_selects(string_view value, const CTY_data &st) {
  // Whole-value forms: a WMO number, the identifier, a name prefix.
  if (value.size() == 5) {
    char text[16];
    std::snprintf(text, sizeof text, "%5.5d", st.wmo);
    if (value == text) return true;
  }
  if (ieq(value, st.id)) return true;
  if (value.size() >= 5 && istarts(st.name, value)) return true;

  Terms terms(value);
  string_view t;
  bool any = false;
  while (terms.next(&t)) {
    if (!term_holds(t, terms, st)) return false;
    any = true;
  }
  // An empty value selects nothing rather than everything.
  return any;
}

// Identifier of a compact entry, by the identifier rule.
void locate_id(const CTY_data &st, const char *wmo_txt, char *out, std::size_t room) {
  const bool own = st.id[0] != '-';
  switch (g_id_type) {
    case 1:
      copy_bounded(out, room, st.wmo == 99999 ? st.id : wmo_txt);
      break;
    case 2:
      if (own) {
        copy_bounded(out, room, st.id);
      } else if (std::strcmp(st.region, "B_") == 0) {
        std::snprintf(out, room, "b%05d", st.wmo);
      } else {
        char id[11];
        wmo_to_id(id, st.wmo);
        copy_bounded(out, room, id);
      }
      break;
    default:
      copy_bounded(out, room, own ? st.id : wmo_txt);
      break;
  }
}

std::size_t entry_size(int store) {
  return store == 1 ? sizeof(CTY_data) : sizeof(CTY_locate);
}

}  // namespace

void CTY_remember_last(bool on) {
  g_memo.on = on;
  g_memo.valid = false;
  set_word_search();
}

int CTY_set_id_type(int type) {
  g_id_type = type;
  return 0;
}

int CTY_get_prior() {
  int prior = 10;
  RES_getval("stat_prior", &prior, CV_int);
  return prior;
}

int CTY_data_cmp(int numid, const char *const *ids, CTY_data *data) {
  if (numid <= 0 || ids == nullptr) return 1;
  if (data == nullptr) return -1;
  for (int i = 0; i < numid; ++i) {
    if (ids[i] != nullptr && value_selects(ids[i], *data)) return i;
  }
  return -1;
}

int CTY_store(const char *city_file, int type, Domain *domain, int prior) {
  g_store = type;
  set_word_search();
  g_last = nullptr;
  g_memo.valid = false;
  TAB_init(&g_city_tbl);
  g_city_tbl.tab_size = 0;
  g_numbers.clear();

  int num_stats = 0;
  const int fd = CTY_open_file(city_file, &num_stats);
  if (fd < 0) return 0;
  MAP_domain(domain);
  MESS_print(kProgressLevel, "Reading the city database file...\n");

  int numid = 0;
  char **ids = nullptr;
  RES_getvals("identifier", &numid, &ids);
  const int nsel = (numid == 1 && stricmp(ids[0], "all") == 0) ? 0 : numid;
  if (prior == tv::kMissInt) prior = CTY_get_prior();

  CTY_rewind(fd);
  if (type >= 1 && type <= 3) {
    const int nkey = type == 3 ? 3 : 2;
    if (TAB_create(&g_city_tbl, num_stats, static_cast<int>(entry_size(type)), nkey) != 0)
      MESS_print(kFailLevel, "CTY_store: Unable to create the station table\n");
  }

  CTY_data st;
  int got;
  while ((got = CTY_read(fd, &st)) >= 1) {
    // A station cut short (a truncated last line, a field that is not a
    // number) would complete reports with wrong facts: leave it out.
    if (got < kFields) {
      MESS_print(kFailLevel, "CTY_store: Incomplete station entry: %s\n", st.name);
      continue;
    }
    if (prior < st.prior) continue;
    char wmo_txt[16];
    wmo_text(st, wmo_txt, sizeof wmo_txt);
    if (CTY_data_cmp(nsel, ids, &st) == -1) continue;
    float x = 0;
    float y = 0;
    MAP_tran(st.lat, st.lon, &x, &y);
    if (MAP_in_grid_domain(x, y) == 0) continue;
    if (g_city_tbl.tab_size <= 0) continue;

    int rc = 0;
    if (type == 1) {
      rc = TAB_enter(&g_city_tbl, &st, st.id, wmo_txt);
    } else {
      CTY_locate loc{};
      locate_id(st, wmo_txt, loc.id, sizeof loc.id);
      loc.wmo = st.wmo;
      loc.x = x;
      loc.y = y;
      loc.el = st.el;
      loc.pr = st.prior;
      if (type == 2) {
        rc = TAB_enter(&g_city_tbl, &loc, loc.id, wmo_txt);
      } else {
        char pos[128];
        std::snprintf(pos, sizeof pos, "%5.0f%6.0f", static_cast<double>(10.0f * st.lat),
                      static_cast<double>(10.0f * st.lon));
        rc = TAB_enter(&g_city_tbl, &loc, loc.id, wmo_txt, pos);
      }
    }
    if (rc != 0) {
      MESS_print(kFailLevel, "CTY_store: Unable to add station: %s\n", st.name);
    } else if (const int num = five_figures(wmo_txt); num >= 0) {
      g_numbers.add(num, g_city_tbl.last_ptr->data);
    }
  }
  free_parsed_array(numid, ids);
  return fd;
}

namespace {

// The entry of station `id` (of `len` characters, or at least that many
// when it is sizeof LastSearch::id) in the table, or null. Only the
// lengths 5 and 6 choose another key; a five-figure WMO text is looked up
// by its number.
[[gnu::always_inline]] inline const char *search_table(const char *id, std::size_t len) {
  char key[16];
  const char *search = id;
  int keynum = 1;
  if (len == 5 && is_digit(id[0]) && is_digit(id[1]) && is_digit(id[2]) && is_digit(id[3]) &&
      is_digit(id[4]))
    return g_numbers.find(five_figures(id));
  if (len == 6 && id[0] == 'b') {
    keynum = 2;  // a buoy
  } else if (len == 5 && id[0] >= 'A' && id[0] <= 'Z' && is_digit(id[2]) && is_digit(id[3]) &&
             is_digit(id[4])) {
    // An identifier made from a WMO number: look it up by the number.
    int wmo = 0;
    id_to_wmo(id, &wmo);
    if (wmo >= 0 && wmo <= 99999) return g_numbers.find(wmo);
    std::snprintf(key, sizeof key, "%5.5d", wmo);
    search = key;
    keynum = 2;
  }
  return TAB_search(&g_city_tbl, keynum, search);
}

}  // namespace

namespace {

// The search of an identifier that is no station number, or of any when
// the last answer is remembered: kept out of the way of the short one.
[[gnu::noinline]] const char *search_other(const char *id) {
  if (!g_memo.on) return search_table(id, std::strlen(id));
  // One pass over the identifier (a few characters): its length, whether
  // it is the last one asked for, and the copy that makes it so.
  std::size_t len = 0;
  bool same = g_memo.valid;
  for (; len < sizeof g_memo.id && id[len] != '\0'; ++len) {
    same = same && g_memo.id[len] == id[len];
    g_memo.id[len] = id[len];
  }
  if (same && len == g_memo.len) return g_memo.found;
  const char *found = search_table(id, len);
  // Longer than any identifier: not kept (it was cut in the copy).
  g_memo.valid = len < sizeof g_memo.id;
  g_memo.len = len;
  g_memo.found = found;
  return found;
}

}  // namespace

namespace {

// The answer of a search: the entry copied out, 1; none, 0.
int answer(const char *found, void *data) {
  if (found == nullptr) return 0;
  g_last = found;
  std::memcpy(data, found, entry_size(g_store));
  return 1;
}

}  // namespace

int CTY_search(const char *id, void *data) {
  if (id == nullptr || data == nullptr || g_store < 1 || g_store > 3) return 0;
  // A station number needs no length measured first.
  const int num = g_memo.on ? -1 : five_figures(id);
  return answer(num >= 0 ? g_numbers.find(num) : search_other(id), data);
}

int CTY_search_buffer(const char *id, std::size_t room, void *data) {
  if (room < sizeof(std::uint64_t) || !g_word_search || id == nullptr || data == nullptr)
    return CTY_search(id, data);
  const int num = five_figures_word(id);
  return answer(num >= 0 ? g_numbers.find(num) : search_other(id), data);
}

int CTY_get(const char *city_file, const char *id, CTY_data *data) {
  if (id == nullptr || data == nullptr) return 0;
  int num_stats = 0;
  const int fd = CTY_open_file(city_file, &num_stats);
  if (fd < 0) return 0;
  MESS_print(kProgressLevel, "Searching the city database file for: %s ...\n", id);
  CTY_rewind(fd);
  int found = 0;
  int got;
  while (found == 0 && (got = CTY_read(fd, data)) >= 1) {
    if (got < kFields) continue;  // never a station with fields left unread
    char wmo_txt[16];
    std::snprintf(wmo_txt, sizeof wmo_txt, "%05d", data->wmo);
    if (stricmp(id, data->id) == 0 || stricmp(id, data->name) == 0 || stricmp(id, wmo_txt) == 0)
      found = 1;
  }
  CTY_close(fd);
  return found;
}

int CTY_get_loc(const char *city_file, const char *id, float *lat, float *lon) {
  CTY_data st;
  if (CTY_get(city_file, id, &st) == 0) return 0;
  if (lat != nullptr) *lat = st.lat;
  if (lon != nullptr) *lon = st.lon;
  return 1;
}
