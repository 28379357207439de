// WMO code tables of the synoptic codes, each written once as constexpr rows
// named after its table. The functions that turn a code into a value live in
// the modules of their prefix (SYN_weather, SYN_visibility, WX_cover_code,
// ...); the rows are public so that tests can walk every one of them.
#pragma once

#include "framework/missing.hpp"

namespace code_tables {

// Codes lo..hi share one SAO weather string.
struct WeatherRow {
  int lo;
  int hi;
  const char *sao;
};

// 4677: present weather ww reported from a manned station.
inline constexpr WeatherRow kTable4677[] = {
    {0, 3, " "},     {4, 4, "K"},       {5, 5, "H"},     {6, 9, "D"},     {10, 12, "F"},
    {13, 16, " "},   {17, 17, "T"},     {18, 27, " "},   {28, 28, "F"},   {29, 29, "T"},
    {30, 35, "D"},   {36, 39, "BS"},    {40, 49, "F"},   {50, 51, "L-"},  {52, 53, "L"},
    {54, 55, "L+"},  {56, 56, "ZL-"},   {57, 57, "ZL"},  {58, 58, "L-R"}, {59, 59, "LR"},
    {60, 61, "R-"},  {62, 63, "R"},     {64, 65, "R+"},  {66, 66, "ZR-"}, {67, 67, "ZR"},
    {68, 68, "R-L"}, {69, 69, "RL"},    {70, 71, "S-"},  {72, 73, "S"},   {74, 75, "S+"},
    {76, 76, "IC"},  {77, 77, "SG"},    {78, 78, "IC"},  {79, 79, "IP"},  {80, 80, "RW-"},
    {81, 81, "RW"},  {82, 82, "RW+"},   {83, 83, "RW-SW-"}, {84, 84, "RWSW"}, {85, 85, "SW-"},
    {86, 86, "SW"},  {87, 88, "IPW"},   {89, 90, "A"},   {91, 91, "R-"},  {92, 92, "R"},
    {93, 93, "S-"},  {94, 94, "S"},     {95, 95, "TRW-"}, {96, 96, "TRW"}, {97, 97, "TRW+"},
    {98, 98, "TRWD"}, {99, 99, "TRW+A"},
};

// 4680: present weather wawa reported from an automatic station.
inline constexpr WeatherRow kTable4680[] = {
    {0, 3, " "},      {4, 5, "H"},      {6, 27, " "},     {28, 29, "BS"},    {30, 35, "F"},
    {36, 39, " "},    {40, 40, "R"},    {41, 41, "R-"},   {42, 42, "R+"},    {43, 43, "R-"},
    {44, 44, "R+"},   {45, 45, "S-"},   {46, 46, "S+"},   {47, 47, "ZR-"},   {48, 48, "ZR+"},
    {49, 49, " "},    {50, 50, "L"},    {51, 51, "L-"},   {52, 52, "L"},     {53, 53, "L+"},
    {54, 54, "ZL-"},  {55, 55, "ZL"},   {56, 56, "ZL+"},  {57, 57, "L-R"},   {58, 58, "LR"},
    {59, 59, " "},    {60, 60, "R"},    {61, 61, "R-"},   {62, 62, "R"},     {63, 63, "R+"},
    {64, 64, "ZR-"},  {65, 65, "ZR"},   {66, 66, "ZR+"},  {67, 67, "R-S"},   {68, 68, "RS"},
    {69, 69, " "},    {70, 70, "S"},    {71, 71, "S-"},   {72, 72, "S"},     {73, 73, "S+"},
    {74, 74, "IP-"},  {75, 75, "IP"},   {76, 76, "IP+"},  {77, 79, " "},     {80, 80, "RW"},
    {81, 81, "RW-"},  {82, 82, "RW"},   {83, 84, "RW+"},  {85, 85, "SW-"},   {86, 86, "SW"},
    {87, 87, "SW+"},  {88, 89, " "},    {90, 90, "TRW"},  {91, 92, "TRW-"},  {93, 93, "TRW-A"},
    {94, 94, "TRW-"}, {95, 95, "TRW+"}, {96, 96, "TRW+A"}, {97, 99, " "},
};

// 1600: height above ground of the base of the lowest cloud h, in feet.
struct CloudBaseRow {
  int h;
  float feet;
};
inline constexpr CloudBaseRow kTable1600[] = {
    {0, 100},  {1, 200},  {2, 400},  {3, 700},  {4, 1500},
    {5, 3000}, {6, 4500}, {7, 6000}, {8, 7500}, {9, 12000},
};

// 4377: horizontal visibility VV, in statute miles (a mile taken as 1.6 km).
// The land codes count tenths of a kilometre (00-50), kilometres past 50
// (51-80) and five kilometres past 30 (81-89); the sea codes 90-99 are
// steps of their own.
enum class VisStep : char { tenth_km, km, five_km, sea };
struct VisibilityRow {
  int lo;
  int hi;
  VisStep step;
  float miles;  // sea codes only
};
inline constexpr VisibilityRow kTable4377[] = {
    {0, 50, VisStep::tenth_km, 0},  {51, 80, VisStep::km, 0},        {81, 89, VisStep::five_km, 0},
    {90, 90, VisStep::sea, 0.0f},   {91, 91, VisStep::sea, 0.03125f}, {92, 92, VisStep::sea, 0.125f},
    {93, 93, VisStep::sea, 0.3125f}, {94, 94, VisStep::sea, 0.625f},  {95, 95, VisStep::sea, 1.25f},
    {96, 96, VisStep::sea, 2.5f},   {97, 97, VisStep::sea, 6.25f},   {98, 98, VisStep::sea, 12.5f},
    {99, 99, VisStep::sea, 31.25f},
};

// The miles of a land code, computed as the codes have always been read:
// tenths of a kilometre in single precision, the others in double.
constexpr float visibility_miles(VisStep step, int vv) {
  switch (step) {
    case VisStep::tenth_km: return static_cast<float>(vv) / 16.0f;
    case VisStep::km: return static_cast<float>((vv - 50) / 1.6);
    case VisStep::five_km: return static_cast<float>((30 + 5 * (vv - 80)) / 1.6);
    case VisStep::sea: break;
  }
  return tv::kMissFloat;
}

// 2700: total cloud cover N in oktas, 9 the sky obscured, "/" not
// observed; each figure with the cover letter of its category.
struct CoverRow {
  char figure;
  int oktas;      // missing for 9 and "/"
  char category;  // blank for "/"
};
inline constexpr CoverRow kTable2700[] = {
    {'0', 0, 'C'}, {'1', 1, 'F'}, {'2', 2, 'S'}, {'3', 3, 'S'},
    {'4', 4, 'B'}, {'5', 5, 'B'}, {'6', 6, 'B'}, {'7', 7, 'O'},
    {'8', 8, 'O'}, {'9', tv::kMissInt, 'X'}, {'/', tv::kMissInt, ' '},
};

// The cover letters the record stores besides the figures: the figure of
// 2700 each one is written as, its rank in the cloud summary (a layer of a
// higher rank sets the summary's height) and its word.
struct CoverLetter {
  char letter;
  char figure;
  int rank;
  const char *word;
};
inline constexpr CoverLetter kCoverLetters[] = {
    {'C', '0', 0, "clear"},  {'F', '1', 1, "few"},      {'S', '2', 2, "scattered"},
    {'B', '6', 3, "broken"}, {'O', '8', 4, "overcast"}, {'X', '9', 5, "obscured"},
};

// 0200: characteristic of the pressure tendency a; `lower`: the pressure is
// now the same as or lower than three hours before, so the change is
// written negative.
struct TendencyRow {
  int a;
  bool lower;
};
inline constexpr TendencyRow kTable0200[] = {
    {0, false}, {1, false}, {2, false}, {3, false}, {4, false},
    {5, true},  {6, true},  {7, true},  {8, true},
};

// 3850: sign and method of the sea surface temperature, indicator ss.
struct SeaTempRow {
  int ss;
  bool negative;
  const char *method;
};
inline constexpr SeaTempRow kTable3850[] = {
    {0, false, "intake"}, {1, true, "intake"}, {2, false, "bucket"}, {3, true, "bucket"},
    {4, false, "hull contact sensor"}, {5, true, "hull contact sensor"},
    {6, false, "other"}, {7, true, "other"},
};

// 1860: type of station ix: manned or automatic, and in which table its
// present weather is reported (none: no weather group).
enum class WeatherCode : char { none, ww_4677, wawa_4680 };
struct StationTypeRow {
  int ix;
  bool automatic;
  WeatherCode weather;
};
inline constexpr StationTypeRow kTable1860[] = {
    {1, false, WeatherCode::ww_4677}, {2, false, WeatherCode::none},
    {3, false, WeatherCode::none},    {4, true, WeatherCode::ww_4677},
    {5, true, WeatherCode::none},     {6, true, WeatherCode::none},
    {7, true, WeatherCode::wawa_4680},
};

}  // namespace code_tables
