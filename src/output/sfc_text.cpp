// The text formats (keyword "zot"): types 4 and 3 with the "ZOTSFC" header
// line, and the older layout 2 that is only ever continued. The record
// lines are made by SFC_format_text and SFC_format_old_text.
#include <cstdio>
#include <cstring>

#include "framework/date.hpp"
#include "framework/missing.hpp"
#include "output/formats.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_stream.hpp"

namespace {

constexpr std::string_view kMagic = "ZOTSFC\n";

bool has_magic(SfcType t) { return t == SfcType::text || t == SfcType::text_ext; }

SfcType detect(int first, const char * /*filename*/) {
  switch (first) {
    case ' ':
    case '0':
    case '1':
    case '2':
      return SfcType::old_text;
    case 'Z':  // the first letter of the "ZOTSFC" line
      return SfcType::text;
    default:
      return SfcType::unknown;
  }
}

int put_header(SfcFile &f, SFC_info *info) {
  if (has_magic(f.type)) SFC_stream_put(kMagic);
  SFC_stream_put(info->datim, strnlen(info->datim, sizeof info->datim - 1));
  SFC_stream_put("\n", 1);
  return 0;
}

// Reads the label line of a file opened for reading. Nothing is read from
// a file being written; the run's date stands for the file's date (the
// older layout's "T" group depends on it).
int get_header(SfcFile &f, SFC_info *info) {
  if (f.access != SfcAccess::read) {
    f.date = info->date;
    return 1;
  }
  FILE *in = SFC_stream_file();
  const long pos = std::ftell(in);
  std::rewind(in);
  int c;
  if (has_magic(f.type)) {
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
    }
  }
  info->num_stat = tv::kMissInt;
  std::size_t n = 0;
  while ((c = std::fgetc(in)) != EOF && c != '\n') {
    if (n < sizeof info->datim - 1) info->datim[n++] = static_cast<char>(c);
  }
  if (n > 0 && info->datim[n - 1] == '\r') --n;
  info->datim[n] = '\0';
  if (pos >= 0) std::fseek(in, pos, SEEK_SET);
  DATE_decode_label(info->datim, &info->date);
  f.date = info->date;
  return 0;
}

// A record of the older layout, which is only ever continued: out of the
// way of the current one.
[[gnu::noinline]] void write_old(const SfcFile &f, const SFC_report &r) {
  const int hour = f.date.hour;
  SFC_stream_record([&r, hour](char *buf, std::size_t size) { return SFC_format_old_text(buf, size, &r, hour); });
}

int write(SfcFile &f, const SFC_report &r, int /*rec*/) {
  if (f.type == SfcType::old_text) [[unlikely]] {
    write_old(f, r);
    return 0;
  }
  // The stream always gives kSfcLineMax bytes; what the lambda holds is
  // copied, so that the usual way keeps it in registers.
  const bool ext = f.type == SfcType::text_ext;
  SFC_stream_record([&r, ext](char *buf, std::size_t) { return SFC_format_text_line(buf, r, ext); });
  return 0;
}

int close(SfcFile & /*f*/, bool /*finish*/, bool keep) { return SFC_stream_close(keep); }

}  // namespace

const SfcFormatOps kSfcTextOps = {detect, SFC_stream_open_lines, put_header, get_header, write, close};
