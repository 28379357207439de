// Cost of one record in the converted data file: the text line alone, the
// whole write through SFC_write to /dev/null, and the XML element.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/date.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_read.hpp"
#include "report/sfc_tool.hpp"

namespace {

// Land and ship reports with the groups a synoptic report usually has.
std::vector<SFC_report> sample_reports() {
  std::vector<SFC_report> out;
  for (int i = 0; i < 1000; ++i) {
    SFC_report r;
    SFC_initialize(&r);
    std::snprintf(r.id, sizeof r.id, "%05d", 10000 + i * 37);
    std::snprintf(r.area, sizeof r.area, "%s", i % 5 ? "LA" : "SH");
    r.type = 1;
    r.time = 1200;
    r.t = 20.0f + static_cast<float>(i % 700) / 10.0f;
    r.td = r.t - static_cast<float>(i % 90) / 10.0f;
    r.w_dir = static_cast<float>((i * 10) % 360);
    r.w_spd = static_cast<float>(i % 40);
    r.pmb = 990.0f + static_cast<float>(i % 500) / 10.0f;
    r.vis = static_cast<float>(i % 12);
    r.num_cld = i % 4;
    for (int k = 0; k < r.num_cld; ++k) {
      r.cld_height[k] = static_cast<float>(1000 * (k + 1) + i % 700);
      r.cld_cover[k] = "FSBO"[k];
    }
    if (i % 3 == 0) std::snprintf(r.weather, sizeof r.weather, "%s", "RW-");
    r.ptend_t = i % 9;
    r.ptend = static_cast<float>(i % 50) / 10.0f;
    if (i % 2) r.rain6 = static_cast<float>(i % 30) / 100.0f;
    r.max_t = r.t + 5.0f;
    r.min_t = r.t - 8.0f;
    if (i % 5 == 0) {
      r.lat = 40.0f + static_cast<float>(i % 100) / 10.0f;
      r.lon = -60.0f - static_cast<float>(i % 100) / 10.0f;
      r.sst = 12.3f;
      r.wav_per = 6.0f;
      r.wav_hgt = 1.5f;
    }
    std::memcpy(r.cld_type, "52-", 3);
    out.push_back(r);
  }
  return out;
}

void BM_FormatText(benchmark::State &state) {
  std::vector<SFC_report> reps = sample_reports();
  char buf[kSfcLineMax];
  std::size_t i = 0, bytes = 0;
  for (auto _ : state) {
    bytes += SFC_format_text(buf, sizeof buf, &reps[i], 4);
    benchmark::DoNotOptimize(buf);
    if (++i == reps.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_FormatText);

void BM_FormatXml(benchmark::State &state) {
  std::vector<SFC_report> reps = sample_reports();
  char buf[kSfcLineMax];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SFC_format_xml(buf, sizeof buf, &reps[i]));
    if (++i == reps.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatXml);

void BM_WriteTextFile(benchmark::State &state) {
  std::vector<SFC_report> reps = sample_reports();
  int type = 4;
  int fd = SFC_open("/dev/null", 1, &type);
  if (fd < 0) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%s", "1200Z  7 DEC 23");
  DATE_init(&info.date);
  SFC_putinfo(fd, &info);
  std::size_t i = 0;
  int rec = 0;
  for (auto _ : state) {
    SFC_write(fd, &reps[i], 1, &rec);
    if (++i == reps.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  SFC_close(fd);
}
BENCHMARK(BM_WriteTextFile);

}  // namespace
