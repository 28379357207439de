// The description of the output record, row by row: every row has a
// hand-written expectation of what each format makes of one probe report
// (text, older text, XML, netCDF), so that a row changed by mistake, or a
// new row without its writers, shows here. Also the unit conversions, the
// forms and the values read by row.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "framework/date.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_fields.hpp"
#include "output/sfc_read.hpp"
#include "testutil.hpp"

namespace {

// Every field set, each to a value no other field has.
SFC_report probe() {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", "72469");
  std::snprintf(r.area, sizeof r.area, "%s", "LA");
  r.type = 1;
  r.time = 10;
  r.lat = 38.9f;
  r.lon = -77.5f;
  r.elev = 95.0f;
  r.t = 50.0f;
  r.td = 41.0f;
  r.pmb = 1013.25f;
  r.alt = 30.0f;
  r.w_spd = 15.0f;
  r.w_dir = 270.0f;
  r.w_gust = 25.0f;
  std::snprintf(r.weather, sizeof r.weather, "%s", "RW-");
  r.num_cld = 2;
  r.cld_height[0] = 2500.0f;
  r.cld_cover[0] = 'S';
  r.cld_height[1] = 8000.0f;
  r.cld_cover[1] = 'B';
  std::memcpy(r.cld_type, "52-", 3);
  r.vis = 10.0f;
  r.ptend_t = 2;
  r.ptend = 1.5f;
  r.rain1 = 0.01f;
  r.rain3 = 0.05f;
  r.rain6 = 0.12f;
  r.rain12 = 0.25f;
  r.rain24 = 0.5f;
  r.scover = 2.0f;
  r.sst = 12.5f;
  r.wav_per = 6.0f;
  r.wav_hgt = 1.5f;
  r.max_t = 55.0f;
  r.min_t = 32.0f;
  r.max6_t = 54.0f;
  r.min6_t = 33.0f;
  r.solar = 30.0f;
  std::snprintf(r.comment, sizeof r.comment, "%s", "GOOD");
  return r;
}

// What each format makes of one row of the probe: a piece of the text line
// (type 4), of the older line (file hour 0), of the XML element, and the
// netCDF variable with its values (characters as their codes). Empty: the
// format has none.
struct Expect {
  SfcVar var;
  const char *text;
  const char *old;
  const char *xml;
  const char *cdf;
  std::vector<float> values;
};

const std::vector<Expect> &expectations() {
  static const std::vector<Expect> rows = {
      {SfcVar::id, "72469 ", "72469 ", "<obs id=\"72469\" ", "id", {'7', '2', '4', '6', '9', 0}},
      {SfcVar::area, "", "", "", "region", {'L', 'A', 0}},
      {SfcVar::time, " @0010", "", "time.hhmm=\"0010\" ", "time",
       {'0', '0', '1', '0', 'Z', ' ', ' ', '7', ' ', 'D', 'E', 'C', ' ', '2', '3', 0}},
      {SfcVar::lat, " L389,", "L 389.", "lat=\"38.90\" ", "lat", {38.9f}},
      {SfcVar::lon, ",-775", " -775.", "lon=\"-77.50\" ", "lon", {-77.5f}},
      {SfcVar::elev, "", "", "", "elev", {95.0f}},
      {SfcVar::t, "72469 500 ", "72469  50.", "temp.C=\"10.0\" ", "T", {10.0f}},
      {SfcVar::td, " 500 410 ", ". 41.", "dewp.C=\"5.0\" ", "TD", {5.0f}},
      {SfcVar::pmb, "  0 132 ", "132.", "slpr.mb=\"1013.2\" ", "PSL", {1013.25f}},
      {SfcVar::alt, " 2715   0 ", ".  0.", "alt.in=\"30.00\" ", "ALTIM", {static_cast<float>(33.85399 * 30.0)}},
      {SfcVar::w_spd, " 2715 ", "", "wspd.knt=\"15\" ", "SPD", {static_cast<float>(0.5144 * 15.0)}},
      {SfcVar::w_dir, "410 2715 ", "2715.", "wdir.deg=\"270\" ", "DIR", {270.0f}},
      {SfcVar::w_gust, " G 25", "G 25.", "wgust.knt=\"25\" ", "GUST", {static_cast<float>(0.5144 * 25.0)}},
      {SfcVar::weather, " 25S,80B RW- @", "RW-.", "wx=\"RW-\" ", "WX", {80.0f}},
      {SfcVar::cld_height, " 25S,80B ", " 80B.", "cld_hgt_2.ft=\"8000\" ", "ZCL",
       {762.0f, static_cast<float>(0.3048 * 8000.0), -9999.0f, -9999.0f}},
      {SfcVar::cld_cover, "S,80B ", " 80B.", "cld_cov_1=\"S\" cld_hgt_2.ft", "CC", {'2', '6', '/', '/'}},
      {SfcVar::cld_type, " C52-", "C52-.", "lcld=\"5\" mcld=\"2\" hcld=\"-\" ", "cloudtype", {'5', '2', '-'}},
      {SfcVar::vis, " 10.0 ", "100.", "vis.mi=\"10.0\" ", "VIS", {static_cast<float>(1.60934 * 10.0)}},
      {SfcVar::ptend_t, " P2 15", "P215.", "ptype=\"2\" ", "Ptend", {2}},
      {SfcVar::ptend, " P2 15", "", "ptend.mb=\"1.5\" ", "delP", {1.5f}},
      {SfcVar::precip, "", "", "", "PRECIP", {static_cast<float>(25.4 * static_cast<double>(0.5f))}},
      {SfcVar::precip_hours, "", "", "", "reftime_PRECIP", {24.0f}},
      {SfcVar::scover, " S2.0", "S 2.", "scover.in=\"2.0\" ", "SNOW", {static_cast<float>(25.4 * 2.0)}},
      {SfcVar::sst, " t12.5", "", "sst.C=\"12.5\" ", "SST", {12.5f}},
      {SfcVar::wav_per, " p 6", "", "wave_per.sec=\"6\" ", "wave_per", {6.0f}},
      {SfcVar::wav_hgt, " h1.5", "", "wave_hgt.m=\"1.5\" ", "wave_hgt", {1.5f}},
      {SfcVar::max_t, " X55.0", "T55.", "maxt.C=\"12.8\" ", "Tmax", {static_cast<float>(5.0 * 23.0 / 9.0)}},
      {SfcVar::min_t, " N32.0", "T32.", "mint.C=\"0.0\" ", "Tmin", {0.0f}},
      {SfcVar::max6_t, " x54.0", "", "maxt6.C=\"12.2\" ", "Tmax6", {static_cast<float>(5.0 * 22.0 / 9.0)}},
      {SfcVar::min6_t, " n33.0", "", "mint6.C=\"0.6\" ", "Tmin6", {static_cast<float>(5.0 / 9.0)}},
      {SfcVar::solar, " s 30", "", "solar.min=\"30\" ", "sunshine", {30.0f}},
      {SfcVar::comment, " #GOOD $", "", "comment=\"GOOD\" ", "remarks", {'G', 'O', 'O', 'D', 0}},
      {SfcVar::num_cld, "", "", "ncld=\"2\" ", "", {}},
      {SfcVar::rain1, " p 1", "", "prec1.in=\"0.01\" ", "", {}},
      {SfcVar::rain3, " Q 5", "", "prec3.in=\"0.05\" ", "", {}},
      {SfcVar::rain6, " r12", "r12.", "prec6.in=\"0.12\" ", "", {}},
      {SfcVar::rain12, " q25", "", "prec12.in=\"0.25\" ", "", {}},
      {SfcVar::rain24, " R50", "R50.", "prec24.in=\"0.50\" ", "", {}},
  };
  return rows;
}

const Expect *expectation(SfcVar var) {
  for (const Expect &e : expectations())
    if (e.var == var) return &e;
  return nullptr;
}

std::string text_line(const SFC_report &r, int type) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_text(buf, sizeof buf, &r, type));
}

std::string old_line(const SFC_report &r, int hour) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_old_text(buf, sizeof buf, &r, hour));
}

// The older layout writes the maximum in files of the night hours, the
// minimum in those of the day: both lines.
std::string old_lines(const SFC_report &r) {
  return old_line(r, 0) + old_line(r, 12);
}

std::string xml_line(const SFC_report &r) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_xml(buf, sizeof buf, &r));
}

// The probe as the only record of a netCDF file for `hour`.
void write_probe(const std::string &path, int hour) {
  int type = SFC_type_code(SfcType::cdf);
  const int fd = SFC_open(path.c_str(), static_cast<int>(SfcAccess::create), &type);
  ASSERT_GE(fd, 0);
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%2.2d00Z  7 DEC 23", hour);
  info.date = {2023, 12, 7, 341, 4, hour, 0, 0};
  ASSERT_EQ(SFC_putinfo(fd, &info), 0);
  SFC_report r = probe();
  int rec = 0;
  ASSERT_EQ(SFC_write(fd, &r, 1, &rec), 0);
  ASSERT_EQ(SFC_close(fd), 0);
}

// The values of variable `name` in record 0, or nothing when the file has
// no such variable.
std::vector<float> cdf_values(int ncid, const char *name) {
  int var = -1;
  if (nc_inq_varid(ncid, name, &var) != NC_NOERR) return {};
  nc_type type;
  int ndims = 0;
  int dims[NC_MAX_VAR_DIMS];
  EXPECT_EQ(nc_inq_var(ncid, var, nullptr, &type, &ndims, dims, nullptr), NC_NOERR);
  std::size_t n = 1;
  if (ndims == 2) {
    EXPECT_EQ(nc_inq_dimlen(ncid, dims[1], &n), NC_NOERR);
  }
  std::size_t start[2] = {0, 0};
  std::size_t count[2] = {1, n};
  std::vector<float> out(n);
  if (type == NC_FLOAT) {
    EXPECT_EQ(nc_get_vara_float(ncid, var, start, count, out.data()), NC_NOERR);
  } else if (type == NC_CHAR) {
    std::vector<char> chars(n);
    EXPECT_EQ(nc_get_vara_text(ncid, var, start, count, chars.data()), NC_NOERR);
    for (std::size_t i = 0; i < n; ++i) out[i] = chars[i];
  } else {
    std::vector<signed char> bytes(n);
    EXPECT_EQ(nc_get_vara_schar(ncid, var, start, count, bytes.data()), NC_NOERR);
    for (std::size_t i = 0; i < n; ++i) out[i] = bytes[i];
  }
  return out;
}

TEST(RecordDescription, EveryRowHasItsExpectation) {
  for (const SfcField &f : kSfcFields) {
    ASSERT_NE(expectation(f.var), nullptr) << f.name;
  }
  EXPECT_EQ(expectations().size(), kSfcFieldCount);
}

TEST(RecordDescription, EveryRowInTheTextLayouts) {
  const SFC_report r = probe();
  const std::string text = text_line(r, SFC_type_code(SfcType::text_ext));
  const std::string old = old_lines(r);
  for (const SfcField &f : kSfcFields) {
    const Expect &e = *expectation(f.var);
    EXPECT_EQ(f.text.form.empty(), *e.text == '\0') << f.name;
    if (*e.text) {
      EXPECT_NE(text.find(e.text), std::string::npos) << f.name << ": " << text;
    }
    EXPECT_EQ(f.old.form.empty(), *e.old == '\0') << f.name;
    if (*e.old) {
      EXPECT_NE(old.find(e.old), std::string::npos) << f.name << ": " << old;
    }
  }
  // The groups of the extended layout only.
  const std::string type3 = text_line(r, SFC_type_code(SfcType::text));
  for (const SfcField &f : kSfcFields) {
    if (f.text.form.empty()) continue;
    EXPECT_EQ(type3.find(expectation(f.var)->text) == std::string::npos, f.text.ext) << f.name << ": " << type3;
  }
}

TEST(RecordDescription, EveryRowInTheXmlElement) {
  const std::string xml = xml_line(probe());
  for (const SfcField &f : kSfcFields) {
    const Expect &e = *expectation(f.var);
    EXPECT_EQ(f.xml.form.empty(), *e.xml == '\0') << f.name;
    if (*e.xml) {
      EXPECT_NE(xml.find(e.xml), std::string::npos) << f.name << ": " << xml;
    }
  }
}

TEST(RecordDescription, EveryRowInTheNetcdfRecord) {
  tvtest::TempDir dir;
  // Hour 00 defines every variable but the sunshine, hour 08 that one.
  for (int hour : {0, 8}) {
    const std::string path = dir.file(tvtest::numbered("h", hour, ".cdf"));
    write_probe(path, hour);
    int ncid = -1;
    ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
    for (const SfcField &f : kSfcFields) {
      const Expect &e = *expectation(f.var);
      EXPECT_EQ(f.cdf.name, e.cdf) << f.name;
      if (*e.cdf == '\0' || e.values.empty()) continue;
      if (f.var == SfcVar::time && hour != 0) continue;  // the label takes the file's hour
      const std::vector<float> got = cdf_values(ncid, e.cdf);
      if (got.empty()) {
        EXPECT_TRUE(hour == 0 ? f.var == SfcVar::solar : f.cdf.hours != CdfHours::all) << f.name;
        continue;
      }
      for (std::size_t i = 0; i < e.values.size(); ++i) {
        ASSERT_LT(i, got.size()) << f.name;
        EXPECT_FLOAT_EQ(got[i], e.values[i]) << f.name << " [" << i << "] hour " << hour;
      }
    }
    nc_close(ncid);
  }
}

TEST(RecordDescription, PrecipitationFallsBackToSixHours) {
  SFC_report r = probe();
  const SfcField &precip = SFC_field(SfcVar::precip);
  const SfcField &hours = SFC_field(SfcVar::precip_hours);
  EXPECT_FLOAT_EQ(SFC_value(precip, r), 0.5f);
  EXPECT_FLOAT_EQ(SFC_value(hours, r), 24.0f);
  r.rain24 = tv::kMissFloat;
  EXPECT_FLOAT_EQ(SFC_value(precip, r), 0.12f);
  EXPECT_FLOAT_EQ(SFC_value(hours, r), 6.0f);
  r.rain6 = tv::kMissFloat;
  EXPECT_EQ(SFC_value(precip, r), tv::kMissFloat);
  EXPECT_FLOAT_EQ(SFC_value(hours, r), 6.0f);
}

TEST(RecordDescription, ValuesAndTextsByRowStayInTheirFields) {
  SFC_report r = probe();
  const SfcField &h = SFC_field(SfcVar::cld_height);
  EXPECT_FLOAT_EQ(SFC_value(h, r, 1), 8000.0f);
  EXPECT_EQ(SFC_value(h, r, 5), tv::kMissFloat);  // past the record's layers
  EXPECT_EQ(SFC_value(h, r, -1), tv::kMissFloat);
  EXPECT_EQ(SFC_value(SFC_field(SfcVar::time), r), 10.0f);
  r.time = tv::kMissInt;
  EXPECT_EQ(SFC_value(SFC_field(SfcVar::time), r), tv::kMissFloat);
  EXPECT_EQ(SFC_value(SFC_field(SfcVar::id), r), tv::kMissFloat);  // a text has no number
  std::memset(r.id, 'A', sizeof r.id);  // no terminator
  EXPECT_EQ(SFC_text(SFC_field(SfcVar::id), r), std::string(sizeof r.id, 'A'));
  EXPECT_EQ(SFC_text(SFC_field(SfcVar::cld_type), r, 2), "-");
  EXPECT_EQ(SFC_text(SFC_field(SfcVar::cld_type), r, 3), "");
  EXPECT_EQ(SFC_text(SFC_field(SfcVar::t), r), "");
}

TEST(Units, ConversionsExactAndAsTheNetcdfFilesHaveThem) {
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::deg_f, SfcUnit::deg_c, 50.0), 10.0);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::deg_f, SfcUnit::kelvin, 32.0), 273.15);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::deg_c, SfcUnit::kelvin, -273.15), 0.0);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::mb, SfcUnit::pa, 1013.25), 101325.0);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::knot, SfcUnit::m_per_s, 10.0), 18520.0 / 3600.0);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::knot, SfcUnit::m_per_s, 10.0, SfcFactors::zot), 5.144);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::mile, SfcUnit::metre, 1.0), 1609.344);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::mile, SfcUnit::km, 1.0, SfcFactors::zot), 1.60934);
  EXPECT_NEAR(SFC_convert(SfcUnit::in_hg, SfcUnit::hpa, 29.92), 1013.21, 0.01);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::in_hg, SfcUnit::hpa, 30.0, SfcFactors::zot), 33.85399 * 30.0);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::foot, SfcUnit::metre, 1000.0), 304.8);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::inch, SfcUnit::mm, 2.0), 50.8);
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::minute, SfcUnit::second, 2.0), 120.0);
  // The same unit, or none to go to: the value as it is.
  EXPECT_DOUBLE_EQ(SFC_convert(SfcUnit::metre, SfcUnit::metre, 1.5), 1.5);
  EXPECT_FALSE(SFC_convertible(SfcUnit::foot, SfcUnit::deg_c));
  // Compiled-in units give the same bits as the run-time lookup.
  for (double v : {-40.0, 0.1, 98.6, 1e6}) {
    EXPECT_EQ((SFC_convert_to<SfcUnit::deg_f, SfcUnit::deg_c>(v)), SFC_convert(SfcUnit::deg_f, SfcUnit::deg_c, v));
    EXPECT_EQ((SFC_convert_to<SfcUnit::knot, SfcUnit::m_per_s, SfcFactors::zot>(v)),
              SFC_convert(SfcUnit::knot, SfcUnit::m_per_s, v, SfcFactors::zot));
  }
  // A pure factor keeps the sign of a zero; a missing value stays missing.
  EXPECT_TRUE(std::signbit(SFC_convert(SfcUnit::foot, SfcUnit::metre, -0.0)));
  EXPECT_EQ(SFC_convert_value(tv::kMissFloat, SfcUnit::deg_f, SfcUnit::deg_c, SfcFactors::zot), tv::kMissFloat);
  // Every unit has a symbol.
  EXPECT_EQ(SFC_unit_symbol(SfcUnit::m_per_s), "m s-1");
  EXPECT_EQ(SFC_unit_symbol(SfcUnit::deg_c), "degC");
  EXPECT_EQ(SFC_unit_symbol(SfcUnit::hour), "h");
}

TEST(Forms, PiecesOfAPrintfForm) {
  constexpr SfcForm group = SFC_parse_form(" X%2.1f");
  static_assert(group.n == 1 && group.text[0] == " X" && group.text[1].empty());
  static_assert(group.conv[0].conv == 'f' && group.conv[0].width == 2 && group.conv[0].prec == 1);
  constexpr SfcForm wind = SFC_parse_form("%04d ");
  static_assert(wind.conv[0].zero && wind.conv[0].width == 4 && wind.conv[0].prec == -1 && wind.text[1] == " ");
  constexpr SfcForm layer = SFC_parse_form("cld_hgt_%d.ft=\"%.0f\" ");
  static_assert(layer.n == 2 && layer.text[1] == ".ft=\"" && layer.text[2] == "\" " && layer.conv[1].prec == 0);
  constexpr SfcForm none = SFC_parse_form("");
  static_assert(none.n == 0 && none.text[0].empty());
  SUCCEED();  // the checks above are made while compiling
}

}  // namespace
