// Pattern scanner: widths, missing-data markers, literal alternatives,
// character sets, the call bookkeeping and the bounds of the text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "report/scanp.hpp"

namespace {

struct Scan {
  parse_param p{};
  explicit Scan(const char *text) { scanp_set(&p, text); }
};

// The five-character group patterns of the decoders, on coded groups.
TEST(ScanpGroups, YYGGiwWithMarkers) {
  int a = 0, b = 0, c = 0;
  Scan s("12124 72403 ");
  EXPECT_EQ(scanp(&s.p, "%2!//!d%2!//!d%1!/!d ", &a, &b, &c), 3);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 12);
  EXPECT_EQ(c, 4);
  EXPECT_EQ(s.p.len, 6);
  EXPECT_EQ(s.p.done, 1);
  EXPECT_EQ(s.p.assigned, 3);
  EXPECT_EQ(s.p.off, 0) << "scanp never moves the position";
  scanp_inc(&s.p);
  EXPECT_EQ(s.p.off, 6);
  EXPECT_STREQ(scanp_str(&s.p), "72403 ");

  Scan m("1212/ ");
  EXPECT_EQ(scanp(&m.p, "%2!//!d%2!//!d%1!/!d ", &a, &b, &c), 3);
  EXPECT_EQ(c, tv::kMissInt);
  EXPECT_EQ(m.p.len, 6);
}

TEST(ScanpGroups, ShortDigitRunFailsExactWidth) {
  int a = 0, b = 77, c = 77;
  Scan s("121/4 ");
  EXPECT_EQ(scanp(&s.p, "%2!//!d%2!//!d%1!/!d ", &a, &b, &c), 1);
  EXPECT_EQ(s.p.len, 2);
  EXPECT_EQ(s.p.done, 0);
  EXPECT_EQ(a, 12) << "values stored before the failure stay stored";
  EXPECT_EQ(b, 77) << "the failing conversion stores nothing";
}

TEST(ScanpGroups, MarkerNotFoundSkipsConversion) {
  int a = 5, b = 5;
  Scan s("AB/// ");
  EXPECT_EQ(scanp(&s.p, "%2!//!d%1!/!d ", &a, &b), 0);
  EXPECT_EQ(s.p.len, 0);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 5);

  // A skipped conversion still owns its argument: the next value goes to
  // the next pointer.
  Scan t("X7 ");
  a = 5;
  b = 5;
  EXPECT_EQ(scanp(&t.p, "%1!/!dX%1d ", &a, &b), 1);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(t.p.len, 3);
}

TEST(ScanpGroups, LoneMinusIsNoNumber) {
  int a = 5;
  Scan s("- ");
  EXPECT_EQ(scanp(&s.p, "%d ", &a), 0);
  EXPECT_EQ(a, 5);
  Scan m("-// ");
  EXPECT_EQ(scanp(&m.p, "%3!-//!d ", &a), 1);
  EXPECT_EQ(a, tv::kMissInt);
  EXPECT_EQ(m.p.len, 4);
  Scan n("-12 ");
  EXPECT_EQ(scanp(&n.p, "%3d ", &a), 1);
  EXPECT_EQ(a, -12) << "the sign counts toward the width";
}

TEST(ScanpGroups, HugeDigitRunSaturates) {
  int a = 0;
  Scan s("99999999999999999999 ");
  EXPECT_EQ(scanp(&s.p, "%d ", &a), 1);
  EXPECT_EQ(a, 2147483647);
  EXPECT_EQ(s.p.len, 21);
}

TEST(ScanpLiterals, SectionIndicators) {
  Scan s("22200 ");
  EXPECT_EQ(scanp(&s.p, "%*(222)%*2!//!d "), 2);
  EXPECT_EQ(s.p.len, 6);
  EXPECT_EQ(s.p.assigned, 0);
  Scan t("33310 ");
  EXPECT_EQ(scanp(&t.p, "%*(222)%*2!//!d "), 0);

  Scan u("333 10123 ");
  EXPECT_EQ(scanp(&u.p, "%*(333) "), 1);
  EXPECT_EQ(u.p.len, 4);
  Scan v("3331 ");
  EXPECT_EQ(scanp(&v.p, "%*(333) "), 1);
  EXPECT_EQ(v.p.len, 3) << "the blank fails, so callers must look at len";
}

TEST(ScanpLiterals, AlternativesFirstFullMatchWins) {
  char out[kScanpMaxCollect + 1] = "x";
  Scan s("2223 ");
  EXPECT_EQ(scanp(&s.p, "%(333|22|222)", out), 1);
  EXPECT_STREQ(out, "22");
  EXPECT_EQ(s.p.len, 2);
  Scan t("555 ");
  EXPECT_EQ(scanp(&t.p, "%(333|555) ", out), 1);
  EXPECT_STREQ(out, "555");
  EXPECT_EQ(t.p.len, 4);
  Scan e("abc ");
  EXPECT_EQ(scanp(&e.p, "%(x||abc)", out), 1);
  EXPECT_STREQ(out, "") << "an empty alternative matches at once";
  EXPECT_EQ(e.p.len, 0);
}

TEST(ScanpLiterals, NoAlternativeMatches) {
  char out[kScanpMaxCollect + 1] = "x";
  // With a marker: its matching leading characters are consumed.
  Scan s("//1 ");
  EXPECT_EQ(scanp(&s.p, "%3!///!(333)", out), 1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(s.p.len, 2);
  // Optional group: counted, nothing consumed or written.
  std::strcpy(out, "keep");
  Scan o("444 ");
  EXPECT_EQ(scanp(&o.p, "%<(333)%*(444) ", out), 2);
  EXPECT_STREQ(out, "keep");
  EXPECT_EQ(o.p.assigned, 1);
  EXPECT_EQ(o.p.len, 4);
  // Otherwise it fails.
  Scan f("444 ");
  EXPECT_EQ(scanp(&f.p, "%3(333) ", out), 0);
  EXPECT_EQ(f.p.done, 0);
}

TEST(ScanpStrings, WidthsAndLetters) {
  char out[kScanpMaxCollect + 1];
  Scan s("ABCDE ");
  EXPECT_EQ(scanp(&s.p, "%<40s ", out), 1);
  EXPECT_STREQ(out, "ABCDE");
  EXPECT_EQ(s.p.len, 6);
  EXPECT_EQ(scanp(&s.p, "%5s ", out), 1);
  EXPECT_EQ(scanp(&s.p, "%4s ", out), 1);  // exact width: only 4 taken, blank fails
  EXPECT_STREQ(out, "ABCD");
  EXPECT_EQ(s.p.len, 4);
  EXPECT_EQ(scanp(&s.p, "%6s", out), 0) << "exact width longer than the token";

  Scan a("ab12cd ");
  EXPECT_EQ(scanp(&a.p, "%A%N%S", out, out + 10, out + 20), 3);
  EXPECT_STREQ(out, "ab");
  EXPECT_STREQ(out + 10, "12");
  EXPECT_STREQ(out + 20, "cd ");

  Scan w(" \t\nX");
  EXPECT_EQ(scanp(&w.p, "%W", out), 1);
  EXPECT_STREQ(out, " \t");
  EXPECT_EQ(scanp(&w.p, "%w", out), 1);
  EXPECT_STREQ(out, " \t\n");
  Scan nows("X ");
  EXPECT_EQ(scanp(&nows.p, "%w", out), 0);
}

TEST(ScanpStrings, CharWithoutWidthTakesExactlyOne) {
  char c[4] = {'x', 'x', 'x', 'x'};
  Scan s(" 8/ ");
  EXPECT_EQ(scanp(&s.p, "%c%c%c", c, c + 1, c + 2), 3);
  EXPECT_EQ(c[0], ' ');
  EXPECT_EQ(c[1], '8');
  EXPECT_EQ(c[2], '/');
  EXPECT_EQ(c[3], 'x') << "c writes no terminator";
  EXPECT_EQ(s.p.len, 3);
  Scan t("ab");
  EXPECT_EQ(scanp(&t.p, "%3c", c), 0) << "exact width runs past the text";
  EXPECT_EQ(scanp(&t.p, "%<3c", c), 1);
  EXPECT_EQ(t.p.len, 2);
}

TEST(ScanpStrings, CollectionStopsAtEighty) {
  const std::string token(120, 'K');
  const std::string text = token + " ";
  char out[kScanpMaxCollect + 8];
  std::memset(out, '#', sizeof out);
  Scan s(text.c_str());
  for (const char *pat : {"%s", "%S", "%A", "%[K]", "%<200s"}) {
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(scanp(&s.p, pat, out), 1) << pat;
    EXPECT_EQ(std::strlen(out), 80u) << pat;
    EXPECT_EQ(out[81], '#') << pat;
    EXPECT_EQ(s.p.len, 80) << pat;
  }
}

TEST(ScanpSets, MembersPairsAndNegation) {
  char out[kScanpMaxCollect + 1];
  Scan s("AB12/N-x ");
  EXPECT_EQ(scanp(&s.p, "%[/A/N//]", out), 1);
  EXPECT_STREQ(out, "AB12/N");
  Scan d("N5x");
  EXPECT_EQ(scanp(&d.p, "%[/N]", out), 1);
  EXPECT_STREQ(out, "N5") << "/N also accepts the letter N";
  Scan n("abc=def ");
  EXPECT_EQ(scanp(&n.p, "%[^= ]=%[^ ] ", out, out + 40), 2);
  EXPECT_STREQ(out, "abc");
  EXPECT_STREQ(out + 40, "def");
  EXPECT_EQ(n.p.len, 8);
  Scan w("12345 ");
  EXPECT_EQ(scanp(&w.p, "%<3[/N]", out), 1);
  EXPECT_STREQ(out, "123");
  EXPECT_EQ(scanp(&w.p, "%[/A]", out), 0);
}

TEST(ScanpNumbers, FloatsAndPaddedConversions) {
  float f = 0.0f;
  int d = 0;
  Scan s("12.5e2x ");
  EXPECT_EQ(scanp(&s.p, "%f", &f), 1);
  EXPECT_FLOAT_EQ(f, 1250.0f);
  EXPECT_EQ(s.p.len, 6);

  Scan e("3.5ex ");
  EXPECT_EQ(scanp(&e.p, "%fex", &f), 1);
  EXPECT_FLOAT_EQ(f, 3.5f);
  EXPECT_EQ(e.p.len, 5) << "an exponent letter without digits is left for the pattern";
  EXPECT_EQ(scanp(&e.p, "%F", &f), 0) << "F fails on such an exponent";

  Scan p("  -4.25   7 ");
  EXPECT_EQ(scanp(&p.p, "%F%D", &f, &d), 2);
  EXPECT_FLOAT_EQ(f, -4.25f);
  EXPECT_EQ(d, 7);
  EXPECT_EQ(p.p.len, 12);

  Scan w(" 12345");
  EXPECT_EQ(scanp(&w.p, "%4D", &d), 1);
  EXPECT_EQ(d, 123) << "the white space counts toward the width";
  EXPECT_EQ(w.p.len, 4);

  Scan m("/// ");
  EXPECT_EQ(scanp(&m.p, "%3!///!f ", &f), 1);
  EXPECT_FLOAT_EQ(f, tv::kMissFloat);
  Scan mb("  // ");
  EXPECT_EQ(scanp(&mb.p, "%5!  //!D", &d), 1) << "the marker is compared before any white space";
  EXPECT_EQ(d, tv::kMissInt);
  EXPECT_EQ(mb.p.len, 4);

  Scan big("1e99 ");
  EXPECT_EQ(scanp(&big.p, "%f ", &f), 1);
  EXPECT_GT(f, 3.0e38f);
}

TEST(ScanpCall, CountsLiteralsAndEnds) {
  int pos = -1, a = 0;
  Scan s("99412 71234 ");
  EXPECT_EQ(scanp(&s.p, "99%3!///!d %n%1!/!d", &a, &pos, &a), 3);
  EXPECT_EQ(pos, 6);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(s.p.assigned, 2) << "n counts as matched, not as assigned";

  Scan q("%x ");
  EXPECT_EQ(scanp(&q.p, "%%%x "), 0) << "unknown letters are ordinary characters";
  EXPECT_EQ(q.p.len, 3);
  EXPECT_EQ(q.p.done, 1);

  Scan lit("AAXX");
  EXPECT_EQ(scanp(&lit.p, "AAXY"), 0);
  EXPECT_EQ(lit.p.len, 3);
  EXPECT_EQ(scanp(&lit.p, "AAXX "), 0) << "a blank at the end of the text fails";
  EXPECT_EQ(lit.p.done, 0);
}

TEST(ScanpCall, EndOfTextAndEmptyPattern) {
  int a = 0;
  Scan s("12 ");
  s.p.len = 9;
  s.p.done = 1;
  EXPECT_EQ(scanp(&s.p, "", &a), -1);
  EXPECT_EQ(s.p.len, 0);
  EXPECT_EQ(s.p.done, 0);
  s.p.off = s.p.length;
  EXPECT_EQ(scanp(&s.p, "%d", &a), -1);
  EXPECT_EQ(s.p.matched, 0);
  Scan e("");
  EXPECT_EQ(scanp(&e.p, "%d", &a), -1);
}

TEST(ScanpCall, NeverReadsPastLength) {
  // The text goes on in memory, but the scanner only owns three characters.
  const char text[] = "12345 ";
  parse_param p{};
  scanp_set(&p, text);
  p.length = 3;
  int a = 0;
  char out[kScanpMaxCollect + 1];
  EXPECT_EQ(scanp(&p, "%5d", &a), 0);
  EXPECT_EQ(scanp(&p, "%d", &a), 1);
  EXPECT_EQ(a, 123);
  EXPECT_EQ(scanp(&p, "%S", out), 1);
  EXPECT_STREQ(out, "123");
  EXPECT_EQ(scanp(&p, "%(12345|123)", out), 1);
  EXPECT_STREQ(out, "123");
  EXPECT_EQ(scanp(&p, "%d ", &a), 1);
  EXPECT_EQ(p.len, 3);
}

TEST(ScanpTrace, LinesOnlyWhenLevelEnabled) {
  int a = 0;
  Scan s("12 34 ");
  testing::internal::CaptureStdout();
  scanp(&s.p, "%d ", &a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  MESS_set(1, 0x80000000u);
  testing::internal::CaptureStdout();
  scanp(&s.p, "%d ", &a);
  const std::string out = testing::internal::GetCapturedStdout();
  MESS_set(-1, 0x80000000u);
  EXPECT_EQ(out,
            "     : : 34 :\n"
            "     ::34 :\n"
            "SCANP:12 34 :%d :0:3:1:1:1\n");
}

}  // namespace

// ---------------------------------------------------------------------------
// Patterns read at compile time (report/scanp_pattern.hpp): what the
// decoders derive from a pattern must be what the scanner does with it.

#include "report/scanp_pattern.hpp"

namespace {

// The forms the decoders rely on, checked where they are derived.
constexpr ScanPattern<22> kTemp("1%1!/!d%2!//!d%1!/!d ");
static_assert(kTemp.form == ScanForm::groups && kTemp.groups == 1 && kTemp.nconv == 3);
static_assert(kTemp.nstore == 3 && kTemp.store[0] == 'i' && kTemp.store[2] == 'i');
static_assert(kTemp.lead == '1' && kTemp.prefix == 1 && kTemp.min_len == 6);
static_assert(kTemp.shape[0].n == 4 && kTemp.shape[0].piece[2].start == 2 &&
              kTemp.shape[0].piece[2].width == 2 && kTemp.shape[0].piece[2].kind == PieceKind::field);

constexpr ScanPattern kMark("%*(333) ");
static_assert(kMark.form == ScanForm::mark && kMark.mark == 3 && kMark.min_len == 4);
static_assert(kMark.nconv == 1 && kMark.nstore == 0 && kMark.lead == '3');

constexpr ScanPattern kSection2("%*(222)%*2!//!d ");
static_assert(kSection2.form == ScanForm::groups && kSection2.nconv == 2 && kSection2.nstore == 0);
static_assert(kSection2.prefix == 3 && kSection2.shape[0].piece[3].kind == PieceKind::skipped);

constexpr ScanPattern kIdent("%<40s ");
static_assert(kIdent.form == ScanForm::word && kIdent.limit == 40 && kIdent.store[0] == 's');
constexpr ScanPattern kAny("%*s ");
static_assert(kAny.form == ScanForm::word && kAny.limit == kScanpMaxCollect && kAny.nstore == 0);

constexpr ScanPattern kPosition("99%3!///!d %1!/!d%4!////!d ");
static_assert(kPosition.form == ScanForm::groups && kPosition.groups == 2 && kPosition.min_len == 11);
static_assert(kPosition.shape[1].piece[1].width == 4 && kPosition.nconv == 3);

constexpr ScanPattern kBuoyLat("%1!/!d%4!////!d%1!/!d ");  // six characters: the scanner's
static_assert(kBuoyLat.form == ScanForm::scan && kBuoyLat.min_len == 7 && kBuoyLat.nstore == 3);

constexpr ScanPattern kSunshine("5%1!/!d%*s ");
static_assert(kSunshine.form == ScanForm::groups && kSunshine.nconv == 2 &&
              kSunshine.shape[0].piece[2].kind == PieceKind::any && kSunshine.shape[0].piece[2].width == 3);

constexpr ScanPattern kClouds("8%1c%1c%1c%1c ");
static_assert(kClouds.nstore == 4 && kClouds.store[3] == 'c' && kClouds.slot[3] == 3);

constexpr ScanPattern kShipVis("%1d%1d%1!/!d9%1!/!d ");
static_assert(kShipVis.shape[0].piece[0].kind == PieceKind::figures &&
              kShipVis.shape[0].piece[3].kind == PieceKind::literal && kShipVis.lead == 0);

// A text every piece of a group pattern accepts, for one or two groups.
template <std::size_t N>
std::string sample_of(const ScanPattern<N> &p) {
  std::string t;
  for (int g = 0; g < p.groups; ++g) {
    std::string grp(5, '?');
    for (int i = 0; i < p.shape[g].n; ++i) {
      const ScanPiece &pc = p.shape[g].piece[i];
      for (int k = 0; k < pc.width; ++k)
        grp[static_cast<std::size_t>(pc.start + k)] =
            pc.kind == PieceKind::literal ? pc.lit : pc.kind == PieceKind::character ? '/' : static_cast<char>('1' + k);
    }
    t += grp + " ";
  }
  return t;
}

// The scanner on that text: every conversion the pattern counts matches,
// and the group and its blank are consumed.
template <std::size_t N>
void check_group_pattern(const ScanPattern<N> &p) {
  const std::string text = sample_of(p) + "12345 ";
  ASSERT_EQ(text.find('?'), std::string::npos) << p.text << ": a place no piece covers";
  Scan s(text.c_str());
  int i[kScanMaxStore] = {};
  char c[kScanMaxStore] = {};
  // The patterns here store ints only, characters only, or one character
  // and then ints.
  const bool chars = p.nstore > 0 && p.store[0] == 'c';
  const bool one_char = chars && p.nstore > 1 && p.store[1] == 'i';
  for (int k = 0; k < p.nstore; ++k)
    ASSERT_EQ(p.store[k], chars && (k == 0 || !one_char) ? 'c' : 'i') << p.text;
  const int got = one_char ? scanp(&s.p, p.text, &c[0], &i[0], &i[1], &i[2], &i[3], &i[4])
                  : chars  ? scanp(&s.p, p.text, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5])
                           : scanp(&s.p, p.text, &i[0], &i[1], &i[2], &i[3], &i[4], &i[5]);
  EXPECT_EQ(got, p.nconv) << p.text << " on " << text;
  EXPECT_EQ(s.p.len, 6 * p.groups) << p.text;
  EXPECT_GE(s.p.len, p.min_len) << p.text;
}

}  // namespace

TEST(ScanpPatterns, GroupFormsMatchWhatTheScannerMatches) {
  check_group_pattern(kTemp);
  check_group_pattern(kSection2);
  check_group_pattern(kPosition);
  check_group_pattern(kSunshine);
  check_group_pattern(kClouds);
  check_group_pattern(kShipVis);
  check_group_pattern(ScanPattern("%2!//!d%2!//!d%1!/!d "));
  check_group_pattern(ScanPattern("%1c%2!//!d%2!//!d "));
  check_group_pattern(ScanPattern("00%3!///!d "));
  check_group_pattern(ScanPattern("111%*2!//!d "));
  check_group_pattern(ScanPattern("7%4!////!d "));
  check_group_pattern(ScanPattern("6%*4s "));
}
