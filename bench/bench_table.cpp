// Report table as the merging report loop uses it: every report is looked up
// (up to 10 earlier reports of its identifier), then entered; and the
// station database searched by station number as direct mode does.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/resrc.hpp"
#include "framework/table.hpp"
#include "stations/cty_tool.hpp"
#include "report/sfc_tool.hpp"

namespace {

constexpr int kReports = 200000;
constexpr int kStations = 20000;

// Identifiers as they arrive: 5-digit station numbers and ship call signs,
// each station reporting ten times, interleaved.
std::vector<SFC_report> make_reports() {
  std::vector<SFC_report> reps(kReports);
  for (int k = 0; k < kReports; ++k) {
    SFC_report &r = reps[static_cast<std::size_t>(k)];
    SFC_initialize(&r);
    const int s = static_cast<int>((static_cast<long long>(k) * 7919) % kStations);
    if (s % 5 == 0) {
      std::snprintf(r.id, sizeof r.id, "SHIP%d", s);
    } else {
      std::snprintf(r.id, sizeof r.id, "%05d", 10000 + s * 4);
    }
    r.time = 1200 + k % 3;
  }
  return reps;
}

void BM_ReportTableSearchThenEnter(benchmark::State &state) {
  const std::vector<SFC_report> reps = make_reports();
  long long found = 0;
  double total_us = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TAB_table tab{};
    if (TAB_create(&tab, 4000, sizeof(SFC_report), 1) != 0) {
      state.SkipWithError("TAB_create failed");
      break;
    }
    for (const SFC_report &r : reps) {
      char *list[10];
      found += TAB_searches(&tab, 1, r.id, list, 10);
      if (TAB_enter(&tab, &r, r.id) != 0) {
        state.SkipWithError("TAB_enter failed");
        break;
      }
    }
    benchmark::DoNotOptimize(tab.num_entry);
    total_us +=
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * kReports);
  // Wall-clock microseconds per report, search and enter together.
  state.counters["us_per_report"] =
      benchmark::Counter(total_us / kReports, benchmark::Counter::kAvgIterations);
}

// Storage is never freed (pointers must stay valid for the run), so each
// iteration adds about 80 MB: keep the count small.
BENCHMARK(BM_ReportTableSearchThenEnter)->Unit(benchmark::kMillisecond)->Iterations(5);

// A feed of 1.2 million distinct stations (ship call signs): each report is
// looked up and entered once. The cost per report must not grow with the
// number of stations already kept. One iteration: it keeps about 500 MB.
void BM_MillionDistinctStations(benchmark::State &state) {
  constexpr int kDistinct = 1200000;
  SFC_report r;
  SFC_initialize(&r);
  for (auto _ : state) {
    TAB_table tab{};
    if (TAB_create(&tab, 4000, sizeof(SFC_report), 1) != 0) {
      state.SkipWithError("TAB_create failed");
      break;
    }
    for (int k = 0; k < kDistinct; ++k) {
      int n = k;
      for (int c = 0; c < 5; ++c, n /= 26) r.id[c] = static_cast<char>('A' + n % 26);
      r.id[5] = '\0';
      char *list[10];
      benchmark::DoNotOptimize(TAB_searches(&tab, 1, r.id, list, 10));
      if (TAB_enter(&tab, &r, r.id) != 0) {
        state.SkipWithError("TAB_enter failed");
        break;
      }
    }
    benchmark::DoNotOptimize(tab.num_entry);
  }
  state.SetItemsProcessed(state.iterations() * kDistinct);
}
BENCHMARK(BM_MillionDistinctStations)->Unit(benchmark::kMillisecond)->Iterations(1);

// Land reports completed from the station database in direct mode: a file
// of 10,000 stations, reports naming station numbers of which one in ten is
// in the file (a feed names many stations the file does not hold).
void BM_StationSearchByNumber(benchmark::State &state) {
  const std::string path = "/tmp/tavro_bench_stations." + std::to_string(::getpid()) + ".cty";
  {
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
      state.SkipWithError("cannot write the station file");
      return;
    }
    for (int k = 0; k < 10000; ++k)
      std::fprintf(f, "S%d XX US - 1 10.00 20.00 5 %05d 0\n", k, k * 10);
    std::fclose(f);
  }
  RES_put("identifier", "all");
  const int fd = CTY_store(path.c_str(), 1, nullptr, 10);
  std::remove(path.c_str());
  if (fd <= 0) {
    state.SkipWithError("CTY_store failed");
    return;
  }
  std::vector<std::array<char, 11>> ids(4096);
  for (std::size_t i = 0; i < ids.size(); ++i)
    std::snprintf(ids[i].data(), ids[i].size(), "%05d", static_cast<int>((i * 7919) % 100000));
  std::size_t i = 0;
  long long found = 0;
  for (auto _ : state) {
    CTY_data st;
    found += CTY_search(ids[i].data(), &st);
    benchmark::DoNotOptimize(st);
    if (++i == ids.size()) i = 0;
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StationSearchByNumber);

}  // namespace
