// The output record described once: every quantity a converted data file
// can hold, with its unit in the record, when it counts as present, and how
// each format writes it (the text layouts and the XML attribute as printf
// forms, the netCDF variable with its type, shape, unit and attributes).
// The writers of every format take names, units, scales and precisions from
// here; a new format reads the same rows (SFC_value, SFC_convert).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "framework/missing.hpp"
#include "report/sfc_tool.hpp"

// ----- units -----------------------------------------------------------------

enum class SfcUnit : std::uint8_t {
  none,  // texts, code figures, counts
  hhmm,  // hours and minutes as one number
  deg_north,
  deg_east,
  degree,  // a direction
  deg_f,
  deg_c,
  kelvin,
  mb,
  hpa,
  pa,
  in_hg,
  knot,
  m_per_s,
  mile,  // statute mile
  km,
  metre,
  foot,
  inch,
  mm,
  second,
  minute,
  hour,
};

// The unit's symbol as UDUNITS writes it ("degC", "m s-1", "hPa").
std::string_view SFC_unit_symbol(SfcUnit unit);

// Which factors a conversion uses: the exact ones, or those the netCDF
// files of this program have always been written with (rounded: 0.5144 for
// knots, 1.60934 for miles, 33.85399 for inches of mercury).
enum class SfcFactors : std::uint8_t { exact, zot };

// to = factor * (from + offset) / divisor + after.
struct SfcConversion {
  SfcUnit from;
  SfcUnit to;
  double factor;
  double zot_factor;
  double offset = 0.0;
  double divisor = 1.0;
  double after = 0.0;
};

inline constexpr SfcConversion kSfcConversions[] = {
    {SfcUnit::deg_f, SfcUnit::deg_c, 5.0, 5.0, -32.0, 9.0},
    {SfcUnit::deg_f, SfcUnit::kelvin, 5.0, 5.0, -32.0, 9.0, 273.15},
    {SfcUnit::deg_c, SfcUnit::kelvin, 1.0, 1.0, 0.0, 1.0, 273.15},
    {SfcUnit::mb, SfcUnit::hpa, 1.0, 1.0},
    {SfcUnit::mb, SfcUnit::pa, 100.0, 100.0},
    {SfcUnit::in_hg, SfcUnit::hpa, 33.8638866667, 33.85399},
    {SfcUnit::in_hg, SfcUnit::pa, 3386.38866667, 3385.399},
    {SfcUnit::knot, SfcUnit::m_per_s, 1852.0 / 3600.0, 0.5144},
    {SfcUnit::mile, SfcUnit::km, 1.609344, 1.60934},
    {SfcUnit::mile, SfcUnit::metre, 1609.344, 1609.34},
    {SfcUnit::foot, SfcUnit::metre, 0.3048, 0.3048},
    {SfcUnit::inch, SfcUnit::mm, 25.4, 25.4},
    {SfcUnit::inch, SfcUnit::metre, 0.0254, 0.0254},
    {SfcUnit::minute, SfcUnit::second, 60.0, 60.0},
    {SfcUnit::hour, SfcUnit::second, 3600.0, 3600.0},
};

// The row of the conversion in kSfcConversions, or -1. Constant
// expressions use the row, not the pointer: the sanitizer build does not
// take a comparison of such a pointer as a constant.
constexpr int SFC_conversion_row(SfcUnit from, SfcUnit to) {
  for (std::size_t i = 0; i < std::size(kSfcConversions); ++i)
    if (kSfcConversions[i].from == from && kSfcConversions[i].to == to) return static_cast<int>(i);
  return -1;
}

constexpr bool SFC_convertible(SfcUnit from, SfcUnit to) {
  return from == to || SFC_conversion_row(from, to) >= 0;
}

// The same with both units known while compiling: the factors are
// constants of the code.
template <SfcUnit From, SfcUnit To, SfcFactors Factors = SfcFactors::exact>
constexpr double SFC_convert_to(double v) {
  constexpr int row = From == To ? -1 : SFC_conversion_row(From, To);
  if constexpr (row < 0) {
    return v;
  } else {
    constexpr SfcConversion c = kSfcConversions[row];
    constexpr double k = Factors == SfcFactors::zot ? c.zot_factor : c.factor;
    double r;
    if constexpr (c.offset == 0.0)
      r = k * v;
    else
      r = k * (v + c.offset);
    if constexpr (c.divisor != 1.0) r /= c.divisor;
    if constexpr (c.after != 0.0) r += c.after;
    return r;
  }
}

// `v` in unit `to`, computed in double precision. The caller deals with
// missing values first. Units without a conversion give `v` unchanged.
constexpr double SFC_convert(SfcUnit from, SfcUnit to, double v,
                             SfcFactors factors = SfcFactors::exact) {
  const int i = from == to ? -1 : SFC_conversion_row(from, to);
  if (i < 0) return v;
  const SfcConversion &c = kSfcConversions[i];
  const double k = factors == SfcFactors::zot ? c.zot_factor : c.factor;
  // A pure factor leaves the sign of a zero as it is.
  double r = c.offset == 0.0 ? k * v : k * (v + c.offset);
  if (c.divisor != 1.0) r /= c.divisor;
  if (c.after != 0.0) r += c.after;
  return r;
}

// ----- printf forms ------------------------------------------------------------

// One conversion of a printf form: "%W.Pf", "%0Wd", "%W.Pd", "%W.Ps", "%c".
struct SfcConv {
  char conv = 0;
  bool zero = false;
  int width = 0;
  int prec = -1;
};

// A printf form with up to three conversions: text[0] conv[0] text[1] ...
// text[n]. Forms are parsed while compiling; a form with anything else
// does not compile.
struct SfcForm {
  std::array<std::string_view, 4> text{};
  std::array<SfcConv, 3> conv{};
  int n = 0;
};

constexpr SfcForm SFC_parse_form(std::string_view f) {
  SfcForm out;
  std::size_t from = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') continue;
    if (out.n == 3) throw "a form has at most three conversions";
    out.text[static_cast<std::size_t>(out.n)] = f.substr(from, i - from);
    SfcConv &c = out.conv[static_cast<std::size_t>(out.n)];
    ++i;
    if (i < f.size() && f[i] == '0') {
      c.zero = true;
      ++i;
    }
    for (; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i) c.width = c.width * 10 + (f[i] - '0');
    if (i < f.size() && f[i] == '.') {
      c.prec = 0;
      for (++i; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i) c.prec = c.prec * 10 + (f[i] - '0');
    }
    if (i >= f.size() || (f[i] != 'f' && f[i] != 'd' && f[i] != 's' && f[i] != 'c'))
      throw "a form's conversions are f, d, s and c";
    c.conv = f[i];
    from = i + 1;
    ++out.n;
  }
  out.text[static_cast<std::size_t>(out.n)] = f.substr(from);
  return out;
}

// ----- the record's quantities ---------------------------------------------------

// One name per row of kSfcFields, in the same order.
enum class SfcVar : std::uint8_t {
  id, area, time, lat, lon, elev, t, td, pmb, alt, w_spd, w_dir, w_gust, weather,
  cld_height, cld_cover, cld_type, vis, ptend_t, ptend, precip, precip_hours, scover, sst,
  wav_per, wav_hgt, max_t, min_t, max6_t, min6_t, solar, comment, num_cld,
  rain1, rain3, rain6, rain12, rain24,
};

// Where a quantity's value is in the record.
enum class SfcSource : std::uint8_t {
  real,          // one float
  integer,       // one int
  text,          // a NUL-terminated text of at most `count` bytes
  chars,         // `count` characters, one per layer or level
  layers,        // `count` floats, one per cloud layer
  precip,        // the 24-hour amount, or else the 6-hour one
  precip_hours,  // the hours of that amount: 24 or 6
};

// When a value counts as present in the text and XML layouts. The missing
// value itself is always -9999 (tv::kMissFloat, tv::kMissInt).
enum class SfcPresent : std::uint8_t {
  not_missing,   // anything but -9999
  not_negative,  // 0 or more (amounts, gusts, durations)
  not_blank,     // a text whose first character is not a blank
  not_empty,     // a text with at least one character
};

// How a quantity is written in a text layout: its printf form (the key
// letters, the conversion, any text after it), the power of ten the value
// is multiplied by first (in single precision; a negative power divides),
// and what stands in its place when it is missing (nothing when empty).
// `fine_form` is used for values below `fine_below` (visibility).
struct SfcText {
  std::string_view form{};
  int exp10 = 0;
  std::string_view missing{};
  bool ext = false;  // only in the layout with the extra groups (type 4)
  std::string_view fine_form{};
  float fine_below = 0.0f;
};

// The XML attribute: its printf form (name, value, closing quote and
// blank) and the unit the value is converted to (none: the record's).
struct SfcXml {
  std::string_view form{};
  SfcUnit unit = SfcUnit::none;
  std::string_view fine_form{};
  float fine_below = 0.0f;
};

// netCDF variables. Type numbers are the library's.
enum class CdfType : std::uint8_t { byte = 1, text = 2, real = 5 };
// The second dimension of a variable; `report` alone: one value a report.
enum class CdfDim : std::uint8_t { report, time_len, id_len, layers, remarks_len };
// The synoptic hours of the file for which a variable is defined.
enum class CdfHours : std::uint8_t { all, every3, every6, every12, extremes, hour8 };
// How a value is stored: as it is (converted to the variable's unit), or
// through a code table.
enum class CdfStore : std::uint8_t {
  value,        // numbers converted; texts with their terminator
  time_label,   // the observation time as a date label
  wmo_weather,  // WMO table 4677 figure of the weather text, one byte
  wmo_cover,    // WMO table 2700 figure of each layer's cover
  figure,       // a code figure's value as one byte; "/" when missing
  chars,        // characters, "/" for a blank
};

struct SfcCdf {
  std::string_view name{};  // empty: not in the netCDF record
  CdfType type = CdfType::real;
  CdfDim dim = CdfDim::report;
  SfcUnit unit = SfcUnit::none;
  const char *long_name = nullptr;
  const char *units = nullptr;  // the "units" attribute
  bool fill = true;             // a "_FillValue" attribute of -9999
  CdfHours hours = CdfHours::all;
  CdfStore store = CdfStore::value;
};

struct SfcField {
  SfcVar var;
  std::string_view name;  // the record field
  SfcUnit unit;           // its unit in the record
  SfcSource source;
  float SFC_report::*real = nullptr;
  int SFC_report::*integer = nullptr;
  std::size_t offset = 0;  // text, chars, layers: where they start in the record
  std::size_t count = 0;   // and how many bytes or values
  SfcPresent present = SfcPresent::not_missing;
  SfcText text{};  // the current text layout (types 3 and 4)
  SfcText old{};   // the older text layout (type 2)
  SfcXml xml{};
  SfcCdf cdf{};
};

// The dimensions of the netCDF record, in the order they are defined;
// size 0 is the unlimited record dimension.
struct SfcCdfDim {
  const char *name;
  int size;
};
inline constexpr SfcCdfDim kSfcCdfDims[] = {
    {"report", 0}, {"time_len", 20}, {"id_len", 12}, {"layers", 4}, {"remarks_len", 100},
};

// The rows, in the order of the netCDF record's variables; those without a
// netCDF variable last.
// clang-format off
inline constexpr SfcField kSfcFields[] = {
    {.var = SfcVar::id, .name = "id", .unit = SfcUnit::none, .source = SfcSource::text,
     .offset = offsetof(SFC_report, id), .count = sizeof SFC_report::id,
     .text = {.form = "%s "}, .old = {.form = "%s "}, .xml = {.form = "id=\"%s\" "},
     .cdf = {.name = "id", .type = CdfType::text, .dim = CdfDim::id_len, .long_name = "station id",
             .fill = false}},
    {.var = SfcVar::area, .name = "area", .unit = SfcUnit::none, .source = SfcSource::text,
     .offset = offsetof(SFC_report, area), .count = sizeof SFC_report::area,
     .cdf = {.name = "region", .type = CdfType::text, .dim = CdfDim::id_len, .long_name = "region id",
             .fill = false}},
    {.var = SfcVar::time, .name = "time", .unit = SfcUnit::hhmm, .source = SfcSource::integer,
     .integer = &SFC_report::time,
     .text = {.form = " @%4.4d"}, .xml = {.form = "time.hhmm=\"%4.4d\" "},
     .cdf = {.name = "time", .type = CdfType::text, .dim = CdfDim::time_len, .long_name = "time",
             .units = "text_time", .fill = false, .store = CdfStore::time_label}},
    {.var = SfcVar::lat, .name = "lat", .unit = SfcUnit::deg_north, .source = SfcSource::real,
     .real = &SFC_report::lat,
     .text = {.form = " L%1.0f", .exp10 = 1}, .old = {.form = "L%4d.", .exp10 = 1},
     .xml = {.form = "lat=\"%.2f\" "},
     .cdf = {.name = "lat", .unit = SfcUnit::deg_north, .long_name = "latitude", .units = "degrees_N"}},
    {.var = SfcVar::lon, .name = "lon", .unit = SfcUnit::deg_east, .source = SfcSource::real,
     .real = &SFC_report::lon,
     .text = {.form = ",%1.0f", .exp10 = 1}, .old = {.form = "%5d.", .exp10 = 1},
     .xml = {.form = "lon=\"%.2f\" "},
     .cdf = {.name = "lon", .unit = SfcUnit::deg_east, .long_name = "longitude", .units = "degrees_E"}},
    {.var = SfcVar::elev, .name = "elev", .unit = SfcUnit::metre, .source = SfcSource::real,
     .real = &SFC_report::elev,
     .cdf = {.name = "elev", .unit = SfcUnit::metre, .long_name = "elevation", .units = "meters"}},
    {.var = SfcVar::t, .name = "t", .unit = SfcUnit::deg_f, .source = SfcSource::real,
     .real = &SFC_report::t,
     .text = {.form = "%3.0f ", .exp10 = 1, .missing = "-99 "}, .old = {.form = "%3d.", .missing = "-99."},
     .xml = {.form = "temp.C=\"%.1f\" ", .unit = SfcUnit::deg_c},
     .cdf = {.name = "T", .unit = SfcUnit::deg_c, .long_name = "temperature", .units = "celsius"}},
    {.var = SfcVar::td, .name = "td", .unit = SfcUnit::deg_f, .source = SfcSource::real,
     .real = &SFC_report::td,
     .text = {.form = "%3.0f ", .exp10 = 1, .missing = "-99 "}, .old = {.form = "%3d.", .missing = "-99."},
     .xml = {.form = "dewp.C=\"%.1f\" ", .unit = SfcUnit::deg_c},
     .cdf = {.name = "TD", .unit = SfcUnit::deg_c, .long_name = "dew point", .units = "celsius"}},
    {.var = SfcVar::pmb, .name = "pmb", .unit = SfcUnit::mb, .source = SfcSource::real,
     .real = &SFC_report::pmb,
     .text = {.form = "%3d ", .exp10 = 1, .missing = "-99 "}, .old = {.form = "%3d.", .exp10 = 1, .missing = "-99."},
     .xml = {.form = "slpr.mb=\"%.1f\" ", .unit = SfcUnit::mb},
     .cdf = {.name = "PSL", .unit = SfcUnit::hpa, .long_name = "sealevel pressure", .units = "hectopascals"}},
    {.var = SfcVar::alt, .name = "alt", .unit = SfcUnit::in_hg, .source = SfcSource::real,
     .real = &SFC_report::alt,
     .text = {.form = "%3d ", .exp10 = 2, .missing = "-99 "}, .old = {.form = "%3d.", .exp10 = 2, .missing = "-99."},
     .xml = {.form = "alt.in=\"%.2f\" ", .unit = SfcUnit::in_hg},
     .cdf = {.name = "ALTIM", .unit = SfcUnit::hpa, .long_name = "altimeter setting", .units = "hectopascals"}},
    // The text layouts write the wind as one group on the direction's row
    // (ddff); from 100 kt on, direction and speed each in the speed's form.
    {.var = SfcVar::w_spd, .name = "w_spd", .unit = SfcUnit::knot, .source = SfcSource::real,
     .real = &SFC_report::w_spd,
     .text = {.form = "%03d"},
     .xml = {.form = "wspd.knt=\"%.0f\" ", .unit = SfcUnit::knot},
     .cdf = {.name = "SPD", .unit = SfcUnit::m_per_s, .long_name = "wind speed", .units = "meters/second"}},
    {.var = SfcVar::w_dir, .name = "w_dir", .unit = SfcUnit::degree, .source = SfcSource::real,
     .real = &SFC_report::w_dir,
     .text = {.form = "%04d ", .missing = "-999 "}, .old = {.form = "%04d.", .exp10 = 1, .missing = "-999."},
     .xml = {.form = "wdir.deg=\"%.0f\" ", .unit = SfcUnit::degree},
     .cdf = {.name = "DIR", .unit = SfcUnit::degree, .long_name = "wind direction", .units = "degrees"}},
    {.var = SfcVar::w_gust, .name = "w_gust", .unit = SfcUnit::knot, .source = SfcSource::real,
     .real = &SFC_report::w_gust, .present = SfcPresent::not_negative,
     .text = {.form = " G%3.0f"}, .old = {.form = "G%3.0f."},
     .xml = {.form = "wgust.knt=\"%.0f\" ", .unit = SfcUnit::knot},
     .cdf = {.name = "GUST", .unit = SfcUnit::m_per_s, .long_name = "wind gusts", .units = "meters/second"}},
    {.var = SfcVar::weather, .name = "weather", .unit = SfcUnit::none, .source = SfcSource::text,
     .offset = offsetof(SFC_report, weather), .count = sizeof SFC_report::weather,
     .present = SfcPresent::not_blank,
     .text = {.form = "%s", .missing = "-"}, .old = {.form = "%s.", .missing = " ."},
     .xml = {.form = "wx=\"%s\" "},
     .cdf = {.name = "WX", .type = CdfType::byte, .dim = CdfDim::layers, .long_name = "weather",
             .units = "WMO table 4677", .fill = false, .store = CdfStore::wmo_weather}},
    {.var = SfcVar::cld_height, .name = "cld_height", .unit = SfcUnit::foot, .source = SfcSource::layers,
     .offset = offsetof(SFC_report, cld_height), .count = sizeof SFC_report::cld_height / sizeof(float),
     .text = {.form = "%1.0f", .exp10 = -2, .missing = "-99"}, .old = {.form = "%3.0f", .exp10 = -2},
     .xml = {.form = "cld_hgt_%d.ft=\"%.0f\" ", .unit = SfcUnit::foot},
     .cdf = {.name = "ZCL", .dim = CdfDim::layers, .unit = SfcUnit::metre, .long_name = "cloudbase",
             .units = "meters"}},
    // Cover letters (C F S B O X), okta figures, or a blank when unknown.
    {.var = SfcVar::cld_cover, .name = "cld_cover", .unit = SfcUnit::none, .source = SfcSource::chars,
     .offset = offsetof(SFC_report, cld_cover), .count = sizeof SFC_report::cld_cover,
     .text = {.form = "%c", .missing = "M"}, .old = {.form = "%c."},
     .xml = {.form = "cld_cov_%d=\"%c\" "},
     .cdf = {.name = "CC", .type = CdfType::text, .dim = CdfDim::layers, .long_name = "cloudcover",
             .units = "WMO table 2700", .fill = false, .store = CdfStore::wmo_cover}},
    {.var = SfcVar::cld_type, .name = "cld_type", .unit = SfcUnit::none, .source = SfcSource::chars,
     .offset = offsetof(SFC_report, cld_type), .count = sizeof SFC_report::cld_type,
     .present = SfcPresent::not_blank,
     .text = {.form = " C%3.3s"}, .old = {.form = "C%3.3s."},
     .xml = {.form = "lcld=\"%c\" mcld=\"%c\" hcld=\"%c\" "},
     .cdf = {.name = "cloudtype", .type = CdfType::text, .dim = CdfDim::layers, .long_name = "cloudtypes",
             .units = "WMO tables 0509, 0513, 0515", .fill = false, .store = CdfStore::chars}},
    {.var = SfcVar::vis, .name = "vis", .unit = SfcUnit::mile, .source = SfcSource::real,
     .real = &SFC_report::vis,
     .text = {.form = "%.1f ", .missing = "-99 ", .fine_form = "%.2f ", .fine_below = 5.0f},
     .old = {.form = "%3d.", .exp10 = 1, .missing = "-99."},
     .xml = {.form = "vis.mi=\"%.1f\" ", .unit = SfcUnit::mile, .fine_form = "vis.mi=\"%.2f\" ",
             .fine_below = 5.0f},
     .cdf = {.name = "VIS", .unit = SfcUnit::km, .long_name = "visibility", .units = "kilometers"}},
    // The tendency's figure and amount are one group: present with the amount.
    {.var = SfcVar::ptend_t, .name = "ptend_t", .unit = SfcUnit::none, .source = SfcSource::integer,
     .integer = &SFC_report::ptend_t,
     .text = {.form = " P%d"}, .old = {.form = "P%3d."},
     .xml = {.form = "ptype=\"%d\" "},
     .cdf = {.name = "Ptend", .type = CdfType::text, .long_name = "Pressure tendency",
             .units = "WMO table 0200", .fill = false, .hours = CdfHours::every3, .store = CdfStore::figure}},
    {.var = SfcVar::ptend, .name = "ptend", .unit = SfcUnit::mb, .source = SfcSource::real,
     .real = &SFC_report::ptend,
     .text = {.form = "%3.0f", .exp10 = 1}, .old = {.exp10 = 1},
     .xml = {.form = "ptend.mb=\"%.1f\" ", .unit = SfcUnit::mb},
     .cdf = {.name = "delP", .unit = SfcUnit::hpa, .long_name = "Pressure change", .units = "hectopascals",
             .hours = CdfHours::every3}},
    {.var = SfcVar::precip, .name = "precip", .unit = SfcUnit::inch, .source = SfcSource::precip,
     .cdf = {.name = "PRECIP", .unit = SfcUnit::mm, .long_name = "precipitation amount",
             .units = "millimeters", .hours = CdfHours::every3}},
    {.var = SfcVar::precip_hours, .name = "precip_hours", .unit = SfcUnit::hour,
     .source = SfcSource::precip_hours,
     .cdf = {.name = "reftime_PRECIP", .unit = SfcUnit::hour, .long_name = "precipitation reference time",
             .units = "hours", .fill = false, .hours = CdfHours::every3}},
    {.var = SfcVar::scover, .name = "scover", .unit = SfcUnit::inch, .source = SfcSource::real,
     .real = &SFC_report::scover, .present = SfcPresent::not_negative,
     .text = {.form = " S%2.1f"}, .old = {.form = "S%2.0f."},
     .xml = {.form = "scover.in=\"%.1f\" ", .unit = SfcUnit::inch},
     .cdf = {.name = "SNOW", .unit = SfcUnit::mm, .long_name = "snowcover", .units = "millimeters",
             .hours = CdfHours::every12}},
    {.var = SfcVar::sst, .name = "sst", .unit = SfcUnit::deg_c, .source = SfcSource::real,
     .real = &SFC_report::sst,
     .text = {.form = " t%2.1f"},
     .xml = {.form = "sst.C=\"%.1f\" ", .unit = SfcUnit::deg_c},
     .cdf = {.name = "SST", .unit = SfcUnit::deg_c, .long_name = "sea surface temperature", .units = "celsius",
             .hours = CdfHours::every6}},
    {.var = SfcVar::wav_per, .name = "wav_per", .unit = SfcUnit::second, .source = SfcSource::real,
     .real = &SFC_report::wav_per,
     .text = {.form = " p%2.0f"},
     .xml = {.form = "wave_per.sec=\"%.0f\" ", .unit = SfcUnit::second},
     .cdf = {.name = "wave_per", .unit = SfcUnit::second, .long_name = "wave period", .units = "seconds",
             .hours = CdfHours::every6}},
    {.var = SfcVar::wav_hgt, .name = "wav_hgt", .unit = SfcUnit::metre, .source = SfcSource::real,
     .real = &SFC_report::wav_hgt,
     .text = {.form = " h%2.1f"},
     .xml = {.form = "wave_hgt.m=\"%.1f\" ", .unit = SfcUnit::metre},
     .cdf = {.name = "wave_hgt", .unit = SfcUnit::metre, .long_name = "wave height", .units = "meters",
             .hours = CdfHours::every6}},
    // The older layout's "T" group holds the maximum or the minimum, by the
    // hour of the file.
    {.var = SfcVar::max_t, .name = "max_t", .unit = SfcUnit::deg_f, .source = SfcSource::real,
     .real = &SFC_report::max_t,
     .text = {.form = " X%2.1f"}, .old = {.form = "T%2.0f."},
     .xml = {.form = "maxt.C=\"%.1f\" ", .unit = SfcUnit::deg_c},
     .cdf = {.name = "Tmax", .unit = SfcUnit::deg_c, .long_name = "maximum temperature", .units = "celsius",
             .hours = CdfHours::extremes}},
    {.var = SfcVar::min_t, .name = "min_t", .unit = SfcUnit::deg_f, .source = SfcSource::real,
     .real = &SFC_report::min_t,
     .text = {.form = " N%2.1f"}, .old = {.form = "T%2.0f."},
     .xml = {.form = "mint.C=\"%.1f\" ", .unit = SfcUnit::deg_c},
     .cdf = {.name = "Tmin", .unit = SfcUnit::deg_c, .long_name = "minimum temperature", .units = "celsius",
             .hours = CdfHours::extremes}},
    {.var = SfcVar::max6_t, .name = "max6_t", .unit = SfcUnit::deg_f, .source = SfcSource::real,
     .real = &SFC_report::max6_t,
     .text = {.form = " x%2.1f", .ext = true},
     .xml = {.form = "maxt6.C=\"%.1f\" ", .unit = SfcUnit::deg_c},
     .cdf = {.name = "Tmax6", .unit = SfcUnit::deg_c, .long_name = "6 hour maximum temperature",
             .units = "celsius", .hours = CdfHours::every6}},
    {.var = SfcVar::min6_t, .name = "min6_t", .unit = SfcUnit::deg_f, .source = SfcSource::real,
     .real = &SFC_report::min6_t,
     .text = {.form = " n%2.1f", .ext = true},
     .xml = {.form = "mint6.C=\"%.1f\" ", .unit = SfcUnit::deg_c},
     .cdf = {.name = "Tmin6", .unit = SfcUnit::deg_c, .long_name = "6 hour minimum temperature",
             .units = "celsius", .hours = CdfHours::every6}},
    {.var = SfcVar::solar, .name = "solar", .unit = SfcUnit::minute, .source = SfcSource::real,
     .real = &SFC_report::solar, .present = SfcPresent::not_negative,
     .text = {.form = " s%3.0f"},
     .xml = {.form = "solar.min=\"%.0f\" ", .unit = SfcUnit::minute},
     .cdf = {.name = "sunshine", .unit = SfcUnit::minute, .long_name = "equivalent solar radiation",
             .units = "minutes", .hours = CdfHours::hour8}},
    {.var = SfcVar::comment, .name = "comment", .unit = SfcUnit::none, .source = SfcSource::text,
     .offset = offsetof(SFC_report, comment), .count = sizeof SFC_report::comment,
     .present = SfcPresent::not_empty,
     .text = {.form = " #%s"},
     .xml = {.form = "comment=\"%s\" "},
     .cdf = {.name = "remarks", .type = CdfType::text, .dim = CdfDim::remarks_len, .fill = false}},
    {.var = SfcVar::num_cld, .name = "num_cld", .unit = SfcUnit::none, .source = SfcSource::integer,
     .integer = &SFC_report::num_cld,
     .xml = {.form = "ncld=\"%d\" "}},
    {.var = SfcVar::rain1, .name = "rain1", .unit = SfcUnit::inch, .source = SfcSource::real,
     .real = &SFC_report::rain1, .present = SfcPresent::not_negative,
     .text = {.form = " p%2.0f", .exp10 = 2},
     .xml = {.form = "prec1.in=\"%.2f\" ", .unit = SfcUnit::inch}},
    {.var = SfcVar::rain3, .name = "rain3", .unit = SfcUnit::inch, .source = SfcSource::real,
     .real = &SFC_report::rain3, .present = SfcPresent::not_negative,
     .text = {.form = " Q%2.0f", .exp10 = 2},
     .xml = {.form = "prec3.in=\"%.2f\" ", .unit = SfcUnit::inch}},
    {.var = SfcVar::rain6, .name = "rain6", .unit = SfcUnit::inch, .source = SfcSource::real,
     .real = &SFC_report::rain6, .present = SfcPresent::not_negative,
     .text = {.form = " r%2.0f", .exp10 = 2}, .old = {.form = "r%2.0f.", .exp10 = 2},
     .xml = {.form = "prec6.in=\"%.2f\" ", .unit = SfcUnit::inch}},
    {.var = SfcVar::rain12, .name = "rain12", .unit = SfcUnit::inch, .source = SfcSource::real,
     .real = &SFC_report::rain12, .present = SfcPresent::not_negative,
     .text = {.form = " q%2.0f", .exp10 = 2, .ext = true},
     .xml = {.form = "prec12.in=\"%.2f\" ", .unit = SfcUnit::inch}},
    {.var = SfcVar::rain24, .name = "rain24", .unit = SfcUnit::inch, .source = SfcSource::real,
     .real = &SFC_report::rain24, .present = SfcPresent::not_negative,
     .text = {.form = " R%2.0f", .exp10 = 2}, .old = {.form = "R%2.0f.", .exp10 = 2},
     .xml = {.form = "prec24.in=\"%.2f\" ", .unit = SfcUnit::inch}},
};
// clang-format on

constexpr std::size_t kSfcFieldCount = std::size(kSfcFields);

// The row of a quantity.
constexpr const SfcField &SFC_field(SfcVar var) { return kSfcFields[static_cast<std::size_t>(var)]; }

// ----- values ---------------------------------------------------------------------

// The value of a numeric quantity in the record's unit (layer or level `k`
// of a layered one), -9999 when missing. Texts and characters give -9999.
float SFC_value(const SfcField &f, const SFC_report &r, int k = 0);

// A text quantity (bounded by its field), or one character of a `chars` one
// as a text of length 1; empty for numbers.
std::string_view SFC_text(const SfcField &f, const SFC_report &r, int k = 0);

// Is the number present, as the text and XML layouts decide?
constexpr bool SFC_present(SfcPresent p, float v) {
  return p == SfcPresent::not_negative ? v >= 0 : !tv::is_miss(v);
}
constexpr bool SFC_present(SfcPresent p, int v) { return !tv::is_miss(v) && (p != SfcPresent::not_negative || v >= 0); }
// ... and of a text.
constexpr bool SFC_present(SfcPresent p, std::string_view s) {
  if (p == SfcPresent::not_blank) return s.empty() || s[0] != ' ';
  return !s.empty();
}

// A float of the record in another unit (netCDF stores these): -9999 stays
// -9999.
inline float SFC_convert_value(float v, SfcUnit from, SfcUnit to, SfcFactors factors) {
  return tv::is_miss(v) ? tv::kMissFloat : static_cast<float>(SFC_convert(from, to, static_cast<double>(v), factors));
}
