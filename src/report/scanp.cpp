// Pattern scanner for coded report groups. Patterns are interpreted as they
// are read, without compilation; the text is never read past `length`.
#include "report/scanp.hpp"

#include <charconv>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <system_error>

#include "framework/mess.hpp"
#include "framework/string.hpp"
#include "framework/missing.hpp"

namespace {

constexpr M_type kTrace = 0x80000000u;
constexpr int kNoWidth = 999;   // "no limit in practice"
constexpr int kMarkerMax = 19;  // characters of a missing-data marker

// Character classes of the C locale, safe for any byte value.
using tv::is_digit;
using tv::is_letter;
// The white space of a blank pattern element and of `w`.
constexpr bool is_blank_ws(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
// The standard white-space characters.
constexpr bool is_space(char c) { return is_blank_ws(c) || c == '\v' || c == '\f'; }

// One parsed "%" element.
struct Conv {
  bool suppress = false;
  bool less = false;       // "<": at most `width` instead of exactly
  bool has_width = false;
  int width = kNoWidth;
  const char *marker = nullptr;  // marker text, not terminated
  int mlen = 0;
  char letter = '\0';
  // Set text of "[" or alternatives of "(", not terminated.
  const char *body = nullptr;
  int blen = 0;
};

// State of one scanp call.
struct Match {
  const char *in;  // ptr + off
  int avail;       // characters from `in` to the end of the text
  int cons = 0;    // characters consumed so far
  char at(int i) const { return i < avail ? in[i] : '\0'; }
};

// Parses the element after "%" at `p` (which points after the "%"); returns
// the pattern position after the element.
const char *parse_conv(const char *p, Conv &cv) {
  if (*p == '*') {
    cv.suppress = true;
    ++p;
  }
  if (*p == '<') {
    cv.less = true;
    ++p;
  }
  if (is_digit(*p)) {
    int w = 0;
    while (is_digit(*p)) {
      if (w < kNoWidth) w = w * 10 + (*p - '0');
      ++p;
    }
    if (w > kNoWidth) w = kNoWidth;
    if (w > 0) {
      cv.has_width = true;
      cv.width = w;
    }
  }
  if (*p == '!') {
    ++p;
    const char *end = std::strchr(p, '!');
    int n = end ? static_cast<int>(end - p) : static_cast<int>(std::strlen(p));
    cv.marker = p;
    cv.mlen = n < kMarkerMax ? n : kMarkerMax;
    p += n;
    if (*p == '!') ++p;
  }
  cv.letter = *p;
  if (*p == '\0') return p;
  ++p;
  if (cv.letter == '[' || cv.letter == '(') {
    const char close = cv.letter == '[' ? ']' : ')';
    const char *end = std::strchr(p, close);
    int n = end ? static_cast<int>(end - p) : static_cast<int>(std::strlen(p));
    cv.body = p;
    cv.blen = n;
    p += n;
    if (*p == close) ++p;
  }
  return p;
}

// Length of the marker found at `start` (compared for at most the width),
// or -1 when it is not there in full.
int marker_at(const Match &m, int start, const Conv &cv) {
  int k = cv.mlen < cv.width ? cv.mlen : cv.width;
  for (int i = 0; i < k; ++i) {
    if (start + i >= m.avail || m.in[start + i] != cv.marker[i]) return -1;
  }
  return k;
}

// Decimal value of `n` digits at `s`, saturated at the int range.
int digits_value(const char *s, int n, bool neg) {
  long long v = 0;
  for (int i = 0; i < n; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > std::numeric_limits<int>::max()) {
      v = std::numeric_limits<int>::max();
      break;
    }
  }
  return static_cast<int>(neg ? -v : v);
}

float float_value(const char *s, int n) {
  float v = 0.0f;
  auto r = std::from_chars(s, s + n, v);
  if (r.ec == std::errc::result_out_of_range) {
    // A huge exponent saturates; a tiny one underflows to zero.
    const char *e = s;
    while (e < s + n && *e != 'e' && *e != 'E') ++e;
    bool neg_exp = e + 1 < s + n && e[1] == '-';
    if (neg_exp) return 0.0f;
    return s[0] == '-' ? -std::numeric_limits<float>::max() : std::numeric_limits<float>::max();
  }
  if (r.ec != std::errc()) return 0.0f;  // a lone "." reads as zero
  return v;
}

// Result of one conversion.
enum class Res { ok, skip, fail };

// A number conversion that found no number: its missing-data marker, when
// the pattern gives one and it stands there, stores the missing value.
template <class T>
Res take_marker(Match &m, int start, const Conv &cv, T *out, T missing, int &assigned) {
  if (!cv.marker) return Res::fail;
  const int k = marker_at(m, start, cv);
  if (k < 0) return Res::skip;
  if (out) {
    *out = missing;
    ++assigned;
  }
  m.cons = start + k;
  return Res::ok;
}

// Integer conversions d (ws = false) and D (ws = true).
Res conv_int(Match &m, const Conv &cv, int limit, int *out, int &assigned) {
  const int start = m.cons;
  int i = start;
  const int end = start + limit;  // exclusive, already within avail
  if (cv.letter == 'D')
    while (i < end && is_space(m.in[i])) ++i;
  bool neg = false;
  if (i < end && m.in[i] == '-') {
    neg = true;
    ++i;
  }
  const int dstart = i;
  while (i < end && is_digit(m.in[i])) ++i;
  const int ndig = i - dstart;
  if (ndig > 0 && cv.letter == 'D')
    while (i < end && is_space(m.in[i])) ++i;
  if (ndig == 0) {
    return take_marker(m, start, cv, out, tv::kMissInt, assigned);
  }
  if (cv.has_width && !cv.less && i - start != cv.width) return Res::fail;
  if (out) {
    *out = digits_value(m.in + dstart, ndig, neg);
    ++assigned;
  }
  m.cons = i;
  return Res::ok;
}

// Floating conversions f and F (F also takes white space around the number).
Res conv_float(Match &m, const Conv &cv, int limit, float *out, int &assigned) {
  const bool big = cv.letter == 'F';
  const int start = m.cons;
  int i = start;
  const int end = start + limit;
  if (big)
    while (i < end && is_space(m.in[i])) ++i;
  const int nstart = i;
  if (i < end && m.in[i] == '-') ++i;
  int ndig = 0;
  bool dot = false;
  while (i < end) {
    char c = m.in[i];
    if (is_digit(c)) {
      ++ndig;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
    ++i;
  }
  const int mant = i - nstart;  // includes the sign
  const bool lone_minus = mant == 1 && m.in[nstart] == '-';
  const bool have_num = big ? ndig > 0 : (mant > 0 && !lone_minus);
  if (have_num && i < end && (m.in[i] == 'e' || m.in[i] == 'E')) {
    int j = i + 1;
    if (j < end && (m.in[j] == '+' || m.in[j] == '-')) ++j;
    if (j < end && is_digit(m.in[j])) {
      while (j < end && is_digit(m.in[j])) ++j;
      i = j;
    } else if (big) {
      return Res::fail;
    }
  }
  const int nend = i;
  if (!have_num) {
    // f takes its marker only when it collected nothing or a lone "-";
    // F whenever it found no digit.
    if (!big && mant > 0 && !lone_minus) return Res::fail;
    return take_marker(m, start, cv, out, tv::kMissFloat, assigned);
  }
  if (big)
    while (i < end && is_space(m.in[i])) ++i;
  if (cv.has_width && !cv.less && i - start != cv.width) return Res::fail;
  if (out) {
    *out = float_value(m.in + nstart, nend - nstart);
    ++assigned;
  }
  m.cons = i;
  return Res::ok;
}

// Is `c` a member of the set text?
bool in_set(const char *set, int n, char c) {
  for (int i = 0; i < n; ++i) {
    char s = set[i];
    if (s == '/' && i + 1 < n && (set[i + 1] == 'A' || set[i + 1] == 'N' || set[i + 1] == '/')) {
      char t = set[++i];
      if (t == 'A' && is_letter(c)) return true;
      if (t == 'N' && is_digit(c)) return true;
      if (c == t) return true;
      continue;
    }
    if (c == s) return true;
  }
  return false;
}

// Collecting conversions that store text: s S A N c w W [.
Res conv_text(Match &m, const Conv &cv, int limit, char *out, int &assigned) {
  const int start = m.cons;
  const int end = start + limit;
  bool negate = false;
  const char *set = cv.body;
  int slen = cv.blen;
  if (cv.letter == '[' && slen > 0 && set[0] == '^') {
    negate = true;
    ++set;
    --slen;
  }
  int i = start;
  while (i < end) {
    char c = m.in[i];
    bool take = false;
    switch (cv.letter) {
      case 's': take = !is_space(c); break;
      case 'S': case 'c': take = true; break;
      case 'A': take = is_letter(c); break;
      case 'N': take = is_digit(c); break;
      case 'w': take = is_blank_ws(c); break;
      case 'W': take = c == ' ' || c == '\r' || c == '\t'; break;
      case '[': take = in_set(set, slen, c) != negate; break;
      default: break;
    }
    if (!take) break;
    ++i;
  }
  const int n = i - start;
  if (n < 1) return Res::fail;
  const bool exact = (cv.has_width && !cv.less) || (cv.letter == 'c' && !cv.has_width);
  const int want = cv.has_width ? cv.width : 1;
  if (exact && n != want) return Res::fail;
  if (out) {
    std::memcpy(out, m.in + start, static_cast<size_t>(n));
    if (cv.letter != 'c') out[n] = '\0';
    ++assigned;
  }
  m.cons = i;
  return Res::ok;
}

// Literal alternatives "(a|b|...)".
Res conv_alt(Match &m, const Conv &cv, char *out, int &assigned) {
  const char *a = cv.body;
  const char *bend = cv.body + cv.blen;
  while (true) {
    const char *e = a;
    while (e < bend && *e != '|') ++e;
    const int n = static_cast<int>(e - a);
    if (n <= m.avail - m.cons && std::memcmp(m.in + m.cons, a, static_cast<size_t>(n)) == 0) {
      if (out) {
        int k = n < kScanpMaxCollect ? n : kScanpMaxCollect;
        std::memcpy(out, a, static_cast<size_t>(k));
        out[k] = '\0';
        ++assigned;
      }
      m.cons += n;
      return Res::ok;
    }
    if (e >= bend) break;
    a = e + 1;
  }
  if (cv.marker) {
    const int k = cv.mlen < cv.width ? cv.mlen : cv.width;
    int i = 0;
    while (i < k && m.cons + i < m.avail && m.in[m.cons + i] == cv.marker[i]) ++i;
    m.cons += i;
    if (out) {
      out[0] = '\0';
      ++assigned;
    }
    return Res::ok;
  }
  if (cv.less && !cv.has_width) {
    if (out) ++assigned;  // optional group: counted, nothing written
    return Res::ok;
  }
  return Res::fail;
}

// One "%" element at the input position, with its argument taken from `ap`
// unless it is suppressed. `is_conv` is cleared for a letter that is no
// conversion (then matched as an ordinary character).
Res element(Match &m, const Conv &cv, std::va_list *ap, int &assigned, bool &is_conv) {
  int limit = cv.width < kScanpMaxCollect ? cv.width : kScanpMaxCollect;
  if (cv.letter == 'c' && !cv.has_width) limit = 1;
  if (limit > m.avail - m.cons) limit = m.avail - m.cons;
  switch (cv.letter) {
    case 'd':
    case 'D': {
      int *out = cv.suppress ? nullptr : va_arg(*ap, int *);
      return conv_int(m, cv, limit, out, assigned);
    }
    case 'f':
    case 'F': {
      float *out = cv.suppress ? nullptr : va_arg(*ap, float *);
      return conv_float(m, cv, limit, out, assigned);
    }
    case 's': case 'S': case 'A': case 'N': case 'c': case 'w': case 'W': case '[': {
      char *out = cv.suppress ? nullptr : va_arg(*ap, char *);
      return conv_text(m, cv, limit, out, assigned);
    }
    case '(': {
      char *out = cv.suppress ? nullptr : va_arg(*ap, char *);
      return conv_alt(m, cv, out, assigned);
    }
    case 'n': {
      if (!cv.suppress) *va_arg(*ap, int *) = m.cons;
      return Res::ok;
    }
    default:
      // Not a conversion: the letter is an ordinary character.
      is_conv = false;
      if (m.at(m.cons) == cv.letter) {
        ++m.cons;
        return Res::ok;
      }
      return Res::fail;
  }
}

}  // namespace

int scanp_set(parse_param *param, const char *str) {
  param->ptr = str;
  param->length = str ? static_cast<int>(std::strlen(str)) : 0;
  param->off = 0;
  param->len = 0;
  param->assigned = 0;
  param->matched = 0;
  param->done = 0;
  return 1;
}

int scanp(parse_param *param, const char *pat, ...) {
  param->len = 0;
  param->assigned = 0;
  param->matched = 0;
  param->done = 0;
  if (!pat || !*pat || !param->ptr || param->off < 0 || param->off >= param->length) return -1;

  const bool trace = MESS_check(kTrace) != 0;
  Match m;
  m.in = param->ptr + param->off;
  m.avail = param->length - param->off;
  int assigned = 0;
  int matched = 0;
  bool failed = false;

  va_list ap;
  va_start(ap, pat);
  const char *p = pat;
  while (*p) {
    Res res = Res::fail;
    const char *next;
    if (*p == ' ') {
      next = p + 1;
      if (is_blank_ws(m.at(m.cons))) {
        while (is_blank_ws(m.at(m.cons))) ++m.cons;
        res = Res::ok;
      }
    } else if (*p == '%') {
      Conv cv;
      next = parse_conv(p + 1, cv);
      if (cv.letter == '\0') {
        p = next;  // a "%" at the end of the pattern: nothing left to match
        break;
      }
      bool is_conv = true;
      res = element(m, cv, &ap, assigned, is_conv);
      if (res == Res::ok && is_conv) ++matched;
    } else {
      next = p + 1;
      if (m.at(m.cons) == *p) {
        ++m.cons;
        res = Res::ok;
      }
    }
    if (res == Res::fail) {
      failed = true;
      break;
    }
    p = next;
    if (trace) {
      MESS_print(kTrace, "     :%s:%.50s:\n", p, m.in + m.cons);
    }
  }
  va_end(ap);

  param->len = m.cons;
  param->assigned = assigned;
  param->matched = matched;
  param->done = (!failed && *p == '\0') ? 1 : 0;
  if (trace) {
    MESS_print(kTrace, "SCANP:%.50s:%s:%d:%d:%d:%d:%d\n", param->ptr + param->off, pat, param->off,
               param->len, param->done, param->assigned, param->matched);
  }
  return matched;
}

int scanp_inc(parse_param *param) {
  param->off += param->len;
  return 1;
}

const char *scanp_str(parse_param *param) { return param->ptr + param->off; }
