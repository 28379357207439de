// The CSV format: a header line written once, then rows formatted straight
// into the stream's staging block (no allocation per report). Appending
// continues only a file whose header is this program's, word for word.
#include "output/sfc_csv.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "framework/files_access.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "output/formats.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_line.hpp"
#include "output/sfc_stream.hpp"
#include "stations/cty_read.hpp"
#include "stations/cty_tool.hpp"

namespace {

constexpr M_type kFail = 0xC0;

AnaClock clock;

const std::string &header() {
  static const std::string h = [] {
    std::string s;
    for (const AnaVar &v : kAnaVars) {
      if (!s.empty()) s += ',';
      s += v.column;
    }
    s += '\n';
    return s;
  }();
  return h;
}

// ----- one row --------------------------------------------------------------
//
// A row is written in one pass of stores into room that is certain to hold
// its longest form (kRowRoom, checked once per row): each column's kind,
// conversion and decimals are decided while compiling, numbers are written
// as printf's "%.*f" and "%lld" write them, and every field is followed by
// its comma (the last one becomes the line end).

// The bytes a text field may hold unquoted: printable ASCII but the comma
// and the quote.
constexpr auto kPlain = [] {
  std::array<bool, 256> t{};
  for (int c = 0x20; c < 0x7f; ++c) t[static_cast<std::size_t>(c)] = c != ',' && c != '"';
  return t;
}();

// A text field that is not plain, from its start: bytes outside printable
// ASCII become '?' (so that the file is UTF-8 whatever the station file
// holds); a field with a comma or a quote is quoted, its quotes doubled.
[[gnu::noinline]] char *put_odd_text(char *p, const char *s, std::size_t n) {
  bool quote = false;
  for (std::size_t i = 0; i < n; ++i) quote = quote || s[i] == ',' || s[i] == '"';
  if (quote) *p++ = '"';
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"') *p++ = '"';
    *p++ = c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
  }
  if (quote) *p++ = '"';
  return p;
}

// The text of a field of `Max` readable bytes. The usual identifier or
// name (printable, nothing to quote) is copied whole in a few moves; the
// bytes past its end are overwritten by what follows.
template <std::size_t Max>
[[gnu::always_inline]] inline char *put_text(char *p, const char *s) {
  const std::size_t n = field_len(s, Max);
  bool plain = true;
  for (std::size_t i = 0; i < n; ++i) plain &= kPlain[static_cast<unsigned char>(s[i])];
  if (!plain) [[unlikely]]
    return put_odd_text(p, s, n);
  std::memcpy(p, s, Max);
  return p + n;
}
constexpr std::size_t text_room(std::size_t max) { return 2 * max + 2; }

// The four or five figures of `v` (1000 to 99999): the first of five, then
// the last four as two pairs, which cover the first store when there are
// only four.
[[gnu::always_inline]] inline char *put_figures5(char *p, std::uint64_t v) {
  using str_detail::kPairs;
  const std::size_t n = v >= 10000 ? 5 : 4;
  const std::uint64_t low = v % 10000;
  p[0] = static_cast<char>('0' + v / 10000);
  std::memcpy(p + n - 4, &kPairs[2 * (low / 100)], 2);
  std::memcpy(p + n - 2, &kPairs[2 * (low % 100)], 2);
  return p + n;
}

// The figures of `v` with a '-' before them when `neg` (stored whether or
// not, then overwritten): below 100000, which covers nearly every value of
// a row, from the tables of figures.
[[gnu::always_inline]] inline char *put_whole(char *p, std::uint64_t v, bool neg) {
  using namespace str_detail;
  *p = '-';
  p += neg ? 1 : 0;
  if (v < 1000) [[likely]] {
    const std::uint32_t w = kSmall[v];
    std::memcpy(p, &w, 4);
    return p + (w >> 24);
  }
  if (v < 100000) [[likely]]
    return put_figures5(p, v);
  return str_detail::put_whole(p, v, false, 0, 0, ' ');
}

// "%lld" of an integer.
[[gnu::always_inline]] inline char *put_int(char *p, std::int64_t v) {
  if (v >= 0 && v < 100000) [[likely]]
    return put_whole(p, static_cast<std::uint64_t>(v), false);
  return str_put_int_open<0, -1, false>(p, v);
}

// |y| * 10^P rounded to an integer as printf rounds "%.Pf": to nearest on
// the exact binary value, ties to even; a product past 2^51 gives a q of
// 2^51 or more that is no rounding. Below 2^51 adding 2^52 rounds so;
// the product itself is rounded, but never across a half-integer, and the
// distance of the result to the product (exact, at most 1/2) is 1/2 only
// when the product landed on a tie, which the exact value decides.
// `Exact`: y is a float's value, so the product is exact and needs no look.
template <int P, bool Exact>
[[gnu::always_inline]] inline std::uint64_t round_scaled(double a) {
  constexpr double k = P == 0 ? 1.0 : P == 1 ? 10.0 : P == 2 ? 100.0 : 1000.0;
  constexpr double kTwo52 = 4503599627370496.0;
  const double s = a * k;
  const double r = s + kTwo52;
  auto q = static_cast<std::uint64_t>(std::bit_cast<std::int64_t>(r) - std::bit_cast<std::int64_t>(kTwo52));
  if constexpr (P > 0 && !Exact) {
    // (Past 2^51 q is no rounding at all; the caller takes another way.)
    if (!(std::fabs((r - kTwo52) - s) < 0.5) && s < 2251799813685248.0) [[unlikely]]
      q = static_cast<std::uint64_t>(str_detail::round_tie(a, k, s));
  }
  return q;
}

// "%.Pf" of `y` (see round_scaled for `Exact`).
template <int P, bool Exact>
[[gnu::always_inline]] inline char *put_fixed(char *p, double y) {
  using namespace str_detail;
  constexpr std::uint64_t kDiv = P == 0 ? 1 : P == 1 ? 10 : P == 2 ? 100 : 1000;
  const double a = std::fabs(y);
  const std::uint64_t q = round_scaled<P, Exact>(a);
  std::uint64_t ip;
  // A usual value, below 100000, had a product below 2^51, so q is right
  // (past 2^51 the sum leaves the integers and q comes out far larger).
  if (q < 1000 * kDiv) [[likely]] {
    ip = q / kDiv;
    const std::uint32_t w = kSmall[ip];
    *p = '-';
    p += std::signbit(y) ? 1 : 0;
    std::memcpy(p, &w, 4);
    p += w >> 24;
  } else {
    if (q >= 100000 * kDiv && !(a < kFastLimit<P>)) return fixed_any(p, p + kFloatRoom, y, 0, P);
    ip = q / kDiv;
    p = put_whole(p, ip, std::signbit(y));
  }
  if constexpr (P > 0) {
    const auto fp = static_cast<std::size_t>(q - ip * kDiv);
    p = str_detail::put_fraction<P>(p, fp);
  }
  return p;
}

// Is a float of the record reported (as its row says)? Most columns of
// most reports are not: the test is one comparison of bits (-9999 is one
// float), or one with zero; whether it is finite is asked afterwards.
template <SfcPresent Present>
[[gnu::always_inline]] inline bool reported(float x) {
  if constexpr (Present == SfcPresent::not_negative) return x >= 0;
  return std::bit_cast<std::uint32_t>(x) != std::bit_cast<std::uint32_t>(tv::kMissFloat);
}
[[gnu::always_inline]] inline bool finite(float x) {
  return (std::bit_cast<std::uint32_t>(x) & 0x7f800000u) != 0x7f800000u;
}

// The longest "%.Pf" of a value of column `I`: a float of the record
// converted, so at most FLT_MAX times the conversion's factor.
constexpr std::size_t number_length(std::size_t i) {
  const AnaVar &v = kAnaVars[i];
  const AnaLinear k = kAnaCsv[i];
  const double flt_max = std::numeric_limits<float>::max();
  // A cloud base adds the station height (feet from metres) to the height.
  const double x = v.kind == AnaKind::cloud_base ? flt_max + flt_max / 0.3048 : flt_max;
  double y = (k.a < 0 ? -k.a : k.a) + (k.b < 0 ? -k.b : k.b) * x;
  std::size_t figures = 1;
  for (; y >= 10.0; y /= 10.0) ++figures;
  return 1 + figures + (v.csv_prec > 0 ? static_cast<std::size_t>(v.csv_prec) + 1 : 0);
}

// The room column `I` may store into (more than it keeps: whole words).
constexpr std::size_t column_room(std::size_t i) {
  switch (kAnaVars[i].kind) {
    case AnaKind::station_id: return text_room(sizeof SFC_report::id);
    case AnaKind::station_name: return text_room(sizeof CTY_data::name);
    case AnaKind::time: return 20;
    default: return static_cast<std::size_t>(kFloatRoom);
  }
}
constexpr bool numbers_fit() {
  for (std::size_t i = 0; i < kAnaVarCount; ++i) {
    const AnaVar &v = kAnaVars[i];
    if (v.csv_prec < 0 || v.csv_prec > 3) return false;
    if ((v.kind == AnaKind::value || v.kind == AnaKind::cloud_base) &&
        number_length(i) > static_cast<std::size_t>(kFloatRoom))
      return false;
  }
  return true;
}
static_assert(numbers_fit(), "kAnaVars: a CSV number that may not fit its room");

// A row's room: every column's and its comma, and the whole words the last
// one may store past its end.
constexpr std::size_t kRowRoom = [] {
  std::size_t n = static_cast<std::size_t>(kFloatRoom);
  for (std::size_t i = 0; i < kAnaVarCount; ++i) n += column_room(i) + 1;
  return n;
}();
static_assert(kRowRoom <= kSfcLineMax, "a CSV row must fit the stream's room for a record");

// The report types as words padded to 8 bytes, copied whole.
struct TypeWord {
  char text[8];
  std::size_t len;
};
constexpr auto kTypeWords = [] {
  std::array<TypeWord, std::size(kAnaReportTypes)> t{};
  for (std::size_t i = 0; i < t.size(); ++i) {
    const std::string_view w = kAnaReportTypes[i];
    for (std::size_t k = 0; k < w.size() && k < sizeof t[i].text; ++k) t[i].text[k] = w[k];
    t[i].len = w.size();
  }
  return t;
}();
static_assert([] {
  for (std::string_view w : kAnaReportTypes)
    if (w.size() > sizeof TypeWord::text) return false;
  return true;
}());

// The station's name from the station table. The search's memory of its
// last answer (CTY_remember_last) is left off: a land report's station
// number is found through the index by number in fewer steps than the
// memory takes to compare and keep the identifier, and ships are never
// looked up twice.
char *put_station_name(char *p, const SFC_report &r) {
  // The run stores its stations as CTY_data (store type 1).
  CTY_data st;
  return CTY_search(r.id, &st) ? put_text<sizeof st.name>(p, st.name) : p;
}

// Column `I` of a row and the comma after it.
template <std::size_t I>
[[gnu::always_inline]] inline char *put_column(char *p, const SFC_report &r, const AnaClock &clk) {
  constexpr const AnaVar &v = kAnaVars[I];
  if constexpr (v.kind == AnaKind::station_id) {
    p = put_text<sizeof r.id>(p, r.id);
  } else if constexpr (v.kind == AnaKind::report_type) {
    const TypeWord &w = kTypeWords[ANA_report_index(r)];
    std::memcpy(p, w.text, sizeof w.text);
    p += w.len;
  } else if constexpr (v.kind == AnaKind::station_name) {
    p = put_station_name(p, r);
  } else if constexpr (v.kind == AnaKind::time) {
    p = clk.put_iso(r.time, p);
  } else if constexpr (v.kind == AnaKind::value && SFC_field(v.var).source == SfcSource::real) {
    // The usual number: a float of the record, converted.
    constexpr const SfcField &f = SFC_field(v.var);
    constexpr AnaLinear k = kAnaCsv[I];
    // A float of the record in its own unit is written as it is (the sum
    // with +0.0 only turns -0 into 0, as the conversion does).
    constexpr bool kExact = k.a == 0.0 && k.b == 1.0;
    const float x = r.*(f.real);
    if (reported<f.present>(x)) {
      if (finite(x)) p = put_fixed<v.csv_prec, kExact>(p, k.a + k.b * static_cast<double>(x));
    }
  } else {
    const double x = ANA_value<I>(r);
    if (!std::isnan(x)) {
      if constexpr (v.kind == AnaKind::code_char || v.kind == AnaKind::code_int ||
                    (v.kind == AnaKind::cover && v.csv_prec == 0 && kAnaCsv[I].a == 0.0 && kAnaCsv[I].b == 1.0)) {
        // A code figure or a cover in oktas is one digit (ANA_value gives
        // 0 to 9 or NaN).
        *p++ = static_cast<char>('0' + static_cast<int>(x));
      } else if constexpr (v.type == AnaType::int32) {
        p = put_int(p, static_cast<std::int64_t>(x));
      } else {
        constexpr AnaLinear k = kAnaCsv[I];
        p = put_fixed<v.csv_prec, false>(p, k.a + k.b * x);
      }
    }
  }
  *p = ',';
  return p + 1;
}

// The row at `p`, which has kRowRoom bytes: its end. (`p` is a parameter
// whose address is never taken, so the stores through it cannot change it
// and it stays in a register.)
template <std::size_t... I>
char *put_columns(char *p, const SFC_report &r, const AnaClock &clk, std::index_sequence<I...>) {
  ((p = put_column<I>(p, r, clk)), ...);
  p[-1] = '\n';
  return p;
}
char *put_row(char *p, const SFC_report &r, const AnaClock &clk) {
  return put_columns(p, r, clk, std::make_index_sequence<kAnaVarCount>{});
}

// ----- the format's operations ----------------------------------------------

SfcType detect(int first, const char * /*filename*/) {
  return first == header()[0] ? SfcType::csv : SfcType::unknown;
}

// Is the first line of `filename` this program's header (with LF or CRLF)?
bool header_matches(const char *filename) {
  FILE *in = FILE_open(filename, "r");
  if (!in) return false;
  const std::string &h = header();
  std::string line;
  int c;
  while ((c = std::fgetc(in)) != EOF && line.size() <= h.size()) {
    line += static_cast<char>(c);
    if (c == '\n') break;
  }
  FILE_close(in);
  if (line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n') line.erase(line.size() - 2, 1);
  return line == h;
}

int open(SfcFile &f, const char *filename) {
  switch (f.access) {
    case SfcAccess::read: return SFC_stream_open(f, filename, "r", 0);
    case SfcAccess::create: return SFC_stream_open(f, filename, "w", 0);
    case SfcAccess::append: break;
  }
  // Rows of other columns would be read under the wrong names.
  if (SFC_chktype(filename) != SFC_type_code(SfcType::csv) || !header_matches(filename)) {
    MESS_print(kFail, "SFC_open: Not a CSV file of this program's columns, not appended to: %s\n", filename);
    return -1;
  }
  f.type = SfcType::csv;
  return SFC_stream_open(f, filename, "a", 1);
}

int put_header(SfcFile &f, SFC_info * /*info*/) {
  clock.set(f.date);
  SFC_stream_put(header());
  return 0;
}

// Nothing is read: the run's date is the date of the rows it adds.
int get_header(SfcFile &f, SFC_info *info) {
  f.date = info->date;
  clock.set(f.date);
  return f.access == SfcAccess::read ? -1 : 1;
}

int write(SfcFile & /*f*/, const SFC_report &r, int /*rec*/) {
  SFC_stream_record([&](char *buf, std::size_t size) { return SFC_format_csv(buf, size, r, clock); });
  return 0;
}

int close(SfcFile & /*f*/, bool /*finish*/, bool keep) { return SFC_stream_close(keep); }

}  // namespace

std::string_view SFC_csv_header() { return header(); }

std::size_t SFC_format_csv(char *buf, std::size_t size, const SFC_report &r, const AnaClock &clk) {
  if (size >= kRowRoom) [[likely]]
    return static_cast<std::size_t>(put_row(buf, r, clk) - buf);
  // Less room than the longest row: the row as far as it fits.
  char row[kRowRoom];
  const auto n = static_cast<std::size_t>(put_row(row, r, clk) - row);
  const std::size_t kept = n < size ? n : size;
  if (kept > 0) std::memcpy(buf, row, kept);
  return kept;
}

const SfcFormatOps kSfcCsvOps = {detect, open, put_header, get_header, write, close};
