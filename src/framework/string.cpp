// String and line utilities. Everything works in place on the caller's
// NUL-terminated buffer and never makes it longer; only parse_string allocates.
#include "framework/string.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

inline int lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

// Reads up to `len` characters that are not a line feed into `string`.
// The line feed that ends the line is consumed with it, so an empty line
// anywhere (also the first one of a file) reads as one empty line and a
// longer line comes in pieces of `len` characters. Returns the count
// stored, or -1 at end of file (or when no character can be stored).
int read_line(FILE *ifile, char *string, int len) {
  if (!ifile || !string || len < 0) return -1;
  string[0] = '\0';
  if (len == 0) return -1;
  int c = getc_unlocked(ifile);
  if (c == EOF) return -1;
  int n = 0;
  while (c != EOF && c != '\n') {
    string[n++] = static_cast<char>(c);
    if (n == len) {
      // The limit: leave the rest of the line, but not a bare line feed,
      // which would otherwise read as an extra empty line.
      c = getc_unlocked(ifile);
      if (c != '\n' && c != EOF) ungetc(c, ifile);
      break;
    }
    c = getc_unlocked(ifile);
  }
  string[n] = '\0';
  return n;
}

}  // namespace

int stricmp(const char *s1, const char *s2) {
  if (!s1 || !s2) return 1;
  while (*s1 && *s2 && lower(*s1) == lower(*s2)) {
    ++s1;
    ++s2;
  }
  return lower(*s1) - lower(*s2);
}

// Compares at most n characters, but always at least the first one.
int strnicmp(const char *s1, const char *s2, int n) {
  if (!s1 || !s2) return 1;
  for (int i = 1; i < n && *s1 && *s2 && lower(*s1) == lower(*s2); ++i) {
    ++s1;
    ++s2;
  }
  return lower(*s1) - lower(*s2);
}

// Splits a copy of `string` at every `delim`. argv[0] is the base of the
// copy, which is how free_parsed_array finds it. Returns 0, or -1 with
// argc 0 and argv null for a null or empty text or when memory runs out.
int parse_string(const char *string, char delim, int *argc, char ***argv) {
  if (argc) *argc = 0;
  if (argv) *argv = nullptr;
  if (!string || !*string || !argc || !argv) return -1;

  const std::size_t len = std::strlen(string);
  char *copy = static_cast<char *>(std::malloc(len + 1));
  if (!copy) return -1;
  std::memcpy(copy, string, len + 1);

  std::size_t end = len;
  while (end > 0 && copy[end - 1] == delim) copy[--end] = '\0';

  std::size_t count = 1;
  for (std::size_t i = 0; i < end; ++i)
    if (copy[i] == delim) ++count;

  char **list = static_cast<char **>(std::malloc(count * sizeof(char *)));
  if (!list) {
    std::free(copy);
    return -1;
  }
  std::size_t k = 0;
  list[k++] = copy;
  for (std::size_t i = 0; i < end; ++i) {
    if (copy[i] == delim) {
      copy[i] = '\0';
      list[k++] = copy + i + 1;
    }
  }
  *argc = static_cast<int>(count);
  *argv = list;
  return 0;
}

int free_parsed_array(int argc, char **argv) {
  if (argc == 0 || !argv) return 0;
  std::free(argv[0]);
  std::free(argv);
  return 0;
}

int fill_string(char *string, char tar, char fill) {
  if (!string) return 0;
  for (; *string; ++string)
    if (*string == tar) *string = fill;
  return 0;
}

int strip_string(char *string, char tar) {
  if (!string) return 0;
  char *out = string;
  for (const char *in = string; *in; ++in)
    if (*in != tar) *out++ = *in;
  *out = '\0';
  return 0;
}

int trim_string(char *string) {
  if (!string) return 0;
  std::size_t n = std::strlen(string);
  while (n > 0 && string[n - 1] == ' ') string[--n] = '\0';
  return 0;
}

int trim_cr_string(char *string) {
  if (!string) return 0;
  std::size_t n = std::strlen(string);
  while (n > 0 && string[n - 1] == '\r') string[--n] = '\0';
  return 0;
}

int wstrim_string(char *string) {
  if (!string) return 0;
  char *out = string;
  for (const char *in = string; *in; ++in)
    if (*in != '\n' && *in != '\r') *out++ = *in;
  *out = '\0';
  trim_string(string);
  return 1;
}

// A backslash protects the character after it, which is kept as it is.
int strip_escape(char *string) {
  if (!string) return 0;
  char *out = string;
  for (const char *in = string; *in; ++in) {
    if (*in == '\\') {
      ++in;
      if (!*in) break;
    }
    *out++ = *in;
  }
  *out = '\0';
  return 0;
}

int low_string(char *string) {
  if (!string || !*string) return 0;
  for (; *string; ++string)
    if (*string >= 'A' && *string <= 'Z') *string = static_cast<char>(*string - 'A' + 'a');
  return 1;
}

int string_is_num(const char *string) {
  if (!string || !*string) return 0;
  if (*string == '-') ++string;
  for (; *string; ++string)
    if (!tv::is_digit(*string)) return 0;
  return 1;
}

int string_is_num_len(const char *string, int len) {
  if (!string || !*string) return 0;
  for (int i = 0; i < len; ++i)
    if (!tv::is_digit(string[i])) return 0;  // also stops on the terminator
  return 1;
}

// Control bytes at the end of a raw line are cut off; elsewhere control and
// high bytes become blanks, so the line is plain printable text afterwards.
int clean_line(unsigned char *line) {
  if (!line || !*line) return 0;
  std::size_t i = std::strlen(reinterpret_cast<char *>(line));
  bool trailing = true;
  while (i > 0) {
    unsigned char &c = line[--i];
    if (trailing) {
      if (c < 32) {
        c = '\0';
        continue;
      }
      trailing = false;
      if (c >= 128) c = ' ';
    } else if (c < 32 || c >= 128) {
      c = ' ';
    }
  }
  return 1;
}

// Appends s2 to s1 so that s1 holds at most m characters (buffer of m + 1).
int strmcat(char *s1, const char *s2, int m) {
  if (!s1 || !s2 || m < 0) return 0;
  const std::size_t limit = static_cast<std::size_t>(m);
  const std::size_t len1 = std::strlen(s1);
  if (len1 >= limit) return 0;
  const std::size_t room = limit - len1;
  std::size_t len2 = std::strlen(s2);
  if (len2 > room) len2 = room;
  std::memcpy(s1 + len1, s2, len2);
  s1[len1 + len2] = '\0';
  return 1;
}

// Reads the next line (or the next piece of `len` characters of a longer
// line) into a buffer of len + 1 bytes. Returns the count stored, 0 for an
// empty line, -1 at end of file.
int fgetnline(FILE *ifile, char *string, int len) {
  return read_line(ifile, string, len);
}

// As fgetnline, but 1 for a non-empty line.
int fgetstring(FILE *ifile, char *string, int len) {
  const int n = read_line(ifile, string, len);
  return n > 0 ? 1 : n;
}

// ---------------------------------------------------------------------------
// Numbers as printf writes them (str_put_fixed, str_put_int): the short
// ways are inline in the header; here are the long ones.

namespace str_detail {

namespace {

constexpr auto kPow10 = [] {
  std::array<std::uint64_t, 20> t{};
  std::uint64_t p = 1;
  for (auto &x : t) {
    x = p;
    p *= 10;
  }
  return t;
}();

// Bounded pieces: what does not fit before `end` is dropped.
char *pad_bounded(char *p, char *end, int n, char c) {
  for (; n > 0 && p < end; --n) *p++ = c;
  return p;
}
char *copy_bounded(char *p, char *end, const char *s, std::size_t n) {
  const auto room = static_cast<std::size_t>(end - p);
  if (n > room) n = room;
  std::memcpy(p, s, n);
  return p + n;
}

}  // namespace

// Figures of `v` in decimal (1 for 0): from the bit length, log10(2) being
// about 1233 / 4096, and one comparison.
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

// The product s = a * k is exactly a half-integer: the exact residual of
// the product (which fma gives without rounding) tells on which side the
// true value lies; a true tie goes to the even neighbour.
std::int64_t round_tie(double a, double k, double s) {
  const double err = std::fma(a, k, -s);
  const auto below = static_cast<std::int64_t>(s - 0.5);
  if (err > 0) return below + 1;
  if (err < 0) return below;
  return below + (below & 1);
}

// Any value and precision: the figures made whole first (std::to_chars is
// exact as printf, only slower), then padded and cut to the room.
char *fixed_any(char *p, char *end, double v, int width, int prec) {
  if (!p || p >= end) return p;
  if (prec < 0) prec = 6;
  char tmp[400];    // any double in fixed notation with up to 64 decimals
  std::string big;  // more decimals than that: never in a record
  std::string_view text;
  if (prec <= 2 && std::fabs(v) < kFastLimit<2>) {
    char *e = prec == 0 ? fixed_fast<0>(tmp, v, 0) : prec == 1 ? fixed_fast<1>(tmp, v, 0) : fixed_fast<2>(tmp, v, 0);
    text = std::string_view(tmp, static_cast<std::size_t>(e - tmp));
  } else if (auto [e, ec] = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, prec);
             ec == std::errc()) {
    text = std::string_view(tmp, static_cast<std::size_t>(e - tmp));
  } else {
    big.resize(static_cast<std::size_t>(prec) + 400);
    auto [e2, ec2] = std::to_chars(big.data(), big.data() + big.size(), v, std::chars_format::fixed, prec);
    if (ec2 == std::errc()) text = std::string_view(big.data(), static_cast<std::size_t>(e2 - big.data()));
  }
  p = pad_bounded(p, end, width - static_cast<int>(text.size()), ' ');
  return copy_bounded(p, end, text.data(), text.size());
}

// "%W.Pd" and "%0Wd" in full, for what the short way does not take.
char *int_any(char *p, char *end, long long v, int width, int prec, bool zero_pad) {
  if (!p || p >= end) return p;
  const bool neg = v < 0;
  const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  const int sign = neg ? 1 : 0;
  // "%.0d" of 0 has no figure at all.
  const int figures = prec == 0 && mag == 0 ? 0 : count_figures(mag);
  int zeros = prec > figures ? prec - figures : 0;
  if (prec < 0 && zero_pad && width > figures + sign) zeros = width - figures - sign;
  p = pad_bounded(p, end, width - sign - zeros - figures, ' ');
  if (neg) p = pad_bounded(p, end, 1, '-');
  p = pad_bounded(p, end, zeros, '0');
  char tmp[24];
  if (figures > 0) put_figures(tmp + figures, mag);
  return copy_bounded(p, end, tmp, static_cast<std::size_t>(figures));
}

// One function for each usual precision keeps each one small where the
// precision is only known at run time. Three decimals are the positions of
// the analysis formats.
template <int Prec>
char *put_fixed(char *p, char *end, double v, int width) {
  return str_put_fixed_p<Prec>(p, end, v, width);
}
template char *put_fixed<0>(char *, char *, double, int);
template char *put_fixed<1>(char *, char *, double, int);
template char *put_fixed<2>(char *, char *, double, int);
template char *put_fixed<3>(char *, char *, double, int);

char *put_fixed_any(char *p, char *end, double v, int width, int prec) {
  // Not a case of the inline switch, which would then grow too big to be
  // inlined where the text layouts write their numbers.
  if (prec == 3) return put_fixed<3>(p, end, v, width);
  return fixed_any(p, end, v, width, prec);
}

}  // namespace str_detail

char *str_put_int(char *p, char *end, long long v, int width, int prec, bool zero_pad) {
  return str_put_int_c(p, end, v, width, prec, zero_pad);
}
