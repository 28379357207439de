// One record line built in the caller's buffer, never past its end: the
// writers of every line format (text, XML, and those to come) put their
// pieces through it. Numbers are written as printf writes them
// (str_put_fixed, str_put_int); texts can be escaped for XML.
#pragma once

#include <bit>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "framework/string.hpp"
#include "output/sfc_fields.hpp"

// Conversion to int toward zero. Values outside the int range saturate and
// NaN gives 0, so garbage in a record can never cause undefined behaviour.
inline std::int64_t sfc_trunc(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<std::int64_t>(v);
}

// A value times 10^exp10 in single precision (a negative power divides),
// as the text layouts scale their numbers.
template <int Exp10>
constexpr float sfc_scaled(float v) {
  static_assert(Exp10 >= -2 && Exp10 <= 2);
  if constexpr (Exp10 == 1) return 10.0f * v;
  if constexpr (Exp10 == 2) return 100.0f * v;
  if constexpr (Exp10 == -1) return v / 10.0f;
  if constexpr (Exp10 == -2) return v / 100.0f;
  return v;
}

// The length of a text in a field of `max` readable bytes, as strnlen:
// the first eight bytes are searched at once, without a call.
[[gnu::always_inline]] inline std::size_t field_len(const char *s, std::size_t max) {
  if constexpr (std::endian::native == std::endian::little) {
    if (max >= 8) {
      std::uint64_t w;
      std::memcpy(&w, s, sizeof w);
      // The top bit of the first zero byte is set (later ones may be too).
      const std::uint64_t z = (w - 0x0101010101010101ULL) & ~w & 0x8080808080808080ULL;
      if (z != 0) return static_cast<std::size_t>(std::countr_zero(z)) / 8;
      return 8 + strnlen(s + 8, max - 8);
    }
  }
  std::size_t n = 0;
  while (n < max && s[n] != '\0') ++n;
  return n;
}

class SfcLine {
 public:
  SfcLine(char *buf, std::size_t size) : begin_(buf), p_(buf), end_(buf + size) {}

  std::size_t size() const { return static_cast<std::size_t>(p_ - begin_); }

  void ch(char c) {
    if (p_ < end_) *p_++ = c;
  }

  // A literal: when its size is known while compiling, the copy is inlined.
  [[gnu::always_inline]] void lit(std::string_view s) {
    // An empty piece of a form may have no data at all: memcpy must not see it.
    if (s.empty()) return;
    if (static_cast<std::size_t>(end_ - p_) >= s.size()) {
      std::memcpy(p_, s.data(), s.size());
      p_ += s.size();
    } else {
      raw(s.data(), s.size());
    }
  }

  void raw(const char *s, std::size_t n) {
    const auto room = static_cast<std::size_t>(end_ - p_);
    if (n > room) n = room;
    if (n == 0) return;
    std::memcpy(p_, s, n);
    p_ += n;
  }

  // A NUL-terminated text of at most `max` bytes, as "%s".
  void text(const char *s, std::size_t max) { raw(s, strnlen(s, max)); }

  // As "%W.Ps": at most `max` characters (all `max` readable: a field of
  // the record), right-aligned in `width`. With room for the whole field it
  // is copied whole, in a few moves of known size; what follows the text
  // is then overwritten or lies past the line's end.
  [[gnu::always_inline]] void text_width(const char *s, std::size_t max, int width) {
    const std::size_t n = field_len(s, max);
    pad(width - static_cast<int>(n), ' ');
    if (static_cast<std::size_t>(end_ - p_) >= max) {
      std::memcpy(p_, s, max);
      p_ += n;
    } else {
      raw(s, n);
    }
  }

  void pad(int n, char c) {
    for (; n > 0; --n) ch(c);
  }

  // The one XML escaper: & < > " of a text value become entities.
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

  // As "%W.Pf" of a double. The forms of the layouts are constants of the
  // code: their numbers are written inline, without a call.
  [[gnu::always_inline]] void fixed(double v, int width, int prec) {
    if (__builtin_constant_p(prec) && prec >= 0 && prec <= 3) {
      switch (prec) {
        case 0: p_ = str_put_fixed_p<0>(p_, end_, v, width); return;
        case 1: p_ = str_put_fixed_p<1>(p_, end_, v, width); return;
        case 2: p_ = str_put_fixed_p<2>(p_, end_, v, width); return;
        default: p_ = str_put_fixed_p<3>(p_, end_, v, width); return;
      }
    }
    p_ = str_put_fixed(p_, end_, v, width, prec);
  }
  // As "%Wd", "%0Wd" (zero) or "%W.Pd".
  [[gnu::always_inline]] void dec(std::int64_t v, int width = 0, int prec = -1, bool zero = false) {
    if (__builtin_constant_p(width) && __builtin_constant_p(prec) && __builtin_constant_p(zero))
      p_ = str_put_int_c(p_, end_, v, width, prec, zero);
    else
      p_ = str_put_int(p_, end_, v, width, prec, zero);
  }

  // A number in a conversion of a form: "f" as a double, "d" as an integer
  // (the caller truncates first where the layout says so).
  [[gnu::always_inline]] void number(const SfcConv &c, double v) { fixed(v, c.width, c.prec); }
  [[gnu::always_inline]] void number(const SfcConv &c, std::int64_t v) { dec(v, c.width, c.prec, c.zero); }

 private:
  char *begin_;
  char *p_;
  char *end_;
};

// One record line written where the room for the longest line the layout
// can make is certain (the caller sees to it): no piece checks the room, so
// a line is a run of stores. Numbers are written as printf writes them;
// texts are copied as whole fields, whose bytes past the text are
// overwritten by what follows.
class SfcOpenLine {
 public:
  explicit SfcOpenLine(char *buf) : begin_(buf), p_(buf) {}

  std::size_t size() const { return static_cast<std::size_t>(p_ - begin_); }

  void ch(char c) { *p_++ = c; }
  // `c` only when `keep`: stored all the same, without a branch.
  void ch_if(char c, bool keep) {
    *p_ = c;
    p_ += keep ? 1 : 0;
  }

  [[gnu::always_inline]] void lit(std::string_view s) {
    if (s.empty()) return;
    std::memcpy(p_, s.data(), s.size());
    p_ += s.size();
  }

  // As "%W.Ps" of a field of `Max` readable bytes, P cutting it shorter.
  template <std::size_t Max, int Width = 0>
  [[gnu::always_inline]] void text(const char *s) {
    const std::size_t n = field_len(s, Max);
    if constexpr (Width > 0) {
      std::memset(p_, ' ', Width);
      if (static_cast<int>(n) < Width) p_ += Width - static_cast<int>(n);
    }
    std::memcpy(p_, s, Max);
    p_ += n;
  }

  // A number in the conversion C of a form: "f" of a float, "d" of an
  // integer.
  template <SfcConv C>
  [[gnu::always_inline]] void number(float v) {
    static_assert(C.conv == 'f' && !C.zero && C.prec >= 0 && C.prec <= 3);
    p_ = str_put_float_open<C.width, C.prec>(p_, v);
  }
  // The same by a table way only, when C has them: false, with nothing
  // written that counts, for a value beyond them.
  template <SfcConv C>
  [[gnu::always_inline]] bool number_by_table(float v) {
    static_assert(C.conv == 'f' && !C.zero && C.prec >= 0 && C.prec <= 3);
    return str_detail::float_by_table<C.width, C.prec>(p_, v);
  }
  template <SfcConv C>
  [[gnu::always_inline]] void number(std::int64_t v) {
    static_assert(C.conv == 'd');
    p_ = str_put_int_open<C.width, C.prec, C.zero>(p_, v);
  }

  // The same of a value the caller knows to lie in 0 to 999 ("%Wd", W at
  // most 3), or in 0 to 9999 ("%04d", "%4.4d"): no range is tested.
  template <SfcConv C>
  [[gnu::always_inline]] void number_below_1000(std::uint32_t v) {
    static_assert(C.conv == 'd' && !C.zero && C.prec < 0 && C.width <= 3);
    p_ = str_detail::put_small<C.width>(p_, v, false);
  }
  template <SfcConv C>
  [[gnu::always_inline]] void number_below_10000(std::uint32_t v) {
    static_assert(C.conv == 'd' && C.width == 4 && ((C.zero && C.prec < 0) || C.prec == 4));
    const std::uint32_t hi = v * 5243u >> 19;  // v / 100, exact below 43699
    std::memcpy(p_, &str_detail::kPairs[2 * hi], 2);
    std::memcpy(p_ + 2, &str_detail::kPairs[2 * (v - hi * 100u)], 2);
    p_ += 4;
  }

 private:
  char *begin_;
  char *p_;
};
