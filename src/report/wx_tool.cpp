// Weather and cloud codes: WMO present weather, METAR groups and the SAO
// weather string, and the one-line summary of a report's cloud layers.
#include "report/wx_tool.hpp"

#include <array>
#include <cstring>
#include <string_view>

#include "framework/missing.hpp"

namespace {

// A range of codes sharing one weather string; tables are written as rows
// and expanded into arrays indexed by code at compile time.
struct WxRange {
  int lo;
  int hi;
  const char *str;
};

// WMO code table 4677: present weather reported from a manned station.
constexpr WxRange kTable4677[] = {
    {0, 3, " "},        {4, 4, "K"},       {5, 5, "H"},       {6, 9, "D"},
    {10, 12, "F"},      {13, 16, " "},     {17, 17, "T"},     {18, 27, " "},
    {28, 28, "F"},      {29, 29, "T"},     {30, 35, "D"},     {36, 39, "BS"},
    {40, 49, "F"},      {50, 51, "L-"},    {52, 53, "L"},     {54, 55, "L+"},
    {56, 56, "ZL-"},    {57, 57, "ZL"},    {58, 58, "L-R"},   {59, 59, "LR"},
    {60, 61, "R-"},     {62, 63, "R"},     {64, 65, "R+"},    {66, 66, "ZR-"},
    {67, 67, "ZR"},     {68, 68, "R-L"},   {69, 69, "RL"},    {70, 71, "S-"},
    {72, 73, "S"},      {74, 75, "S+"},    {76, 76, "IC"},    {77, 77, "SG"},
    {78, 78, "IC"},     {79, 79, "IP"},    {80, 80, "RW-"},   {81, 81, "RW"},
    {82, 82, "RW+"},    {83, 83, "RW-SW-"}, {84, 84, "RWSW"}, {85, 85, "SW-"},
    {86, 86, "SW"},     {87, 88, "IPW"},   {89, 90, "A"},     {91, 91, "R-"},
    {92, 92, "R"},      {93, 93, "S-"},    {94, 94, "S"},     {95, 95, "TRW-"},
    {96, 96, "TRW"},    {97, 97, "TRW+"},  {98, 98, "TRWD"},  {99, 99, "TRW+A"},
};

template <std::size_t N>
constexpr std::array<const char *, 100> expand(const WxRange (&rows)[N]) {
  std::array<const char *, 100> out{};
  for (auto &s : out) s = " ";
  for (const auto &r : rows)
    for (int c = r.lo; c <= r.hi; ++c) out[static_cast<std::size_t>(c)] = r.str;
  return out;
}

constexpr auto kWwText = expand(kTable4677);

// Copies a table string (at most kWxStrMax characters) with its terminator.
void put(char *dst, const char *src) {
  std::size_t n = std::strlen(src);
  if (n > static_cast<std::size_t>(kWxStrMax)) n = kWxStrMax;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

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

// Ranks a cover character for the cloud summary: 1 few, 2 scattered,
// 3 broken, 4 overcast, 5 obscured, 0 anything else.
constexpr std::array<unsigned char, 256> make_cover_rank() {
  std::array<unsigned char, 256> r{};
  r['F'] = r['1'] = 1;
  r['S'] = r['2'] = r['3'] = 2;
  r['B'] = r['4'] = r['5'] = r['6'] = 3;
  r['O'] = r['7'] = r['8'] = 4;
  r['X'] = r['9'] = 5;
  return r;
}

constexpr auto kCoverRank = make_cover_rank();

}  // namespace

int WX_wmo_weather(int wx, char *wx_str) {
  put(wx_str, (wx >= 0 && wx <= 99) ? kWwText[static_cast<std::size_t>(wx)] : " ");
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

int WX_weather_wmo(const char *str) {
  char work[kWxStrMax + 1];
  const char *s = normalise(str, work);
  for (const auto &row : kSaoToWw)
    if (starts_with(s, row.prefix)) return row.ww;
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
