// Bulletin reader: raw bulletin text cut into single reports with their
// identifier, section type, bulletin hour and wind indicator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/mess.hpp"
#include "reader_dump.hpp"
#include "report/scanp.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"
#include "testutil.hpp"

namespace {

using tvtest::RawReport;
using tvtest::read_reports;

// Every test opens with a heading so the section state starts known.
const std::string kHead = "** SMUS01 KWBC 070000\n";
const std::string kLand = "72403 11560 82705 10150 20089 39981 40132 57010 60001=";

TEST(ReaderLand, SectionLineThenReport) {
  auto r = read_reports(kHead + "AAXX 07124\n" + kLand + "\n");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].id, "72403");
  EXPECT_EQ(r[0].type, ReportType::land);
  EXPECT_EQ(r[0].text, "72403 11560 82705 10150 20089 39981 40132 57010 60001  ");
  EXPECT_EQ(SYN_get_prhour(), 1200);
  EXPECT_EQ(SYN_get_rep_type(), ReportType::land);
}

TEST(ReaderLand, FirstReportOnTheSectionLine) {
  auto r = read_reports(kHead + "AAXX 07184 " + kLand + "\n72405 11560 82705=\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].id, "72403");
  EXPECT_EQ(r[0].text.rfind("72403 11560", 0), 0u) << r[0].text;
  EXPECT_EQ(r[1].id, "72405");
  EXPECT_EQ(SYN_get_prhour(), 1800) << "the hour comes from the YYGGiw group on that line";
  EXPECT_EQ(SYN_get_iw(), 4);
}

// The first report on the keyword line gets its section's hour, not the
// previous one, so it keeps its time (and its place in the time window).
TEST(ReaderLand, ReportOnTheSectionLineGetsItsHour) {
  tvtest::TempDir dir;
  const std::string path = dir.file("bull.txt");
  tvtest::write_file(path, kHead + "AAXX 24064\n72405 11560 82705=\n"
                               "AAXX 24124 84720 11560 82705 10150=\n"
                               "84721 11560 82705=\n");
  FILE *f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  SYN_read_reset();
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  ReportType type = ReportType::land;
  std::string times;
  while (SYN_read_raw(f, data, id, &type) == 1) {
    SFC_report rep;
    SFC_initialize(&rep);
    if (SYN_decode(data, type, &rep) == 1) times += std::string(rep.id) + "@" + std::to_string(rep.time) + " ";
  }
  std::fclose(f);
  EXPECT_EQ(times, "72405@600 84720@1200 84721@1200 ");
}

TEST(ReaderLand, ThreeLinesWithoutEndMark) {
  auto r = read_reports(kHead + "AAXX 07124\n"
                        "72403 11560 82705\n"
                        "333 10234\n"
                        "55301 20123\n"
                        "72405 11560 82705=\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].text, "72403 11560 82705 333 10234 55301 20123 ");
  EXPECT_EQ(r[1].id, "72405");
  EXPECT_EQ(r[1].text, "72405 11560 82705  ");
}

TEST(ReaderLand, SectionThreeLineAfterEndMark) {
  auto r = read_reports(kHead + "AAXX 07124\n" + kLand + "\n  333 10234 20123=\n" +
                        "72405 11560 82705=\n  444 11111=\n");
  ASSERT_EQ(r.size(), 3u);
  // The "=" before the continuation became a blank: 60001 keeps its blank.
  EXPECT_EQ(r[0].text,
            "72403 11560 82705 10150 20089 39981 40132 57010 60001    333 10234 20123  ");
  EXPECT_EQ(r[1].text, "72405 11560 82705  ");
  EXPECT_EQ(r[2].text, " ") << "a line that is no continuation starts nothing";

  // The 6RRRt group before the former "=" matches the decoder's pattern.
  parse_param p{};
  scanp_set(&p, r[0].text.c_str());
  p.off = static_cast<int>(r[0].text.find("60001"));
  int rrr = 0, t = 0;
  EXPECT_EQ(scanp(&p, "6%3!///!d%1!/!d ", &rrr, &t), 2);
  EXPECT_GT(p.len, 5);
  EXPECT_EQ(rrr, 0);
  EXPECT_EQ(t, 1);

  // And through the decoder: the precipitation before the former "=" and
  // the section-3 maximum after it are both kept.
  SFC_report rep;
  SFC_initialize(&rep);
  ASSERT_EQ(SYN_decode(r[0].text.c_str(), r[0].type, &rep), 1);
  EXPECT_FLOAT_EQ(rep.rain6, 0.0f);
  EXPECT_NEAR(rep.max_t, 32.0f + 9.0f * 23.4f / 5.0f, 0.01f);
}

TEST(ReaderLand, BlankLinesInsideAReportAreSkipped) {
  auto r = read_reports(kHead + "AAXX 21121\n\n"
                        "15015 02999 02501 10103 333 4/000\n\n"
                        "0////\n\n\n"
                        "22591 3//// 91104=\n\n"
                        "15020 02997 23104=\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].text, "15015 02999 02501 10103 333 4/000 0//// 22591 3//// 91104  ");
  EXPECT_EQ(r[1].id, "15020");
}

TEST(ReaderLand, RealBulletinWithBlankLines) {
  const std::string dir = tvtest::corpus_dir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  FILE *f = std::fopen(
      (dir + "/wmo-im_synop2bufr/A_SMRO01YRBK211200_C_EDZW_20220321120500_12524785.txt").c_str(),
      "r");
  ASSERT_NE(f, nullptr);
  auto r = read_reports(f);
  std::fclose(f);
  int reports = 0;
  for (const auto &x : r) {
    if (x.text == " ") continue;
    ++reports;
    // Every report is a Romanian station with its section-3 groups kept.
    EXPECT_EQ(x.id.size(), 5u) << x.text;
    EXPECT_EQ(x.id.substr(0, 2), "15") << x.text;
    EXPECT_NE(x.text.find(" 333 "), std::string::npos) << x.text;
  }
  EXPECT_EQ(reports, 23);
  EXPECT_EQ(r[0].text,
            "15015 02999 02501 10103 21090 39765 42952 57020 60001 333 4/000 55310 0//// "
            "22591 3//// 60007 91003 91104  ");
}

TEST(ReaderShip, IdentifierDecidesShipOrPlatform) {
  auto r = read_reports(kHead + "BBXX\n"
                        "ABCD 07121 99412 71234 41598=\n"
                        "46035 07121 99412 71234 41598=\n"
                        "WXYZ9 07121 99412 71234 41598\n"
                        "10150 20089=\n");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].type, ReportType::ship);
  EXPECT_EQ(r[0].id, "ABCD");
  EXPECT_EQ(r[1].type, ReportType::numeric_ship);
  EXPECT_EQ(r[1].id, "46035");
  EXPECT_EQ(r[2].type, ReportType::ship);
  EXPECT_EQ(r[2].text, "WXYZ9 07121 99412 71234 41598 10150 20089  ");
}

TEST(ReaderShip, ReportOnTheKeywordLine) {
  auto r = read_reports(kHead + "BBXX PHBT 28183 99408 70635 41798\n70211 83026=\n"
                        "SHIPS\nZMFR   28184 99413 31748=\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].id, "PHBT");
  EXPECT_EQ(r[0].text, "PHBT 28183 99408 70635 41798 70211 83026  ");
  EXPECT_EQ(r[1].type, ReportType::ship);
  EXPECT_EQ(r[1].text, "ZMFR   28184 99413 31748  ");
}

// A first group starts a land report when it is a five-figure number (a
// leading minus counts); any other character among the figures, also the
// neighbours of the digits ('/' and ':'), starts none. In a ship section the
// same test on identifiers of any length parts platforms from ships; a
// DEL byte is a character of its group, not a separator.
TEST(ReaderLand, NumericFirstGroups) {
  auto r = read_reports(kHead + "AAXX 07124\n"
                        "12345 11560 82705=\n-1234 11560 82705=\n1234/ 11560 82705=\n"
                        ":2345 11560 82705=\n/2345 11560 82705=\n1234: 11560 82705=\n"
                        "O2345 11560 82705=\n");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].id, "12345");
  EXPECT_EQ(r[1].id, "-1234");
  EXPECT_EQ(r[2].text, " ") << "the input ended with no further report";

  r = read_reports(kHead + "BBXX\n"
                   "12345678 07121 99412=\n1234567/ 07121 99412=\n123456789 07121 99412=\n"
                   "-1234567 07121 99412=\n1234567: 07121 99412=\nAB\x7f" "CD 07121 99412=\n");
  ASSERT_EQ(r.size(), 6u);
  const ReportType want[] = {ReportType::numeric_ship, ReportType::ship, ReportType::numeric_ship,
                             ReportType::numeric_ship, ReportType::ship, ReportType::ship};
  for (std::size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i].type, want[i]) << r[i].id;
  EXPECT_EQ(r[5].id, "AB\x7f" "CD");
}

TEST(ReaderSections, HeadingSetsHourAndEndsReport) {
  auto r = read_reports(kHead + "BBXX\nABCD 07121 99412\n** SMUS01 KWBC 071150\n" + kLand + "\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].text, "ABCD 07121 99412 ");
  EXPECT_EQ(r[1].type, ReportType::land) << "a heading returns to land reports";
  EXPECT_EQ(r[1].id, "72403");
  EXPECT_EQ(SYN_get_prhour(), 1150);

  // A heading whose time group cannot be read keeps the hour.
  read_reports(std::string("** SMUS01 KWBC\n") + kLand + "\n");
  EXPECT_EQ(SYN_get_prhour(), 1150);
}

TEST(ReaderSections, DriftingBuoySectionStartsNothing) {
  auto r = read_reports(kHead + "ZZYY 44723 24077 1200/ 762397 021367 6112/\n"
                        "11119 0//// 30067 40067 57003\n"
                        "444 20120 24077 1151/ 50101 80060=\n"
                        "AAXX 24121\n" + kLand + "\n");
  int reports = 0;
  for (const auto &x : r)
    if (x.text != " ") {
      ++reports;
      EXPECT_EQ(x.id, "72403");
      EXPECT_EQ(x.type, ReportType::land);
    }
  EXPECT_EQ(reports, 1);
}

// Mobile land stations (OOXX) give positions, not station numbers: their
// reports are passed over like those of a drifting-buoy section, not read
// as the previous section's.
TEST(ReaderSections, MobileLandSectionStartsNothing) {
  auto r = read_reports(kHead + "CMAN 28184\nRPLV2 46/// /3610 1//// 40195 91736=\n"
                        "AUP06 08201 99192 31468 ///// ////1\n"  // still CMAN: a report
                        "OOXX\n"
                        "AUP06 08201 99192 31468 ///// ////1\n"
                        "     26/// /0103 10242 29083 30104 92020 333 60000=\n"
                        "OOXX AAATN 18214 99759 50874 56057 12501 46/// /1219 11259=\n");
  std::string ids;
  for (const auto &x : r)
    if (x.text != " ") ids += x.id + " ";
  EXPECT_EQ(ids, "RPLV2 AUP06 ");
  ASSERT_GE(r.size(), 2u);
  EXPECT_EQ(r[1].text, "AUP06 08201 99192 31468 ///// ////1 ") << "the keyword line ends it";
  EXPECT_EQ(SYN_get_rep_type(), ReportType::mobile_land);

  r = read_reports(kHead + "OOXX\nAUP06 08201 99192 31468 ///// ////1=\nAAXX 28181\n" + kLand + "\n");
  ids.clear();
  for (const auto &x : r)
    if (x.text != " ") ids += x.id + "/" + std::to_string(type_bit(x.type)) + " ";
  EXPECT_EQ(ids, "72403/1 ") << "a land section after it reads as before";
}

TEST(ReaderSections, AnySectionKeywordEndsAnOpenReport) {
  auto r = read_reports(kHead + "AAXX 28181\n72403 11560 82705\n"
                        "CMAN 28184\nRPLV2 46/// /3610 1//// 40195=\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].text, "72403 11560 82705 ");
  EXPECT_EQ(r[0].type, ReportType::land);
  EXPECT_EQ(r[1].type, ReportType::coastal);
  EXPECT_EQ(r[1].id, "RPLV2");
  EXPECT_EQ(SYN_get_iw(), 4);
}

TEST(ReaderSections, WindIndicatorOfTheSectionLine) {
  read_reports(kHead + "AAXX 07121\n" + kLand + "\n");
  EXPECT_EQ(SYN_get_iw(), 1);
  read_reports(kHead + "AAXX 0712/\n" + kLand + "\n");
  EXPECT_EQ(SYN_get_iw(), -1) << "a figure that is not a digit";
  read_reports(kHead + "AAXX\n" + kLand + "\n");
  EXPECT_EQ(SYN_get_iw(), -1) << "no group after the keyword";
  read_reports(kHead + "CMAN 28183\nRPLV2 46/// /3610=\nBBXX\nABCD 07120 99412=\n");
  EXPECT_EQ(SYN_get_iw(), 3) << "a ship section keeps the last AAXX/CMAN value";
  read_reports(std::string("** SMUS01 KWBC 071150\n"));
  EXPECT_EQ(SYN_get_iw(), -1) << "a heading forgets it";
}

// A 150-character line is read as pieces of 100 and 50 characters, and the
// pieces make up the line again: the group across the cut stays whole.
TEST(ReaderLines, LongLineComesInPieces) {
  std::string first = "72403";
  while (first.size() < 150) first += " 11560";
  first.resize(150);
  first[149] = '9';  // no trailing blank for the trim to take
  ASSERT_NE(first[99], ' ');
  ASSERT_NE(first[100], ' ') << "the cut falls inside a group";
  MESS_set(1, 0x10000000u);
  testing::internal::CaptureStdout();
  auto r = read_reports(kHead + "AAXX 07124\n" + first + "\n");
  const std::string out = testing::internal::GetCapturedStdout();
  MESS_set(-1, 0x10000000u);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, first + " ");
  EXPECT_NE(out.find("LINE:" + first.substr(0, 100) + ":\n"), std::string::npos) << out;
  EXPECT_NE(out.find("LINE:" + first.substr(100) + ":\n"), std::string::npos) << out;
}

// The rest of a long line belongs to the line: it starts no report, ends
// none and is not one of a report's three lines.
TEST(ReaderLines, RestOfALongLineIsNoLineOfItsOwn) {
  auto long_line = [](const std::string &head, const std::string &tail) {
    std::string l = head;
    while (l.size() + tail.size() < 120) l += " 11560";
    return l + tail;
  };
  // A tail that looks like a report start (from a real file whose lines
  // carry a date-time before the keyword) is no report.
  const std::string dated = long_line("202002100000 AAXX 10004 78762 32670 11017", " 56300 59007 81645");
  ASSERT_GT(dated.size(), 100u);
  for (const auto &x : read_reports(kHead + dated + "\n")) EXPECT_EQ(x.text, " ") << x.id;

  // A long first line does not use up two of the three lines.
  const std::string l1 = long_line("72403 11560", " 82705");
  auto r = read_reports(kHead + "AAXX 07124\n" + l1 + "\n333 10234\n55301 20123\n72405 11560 82705=\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].text, l1 + " 333 10234 55301 20123 ");
  EXPECT_EQ(r[1].id, "72405");

  // Nor does a long third line end before its rest; a rest that begins
  // like a keyword or a heading does not end the report.
  std::string l3 = "55301";
  while (l3.size() < 100) l3 += " 20123";
  l3.resize(100);
  l3 += "AAXX 6 70123";
  r = read_reports(kHead + "AAXX 07124\n72403 11560\n333 10234\n" + l3 + "\n72405 11560 82705=\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].text, "72403 11560 333 10234 " + l3 + " ");
  EXPECT_EQ(r[1].id, "72405");
  EXPECT_EQ(r[1].type, ReportType::land);
}

// A cut that falls on a blank keeps the two groups apart; a line of exactly
// 100 characters with CR CR LF ends like a short one, so a "  333" line
// still continues it.
TEST(ReaderLines, CutOnABlankAndLineEndsAfterACut) {
  std::string l = "72403";
  while (l.size() < 99) l += " 11560";
  l.resize(99);
  l.back() = '0';
  ASSERT_EQ(l.size(), 99u);
  const std::string line = l + " 82705 10150";  // the blank is character 100
  auto r = read_reports(kHead + "AAXX 07124\n" + line + "\n");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, line + " ");

  std::string hundred = l.substr(0, 98) + "1=";
  ASSERT_EQ(hundred.size(), 100u);
  r = read_reports(kHead + "AAXX 07124\r\r\n" + hundred + "\r\r\n  333 10234=\r\r\n72405 11560 82705=\r\r\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].text, hundred.substr(0, 99) + "    333 10234  ");
  EXPECT_EQ(r[1].id, "72405");
}

TEST(ReaderLines, ReportTextBoundedAt450) {
  std::string in = kHead + "AAXX 07124\n72403 11560 82705=\n";
  std::string line = "  333";
  while (line.size() < 99) line += " 10234";
  line.resize(99);
  for (int i = 0; i < 6; ++i) in += line + "=\n";
  char data[kSynDataMax + 8];
  std::memset(data, '#', sizeof data);
  char id[kSynIdMax + 1];
  ReportType type = ReportType::land;
  FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fwrite(in.data(), 1, in.size(), f);
  std::rewind(f);
  SYN_read_reset();
  // Each "  333" line ending in "=" is continued by the next one, so the
  // whole chain is one report, far longer than the bound.
  ASSERT_EQ(SYN_read_raw(f, data, id, &type), 1);
  EXPECT_EQ(std::strlen(data), static_cast<size_t>(kSynDataMax));
  EXPECT_EQ(data[kSynDataMax - 1], ' ') << "the closing blank fits inside the bound";
  EXPECT_EQ(data[kSynDataMax + 1], '#') << "nothing written past the caller's 451 bytes";
  EXPECT_EQ(std::string(data, 18), "72403 11560 82705 ");
  EXPECT_EQ(SYN_read_raw(f, data, id, &type), -1);
  std::fclose(f);
}

TEST(ReaderLines, HeadingAsLastLine) {
  auto r = read_reports(kHead + "AAXX 07124\n" + kLand + "\n** SMUS01 KWBC 071150\n");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].id, "72403");
  EXPECT_EQ(r[1].text, " ");
  EXPECT_EQ(r[1].id, "72403") << "an empty result leaves the identifier as it was";
  EXPECT_EQ(SYN_get_prhour(), 1150);
}

TEST(ReaderLines, LastLineWithoutNewlineReadOnce) {
  auto r = read_reports(kHead + "AAXX 07124\n" + kLand);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].id, "72403");
  EXPECT_EQ(r[0].text, "72403 11560 82705 10150 20089 39981 40132 57010 60001  ");

  // Without a newline the stream is at its end as soon as the line is in
  // the look-ahead; the reader still hands it over once, then reports -1.
  auto two = read_reports(kHead + "AAXX 07124\n72403 11560 82705=\n72405 11560 82705=");
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[1].id, "72405");
}

TEST(ReaderLines, ResetEmptiesTheLookAhead) {
  const std::string ta = kHead + "AAXX 07124\n72403 11560 82705=\n72405 11560 82705=\n";
  const std::string tb = "72407 11560 82705=\n";
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1];
  ReportType type = ReportType::land;
  for (bool reset : {false, true}) {
    FILE *a = std::tmpfile();
    FILE *b = std::tmpfile();
    ASSERT_TRUE(a && b);
    std::fwrite(ta.data(), 1, ta.size(), a);
    std::fwrite(tb.data(), 1, tb.size(), b);
    std::rewind(a);
    std::rewind(b);
    SYN_read_reset();
    // The loop leaves the first file after one report: its next line may
    // be in the look-ahead, but belongs to that file only.
    ASSERT_EQ(SYN_read_raw(a, data, id, &type), 1);
    EXPECT_STREQ(id, "72403");
    if (reset) SYN_read_reset();
    ASSERT_EQ(SYN_read_raw(b, data, id, &type), 1);
    EXPECT_STREQ(id, "72407") << (reset ? "after the reset" : "without the reset");
    std::fclose(a);
    std::fclose(b);
  }
}

TEST(ReaderLines, CarriageReturnsAndIndentedStart) {
  const std::string lf = kHead + "AAXX 07124\n" + kLand + "\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\r\n") : std::string(1, c);
  auto a = read_reports(lf);
  auto b = read_reports("\x01\r\r\n" + crlf + "\x03\r\r\n");
  EXPECT_EQ(tvtest::format_reports(a), tvtest::format_reports(b));

  auto c = read_reports(kHead + "AAXX 07124\n   " + kLand + "\n");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].text, a[0].text) << "a start line's leading blanks are not part of the text";
}

// A control or non-ASCII byte anywhere in a line reads as a blank, whether
// it falls in the first eight bytes of a line, later, or in its tail.
TEST(ReaderLines, ControlAndHighBytesAtEveryPlaceReadAsBlanks) {
  const std::string line = "72403 11515 82705 10142 20086";
  const auto expected = tvtest::format_reports(read_reports(kHead + "AAXX 07124\n" + line + "=\n"));
  for (const char bad : {'\t', '\x01', '\x1f', '\x80', '\xff'}) {
    for (std::size_t at = 5; at < line.size(); at += 6) {  // the blanks between groups
      std::string dirty = line;
      dirty[at] = bad;
      EXPECT_EQ(tvtest::format_reports(read_reports(kHead + "AAXX 07124\n" + dirty + "=\n")), expected)
          << "byte " << static_cast<int>(static_cast<unsigned char>(bad)) << " at " << at;
    }
    // In the short tail after the last whole eight bytes.
    EXPECT_EQ(tvtest::format_reports(read_reports(kHead + "AAXX 07124\n" + line + "=" + bad + "\n")), expected);
  }
}

// Reports of `bytes` read from a memory stream (line by line) rather than
// from a file on disk (in blocks).
std::vector<RawReport> read_stream(std::string bytes) {
  bytes.push_back('\0');  // fmemopen wants a buffer even for no bytes
  FILE *f = fmemopen(bytes.data(), bytes.size() - 1, "r");
  if (!f) return {};
  auto out = read_reports(f);
  std::fclose(f);
  return out;
}

std::string with_line_ends(const std::string &lf_text, const std::string &end) {
  std::string out;
  for (char c : lf_text) out += c == '\n' ? end : std::string(1, c);
  return out;
}

// Old Mac files end their lines with a carriage return alone: read as the
// same lines, from disk and from a stream alike.
TEST(ReaderLines, LoneCarriageReturnsEndLines) {
  const std::string lf = kHead + "AAXX 07124\n" + kLand + "\n72405 32965 62110\n333 10123 21015=\n" +
                         "** SMVX90 KWBC 071200\nBBXX\nABCD 07121 99412 71234 41598=\n";
  const std::string want = tvtest::format_reports(read_reports(lf));
  ASSERT_EQ(read_reports(lf).size(), 3u);
  for (const char *end : {"\r", "\r\r", "\r\n", "\r\r\n"}) {
    const std::string text = with_line_ends(lf, end);
    EXPECT_EQ(tvtest::format_reports(read_reports(text)), want) << "disk, line end " << end[1] + 0;
    EXPECT_EQ(tvtest::format_reports(read_stream(text)), want) << "stream, line end " << end[1] + 0;
  }
  // Mixed in one file, and a last line ended by a carriage return alone.
  const std::string mixed = kHead + "AAXX 07124\r" + kLand + "\r\r\n72405 32965 62110\r333 10123 21015=\n" +
                            "** SMVX90 KWBC 071200\r\nBBXX\rABCD 07121 99412 71234 41598=\r";
  EXPECT_EQ(tvtest::format_reports(read_reports(mixed)), want);
  EXPECT_EQ(tvtest::format_reports(read_stream(mixed)), want);
}

// Where a line ends with a carriage return near the 100-character cut or at
// the edge of the reader's buffer, disk and stream still agree, and CR LF
// still reads as it always did.
TEST(ReaderLines, CarriageReturnsAtTheCutAndAtBufferEdges) {
  std::string l = "72403";
  while (l.size() < 100) l += " 11560";
  l.resize(100);
  l.back() = '9';
  for (const std::string &line : {l, l.substr(0, 99), l + "1"}) {
    for (const char *end : {"\r", "\r\r\n", "\r\n"}) {
      const std::string text = kHead + "AAXX 07124" + end + line + end + "  333 10234=" + end + "72405 11560 82705=" + end;
      const auto disk = read_reports(text);
      EXPECT_EQ(tvtest::format_reports(disk), tvtest::format_reports(read_stream(text)))
          << line.size() << " " << end[1] + 0;
      ASSERT_GE(disk.size(), 2u) << line.size();
      EXPECT_EQ(disk.back().id, "72405") << line.size() << " " << end[1] + 0;
    }
  }
  // A file of many reports whose CR CR LF and lone CR ends fall on every
  // offset of the block boundary.
  for (const char *end : {"\r\r\n", "\r"}) {
    std::string text = kHead + "AAXX 07124" + end;
    int n = 0;
    while (text.size() < (1u << 16) + 400) {
      text += "72403 11560 82705 10150 2" + std::to_string(1000 + n % 9000) + "=" + end;
      ++n;
    }
    const auto disk = read_reports(text);
    EXPECT_EQ(static_cast<int>(disk.size()), n) << end[1] + 0;
    EXPECT_EQ(tvtest::format_reports(disk), tvtest::format_reports(read_stream(text)));
  }
}

// The reader looks for carriage returns once per buffer, not per line: a
// lone one far from the last one (in the first block, past the block
// boundary, in the last line) still ends its line, from disk and stream.
TEST(ReaderLines, FewLoneCarriageReturnsInALargeFile) {
  std::string lf = kHead + "AAXX 07124\n";
  int n = 0;
  while (lf.size() < (1u << 17) + 3000) {
    lf += "72403 11560 82705 10150 2" + std::to_string(1000 + n % 9000) + "=\n";
    ++n;
  }
  const std::string want = tvtest::format_reports(read_reports(lf));
  ASSERT_EQ(static_cast<int>(read_reports(lf).size()), n);
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < lf.size(); ++i)
    if (lf[i] == '\n') ends.push_back(i);
  // Line ends near the start, on both sides of each 64 KiB boundary, and the last.
  std::vector<std::size_t> picks = {ends[2], ends[3], ends.back()};
  for (std::size_t edge : {std::size_t{1} << 16, std::size_t{2} << 16}) {
    auto it = std::lower_bound(ends.begin(), ends.end(), edge);
    picks.push_back(*(it - 1));
    picks.push_back(*it);
  }
  for (std::size_t at : picks) {
    std::string text = lf;
    text[at] = '\r';
    EXPECT_EQ(tvtest::format_reports(read_reports(text)), want) << "disk, CR at " << at;
    EXPECT_EQ(tvtest::format_reports(read_stream(text)), want) << "stream, CR at " << at;
  }
  std::string all = lf;
  for (std::size_t at : picks) all[at] = '\r';
  EXPECT_EQ(tvtest::format_reports(read_reports(all)), want);
}

// Lines of a file on disk mostly take a short way (line feed buffered, no
// carriage return, no cut); long lines, CR LF lines and lines across the
// buffer's edge take the long one, back and forth. A file of such lines
// over three buffers reads as the same stream read line by line does.
TEST(ReaderLines, ShortAndLongWaysAlternate) {
  std::string text = kHead + "AAXX 07124\n";
  int n = 0;
  while (text.size() < (3u << 16)) {
    const std::string g = std::to_string(10000 + n % 90000);
    if (n % 50 == 7) {
      text += "72403 11560 82705 " + g + "\r\r\n333 10123=\r\n";
    } else if (n % 70 == 11) {
      text += "72403 11560 82705";  // 131 characters: a cut piece, then its rest
      for (int i = 0; i < 19; ++i) text += " " + g;
      text += "\n333 10123=\n";
    } else {
      text += "72403 11560 82705 " + g + "\n333 10123=\n";
    }
    ++n;
  }
  const auto disk = read_reports(text);
  ASSERT_EQ(static_cast<int>(disk.size()), n);
  EXPECT_EQ(tvtest::format_reports(disk), tvtest::format_reports(read_stream(text)));
  EXPECT_EQ(disk[7].text, "72403 11560 82705 10007 333 10123  ");
  EXPECT_EQ(disk[11].text.size(), 17u + 19u * 6u + std::string(" 333 10123  ").size()) << "the cut line whole";
}

// Random bulletins made of the lines a feed holds, the usual and the odd
// ones: headings and every section keyword, start lines of land and ship
// reports, continuation and "  333" lines, "=" at the end, inside a line or
// before a blank, blank lines, "NNNN", lines of 100 and 101 characters,
// control, tab, NUL and non-ASCII bytes, and every kind of line end. Most
// reports of a file on disk are read whole from the buffered block; a
// stream is read line by line, and so is a file while the read traces are
// on. All three read the same reports.
std::string random_bulletins(std::mt19937 &rng, std::size_t size) {
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto group = [&](bool figures) {
    std::string g;
    for (int i = 0; i < 5; ++i) g += figures || pick(4) ? static_cast<char>('0' + pick(10)) : '/';
    return g;
  };
  auto groups = [&](int n) {
    std::string g;
    for (int i = 0; i < n; ++i) {
      if (i) g += ' ';
      g += group(i < 2);
    }
    return g;
  };
  static const char *const kEnds[] = {"\n", "\n", "\n", "\n", "\r\n", "\r\r\n", "\r", " \n", "\t\n"};
  static const char *const kOdd[] = {"NNNN", "", "   ", "ZCZC 123", "333 10123", "  333 10234 20123=",
                                     "CMAN 07124", "ZZYY 12345 07121", "OOXX", "SHIPS", "BBXX",
                                     "AAXX 07121", "AAXX 07124 72403 11560 82705=", "** SMUS01 KWBC 071150",
                                     "*** 12345 11560", "-1234 11560 82705=", "72403 11560= 82705",
                                     "72403 11560 82705 =", "72403  11560 82705=", " 72403 11560 82705="};
  std::string out;
  int bulletin = 0;
  while (out.size() < size) {
    std::string line;
    const int kind = pick(100);
    if (kind < 4) {
      line = "** SMUS" + std::to_string(10 + pick(90)) + " KWBC 07" + std::to_string(1000 + pick(2400)).substr(1);
      ++bulletin;
    } else if (kind < 9) {
      static const char *const kKeys[] = {"AAXX 07121", "AAXX 07124", "BBXX", "CMAN 07121", "SHIPS"};
      line = kKeys[pick(5)];
    } else if (kind < 45) {
      line = (bulletin % 2 ? "AB" + std::to_string(10 + pick(90)) : group(true)) + " " + groups(1 + pick(12));
    } else if (kind < 70) {
      line = (pick(2) ? "333 " : pick(2) ? "  333 " : "") + groups(1 + pick(8));
    } else if (kind < 80) {
      line = kOdd[pick(sizeof kOdd / sizeof *kOdd)];
    } else if (kind < 85) {
      line = groups(16 + pick(3));  // about 100 characters: cut or not
      line.resize(99 + pick(4), '1');
    } else if (kind < 90) {
      line = groups(2 + pick(6));
      const char odd[] = {'\t', '\0', '\x01', '\x7f', '\x80', '\xff', '\v', '\x1b'};
      line[static_cast<std::size_t>(pick(static_cast<int>(line.size())))] = odd[pick(8)];
    } else {
      line = group(true) + " " + groups(2 + pick(8));
    }
    if (pick(3) == 0) line += "=";
    out += line + kEnds[pick(sizeof kEnds / sizeof *kEnds)];
  }
  if (pick(2)) out.pop_back();  // the last line without its end
  return out;
}

TEST(ReaderLines, WholeReportsFromTheBlockReadAsLineByLine) {
  std::mt19937 rng(20261210);
  int reports = 0;
  for (int round = 0; round < 40; ++round) {
    // The heading sets the section state, which lasts from one read to the next.
    const std::string text = kHead + random_bulletins(rng, round % 8 == 0 ? 150000 : 3000);
    const auto disk = read_reports(text);
    const std::string want = tvtest::format_reports(read_stream(text));
    ASSERT_EQ(tvtest::format_reports(disk), want) << "round " << round;
    MESS_set(1, 0x80000000u);
    testing::internal::CaptureStdout();
    const auto traced = read_reports(text);
    testing::internal::GetCapturedStdout();
    MESS_set(-1, 0x80000000u);
    ASSERT_EQ(tvtest::format_reports(traced), want) << "traced, round " << round;
    reports += static_cast<int>(disk.size());
  }
  EXPECT_GT(reports, 5000) << "the files hold reports";
}

// The reader knows the length of each text it hands over, whichever way
// it read it.
TEST(ReaderLines, LengthOfEachText) {
  std::mt19937 rng(7);
  const std::string text = kHead + random_bulletins(rng, 100000);
  FILE *disk = std::tmpfile();
  ASSERT_NE(disk, nullptr);
  std::fwrite(text.data(), 1, text.size(), disk);
  std::rewind(disk);
  std::string bytes = text;
  FILE *stream = fmemopen(bytes.data(), bytes.size(), "r");
  ASSERT_NE(stream, nullptr);
  for (FILE *f : {disk, stream}) {
    SYN_read_reset();
    char data[kSynDataMax + 1];
    char id[kSynIdMax + 1] = "";
    ReportType type = ReportType::land;
    int n = 0;
    while (SYN_read_raw(f, data, id, &type) == 1) {
      ASSERT_EQ(SYN_read_len(), static_cast<int>(std::strlen(data))) << data;
      ++n;
    }
    EXPECT_GT(n, 500);
    std::fclose(f);
  }
}

// Where the short way hands a report to the long one: what follows its
// mark may go on with it, or it does not end within the buffered block.
TEST(ReaderLines, ReportsTheShortWayLeavesToTheLongOne) {
  const std::string head = kHead + "AAXX 07124\n72401 11560 82705=\n";
  struct Case {
    std::string tail;
    std::vector<std::string> texts;
  } cases[] = {
      {"72403 11560 82705=\n  333 10234=\n72405 11560 82705=\n",
       {"72403 11560 82705    333 10234  ", "72405 11560 82705  "}},
      {"72403 11560 82705=\n\n\n72405 11560 82705=\n", {"72403 11560 82705  ", "72405 11560 82705  "}},
      {"72403 11560 82705=\n\n", {"72403 11560 82705  "}},
      {"72403 11560 82705=", {"72403 11560 82705  "}},
      {"72403 11560 82705\n333 10234=\r\r\n  333 20123=\r\n", {"72403 11560 82705 333 10234    333 20123  "}},
      {"72403 11560\t82705=\n72405 11560 82705=\n", {"72403 11560 82705  ", "72405 11560 82705  "}},
      {"72403 11560 82705\nAAXX 07121\n72405 11560 82705=\n", {"72403 11560 82705 ", "72405 11560 82705  "}},
      {"72403 11560 82705\n\n333 10234=\n", {"72403 11560 82705 333 10234  "}},
      {"72403 11560 82705 \n333 10234= \n  333 20123=\n", {"72403 11560 82705 333 10234    333 20123  "}},
  };
  for (const auto &c : cases) {
    const auto got = read_reports(head + c.tail);
    ASSERT_EQ(got.size(), c.texts.size() + 1) << c.tail;
    for (std::size_t i = 0; i < c.texts.size(); ++i) EXPECT_EQ(got[i + 1].text, c.texts[i]) << c.tail;
    EXPECT_EQ(tvtest::format_reports(got), tvtest::format_reports(read_stream(head + c.tail))) << c.tail;
  }
}

// Most land reports start as "72403 11560 ...": the short way tells such a
// start from the first bytes at once. Each of the first thirteen bytes
// replaced by the bytes around those it accepts (figures, the blank, the
// line end, control and high bytes) reads as the line-by-line way reads it,
// in a land section and in a ship section.
TEST(ReaderLines, UsualLandStartsTellTheirBytes) {
  const char kBytes[] = {'0', '9', '/', ':', ' ', '!', '=', 'A', '~', '\x7f', '\t', '\r', '\x01', '\x80', '\xff'};
  for (const char *section : {"AAXX 07124\n", "BBXX\n"}) {
    for (const std::string base : {"72403 11560 82705=", "72403 11560=", "72403 1156/ 82705 10123="}) {
      std::string text = kHead + section;
      for (std::size_t at = 0; at < 13 && at < base.size(); ++at) {
        for (char c : kBytes) {
          std::string line = base;
          line[at] = c;
          text += line + "\n";
        }
      }
      const auto disk = read_reports(text);
      EXPECT_GT(disk.size(), 5u) << section << base;
      EXPECT_EQ(tvtest::format_reports(disk), tvtest::format_reports(read_stream(text))) << section << base;
    }
  }
}

TEST(ReaderLines, ControlAndHighBytesBecomeBlanks) {
  std::string in = kHead + "AAXX 07124\n72403 11560";
  in += std::string("\0\xff", 2);
  in += "82705=\n";
  auto r = read_reports(in);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, "72403 11560  82705  ") << "a NUL byte does not cut the line";
}

TEST(ReaderLines, BinaryInputEnds) {
  std::string bin;
  unsigned v = 12345;
  for (int i = 0; i < 20000; ++i) {
    v = v * 1103515245u + 12345u;
    bin += static_cast<char>(v >> 24);
    if (i % 997 == 0) bin += "AAXX 07124\n72403 11560 ";
  }
  auto r = read_reports(bin, 50000);
  ASSERT_LT(r.size(), 50000u) << "the reader must come to an end";
  for (const auto &x : r) {
    EXPECT_LE(x.text.size(), static_cast<size_t>(kSynDataMax));
    EXPECT_LE(x.id.size(), static_cast<size_t>(kSynIdMax));
    for (char c : x.text) {
      const auto u = static_cast<unsigned char>(c);
      EXPECT_TRUE(u >= 32 && u < 128) << "control or high byte left: " << int(u);
    }
  }
}

TEST(ReaderLines, EmptyStreamGivesMinusOne) {
  EXPECT_TRUE(read_reports(std::string()).empty());
  auto blank = read_reports(std::string("\n\n\n"));
  ASSERT_EQ(blank.size(), 1u) << "input ended before a report: one empty result";
  EXPECT_EQ(blank[0].text, " ");
  char data[kSynDataMax + 1] = "x";
  char id[kSynIdMax + 1] = "";
  ReportType type = ReportType::land;
  FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  SYN_read_reset();
  EXPECT_EQ(SYN_read_raw(f, data, id, &type), -1);
  EXPECT_STREQ(data, "x") << "nothing written";
  std::fclose(f);
}

// The read traces show what the start tests say of every line; without
// them the lines of an open report are joined without those tests. Both
// ways read the same reports: continuation lines that pass or fail the
// tests, the end mark on either, the three-line limit, blank lines, a
// "  333" line after the mark, a cut line and a keyword line inside a report.
TEST(ReaderTrace, ReadTracesChangeNothingOfWhatIsRead) {
  const std::string text =
      kHead + "AAXX 07124\n72403 11560 82705\n72405 11560 82705=\n"
              "72406 11560\n10150 20089\n39981 40132\n57010=\n"
              "72407 11560 82705\n\n333 10123=\n  333 55300 20000=\n"
              "72408 11560 82705 " + std::string(120, '1') + "\n333 10123=\n"
              "72409 11560 82705\nCMAN 07124\nDBLN6 46/// /0808=\n"
              "BBXX\nABCD 07121 99412\nWXYZ 07121 99412=\n46035 07121 99412\n41598=\n";
  const auto quiet = read_reports(text);
  MESS_set(1, 0x80000000u);
  testing::internal::CaptureStdout();
  const auto traced = read_reports(text);
  const std::string shown = testing::internal::GetCapturedStdout();
  MESS_set(-1, 0x80000000u);
  EXPECT_NE(shown.find("STR-5"), std::string::npos) << "the traces ran";
  EXPECT_EQ(tvtest::format_reports(quiet), tvtest::format_reports(traced));
  ASSERT_EQ(quiet.size(), 8u);
  EXPECT_EQ(quiet[0].text, "72403 11560 82705 72405 11560 82705  ");
  EXPECT_EQ(quiet[1].text, "72406 11560 10150 20089 39981 40132 ") << "three lines at most";
  EXPECT_EQ(quiet[2].text, "72407 11560 82705 333 10123    333 55300 20000  ");
  EXPECT_EQ(quiet[4].text, "72409 11560 82705 ") << "ended by the keyword line";
  EXPECT_EQ(quiet[6].text, "ABCD 07121 99412 WXYZ 07121 99412  ");
}

TEST(ReaderTrace, LineAndDataTraces) {
  MESS_set(1, 0x10000000u);
  testing::internal::CaptureStdout();
  read_reports(std::string("AAXX 07124\n72403 11560 82705=\n"));
  const std::string out = testing::internal::GetCapturedStdout();
  MESS_set(-1, 0x10000000u);
  EXPECT_EQ(out,
            "LINE:AAXX 07124:\n"
            "LINE:72403 11560 82705=:\n"
            "DATA: 72403 11560 82705  \n");
}

}  // namespace
