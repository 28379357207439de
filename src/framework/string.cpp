// String and line utilities. Everything works in place on the caller's
// NUL-terminated buffer and never makes it longer; only parse_string allocates.
#include "framework/string.hpp"

#include <cctype>
#include <cstdlib>
#include <cstring>

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
