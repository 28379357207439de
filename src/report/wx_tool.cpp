// Weather and cloud codes: WMO present weather, METAR groups and the SAO
// weather string, and the one-line summary of a report's cloud layers.
#include "report/wx_tool.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "framework/missing.hpp"
#include "report/code_tables.hpp"

namespace {

template <std::size_t N>
constexpr std::array<const char *, 100> expand(const code_tables::WeatherRow (&rows)[N]) {
  std::array<const char *, 100> out{};
  for (auto &s : out) s = " ";
  for (const auto &r : rows)
    for (int c = r.lo; c <= r.hi; ++c) out[static_cast<std::size_t>(c)] = r.sao;
  return out;
}

constexpr auto kWwText = expand(code_tables::kTable4677);

// The same texts with their lengths, worked out once at compile time.
constexpr std::array<std::string_view, 100> make_ww_views() {
  std::array<std::string_view, 100> out{};
  for (std::size_t c = 0; c < out.size(); ++c) out[c] = kWwText[c];
  return out;
}
constexpr auto kWwView = make_ww_views();
// WX_wmo_weather's buffer holds 7 bytes.
static_assert([] {
  for (const auto &v : kWwView)
    if (v.size() > 6) return false;
  return true;
}());

// The texts padded with zeros to the 7 bytes of WX_wmo_weather's buffer, so
// that one copy of a fixed size (a few moves, no call) writes any of them
// with its terminator; the last row is the text of codes outside 0..99.
constexpr std::size_t kWwRoom = 7;
constexpr std::array<std::array<char, kWwRoom>, 101> make_ww_padded() {
  std::array<std::array<char, kWwRoom>, 101> out{};
  for (std::size_t c = 0; c < out.size(); ++c) {
    const std::string_view v = c < kWwView.size() ? kWwView[c] : std::string_view(" ");
    for (std::size_t i = 0; i < v.size(); ++i) out[c][i] = v[i];
  }
  return out;
}
constexpr auto kWwPadded = make_ww_padded();

// Stored weather text to an SAO weather string. Returns a pointer either to
// `work` (room for kWxStrMax + 1) or into the text itself.
const char *normalise(const char *str, char *work) {
  if (str == nullptr) return "";
  if (str[0] >= '0' && str[0] <= '9') {
    // Leading digits only; values past 99 all map to blank, so stop growing
    // there instead of overflowing on a long digit run.
    int ww = 0;
    for (const char *p = str; *p >= '0' && *p <= '9'; ++p) {
      ww = ww * 10 + (*p - '0');
      if (ww > 999) ww = 999;
    }
    WX_wmo_weather(ww, work);
    return work;
  }
  if (str[0] == '!') {
    WX_metar_weather(str, work);
    return work;
  }
  return str;
}

bool starts_with(const char *s, std::string_view prefix) {
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (s[i] != prefix[i]) return false;  // s's NUL stops the walk safely
  return true;
}

// SAO weather string to WMO ww: first row whose prefix fits.
struct WmoRow {
  std::string_view prefix;
  int ww;
};

constexpr WmoRow kSaoToWw[] = {
    {"K", 4},      {"H", 5},     {"F", 44},    {"GF", 12},  {"G", 0},
    {"TRW+A", 99}, {"TRW+", 97}, {"TRW", 95},  {"TR+", 97}, {"TR", 95},
    {"T+", 97},    {"T", 17},    {"RW-", 80},  {"RW", 81},  {"R+", 65},
    {"R-", 61},    {"R", 63},    {"SW-", 85},  {"SW", 86},  {"S+", 75},
    {"S-", 71},    {"SG", 77},   {"SP", 77},   {"S", 73},   {"L+", 55},
    {"L-", 51},    {"L", 53},    {"ZR-", 66},  {"ZR", 67},  {"ZL-", 56},
    {"ZL", 57},    {"Z", 0},     {"BD", 7},    {"BS", 38},  {"B", 0},
    {"IP", 79},    {"IC", 78},   {"IF", 44},   {"I", 0},    {"D", 6},
};

// SAO weather string in words: first row whose prefix fits and whose next
// character is not `not_next` (0: no condition).
struct TextRow {
  std::string_view prefix;
  char not_next;
  const char *text;
  int used;
};

constexpr TextRow kSaoToText[] = {
    {"A", 0, "hail", 1},
    {"K", 0, "smoke", 1},
    {"H", 0, "haze", 1},
    {"F", 0, "fog", 1},
    {"GF", 0, "ground fog", 1},
    {"T+", 0, "heavy thunder", 2},
    {"T-", 0, "light thunder", 2},
    {"T", 'R', "thunder", 1},
    {"TR+", 0, "heavy thunderstorm", 3},
    {"TR-", 0, "light thunderstorm", 3},
    {"TR", 'W', "moderate thunderstorm", 2},
    {"TRW+", 0, "heavy thunderstorm", 4},
    {"TRW-", 0, "light thunderstorm", 4},
    {"TRW", 0, "moderate thunderstorm", 3},
    {"R+", 0, "heavy rain", 2},
    {"R-", 0, "light rain", 2},
    {"R", 'W', "moderate rain", 1},
    {"RW+", 0, "heavy rain showers", 3},
    {"RW-", 0, "light rain showers", 3},
    {"RW", 0, "moderate rain showers", 2},
    {"SW+", 0, "heavy snow showers", 3},
    {"SW-", 0, "light snow showers", 3},
    {"SW", 0, "moderate snow showers", 2},
    {"S+", 0, "heavy snow", 2},
    {"S-", 0, "light snow", 2},
    {"SG", 0, "snow grains", 2},
    {"SP", 0, "snow pellets", 2},
    {"S", 0, "moderate snow", 1},
    {"L+", 0, "heavy drizzle", 2},
    {"L-", 0, "light drizzle", 2},
    {"L", 0, "moderate drizzle", 1},
    // Freezing drizzle is worded as freezing rain.
    {"ZR+", 0, "heavy freezing rain", 3},
    {"ZR-", 0, "light freezing rain", 3},
    {"ZR", 0, "moderate freezing rain", 2},
    {"ZL+", 0, "heavy freezing rain", 3},
    {"ZL-", 0, "light freezing rain", 3},
    {"ZL", 0, "moderate freezing rain", 2},
    {"BD", 0, "blowing dust", 2},
    {"BS", 0, "blowing snow", 2},
    {"IP", 0, "ice pellets", 2},
    {"IC", 0, "ice crystals", 2},
    {"IF", 0, "ice fog", 2},
    {"D", 0, "dust", 1},
};

// METAR two-letter codes and the slot each one fills.
enum class Slot { kSkip, kDescriptor, kPrecip, kObscur };

struct MetarCode {
  char a;
  char b;
  Slot slot;
  const char *sao;
};

constexpr MetarCode kMetarCodes[] = {
    {'M', 'I', Slot::kSkip, ""},       {'B', 'C', Slot::kSkip, ""},
    {'D', 'R', Slot::kDescriptor, "B"}, {'B', 'L', Slot::kDescriptor, "B"},
    {'T', 'S', Slot::kDescriptor, "T"}, {'S', 'H', Slot::kDescriptor, "W"},
    {'F', 'Z', Slot::kDescriptor, "Z"}, {'D', 'Z', Slot::kPrecip, "L"},
    {'R', 'A', Slot::kPrecip, "R"},     {'S', 'N', Slot::kPrecip, "S"},
    {'S', 'G', Slot::kPrecip, "SG"},    {'G', 'S', Slot::kPrecip, "IP"},
    {'P', 'E', Slot::kPrecip, "IP"},    {'P', 'L', Slot::kPrecip, "IP"},
    {'I', 'C', Slot::kPrecip, "IC"},    {'F', 'G', Slot::kObscur, "F"},
    {'B', 'R', Slot::kObscur, "H"},     {'H', 'Z', Slot::kObscur, "H"},
    {'S', 'A', Slot::kObscur, "D"},     {'D', 'U', Slot::kObscur, "D"},
    {'F', 'U', Slot::kObscur, "K"},
};

// The category letter of a cover character: a figure of 2700 its
// category's (a blank for "/"), a category letter itself; 0 for anything
// else.
constexpr char cover_category(char c) {
  for (const auto &r : code_tables::kTable2700)
    if (r.figure == c) return r.category;
  for (const auto &l : code_tables::kCoverLetters)
    if (l.letter == c) return c;
  return 0;
}

// Ranks a cover character for the cloud summary: 1 few, 2 scattered,
// 3 broken, 4 overcast, 5 obscured, 0 anything else (clear included).
constexpr std::array<unsigned char, 256> make_cover_rank() {
  std::array<unsigned char, 256> r{};
  for (int c = 0; c < 256; ++c)
    for (const auto &l : code_tables::kCoverLetters)
      if (cover_category(static_cast<char>(c)) == l.letter)
        r[static_cast<std::size_t>(c)] = static_cast<unsigned char>(l.rank);
  return r;
}

constexpr auto kCoverRank = make_cover_rank();

}  // namespace

int WX_wmo_weather(int wx, char *wx_str) {
  const std::size_t row = (wx >= 0 && wx <= 99) ? static_cast<std::size_t>(wx) : kWwPadded.size() - 1;
  std::memcpy(wx_str, kWwPadded[row].data(), kWwRoom);
  return 0;
}

int WX_set_cloud(const SFC_report *report, char *cover, float *hght) {
  *cover = ' ';
  *hght = tv::kMissFloat;
  int n = report->num_cld;
  if (n <= 0) return -1;
  if (n == 1) {
    *cover = report->cld_cover[0];
    *hght = report->cld_height[0];
    return -1;
  }
  if (n > 5) n = 5;  // never walk past the five layers of the record
  char sum = ' ';
  for (int i = 0; i < n; ++i) {
    const char c = report->cld_cover[i];
    const float h = report->cld_height[i];
    switch (kCoverRank[static_cast<unsigned char>(c)]) {
      case 1:
        if (sum == 'C' || sum == ' ') *hght = h;
        sum = 'F';
        break;
      case 2:
        if (sum == 'C' || sum == 'F' || sum == ' ') *hght = h;
        sum = 'S';
        break;
      case 3:
        if (sum == 'C' || sum == 'F' || sum == 'S' || sum == ' ') *hght = h;
        sum = 'B';
        break;
      case 4:
        if (sum == 'C' || sum == 'F' || sum == 'S' || sum == ' ') *hght = h;
        sum = 'O';
        break;
      case 5:
        *hght = h;
        sum = 'X';
        break;
      default:
        if (sum == ' ') {
          sum = 'C';
          *hght = tv::kMissFloat;
        }
        break;
    }
  }
  *cover = sum;
  return 0;
}

int WX_metar_weather(const char *wx, char *wx_str) {
  wx_str[0] = '\0';
  if (wx == nullptr) return 0;
  const char *p = wx;
  if (*p == '!') ++p;
  char intensity = 0;
  const char *descriptor = "";
  const char *precip = "";
  const char *obscur = "";
  for (;;) {
    if (*p == '-' || *p == '+') {
      intensity = *p++;
      continue;
    }
    if (p[0] == '\0' || p[1] == '\0') break;
    if (p[0] == 'V' && p[1] == 'C') return 0;  // weather in the vicinity only
    const MetarCode *hit = nullptr;
    for (const auto &code : kMetarCodes) {
      if (code.a != p[0] || code.b != p[1]) continue;
      // A second precipitation code ends the scan.
      if (code.slot == Slot::kPrecip && precip[0] != '\0') continue;
      hit = &code;
      break;
    }
    if (hit == nullptr) break;
    switch (hit->slot) {
      case Slot::kSkip: break;
      case Slot::kDescriptor: descriptor = hit->sao; break;
      case Slot::kPrecip: precip = hit->sao; break;
      case Slot::kObscur: obscur = hit->sao; break;
    }
    p += 2;
  }

  const char intens[2] = {intensity, '\0'};
  const char *parts[3] = {"", "", ""};
  if (precip[0] == '\0' && obscur[0] != '\0') {
    parts[0] = obscur;
  } else if (precip[0] == '\0' && descriptor[0] == 'T') {
    parts[0] = "T";
  } else if (descriptor[0] == 'W') {
    parts[0] = precip;
    parts[1] = "W";
    parts[2] = intens;
  } else {
    parts[0] = descriptor;
    parts[1] = precip;
    parts[2] = intens;
  }
  // At most 1 + 2 + 1 + 1 characters: far inside the 21-byte buffer.
  char *out = wx_str;
  for (const char *part : parts)
    for (const char *q = part; *q != '\0'; ++q) *out++ = *q;
  *out = '\0';
  return 0;
}

// The rows of kSaoToWw by their first character, in the table's order:
// only rows of the text's first character can fit, so the first of those
// that fits is the table's first fit, found without walking the others.
struct WwByFirst {
  std::array<std::uint8_t, 256> begin{};
  std::array<std::uint8_t, 256> end{};
  std::array<std::uint8_t, std::size(kSaoToWw)> rows{};
};
constexpr WwByFirst ww_by_first() {
  WwByFirst t;
  std::size_t n = 0;
  for (std::size_t c = 0; c < 256; ++c) {
    t.begin[c] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 0; i < std::size(kSaoToWw); ++i)
      if (static_cast<unsigned char>(kSaoToWw[i].prefix[0]) == c) t.rows[n++] = static_cast<std::uint8_t>(i);
    t.end[c] = static_cast<std::uint8_t>(n);
  }
  return t;
}
constexpr WwByFirst kWwByFirst = ww_by_first();

constexpr bool prefixes_not_empty() {
  for (const auto &row : kSaoToWw)
    if (row.prefix.empty()) return false;
  return true;
}
static_assert(prefixes_not_empty(), "an empty prefix would fit any first character");

int WX_weather_wmo(const char *str) {
  char work[kWxStrMax + 1];
  const char *s = normalise(str, work);
  const auto first = static_cast<unsigned char>(s[0]);
  for (std::size_t i = kWwByFirst.begin[first]; i < kWwByFirst.end[first]; ++i) {
    const WmoRow &row = kSaoToWw[kWwByFirst.rows[i]];
    if (starts_with(s, row.prefix)) return row.ww;
  }
  return 0;
}

int WX_weather_text(const char *str, char *out_str) {
  char work[kWxStrMax + 1];
  const char *s = normalise(str, work);
  for (const auto &row : kSaoToText) {
    if (!starts_with(s, row.prefix)) continue;
    if (row.not_next != 0 && s[row.prefix.size()] == row.not_next) continue;
    std::strcpy(out_str, row.text);  // longest text is 22 characters
    return row.used;
  }
  out_str[0] = '\0';
  return 0;
}

char WX_cover_code(char cover) {
  if (cover == ' ') return '/';
  for (const auto &l : code_tables::kCoverLetters)
    if (l.letter == cover) return l.figure;
  return cover;
}

char WX_cover_category(char cover) { return cover_category(cover); }

const char *WX_cover_word(char cover) {
  const char c = cover_category(cover);
  for (const auto &l : code_tables::kCoverLetters)
    if (l.letter == c) return l.word;
  return nullptr;
}
