// The variables of the analysis formats (CF netCDF "cf" and CSV "csv"),
// one table that both writers walk in the same order: a column of the CSV
// file is a variable of the netCDF file. Each row names the record's
// quantity it comes from (a row of kSfcFields), so units and conversions
// come from the one description of the record; the row adds the CF name,
// standard_name, units, cell_methods and comment, and the unit analysts
// read in the CSV file.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>

#include "framework/date.hpp"
#include "framework/missing.hpp"
#include "framework/string.hpp"
#include "output/sfc_fields.hpp"
#include "report/wx_tool.hpp"

// How a variable's value is found in the record.
enum class AnaKind : std::uint8_t {
  station_id,    // the report's identifier (text)
  wmo_id,        // WMO block and station number (integer)
  report_type,   // the report's class as a word (text)
  time,          // the full UTC time of the observation
  value,         // a number of the record, converted
  cloud_base,    // the lowest cloud base above ground plus the station height
  cover,         // a cover of table 2700 in oktas (0 to 8)
  code_char,     // a code figure stored as one character
  code_int,      // a code figure stored as an integer
  weather,       // present weather as a figure of table 4677
  station_name,  // from the station file (text)
};

// The netCDF type of a variable.
enum class AnaType : std::uint8_t { string, int32, float32, float64 };

struct AnaVar {
  std::string_view name;    // netCDF variable name
  std::string_view column;  // CSV column: the name, then the CSV unit when it has one
  AnaKind kind;
  AnaType type;
  SfcVar var = SfcVar::id;  // the record's quantity (value, cloud_base, cover, code_*, weather)
  int layer = 0;            // its layer or position
  const char *standard_name = nullptr;
  const char *units = nullptr;  // CF units, as UDUNITS reads them; null: none
  SfcUnit cf_unit = SfcUnit::none;
  double cf_scale = 1.0;  // applied after the conversion to cf_unit
  SfcUnit csv_unit = SfcUnit::none;
  int csv_prec = 0;  // decimals in the CSV file
  const char *long_name = nullptr;
  const char *cell_methods = nullptr;
  const char *comment = nullptr;
};

// The report types as words, by the class of the record ("LA", "SH", ...).
inline constexpr std::string_view kAnaReportTypes[] = {"land", "ship", "buoy", "dribu", "cman", "unknown"};
// The row of kAnaReportTypes of a record.
[[gnu::always_inline]] inline std::size_t ANA_report_index(const SFC_report &r) {
  const char a = r.area[0];
  const char b = a ? r.area[1] : '\0';
  if (a == 'L' && b == 'A') return 0;
  if (a == 'S' && b == 'H') return 1;
  if (a == 'B' && b == 'U') return 2;
  if (a == 'D' && b == 'R') return 3;
  if (a == 'C' && b == 'M') return 4;
  return 5;
}
inline std::string_view ANA_report_type(const SFC_report &r) { return kAnaReportTypes[ANA_report_index(r)]; }

// clang-format off
inline constexpr AnaVar kAnaVars[] = {
    {.name = "station_id", .column = "station_id", .kind = AnaKind::station_id, .type = AnaType::string,
     .long_name = "station identifier (WMO number or call sign)"},
    {.name = "wmo_id", .column = "wmo_id", .kind = AnaKind::wmo_id, .type = AnaType::int32,
     .long_name = "WMO block and station number"},
    {.name = "report_type", .column = "report_type", .kind = AnaKind::report_type, .type = AnaType::string,
     .long_name = "report type", .comment = "land, ship, buoy, dribu (drifting buoy) or cman"},
    {.name = "time", .column = "time", .kind = AnaKind::time, .type = AnaType::float64,
     .standard_name = "time", .units = "seconds since 1970-01-01 00:00:00",
     .long_name = "time of the observation (UTC)"},
    {.name = "latitude", .column = "latitude", .kind = AnaKind::value, .type = AnaType::float32,
     .var = SfcVar::lat, .standard_name = "latitude", .units = "degrees_north", .cf_unit = SfcUnit::deg_north,
     .csv_unit = SfcUnit::deg_north, .csv_prec = 3, .long_name = "latitude"},
    {.name = "longitude", .column = "longitude", .kind = AnaKind::value, .type = AnaType::float32,
     .var = SfcVar::lon, .standard_name = "longitude", .units = "degrees_east", .cf_unit = SfcUnit::deg_east,
     .csv_unit = SfcUnit::deg_east, .csv_prec = 3, .long_name = "longitude"},
    {.name = "altitude", .column = "altitude_m", .kind = AnaKind::value, .type = AnaType::float32,
     .var = SfcVar::elev, .standard_name = "altitude", .units = "m", .cf_unit = SfcUnit::metre,
     .csv_unit = SfcUnit::metre, .csv_prec = 1, .long_name = "station height above mean sea level"},
    {.name = "air_temperature", .column = "air_temperature_degc", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::t, .standard_name = "air_temperature", .units = "K",
     .cf_unit = SfcUnit::kelvin, .csv_unit = SfcUnit::deg_c, .csv_prec = 1, .long_name = "air temperature"},
    {.name = "dew_point_temperature", .column = "dew_point_temperature_degc", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::td, .standard_name = "dew_point_temperature", .units = "K",
     .cf_unit = SfcUnit::kelvin, .csv_unit = SfcUnit::deg_c, .csv_prec = 1, .long_name = "dew point temperature"},
    {.name = "air_pressure_at_mean_sea_level", .column = "air_pressure_at_mean_sea_level_hpa",
     .kind = AnaKind::value, .type = AnaType::float32, .var = SfcVar::pmb,
     .standard_name = "air_pressure_at_mean_sea_level", .units = "Pa", .cf_unit = SfcUnit::pa,
     .csv_unit = SfcUnit::hpa, .csv_prec = 1, .long_name = "sea-level pressure"},
    {.name = "wind_from_direction", .column = "wind_from_direction_deg", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::w_dir, .standard_name = "wind_from_direction", .units = "degree",
     .cf_unit = SfcUnit::degree, .csv_unit = SfcUnit::degree, .csv_prec = 0, .long_name = "wind direction"},
    {.name = "wind_speed", .column = "wind_speed_m_s", .kind = AnaKind::value, .type = AnaType::float32,
     .var = SfcVar::w_spd, .standard_name = "wind_speed", .units = "m s-1", .cf_unit = SfcUnit::m_per_s,
     .csv_unit = SfcUnit::m_per_s, .csv_prec = 1, .long_name = "wind speed"},
    {.name = "wind_speed_of_gust", .column = "wind_speed_of_gust_m_s", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::w_gust, .standard_name = "wind_speed_of_gust", .units = "m s-1",
     .cf_unit = SfcUnit::m_per_s, .csv_unit = SfcUnit::m_per_s, .csv_prec = 1, .long_name = "wind gust"},
    {.name = "visibility_in_air", .column = "visibility_in_air_m", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::vis, .standard_name = "visibility_in_air", .units = "m",
     .cf_unit = SfcUnit::metre, .csv_unit = SfcUnit::metre, .csv_prec = 0, .long_name = "horizontal visibility"},
    {.name = "present_weather", .column = "present_weather_code", .kind = AnaKind::weather,
     .type = AnaType::int32, .var = SfcVar::weather, .long_name = "present weather",
     .comment = "WMO code table 4677 (ww)"},
    {.name = "cloud_area_fraction", .column = "cloud_area_fraction_okta", .kind = AnaKind::cover,
     .type = AnaType::float32, .var = SfcVar::cld_cover, .standard_name = "cloud_area_fraction", .units = "1",
     .cf_scale = 1.0 / 8.0, .csv_prec = 0, .long_name = "total cloud cover",
     .comment = "WMO code table 2700 (N) in oktas, as a fraction of 8 oktas; sky obscured (9) is missing"},
    {.name = "cloud_base_altitude", .column = "cloud_base_altitude_m", .kind = AnaKind::cloud_base,
     .type = AnaType::float32, .var = SfcVar::cld_height, .standard_name = "cloud_base_altitude", .units = "m",
     .cf_unit = SfcUnit::metre, .csv_unit = SfcUnit::metre, .csv_prec = 0, .long_name = "lowest cloud base",
     .comment = "height of the lowest cloud base above ground (WMO code table 1600) plus the station height"},
    {.name = "low_cloud_type", .column = "low_cloud_type_code", .kind = AnaKind::code_char,
     .type = AnaType::int32, .var = SfcVar::cld_type, .layer = 0, .long_name = "type of low clouds",
     .comment = "WMO code table 0513 (CL)"},
    {.name = "middle_cloud_type", .column = "middle_cloud_type_code", .kind = AnaKind::code_char,
     .type = AnaType::int32, .var = SfcVar::cld_type, .layer = 1, .long_name = "type of middle clouds",
     .comment = "WMO code table 0515 (CM)"},
    {.name = "high_cloud_type", .column = "high_cloud_type_code", .kind = AnaKind::code_char,
     .type = AnaType::int32, .var = SfcVar::cld_type, .layer = 2, .long_name = "type of high clouds",
     .comment = "WMO code table 0509 (CH)"},
    {.name = "pressure_tendency_characteristic", .column = "pressure_tendency_characteristic_code",
     .kind = AnaKind::code_int, .type = AnaType::int32, .var = SfcVar::ptend_t,
     .long_name = "characteristic of the pressure tendency", .comment = "WMO code table 0200 (a)"},
    {.name = "tendency_of_air_pressure", .column = "tendency_of_air_pressure_hpa_3h", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::ptend, .standard_name = "tendency_of_air_pressure",
     .units = "Pa s-1", .cf_unit = SfcUnit::pa, .cf_scale = 1.0 / 10800.0, .csv_unit = SfcUnit::hpa,
     .csv_prec = 1, .long_name = "pressure tendency", .cell_methods = "time: mean (interval: 3 hours)",
     .comment = "change of the station pressure over the 3 hours before the observation, divided by 3 hours"},
    {.name = "precipitation_amount_1h", .column = "precipitation_amount_1h_mm", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::rain1, .standard_name = "precipitation_amount", .units = "kg m-2",
     .cf_unit = SfcUnit::mm, .csv_unit = SfcUnit::mm, .csv_prec = 1, .long_name = "precipitation in 1 hour",
     .cell_methods = "time: sum (interval: 1 hour)", .comment = "amount over the hour before the observation"},
    {.name = "precipitation_amount_3h", .column = "precipitation_amount_3h_mm", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::rain3, .standard_name = "precipitation_amount", .units = "kg m-2",
     .cf_unit = SfcUnit::mm, .csv_unit = SfcUnit::mm, .csv_prec = 1, .long_name = "precipitation in 3 hours",
     .cell_methods = "time: sum (interval: 3 hours)", .comment = "amount over the 3 hours before the observation"},
    {.name = "precipitation_amount_6h", .column = "precipitation_amount_6h_mm", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::rain6, .standard_name = "precipitation_amount", .units = "kg m-2",
     .cf_unit = SfcUnit::mm, .csv_unit = SfcUnit::mm, .csv_prec = 1, .long_name = "precipitation in 6 hours",
     .cell_methods = "time: sum (interval: 6 hours)", .comment = "amount over the 6 hours before the observation"},
    {.name = "precipitation_amount_12h", .column = "precipitation_amount_12h_mm", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::rain12, .standard_name = "precipitation_amount",
     .units = "kg m-2", .cf_unit = SfcUnit::mm, .csv_unit = SfcUnit::mm, .csv_prec = 1,
     .long_name = "precipitation in 12 hours", .cell_methods = "time: sum (interval: 12 hours)",
     .comment = "amount over the 12 hours before the observation"},
    {.name = "precipitation_amount_24h", .column = "precipitation_amount_24h_mm", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::rain24, .standard_name = "precipitation_amount",
     .units = "kg m-2", .cf_unit = SfcUnit::mm, .csv_unit = SfcUnit::mm, .csv_prec = 1,
     .long_name = "precipitation in 24 hours", .cell_methods = "time: sum (interval: 24 hours)",
     .comment = "amount over the 24 hours before the observation"},
    {.name = "air_temperature_max", .column = "air_temperature_max_degc", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::max_t, .standard_name = "air_temperature", .units = "K",
     .cf_unit = SfcUnit::kelvin, .csv_unit = SfcUnit::deg_c, .csv_prec = 1, .long_name = "maximum temperature",
     .cell_methods = "time: maximum", .comment = "over the period the report gives (12 or 24 hours)"},
    {.name = "air_temperature_min", .column = "air_temperature_min_degc", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::min_t, .standard_name = "air_temperature", .units = "K",
     .cf_unit = SfcUnit::kelvin, .csv_unit = SfcUnit::deg_c, .csv_prec = 1, .long_name = "minimum temperature",
     .cell_methods = "time: minimum", .comment = "over the period the report gives (12 or 24 hours)"},
    {.name = "air_temperature_max_6h", .column = "air_temperature_max_6h_degc", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::max6_t, .standard_name = "air_temperature", .units = "K",
     .cf_unit = SfcUnit::kelvin, .csv_unit = SfcUnit::deg_c, .csv_prec = 1,
     .long_name = "6-hour maximum temperature", .cell_methods = "time: maximum (interval: 6 hours)"},
    {.name = "air_temperature_min_6h", .column = "air_temperature_min_6h_degc", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::min6_t, .standard_name = "air_temperature", .units = "K",
     .cf_unit = SfcUnit::kelvin, .csv_unit = SfcUnit::deg_c, .csv_prec = 1,
     .long_name = "6-hour minimum temperature", .cell_methods = "time: minimum (interval: 6 hours)"},
    {.name = "surface_snow_thickness", .column = "surface_snow_thickness_mm", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::scover, .standard_name = "surface_snow_thickness", .units = "m",
     .cf_unit = SfcUnit::metre, .csv_unit = SfcUnit::mm, .csv_prec = 0, .long_name = "snow depth"},
    {.name = "duration_of_sunshine", .column = "duration_of_sunshine_min", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::solar, .standard_name = "duration_of_sunshine", .units = "s",
     .cf_unit = SfcUnit::second, .csv_unit = SfcUnit::minute, .csv_prec = 0, .long_name = "sunshine duration",
     .cell_methods = "time: sum", .comment = "over the day before the observation"},
    {.name = "sea_surface_temperature", .column = "sea_surface_temperature_degc", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::sst, .standard_name = "sea_surface_temperature", .units = "K",
     .cf_unit = SfcUnit::kelvin, .csv_unit = SfcUnit::deg_c, .csv_prec = 1, .long_name = "sea surface temperature"},
    {.name = "sea_surface_wind_wave_period", .column = "sea_surface_wind_wave_period_s", .kind = AnaKind::value,
     .type = AnaType::float32, .var = SfcVar::wav_per, .standard_name = "sea_surface_wind_wave_period",
     .units = "s", .cf_unit = SfcUnit::second, .csv_unit = SfcUnit::second, .csv_prec = 0,
     .long_name = "period of wind waves"},
    {.name = "sea_surface_wind_wave_significant_height", .column = "sea_surface_wind_wave_significant_height_m",
     .kind = AnaKind::value, .type = AnaType::float32, .var = SfcVar::wav_hgt,
     .standard_name = "sea_surface_wind_wave_significant_height", .units = "m", .cf_unit = SfcUnit::metre,
     .csv_unit = SfcUnit::metre, .csv_prec = 1, .long_name = "height of wind waves"},
    {.name = "station_name", .column = "station_name", .kind = AnaKind::station_name, .type = AnaType::string,
     .long_name = "station name from the station file"},
};
// clang-format on

constexpr std::size_t kAnaVarCount = std::size(kAnaVars);

// The row of kSfcConversions from one unit to another: -1 for the same
// unit, -2 when there is none. (By index: the sanitizers' builds cannot
// compare pointers while compiling.)
constexpr int ana_conversion(SfcUnit from, SfcUnit to) {
  if (from == to) return -1;
  for (std::size_t i = 0; i < std::size(kSfcConversions); ++i)
    if (kSfcConversions[i].from == from && kSfcConversions[i].to == to) return static_cast<int>(i);
  return -2;
}

// The CSV header line's columns and the netCDF names hold only letters,
// digits and underscores (no quoting needed); a column starts with its
// variable's name; every number reaches both its units from the record's.
constexpr bool ana_rows_hold() {
  for (const AnaVar &v : kAnaVars) {
    for (char c : v.column)
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    if (v.column.substr(0, v.name.size()) != v.name) return false;
    if (v.column.size() != v.name.size() && v.column[v.name.size()] != '_') return false;
    if (v.name.data()[v.name.size()] != '\0') return false;  // handed to the library as it is
    if (v.kind == AnaKind::value || v.kind == AnaKind::cloud_base) {
      const SfcField &f = SFC_field(v.var);
      if (ana_conversion(f.unit, v.cf_unit) == -2 || ana_conversion(f.unit, v.csv_unit) == -2) return false;
    }
  }
  return true;
}
static_assert(ana_rows_hold(), "kAnaVars: a bad column name or a unit that cannot be reached");

// The WMO code (table 4677) of a present weather text, as WX_weather_wmo
// gives it, remembered by the text for texts of up to 7 bytes: a feed
// repeats a few texts, and the lookup walks a table of prefixes. `text`
// has 8 readable bytes and does not start with its NUL. (One thread writes
// a file's values.)
struct AnaWeatherMemo {
  std::uint64_t key = 0;  // the text's bytes, zeros after it; 0: empty
  int ww = 0;
};
inline std::array<AnaWeatherMemo, 256> g_ana_weather{};
[[gnu::always_inline]] inline int ANA_weather_code(const char *text) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t w;
    std::memcpy(&w, text, sizeof w);
    // The top bit of each zero byte, exact up to the first one.
    const std::uint64_t z = (w - 0x0101010101010101ULL) & ~w & 0x8080808080808080ULL;
    if (z != 0) {
      const int len = std::countr_zero(z) / 8;  // 1 to 7
      const std::uint64_t key = w & ((std::uint64_t{1} << (8 * len)) - 1);
      AnaWeatherMemo &m = g_ana_weather[(key * 0x9E3779B97F4A7C15ULL) >> 56];
      if (m.key != key) m = {key, WX_weather_wmo(text)};
      return m.ww;
    }
  }
  return WX_weather_wmo(text);
}

// Does the report have a WMO number (wmo_id), a present weather text
// (present_weather: not empty, not blank, as the text layouts decide)?
[[gnu::always_inline]] inline bool ANA_has_wmo(const SFC_report &r) { return r.wmo > 0 && r.wmo < 99999; }
[[gnu::always_inline]] inline bool ANA_has_weather(const SFC_report &r) {
  static_assert(sizeof r.weather >= 8, "ANA_weather_code reads 8 bytes");
  return r.weather[0] != '\0' && r.weather[0] != ' ';
}

// A variable's value for one report in the record's unit, or NaN when the
// report has none (also for texts and the time).
double ANA_record_value(const AnaVar &v, const SFC_report &r);

// The same for variable `I`, its row known while compiling: the usual kinds
// (a float or an int of the record, a code figure) are read in place, so
// that a writer walking the table pays no call and no switch per value.
template <std::size_t I>
[[gnu::always_inline]] inline double ANA_value(const SFC_report &r) {
  constexpr const AnaVar &v = kAnaVars[I];
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  if constexpr (v.kind == AnaKind::value && SFC_field(v.var).source == SfcSource::real) {
    constexpr const SfcField &f = SFC_field(v.var);
    const float x = r.*(f.real);
    return SFC_present(f.present, x) && std::isfinite(x) ? x : kNaN;
  } else if constexpr (v.kind == AnaKind::code_char && SFC_field(v.var).source == SfcSource::chars) {
    constexpr const SfcField &f = SFC_field(v.var);
    static_assert(v.layer >= 0 && static_cast<std::size_t>(v.layer) < f.count);
    const char c = reinterpret_cast<const char *>(&r)[f.offset + static_cast<std::size_t>(v.layer)];
    return c >= '0' && c <= '9' ? c - '0' : kNaN;
  } else if constexpr (v.kind == AnaKind::code_int) {
    const int x = r.*(SFC_field(v.var).integer);
    return x >= 0 && x <= 9 ? x : kNaN;
  } else if constexpr (v.kind == AnaKind::wmo_id) {
    return ANA_has_wmo(r) ? r.wmo : kNaN;
  } else if constexpr (v.kind == AnaKind::cover && SFC_field(v.var).source == SfcSource::chars) {
    constexpr const SfcField &f = SFC_field(v.var);
    static_assert(v.layer >= 0 && static_cast<std::size_t>(v.layer) < f.count);
    char c = reinterpret_cast<const char *>(&r)[f.offset + static_cast<std::size_t>(v.layer)];
    // A figure is its own code; a category letter or a blank is looked up.
    if (c < '0' || c > '9') c = WX_cover_code(c);
    return c >= '0' && c <= '8' ? c - '0' : kNaN;
  } else if constexpr (v.kind == AnaKind::cloud_base && SFC_field(v.var).source == SfcSource::layers) {
    constexpr const SfcField &f = SFC_field(v.var);
    static_assert(v.layer >= 0 && static_cast<std::size_t>(v.layer) < f.count);
    float h;
    std::memcpy(&h, reinterpret_cast<const char *>(&r) + f.offset + static_cast<std::size_t>(v.layer) * sizeof h,
                sizeof h);
    if (tv::is_miss(h) || !(h >= 0)) return kNaN;
    // Above ground as reported; the station's height (in feet, the record's
    // unit for clouds) makes it an altitude.
    const double elev = tv::is_miss(r.elev) || !std::isfinite(r.elev) ? 0.0 : r.elev / 0.3048;
    const double x = h + elev;
    return std::isfinite(x) ? x : kNaN;
  } else if constexpr (v.kind == AnaKind::weather && v.var == SfcVar::weather) {
    return ANA_has_weather(r) ? ANA_weather_code(r.weather) : kNaN;
  } else {
    return ANA_record_value(v, r);
  }
}

// The conversions from the record's unit to the netCDF file's and the CSV
// file's, worked out while compiling: every one is y = a + b * x, so a
// value costs one multiply and one add.
struct AnaLinear {
  double a = 0.0;
  double b = 1.0;
};
constexpr AnaLinear ana_linear(SfcUnit from, SfcUnit to, double scale) {
  const int i = ana_conversion(from, to);
  if (i < 0) return {0.0, scale};
  // to = factor * (from + offset) / divisor + after
  const SfcConversion &c = kSfcConversions[i];
  return {(c.factor * c.offset / c.divisor + c.after) * scale, c.factor / c.divisor * scale};
}
template <bool Cf>
constexpr std::array<AnaLinear, kAnaVarCount> ana_linears() {
  std::array<AnaLinear, kAnaVarCount> t{};
  for (std::size_t i = 0; i < kAnaVarCount; ++i) {
    const AnaVar &v = kAnaVars[i];
    const SfcUnit from = SFC_field(v.var).unit;
    t[i] = Cf ? ana_linear(from, v.cf_unit, v.cf_scale) : ana_linear(from, v.csv_unit, 1.0);
  }
  return t;
}
inline constexpr std::array<AnaLinear, kAnaVarCount> kAnaCf = ana_linears<true>();
inline constexpr std::array<AnaLinear, kAnaVarCount> kAnaCsv = ana_linears<false>();

// Variable `i`'s value (in the record's unit) in the netCDF file's unit and
// in the CSV file's unit.
inline double ANA_cf_value(std::size_t i, double record_value) { return kAnaCf[i].a + kAnaCf[i].b * record_value; }
inline double ANA_csv_value(std::size_t i, double record_value) {
  return kAnaCsv[i].a + kAnaCsv[i].b * record_value;
}

// The observation's UTC time, worked out once per file: the file's date
// and hour with the report's minute; a report of the hour before the
// file's hour is dated an hour back (as the netCDF layout has always done).
class AnaClock {
 public:
  void set(const Date &file_date);
  // Seconds since 1970-01-01 00:00:00 UTC.
  double seconds(int hhmm) const;
  // "2022-03-21T12:00:00Z" into `out` (20 bytes, no terminator).
  void iso(int hhmm, char *out) const;
  // The same at `p` in a few stores (the date and hour copied whole, the
  // minute from the digit pairs); the end of the text.
  [[gnu::always_inline]] char *put_iso(int hhmm, char *p) const {
    const bool ok = !tv::is_miss(hhmm) && hhmm >= 0;
    const int h = ok ? hhmm / 100 % 24 : hour_;
    const int m = ok && hhmm % 100 < 60 ? hhmm % 100 : 0;
    std::memcpy(p, hour_text_[static_cast<std::size_t>(h)], 16);
    std::memcpy(p + 14, &str_detail::kPairs[2 * static_cast<std::size_t>(m)], 2);
    std::memcpy(p + 16, ":00Z", 4);
    return p + 20;
  }

 private:
  int hour_ = 0;  // the file's hour
  // Where each hour of day lies next to the file's hour (the run's window
  // placement): its start in seconds and its "YYYY-MM-DDTHH:" with room for
  // two more bytes (copied whole, then overwritten).
  std::int64_t hour_start_[24] = {};
  char hour_text_[24][16] = {};
};

// ISO 8601 UTC text of `seconds` since 1970 ("2022-03-21T12:00:00Z").
void ANA_iso_time(double seconds, char *out, std::size_t size);
