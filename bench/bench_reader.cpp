// Bulletin reader throughput: a generated file of land and ship bulletins
// (200,000 reports) read through SYN_read_raw from memory (a stream read
// line by line) and from a file on disk (read in blocks, as the converter
// reads its input) with each of the three kinds of line end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/syn_read.hpp"

namespace {

constexpr int kReports = 200000;
constexpr int kPerBulletin = 25;

// Land bulletins with two-line reports and ship bulletins with one- and
// two-line reports, alternating, each under its own heading.
const std::string &bulletins() {
  static const std::string text = [] {
    std::string s;
    s.reserve(static_cast<size_t>(kReports) * 80);
    char buf[200];
    unsigned v = 1;
    auto rnd = [&v](unsigned n) {
      v = v * 1103515245u + 12345u;
      return (v >> 16) % n;
    };
    for (int n = 0, b = 0; n < kReports; ++b) {
      const bool land = b % 2 == 0;
      std::snprintf(buf, sizeof buf, "** %s KWBC 07%02u00\n%s\n", land ? "SMUS01" : "SMVX90",
                    b % 24, land ? "AAXX 07121" : "BBXX");
      s += buf;
      for (int i = 0; i < kPerBulletin && n < kReports; ++i, ++n) {
        if (land) {
          std::snprintf(buf, sizeof buf,
                        "%05u 11560 8%02u%02u 10%03u 20%03u 39981 40132 57010 60001 70222 8327/\n"
                        "333 10%03u 20%03u=\n",
                        10000 + rnd(89999), rnd(36), rnd(30), rnd(300), rnd(200), rnd(300),
                        rnd(200));
        } else if (i % 2) {
          std::snprintf(buf, sizeof buf, "%c%c%c%c 07121 99%03u 7%04u 41598 8%02u%02u 10%03u=\n",
                        'A' + rnd(26), 'A' + rnd(26), 'A' + rnd(26), 'A' + rnd(26), rnd(900),
                        rnd(1800), rnd(36), rnd(30), rnd(300));
        } else {
          std::snprintf(buf, sizeof buf,
                        "%05u 07121 99%03u 7%04u 41598 8%02u%02u 10%03u 40132\n"
                        "22200 00%03u 20201=\n",
                        41000 + rnd(9000), rnd(900), rnd(1800), rnd(36), rnd(30), rnd(300),
                        rnd(300));
        }
        s += buf;
      }
    }
    return s;
  }();
  return text;
}

void BM_ReadRaw(benchmark::State &state) {
  std::string text = bulletins();
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1];
  ReportType type = ReportType::land;
  long long reports = 0;
  for (auto _ : state) {
    FILE *f = fmemopen(text.data(), text.size(), "r");
    if (!f) {
      state.SkipWithError("fmemopen failed");
      break;
    }
    SYN_read_reset();
    long long n = 0;
    while (SYN_read_raw(f, data, id, &type) == 1) ++n;
    std::fclose(f);
    benchmark::DoNotOptimize(n);
    reports += n;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
  state.counters["reports"] = static_cast<double>(reports) / static_cast<double>(state.iterations());
  state.counters["reports/s"] = benchmark::Counter(static_cast<double>(reports),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadRaw)->Unit(benchmark::kMillisecond);

// The bulletins with each line feed written as `end`.
std::string with_line_ends(const std::string &text, const char *end) {
  std::string out;
  out.reserve(text.size() * 11 / 10);
  for (char c : text) {
    if (c == '\n')
      out += end;
    else
      out += c;
  }
  return out;
}

// From a file on disk; state.range(0) picks the line ends: 0 line feeds
// alone, 1 CR CR LF as WMO bulletins often come, 2 carriage returns alone.
void BM_ReadRawFile(benchmark::State &state) {
  static const char *const kEnds[] = {"\n", "\r\r\n", "\r"};
  const std::string text = with_line_ends(bulletins(), kEnds[state.range(0)]);
  char path[] = "/tmp/tavro-bench-reader-XXXXXX";
  const int fd = mkstemp(path);
  FILE *out = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
    state.SkipWithError("cannot write the bulletin file");
    if (out) std::fclose(out);
    return;
  }
  std::fclose(out);
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1];
  ReportType type = ReportType::land;
  long long reports = 0;
  for (auto _ : state) {
    FILE *f = std::fopen(path, "r");
    if (!f) {
      state.SkipWithError("cannot open the bulletin file");
      break;
    }
    SYN_read_reset();
    long long n = 0;
    while (SYN_read_raw(f, data, id, &type) == 1) ++n;
    std::fclose(f);
    benchmark::DoNotOptimize(n);
    reports += n;
  }
  std::remove(path);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
  state.counters["reports"] = static_cast<double>(reports) / static_cast<double>(state.iterations());
  state.counters["reports/s"] = benchmark::Counter(static_cast<double>(reports),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadRawFile)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
