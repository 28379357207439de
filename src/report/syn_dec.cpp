// Report decoders of the synoptic converter: land, ship, coastal-marine and
// drifting-buoy reports into records. Each section is a table of groups, one
// row per group (its scanner pattern, its trace label and what it gives the
// record), walked in order by one loop. This module sees the reader's state
// only through SYN_get_prhour and SYN_get_iw.

#include "report/syn_dec.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "framework/mess.hpp"
#include "framework/string.hpp"
#include "framework/missing.hpp"
#include "report/calc.hpp"
#include "report/code_tables.hpp"
#include "report/scanp.hpp"
#include "report/scanp_pattern.hpp"
#include "report/syn_read.hpp"
#include "report/wx_tool.hpp"

namespace {

// Clean groups are matched without the scanner; a test may turn that off.
bool direct_matching = true;

namespace dec {

using tv::is_digit;

constexpr M_type kTraceIdent = 0x10000000u;
constexpr M_type kTraceGroup = 0x20000000u;
constexpr M_type kTraceScan = 0x80000000u;  // the scanner's own traces

constexpr int kMissI = tv::kMissInt;
constexpr float kMissF = tv::kMissFloat;

constexpr bool miss(int v) { return v == kMissI; }
constexpr bool miss(float v) { return v == kMissF; }

// ---------------------------------------------------------------------------
// Code tables, expanded at compile time into arrays indexed by code.

template <std::size_t N>
constexpr std::array<const char *, 100> expand_weather(const code_tables::WeatherRow (&rows)[N]) {
  std::array<const char *, 100> out{};
  for (auto &s : out) s = " ";
  for (const auto &r : rows)
    for (int c = r.lo; c <= r.hi; ++c) out[static_cast<std::size_t>(c)] = r.sao;
  return out;
}
constexpr auto kWawaText = expand_weather(code_tables::kTable4680);

constexpr std::array<float, 100> expand_visibility() {
  std::array<float, 100> out{};
  for (const auto &r : code_tables::kTable4377)
    for (int c = r.lo; c <= r.hi; ++c)
      out[static_cast<std::size_t>(c)] =
          r.step == code_tables::VisStep::sea ? r.miles : code_tables::visibility_miles(r.step, c);
  return out;
}
constexpr auto kVisMiles = expand_visibility();

constexpr std::array<float, 10> expand_cloud_base() {
  std::array<float, 10> out{};
  for (const auto &r : code_tables::kTable1600) out[static_cast<std::size_t>(r.h)] = r.feet;
  return out;
}
constexpr auto kCloudBase = expand_cloud_base();

// 1860: an unknown station type is a manned one reporting ww.
constexpr std::array<code_tables::StationTypeRow, 10> make_station_types() {
  std::array<code_tables::StationTypeRow, 10> out{};
  for (int f = 0; f < 10; ++f) out[static_cast<std::size_t>(f)] = {f, false, code_tables::WeatherCode::ww_4677};
  for (const auto &r : code_tables::kTable1860) out[static_cast<std::size_t>(r.ix)] = r;
  return out;
}
constexpr auto kStationTypes = make_station_types();
constexpr code_tables::StationTypeRow station_type(int ix) {
  if (ix >= 0 && ix <= 9) return kStationTypes[static_cast<std::size_t>(ix)];
  return {ix, false, code_tables::WeatherCode::ww_4677};
}

// 0200: characteristics past the table (9) are taken as lower, as 5 to 8.
constexpr std::array<bool, 10> make_tendency_lower() {
  std::array<bool, 10> out{};
  out[9] = true;
  for (const auto &r : code_tables::kTable0200) out[static_cast<std::size_t>(r.a)] = r.lower;
  return out;
}
constexpr auto kTendencyLower = make_tendency_lower();
constexpr bool tendency_lower(int a) {
  return (a >= 0 && a <= 9) ? kTendencyLower[static_cast<std::size_t>(a)] : a > 8;
}

// 3850: figures past the table keep its rule, the odd ones negative.
constexpr std::array<bool, 10> make_sst_negative() {
  std::array<bool, 10> out{};
  for (int f = 0; f < 10; ++f) out[static_cast<std::size_t>(f)] = (f & 1) == 1;
  for (const auto &r : code_tables::kTable3850) out[static_cast<std::size_t>(r.ss)] = r.negative;
  return out;
}
constexpr auto kSstNegative = make_sst_negative();
constexpr bool sst_negative(int ss) {
  if (miss(ss) || ss < 0) return false;
  return ss <= 9 ? kSstNegative[static_cast<std::size_t>(ss)] : (ss & 1) == 1;
}

// ---------------------------------------------------------------------------
// Values of groups.

// Tenths of a unit by figure, the same values as t / 10 computed at run
// time, without a division per group. Up to 15: a figure taken from a
// group's bits is never more, so where it is known the range test folds.
constexpr std::array<float, 16> make_tenths_f() {
  std::array<float, 16> t{};
  for (int i = 0; i < 16; ++i) t[static_cast<std::size_t>(i)] = static_cast<float>(i) / 10.0f;
  return t;
}
constexpr auto kTenthsF = make_tenths_f();
constexpr std::array<double, 16> make_tenths_d() {
  std::array<double, 16> t{};
  for (int i = 0; i < 16; ++i) t[static_cast<std::size_t>(i)] = i / 10.0;
  return t;
}
constexpr auto kTenthsD = make_tenths_d();
[[gnu::always_inline]] inline float tenths_f(int t) {
  return (t >= 0 && t <= 15) ? kTenthsF[static_cast<std::size_t>(t)] : t / 10.0f;
}
[[gnu::always_inline]] inline double tenths_d(int t) {
  return (t >= 0 && t <= 15) ? kTenthsD[static_cast<std::size_t>(t)] : t / 10.0;
}

// Degrees Fahrenheit from Celsius, in single precision; missing stays missing.
[[gnu::always_inline]] inline float to_fahrenheit(float c) { return miss(c) ? kMissF : 32.0f + 9.0f * c / 5.0f; }

// Whole degrees and tenths (each possibly missing) with a sign indicator;
// missing when the whole degrees are.
[[gnu::always_inline]] inline float celsius(bool negative, int whole, int tenths) {
  if (miss(whole)) return kMissF;
  float v = static_cast<float>(whole);
  if (!miss(tenths)) v += tenths_f(tenths);
  return negative ? -v : v;
}

// Wind speed in knots from the reported figure and the unit indicator.
[[gnu::always_inline]] inline float knots(int ff, int iw) {
  if (miss(ff)) return kMissF;
  return iw == 2 ? static_cast<float>(ff * 1.944) : static_cast<float>(ff);
}

// Amount of a 6RRRtR group in inches, or missing.
[[gnu::always_inline]] inline float precip_inches(int rrr) {
  if (miss(rrr)) return kMissF;
  if (rrr == 990) return 0.0f;  // trace
  if (rrr > 990 && rrr <= 999) return static_cast<float>((rrr - 990) / 254.0);  // tenths of mm
  return static_cast<float>(rrr / 25.4);
}

// Stores a 6RRRtR amount in the field its period digit names.
[[gnu::always_inline]] inline void store_precip(SFC_report *r, int rrr, int period) {
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

// Pressure change of a 5appp group in millibars, negative when the
// characteristic says the pressure is lower; without a the sign is unknown
// and so is the change.
[[gnu::always_inline]] inline float pressure_change(int a, int pp, int tenths) {
  if (miss(a) || miss(pp)) return kMissF;
  const float v = static_cast<float>(pp + (miss(tenths) ? 0.0 : tenths_d(tenths)));
  return (tendency_lower(a) && v != 0.0f) ? -v : v;  // no "-0" for an unchanged pressure
}

// Sea-level pressure of a 4PPPP group: the thousands figure restored.
[[gnu::always_inline]] inline float sea_level_pressure(int ppp, int tenths) {
  double v = ppp < 500 ? ppp + 1000 : ppp;
  if (!miss(tenths)) v += tenths_d(tenths);
  return static_cast<float>(v);
}

// Wind direction and speed of an ddff pair, with the checks that make a
// variable or incomplete wind missing.
[[gnu::always_inline]] inline void store_wind(SFC_report *r, int dd, int ff, int iw) {
  r->w_dir = miss(dd) ? kMissF : static_cast<float>(dd * 10);
  r->w_spd = knots(ff, iw);
  // The unit the speed came in, for formats that record it.
  r->flag &= ~(kSfcFlagWindKnots | kSfcFlagWindMps);
  if (!miss(ff)) r->flag |= iw == 2 ? kSfcFlagWindMps : kSfcFlagWindKnots;
  if (r->w_dir > 360.0f) {  // dd 99 (variable) and other codes above 36
    r->w_dir = kMissF;
    r->w_spd = kMissF;
  }
  if (!miss(r->w_dir) && miss(r->w_spd)) r->w_dir = kMissF;
}

// A coordinate beyond the globe (latitude above 90, longitude above 180
// degrees) is a garbled group: missing rather than an impossible position.
float on_globe(float v, float limit) { return (miss(v) || v > limit || v < -limit) ? kMissF : v; }

// Wind unit of a YYGGiw group: 0 and 1 metres per second, 3 and 4 knots.
int wind_unit(int iw_figure, int unit) {
  if (iw_figure == 0 || iw_figure == 1) return 2;
  if (iw_figure == 3 || iw_figure == 4) return 1;
  return unit;
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

// ---------------------------------------------------------------------------
// Matching a group without the scanner.

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

// What a matched group gives: the values of its conversions, by kind, in
// pattern order (as the scanner stores them).
struct Vals {
  int i[kScanMaxStore];
  char c[kScanMaxStore];
  float f[kScanMaxStore];
  char s[kScanpMaxCollect + 1];
};

// The five characters of a clean group in one word, byte i for character
// i with "0" taken away: a figure 0 to 9, or 0x1F for "/". A "/" is then
// the only byte with bit 4 set, so the slashes of a field show in one test.
std::uint64_t group_figs(const char *s) {
  std::uint32_t lo;
  std::memcpy(&lo, s, sizeof lo);
  const std::uint64_t x = lo | std::uint64_t{static_cast<unsigned char>(s[4])} << 32;
  return x ^ 0x3030303030ULL;
}

// The figures of a clean group taken two by two: byte k holds 10 * d(k) +
// d(k + 1). A "/" counts as 15 here (its low four bits), so no byte carries
// into the next; a field is read from these only when it has no "/".
[[gnu::always_inline]] constexpr std::uint64_t figure_pairs(std::uint64_t figs) {
  const std::uint64_t f = figs & 0x0F0F0F0F0FULL;
  return f * 10 + (f >> 8);
}

// Figure k of a group and the pair of figures from k on.
template <int k>
constexpr int fig_at(std::uint64_t figs) { return static_cast<int>((figs >> (8 * k)) & 0xF); }
template <int k>
constexpr int pair_at(std::uint64_t pairs) { return static_cast<int>((pairs >> (8 * k)) & 0xFF); }

// Value of the field of `w` figures from `st`, none of them "/".
template <int st, int w>
[[gnu::always_inline]] inline int field_value(std::uint64_t figs, std::uint64_t pairs) {
  if constexpr (w == 1) {
    return fig_at<st>(figs);
  } else if constexpr (w == 2) {
    return pair_at<st>(pairs);
  } else if constexpr (w == 3) {
    return pair_at<st>(pairs) * 10 + fig_at<st + 2>(figs);
  } else if constexpr (w == 4) {
    return pair_at<st>(pairs) * 100 + pair_at<st + 2>(pairs);
  } else {
    return pair_at<st>(pairs) * 1000 + pair_at<st + 2>(pairs) * 10 + fig_at<st + 4>(figs);
  }
}

// Matches the piece Pc against the clean group `s` (`figs` its figures);
// without Slashes the group is known to have none.
template <ScanPiece Pc, bool Slashes>
[[gnu::always_inline]] inline bool piece(const char *s, std::uint64_t figs, std::uint64_t pairs, Vals &v,
                                         int &nv, int &nc) {
  constexpr int st = Pc.start;
  if constexpr (Pc.kind == PieceKind::literal) {
    return s[st] == Pc.lit;
  } else if constexpr (Pc.kind == PieceKind::character) {
    v.c[nc++] = s[st];
    return true;
  } else if constexpr (Pc.kind == PieceKind::any) {
    return true;
  } else {
    constexpr int w = Pc.width;
    constexpr std::uint64_t span = [] {
      std::uint64_t m = 0;
      for (int k = 0; k < w; ++k) m |= std::uint64_t{1} << (8 * (st + k));
      return m;
    }();
    const std::uint64_t slashes = Slashes ? (figs >> 4) & span : 0;
    int val;
    if (slashes == 0) {
      val = field_value<st, w>(figs, pairs);
    } else {
      // All slashes are the marker; a partial field, or a slash without a
      // marker, does not fit.
      if (slashes != span || Pc.kind == PieceKind::figures) return false;
      val = kMissI;
    }
    if constexpr (Pc.kind != PieceKind::skipped) v.i[nv++] = val;
    return true;
  }
}

template <ScanShape S, int... I>
[[gnu::always_inline]] inline bool pieces(const char *s, std::uint64_t figs, Vals &v, int &nv, int &nc,
                                          std::integer_sequence<int, I...>) {
  const std::uint64_t pairs = figure_pairs(figs);
  // Usually no figure is missing: then no field needs its own test.
  if (((figs >> 4) & 0x0101010101ULL) == 0) [[likely]]
    return (piece<S.piece[I], false>(s, figs, pairs, v, nv, nc) && ...);
  return (piece<S.piece[I], true>(s, figs, pairs, v, nv, nc) && ...);
}

// The scanner's arguments for the values of pattern P, in its order.
template <char Kind, int Slot>
auto value_ptr(Vals &v) {
  if constexpr (Kind == 'i') return &v.i[Slot];
  else if constexpr (Kind == 'f') return &v.f[Slot];
  else if constexpr (Kind == 'c') return &v.c[Slot];
  else return &v.s[0];
}

template <ScanPattern P, std::size_t... K>
int scan_into(parse_param *q, Vals &v, std::index_sequence<K...>) {
  return scanp(q, P.text, value_ptr<P.store[K], P.slot[K]>(v)...);
}

// ---------------------------------------------------------------------------
// State of one decoding call.

struct Decoder {
  parse_param p{};
  SFC_report *r = nullptr;
  ReportType type = ReportType::land;
  bool trace = false;       // group traces enabled
  bool trace_id = false;    // identifier traces enabled
  bool scan_trace = false;  // the scanner's traces enabled
  bool direct = true;       // clean groups matched without the scanner
  bool fast = false;        // direct matching on the padded copy, no scanner traces
  int iw = 1;               // wind unit: 1 knots, 2 metres per second
  int group = 0;            // section being decoded
  float t_c = kMissF;       // air temperature in Celsius (dew point from humidity)
  bool vis_taken = false;   // iRixhVV taken
  bool by_figure = false;   // groups of section 1 are told apart by their figure
  bool wawa = false;        // present weather in the automatic stations' code
  int quadrant = kMissI;    // of a drifting buoy's position
  int word_n = 0;           // characters of the last text "%s" took
  // The text is read padded: kSynTextPad zeros after it, so that a group's
  // eight bytes can be read anywhere up to its end; its groups are then
  // told apart from those eight bytes in a few word operations. A text
  // handed over without its zeros is copied here when it fits.
  static constexpr int kTextCap = 512;
  static constexpr int kPaddedMax = kTextCap - kSynTextPad;
  static_assert(kSynDataMax <= kPaddedMax, "every text of the reader can be read padded");
  bool padded = false;  // p.ptr has the zeros after it (the copy or the caller's text)
  alignas(16) char text[kTextCap];

  // True when the current group begins with `c`: a pattern that starts with
  // a literal cannot match otherwise, so it is not tried.
  // The text ends with its NUL (p.length is its strlen) and the position
  // never passes it, so the byte there can always be read.
  bool at(char c) const { return p.ptr[p.off] == c; }

  // Character `skip` characters past the current position.
  char peek(int skip) const {
    const int i = p.off + skip;
    return (i >= 0 && i < p.length) ? p.ptr[i] : '\0';
  }

  // Copies the text of `p`, when it fits, with zeros after it.
  void copy_padded() {
    const int n = p.length;
    if (n > kPaddedMax) return;
    std::memcpy(text, p.ptr, static_cast<std::size_t>(n));
    std::memset(text + n, 0, kSynTextPad);
    p.ptr = text;
    padded = true;
  }

  // Length of the clean five-character group at the current position (five
  // figures or slashes and the white space after them), 0 when there is none.
  int clean_len() const { return clean_at(p.off); }

  // The eight bytes of the padded text from `off` on.
  [[gnu::always_inline]] std::uint64_t word_at(int off) const {
    std::uint64_t x;
    std::memcpy(&x, p.ptr + off, sizeof x);
    return x;
  }

  // On the padded copy only (as in fast mode): true when the position holds
  // five digits (no "/"), one blank and the next group's digit: the usual
  // group, all of whose fields are present.
  [[gnu::always_inline]] bool digits_group() const { return is_digits_group(digits_word()); }

  // The eight bytes at the position, with "0" taken away from the bytes of
  // figures and " " from the blank's; bytes 0 to 4 are then a group's
  // figures as group_figs gives them.
  [[gnu::always_inline]] std::uint64_t digits_word() const { return word_at(p.off) ^ 0x0030203030303030ULL; }

  // digits_group on the digits_word: each byte that should be a digit is
  // less than 10, and the blank's is 0. Such a byte has no high four bits,
  // and adding 6 (15 for the blank) to it leaves bit 4 clear; a byte that
  // has high bits fails whatever the sum carries into the next.
  [[gnu::always_inline]] static bool is_digits_group(std::uint64_t w) {
    return (((w + 0x00060F0606060606ULL) | w) & 0x00F0F0F0F0F0F0F0ULL) == 0;
  }

  // The length of the usual group last in the text, 0 when it is not: its
  // figures, a blank and the text's end (zeros of the padding), or two
  // blanks and the end (a report's closing "=" becomes a blank before the
  // one the reader adds). On a digits_word, whose byte 6 is then 0x30 or
  // 0x10.
  [[gnu::always_inline]] static int last_digits_group(std::uint64_t w) {
    if ((((w + 0x00000F0606060606ULL) | w) & 0xFF00F0F0F0F0F0F0ULL) != 0) return 0;
    const std::uint64_t after = w >> 48;  // byte 6; byte 7 is zero
    return after == 0x30 ? 6 : after == 0x10 ? 7 : 0;
  }

  // The same at any offset up to the end of the text.
  [[gnu::always_inline]] int clean_at(int off) const {
    if (padded) [[likely]] return clean_padded(off);
    return clean_unpadded(off);
  }

  // clean_at once the text is copied: five figures or "/" (byte by byte in
  // "/".."9": with the top bit clear, adding 0x51 sets it from "/" up,
  // adding 0x46 from ":" up), then white space.
  [[gnu::always_inline]] int clean_padded(int off) const {
    const std::uint64_t x = word_at(off);
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7FULL, kTop = 0x80808080808080ULL;
    const std::uint64_t x7 = x & kLow7;
    const std::uint64_t fig = ((x7 + 0x51515151515151ULL) & ~(x7 + 0x46464646464646ULL) & ~x) & kTop;
    // Usually five figures, one blank and the next group's figure: one test.
    if ((fig | (x & 0xFF0000000000ULL)) == 0x80208080808080ULL) [[likely]] return 6;
    if ((fig & 0x8080808080ULL) != 0x8080808080ULL) return 0;
    // Usually one blank follows, and then the next group.
    const char *s = p.ptr + off;
    if (!is_blank(s[5])) return 0;
    if (!is_blank(s[6])) return 6;
    int n = 7;
    while (is_blank(s[n])) ++n;  // the zeros after the text end it
    return n;
  }

  [[gnu::noinline]] int clean_unpadded(int off) const {
    std::uint64_t figs;
    return clean_group(p.ptr + off, p.length - off, figs);
  }

  // The figures of the clean group at the position (see group_figs; the
  // bytes past the group's fifth are not figures); only when clean_len() is
  // not 0.
  std::uint64_t figs() const {
    if (padded) [[likely]] return figs_padded();
    return group_figs(p.ptr + p.off);
  }

  [[gnu::always_inline]] std::uint64_t figs_padded() const {
    std::uint64_t x;
    std::memcpy(&x, p.ptr + p.off, sizeof x);
    return x ^ 0x3030303030ULL;
  }

  // Length of the clean group at `s` with `avail` characters left, and its
  // figures in `figs` when there is one.
  [[gnu::always_inline]] static int clean_group(const char *s, int avail, std::uint64_t &figs) {
    if (avail < 6) return 0;
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
      figs = (x ^ 0x3030303030ULL) & 0xFFFFFFFFFFULL;
      if (!is_blank(s[6])) return 6;
    } else {
      for (int i = 0; i < 5; ++i)
        if (!kFig[static_cast<unsigned char>(s[i])]) return 0;
      figs = group_figs(s);
    }
    int n = 5;
    while (n < avail && is_blank(s[n])) ++n;
    return n > 5 ? n : 0;
  }

  // Tries pattern P at the position: true when the group is taken, that is
  // when all its conversions match and at least `min_len` characters (the
  // group and its blank) are consumed; `v` then holds the values as the
  // scanner would store them, and p.len what it consumed. Clean groups,
  // texts and section indicators are matched directly; anything else goes
  // through the scanner, so both give the same result. With the scanner's
  // traces on it is called as well, for its trace only. `Fast` says at
  // compile time that `fast` holds and no trace is on.
  template <ScanPattern P, bool Fast = false>
  [[gnu::always_inline]] bool fits(Vals &v, int min_len) {
    if constexpr (P.lead != 0) {
      if (!at(P.lead)) return false;
    }
    if constexpr (P.form == ScanForm::groups) {
      if (Fast || fast) [[likely]] {
        const int n = clean_padded(p.off);
        const int n2 = (P.groups == 2 && n > 0) ? clean_padded(p.off + n) : n;
        if (n2 > 0) {
          const bool ok = match_groups<P>(v, n, figs_padded());
          if (ok) p.len = P.groups == 2 ? n + n2 : n;
          return ok;
        }
      } else if (direct) {
        const int n = clean_len();
        const int n2 = (P.groups == 2 && n > 0) ? clean_at(p.off + n) : n;
        if (n2 > 0) {
          const bool ok = match_groups<P>(v, n, figs());
          if (ok) p.len = P.groups == 2 ? n + n2 : n;
          trace_scan<P>();  // the scanner's trace only
          return ok;
        }
      }
    } else if (Fast || direct) {
      if constexpr (P.form == ScanForm::word) {
        bool ok;
        const int n = P.limit >= 5 ? clean_len() : 0;
        if (n > 0) {
          // A clean group is a text of five characters with its blanks.
          if constexpr (P.nstore > 0) {
            std::memcpy(v.s, p.ptr + p.off, 5);
            v.s[5] = '\0';
          }
          word_n = 5;
          p.len = n;
          ok = p.len >= min_len;
        } else {
          ok = word(P.limit, P.nstore > 0 ? v.s : nullptr) == 1 && p.len >= min_len;
        }
        trace_scan<P>();
        return ok;
      } else if constexpr (P.form == ScanForm::mark) {
        const bool ok = ((Fast || padded) && mark_one_blank<P.mark>(P.ind)) || mark<P.mark>(P.ind);
        trace_scan<P>();
        return ok;
      }
    }
    return scan_into<P>(&p, v, std::make_index_sequence<P.nstore>{}) == P.nconv && p.len >= min_len;
  }

  // Pattern P (one group) on a digits_group() that begins with P.lead, or
  // the same last in the text: its values as fits gives them, `figs` its
  // digits_word. Its length is the caller's to use.
  template <ScanPattern P>
  [[gnu::always_inline]] bool match_digits(Vals &v, std::uint64_t figs) {
    int nv = 0, nc = 0;
    const char *s = p.ptr + p.off;
    // Bytes 0 to 4 are figures and byte 5 is zero, so no pair up to the
    // fifth figure carries into the next: no mask needed.
    const std::uint64_t pairs = figs * 10 + (figs >> 8);
    // The first figure, when a literal, is P.lead, already seen.
    constexpr int from = P.lead != 0 && P.shape[0].piece[0].kind == PieceKind::literal ? 1 : 0;
    static_assert(from == 0 || (P.shape[0].piece[0].lit == P.lead && P.shape[0].piece[0].start == 0));
    return [&]<int... I>(std::integer_sequence<int, I...>) {
      return (piece<P.shape[0].piece[I + from], false>(s, figs, pairs, v, nv, nc) && ...);
    }(std::make_integer_sequence<int, P.shape[0].n - from>{});
  }

  template <ScanPattern P>
  [[gnu::always_inline]] bool match_groups(Vals &v, int n1, std::uint64_t figs) {
    int nv = 0, nc = 0;
    if (!pieces<P.shape[0]>(p.ptr + p.off, figs, v, nv, nc, std::make_integer_sequence<int, P.shape[0].n>{}))
      return false;
    if constexpr (P.groups == 2) {
      const char *second = p.ptr + p.off + n1;
      return pieces<P.shape[1]>(second, group_figs(second), v, nv, nc,
                                std::make_integer_sequence<int, P.shape[1].n>{});
    }
    return true;
  }

  // The scanner's own trace of pattern P at the position, where the group
  // was matched without it; nothing else of the decoding changes.
  template <ScanPattern P>
  void trace_scan() {
    if (!scan_trace) return;
    parse_param q = p;
    Vals scratch;
    scan_into<P>(&q, scratch, std::make_index_sequence<P.nstore>{});
  }

  // The text up to the next white space, at most `limit` characters, and
  // the blank after it: what "%s " gives. Returns what scanp would (1, 0
  // when there is no such text, -1 at the end) and sets len the same way;
  // `out`, when given, receives the text.
  [[gnu::noinline]] int word(int limit, char *out) {
    p.len = 0;
    if (p.off >= p.length) return -1;
    const char *s = p.ptr + p.off;
    const int avail = p.length - p.off;
    int n = 0;
    const int most = avail < limit ? avail : limit;
    while (n < most && !kSpace[static_cast<unsigned char>(s[n])]) ++n;
    if (n == 0) return 0;
    word_n = n;
    if (out) {
      for (int i = 0; i < n; ++i) out[i] = s[i];  // short: no string move
      out[n] = '\0';
    }
    while (n < avail && is_blank(s[n])) ++n;
    p.len = n;
    return 1;
  }

  // The usual section indicator: `ind` and one blank, then the next group.
  // Only on the padded copy, whose zeros after its end can be read.
  template <int n>
  [[gnu::always_inline]] bool mark_one_blank(const char *ind) {
    const char *s = p.ptr + p.off;
    if (std::memcmp(s, ind, static_cast<std::size_t>(n)) != 0 || s[n] != ' ' || is_blank(s[n + 1])) return false;
    p.len = n + 1;
    return true;
  }

  // A section indicator `ind` of `n` characters and a blank at the position.
  template <int n>
  bool mark(const char *ind) {
    const char *s = p.ptr + p.off;
    const int avail = p.length - p.off;
    if (avail <= n || std::memcmp(s, ind, static_cast<std::size_t>(n)) != 0) return false;
    int k = n;
    while (k < avail && is_blank(s[k])) ++k;
    p.len = k;
    return k > n;
  }

  // Traces a taken group with its label and steps past it.
  template <bool Fast = false>
  [[gnu::always_inline]] void take(const char *label) {
    if (!Fast && trace) [[unlikely]] trace_group(label);
    p.off += p.len;  // as scanp_inc
  }

  [[gnu::noinline, gnu::cold]] void trace_group(const char *label) {
    MESS_print(kTraceGroup, label, scanp_str(&p));
  }

  // Passes over a group its pattern did not take: a clean five-figure
  // group (digits and "/" only) that begins with the indicator `ind` (may be
  // empty) is one of the expected kind with a figure missing, so it is
  // stepped over, its fields left missing, rather than ending the section.
  // Anything else stays where it is.
  [[gnu::always_inline]] bool pass_over(std::string_view ind, const char *label) {
    return begins_with(ind) && pass_clean(label);
  }

  // True when the group at the position begins with `ind`: the test ends
  // at the first difference, the text's NUL at the latest. Inlined, it
  // costs nothing where the caller has just seen another first figure.
  [[gnu::always_inline]] bool begins_with(std::string_view ind) const {
    for (std::size_t i = 0; i < ind.size(); ++i)
      if (p.ptr[p.off + static_cast<int>(i)] != ind[i]) return false;
    return true;
  }

  // pass_over once the indicator is there.
  [[gnu::noinline]] bool pass_clean(const char *label) {
    const int n = clean_len();
    if (n == 0) return false;
    p.len = n;
    take(label);
    return true;
  }
};

// ---------------------------------------------------------------------------
// Tables of groups and the loop that walks them.

// What a row makes of a group its pattern matched.
enum class Use : char {
  no,     // not taken: the position stays
  keep,   // taken and stored, traced with the row's label
  other,  // taken and stored, traced with the row's other label
  drop,   // taken but not stored, traced with the row's "not kept" label
};

using When = bool (*)(const Decoder &);
using Accept = Use (*)(const Decoder &, const Vals &);
using Store = void (*)(Decoder &, const Vals &);
using Miss = void (*)(Decoder &, std::string_view indicator, const char *unkept);

// One group of a section: its scanner pattern P and what becomes of it.
template <ScanPattern P>
struct Group {
  static constexpr auto pattern = P;
  const char *label;             // trace of a taken group
  const char *other = nullptr;   // trace of a group taken in its other sense
  const char *unkept = nullptr;  // trace of a group passed over without its values
  When when = nullptr;           // the row is tried only when this holds
  Accept accept = nullptr;       // whether a matching group is taken (default: kept)
  Store store = nullptr;         // what a taken group gives, once it is passed over
  Miss miss = nullptr;           // what becomes of a group the pattern does not take
  int times = 1;                 // tried again while taken, at most this often
  int min_len = P.min_len;       // characters a taken group consumes at least
};

// What row I of a table does with the group at the position, which its
// pattern took (`taken`, values in `v`) or not. False when the row is done.
// `len`, when not 0, is the length of the taken group, known without traces
// (Fast): the position steps past it without p.len, which nothing reads
// before the next match sets it.
template <const auto &Rows, std::size_t I, bool Fast>
[[gnu::always_inline]] inline bool use_row(Decoder &d, bool taken, const Vals &v, int len = 0) {
  constexpr const auto &row = std::get<I>(Rows);
  constexpr const auto &P = std::remove_cvref_t<decltype(row)>::pattern;
  constexpr Accept accept = row.accept;
  constexpr Store store = row.store;
  constexpr Miss miss = row.miss;
  Use use = Use::no;
  if (taken) {
    if constexpr (accept != nullptr)
      use = accept(d, v);
    else
      use = Use::keep;
  }
  if (use == Use::no) {
    if constexpr (miss != nullptr)
      miss(d, std::string_view(P.ind, static_cast<std::size_t>(P.prefix)), row.unkept);
    return false;
  }
  if (Fast && len != 0)
    d.p.off += len;
  else
    d.take<Fast>(use == Use::keep ? row.label : use == Use::other ? row.other : row.unkept);
  if constexpr (store != nullptr) {
    if (use != Use::drop) store(d, v);
  }
  return true;
}

// Row I of a table. The row is a constant: its handlers are direct calls,
// inlined where they are small, and what it does not have costs nothing.
template <const auto &Rows, std::size_t I, bool Fast>
[[gnu::always_inline]] inline void try_row(Decoder &d) {
  constexpr const auto &row = std::get<I>(Rows);
  constexpr const auto &P = std::remove_cvref_t<decltype(row)>::pattern;
  constexpr When when = row.when;
  for (int k = 0; k < row.times; ++k) {
    if constexpr (when != nullptr) {
      if (!when(d)) return;
    }
    Vals v;
    if constexpr (Fast && P.form == ScanForm::groups && P.groups == 1) {
      // The usual group has no "/": matched and used in a copy of its own,
      // where the compiler knows that no value is missing.
      if constexpr (P.lead != 0) {
        if (!d.at(P.lead)) {
          use_row<Rows, I, Fast>(d, false, v);
          return;
        }
      }
      const std::uint64_t w = d.digits_word();
      int n = 6;
      if ((Decoder::is_digits_group(w) || (n = Decoder::last_digits_group(w)) != 0) && row.min_len <= 6) [[likely]] {
        if (!use_row<Rows, I, Fast>(d, d.match_digits<P>(v, w), v, n)) return;
        continue;
      }
    }
    if (!use_row<Rows, I, Fast>(d, d.fits<P, Fast>(v, row.min_len), v)) return;
  }
}

// Every row of a table (a tuple of groups) once, in order; `Fast` as for
// Decoder::fits (the walk then has no test of the mode per group).
template <const auto &Rows, bool Fast, std::size_t... I>
[[gnu::always_inline]] inline void walk_rows(Decoder &d, std::index_sequence<I...>) {
  (try_row<Rows, I, Fast>(d), ...);
}

template <const auto &Rows, bool Fast = false>
[[gnu::always_inline]] inline void walk(Decoder &d) {
  walk_rows<Rows, Fast>(d, std::make_index_sequence<std::tuple_size_v<std::remove_cvref_t<decltype(Rows)>>>{});
}

// ----- conditions -----------------------------------------------------------

bool is_ship(const Decoder &d) { return d.type == ReportType::ship; }
bool no_visibility_yet(const Decoder &d) { return !d.vis_taken; }
bool no_max_yet(const Decoder &d) { return miss(d.r->max_t); }

// ----- what is done with groups not taken ------------------------------------

// From the wind group on every group of section 1 begins with its own
// indicator figure, so one that does not fit its pattern (a figure reported
// as "/", an undefined sign) is known by that figure and passed over
// instead of ending the section. Before the position is past Nddff a group
// cannot be told apart.
[[gnu::always_inline]] inline void pass_by_figure(Decoder &d, std::string_view ind, const char *unkept) {
  if (d.by_figure) d.pass_over(ind, unkept);
}

// Nddff has no indicator: any clean group right after iRixhVV is it.
void pass_wind(Decoder &d, std::string_view ind, const char *unkept) {
  d.by_figure = d.vis_taken && d.pass_over(ind, unkept);
}

// A 2-group with another sign figure is passed over; but 222 opens the
// ship section.
[[gnu::always_inline]] inline void pass_unless_222(Decoder &d, std::string_view ind, const char *unkept) {
  if (d.by_figure && d.begins_with(ind) && !(d.peek(1) == '2' && d.peek(2) == '2')) d.pass_clean(unkept);
}

void put_weather(Decoder &d, int ww) {
  if (d.wawa)
    SYN_auto_weather(ww, d.r->weather);
  else
    SYN_weather(ww, d.r->weather);
}

// W1W2 is not used: a "/" there does not cost the present weather.
[[gnu::noinline]] void salvage_clean_weather(Decoder &d, std::string_view ind, const char *unkept);

[[gnu::always_inline]] inline void salvage_weather(Decoder &d, std::string_view ind, const char *unkept) {
  if (d.by_figure && d.at('7')) salvage_clean_weather(d, ind, unkept);
}

void salvage_clean_weather(Decoder &d, std::string_view ind, const char *unkept) {
  if (d.clean_len() == 0) return;
  const char *g = d.p.ptr + d.p.off;
  const bool digits = is_digit(g[1]) && is_digit(g[2]);
  if (digits || (g[1] == '/' && g[2] == '/')) {
    put_weather(d, digits ? (g[1] - '0') * 10 + (g[2] - '0') : kMissI);
    d.pass_over(ind, "7wwWW: %5.5s\n");
  } else {
    d.pass_over(ind, unkept);
  }
}

// ----- identification of ships ------------------------------------------------

void ship_time(Decoder &d, const Vals &v) {
  d.r->time = miss(v.i[1]) ? kMissI : v.i[1] * 100;
  d.iw = wind_unit(v.i[2], d.iw);
}

void ship_position(Decoder &d, const Vals &v) {
  SFC_report *r = d.r;
  const int la = v.i[0], q = v.i[1], lo = v.i[2];
  // A missing half of the position stays missing rather than -999.9.
  r->lat = miss(la) ? kMissF : on_globe(static_cast<float>(la) / 10.0f, 90.0f);
  r->lon = miss(lo) ? kMissF : on_globe(static_cast<float>(lo) / 10.0f, 180.0f);
  if (!miss(r->lat) && (q == 3 || q == 5)) r->lat = -r->lat;
  if (!miss(r->lon) && !miss(q) && q > 4) r->lon = -r->lon;
  r->wmo = 99999;
  r->elev = 0.0f;
  r->prior = 4;
}

constexpr std::tuple kShipIdent{
    Group<"%2!//!d%2!//!d%1!/!d ">{.label = "YYGGI: %5.5s\n", .store = ship_time},
    Group<"99%3!///!d %1!/!d%4!////!d ">{.label = "99LLL QLLLL: %11.11s\n", .store = ship_position},
};

// ----- section 1 ----------------------------------------------------------------

// 1860 says whether the station is automatic (type bit 16) and in which
// code it reports its weather.
void station_and_visibility(Decoder &d, int ix, int h, float vis) {
  d.vis_taken = true;
  const code_tables::StationTypeRow st = station_type(ix);
  if (st.automatic) d.r->type |= 16;
  d.wawa = st.weather == code_tables::WeatherCode::wawa_4680;
  d.r->cld_height[0] = SYN_ceiling(h);
  d.r->vis = vis;
}

void ship_visibility(Decoder &d, const Vals &v) {
  station_and_visibility(d, v.i[1], v.i[2], miss(v.i[3]) ? kMissF : SYN_visibility(90 + v.i[3]));
}

void land_visibility(Decoder &d, const Vals &v) {
  station_and_visibility(d, v.i[1], v.i[2], miss(v.i[3]) ? kMissF : SYN_visibility(v.i[3]));
}

// Inlined: where the group had no "/", the tests of missing values fold away.
[[gnu::always_inline]] inline void cloud_and_wind(Decoder &d, const Vals &v) {
  SFC_report *r = d.r;
  const char n = v.c[0];
  if (n == '/') {
    r->cld_cover[0] = ' ';
    r->cld_height[0] = kMissF;
  } else {
    r->cld_cover[0] = n;
    if (n < '2') r->cld_height[0] = kMissF;  // clear or one okta: no base to speak of
    r->num_cld = 1;
  }
  store_wind(r, v.i[0], v.i[1], d.iw);
  d.by_figure = d.vis_taken;
}

void high_wind(Decoder &d, const Vals &v) {
  if (!miss(v.i[0])) d.r->w_spd = knots(v.i[0], d.iw);
}

void air_temperature(Decoder &d, const Vals &v) {
  d.t_c = celsius(v.i[0] == 1, v.i[1], v.i[2]);
  d.r->t = to_fahrenheit(d.t_c);
}

// 2snTdTdTd, or 29UUU (relative humidity) turned into a dew point.
Use dew_or_humidity(const Decoder &, const Vals &v) {
  return v.i[0] <= 1 ? Use::keep : v.i[0] == 9 ? Use::other : Use::no;
}

Use dew_only(const Decoder &, const Vals &v) { return v.i[0] <= 1 ? Use::keep : Use::no; }

// A relative humidity UUU (29UUU) with the air temperature gives the dew point.
[[gnu::noinline]] void dew_from_humidity(Decoder &d, int b, int c) {
  const int rh = (miss(b) || miss(c) || b < 0) ? kMissI : b * 10 + c;
  if (!miss(d.t_c) && !miss(rh) && rh <= 100) {
    const float dew_k = dew_temp(d.t_c + 273.15f, static_cast<float>(rh));
    if (!miss(dew_k) && dew_k > 0.0f) d.r->td = to_fahrenheit(dew_k - 273.15f);
  }
}

void dew_point(Decoder &d, const Vals &v) {
  if (v.i[0] <= 1)
    d.r->td = to_fahrenheit(celsius(v.i[0] == 1, v.i[1], v.i[2]));
  else
    dew_from_humidity(d, v.i[1], v.i[2]);
}

// Out of range (and the 4a3hhh height groups of high stations) means missing.
void land_pressure(Decoder &d, const Vals &v) {
  float pmb = kMissF;
  if (!miss(v.i[0])) {
    pmb = sea_level_pressure(v.i[0], v.i[1]);
    if (pmb < 900.0f || pmb >= 1090.0f) pmb = kMissF;
  }
  d.r->pmb = pmb;
}

void tendency(Decoder &d, const Vals &v) {
  d.r->ptend_t = v.i[0];
  d.r->ptend = pressure_change(v.i[0], v.i[1], v.i[2]);
}

void precipitation(Decoder &d, const Vals &v) { store_precip(d.r, v.i[0], v.i[1]); }

void present_weather(Decoder &d, const Vals &v) { put_weather(d, v.i[0]); }

void cloud_types(Decoder &d, const Vals &v) {
  char cl[4];
  for (int i = 0; i < 4; ++i) cl[i] = v.c[i] == '/' ? '-' : v.c[i];
  SFC_report *r = d.r;  // once: a character stored may be anything, d.r too
  r->cld_low = cl[0];
  r->cld_type[0] = cl[1];
  r->cld_type[1] = cl[2];
  r->cld_type[2] = cl[3];
}

// Exact time of observation; minutes only with their hour.
void exact_time(Decoder &d, const Vals &v) {
  if (miss(v.i[0])) return;
  d.r->time = v.i[0] * 100;
  if (!miss(v.i[1])) d.r->time += v.i[1];
}

constexpr std::tuple kSection1{
    // iRixhVV: a ship may give its visibility in the sea code 90..99.
    Group<"%1d%1d%1!/!d9%1!/!d ">{.label = "S-iihVV: %5.5s\n", .when = is_ship, .store = ship_visibility},
    Group<"%1d%1d%1!/!d%2!//!d ">{.label = "iihVV: %5.5s\n", .when = no_visibility_yet, .store = land_visibility},
    Group<"%1c%2!//!d%2!//!d ">{.label = "Nddff: %5.5s\n", .unkept = "Nddff (not kept): %5.5s\n",
                               .store = cloud_and_wind, .miss = pass_wind},
    Group<"00%3!///!d ">{.label = "00fff: %5.5s\n", .unkept = "00fff (not kept): %5.5s\n",
                        .store = high_wind, .miss = pass_by_figure},
    Group<"1%1!/!d%2!//!d%1!/!d ">{.label = "1sTTT: %5.5s\n", .unkept = "1sTTT (not kept): %5.5s\n",
                                  .store = air_temperature, .miss = pass_by_figure},
    Group<"2%1!/!d%2!//!d%1!/!d ">{.label = "2sTTT: %5.5s\n", .other = "29UUU: %5.5s\n",
                                  .unkept = "2sTTT (not kept): %5.5s\n", .accept = dew_or_humidity,
                                  .store = dew_point, .miss = pass_unless_222},
    Group<"3%3!///!d%1!/!d ">{.label = "3PPPP: %5.5s\n", .unkept = "3PPPP (not kept): %5.5s\n",
                             .miss = pass_by_figure},
    Group<"4%3!///!d%1!/!d ">{.label = "4PPPP: %5.5s\n", .unkept = "4PPPP (not kept): %5.5s\n",
                             .store = land_pressure, .miss = pass_by_figure},
    Group<"5%1!/!d%2!//!d%1!/!d ">{.label = "5appp: %5.5s\n", .unkept = "5appp (not kept): %5.5s\n",
                                  .store = tendency, .miss = pass_by_figure},
    Group<"6%3!///!d%1!/!d ">{.label = "6RRRt: %5.5s\n", .unkept = "6RRRt (not kept): %5.5s\n",
                             .store = precipitation, .miss = pass_by_figure},
    Group<"7%2!//!d%2!//!d ">{.label = "7wwWW: %5.5s\n", .unkept = "7wwWW (not kept): %5.5s\n",
                             .store = present_weather, .miss = salvage_weather},
    // Any five figures fit 8NhCLCMCH: nothing to pass over.
    Group<"8%1c%1c%1c%1c ">{.label = "8NCCC: %5.5s\n", .store = cloud_types},
    Group<"9%2!//!d%2!//!d ">{.label = "9GGgg: %5.5s\n", .unkept = "9GGgg (not kept): %5.5s\n",
                             .store = exact_time, .miss = pass_by_figure},
};

// ----- section 2 (ships), shared with the buoy decoder ---------------------------

void open_section2(Decoder &d, const Vals &) { d.group = 2; }

void sea_temperature(Decoder &d, const Vals &v) {
  d.r->sst = celsius(sst_negative(v.i[0]), v.i[1], v.i[2]);
}

void wind_waves(Decoder &d, const Vals &v) {
  if (!miss(v.i[0])) d.r->wav_per = static_cast<float>(v.i[0]);
  if (!miss(v.i[1])) d.r->wav_hgt = static_cast<float>(v.i[1]) / 2.0f;  // half metres
}

void wave_height(Decoder &d, const Vals &v) {
  if (!miss(v.i[0])) d.r->wav_hgt = static_cast<float>(v.i[0]) / 10.0f;  // tenths of a metre
}

constexpr std::tuple kSection2Mark{
    Group<"%*(222)%*2!//!d ">{.label = "222: %5.5s\n", .store = open_section2},
};

// The groups of section 2, walked once "222" has opened it.
constexpr std::tuple kSection2{
    Group<"0%1!/!d%2!//!d%1!/!d ">{.label = "0sTTT: %5.5s\n", .store = sea_temperature},
    Group<"1%*4s ">{.label = "1PPHH: %5.5s\n"},
    Group<"2%2!//!d%2!//!d ">{.label = "2PPHH: %5.5s\n", .store = wind_waves},
    Group<"3%*4s ">{.label = "3dddd: %5.5s\n"},
    Group<"4%*4s ">{.label = "4PPHH: %5.5s\n"},
    Group<"5%*4s ">{.label = "5PPHH: %5.5s\n"},
    Group<"6%*4s ">{.label = "6IEER: %5.5s\n"},
    Group<"70%3!///!d ">{.label = "70HHH: %5.5s\n", .store = wave_height},
};

template <bool Fast>
[[gnu::noinline]] void decode_section2_groups(Decoder &d) { walk<kSection2, Fast>(d); }

template <bool Fast = false>
[[gnu::always_inline]] inline void decode_section2(Decoder &d) {
  walk<kSection2Mark, Fast>(d);
  if (d.group == 2) decode_section2_groups<Fast>(d);
}

// ----- section 3 (regional) ------------------------------------------------------

// Passes over every group up to "333" (or to the end of the text). True
// when it stopped at "333", whose match (p.len) is then at hand.
template <bool Fast>
bool search_section3(Decoder &d) {
  Vals v;
  while (!d.fits<"%*(333) ", Fast>(v, 4)) {
    if (!d.fits<"%*s ", Fast>(v, 1)) return false;
    d.take<Fast>("-->333: %5.5s\n");
  }
  return true;
}

void open_section3(Decoder &d, const Vals &) { d.group = 3; }

// 1snTxTxTx. Stations whose identifier begins with 17 report another
// quantity in this group at 0000 and 1200: it is passed over, not kept.
Use maximum_or_other(const Decoder &d, const Vals &) {
  const SFC_report *r = d.r;
  return (r->id[0] == '1' && r->id[1] == '7' && (r->time == 0 || r->time == 1200)) ? Use::drop
                                                                                    : Use::keep;
}

[[gnu::always_inline]] inline void maximum(Decoder &d, const Vals &v) {
  d.r->max_t = to_fahrenheit(celsius(v.i[0] == 1, v.i[1], v.i[2]));
}

Use not_humidity(const Decoder &, const Vals &v) { return v.i[0] != 9 ? Use::keep : Use::no; }

[[gnu::always_inline]] inline void minimum(Decoder &d, const Vals &v) {
  d.r->min_t = to_fahrenheit(celsius(v.i[0] == 1, v.i[1], v.i[2]));
}

void snow_depth(Decoder &d, const Vals &v) {
  if (!miss(v.i[1])) d.r->scover = static_cast<float>(v.i[1] / 2.54);  // cm to inches
}

// Radiation groups after 55SSS or 553SS: 0FFFF..5FFFF in rising order, then
// 6FFFF groups as long as another 6-group (the precipitation one) follows.
// A further 55-group is the next sunshine period (55SSS then 553SS) with
// radiation groups of its own; "/////" is a radiation group not reported.
void skip_radiation(Decoder &d) {
  int prev = -1;
  Vals v;
  while (true) {
    if (d.fast) {
      // No radiation group begins otherwise; nothing to trace either.
      const char c = d.p.ptr[d.p.off];
      if ((c < '0' || c > '6') && c != '/') return;
    }
    if (!d.fits<"%s ">(v, 1)) return;
    const char *g = v.s;
    const std::size_t len = d.direct ? static_cast<std::size_t>(d.word_n) : std::strlen(g);
    if (len != 5) return;  // "555", "333" and odd groups end it
    const int fig = g[0] - '0';
    if (g[0] == '5' && g[1] == '5') {
      prev = -1;
    } else if (std::memcmp(g, "/////", 5) == 0) {
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

// True when a radiation group may follow: in fast mode none begins
// otherwise (skip_radiation's own first test, made before its call).
bool radiation_may_follow(const Decoder &d) {
  if (!d.fast) return true;
  const char c = d.p.ptr[d.p.off];
  return (c >= '0' && c <= '6') || c == '/';
}

void sunshine(Decoder &d, const Vals &v) {
  if (v.i[0] == 5 && radiation_may_follow(d)) skip_radiation(d);  // 55SSS, 553SS
}

[[gnu::always_inline]] inline void day_precipitation(Decoder &d, const Vals &v) {
  if (v.i[0] == 9999)
    d.r->rain24 = 0.0f;  // trace
  else
    d.r->rain24 = miss(v.i[0]) ? kMissF : static_cast<float>(v.i[0] / 254.0);  // tenths of mm
}

constexpr std::tuple kSection3Mark{
    Group<"%*(333) ">{.label = "333: %3.3s\n", .store = open_section3},
};

// The groups of section 3, walked once "333" has opened it.
constexpr std::tuple kSection3{
    Group<"0%*4s ">{.label = "0....: %5.5s\n"},
    Group<"1%1!/!d%2!//!d%1!/!d ">{.label = "1sTTT: %5.5s\n", .unkept = "1sTTT (not kept): %5.5s\n",
                                  .accept = maximum_or_other, .store = maximum},
    Group<"2%1!/!d%2!//!d%1!/!d ">{.label = "2sTTT: %5.5s\n",
                                  .accept = not_humidity, .store = minimum},
    // The maximum may follow the minimum.
    Group<"1%1!/!d%2!//!d%1!/!d ">{.label = "1sTTT: %5.5s\n", .unkept = "1sTTT (not kept): %5.5s\n",
                                  .when = no_max_yet, .accept = maximum_or_other, .store = maximum},
    Group<"3%*4s ">{.label = "3Ejjj: %5.5s\n"},
    Group<"4%1!/!d%3!///!d ">{.label = "4Esss: %5.5s\n", .store = snow_depth},
    // Five-figure groups only: "555" is the next section, not a 5-group.
    Group<"5%1!/!d%*s ">{.label = "5.... (.....): %5.5s\n", .store = sunshine,
                        .times = 5},
    Group<"6%3!///!d%1!/!d ">{.label = "6RRRt: %5.5s\n", .store = precipitation},
    Group<"7%4!////!d ">{.label = "7RRRR: %5.5s\n", .store = day_precipitation},
};

// `at_mark`: search_section3 stopped at "333". Without traces its match
// is taken as it is rather than made again; with them the row matches it
// anew, so that the scanner's trace shows as it always has.
template <bool Fast>
[[gnu::always_inline]] inline void decode_section3(Decoder &d, bool at_mark) {
  if constexpr (Fast) {
    if (!at_mark) return;  // the mark was tried where the search stopped
    use_row<kSection3Mark, 0, Fast>(d, true, Vals{});
  } else {
    walk<kSection3Mark, Fast>(d);
  }
  if (d.group == 3) walk<kSection3, Fast>(d);
}

// ----- section 5 -----------------------------------------------------------------

void open_section5(Decoder &d, const Vals &) { d.group = 5; }

constexpr std::tuple kSection5{
    Group<"%*(555) ">{.label = "555: %3.3s\n", .store = open_section5},
};

// ----- drifting buoys --------------------------------------------------------------

void buoy_time(Decoder &d, const Vals &v) {
  if (!miss(v.i[0])) {
    d.r->time = v.i[0] * 100;
    if (!miss(v.i[1])) d.r->time += v.i[1];
  }
  d.iw = wind_unit(v.i[2], d.iw);
}

// QcLaLaLaLaLa, then LoLoLoLoLoLo; the quadrant is applied once both are read.
void buoy_latitude(Decoder &d, const Vals &v) {
  d.quadrant = v.i[0];
  if (!miss(v.i[1]))
    d.r->lat = on_globe(static_cast<float>(v.i[1] / 100.0 + (miss(v.i[2]) ? 0.0 : v.i[2] / 1000.0)), 90.0f);
}

void buoy_longitude(Decoder &d, const Vals &v) {
  SFC_report *r = d.r;
  if (!miss(v.i[0]))
    r->lon = on_globe(static_cast<float>(v.i[0] / 100.0 + (miss(v.i[1]) ? 0.0 : v.i[1] / 1000.0)), 180.0f);
  // Without a latitude group there is no quadrant: signs stay as read.
  if (!miss(d.quadrant)) {
    if (!miss(r->lat) && (d.quadrant == 3 || d.quadrant == 5)) r->lat = -r->lat;
    if (!miss(r->lon) && d.quadrant > 4) r->lon = -r->lon;
  }
}

void open_buoy_section1(Decoder &d, const Vals &) { d.group = 1; }

void buoy_wind(Decoder &d, const Vals &v) { store_wind(d.r, v.i[0], v.i[1], d.iw); }

// A buoy's pressure has no range test.
void buoy_pressure(Decoder &d, const Vals &v) {
  if (!miss(v.i[0])) d.r->pmb = sea_level_pressure(v.i[0], v.i[1]);
}

constexpr std::tuple kBuoy{
    Group<"%s ">{.label = "YYMMJ: %5.5s\n", .min_len = 4},
    Group<"%2!//!d%2!//!d%1!/!d ">{.label = "GGggI: %5.5s\n", .store = buoy_time},
    Group<"%1!/!d%4!////!d%1!/!d ">{.label = "QLLLLL: %6.6s\n", .store = buoy_latitude},
    Group<"%5!////!d%1!/!d ">{.label = "LLLLLL: %6.6s\n", .store = buoy_longitude},
    Group<"6%s ">{.label = "6QQ//: %5.5s\n", .min_len = 6},
    Group<"111%*2!//!d ">{.label = "111QQ: %5.5s\n", .store = open_buoy_section1},
    Group<"0%2!//!d%2!//!d ">{.label = "Nddff: %5.5s\n", .store = buoy_wind},
    Group<"1%1!/!d%2!//!d%1!/!d ">{.label = "1sTTT: %5.5s\n", .store = air_temperature},
    Group<"2%1!/!d%2!//!d%1!/!d ">{.label = "2sTTT: %5.5s\n", .accept = dew_only, .store = dew_point},
    Group<"3%*4s ">{.label = "3PPPP: %5.5s\n"},
    Group<"4%3!///!d%1!/!d ">{.label = "4PPPP: %5.5s\n", .store = buoy_pressure},
    Group<"5%1!/!d%2!//!d%1!/!d ">{.label = "5appp: %5.5s\n", .store = tendency},
};

// ---------------------------------------------------------------------------

// `padded`: the text already has its zeros after it and is read in place.
[[gnu::always_inline]] inline void start(Decoder &d, const char *data, int len, SFC_report *report,
                                         ReportType type, bool padded) {
  d.r = report;
  d.type = type;
  const M_type level = MESS_get();
  d.trace = (level & kTraceGroup) != 0;
  d.trace_id = (level & kTraceIdent) != 0;
  d.scan_trace = (level & kTraceScan) != 0;
  d.direct = direct_matching;
  // As scanp_set, without a call: the text is never null here.
  d.p = parse_param{data, len, 0, 0, 0, 0, 0};
  if (padded)
    d.padded = true;
  else
    d.copy_padded();
  d.fast = d.padded && d.direct && !d.scan_trace;
}

void trace_left(const Decoder &d) {
  if (d.trace) MESS_print(kTraceGroup, "LEFT: %s\n", d.p.ptr + d.p.off);
}

// An identifier into the `size` bytes at `dst`, as tv::copy_text; the usual
// five characters in fixed moves.
void copy_ident(char *dst, std::size_t size, std::string_view id) {
  if (id.size() == 5 && size > 5) {
    std::memcpy(dst, id.data(), 5);
    dst[5] = '\0';
  } else {
    tv::copy_text(dst, size, id);
  }
}

bool identify_text(Decoder &d);

// Ships and platforms: their area, then their time and position groups.
[[gnu::noinline]] void identify_ship(Decoder &d) {
  tv::copy_text(d.r->area, std::string_view(d.type == ReportType::ship ? "SH" : "BU", 2));
  walk<kShipIdent>(d);
}

// The first group: the identifier, its WMO number and the record's class.
// Inlined into the one call per report; the rarer forms are calls.
[[gnu::always_inline]] inline bool identify(Decoder &d) {
  SFC_report *r = d.r;
  if (d.fast && (d.type == ReportType::land || d.type == ReportType::coastal) && d.digits_group()) {
    // The usual station number: five digits, read as a group is.
    const std::uint64_t figs = d.figs_padded();
    r->wmo = field_value<0, 5>(figs, figure_pairs(figs));
    std::memcpy(r->id, d.p.ptr, 5);
    r->id[5] = '\0';
    d.p.len = 6;
  } else if (!identify_text(d)) {
    return false;
  }
  if (d.trace_id) MESS_print(kTraceIdent, "ID/Abnnn: %s\n", r->id);
  d.p.off += d.p.len;  // as scanp_inc

  r->type = 1;
  r->time = SYN_get_prhour();
  tv::copy_text(r->area, std::string_view(d.type == ReportType::coastal ? "CM" : "LA", 2));
  if (d.type == ReportType::land || d.type == ReportType::coastal) {
    // Land and coastal stations give their wind unit on the section line.
    const int iw = SYN_get_iw();
    d.iw = (iw == 0 || iw == 1) ? 2 : 1;
  }
  if (d.type == ReportType::ship || d.type == ReportType::numeric_ship) identify_ship(d);
  return true;
}

// The identifier of identify in any other form; false when there is none.
[[gnu::noinline]] bool identify_text(Decoder &d) {
  SFC_report *r = d.r;
  Vals v;
  v.s[0] = '\0';
  if (!d.fits<"%<40s ">(v, 4)) {
    if (d.trace_id) MESS_print(kTraceIdent, "Invalid ident: %s\n", v.s);
    return false;
  }
  const char *ident = v.s;
  // Matched directly, the text's length is known.
  const std::string_view id_text = d.direct ? std::string_view(ident, static_cast<std::size_t>(d.word_n))
                                            : std::string_view(ident);
  if (d.type == ReportType::numeric_ship || d.type == ReportType::ship) {
    r->id[0] = d.type == ReportType::numeric_ship ? 'b' : 's';
    copy_ident(r->id + 1, sizeof r->id - 1, id_text);
    r->wmo = 99999;
  } else {
    // Five figures, the usual station number, are read as a group is.
    const bool figures = d.direct && d.clean_len() > 0 && ((d.figs() >> 4) & 0x0101010101ULL) == 0;
    r->wmo = figures ? field_value<0, 5>(d.figs(), figure_pairs(d.figs())) : leading_number(ident);
    copy_ident(r->id, sizeof r->id, id_text);
  }
  return true;
}

// Sections 1 to 5 of a land, ship or coastal report; `Fast` as for
// Decoder::fits, chosen once per report.
template <bool Fast>
[[gnu::always_inline]] inline void decode_sections(Decoder &d) {
  d.group = 1;
  walk<kSection1, Fast>(d);
  decode_section2<Fast>(d);
  decode_section3<Fast>(d, search_section3<Fast>(d));
  walk<kSection5, Fast>(d);
}

// The same with the mode and the traces tested at every group, apart.
[[gnu::noinline]] void decode_sections_tested(Decoder &d) { decode_sections<false>(d); }

int decode(const char *data, int len, ReportType type, SFC_report *report, bool padded) {
  if (data == nullptr || report == nullptr) return 0;
  Decoder d;
  start(d, data, len, report, type, padded);
  if (!identify(d)) return 0;
  if (type == ReportType::drifter) {
    if (d.trace) MESS_print(kTraceGroup, "DRIBU\n");
    return SYN_decode_dribu(data, report);
  }
  if (d.fast && !d.trace)
    decode_sections<true>(d);
  else
    decode_sections_tested(d);
  trace_left(d);
  return 1;
}

int decode_dribu(const char *data, SFC_report *report) {
  if (data == nullptr || report == nullptr) return 1;
  Decoder d;
  start(d, data, static_cast<int>(std::strlen(data)), report, ReportType::drifter, false);
  SFC_report *r = report;
  tv::copy_text(r->id, "DRIBU");
  r->type = 1;
  r->time = SYN_get_prhour();
  tv::copy_text(r->area, "DR");
  r->wmo = 99999;
  r->elev = 0.0f;
  r->prior = 4;
  d.iw = 1;
  walk<kBuoy>(d);
  decode_section2(d);
  trace_left(d);
  return 1;
}

}  // namespace dec
}  // namespace

int SYN_weather(int wx, char *wx_str) { return WX_wmo_weather(wx, wx_str); }

int SYN_auto_weather(int wx, char *wx_str) {
  const char *s = (wx >= 0 && wx <= 99) ? dec::kWawaText[static_cast<std::size_t>(wx)] : " ";
  tv::copy_text(wx_str, 7, s);
  return 0;
}

float SYN_visibility(int vis) {
  if (vis < 0) return static_cast<float>(vis) / 16.0f;  // as the tenths of a kilometre
  return vis <= 99 ? dec::kVisMiles[static_cast<std::size_t>(vis)] : tv::kMissFloat;
}

float SYN_ceiling(int cb) {
  return (cb >= 0 && cb <= 9) ? dec::kCloudBase[static_cast<std::size_t>(cb)] : tv::kMissFloat;
}

int SYN_decode(const char *data, ReportType type, SFC_report *report) {
  return dec::decode(data, data ? static_cast<int>(std::strlen(data)) : 0, type, report, false);
}

int SYN_decode_text(const char *data, int len, ReportType type, SFC_report *report) {
  // A length that does not end the text is not trusted.
  if (data && (len < 0 || len > kSynDataMax || data[len] != '\0')) len = static_cast<int>(std::strlen(data));
  return dec::decode(data, len, type, report, false);
}

int SYN_decode_in_place(char (&text)[kSynTextRoom], int len, ReportType type, SFC_report *report) {
  if (len < 0 || len > kSynDataMax || text[len] != '\0') {
    // Measured up to the longest text; one longer is cut there.
    const void *end = std::memchr(text, '\0', kSynDataMax);
    len = end ? static_cast<int>(static_cast<const char *>(end) - text) : kSynDataMax;
    text[len] = '\0';
  }
  // What was there from a longer text before: the padding's zeros, in a few stores.
  std::memset(text + len, 0, kSynTextPad);
  return dec::decode(text, len, type, report, true);
}

int SYN_decode_dribu(const char *data, SFC_report *report) {
  return dec::decode_dribu(data, report);
}

void SYN_set_direct_matching(bool on) { direct_matching = on; }
