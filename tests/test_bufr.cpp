// The BUFR output: every message read back with ecCodes' C API and its
// elements compared with the decoded report (the same run's XML, or the
// record itself), missing values, values out of range, report classes BUFR
// does not take; files created, appended to and refused; the station list
// and the section-1 resources; and every report of the shared corpus.
#include <eccodes.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "framework/missing.hpp"
#include "output/sfc_bufr.hpp"
#include "report/sfc_tool.hpp"
#include "stations/wis_list.hpp"
#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::run_command;
using tvtest::TempDir;
using tvtest::write_file;

constexpr double kMissing = -1.0e30;  // what num() gives for a missing element

struct HandleDeleter {
  void operator()(codes_handle *h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// The messages of BUFR bytes, each unpacked; a message that does not
// unpack fails the test.
std::vector<Handle> messages_of(const std::string &bytes) {
  std::vector<Handle> out;
  std::size_t at = 0;
  while (at + 8 <= bytes.size()) {
    EXPECT_EQ(bytes.compare(at, 4, "BUFR"), 0) << "message at byte " << at;
    if (bytes.compare(at, 4, "BUFR") != 0) break;
    const auto byte = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(bytes[i])); };
    const std::size_t len = byte(at + 4) << 16 | byte(at + 5) << 8 | byte(at + 6);
    EXPECT_LE(at + len, bytes.size()) << "message cut";
    if (len < 12 || at + len > bytes.size()) break;
    EXPECT_EQ(bytes.compare(at + len - 4, 4, "7777"), 0);
    Handle h(codes_handle_new_from_message_copy(nullptr, bytes.data() + at, len));
    EXPECT_TRUE(h) << "message at byte " << at;
    if (!h) break;
    EXPECT_EQ(codes_set_long(h.get(), "unpack", 1), 0) << "message at byte " << at;
    out.push_back(std::move(h));
    at += len;
  }
  EXPECT_EQ(at, bytes.size()) << "bytes after the last message";
  return out;
}

double num(codes_handle *h, const std::string &key) {
  double v = 0;
  if (codes_get_double(h, key.c_str(), &v) != 0 || v == CODES_MISSING_DOUBLE) return kMissing;
  return v;
}

std::string str(codes_handle *h, const std::string &key) {
  char buf[128] = "";
  std::size_t len = sizeof buf;
  if (codes_get_string(h, key.c_str(), buf, &len) != 0) return "?";
  std::string s(buf);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// ----- encoding records ---------------------------------------------------------

SFC_report record(const char *id, const char *area) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  std::snprintf(r.area, sizeof r.area, "%s", area);
  r.type = 1;
  r.time = 1200;
  return r;
}

std::string encode(const SFC_report &r, bool eccodes = false,
                   const Date &file_date = {2023, 12, 7, 341, 4, 12, 0, 0}) {
  BUFR_settings s;
  s.master_version = BUFR_installed_master_version();
  s.eccodes = eccodes;
  unsigned char buf[8192];
  const long n = BUFR_encode(r, s, file_date, buf, sizeof buf);
  return n > 0 ? std::string(reinterpret_cast<char *>(buf), static_cast<std::size_t>(n)) : std::string();
}

struct Expect {
  const char *key;
  double value;  // kMissing: the element is missing
  double tol = 1e-6;
};

struct EncodeCase {
  const char *name;
  SFC_report rec;
  std::vector<Expect> want;
};

SFC_report land_full() {
  SFC_report r = record("72403", "LA");
  r.wmo = 72403;
  r.lat = 38.95f;
  r.lon = -77.45f;
  r.elev = 95.0f;
  r.t = 59.0f;        // 15 C
  r.td = 32.0f;       // 0 C
  r.pmb = 1013.2f;
  r.ptend_t = 7;
  r.ptend = -1.0f;
  r.w_dir = 270.0f;
  r.w_spd = 10.0f;    // knots
  r.w_gust = 20.0f;
  r.flag = kSfcFlagWindKnots;
  r.vis = 5.0f;       // miles
  r.cld_cover[0] = '8';
  r.cld_height[0] = 3000.0f;
  r.num_cld = 1;
  r.cld_low = '3';
  r.cld_type[0] = '2';
  r.cld_type[1] = '7';
  r.cld_type[2] = '-';
  std::snprintf(r.weather, sizeof r.weather, "%s", "RW-");
  r.rain6 = 0.5f;     // inches
  r.rain3 = 0.1f;
  r.rain24 = 1.0f;
  r.max_t = 68.0f;    // 20 C
  r.min_t = 50.0f;    // 10 C
  r.scover = 10.0f;   // inches
  r.solar = 480.0f;   // minutes
  return r;
}

TEST(BufrEncode, ElementsReadBackAsTheRecordHoldsThem) {
  SFC_report cman = record("BUZM3", "CM");
  cman.t = 41.0f;
  cman.type |= 16;  // automatic
  cman.w_spd = 0.0f;
  cman.w_dir = 0.0f;
  cman.flag = kSfcFlagWindMps;

  SFC_report ship = record("sWDC6923", "SH");
  ship.wmo = 99999;
  ship.lat = 41.2f;
  ship.lon = -123.4f;
  ship.t = 59.0f;
  ship.sst = 15.0f;
  ship.wav_per = 3.0f;
  ship.wav_hgt = 1.5f;
  ship.w_dir = 90.0f;
  ship.w_spd = 19.44f;
  ship.max6_t = 50.0f;

  const std::vector<EncodeCase> cases = {
      {"land, every element",
       land_full(),
       {{"dataCategory", 0},
        {"internationalDataSubCategory", 2},
        {"typicalHour", 12},
        {"#1#wigosIssuerOfIdentifier", 20000},
        {"#1#blockNumber", 72},
        {"#1#stationNumber", 403},
        {"#1#stationType", 1},
        {"#1#latitude", 38.95, 1e-5},
        {"#1#longitude", -77.45, 1e-5},
        {"#1#heightOfStationGroundAboveMeanSeaLevel", 95},
        {"#1#airTemperature", 288.15, 0.006},
        {"#1#dewpointTemperature", 273.15, 0.006},
        {"#1#pressureReducedToMeanSeaLevel", 101320},
        {"#1#3HourPressureChange", -100},
        {"#1#characteristicOfPressureTendency", 7},
        {"#1#windDirection", 270},
        {"#1#windSpeed", 5.1, 0.06},
        {"#1#maximumWindGustSpeed", 10.3, 0.06},
        {"#1#instrumentationForWindMeasurement", 4},
        {"#1#horizontalVisibility", 8050, 5.1},
        {"#1#cloudCoverTotal", 100},
        {"#1#cloudAmount", 3},
        {"#1#heightOfBaseOfCloud", 910, 5.1},
        {"#1#cloudType", 32},
        {"#2#cloudType", 27},
        {"#3#cloudType", kMissing},
        {"#1#presentWeather", 80},
        {"#4#timePeriod", -3},
        {"#1#totalPrecipitationOrTotalWaterEquivalent", 2.5, 0.051},
        {"#5#timePeriod", -6},
        {"#2#totalPrecipitationOrTotalWaterEquivalent", 12.7, 0.051},
        {"#1#totalPrecipitationPast24Hours", 25.4, 0.051},
        {"#6#timePeriod", -12},
        {"#1#maximumTemperatureAtHeightAndOverPeriodSpecified", 293.15, 0.006},
        {"#1#minimumTemperatureAtHeightAndOverPeriodSpecified", 283.15, 0.006},
        {"#1#totalSnowDepth", 0.25, 0.0051},
        {"#2#timePeriod", -24},
        {"#1#totalSunshine", 480}}},
      {"land, nothing but the identifier",
       [] {
         SFC_report r = record("72405", "LA");
         r.wmo = 72405;
         return r;
       }(),
       {{"#1#stationNumber", 405},
        {"#1#latitude", kMissing},
        {"#1#airTemperature", kMissing},
        {"#1#pressureReducedToMeanSeaLevel", kMissing},
        {"#1#windSpeed", kMissing},
        {"#1#horizontalVisibility", kMissing},
        {"#1#cloudCoverTotal", kMissing},
        {"#1#presentWeather", kMissing},
        {"#1#totalPrecipitationPast24Hours", kMissing},
        {"#1#maximumTemperatureAtHeightAndOverPeriodSpecified", kMissing},
        {"#1#totalSnowDepth", kMissing},
        {"#1#totalSunshine", kMissing}}},
      {"CMAN, automatic, calm",
       cman,
       {{"dataCategory", 0},
        {"#1#blockNumber", kMissing},
        {"#1#stationType", 0},
        {"#1#airTemperature", 278.15, 0.006},
        {"#1#windSpeed", 0},
        {"#1#windDirection", 0},
        {"#1#instrumentationForWindMeasurement", 0}}},
      {"ship",
       ship,
       {{"dataCategory", 1},
        {"#1#latitude", 41.2, 1e-4},
        {"#1#longitude", -123.4, 1e-4},
        {"#1#airTemperature", 288.15, 0.006},
        {"#1#oceanographicWaterTemperature", 288.15, 0.006},
        {"#1#periodOfWindWaves", 3},
        {"#1#heightOfWindWaves", 1.5, 0.051},
        {"#1#windDirection", 90},
        {"#1#windSpeed", 10.0, 0.06},
        {"#4#timePeriod", -6},
        {"#1#maximumTemperatureAtHeightAndOverPeriodSpecified", 283.15, 0.006},
        {"#1#minimumTemperatureAtHeightAndOverPeriodSpecified", kMissing},
        {"#1#pressureReducedToMeanSeaLevel", kMissing}}},
  };
  for (const EncodeCase &c : cases) {
    SCOPED_TRACE(c.name);
    const auto msgs = messages_of(encode(c.rec));
    ASSERT_EQ(msgs.size(), 1u);
    codes_handle *h = msgs[0].get();
    EXPECT_EQ(num(h, "edition"), 4);
    EXPECT_EQ(num(h, "numberOfSubsets"), 1);
    EXPECT_EQ(num(h, "compressedData"), 0);
    for (const Expect &e : c.want) {
      const double got = num(h, e.key);
      if (e.value == kMissing) {
        EXPECT_EQ(got, kMissing) << e.key;
      } else {
        EXPECT_NEAR(got, e.value, e.tol) << e.key;
      }
    }
  }
  EXPECT_EQ(str(messages_of(encode(cman))[0].get(), "#1#wigosLocalIdentifierCharacter"), "BUZM3");
  EXPECT_EQ(str(messages_of(encode(ship))[0].get(), "#1#shipOrMobileLandStationIdentifier"), "WDC6923");
  EXPECT_EQ(str(messages_of(encode(land_full()))[0].get(), "#1#wigosLocalIdentifierCharacter"), "72403");
}

// A report's hour of day lies where the run's window puts it: within eleven
// hours of the file's hour, across midnight and the year when it must.
TEST(BufrEncode, ObservationTimeIsPlacedNextToTheFileHour) {
  struct TimeCase {
    Date file;
    int hhmm;
    int year, month, day, hour, minute;
  };
  const TimeCase cases[] = {
      {{2023, 12, 7, 341, 4, 12, 0, 0}, 1200, 2023, 12, 7, 12, 0},
      {{2023, 12, 7, 341, 4, 12, 0, 0}, 1150, 2023, 12, 7, 11, 50},
      {{2023, 12, 7, 341, 4, 12, 0, 0}, 1030, 2023, 12, 7, 10, 30},
      {{2023, 12, 7, 341, 4, 12, 0, 0}, 2359, 2023, 12, 7, 23, 59},
      {{2023, 12, 7, 341, 4, 12, 0, 0}, 0, 2023, 12, 8, 0, 0},
      {{2024, 1, 1, 1, 1, 0, 0, 0}, 2350, 2023, 12, 31, 23, 50},
      {{2024, 1, 1, 1, 1, 0, 0, 0}, 1300, 2023, 12, 31, 13, 0},
      {{2024, 1, 1, 1, 1, 0, 0, 0}, 1100, 2024, 1, 1, 11, 0},
  };
  for (const bool eccodes : {false, true}) {
    for (const TimeCase &c : cases) {
      SCOPED_TRACE(std::to_string(c.hhmm) + (eccodes ? " ecCodes" : " own packer"));
      SFC_report r = land_full();
      r.time = c.hhmm;
      const auto msgs = messages_of(encode(r, eccodes, c.file));
      ASSERT_EQ(msgs.size(), 1u);
      codes_handle *h = msgs[0].get();
      EXPECT_EQ(num(h, "#1#year"), c.year);
      EXPECT_EQ(num(h, "#1#month"), c.month);
      EXPECT_EQ(num(h, "#1#day"), c.day);
      EXPECT_EQ(num(h, "#1#hour"), c.hour);
      EXPECT_EQ(num(h, "#1#minute"), c.minute);
    }
  }
}

TEST(BufrEncode, OutOfRangeIsMissingWithOneWarningAndOtherClassesAreRefused) {
  const long before = BUFR_out_of_range(false);
  SFC_report r = land_full();
  r.w_spd = 900.0f;  // 463 m/s: more than the element holds
  for (int i = 0; i < 2; ++i) {
    const auto msgs = messages_of(encode(r));
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(num(msgs[0].get(), "#1#windSpeed"), kMissing);
    EXPECT_NEAR(num(msgs[0].get(), "#1#airTemperature"), 288.15, 0.006) << "the rest of the report stays";
  }
  EXPECT_EQ(BUFR_out_of_range(false) - before, 2);
  // Just below the least value: ecCodes refuses it before rounding (it
  // would round to the reference), which lost the whole report; it is
  // missing instead, whichever packs the message.
  r = land_full();
  r.w_spd = -0.05f;
  for (const bool eccodes : {false, true}) {
    const auto msgs = messages_of(encode(r, eccodes));
    ASSERT_EQ(msgs.size(), 1u) << eccodes;
    EXPECT_EQ(num(msgs[0].get(), "#1#windSpeed"), kMissing) << eccodes;
    EXPECT_NEAR(num(msgs[0].get(), "#1#airTemperature"), 288.15, 0.006) << eccodes;
  }
  EXPECT_EQ(BUFR_out_of_range(false) - before, 4);
  // An ecCodes error ends that message only, told with the station and
  // ecCodes' own words: no room for the message, or tables too old for
  // the sequence.
  BUFR_settings s;
  s.master_version = BUFR_installed_master_version();
  unsigned char small[64];
  const Date date{2023, 12, 7, 341, 4, 12, 0, 0};
  testing::internal::CaptureStderr();
  EXPECT_EQ(BUFR_encode(land_full(), s, date, small, sizeof small), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string("SFC_write: ecCodes error, report 72403 not written to BUFR: ") +
                codes_get_error_message(CODES_BUFFER_TOO_SMALL) + " (message)\n");
  s.master_version = 13;  // before the WIGOS identifier sequence
  unsigned char buf[8192];
  testing::internal::CaptureStderr();
  EXPECT_EQ(BUFR_encode(land_full(), s, date, buf, sizeof buf), -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("SFC_write: ecCodes: "), std::string::npos) << err;
  EXPECT_NE(err.find("SFC_write: ecCodes error, report 72403 not written to BUFR: "), std::string::npos) << err;
  EXPECT_EQ(messages_of(encode(land_full())).size(), 1u) << "the next report is written";
  // Buoys, drifters and reports of no known class make no message.
  for (const char *area : {"BU", "DR", "UN"}) EXPECT_EQ(encode(record("46042", area)), "") << area;
}

TEST(BufrStations, WigosIdentifiers) {
  CTY_wigos w;
  ASSERT_TRUE(CTY_parse_wigos("0-20000-0-72403", &w));
  EXPECT_EQ(w.series, 0);
  EXPECT_EQ(w.issuer, 20000);
  EXPECT_EQ(w.issue, 0);
  EXPECT_STREQ(w.local, "72403");
  EXPECT_TRUE(CTY_parse_wigos("1-65535-65535-ABCDEFGHIJKLMNOP", &w));
  for (const char *bad : {"0-20000-72403", "72403", "0-20000-0-", "16-20000-0-1", "0-65536-0-1", "0-x-0-1",
                          "0-20000-0-72 403", "0-20000-0-1-2", "-20000-0-1", "0-20000-0-ABCDEFGHIJKLMNOPQ"})
    EXPECT_FALSE(CTY_parse_wigos(bad, &w)) << bad;
}

// ----- runs of the program ----------------------------------------------------------

constexpr const char *kBulletin =
    "** SMUS01 KWBC 071200\n"
    "AAXX 07124\n"
    "72403 11560 82705 10150 20089 39981 40132 57010 60001 70222 8327/ 333 10178 20083 4/015 70123=\n"
    "72405 32965 62110 11021 21034 40082 52015 60102 78062 333 10123 21015=\n"
    "72520 12/61 /0305 10050 2//// 49987 333 70123=\n"
    "72530 46/// /9999 10100=\n"
    "** SXUS20 KWBC 071200\n"
    "CMAN 07124\n"
    "BUZM3 11560 82705 10150 20089 40132 57010=\n"
    "** SMVX90 KWBC 071200\n"
    "BBXX\n"
    "WDC6923 07121 99412 71234 41598 82710 10150 20089 40132 22200 00150 20304 70015=\n"
    "46042 07124 99368 71224 41/98 32012 10131 40210=\n";

// A copy of the example's set-up with the bulletin above.
struct Conversion {
  TempDir dir;
  Conversion() {
    write_file(dir.file("name_conv"), read_file(tvtest::source_path("examples/name_conv")));
    write_file(dir.file("syn.cty"), read_file(tvtest::source_path("examples/syn.cty")));
    write_file(dir.file("23120712.syn"), kBulletin);
  }
  tvtest::RunResult tavro(const std::string &args) const {
    return run_command(std::string(TAVRO_EXE) + " -ba " + args + " 23120712.syn", dir.path());
  }
};

// The attributes of each "obs" element of an XML file.
std::vector<std::map<std::string, std::string>> xml_obs(const std::string &xml) {
  std::vector<std::map<std::string, std::string>> out;
  static const std::regex obs("<obs ([^>]*)/>"), attr("([A-Za-z0-9_.]+)=\"([^\"]*)\"");
  for (std::sregex_iterator o(xml.begin(), xml.end(), obs), end; o != end; ++o) {
    std::map<std::string, std::string> m;
    const std::string body = (*o)[1];
    for (std::sregex_iterator a(body.begin(), body.end(), attr); a != end; ++a) m[(*a)[1]] = (*a)[2];
    out.push_back(m);
  }
  return out;
}

// An XML attribute of the decoded report against a BUFR element: factor and
// offset take the XML unit to the element's, `tol` covers the XML's
// rounding.
struct Pair {
  const char *attr;
  const char *key;
  double factor;
  double offset;
  double tol;
};
constexpr Pair kPairs[] = {
    {"temp.C", "#1#airTemperature", 1, 273.15, 0.051},
    {"dewp.C", "#1#dewpointTemperature", 1, 273.15, 0.051},
    {"slpr.mb", "#1#pressureReducedToMeanSeaLevel", 100, 0, 5.1},
    {"ptend.mb", "#1#3HourPressureChange", 100, 0, 5.1},
    {"ptype", "#1#characteristicOfPressureTendency", 1, 0, 0},
    {"wdir.deg", "#1#windDirection", 1, 0, 0.51},
    {"wspd.knt", "#1#windSpeed", 1852.0 / 3600.0, 0, 0.31},
    {"vis.mi", "#1#horizontalVisibility", 1609.344, 0, 90},
    {"cld_hgt_1.ft", "#1#heightOfBaseOfCloud", 0.3048, 0, 5.1},
    {"prec24.in", "#1#totalPrecipitationPast24Hours", 25.4, 0, 0.16},
    {"maxt.C", "#1#maximumTemperatureAtHeightAndOverPeriodSpecified", 1, 273.15, 0.051},
    {"mint.C", "#1#minimumTemperatureAtHeightAndOverPeriodSpecified", 1, 273.15, 0.051},
    {"scover.in", "#1#totalSnowDepth", 0.0254, 0, 0.0026},
    {"solar.min", "#1#totalSunshine", 1, 0, 0.51},
    {"sst.C", "#1#oceanographicWaterTemperature", 1, 273.15, 0.051},
    {"wave_per.sec", "#1#periodOfWindWaves", 1, 0, 0.51},
    {"wave_hgt.m", "#1#heightOfWindWaves", 1, 0, 0.051},
    {"lat", "#1#latitude", 1, 0, 0.006},
    {"lon", "#1#longitude", 1, 0, 0.006},
};

TEST(BufrRun, EveryMessageHoldsWhatTheDecodedReportHolds) {
  Conversion run;
  const auto xml = run.tavro("-ou xml -of xml:-");
  ASSERT_EQ(xml.status, 0) << xml.err;
  const auto bufr = run.tavro("-ou bufr -me mess");
  ASSERT_EQ(bufr.status, 0) << bufr.err;
  EXPECT_EQ(bufr.err.find("ecCodes"), std::string::npos) << bufr.err;
  EXPECT_NE(bufr.err.find("SFC_write: BUFR takes land, CMAN and ship reports: buoy reports not written to BUFR "
                          "(b46042)"),
            std::string::npos)
      << bufr.err;
  EXPECT_NE(bufr.out.find("Summary: 1 file read, 7 reports found, 0 written, 0 outside the time window, 0 not "
                          "selected, 0 dropped as duplicates, 0 merged, 0 not decoded, 6 BUFR messages written, 1 "
                          "not written to BUFR\n"),
            std::string::npos)
      << bufr.out;

  auto obs = xml_obs(xml.out);
  obs.erase(std::remove_if(obs.begin(), obs.end(), [](auto &o) { return o["id"][0] == 'b'; }), obs.end());
  const auto msgs = messages_of(read_file(run.dir.file("23120712.bufr")));
  ASSERT_EQ(msgs.size(), obs.size());
  for (std::size_t i = 0; i < msgs.size(); ++i) {
    codes_handle *h = msgs[i].get();
    auto &o = obs[i];
    SCOPED_TRACE(o["id"]);
    const bool ship = o["id"][0] == 's';
    EXPECT_EQ(num(h, "dataCategory"), ship ? 1 : 0);
    if (ship) {
      EXPECT_EQ(str(h, "#1#shipOrMobileLandStationIdentifier"), o["id"].substr(1));
    } else {
      EXPECT_EQ(str(h, "#1#wigosLocalIdentifierCharacter"), o["id"]);
    }
    for (const Pair &p : kPairs) {
      const double got = num(h, p.key);
      const auto a = o.find(p.attr);
      if (a == o.end()) {
        // Land messages have no sea elements at all.
        const bool sea = std::string(p.attr).rfind("wave", 0) == 0 || std::string(p.attr) == "sst.C";
        if (ship || !sea) {
          EXPECT_EQ(got, kMissing) << p.key;
        }
      } else {
        EXPECT_NEAR(got, std::stod(a->second) * p.factor + p.offset, p.tol) << p.key;
      }
    }
    // Cover in per cent from oktas, cloud types as 30+CL, 20+CM, 10+CH.
    const auto cover = o.find("cld_cov_1");
    if (cover != o.end() && std::isdigit(static_cast<unsigned char>(cover->second[0]))) {
      const int okta = cover->second[0] - '0';  // 9: sky obscured, 113
      EXPECT_EQ(num(h, "#1#cloudCoverTotal"), okta == 9 ? 113 : std::round(okta * 12.5));
    }
    const char *types[] = {"hcld", "mcld", "lcld"};
    for (int k = 0; k < 3; ++k) {
      const auto t = o.find(types[k]);
      const double want = t != o.end() && std::isdigit(static_cast<unsigned char>(t->second[0]))
                              ? 10 * (k + 1) + (t->second[0] - '0')
                              : kMissing;
      EXPECT_EQ(num(h, tvtest::numbered("#", 3 - k, "#cloudType")), want) << types[k];
    }
    if (o.count("prec6.in")) {
      EXPECT_EQ(num(h, ship ? "#2#timePeriod" : "#4#timePeriod"), -6);
      EXPECT_NEAR(num(h, "#1#totalPrecipitationOrTotalWaterEquivalent"), std::stod(o["prec6.in"]) * 25.4, 0.16);
    }
    EXPECT_EQ(num(h, "#1#presentWeather"), o.count("wx") ? 80 : kMissing) << "only 72405 reports 80 (RW-)";
    // What the decoder does not keep stays missing.
    EXPECT_EQ(num(h, "#1#pastWeather1"), kMissing);
    EXPECT_EQ(num(h, "#1#nonCoordinatePressure"), kMissing);
    if (ship) {
      EXPECT_EQ(num(h, "#1#directionOfMotionOfMovingObservingPlatform"), kMissing);
      EXPECT_EQ(num(h, "#1#movingObservingPlatformSpeed"), kMissing);
    }
  }
}

TEST(BufrRun, AppendAddsMessagesAndKeepsTheFileWhole) {
  Conversion run;
  ASSERT_EQ(run.tavro("-ou bufr").status, 0);
  const std::string first = read_file(run.dir.file("23120712.bufr"));
  ASSERT_EQ(messages_of(first).size(), 6u);
  const auto app = run.tavro("-ou bufr -pf app");
  ASSERT_EQ(app.status, 0) << app.err;
  const std::string both = read_file(run.dir.file("23120712.bufr"));
  EXPECT_EQ(both.substr(0, first.size()), first) << "the file's messages untouched";
  EXPECT_EQ(messages_of(both).size(), 12u);

  // A file whose last message is cut is not appended to, and stays as it is.
  const std::string cut = first.substr(0, first.size() - 10);
  write_file(run.dir.file("23120712.bufr"), cut);
  const auto refused = run.tavro("-ou bufr -pf app");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("SFC_open: BUFR file cut short or holding other data, not appended to: 23120712.bufr"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(read_file(run.dir.file("23120712.bufr")), cut);
  // Nor is a file of anything else.
  write_file(run.dir.file("23120712.bufr"), "BUFF\n");
  const auto other = run.tavro("-ou bufr -pf app");
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("SFC_open: Not a BUFR file, not appended to: 23120712.bufr"), std::string::npos)
      << other.err;
  EXPECT_EQ(read_file(run.dir.file("23120712.bufr")), "BUFF\n");

  // Standard output takes the same messages, binary.
  const auto out = run.tavro("-ou bufr -of bufr:-");
  ASSERT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(out.out, first);
}

// Wrong settings and targets: a clear message, status 1, nothing made and
// nothing lost.
TEST(BufrRun, BadSettingsAndTargetsEndTheRunWithNothingLost) {
  struct Case {
    const char *name;
    const char *defaults;  // the defaults file of the run's folder
    const char *list;      // the station list file, or null
    const char *target;    // -of value
    const char *message;
  };
  const Case cases[] = {
      {"centre no number", "tavro.bufr_centre 98x\n", nullptr, "bufr:out.bufr",
       "SFC_open: bufr_centre is not a number from 0 to 65535: 98x\n"},
      {"sub-centre too large", "tavro.bufr_subcentre 70000\n", nullptr, "bufr:out.bufr",
       "SFC_open: bufr_subcentre is not a number from 0 to 65535: 70000\n"},
      {"list no CSV", "tavro.station_list stations.csv\n", "just some text\nwithout columns\n", "bufr:out.bufr",
       "CTY_wis_load: Not a CSV station list (a header line with wigos_station_identifier and "
       "traditional_station_identifier): stations.csv\n"},
      {"list binary", "tavro.station_list stations.csv\n", "wigos_station_identifier,traditional\0x\n",
       "bufr:out.bufr", "CTY_wis_load: Not a CSV station list"},
      {"list absent", "tavro.station_list none.csv\n", nullptr, "bufr:out.bufr",
       "CTY_wis_load: Unable to read station list: none.csv\n"},
      {"unwritable target", "", nullptr, "bufr:syn.cty/out.bufr",
       "SYN_out_file: Unable to open converted data file: syn.cty/out.bufr\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Conversion run;
    write_file(run.dir.file("zot.cfg"), c.defaults);
    if (c.list) {
      // The binary case holds a NUL: written with its length.
      const std::string text = std::string(c.name) == "list binary"
                                   ? std::string("wigos_station_identifier,traditional\0x\n", 40)
                                   : std::string(c.list);
      write_file(run.dir.file("stations.csv"), text);
    }
    write_file(run.dir.file("out.bufr"), "old file\n");
    const auto r = run.tavro(std::string("-pf over -of ") + c.target);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(read_file(run.dir.file("out.bufr")), "old file\n");
  }
}

TEST(BufrRun, StationListGivesIdentityPositionAndHeights) {
  Conversion run;
  write_file(run.dir.file("stations.csv"),
             "station_name,wigos_station_identifier,traditional_station_identifier,facility_type,latitude,"
             "longitude,elevation,barometer_height,territory_name,wmo_region\n"
             "\"Dulles, Intl Airport, VA\",0-840-0-72403,72403,Land (fixed),38.9347,-77.4473,88.4,90.1,"
             "United States,4\n"
             "Broken line,0-840-0-1,72405,Land (fixed),38.8\n"
             "Bad id,0-840-72520,72520,Land (fixed),40.5,-80.2,360,361,United States,4\n"
             "Buzzards Bay,0-20000-0-BUZM3,BUZM3,Sea (fixed),41.397,-71.033,,25,United States,4\n");
  write_file(run.dir.file("zot.cfg"), "tavro.station_list stations.csv\ntavro.bufr_centre 7\ntavro.bufr_subcentre 3\n");
  const auto r = run.tavro("-ou bufr");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("CTY_wis_load: Line 3 of stations.csv skipped (wrong number of fields)\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("CTY_wis_load: Line 4 of stations.csv skipped (WIGOS identifier is not four fields)\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("bufr_centre not set"), std::string::npos) << r.err;
  const auto msgs = messages_of(read_file(run.dir.file("23120712.bufr")));
  ASSERT_EQ(msgs.size(), 6u);
  codes_handle *dulles = msgs[0].get();
  EXPECT_EQ(num(dulles, "bufrHeaderCentre"), 7);
  EXPECT_EQ(num(dulles, "bufrHeaderSubCentre"), 3);
  EXPECT_EQ(num(dulles, "#1#wigosIssuerOfIdentifier"), 840);
  EXPECT_EQ(str(dulles, "#1#wigosLocalIdentifierCharacter"), "72403");
  EXPECT_EQ(str(dulles, "#1#stationOrSiteName"), "Dulles, Intl Airport") << "cut to the 20 characters of the element";
  EXPECT_NEAR(num(dulles, "#1#latitude"), 38.9347, 1e-5);
  EXPECT_NEAR(num(dulles, "#1#heightOfStationGroundAboveMeanSeaLevel"), 88.4, 1e-6);
  EXPECT_NEAR(num(dulles, "#1#heightOfBarometerAboveMeanSeaLevel"), 90.1, 1e-6);
  // Skipped lines: the identifier made from the number, the station file's position.
  codes_handle *pit = msgs[2].get();
  EXPECT_EQ(num(pit, "#1#wigosIssuerOfIdentifier"), 20000);
  EXPECT_EQ(str(pit, "#1#wigosLocalIdentifierCharacter"), "72520");
  EXPECT_NEAR(num(pit, "#1#latitude"), 40.49, 1e-5);
  EXPECT_EQ(num(pit, "#1#heightOfBarometerAboveMeanSeaLevel"), kMissing);
  // A CMAN station by its call sign; an empty elevation stays missing.
  codes_handle *buzm3 = msgs[4].get();
  EXPECT_EQ(str(buzm3, "#1#stationOrSiteName"), "Buzzards Bay");
  EXPECT_NEAR(num(buzm3, "#1#longitude"), -71.033, 1e-5);
  EXPECT_EQ(num(buzm3, "#1#heightOfStationGroundAboveMeanSeaLevel"), kMissing);
  EXPECT_NEAR(num(buzm3, "#1#heightOfBarometerAboveMeanSeaLevel"), 25, 1e-6);
}

// ----- the shared corpus --------------------------------------------------------------

// The counts of a summary line: reports found, written, then every other outcome.
std::vector<long> summary_counts(const std::string &out) {
  std::vector<long> n;
  const std::size_t at = out.find("Summary: ");
  if (at == std::string::npos) return n;
  const std::string line = out.substr(at, out.find('\n', at) - at);
  static const std::regex number(", (\\d+) ");
  for (std::sregex_iterator m(line.begin(), line.end(), number), end; m != end; ++m) n.push_back(std::stol((*m)[1]));
  return n;
}

// Every report written to text becomes a message that ecCodes decodes
// without an error or a warning, or is a class BUFR does not take.
TEST(BufrCorpus, EveryTextRecordIsAMessageEcCodesReadsCleanly) {
  if (tvtest::corpus_dir().empty()) GTEST_SKIP() << "no corpus";
  long total = 0;
  for (const std::string &f : tvtest::corpus_bulletins()) {
    SCOPED_TRACE(f);
    TempDir dir;
    tvtest::corpus_run_dir(dir);
    const std::string base = tvtest::corpus_command(f);
    const auto text = run_command(base + "-of out.zot -me mess", dir.path());
    ASSERT_EQ(text.status, 0) << text.err;
    const auto bufr = run_command(base + "-of bufr:out.bufr -me mess", dir.path());
    ASSERT_EQ(bufr.status, 0) << bufr.err;
    EXPECT_EQ(bufr.err.find("ecCodes error"), std::string::npos) << bufr.err;
    const auto t = summary_counts(text.out), b = summary_counts(bufr.out);
    ASSERT_EQ(t.size() + 2, b.size()) << bufr.out;
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[b.size() - 2] + b[b.size() - 1], t[1]) << "messages and refused reports are the text records";
    const auto msgs = messages_of(read_file(dir.file("out.bufr")));
    EXPECT_EQ(static_cast<long>(msgs.size()), b[b.size() - 2]);
    total += static_cast<long>(msgs.size());
    if (msgs.empty()) continue;
    const auto dump = run_command("bufr_dump -jf out.bufr > /dev/null", dir.path());
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.err, "") << "ecCodes warnings";
  }
  EXPECT_GT(total, 100) << "the corpus gives BUFR messages";
}

}  // namespace
