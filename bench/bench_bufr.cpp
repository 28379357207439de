// BUFR encoding speed: 20,000 generated land reports (every element of the
// synoptic sequence that the record holds, values varying from report to
// report) encoded one message each, as the BUFR output does: by our own
// packer (the default) and by ecCodes (bufr_packer eccodes, the reference).
// Counter: reports (messages) per second, and the bytes of a message.
// Through ecCodes most of the time is ecCodes' own: a handle per message,
// the sequence expanded again, the data tree built, packed and freed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "output/sfc_bufr.hpp"
#include "report/sfc_tool.hpp"

namespace {

constexpr int kReports = 20000;

std::vector<SFC_report> land_reports() {
  std::vector<SFC_report> out(kReports);
  unsigned v = 1;
  auto rnd = [&v](unsigned n) {
    v = v * 1103515245u + 12345u;
    return static_cast<int>((v >> 16) % n);
  };
  for (int i = 0; i < kReports; ++i) {
    SFC_report &r = out[static_cast<std::size_t>(i)];
    SFC_initialize(&r);
    r.wmo = 10000 + rnd(89999);
    std::snprintf(r.id, sizeof r.id, "%05d", r.wmo);
    std::snprintf(r.area, sizeof r.area, "LA");
    r.type = 1;
    r.time = 1200;
    r.lat = static_cast<float>(rnd(1800) - 900) / 10.0f;
    r.lon = static_cast<float>(rnd(3600) - 1800) / 10.0f;
    r.elev = static_cast<float>(rnd(3000));
    r.t = static_cast<float>(rnd(1200) - 200) / 10.0f;
    r.td = r.t - static_cast<float>(rnd(200)) / 10.0f;
    r.pmb = 950.0f + static_cast<float>(rnd(1000)) / 10.0f;
    r.ptend_t = rnd(9);
    r.ptend = static_cast<float>(rnd(100) - 50) / 10.0f;
    r.w_dir = static_cast<float>(rnd(36) * 10);
    r.w_spd = static_cast<float>(rnd(60));
    r.flag = kSfcFlagWindKnots;
    r.vis = static_cast<float>(rnd(100)) / 10.0f;
    r.cld_cover[0] = static_cast<char>('0' + rnd(9));
    r.cld_height[0] = static_cast<float>(rnd(80) * 100);
    r.num_cld = 1;
    r.cld_low = static_cast<char>('0' + rnd(9));
    for (char &c : r.cld_type) c = static_cast<char>('0' + rnd(10));
    r.rain6 = static_cast<float>(rnd(100)) / 100.0f;
    r.rain24 = static_cast<float>(rnd(200)) / 100.0f;
    r.max_t = r.t + static_cast<float>(rnd(100)) / 10.0f;
    r.min_t = r.t - static_cast<float>(rnd(100)) / 10.0f;
    r.scover = static_cast<float>(rnd(20));
    r.solar = static_cast<float>(rnd(600));
  }
  return out;
}

void BM_EncodeLand(benchmark::State &state) {
  const std::vector<SFC_report> reports = land_reports();
  BUFR_settings s;
  s.master_version = BUFR_installed_master_version();
  s.eccodes = state.range(0) != 0;
  state.SetLabel(s.eccodes ? "ecCodes" : "own packer");
  const Date date = {2023, 12, 7, 341, 4, 12, 0, 0};
  static unsigned char buf[8192];
  long bytes = 0;
  long failed = 0;
  for (auto _ : state) {
    for (const SFC_report &r : reports) {
      const long n = BUFR_encode(r, s, date, buf, sizeof buf);
      if (n > 0)
        bytes = n;
      else
        ++failed;
      benchmark::DoNotOptimize(buf);
    }
  }
  if (failed > 0) state.SkipWithError("a report was not encoded");
  state.SetItemsProcessed(state.iterations() * kReports);
  state.counters["reports/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kReports),
                                                   benchmark::Counter::kIsRate);
  state.counters["bytes/message"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeLand)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_EncodeLand)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
