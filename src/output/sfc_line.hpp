// One record line built in the caller's buffer, never past its end: the
// writers of every line format (text, XML, and those to come) put their
// pieces through it. Numbers are written as printf writes them
// (str_put_fixed, str_put_int); texts can be escaped for XML.
#pragma once

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

class SfcLine {
 public:
  SfcLine(char *buf, std::size_t size) : begin_(buf), p_(buf), end_(buf + size) {}

  std::size_t size() const { return static_cast<std::size_t>(p_ - begin_); }

  void ch(char c) {
    if (p_ < end_) *p_++ = c;
  }

  // A literal: when its size is known while compiling, the copy is inlined.
  [[gnu::always_inline]] void lit(std::string_view s) {
    // An empty view may have no data at all: memcpy must not see it.
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

  // As "%W.Ps": at most `max` characters, right-aligned in `width`.
  void text_width(const char *s, std::size_t max, int width) {
    const std::size_t n = strnlen(s, max);
    pad(width - static_cast<int>(n), ' ');
    raw(s, n);
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

  // As "%W.Pf" of a double.
  void fixed(double v, int width, int prec) { p_ = str_put_fixed(p_, end_, v, width, prec); }
  // As "%Wd", "%0Wd" (zero) or "%W.Pd".
  void dec(std::int64_t v, int width = 0, int prec = -1, bool zero = false) {
    p_ = str_put_int(p_, end_, v, width, prec, zero);
  }

  // A number in a conversion of a form: "f" as a double, "d" as an integer
  // (the caller truncates first where the layout says so).
  void number(const SfcConv &c, double v) { fixed(v, c.width, c.prec); }
  void number(const SfcConv &c, std::int64_t v) { dec(v, c.width, c.prec, c.zero); }

 private:
  char *begin_;
  char *p_;
  char *end_;
};
