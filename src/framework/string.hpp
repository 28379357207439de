// String and line utilities working in place on NUL-terminated texts.
// Named string.hpp so that it can never shadow the C library's <string.h>.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

// Character tests and bounded copies shared by every layer: ASCII only, so
// that no locale can change what a bulletin or a resource means.
namespace tv {

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool is_letter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr char to_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal texts; `text` beginning with `head`: both ignore the case of ASCII
// letters.
constexpr bool iequal(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (to_lower(a[i]) != to_lower(b[i])) return false;
  return true;
}
constexpr bool ibegins(std::string_view text, std::string_view head) noexcept {
  return text.size() >= head.size() && iequal(text.substr(0, head.size()), head);
}

// Copies `src` into the `size`-byte buffer `dst` as a NUL-terminated text,
// cut to size - 1 characters; `src` may lie inside `dst`. Returns the
// characters copied (fewer than src.size() when cut); writes nothing when
// `size` is 0.
inline std::size_t copy_text(char *dst, std::size_t size, std::string_view src) noexcept {
  if (size == 0) return 0;
  const std::size_t n = src.size() < size ? src.size() : size - 1;
  if (n > 0) std::memmove(dst, src.data(), n);
  dst[n] = '\0';
  return n;
}
// The same from a NUL-terminated text, read once (no length measured first:
// the decoders copy short identifiers per report). `src` may lie inside
// `dst` at or after its start.
inline std::size_t copy_text(char *dst, std::size_t size, const char *src) noexcept {
  if (size == 0) return 0;
  std::size_t n = 0;
  for (; n + 1 < size && src[n] != '\0'; ++n) dst[n] = src[n];
  dst[n] = '\0';
  return n;
}
template <std::size_t N>
std::size_t copy_text(char (&dst)[N], std::string_view src) noexcept {
  return copy_text(dst, N, src);
}
template <std::size_t N>
std::size_t copy_text(char (&dst)[N], const char *src) noexcept {
  return copy_text(dst, N, src);
}

}  // namespace tv

int stricmp(const char *s1, const char *s2);
int strnicmp(const char *s1, const char *s2, int n);
int parse_string(const char *string, char delim, int *argc, char ***argv);
int free_parsed_array(int argc, char **argv);
int fill_string(char *string, char tar, char fill);
int strip_string(char *string, char tar);
int trim_string(char *string);
int trim_cr_string(char *string);
int wstrim_string(char *string);
int strip_escape(char *string);
int low_string(char *string);
int string_is_num(const char *string);
int string_is_num_len(const char *string, int len);
int clean_line(unsigned char *line);
int strmcat(char *s1, const char *s2, int m);
int fgetnline(FILE *ifile, char *string, int len);
int fgetstring(FILE *ifile, char *string, int len);

// Numbers written as printf writes them, straight into [p, end): at most
// end - p bytes and no terminator; a number that does not fit is cut where
// the room ends. Both return the end of what was written. They cost no
// format parsing and no allocation: records of many thousand reports are
// written with them.
//
// As "%<width>.<prec>f" of `v` (any double, any precision >= 0; below 0
// counts as 6, as printf's default).
inline char *str_put_fixed(char *p, char *end, double v, int width, int prec);
// As "%<width>.<prec>d" of `v` (prec < 0: none), or "%0<width>d" when
// `zero_pad` and no precision is given.
char *str_put_int(char *p, char *end, long long v, int width, int prec = -1, bool zero_pad = false);

namespace str_detail {

// Two-figure pairs "00" to "99", for writing numbers two figures a step.
inline constexpr auto kPairs = [] {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

// "." and the P (1 to 3) figures of the fraction `fp` (below 10^P) at `p`.
template <int P>
[[gnu::always_inline]] inline char *put_fraction(char *p, std::size_t fp) {
  static_assert(P >= 1 && P <= 3);
  *p = '.';
  if constexpr (P == 3) {
    p[1] = static_cast<char>('0' + fp / 100);
    std::memcpy(p + 2, &kPairs[2 * (fp % 100)], 2);
  } else if constexpr (P == 2) {
    std::memcpy(p + 1, &kPairs[2 * fp], 2);
  } else {
    p[1] = static_cast<char>('0' + fp);
  }
  return p + P + 1;
}

// The figures of 0 to 999 each in one little-endian word, without leading
// zeros, and their count in the top byte: a number below 1000 (most of a
// record's) costs one load.
inline constexpr auto kSmall = [] {
  std::array<std::uint32_t, 1000> t{};
  for (std::uint32_t v = 0; v < 1000; ++v) {
    const std::uint32_t nf = v >= 100 ? 3 : v >= 10 ? 2 : 1;
    std::uint32_t w = 0;
    std::uint32_t x = v;
    for (std::uint32_t i = nf; i-- > 0; x /= 10) w |= ('0' + x % 10) << (8 * i);
    t[v] = w | nf << 24;
  }
  return t;
}();

// The room the short way may use: a pad of up to 8, a sign, 20 figures or
// 14 and 3 of a fraction, and the whole words it stores.
inline constexpr std::ptrdiff_t kFastRoom = 40;
inline constexpr int kFastPad = 8;

// The short way's range for P decimals: below it |v| * 10^P stays under
// 2^51, where every half-integer is a double.
template <int P>
inline constexpr double kFastLimit = P == 3 ? 1e12 : 1e13;

// Figures of `v` before `end`, for numbers of five figures or more.
void put_figures(char *end, std::uint64_t v);
int count_figures(std::uint64_t v);
// The rounding of a product that landed on a tie (see scaled_round).
std::int64_t round_tie(double a, double k, double s);
// The long ways: any value, precision, width and room.
char *fixed_any(char *p, char *end, double v, int width, int prec);
char *int_any(char *p, char *end, long long v, int width, int prec, bool zero_pad);

// |v| * 10^P rounded to an integer as printf rounds "%.Pf": to nearest on
// the exact binary value, ties to the even neighbour. Adding 2^52 rounds
// the product so (the spacing of doubles there is 1). The product itself is
// rounded, but never across a half-integer (those are doubles here): only a
// product that lands on one needs the exact residual to decide, and for
// P = 0 there is no product at all.
template <int P>
[[gnu::always_inline]] inline std::int64_t scaled_round(double a) {
  constexpr double k = P == 0 ? 1.0 : P == 1 ? 10.0 : P == 2 ? 100.0 : 1000.0;
  constexpr double kTwo52 = 4503599627370496.0;
  const double s = a * k;
  const double r = s + kTwo52;
  std::int64_t q = std::bit_cast<std::int64_t>(r) - std::bit_cast<std::int64_t>(kTwo52);
  if constexpr (P > 0) {
    const double d = (r - kTwo52) - s;
    if (d == 0.5 || d == -0.5) [[unlikely]] q = round_tie(a, k, s);
  }
  return q;
}

// The figures of `v` (below 10000) in one little-endian word, leading
// zeros shifted out, and their count in `nf`: the length costs no branch.
[[gnu::always_inline]] inline std::uint32_t figure_word(std::uint32_t v, int &nf) {
  std::uint16_t hi, lo;
  std::memcpy(&hi, &kPairs[2 * (v / 100)], 2);
  std::memcpy(&lo, &kPairs[2 * (v % 100)], 2);
  const std::uint32_t w = hi | static_cast<std::uint32_t>(lo) << 16;
  // The first figure that is not '0' (the last one counts, for 0).
  const auto lead = static_cast<unsigned>(std::countr_zero((w ^ 0x30303030u) | 0x01000000u)) & ~7u;
  nf = 4 - static_cast<int>(lead >> 3);
  return w >> lead;
}

// `n` copies of `c` at `p` (n at most kFastPad; none when n <= 0), stored
// as one word.
[[gnu::always_inline]] inline char *pad_fast(char *p, int n, char c) {
  std::uint64_t word;
  std::memset(&word, c, sizeof word);
  std::memcpy(p, &word, sizeof word);
  return n > 0 ? p + n : p;
}

// The figures of `v` at `p` (at least kFastRoom bytes free there), after a
// pad to `width` counting `extra` more bytes of the number and the sign.
// Pad, sign and figures are stored without a branch on their lengths:
// stores that later ones may overwrite.
[[gnu::always_inline]] inline char *put_whole(char *p, std::uint64_t v, bool neg, int width, int extra,
                                              char pad) {
  const int sign = neg ? 1 : 0;
  if (v < 10000) [[likely]] {
    int nf;
    std::uint32_t w;
    if (v < 1000) [[likely]] {
      w = kSmall[v];
      nf = static_cast<int>(w >> 24);
    } else {
      w = figure_word(static_cast<std::uint32_t>(v), nf);
    }
    if (pad == '0') {
      *p = '-';
      p += sign;
      if (width > 0) p = pad_fast(p, width - sign - nf - extra, '0');
    } else {
      if (width > 0) p = pad_fast(p, width - sign - nf - extra, ' ');
      *p = '-';
      p += sign;
    }
    std::memcpy(p, &w, 4);
    return p + nf;
  }
  const int nf = count_figures(v);
  if (pad == '0') {
    *p = '-';
    p += sign;
    p = pad_fast(p, width - sign - nf - extra, '0');
  } else {
    p = pad_fast(p, width - sign - nf - extra, ' ');
    *p = '-';
    p += sign;
  }
  put_figures(p + nf, v);
  return p + nf;
}

// "%W.Pf" with P 0 to 3, |v| below kFastLimit<P>, W at most kFastPad and
// at least kFastRoom bytes free.
template <int P>
[[gnu::always_inline]] inline char *fixed_fast(char *p, double v, int width) {
  constexpr std::uint64_t kDiv = P == 0 ? 1 : P == 1 ? 10 : P == 2 ? 100 : 1000;
  const auto q = static_cast<std::uint64_t>(scaled_round<P>(std::fabs(v)));
  const std::uint64_t ip = q / kDiv;
  // The sign of "-0" and of a negative value rounded to 0, as printf.
  p = put_whole(p, ip, std::signbit(v), width, P > 0 ? P + 1 : 0, ' ');
  if constexpr (P > 0) {
    const auto fp = static_cast<std::size_t>(q - ip * kDiv);
    p = put_fraction<P>(p, fp);
  }
  return p;
}

}  // namespace str_detail

// "%W.Pf" with the precision known while compiling (0 to 3): the short way
// inline, the rest out of line. str_put_fixed is the same for any precision.
template <int Prec>
[[gnu::always_inline]] inline char *str_put_fixed_p(char *p, char *end, double v, int width) {
  static_assert(Prec >= 0 && Prec <= 3);
  using namespace str_detail;
  if (std::fabs(v) < kFastLimit<Prec> && width <= kFastPad && end - p >= kFastRoom) [[likely]]
    return fixed_fast<Prec>(p, v, width);
  return fixed_any(p, end, v, width, Prec);
}

// str_put_int inline, for a width, precision and padding known while compiling.
[[gnu::always_inline]] inline char *str_put_int_c(char *p, char *end, long long v, int width, int prec = -1,
                                                  bool zero_pad = false) {
  using namespace str_detail;
  // A precision at least as wide as the field, on a value that is not
  // negative, is the same as zero padding ("%4.4d" of a time).
  if (prec >= width && prec > 0 && v >= 0 && prec <= kFastPad) {
    width = prec;
    prec = -1;
    zero_pad = true;
  }
  if (prec >= 0 || width > kFastPad || end - p < kFastRoom) [[unlikely]]
    return int_any(p, end, v, width, prec, zero_pad);
  const bool neg = v < 0;
  const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  return put_whole(p, mag, neg, width, 0, zero_pad ? '0' : ' ');
}

// The room a number of a float needs where the line is known to have it:
// "%W.Pf" of any float (at most 39 figures, a sign, 3 decimals) with W up
// to 8, and the whole words the short way stores.
inline constexpr std::ptrdiff_t kFloatRoom = 64;

namespace str_detail {

// The figures of 0 to 999 right-aligned in a field of W (2 or 3) blanks,
// one little-endian word each, their length in the top byte: the usual
// values of a record's fields cost one load and one store.
template <int W>
inline constexpr auto kPadded = [] {
  static_assert(W == 2 || W == 3);
  constexpr auto kWidth = static_cast<std::uint32_t>(W);
  std::array<std::uint32_t, 1000> t{};
  for (std::uint32_t v = 0; v < 1000; ++v) {
    const std::uint32_t nf = kSmall[v] >> 24;
    const std::uint32_t pad = nf < kWidth ? kWidth - nf : 0;
    std::uint32_t w = 0;
    for (std::uint32_t i = 0; i < pad; ++i) w |= std::uint32_t{' '} << (8 * i);
    t[v] = w | (kSmall[v] & 0xFFFFFFu) << (8 * pad) | (pad + nf) << 24;
  }
  return t;
}();

// The same for -1 to -99 ("-0" too): the sign and figures right-aligned in
// W (2 or 3).
template <int W>
inline constexpr auto kPaddedNeg = [] {
  static_assert(W == 2 || W == 3);
  constexpr auto kWidth = static_cast<std::uint32_t>(W);
  std::array<std::uint32_t, 100> t{};
  for (std::uint32_t v = 0; v < 100; ++v) {
    const std::uint32_t nf = (kSmall[v] >> 24) + 1;
    const std::uint32_t pad = nf < kWidth ? kWidth - nf : 0;
    std::uint32_t w = 0;
    for (std::uint32_t i = 0; i < pad; ++i) w |= std::uint32_t{' '} << (8 * i);
    w |= std::uint32_t{'-'} << (8 * pad);
    t[v] = w | (kSmall[v] & 0xFFFFu) << (8 * (pad + 1)) | (pad + nf) << 24;
  }
  return t;
}();

// Does the short way below take `v` (the magnitude) with this sign?
[[gnu::always_inline]] inline bool small_signed(std::uint64_t v, bool neg) { return v < (neg ? 100u : 1000u); }

// Every entry of the tables for W = 3 fills the field exactly: "%3d" of
// 0 to 999, and of -99 to -1, is three bytes long.
inline constexpr bool kThreeFillTheField = [] {
  for (std::uint32_t v = 0; v < 1000; ++v)
    if (kPadded<3>[v] >> 24 != 3 || (v < 100 && kPaddedNeg<3>[v] >> 24 != 3)) return false;
  return true;
}();
static_assert(kThreeFillTheField);

// `v` (below 1000, or below 100 when `neg`) with its sign right-aligned in
// W, as "%Wd" writes it.
template <int W>
[[gnu::always_inline]] inline char *put_small(char *p, std::uint64_t v, bool neg) {
  std::uint32_t w;
  if constexpr (W <= 1) {
    *p = '-';
    p += neg ? 1 : 0;
    w = kSmall[v];
  } else {
    w = neg ? kPaddedNeg<W>[v] : kPadded<W>[v];
  }
  std::memcpy(p, &w, 4);
  // A width of three is always filled: a known length lets the text that
  // follows be stored at a known place.
  if constexpr (W == 3) return p + 3;
  return p + (w >> 24);
}

}  // namespace str_detail

namespace str_detail {

// "%.Pf" of the integers 0 to 999 divided by 10^P (P 1 to 3): the figures,
// the point and the decimals of each in one little-endian word, the length
// in the top byte. A value of the record under 100 (or 10, or 1) costs one
// load and one store, no division.
template <int P>
inline constexpr auto kFixedSmall = [] {
  static_assert(P >= 1 && P <= 3);
  std::array<std::uint64_t, 1000> t{};
  for (std::uint32_t q = 0; q < 1000; ++q) {
    char text[8] = {};
    int n = 0;
    std::uint32_t ip = q;
    for (int i = 0; i < P; ++i) ip /= 10;
    const std::uint32_t whole = kSmall[ip];
    for (std::uint32_t i = 0; i < whole >> 24; ++i) text[n++] = static_cast<char>(whole >> (8 * i));
    text[n++] = '.';
    std::uint32_t frac = q;
    for (int i = P; i-- > 0; frac /= 10) text[n + i] = static_cast<char>('0' + frac % 10);
    n += P;
    std::uint64_t w = 0;
    for (int i = 0; i < n; ++i) w |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    t[q] = w | static_cast<std::uint64_t>(n) << 56;
  }
  return t;
}();

}  // namespace str_detail

namespace str_detail {

// Has "%W.Pf" table ways (below)? Whole numbers of at most three figures
// with W up to 3, and values with decimals whose whole part needs no pad.
template <int W, int P>
inline constexpr bool kFloatTables = P == 0 ? W <= 3 : W - P - 1 <= 1;

// The table ways of str_put_float_open: `v` written at `p`, which then
// points past it, when |v| rounds under 999.5 units of the last figure;
// false, with nothing written that counts, for any other value (large,
// infinite, NaN).
template <int W, int P>
[[gnu::always_inline]] inline bool float_by_table(char *&p, float v) {
  static_assert(kFloatTables<W, P>);
  const bool neg = std::signbit(v);
  if constexpr (P == 0) {
    // Rounded in single precision: below 2^22 adding 2^23 rounds a float
    // to the integer, ties to even, as printf. Under 999.5 it has at most
    // three figures.
    const float a = std::fabs(v);
    if (!(a < 999.5f)) [[unlikely]] return false;
    constexpr float kTwo23 = 8388608.0f;
    const std::uint32_t q = std::bit_cast<std::uint32_t>(a + kTwo23) - std::bit_cast<std::uint32_t>(kTwo23);
    if (!neg) [[likely]] {
      p = put_small<W>(p, q, false);
    } else if (q < 100) {
      p = put_small<W>(p, q, true);
    } else {
      // "-100" to "-999" fill more than the field: the sign, then the
      // figures' word (its length byte lands past them, to be overwritten).
      *p = '-';
      std::memcpy(p + 1, &kSmall[q], 4);
      p += 4;
    }
    return true;
  } else {
    // The whole part has a figure at least, so no pad: under 999.5 the
    // rounded figures come from a table.
    constexpr double kScale = P == 1 ? 10.0 : P == 2 ? 100.0 : 1000.0;
    constexpr double kTwo52 = 4503599627370496.0;
    const double s = std::fabs(static_cast<double>(v)) * kScale;
    if (!(s < 999.5)) [[unlikely]] return false;
    const auto q =
        static_cast<std::size_t>(std::bit_cast<std::int64_t>(s + kTwo52) - std::bit_cast<std::int64_t>(kTwo52));
    *p = '-';
    p += neg ? 1 : 0;
    const std::uint64_t w = kFixedSmall<P>[q];
    std::memcpy(p, &w, sizeof w);
    p += w >> 56;
    return true;
  }
}

// The other ways of str_put_float_open: any float.
template <int W, int P>
[[gnu::always_inline]] inline char *float_by_figures(char *p, float v) {
  constexpr std::uint64_t kDiv = P == 0 ? 1 : P == 1 ? 10 : P == 2 ? 100 : 1000;
  constexpr double kTwo52 = 4503599627370496.0;
  // The width left to the whole part once the decimals are written.
  constexpr int kWhole = P > 0 ? W - P - 1 : W;
  const bool neg = std::signbit(v);
  const double s = std::fabs(static_cast<double>(v)) * static_cast<double>(kDiv);
  // Below 2^51 adding 2^52 rounds to the integer, ties to even; NaN and the
  // infinities fail the test.
  if (!(s < 2251799813685248.0)) [[unlikely]]
    return fixed_any(p, p + kFloatRoom, static_cast<double>(v), W, P);
  const auto q = static_cast<std::uint64_t>(std::bit_cast<std::int64_t>(s + kTwo52) -
                                            std::bit_cast<std::int64_t>(kTwo52));
  const std::uint64_t ip = q / kDiv;
  [[maybe_unused]] const auto fp = static_cast<std::size_t>(q - ip * kDiv);
  bool small = false;
  if constexpr (kWhole <= 3) small = small_signed(ip, neg);
  if (small) [[likely]]
    p = put_small<kWhole <= 3 ? kWhole : 3>(p, ip, neg);
  else
    p = put_whole(p, ip, neg, W, P > 0 ? P + 1 : 0, ' ');
  if constexpr (P > 0) {
    p = put_fraction<P>(p, fp);
  }
  return p;
}

}  // namespace str_detail

// "%W.Pf" of a float, P 0 to 3 and W at most 8, at `p` with at least
// kFloatRoom bytes free there: no bound is checked. A float times 10^P is
// a double exactly (24 bits of the float, at most 7 of 125), so rounding
// it to an integer is printf's rounding itself and no tie needs a second
// look.
template <int W, int P>
[[gnu::always_inline]] inline char *str_put_float_open(char *p, float v) {
  static_assert(P >= 0 && P <= 3 && W >= 0 && W <= str_detail::kFastPad);
  if constexpr (str_detail::kFloatTables<W, P>) {
    if (str_detail::float_by_table<W, P>(p, v)) [[likely]]
      return p;
  }
  return str_detail::float_by_figures<W, P>(p, v);
}

// "%Wd", "%0Wd" (Zero) or "%W.Pd" of `v` at `p`, with at least kFastRoom
// bytes free there.
template <int W, int Prec, bool Zero>
[[gnu::always_inline]] inline char *str_put_int_open(char *p, long long v) {
  using namespace str_detail;
  // "%04d" and "%4.4d" of 0 to 9999: two pairs of figures.
  constexpr bool kFour = W == 4 && ((Zero && Prec < 0) || Prec == 4);
  if constexpr (kFour) {
    if (v >= 0 && v < 10000) [[likely]] {
      // The hundreds by a multiplication in 32 bits, exact below 43699.
      const auto u = static_cast<std::uint32_t>(v);
      const std::uint32_t hi = u * 5243u >> 19;
      std::memcpy(p, &kPairs[2 * hi], 2);
      std::memcpy(p + 2, &kPairs[2 * (u - hi * 100u)], 2);
      return p + 4;
    }
  } else if constexpr (!Zero && Prec < 0 && W <= 3) {
    const bool neg = v < 0;
    const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    if (small_signed(mag, neg)) [[likely]] return put_small<W>(p, mag, neg);
  }
  return str_put_int_c(p, p + kFastRoom, v, W, Prec, Zero);
}

namespace str_detail {
// The usual precisions each in a small function of their own.
template <int Prec>
char *put_fixed(char *p, char *end, double v, int width);
extern template char *put_fixed<0>(char *, char *, double, int);
extern template char *put_fixed<1>(char *, char *, double, int);
extern template char *put_fixed<2>(char *, char *, double, int);
extern template char *put_fixed<3>(char *, char *, double, int);
char *put_fixed_any(char *p, char *end, double v, int width, int prec);
}  // namespace str_detail

inline char *str_put_fixed(char *p, char *end, double v, int width, int prec) {
  switch (prec) {
    case 0: return str_detail::put_fixed<0>(p, end, v, width);
    case 1: return str_detail::put_fixed<1>(p, end, v, width);
    case 2: return str_detail::put_fixed<2>(p, end, v, width);
    default: return str_detail::put_fixed_any(p, end, v, width, prec);
  }
}
