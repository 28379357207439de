// Decoding speed: a generated set of varied report texts (land reports with
// section 333, ships with section 222, reports with missing and unknown
// groups) through SFC_initialize and SYN_decode, without the reader.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"

namespace {

struct Report {
  std::string text;
  int type;
  int iw = 1;  // section line's wind indicator
};

// Small deterministic generator, so every run decodes the same set.
class Gen {
 public:
  explicit Gen(std::uint32_t seed) : s_(seed) {}
  int below(int n) {
    s_ = s_ * 1664525u + 1013904223u;
    return static_cast<int>((s_ >> 8) % static_cast<std::uint32_t>(n));
  }
  bool chance(int percent) { return below(100) < percent; }

 private:
  std::uint32_t s_;
};

// Appends one group of `digits` figures after `lead`, blanked to slashes now
// and then (a value not reported).
void group(std::string &out, Gen &g, const char *lead, int digits, int max_value) {
  char buf[16];
  if (g.chance(8)) {
    std::snprintf(buf, sizeof buf, "%s%.*s ", lead, digits, "//////");
  } else {
    std::snprintf(buf, sizeof buf, "%s%0*d ", lead, digits, g.below(max_value + 1));
  }
  out += buf;
}

void section1(std::string &out, Gen &g) {
  group(out, g, std::to_string(1 + g.below(4)).append(std::to_string(1 + g.below(7))).c_str(), 3,
        599);                                                   // iRixhVV
  group(out, g, std::to_string(g.below(9)).c_str(), 4, 3625);   // Nddff
  if (g.chance(3)) out += "00112 ";                             // 00fff
  group(out, g, g.chance(30) ? "11" : "10", 3, 399);            // 1snTTT
  if (g.chance(10))
    group(out, g, "29", 3, 100);                                // 29UUU
  else
    group(out, g, g.chance(30) ? "21" : "20", 3, 299);          // 2snTdTdTd
  if (g.chance(80)) group(out, g, "3", 4, 9999);                // 3P0P0P0P0
  group(out, g, "4", 4, g.chance(50) ? 9999 : 399);             // 4PPPP
  group(out, g, "5", 4, 8999);                                  // 5appp
  if (g.chance(60)) group(out, g, "6", 4, 9994);                // 6RRRtR
  if (g.chance(70)) group(out, g, "7", 4, 9999);                // 7wwW1W2
  if (g.chance(70)) group(out, g, "8", 4, 9999);                // 8NhCLCMCH
  if (g.chance(20)) group(out, g, "9", 4, 2359);                // 9GGgg
}

void section3(std::string &out, Gen &g) {
  out += "333 ";
  if (g.chance(60)) group(out, g, g.chance(30) ? "11" : "10", 3, 399);
  if (g.chance(60)) group(out, g, g.chance(50) ? "21" : "20", 3, 299);
  if (g.chance(20)) group(out, g, "4", 4, 999);
  if (g.chance(30)) {
    out += "55";
    group(out, g, "", 3, 999);
    if (g.chance(50)) group(out, g, "0", 4, 9999);
    if (g.chance(50)) group(out, g, "2", 4, 9999);
  }
  if (g.chance(50)) group(out, g, "6", 4, 9994);
  if (g.chance(30)) group(out, g, "7", 4, 9999);
  if (g.chance(50)) out += "8////";
  out += ' ';
  if (g.chance(20)) out += "555 10123 ";
}

std::vector<Report> make_reports(int n) {
  std::vector<Report> reps;
  reps.reserve(static_cast<std::size_t>(n));
  Gen g(12345);
  static const char *const kCalls[] = {"PHBT", "LAOO5", "4XIS", "ZMSOA", "ABCD", "WDC6543"};
  for (int i = 0; i < n; ++i) {
    std::string t;
    const int kind = g.below(10);
    int type = 1;
    char buf[48];
    if (kind < 5) {  // land station, mostly with section 333
      std::snprintf(buf, sizeof buf, "%05d ", 1001 + g.below(98000));
      t += buf;
      section1(t, g);
      if (g.chance(80)) section3(t, g);
    } else if (kind < 8) {  // ship or buoy with section 222
      type = g.chance(70) ? 2 : 4;
      if (type == 2)
        t += kCalls[g.below(6)];
      else
        t += std::to_string(41000 + g.below(9000));
      std::snprintf(buf, sizeof buf, " %02d%02d%d 99%03d %d%04d ", 1 + g.below(28), g.below(24),
                    g.chance(50) ? 1 : 4, g.below(900), 1 + 2 * g.below(4), g.below(1800));
      t += buf;
      section1(t, g);
      t += "222";
      group(t, g, "", 2, 99);
      group(t, g, g.chance(20) ? "01" : "00", 3, 299);
      if (g.chance(50)) group(t, g, "1", 4, 9999);
      group(t, g, "2", 4, 9999);
      if (g.chance(30)) group(t, g, "70", 3, 999);
    } else {  // missing and unknown groups, coastal stations
      type = g.chance(50) ? 1 : 16;
      t += type == 1 ? "72403 " : "SDHN4 ";
      t += "46/// /1407 ";
      if (g.chance(50)) t += "1//// ";
      t += "2//// ";
      if (g.chance(50)) t += "XX123 ";
      group(t, g, "4", 4, 399);
      group(t, g, "9", 4, 2359);
      if (g.chance(50)) t += "222// 00241 ";
      t += "333 91209 ";
    }
    reps.push_back({std::move(t), type});
  }
  return reps;
}

const std::vector<Report> &reports() {
  static const std::vector<Report> reps = make_reports(100000);
  return reps;
}

void BM_DecodeReports(benchmark::State &state) {
  const auto &reps = reports();
  SYN_set_prhour(1200);
  SYN_set_iw(1);
  SFC_report r;
  std::size_t bytes = 0;
  for (const auto &rep : reps) bytes += rep.text.size();
  for (auto _ : state) {
    for (const auto &rep : reps) {
      SFC_initialize(&r);
      benchmark::DoNotOptimize(SYN_decode(rep.text.c_str(), static_cast<ReportType>(rep.type), &r));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * reps.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_DecodeReports)->Unit(benchmark::kMillisecond);

// The real reports of the shared corpus (a few hundred), when it is there:
// beside the project, as the tests find it.
std::vector<Report> corpus_reports() {
  std::vector<Report> reps;
  std::error_code ec;
  const std::filesystem::path dir =
      std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "shared" / "corpus";
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir, ec)) {
    if (!e.is_regular_file() || e.path().filename() == "SOURCES.txt" ||
        e.path().filename() == "COUNTS.txt")
      continue;
    FILE *f = std::fopen(e.path().c_str(), "r");
    if (!f) continue;
    SYN_read_reset();
    char data[kSynDataMax + 1];
    char id[kSynIdMax + 1] = "";
    ReportType type = ReportType::land;
    for (int guard = 0; guard < 100000 && SYN_read_raw(f, data, id, &type) == 1; ++guard)
      reps.push_back({data, type_bit(type), SYN_get_iw()});
    std::fclose(f);
  }
  return reps;
}

void BM_DecodeCorpus(benchmark::State &state) {
  static const std::vector<Report> reps = corpus_reports();
  if (reps.empty()) {
    state.SkipWithError("no corpus");
    return;
  }
  SYN_set_prhour(1200);
  SFC_report r;
  for (auto _ : state) {
    for (const auto &rep : reps) {
      SYN_set_iw(rep.iw);
      SFC_initialize(&r);
      benchmark::DoNotOptimize(SYN_decode(rep.text.c_str(), static_cast<ReportType>(rep.type), &r));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * reps.size()));
}
BENCHMARK(BM_DecodeCorpus);

}  // namespace
