// The shortcuts taken for speed give the same results as the plain way:
// numbers written without printf round as printf does, staged output
// reaches its file in order and in full, a bulletin file read in blocks
// gives the reports a stream read line by line gives, and the window's
// memory of its last answer follows the window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "framework/system.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_read.hpp"
#include "reader_dump.hpp"
#include "report/sfc_tool.hpp"
#include "testutil.hpp"
#include "report/syn_read.hpp"

namespace {

using tvtest::read_file;
using tvtest::TempDir;
using tvtest::write_file;

std::string printf_of(const char *fmt, double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

// The value of attribute `name` in an XML "obs" element, or "(none)".
std::string attr(const std::string &xml, const std::string &name) {
  const std::string key = " " + name + "=\"";
  const std::size_t at = xml.find(key);
  if (at == std::string::npos) return "(none)";
  const std::size_t from = at + key.size();
  return xml.substr(from, xml.find('"', from) - from);
}

std::string xml_of(const SFC_report &r) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_xml(buf, sizeof buf, &r));
}

std::string text_of(const SFC_report &r) {
  char buf[kSfcLineMax];
  return std::string(buf, SFC_format_text(buf, sizeof buf, &r, 4));
}

// Values where rounding is easy to get wrong: exact ties (which printf
// sends to the even neighbour), values just beside them, negative zero and
// small negatives that round to it, the edge of the integer shortcut, and
// values that are not numbers at all.
std::vector<float> hard_values() {
  std::vector<float> v = {0.0f,     -0.0f,     0.5f,      1.5f,      2.5f,       -0.5f,
                          -2.5f,    0.125f,    0.375f,    0.625f,    -0.125f,    0.005f,
                          0.015f,   1.005f,    2.675f,    -0.04f,    -0.4f,      9.995f,
                          99.95f,   999.5f,    1e12f,     9.99e12f,  1.0001e13f, 3e15f,
                          -7e20f,   1e30f,     123456.7f, 4999.5f,   5000.5f,    0.05f};
  v.push_back(std::numeric_limits<float>::infinity());
  v.push_back(-std::numeric_limits<float>::infinity());
  v.push_back(std::nextafter(0.5f, 1.0f));
  v.push_back(std::nextafter(0.5f, 0.0f));
  v.push_back(std::nextafter(2.5f, 3.0f));
  std::mt19937 gen(2023);
  std::uniform_real_distribution<float> wide(-2000.0f, 2000.0f);
  for (int i = 0; i < 3000; ++i) v.push_back(wide(gen));
  for (int k = -4000; k <= 4000; ++k) v.push_back(static_cast<float>(k) / 8.0f);
  return v;
}

TEST(NumberFields, RoundAsPrintfAtEveryPrecision) {
  for (float f : hard_values()) {
    SFC_report r;
    SFC_initialize(&r);
    std::snprintf(r.id, sizeof r.id, "%s", "72403");
    r.w_dir = f;  // "%.0f"
    r.pmb = f;    // "%.1f"
    r.alt = f;    // "%.2f"
    r.vis = f;    // "%.2f" below 5, else "%.1f"
    r.t = f;      // in Celsius, a double: its tenths may round onto a tie
    const std::string xml = xml_of(r);
    const double d = f;
    ASSERT_EQ(attr(xml, "temp.C"), printf_of("%.1f", 5.0 * (d - 32.0) / 9.0)) << f;
    ASSERT_EQ(attr(xml, "wdir.deg"), printf_of("%.0f", d)) << f;
    ASSERT_EQ(attr(xml, "slpr.mb"), printf_of("%.1f", d)) << f;
    ASSERT_EQ(attr(xml, "alt.in"), printf_of("%.2f", d)) << f;
    ASSERT_EQ(attr(xml, "vis.mi"), printf_of(f < 5 ? "%.2f" : "%.1f", d)) << f;
  }
}

TEST(NumberFields, NotANumberIsWrittenAsPrintfWritesIt) {
  SFC_report r;
  SFC_initialize(&r);
  r.pmb = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(attr(xml_of(r), "slpr.mb"), printf_of("%.1f", r.pmb));
}

TEST(NumberFields, WidthsPadAndNegativeZeroKeepsItsSign) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", "72403");
  r.w_gust = 5.0f;  // " G%3.0f"
  EXPECT_NE(text_of(r).find(" G  5 $"), std::string::npos) << text_of(r);
  r.w_gust = 120.4f;
  EXPECT_NE(text_of(r).find(" G120 $"), std::string::npos) << text_of(r);
  r.w_gust = -0.0f;  // not below zero, so written
  EXPECT_NE(text_of(r).find(" G -0 $"), std::string::npos) << text_of(r);
  r.w_gust = 12345.0f;  // wider than its field
  EXPECT_NE(text_of(r).find(" G12345 $"), std::string::npos) << text_of(r);
  r.w_gust = tv::kMissFloat;
  r.t = -0.04f;  // tenths of a degree: -0.4 rounds to "-0", padded to three
  EXPECT_EQ(text_of(r).substr(0, 10), "72403  -0 ") << text_of(r);
}

TEST(NumberFields, ShortBuffersAreCutNotOverrun) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", "72403");
  r.t = 1234.5f;
  r.pmb = 1013.2f;
  r.vis = 3.75f;
  const std::string full = text_of(r);
  for (std::size_t size = 0; size <= full.size(); ++size) {
    char buf[kSfcLineMax];
    std::memset(buf, '#', sizeof buf);
    const std::size_t n = SFC_format_text(buf, size, &r, 4);
    ASSERT_LE(n, size);
    EXPECT_EQ(std::string(buf, n), full.substr(0, n)) << size;
    for (std::size_t i = size; i < sizeof buf; ++i) ASSERT_EQ(buf[i], '#') << size << " " << i;
  }
}

SFC_report station(int i) {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%05d", (10000 + i) % 100000);
  r.type = 1;
  r.time = 1200;
  r.t = 40.0f + static_cast<float>(i % 300) / 10.0f;
  r.pmb = 1000.0f + static_cast<float>(i % 200) / 10.0f;
  r.vis = static_cast<float>(i % 15);
  r.max_t = r.t + 3.5f;
  return r;
}

// The text file written through SFC_write is the header and the lines the
// formatter makes, byte for byte, over many staging blocks.
TEST(StagedOutput, LongRunMatchesTheFormattedLines) {
  TempDir dir;
  const std::string path = dir.file("out.zot");
  int type = 4;
  const int fd = SFC_open(path.c_str(), 1, &type);
  ASSERT_GE(fd, 0);
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%s", "1200Z  7 DEC 23");
  ASSERT_EQ(SFC_putinfo(fd, &info), 0);
  std::string expected = "ZOTSFC\n1200Z  7 DEC 23\n";
  int rec = 0;
  for (int i = 0; i < 20000; ++i) {
    SFC_report r = station(i);
    ASSERT_EQ(SFC_write(fd, &r, 1, &rec), 0);
    expected += text_of(r);
  }
  EXPECT_EQ(SFC_write_failed(), 0);
  SFC_close(fd);
  EXPECT_EQ(read_file(path), expected);
}

// A program that ends without closing its output (an "exit" answer, a
// time-out) still leaves every record it wrote in the file.
TEST(StagedOutput, EndingWithoutCloseKeepsEveryRecord) {
  TempDir dir;
  const std::string path = dir.file("out.zot");
  auto run = [&path] {
    int type = 4;
    const int fd = SFC_open(path.c_str(), 1, &type);
    if (fd < 0) std::_Exit(3);
    SFC_info info{};
    std::snprintf(info.datim, sizeof info.datim, "%s", "1200Z  7 DEC 23");
    SFC_putinfo(fd, &info);
    int rec = 0;
    for (int i = 0; i < 3000; ++i) {
      SFC_report r = station(i);
      SFC_write(fd, &r, 1, &rec);
    }
    ZOT_exit(0);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
  std::string expected = "ZOTSFC\n1200Z  7 DEC 23\n";
  for (int i = 0; i < 3000; ++i) expected += text_of(station(i));
  EXPECT_EQ(read_file(path), expected);
}

// Written to the terminal ("-of=-"), every record keeps its place right
// after its own listing line instead of coming out in one block at the end.
TEST(StagedOutput, StandardOutputKeepsRecordsAmongTheListing) {
  TempDir dir;
  for (const char *f : {"name_conv", "syn.cty"})
    write_file(dir.file(f), read_file(tvtest::source_path(std::string("tests/data/run/") + f)));
  write_file(dir.file("23120712.syn"), read_file(tvtest::source_path("tests/data/run/main.syn")));
  auto r = tvtest::run_command(std::string(TAVRO_EXE) + " -ba -of=- -me mess,+out3a 23120712.syn",
                               dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  // Listing lines do not end in " $"; each record line does, and follows
  // the listing line of its own station.
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.out.substr(at, nl - at));
  int records = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string &line = lines[i];
    if (line.size() < 2 || line.compare(line.size() - 2, 2, " $") != 0) continue;
    ++records;
    const std::string id = line.substr(0, line.find(' '));
    // An identifier wider than the listing's column is cut and marked there.
    const std::string head = id.size() > 6 ? id.substr(0, 5) + "+" : id;
    EXPECT_EQ(lines[i - 1].substr(0, head.size()), head) << line;
    EXPECT_TRUE(lines[i - 1].size() > 6 && lines[i - 1][6] == ' ') << lines[i - 1];
  }
  EXPECT_GT(records, 3);
}

// Bulletins that test where lines end: long lines, NUL and high bytes,
// CR CR LF, blank lines inside reports, lines of exactly 100 and 101
// characters, a "  333" continuation, and no newline at the end.
// A land report line of exactly `n` characters: groups, then blanks.
std::string line_of(const char *id, std::size_t n) {
  std::string l = id;
  while (l.size() + 6 <= n) l += " 10123";
  l.resize(n, ' ');
  return l;
}

std::string tricky_bulletins() {
  std::string s = "** SMUS01 KWBC 071200\nAAXX 07124\n";
  s += "72403 11560 82705 10123 20045 39876 40123 52011 60001 71022 8////\n";
  s += "333 10178 21073=\n";
  s += line_of("72404", 99) + "\n" + line_of("72405", 100) + "\n" + line_of("72406", 101) + "\n";
  s += line_of("72412", 100) + "=\n" + line_of("72413", 250) + "=\n";
  s += "72407 11560 82705" + std::string(240, ' ') + "10123 20045=\n";  // a long line
  s += "72408 11560\r\r\n82705 10123=\r\r\n";
  s += "72409 11560 82705\n\n10123 20045=\n";
  s += "72410 11560";
  s += std::string("\0\xff\x01", 3);
  s += "82705 60001=\n  333 10178=\n";
  s += "** SMVX90 KWBC 071200\nBBXX\nWDC6923 07121 99412 71234 41598 82710 10150=\n";
  s += "72411 11560 82705 10123";  // no newline at the end
  return s;
}

std::vector<tvtest::RawReport> through_memory(const std::string &bytes) {
  FILE *f = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "r");
  if (!f) return {};
  auto out = tvtest::read_reports(f);
  std::fclose(f);
  return out;
}

TEST(BlockReader, FileGivesTheReportsOfALineByLineStream) {
  const std::string text = tricky_bulletins();
  const auto from_file = tvtest::read_reports(text);  // a temporary file on disk
  const auto from_memory = through_memory(text);
  ASSERT_GE(from_file.size(), 10u);
  EXPECT_EQ(tvtest::format_reports(from_file), tvtest::format_reports(from_memory));
}

// Larger than the reader's block, with lines that cross block boundaries
// at every offset of a few hundred bytes.
TEST(BlockReader, LinesAcrossBlockBoundaries) {
  for (int shift = 0; shift < 300; shift += 37) {
    std::string text = "** SMUS01 KWBC 071200\nAAXX 07124\n" + std::string(shift, ' ') + "\n";
    for (int i = 0; text.size() < 200000; ++i) {
      char line[120];
      std::snprintf(line, sizeof line, "%05d 11560 82705 10%03d 20045 39876 40123=\n",
                    10000 + i % 80000, i % 400);
      text += line;
      if (i % 97 == 0) text += std::string(130 + i % 50, '7') + "\n";
    }
    const auto from_file = tvtest::read_reports(text);
    const auto from_memory = through_memory(text);
    ASSERT_GT(from_file.size(), 3000u);
    ASSERT_EQ(tvtest::format_reports(from_file), tvtest::format_reports(from_memory)) << shift;
  }
}

// The report loop's way: one file read in part and closed, the reset, the
// next file opened (it may get the same stream address): nothing of the
// first file comes back.
TEST(BlockReader, NextFileAfterResetStartsClean) {
  TempDir dir;
  write_file(dir.file("a"),
             "** SMUS01 KWBC 071200\nAAXX 07124\n72403 11560 82705=\n72405 11560 82705=\n");
  write_file(dir.file("b"), "72407 11560 82705=\n");
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  ReportType type = ReportType::land;
  FILE *a = std::fopen(dir.file("a").c_str(), "r");
  ASSERT_TRUE(a);
  SYN_read_reset();
  ASSERT_EQ(SYN_read_raw(a, data, id, &type), 1);
  EXPECT_STREQ(id, "72403");
  std::fclose(a);
  SYN_read_reset();
  FILE *b = std::fopen(dir.file("b").c_str(), "r");
  ASSERT_TRUE(b);
  ASSERT_EQ(SYN_read_raw(b, data, id, &type), 1);
  EXPECT_STREQ(id, "72407");
  EXPECT_EQ(SYN_read_raw(b, data, id, &type), -1);
  std::fclose(b);
}

class WindowMemory : public testing::Test {
 protected:
  void SetUp() override {
    FILE_reset_time();
    DATE_set_range(-45, 45);
    RES_new(-9999, "decode_hour", nullptr, CV_string);
  }
  void TearDown() override { MESS_set(0, 0x000FFFFF); }
  static void window_at(int hour) {
    Date d{2023, 12, 7, 341, 4, hour, 0, 0};
    testing::internal::CaptureStdout();
    DATE_set_datim(&d);
    testing::internal::GetCapturedStdout();
  }
};

// The same time asked again after the window moved gets the new answer.
TEST_F(WindowMemory, FollowsTheWindowWhenItMoves) {
  window_at(12);
  EXPECT_EQ(DATE_chk_range(1200), 1);
  EXPECT_EQ(DATE_chk_range(1200), 1);
  EXPECT_EQ(DATE_chk_range(1800), 0);
  window_at(18);
  EXPECT_EQ(DATE_chk_range(1800), 1);
  EXPECT_EQ(DATE_chk_range(1200), 0);
  EXPECT_EQ(DATE_chk_range(1200), 0);
  DATE_set_range(-600, 600);  // takes effect with the next window
  EXPECT_EQ(DATE_chk_range(1200), 0);
  window_at(18);
  EXPECT_EQ(DATE_chk_range(1200), 1);
}

// A report without a time is outside the window, before any time was
// checked, right after one inside it, and after the window moved.
TEST_F(WindowMemory, NoTimeIsAlwaysOutside) {
  window_at(12);
  EXPECT_EQ(DATE_chk_range(tv::kMissInt), 0);
  EXPECT_EQ(DATE_chk_range(1200), 1);
  EXPECT_EQ(DATE_chk_range(tv::kMissInt), 0);
  EXPECT_EQ(DATE_chk_range(tv::kMissInt), 0);
  EXPECT_EQ(DATE_chk_range(1200), 1);
  window_at(12);
  EXPECT_EQ(DATE_chk_range(tv::kMissInt), 0);
  EXPECT_EQ(DATE_chk_range(1200), 1);
}

// With its trace on, every check prints its line, repeated times included.
TEST_F(WindowMemory, TraceShowsEveryCheck) {
  window_at(12);
  MESS_set(0, 0xFFFFFFFFu);
  testing::internal::CaptureStdout();
  DATE_chk_range(1200);
  DATE_chk_range(1200);
  const std::string out = testing::internal::GetCapturedStdout();
  MESS_set(0, 0x000FFFFF);
  EXPECT_EQ(out, "1200 0 -2700-2700 = 1\n1200 0 -2700-2700 = 1\n");
}

}  // namespace
