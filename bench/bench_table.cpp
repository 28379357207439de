// Report table as the merging report loop uses it: every report is looked up
// (up to 10 earlier reports of its identifier), then entered.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "framework/table.hpp"
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

}  // namespace
