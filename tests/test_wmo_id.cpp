// Identifiers made from WMO numbers and back.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "stations/tools.hpp"

namespace {

std::string id_of(int wmo) {
  char id[11];
  std::memset(id, 'x', sizeof id);
  EXPECT_EQ(wmo_to_id(id, wmo), 0);
  return id;
}

struct Back {
  int result;
  int wmo;
};

Back back(const char *id) {
  Back b{0, -1};
  b.result = id_to_wmo(id, &b.wmo);
  return b;
}

TEST(WmoToId, Examples) {
  EXPECT_EQ(id_of(72403), "K2403");
  EXPECT_EQ(id_of(1001), "EN001");
  EXPECT_EQ(id_of(94610), "Y4610");
  EXPECT_EQ(id_of(98222), "RP222");
  EXPECT_EQ(id_of(25012), "U5012");
  EXPECT_EQ(id_of(3772), "EG772");
  EXPECT_EQ(id_of(74560), "K4560");
  EXPECT_EQ(id_of(91701), "N1701");
  EXPECT_EQ(id_of(40400), "OE400");
  EXPECT_EQ(id_of(41100), "OE100");
}

TEST(WmoToId, RangeBoundaries) {
  EXPECT_EQ(id_of(67753), "FL753");
  EXPECT_EQ(id_of(67755), "FV755");
  EXPECT_EQ(id_of(67790), "FW790");
  EXPECT_EQ(id_of(78534), "TJ534");
  EXPECT_EQ(id_of(78535), "TI535");
  EXPECT_EQ(id_of(78550), "TI550");
  EXPECT_EQ(id_of(78551), "78551");  // gap up to 78579
  EXPECT_EQ(id_of(91249), "91249");  // gap between PH and PK
  EXPECT_EQ(id_of(91250), "PK250");
  EXPECT_EQ(id_of(41159), "OB159");
  EXPECT_EQ(id_of(41160), "OE160");
  EXPECT_EQ(id_of(29999), "U9999");
  EXPECT_EQ(id_of(94099), "94099");
  EXPECT_EQ(id_of(95999), "Y5999");
}

TEST(WmoToId, NumbersWithoutPrefixKeepFiveDigits) {
  EXPECT_EQ(id_of(500), "00500");
  EXPECT_EQ(id_of(99999), "99999");
  EXPECT_EQ(id_of(67754), "67754");
  EXPECT_EQ(id_of(44500), "44500");
  EXPECT_EQ(id_of(73999), "73999");
  EXPECT_EQ(id_of(89000), "89000");
  EXPECT_EQ(id_of(0), "00000");
  EXPECT_EQ(id_of(123456), "123456");
  // The missing number stays recognisable as such.
  EXPECT_EQ(id_of(-9999), "-9999");
}

TEST(WmoToId, NeverWritesPastElevenBytes) {
  struct {
    char id[11];
    char guard[8];
  } buf;
  std::memset(&buf, '#', sizeof buf);
  ASSERT_EQ(wmo_to_id(buf.id, INT_MIN), 0);
  EXPECT_LE(std::strlen(buf.id), 10u);
  EXPECT_EQ(std::string(buf.guard, sizeof buf.guard), std::string(8, '#'));
  ASSERT_EQ(wmo_to_id(buf.id, INT_MAX), 0);
  EXPECT_STREQ(buf.id, "2147483647");
}

TEST(IdToWmo, Examples) {
  Back b = back("K2403");
  EXPECT_EQ(b.result, 0);
  EXPECT_EQ(b.wmo, 72403);
  EXPECT_EQ(back("OE400").wmo, 40400);
  EXPECT_EQ(back("OE100").wmo, 41100);
  EXPECT_EQ(back("OE300").wmo, 300);
  EXPECT_EQ(back("X1234").wmo, 31234);
  EXPECT_EQ(back("Z4511").wmo, 54511);
  EXPECT_EQ(back("ZM123").wmo, 44123);  // ZM is a two-letter prefix, not Z
  EXPECT_EQ(back("DR050").wmo, 61050);
  EXPECT_EQ(back("N1720").wmo, 91720);
  EXPECT_EQ(back("UA123").wmo, 20000);  // four last characters not a number

  b = back("QQ123");  // letter form, prefix unknown
  EXPECT_EQ(b.result, 0);
  EXPECT_EQ(b.wmo, 123);
}

TEST(IdToWmo, OtherFormsAreRefused) {
  Back b = back("72403");
  EXPECT_EQ(b.result, -1);
  EXPECT_EQ(b.wmo, 72403);
  b = back("ABC");
  EXPECT_EQ(b.result, -1);
  EXPECT_EQ(b.wmo, 99999);
  for (const char *id : {"KORD", "K24031", "1K403", "K240A", "K-403", "", "b46035"}) {
    b = back(id);
    EXPECT_EQ(b.result, -1) << id;
    EXPECT_EQ(b.wmo, 99999) << id;
  }
  EXPECT_EQ(id_to_wmo(nullptr, &b.wmo), -1);
  EXPECT_EQ(b.wmo, 99999);
}

TEST(WmoPrefixTable, EveryNumberOfEveryRangeComesBack) {
  int n = 0;
  const WMO_prefix *rows = wmo_prefix_table(&n);
  ASSERT_EQ(n, 182);
  for (int i = 0; i < n; ++i) {
    for (int wmo = rows[i].lo; wmo <= rows[i].hi; ++wmo) {
      char id[11];
      wmo_to_id(id, wmo);
      ASSERT_EQ(std::strncmp(id, rows[i].prefix, std::strlen(rows[i].prefix)), 0) << wmo;
      ASSERT_EQ(std::strlen(id), 5u) << wmo;
      int got = 0;
      ASSERT_EQ(id_to_wmo(id, &got), 0) << id;
      ASSERT_EQ(got, wmo) << id;
    }
  }
}

TEST(WmoPrefixTable, NumbersInTheGapsStayNumbers) {
  int n = 0;
  const WMO_prefix *rows = wmo_prefix_table(&n);
  int row = 0;
  int gaps = 0;
  for (int wmo = 0; wmo <= 99999; ++wmo) {
    while (row < n && rows[row].hi < wmo) ++row;
    if (row < n && rows[row].lo <= wmo) continue;
    char want[8];
    std::snprintf(want, sizeof want, "%05d", wmo);
    char id[11];
    wmo_to_id(id, wmo);
    ASSERT_STREQ(id, want);
    int got = 0;
    ASSERT_EQ(id_to_wmo(id, &got), -1);
    ASSERT_EQ(got, wmo);
    ++gaps;
  }
  // 0-999, 1500-1999, ... : a few thousand numbers have no prefix.
  EXPECT_GT(gaps, 10000);
}

}  // namespace
