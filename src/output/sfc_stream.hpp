// The stream under the formats that write bytes (text, XML, and those to
// come): opening a file, standard output or a pipe, safely where it can;
// records staged in large blocks; closing. A write that fails marks the
// open file lost (and to be told at close).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "output/formats.hpp"
#include "output/sfc_dec.hpp"

// Is `filename` (at `path`, "~" expanded) written through the safe writer:
// a new path or a regular file, not a standard stream, a pipe, a FIFO or a
// device? The same rule holds for every format.
bool SFC_safe_target(const char *filename, const char *path);

// Opens `filename` for f.access with stdio mode `mode`. A new path or a
// regular file is written through the safe writer (f.safe); an append
// keeps `header_lines` whole lines at the start of the file, or, when
// `header_lines` is negative (a binary file), works on a copy of it that
// replaces it at the end. The stream's descriptor, or -1.
int SFC_stream_open(SfcFile &f, const char *filename, const char *mode, int header_lines);

// Opens a file of lines for f.access: read, create, or append to an
// existing text file, which is continued in its own layout (f.type becomes
// the detected type, 2 or 3; anything else cannot be appended to). The
// descriptor, or -1.
int SFC_stream_open_lines(SfcFile &f, const char *filename);

// The open stream, for reading a header; null when none is open.
FILE *SFC_stream_file();

void SFC_stream_put(const char *data, std::size_t n);
inline void SFC_stream_put(std::string_view s) { SFC_stream_put(s.data(), s.size()); }

// Room for one record of up to kSfcLineMax bytes where records are staged,
// or null when they are not (the caller formats elsewhere and puts it).
char *SFC_stream_room();
// The record of `n` bytes just made in the room is written.
void SFC_stream_staged(std::size_t n);

namespace sfc_stream_detail {
// Where the next staged record goes, and the last place where one of
// kSfcLineMax bytes still fits. When records are not staged (no file, a
// standard stream, a failed write) `next` lies past `last`: the record
// takes the long way, which finds out why, with the same one test.
struct Room {
  char *next;
  char *last;
};
extern Room g_room;

// The long way of SFC_stream_record: out of line, so that the line buffer
// it may need costs the usual way nothing. The format is copied (a few
// references): the usual way then never stores it.
template <class Format>
[[gnu::noinline]] void record_slow(Format format) {
  if (char *room = SFC_stream_room()) {
    SFC_stream_staged(format(room, kSfcLineMax));
    return;
  }
  char line[kSfcLineMax];
  SFC_stream_put(line, format(line, kSfcLineMax));
}
}  // namespace sfc_stream_detail

// One record formatted by `format(buf, size)` (returning its length),
// straight where it is staged when it can be: while the block has room,
// without a call.
template <class Format>
[[gnu::always_inline]] inline void SFC_stream_record(Format &&format) {
  sfc_stream_detail::Room &r = sfc_stream_detail::g_room;
  if (r.next <= r.last) [[likely]] {
    r.next += format(r.next, kSfcLineMax);
    return;
  }
  sfc_stream_detail::record_slow(format);
}

// Closes the stream: `keep` flushes what is staged first. 0, or -1 when
// data did not reach the file.
int SFC_stream_close(bool keep);

// Closes a stream from FILE_open; the standard streams stay open. 0, or -1
// when buffered output could not be written.
int SFC_close_stream(FILE *f, bool pipe);
