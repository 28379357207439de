// End-to-end conversion speed: the tavro program converts a generated
// bulletin file of 1,000,000 reports (land reports with section 3, ships
// and buoys; about 100 MB) in batch mode to the text format, and to the
// analysis formats CSV and CF netCDF, and the same file is counted with
// wc -l for comparison, in the same run. Counters:
// reports/s of the conversion (wall clock), the ratio of its time to that
// of wc -l, and the processor time the conversion used (user and system,
// as reports/s and seconds per run), and the medians of the runs' wall
// clock and processor times: on a machine shared with other work the wall
// clock alone says little. The CF format writes in a second thread, so its
// processor time can exceed its wall clock.
//
// The program is looked up beside the benchmark's build directory
// (build/tavro for build/bench/bench_convert) unless TAVRO_EXE names it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kReports = 1000000;
constexpr int kPerBulletin = 40;

std::string tavro_exe() {
  if (const char *e = std::getenv("TAVRO_EXE")) return e;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return (self.parent_path().parent_path() / "tavro").string();
}

// Writes the bulletins; returns the number of reports written.
long long write_bulletins(const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "w");
  if (!f) return 0;
  unsigned v = 1;
  auto rnd = [&v](unsigned n) {
    v = v * 1103515245u + 12345u;
    return (v >> 16) % n;
  };
  long long n = 0;
  for (int b = 0; n < kReports; ++b) {
    const bool land = b % 4 != 3;
    std::fprintf(f, "** %s KWBC 071200\n%s\n", land ? "SMUS01" : "SMVX90",
                 land ? "AAXX 07124" : "BBXX");
    for (int i = 0; i < kPerBulletin && n < kReports; ++i, ++n) {
      if (land) {
        std::fprintf(f,
                     "%05u 1%u5%02u %u%02u%02u 1%u%03u 2%u%03u 3%04u 4%04u 5%u%03u 6%03u%u "
                     "7%02u22 8%u7%u/\n333 1%u%03u 2%u%03u 4%04u 5530%u 7%04u=\n",
                     10000 + rnd(89999), rnd(5), 40 + rnd(50), rnd(9), rnd(36), rnd(30),
                     rnd(2), rnd(350), rnd(2), rnd(250), 9000 + rnd(999), rnd(300), rnd(9),
                     rnd(100), rnd(100), 1 + rnd(4), rnd(100), rnd(9), rnd(9), rnd(2),
                     rnd(400), rnd(2), rnd(300), rnd(30), rnd(10), rnd(300));
      } else if (i % 3) {
        std::fprintf(f,
                     "%c%c%c%c%u 07121 99%03u 7%04u 41598 %u%02u%02u 1%u%03u 2%u%03u 4%04u "
                     "22200 00%03u 2%02u%02u=\n",
                     'A' + rnd(26), 'A' + rnd(26), 'A' + rnd(26), 'A' + rnd(26), rnd(10),
                     rnd(900), rnd(1800), rnd(9), rnd(36), rnd(30), rnd(2), rnd(300), rnd(2),
                     rnd(200), rnd(300), rnd(300), rnd(15), rnd(10));
      } else {
        std::fprintf(f, "%05u 07124 99%03u 7%04u 41/98 %u%02u%02u 1%u%03u 4%04u=\n",
                     41000 + rnd(9000), rnd(900), rnd(1800), rnd(9), rnd(36), rnd(30),
                     rnd(2), rnd(300), rnd(300));
      }
    }
  }
  std::fclose(f);
  return n;
}

// Processor time (user and system) of the finished child processes.
double children_cpu() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  auto sec = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return sec(u.ru_utime) + sec(u.ru_stime);
}

// Wall-clock seconds of `command`, -1 when it fails; `cpu` gets its
// processor seconds.
double seconds_of(const std::string &command, double *cpu = nullptr) {
  const double c0 = children_cpu();
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const auto t1 = std::chrono::steady_clock::now();
  if (cpu) *cpu = children_cpu() - c0;
  if (rc != 0) return -1.0;
  return std::chrono::duration<double>(t1 - t0).count();
}

// Converts to the format of output keyword `word`, whose files end in `ext`.
void convert_to(benchmark::State &state, const std::string &word, const std::string &ext) {
  char templ[] = "/tmp/tavro-bench-XXXXXX";
  if (!mkdtemp(templ)) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string dir = templ;
  {
    FILE *nc = std::fopen((dir + "/name_conv").c_str(), "w");
    FILE *cty = std::fopen((dir + "/syn.cty").c_str(), "w");
    if (nc)
      std::fputs("syn_dat %y%m%d%h.syn -\nsyn_cvt %y%m%d%h.zot -\nsyn_cvt_zot %y%m%d%h.zot -\n"
                 "syn_cvt_csv %y%m%d%h.csv -\nsyn_cvt_cf %y%m%d%h.nc -\nsyn_cvt_xml %y%m%d%h.xml -\n"
                 "syn_cvt_cdf %y%m%d%h.cdf -\nsyn_cvt_bufr %y%m%d%h.bufr -\n",
                 nc);
    if (cty) std::fputs("WASHINGTON_DULLES VA US IAD 1 38.95 -77.45 95 72403 0\n", cty);
    if (nc) std::fclose(nc);
    if (cty) std::fclose(cty);
  }
  const std::string in = dir + "/23120712.syn";
  const long long reports = write_bulletins(in);
  std::error_code ec;
  const double mb = static_cast<double>(fs::file_size(in, ec)) / 1e6;
  const std::string convert =
      "cd " + dir + " && " + tavro_exe() + " -ba -pf over -ou " + word + " 23120712.syn";
  const std::string count = "wc -l " + in + " > /dev/null";

  double total = 0.0;
  double wc_total = 0.0;
  double cpu_total = 0.0;
  std::vector<double> walls, cpus;
  const std::string out = dir + "/23120712." + ext;
  for (auto _ : state) {
    // Every run writes a new file: dropping the previous run's 80 MB output
    // (which "-pf over" would truncate) is not part of converting.
    fs::remove(out, ec);
    double cpu = 0.0;
    const double t = seconds_of(convert, &cpu);
    const double w = seconds_of(count);
    if (t < 0 || w < 0) {
      state.SkipWithError(("command failed: " + convert).c_str());
      break;
    }
    state.SetIterationTime(t);
    total += t;
    wc_total += w;
    cpu_total += cpu;
    walls.push_back(t);
    cpus.push_back(cpu);
  }
  const double n = static_cast<double>(state.iterations());
  if (total > 0 && n > 0) {
    state.counters["reports"] = static_cast<double>(reports);
    state.counters["MB"] = mb;
    state.counters["reports/s"] = static_cast<double>(reports) * n / total;
    state.counters["x_wc_l"] = wc_total > 0 ? total / wc_total : 0.0;
    state.counters["cpu_s"] = cpu_total / n;
    state.counters["cpu_reports/s"] =
        cpu_total > 0 ? static_cast<double>(reports) * n / cpu_total : 0.0;
    // Medians: one run slowed by other work on a shared machine moves the
    // mean, not these.
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      const std::size_t m = v.size() / 2;
      return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
    };
    state.counters["median_ms"] = 1000.0 * median(walls);
    state.counters["median_cpu_ms"] = 1000.0 * median(cpus);
  }
  fs::remove_all(dir, ec);
}
void BM_ConvertText(benchmark::State &state) { convert_to(state, "zot", "zot"); }
void BM_ConvertCsv(benchmark::State &state) { convert_to(state, "csv", "csv"); }
void BM_ConvertCf(benchmark::State &state) { convert_to(state, "cf", "nc"); }
void BM_ConvertXml(benchmark::State &state) { convert_to(state, "xml", "xml"); }
void BM_ConvertCdf(benchmark::State &state) { convert_to(state, "cdf", "cdf"); }
void BM_ConvertBufr(benchmark::State &state) { convert_to(state, "bufr", "bufr"); }
BENCHMARK(BM_ConvertText)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertCsv)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertCf)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertXml)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
// The record-per-report netCDF layout writes each report through the
// library (about a minute for the million): one run.
BENCHMARK(BM_ConvertCdf)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
// Our own packer; bench_bufr compares it with ecCodes' (far slower) one.
BENCHMARK(BM_ConvertBufr)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
