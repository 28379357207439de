// Record layouts of the converted data file as text lines. Numbers are
// written straight into the caller's buffer, rounded exactly as printf
// rounds them: one record costs no allocation and no format parsing.
#include "output/sfc_dec.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "framework/missing.hpp"
#include "report/wx_tool.hpp"

namespace {

using tv::is_miss;

constexpr int kMaxLayers = 5;  // cloud layers the record holds

// Conversion to int toward zero. Values outside the int range saturate and
// NaN gives 0, so garbage in a record can never cause undefined behaviour.
std::int64_t trunc_int(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<std::int64_t>(v);
}

int layer_count(const SFC_report *r) {
  if (r->num_cld < 0) return 0;
  return r->num_cld > kMaxLayers ? kMaxLayers : r->num_cld;
}

// Two-figure pairs "00" to "99", for writing integers two figures a step.
constexpr auto kPairs = [] {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

constexpr auto kPow10 = [] {
  std::array<std::uint64_t, 20> t{};
  std::uint64_t p = 1;
  for (auto &x : t) {
    x = p;
    p *= 10;
  }
  return t;
}();

// Figures of `v` in decimal (1 for 0): from the bit length, log10(2) being
// about 1233 / 4096, and one comparison, so that no branch has to guess
// how long the number of a field is.
int count_figures(std::uint64_t v) {
  const std::uint64_t u = v | 1;  // same figures, and 0 counts as 1
  const int t = (std::bit_width(u) * 1233) >> 12;
  return t + (u >= kPow10[static_cast<std::size_t>(t)] ? 1 : 0);
}

// Writes the figures of `v` so that the last one lands just before `end`.
void put_figures(char *end, std::uint64_t v) {
  while (v >= 100) {
    const std::size_t k = static_cast<std::size_t>(v % 100) * 2;
    v /= 100;
    end -= 2;
    end[0] = kPairs[k];
    end[1] = kPairs[k + 1];
  }
  if (v >= 10) {
    const std::size_t k = static_cast<std::size_t>(v) * 2;
    end[-2] = kPairs[k];
    end[-1] = kPairs[k + 1];
  } else {
    end[-1] = static_cast<char>('0' + v);
  }
}

// Writes the `nf` figures of `v` at `p` and returns the end. Below 10000,
// the usual case, all four figures are put together in one word and its
// leading zeros shifted out, so that the length costs no branch; this
// stores four bytes whatever `nf` is, and the callers leave room for them.
inline char *put_number(char *p, std::uint64_t v, int nf) {
  if constexpr (std::endian::native == std::endian::little) {
    if (v < 10000) {
      const auto w = static_cast<std::uint32_t>(v);
      std::uint16_t hi, lo;
      std::memcpy(&hi, &kPairs[2 * (w / 100)], 2);
      std::memcpy(&lo, &kPairs[2 * (w % 100)], 2);
      const std::uint32_t word = (hi | static_cast<std::uint32_t>(lo) << 16) >> (8 * (4 - nf));
      std::memcpy(p, &word, 4);
      return p + nf;
    }
  }
  put_figures(p + nf, v);
  return p + nf;
}

// |v| * 10^P rounded to an integer as printf rounds "%.Pf": to nearest on
// the exact binary value, ties to the even neighbour. For |v| below 1e13
// (the fast path's range) every half-integer is a double, and s - q is
// exact.
template <int P>
std::uint64_t scaled_round(double a) {
  constexpr double k = P == 0 ? 1.0 : P == 1 ? 10.0 : 100.0;
  const double s = a * k;
  auto q = static_cast<std::uint64_t>(s);
  const double frac = s - static_cast<double>(q);
  if (frac > 0.5) {
    ++q;
  } else if (frac == 0.5) {
    // The product may have been rounded onto a tie: the exact residual
    // decides; a true tie goes to the even neighbour. Off a tie, the
    // rounding of the product cannot cross one.
    const double err = std::fma(a, k, -s);
    if (err > 0 || (err == 0 && (q & 1))) ++q;
  }
  return q;
}

// A bounded output line. Writes that do not fit are dropped; the buffer
// size the callers use leaves room for the longest possible record. Each
// number is written straight into the line when the room left surely holds
// it (the usual case), and through a bounded copy otherwise.
class Line {
 public:
  Line(char *buf, std::size_t size) : begin_(buf), p_(buf), end_(buf + size) {}

  std::size_t size() const { return static_cast<std::size_t>(p_ - begin_); }

  void ch(char c) {
    if (p_ < end_) *p_++ = c;
  }

  void lit(std::string_view s) { raw(s.data(), s.size()); }

  // Literals: the constant size lets the copy be inlined.
  template <std::size_t N>
  void lit(const char (&s)[N]) {
    if (static_cast<std::size_t>(end_ - p_) >= N - 1) {
      std::memcpy(p_, s, N - 1);
      p_ += N - 1;
    } else {
      raw(s, N - 1);
    }
  }

  void raw(const char *s, std::size_t n) {
    std::size_t room = static_cast<std::size_t>(end_ - p_);
    if (n > room) n = room;
    std::memcpy(p_, s, n);
    p_ += n;
  }

  // A NUL-terminated text of at most `max` bytes, as "%s".
  void text(const char *s, std::size_t max) { raw(s, strnlen(s, max)); }

  // As "%W.Ps": at most `max` characters, right-aligned in `width`.
  void text_width(const char *s, std::size_t max, int width) {
    std::size_t n = strnlen(s, max);
    pad(width - static_cast<int>(n), ' ');
    raw(s, n);
  }

  // A text attribute value: & < > " become entities.
  void xml_char(char c) {
    switch (c) {
      case '&': lit("&amp;"); break;
      case '<': lit("&lt;"); break;
      case '>': lit("&gt;"); break;
      case '"': lit("&quot;"); break;
      default: ch(c);
    }
  }
  void xml_text(const char *s, std::size_t max) {
    for (std::size_t i = 0; i < max && s[i]; ++i) xml_char(s[i]);
  }

  void pad(int n, char c) {
    for (; n > 0; --n) ch(c);
  }

  // As "%W.Pf" of a double, P = 0 to 2. The number writers are kept out of
  // line: one copy serves every field, and the record code stays small
  // enough for the instruction cache.
  template <int P>
  [[gnu::noinline]] void fixed(double v, int width = 0) {
    static_assert(P >= 0 && P <= 2);
    const double a = std::fabs(v);
    // Below 1e13 the value has at most 14 figures before the point.
    if (!(a < 1e13) || !fast_room(width)) {
      fixed_bounded(v, P, width);
      return;
    }
    constexpr std::uint64_t kDiv = P == 0 ? 1 : P == 1 ? 10 : 100;
    const std::uint64_t q = scaled_round<P>(a);
    const std::uint64_t ip = q / kDiv;
    const int neg = std::signbit(v) ? 1 : 0;  // "-0" as printf writes it
    const int nf = count_figures(ip);
    const int len = neg + nf + (P > 0 ? P + 1 : 0);
    // Padding, sign and figures are stored without a branch on their
    // lengths: a local cursor, and stores that later ones may overwrite.
    char *p = pad_fast(p_, width - len, ' ');
    *p = '-';
    p += neg;
    p = put_number(p, ip, nf);
    if constexpr (P > 0) {
      const auto fp = static_cast<std::size_t>(q % kDiv);
      *p++ = '.';
      if constexpr (P == 2) {
        p[0] = kPairs[2 * fp];
        p[1] = kPairs[2 * fp + 1];
        p += 2;
      } else {
        *p++ = static_cast<char>('0' + fp);
      }
    }
    p_ = p;
  }

  // The same with the precision chosen at run time.
  void fixed(double v, int prec, int width = 0) {
    switch (prec) {
      case 0: fixed<0>(v, width); break;
      case 1: fixed<1>(v, width); break;
      case 2: fixed<2>(v, width); break;
      default: fixed_bounded(v, prec, width); break;
    }
  }

  // As "%Wd" (pad ' ') or "%0Wd" (pad '0').
  [[gnu::noinline]] void dec(std::int64_t v, int width = 0, char padc = ' ') {
    const bool neg = v < 0;
    const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    const int nf = count_figures(mag);
    const int len = nf + (neg ? 1 : 0);
    if (!fast_room(width)) {
      if (padc == '0') {
        if (neg) ch('-');
        pad(width - len, '0');
      } else {
        pad(width - len, ' ');
        if (neg) ch('-');
      }
      put_bounded(mag, nf);
      return;
    }
    char *p = p_;
    const int sign = neg ? 1 : 0;
    if (padc == '0') {
      *p = '-';
      p = pad_fast(p + sign, width - len, '0');
    } else {
      p = pad_fast(p, width - len, ' ');
      *p = '-';
      p += sign;
    }
    p = put_number(p, mag, nf);
    p_ = p;
  }

  // As "%P.Pd": at least `prec` digits, zero-filled, sign in front.
  void dec_prec(std::int64_t v, int prec) {
    const bool neg = v < 0;
    const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    const int nf = count_figures(mag);
    if (neg) ch('-');
    pad(prec - nf, '0');
    put_bounded(mag, nf);
  }

 private:
  // The room the unbounded writers may use: a pad of up to 8, a sign, 20
  // figures or 14 and 3 of a fraction, and the whole words they store.
  static constexpr std::ptrdiff_t kFastRoom = 40;
  static constexpr int kFastPad = 8;
  bool fast_room(int width) const { return width <= kFastPad && end_ - p_ >= kFastRoom; }

  // `n` (at most kFastPad) copies of `c` at `p`, stored as one word.
  static char *pad_fast(char *p, int n, char c) {
    std::uint64_t word;
    std::memset(&word, c, sizeof word);
    std::memcpy(p, &word, sizeof word);
    return n > 0 ? p + n : p;
  }

  // The `nf` figures of `mag`, cut where the line ends.
  void put_bounded(std::uint64_t mag, int nf) {
    char tmp[24];
    put_figures(tmp + nf, mag);
    raw(tmp, static_cast<std::size_t>(nf));
  }

  // "%W.Pf" of any value and precision, through std::to_chars (exact as
  // printf, slower), bounded by the line's end.
  void fixed_bounded(double v, int prec, int width) {
    char tmp[330];  // any double in fixed notation with two decimals
    int n = 0;
    if (prec >= 0 && prec <= 2 && std::fabs(v) < 1e13) {
      Line t(tmp, sizeof tmp);
      t.fixed(v, prec);
      n = static_cast<int>(t.size());
    } else {
      auto [ptr, ec] = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, prec);
      n = ec == std::errc() ? static_cast<int>(ptr - tmp) : 0;
    }
    pad(width - n, ' ');
    raw(tmp, static_cast<std::size_t>(n));
  }

  char *begin_;
  char *p_;
  char *end_;
};

// Altimeter setting: last three digits of hundredths of an inch.
std::int64_t alt_digits(float alt) {
  float a = 100.0f * alt;
  return trunc_int(static_cast<double>(a) + 0.01) % 1000;
}

// Sea-level pressure in tenths of a millibar, all digits.
std::int64_t pmb_tenths(float pmb) {
  float p = 10.0f * pmb;
  return trunc_int(static_cast<double>(p) + 0.1);
}

// Degrees F to C in double precision.
double celsius(float f) { return 5.0 * (static_cast<double>(f) - 32.0) / 9.0; }

// Current layout, field 2 and 3: tenths of a degree F.
void put_tenths_temp(Line &o, float t) {
  if (is_miss(t)) {
    o.lit("-99 ");
  } else {
    o.fixed<0>(static_cast<double>(10.0f * t), 3);
    o.ch(' ');
  }
}

// Current layout, one cloud layer: height in hundreds of feet and cover.
void put_layer(Line &o, const SFC_report *r, int i) {
  if (is_miss(r->cld_height[i]))
    o.lit("-99");
  else
    o.fixed<0>(static_cast<double>(r->cld_height[i] / 100.0f), 1);
  char c = r->cld_cover[i];
  if (c == ' ') {
    o.ch('M');
  } else {
    if (c >= '0' && c <= '9') o.ch(':');
    o.ch(c);
  }
}

// " <key>%W.Pf" of a double.
template <int P, std::size_t N>
void put_group(Line &o, const char (&key)[N], double v, int width) {
  o.lit(key);
  o.fixed<P>(v, width);
}

// XML attribute pieces: name="value" and one blank.
template <int P, std::size_t N>
void xml_fixed(Line &o, const char (&name)[N], double v) {
  o.lit(name);
  o.lit("=\"");
  o.fixed<P>(v);
  o.lit("\" ");
}

}  // namespace

std::size_t SFC_format_text(char *buf, std::size_t size, const SFC_report *r, int file_type) {
  if (!buf || !r) return 0;
  Line o(buf, size);
  const bool ext = file_type == 4;

  o.text(r->id, sizeof r->id);
  o.ch(' ');
  put_tenths_temp(o, r->t);
  put_tenths_temp(o, r->td);

  // A direction without a speed is no wind to write: the speed would go
  // into the digits as -9999 ("-7799").
  if (is_miss(r->w_dir) || is_miss(r->w_spd)) {
    o.lit("-999 ");
  } else {
    std::int64_t d = trunc_int(r->w_dir);
    if (r->w_spd >= 100) {
      o.dec(d / 5 * 5, 3, '0');
      o.dec(trunc_int(r->w_spd), 3, '0');
    } else {
      float s = static_cast<float>(d / 10 * 100) + r->w_spd;
      o.dec(trunc_int(s), 4, '0');
    }
    o.ch(' ');
  }

  if (is_miss(r->alt)) {
    o.lit("-99 ");
  } else {
    o.dec(alt_digits(r->alt), 3);
    o.ch(' ');
  }

  if (is_miss(r->pmb)) {
    o.lit("-99 ");
  } else {
    std::int64_t p = pmb_tenths(r->pmb);
    if (r->pmb >= 950 && r->pmb <= 1050) p %= 1000;
    o.dec(p, 3);
    o.ch(' ');
  }

  if (is_miss(r->vis)) {
    o.lit("-99 ");
  } else {
    if (r->vis < 5)
      o.fixed<2>(r->vis);
    else
      o.fixed<1>(r->vis);
    o.ch(' ');
  }

  // Layers below the last one end in ",", the last in a blank; without
  // layers, layer 0 is written all the same.
  const int n = layer_count(r);
  const int last = n == 0 ? 0 : n - 1;
  for (int i = 0; i < last; ++i) {
    put_layer(o, r, i);
    o.ch(',');
  }
  put_layer(o, r, last);
  o.ch(' ');

  if (r->weather[0] == ' ')
    o.ch('-');
  else
    o.text(r->weather, sizeof r->weather);

  if (!is_miss(r->time)) {
    o.lit(" @");
    o.dec_prec(r->time, 4);
  }
  if (!is_miss(r->lat)) {
    put_group<0>(o, " L", static_cast<double>(10.0f * r->lat), 1);
    put_group<0>(o, ",", static_cast<double>(10.0f * r->lon), 1);
  }
  if (!is_miss(r->ptend)) {
    o.lit(" P");
    o.dec(r->ptend_t);
    o.fixed<0>(static_cast<double>(10.0f * r->ptend), 3);
  }
  if (r->rain1 >= 0) put_group<0>(o, " p", static_cast<double>(100.0f * r->rain1), 2);
  if (r->rain3 >= 0) put_group<0>(o, " Q", static_cast<double>(100.0f * r->rain3), 2);
  if (r->rain6 >= 0) put_group<0>(o, " r", static_cast<double>(100.0f * r->rain6), 2);
  if (ext && r->rain12 >= 0) put_group<0>(o, " q", static_cast<double>(100.0f * r->rain12), 2);
  if (r->rain24 >= 0) put_group<0>(o, " R", static_cast<double>(100.0f * r->rain24), 2);
  if (!is_miss(r->max_t)) put_group<1>(o, " X", r->max_t, 2);
  if (ext && !is_miss(r->max6_t)) put_group<1>(o, " x", r->max6_t, 2);
  if (!is_miss(r->min_t)) put_group<1>(o, " N", r->min_t, 2);
  if (ext && !is_miss(r->min6_t)) put_group<1>(o, " n", r->min6_t, 2);
  if (r->scover >= 0) put_group<1>(o, " S", r->scover, 2);
  if (r->cld_type[0] != ' ') {
    o.lit(" C");
    o.text_width(r->cld_type, sizeof r->cld_type, 3);
  }
  if (r->w_gust >= 0) put_group<0>(o, " G", r->w_gust, 3);
  if (r->solar >= 0) put_group<0>(o, " s", r->solar, 3);
  if (!is_miss(r->sst)) put_group<1>(o, " t", r->sst, 2);
  if (!is_miss(r->wav_per)) put_group<0>(o, " p", r->wav_per, 2);
  if (!is_miss(r->wav_hgt)) put_group<1>(o, " h", r->wav_hgt, 2);
  if (r->comment[0] != '\0') {
    o.lit(" #");
    o.text(r->comment, sizeof r->comment);
  }
  o.lit(" $\n");
  return o.size();
}

std::size_t SFC_format_old_text(char *buf, std::size_t size, const SFC_report *r,
                                int file_hour) {
  if (!buf || !r) return 0;
  Line o(buf, size);

  // "%s %3d.%3d.%04d.%3d."
  o.text(r->id, sizeof r->id);
  o.ch(' ');
  o.dec(is_miss(r->t) ? -99 : trunc_int(static_cast<double>(r->t) + 0.5), 3);
  o.ch('.');
  o.dec(is_miss(r->td) ? -99 : trunc_int(static_cast<double>(r->td) + 0.5), 3);
  o.ch('.');
  o.dec(is_miss(r->w_dir) || is_miss(r->w_spd) ? -999 : trunc_int(10.0f * r->w_dir + r->w_spd), 4, '0');
  o.ch('.');
  o.dec(is_miss(r->alt) ? -99 : alt_digits(r->alt), 3);
  o.ch('.');

  // "%3d.%3d.%3.0f%c."
  std::int64_t p = -99;
  if (!is_miss(r->pmb)) {
    p = pmb_tenths(r->pmb) % 1000;
    if (r->pmb > 1050) p += 1000;
  }
  o.dec(p, 3);
  o.ch('.');
  std::int64_t v = r->vis >= 99 ? 99 : is_miss(r->vis) ? -99 : trunc_int(10.0f * r->vis);
  o.dec(v, 3);
  o.ch('.');
  char cover = ' ';
  float hght = tv::kMissFloat;
  WX_set_cloud(r, &cover, &hght);
  o.fixed<0>(is_miss(hght) ? -99.0 : static_cast<double>(hght / 100.0f), 3);
  o.ch(cover);
  o.ch('.');

  if (r->weather[0] == ' ') {
    o.lit(" .");
  } else {
    o.text(r->weather, sizeof r->weather);
    o.ch('.');
  }
  if (!is_miss(r->lat)) {
    o.ch('L');
    o.dec(trunc_int(10.0f * r->lat), 4);
    o.ch('.');
    o.dec(trunc_int(10.0f * r->lon), 5);
    o.ch('.');
  }
  if (!is_miss(r->ptend)) {
    o.ch('P');
    float amount = std::fabs(10.0f * r->ptend);
    o.dec(static_cast<std::int64_t>(r->ptend_t) * 100 +
              trunc_int(static_cast<double>(amount) + 0.01),
          3);
    o.ch('.');
  }
  if (r->rain6 >= 0) {
    put_group<0>(o, "r", static_cast<double>(100.0f * r->rain6), 2);
    o.ch('.');
  }
  if (r->rain24 >= 0) {
    put_group<0>(o, "R", static_cast<double>(100.0f * r->rain24), 2);
    o.ch('.');
  }
  // Daytime files carry the night's minimum, the others the day's maximum.
  const float extreme = (file_hour >= 10 && file_hour <= 21) ? r->min_t : r->max_t;
  if (!is_miss(extreme)) {
    put_group<0>(o, "T", extreme, 2);
    o.ch('.');
  }
  if (r->scover >= 0) {
    put_group<0>(o, "S", r->scover, 2);
    o.ch('.');
  }
  if (r->cld_type[0] != ' ') {
    o.ch('C');
    o.text_width(r->cld_type, sizeof r->cld_type, 3);
    o.ch('.');
  }
  if (r->w_gust >= 0) {
    put_group<0>(o, "G", r->w_gust, 3);
    o.ch('.');
  }
  o.ch('\n');
  return o.size();
}

std::size_t SFC_format_xml(char *buf, std::size_t size, const SFC_report *r) {
  if (!buf || !r) return 0;
  Line o(buf, size);

  o.lit("<obs id=\"");
  o.xml_text(r->id, sizeof r->id);
  o.lit("\" ");
  if (!is_miss(r->time)) {
    o.lit("time.hhmm=\"");
    o.dec_prec(r->time, 4);
    o.lit("\" ");
  }
  if (!is_miss(r->lat)) {
    xml_fixed<2>(o, "lat", r->lat);
    xml_fixed<2>(o, "lon", r->lon);
  }
  if (!is_miss(r->t)) xml_fixed<1>(o, "temp.C", celsius(r->t));
  if (!is_miss(r->td)) xml_fixed<1>(o, "dewp.C", celsius(r->td));
  if (!is_miss(r->w_dir)) xml_fixed<0>(o, "wdir.deg", r->w_dir);
  if (!is_miss(r->w_spd)) xml_fixed<0>(o, "wspd.knt", r->w_spd);
  if (r->w_gust >= 0) xml_fixed<0>(o, "wgust.knt", r->w_gust);
  if (!is_miss(r->alt)) xml_fixed<2>(o, "alt.in", r->alt);
  if (!is_miss(r->pmb)) xml_fixed<1>(o, "slpr.mb", r->pmb);
  if (!is_miss(r->vis)) {
    if (r->vis < 5)
      xml_fixed<2>(o, "vis.mi", r->vis);
    else
      xml_fixed<1>(o, "vis.mi", r->vis);
  }

  const int n = layer_count(r);
  if (n > 0) {
    o.lit("ncld=\"");
    o.dec(n);
    o.lit("\" ");
  }
  for (int i = 0; i < n; ++i) {
    if (!is_miss(r->cld_height[i])) {
      o.lit("cld_hgt_");
      o.dec(i + 1);
      xml_fixed<0>(o, ".ft", r->cld_height[i]);
    }
    o.lit("cld_cov_");
    o.dec(i + 1);
    o.lit("=\"");
    if (r->cld_cover[i] == ' ')
      o.ch('M');
    else
      o.xml_char(r->cld_cover[i]);
    o.lit("\" ");
  }

  if (r->weather[0] != ' ') {
    o.lit("wx=\"");
    o.xml_text(r->weather, sizeof r->weather);
    o.lit("\" ");
  }
  if (!is_miss(r->ptend)) {
    o.lit("ptype=\"");
    o.dec(r->ptend_t);
    o.lit("\" ");
    xml_fixed<1>(o, "ptend.mb", r->ptend);
  }
  if (r->rain1 >= 0) xml_fixed<2>(o, "prec1.in", r->rain1);
  if (r->rain3 >= 0) xml_fixed<2>(o, "prec3.in", r->rain3);
  if (r->rain6 >= 0) xml_fixed<2>(o, "prec6.in", r->rain6);
  if (r->rain12 >= 0) xml_fixed<2>(o, "prec12.in", r->rain12);
  if (r->rain24 >= 0) xml_fixed<2>(o, "prec24.in", r->rain24);
  if (!is_miss(r->max_t)) xml_fixed<1>(o, "maxt.C", celsius(r->max_t));
  if (!is_miss(r->max6_t)) xml_fixed<1>(o, "maxt6.C", celsius(r->max6_t));
  if (!is_miss(r->min_t)) xml_fixed<1>(o, "mint.C", celsius(r->min_t));
  if (!is_miss(r->min6_t)) xml_fixed<1>(o, "mint6.C", celsius(r->min6_t));
  if (r->scover >= 0) xml_fixed<1>(o, "scover.in", r->scover);
  if (r->cld_type[0] != ' ') {
    static constexpr std::string_view kNames[3] = {"lcld=\"", "mcld=\"", "hcld=\""};
    for (int i = 0; i < 3; ++i) {
      o.lit(kNames[i]);
      o.xml_char(r->cld_type[i]);
      o.lit("\" ");
    }
  }
  if (r->solar >= 0) xml_fixed<0>(o, "solar.min", r->solar);
  if (!is_miss(r->sst)) xml_fixed<1>(o, "sst.C", r->sst);
  if (!is_miss(r->wav_per)) xml_fixed<0>(o, "wave_per.sec", r->wav_per);
  if (!is_miss(r->wav_hgt)) xml_fixed<1>(o, "wave_hgt.m", r->wav_hgt);
  if (r->comment[0] != '\0') {
    o.lit("comment=\"");
    o.xml_text(r->comment, sizeof r->comment);
    o.lit("\" ");
  }
  o.lit("/>\n");
  return o.size();
}
