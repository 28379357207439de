// Pattern scanner for coded report groups: a printf-like pattern with exact
// widths, a missing-data marker ("/" groups become -9999) and literal
// alternatives, matched at a position the caller moves on explicitly.
#pragma once

// Scanner state over one text; owned by the caller (usually a local).
struct parse_param {
  const char *ptr;  // text being scanned, not owned
  int length;       // length of the text
  int off;          // offset of the next character to match
  int len;          // characters consumed by the last scanp call
  int assigned;     // values stored by the last call
  int matched;      // conversions matched by the last call (its result)
  int done;         // 1 when the last call used up its whole pattern
};

// No conversion collects more than this many characters; string arguments
// of s, S, A, N, w, W, [ and ( need room for this plus the terminator.
constexpr int kScanpMaxCollect = 80;

// Starts scanning `str` at offset 0. Returns 1.
int scanp_set(parse_param *param, const char *str);

// Matches `pat` at ptr + off without moving off. Arguments, one per
// conversion not suppressed with "*", in pattern order: int* for d, D and n;
// float* for f and F; char* for every other letter. Returns the number of
// conversions matched, or -1 (with len, assigned, matched and done 0) when
// `pat` is empty or off is not less than length.
int scanp(parse_param *param, const char *pat, ...);

// Accepts what the last scanp call consumed: off += len. Returns 1.
int scanp_inc(parse_param *param);

// The text at the current position.
const char *scanp_str(parse_param *param);
