// The netCDF data file, read back with ncdump: the header and its hour
// rule, record values and conversions, time labels, appending, the older
// layout and write errors.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/date.hpp"
#include "framework/missing.hpp"
#include "output/sfc_read.hpp"
#include "report/sfc_tool.hpp"
#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::run_command;
using tvtest::TempDir;
using tvtest::write_file;

SFC_report blank(const char *id, const char *area = "LA") {
  SFC_report r;
  SFC_initialize(&r);
  std::snprintf(r.id, sizeof r.id, "%s", id);
  std::snprintf(r.area, sizeof r.area, "%s", area);
  r.type = 1;
  return r;
}

Date date_of(int hour, int day = 7) {
  Date d;
  DATE_init(&d);
  d.year = 2023;
  d.month = 12;
  d.day = day;
  d.hour = hour;
  d.min = 0;
  return d;
}

// Creates a netCDF file for `hour` and writes `reports` as records 0, 1...
void write_cdf(const std::string &path, int hour, const std::vector<SFC_report> &reports) {
  int type = 12;
  int fd = SFC_open(path.c_str(), 1, &type);
  ASSERT_GE(fd, 0);
  SFC_info info{};
  std::snprintf(info.datim, sizeof info.datim, "%2.2d00Z  7 DEC 23", hour);
  info.date = date_of(hour);
  ASSERT_EQ(SFC_putinfo(fd, &info), 0);
  EXPECT_STREQ(info.cmdline, "Surface converted file from ZOT decoders");
  int rec = 0;
  for (SFC_report r : reports) {
    EXPECT_EQ(SFC_write(fd, &r, 1, &rec), 0);
    ++rec;
  }
  EXPECT_EQ(SFC_write_failed(), 0);
  EXPECT_EQ(SFC_close(fd), 0);
}

std::string ncdump(const std::string &args) {
  tvtest::RunResult res = run_command("ncdump " + args);
  EXPECT_EQ(res.status, 0) << res.err;
  return res.out;
}

// The data lines of one variable, as ncdump prints them.
std::string dump_var(const std::string &path, const char *var, const char *opts = "") {
  std::string out = ncdump(std::string(opts) + " -v " + var + " '" + path + "'");
  std::size_t data = out.find("\ndata:\n");
  if (data == std::string::npos) return "";
  std::string key = std::string("\n ") + var + " =";
  std::size_t at = out.find(key, data);
  if (at == std::string::npos) return "";
  std::size_t end = out.find(" ;\n", at);
  return out.substr(at + 1, end + 3 - (at + 1));
}

// Variable names in the order of the header.
std::vector<std::string> var_names(const std::string &path) {
  std::string out = ncdump("-h '" + path + "'");
  std::vector<std::string> names;
  std::size_t pos = out.find("variables:\n");
  std::size_t stop = out.find("// global attributes:");
  while ((pos = out.find("\n\t", pos)) != std::string::npos && pos < stop) {
    pos += 2;
    if (out[pos] == '\t') continue;  // an attribute line
    std::size_t blank = out.find(' ', pos);
    std::size_t paren = out.find('(', blank);
    names.push_back(out.substr(blank + 1, paren - blank - 1));
  }
  return names;
}

class CdfFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (run_command("command -v ncdump").status != 0) GTEST_SKIP() << "ncdump is not installed";
  }
  TempDir dir;
};

TEST_F(CdfFile, HeaderForHour00) {
  std::string path = dir.file("h00.cdf");
  write_cdf(path, 0, {});
  EXPECT_EQ(SFC_chktype(path.c_str()), 12);
  const char *want =
      "netcdf h00 {\n"
      "dimensions:\n"
      "\treport = UNLIMITED ; // (0 currently)\n"
      "\ttime_len = 20 ;\n"
      "\tid_len = 12 ;\n"
      "\tlayers = 4 ;\n"
      "\tremarks_len = 100 ;\n"
      "variables:\n"
      "\tchar id(report, id_len) ;\n"
      "\t\tid:long_name = \"station id\" ;\n"
      "\tchar region(report, id_len) ;\n"
      "\t\tregion:long_name = \"region id\" ;\n"
      "\tchar time(report, time_len) ;\n"
      "\t\ttime:long_name = \"time\" ;\n"
      "\t\ttime:units = \"text_time\" ;\n"
      "\tfloat lat(report) ;\n"
      "\t\tlat:long_name = \"latitude\" ;\n"
      "\t\tlat:units = \"degrees_N\" ;\n"
      "\t\tlat:_FillValue = -9999.f ;\n"
      "\tfloat lon(report) ;\n"
      "\t\tlon:long_name = \"longitude\" ;\n"
      "\t\tlon:units = \"degrees_E\" ;\n"
      "\t\tlon:_FillValue = -9999.f ;\n"
      "\tfloat elev(report) ;\n"
      "\t\telev:long_name = \"elevation\" ;\n"
      "\t\telev:units = \"meters\" ;\n"
      "\t\telev:_FillValue = -9999.f ;\n"
      "\tfloat T(report) ;\n"
      "\t\tT:long_name = \"temperature\" ;\n"
      "\t\tT:units = \"celsius\" ;\n"
      "\t\tT:_FillValue = -9999.f ;\n"
      "\tfloat TD(report) ;\n"
      "\t\tTD:long_name = \"dew point\" ;\n"
      "\t\tTD:units = \"celsius\" ;\n"
      "\t\tTD:_FillValue = -9999.f ;\n"
      "\tfloat PSL(report) ;\n"
      "\t\tPSL:long_name = \"sealevel pressure\" ;\n"
      "\t\tPSL:units = \"hectopascals\" ;\n"
      "\t\tPSL:_FillValue = -9999.f ;\n"
      "\tfloat ALTIM(report) ;\n"
      "\t\tALTIM:long_name = \"altimeter setting\" ;\n"
      "\t\tALTIM:units = \"hectopascals\" ;\n"
      "\t\tALTIM:_FillValue = -9999.f ;\n"
      "\tfloat SPD(report) ;\n"
      "\t\tSPD:long_name = \"wind speed\" ;\n"
      "\t\tSPD:units = \"meters/second\" ;\n"
      "\t\tSPD:_FillValue = -9999.f ;\n"
      "\tfloat DIR(report) ;\n"
      "\t\tDIR:long_name = \"wind direction\" ;\n"
      "\t\tDIR:units = \"degrees\" ;\n"
      "\t\tDIR:_FillValue = -9999.f ;\n"
      "\tfloat GUST(report) ;\n"
      "\t\tGUST:long_name = \"wind gusts\" ;\n"
      "\t\tGUST:units = \"meters/second\" ;\n"
      "\t\tGUST:_FillValue = -9999.f ;\n"
      "\tbyte WX(report, layers) ;\n"
      "\t\tWX:long_name = \"weather\" ;\n"
      "\t\tWX:units = \"WMO table 4677\" ;\n"
      "\tfloat ZCL(report, layers) ;\n"
      "\t\tZCL:long_name = \"cloudbase\" ;\n"
      "\t\tZCL:units = \"meters\" ;\n"
      "\t\tZCL:_FillValue = -9999.f ;\n"
      "\tchar CC(report, layers) ;\n"
      "\t\tCC:long_name = \"cloudcover\" ;\n"
      "\t\tCC:units = \"WMO table 2700\" ;\n"
      "\tchar cloudtype(report, layers) ;\n"
      "\t\tcloudtype:long_name = \"cloudtypes\" ;\n"
      "\t\tcloudtype:units = \"WMO tables 0509, 0513, 0515\" ;\n"
      "\tfloat VIS(report) ;\n"
      "\t\tVIS:long_name = \"visibility\" ;\n"
      "\t\tVIS:units = \"kilometers\" ;\n"
      "\t\tVIS:_FillValue = -9999.f ;\n"
      "\tchar Ptend(report) ;\n"
      "\t\tPtend:long_name = \"Pressure tendency\" ;\n"
      "\t\tPtend:units = \"WMO table 0200\" ;\n"
      "\tfloat delP(report) ;\n"
      "\t\tdelP:long_name = \"Pressure change\" ;\n"
      "\t\tdelP:units = \"hectopascals\" ;\n"
      "\t\tdelP:_FillValue = -9999.f ;\n"
      "\tfloat PRECIP(report) ;\n"
      "\t\tPRECIP:long_name = \"precipitation amount\" ;\n"
      "\t\tPRECIP:units = \"millimeters\" ;\n"
      "\t\tPRECIP:_FillValue = -9999.f ;\n"
      "\tfloat reftime_PRECIP(report) ;\n"
      "\t\treftime_PRECIP:long_name = \"precipitation reference time\" ;\n"
      "\t\treftime_PRECIP:units = \"hours\" ;\n"
      "\tfloat SNOW(report) ;\n"
      "\t\tSNOW:long_name = \"snowcover\" ;\n"
      "\t\tSNOW:units = \"millimeters\" ;\n"
      "\t\tSNOW:_FillValue = -9999.f ;\n"
      "\tfloat SST(report) ;\n"
      "\t\tSST:long_name = \"sea surface temperature\" ;\n"
      "\t\tSST:units = \"celsius\" ;\n"
      "\t\tSST:_FillValue = -9999.f ;\n"
      "\tfloat wave_per(report) ;\n"
      "\t\twave_per:long_name = \"wave period\" ;\n"
      "\t\twave_per:units = \"seconds\" ;\n"
      "\t\twave_per:_FillValue = -9999.f ;\n"
      "\tfloat wave_hgt(report) ;\n"
      "\t\twave_hgt:long_name = \"wave height\" ;\n"
      "\t\twave_hgt:units = \"meters\" ;\n"
      "\t\twave_hgt:_FillValue = -9999.f ;\n"
      "\tfloat Tmax(report) ;\n"
      "\t\tTmax:long_name = \"maximum temperature\" ;\n"
      "\t\tTmax:units = \"celsius\" ;\n"
      "\t\tTmax:_FillValue = -9999.f ;\n"
      "\tfloat Tmin(report) ;\n"
      "\t\tTmin:long_name = \"minimum temperature\" ;\n"
      "\t\tTmin:units = \"celsius\" ;\n"
      "\t\tTmin:_FillValue = -9999.f ;\n"
      "\tfloat Tmax6(report) ;\n"
      "\t\tTmax6:long_name = \"6 hour maximum temperature\" ;\n"
      "\t\tTmax6:units = \"celsius\" ;\n"
      "\t\tTmax6:_FillValue = -9999.f ;\n"
      "\tfloat Tmin6(report) ;\n"
      "\t\tTmin6:long_name = \"6 hour minimum temperature\" ;\n"
      "\t\tTmin6:units = \"celsius\" ;\n"
      "\t\tTmin6:_FillValue = -9999.f ;\n"
      "\tchar remarks(report, remarks_len) ;\n"
      "\n"
      "// global attributes:\n"
      "\t\t:title = \"Surface converted data\" ;\n"
      "\t\t:version = \"2.0\" ;\n"
      "\t\t:history = \"Surface converted file from ZOT decoders\" ;\n"
      "\t\t:filetime = \"0000Z  7 DEC 23\" ;\n"
      "}\n";
  EXPECT_EQ(ncdump("-h '" + path + "'"), want);
}

TEST_F(CdfFile, OptionalVariablesFollowTheHour) {
  const std::vector<std::string> always = {"id",  "region", "time", "lat", "lon",
                                           "elev", "T",     "TD",   "PSL", "ALTIM",
                                           "SPD", "DIR",    "GUST", "WX",  "ZCL",
                                           "CC",  "cloudtype", "VIS"};
  struct {
    int hour;
    std::vector<std::string> optional;
  } rows[] = {
      {3, {"Ptend", "delP", "PRECIP", "reftime_PRECIP"}},
      {8, {"Tmax", "Tmin", "sunshine"}},
      {6, {"Ptend", "delP", "PRECIP", "reftime_PRECIP", "SST", "wave_per", "wave_hgt", "Tmax",
           "Tmin", "Tmax6", "Tmin6"}},
      {12, {"Ptend", "delP", "PRECIP", "reftime_PRECIP", "SNOW", "SST", "wave_per", "wave_hgt",
            "Tmax", "Tmin", "Tmax6", "Tmin6"}},
      {13, {}},
  };
  for (const auto &row : rows) {
    std::string path = dir.file(tvtest::numbered("h", row.hour, ".cdf"));
    write_cdf(path, row.hour, {});
    std::vector<std::string> want = always;
    want.insert(want.end(), row.optional.begin(), row.optional.end());
    want.push_back("remarks");
    EXPECT_EQ(var_names(path), want) << "hour " << row.hour;
  }
}

TEST_F(CdfFile, RecordValuesAndConversions) {
  SFC_report a = blank("ABCDEFGHIJ");  // 10 characters: 11 of the 12 with the NUL
  a.time = 1150;
  a.t = 50.0f;
  a.td = 32.0f;
  a.alt = 30.0f;
  a.w_spd = 10.0f;
  a.w_dir = 250.0f;
  a.w_gust = 20.0f;
  a.vis = 10.0f;
  a.pmb = 1013.2f;
  a.lat = 42.5f;
  a.lon = -71.25f;
  a.elev = 45.0f;
  a.num_cld = 2;
  a.cld_cover[0] = 'B';
  a.cld_height[0] = 3000.0f;
  a.cld_cover[1] = '7';
  a.cld_height[1] = 10000.0f;
  std::snprintf(a.weather, sizeof a.weather, "%s", "R-");
  a.ptend_t = 3;
  a.ptend = 1.5f;
  a.rain24 = 0.5f;
  a.rain6 = 0.12f;  // the 24-hour amount wins
  a.max_t = 68.0f;
  a.scover = 2.0f;
  std::memcpy(a.cld_type, "5 9", 3);
  a.sst = 12.5f;
  std::snprintf(a.comment, sizeof a.comment, "%s", "FIRST");

  SFC_report b = blank("SHIP1", "SH");
  b.time = 1030;  // not the hour before: dated in the file's hour
  b.num_cld = 1;
  const char covers[] = {'C', 'F', 'S', 'O'};
  for (int k = 0; k < 4; ++k) b.cld_cover[k] = covers[k];
  b.cld_cover[4] = 'X';  // a fifth layer is never stored

  SFC_report c = blank("C3");
  c.time = 1200;
  c.rain6 = 0.12f;
  c.cld_cover[0] = 'X';
  c.cld_cover[1] = '4';
  c.ptend_t = 0;
  c.ptend = 0.0f;
  std::snprintf(c.weather, sizeof c.weather, "%s", "TRW+A");

  std::string path = dir.file("rec.cdf");
  write_cdf(path, 12, {a, b, c});

  EXPECT_EQ(dump_var(path, "id"), " id =\n  \"ABCDEFGHIJ\",\n  \"SHIP1\",\n  \"C3\" ;\n");
  EXPECT_EQ(dump_var(path, "region"), " region =\n  \"LA\",\n  \"SH\",\n  \"LA\" ;\n");
  EXPECT_EQ(dump_var(path, "time"),
            " time =\n  \"1150Z  7 DEC 23\",\n  \"1230Z  7 DEC 23\",\n  \"1200Z  7 DEC 23\" ;\n");
  EXPECT_EQ(dump_var(path, "lat"), " lat = 42.5, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "lon"), " lon = -71.25, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "elev"), " elev = 45, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "T"), " T = 10, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "TD"), " TD = 0, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "PSL"), " PSL = 1013.2, _, _ ;\n");
  // 33.85399 x 30 rounded to float.
  EXPECT_EQ(dump_var(path, "ALTIM", "-p 9"), " ALTIM = 1015.61969, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "SPD"), " SPD = 5.144, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "DIR"), " DIR = 250, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "GUST"), " GUST = 10.288, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "VIS"), " VIS = 16.0934, _, _ ;\n");
  // Only the first weather position is written; -127 is the byte fill.
  EXPECT_EQ(dump_var(path, "WX"),
            " WX =\n  61, -127, -127, -127,\n  0, -127, -127, -127,\n  99, -127, -127, -127 ;\n");
  EXPECT_EQ(dump_var(path, "ZCL"),
            " ZCL =\n  914.4, 3048, _, _,\n  _, _, _, _,\n  _, _, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "CC"), " CC =\n  \"67//\",\n  \"0128\",\n  \"94//\" ;\n");
  EXPECT_EQ(dump_var(path, "cloudtype"), " cloudtype =\n  \"5/9\",\n  \"///\",\n  \"///\" ;\n");
  // The characteristic is stored as its value: 3 and 0, "/" when missing.
  EXPECT_EQ(dump_var(path, "Ptend"), " Ptend = \"\\003/\" ;\n");
  EXPECT_EQ(dump_var(path, "delP"), " delP = 1.5, _, 0 ;\n");
  EXPECT_EQ(dump_var(path, "PRECIP"), " PRECIP = 12.7, _, 3.048 ;\n");
  EXPECT_EQ(dump_var(path, "reftime_PRECIP"), " reftime_PRECIP = 24, 6, 6 ;\n");
  EXPECT_EQ(dump_var(path, "SNOW"), " SNOW = 50.8, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "Tmax"), " Tmax = 20, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "SST"), " SST = 12.5, _, _ ;\n");
  EXPECT_EQ(dump_var(path, "remarks"), " remarks =\n  \"FIRST\",\n  \"\",\n  \"\" ;\n");
}

TEST_F(CdfFile, ReportFromTheHourBeforeMidnight) {
  SFC_report r = blank("N1");
  r.time = 2330;
  SFC_report s = blank("N2");
  s.time = 15;
  std::string path = dir.file("h00.cdf");
  write_cdf(path, 0, {r, s});
  EXPECT_EQ(dump_var(path, "time"), " time =\n  \"2330Z  6 DEC 23\",\n  \"0015Z  7 DEC 23\" ;\n");
}

TEST_F(CdfFile, Hour08FileSkipsTheVariablesItLacks) {
  SFC_report r = blank("H8");
  r.time = 800;
  r.ptend_t = 2;
  r.ptend = 1.0f;
  r.rain6 = 0.1f;
  r.scover = 1.0f;
  r.sst = 10.0f;
  r.max6_t = 50.0f;
  r.max_t = 59.0f;
  r.solar = 120.0f;
  std::string path = dir.file("h08.cdf");
  write_cdf(path, 8, {r});  // also checks that nothing failed
  EXPECT_EQ(dump_var(path, "Tmax"), " Tmax = 15 ;\n");
  EXPECT_EQ(dump_var(path, "sunshine"), " sunshine = 120 ;\n");
  std::string all = ncdump("'" + path + "'");
  for (const char *absent : {"Ptend", "delP", "PRECIP", "SNOW", "SST", "Tmax6"})
    EXPECT_EQ(all.find(std::string(" ") + absent + " "), std::string::npos) << absent;
}

TEST_F(CdfFile, AppendContinuesAfterTheExistingRecords) {
  DATE_set_range(-45, 45);
  Date run = date_of(12);
  DATE_set_datim(&run);
  std::string path = dir.file("app.cdf");
  SFC_report first = blank("FIRST");
  first.time = 1200;
  SFC_report second = blank("SECOND");
  second.time = 1210;
  write_cdf(path, 12, {first, second});

  int type = 12;
  int fd = SFC_open(path.c_str(), 2, &type);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(type, 12);
  SFC_info info{};
  ASSERT_EQ(SFC_getinfo(fd, &info), 0);
  EXPECT_EQ(info.num_stat, 2);
  EXPECT_STREQ(info.datim, "1200Z  7 DEC 23");
  EXPECT_EQ(info.date.hour, 12);
  EXPECT_EQ(info.date.day, 7);
  SFC_report third = blank("THIRD");
  third.time = 1145;
  third.t = 212.0f;
  SFC_report late = blank("LATE");
  late.time = 1400;  // outside the window: not written
  SFC_save_report(fd, &third);
  SFC_save_report(fd, &late);
  EXPECT_EQ(SFC_close(fd), 0);

  std::string head = ncdump("-h '" + path + "'");
  EXPECT_NE(head.find("\treport = UNLIMITED ; // (3 currently)\n"), std::string::npos);
  EXPECT_EQ(dump_var(path, "id"), " id =\n  \"FIRST\",\n  \"SECOND\",\n  \"THIRD\" ;\n");
  EXPECT_EQ(dump_var(path, "T"), " T = _, _, 100 ;\n");
  EXPECT_EQ(dump_var(path, "time"),
            " time =\n  \"1200Z  7 DEC 23\",\n  \"1210Z  7 DEC 23\",\n  \"1145Z  7 DEC 23\" ;\n");
}

TEST_F(CdfFile, FormatsDoNotMixOnAppend) {
  std::string cdf = dir.file("a.cdf");
  write_cdf(cdf, 12, {});
  int type = 4;
  EXPECT_EQ(SFC_open(cdf.c_str(), 2, &type), -1);
  std::string zot = dir.file("a.zot");
  write_file(zot, "ZOTSFC\n1200Z  7 DEC 23\n");
  type = 12;
  EXPECT_EQ(SFC_open(zot.c_str(), 2, &type), -1);
  EXPECT_EQ(read_file(zot), "ZOTSFC\n1200Z  7 DEC 23\n");
}

// The older layout can be read, but records are never added to it: they
// would be lost or mislabelled.
TEST_F(CdfFile, OlderLayoutIsReadButNeverAppendedTo) {
  std::string path = dir.file("old.cdf");
  int ncid, dim;
  ASSERT_EQ(nc_create(path.c_str(), NC_CLOBBER, &ncid), NC_NOERR);
  ASSERT_EQ(nc_def_dim(ncid, "station", NC_UNLIMITED, &dim), NC_NOERR);
  const char label[] = "0600Z  7 DEC 23";
  ASSERT_EQ(nc_put_att_text(ncid, NC_GLOBAL, "datetime", std::strlen(label), label), NC_NOERR);
  ASSERT_EQ(nc_close(ncid), NC_NOERR);
  const std::string before = read_file(path);

  EXPECT_EQ(SFC_chktype(path.c_str()), 11);
  int type = 12;
  testing::internal::CaptureStderr();
  EXPECT_EQ(SFC_open(path.c_str(), 2, &type), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "SFC_open: Not a netCDF file of this program's layout, not appended to: " + path + "\n");
  EXPECT_EQ(read_file(path), before);

  type = 0;
  int fd = SFC_open(path.c_str(), 0, &type);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(type, 11);
  SFC_info info{};
  EXPECT_EQ(SFC_getinfo(fd, &info), 0);
  EXPECT_EQ(info.num_stat, 0);
  EXPECT_STREQ(info.datim, "0600Z  7 DEC 23");
  EXPECT_EQ(info.date.hour, 6);
  SFC_report r = blank("X");
  int rec = 0;
  EXPECT_EQ(SFC_write(fd, &r, 1, &rec), -1);
  EXPECT_EQ(SFC_putinfo(fd, &info), -1);
  EXPECT_EQ(SFC_close(fd), 0);
  EXPECT_EQ(read_file(path), before);
}

// A display time zone must not cost the records their time.
TEST_F(CdfFile, TimeLabelStaysUtcWithADisplayTimeZone) {
  std::string path = dir.file("tz.cdf");
  auto child = [&path] {
    // As "zottz" set to -CST:-6 does at start-up.
    DATE_set_TZ("-CST:-6");
    Date d = date_of(12);
    char label[64];
    DATE_make_label(&d, label);
    if (std::strlen(label) < 20) std::_Exit(2);  // the zone did not take effect
    SFC_report r = blank("TZ1");
    r.time = 1150;
    SFC_report s = blank("TZ2");
    s.time = 1030;
    write_cdf(path, 12, {r, s});
    std::_Exit(::testing::Test::HasFailure() ? 3 : 0);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(dump_var(path, "time"), " time =\n  \"1150Z  7 DEC 23\",\n  \"1230Z  7 DEC 23\" ;\n");
}

// A record the library refuses is reported once, and the run ends with 1.
TEST_F(CdfFile, RecordWriteErrorIsReportedAndEndsWithStatus1) {
  std::string path = dir.file("ro.cdf");
  write_cdf(path, 12, {});
  std::string log = dir.file("stderr.txt");
  auto child = [&] {
    if (!std::freopen(log.c_str(), "w", stderr)) std::_Exit(5);
    int type = 12;
    int fd = SFC_open(path.c_str(), 0, &type);  // read-only: every write fails
    if (fd < 0) std::_Exit(4);
    SFC_info info{};
    SFC_getinfo(fd, &info);
    SFC_report r = blank("RO");
    int rec = 0;
    if (SFC_write(fd, &r, 1, &rec) != 0) std::_Exit(6);  // the run goes on
    rec = 1;
    SFC_write(fd, &r, 1, &rec);
    if (!SFC_write_failed()) std::_Exit(7);
    SFC_close(fd);
    std::_Exit(0);  // not reached
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(1), "");
  std::string err = read_file(log);
  const std::string msg = "SFC_write: netCDF error writing record 0\n";
  std::size_t at = err.find(msg);
  EXPECT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find("SFC_write:", at + 1), std::string::npos) << err;
  EXPECT_EQ(err.find("record 1"), std::string::npos) << err;
}

TEST_F(CdfFile, LongFileTimeAttributeIsCutToTheLabel) {
  std::string path = dir.file("long.cdf");
  write_cdf(path, 12, {});
  int ncid;
  ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &ncid), NC_NOERR);
  ASSERT_EQ(nc_redef(ncid), NC_NOERR);
  std::string text(500, 'x');
  text.replace(0, 15, "1200Z  7 DEC 23");
  ASSERT_EQ(nc_put_att_text(ncid, NC_GLOBAL, "filetime", text.size(), text.data()), NC_NOERR);
  ASSERT_EQ(nc_close(ncid), NC_NOERR);
  int type = 12;
  int fd = SFC_open(path.c_str(), 2, &type);
  ASSERT_GE(fd, 0);
  SFC_info info{};
  std::memset(&info, 0x55, sizeof info);
  EXPECT_EQ(SFC_getinfo(fd, &info), 0);
  EXPECT_EQ(std::strlen(info.datim), 39u);
  EXPECT_EQ(std::string(info.datim).substr(0, 15), "1200Z  7 DEC 23");
  EXPECT_EQ(SFC_close(fd), 0);
}

}  // namespace
