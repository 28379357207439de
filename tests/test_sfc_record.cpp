// The surface report record: its initial state and its validity limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "framework/missing.hpp"
#include "report/sfc_tool.hpp"

namespace {

using tv::kMissFloat;
using tv::kMissInt;

SFC_report fresh() {
  SFC_report r;
  std::memset(&r, 0x5A, sizeof r);  // garbage, so initialisation must set every byte that matters
  SFC_initialize(&r);
  return r;
}

struct FloatLimit {
  const char *name;
  float SFC_report::*field;
  float lo, hi;
};

// Every float range of the validity check (the dew point apart, which also
// depends on the temperature).
constexpr FloatLimit kFloatLimits[] = {
    {"t", &SFC_report::t, -100, 150},           {"pmb", &SFC_report::pmb, 900, 1150},
    {"alt", &SFC_report::alt, 26, 33},          {"w_dir", &SFC_report::w_dir, 0, 360},
    {"w_spd", &SFC_report::w_spd, 0, 100},      {"w_gust", &SFC_report::w_gust, 0, 150},
    {"vis", &SFC_report::vis, 0, 150},          {"ptend", &SFC_report::ptend, -10, 10},
    {"rain3", &SFC_report::rain3, 0, 10},       {"rain6", &SFC_report::rain6, 0, 15},
    {"rain12", &SFC_report::rain12, 0, 20},     {"rain24", &SFC_report::rain24, 0, 20},
    {"max_t", &SFC_report::max_t, -100, 150},   {"min_t", &SFC_report::min_t, -100, 150},
    {"max6_t", &SFC_report::max6_t, -100, 150}, {"min6_t", &SFC_report::min6_t, -100, 150},
    {"scover", &SFC_report::scover, -100, 150}, {"solar", &SFC_report::solar, -100, 150},
    {"sst", &SFC_report::sst, -100, 150},       {"wav_per", &SFC_report::wav_per, 0, 10},
    {"wav_hgt", &SFC_report::wav_hgt, 0, 20},
};

float checked(float SFC_report::*field, float v) {
  SFC_report r = fresh();
  r.*field = v;
  SFC_check_valid(&r, 0);
  return r.*field;
}

}  // namespace

TEST(SfcRecord, InitialStateIsMissing) {
  SFC_report r = fresh();
  EXPECT_STREQ(r.id, "");
  EXPECT_STREQ(r.area, "");
  EXPECT_EQ(r.type, 0);
  EXPECT_EQ(r.num_cld, 0);
  EXPECT_EQ(r.flag, 0);
  for (int v : {r.wmo, r.prior, r.time, r.ptend_t, r.rain_per}) EXPECT_EQ(v, kMissInt);
  for (float v :
       {r.lat,    r.lon,   r.elev,   r.vis,    r.pmb,    r.t,     r.td,     r.w_dir,   r.w_spd,
        r.w_gust, r.alt,   r.ptend,  r.rain1,  r.rain3,  r.rain6, r.rain12, r.rain24,  r.rain,
        r.max_t,  r.min_t, r.max6_t, r.min6_t, r.scover, r.solar, r.sst,    r.wav_per, r.wav_hgt})
    EXPECT_EQ(v, kMissFloat);
  for (float h : r.cld_height) EXPECT_EQ(h, kMissFloat);
  EXPECT_EQ(std::string(r.cld_cover, 5), "     ");
  EXPECT_EQ(std::string(r.cld_type, 3), "   ");
  EXPECT_EQ(r.cld_low, ' ');
  EXPECT_STREQ(r.weather, " ");
  EXPECT_STREQ(r.comment, "");
}

TEST(SfcRecord, TwoFreshRecordsAreByteEqual) {
  // The keyed table stores and compares byte copies, padding included.
  SFC_report a, b;
  std::memset(&a, 0x11, sizeof a);
  std::memset(&b, 0xEE, sizeof b);
  SFC_initialize(&a);
  SFC_initialize(&b);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(SfcValid, EveryFloatRangeIsClosed) {
  for (const FloatLimit &l : kFloatLimits) {
    EXPECT_EQ(checked(l.field, l.lo), l.lo) << l.name;
    EXPECT_EQ(checked(l.field, l.hi), l.hi) << l.name;
    EXPECT_EQ(checked(l.field, (l.lo + l.hi) / 2), (l.lo + l.hi) / 2) << l.name;
    EXPECT_EQ(checked(l.field, std::nextafter(l.lo, -1e9f)), kMissFloat) << l.name;
    EXPECT_EQ(checked(l.field, std::nextafter(l.hi, 1e9f)), kMissFloat) << l.name;
    EXPECT_EQ(checked(l.field, kMissFloat), kMissFloat) << l.name;
    EXPECT_EQ(checked(l.field, std::numeric_limits<float>::quiet_NaN()), kMissFloat) << l.name;
  }
}

TEST(SfcValid, StatedValuesAndIntegerFields) {
  EXPECT_EQ(checked(&SFC_report::t, 150.0f), 150.0f);
  EXPECT_EQ(checked(&SFC_report::t, 150.1f), kMissFloat);
  EXPECT_EQ(checked(&SFC_report::alt, 25.99f), kMissFloat);
  EXPECT_EQ(checked(&SFC_report::alt, 33.00f), 33.0f);
  EXPECT_EQ(checked(&SFC_report::ptend, -10.0f), -10.0f);
  EXPECT_EQ(checked(&SFC_report::ptend, -10.01f), kMissFloat);

  struct Case {
    int SFC_report::*field;
    int value, kept;
  };
  for (Case c : {Case{&SFC_report::time, 0, 0},
                 {&SFC_report::time, 2400, 2400},
                 {&SFC_report::time, 2401, kMissInt},
                 {&SFC_report::time, -1, kMissInt},
                 {&SFC_report::ptend_t, 0, 0},
                 {&SFC_report::ptend_t, 9, 9},
                 {&SFC_report::ptend_t, 10, kMissInt},
                 {&SFC_report::ptend_t, -1, kMissInt}}) {
    SFC_report r = fresh();
    r.*c.field = c.value;
    SFC_check_valid(&r, 0);
    EXPECT_EQ(r.*c.field, c.kept) << c.value;
  }
}

TEST(SfcValid, DewPointNeverAboveTemperature) {
  struct Case {
    float t, td, t_after, td_after;
  };
  for (Case c : {Case{50, 55, 50, 50},
                 {kMissFloat, 40, kMissFloat, kMissFloat},
                 {151, 60, kMissFloat, kMissFloat},  // temperature reset first
                 {60, -101, 60, kMissFloat},
                 {60, 45.5f, 60, 45.5f}}) {
    SFC_report r = fresh();
    r.t = c.t;
    r.td = c.td;
    SFC_check_valid(&r, 0);
    EXPECT_EQ(r.t, c.t_after) << c.t << " " << c.td;
    EXPECT_EQ(r.td, c.td_after) << c.t << " " << c.td;
  }
}

TEST(SfcValid, CloudHeightsEachOnTheirOwn) {
  SFC_report r = fresh();
  r.num_cld = 2;
  std::memcpy(r.cld_cover, "SB   ", 5);
  const float heights[5] = {35000.0f, 35001.0f, -1.0f, 0.0f, 120000.0f};
  for (int i = 0; i < 5; ++i) r.cld_height[i] = heights[i];
  SFC_check_valid(&r, 0);
  EXPECT_EQ(r.cld_height[0], 35000.0f);
  EXPECT_EQ(r.cld_height[1], kMissFloat);
  EXPECT_EQ(r.cld_height[2], kMissFloat);  // beyond num_cld, checked all the same
  EXPECT_EQ(r.cld_height[3], 0.0f);
  EXPECT_EQ(r.cld_height[4], kMissFloat);
  EXPECT_EQ(std::string(r.cld_cover, 5), "SB   ");  // the cover of a reset layer stays
  EXPECT_EQ(r.num_cld, 2);
}

TEST(SfcValid, UncheckedFieldsKeepTheirValues) {
  SFC_report r = fresh();
  std::strcpy(r.id, "WMO01234");
  std::strcpy(r.area, "LA NY US");
  r.type = 17;
  r.wmo = 123456;
  r.lat = 1000.0f;
  r.lon = -1000.0f;
  r.elev = 99999.0f;
  r.prior = -5;
  r.num_cld = 7;
  r.rain1 = 99.0f;
  r.rain = -3.0f;
  r.rain_per = 1000;
  std::strcpy(r.weather, "TRW+A");
  std::strcpy(r.comment, "remarks");
  r.flag = 1;
  SFC_report before = r;
  SFC_check_valid(&r, 12345);
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
}

// The limits are applied to the record as one block: what lies between the
// checked floats keeps its bytes even when they read as a float that is not
// a number (texts of high bytes, an unchecked amount that is NaN).
TEST(SfcValid, BytesBetweenCheckedFieldsAreKeptWhateverTheyRead) {
  SFC_report r = fresh();
  std::memset(r.weather, 0xFF, sizeof r.weather);
  std::memset(r.cld_cover, 0xFF, sizeof r.cld_cover);
  std::memset(r.comment, 0xFF, sizeof r.comment);
  r.cld_low = static_cast<char>(0xFF);
  std::memset(r.cld_type, 0xFF, sizeof r.cld_type);
  r.rain1 = std::numeric_limits<float>::quiet_NaN();
  r.rain = -std::numeric_limits<float>::quiet_NaN();
  r.num_cld = -1;
  r.rain_per = -1;
  r.t = 20.0f;
  SFC_report before = r;
  SFC_check_valid(&r, 0);
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
  r.t = std::numeric_limits<float>::quiet_NaN();  // a checked float that is NaN is reset
  SFC_check_valid(&r, 0);
  EXPECT_EQ(r.t, kMissFloat);
  before.t = kMissFloat;
  before.td = kMissFloat;  // and with it the dew point
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
}
