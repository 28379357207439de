// Process-wide integer flags (batch mode, help, file parameter mode, codes
// set by resource conversions) and the plot-item switches.
#include "framework/flag.hpp"

#include <array>
#include <climits>
#include <cstdint>

namespace {

constexpr int kNumFlags = 30;
constexpr int kFlagBatch = 19;
constexpr int kFlagHelp = 20;

// Plot switches: 1..6 text positions, 7 data, 8 map, 9 grid, 10 summary,
// 11 border; 0 and 12 are sums kept up to date on every change.
constexpr int kNumPlot = 13;
constexpr int kPlotTexts = 0;
constexpr int kPlotAll = 12;

std::array<std::int64_t, kNumFlags> flags = [] {
  std::array<std::int64_t, kNumFlags> a{};
  a.fill(-9999);
  return a;
}();

std::array<int, kNumPlot> plot_it = [] {
  std::array<int, kNumPlot> a{};
  a.fill(1);
  return a;
}();

bool flag_ok(int flag) { return flag >= 0 && flag < kNumFlags; }

int clamp_int(long long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

void update_plot_sums() {
  long long texts = 0;
  for (int i = 1; i <= 6; ++i) texts += plot_it[i];
  plot_it[kPlotTexts] = clamp_int(texts);
  long long all = 0;
  for (int i = 0; i < kPlotAll; ++i) all += plot_it[i];
  plot_it[kPlotAll] = clamp_int(all);
}

}  // namespace

// Returns the flag, or 0 for an index outside 0 to 29.
int FLAG_get(int flag) {
  if (!flag_ok(flag)) return 0;
  return clamp_int(flags[flag]);
}

// Returns 0, or -1 (nothing stored) for an index outside 0 to 29.
int FLAG_set(int flag, int value) {
  if (!flag_ok(flag)) return -1;
  flags[flag] = value;
  return 0;
}

int FLAG_reset(int value) {
  flags.fill(value);
  return 0;
}

int FLAG_batch() { return flags[kFlagBatch] > 0 ? 1 : 0; }

int FLAG_help() { return flags[kFlagHelp] > 0 ? 1 : 0; }

// Returns 0, or -1 (nothing changed) for a type outside 0 to 12.
int FLAG_setplot(int type, int val) {
  if (type < 0 || type >= kNumPlot) return -1;
  plot_it[type] = val;
  if (type == kPlotAll) {
    for (int i = 0; i < kPlotAll; ++i) plot_it[i] = val;
  } else if (type == kPlotTexts) {
    for (int i = 0; i <= 6; ++i) plot_it[i] = val;
  }
  update_plot_sums();
  return 0;
}

// Returns the switch, or 0 for a type outside 0 to 12.
int FLAG_getplot(int type) {
  if (type < 0 || type >= kNumPlot) return 0;
  return plot_it[type];
}

int FLAG_resetplot(int val) {
  plot_it.fill(val);
  return 0;
}
