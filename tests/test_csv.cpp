// The CSV format: rows against the header, quoting, missing values, the
// observation time across midnight, rows that never overrun their buffer,
// and the converter's appends and refusals. What readers make of the
// files is checked by tests/py/check_analysis.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "framework/date.hpp"
#include "output/sfc_analysis.hpp"
#include "output/sfc_csv.hpp"
#include "output/sfc_dec.hpp"
#include "report/sfc_tool.hpp"
#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::run_command;
using tvtest::TempDir;
using tvtest::write_file;

std::vector<std::string> split_fields(const std::string &row) {
  // Quoted fields of these tests hold no line end.
  std::vector<std::string> out(1);
  bool quoted = false;
  for (std::size_t i = 0; i < row.size(); ++i) {
    const char c = row[i];
    if (c == '"') {
      if (quoted && i + 1 < row.size() && row[i + 1] == '"') {
        out.back() += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == ',' && !quoted) {
      out.emplace_back();
    } else if (c != '\n') {
      out.back() += c;
    }
  }
  return out;
}

std::string column(const std::vector<std::string> &header, const std::vector<std::string> &row,
                   const std::string &name) {
  for (std::size_t i = 0; i < header.size() && i < row.size(); ++i)
    if (header[i] == name) return row[i];
  std::string none = "<no column ";
  none.append(name).append(">");
  return none;
}

AnaClock clock_at(int year, int month, int day, int hour) {
  AnaClock c;
  c.set(Date{year, month, day, 0, 0, hour, 0, 0});
  return c;
}

std::string row_of(const SFC_report &r, const AnaClock &c) {
  char buf[4096];
  const std::size_t n = SFC_format_csv(buf, sizeof buf, r, c);
  return std::string(buf, n);
}

SFC_report blank(const char *id, const char *area) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  std::snprintf(r.area, sizeof r.area, "%s", area);
  r.type = 1;
  r.time = 1200;
  return r;
}

TEST(CsvRow, ValuesInAnalystsUnitsMissingEmptyAndTheHeaderMatches) {
  const std::string head(SFC_csv_header());
  ASSERT_EQ(head.back(), '\n');
  const auto header = split_fields(head);
  ASSERT_EQ(header.size(), kAnaVarCount);
  EXPECT_EQ(header.front(), "station_id");
  EXPECT_EQ(header[3], "time");

  SFC_report r = blank("72403", "LA VA US");
  r.wmo = 72403;
  r.lat = 38.95f;
  r.lon = -77.45f;
  r.elev = 95.0f;
  r.t = 59.0f;    // 15.0 degC
  r.pmb = 1013.2f;
  r.w_spd = 10.0f;  // knots: 5.1 m/s
  r.ptend_t = 7;
  r.ptend = -1.0f;
  r.rain6 = 0.0f;
  r.rain24 = 1.0f;  // an inch: 25.4 mm
  r.cld_cover[0] = 'O';  // overcast: 8 oktas
  r.cld_type[0] = '2';
  r.cld_type[1] = '-';
  const AnaClock c = clock_at(2023, 12, 7, 12);
  const auto row = split_fields(row_of(r, c));
  ASSERT_EQ(row.size(), header.size());
  EXPECT_EQ(column(header, row, "station_id"), "72403");
  EXPECT_EQ(column(header, row, "wmo_id"), "72403");
  EXPECT_EQ(column(header, row, "report_type"), "land");
  EXPECT_EQ(column(header, row, "time"), "2023-12-07T12:00:00Z");
  EXPECT_EQ(column(header, row, "latitude"), "38.950");
  EXPECT_EQ(column(header, row, "altitude_m"), "95.0");
  EXPECT_EQ(column(header, row, "air_temperature_degc"), "15.0");
  EXPECT_EQ(column(header, row, "air_pressure_at_mean_sea_level_hpa"), "1013.2");
  EXPECT_EQ(column(header, row, "wind_speed_m_s"), "5.1");
  EXPECT_EQ(column(header, row, "pressure_tendency_characteristic_code"), "7");
  EXPECT_EQ(column(header, row, "tendency_of_air_pressure_hpa_3h"), "-1.0");
  EXPECT_EQ(column(header, row, "precipitation_amount_6h_mm"), "0.0");  // none fell: not missing
  EXPECT_EQ(column(header, row, "precipitation_amount_24h_mm"), "25.4");
  EXPECT_EQ(column(header, row, "cloud_area_fraction_okta"), "8");
  EXPECT_EQ(column(header, row, "low_cloud_type_code"), "2");
  // Not reported: empty, never -9999 or a figure of a blank.
  for (const char *name : {"dew_point_temperature_degc", "wind_speed_of_gust_m_s", "middle_cloud_type_code",
                           "high_cloud_type_code", "present_weather_code", "precipitation_amount_12h_mm",
                           "sea_surface_temperature_degc", "cloud_base_altitude_m"})
    EXPECT_EQ(column(header, row, name), "") << name;
  EXPECT_EQ(row_of(r, c).find("9999"), std::string::npos);

  // A report with nothing but its identifier: every value empty.
  const auto bare = split_fields(row_of(blank("X", "UN"), c));
  ASSERT_EQ(bare.size(), header.size());
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] != "station_id" && header[i] != "report_type" && header[i] != "time") {
      EXPECT_EQ(bare[i], "") << header[i];
    }
  }
  EXPECT_EQ(column(header, bare, "report_type"), "unknown");
}

TEST(CsvRow, TextsAreQuotedWhenTheyMustAndStayAscii) {
  const auto header = split_fields(std::string(SFC_csv_header()));
  const AnaClock c = clock_at(2023, 12, 7, 12);
  SFC_report r = blank("A,B\"C", "SH");
  const std::string text = row_of(r, c);
  EXPECT_EQ(text.rfind("\"A,B\"\"C\",", 0), 0u) << text;
  const auto row = split_fields(text);
  ASSERT_EQ(row.size(), header.size());
  EXPECT_EQ(row[0], "A,B\"C");
  EXPECT_EQ(column(header, row, "report_type"), "ship");
  // Bytes that are no printable ASCII (a broken feed) cannot make the file
  // invalid UTF-8 or add a line.
  r = blank("K\xE9\n1", "BU");
  const std::string odd = row_of(r, c);
  EXPECT_EQ(odd.rfind("K??1,", 0), 0u) << odd;
  EXPECT_EQ(std::count(odd.begin(), odd.end(), '\n'), 1);
}

TEST(CsvRow, ObservationTimeOfTheHourBeforeCrossesMidnightAndTheYear) {
  const AnaClock c = clock_at(2024, 1, 1, 0);
  SFC_report r = blank("1", "LA");
  const auto header = split_fields(std::string(SFC_csv_header()));
  r.time = 2350;  // ten minutes before the file's hour
  EXPECT_EQ(column(header, split_fields(row_of(r, c)), "time"), "2023-12-31T23:50:00Z");
  EXPECT_DOUBLE_EQ(c.seconds(2350), 1704067200.0 - 600.0);
  r.time = 30;
  EXPECT_EQ(column(header, split_fields(row_of(r, c)), "time"), "2024-01-01T00:30:00Z");
  EXPECT_DOUBLE_EQ(c.seconds(30), 1704067200.0 + 1800.0);
  // A leap day.
  const AnaClock leap = clock_at(2024, 3, 1, 0);
  r.time = 2300;
  EXPECT_EQ(column(header, split_fields(row_of(r, leap)), "time"), "2024-02-29T23:00:00Z");
}

// Any hour of day is placed as the run's window places it (within eleven
// hours of the file's hour), so a row's time is the time its report was
// accepted for; text and seconds agree.
TEST(CsvRow, ObservationTimeOfAnyHourLiesWhereTheWindowPutsIt) {
  const auto header = split_fields(std::string(SFC_csv_header()));
  struct TimeCase {
    int hour;  // of the file
    int hhmm;
    const char *iso;
  };
  const TimeCase cases[] = {
      {12, 1030, "2023-12-07T10:30:00Z"}, {12, 2359, "2023-12-07T23:59:00Z"},
      {12, 0, "2023-12-08T00:00:00Z"},    {12, 100, "2023-12-07T01:00:00Z"},
      {0, 1300, "2023-12-06T13:00:00Z"},  {0, 1100, "2023-12-07T11:00:00Z"},
      {0, 2400, "2023-12-07T00:00:00Z"},  {23, 0, "2023-12-08T00:00:00Z"},
  };
  for (const TimeCase &t : cases) {
    const AnaClock c = clock_at(2023, 12, 7, t.hour);
    SFC_report r = blank("1", "LA");
    r.time = t.hhmm;
    EXPECT_EQ(column(header, split_fields(row_of(r, c)), "time"), t.iso) << t.hour << " " << t.hhmm;
    char iso[32];
    ANA_iso_time(c.seconds(t.hhmm), iso, sizeof iso);
    EXPECT_STREQ(iso, t.iso) << t.hour << " " << t.hhmm;
  }
  // Every minute of the day, in files of every hour: the window accepts a
  // time exactly when its placed moment lies inside it.
  for (int fh = 0; fh < 24; fh += 5) {
    Date d{2023, 12, 7, 0, 0, fh, 0, 0};
    const AnaClock c = clock_at(2023, 12, 7, fh);
    DATE_set_range(-200, 300);
    DATE_set_datim(&d);
    const double base = c.seconds(fh * 100);
    for (int hhmm = 0; hhmm < 2400; hhmm += hhmm % 100 == 59 ? 41 : 1) {
      const double off = c.seconds(hhmm) - base;
      EXPECT_EQ(DATE_chk_range(hhmm), off >= -200 * 60 && off <= 300 * 60 ? 1 : 0) << fh << " " << hhmm;
    }
  }
  DATE_set_range(-45, 45);
}

// Whatever a record holds (a damaged table entry, extreme floats, texts
// without their terminator), a row stays in its buffer and has one field
// per column.
TEST(CsvRow, GarbageRecordsNeverOverrunAndKeepTheirColumns) {
  std::mt19937 rng(17);
  const AnaClock c = clock_at(2023, 12, 7, 12);
  const std::size_t columns = kAnaVarCount;
  const float specials[] = {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                            -9999.0f, 0.0f, -0.0f, 1e-30f};
  for (int i = 0; i < 2000; ++i) {
    SFC_report r;
    auto *bytes = reinterpret_cast<unsigned char *>(&r);
    for (std::size_t k = 0; k < sizeof r; ++k) bytes[k] = static_cast<unsigned char>(rng());
    if (i % 2) {
      for (float *f : {&r.t, &r.td, &r.pmb, &r.w_spd, &r.vis, &r.lat, &r.lon, &r.elev, &r.rain24, &r.cld_height[0]})
        *f = specials[rng() % std::size(specials)];
    }
    char buf[4096 + 16];
    std::memset(buf, 'Z', sizeof buf);
    const std::size_t n = SFC_format_csv(buf, 4096, r, c);
    ASSERT_LE(n, 4096u);
    for (std::size_t k = 4096; k < sizeof buf; ++k) ASSERT_EQ(buf[k], 'Z');
    const std::string row(buf, n);
    ASSERT_EQ(row.back(), '\n');
    ASSERT_EQ(std::count(row.begin(), row.end(), '\n'), 1);
    ASSERT_EQ(split_fields(row).size(), columns) << row;
    ASSERT_EQ(row.find("nan"), std::string::npos) << row;
    ASSERT_EQ(row.find("inf"), std::string::npos) << row;
  }
}

// ----- the row against the plain printf form ------------------------------------

// A row as the plain way writes it: each value through the generic
// ANA_record_value and snprintf's "%.*f" or "%lld", the time through
// gmtime, texts quoted by hand. No station file is loaded here, so the
// station name is empty.
std::string plain_text(const char *s, std::size_t max) {
  const std::size_t n = strnlen(s, max);
  std::string t(s, n);
  bool quote = false;
  std::string out;
  for (char c : t) {
    const auto u = static_cast<unsigned char>(c);
    quote = quote || c == ',' || c == '"';
    if (c == '"') out += '"';
    out += u >= 0x20 && u < 0x7f ? c : '?';
  }
  return quote ? "\"" + out + "\"" : out;
}

std::string plain_row(const SFC_report &r, const AnaClock &clk) {
  std::string row;
  for (std::size_t i = 0; i < kAnaVarCount; ++i) {
    const AnaVar &v = kAnaVars[i];
    if (i > 0) row += ',';
    char buf[512];
    switch (v.kind) {
      case AnaKind::station_id: row += plain_text(r.id, sizeof r.id); break;
      case AnaKind::report_type: row += ANA_report_type(r); break;
      case AnaKind::station_name: break;
      case AnaKind::time:
        ANA_iso_time(clk.seconds(r.time), buf, sizeof buf);
        row += buf;
        break;
      default: {
        const double x = ANA_record_value(v, r);
        if (std::isnan(x)) break;
        if (v.type == AnaType::int32)
          std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(x));
        else
          std::snprintf(buf, sizeof buf, "%.*f", v.csv_prec, ANA_csv_value(i, x));
        row += buf;
      }
    }
  }
  return row + '\n';
}

// Values a column meets: missing, zero of both signs, ties of the printed
// decimals (0.25, 2.5, 0.125 are exact in binary), values that round to
// -0, thousands and more, the extremes of a float, and no numbers at all.
float some_float(std::mt19937 &rng) {
  static constexpr float kSpecial[] = {
      -9999.0f, 0.0f, -0.0f, 0.25f, -0.25f, 0.75f, 2.5f, 3.5f, -2.5f, 0.125f, 0.0625f, 0.05f, -0.05f,
      -0.04f, 999.95f, 999.5f, 9999.5f, 1013.25f, 99999.0f, 100000.0f, 1e12f, 1e13f, 3e15f,
      std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
      std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::infinity(),
      -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
  switch (rng() % 6) {
    case 0: return kSpecial[rng() % std::size(kSpecial)];
    case 1: return std::bit_cast<float>(static_cast<std::uint32_t>(rng()));  // anything
    case 2: return static_cast<float>(static_cast<int>(rng() % 40001) - 20000) / 10.0f;  // tenths
    case 3: return static_cast<float>(static_cast<int>(rng() % 4001) - 2000) / 100.0f;  // hundredths
    case 4: return static_cast<float>(rng() % 200000) / 8.0f;  // eighths: ties after conversion
    default: return -9999.0f;
  }
}

SFC_report random_record(std::mt19937 &rng) {
  static constexpr const char *kIds[] = {"72403", "26838", "WLGT", "A,B", "say \"hi\"", "K\xE9", "", "12345678901"};
  static constexpr const char *kAreas[] = {"LA", "SH", "BU", "DR", "CM", "UN", "LA VA US", "L", ""};
  static constexpr const char *kWeather[] = {"", " ", "RW-", "TRW+", "F", "57", "999", "!+RA", "XX", "TRW+AHGF", "RW-SW-F"};
  static constexpr char kCovers[] = {'0', '4', '8', '9', 'C', 'F', 'S', 'B', 'O', 'X', ' ', '-', '/', 'z'};
  SFC_report r;
  SFC_initialize(&r);
  // The last identifier fills the field, without its NUL.
  const std::string_view id = kIds[rng() % std::size(kIds)];
  for (std::size_t k = 0; k < sizeof r.id; ++k) r.id[k] = k < id.size() ? id[k] : '\0';
  std::snprintf(r.area, sizeof r.area, "%s", kAreas[rng() % std::size(kAreas)]);
  std::snprintf(r.weather, sizeof r.weather, "%s", kWeather[rng() % std::size(kWeather)]);
  if (rng() % 2) {
    // Weather texts of 1 to 12 bytes, many of them: the codes are
    // remembered by text, so texts must share the memory and never be
    // mistaken for one another.
    static constexpr std::string_view kLetters = "RWSTLFHKGA+-!0123456789 ";
    const std::size_t n = 1 + rng() % 12;
    for (std::size_t k = 0; k < n; ++k) r.weather[k] = kLetters[rng() % kLetters.size()];
    r.weather[n] = '\0';
  }
  r.wmo = static_cast<int>(rng() % (rng() % 4 ? 100000 : 2000000)) - (rng() % 4 ? 0 : 1000000);
  r.time = rng() % 8 ? static_cast<int>(rng() % 2400) : static_cast<int>(rng() % 3) * 7000 - 9999;
  r.ptend_t = static_cast<int>(rng() % 13) - 2;
  r.cld_cover[0] = kCovers[rng() % std::size(kCovers)];
  for (char &c : r.cld_type) c = static_cast<char>(rng() % 3 ? '0' + rng() % 10 : rng());
  for (float *f : {&r.lat, &r.lon, &r.elev, &r.cld_height[0], &r.vis, &r.pmb, &r.t, &r.td, &r.w_dir, &r.w_spd,
                   &r.w_gust, &r.ptend, &r.rain1, &r.rain3, &r.rain6, &r.rain12, &r.rain24, &r.max_t, &r.min_t,
                   &r.max6_t, &r.min6_t, &r.scover, &r.solar, &r.sst, &r.wav_per, &r.wav_hgt})
    *f = some_float(rng);
  return r;
}

TEST(CsvRow, EveryRowIsThePlainPrintfRowAndShortRoomKeepsItsStart) {
  std::mt19937 rng(20261210);
  const AnaClock c = clock_at(2024, 1, 1, 0);
  char buf[kSfcLineMax];
  for (int i = 0; i < 60000; ++i) {
    const SFC_report r = random_record(rng);
    const std::string want = plain_row(r, c);
    const std::string got = row_of(r, c);
    ASSERT_EQ(got, want) << "record " << i;
    // Less room than the row: as much of it as fits, nothing past the room.
    const std::size_t size = rng() % (want.size() + 8);
    std::memset(buf, 'Z', sizeof buf);
    const std::size_t n = SFC_format_csv(buf, size, r, c);
    ASSERT_EQ(std::string(buf, n), want.substr(0, size)) << "record " << i << " in " << size;
    ASSERT_EQ(buf[size], 'Z');
  }
}

// ----- the converter ------------------------------------------------------------

class CsvRun : public testing::Test {
 protected:
  void SetUp() override {
    for (const char *name : {"23120712.syn", "name_conv", "syn.cty"}) {
      std::string rel = "examples/";
      rel.append(name);
      write_file(dir.file(name), read_file(tvtest::source_path(rel)));
    }
  }
  tvtest::RunResult tavro(const std::string &args) {
    return run_command(std::string(TAVRO_EXE) + " -ba " + args + " 23120712.syn", dir.path());
  }
  TempDir dir;
};

TEST_F(CsvRun, KeywordAndAppendAddRowsUnderOneHeader) {
  auto r = tavro("-ou csv -pf over");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string once = read_file(dir.file("23120712.csv"));
  ASSERT_EQ(once.rfind(std::string(SFC_csv_header()), 0), 0u);
  EXPECT_EQ(std::count(once.begin(), once.end(), '\n'), 14);  // the header and 13 reports
  r = tavro("-ou csv -pf app");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string twice = read_file(dir.file("23120712.csv"));
  std::string want = once;
  want.append(once, SFC_csv_header().size());
  EXPECT_EQ(twice, want);
  // Standard output takes the same rows.
  r = tavro("-pf over -of csv:-");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(once), std::string::npos);
}

// Rows are only ever added under this program's header: a CSV of other
// columns, a text file of this program, or a CF file are refused, status
// 1, unchanged.
TEST_F(CsvRun, AppendToAFileOfOtherColumnsIsRefused) {
  const std::string_view header = SFC_csv_header();
  std::string other(header.substr(0, header.size() - 1));
  other.append(",extra\n");
  const std::vector<std::string> refused = {
      "station_id,time\n1,2023-12-07T12:00:00Z\n", other,
      "ZOTSFC\n1200Z  7 DEC 23\n72403 @1200 L390,-775 59 48 1013 -99 27005 6.2 -\n", "",
  };
  for (const std::string &text : refused) {
    write_file(dir.file("old.csv"), text);
    auto r = tavro("-pf app -of csv:old.csv");
    EXPECT_EQ(r.status, 1) << text;
    if (!text.empty()) {
      EXPECT_NE(r.err.find("SFC_open: Not a CSV file of this program's columns, not appended to: old.csv\n"),
                std::string::npos)
          << r.err;
    }
    EXPECT_EQ(read_file(dir.file("old.csv")), text);
  }
  // A header written with CRLF line ends (a spreadsheet's save) is the same
  // header; the rows added keep this program's LF.
  const std::string_view head = SFC_csv_header();
  std::string crlf(head.substr(0, head.size() - 1));
  crlf.append("\r\n");
  write_file(dir.file("crlf.csv"), crlf);
  auto r = tavro("-pf app -of csv:crlf.csv");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string added = read_file(dir.file("crlf.csv"));
  EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 14);
  EXPECT_EQ(std::count(added.begin(), added.end(), '\r'), 1);
}

}  // namespace
