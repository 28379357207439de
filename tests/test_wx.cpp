// Weather, visibility and cloud codes: every table row at its boundaries,
// the METAR group conversion, the stored-text conversions and the cloud
// summary.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "framework/missing.hpp"
#include "report/code_tables.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"
#include "report/wx_tool.hpp"

namespace {

struct Row {
  int lo;
  int hi;
  const char *str;
};

// Manned-station present weather (ww), as the code table lists it.
const Row kWw[] = {
    {0, 3, " "},      {4, 4, "K"},       {5, 5, "H"},       {6, 9, "D"},    {10, 12, "F"},
    {13, 16, " "},    {17, 17, "T"},     {18, 27, " "},     {28, 28, "F"},  {29, 29, "T"},
    {30, 35, "D"},    {36, 39, "BS"},    {40, 49, "F"},     {50, 51, "L-"}, {52, 53, "L"},
    {54, 55, "L+"},   {56, 56, "ZL-"},   {57, 57, "ZL"},    {58, 58, "L-R"}, {59, 59, "LR"},
    {60, 61, "R-"},   {62, 63, "R"},     {64, 65, "R+"},    {66, 66, "ZR-"}, {67, 67, "ZR"},
    {68, 68, "R-L"},  {69, 69, "RL"},    {70, 71, "S-"},    {72, 73, "S"},  {74, 75, "S+"},
    {76, 76, "IC"},   {77, 77, "SG"},    {78, 78, "IC"},    {79, 79, "IP"}, {80, 80, "RW-"},
    {81, 81, "RW"},   {82, 82, "RW+"},   {83, 83, "RW-SW-"}, {84, 84, "RWSW"}, {85, 85, "SW-"},
    {86, 86, "SW"},   {87, 88, "IPW"},   {89, 90, "A"},     {91, 91, "R-"}, {92, 92, "R"},
    {93, 93, "S-"},   {94, 94, "S"},     {95, 95, "TRW-"},  {96, 96, "TRW"}, {97, 97, "TRW+"},
    {98, 98, "TRWD"}, {99, 99, "TRW+A"},
};

// Automatic-station present weather (wawa).
const Row kWawa[] = {
    {0, 3, " "},     {4, 5, "H"},     {6, 27, " "},    {28, 29, "BS"},  {30, 35, "F"},
    {36, 39, " "},   {40, 40, "R"},   {41, 41, "R-"},  {42, 42, "R+"},  {43, 43, "R-"},
    {44, 44, "R+"},  {45, 45, "S-"},  {46, 46, "S+"},  {47, 47, "ZR-"}, {48, 48, "ZR+"},
    {49, 49, " "},   {50, 50, "L"},   {51, 51, "L-"},  {52, 52, "L"},   {53, 53, "L+"},
    {54, 54, "ZL-"}, {55, 55, "ZL"},  {56, 56, "ZL+"}, {57, 57, "L-R"}, {58, 58, "LR"},
    {59, 59, " "},   {60, 60, "R"},   {61, 61, "R-"},  {62, 62, "R"},   {63, 63, "R+"},
    {64, 64, "ZR-"}, {65, 65, "ZR"},  {66, 66, "ZR+"}, {67, 67, "R-S"}, {68, 68, "RS"},
    {69, 69, " "},   {70, 70, "S"},   {71, 71, "S-"},  {72, 72, "S"},   {73, 73, "S+"},
    {74, 74, "IP-"}, {75, 75, "IP"},  {76, 76, "IP+"}, {77, 79, " "},   {80, 80, "RW"},
    {81, 81, "RW-"}, {82, 82, "RW"},  {83, 84, "RW+"}, {85, 85, "SW-"}, {86, 86, "SW"},
    {87, 87, "SW+"}, {88, 89, " "},   {90, 90, "TRW"}, {91, 92, "TRW-"}, {93, 93, "TRW-A"},
    {94, 94, "TRW-"}, {95, 95, "TRW+"}, {96, 96, "TRW+A"}, {97, 99, " "},
};

std::string ww(int code) {
  char buf[32];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(SYN_weather(code, buf), 0);
  return buf;
}

std::string wmo(int code) {
  char buf[32];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(WX_wmo_weather(code, buf), 0);
  // Its buffer holds 7 bytes: nothing past them is written.
  EXPECT_EQ(std::string(buf + 7, sizeof buf - 7), std::string(sizeof buf - 7, 'x')) << "ww " << code;
  return buf;
}

std::string wawa(int code) {
  char buf[32];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(SYN_auto_weather(code, buf), 0);
  return buf;
}

std::string metar(const char *group) {
  char buf[32];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(WX_metar_weather(group, buf), 0);
  return buf;
}

std::string words(const char *stored, int *used) {
  char buf[40];
  std::memset(buf, 'x', sizeof buf);
  *used = WX_weather_text(stored, buf);
  return buf;
}

}  // namespace

TEST(PresentWeather, MannedTableEveryRowAtBothEnds) {
  int covered = 0;
  for (const Row &r : kWw) {
    EXPECT_EQ(covered, r.lo) << "table gap before " << r.lo;
    covered = r.hi + 1;
    for (int c : {r.lo, r.hi}) {
      EXPECT_EQ(ww(c), r.str) << "ww " << c;
      EXPECT_EQ(wmo(c), r.str) << "ww " << c;
    }
  }
  EXPECT_EQ(covered, 100);
}

TEST(PresentWeather, MannedOutsideTableIsBlank) {
  for (int c : {-9999, -1, 100, 1000}) {
    EXPECT_EQ(ww(c), " ") << c;
    EXPECT_EQ(wmo(c), " ") << c;
  }
  EXPECT_EQ(ww(83).size(), 6u);  // longest string, fits the 7-byte buffer
}

TEST(PresentWeather, AutomaticTableEveryRowAtBothEnds) {
  int covered = 0;
  for (const Row &r : kWawa) {
    EXPECT_EQ(covered, r.lo) << "table gap before " << r.lo;
    covered = r.hi + 1;
    for (int c : {r.lo, r.hi}) EXPECT_EQ(wawa(c), r.str) << "wawa " << c;
  }
  EXPECT_EQ(covered, 100);
  for (int c : {-9999, -1, 100}) EXPECT_EQ(wawa(c), " ") << c;
  // Same code, different tables: mist is not reportable from an automatic station.
  EXPECT_EQ(wawa(10), " ");
  EXPECT_EQ(ww(10), "F");
}

TEST(Visibility, TenthsOfKilometresUpTo50) {
  EXPECT_FLOAT_EQ(SYN_visibility(0), 0.0f);
  EXPECT_FLOAT_EQ(SYN_visibility(1), 1.0f / 16.0f);
  EXPECT_FLOAT_EQ(SYN_visibility(50), 3.125f);
  EXPECT_FLOAT_EQ(SYN_visibility(-16), -1.0f);  // no lower bound
}

TEST(Visibility, KilometresFrom51To80) {
  EXPECT_EQ(SYN_visibility(51), static_cast<float>(1 / 1.6));
  EXPECT_FLOAT_EQ(SYN_visibility(56), 3.75f);
  EXPECT_EQ(SYN_visibility(80), static_cast<float>(30 / 1.6));
}

TEST(Visibility, FiveKilometreStepsFrom81To89) {
  EXPECT_EQ(SYN_visibility(81), static_cast<float>(35 / 1.6));
  EXPECT_FLOAT_EQ(SYN_visibility(89), 46.875f);
}

TEST(Visibility, SeaCodes90To99AndUndefined) {
  const float sea[] = {0.0f, 0.03125f, 0.125f, 0.3125f, 0.625f,
                       1.25f, 2.5f, 6.25f, 12.5f, 31.25f};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(SYN_visibility(90 + i), sea[i]) << 90 + i;
  EXPECT_EQ(SYN_visibility(100), tv::kMissFloat);
  EXPECT_EQ(SYN_visibility(9999), tv::kMissFloat);
}

TEST(Ceiling, EveryCodeAndOutside) {
  const float feet[] = {100, 200, 400, 700, 1500, 3000, 4500, 6000, 7500, 12000};
  for (int h = 0; h < 10; ++h) EXPECT_EQ(SYN_ceiling(h), feet[h]) << h;
  for (int h : {-9999, -1, 10, 99}) EXPECT_EQ(SYN_ceiling(h), tv::kMissFloat) << h;
}

TEST(MetarWeather, GroupsToSaoStrings) {
  const struct {
    const char *in;
    const char *out;
  } cases[] = {
      {"-RA", "R-"},    {"+SHRA", "RW+"}, {"-SHSN", "SW-"}, {"+TSRA", "TR+"},  {"TS", "T"},
      {"+TS", "T"},     {"-FZDZ", "ZL-"}, {"FZRA", "ZR"},   {"BLSN", "BS"},    {"DRSN", "BS"},
      {"BLDU", "D"},    {"SHGS", "IPW"},  {"MIFG", "F"},    {"BR", "H"},       {"FGBR", "H"},
      {"BR-RA", "R-"},  {"-RASN", "R-"},  {"VCSH", ""},     {"TSGR", "T"},     {"-", "-"},
      {"!-RA", "R-"},   {"!", ""},        {"", ""},         {"SG", "SG"},      {"PL", "IP"},
      {"PE", "IP"},     {"IC", "IC"},     {"HZ", "H"},      {"SA", "D"},       {"DU", "D"},
      {"FU", "K"},      {"BCFG", "F"},    {"RA VCTS", "R"}, {"RAVC", ""},      {"-RA+", "R+"},
      {"XX", ""},       {"R", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(metar(c.in), c.out) << "group " << c.in;
  EXPECT_EQ(metar(nullptr), "");
}

TEST(WeatherWmo, StoredFormsAgree) {
  EXPECT_EQ(WX_weather_wmo("61"), 61);
  EXPECT_EQ(WX_weather_wmo("R-"), 61);
  EXPECT_EQ(WX_weather_wmo("!-RA"), 61);
  EXPECT_EQ(WX_weather_wmo("TRW-A"), 95);
  EXPECT_EQ(WX_weather_wmo("A"), 0);
  EXPECT_EQ(WX_weather_wmo(" "), 0);
  EXPECT_EQ(WX_weather_wmo(""), 0);
  EXPECT_EQ(WX_weather_wmo("X"), 0);
  EXPECT_EQ(WX_weather_wmo("r-"), 0);  // letters are upper case
  EXPECT_EQ(WX_weather_wmo("\xffR"), 0);
  // Only leading digits count; a long digit run cannot overflow.
  EXPECT_EQ(WX_weather_wmo("61abc"), 61);
  EXPECT_EQ(WX_weather_wmo("99999999999999999999"), 0);
}

TEST(WeatherWmo, EverySaoRow) {
  const struct {
    const char *s;
    int code;
  } rows[] = {
      {"K", 4},      {"H", 5},     {"F", 44},    {"GF", 12},   {"G", 0},    {"GX", 0},
      {"TRW+A", 99}, {"TRW+", 97}, {"TRW", 95},  {"TRWD", 95}, {"TR+", 97}, {"TR", 95},
      {"TR-", 95},   {"T+", 97},   {"T", 17},    {"T-", 17},   {"RW-", 80}, {"RW", 81},
      {"RW+", 81},   {"R+", 65},   {"R-", 61},   {"R", 63},    {"R-L", 61}, {"SW-", 85},
      {"SW", 86},    {"SW+", 86},  {"S+", 75},   {"S-", 71},   {"SG", 77},  {"SP", 77},
      {"S", 73},     {"L+", 55},   {"L-", 51},   {"L", 53},    {"ZR-", 66}, {"ZR", 67},
      {"ZR+", 67},   {"ZL-", 56},  {"ZL", 57},   {"Z", 0},     {"BD", 7},   {"BS", 38},
      {"B", 0},      {"IP", 79},   {"IPW", 79},  {"IC", 78},   {"IF", 44},  {"I", 0},
      {"D", 6},
  };
  for (const auto &r : rows) EXPECT_EQ(WX_weather_wmo(r.s), r.code) << r.s;
}

TEST(WeatherText, EverySaoRow) {
  const struct {
    const char *s;
    const char *text;
    int used;
  } rows[] = {
      {"A", "hail", 1},
      {"K", "smoke", 1},
      {"H", "haze", 1},
      {"F", "fog", 1},
      {"GF", "ground fog", 1},
      {"T+", "heavy thunder", 2},
      {"T-", "light thunder", 2},
      {"T", "thunder", 1},
      {"TD", "thunder", 1},
      {"TR+", "heavy thunderstorm", 3},
      {"TR-", "light thunderstorm", 3},
      {"TR", "moderate thunderstorm", 2},
      {"TRW+", "heavy thunderstorm", 4},
      {"TRW-", "light thunderstorm", 4},
      {"TRW", "moderate thunderstorm", 3},
      {"TRWD", "moderate thunderstorm", 3},
      {"R+", "heavy rain", 2},
      {"R-", "light rain", 2},
      {"R", "moderate rain", 1},
      {"RL", "moderate rain", 1},
      {"RW+", "heavy rain showers", 3},
      {"RW-", "light rain showers", 3},
      {"RW", "moderate rain showers", 2},
      {"RW-SW-", "light rain showers", 3},
      {"SW+", "heavy snow showers", 3},
      {"SW-", "light snow showers", 3},
      {"SW", "moderate snow showers", 2},
      {"S+", "heavy snow", 2},
      {"S-", "light snow", 2},
      {"SG", "snow grains", 2},
      {"SP", "snow pellets", 2},
      {"S", "moderate snow", 1},
      {"L+", "heavy drizzle", 2},
      {"L-", "light drizzle", 2},
      {"L", "moderate drizzle", 1},
      {"ZR+", "heavy freezing rain", 3},
      {"ZR-", "light freezing rain", 3},
      {"ZR", "moderate freezing rain", 2},
      {"ZL+", "heavy freezing rain", 3},
      {"ZL-", "light freezing rain", 3},
      {"ZL", "moderate freezing rain", 2},
      {"BD", "blowing dust", 2},
      {"BS", "blowing snow", 2},
      {"IP", "ice pellets", 2},
      {"IC", "ice crystals", 2},
      {"IF", "ice fog", 2},
      {"D", "dust", 1},
  };
  for (const auto &r : rows) {
    int used = -1;
    EXPECT_EQ(words(r.s, &used), r.text) << r.s;
    EXPECT_EQ(used, r.used) << r.s;
  }
}

TEST(WeatherText, PartialAndEmptyTextsGiveNothing) {
  for (const char *s : {"G", "GX", "Z", "ZX", "B", "BX", "I", "IX", "X", " ", "", "!", "!VCSH"}) {
    int used = -1;
    EXPECT_EQ(words(s, &used), "") << "'" << s << "'";
    EXPECT_EQ(used, 0) << "'" << s << "'";
  }
}

TEST(WeatherText, CodesAndMetarGroupsAreNormalisedFirst) {
  int used = -1;
  EXPECT_EQ(words("95", &used), "light thunderstorm");
  EXPECT_EQ(used, 4);
  EXPECT_EQ(words("83", &used), "light rain showers");
  EXPECT_EQ(used, 3);
  EXPECT_EQ(words("!+SHSN", &used), "heavy snow showers");
  EXPECT_EQ(used, 3);
  EXPECT_EQ(words("02", &used), "");
  EXPECT_EQ(used, 0);
}

namespace {

SFC_report layers(std::initializer_list<std::pair<char, float>> ls) {
  SFC_report r;
  std::memset(&r, 0, sizeof r);
  std::memset(r.cld_cover, ' ', sizeof r.cld_cover);
  for (float &h : r.cld_height) h = tv::kMissFloat;
  int i = 0;
  for (const auto &l : ls) {
    r.cld_cover[i] = l.first;
    r.cld_height[i] = l.second;
    ++i;
  }
  r.num_cld = i;
  return r;
}

struct Summary {
  int rc;
  char cover;
  float height;
};

Summary summary(const SFC_report &r) {
  Summary s{99, '?', 1.0f};
  s.rc = WX_set_cloud(&r, &s.cover, &s.height);
  return s;
}

}  // namespace

TEST(CloudSummary, NoLayerOrOneLayer) {
  Summary s = summary(layers({}));
  EXPECT_EQ(s.rc, -1);
  EXPECT_EQ(s.cover, ' ');
  EXPECT_EQ(s.height, tv::kMissFloat);

  s = summary(layers({{'5', 2500.0f}}));  // a single layer is passed through as stored
  EXPECT_EQ(s.rc, -1);
  EXPECT_EQ(s.cover, '5');
  EXPECT_EQ(s.height, 2500.0f);

  s = summary(layers({{'s', tv::kMissFloat}}));
  EXPECT_EQ(s.cover, 's');
  EXPECT_EQ(s.height, tv::kMissFloat);
}

TEST(CloudSummary, CategoriesRankAndHeights) {
  Summary s = summary(layers({{'2', 1000.0f}, {'6', 3000.0f}}));
  EXPECT_EQ(s.rc, 0);
  EXPECT_EQ(s.cover, 'B');
  EXPECT_EQ(s.height, 3000.0f);

  s = summary(layers({{'B', 1000.0f}, {'O', 3000.0f}}));  // overcast keeps the broken ceiling
  EXPECT_EQ(s.cover, 'O');
  EXPECT_EQ(s.height, 1000.0f);

  s = summary(layers({{'F', 500.0f}, {'S', 2000.0f}}));
  EXPECT_EQ(s.cover, 'S');
  EXPECT_EQ(s.height, 2000.0f);

  s = summary(layers({{'S', 800.0f}, {'F', 2000.0f}}));  // lower rank: cover follows, height stays
  EXPECT_EQ(s.cover, 'F');
  EXPECT_EQ(s.height, 800.0f);

  s = summary(layers({{'O', 800.0f}, {'9', tv::kMissFloat}}));  // obscured always takes its height
  EXPECT_EQ(s.cover, 'X');
  EXPECT_EQ(s.height, tv::kMissFloat);

  s = summary(layers({{'1', 300.0f}, {'3', 900.0f}, {'5', 1500.0f}, {'8', 4000.0f}}));
  EXPECT_EQ(s.cover, 'O');
  EXPECT_EQ(s.height, 1500.0f);
}

TEST(CloudSummary, ClearAndUnrankedCovers) {
  Summary s = summary(layers({{'0', 100.0f}, {'C', 200.0f}}));
  EXPECT_EQ(s.cover, 'C');
  EXPECT_EQ(s.height, tv::kMissFloat);

  s = summary(layers({{'S', 1200.0f}, {'b', 3000.0f}, {' ', 5000.0f}}));  // thin and blank change nothing
  EXPECT_EQ(s.cover, 'S');
  EXPECT_EQ(s.height, 1200.0f);

  s = summary(layers({{'C', 100.0f}, {'F', 900.0f}}));
  EXPECT_EQ(s.cover, 'F');
  EXPECT_EQ(s.height, 900.0f);
}

TEST(CloudSummary, LayerCountBeyondRecordIsBounded) {
  SFC_report r = layers({{'F', 100.0f}, {'S', 200.0f}, {'B', 300.0f}, {'O', 400.0f}, {'X', 500.0f}});
  r.num_cld = 1000;  // corrupted count: only the record's five layers are read
  Summary s = summary(r);
  EXPECT_EQ(s.rc, 0);
  EXPECT_EQ(s.cover, 'X');
  EXPECT_EQ(s.height, 500.0f);
  r.num_cld = -3;
  s = summary(r);
  EXPECT_EQ(s.rc, -1);
  EXPECT_EQ(s.cover, ' ');
}

// ---------------------------------------------------------------------------
// The code tables as the program holds them (report/code_tables.hpp): every
// row against the expectations written here from the WMO tables, and what
// each row does through the decoder.

namespace {

// The expected string of code `c` in a list of hand-written rows.
const char *expected(const Row *rows, std::size_t n, int c) {
  for (std::size_t i = 0; i < n; ++i)
    if (rows[i].lo <= c && c <= rows[i].hi) return rows[i].str;
  return nullptr;
}

template <std::size_t N, std::size_t M>
void walk_weather(const code_tables::WeatherRow (&table)[N], const Row (&hand)[M], const char *name) {
  int covered = 0;
  for (const auto &row : table) {
    EXPECT_EQ(row.lo, covered) << name << ": gap or overlap before " << row.lo;
    EXPECT_LE(row.lo, row.hi) << name;
    covered = row.hi + 1;
    for (int c = row.lo; c <= row.hi; ++c) {
      const char *want = expected(hand, M, c);
      ASSERT_NE(want, nullptr) << name << " " << c;
      EXPECT_STREQ(row.sao, want) << name << " " << c;
    }
  }
  EXPECT_EQ(covered, 100) << name;
}

SFC_report decoded(const std::string &text, ReportType type = ReportType::land) {
  SYN_set_prhour(1200);
  SYN_set_iw(4);
  SFC_report r;
  SFC_initialize(&r);
  EXPECT_EQ(SYN_decode(text.c_str(), type, &r), 1) << text;
  return r;
}

}  // namespace

TEST(CodeTables, PresentWeather4677And4680EveryRow) {
  walk_weather(code_tables::kTable4677, kWw, "4677");
  walk_weather(code_tables::kTable4680, kWawa, "4680");
}

TEST(CodeTables, CloudBase1600EveryRow) {
  const float feet[] = {100, 200, 400, 700, 1500, 3000, 4500, 6000, 7500, 12000};
  ASSERT_EQ(std::size(code_tables::kTable1600), std::size(feet));
  for (std::size_t i = 0; i < std::size(feet); ++i) {
    EXPECT_EQ(code_tables::kTable1600[i].h, static_cast<int>(i));
    EXPECT_EQ(code_tables::kTable1600[i].feet, feet[i]) << i;
    EXPECT_EQ(SYN_ceiling(static_cast<int>(i)), feet[i]) << i;
  }
  EXPECT_EQ(SYN_ceiling(10), tv::kMissFloat);
  EXPECT_EQ(SYN_ceiling(-1), tv::kMissFloat);
}

TEST(CodeTables, Visibility4377EveryRow) {
  const float sea[] = {0.0f, 0.03125f, 0.125f, 0.3125f, 0.625f, 1.25f, 2.5f, 6.25f, 12.5f, 31.25f};
  int covered = 0;
  for (const auto &row : code_tables::kTable4377) {
    EXPECT_EQ(row.lo, covered) << "gap or overlap before " << row.lo;
    covered = row.hi + 1;
    for (int vv = row.lo; vv <= row.hi; ++vv) {
      float want;
      if (vv <= 50)
        want = static_cast<float>(vv) / 16.0f;  // tenths of km, 1.6 km a mile
      else if (vv <= 80)
        want = static_cast<float>((vv - 50) / 1.6);
      else if (vv <= 89)
        want = static_cast<float>((30 + 5 * (vv - 80)) / 1.6);
      else
        want = sea[vv - 90];
      EXPECT_EQ(SYN_visibility(vv), want) << "VV " << vv;
    }
  }
  EXPECT_EQ(covered, 100);
  EXPECT_EQ(SYN_visibility(100), tv::kMissFloat);
}

TEST(CodeTables, CloudCover2700EveryRowAndEveryCharacter) {
  const char *figures = "0123456789/";
  const char *categories = "CFSSBBBOOX ";
  ASSERT_EQ(std::size(code_tables::kTable2700), std::strlen(figures));
  for (std::size_t i = 0; i < std::size(code_tables::kTable2700); ++i) {
    const auto &row = code_tables::kTable2700[i];
    EXPECT_EQ(row.figure, figures[i]);
    EXPECT_EQ(row.category, categories[i]) << row.figure;
    EXPECT_EQ(row.oktas, i < 9 ? static_cast<int>(i) : tv::kMissInt) << row.figure;
  }
  // As the netCDF record writes a stored cover: letters as figures, a
  // blank as "/", anything else as it is.
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    char want = ch;
    switch (ch) {
      case 'C': want = '0'; break;
      case 'F': want = '1'; break;
      case 'S': want = '2'; break;
      case 'B': want = '6'; break;
      case 'O': want = '8'; break;
      case 'X': want = '9'; break;
      case ' ': want = '/'; break;
      default: break;
    }
    EXPECT_EQ(WX_cover_code(ch), want) << c;
  }
  const struct {
    char cover;
    char category;
    const char *word;
  } words[] = {{'0', 'C', "clear"},  {'C', 'C', "clear"},    {'1', 'F', "few"},
               {'3', 'S', "scattered"}, {'4', 'B', "broken"}, {'6', 'B', "broken"},
               {'8', 'O', "overcast"}, {'9', 'X', "obscured"}, {'X', 'X', "obscured"},
               {'b', 0, nullptr},      {' ', 0, nullptr},      {'/', ' ', nullptr}};
  for (const auto &w : words) {
    EXPECT_EQ(WX_cover_category(w.cover), w.category) << w.cover;
    if (w.word)
      EXPECT_STREQ(WX_cover_word(w.cover), w.word) << w.cover;
    else
      EXPECT_EQ(WX_cover_word(w.cover), nullptr) << w.cover;
  }
}

TEST(CodeTables, Tendency0200EveryRowSignsTheChange) {
  const bool lower[] = {false, false, false, false, false, true, true, true, true};
  ASSERT_EQ(std::size(code_tables::kTable0200), std::size(lower));
  for (const auto &row : code_tables::kTable0200) {
    EXPECT_EQ(row.lower, lower[row.a]) << row.a;
    const SFC_report r = decoded("72403 11560 82705 10150 5" + std::to_string(row.a) + "012 ");
    EXPECT_EQ(r.ptend_t, row.a);
    EXPECT_FLOAT_EQ(r.ptend, row.lower ? -1.2f : 1.2f) << row.a;
  }
  // Past the table the sign is that of 5 to 8, as it has always been read.
  EXPECT_FLOAT_EQ(decoded("72403 11560 82705 10150 59012 ").ptend, -1.2f);
}

TEST(CodeTables, SeaTemperature3850EveryRowSignsTheValue) {
  const bool negative[] = {false, true, false, true, false, true, false, true};
  ASSERT_EQ(std::size(code_tables::kTable3850), std::size(negative));
  for (const auto &row : code_tables::kTable3850) {
    EXPECT_EQ(row.negative, negative[row.ss]) << row.ss;
    const SFC_report r = decoded("ABCD 07124 99412 71234 41/98 82710 222// 0" +
                                     std::to_string(row.ss) + "125 ",
                                 ReportType::ship);
    EXPECT_FLOAT_EQ(r.sst, row.negative ? -12.5f : 12.5f) << row.ss;
  }
  const SFC_report r9 = decoded("ABCD 07124 99412 71234 41/98 82710 222// 09125 ", ReportType::ship);
  EXPECT_FLOAT_EQ(r9.sst, -12.5f);  // odd figures past the table stay negative
}

TEST(CodeTables, StationType1860EveryRowChoosesTheWeatherTable) {
  const struct {
    int ix;
    bool automatic;
    code_tables::WeatherCode weather;
  } hand[] = {{1, false, code_tables::WeatherCode::ww_4677}, {2, false, code_tables::WeatherCode::none},
              {3, false, code_tables::WeatherCode::none},    {4, true, code_tables::WeatherCode::ww_4677},
              {5, true, code_tables::WeatherCode::none},     {6, true, code_tables::WeatherCode::none},
              {7, true, code_tables::WeatherCode::wawa_4680}};
  ASSERT_EQ(std::size(code_tables::kTable1860), std::size(hand));
  for (std::size_t i = 0; i < std::size(hand); ++i) {
    const auto &row = code_tables::kTable1860[i];
    EXPECT_EQ(row.ix, hand[i].ix);
    EXPECT_EQ(row.automatic, hand[i].automatic) << row.ix;
    EXPECT_EQ(row.weather, hand[i].weather) << row.ix;
    // ww 45: fog in 4677, light snow in 4680. A station type without a
    // weather group still has a 7-group read as 4677.
    const SFC_report r = decoded("72403 1" + std::to_string(row.ix) + "560 82705 10150 74500 ");
    EXPECT_EQ((r.type & 16) != 0, row.automatic) << row.ix;
    EXPECT_STREQ(r.weather, row.weather == code_tables::WeatherCode::wawa_4680 ? "S-" : "F") << row.ix;
  }
}
