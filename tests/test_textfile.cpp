// The converted text data file: header, the current and older record
// layouts field by field, re-detection on append, the report gate and
// write errors. Expected lines are written by hand from the formats.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "framework/date.hpp"
#include "framework/missing.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_read.hpp"
#include "output/sfc_stream.hpp"
#include "report/sfc_tool.hpp"
#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::TempDir;
using tvtest::write_file;

SFC_report blank(const char *id) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  r.type = 1;
  return r;
}

// The station of the worked example: 72469 at 12 UTC.
SFC_report example_station() {
  SFC_report r = blank("72469");
  r.t = 50.0f;
  r.td = 40.1f;
  r.w_dir = 270.0f;
  r.w_spd = 15.0f;
  r.alt = 30.02f;
  r.pmb = 1016.3f;
  r.vis = 10.0f;
  r.num_cld = 2;
  r.cld_height[0] = 2500.0f;
  r.cld_cover[0] = 'S';
  r.cld_height[1] = 8000.0f;
  r.cld_cover[1] = 'B';
  r.time = 1200;
  r.ptend_t = 2;
  r.ptend = 1.5f;
  r.rain6 = 0.12f;
  r.max_t = 55.0f;
  return r;
}

std::string text_line(const SFC_report &r, int type = 4) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_text(buf, sizeof buf, &r, type));
}

std::string old_line(const SFC_report &r, int hour) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_old_text(buf, sizeof buf, &r, hour));
}

Date date_of(int year, int month, int day, int hour, int min) {
  Date d;
  DATE_init(&d);
  d.year = year;
  d.month = month;
  d.day = day;
  d.hour = hour;
  d.min = min;
  return d;
}

SFC_info info_for(const Date &d, const char *label) {
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%s", label);
  info.date = d;
  info.num_stat = tv::kMissInt;
  return info;
}

// ----- current layout ------------------------------------------------------

TEST(TextLayout, WorkedExampleStation) {
  EXPECT_EQ(text_line(example_station()),
            "72469 500 401 2715   2 163 10.0 25S,80B - @1200 P2 15 r12 X55.0 $\n");
}

TEST(TextLayout, MissingFieldsKeepTheirPlaceholders) {
  SFC_report r = blank("X1");
  // Nine fixed fields, layer 0 written without clouds, then the end.
  EXPECT_EQ(text_line(r), "X1 -99 -99 -999 -99 -99 -99 -99M - $\n");
}

TEST(TextLayout, TemperatureTenthsRoundLikePrintf) {
  SFC_report r = blank("T");
  struct {
    float t;
    const char *out;
  } rows[] = {
      {72.25f, "722"},  // 722.5: a tie goes to the even neighbour
      {72.75f, "728"},  // 727.5
      {5.0f, " 50"},    // width 3
      {-5.0f, "-50"},
      {0.04f, "  0"},
      {-0.04f, " -0"},  // the sign of a negative value that rounds to 0
      {104.0f, "1040"},
  };
  for (const auto &row : rows) {
    r.t = row.t;
    r.td = row.t;
    std::string want = std::string("T ") + row.out + " " + row.out + " -999 -99 -99 -99 -99M - $\n";
    EXPECT_EQ(text_line(r), want) << row.t;
  }
}

TEST(TextLayout, WindForms) {
  SFC_report r = blank("W");
  r.w_dir = 273.0f;
  r.w_spd = 105.0f;
  EXPECT_NE(text_line(r).find(" -99 270105 -99 "), std::string::npos) << text_line(r);
  r.w_spd = 99.0f;
  EXPECT_NE(text_line(r).find(" -99 2799 -99 "), std::string::npos) << text_line(r);
  r.w_dir = 0.0f;
  r.w_spd = 5.0f;
  EXPECT_NE(text_line(r).find(" -99 0005 -99 "), std::string::npos) << text_line(r);
  // A known direction with a missing speed (reset by the validity check) is
  // the missing wind, never a number made from -9999 ("-7299").
  r.w_dir = 273.0f;
  r.w_spd = tv::kMissFloat;
  EXPECT_EQ(text_line(r), "W -99 -99 -999 -99 -99 -99 -99M - $\n");
  r.w_dir = 160.0f;
  r.w_spd = 140.0f;  // over 100 kt: the validity check drops the speed
  SFC_check_valid(&r, 0);
  EXPECT_EQ(r.w_dir, 160.0f);
  EXPECT_EQ(text_line(r), "W -99 -99 -999 -99 -99 -99 -99M - $\n");
  EXPECT_EQ(text_line(r, 3), "W -99 -99 -999 -99 -99 -99 -99M - $\n");
}

// Temperature, dew point, visibility and tendency amount around the
// missing value and past the figures of the usual values, against printf
// of their forms: only the missing value itself gives the missing text.
TEST(TextLayout, NumbersNearTheMissingValueAreWrittenAsNumbers) {
  const float inf = std::numeric_limits<float>::infinity();
  const float values[] = {tv::kMissFloat, std::nextafter(tv::kMissFloat, 0.0f),
                          std::nextafter(tv::kMissFloat, -inf), -99.94f, -99.96f, -0.0f, 0.0f, 4.99f, 5.0f,
                          99.94f, 99.96f, 150.0f, -200.0f, 1e10f, inf, -inf,
                          std::numeric_limits<float>::quiet_NaN()};
  auto form = [](const char *f, float v, double scale) {
    char buf[128];
    std::snprintf(buf, sizeof buf, f, static_cast<double>(static_cast<float>(scale) * v));
    return std::string(buf);
  };
  for (float v : values) {
    const bool miss = v == tv::kMissFloat;
    SFC_report r = blank("N");
    r.t = v;
    r.td = v;
    const std::string temp = miss ? "-99 " : form("%3.0f ", v, 10);
    EXPECT_EQ(text_line(r), "N " + temp + temp + "-999 -99 -99 -99 -99M - $\n") << v;
    r = blank("N");
    r.vis = v;
    const std::string vis = miss ? "-99 " : form(v < 5 ? "%.2f " : "%.1f ", v, 1);
    EXPECT_EQ(text_line(r), "N -99 -99 -999 -99 -99 " + vis + "-99M - $\n") << v;
    r = blank("N");
    r.ptend_t = 3;
    r.ptend = v;
    const std::string ptend = miss ? "" : " P3" + form("%3.0f", v, 10);
    EXPECT_EQ(text_line(r), "N -99 -99 -999 -99 -99 -99 -99M -" + ptend + " $\n") << v;
  }
}

// The wind group over directions and speeds around every edge of its
// forms, against printf of the rule: "%04d" of the tens of degrees times 100
// plus the speed, or from 100 kt "%03d%03d" of the direction to 5 degrees
// and the speed, all truncated.
TEST(TextLayout, WindGroupEqualsItsRuleAtEveryEdge) {
  SFC_report r = blank("W");
  const float dirs[] = {0.0f,  -0.0f,    0.4f,     9.99f,    10.0f,    255.5f,
                        359.9f, 360.0f,   999.9f,   std::nextafter(1000.0f, 0.0f),
                        1000.0f, 12345.0f, -0.5f, -10.0f};
  // Speeds just under 100 make a sum that rounds to 10000 as a float.
  const float spds[] = {0.0f,   0.3f,   9.9f,  15.0f,  99.0f, 99.49f, 99.5f, 99.99f, std::nextafter(100.0f, 0.0f),
                        100.0f, 100.5f, 250.0f, -0.0f, -0.5f, -20.0f};
  for (float d : dirs) {
    for (float s : spds) {
      r.w_dir = d;
      r.w_spd = s;
      const auto deg = static_cast<long long>(d);
      char want[64];
      if (s >= 100)
        std::snprintf(want, sizeof want, "%03lld%03lld ", deg / 5 * 5, static_cast<long long>(s));
      else
        std::snprintf(want, sizeof want, "%04lld ",
                      static_cast<long long>(static_cast<float>(deg / 10 * 100) + s));
      const std::string line = text_line(r);
      ASSERT_EQ(line.substr(10, std::strlen(want)), want) << d << " " << s << ": " << line;
    }
  }
}

// The pressure group over every hundredth of a millibar around and inside
// the range written by its last three figures, the floats next to its
// bounds and zeros of both signs, against printf of the rule.
TEST(TextLayout, PressureGroupEqualsItsRuleOverItsRange) {
  SFC_report r = blank("P");
  std::vector<float> values = {0.0f, -0.0f, 1.0f, -950.0f, -1050.0f};
  for (int k = 93000; k <= 107000; ++k) values.push_back(static_cast<float>(k) / 100.0f);
  for (float bound : {950.0f, 1050.0f}) {
    float f = bound;
    for (int i = 0; i < 32; ++i) f = std::nextafter(f, 0.0f);
    for (int i = 0; i < 64; ++i, f = std::nextafter(f, 2000.0f)) values.push_back(f);
  }
  for (float v : values) {
    r.pmb = v;
    long long p = static_cast<long long>(static_cast<double>(10.0f * r.pmb) + 0.1);
    if (r.pmb >= 950 && r.pmb <= 1050) p %= 1000;
    char want[32];
    std::snprintf(want, sizeof want, " %3lld ", p);
    const std::string line = text_line(r);
    ASSERT_EQ(line.substr(18, std::strlen(want)), want) << r.pmb << ": " << line;
  }
}

TEST(TextLayout, AltimeterAndPressureDigits) {
  SFC_report r = blank("P");
  struct {
    float alt, pmb;
    const char *fields;
  } rows[] = {
      {30.02f, 1016.3f, "  2 163 "},
      {29.92f, 1013.2f, "992 132 "},
      {30.00f, 1061.2f, "  0 10612 "},  // above 1050: all digits
      {28.50f, 945.0f, "850 9450 "},    // below 950: all digits
      {31.05f, 1050.0f, "105 500 "},
      {29.99f, 950.0f, "999 500 "},
  };
  for (const auto &row : rows) {
    r.alt = row.alt;
    r.pmb = row.pmb;
    std::string want = std::string("P -99 -99 -999 ") + row.fields + "-99 -99M - $\n";
    EXPECT_EQ(text_line(r), want);
  }
}

TEST(TextLayout, VisibilityPrecisionChangesAtFiveMiles) {
  SFC_report r = blank("V");
  r.vis = 4.99f;
  EXPECT_EQ(text_line(r), "V -99 -99 -999 -99 -99 4.99 -99M - $\n");
  r.vis = 5.0f;
  EXPECT_EQ(text_line(r), "V -99 -99 -999 -99 -99 5.0 -99M - $\n");
  r.vis = 0.0f;
  EXPECT_EQ(text_line(r), "V -99 -99 -999 -99 -99 0.00 -99M - $\n");
}

TEST(TextLayout, CloudLayersAndCovers) {
  SFC_report r = blank("C");
  r.num_cld = 4;
  const float h[] = {1500.0f, tv::kMissFloat, 25050.0f, 250.0f};
  const char c[] = {'8', 'O', ' ', 'x'};
  for (int i = 0; i < 4; ++i) {
    r.cld_height[i] = h[i];
    r.cld_cover[i] = c[i];
  }
  // Digits get ":", blanks "M", letters stand as they are; heights in
  // hundreds of feet with printf rounding (250.5 -> 250, 2.5 -> 2).
  EXPECT_EQ(text_line(r), "C -99 -99 -999 -99 -99 -99 15:8,-99O,250M,2x - $\n");

  // One layer: no comma. A count beyond the record's five layers writes
  // the five it holds.
  r.num_cld = 1;
  EXPECT_EQ(text_line(r), "C -99 -99 -999 -99 -99 -99 15:8 - $\n");
  r.cld_height[4] = 100.0f;
  r.cld_cover[4] = 'X';
  for (int n : {5, 9, INT_MAX}) {
    r.num_cld = n;
    EXPECT_EQ(text_line(r), "C -99 -99 -999 -99 -99 -99 15:8,-99O,250M,2x,1X - $\n") << n;
  }
  // No layers, or a count below zero: layer 0 all the same, alone.
  for (int n : {0, -1, -9999, INT_MIN}) {
    r.num_cld = n;
    EXPECT_EQ(text_line(r), "C -99 -99 -999 -99 -99 -99 15:8 - $\n") << n;
  }
}

TEST(TextLayout, WeatherField) {
  SFC_report r = blank("WX");
  std::snprintf(r.weather, sizeof r.weather, "%s", "TRW+A");
  r.time = 905;
  EXPECT_EQ(text_line(r), "WX -99 -99 -999 -99 -99 -99 -99M TRW+A @0905 $\n");
  // An empty text writes nothing: the time follows the cloud field.
  r.weather[0] = '\0';
  EXPECT_EQ(text_line(r), "WX -99 -99 -999 -99 -99 -99 -99M  @0905 $\n");
}

TEST(TextLayout, OptionalGroupsInOrder) {
  SFC_report r = blank("ALL");
  r.time = 30;
  r.lat = 42.37f;
  r.lon = -71.03f;
  r.ptend_t = 7;
  r.ptend = -2.1f;
  r.rain1 = 0.01f;
  r.rain3 = 0.0f;
  r.rain6 = 0.25f;
  r.rain12 = 1.0f;
  r.rain24 = 2.5f;
  r.max_t = 88.0f;
  r.max6_t = 86.5f;
  r.min_t = -3.0f;
  r.min6_t = 4.5f;
  r.scover = 12.0f;
  std::memcpy(r.cld_type, "52-", 3);
  r.w_gust = 35.0f;
  r.solar = 240.0f;
  r.sst = 18.4f;
  r.wav_per = 7.0f;
  r.wav_hgt = 1.5f;
  std::snprintf(r.comment, sizeof r.comment, "%s", "FIRST REPORT");
  const std::string fixed = "ALL -99 -99 -999 -99 -99 -99 -99M -";
  EXPECT_EQ(text_line(r, 4), fixed +
                                 " @0030 L424,-710 P7-21 p 1 Q 0 r25 q100 R250 X88.0 x86.5"
                                 " N-3.0 n4.5 S12.0 C52- G 35 s240 t18.4 p 7 h1.5 #FIRST REPORT $\n");
  // Type 3 has no 12-hour precipitation and no 6-hour extremes.
  EXPECT_EQ(text_line(r, 3), fixed +
                                 " @0030 L424,-710 P7-21 p 1 Q 0 r25 R250 X88.0"
                                 " N-3.0 S12.0 C52- G 35 s240 t18.4 p 7 h1.5 #FIRST REPORT $\n");
}

// The groups that lie next to each other in the record (1- and 3-hour
// rain; sunshine, sea temperature, wave period and height), each alone
// among its neighbours, at missing, other negative, signed zero and usual
// values: written exactly when present, as printf writes its form.
TEST(TextLayout, NeighbouringGroupsEachOnTheirOwn) {
  struct Group {
    float SFC_report::*member;
    const char *form;
    double scale;
    bool amount;  // absent below 0; the others only when missing
  };
  const Group groups[] = {
      {&SFC_report::rain1, " p%2.0f", 100, true},   {&SFC_report::rain3, " Q%2.0f", 100, true},
      {&SFC_report::solar, " s%3.0f", 1, true},     {&SFC_report::sst, " t%2.1f", 1, false},
      {&SFC_report::wav_per, " p%2.0f", 1, false},  {&SFC_report::wav_hgt, " h%2.1f", 1, false},
  };
  const std::string empty = "G -99 -99 -999 -99 -99 -99 -99M -";
  for (const Group &g : groups) {
    for (float v : {tv::kMissFloat, -1.0f, -9998.0f, -0.0f, 0.0f, 0.07f, 7.25f, 123.4f}) {
      SFC_report r = blank("G");
      r.*g.member = v;
      const bool present = v != tv::kMissFloat && (!g.amount || v >= 0);
      char group[64] = "";
      if (present) std::snprintf(group, sizeof group, g.form, static_cast<double>(static_cast<float>(g.scale) * v));
      ASSERT_EQ(text_line(r), empty + group + " $\n") << g.form << " " << v;
    }
  }
}

TEST(TextLayout, ZeroAmountsAreWrittenMissingOnesAreNot) {
  SFC_report r = blank("Z");
  r.rain6 = 0.0f;
  r.w_gust = 0.0f;
  EXPECT_EQ(text_line(r), "Z -99 -99 -999 -99 -99 -99 -99M - r 0 G  0 $\n");
  r.rain6 = -1.0f;  // negative amounts count as absent
  r.w_gust = tv::kMissFloat;
  EXPECT_EQ(text_line(r), "Z -99 -99 -999 -99 -99 -99 -99M - $\n");
}

TEST(TextLayout, PtendCharacteristicIsWrittenEvenWhenMissing) {
  SFC_report r = blank("Q");
  r.ptend = 0.4f;
  EXPECT_EQ(text_line(r), "Q -99 -99 -999 -99 -99 -99 -99M - P-9999  4 $\n");
}

// Numbers formatted without printf must still round exactly as printf does.
TEST(TextLayout, NumbersMatchPrintfOverRandomValues) {
  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> wide(-2000.0f, 2000.0f);
  std::uniform_int_distribution<int> eighths(-16000, 16000);
  SFC_report r = blank("R");
  for (int i = 0; i < 20000; ++i) {
    // Alternate arbitrary values with exact eighths, which give ties at
    // every precision used here.
    float v = (i % 2) ? wide(gen) : static_cast<float>(eighths(gen)) / 8.0f;
    r.max_t = v;
    r.vis = v < 0 ? -v : v;
    r.w_gust = r.vis;
    char vis[64];
    std::snprintf(vis, sizeof vis, r.vis < 5 ? "%.2f " : "%.1f ", static_cast<double>(r.vis));
    char tail[120];
    std::snprintf(tail, sizeof tail, "X%2.1f G%3.0f $\n", static_cast<double>(v),
                  static_cast<double>(r.w_gust));
    std::string expect = std::string("R -99 -99 -999 -99 -99 ") + vis + "-99M - " + tail;
    ASSERT_EQ(text_line(r), expect) << v;
  }
}

TEST(TextLayout, HugeValuesAndUnterminatedTextsStayInBounds) {
  SFC_report r = blank("");
  std::memset(r.id, 'I', sizeof r.id);  // no terminator
  std::memset(r.weather, 'W', sizeof r.weather);
  std::memset(r.comment, 'c', sizeof r.comment);
  float *f[] = {&r.t, &r.td, &r.w_dir, &r.w_spd, &r.alt, &r.pmb, &r.vis, &r.lat, &r.lon,
                &r.ptend, &r.rain1, &r.rain3, &r.rain6, &r.rain12, &r.rain24, &r.max_t,
                &r.max6_t, &r.min_t, &r.min6_t, &r.scover, &r.w_gust, &r.solar, &r.sst,
                &r.wav_per, &r.wav_hgt};
  for (float *p : f) *p = 3.0e38f;
  for (float &h : r.cld_height) h = -3.0e38f;
  r.num_cld = 5;
  r.time = -2147483647;
  r.ptend_t = 2147483647;
  char buf[kSfcLineMax];
  for (int type : {3, 4}) {
    std::size_t n = SFC_format_text(buf, sizeof buf, &r, type);
    ASSERT_LT(n, sizeof buf);
    std::string line(buf, n);
    EXPECT_EQ(line.compare(0, 12, "IIIIIIIIIII "), 0);
    EXPECT_EQ(line.substr(line.size() - 3), " $\n");
  }
  std::size_t n = SFC_format_old_text(buf, sizeof buf, &r, 12);
  ASSERT_LT(n, sizeof buf);
  EXPECT_EQ(buf[n - 1], '\n');
  // A small buffer is filled and never passed.
  char small[16];
  std::memset(small, 0, sizeof small);
  EXPECT_EQ(SFC_format_text(small, 10, &r, 4), 10u);
  EXPECT_EQ(small[10], '\0');
}

// ----- older layout --------------------------------------------------------

TEST(OldTextLayout, WorkedExampleStationByHour) {
  SFC_report r = example_station();
  // Two layers S 2500 then B 8000: the summary is broken at 8000 ft.
  EXPECT_EQ(old_line(r, 6), "72469  50. 40.2715.  2.163.100. 80B. .P215.r12.T55.\n");
  // From 10 to 21 UTC the group carries the minimum temperature.
  EXPECT_EQ(old_line(r, 12), "72469  50. 40.2715.  2.163.100. 80B. .P215.r12.\n");
  r.min_t = 41.0f;
  EXPECT_EQ(old_line(r, 12), "72469  50. 40.2715.  2.163.100. 80B. .P215.r12.T41.\n");
  EXPECT_EQ(old_line(r, 21), "72469  50. 40.2715.  2.163.100. 80B. .P215.r12.T41.\n");
  EXPECT_EQ(old_line(r, 22), "72469  50. 40.2715.  2.163.100. 80B. .P215.r12.T55.\n");
}

TEST(OldTextLayout, MissingValuesAndGroups) {
  SFC_report r = blank("S1");
  EXPECT_EQ(old_line(r, 0), "S1 -99.-99.-999.-99.-99.-99.-99 . .\n");
  r.pmb = 1061.2f;  // above 1050: a thousand is added back
  r.vis = 120.0f;
  r.lat = 42.37f;
  r.lon = -71.03f;
  r.ptend_t = 7;
  r.ptend = -1.5f;
  r.rain24 = 0.0f;
  r.scover = 3.0f;
  std::memcpy(r.cld_type, "5--", 3);
  r.w_gust = 40.0f;
  std::snprintf(r.weather, sizeof r.weather, "%s", "R-");
  r.num_cld = 1;
  r.cld_cover[0] = '5';
  r.cld_height[0] = 1200.0f;  // one layer: its cover as stored
  EXPECT_EQ(old_line(r, 0),
            "S1 -99.-99.-999.-99.1612. 99. 125.R-.L 423. -710.P715.R 0.S 3.C5--.G 40.\n");
  r.pmb = 945.0f;  // below 950 only the last three digits
  r.vis = 2.5f;
  EXPECT_EQ(old_line(r, 0).substr(0, 32), "S1 -99.-99.-999.-99.450. 25. 125");
}

TEST(OldTextLayout, DirectionWithoutSpeedIsTheMissingWind) {
  SFC_report r = blank("S2");
  r.w_dir = 160.0f;
  r.w_spd = 12.0f;
  EXPECT_EQ(old_line(r, 0).substr(0, 18), "S2 -99.-99.1612.-9");
  r.w_spd = tv::kMissFloat;
  EXPECT_EQ(old_line(r, 0), "S2 -99.-99.-999.-99.-99.-99.-99 . .\n");
}

// ----- the file ------------------------------------------------------------

class TextFile : public ::testing::Test {
 protected:
  void TearDown() override { SFC_close(-1); }  // leaves no file open for the next test
  TempDir dir;
};

TEST_F(TextFile, NewFileHeaderAndRecords) {
  std::string path = dir.file("new.zot");
  int type = 4;
  int fd = SFC_open(path.c_str(), 1, &type);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(type, 4);
  SFC_info info = info_for(date_of(2023, 12, 7, 12, 0), "1200Z  7 DEC 23");
  EXPECT_EQ(SFC_putinfo(fd, &info), 0);
  SFC_report r = example_station();
  int rec = 0;
  EXPECT_EQ(SFC_write(fd, &r, 1, &rec), 0);
  EXPECT_EQ(SFC_close(fd), 0);
  EXPECT_EQ(read_file(path),
            "ZOTSFC\n1200Z  7 DEC 23\n"
            "72469 500 401 2715   2 163 10.0 25S,80B - @1200 P2 15 r12 X55.0 $\n");
  EXPECT_EQ(SFC_chktype(path.c_str()), 3);
  EXPECT_EQ(SFC_close(fd), -1);  // nothing open any more
  EXPECT_EQ(SFC_write(fd, &r, 1, &rec), -1);
}

TEST_F(TextFile, OlderLayoutHeaderIsTheLabelAlone) {
  std::string path = dir.file("old.zot");
  int type = 2;
  int fd = SFC_open(path.c_str(), 1, &type);
  ASSERT_GE(fd, 0);
  SFC_info info = info_for(date_of(2023, 12, 7, 6, 0), " 600Z  7 DEC 23");
  EXPECT_EQ(SFC_putinfo(fd, &info), 0);
  SFC_report r = example_station();
  int rec = 0;
  SFC_write(fd, &r, 1, &rec);
  SFC_close(fd);
  EXPECT_EQ(read_file(path), " 600Z  7 DEC 23\n72469  50. 40.2715.  2.163.100. 80B. .P215.r12.T55.\n");
}

TEST_F(TextFile, TypeDetection) {
  struct {
    const char *name, *text;
    int type;
  } rows[] = {
      {"z", "ZOTSFC\n1200Z  7 DEC 23\n", 3}, {"blank", " 600Z  7 DEC 23\n", 2},
      {"zero", "0000Z  7 DEC 23\n", 2},      {"one", "1200Z\n", 2},
      {"two", "2\n", 2},                     {"three", "3\n", -1},
      {"xml", "<zotsfc date=\"x\">\n", -1},  {"empty", "", -1},
      {"c_not_cdf", "CDF garbage", -1},
  };
  for (const auto &row : rows) {
    std::string path = dir.file(row.name);
    write_file(path, row.text);
    EXPECT_EQ(SFC_chktype(path.c_str()), row.type) << row.name;
  }
  EXPECT_EQ(SFC_chktype(dir.file("absent").c_str()), -1);
}

TEST_F(TextFile, AppendReDetectsTheCurrentLayoutAsType3) {
  std::string path = dir.file("app.zot");
  SFC_report r = blank("A1");
  r.rain12 = 0.5f;
  r.max6_t = 40.0f;
  int type = 4;
  int fd = SFC_open(path.c_str(), 1, &type);
  SFC_info info = info_for(date_of(2023, 12, 7, 12, 0), "1200Z  7 DEC 23");
  SFC_putinfo(fd, &info);
  int rec = 0;
  SFC_write(fd, &r, 1, &rec);
  SFC_close(fd);

  type = 4;
  fd = SFC_open(path.c_str(), 2, &type);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(SFC_getinfo(fd, &info), 1);  // nothing is read from a file being written
  SFC_write(fd, &r, 1, &rec);
  SFC_close(fd);
  EXPECT_EQ(read_file(path),
            "ZOTSFC\n1200Z  7 DEC 23\n"
            "A1 -99 -99 -999 -99 -99 -99 -99M - q50 x40.0 $\n"
            "A1 -99 -99 -999 -99 -99 -99 -99M - $\n");
}

TEST_F(TextFile, AppendToOlderFileUsesItsLayoutAndTheRunHour) {
  std::string path = dir.file("old.zot");
  write_file(path, " 600Z  7 DEC 23\n");
  int type = 4;
  int fd = SFC_open(path.c_str(), 2, &type);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(type, 2);
  // The run's date decides the "T" group: 12 UTC carries the minimum.
  SFC_info info = info_for(date_of(2023, 12, 7, 12, 0), "1200Z  7 DEC 23");
  EXPECT_EQ(SFC_getinfo(fd, &info), 1);
  SFC_report r = example_station();
  r.min_t = 41.0f;
  int rec = 0;
  SFC_write(fd, &r, 1, &rec);
  SFC_close(fd);
  EXPECT_EQ(read_file(path),
            " 600Z  7 DEC 23\n72469  50. 40.2715.  2.163.100. 80B. .P215.r12.T41.\n");
}

TEST_F(TextFile, AppendRefusesFilesThatAreNotText) {
  std::string xml = dir.file("f.xml");
  write_file(xml, "<zotsfc date=\"1200Z  7 DEC 23\">\n");
  int type = 51;
  EXPECT_EQ(SFC_open(xml.c_str(), 2, &type), -1);
  EXPECT_EQ(type, -1);
  EXPECT_EQ(read_file(xml), "<zotsfc date=\"1200Z  7 DEC 23\">\n");

  std::string empty = dir.file("empty");
  write_file(empty, "");
  type = 4;
  EXPECT_EQ(SFC_open(empty.c_str(), 2, &type), -1);
  type = 0;
  EXPECT_EQ(SFC_open(empty.c_str(), 1, &type), -1);  // create needs a type
  type = 4;
  EXPECT_EQ(SFC_open(empty.c_str(), 7, &type), -1);
  type = 99;
  EXPECT_EQ(SFC_open(empty.c_str(), 1, &type), -1);
  // No file was left open by any of these.
  SFC_report r = blank("N");
  int rec = 0;
  EXPECT_EQ(SFC_write(0, &r, 1, &rec), -1);
}

TEST_F(TextFile, ReadingTheHeaderOfAnExistingFile) {
  std::string path = dir.file("read.zot");
  write_file(path, "ZOTSFC\r\n1800Z 31 JAN 24\r\nA1 $\n");
  int type = 0;
  int fd = SFC_open(path.c_str(), 0, &type);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(type, 3);
  SFC_info info{};
  EXPECT_EQ(SFC_getinfo(fd, &info), 0);
  EXPECT_STREQ(info.datim, "1800Z 31 JAN 24");
  EXPECT_EQ(info.num_stat, tv::kMissInt);
  EXPECT_EQ(info.date.year, 2024);
  EXPECT_EQ(info.date.month, 1);
  EXPECT_EQ(info.date.day, 31);
  EXPECT_EQ(info.date.hour, 18);
  EXPECT_EQ(info.date.min, 0);
  SFC_close(fd);

  // The older layout has the label on its first line; a long line is cut
  // at 39 characters.
  write_file(path, " 600Z  7 DEC 23 and a great deal more text after the label\n");
  type = 0;
  fd = SFC_open(path.c_str(), 0, &type);
  EXPECT_EQ(type, 2);
  EXPECT_EQ(SFC_getinfo(fd, &info), 0);
  EXPECT_STREQ(info.datim, " 600Z  7 DEC 23 and a great deal more t");
  EXPECT_EQ(std::strlen(info.datim), 39u);
  SFC_close(fd);
}

TEST_F(TextFile, GateWritesRegularReportsInTheWindow) {
  DATE_set_range(-45, 45);
  Date run = date_of(2023, 12, 7, 12, 0);
  DATE_set_datim(&run);
  std::string path = dir.file("gate.zot");
  int type = 4;
  int fd = SFC_open(path.c_str(), 1, &type);
  SFC_info info = info_for(run, "1200Z  7 DEC 23");
  SFC_putinfo(fd, &info);
  struct {
    const char *id;
    int type, time;
  } rows[] = {
      {"IN", 1, 1200},       {"AUTO", 16, 1200},      {"REGAUTO", 17, 1200},
      {"NOTIME", 1, tv::kMissInt}, {"LATE", 1, 1300}, {"EARLY", 1, 1130},
      {"SPECIAL", 2, 1200},
  };
  for (const auto &row : rows) {
    SFC_report r = blank(row.id);
    r.type = row.type;
    r.time = row.time;
    EXPECT_EQ(SFC_save_report(fd, &r), 0);
  }
  SFC_close(fd);
  EXPECT_EQ(read_file(path),
            "ZOTSFC\n1200Z  7 DEC 23\n"
            "IN -99 -99 -999 -99 -99 -99 -99M - @1200 $\n"
            "REGAUTO -99 -99 -999 -99 -99 -99 -99M - @1200 $\n"
            "EARLY -99 -99 -999 -99 -99 -99 -99M - @1130 $\n");
}

// A record made while no file takes records (none open yet, or the last
// one closed) goes nowhere: nothing is stored, and the next file gets only
// its own records.
TEST_F(TextFile, RecordsWithoutAnOpenFileGoNowhere) {
  int made = 0;
  auto record = [&made](char *buf, std::size_t size) {
    ++made;
    EXPECT_EQ(size, kSfcLineMax);
    std::memset(buf, 'x', size);  // all the room it is given
    buf[0] = '!';
    buf[1] = '\n';
    return std::size_t{2};
  };
  SFC_stream_record(record);
  std::string path = dir.file("first.zot");
  int type = 4;
  int fd = SFC_open(path.c_str(), 1, &type);
  ASSERT_GE(fd, 0);
  SFC_stream_record(record);
  ASSERT_EQ(SFC_close(fd), 0);
  SFC_stream_record(record);
  EXPECT_EQ(read_file(path), "!\n");
  std::string second = dir.file("second.zot");
  fd = SFC_open(second.c_str(), 1, &type);
  ASSERT_GE(fd, 0);
  SFC_report r = example_station();
  int rec = 0;
  EXPECT_EQ(SFC_write(fd, &r, 1, &rec), 0);
  ASSERT_EQ(SFC_close(fd), 0);
  EXPECT_EQ(read_file(second), "72469 500 401 2715   2 163 10.0 25S,80B - @1200 P2 15 r12 X55.0 $\n");
  EXPECT_EQ(made, 3);
}

// A full disk must not end as a successful run.
TEST(TextFileErrors, FullDiskEndsTheRunWithStatus1AndOneMessage) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  auto run = [] {
    int type = 4;
    int fd = SFC_open("/dev/full", 1, &type);
    if (fd < 0) std::_Exit(3);
    SFC_info info = info_for(date_of(2023, 12, 7, 12, 0), "1200Z  7 DEC 23");
    SFC_putinfo(fd, &info);
    SFC_report r = example_station();
    int rec = 0;
    // More than the stream buffer, so the failure shows during the writes.
    for (int i = 0; i < 3000; ++i) SFC_write(fd, &r, 1, &rec);
    if (!SFC_write_failed()) std::_Exit(4);
    SFC_close(fd);
    std::_Exit(0);  // not reached: closing ends the program
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
              "^SFC_close: Error writing converted data file\n$");
}

TEST(TextFileErrors, FailureFoundOnlyAtClose) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  auto run = [] {
    int type = 4;
    int fd = SFC_open("/dev/full", 1, &type);
    SFC_info info = info_for(date_of(2023, 12, 7, 12, 0), "1200Z  7 DEC 23");
    SFC_putinfo(fd, &info);  // still in the buffer
    if (SFC_write_failed()) std::_Exit(4);
    SFC_close(fd);
    std::_Exit(0);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
              "^SFC_close: Error writing converted data file\n$");
}

}  // namespace
