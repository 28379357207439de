// Record layouts of the converted data file as text lines. Each writer
// reads top to bottom in the order of its line; the keys, forms, scales,
// units and missing texts come from the record's description (kSfcFields),
// resolved while compiling, so that a record costs no format parsing and
// no allocation.
#include "output/sfc_dec.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "framework/missing.hpp"
#include "output/sfc_fields.hpp"
#include "output/sfc_line.hpp"
#include "report/wx_tool.hpp"

namespace {

using tv::is_miss;
using V = SfcVar;

template <SfcVar Var>
constexpr SfcForm kText = SFC_parse_form(SFC_field(Var).text.form);
template <SfcVar Var>
constexpr SfcForm kOld = SFC_parse_form(SFC_field(Var).old.form);
template <SfcVar Var>
constexpr SfcForm kXml = SFC_parse_form(SFC_field(Var).xml.form);

int layer_count(const SFC_report &r) {
  constexpr int kLayers = static_cast<int>(SFC_field(V::cld_height).count);
  if (r.num_cld < 0) return 0;
  return r.num_cld > kLayers ? kLayers : r.num_cld;
}

// The pieces of a record are inlined, so that their forms are constants of
// the code: literal copies of known size and no form read at run time. The
// pieces of the text layout are all inlined into its one function: the
// line's position then stays in a register instead of being read again
// after every byte stored.
#define SFC_INLINE [[gnu::always_inline]] inline

// A form with one number: its text, the number, the text after it.
template <class T>
SFC_INLINE void put(SfcLine &o, const SfcForm &form, T v) {
  o.lit(form.text[0]);
  o.number(form.conv[0], v);
  o.lit(form.text[1]);
}

// A form with one text ("%s", "%3.3s") of at most `max` bytes.
SFC_INLINE void put_text(SfcLine &o, const SfcForm &form, const char *s, std::size_t max) {
  o.lit(form.text[0]);
  if (form.conv[0].prec >= 0 && static_cast<std::size_t>(form.conv[0].prec) < max)
    max = static_cast<std::size_t>(form.conv[0].prec);
  o.text_width(s, max, form.conv[0].width);
  o.lit(form.text[1]);
}

// ----- current text layout ------------------------------------------------------

// The line is written in one pass of stores into a buffer with room for
// its longest form (see SFC_format_text): no piece checks the room.
template <SfcVar Var>
constexpr SfcForm kTextFine = SFC_parse_form(SFC_field(Var).text.fine_form);

// Is a float of the record missing? Its bits are compared: one comparison
// with the record's memory, no load into a float register and no test for
// NaN (which never has those bits).
SFC_INLINE bool missing(const float &v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits == std::bit_cast<std::uint32_t>(tv::kMissFloat);
}
SFC_INLINE bool missing(const int &v) { return tv::is_miss(v); }

// Range tests of a float of the record on its bits, each one unsigned
// comparison: floats from +0 up order as their bits do, and a sign bit
// (the negatives, the missing value, -0) or NaN lies above any range here.
// -0 fails where the float comparison would take it: the callers' long
// ways write it alike.
SFC_INLINE std::uint32_t float_bits(const float &v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}
// A positive finite bound as bits (a template argument: not every compiler
// takes a float there).
constexpr std::uint32_t bound_bits(float bound) { return std::bit_cast<std::uint32_t>(bound); }
constexpr bool positive_finite(std::uint32_t bits) { return bits > 0 && bits < 0x7F800000u; }
// 0 <= v < the bound of bits Hi.
template <std::uint32_t Hi>
SFC_INLINE bool below(const float &v) {
  static_assert(positive_finite(Hi));
  return float_bits(v) < Hi;
}
// Lo <= v <= Hi, the bounds as bits.
template <std::uint32_t Lo, std::uint32_t Hi>
SFC_INLINE bool within(const float &v) {
  static_assert(positive_finite(Lo) && positive_finite(Hi) && Lo <= Hi);
  return float_bits(v) - Lo <= Hi - Lo;
}

// Present in the text layout, as SFC_present decides.
template <SfcPresent P>
SFC_INLINE bool present(const float &v) {
  if constexpr (P == SfcPresent::not_missing) return !missing(v);
  return SFC_present(P, v);
}

// A form with one number: its text, the number, the text after it.
template <const SfcForm &F, class T>
SFC_INLINE void put(SfcOpenLine &o, T v) {
  o.lit(F.text[0]);
  o.number<F.conv[0]>(v);
  o.lit(F.text[1]);
}

// A form with one text ("%s", "%3.3s") of a field of `Max` bytes.
template <const SfcForm &F, std::size_t Max>
SFC_INLINE void put_text(SfcOpenLine &o, const char *s) {
  constexpr SfcConv c = F.conv[0];
  constexpr std::size_t kCut = c.prec >= 0 && static_cast<std::size_t>(c.prec) < Max ? c.prec : Max;
  o.lit(F.text[0]);
  o.text<kCut, c.width>(s);
  o.lit(F.text[1]);
}

// A number of the current layout in the row's form, scaled.
template <SfcVar Var>
SFC_INLINE void text_value(SfcOpenLine &o, const float &v) {
  put<kText<Var>>(o, sfc_scaled<SFC_field(Var).text.exp10>(v));
}

// Can a number of the current layout try the table ways of its form before
// its test for missing? Its form begins with the number, which has table
// ways, and the missing value, scaled, lies beyond them (then present
// means not missing).
constexpr bool table_first(const SfcField &f, std::string_view form) {
  if (form.empty()) return true;
  const SfcForm F = SFC_parse_form(form);
  const SfcConv c = F.conv[0];
  if (f.present != SfcPresent::not_missing || !F.text[0].empty() || c.conv != 'f' || c.zero || c.prec < 0 ||
      c.prec > 3)
    return false;
  double miss = static_cast<double>(tv::kMissFloat);
  for (int i = 0; i < f.text.exp10 + c.prec; ++i) miss *= 10;
  for (int i = 0; i > f.text.exp10 + c.prec; --i) miss /= 10;
  return miss <= -999.5 && (c.prec == 0 ? c.width <= 3 : c.width - c.prec - 1 <= 1);
}

// A number of the current layout by the table ways of its form, the usual
// values of a record: false, with nothing written that counts, when it
// takes a longer way or is missing.
template <SfcVar Var, const SfcForm &F>
SFC_INLINE bool text_by_table(SfcOpenLine &o, const float &v) {
  if (!o.number_by_table<F.conv[0]>(sfc_scaled<SFC_field(Var).text.exp10>(v))) return false;
  o.lit(F.text[1]);
  return true;
}
template <SfcVar Var>
SFC_INLINE bool text_number_by_table(SfcOpenLine &o, const float &v) {
  constexpr const SfcField &f = SFC_field(Var);
  if constexpr (!f.text.fine_form.empty()) {
    if (v < f.text.fine_below) return text_by_table<Var, kTextFine<Var>>(o, v);
  }
  return text_by_table<Var, kText<Var>>(o, v);
}

// A number of the current layout: the row's form of the value scaled, or
// the row's missing text when it is not present.
template <SfcVar Var>
SFC_INLINE void text_number(SfcOpenLine &o, const float &v) {
  constexpr const SfcField &f = SFC_field(Var);
  if constexpr (table_first(f, f.text.form) && table_first(f, f.text.fine_form)) {
    // The usual value costs no test for missing of its own.
    if (text_number_by_table<Var>(o, v)) [[likely]]
      return;
  }
  if (!present<f.present>(v)) {
    o.lit(f.text.missing);
    return;
  }
  if constexpr (!f.text.fine_form.empty()) {
    if (v < f.text.fine_below) {
      put<kTextFine<Var>>(o, sfc_scaled<f.text.exp10>(v));
      return;
    }
  }
  text_value<Var>(o, v);
}

// An optional group of the current layout; `Ext`: the layout has the extra
// groups (type 4).
template <SfcVar Var, bool Ext>
SFC_INLINE void text_group(SfcOpenLine &o, const SFC_report &r) {
  constexpr const SfcField &f = SFC_field(Var);
  if constexpr (f.text.ext && !Ext) return;
  text_number<Var>(o, r.*f.real);
}

// Altimeter setting: last three figures of hundredths of an inch.
SFC_INLINE std::int64_t alt_digits(float alt) {
  const float a = sfc_scaled<SFC_field(V::alt).text.exp10>(alt);
  return sfc_trunc(static_cast<double>(a) + 0.01) % 1000;
}

// Sea-level pressure in tenths of a millibar, all figures.
SFC_INLINE std::int64_t pmb_tenths(float pmb) {
  const float p = sfc_scaled<SFC_field(V::pmb).text.exp10>(pmb);
  return sfc_trunc(static_cast<double>(p) + 0.1);
}

// A direction without a speed is no wind to write: the speed would go
// into the figures as -9999 ("-7799").
SFC_INLINE void text_wind(SfcOpenLine &o, const SFC_report &r) {
  constexpr const SfcField &dir = SFC_field(V::w_dir);
  // The usual wind, direction under 1000 and speed under 99.5 (so neither
  // is missing): its figures (at most 9900 + 99.49..., rounded as a float)
  // stay under 10000. A speed closer to 100 can make the sum 10000.
  if (below<bound_bits(1000.0f)>(r.w_dir) && below<bound_bits(99.5f)>(r.w_spd)) [[likely]] {
    constexpr SfcForm F = kText<V::w_dir>;
    const auto tens = static_cast<unsigned>(r.w_dir) / 10u * 100u;
    o.lit(F.text[0]);
    o.number_below_10000<F.conv[0]>(static_cast<std::uint32_t>(static_cast<float>(tens) + r.w_spd));
    o.lit(F.text[1]);
    return;
  }
  if (missing(r.w_dir) || missing(r.w_spd)) {
    o.lit(dir.text.missing);
    return;
  }
  const std::int64_t d = sfc_trunc(r.w_dir);
  if (r.w_spd >= 100) {
    put<kText<V::w_spd>>(o, d / 5 * 5);
    put<kText<V::w_spd>>(o, sfc_trunc(r.w_spd));
    o.ch(' ');
  } else {
    const float s = static_cast<float>(d / 10 * 100) + r.w_spd;
    put<kText<V::w_dir>>(o, sfc_trunc(s));
  }
}

// One cloud layer: height in hundreds of feet and cover ("M" when blank,
// ":" before an okta figure).
SFC_INLINE void text_layer(SfcOpenLine &o, const SFC_report &r, int i) {
  constexpr const SfcField &h = SFC_field(V::cld_height);
  const float height = r.cld_height[i];
  if (missing(height))
    o.lit(h.text.missing);
  else
    put<kText<V::cld_height>>(o, sfc_scaled<h.text.exp10>(height));
  const char c = r.cld_cover[i];
  if (c == ' ') {
    o.lit(SFC_field(V::cld_cover).text.missing);
  } else {
    o.ch_if(':', c >= '0' && c <= '9');
    o.ch(c);
  }
}

// Fields 1 to 9: always there.
SFC_INLINE void text_fixed_part(SfcOpenLine &o, const SFC_report &r) {
  put_text<kText<V::id>, sizeof r.id>(o, r.id);
  text_number<V::t>(o, r.t);
  text_number<V::td>(o, r.td);
  text_wind(o, r);
  if (missing(r.alt))
    o.lit(SFC_field(V::alt).text.missing);
  else
    put<kText<V::alt>>(o, alt_digits(r.alt));
  if (within<bound_bits(950.0f), bound_bits(1050.0f)>(r.pmb)) [[likely]] {
    // The usual pressure: its tenths (9500 to 10500) inside an int, and
    // their last three figures (0 to 999) without a division.
    constexpr SfcForm F = kText<V::pmb>;
    const float tenths = sfc_scaled<SFC_field(V::pmb).text.exp10>(r.pmb);
    auto p = static_cast<std::uint32_t>(static_cast<double>(tenths) + 0.1);
    p -= 9000u + 1000u * static_cast<std::uint32_t>(p >= 10000u);
    o.lit(F.text[0]);
    o.number_below_1000<F.conv[0]>(p);
    o.lit(F.text[1]);
  } else if (missing(r.pmb)) {
    o.lit(SFC_field(V::pmb).text.missing);
  } else {
    put<kText<V::pmb>>(o, pmb_tenths(r.pmb));
  }
  text_number<V::vis>(o, r.vis);

  // Layers below the last one end in ",", the last in a blank; without
  // layers, layer 0 is written all the same.
  // Most reports have at most one: its place is then known.
  if (r.num_cld > 1) {
    const int last = std::min(r.num_cld, static_cast<int>(SFC_field(V::cld_height).count)) - 1;
    for (int i = 0; i < last; ++i) {
      text_layer(o, r, i);
      o.ch(',');
    }
    text_layer(o, r, last);
  } else {
    text_layer(o, r, 0);
  }
  o.ch(' ');

  if (r.weather[0] == ' ')
    o.lit(SFC_field(V::weather).text.missing);
  else
    put_text<kText<V::weather>, sizeof r.weather>(o, r.weather);
}

// Are the N floats of the record from byte `offset` on all missing? Most
// optional groups are missing in a report, and some lie next to each other
// in the record and on the line: they are passed over with one test of
// whole words. Any other content (present, or another negative value)
// leaves each group to its own test.
template <std::size_t N>
SFC_INLINE bool all_missing(const SFC_report &r, std::size_t offset) {
  static constexpr auto kMissing = [] {
    std::array<std::uint32_t, N> a{};
    a.fill(std::bit_cast<std::uint32_t>(tv::kMissFloat));
    return a;
  }();
  return std::memcmp(reinterpret_cast<const char *>(&r) + offset, kMissing.data(), sizeof kMissing) == 0;
}

// Fields 10 to 29: each only when the report has it. One copy for each
// layout: which one is decided once per line, not at each extra group.
template <bool Ext>
SFC_INLINE void text_groups(SfcOpenLine &o, const SFC_report &r) {
  static_assert(offsetof(SFC_report, rain3) == offsetof(SFC_report, rain1) + sizeof(float));
  static_assert(offsetof(SFC_report, sst) == offsetof(SFC_report, solar) + sizeof(float) &&
                offsetof(SFC_report, wav_per) == offsetof(SFC_report, sst) + sizeof(float) &&
                offsetof(SFC_report, wav_hgt) == offsetof(SFC_report, wav_per) + sizeof(float));
  static_assert(!SFC_field(V::rain1).text.ext && !SFC_field(V::rain3).text.ext && !SFC_field(V::solar).text.ext &&
                !SFC_field(V::sst).text.ext && !SFC_field(V::wav_per).text.ext &&
                !SFC_field(V::wav_hgt).text.ext);
  if (!missing(r.time)) put<kText<V::time>>(o, static_cast<std::int64_t>(r.time));
  if (!missing(r.lat)) {
    text_value<V::lat>(o, r.lat);
    text_value<V::lon>(o, r.lon);
  }
  if (!missing(r.ptend)) {
    put<kText<V::ptend_t>>(o, static_cast<std::int64_t>(r.ptend_t));
    text_number<V::ptend>(o, r.ptend);
  }
  if (!all_missing<2>(r, offsetof(SFC_report, rain1))) {
    text_group<V::rain1, Ext>(o, r);
    text_group<V::rain3, Ext>(o, r);
  }
  text_group<V::rain6, Ext>(o, r);
  text_group<V::rain12, Ext>(o, r);
  text_group<V::rain24, Ext>(o, r);
  text_group<V::max_t, Ext>(o, r);
  text_group<V::max6_t, Ext>(o, r);
  text_group<V::min_t, Ext>(o, r);
  text_group<V::min6_t, Ext>(o, r);
  text_group<V::scover, Ext>(o, r);
  if (r.cld_type[0] != ' ') put_text<kText<V::cld_type>, sizeof r.cld_type>(o, r.cld_type);
  text_group<V::w_gust, Ext>(o, r);
  if (!all_missing<4>(r, offsetof(SFC_report, solar))) {
    text_group<V::solar, Ext>(o, r);
    text_group<V::sst, Ext>(o, r);
    text_group<V::wav_per, Ext>(o, r);
    text_group<V::wav_hgt, Ext>(o, r);
  }
  if (r.comment[0] != '\0') put_text<kText<V::comment>, sizeof r.comment>(o, r.comment);
}

// The whole line of the current layout into `buf`, which has kSfcLineMax
// bytes: the longest line (numbers of every field at their widest, every
// text field full) and the words the last number stores past its end are
// far shorter.
SFC_INLINE std::size_t text_line(char *buf, const SFC_report &r, bool ext) {
  SfcOpenLine o(buf);
  text_fixed_part(o, r);
  if (ext)
    text_groups<true>(o, r);
  else
    text_groups<false>(o, r);
  o.lit(" $\n");
  return o.size();
}

// ----- older text layout -------------------------------------------------------

// A dotted group of the older layout, when the value is present.
template <SfcVar Var>
SFC_INLINE void old_group(SfcLine &o, float v) {
  constexpr const SfcField &f = SFC_field(Var);
  if (SFC_present(f.present, v)) put(o, kOld<Var>, static_cast<double>(sfc_scaled<f.old.exp10>(v)));
}

// A temperature in whole degrees F ("%3d."), rounded half up.
template <SfcVar Var>
SFC_INLINE void old_degrees(SfcLine &o, float v) {
  if (is_miss(v))
    o.lit(SFC_field(Var).old.missing);
  else
    put(o, kOld<Var>, sfc_trunc(static_cast<double>(v) + 0.5));
}

// "%s %3d.%3d.%04d.%3d." and "%3d.%3d.%3.0f%c.": identifier, temperature,
// dew point, wind, altimeter, pressure, visibility, sky cover.
void old_fixed_part(SfcLine &o, const SFC_report &r) {
  put_text(o, kOld<V::id>, r.id, sizeof r.id);
  old_degrees<V::t>(o, r.t);
  old_degrees<V::td>(o, r.td);
  if (is_miss(r.w_dir) || is_miss(r.w_spd))
    o.lit(SFC_field(V::w_dir).old.missing);
  else
    put(o, kOld<V::w_dir>, sfc_trunc(sfc_scaled<SFC_field(V::w_dir).old.exp10>(r.w_dir) + r.w_spd));
  if (is_miss(r.alt))
    o.lit(SFC_field(V::alt).old.missing);
  else
    put(o, kOld<V::alt>, alt_digits(r.alt));

  if (is_miss(r.pmb)) {
    o.lit(SFC_field(V::pmb).old.missing);
  } else {
    std::int64_t p = pmb_tenths(r.pmb) % 1000;
    if (r.pmb > 1050) p += 1000;
    put(o, kOld<V::pmb>, p);
  }
  if (is_miss(r.vis))
    o.lit(SFC_field(V::vis).old.missing);
  else
    put(o, kOld<V::vis>, r.vis >= 99 ? 99 : sfc_trunc(sfc_scaled<SFC_field(V::vis).old.exp10>(r.vis)));
  char cover = ' ';
  float hght = tv::kMissFloat;
  WX_set_cloud(&r, &cover, &hght);
  constexpr int kExp = SFC_field(V::cld_height).old.exp10;
  o.number(kOld<V::cld_height>.conv[0], is_miss(hght) ? -99.0 : static_cast<double>(sfc_scaled<kExp>(hght)));
  o.lit(kOld<V::cld_cover>.text[0]);
  o.ch(cover);
  o.lit(kOld<V::cld_cover>.text[1]);
}

// The dotted groups, each only when the report has it.
void old_groups(SfcLine &o, const SFC_report &r, int file_hour) {
  if (r.weather[0] == ' ')
    o.lit(SFC_field(V::weather).old.missing);
  else
    put_text(o, kOld<V::weather>, r.weather, sizeof r.weather);
  if (!is_miss(r.lat)) {
    put(o, kOld<V::lat>, sfc_trunc(sfc_scaled<SFC_field(V::lat).old.exp10>(r.lat)));
    put(o, kOld<V::lon>, sfc_trunc(sfc_scaled<SFC_field(V::lon).old.exp10>(r.lon)));
  }
  if (!is_miss(r.ptend)) {
    const float amount = std::fabs(sfc_scaled<SFC_field(V::ptend).old.exp10>(r.ptend));
    put(o, kOld<V::ptend_t>,
        static_cast<std::int64_t>(r.ptend_t) * 100 + sfc_trunc(static_cast<double>(amount) + 0.01));
  }
  old_group<V::rain6>(o, r.rain6);
  old_group<V::rain24>(o, r.rain24);
  // Daytime files carry the night's minimum, the others the day's maximum.
  if (file_hour >= 10 && file_hour <= 21)
    old_group<V::min_t>(o, r.min_t);
  else
    old_group<V::max_t>(o, r.max_t);
  old_group<V::scover>(o, r.scover);
  if (r.cld_type[0] != ' ') put_text(o, kOld<V::cld_type>, r.cld_type, sizeof r.cld_type);
  old_group<V::w_gust>(o, r.w_gust);
}

// ----- XML ------------------------------------------------------------------------

// An attribute with one number in the row's XML unit.
template <SfcVar Var>
SFC_INLINE void xml_number(SfcLine &o, float v) {
  constexpr const SfcField &f = SFC_field(Var);
  constexpr SfcUnit kTo = f.xml.unit == SfcUnit::none ? f.unit : f.xml.unit;
  const double x = SFC_convert_to<f.unit, kTo>(static_cast<double>(v));
  if constexpr (!f.xml.fine_form.empty()) {
    constexpr SfcForm fine = SFC_parse_form(f.xml.fine_form);
    if (v < f.xml.fine_below) {
      put(o, fine, x);
      return;
    }
  }
  put(o, kXml<Var>, x);
}

// The attribute of a number, when the report has it.
template <SfcVar Var>
SFC_INLINE void xml_attr(SfcLine &o, const SFC_report &r) {
  constexpr const SfcField &f = SFC_field(Var);
  const float v = r.*f.real;
  if (SFC_present(f.present, v)) xml_number<Var>(o, v);
}

// An attribute with one text value, escaped.
SFC_INLINE void xml_text(SfcLine &o, const SfcForm &form, const char *s, std::size_t max) {
  o.lit(form.text[0]);
  o.xml_text(s, max);
  o.lit(form.text[1]);
}

// The cloud layers: their count, then each layer's height (when known) and
// cover ("M" when blank).
void xml_layers(SfcLine &o, const SFC_report &r) {
  const int n = layer_count(r);
  if (n > 0) put(o, kXml<V::num_cld>, static_cast<std::int64_t>(n));
  constexpr SfcForm hf = kXml<V::cld_height>;
  constexpr SfcForm cf = kXml<V::cld_cover>;
  constexpr const SfcField &h = SFC_field(V::cld_height);
  for (int i = 0; i < n; ++i) {
    if (!is_miss(r.cld_height[i])) {
      o.lit(hf.text[0]);
      o.number(hf.conv[0], static_cast<std::int64_t>(i + 1));
      o.lit(hf.text[1]);
      o.number(hf.conv[1], SFC_convert_to<h.unit, h.xml.unit>(static_cast<double>(r.cld_height[i])));
      o.lit(hf.text[2]);
    }
    o.lit(cf.text[0]);
    o.number(cf.conv[0], static_cast<std::int64_t>(i + 1));
    o.lit(cf.text[1]);
    if (r.cld_cover[i] == ' ')
      o.lit(SFC_field(V::cld_cover).text.missing);
    else
      o.xml_char(r.cld_cover[i]);
    o.lit(cf.text[2]);
  }
}

void xml_cloud_types(SfcLine &o, const SFC_report &r) {
  constexpr SfcForm form = kXml<V::cld_type>;
  static_assert(form.n == sizeof r.cld_type);
  for (std::size_t i = 0; i < sizeof r.cld_type; ++i) {
    o.lit(form.text[i]);
    o.xml_char(r.cld_type[i]);
  }
  o.lit(form.text[sizeof r.cld_type]);
}

}  // namespace

std::size_t SFC_format_text(char *buf, std::size_t size, const SFC_report *r, int file_type) {
  if (!buf || !r) return 0;
  if (size < kSfcLineMax) [[unlikely]] {
    // A shorter buffer gets the start of the line.
    char line[kSfcLineMax];
    const std::size_t n = std::min(SFC_format_text(line, sizeof line, r, file_type), size);
    std::memcpy(buf, line, n);
    return n;
  }
  return text_line(buf, *r, file_type == 4);
}

std::size_t SFC_format_text_line(char *buf, const SFC_report &r, bool ext) { return text_line(buf, r, ext); }

std::size_t SFC_format_old_text(char *buf, std::size_t size, const SFC_report *r, int file_hour) {
  if (!buf || !r) return 0;
  SfcLine o(buf, size);
  old_fixed_part(o, *r);
  old_groups(o, *r, file_hour);
  o.ch('\n');
  return o.size();
}

std::size_t SFC_format_xml(char *buf, std::size_t size, const SFC_report *r) {
  if (!buf || !r) return 0;
  SfcLine o(buf, size);
  o.lit("<obs ");
  xml_text(o, kXml<V::id>, r->id, sizeof r->id);
  if (!is_miss(r->time)) put(o, kXml<V::time>, static_cast<std::int64_t>(r->time));
  if (!is_miss(r->lat)) {
    xml_number<V::lat>(o, r->lat);
    xml_number<V::lon>(o, r->lon);
  }
  xml_attr<V::t>(o, *r);
  xml_attr<V::td>(o, *r);
  xml_attr<V::w_dir>(o, *r);
  xml_attr<V::w_spd>(o, *r);
  xml_attr<V::w_gust>(o, *r);
  xml_attr<V::alt>(o, *r);
  xml_attr<V::pmb>(o, *r);
  xml_attr<V::vis>(o, *r);
  xml_layers(o, *r);
  if (r->weather[0] != ' ') xml_text(o, kXml<V::weather>, r->weather, sizeof r->weather);
  if (!is_miss(r->ptend)) {
    put(o, kXml<V::ptend_t>, static_cast<std::int64_t>(r->ptend_t));
    xml_number<V::ptend>(o, r->ptend);
  }
  xml_attr<V::rain1>(o, *r);
  xml_attr<V::rain3>(o, *r);
  xml_attr<V::rain6>(o, *r);
  xml_attr<V::rain12>(o, *r);
  xml_attr<V::rain24>(o, *r);
  xml_attr<V::max_t>(o, *r);
  xml_attr<V::max6_t>(o, *r);
  xml_attr<V::min_t>(o, *r);
  xml_attr<V::min6_t>(o, *r);
  xml_attr<V::scover>(o, *r);
  if (r->cld_type[0] != ' ') xml_cloud_types(o, *r);
  xml_attr<V::solar>(o, *r);
  xml_attr<V::sst>(o, *r);
  xml_attr<V::wav_per>(o, *r);
  xml_attr<V::wav_hgt>(o, *r);
  if (r->comment[0] != '\0') xml_text(o, kXml<V::comment>, r->comment, sizeof r->comment);
  o.lit("/>\n");
  return o.size();
}

std::size_t SFC_format_xml_start(char *buf, std::size_t size, const char *label, std::size_t max) {
  if (!buf || !label) return 0;
  SfcLine o(buf, size);
  o.lit("<zotsfc date=\"");
  o.xml_text(label, max);
  o.lit("\">\n");
  return o.size();
}
