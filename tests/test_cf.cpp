// The CF netCDF format through the converter: what an append refuses
// (the older netCDF layout, a netCDF-4 file of other variables, files that
// are no netCDF), a failed write that leaves the old file as it was, the
// deflate resource, and observations past one buffer of kSfcCfChunk.
// Values, times and CF conformance are checked by real readers in
// tests/py/check_analysis.py.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstdio>
#include <string>
#include <vector>

#include "output/sfc_cf.hpp"
#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::run_command;
using tvtest::TempDir;
using tvtest::write_file;

class CfRun : public testing::Test {
 protected:
  void SetUp() override {
    for (const char *name : {"23120712.syn", "name_conv", "syn.cty"}) {
      std::string rel = "examples/";
      rel.append(name);
      write_file(dir.file(name), read_file(tvtest::source_path(rel)));
    }
  }
  tvtest::RunResult tavro(const std::string &args, const std::string &input = "23120712.syn") {
    return run_command(std::string(TAVRO_EXE) + " -ba " + args + " " + input, dir.path());
  }
  // Observations in a file, read with the library; -1 when it is no netCDF.
  long observations(const std::string &name) {
    int nc = -1, dim = -1;
    std::size_t n = 0;
    if (nc_open(dir.file(name).c_str(), NC_NOWRITE, &nc) != NC_NOERR) return -1;
    const bool ok = nc_inq_dimid(nc, "obs", &dim) == NC_NOERR && nc_inq_dimlen(nc, dim, &n) == NC_NOERR;
    nc_close(nc);
    return ok ? static_cast<long>(n) : -1;
  }
  TempDir dir;
};

TEST_F(CfRun, AppendRefusesFilesOfOtherLayouts) {
  const std::string message = "SFC_open: Not a CF netCDF file of this program's variables, not appended to: ";
  // The older netCDF layout of this program.
  ASSERT_EQ(tavro("-pf over -of cdf:old.nc").status, 0);
  // A netCDF-4 file with an "obs" dimension and the CF attributes but
  // other variables.
  {
    int nc, dim, var;
    ASSERT_EQ(nc_create(dir.file("other.nc").c_str(), NC_NETCDF4 | NC_CLOBBER, &nc), NC_NOERR);
    nc_def_dim(nc, "obs", NC_UNLIMITED, &dim);
    nc_def_var(nc, "temperature", NC_FLOAT, 1, &dim, &var);
    nc_put_att_text(nc, NC_GLOBAL, "Conventions", 6, "CF-1.8");
    nc_put_att_text(nc, NC_GLOBAL, "featureType", 5, "point");
    ASSERT_EQ(nc_close(nc), NC_NOERR);
  }
  // This format's file with one variable of another type.
  ASSERT_EQ(tavro("-pf over -of cf:typed.nc").status, 0);
  {
    int nc, var;
    ASSERT_EQ(nc_open(dir.file("typed.nc").c_str(), NC_WRITE, &nc), NC_NOERR);
    ASSERT_EQ(nc_redef(nc), NC_NOERR);
    ASSERT_EQ(nc_inq_varid(nc, "wind_speed", &var), NC_NOERR);
    ASSERT_EQ(nc_rename_var(nc, var, "wind_speed_old"), NC_NOERR);
    int dim;
    nc_inq_dimid(nc, "obs", &dim);
    ASSERT_EQ(nc_def_var(nc, "wind_speed", NC_DOUBLE, 1, &dim, &var), NC_NOERR);
    ASSERT_EQ(nc_close(nc), NC_NOERR);
  }
  write_file(dir.file("text.nc"), "ZOTSFC\n1200Z  7 DEC 23\n");
  write_file(dir.file("hdf.nc"), std::string("\x89HDF\r\n\x1a\n", 8) + "cut short");
  for (const char *name : {"old.nc", "other.nc", "typed.nc", "text.nc", "hdf.nc"}) {
    const std::string before = read_file(dir.file(name));
    auto r = tavro(std::string("-pf app -of cf:") + name);
    EXPECT_EQ(r.status, 1) << name << "\n" << r.err;
    EXPECT_NE(r.err.find(message + name + "\n"), std::string::npos) << name << "\n" << r.err;
    EXPECT_EQ(read_file(dir.file(name)), before) << name;
  }
}

TEST_F(CfRun, AppendAddsObservationsPastOneBufferInOrder) {
  // More reports than one buffer holds: several writes, then an append.
  std::string bulletins;
  const long reports = static_cast<long>(kSfcCfChunk) + 100;
  for (long i = 0; i < reports; ++i) {
    if (i % 50 == 0) bulletins += "** SMUS01 KWBC 071200\nAAXX 07124\n";
    bulletins += tvtest::numbered("", 10000 + i, " 11560 82705 10150 20089 40132=\n");
  }
  write_file(dir.file("23120712.syn"), bulletins);
  auto r = tavro("-pf over -of cf:many.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(observations("many.nc"), reports);
  r = tavro("-pf app -of cf:many.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(observations("many.nc"), 2 * reports);
  int nc, var;
  ASSERT_EQ(nc_open(dir.file("many.nc").c_str(), NC_NOWRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, "station_id", &var), NC_NOERR);
  // The last of the first run, the first and last of the appended one.
  for (std::size_t at : {static_cast<std::size_t>(reports - 1), static_cast<std::size_t>(reports),
                         static_cast<std::size_t>(2 * reports - 1)}) {
    char id[11] = {};
    const std::size_t start[2] = {at, 0}, count[2] = {1, 10};
    ASSERT_EQ(nc_get_vara_text(nc, var, start, count, id), NC_NOERR);
    EXPECT_EQ(std::string(id), std::to_string(10000 + static_cast<long>(at) % reports)) << at;
  }
  std::size_t len = 0;
  ASSERT_EQ(nc_inq_attlen(nc, NC_GLOBAL, "history", &len), NC_NOERR);
  std::string history(len, '\0');
  nc_get_att_text(nc, NC_GLOBAL, "history", history.data());
  EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 1) << history;
  nc_close(nc);
}

// The texts are declared UTF-8: a station file in another encoding (Latin-1
// here) must not make them undecodable, so such bytes become "?".
TEST_F(CfRun, StationNamesOutsideAsciiBecomeQuestionMarks) {
  write_file(dir.file("syn.cty"), "S\xc3O_TOM\xc9 VA US IAD 1 38.95 -77.45 95 72403 0\n");
  auto r = tavro("-pf over -of cf:names.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  int nc, var;
  ASSERT_EQ(nc_open(dir.file("names.nc").c_str(), NC_NOWRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, "station_name", &var), NC_NOERR);
  char name[21] = {};
  const std::size_t start[2] = {0, 0}, count[2] = {1, 20};
  ASSERT_EQ(nc_get_vara_text(nc, var, start, count, name), NC_NOERR);
  EXPECT_STREQ(name, "S?O_TOM?");
  nc_close(nc);
}

// A run that cannot write its file (a file size limit) ends with status 1
// and leaves the file that was there, byte for byte, whether it was
// replacing or appending to it.
TEST_F(CfRun, AFailedWriteLeavesTheOldFile) {
  ASSERT_EQ(tavro("-pf over -of cf:keep.nc").status, 0);
  const std::string before = read_file(dir.file("keep.nc"));
  for (const char *mode : {"over", "app"}) {
    auto r = run_command(std::string("ulimit -f 8; ") + TAVRO_EXE + " -ba -pf " + mode + " -of cf:keep.nc 23120712.syn",
                         dir.path());
    EXPECT_EQ(r.status, 1) << mode << "\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << mode;
    EXPECT_EQ(read_file(dir.file("keep.nc")), before) << mode;
  }
  // And standard output is refused, as for the other netCDF layout.
  auto r = tavro("-pf over -of cf:-");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("SFC_open: netCDF output must be a regular file: -\n"), std::string::npos) << r.err;
}

// Reports of varied values that do not compress to nothing: `chunks` full
// buffers and `extra` reports more.
std::string varied_bulletins(long chunks, long extra) {
  std::string out;
  unsigned v = 7;
  auto rnd = [&v](unsigned n) {
    v = v * 1103515245u + 12345u;
    return static_cast<int>((v >> 16) % n);
  };
  const long reports = chunks * static_cast<long>(kSfcCfChunk) + extra;
  char line[128];
  for (long i = 0; i < reports; ++i) {
    if (i % 40 == 0) out += "** SMUS01 KWBC 071200\nAAXX 07124\n";
    std::snprintf(line, sizeof line, "%05d 11%d%02d 8%02d%02d 1%d%03d 2%d%03d 4%04d 5%d%03d=\n",
                  10000 + rnd(89999), rnd(10), rnd(90), rnd(36), rnd(30), rnd(2), rnd(350), rnd(2), rnd(250),
                  9000 + rnd(999), rnd(9), rnd(100));
    out += line;
  }
  return out;
}

// The observations are written and deflated in a thread of their own while
// the next ones are gathered. A write that fails there (a file size limit
// reached after the first buffers) is reported by the run with the
// observations it lost, ends with status 1, and leaves the old file; the
// HDF5 library under netCDF prints nothing of its own from that thread.
TEST_F(CfRun, AFailedWriteInTheWriterThreadIsReported) {
  ASSERT_EQ(tavro("-pf over -of cf:keep.nc").status, 0);
  const std::string before = read_file(dir.file("keep.nc"));
  const long kept = observations("keep.nc");
  ASSERT_GT(kept, 0);
  write_file(dir.file("23120712.syn"), varied_bulletins(6, 100));
  const std::string message = "SFC_write: netCDF error writing observations ";
  // Room for the old file (an append copies it) and some 128 KB more, in
  // the 512-byte blocks of sh's ulimit.
  const std::string limit = std::to_string(before.size() / 512 + 256);
  for (const char *mode : {"over", "app"}) {
    auto r = run_command("ulimit -f " + limit + "; " + TAVRO_EXE + " -ba -pf " + mode + " -of cf:keep.nc 23120712.syn",
                         dir.path());
    EXPECT_EQ(r.status, 1) << mode << "\n" << r.err;
    // One whole buffer was lost, not the last, partial one that the run
    // writes itself when it closes the file.
    const std::size_t at = r.err.find(message);
    ASSERT_NE(at, std::string::npos) << mode << "\n" << r.err;
    long first = 0, last = 0;
    ASSERT_EQ(std::sscanf(r.err.c_str() + at + message.size(), "%ld to %ld", &first, &last), 2) << r.err;
    EXPECT_EQ(last - first + 1, static_cast<long>(kSfcCfChunk)) << r.err;
    const long base = std::string(mode) == "app" ? kept : 0;  // an append's come after the old ones
    EXPECT_EQ((first - 1 - base) % static_cast<long>(kSfcCfChunk), 0) << r.err;
    EXPECT_EQ(r.err.find(message, at + 1), std::string::npos) << "reported once\n" << r.err;
    EXPECT_EQ(r.err.find("HDF5-DIAG"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("SFC_close: Error writing converted data file\n"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.file("keep.nc")), before) << mode;
  }
  // Without the limit the same reports all arrive, in order, on both sides
  // of every buffer's edge.
  auto r = tavro("-pf over -of cf:all.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  const long reports = 6 * static_cast<long>(kSfcCfChunk) + 100;
  ASSERT_EQ(observations("all.nc"), reports);
  const std::string text = read_file(dir.file("23120712.syn"));
  std::vector<std::string> ids;
  for (std::size_t p = 0; (p = text.find('\n', p)) != std::string::npos;) {
    ++p;
    if (p + 5 < text.size() && text[p] != '*' && text[p] != 'A') ids.push_back(text.substr(p, 5));
  }
  ASSERT_EQ(static_cast<long>(ids.size()), reports);
  int nc, var;
  ASSERT_EQ(nc_open(dir.file("all.nc").c_str(), NC_NOWRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, "station_id", &var), NC_NOERR);
  std::vector<char> got(static_cast<std::size_t>(reports) * 10);
  const std::size_t start[2] = {0, 0}, count[2] = {static_cast<std::size_t>(reports), 10};
  ASSERT_EQ(nc_get_vara_text(nc, var, start, count, got.data()), NC_NOERR);
  nc_close(nc);
  long wrong = 0;
  for (long i = 0; i < reports; ++i)
    if (std::string(&got[static_cast<std::size_t>(i) * 10], 5) != ids[static_cast<std::size_t>(i)]) ++wrong;
  EXPECT_EQ(wrong, 0);
}

TEST_F(CfRun, DeflateLevelOutsideItsRangeWarnsAndUsesOne) {
  auto r = tavro("-pf over -cfd 12 -of cf:d.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("SFC_putinfo: cf_deflate must be a level from 0 to 9, 1 is used: 12\n"), std::string::npos)
      << r.err;
  int nc, var, shuffle = 0, deflate = 0, level = 0;
  ASSERT_EQ(nc_open(dir.file("d.nc").c_str(), NC_NOWRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, "air_temperature", &var), NC_NOERR);
  ASSERT_EQ(nc_inq_var_deflate(nc, var, &shuffle, &deflate, &level), NC_NOERR);
  EXPECT_EQ(deflate, 1);
  EXPECT_EQ(level, 1);
  nc_close(nc);
}

}  // namespace
