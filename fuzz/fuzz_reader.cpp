// Fuzz target: arbitrary bytes as a bulletin file through the reader, and
// every report text (and the raw bytes as one text) through the scanner
// with each pattern the decoders use, stepping on as a decoder does.
// Arbitrary patterns are tried too, with every conversion suppressed so that
// no argument is needed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "report/scanp.hpp"
#include "report/syn_read.hpp"

namespace {

struct Out {
  int i[4];
  float f[2];
  char s[3][kScanpMaxCollect + 1];
  char c[4];
};

using Try = int (*)(parse_param *, Out &);

#define TRY(pat, ...) [](parse_param *p, Out &o) { \
  (void)o;                                          \
  return scanp(p, pat __VA_OPT__(, ) __VA_ARGS__);  \
}

// The decoders' group patterns, in roughly the order they try them.
const Try kPatterns[] = {
    TRY("%<40s ", o.s[0]),
    TRY("%2!//!d%2!//!d%1!/!d ", &o.i[0], &o.i[1], &o.i[2]),
    TRY("99%3!///!d %1!/!d%4!////!d ", &o.i[0], &o.i[1], &o.i[2]),
    TRY("%1d%1d%1!/!d9%1!/!d ", &o.i[0], &o.i[1], &o.i[2], &o.i[3]),
    TRY("%1d%1d%1!/!d%2!//!d ", &o.i[0], &o.i[1], &o.i[2], &o.i[3]),
    TRY("%1c%2!//!d%2!//!d ", o.c, &o.i[0], &o.i[1]),
    TRY("00%3!///!d ", &o.i[0]),
    TRY("1%1!/!d%2!//!d%1!/!d ", &o.i[0], &o.i[1], &o.i[2]),
    TRY("2%1!/!d%2!//!d%1!/!d ", &o.i[0], &o.i[1], &o.i[2]),
    TRY("3%3!///!d%1!/!d ", &o.i[0], &o.i[1]),
    TRY("4%3!///!d%1!/!d ", &o.i[0], &o.i[1]),
    TRY("5%1!/!d%2!//!d%1!/!d ", &o.i[0], &o.i[1], &o.i[2]),
    TRY("6%3!///!d%1!/!d ", &o.i[0], &o.i[1]),
    TRY("7%2!//!d%2!//!d ", &o.i[0], &o.i[1]),
    TRY("8%1c%1c%1c%1c ", o.c, o.c + 1, o.c + 2, o.c + 3),
    TRY("9%2!//!d%2!//!d ", &o.i[0], &o.i[1]),
    TRY("%*(222)%*2!//!d "),
    TRY("0%1!/!d%2!//!d%1!/!d ", &o.i[0], &o.i[1], &o.i[2]),
    TRY("1%*4s "),
    TRY("2%2!//!d%2!//!d ", &o.i[0], &o.i[1]),
    TRY("3%*4s "),
    TRY("70%3!///!d ", &o.i[0]),
    TRY("%*(333) "),
    TRY("%*s "),
    TRY("0%*4s "),
    TRY("4%1!/!d%3!///!d ", &o.i[0], &o.i[1]),
    TRY("5%1!/!d%*s ", &o.i[0]),
    TRY("%s ", o.s[0]),
    TRY("7%4!////!d ", &o.i[0]),
    TRY("%*(555) "),
    TRY("%1!/!d%4!////!d%1!/!d ", &o.i[0], &o.i[1], &o.i[2]),
    TRY("%5!////!d%1!/!d ", &o.i[0], &o.i[1]),
    TRY("6%s ", o.s[0]),
    TRY("111%*2!//!d "),
    TRY("0%2!//!d%2!//!d ", &o.i[0], &o.i[1]),
    TRY("%<3(333|444|555)%*2!//!d ", o.s[1]),
    TRY("%3!///!(22|222)%<5[/A/N//]%f%F%D%S", o.s[0], o.s[1], &o.f[0], &o.f[1], &o.i[0], o.s[2]),
    TRY("%[^=]%n%W%w%A%N", o.s[0], &o.i[0], o.s[1], o.s[2], o.s[0], o.s[1]),
};

// Walks a text the way a decoder does: every pattern once, in order,
// stepping past a match that consumed something.
void walk(const char *text) {
  parse_param p{};
  Out o{};
  scanp_set(&p, text);
  for (int round = 0; round < 3; ++round) {
    for (Try t : kPatterns) {
      const int r = t(&p, o);
      if (r > 0 && p.len > 0) scanp_inc(&p);
      if (p.off > p.length) __builtin_trap();  // never past the end
      (void)scanp_str(&p);
    }
  }
}

// An arbitrary pattern with every conversion suppressed (no arguments).
void arbitrary_pattern(const std::string &pat_in, const char *text) {
  std::string pat;
  for (char c : pat_in) {
    pat += c;
    if (c == '%') pat += '*';
  }
  parse_param p{};
  scanp_set(&p, text);
  for (int i = 0; i < 8 && p.off < p.length; ++i) {
    scanp(&p, pat.c_str());
    if (p.len <= 0) break;
    scanp_inc(&p);
  }
}

void reset_section() {
  // A heading brings the section state back to its start, so every input
  // replays the same way on its own.
  char head[] = "** A B 010000\n";
  FILE *f = fmemopen(head, sizeof head - 1, "r");
  if (!f) return;
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  auto type = ReportType::land;
  SYN_read_reset();
  while (SYN_read_raw(f, data, id, &type) == 1) {
  }
  std::fclose(f);
  SYN_read_reset();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size) {
  reset_section();
  std::string buf(reinterpret_cast<const char *>(bytes), size);
  if (size > 0) {
    FILE *f = fmemopen(buf.data(), size, "r");
    if (f) {
      char data[kSynDataMax + 1];
      char id[kSynIdMax + 1] = "";
      auto type = ReportType::land;
      int calls = 0;
      while (SYN_read_raw(f, data, id, &type) == 1) {
        if (std::strlen(data) > static_cast<size_t>(kSynDataMax)) __builtin_trap();
        if (std::strlen(id) > static_cast<size_t>(kSynIdMax)) __builtin_trap();
        // Every call consumes at least one line, so the calls are bounded.
        if (++calls > static_cast<int>(size) + 1) __builtin_trap();
        walk(data);
      }
      std::fclose(f);
    }
  }
  // The raw bytes as one text (up to the first NUL), and split into a
  // pattern and a text at the first newline.
  const std::string text(buf.c_str());
  walk(text.c_str());
  const size_t nl = text.find('\n');
  if (nl != std::string::npos) arbitrary_pattern(text.substr(0, nl), text.c_str() + nl + 1);
  return 0;
}
