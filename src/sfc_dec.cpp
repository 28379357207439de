// Record layouts of the converted data file as text lines. Numbers are
// formatted with std::to_chars, which rounds exactly as printf does, into
// the caller's buffer: one record costs no allocation and no format parsing.
#include "sfc_dec.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "missing.hpp"
#include "wx_tool.hpp"

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

// "%.Pf" of `v` (P = 0 to 2) into `out`; returns the length. The record's
// values are in a range where this is done on integers: the value scaled
// by 10^P, rounded to nearest with ties to even on the exact binary value,
// as printf does. Anything else goes through std::to_chars, which is exact
// too but slower.
int fixed_chars(char *out, std::size_t size, double v, int prec) {
  static constexpr double kScale[] = {1.0, 10.0, 100.0};
  static constexpr std::int64_t kDiv[] = {1, 10, 100};
  if (prec >= 0 && prec <= 2 && std::fabs(v) < 1e13) {
    const double k = kScale[prec];
    const double s = std::fabs(v) * k;
    // Below 2^52 every half-integer is a double, and s - q is exact.
    std::int64_t q = static_cast<std::int64_t>(s);
    const double frac = s - static_cast<double>(q);
    if (frac > 0.5) {
      ++q;
    } else if (frac == 0.5) {
      // The product may have been rounded onto a tie: the exact residual
      // decides; a true tie goes to the even neighbour. Off a tie, the
      // rounding of the product cannot cross one.
      const double err = std::fma(std::fabs(v), k, -s);
      if (err > 0 || (err == 0 && (q & 1))) ++q;
    }
    char *p = out;
    if (std::signbit(v)) *p++ = '-';
    const std::int64_t ip = q / kDiv[prec];
    p = std::to_chars(p, out + size, static_cast<std::uint64_t>(ip)).ptr;
    if (prec > 0) {
      std::int64_t fp = q % kDiv[prec];
      *p++ = '.';
      if (prec == 2) {
        *p++ = static_cast<char>('0' + fp / 10);
        fp %= 10;
      }
      *p++ = static_cast<char>('0' + fp);
    }
    return static_cast<int>(p - out);
  }
  auto [ptr, ec] = std::to_chars(out, out + size, v, std::chars_format::fixed, prec);
  return ec == std::errc() ? static_cast<int>(ptr - out) : 0;
}

// A bounded output line. Writes that do not fit are dropped; the buffer
// size the callers use leaves room for the longest possible record.
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
    // Pieces are short: a plain loop beats a call to memcpy.
    if (n <= 16) {
      for (std::size_t i = 0; i < n; ++i) p_[i] = s[i];
    } else {
      std::memcpy(p_, s, n);
    }
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

  // As "%W.Pf" of a double.
  void fixed(double v, int prec, int width = 0) {
    char tmp[330];  // any double in fixed notation with two decimals
    int n = fixed_chars(tmp, sizeof tmp, v, prec);
    pad(width - n, ' ');
    raw(tmp, static_cast<std::size_t>(n));
  }

  // As "%Wd" (pad ' ') or "%0Wd" (pad '0').
  void dec(std::int64_t v, int width = 0, char padc = ' ') {
    char tmp[24];
    bool neg = v < 0;
    std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    auto r = std::to_chars(tmp, tmp + sizeof tmp, mag);
    int digits = static_cast<int>(r.ptr - tmp);
    int len = digits + (neg ? 1 : 0);
    if (padc == '0') {
      if (neg) ch('-');
      pad(width - len, '0');
    } else {
      pad(width - len, ' ');
      if (neg) ch('-');
    }
    raw(tmp, static_cast<std::size_t>(digits));
  }

  // As "%P.Pd": at least `prec` digits, zero-filled, sign in front.
  void dec_prec(std::int64_t v, int prec) {
    char tmp[24];
    bool neg = v < 0;
    std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    auto r = std::to_chars(tmp, tmp + sizeof tmp, mag);
    int digits = static_cast<int>(r.ptr - tmp);
    if (neg) ch('-');
    pad(prec - digits, '0');
    raw(tmp, static_cast<std::size_t>(digits));
  }

 private:
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
    o.fixed(static_cast<double>(10.0f * t), 0, 3);
    o.ch(' ');
  }
}

// Current layout, one cloud layer: height in hundreds of feet and cover.
void put_layer(Line &o, const SFC_report *r, int i) {
  if (is_miss(r->cld_height[i]))
    o.lit("-99");
  else
    o.fixed(static_cast<double>(r->cld_height[i] / 100.0f), 0, 1);
  char c = r->cld_cover[i];
  if (c == ' ') {
    o.ch('M');
  } else {
    if (c >= '0' && c <= '9') o.ch(':');
    o.ch(c);
  }
}

// " <key>%W.Pf" of a double.
void put_group(Line &o, std::string_view key, double v, int prec, int width) {
  o.lit(key);
  o.fixed(v, prec, width);
}

// XML attribute pieces: name="value" and one blank.
void xml_fixed(Line &o, std::string_view name, double v, int prec) {
  o.lit(name);
  o.lit("=\"");
  o.fixed(v, prec);
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

  if (is_miss(r->w_dir)) {
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
    o.fixed(r->vis, r->vis < 5 ? 2 : 1);
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
    put_group(o, " L", static_cast<double>(10.0f * r->lat), 0, 1);
    put_group(o, ",", static_cast<double>(10.0f * r->lon), 0, 1);
  }
  if (!is_miss(r->ptend)) {
    o.lit(" P");
    o.dec(r->ptend_t);
    o.fixed(static_cast<double>(10.0f * r->ptend), 0, 3);
  }
  if (r->rain1 >= 0) put_group(o, " p", static_cast<double>(100.0f * r->rain1), 0, 2);
  if (r->rain3 >= 0) put_group(o, " Q", static_cast<double>(100.0f * r->rain3), 0, 2);
  if (r->rain6 >= 0) put_group(o, " r", static_cast<double>(100.0f * r->rain6), 0, 2);
  if (ext && r->rain12 >= 0) put_group(o, " q", static_cast<double>(100.0f * r->rain12), 0, 2);
  if (r->rain24 >= 0) put_group(o, " R", static_cast<double>(100.0f * r->rain24), 0, 2);
  if (!is_miss(r->max_t)) put_group(o, " X", r->max_t, 1, 2);
  if (ext && !is_miss(r->max6_t)) put_group(o, " x", r->max6_t, 1, 2);
  if (!is_miss(r->min_t)) put_group(o, " N", r->min_t, 1, 2);
  if (ext && !is_miss(r->min6_t)) put_group(o, " n", r->min6_t, 1, 2);
  if (r->scover >= 0) put_group(o, " S", r->scover, 1, 2);
  if (r->cld_type[0] != ' ') {
    o.lit(" C");
    o.text_width(r->cld_type, sizeof r->cld_type, 3);
  }
  if (r->w_gust >= 0) put_group(o, " G", r->w_gust, 0, 3);
  if (r->solar >= 0) put_group(o, " s", r->solar, 0, 3);
  if (!is_miss(r->sst)) put_group(o, " t", r->sst, 1, 2);
  if (!is_miss(r->wav_per)) put_group(o, " p", r->wav_per, 0, 2);
  if (!is_miss(r->wav_hgt)) put_group(o, " h", r->wav_hgt, 1, 2);
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
  o.dec(is_miss(r->w_dir) ? -999 : trunc_int(10.0f * r->w_dir + r->w_spd), 4, '0');
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
  o.fixed(is_miss(hght) ? -99.0 : static_cast<double>(hght / 100.0f), 0, 3);
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
    put_group(o, "r", static_cast<double>(100.0f * r->rain6), 0, 2);
    o.ch('.');
  }
  if (r->rain24 >= 0) {
    put_group(o, "R", static_cast<double>(100.0f * r->rain24), 0, 2);
    o.ch('.');
  }
  // Daytime files carry the night's minimum, the others the day's maximum.
  const float extreme = (file_hour >= 10 && file_hour <= 21) ? r->min_t : r->max_t;
  if (!is_miss(extreme)) {
    put_group(o, "T", extreme, 0, 2);
    o.ch('.');
  }
  if (r->scover >= 0) {
    put_group(o, "S", r->scover, 0, 2);
    o.ch('.');
  }
  if (r->cld_type[0] != ' ') {
    o.ch('C');
    o.text_width(r->cld_type, sizeof r->cld_type, 3);
    o.ch('.');
  }
  if (r->w_gust >= 0) {
    put_group(o, "G", r->w_gust, 0, 3);
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
    xml_fixed(o, "lat", r->lat, 2);
    xml_fixed(o, "lon", r->lon, 2);
  }
  if (!is_miss(r->t)) xml_fixed(o, "temp.C", celsius(r->t), 1);
  if (!is_miss(r->td)) xml_fixed(o, "dewp.C", celsius(r->td), 1);
  if (!is_miss(r->w_dir)) xml_fixed(o, "wdir.deg", r->w_dir, 0);
  if (!is_miss(r->w_spd)) xml_fixed(o, "wspd.knt", r->w_spd, 0);
  if (r->w_gust >= 0) xml_fixed(o, "wgust.knt", r->w_gust, 0);
  if (!is_miss(r->alt)) xml_fixed(o, "alt.in", r->alt, 2);
  if (!is_miss(r->pmb)) xml_fixed(o, "slpr.mb", r->pmb, 1);
  if (!is_miss(r->vis)) xml_fixed(o, "vis.mi", r->vis, r->vis < 5 ? 2 : 1);

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
      xml_fixed(o, ".ft", r->cld_height[i], 0);
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
    xml_fixed(o, "ptend.mb", r->ptend, 1);
  }
  if (r->rain1 >= 0) xml_fixed(o, "prec1.in", r->rain1, 2);
  if (r->rain3 >= 0) xml_fixed(o, "prec3.in", r->rain3, 2);
  if (r->rain6 >= 0) xml_fixed(o, "prec6.in", r->rain6, 2);
  if (r->rain12 >= 0) xml_fixed(o, "prec12.in", r->rain12, 2);
  if (r->rain24 >= 0) xml_fixed(o, "prec24.in", r->rain24, 2);
  if (!is_miss(r->max_t)) xml_fixed(o, "maxt.C", celsius(r->max_t), 1);
  if (!is_miss(r->max6_t)) xml_fixed(o, "maxt6.C", celsius(r->max6_t), 1);
  if (!is_miss(r->min_t)) xml_fixed(o, "mint.C", celsius(r->min_t), 1);
  if (!is_miss(r->min6_t)) xml_fixed(o, "mint6.C", celsius(r->min6_t), 1);
  if (r->scover >= 0) xml_fixed(o, "scover.in", r->scover, 1);
  if (r->cld_type[0] != ' ') {
    static constexpr std::string_view kNames[3] = {"lcld=\"", "mcld=\"", "hcld=\""};
    for (int i = 0; i < 3; ++i) {
      o.lit(kNames[i]);
      o.xml_char(r->cld_type[i]);
      o.lit("\" ");
    }
  }
  if (r->solar >= 0) xml_fixed(o, "solar.min", r->solar, 0);
  if (!is_miss(r->sst)) xml_fixed(o, "sst.C", r->sst, 1);
  if (!is_miss(r->wav_per)) xml_fixed(o, "wave_per.sec", r->wav_per, 0);
  if (!is_miss(r->wav_hgt)) xml_fixed(o, "wave_hgt.m", r->wav_hgt, 1);
  if (r->comment[0] != '\0') {
    o.lit("comment=\"");
    o.xml_text(r->comment, sizeof r->comment);
    o.lit("\" ");
  }
  o.lit("/>\n");
  return o.size();
}
