// Sections 3 and 5 of land reports: the search for 333, extremes, snow
// depth, sunshine and radiation groups, precipitation, and the traces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"

namespace {

constexpr float kMiss = tv::kMissFloat;
constexpr M_type kGroupTrace = 0x20000000u;

SFC_report decode(const std::string &text, int prhour = 1200, int iw = 4) {
  SYN_set_prhour(prhour);
  SYN_set_iw(iw);
  SFC_report r;
  SFC_initialize(&r);
  EXPECT_EQ(SYN_decode(text.c_str(), ReportType::land, &r), 1) << text;
  return r;
}

float fahrenheit(float c) { return 32.0f + 9.0f * c / 5.0f; }

const std::string kSec1 = "72403 11560 82705 10150 20089 39981 40132 57010 ";

// Decodes with the group trace switched on and returns what it printed.
std::string traced(const std::string &text) {
  MESS_set(1, kGroupTrace);
  testing::internal::CaptureStdout();
  decode(text);
  std::string out = testing::internal::GetCapturedStdout();
  MESS_set(-1, kGroupTrace);
  return out;
}

}  // namespace

TEST(Section3, ReferenceExampleEveryValue) {
  SFC_report r = decode(kSec1 + "333 10234 20012 47005 55300 20345 60007 70123 ");
  EXPECT_FLOAT_EQ(r.max_t, 74.12f);
  EXPECT_FLOAT_EQ(r.min_t, 34.16f);
  EXPECT_FLOAT_EQ(r.scover, 5 / 2.54f);
  EXPECT_EQ(r.rain3, 0.0f);
  EXPECT_FLOAT_EQ(r.rain24, 123 / 254.0f);
  EXPECT_EQ(r.rain6, kMiss);
  EXPECT_EQ(r.rain12, kMiss);
  EXPECT_FLOAT_EQ(r.pmb, 1013.2f);  // section 1 untouched by section 3
}

TEST(Section3, MinimumBeforeMaximum) {
  SFC_report r = decode(kSec1 + "333 20012 10234 ");
  EXPECT_FLOAT_EQ(r.min_t, 34.16f);
  EXPECT_FLOAT_EQ(r.max_t, 74.12f);
  r = decode(kSec1 + "333 11012 21105 ");
  EXPECT_FLOAT_EQ(r.max_t, fahrenheit(-1.2f));
  EXPECT_FLOAT_EQ(r.min_t, fahrenheit(-10.5f));
  r = decode(kSec1 + "333 10234 29012 70123 ");
  EXPECT_EQ(r.min_t, kMiss) << "sign figure 9 is not a minimum temperature";
}

TEST(Section3, SearchPassesOverUnknownGroups) {
  SFC_report r = decode(kSec1 + "8//// 8//// XYZ12 222 1 333 10234 ");
  EXPECT_FLOAT_EQ(r.max_t, 74.12f);
  // The search starts where section 1 stopped.
  r = decode("72403 11560 82705 40132 10150 57010 333 20012 ");
  EXPECT_EQ(r.t, kMiss);
  EXPECT_FLOAT_EQ(r.min_t, 34.16f);
  // Without 333 nothing after section 1 is decoded.
  r = decode(kSec1 + "10234 20012 70123 ");
  EXPECT_EQ(r.max_t, kMiss);
  EXPECT_EQ(r.rain24, kMiss);
  // A 3331 is not the indicator.
  r = decode(kSec1 + "3331 10234 ");
  EXPECT_EQ(r.max_t, kMiss);
}

// Stations with identifiers beginning 17 report another quantity in the
// 1-group at 0000 and 1200: it is passed over and the rest still decodes.
TEST(Section3, Station17MaximumPassedOver) {
  const std::string rep = "17130 11560 82705 10150 333 10234 20012 47005 60007 70123 555 10001 ";
  for (int hour : {0, 1200}) {
    SFC_report r = decode(rep, hour);
    EXPECT_EQ(r.max_t, kMiss) << hour;
    EXPECT_FLOAT_EQ(r.min_t, 34.16f) << hour;
    EXPECT_FLOAT_EQ(r.scover, 5 / 2.54f) << hour;
    EXPECT_EQ(r.rain3, 0.0f) << hour;
    EXPECT_FLOAT_EQ(r.rain24, 123 / 254.0f) << hour;
  }
  SFC_report r = decode(rep, 600);
  EXPECT_FLOAT_EQ(r.max_t, 74.12f);
  r = decode("72130 11560 82705 10150 333 10234 ", 1200);
  EXPECT_FLOAT_EQ(r.max_t, 74.12f) << "other blocks keep their maximum";
  // The report's own time counts, not the bulletin's.
  r = decode("17130 11560 82705 10150 91130 333 10234 ", 1200);
  EXPECT_FLOAT_EQ(r.max_t, 74.12f);
}

TEST(Section3, DailyPrecipitationAndSnowDepth) {
  SFC_report r = decode(kSec1 + "333 79999 ");
  EXPECT_EQ(r.rain24, 0.0f) << "9999 is a trace";
  r = decode(kSec1 + "333 7//// ");
  EXPECT_EQ(r.rain24, kMiss);
  r = decode(kSec1 + "333 70254 ");
  EXPECT_FLOAT_EQ(r.rain24, 1.0f);
  r = decode(kSec1 + "333 4//// 70254 ");
  EXPECT_EQ(r.scover, kMiss);
  EXPECT_FLOAT_EQ(r.rain24, 1.0f);
  // The special depths 997-999 are out of range: the check removes them.
  r = decode(kSec1 + "333 41997 ");
  EXPECT_GT(r.scover, 390.0f);
  SFC_check_valid(&r, 0);
  EXPECT_EQ(r.scover, kMiss);
}

TEST(Section3, SunshineGroupsAndTheirRadiationGroups) {
  // Several radiation groups after 55SSS: all are passed over, and the
  // 24-hour amount after them is kept. A real report.
  SFC_report r = decode(
      "15001 07415 32931 10103 21090 39765 42250 57020 60071 72006 82110 91155 333 10178 "
      "21073 34101 55055 00010 20003 30002 50001 60004 60035 70500 83145 81533 91008 91111 "
      "444 18031 22053 ",
      1200, 1);
  EXPECT_FLOAT_EQ(r.max_t, fahrenheit(17.8f));
  EXPECT_FLOAT_EQ(r.min_t, fahrenheit(-7.3f));
  EXPECT_FLOAT_EQ(r.rain24, 500 / 254.0f);
  EXPECT_EQ(r.rain3, kMiss) << "60035 is a 1-hour amount: no field of its own";
  EXPECT_FLOAT_EQ(r.rain6, 7 / 25.4f);  // section 1's 60071
  EXPECT_EQ(r.time, 1155);
  EXPECT_FLOAT_EQ(r.w_spd, 31 * 1.944f);
  EXPECT_EQ(r.type, 17);  // ix 7: automatic station
  EXPECT_EQ(r.pmb, kMiss);  // 42250: a 925 hPa height, not a pressure

  // One radiation group, then the precipitation group.
  r = decode(kSec1 + "333 55300 20345 60007 70123 ");
  EXPECT_EQ(r.rain3, 0.0f);
  EXPECT_FLOAT_EQ(r.rain24, 123 / 254.0f);
  // A 6-group is a radiation group only when another 6-group follows.
  r = decode(kSec1 + "333 55300 60004 60017 ");
  EXPECT_FLOAT_EQ(r.rain3, 1 / 25.4f);
  // Radiation figures must rise; a repeated figure ends them.
  r = decode(kSec1 + "333 55300 20345 20111 60017 ");
  EXPECT_EQ(r.rain3, kMiss);
  // Other 5-groups (pressure change, 56 and 58/59) are passed over as before.
  r = decode(kSec1 + "333 56000 59009 60017 70123 ");
  EXPECT_FLOAT_EQ(r.rain3, 1 / 25.4f);
  EXPECT_FLOAT_EQ(r.rain24, 123 / 254.0f);
}

// A second sunshine group (55SSS for the day, then the hour's) comes with
// radiation groups of its own; a radiation group may be all slashes. Both
// are passed over and the precipitation group after them is kept.
TEST(Section3, FurtherSunshineGroupAndMissingRadiation) {
  // A real Romanian 00 UTC report.
  SFC_report r = decode(
      "15015 01597 83201 10072 20053 39345 42589 56019 60051 76186 885// 333 4/000 "
      "55300 0//// 20000 3//// 55008 0//// 20214 3//// 60057 91004 91107 ",
      0, 1);
  EXPECT_FLOAT_EQ(r.rain3, 5 / 25.4f);
  EXPECT_FLOAT_EQ(r.rain6, 5 / 25.4f);  // section 1's 60051
  EXPECT_EQ(r.scover, 0.0f);            // 4/000: no snow on the ground
  EXPECT_EQ(r.time, 0);

  r = decode(kSec1 + "333 55300 ///// 20111 60017 70123 ");
  EXPECT_FLOAT_EQ(r.rain3, 1 / 25.4f);
  EXPECT_FLOAT_EQ(r.rain24, 123 / 254.0f);
  r = decode(kSec1 + "333 55300 55301 ///// 60017 ");
  EXPECT_FLOAT_EQ(r.rain3, 1 / 25.4f) << "a 55-group straight after the first";
  // The order of figures starts again after the new sunshine group.
  r = decode(kSec1 + "333 55300 20345 30111 55008 10000 40000 60017 ");
  EXPECT_FLOAT_EQ(r.rain3, 1 / 25.4f);

  const std::string out = traced(kSec1 + "333 55300 0//// 55008 ///// 60017 ");
  EXPECT_NE(out.find("5.... (.....): 55008\n"), std::string::npos) << out;
  EXPECT_NE(out.find("5.... (.....): /////\n"), std::string::npos) << out;
  EXPECT_NE(out.find("6RRRt: 60017\n"), std::string::npos) << out;
}

TEST(Section5, NotDecodedAndNotMistakenForAGroup) {
  // "555" is the next section, not a 5-group with radiation after it.
  SFC_report r = decode(kSec1 + "333 10234 555 60005 70123 ");
  EXPECT_FLOAT_EQ(r.max_t, 74.12f);
  EXPECT_EQ(r.rain24, kMiss);
  r = decode(kSec1 + "333 55300 555 70123 ");
  EXPECT_EQ(r.rain24, kMiss);
  const std::string out = traced(kSec1 + "333 10234 555 70123 ");
  EXPECT_NE(out.find("555: 555\n"), std::string::npos) << out;
  EXPECT_NE(out.find("LEFT: 70123 \n"), std::string::npos) << out;
}

TEST(Traces, GroupLabelsSearchAndRest) {
  std::string out = traced(kSec1 + "XYZ12 333 10234 ");
  EXPECT_NE(out.find("1sTTT: 10150\n"), std::string::npos) << out;
  EXPECT_NE(out.find("-->333: XYZ12\n"), std::string::npos) << out;
  EXPECT_NE(out.find("333: 333\n"), std::string::npos) << out;
  EXPECT_NE(out.find("1sTTT: 10234\n"), std::string::npos) << out;
  EXPECT_NE(out.find("LEFT: \n"), std::string::npos) << out;

  out = traced(kSec1);  // no 333: the search runs to the end
  EXPECT_NE(out.find("LEFT: \n"), std::string::npos) << out;

  // Nothing is printed when the level is off.
  testing::internal::CaptureStdout();
  decode(kSec1 + "333 10234 ");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

namespace {

// Random report texts: mostly clean five-character groups, with odd ones
// (signs, letters, short and long groups, section indicators) mixed in.
std::string random_report(unsigned &seed) {
  auto rnd = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<unsigned>(n));
  };
  static const char *const kOdd[] = {"222//", "333", "555", "-1234", "1A234", "123", "1234567",
                                     "99412", "55300", "29070", "8////", "/////", "00150", "70025",
                                     "55301", "553//", "6////", "7////", "1/234", "7240/"};
  // Mostly one blank; other white space now and then (a clean group may
  // end in any of them, and vertical tab and form feed end none).
  static const char *const kBlanks[] = {" ", " ", " ", " ", " ", " ", " ", " ", " ", " ",
                                        "  ", "\t", "\r\n", "\n", "\v", "\f"};
  const char figures[] = "0123456789//";
  std::string t = rnd(4) ? "72403" : "ABCD";
  // Now and then more groups than a report of the reader holds.
  const int groups = 1 + rnd(rnd(10) == 0 ? 100 : 30);
  for (int g = 0; g < groups; ++g) {
    t += kBlanks[rnd(static_cast<int>(std::size(kBlanks)))];
    if (rnd(6) == 0) {
      t += kOdd[rnd(static_cast<int>(std::size(kOdd)))];
    } else {
      t += static_cast<char>('0' + rnd(10));
      for (int i = 0; i < 4; ++i) t += figures[rnd(static_cast<int>(sizeof figures - 1))];
    }
  }
  if (rnd(5)) t += ' ';
  if (rnd(25) == 0) t += std::string(static_cast<std::size_t>(rnd(600)), ' ');
  return t;
}

// Decodes at message level `level` with direct matching on or off; what
// the decoder printed goes to `printed`.
// `len`: the length handed to the decoder (the program passes the reader's),
// or none for SYN_decode's own measure. `in_place`: the text is read where
// it is, as the program hands it over, in a room whose bytes after it are
// left over from a longer text; a text longer than the room fills it
// without a terminator.
SFC_report decode_at(const std::string &text, ReportType type, M_type level, bool direct,
                     std::string &printed, std::optional<int> len = std::nullopt, bool in_place = false) {
  const M_type saved = MESS_get();
  MESS_set(0, level);
  SYN_set_direct_matching(direct);
  char room[kSynTextRoom];
  if (in_place) {
    for (std::size_t i = 0; i < sizeof room; ++i) room[i] = "98765 "[i % 6];
    const std::size_t n = std::min(text.size() + 1, sizeof room);
    std::memcpy(room, text.c_str(), n);
  }
  testing::internal::CaptureStdout();
  SFC_report r;
  SFC_initialize(&r);
  if (in_place)
    SYN_decode_in_place(room, len.value_or(static_cast<int>(text.size())), type, &r);
  else if (len)
    SYN_decode_text(text.c_str(), *len, type, &r);
  else
    SYN_decode(text.c_str(), type, &r);
  std::fflush(stdout);
  printed = testing::internal::GetCapturedStdout();
  SYN_set_direct_matching(true);
  MESS_set(0, saved);
  return r;
}

// Decodes `text` four ways: quiet and with `traces` on, each with direct
// matching and with the scanner. The four records must be the same and the
// two traced runs must print the same; what differs is a failure, counted
// in `differ`.
struct FourWays {
  SFC_report quiet;
  std::string quiet_out, traced_out;
  int differ = 0;
};
FourWays decode_four_ways(const std::string &text, ReportType type, M_type traces, const std::string &what) {
  constexpr M_type kQuiet = 0x000FFFFFu;
  FourWays w;
  std::string scanned_out, traced_scanned_out;
  w.quiet = decode_at(text, type, kQuiet, true, w.quiet_out);
  const SFC_report scanned = decode_at(text, type, kQuiet, false, scanned_out);
  const SFC_report traced = decode_at(text, type, traces, true, w.traced_out);
  const SFC_report traced_scanned = decode_at(text, type, traces, false, traced_scanned_out);
  // With the length known, and with lengths that are wrong: measured again.
  std::string ignored;
  const int size = static_cast<int>(text.size());
  const SFC_report known = decode_at(text, type, kQuiet, true, ignored, size);
  const SFC_report short_len = decode_at(text, type, kQuiet, true, ignored, size > 0 ? size - 1 : -1);
  const SFC_report negative = decode_at(text, type, kQuiet, true, ignored, -1);
  const SFC_report too_long = decode_at(text, type, kQuiet, true, ignored, kSynDataMax + 1);
  for (const SFC_report *other : {&scanned, &traced, &traced_scanned, &known, &short_len, &negative, &too_long}) {
    if (std::memcmp(&w.quiet, other, sizeof w.quiet) != 0) {
      ++w.differ;
      ADD_FAILURE() << "records differ, " << what;
    }
  }
  if (w.traced_out != traced_scanned_out) {
    ++w.differ;
    EXPECT_EQ(w.traced_out, traced_scanned_out) << what;
  }
  // In place, quiet and traced, with the length and with a wrong one; a
  // text longer than the reader's is read as its first kSynDataMax
  // characters.
  const bool fits = size <= kSynDataMax;
  std::string cut_out, in_place_out;
  const SFC_report expected =
      fits ? w.quiet : decode_at(text.substr(0, kSynDataMax), type, traces, true, cut_out);
  const SFC_report in_place = decode_at(text, type, kQuiet, true, ignored, size, true);
  const SFC_report in_place_short = decode_at(text, type, kQuiet, true, ignored, size > 0 ? size - 1 : -1, true);
  const SFC_report in_place_traced = decode_at(text, type, traces, true, in_place_out, size, true);
  for (const SFC_report *other : {&in_place, &in_place_short, &in_place_traced}) {
    if (std::memcmp(&expected, other, sizeof expected) != 0) {
      ++w.differ;
      ADD_FAILURE() << "records differ in place, " << what;
    }
  }
  if (in_place_out != (fits ? w.traced_out : cut_out)) {
    ++w.differ;
    EXPECT_EQ(in_place_out, fits ? w.traced_out : cut_out) << what;
  }
  return w;
}

}  // namespace

// Clean groups, texts and section indicators are matched without the
// scanner; with direct matching off the scanner decides every group. Both
// must decode alike, and the trace level must change nothing of what is
// decoded: with the scanner's traces on the direct matching still decides,
// and the scanner, called for its trace only, prints what it prints when it
// decides.
TEST(Decoder, DirectMatchingAgreesWithTheScanner) {
  unsigned seed = 7;
  const ReportType types[] = {ReportType::land, ReportType::ship, ReportType::numeric_ship,
                              ReportType::drifter, ReportType::coastal};
  constexpr M_type kTraces = 0xF00FFFFFu;  // identifier, group and scanner traces
  int differ = 0;
  for (int i = 0; i < 4000 && differ < 5; ++i) {
    const std::string text = random_report(seed);
    const ReportType type = types[i % 5];
    SYN_set_prhour(1200);
    SYN_set_iw(i % 3 == 0 ? 1 : 4);
    const std::string what = "type " + std::to_string(type_bit(type)) + ": " + text;
    const FourWays w = decode_four_ways(text, type, kTraces, what);
    differ += w.differ;
    EXPECT_EQ(w.quiet_out, "") << what;
    if (i == 0) {
      EXPECT_NE(w.traced_out.find("SCANP:"), std::string::npos) << w.traced_out;
    }
  }
  EXPECT_EQ(differ, 0);
}

// A text longer than any report of the reader is decoded the same way: the
// groups of a long search for 333, and blanks after the last group, change
// nothing of what is decoded.
TEST(Decoder, LongTextDecodesAsAShortOne) {
  const std::string tail = "333 10234 20012 47005 70123 ";
  std::string unknown;
  for (int i = 0; i < 90; ++i) unknown += "XYZ12 ";
  const SFC_report short_one = decode(kSec1 + "XYZ12 " + tail);
  const SFC_report long_one = decode(kSec1 + unknown + tail);
  const SFC_report padded = decode(kSec1 + tail + std::string(700, ' '));
  ASSERT_GT((kSec1 + unknown + tail).size(), 512u);
  EXPECT_FLOAT_EQ(long_one.max_t, 74.12f);
  EXPECT_FLOAT_EQ(long_one.rain24, 123 / 254.0f);
  EXPECT_EQ(std::memcmp(&short_one, &long_one, sizeof short_one), 0);
  EXPECT_EQ(std::memcmp(&short_one, &padded, sizeof short_one), 0);
}

// The program's way: the text read where the reader put it. The bytes
// after its terminator become the decoder's zeros whatever was there; a
// room without a terminator is cut at the longest text of the reader.
TEST(Decoder, InPlaceTextIsPaddedAndCutToTheReadersLongest) {
  const std::string text = kSec1 + "333 10234 20012 47005 70123  ";
  const SFC_report copied = decode(text);
  char room[kSynTextRoom];
  std::memset(room, '5', sizeof room);
  std::memcpy(room, text.c_str(), text.size() + 1);
  const int len = static_cast<int>(text.size());
  SFC_report r;
  SFC_initialize(&r);
  EXPECT_EQ(SYN_decode_in_place(room, len, ReportType::land, &r), 1);
  EXPECT_EQ(std::memcmp(&r, &copied, sizeof r), 0);
  EXPECT_EQ(std::string(room), text);
  for (int i = len; i < len + kSynTextPad; ++i) EXPECT_EQ(room[i], '\0') << i;

  // Groups up to the room's end and no terminator: the first kSynDataMax
  // characters are the text.
  std::string many;
  while (many.size() < sizeof room) many += "10234 ";
  std::memcpy(room, many.data(), sizeof room);
  const SFC_report cut = decode("72403 " + many.substr(6, kSynDataMax - 6));
  SFC_initialize(&r);
  std::memcpy(room, "72403", 5);
  EXPECT_EQ(SYN_decode_in_place(room, kSynTextRoom, ReportType::land, &r), 1);
  EXPECT_EQ(std::memcmp(&r, &cut, sizeof r), 0);
  EXPECT_EQ(std::strlen(room), static_cast<std::size_t>(kSynDataMax));
  EXPECT_FLOAT_EQ(r.t, 32.0f + 9.0f * 23.4f / 5.0f);
}

namespace {

// Random reports in the order of the code: section 1 with most of its
// groups, often section 3 with radiation groups after a sunshine group,
// now and then section 5; a figure is "/" now and then, a sign figure out
// of its table, and the blanks between groups vary. These take the
// shortcuts of the usual report (five digits and one blank) group by group,
// beside every way out of them.
std::string ordered_report(unsigned &seed) {
  auto rnd = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<unsigned>(n));
  };
  static const char *const kBlanks[] = {" ", " ", " ", " ", " ", " ", " ", " ", " ", " ",
                                        " ", " ", " ", " ", "  ", "\n", " \n", "\t"};
  std::string t;
  auto group = [&](const char *lead, int figures) {
    if (!t.empty()) t += kBlanks[rnd(static_cast<int>(std::size(kBlanks)))];
    t += lead;
    for (int i = 0; i < figures; ++i) t += rnd(30) == 0 ? '/' : static_cast<char>('0' + rnd(10));
  };
  auto sign = [&](char lead) {
    const char s[3] = {lead, rnd(8) == 0 ? static_cast<char>('0' + rnd(10)) : static_cast<char>('0' + rnd(2)), 0};
    return std::string(s);
  };
  group(rnd(8) == 0 ? "17" : "", rnd(8) == 0 ? 3 : 5);  // identifier
  group("", 5);                                         // iRixhVV
  group("", 5);                                         // Nddff
  if (rnd(10) == 0) group("00", 3);
  for (char lead = '1'; lead <= '9'; ++lead) {
    if (rnd(8) == 0) continue;
    const std::string s = (lead == '1' || lead == '2') ? sign(lead) : std::string(1, lead);
    group(s.c_str(), 5 - static_cast<int>(s.size()));
  }
  if (rnd(10) == 0) group("222", 2);
  if (rnd(10) < 7) {
    group("333", 0);
    if (rnd(4) == 0) group("0", 4);
    if (rnd(6) != 0) group(sign('1').c_str(), 3);
    if (rnd(6) != 0) group(sign('2').c_str(), 3);
    if (rnd(4) == 0) group(sign('1').c_str(), 3);  // the maximum after the minimum
    if (rnd(4) == 0) group("3", 4);
    if (rnd(3) == 0) group("4", 4);
    for (int k = rnd(3); k > 0; --k) {  // sunshine groups and their radiation groups
      group(rnd(2) ? "55" : "553", rnd(2) ? 3 : 2);
      for (char fig = '0'; fig <= '6'; ++fig)
        if (rnd(3) == 0) group(std::string(1, fig).c_str(), 4);
    }
    if (rnd(2)) group("6", 4);
    if (rnd(2)) group("7", 4);
  }
  if (rnd(5) == 0) group("555", 0);
  if (rnd(5) == 0) group("1", 4);
  if (rnd(4)) t += rnd(3) ? " " : "  ";  // the reader ends a report closed by "=" in two
  return t;
}

}  // namespace

// Reports in the order of the code decode alike with every way of
// matching: the shortcuts of the usual group and section indicator, the
// direct matching without them (group traces on) and the scanner.
TEST(Decoder, OrderedReportsDecodeAlikeEveryWay) {
  unsigned seed = 11;
  constexpr M_type kGroupTraces = 0x300FFFFFu;  // identifier and group traces
  const ReportType types[] = {ReportType::land, ReportType::land, ReportType::coastal};
  int differ = 0, max_t = 0, radiation = 0, tendency = 0;
  for (int i = 0; i < 3000 && differ < 5; ++i) {
    const std::string text = ordered_report(seed);
    const ReportType type = types[i % 3];
    SYN_set_prhour(i % 2 ? 1200 : 600);
    SYN_set_iw(i % 4 == 0 ? 1 : 4);
    const FourWays w = decode_four_ways(text, type, kGroupTraces, text);
    differ += w.differ;
    max_t += w.quiet.max_t != kMiss;
    tendency += w.quiet.ptend != kMiss;
    radiation += w.traced_out.find("5.... (.....)") != std::string::npos;
  }
  EXPECT_EQ(differ, 0);
  // The reports reach what they are made for.
  EXPECT_GT(max_t, 1000);
  EXPECT_GT(tendency, 1500);
  EXPECT_GT(radiation, 300);
}

// A usual report with one character replaced, at every place of every
// group and blank, by a character next to the figures, "/" or the blank in
// the code table, or one of them with the top bit set: the usual group is
// told from its eight bytes at once, and none of these may pass for a
// figure or a blank there, nor stop a group that is one, whichever way it
// is matched.
TEST(Decoder, CharactersNearFiguresAndBlanksDecodeAlikeEveryWay) {
  const std::string usual =
      "72403 11559 82907 10102 21044 30127 40151 57012 60084 70211 84571 91230 "
      "333 10134 20095 40021 55307 70054 ";
  constexpr M_type kGroupTraces = 0x300FFFFFu;
  const char near[] = {'.', '/', ':', '0', '9', ' ', '\t', '\n', 'A', '\x7F', '\x1F', '!',
                       static_cast<char>('0' | 0x80), static_cast<char>('9' | 0x80),
                       static_cast<char>('/' | 0x80), static_cast<char>(' ' | 0x80), '\xFF'};
  SYN_set_prhour(1200);
  SYN_set_iw(4);
  const FourWays base = decode_four_ways(usual, ReportType::land, kGroupTraces, usual);
  EXPECT_FLOAT_EQ(base.quiet.max_t, 56.12f);  // the usual report reaches section 3
  int differ = base.differ;
  // Each character of `from` from `first` on replaced by each near one:
  // how many of the records differ from the usual report's.
  auto replaced = [&](const std::string &from, std::size_t first) {
    int changed = 0;
    for (std::size_t at = first; at < from.size() && differ < 5; ++at) {
      for (const char c : near) {
        std::string text = from;
        text[at] = c;
        const FourWays w = decode_four_ways(text, ReportType::land, kGroupTraces, text);
        differ += w.differ;
        changed += std::memcmp(&w.quiet, &base.quiet, sizeof base.quiet) != 0;
      }
    }
    return changed;
  };
  const int changed = replaced(usual, 0);
  // The end of a report closed by "=", as the reader hands it over: the last
  // group, two blanks and the end.
  const std::string closed = usual + " ";
  const FourWays closed_base = decode_four_ways(closed, ReportType::land, kGroupTraces, closed);
  differ += closed_base.differ;
  EXPECT_EQ(std::memcmp(&closed_base.quiet, &base.quiet, sizeof base.quiet), 0);
  const int changed_at_end = replaced(closed, closed.size() - 8);
  EXPECT_EQ(differ, 0);
  EXPECT_GT(changed, 1000);  // the replacements do reach the decoded values
  EXPECT_GT(changed_at_end, 40);
}
