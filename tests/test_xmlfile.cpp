// The XML data file: start tag, one "obs" element per report with its
// attributes in order and format, the end tag, escaping of report texts,
// and no appending. Every file written is checked with xmllint.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/date.hpp"
#include "framework/missing.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_read.hpp"
#include "report/sfc_tool.hpp"
#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::run_command;
using tvtest::TempDir;

SFC_report blank(const char *id) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  r.type = 1;
  return r;
}

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

std::string obs(const SFC_report &r) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_xml(buf, sizeof buf, &r));
}

bool have_xmllint() { return run_command("command -v xmllint").status == 0; }

// xmllint's verdict on a file: empty when it is well-formed.
std::string xmllint_errors(const std::string &path) {
  tvtest::RunResult res = run_command("xmllint --noout '" + path + "'");
  return res.status == 0 ? "" : "status " + std::to_string(res.status) + ": " + res.err;
}

// Writes a created XML file holding `reports` and returns its path.
std::string write_xml(const TempDir &dir, const char *name, const std::vector<SFC_report> &reports) {
  std::string path = dir.file(name);
  int type = 51;
  int fd = SFC_open(path.c_str(), 1, &type);
  EXPECT_GE(fd, 0);
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%s", "1200Z  7 DEC 23");
  DATE_init(&info.date);
  EXPECT_EQ(SFC_putinfo(fd, &info), 0);
  int rec = 0;
  for (SFC_report r : reports) EXPECT_EQ(SFC_write(fd, &r, 1, &rec), 0);
  EXPECT_EQ(SFC_close(fd), 0);
  return path;
}

TEST(XmlObs, WorkedExampleStation) {
  EXPECT_EQ(obs(example_station()),
            "<obs id=\"72469\" time.hhmm=\"1200\" temp.C=\"10.0\" dewp.C=\"4.5\" wdir.deg=\"270\" "
            "wspd.knt=\"15\" alt.in=\"30.02\" slpr.mb=\"1016.3\" vis.mi=\"10.0\" ncld=\"2\" "
            "cld_hgt_1.ft=\"2500\" cld_cov_1=\"S\" cld_hgt_2.ft=\"8000\" cld_cov_2=\"B\" "
            "ptype=\"2\" ptend.mb=\"1.5\" prec6.in=\"0.12\" maxt.C=\"12.8\" />\n");
}

TEST(XmlObs, OnlyAnIdentifier) { EXPECT_EQ(obs(blank("X")), "<obs id=\"X\" />\n"); }

TEST(XmlObs, BlankCoverIsWrittenAsM) {
  SFC_report r = blank("B1");
  r.num_cld = 2;
  r.cld_cover[0] = ' ';  // layer 1: cover unknown, height missing
  r.cld_cover[1] = '7';
  r.cld_height[1] = 1200.0f;
  EXPECT_EQ(obs(r), "<obs id=\"B1\" ncld=\"2\" cld_cov_1=\"M\" cld_hgt_2.ft=\"1200\" cld_cov_2=\"7\" />\n");
}

TEST(XmlObs, ZeroGustIsWrittenMissingGustIsNot) {
  SFC_report r = blank("G");
  r.w_gust = 0.0f;
  EXPECT_EQ(obs(r), "<obs id=\"G\" wgust.knt=\"0\" />\n");
  r.w_gust = tv::kMissFloat;
  EXPECT_EQ(obs(r), "<obs id=\"G\" />\n");
}

TEST(XmlObs, EveryAttributeInOrder) {
  SFC_report r = blank("KBOS");
  r.time = 905;
  r.lat = 42.37f;
  r.lon = -71.03f;
  r.t = 32.0f;
  r.td = 23.0f;
  r.w_dir = 90.0f;
  r.w_spd = 5.0f;
  r.w_gust = 12.0f;
  r.alt = 29.92f;
  r.pmb = 1013.2f;
  r.vis = 2.5f;
  r.num_cld = 1;
  r.cld_cover[0] = 'F';
  r.cld_height[0] = 1200.0f;
  std::snprintf(r.weather, sizeof r.weather, "%s", "R-");
  r.ptend_t = 8;
  r.ptend = -2.1f;
  r.rain1 = 0.01f;
  r.rain3 = 0.05f;
  r.rain6 = 0.1f;
  r.rain12 = 0.25f;
  r.rain24 = 1.5f;
  r.max_t = 50.0f;
  r.max6_t = 41.0f;
  r.min_t = 14.0f;
  r.min6_t = 23.0f;
  r.scover = 3.0f;
  std::memcpy(r.cld_type, "52-", 3);
  r.solar = 300.0f;
  r.sst = 12.5f;
  r.wav_per = 6.0f;
  r.wav_hgt = 1.5f;
  std::snprintf(r.comment, sizeof r.comment, "%s", "AUTO");
  EXPECT_EQ(obs(r),
            "<obs id=\"KBOS\" time.hhmm=\"0905\" lat=\"42.37\" lon=\"-71.03\" temp.C=\"0.0\" "
            "dewp.C=\"-5.0\" wdir.deg=\"90\" wspd.knt=\"5\" wgust.knt=\"12\" alt.in=\"29.92\" "
            "slpr.mb=\"1013.2\" vis.mi=\"2.50\" ncld=\"1\" cld_hgt_1.ft=\"1200\" cld_cov_1=\"F\" "
            "wx=\"R-\" ptype=\"8\" ptend.mb=\"-2.1\" prec1.in=\"0.01\" prec3.in=\"0.05\" "
            "prec6.in=\"0.10\" prec12.in=\"0.25\" prec24.in=\"1.50\" maxt.C=\"10.0\" "
            "maxt6.C=\"5.0\" mint.C=\"-10.0\" mint6.C=\"-5.0\" scover.in=\"3.0\" lcld=\"5\" "
            "mcld=\"2\" hcld=\"-\" solar.min=\"300\" sst.C=\"12.5\" wave_per.sec=\"6\" "
            "wave_hgt.m=\"1.5\" comment=\"AUTO\" />\n");
}

TEST(XmlObs, VisibilityPrecisionAndTemperatureRounding) {
  SFC_report r = blank("V");
  r.vis = 4.99f;
  r.t = 33.0f;  // 0.5555... C
  EXPECT_EQ(obs(r), "<obs id=\"V\" temp.C=\"0.6\" vis.mi=\"4.99\" />\n");
  r.vis = 5.0f;
  r.t = -40.0f;
  EXPECT_EQ(obs(r), "<obs id=\"V\" temp.C=\"-40.0\" vis.mi=\"5.0\" />\n");
}

// Converted temperatures are doubles with no short binary form; their
// rounding must still agree with printf.
TEST(XmlObs, ConvertedTemperaturesMatchPrintf) {
  std::mt19937 gen(777);
  std::uniform_real_distribution<float> wide(-80.0f, 130.0f);
  std::uniform_int_distribution<int> tenths(-800, 1300);
  SFC_report r = blank("T");
  for (int i = 0; i < 20000; ++i) {
    r.t = (i % 2) ? wide(gen) : static_cast<float>(tenths(gen)) / 10.0f;
    r.lat = r.t / 2.0f;
    r.lon = r.t * 1.5f;
    char want[160];
    std::snprintf(want, sizeof want, "<obs id=\"T\" lat=\"%.2f\" lon=\"%.2f\" temp.C=\"%.1f\" />\n",
                  static_cast<double>(r.lat), static_cast<double>(r.lon),
                  5.0 * (static_cast<double>(r.t) - 32.0) / 9.0);
    ASSERT_EQ(obs(r), want) << r.t;
  }
}

// Report texts come from raw bulletins and may hold markup characters.
TEST(XmlObs, ReportTextsAreEscaped) {
  SFC_report r = blank("A\"&<>");
  std::snprintf(r.weather, sizeof r.weather, "%s", "R<&");
  std::snprintf(r.comment, sizeof r.comment, "%s", "say \"hi\" & <bye>");
  r.num_cld = 1;
  r.cld_cover[0] = '&';
  std::memcpy(r.cld_type, "<>\"", 3);
  EXPECT_EQ(obs(r),
            "<obs id=\"A&quot;&amp;&lt;&gt;\" ncld=\"1\" cld_cov_1=\"&amp;\" wx=\"R&lt;&amp;\" "
            "lcld=\"&lt;\" mcld=\"&gt;\" hcld=\"&quot;\" "
            "comment=\"say &quot;hi&quot; &amp; &lt;bye&gt;\" />\n");
}

TEST(XmlObs, LongestTextsFitTheLineBuffer) {
  SFC_report r = example_station();
  std::memset(r.id, '"', sizeof r.id - 1);
  std::memset(r.weather, '&', sizeof r.weather - 1);
  std::memset(r.comment, '"', sizeof r.comment - 1);
  r.comment[sizeof r.comment - 1] = '\0';
  std::string quotes;
  for (int i = 0; i < 99; ++i) quotes += "&quot;";
  std::string line = obs(r);
  const std::string head = "<obs id=\"" + quotes.substr(0, 60) + "\" ";
  EXPECT_EQ(line.compare(0, head.size(), head), 0);
  const std::string tail = "comment=\"" + quotes + "\" />\n";
  ASSERT_GT(line.size(), tail.size());
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}

class XmlFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_xmllint()) GTEST_SKIP() << "xmllint is not installed";
  }
  TempDir dir;
};

TEST_F(XmlFile, CreatedFileIsWellFormedAndEndsWithTheEndTag) {
  SFC_report escaped = blank("S&<\"");
  std::snprintf(escaped.comment, sizeof escaped.comment, "%s", "<b>&amp</b>");
  std::string path = write_xml(dir, "new.xml", {example_station(), blank("X"), escaped});
  EXPECT_EQ(read_file(path),
            "<zotsfc date=\"1200Z  7 DEC 23\">\n"
            "<obs id=\"72469\" time.hhmm=\"1200\" temp.C=\"10.0\" dewp.C=\"4.5\" wdir.deg=\"270\" "
            "wspd.knt=\"15\" alt.in=\"30.02\" slpr.mb=\"1016.3\" vis.mi=\"10.0\" ncld=\"2\" "
            "cld_hgt_1.ft=\"2500\" cld_cov_1=\"S\" cld_hgt_2.ft=\"8000\" cld_cov_2=\"B\" "
            "ptype=\"2\" ptend.mb=\"1.5\" prec6.in=\"0.12\" maxt.C=\"12.8\" />\n"
            "<obs id=\"X\" />\n"
            "<obs id=\"S&amp;&lt;&quot;\" comment=\"&lt;b&gt;&amp;amp&lt;/b&gt;\" />\n"
            "</zotsfc>\n");
  EXPECT_EQ(xmllint_errors(path), "");
}

// Without the escaping this file would not parse.
TEST_F(XmlFile, MarkupInReportTextsStillParses) {
  SFC_report r = blank("<&\">");
  std::snprintf(r.weather, sizeof r.weather, "%s", "\"<>&");
  std::snprintf(r.comment, sizeof r.comment, "%s", "a=\"1\" <x/> &y;");
  r.num_cld = 1;
  r.cld_cover[0] = '<';
  std::memcpy(r.cld_type, "&\"<", 3);
  std::string path = write_xml(dir, "markup.xml", {r});
  EXPECT_EQ(xmllint_errors(path), "");
  // xmllint gives the texts back as they were in the report.
  tvtest::RunResult res = run_command("xmllint --xpath 'string(/zotsfc/obs/@comment)' '" + path + "'");
  EXPECT_EQ(res.out, "a=\"1\" <x/> &y;\n");
  res = run_command("xmllint --xpath 'string(/zotsfc/obs/@id)' '" + path + "'");
  EXPECT_EQ(res.out, "<&\">\n");
}

TEST_F(XmlFile, AppendOpensNothingAndWritesNothing) {
  std::string path = write_xml(dir, "keep.xml", {blank("K")});
  const std::string before = read_file(path);
  int type = 51;
  EXPECT_EQ(SFC_open(path.c_str(), 2, &type), -1);
  EXPECT_EQ(type, -1);  // the caller's type shows the failure
  SFC_report r = blank("LOST");
  int rec = 0;
  EXPECT_EQ(SFC_write(-1, &r, 1, &rec), -1);
  EXPECT_EQ(SFC_close(-1), -1);
  EXPECT_EQ(read_file(path), before);
  EXPECT_EQ(xmllint_errors(path), "");
}

}  // namespace
