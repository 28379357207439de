// Station database: reading station files, storing, selecting and
// searching stations, and the sequential lookups.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "stations/cty_read.hpp"
#include "stations/cty_tool.hpp"
#include "testutil.hpp"

namespace {

std::string stations() { return tvtest::source_path("tests/data/stations.cty"); }

// Every station of a file, read with CTY_read.
std::vector<CTY_data> read_all(const std::string &path) {
  std::vector<CTY_data> out;
  const int fd = CTY_open(path.c_str(), 0, 0);
  EXPECT_GE(fd, 0) << path;
  CTY_data st;
  while (CTY_read(fd, &st) == 10) out.push_back(st);
  CTY_close(fd);
  return out;
}

const CTY_data &named(const std::vector<CTY_data> &all, const char *name) {
  for (const CTY_data &st : all)
    if (std::strcmp(st.name, name) == 0) return st;
  static CTY_data none{};
  ADD_FAILURE() << "no station " << name;
  return none;
}

class Stations : public ::testing::Test {
 protected:
  void SetUp() override {
    RES_put("city_file", "");
    RES_put("identifier", "all");
    CTY_set_id_type(0);
  }
  void TearDown() override {
    RES_put("city_file", "");
    RES_put("identifier", "all");
    CTY_set_id_type(0);
  }
  // Loads the test station file as the full store.
  void load(int type = 1, int prior = 10) {
    testing::internal::CaptureStdout();
    fd_ = CTY_store(stations().c_str(), type, nullptr, prior);
    testing::internal::GetCapturedStdout();
    ASSERT_GT(fd_, 0);
  }
  // One station line of a file at 10N 20E, height 5.
  static void add_line(std::string &text, const std::string &name, const char *region, int wmo) {
    // Appended piece by piece (a chain of + draws a false -Wrestrict from g++ 12).
    text += name;
    text += " XX ";
    text += region;
    text += " - 1 10.00 20.00 5 ";
    text += std::to_string(wmo);
    text += " 0\n";
  }
  // Writes `text` as the station file `name` and loads it as the full store.
  void store_text(const std::string &text, const char *name) {
    const std::string path = dir_.file(name);
    tvtest::write_file(path, text);
    testing::internal::CaptureStdout();
    const int fd = CTY_store(path.c_str(), 1, nullptr, 10);
    testing::internal::GetCapturedStdout();
    ASSERT_GT(fd, 0);
  }
  int fd_ = 0;
  tvtest::TempDir dir_;
};

TEST_F(Stations, ReadsTheTenFieldsOfALine) {
  const std::string path = dir_.file("one.cty");
  tvtest::write_file(path, "CHICAGO IL US ORD *5* 41.98 -87.90 205 72530 0\n");
  const int fd = CTY_open(path.c_str(), 0, 0);
  ASSERT_GE(fd, 0);
  CTY_data st;
  ASSERT_EQ(CTY_read(fd, &st), 10);
  EXPECT_STREQ(st.name, "CHICAGO");
  EXPECT_STREQ(st.state, "IL");
  EXPECT_STREQ(st.region, "US");
  EXPECT_STREQ(st.id, "ORD");
  EXPECT_EQ(st.prior, 5);
  EXPECT_EQ(st.mos, '*');
  EXPECT_EQ(st.ua, '*');
  EXPECT_FLOAT_EQ(st.lat, 41.98f);
  EXPECT_FLOAT_EQ(st.lon, -87.90f);
  EXPECT_FLOAT_EQ(st.el, 205.0f);
  EXPECT_EQ(st.wmo, 72530);
  EXPECT_EQ(st.num, 0);
  EXPECT_EQ(CTY_read(fd, &st), -1);
  EXPECT_EQ(CTY_close(fd), 0);
  EXPECT_EQ(CTY_read(fd, &st), -1);  // nothing open any more
  EXPECT_EQ(CTY_close(fd), -1);
  EXPECT_EQ(CTY_rewind(fd), -1);
}

TEST_F(Stations, PriorityStarsAndHighElevations) {
  const auto all = read_all(stations());
  ASSERT_EQ(all.size(), 16u);
  const CTY_data &mdw = named(all, "CHICAGO_MIDWAY");  // 2
  EXPECT_EQ(mdw.prior, 2);
  EXPECT_EQ(mdw.mos, ' ');
  EXPECT_EQ(mdw.ua, ' ');
  const CTY_data &pia = named(all, "PEORIA");  // 3*
  EXPECT_EQ(pia.prior, 3);
  EXPECT_EQ(pia.mos, ' ');
  EXPECT_EQ(pia.ua, '*');
  const CTY_data &spi = named(all, "SPRINGFIELD");  // *3
  EXPECT_EQ(spi.mos, '*');
  EXPECT_EQ(spi.ua, ' ');
  // 9999 m marks an unknown elevation.
  EXPECT_EQ(named(all, "SAN_FRANCISCO_BUOY").el, tv::kMissFloat);
  EXPECT_FLOAT_EQ(named(all, "DENVER").el, 1655.0f);
  EXPECT_STREQ(named(all, "HOHENPEISSENBERG").id, "-");
}

TEST_F(Stations, FieldsMayRunOverLinesAndLongNamesAreCut) {
  const std::string path = dir_.file("wrapped.cty");
  tvtest::write_file(path,
                     "AVERYLONGSTATIONNAMEINDEED IL US XYZ 1 40.0 -88.0\n"
                     "  200 72599 7\nMADISON WI US MSN 3* 43.14 -89.35 262 72641 0\n");
  const auto all = read_all(path);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_STREQ(all[0].name, "AVERYLONGSTATIONNAME");
  EXPECT_EQ(all[0].wmo, 72599);
  EXPECT_EQ(all[0].num, 7);
  EXPECT_STREQ(all[1].name, "MADISON");
  EXPECT_EQ(all[1].wmo, 72641);
}

TEST_F(Stations, SearchByWmoNumberIdentifierAndMadeIdentifier) {
  load();
  CTY_data st{};
  ASSERT_EQ(CTY_search("72530", &st), 1);  // five digits: WMO text
  EXPECT_STREQ(st.id, "ORD");
  ASSERT_EQ(CTY_search("MSN", &st), 1);  // station identifier
  EXPECT_EQ(st.wmo, 72641);
  ASSERT_EQ(CTY_search("K2403", &st), 1);  // made from 72403
  EXPECT_STREQ(st.name, "WASHINGTON_DULLES");
  ASSERT_EQ(CTY_search("ED962", &st), 1);  // made from 10962
  EXPECT_STREQ(st.name, "HOHENPEISSENBERG");
  EXPECT_EQ(CTY_search("msn", &st), 0);  // keys are exact
  EXPECT_EQ(CTY_search("72531", &st), 0);
  EXPECT_EQ(CTY_search("K2404", &st), 0);
}

// The same station asked for again (the run completes a report, then a
// writer asks for its name) gives the same answer, found or not, whether
// the last search is remembered or not; another identifier in between, a
// prefix of one, or a store of another type loaded since never answers
// for it.
TEST_F(Stations, RepeatedSearchesAnswerAsTheFirst) {
  for (bool remember : {false, true}) {
    SCOPED_TRACE(remember ? "remembered" : "searched");
    CTY_remember_last(remember);
    load();
    CTY_data st{};
    for (int round = 0; round < 2; ++round) {
      ASSERT_EQ(CTY_search("72530", &st), 1) << round;
      EXPECT_STREQ(st.id, "ORD");
      st = CTY_data{};
      ASSERT_EQ(CTY_search("72530", &st), 1) << round;
      EXPECT_STREQ(st.id, "ORD");
      EXPECT_EQ(CTY_search("7253", &st), 0);
      EXPECT_EQ(CTY_search("72531", &st), 0);
      EXPECT_EQ(CTY_search("72531", &st), 0);
      ASSERT_EQ(CTY_search("MSN", &st), 1);
      EXPECT_EQ(st.wmo, 72641);
    }
    // Longer than any identifier: searched in full every time.
    EXPECT_EQ(CTY_search("MSNMSNMSNMSNMSNMSN", &st), 0);
    EXPECT_EQ(CTY_search("MSNMSNMSNMSNMSNMSN", &st), 0);
    ASSERT_EQ(CTY_search("72530", &st), 1);
    load(2);
    CTY_locate loc{};
    ASSERT_EQ(CTY_search("72530", &loc), 1);
    EXPECT_STREQ(loc.id, "ORD");
    EXPECT_EQ(loc.wmo, 72530);
  }
  CTY_remember_last(false);
}

TEST_F(Stations, BuoysAreKeyedByTheirBuoyText) {
  load();
  CTY_data st{};
  ASSERT_EQ(CTY_search("b46035", &st), 1);
  EXPECT_STREQ(st.name, "CENTRAL_BERING_SEA");
  EXPECT_STREQ(st.region, "B_");
  // The plain number is not a buoy's WMO text.
  EXPECT_EQ(CTY_search("46035", &st), 0);
}

// Stations looked up by number answer as the search by WMO text: the first
// station entered under a number (a later one with the same number, or a
// buoy's, is not it), for many stations (the index grows), for stations
// without a number (99999), and only from the file loaded last.
TEST_F(Stations, NumberSearchAnswersTheFirstStationOfTheNumber) {
  std::string text;
  std::vector<std::string> first(100000);
  auto add = [&](const std::string &name, const char *region, int wmo) {
    add_line(text, name, region, wmo);
    if (std::string(region) != "B_" && wmo >= 0 && wmo <= 99999 && first[static_cast<std::size_t>(wmo)].empty())
      first[static_cast<std::size_t>(wmo)] = name;
  };
  for (int i = 0; i < 700; ++i) {
    std::string name = "S";
    name += std::to_string(i);
    add(name, "US", (i * 7919) % 100000);
  }
  for (int i = 0; i < 700; i += 3) {
    std::string name = "LATER";
    name += std::to_string(i);
    add(name, "US", (i * 7919) % 100000);
  }
  add("BUOY", "B_", 12345);
  add("LAND12345", "US", 12345);
  add("NONUMBER1", "US", 99999);
  add("NONUMBER2", "US", 99999);
  add("SMALL", "US", 7);
  store_text(text, "many.cty");
  if (HasFatalFailure()) return;
  for (bool remember : {false, true}) {
    CTY_remember_last(remember);
    for (int wmo = 0; wmo < 100000; wmo += (wmo % 97 == 0 ? 1 : 13)) {
      char id[16];
      std::snprintf(id, sizeof id, "%05d", wmo);
      CTY_data st{};
      const int found = CTY_search(id, &st);
      const std::string &want = first[static_cast<std::size_t>(wmo)];
      ASSERT_EQ(found, want.empty() ? 0 : 1) << id;
      if (found) {
        EXPECT_EQ(st.name, want) << id;
      }
    }
    for (int i = 0; i < 700; ++i) {
      char id[16];
      std::snprintf(id, sizeof id, "%05d", (i * 7919) % 100000);
      CTY_data st{};
      ASSERT_EQ(CTY_search(id, &st), 1) << id;
      EXPECT_EQ(st.name, first[static_cast<std::size_t>((i * 7919) % 100000)]) << id;
    }
    CTY_data st{};
    ASSERT_EQ(CTY_search("12345", &st), 1);
    EXPECT_STREQ(st.name, "LAND12345");
    ASSERT_EQ(CTY_search("b12345", &st), 1);
    EXPECT_STREQ(st.name, "BUOY");
    ASSERT_EQ(CTY_search("99999", &st), 1);
    EXPECT_STREQ(st.name, "NONUMBER1");
    ASSERT_EQ(CTY_search("00007", &st), 1);
    EXPECT_STREQ(st.name, "SMALL");
    EXPECT_EQ(CTY_search("7", &st), 0);
    EXPECT_EQ(CTY_search("000007", &st), 0);
  }
  CTY_remember_last(false);
  // Another file loaded: the numbers of the first one are gone.
  load();
  CTY_data st{};
  EXPECT_EQ(CTY_search("12345", &st), 0);
  EXPECT_EQ(CTY_search("00007", &st), 0);
  ASSERT_EQ(CTY_search("72530", &st), 1);
  EXPECT_STREQ(st.id, "ORD");
}

// A report's identifier is searched in its own buffer, a station number
// read as one word: every number, found or not, and identifiers that are
// no number (a figure replaced by the bytes next to the figures, a blank,
// a high byte or the terminator, six figures, a buoy's text, a letter-form
// identifier), with anything after the terminator, answer as CTY_search.
TEST_F(Stations, SearchInABufferAnswersAsTheSearch) {
  std::string text;
  std::set<int> numbers;  // of land stations: a buoy is keyed by its buoy text
  auto add = [&text, &numbers](const std::string &name, const char *region, int wmo) {
    if (std::string(region) != "B_") numbers.insert(wmo);
    add_line(text, name, region, wmo);
  };
  for (int i = 0; i < 300; ++i) add(tvtest::numbered("S", i), "US", (i * 33331) % 100000);
  add("ZERO", "US", 0);
  add("LAST", "US", 99999);
  add("BUOY", "B_", 46035);
  add("DULLES", "US", 72403);
  store_text(text, "buffer.cty");
  if (HasFatalFailure()) return;

  int found = 0;
  auto same = [&found](const char (&id)[11]) {
    CTY_data a{};
    CTY_data b{};
    const int want = CTY_search(id, &a);
    ASSERT_EQ(CTY_search_buffer(id, sizeof id, &b), want) << id;
    ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << id;
    found += want;
  };
  char id[11];
  for (int wmo = 0; wmo < 100000; ++wmo) {
    std::memset(id, wmo % 2 ? '7' : '\xff', sizeof id);  // bytes past the terminator
    std::snprintf(id, sizeof id, "%05d", wmo);
    same(id);
  }
  EXPECT_EQ(found, static_cast<int>(numbers.size())) << "every station number, and no other, found";
  const char odd[] = {'/', ':', ' ', '\0', 'A', '\x80', '\xb0', '\xb5'};
  for (int place = 0; place < 6; ++place) {
    for (char c : odd) {
      std::memset(id, '5', sizeof id);
      std::memcpy(id, "72403", 6);
      id[sizeof id - 1] = '\0';  // a replaced terminator leaves a longer text, still ended
      id[place] = c;
      same(id);
    }
  }
  for (bool remember : {false, true, false}) {
    CTY_remember_last(remember);  // the last answer given again, or searched anew
    for (const char *other : {"724030", "7240", "b46035", "K2403", "DULLES", "", "72403", "72403", "00001"}) {
      std::memset(id, '3', sizeof id);
      std::strcpy(id, other);
      same(id);
    }
  }
  // A buffer too small for the word is searched the usual way.
  CTY_data st{};
  char small[6] = "72403";
  ASSERT_EQ(CTY_search_buffer(small, sizeof small, &st), 1);
  EXPECT_STREQ(st.name, "DULLES");
  load();
  EXPECT_EQ(CTY_search_buffer(small, sizeof small, &st), 1) << "the next load holds it too";
  std::memcpy(small, "00000", 6);
  EXPECT_EQ(CTY_search_buffer(small, sizeof small, &st), 0) << "the numbers of the file before are gone";
}

TEST_F(Stations, SelectionValues) {
  const auto all = read_all(stations());
  auto selected = [&](std::vector<const char *> values) {
    std::vector<std::string> names;
    for (const CTY_data &st : all) {
      CTY_data copy = st;
      if (CTY_data_cmp(static_cast<int>(values.size()), values.data(), &copy) != -1)
        names.push_back(st.name);
    }
    return names;
  };
  using V = std::vector<std::string>;
  const V illinois = {"CHICAGO", "CHICAGO_MIDWAY", "PEORIA", "SPRINGFIELD", "ROCKFORD", "MOLINE"};
  EXPECT_EQ(selected({"ST=IL"}), illinois);
  EXPECT_EQ(selected({"ST:IL"}), illinois);
  EXPECT_EQ(selected({"st=il"}), illinois);
  EXPECT_EQ(selected({"ST=IL_US"}), illinois);
  EXPECT_EQ(selected({"ST:WI_US"}), (V{"MADISON", "MILWAUKEE"}));
  EXPECT_EQ(selected({"P<3"}),
            (V{"CHICAGO_MIDWAY", "PEORIA", "SPRINGFIELD", "MADISON", "MILWAUKEE",
               "WASHINGTON_DULLES", "DENVER", "NEW_YORK_JFK", "LOS_ANGELES"}));
  EXPECT_EQ(selected({"ST=IL:P<3"}), (V{"CHICAGO_MIDWAY", "PEORIA", "SPRINGFIELD"}));
  EXPECT_EQ(selected({"72530"}), (V{"CHICAGO"}));
  EXPECT_EQ(selected({"CHICA"}), (V{"CHICAGO", "CHICAGO_MIDWAY"}));
  EXPECT_EQ(selected({"CHIC"}), V{});  // a name prefix needs five characters
  EXPECT_EQ(selected({"mke"}), (V{"MILWAUKEE"}));
  // Within 50 km of the Chicago Loop: O'Hare (about 27 km) and Midway.
  EXPECT_EQ(selected({"RA<41.88:-87.63:50"}), (V{"CHICAGO", "CHICAGO_MIDWAY"}));
  EXPECT_EQ(selected({"RA<41.88:-87.63"}), V{});  // distance missing
  EXPECT_EQ(selected({"CN=B_"}), (V{"CENTRAL_BERING_SEA", "SAN_FRANCISCO_BUOY", "BOSTON_BUOY"}));
  EXPECT_EQ(selected({"CN:DE"}), (V{"HOHENPEISSENBERG"}));
  EXPECT_EQ(selected({"ID=iad"}), (V{"WASHINGTON_DULLES"}));
  EXPECT_EQ(selected({"WMO=72641"}), (V{"MADISON"}));
  EXPECT_EQ(selected({"WMO<44999"}),
            (V{"HOHENPEISSENBERG", "BOSTON_BUOY"}));
  EXPECT_EQ(selected({"Elev>1000"}), (V{"DENVER"}));
  EXPECT_EQ(selected({"Lat>47:Lon>0"}), (V{"HOHENPEISSENBERG"}));
  EXPECT_EQ(selected({"Lon<-120:Lat<50"}), (V{"SAN_FRANCISCO_BUOY"}));
  EXPECT_EQ(selected({"P=0:ST=CO"}), (V{"DENVER"}));
  EXPECT_EQ(selected({"Name=CHICAGO"}), (V{"CHICAGO", "CHICAGO_MIDWAY"}));
  EXPECT_EQ(selected({"Name=DENV"}), (V{"DENVER"}));
  EXPECT_EQ(selected({"XX=1"}), V{});
  EXPECT_EQ(selected({""}), V{});
  EXPECT_EQ(selected({"ST"}), V{});  // nothing to compare with
  EXPECT_EQ(selected({"ST=WI", "ST=CO"}), (V{"MADISON", "MILWAUKEE", "DENVER"}));
}

TEST_F(Stations, SelectionResultIsTheIndexOfTheFirstValueThatHolds) {
  const auto all = read_all(stations());
  CTY_data ord = named(all, "CHICAGO");
  const char *values[] = {"ST=WI", "P<5", "ST=IL"};
  EXPECT_EQ(CTY_data_cmp(3, values, &ord), 1);
  EXPECT_EQ(CTY_data_cmp(1, values, &ord), -1);
  EXPECT_EQ(CTY_data_cmp(0, nullptr, &ord), 1);
}

TEST_F(Stations, StoreKeepsOnlySelectedStations) {
  RES_put("identifier", "ST=WI,CO");
  testing::internal::CaptureStdout();
  const int fd = CTY_store(stations().c_str(), 1, nullptr, 10);
  testing::internal::GetCapturedStdout();
  ASSERT_GT(fd, 0);
  CTY_data st{};
  EXPECT_EQ(CTY_search("MSN", &st), 1);
  EXPECT_EQ(CTY_search("72640", &st), 1);
  EXPECT_EQ(CTY_search("ORD", &st), 0);

  RES_put("identifier", "ALL");  // "all" selects every station
  load();
  EXPECT_EQ(CTY_search("ORD", &st), 1);
}

TEST_F(Stations, StoreKeepsStationsUpToThePriority) {
  load(1, 1);
  CTY_data st{};
  EXPECT_EQ(CTY_search("MKE", &st), 1);  // 1
  EXPECT_EQ(CTY_search("DEN", &st), 1);  // 0
  EXPECT_EQ(CTY_search("MDW", &st), 0);  // 2
  EXPECT_EQ(CTY_search("ORD", &st), 0);  // 5
}

TEST_F(Stations, CompactStoresChooseTheIdentifierByRule) {
  load(2);
  CTY_locate loc{};
  ASSERT_EQ(CTY_search("72530", &loc), 1);
  EXPECT_STREQ(loc.id, "ORD");
  EXPECT_EQ(loc.pr, 5);
  EXPECT_FLOAT_EQ(loc.x, 41.98f);  // no domain: x, y are lat, lon
  EXPECT_FLOAT_EQ(loc.y, -87.90f);
  EXPECT_FLOAT_EQ(loc.el, 205.0f);
  ASSERT_EQ(CTY_search("10962", &loc), 1);
  EXPECT_STREQ(loc.id, "10962");  // rule 0: no identifier of its own
  EXPECT_EQ(CTY_search("ORD", &loc), 1);

  CTY_set_id_type(1);  // WMO text whenever there is a number
  load(3);
  EXPECT_EQ(CTY_search("ORD", &loc), 0);
  ASSERT_EQ(CTY_search("72530", &loc), 1);
  EXPECT_STREQ(loc.id, "72530");
  ASSERT_EQ(CTY_search("b46035", &loc), 1);
  EXPECT_STREQ(loc.id, "b46035");

  CTY_set_id_type(2);  // own identifier, else one made from the number
  load(2);
  ASSERT_EQ(CTY_search("ED962", &loc), 1);
  EXPECT_STREQ(loc.id, "ED962");
  EXPECT_EQ(loc.wmo, 10962);
  ASSERT_EQ(CTY_search("JFK", &loc), 1);
  EXPECT_EQ(loc.wmo, 74486);
}

TEST_F(Stations, IncompleteLastStationIsNotStored) {
  // The last line lost its end: without the mend it would borrow MADISON's
  // position, elevation and number.
  const std::string path = dir_.file("cut.cty");
  tvtest::write_file(path,
                     "MADISON WI US MSN 3* 43.14 -89.35 262 72641 0\n"
                     "MILWAUKEE WI US MKE 1 42.95");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int fd = CTY_store(path.c_str(), 1, nullptr, 10);
  const std::string err = testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  ASSERT_GT(fd, 0);
  EXPECT_EQ(err, "CTY_store: Incomplete station entry: MILWAUKEE\n");
  CTY_data st{};
  EXPECT_EQ(CTY_search("MSN", &st), 1);
  EXPECT_EQ(CTY_search("MKE", &st), 0);
  EXPECT_EQ(CTY_search("72641", &st), 1);
  EXPECT_STREQ(st.name, "MADISON");

  testing::internal::CaptureStdout();
  EXPECT_EQ(CTY_get(path.c_str(), "MKE", &st), 0);
  testing::internal::GetCapturedStdout();
}

TEST_F(Stations, ABadFieldCostsOnlyItsOwnStation) {
  const std::string path = dir_.file("bad.cty");
  tvtest::write_file(path,
                     "PEORIA IL US PIA 3* 40.67 -89.68 201 72532\n"  // no tenth field
                     "MADISON WI US MSN 3* 43.14 -89.35 262 72641 0\n"
                     "ROCKFORD IL US RFD 4 north -89.10 226 72543 0\n"
                     "MOLINE IL US MLI 4* 41.45 -90.52 180 72544 0\n");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  CTY_store(path.c_str(), 1, nullptr, 10);
  const std::string err = testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  EXPECT_NE(err.find("CTY_store: Incomplete station entry: PEORIA\n"), std::string::npos) << err;
  EXPECT_NE(err.find("CTY_store: Incomplete station entry: ROCKFORD\n"), std::string::npos) << err;
  CTY_data st{};
  EXPECT_EQ(CTY_search("PIA", &st), 0);
  EXPECT_EQ(CTY_search("RFD", &st), 0);
  ASSERT_EQ(CTY_search("MSN", &st), 1);
  EXPECT_EQ(st.wmo, 72641);
  ASSERT_EQ(CTY_search("MLI", &st), 1);
  EXPECT_EQ(st.wmo, 72544);
}

TEST_F(Stations, AStationFileOfOneShortLineStillWorks) {
  const std::string path = dir_.file("tiny.cty");
  tvtest::write_file(path, "DENVER CO US DEN 0* 39.85 -104.66 1655 72565 0\n");  // < 59 bytes
  int n = -1;
  const int fd = CTY_open_file(path.c_str(), &n);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(n, 1);
  CTY_close(fd);
  testing::internal::CaptureStdout();
  ASSERT_GT(CTY_store(path.c_str(), 1, nullptr, 10), 0);
  testing::internal::GetCapturedStdout();
  CTY_data st{};
  EXPECT_EQ(CTY_search("DEN", &st), 1);
  EXPECT_EQ(CTY_search("72565", &st), 1);
}

TEST_F(Stations, TableSizeComesFromTheFileSize) {
  const std::string line = "MADISON WI US MSN 3* 43.14 -89.35 262 72641 0";
  std::string text = line + std::string(58 - line.size(), ' ') + "\n";  // 59 bytes
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += text;
  tvtest::write_file(dir_.file("h.cty"), hundred);
  tvtest::write_file(dir_.file("big.cty"), hundred + std::string(590000 - hundred.size(), ' '));
  int n = 0;
  int fd = CTY_open_file(dir_.file("h.cty").c_str(), &n);
  EXPECT_EQ(n, 100);
  CTY_close(fd);
  fd = CTY_open_file(dir_.file("big.cty").c_str(), &n);
  EXPECT_EQ(n, 4000);  // 10000 capped
  CTY_close(fd);
}

TEST_F(Stations, MissingFileAndNone) {
  const std::string path = dir_.file("absent.cty");
  testing::internal::CaptureStderr();
  EXPECT_EQ(CTY_store(path.c_str(), 1, nullptr, 10), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "CTY_open_file: Database file not found: " + path + "\n");
  CTY_data st{};
  EXPECT_EQ(CTY_search("ORD", &st), 0);

  RES_put("city_file", "NONE");
  testing::internal::CaptureStderr();
  EXPECT_EQ(CTY_store(stations().c_str(), 1, nullptr, 10), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(CTY_search("ORD", &st), 0);
}

TEST_F(Stations, CityFileResourceAndFilePath) {
  tvtest::write_file(dir_.file("syn.cty"), "DENVER CO US DEN 0* 39.85 -104.66 1655 72565 0\n");
  RES_put("file_path", dir_.path().c_str());
  testing::internal::CaptureStdout();
  const int fd = CTY_store("syn.cty", 1, nullptr, 10);
  testing::internal::GetCapturedStdout();
  RES_put("file_path", "");
  ASSERT_GT(fd, 0);
  CTY_data st{};
  EXPECT_EQ(CTY_search("DEN", &st), 1);

  RES_put("city_file", stations().c_str());  // the resource wins over the caller
  load();
  EXPECT_EQ(CTY_search("ORD", &st), 1);
}

TEST_F(Stations, SequentialLookup) {
  CTY_data st{};
  testing::internal::CaptureStdout();
  ASSERT_EQ(CTY_get(stations().c_str(), "mke", &st), 1);
  EXPECT_STREQ(st.name, "MILWAUKEE");
  ASSERT_EQ(CTY_get(stations().c_str(), "denver", &st), 1);
  EXPECT_STREQ(st.id, "DEN");
  ASSERT_EQ(CTY_get(stations().c_str(), "10962", &st), 1);
  EXPECT_STREQ(st.name, "HOHENPEISSENBERG");
  EXPECT_EQ(CTY_get(stations().c_str(), "KXYZ", &st), 0);
  float lat = 0, lon = 0;
  ASSERT_EQ(CTY_get_loc(stations().c_str(), "IAD", &lat, &lon), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_FLOAT_EQ(lat, 38.95f);
  EXPECT_FLOAT_EQ(lon, -77.45f);
  EXPECT_NE(out.find("Searching the city database file for: mke ...\n"), std::string::npos);
}

TEST_F(Stations, PriorityResource) {
  RES_put("stat_prior", "3");
  EXPECT_EQ(CTY_get_prior(), 3);
  testing::internal::CaptureStdout();
  CTY_store(stations().c_str(), 1, nullptr, tv::kMissInt);
  testing::internal::GetCapturedStdout();
  CTY_data st{};
  EXPECT_EQ(CTY_search("MSN", &st), 1);  // 3
  EXPECT_EQ(CTY_search("RFD", &st), 0);  // 4
  RES_put("stat_prior", "none");
  EXPECT_EQ(CTY_get_prior(), 10);
}

}  // namespace
