// Report decoders of the synoptic converter: land, ship, coastal-marine and drifting-buoy reports into records. This
// section sees the reader's state only through SYN_get_prhour and SYN_get_iw.

#include "report/syn_dec.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/string.hpp"
#include "report/calc.hpp"
#include "report/scanp.hpp"
#include "report/syn_read.hpp"
#include "report/wx_tool.hpp"

namespace {
namespace dec {

constexpr bool rd_digit(char c) { return c >= '0' && c <= '9'; }

constexpr M_type kTraceIdent = 0x10000000u;
constexpr M_type kTraceGroup = 0x20000000u;
constexpr M_type kTraceScan = 0x80000000u;  // the scanner's own traces

constexpr int kMissI = tv::kMissInt;
constexpr float kMissF = tv::kMissFloat;

// One row of a code table: codes lo..hi share a weather string.
struct CodeRange {
  int lo;
  int hi;
  const char *str;
};

// WMO code table 4680: present weather reported from an automatic station.
constexpr CodeRange kTable4680[] = {
    {0, 3, " "},      {4, 5, "H"},      {6, 27, " "},     {28, 29, "BS"},    {30, 35, "F"},
    {36, 39, " "},    {40, 40, "R"},    {41, 41, "R-"},   {42, 42, "R+"},    {43, 43, "R-"},
    {44, 44, "R+"},   {45, 45, "S-"},   {46, 46, "S+"},   {47, 47, "ZR-"},   {48, 48, "ZR+"},
    {49, 49, " "},    {50, 50, "L"},    {51, 51, "L-"},   {52, 52, "L"},     {53, 53, "L+"},
    {54, 54, "ZL-"},  {55, 55, "ZL"},   {56, 56, "ZL+"},  {57, 57, "L-R"},   {58, 58, "LR"},
    {59, 59, " "},    {60, 60, "R"},    {61, 61, "R-"},   {62, 62, "R"},     {63, 63, "R+"},
    {64, 64, "ZR-"},  {65, 65, "ZR"},   {66, 66, "ZR+"},  {67, 67, "R-S"},   {68, 68, "RS"},
    {69, 69, " "},    {70, 70, "S"},    {71, 71, "S-"},   {72, 72, "S"},     {73, 73, "S+"},
    {74, 74, "IP-"},  {75, 75, "IP"},   {76, 76, "IP+"},  {77, 79, " "},     {80, 80, "RW"},
    {81, 81, "RW-"},  {82, 82, "RW"},   {83, 84, "RW+"},  {85, 85, "SW-"},   {86, 86, "SW"},
    {87, 87, "SW+"},  {88, 89, " "},    {90, 90, "TRW"},  {91, 92, "TRW-"},  {93, 93, "TRW-A"},
    {94, 94, "TRW-"}, {95, 95, "TRW+"}, {96, 96, "TRW+A"}, {97, 99, " "},
};

template <std::size_t N>
constexpr std::array<const char *, 100> expand_codes(const CodeRange (&rows)[N]) {
  std::array<const char *, 100> out{};
  for (auto &s : out) s = " ";
  for (const auto &r : rows)
    for (int c = r.lo; c <= r.hi; ++c) out[static_cast<std::size_t>(c)] = r.str;
  return out;
}

constexpr auto kWawaText = expand_codes(kTable4680);

// Visibility VV 90..99 (sea code), statute miles.
constexpr float kVisSea[10] = {0.0f,   0.03125f, 0.125f, 0.3125f, 0.625f,
                               1.25f,  2.5f,     6.25f,  12.5f,   31.25f};

// WMO code table 1600: height of the lowest cloud h, feet.
constexpr float kTable1600[10] = {100, 200, 400, 700, 1500, 3000, 4500, 6000, 7500, 12000};

constexpr bool miss(int v) { return v == kMissI; }
constexpr bool miss(float v) { return v == kMissF; }

// Tenths of a unit by figure, the same values as t / 10 computed at run
// time, without a division per group.
constexpr std::array<float, 10> make_tenths_f() {
  std::array<float, 10> t{};
  for (int i = 0; i < 10; ++i) t[static_cast<std::size_t>(i)] = static_cast<float>(i) / 10.0f;
  return t;
}
constexpr auto kTenthsF = make_tenths_f();
constexpr std::array<double, 10> make_tenths_d() {
  std::array<double, 10> t{};
  for (int i = 0; i < 10; ++i) t[static_cast<std::size_t>(i)] = i / 10.0;
  return t;
}
constexpr auto kTenthsD = make_tenths_d();
float tenths_f(int t) { return (t >= 0 && t <= 9) ? kTenthsF[static_cast<std::size_t>(t)] : t / 10.0f; }
double tenths_d(int t) { return (t >= 0 && t <= 9) ? kTenthsD[static_cast<std::size_t>(t)] : t / 10.0; }

// Degrees Fahrenheit from Celsius, in single precision; missing stays missing.
float to_fahrenheit(float c) { return miss(c) ? kMissF : 32.0f + 9.0f * c / 5.0f; }

// Whole degrees and tenths (each possibly missing) with a sign indicator;
// missing when the whole degrees are.
float celsius(bool negative, int whole, int tenths) {
  if (miss(whole)) return kMissF;
  float v = static_cast<float>(whole);
  if (!miss(tenths)) v += tenths_f(tenths);
  return negative ? -v : v;
}

// Wind speed in knots from the reported figure and the unit indicator.
float knots(int ff, int iw) {
  if (miss(ff)) return kMissF;
  return iw == 2 ? static_cast<float>(ff * 1.944) : static_cast<float>(ff);
}

// Amount of a 6RRRtR group in inches, or missing.
float precip_inches(int rrr) {
  if (miss(rrr)) return kMissF;
  if (rrr == 990) return 0.0f;  // trace
  if (rrr > 990 && rrr <= 999) return static_cast<float>((rrr - 990) / 254.0);  // tenths of mm
  return static_cast<float>(rrr / 25.4);
}

// Stores a 6RRRtR amount in the field its period digit names.
void store_precip(SFC_report *r, int rrr, int period) {
  const float amount = precip_inches(rrr);
  if (miss(period) || period == 4) {
    r->rain24 = amount;
  } else if (period == 7) {
    r->rain3 = amount;
  } else if (period == 1) {
    r->rain6 = amount;
  } else if (period == 2 || period == 0) {
    r->rain12 = amount;
  }  // other periods have no field of their own
}

// Pressure change of a 5appp group in millibars. WMO code table 0200: the
// characteristics a = 5 to 8 end at or below the pressure of three hours
// before, so their change is negative (5 too, "decreasing, then
// increasing"); without a the sign is unknown and so is the change.
float pressure_change(int a, int pp, int tenths) {
  if (miss(a) || miss(pp)) return kMissF;
  const float v = static_cast<float>(pp + (miss(tenths) ? 0.0 : tenths_d(tenths)));
  return (a >= 5 && v != 0.0f) ? -v : v;  // no "-0" for an unchanged pressure
}

// Wind direction and speed of an ddff pair, with the checks that make a
// variable or incomplete wind missing.
void store_wind(SFC_report *r, int dd, int ff, int iw) {
  r->w_dir = miss(dd) ? kMissF : static_cast<float>(dd * 10);
  r->w_spd = knots(ff, iw);
  if (r->w_dir > 360.0f) {  // dd 99 (variable) and other codes above 36
    r->w_dir = kMissF;
    r->w_spd = kMissF;
  }
  if (!miss(r->w_dir) && miss(r->w_spd)) r->w_dir = kMissF;
}

// A coordinate beyond the globe (latitude above 90, longitude above 180
// degrees) is a garbled group: missing rather than an impossible position.
float on_globe(float v, float limit) { return (miss(v) || v > limit || v < -limit) ? kMissF : v; }

// Sea surface temperature sign: the odd figures of the indicator ss
// (1, 3, 5, 7) are the negative ones, whatever the measuring method.
bool sst_negative(int ss) { return !miss(ss) && ss >= 0 && (ss & 1) == 1; }

// Bounded copy of a NUL-terminated text.
void copy_text(char *dst, std::size_t size, const char *a, const char *b = "") {
  std::size_t n = 0;
  for (const char *s : {a, b})
    for (; *s != '\0' && n + 1 < size; ++s) dst[n++] = *s;
  dst[n] = '\0';
}

// Leading decimal number of a group (as atoi reads it), saturated; 0 when none.
int leading_number(const char *s) {
  bool neg = false;
  if (*s == '-' || *s == '+') neg = *s++ == '-';
  long long v = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    v = v * 10 + (*s - '0');
    if (v > 2147483647LL) {
      v = 2147483647LL;
      break;
    }
  }
  return static_cast<int>(neg ? -v : v);
}

// The five-character form of a group pattern, for Decoder::fits: a figure
// is itself, a run of one lower-case letter is a field that takes digits or
// the "/" marker, upper case the same without the marker, "x" such a field
// not stored, "*" one character stored, "?" any character. It is turned at
// compile time into its pieces, so matching a group is straight-line code.
struct Shape {
  int n = 0;           // pieces
  char kind[5] = {};   // 'L' literal, 'M' field with marker, 'N' without,
                       // 'X' field not stored, 'C' character, 'A' any
  char lit[5] = {};    // the figure of a literal
  int start[5] = {};
  int width[5] = {};
  consteval Shape(const char (&t)[6]) {
    for (int i = 0; i < 5;) {
      const char c = t[i];
      start[n] = i;
      width[n] = 1;
      if (c >= '0' && c <= '9') {
        kind[n] = 'L';
        lit[n] = c;
      } else if (c == '*' || c == '?') {
        kind[n] = c == '*' ? 'C' : 'A';
      } else {
        while (i + width[n] < 5 && t[i + width[n]] == c) ++width[n];
        kind[n] = c == 'x' ? 'X' : (c >= 'A' && c <= 'Z') ? 'N' : 'M';
      }
      i += width[n];
      ++n;
    }
  }
};

// The white space that a blank in a pattern passes over.
constexpr std::array<bool, 256> make_blank_table() {
  std::array<bool, 256> t{};
  t[' '] = t['\n'] = t['\r'] = t['\t'] = true;
  return t;
}
constexpr auto kBlank = make_blank_table();
constexpr bool is_blank(char c) { return kBlank[static_cast<unsigned char>(c)]; }

// The white space that ends a "%s" text: a blank's, and vertical tab and
// form feed.
constexpr std::array<bool, 256> make_space_table() {
  std::array<bool, 256> t = make_blank_table();
  t['\v'] = t['\f'] = true;
  return t;
}
constexpr auto kSpace = make_space_table();

constexpr std::array<bool, 256> make_fig_table() {
  std::array<bool, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[static_cast<std::size_t>(c)] = true;
  t['/'] = true;
  return t;
}
constexpr auto kFig = make_fig_table();  // digits and "/"

// The five characters of a clean group in one word, byte i for character
// i with "0" taken away: a figure 0 to 9, or 0x1F for "/". A "/" is then
// the only byte with bit 4 set, so the slashes of a field show in one test.
std::uint64_t group_figs(const char *s) {
  std::uint32_t lo;
  std::memcpy(&lo, s, sizeof lo);
  const std::uint64_t x = lo | std::uint64_t{static_cast<unsigned char>(s[4])} << 32;
  return x ^ 0x3030303030ULL;
}

// Matches piece I of shape S against the clean group `s` (`figs` its
// figures).
template <Shape S, int I>
bool piece(const char *s, std::uint64_t figs, int *vals, char *chars, int &nv, int &nc) {
  constexpr char kind = S.kind[I];
  constexpr int st = S.start[I];
  if constexpr (kind == 'L') {
    return s[st] == S.lit[I];
  } else if constexpr (kind == 'C') {
    chars[nc++] = s[st];
    return true;
  } else if constexpr (kind == 'A') {
    return true;
  } else {
    constexpr int w = S.width[I];
    constexpr std::uint64_t span = [] {
      std::uint64_t m = 0;
      for (int k = 0; k < w; ++k) m |= std::uint64_t{1} << (8 * (st + k));
      return m;
    }();
    const std::uint64_t slashes = (figs >> 4) & span;
    int v;
    if (slashes == 0) {
      v = 0;
      for (int k = 0; k < w; ++k) v = v * 10 + static_cast<int>((figs >> (8 * (st + k))) & 0xF);
    } else {
      // All slashes are the marker; a partial field, or a slash without a
      // marker, does not fit.
      if (slashes != span || kind == 'N') return false;
      v = kMissI;
    }
    if constexpr (kind != 'X') vals[nv++] = v;
    return true;
  }
}

template <Shape S, int... I>
bool pieces(const char *s, int *vals, char *chars, std::integer_sequence<int, I...>) {
  const std::uint64_t figs = group_figs(s);
  int nv = 0, nc = 0;
  return (piece<S, I>(s, figs, vals, chars, nv, nc) && ...);
}

// State of one decoding call.
struct Decoder {
  parse_param p{};
  SFC_report *r = nullptr;
  bool trace = false;  // group traces enabled
  int iw = 1;          // wind unit: 1 knots, 2 metres per second
  int group = 0;       // section being decoded
  float t_c = kMissF;  // air temperature in Celsius (dew point from humidity)
  char buf[kScanpMaxCollect + 1];
  bool scan_trace = false;  // scanner traces on: every pattern goes through it
  int clean_off = -1;  // position clean_n was found for
  int clean_n = 0;

  // True when the current group begins with `c`: a pattern that starts with
  // a literal cannot match otherwise, so it is not tried.
  bool at(char c) const { return p.off < p.length && p.ptr[p.off] == c; }

  // First character of the group `skip` characters past the current position.
  char peek(int skip) const {
    const int i = p.off + skip;
    return (i >= 0 && i < p.length) ? p.ptr[i] : '\0';
  }

  // Length of the clean five-character group at the current position (five
  // figures or slashes and the white space after them), 0 when there is none.
  int clean_len() {
    if (clean_off != p.off) {
      clean_off = p.off;
      clean_n = clean_at(p.off);
    }
    return clean_n;
  }

  // The same at any offset. Out of line: it runs once per group, and a
  // copy at every pattern would crowd the instruction cache.
  [[gnu::noinline]] int clean_at(int off) const {
    const int avail = p.length - off;
    if (avail < 6) return 0;
    const char *s = p.ptr + off;
    if (avail >= 8) {
      // All five bytes in "/".."9" at once: with the top bit of each byte
      // clear, adding 0x51 sets it from "/" up, adding 0x46 from ":" up.
      std::uint64_t x;
      std::memcpy(&x, s, sizeof x);
      constexpr std::uint64_t kLow7 = 0x7F7F7F7F7FULL, kTop = 0x8080808080ULL;
      const std::uint64_t x7 = x & kLow7;
      const std::uint64_t from_slash = (x7 + 0x5151515151ULL) & kTop;
      const std::uint64_t above_nine = (x7 + 0x4646464646ULL) & kTop;
      if ((from_slash & ~above_nine & ~x & kTop) != kTop) return 0;
      // Usually one blank follows, and then the next group.
      if (!is_blank(s[5])) return 0;
      if (!is_blank(s[6])) return 6;
    } else {
      for (int i = 0; i < 5; ++i)
        if (!kFig[static_cast<unsigned char>(s[i])]) return 0;
    }
    int n = 5;
    while (n < avail && is_blank(s[n])) ++n;
    return n > 5 ? n : 0;
  }

  // Tries one group: true when it is taken, that is when all `nconv`
  // conversions of `pat` match and the group and its blank are consumed;
  // the values are then stored through `args` as the scanner would store
  // them. Nearly every group is a clean five-character one, and those are
  // matched directly against `S`, the pattern's five-character form; any
  // other text goes through the scanner with `pat`, so both give the same
  // result.
  template <Shape S, class... Args>
  bool fits(const char *pat, int nconv, Args *...args) {
    if constexpr (S.kind[0] == 'L') {
      if (!at(S.lit[0])) return false;
    }
    const int n = clean_len();
    if (n == 0 || scan_trace) return scanp(&p, pat, args...) == nconv && p.len > 5;
    // Unused by the patterns that store nothing.
    [[maybe_unused]] int vals[5];
    [[maybe_unused]] char chars[5];
    if (!pieces<S>(p.ptr + p.off, vals, chars, std::make_integer_sequence<int, S.n>{}))
      return false;
    p.len = n;
    [[maybe_unused]] int iv = 0, ic = 0;
    (store(args, vals, chars, iv, ic), ...);
    return true;
  }

  // The same for a pattern of two groups (the ship's position), taken when
  // both groups and their blanks are consumed; each group stores ints only.
  template <Shape S1, Shape S2>
  bool fits2(const char *pat, int nconv, int *a, int *b, int *c) {
    if constexpr (S1.kind[0] == 'L') {
      if (!at(S1.lit[0])) return false;
    }
    const int n1 = clean_len();
    const int n2 = n1 > 0 ? clean_at(p.off + n1) : 0;
    if (n2 == 0 || scan_trace) return scanp(&p, pat, a, b, c) == nconv && p.len > 10;
    int vals[10];
    char chars[1];
    if (!pieces<S1>(p.ptr + p.off, vals, chars, std::make_integer_sequence<int, S1.n>{}))
      return false;
    constexpr int k = [] {
      int m = 0;
      for (int i = 0; i < S1.n; ++i) m += S1.kind[i] == 'M' || S1.kind[i] == 'N';
      return m;
    }();
    if (!pieces<S2>(p.ptr + p.off + n1, vals + k, chars, std::make_integer_sequence<int, S2.n>{}))
      return false;
    p.len = n1 + n2;
    *a = vals[0];
    *b = vals[1];
    *c = vals[2];
    return true;
  }

  static void store(int *out, const int *vals, const char *, int &iv, int &) { *out = vals[iv++]; }
  static void store(char *out, const int *, const char *chars, int &, int &ic) {
    *out = chars[ic++];
  }

  // The scanner's `pat`, an "%s " conversion of at most `limit` characters
  // (80 or fewer) and a blank: the text up to the next white space and the
  // blank after it. Returns what scanp would (1, 0 when there is no such
  // text, -1 at the end) and sets len the same way; `out`, when given,
  // receives the text.
  [[gnu::noinline]] int word(const char *pat, int limit, char *out) {
    if (scan_trace) return out ? scanp(&p, pat, out) : scanp(&p, pat);
    p.len = 0;
    if (p.off >= p.length) return -1;
    const char *s = p.ptr + p.off;
    const int avail = p.length - p.off;
    int n = 0;
    const int most = avail < limit ? avail : limit;
    while (n < most && !kSpace[static_cast<unsigned char>(s[n])]) ++n;
    if (n == 0) return 0;
    if (out) {
      for (int i = 0; i < n; ++i) out[i] = s[i];  // short: no string move
      out[n] = '\0';
    }
    while (n < avail && is_blank(s[n])) ++n;
    p.len = n;
    return 1;
  }

  // The scanner's "%*(333) " and "%*(555) ": true when the section
  // indicator `mark` (three characters) and a blank are at the position.
  bool section_mark(const char *mark, const char *pat) {
    if (!at(mark[0])) return false;
    if (scan_trace) return scanp(&p, pat) == 1 && p.len > 3;
    const char *s = p.ptr + p.off;
    const int avail = p.length - p.off;
    if (avail < 4 || s[1] != mark[1] || s[2] != mark[2]) return false;
    int n = 3;
    while (n < avail && is_blank(s[n])) ++n;
    p.len = n;
    return n > 3;
  }

  // Traces a taken group with its label and steps past it.
  void take(const char *label) {
    if (trace) MESS_print(kTraceGroup, label, scanp_str(&p));
    p.off += p.len;  // as scanp_inc
  }

  // Passes over a group its pattern did not take: a clean five-figure
  // group (digits and "/" only) that begins with the indicator `ind` (may be
  // empty) is one of the expected kind with a figure missing, so it is
  // stepped over, its fields left missing, rather than ending the section.
  // Anything else stays where it is. The same on either matching path.
  bool pass_over(const char *ind, const char *label) {
    const int n = clean_len();
    if (n == 0) return false;
    for (int i = 0; ind[i] != '\0'; ++i)
      if (p.ptr[p.off + i] != ind[i]) return false;
    p.len = n;
    take(label);
    return true;
  }
};

// ---------------------------------------------------------------------------
// Section 1 of land and ship reports.

void decode_section1(Decoder &d, int type) {
  SFC_report *r = d.r;
  int a = 0, b = 0, c = 0;

  // iRixhVV: a ship may give its visibility in the sea code 90..99.
  bool vis_taken = false;
  int ix = kMissI, h = kMissI;
  float vis = kMissF;
  if (type == 2 && d.fits<"ABc9d">("%1d%1d%1!/!d9%1!/!d ", 4, &a, &ix, &h, &b)) {
    vis = miss(b) ? kMissF : SYN_visibility(90 + b);
    vis_taken = true;
    d.take("S-iihVV: %5.5s\n");
  } else if (d.fits<"ABcdd">("%1d%1d%1!/!d%2!//!d ", 4, &a, &ix, &h, &b)) {
    vis = miss(b) ? kMissF : SYN_visibility(b);
    vis_taken = true;
    d.take("iihVV: %5.5s\n");
  }
  // Station types 4 to 7 are automatic; only type 7 reports its weather in
  // the automatic-station code.
  bool auto_weather = false;
  if (vis_taken) {
    if (ix >= 4 && ix <= 7) r->type |= 16;
    auto_weather = ix == 7;
    r->cld_height[0] = SYN_ceiling(h);
    r->vis = vis;
  }

  // Nddff
  char n = ' ';
  bool wind_done = false;
  if (d.fits<"*aabb">("%1c%2!//!d%2!//!d ", 3, &n, &a, &b)) {
    wind_done = true;
    if (n == '/') {
      r->cld_cover[0] = ' ';
      r->cld_height[0] = kMissF;
    } else {
      r->cld_cover[0] = n;
      if (n < '2') r->cld_height[0] = kMissF;  // clear or one okta: no base to speak of
      r->num_cld = 1;
    }
    store_wind(r, a, b, d.iw);
    d.take("Nddff: %5.5s\n");
  } else if (vis_taken) {
    wind_done = d.pass_over("", "Nddff (not kept): %5.5s\n");
  }
  // From here on every group begins with its own indicator figure, so one
  // that does not fit its pattern (a figure reported as "/", an undefined
  // sign) is known by that figure and passed over instead of ending the
  // section. Before the position is past Nddff a group cannot be told apart.
  const bool by_indicator = vis_taken && wind_done;
  auto pass = [&](const char *ind, const char *label) {
    return by_indicator && d.pass_over(ind, label);
  };

  // 00fff: speeds of 99 units or more.
  if (d.fits<"00aaa">("00%3!///!d ", 1, &a)) {
    if (!miss(a)) r->w_spd = knots(a, d.iw);
    d.take("00fff: %5.5s\n");
  } else {
    pass("00", "00fff (not kept): %5.5s\n");
  }

  // 1snTTT
  if (d.fits<"1abbc">("1%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    d.t_c = celsius(a == 1, b, c);
    r->t = to_fahrenheit(d.t_c);
    d.take("1sTTT: %5.5s\n");
  } else {
    pass("1", "1sTTT (not kept): %5.5s\n");
  }

  // 2snTdTdTd, or 29UUU (relative humidity) turned into a dew point.
  bool dew_taken = false;
  if (d.fits<"2abbc">("2%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    dew_taken = a <= 1 || a == 9;
    if (a <= 1) {
      r->td = to_fahrenheit(celsius(a == 1, b, c));
      d.take("2sTTT: %5.5s\n");
    } else if (a == 9) {
      const int rh = (miss(b) || miss(c) || b < 0) ? kMissI : b * 10 + c;
      if (!miss(d.t_c) && !miss(rh) && rh <= 100) {
        const float dew_k = dew_temp(d.t_c + 273.15f, static_cast<float>(rh));
        if (!miss(dew_k) && dew_k > 0.0f) r->td = to_fahrenheit(dew_k - 273.15f);
      }
      d.take("29UUU: %5.5s\n");
    }
  }
  // Also sign figures 2 to 8; but 222 opens the ship section.
  if (!dew_taken && !(d.peek(1) == '2' && d.peek(2) == '2'))
    pass("2", "2sTTT (not kept): %5.5s\n");

  // 3P0P0P0P0: station pressure, not kept.
  if (d.fits<"3aaab">("3%3!///!d%1!/!d ", 2, &a, &b)) {
    d.take("3PPPP: %5.5s\n");
  } else {
    pass("3", "3PPPP (not kept): %5.5s\n");
  }

  // 4PPPP: sea-level pressure; out of range (and the 4a3hhh height groups
  // of high stations) means missing.
  if (d.fits<"4aaab">("4%3!///!d%1!/!d ", 2, &a, &b)) {
    float pmb = kMissF;
    if (!miss(a)) {
      double v = a < 500 ? a + 1000 : a;
      if (!miss(b)) v += tenths_d(b);
      pmb = static_cast<float>(v);
      if (pmb < 900.0f || pmb >= 1090.0f) pmb = kMissF;
    }
    r->pmb = pmb;
    d.take("4PPPP: %5.5s\n");
  } else {
    pass("4", "4PPPP (not kept): %5.5s\n");
  }

  // 5appp
  if (d.fits<"5abbc">("5%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->ptend_t = a;
    r->ptend = pressure_change(a, b, c);
    d.take("5appp: %5.5s\n");
  } else {
    pass("5", "5appp (not kept): %5.5s\n");
  }

  // 6RRRtR
  if (d.fits<"6aaab">("6%3!///!d%1!/!d ", 2, &a, &b)) {
    store_precip(r, a, b);
    d.take("6RRRt: %5.5s\n");
  } else {
    pass("6", "6RRRt (not kept): %5.5s\n");
  }

  // 7wwW1W2
  if (d.fits<"7aabb">("7%2!//!d%2!//!d ", 2, &a, &b)) {
    if (auto_weather)
      SYN_auto_weather(a, r->weather);
    else
      SYN_weather(a, r->weather);
    d.take("7wwWW: %5.5s\n");
  } else if (by_indicator && d.at('7') && d.clean_len() > 0) {
    // W1W2 is not used: a "/" there does not cost the present weather.
    const char *g = d.p.ptr + d.p.off;
    const bool digits = rd_digit(g[1]) && rd_digit(g[2]);
    if (digits || (g[1] == '/' && g[2] == '/')) {
      const int ww = digits ? (g[1] - '0') * 10 + (g[2] - '0') : kMissI;
      if (auto_weather)
        SYN_auto_weather(ww, r->weather);
      else
        SYN_weather(ww, r->weather);
      pass("7", "7wwWW: %5.5s\n");
    } else {
      pass("7", "7wwWW (not kept): %5.5s\n");
    }
  }

  // 8NhCLCMCH
  char cl[4] = {};
  if (d.fits<"8****">("8%1c%1c%1c%1c ", 4, &cl[0], &cl[1], &cl[2], &cl[3])) {
    for (char &x : cl)
      if (x == '/') x = '-';
    r->cld_low = cl[0];
    r->cld_type[0] = cl[1];
    r->cld_type[1] = cl[2];
    r->cld_type[2] = cl[3];
    d.take("8NCCC: %5.5s\n");
  }  // any five figures fit: nothing to pass over

  // 9GGgg: exact time of observation; minutes only with their hour.
  if (d.fits<"9aabb">("9%2!//!d%2!//!d ", 2, &a, &b)) {
    if (!miss(a)) {
      r->time = a * 100;
      if (!miss(b)) r->time += b;
    }
    d.take("9GGgg: %5.5s\n");
  } else {
    pass("9", "9GGgg (not kept): %5.5s\n");
  }
}

// ---------------------------------------------------------------------------
// Section 2 (ships): sea temperature and waves. Shared with the buoy decoder.

void decode_section2_groups(Decoder &d) {
  SFC_report *r = d.r;
  int a = 0, b = 0, c = 0;
  if (d.fits<"0abbc">("0%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->sst = celsius(sst_negative(a), b, c);
    d.take("0sTTT: %5.5s\n");
  }
  if (d.fits<"1????">("1%*4s ", 1)) d.take("1PPHH: %5.5s\n");
  if (d.fits<"2aabb">("2%2!//!d%2!//!d ", 2, &a, &b)) {
    if (!miss(a)) r->wav_per = static_cast<float>(a);
    if (!miss(b)) r->wav_hgt = static_cast<float>(b) / 2.0f;  // half metres
    d.take("2PPHH: %5.5s\n");
  }
  if (d.fits<"3????">("3%*4s ", 1)) d.take("3dddd: %5.5s\n");
  if (d.fits<"4????">("4%*4s ", 1)) d.take("4PPHH: %5.5s\n");
  if (d.fits<"5????">("5%*4s ", 1)) d.take("5PPHH: %5.5s\n");
  if (d.fits<"6????">("6%*4s ", 1)) d.take("6IEER: %5.5s\n");
  if (d.fits<"70aaa">("70%3!///!d ", 1, &a)) {
    if (!miss(a)) r->wav_hgt = static_cast<float>(a) / 10.0f;  // tenths of a metre
    d.take("70HHH: %5.5s\n");
  }
}

void decode_section2(Decoder &d) {
  if (d.fits<"222xx">("%*(222)%*2!//!d ", 2)) {
    d.take("222: %5.5s\n");
    d.group = 2;
  }
  if (d.group == 2) decode_section2_groups(d);
}

// ---------------------------------------------------------------------------
// Section 3 (regional): extremes, snow depth, sunshine, precipitation.

bool is_section3_mark(Decoder &d) {
  return d.section_mark("333", "%*(333) ");
}

// Passes over every group up to "333" (or to the end of the text).
void search_section3(Decoder &d) {
  while (!is_section3_mark(d)) {
    if (d.word("%*s ", kScanpMaxCollect, nullptr) != 1) return;
    d.take("-->333: %5.5s\n");
  }
}

// 1snTxTxTx. Stations whose identifier begins with 17 report another
// quantity in this group at 0000 and 1200: it is passed over, not kept.
void try_max_temp(Decoder &d) {
  int a = 0, b = 0, c = 0;
  if (!d.fits<"1abbc">("1%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) return;
  SFC_report *r = d.r;
  if (r->id[0] == '1' && r->id[1] == '7' && (r->time == 0 || r->time == 1200)) {
    d.take("1sTTT (not kept): %5.5s\n");
    return;
  }
  r->max_t = to_fahrenheit(celsius(a == 1, b, c));
  d.take("1sTTT: %5.5s\n");
}

// Radiation groups after 55SSS or 553SS: 0FFFF..5FFFF in rising order, then
// 6FFFF groups as long as another 6-group (the precipitation one) follows.
// A further 55-group is the next sunshine period (55SSS then 553SS) with
// radiation groups of its own; "/////" is a radiation group not reported.
void skip_radiation(Decoder &d) {
  int prev = -1;
  while (d.word("%s ", kScanpMaxCollect, d.buf) == 1) {
    if (std::strlen(d.buf) != 5) return;  // "555", "333" and odd groups end it
    const int fig = d.buf[0] - '0';
    if (d.buf[0] == '5' && d.buf[1] == '5') {
      prev = -1;
    } else if (std::strcmp(d.buf, "/////") == 0) {
      // its figure is unknown: the order goes on from the group before
    } else if (fig >= 0 && fig <= 5 && fig > prev) {
      prev = fig;
    } else if (fig == 6 && d.peek(d.p.len) == '6') {
      prev = fig;
    } else {
      return;
    }
    d.take("5.... (.....): %5.5s\n");
  }
}

void decode_section3(Decoder &d) {
  SFC_report *r = d.r;
  if (is_section3_mark(d)) {
    d.take("333: %3.3s\n");
    d.group = 3;
  }
  if (d.group != 3) return;
  int a = 0, b = 0, c = 0;

  if (d.fits<"0????">("0%*4s ", 1)) d.take("0....: %5.5s\n");
  try_max_temp(d);
  if (d.fits<"2abbc">("2%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c) && a != 9) {
    r->min_t = to_fahrenheit(celsius(a == 1, b, c));
    d.take("2sTTT: %5.5s\n");
  }
  if (miss(r->max_t)) try_max_temp(d);  // the maximum may follow the minimum
  if (d.fits<"3????">("3%*4s ", 1)) d.take("3Ejjj: %5.5s\n");
  if (d.fits<"4abbb">("4%1!/!d%3!///!d ", 2, &a, &b)) {
    if (!miss(b)) r->scover = static_cast<float>(b / 2.54);  // cm to inches
    d.take("4Esss: %5.5s\n");
  }
  for (int i = 0; i < 5; ++i) {
    // Five-figure groups only: "555" is the next section, not a 5-group.
    // A failed attempt would fail again at the same place.
    if (!d.fits<"5a???">("5%1!/!d%*s ", 2, &a)) break;
    d.take("5.... (.....): %5.5s\n");
    if (a == 5) skip_radiation(d);  // 55SSS, 553SS
  }
  if (d.fits<"6aaab">("6%3!///!d%1!/!d ", 2, &a, &b)) {
    store_precip(r, a, b);
    d.take("6RRRt: %5.5s\n");
  }
  if (d.fits<"7aaaa">("7%4!////!d ", 1, &a)) {
    if (a == 9999)
      r->rain24 = 0.0f;  // trace
    else
      r->rain24 = miss(a) ? kMissF : static_cast<float>(a / 254.0);  // tenths of mm
    d.take("7RRRR: %5.5s\n");
  }
}

void decode_section5(Decoder &d) {
  if (d.section_mark("555", "%*(555) ")) {
    d.take("555: %3.3s\n");
    d.group = 5;
  }
}

void trace_left(const Decoder &d) {
  if (d.trace) MESS_print(kTraceGroup, "LEFT: %s\n", d.p.ptr + d.p.off);
}

int auto_weather(int wx, char *wx_str) {
  const char *s = (wx >= 0 && wx <= 99) ? kWawaText[static_cast<std::size_t>(wx)] : " ";
  copy_text(wx_str, 7, s);
  return 0;
}

float visibility(int vis) {
  if (vis <= 50) return static_cast<float>(vis) / 16.0f;  // tenths of km
  if (vis <= 80) return static_cast<float>((vis - 50) / 1.6);
  if (vis <= 89) return static_cast<float>((30 + 5 * (vis - 80)) / 1.6);
  if (vis <= 99) return kVisSea[vis - 90];
  return kMissF;
}

float ceiling(int cb) {
  return (cb >= 0 && cb <= 9) ? kTable1600[cb] : kMissF;
}

int decode(const char *data, int type, SFC_report *report) {
  if (data == nullptr || report == nullptr) return 0;
  Decoder d;
  d.r = report;
  const M_type level = MESS_get();
  d.trace = (level & kTraceGroup) != 0;
  d.scan_trace = (level & kTraceScan) != 0;
  scanp_set(&d.p, data);

  // Identification.
  char ident[kScanpMaxCollect + 1];
  ident[0] = '\0';
  if (d.word("%<40s ", 40, ident) != 1 || d.p.len <= 3) {
    if (level & kTraceIdent) MESS_print(kTraceIdent, "Invalid ident: %s\n", ident);
    return 0;
  }
  SFC_report *r = report;
  if (type == 4 || type == 2) {
    copy_text(r->id, sizeof r->id, type == 4 ? "b" : "s", ident);
    r->wmo = 99999;
  } else {
    r->wmo = leading_number(ident);
    copy_text(r->id, sizeof r->id, ident);
  }
  if (level & kTraceIdent) MESS_print(kTraceIdent, "ID/Abnnn: %s\n", r->id);
  scanp_inc(&d.p);

  r->type = 1;
  r->time = SYN_get_prhour();
  copy_text(r->area, sizeof r->area, type == 16 ? "CM" : "LA");
  if (type == 1 || type == 16) {
    // Land and coastal stations give their wind unit on the section line.
    const int iw = SYN_get_iw();
    d.iw = (iw == 0 || iw == 1) ? 2 : 1;
  }

  if (type == 2 || type == 4) {
    copy_text(r->area, sizeof r->area, type == 2 ? "SH" : "BU");
    int dy = 0, hr = 0, iw = 0;
    if (d.fits<"aabbc">("%2!//!d%2!//!d%1!/!d ", 3, &dy, &hr, &iw)) {
      r->time = miss(hr) ? kMissI : hr * 100;
      if (iw == 0 || iw == 1) d.iw = 2;
      if (iw == 3 || iw == 4) d.iw = 1;
      d.take("YYGGI: %5.5s\n");
    }
    int la = 0, q = 0, lo = 0;
    if (d.fits2<"99aaa", "bcccc">("99%3!///!d %1!/!d%4!////!d ", 3, &la, &q, &lo)) {
      // A missing half of the position stays missing rather than -999.9.
      r->lat = miss(la) ? kMissF : on_globe(static_cast<float>(la) / 10.0f, 90.0f);
      r->lon = miss(lo) ? kMissF : on_globe(static_cast<float>(lo) / 10.0f, 180.0f);
      if (!miss(r->lat) && (q == 3 || q == 5)) r->lat = -r->lat;
      if (!miss(r->lon) && !miss(q) && q > 4) r->lon = -r->lon;
      r->wmo = 99999;
      r->elev = 0.0f;
      r->prior = 4;
      d.take("99LLL QLLLL: %11.11s\n");
    }
  }

  if (type == 8) {
    if (d.trace) MESS_print(kTraceGroup, "DRIBU\n");
    return SYN_decode_dribu(data, report);
  }

  d.group = 1;
  decode_section1(d, type);
  decode_section2(d);
  search_section3(d);
  decode_section3(d);
  decode_section5(d);
  trace_left(d);
  return 1;
}

int decode_dribu(const char *data, SFC_report *report) {
  if (data == nullptr || report == nullptr) return 1;
  Decoder d;
  d.r = report;
  d.trace = MESS_check(kTraceGroup) != 0;
  d.scan_trace = MESS_check(kTraceScan) != 0;
  scanp_set(&d.p, data);
  SFC_report *r = report;

  copy_text(r->id, sizeof r->id, "DRIBU");
  r->type = 1;
  r->time = SYN_get_prhour();
  copy_text(r->area, sizeof r->area, "DR");
  r->wmo = 99999;
  r->elev = 0.0f;
  r->prior = 4;
  d.iw = 1;

  int a = 0, b = 0, c = 0;
  // YYMMJ
  if (scanp(&d.p, "%s ", d.buf) == 1 && d.p.len > 3) d.take("YYMMJ: %5.5s\n");
  // GGggiw
  if (d.fits<"aabbc">("%2!//!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    if (!miss(a)) {
      r->time = a * 100;
      if (!miss(b)) r->time += b;
    }
    if (c == 0 || c == 1) d.iw = 2;
    if (c == 3 || c == 4) d.iw = 1;
    d.take("GGggI: %5.5s\n");
  }
  // QcLaLaLaLaLa, then LoLoLoLoLoLo; the quadrant is applied once both are read.
  int quadrant = kMissI;
  if (scanp(&d.p, "%1!/!d%4!////!d%1!/!d ", &a, &b, &c) == 3 && d.p.len >= 7) {
    quadrant = a;
    if (!miss(b))
      r->lat = on_globe(static_cast<float>(b / 100.0 + (miss(c) ? 0.0 : c / 1000.0)), 90.0f);
    d.take("QLLLLL: %6.6s\n");
  }
  if (scanp(&d.p, "%5!////!d%1!/!d ", &a, &b) == 2 && d.p.len >= 7) {
    if (!miss(a))
      r->lon = on_globe(static_cast<float>(a / 100.0 + (miss(b) ? 0.0 : b / 1000.0)), 180.0f);
    // Without a latitude group there is no quadrant: signs stay as read.
    if (!miss(quadrant)) {
      if (!miss(r->lat) && (quadrant == 3 || quadrant == 5)) r->lat = -r->lat;
      if (!miss(r->lon) && quadrant > 4) r->lon = -r->lon;
    }
    d.take("LLLLLL: %6.6s\n");
  }
  if (d.at('6') && scanp(&d.p, "6%s ", d.buf) == 1 && d.p.len > 5) d.take("6QQ//: %5.5s\n");
  if (d.fits<"111xx">("111%*2!//!d ", 1)) {
    d.group = 1;
    d.take("111QQ: %5.5s\n");
  }
  if (d.fits<"0aabb">("0%2!//!d%2!//!d ", 2, &a, &b)) {
    store_wind(r, a, b, d.iw);
    d.take("Nddff: %5.5s\n");
  }
  if (d.fits<"1abbc">("1%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->t = to_fahrenheit(celsius(a == 1, b, c));
    d.take("1sTTT: %5.5s\n");
  }
  if (d.fits<"2abbc">("2%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c) &&
      a <= 1) {
    r->td = to_fahrenheit(celsius(a == 1, b, c));
    d.take("2sTTT: %5.5s\n");
  }
  if (d.fits<"3????">("3%*4s ", 1)) d.take("3PPPP: %5.5s\n");
  if (d.fits<"4aaab">("4%3!///!d%1!/!d ", 2, &a, &b)) {
    if (!miss(a)) {
      double v = a < 500 ? a + 1000 : a;
      if (!miss(b)) v += b / 10.0;
      r->pmb = static_cast<float>(v);
    }
    d.take("4PPPP: %5.5s\n");
  }
  if (d.fits<"5abbc">("5%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->ptend_t = a;
    r->ptend = pressure_change(a, b, c);
    d.take("5appp: %5.5s\n");
  }
  if (d.fits<"222xx">("%*(222)%*2!//!d ", 2)) {
    d.group = 2;
    d.take("222: %5.5s\n");
  }
  if (d.group == 2) decode_section2_groups(d);
  trace_left(d);
  return 1;
}

}  // namespace dec
}  // namespace

int SYN_weather(int wx, char *wx_str) { return WX_wmo_weather(wx, wx_str); }
int SYN_auto_weather(int wx, char *wx_str) { return dec::auto_weather(wx, wx_str); }
float SYN_visibility(int vis) { return dec::visibility(vis); }
float SYN_ceiling(int cb) { return dec::ceiling(cb); }
int SYN_decode(const char *data, int type, SFC_report *report) {
  return dec::decode(data, type, report);
}
int SYN_decode_dribu(const char *data, SFC_report *report) {
  return dec::decode_dribu(data, report);
}
