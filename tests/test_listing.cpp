// The report listing in its four layouts and the full report printout,
// compared byte for byte with lines written by hand from the column tables.
// Each expected line is spelled column by column.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "report/sfc_tool.hpp"

namespace {

using tv::kMissFloat;

constexpr M_type kList = 0x100000;

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

SFC_report empty_report(const char *id) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  return r;
}

// A land report with every value present and two cloud layers.
SFC_report full_report() {
  SFC_report r = empty_report("KDEN");
  std::strcpy(r.area, "LA");
  r.type = 1;
  r.wmo = 72469;
  r.lat = 39.77f;
  r.lon = -104.87f;
  r.elev = 1611.0f;
  r.prior = 1;
  r.time = 1200;
  r.num_cld = 2;
  r.cld_height[0] = 2500.0f;
  r.cld_cover[0] = 'S';
  r.cld_height[1] = 8000.0f;
  r.cld_cover[1] = 'B';
  r.vis = 10.0f;
  std::strcpy(r.weather, "R-");
  r.pmb = 1013.2f;
  r.t = 70.0f;
  r.td = 50.0f;
  r.w_dir = 270.0f;
  r.w_spd = 15.0f;
  r.w_gust = 25.0f;
  r.alt = 29.92f;
  r.ptend_t = 2;
  r.ptend = 1.5f;
  r.rain3 = 0.05f;
  r.rain6 = 0.12f;
  r.rain12 = 0.3f;
  r.rain24 = 0.75f;
  r.cld_low = '5';
  std::memcpy(r.cld_type, "523", 3);
  r.max_t = 75.0f;
  r.min_t = 45.0f;
  r.max6_t = 72.0f;
  r.min6_t = 48.0f;
  r.scover = 3.0f;
  r.solar = 60.0f;
  std::strcpy(r.comment, "AO2");
  return r;
}

// Five layers: few, thin scattered, 5 oktas, overcast without height, obscured.
SFC_report five_layers() {
  SFC_report r = empty_report("EGLL");
  r.type = 3;
  r.num_cld = 5;
  const float h[5] = {500.0f, 1200.0f, 2500.0f, kMissFloat, 20000.0f};
  for (int i = 0; i < 5; ++i) r.cld_height[i] = h[i];
  std::memcpy(r.cld_cover, "Fs5OX", 5);
  return r;
}

std::string printout(SFC_report r) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(SFC_print_report(&r), 0);
  return testing::internal::GetCapturedStdout();
}

// The two lines every printout starts with.
std::string head(const char *id) {
  return std::string("Data for: ") + id + "\n-----------------------------------\n";
}

class Listing : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = MESS_get();
    MESS_set(1, kList);
  }
  void TearDown() override {
    MESS_set(0, 0);
    MESS_set(1, saved_);
    SFC_set_print(4);
  }
  static std::string line(int mode, SFC_report r) {
    SFC_set_print(mode);
    testing::internal::CaptureStdout();
    EXPECT_EQ(SFC_print_line(kList, &r), 0);
    return testing::internal::GetCapturedStdout();
  }
  static std::string header(int mode) {
    SFC_set_print(mode);
    testing::internal::CaptureStdout();
    SFC_print_line(kList, nullptr);
    return testing::internal::GetCapturedStdout();
  }
  M_type saved_ = 0;
};

}  // namespace

TEST_F(Listing, Headers) {
  EXPECT_EQ(header(4),
            " ID   Cht Cv  Vis   PWx  SLPres   T  Td  WD-WS WG  Te  PT   Rn6 Rn24 SC L:M:H\n");
  EXPECT_EQ(header(2),
            "ID     TIME   T  TD  RH DIR SPD GST ALT SLP VIS CIL  COV WX  MAX MIN  PR6 PR24 SC\n");
  EXPECT_EQ(header(1),
            "  ID Tp Time  Vis    PWx   SLPres   T  Td   WD-WS WG  Alt   PT  Max Min\n"
            "     CHt CCv CHt CCv CHt CCv CHt CCv CHt CCv  L:M:H  Rn3  Rn6 Rn12 Rn24 SC\n");
  EXPECT_EQ(header(3), "");
}

TEST_F(Listing, PsynEveryValuePresent) {
  EXPECT_EQ(line(4, full_report()), std::string("KDEN  ") + "  25 S " + " 10.0  " + "  R-" +
                                        " 1013.2 " + " 70 " + " 50 " + "270-" + "15 " + "25 " +
                                        "75 " + " 1.5" + " 0.12 " + "0.75 " + " 3" + " 5:2:3" +
                                        "\n");
}

TEST_F(Listing, PsynEveryValueMissing) {
  EXPECT_EQ(line(4, empty_report("SHIP")),
            "SHIP  " + blanks(7) + blanks(7) + blanks(4) + blanks(8) + blanks(4) + blanks(4) +
                "   -      " + blanks(4) + blanks(4) + blanks(6) + blanks(5) + blanks(2) + "\n");
}

TEST_F(Listing, PsynColumns) {
  SFC_report r = empty_report("A1");
  r.num_cld = 1;
  r.cld_cover[0] = '5';
  r.cld_height[0] = 2500.0f;
  std::strcpy(r.weather, "TRW+A");  // one character too wide for the column
  r.max6_t = 72.0f;                 // Te falls back to the 6-hour maximum
  r.w_dir = 90.0f;
  r.w_spd = 5.0f;  // gust missing
  std::memcpy(r.cld_type, "1-/", 3);
  EXPECT_EQ(line(4, r), std::string("A1    ") + "  25 5 " + blanks(7) + "TRW+A" + blanks(8) +
                            blanks(8) + " 90-" + " 5 " + "   " + "72 " + blanks(4) + blanks(6) +
                            blanks(5) + blanks(2) + " 1:-:/" + "\n");

  r.cld_height[0] = kMissFloat;  // a layer without height keeps its cover
  r.max6_t = kMissFloat;
  r.min6_t = -3.0f;
  std::memcpy(r.cld_type, "   ", 3);
  EXPECT_EQ(line(4, r), std::string("A1    ") + "     5 " + blanks(7) + "TRW+A" + blanks(8) +
                            blanks(8) + " 90-" + " 5 " + "   " + "-3 " + blanks(4) + blanks(6) +
                            blanks(5) + blanks(2) + "\n");
}

TEST_F(Listing, DirectionWithoutSpeedLeavesTheSpeedBlank) {
  SFC_report r = empty_report("W1");
  r.w_dir = 160.0f;
  r.w_spd = kMissFloat;  // reset by the validity check
  r.w_gust = 30.0f;
  const std::string psyn = line(4, r);
  EXPECT_EQ(psyn.find("-9999"), std::string::npos) << psyn;
  EXPECT_EQ(psyn, "W1    " + blanks(7) + blanks(7) + blanks(4) + blanks(8) + blanks(4) + blanks(4) +
                      "160-" + "   " + "30 " + blanks(4) + blanks(4) + blanks(6) + blanks(5) +
                      blanks(2) + "\n");
  const std::string plns = line(1, r);
  EXPECT_EQ(plns.find("-9999"), std::string::npos) << plns;
  EXPECT_EQ(plns.substr(0, plns.find('\n')), std::string("  W1 ") + "--" + " " + blanks(5) + blanks(7) +
                                                 blanks(6) + blanks(8) + blanks(4) + blanks(4) +
                                                 " 160-" + "   " + "30 " + blanks(6) + blanks(6) +
                                                 blanks(4) + blanks(4));
}

// A ship's call sign longer than the column is cut to five characters and
// marked with "+"; its whole text ends the row, and every other cell stays
// where a five-character identifier has it. In psyn, whose next cell starts
// with a blank, six characters still fit whole.
TEST_F(Listing, LongIdentifiersAreMarkedAndNeverShiftTheRow) {
  SFC_report r = full_report();
  std::snprintf(r.id, sizeof r.id, "%s", "72469");
  const std::string psyn5 = line(4, r);
  const std::string plns5 = line(1, r);
  const std::size_t eol = plns5.find('\n');
  for (const char *id : {"sWDC6923", "PBAZ12345", "b46026"}) {
    std::snprintf(r.id, sizeof r.id, "%s", id);
    const std::string cut = std::string(id, 5) + "+";
    const std::string tail = std::string(" [") + id + "]";
    // Built by appending (g++ 12 warns falsely on text + a temporary).
    std::string psyn = std::strlen(id) == 6 ? std::string(id).append(psyn5, 6)
                                            : std::string(cut).append(psyn5, 6, psyn5.size() - 7).append(tail).append("\n");
    EXPECT_EQ(line(4, r), psyn) << id;
    EXPECT_EQ(line(1, r), std::string(cut).append(plns5, 6, eol - 6).append(tail).append(plns5, eol)) << id;
  }
  // Up to five characters print as before: "%-5s " and "%4s ".
  std::snprintf(r.id, sizeof r.id, "%s", "KDEN");
  EXPECT_EQ(line(4, r).substr(0, 6), "KDEN  ");
  EXPECT_EQ(line(1, r).substr(0, 5), "KDEN ");
  EXPECT_EQ(psyn5.substr(0, 6), "72469 ");
  EXPECT_EQ(plns5.substr(0, 6), "72469 ");
}

TEST_F(Listing, PlnEveryValuePresent) {
  EXPECT_EQ(line(2, full_report()), std::string("KDEN   ") + "1200 " + " 70 " + " 50 " + " 49 " +
                                        "270 " + " 15 " + " 25 " + "992 " + "132 " + " 10 " +
                                        " 80 " + " BKN " + "R-  " + " 75 " + " 45 " + "0.12 " +
                                        "0.75 " + " 3" + "\n");
}

TEST_F(Listing, PlnEveryValueMissing) {
  EXPECT_EQ(line(2, empty_report("SHIP")), "SHIP   " + blanks(5) + blanks(4 * 3) + blanks(4 * 3) +
                                               blanks(4) + blanks(4) + blanks(4) + blanks(4) +
                                               blanks(5) + blanks(4) + blanks(4) + blanks(4) +
                                               blanks(5) + blanks(5) + blanks(2) + "\n");
}

TEST_F(Listing, PlnCodedPressuresVisibilityAndClouds) {
  SFC_report r = empty_report("LONGID1234");  // cut to six characters
  r.alt = 29.92f;
  r.pmb = 1002.5f;
  r.vis = 2.5f;
  r.t = 60.0f;
  r.td = 60.0f;  // saturated: 100 %
  r.num_cld = 1;
  r.cld_cover[0] = '5';
  r.cld_height[0] = 2500.0f;
  std::strcpy(r.weather, "!-SHRA");  // a METAR group is converted first
  r.max6_t = 80.0f;
  r.min_t = 55.0f;
  r.min6_t = 50.0f;
  EXPECT_EQ(line(2, r), std::string("LONGID ") + blanks(5) + " 60 " + " 60 " + "100 " + blanks(12) +
                            "992 " + "025 " + "2.5 " + " 25 " + "5/8 " + "RW- " + " 80 " + " 55 " +
                            blanks(5) + blanks(5) + blanks(2) + "\n");

  r.vis = 10.0f;
  r.alt = 30.12f;
  r.pmb = 1013.2f;
  std::strcpy(r.weather, "95");  // a ww code is converted first
  EXPECT_EQ(line(2, r), std::string("LONGID ") + blanks(5) + " 60 " + " 60 " + "100 " + blanks(12) +
                            "012 " + "132 " + " 10 " + " 25 " + "5/8 " + "TRW " + " 80 " + " 55 " +
                            blanks(5) + blanks(5) + blanks(2) + "\n");

  // Five layers: obscured at the obscured layer's height.
  EXPECT_EQ(line(2, five_layers()), std::string("EGLL   ") + blanks(5) + blanks(12) + blanks(12) +
                                        blanks(4) + blanks(4) + blanks(4) + "200 " + "  X  " +
                                        blanks(4) + blanks(8) + blanks(10) + blanks(2) + "\n");
}

TEST_F(Listing, PlnsEveryValuePresent) {
  EXPECT_EQ(line(1, full_report()),
            std::string("KDEN ") + "SA" + " " + "1200 " + " 10.0  " + "   R- " + " 1013.2 " +
                " 70 " + " 50 " + " 270-15 " + "25 " + "29.92 " + " 1.5  " + " 75 " + " 45 " +
                "\n" + "    " + " 25 SCT " + " 80 BKN " + blanks(24) + "  " + "5:2:3  " + "0.05 " +
                "0.12 " + "0.30 " + "0.75 " + " 3" + "\n" + "   COMMENT: AO2\n");
}

TEST_F(Listing, PlnsEveryValueMissing) {
  EXPECT_EQ(line(1, empty_report("SHIP")),
            std::string("SHIP ") + "--" + " " + blanks(5) + blanks(7) + blanks(6) + blanks(8) +
                blanks(4) + blanks(4) + "    -      " + blanks(6) + blanks(6) + blanks(4) +
                blanks(4) + "\n" + "    " + blanks(40) + "  " + " : :" + blanks(3) + blanks(20) +
                "  " + "\n");
}

TEST_F(Listing, PlnsFiveLayersAndTypes) {
  SFC_report r = five_layers();  // regular and special
  EXPECT_EQ(line(1, r), std::string("EGLL ") + "RS" + " " + blanks(5) + blanks(7) + blanks(6) +
                            blanks(8) + blanks(8) + "    -      " + blanks(12) + blanks(8) + "\n" +
                            "    " + "  5 FEW " + " 12-SCT " + " 25 5/8 " + "    OVC " +
                            "200 X   " + "  " + " : :" + blanks(3) + blanks(20) + "  " + "\n");

  // Three layers leave two blank cells; a blank cover with a height is "M".
  r.num_cld = 3;
  r.type = 2 | 4;
  r.time = 5;
  r.cld_cover[0] = ' ';
  r.cld_cover[1] = 'x';
  r.cld_height[1] = kMissFloat;
  std::strcpy(r.weather, "!-SHRA");
  std::string expected = std::string("EGLL ") + "SP" + "*" + "0005 " + blanks(7) + "-SHRA " +
                         blanks(8) + blanks(8) + "    -      " + blanks(12) + blanks(8) + "\n" +
                         "    " + "    M   " + "   -X   " + " 25 5/8 " + blanks(16) + "  " +
                         " : :" + blanks(3) + blanks(20) + "  " + "\n";
  EXPECT_EQ(line(1, r), expected);
}

TEST_F(Listing, OtherModesAndDisabledLevelPrintNothing) {
  for (int mode : {0, 5, -1, 99}) {
    EXPECT_EQ(header(mode), "") << mode;
    EXPECT_EQ(line(mode, full_report()), "") << mode;
  }
  MESS_set(-1, kList);
  for (int mode : {1, 2, 3, 4}) {
    EXPECT_EQ(header(mode), "") << mode;
    EXPECT_EQ(line(mode, full_report()), "") << mode;
  }
}

TEST_F(Listing, PfullThroughTheListing) {
  SFC_report r = empty_report("SHIP");
  EXPECT_EQ(line(3, r), head("SHIP"));
}

TEST_F(Listing, NumbersAsPrintfWouldWriteThem) {
  // Ties, negative zero and very large values, then random values.
  std::vector<float> values = {0.0f,   -0.0f,  0.5f,  1.5f,   2.5f,     -0.4f,  -2.5f, 0.125f,
                               0.375f, 99.95f, 1e20f, -3e38f, 1013.25f, 0.005f, 0.015f};
  std::mt19937 gen(20231207);
  std::uniform_real_distribution<float> dist(-2000.0f, 2000.0f);
  for (int i = 0; i < 1500; ++i) values.push_back(dist(gen));
  for (float v : values) {
    SFC_report r = empty_report("N");
    r.t = v;       // "%3.0f "
    r.pmb = v;     // " %6.1f " when not negative
    r.rain24 = v;  // "%4.2f " when not negative
    r.ptend = v;   // "%4.1f"
    char t[64], p[64], pt[64], rn[64];
    std::snprintf(t, sizeof t, "%3.0f ", static_cast<double>(v));
    std::snprintf(p, sizeof p, " %6.1f ", static_cast<double>(v));
    std::snprintf(pt, sizeof pt, "%4.1f", static_cast<double>(v));
    std::snprintf(rn, sizeof rn, "%4.2f ", static_cast<double>(v));
    const bool nonneg = v >= 0.0f;
    std::string expected = std::string("N     ") + blanks(7) + blanks(7) + blanks(4) +
                           (nonneg ? p : blanks(8)) + t + blanks(4) + "   -      " + blanks(4) +
                           pt + blanks(6) + (nonneg ? rn : blanks(5)) + blanks(2) + "\n";
    ASSERT_EQ(line(4, r), expected) << v;
  }
}

TEST(Printout, EveryLine) {
  SFC_report r = full_report();
  EXPECT_EQ(printout(r),
            "Data for: KDEN\n"
            "WMO number: 72469\n"
            "LAT:   39.77 N  LON: -104.87 E\n"
            "Elevation:    1611 m\n"
            "-----------------------------------\n"
            "Report time:        1200 Z\n"
            "Temperature:          70 F = 21.1 C\n"
            "Dewpoint:             50 F = 10.0 C\n"
            "Winds:               270 deg at 15 knt Gusts: 25 knt\n"
            "Altimeter setting:    29.92 in Hg\n"
            "Sea level pressure: 1013.2 mb\n"
            "Clouds:level 1:   2500 feet scattered\n"
            "       level 2:   8000 feet broken\n"
            "Visibility:           10.00 miles\n"
            "Present weather:     light rain\n"
            "Pressure tendency:     1.5 mb\n"
            "3/6 hour precip:       0.12 in\n"
            "24 hour precip:        0.75 in\n"
            "Max temperature:      75 F\n"
            "Min temperature:      45 F\n"
            " 6 hr Max temp:       72 F\n"
            " 6 hr Min temp:       48 F\n"
            "Snow cover:            3 in.\n"
            "Cloud types- Low:5 Medium:2 High:3\n"
            "Remarks: AO2\n");
}

TEST(Printout, CloudLinesAndCoverWords) {
  SFC_report r = five_layers();
  EXPECT_EQ(printout(r), head("EGLL") +
                             "Clouds:level 1:    500 feet few\n"
                             "       level 2:   1200 feet thin scattered\n"
                             "       level 3:   2500 feet broken\n"
                             "                           overcast\n"
                             "       level 5:  20000 feet obscured\n");

  // A blank cover prints no word and no line end: the next line follows on.
  r = empty_report("X");
  r.num_cld = 1;
  r.cld_height[0] = 2500.0f;
  r.vis = 10.0f;
  EXPECT_EQ(printout(r),
            head("X") + "Clouds:level 1:   2500 feet Visibility:           10.00 miles\n");

  // A corrupted layer count reads no more than the five layers.
  r.num_cld = 1000;
  for (float &h : r.cld_height) h = 1000.0f;
  std::string out = printout(r);
  EXPECT_EQ(out.find("level 6"), std::string::npos);
  EXPECT_NE(out.find("level 5"), std::string::npos);
}

TEST(Printout, Winds) {
  SFC_report r = empty_report("W");
  r.w_dir = 0.0f;
  r.w_spd = 0.0f;
  r.w_gust = 15.0f;
  EXPECT_EQ(printout(r), head("W") + "Winds:               calm Gusts: 15 knt\n");

  r.w_dir = 270.0f;
  r.w_spd = kMissFloat;  // a speed reset by the validity check is not printed
  r.w_gust = kMissFloat;
  EXPECT_EQ(printout(r), head("W") + "Winds:               270 deg, speed missing\n");

  r.w_dir = kMissFloat;  // no direction: no wind line at all, gust included
  r.w_spd = 10.0f;
  r.w_gust = 20.0f;
  EXPECT_EQ(printout(r), head("W"));
}

TEST(Printout, WindChillAndHeatIndex) {
  SFC_report r = empty_report("C");
  r.t = 20.0f;
  r.w_spd = 0.0f;  // calm: the chill is the air temperature, still below 30
  EXPECT_EQ(printout(r), head("C") +
                             "Temperature:          20 F = -6.7 C\n"
                             "Wind chill:           20.0 F\n");

  // A speed outside the formula's domain gives no chill line (not -9999).
  r.w_spd = -5.0f;
  EXPECT_EQ(printout(r), head("C") + "Temperature:          20 F = -6.7 C\n");

  r = empty_report("H");
  r.t = 95.0f;
  r.td = 75.0f;
  EXPECT_EQ(printout(r), head("H") +
                             "Temperature:          95 F = 35.0 C\n"
                             "Dewpoint:             75 F = 23.9 C\n"
                             "Heat index:           107.0 F\n");

  r.t = 70.0f;
  r.td = 50.0f;
  EXPECT_EQ(printout(r), head("H") +
                             "Temperature:          70 F = 21.1 C\n"
                             "Dewpoint:             50 F = 10.0 C\n");
}

TEST(Printout, NullReport) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(SFC_print_report(nullptr), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// The once-only state of the variable file is process-wide, so the whole
// sequence lives in one test.
TEST_F(Listing, VariableFileIsLookedForOnce) {
  static char arg0[] = "/opt/bin/tavro_vartest";
  static char *argv[] = {arg0, nullptr};
  RES_setCL(1, argv);
  RES_put("file_path", "/nonexistent-tavro-dir");
  SFC_set_print(4);

  // Unset: no attempt, however often.
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  SFC_print_line(kList, nullptr);
  SFC_print_line(kList, nullptr);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  RES_put("variable", "t,td");
  // A disabled level does not look at the resource.
  MESS_set(-1, kList);
  testing::internal::CaptureStderr();
  SFC_print_line(kList, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  MESS_set(1, kList);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  SFC_print_line(kList, nullptr);
  SFC_print_line(kList, nullptr);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "VAR_open_file: Unable to open var file: /nonexistent-tavro-dir/tavro_vartest.var\n");
}
