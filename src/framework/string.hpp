// String and line utilities working in place on NUL-terminated texts.
// Named string.hpp so that it can never shadow the C library's <string.h>.
#pragma once

#include <cstddef>
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
namespace str_detail {
// The usual precisions each in a small function of their own, called
// straight when the precision is known while compiling.
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
// As "%<width>.<prec>d" of `v` (prec < 0: none), or "%0<width>d" when
// `zero_pad` and no precision is given.
char *str_put_int(char *p, char *end, long long v, int width, int prec = -1, bool zero_pad = false);
