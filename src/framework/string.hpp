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
template <std::size_t N>
std::size_t copy_text(char (&dst)[N], std::string_view src) noexcept {
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
