// The CSV format: a header line written once, then rows formatted straight
// into the stream's staging block (no allocation per report). Appending
// continues only a file whose header is this program's, word for word.
#include "output/sfc_csv.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "framework/files_access.hpp"
#include "framework/mess.hpp"
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

// A text field. Bytes outside printable ASCII become '?', so that the file
// is UTF-8 whatever the station file holds; a field with a comma or a
// quote is quoted, its quotes doubled.
void text_field(SfcLine &out, const char *s, std::size_t max) {
  const std::size_t n = strnlen(s, max);
  // The usual identifier or name: printable, nothing to quote, copied whole.
  bool plain = true;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    plain = plain && c >= 0x20 && c < 0x7f && c != ',' && c != '"';
  }
  if (plain) {
    out.raw(s, n);
    return;
  }
  bool quote = false;
  for (std::size_t i = 0; i < n; ++i) quote = quote || s[i] == ',' || s[i] == '"';
  if (quote) out.ch('"');
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"') out.ch('"');
    out.ch(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
  }
  if (quote) out.ch('"');
}

void station_name(SfcLine &out, const SFC_report &r) {
  // The run stores its stations as CTY_data (store type 1).
  CTY_data st;
  if (CTY_search(r.id, &st)) text_field(out, st.name, sizeof st.name);
}

// Column `I` of a row, with the comma before it: the table's row is known
// while compiling, so its kind, conversion and decimals cost nothing here.
template <std::size_t I>
[[gnu::always_inline]] inline void column(SfcLine &out, const SFC_report &r, const AnaClock &clk) {
  constexpr const AnaVar &v = kAnaVars[I];
  if constexpr (I > 0) out.ch(',');
  if constexpr (v.kind == AnaKind::station_id) {
    text_field(out, r.id, sizeof r.id);
  } else if constexpr (v.kind == AnaKind::report_type) {
    out.lit(ANA_report_type(r));
  } else if constexpr (v.kind == AnaKind::station_name) {
    station_name(out, r);
  } else if constexpr (v.kind == AnaKind::time) {
    char t[20];
    clk.iso(r.time, t);
    out.raw(t, sizeof t);
  } else {
    const double x = ANA_value<I>(r);
    if (std::isnan(x)) return;
    if constexpr (v.kind == AnaKind::code_char || v.kind == AnaKind::code_int) {
      // A code figure is one digit (ANA_value gives 0 to 9 or NaN).
      out.ch(static_cast<char>('0' + static_cast<int>(x)));
    } else if constexpr (v.type == AnaType::int32) {
      out.dec(static_cast<std::int64_t>(x));
    } else {
      constexpr AnaLinear k = kAnaCsv[I];
      out.fixed(k.a + k.b * x, 0, v.csv_prec);
    }
  }
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
  CTY_remember_last(true);  // station_name: the station the run has just looked up
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
  SfcLine out(buf, size);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (column<I>(out, r, clk), ...);
  }(std::make_index_sequence<kAnaVarCount>{});
  out.ch('\n');
  return out.size();
}

const SfcFormatOps kSfcCsvOps = {detect, open, put_header, get_header, write, close};
