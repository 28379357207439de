// Keyed table: hash values, keys of equal hash, multiple keys, entry order, pointers
// into the table's storage, and the failure paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/table.hpp"
#include "testutil.hpp"

namespace {

struct Rec {
  int value;
  char tag[12];
};

Rec rec(int value, const char *tag = "") {
  Rec r{};
  r.value = value;
  std::strncpy(r.tag, tag, sizeof r.tag - 1);
  return r;
}

int value_of(const char *p) { return reinterpret_cast<const Rec *>(p)->value; }

std::vector<int> walk(TAB_table &tab) {
  std::vector<int> out;
  TAB_first(&tab);
  while (const char *p = TAB_next(&tab)) out.push_back(value_of(p));
  return out;
}

TEST(TableHash, BucketsOfKnownKeys) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 4000, sizeof(Rec), 1), 0);
  EXPECT_EQ(TAB_key(&tab, ""), 0);
  EXPECT_EQ(TAB_key(&tab, "A"), 65);
  EXPECT_EQ(TAB_key(&tab, "AB"), 771);      // 16771 mod 4000
  EXPECT_EQ(TAB_key(&tab, "ABC"), 2620);    // 18620 mod 4000
  EXPECT_EQ(TAB_key(&tab, "72403"), 2206);  // 6206
  // 0xFF is -1: (2^64 - 1) mod 35177 = 11739.
  EXPECT_EQ(TAB_key(&tab, "\xFF"), 3739);
  // After a nonzero h no wrap occurs: 65 * 257 - 1 = 16704 (not + 255).
  EXPECT_EQ(TAB_key(&tab, "A\xFF"), 704);
  // Two bytes of -128: (2^64 - 128) mod 35177, then * 257 - 128.
  EXPECT_EQ(TAB_key(&tab, "\x80\x80"), 1288);

  TAB_table wide{};
  ASSERT_EQ(TAB_create(&wide, 35177, sizeof(Rec), 1), 0);
  EXPECT_EQ(TAB_key(&wide, "AB"), 16771);
  EXPECT_EQ(TAB_key(&wide, "\xFF"), 11739);
}

TEST(TableSearch, SameKeyThreeTimesInEntryOrder) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 4000, sizeof(Rec), 1), 0);
  for (int i = 1; i <= 3; ++i) {
    Rec r = rec(i);
    ASSERT_EQ(TAB_enter(&tab, &r, "KORD"), 0);
    Rec other = rec(100 + i);
    ASSERT_EQ(TAB_enter(&tab, &other, "KMSN"), 0);
  }
  char *ptrs[10] = {};
  ASSERT_EQ(TAB_searches(&tab, 1, "KORD", ptrs, 10), 3);
  EXPECT_EQ(value_of(ptrs[0]), 1);
  EXPECT_EQ(value_of(ptrs[1]), 2);
  EXPECT_EQ(value_of(ptrs[2]), 3);

  char *two[2] = {};
  ASSERT_EQ(TAB_searches(&tab, 1, "KORD", two, 2), 2);
  EXPECT_EQ(two[0], ptrs[0]);
  EXPECT_EQ(two[1], ptrs[1]);

  EXPECT_EQ(TAB_search(&tab, 1, "KORD"), ptrs[0]);
  EXPECT_EQ(TAB_search(&tab, 1, "kord"), nullptr);  // case counts
  EXPECT_EQ(TAB_search(&tab, 1, "KOR"), nullptr);
  EXPECT_EQ(TAB_searches(&tab, 1, "KORD", ptrs, 0), 0);
  EXPECT_EQ(tab.num_entry, 6);
}

TEST(TableSearch, KeyNumbersOutsideTheTableFindNothing) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 10, sizeof(Rec), 1), 0);
  Rec r = rec(1);
  ASSERT_EQ(TAB_enter(&tab, &r, "A"), 0);
  char *ptrs[4] = {};
  EXPECT_EQ(TAB_search(&tab, 2, "A"), nullptr);
  EXPECT_EQ(TAB_search(&tab, 0, "A"), nullptr);
  EXPECT_EQ(TAB_searches(&tab, 2, "A", ptrs, 4), 0);
  EXPECT_NE(TAB_search(&tab, 1, "A"), nullptr);

  TAB_table none{};
  EXPECT_EQ(TAB_search(&none, 1, "A"), nullptr);
  EXPECT_EQ(TAB_searches(&none, 1, "A", ptrs, 4), 0);
  EXPECT_EQ(TAB_search(nullptr, 1, "A"), nullptr);
  EXPECT_EQ(TAB_next(&none), nullptr);
}

TEST(TableSearch, OneChainTellsKeysApart) {
  // A single bucket puts every key on one chain: prefixes, longer keys and
  // the empty key must still be told apart.
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 1, sizeof(Rec), 1), 0);
  const char *keys[] = {"AB", "ABC", "A", "", "ABD", "BA"};
  for (int i = 0; i < 6; ++i) {
    Rec r = rec(i);
    ASSERT_EQ(TAB_enter(&tab, &r, keys[i]), 0);
  }
  for (int i = 0; i < 6; ++i) {
    const char *p = TAB_search(&tab, 1, keys[i]);
    ASSERT_NE(p, nullptr) << keys[i];
    EXPECT_EQ(value_of(p), i) << keys[i];
  }
  EXPECT_EQ(TAB_search(&tab, 1, "ABCD"), nullptr);
}

TEST(TableSearch, RepeatedKeysInterleavedOnOneChain) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 1, sizeof(Rec), 1), 0);
  const char *keys[] = {"A", "B", "A", "C", "B", "A", "D", "A"};
  for (int i = 0; i < 8; ++i) {
    Rec r = rec(i);
    ASSERT_EQ(TAB_enter(&tab, &r, keys[i]), 0);
  }
  auto found = [&](const char *key, int max) {
    char *ptrs[10] = {};
    std::vector<int> out;
    const int n = TAB_searches(&tab, 1, key, ptrs, max);
    for (int i = 0; i < n; ++i) out.push_back(value_of(ptrs[i]));
    return out;
  };
  EXPECT_EQ(found("A", 10), (std::vector<int>{0, 2, 5, 7}));
  EXPECT_EQ(found("A", 3), (std::vector<int>{0, 2, 5}));
  EXPECT_EQ(found("B", 10), (std::vector<int>{1, 4}));
  EXPECT_EQ(found("C", 10), (std::vector<int>{3}));
  EXPECT_EQ(found("D", 10), (std::vector<int>{6}));
  EXPECT_EQ(found("E", 10), std::vector<int>{});
  EXPECT_EQ(value_of(TAB_search(&tab, 1, "B")), 1);
  EXPECT_EQ(walk(tab), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(TableSearch, KeysWithTheSameHashAreComparedByBytes) {
  // With 35177 buckets the bucket is the hash itself; find two different
  // three-letter keys of equal hash and check each finds its own record.
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 35177, sizeof(Rec), 1), 0);
  std::vector<std::string> seen(35177);
  std::string a, b;
  for (char x = 'A'; x <= 'Z' && a.empty(); ++x)
    for (char y = 'A'; y <= 'Z' && a.empty(); ++y)
      for (char z = 'A'; z <= 'Z' && a.empty(); ++z) {
        const std::string k{x, y, z};
        std::string &slot = seen[static_cast<std::size_t>(TAB_key(&tab, k.c_str()))];
        if (slot.empty()) {
          slot = k;
        } else {
          a = slot;
          b = k;
        }
      }
  ASSERT_FALSE(a.empty());
  ASSERT_EQ(TAB_key(&tab, a.c_str()), TAB_key(&tab, b.c_str()));
  Rec ra = rec(1), rb = rec(2);
  ASSERT_EQ(TAB_enter(&tab, &ra, a.c_str()), 0);
  ASSERT_EQ(TAB_enter(&tab, &rb, b.c_str()), 0);
  EXPECT_EQ(value_of(TAB_search(&tab, 1, a.c_str())), 1);
  EXPECT_EQ(value_of(TAB_search(&tab, 1, b.c_str())), 2);
}

TEST(TableKeys, EveryKeyReachesTheSameStoredRecord) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 50, sizeof(Rec), 3), 0);
  Rec chi = rec(1, "CHICAGO");
  Rec msn = rec(2, "MADISON");
  ASSERT_EQ(TAB_enter(&tab, &chi, "ORD", "72530", "  420  -879"), 0);
  ASSERT_EQ(TAB_enter(&tab, &msn, "MSN", "72641", "  431  -893"), 0);
  char *by_id = TAB_search(&tab, 1, "ORD");
  ASSERT_NE(by_id, nullptr);
  EXPECT_EQ(TAB_search(&tab, 2, "72530"), by_id);
  EXPECT_EQ(TAB_search(&tab, 3, "  420  -879"), by_id);
  EXPECT_STREQ(reinterpret_cast<Rec *>(TAB_search(&tab, 2, "72641"))->tag, "MADISON");
  // A key is only found under its own key number.
  EXPECT_EQ(TAB_search(&tab, 2, "ORD"), nullptr);
  EXPECT_EQ(TAB_search(&tab, 1, "72530"), nullptr);
  // Entry order lists each record once, not once per key.
  EXPECT_EQ(walk(tab), (std::vector<int>{1, 2}));
}

TEST(TableOrder, IterationFollowsEntryOrderAcrossBuckets) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 4000, sizeof(Rec), 1), 0);
  // Buckets 67, 65, 66 (C, A, B), then a key sharing bucket 65 with A.
  ASSERT_NE(TAB_key(&tab, "C"), TAB_key(&tab, "A"));
  Rec c = rec(1), a = rec(2), b = rec(3), again = rec(4);
  ASSERT_EQ(TAB_enter(&tab, &c, "C"), 0);
  ASSERT_EQ(TAB_enter(&tab, &a, "A"), 0);
  ASSERT_EQ(TAB_enter(&tab, &b, "B"), 0);
  ASSERT_EQ(TAB_enter(&tab, &again, "A"), 0);
  EXPECT_EQ(walk(tab), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(TAB_next(&tab), nullptr);  // stays at the end
  EXPECT_EQ(tab.num_entry, 4);
}

TEST(TablePointers, ChangesThroughSearchResultsShowInIteration) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 4000, sizeof(Rec), 1), 0);
  Rec r = rec(7, "first");
  ASSERT_EQ(TAB_enter(&tab, &r, "72403"), 0);
  r.value = 99;  // the table holds a copy
  char *ptrs[10] = {};
  ASSERT_EQ(TAB_searches(&tab, 1, "72403", ptrs, 10), 1);
  EXPECT_EQ(value_of(ptrs[0]), 7);
  reinterpret_cast<Rec *>(ptrs[0])->value = 42;
  EXPECT_EQ(walk(tab), (std::vector<int>{42}));
}

TEST(TablePointers, StayValidWhileTheTableGrows) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 100, sizeof(Rec), 1), 0);
  Rec first = rec(-1, "first");
  ASSERT_EQ(TAB_enter(&tab, &first, "KEEP"), 0);
  char *kept = TAB_search(&tab, 1, "KEEP");
  for (int i = 0; i < 20000; ++i) {
    Rec r = rec(i);
    const std::string key = tvtest::numbered("K", i);
    ASSERT_EQ(TAB_enter(&tab, &r, key.c_str()), 0);
  }
  EXPECT_EQ(TAB_search(&tab, 1, "KEEP"), kept);
  EXPECT_STREQ(reinterpret_cast<Rec *>(kept)->tag, "first");
  EXPECT_EQ(tab.num_entry, 20001);
  // Records stored in the room of indexes the table has grown out of are
  // whole, and every key still finds its own.
  int wrong = 0;
  for (int i = 0; i < 20000; ++i) {
    const char *p = TAB_search(&tab, 1, tvtest::numbered("K", i).c_str());
    if (p == nullptr || value_of(p) != i) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  const std::vector<int> order = walk(tab);
  ASSERT_EQ(order.size(), 20001u);
  for (int i = 0; i < 20000; ++i) wrong += order[static_cast<std::size_t>(i) + 1] != i;
  EXPECT_EQ(wrong, 0);
  // A key entered before the index grew and again after keeps its order.
  Rec second = rec(-2, "second");
  ASSERT_EQ(TAB_enter(&tab, &second, "KEEP"), 0);
  char *both[3] = {};
  ASSERT_EQ(TAB_searches(&tab, 1, "KEEP", both, 3), 2);
  EXPECT_EQ(both[0], kept);
  EXPECT_EQ(value_of(both[1]), -2);
  EXPECT_EQ(TAB_search(&tab, 1, "K20000"), nullptr);
}

TEST(TablePointers, TwoTablesGrowingTogetherKeepTheirRecords) {
  // The tables share their storage: one's outgrown index holds the other's
  // later records.
  TAB_table a{};
  TAB_table b{};
  ASSERT_EQ(TAB_create(&a, 10, sizeof(Rec), 1), 0);
  ASSERT_EQ(TAB_create(&b, 10, sizeof(Rec), 2), 0);
  for (int i = 0; i < 6000; ++i) {
    Rec ra = rec(i);
    Rec rb = rec(-i);
    const std::string key = tvtest::numbered("S", i);
    ASSERT_EQ(TAB_enter(&a, &ra, key.c_str()), 0);
    ASSERT_EQ(TAB_enter(&b, &rb, key.c_str(), "second"), 0);
  }
  int wrong = 0;
  for (int i = 0; i < 6000; ++i) {
    const std::string key = tvtest::numbered("S", i);
    const char *pa = TAB_search(&a, 1, key.c_str());
    const char *pb = TAB_search(&b, 1, key.c_str());
    if (pa == nullptr || value_of(pa) != i || pb == nullptr || value_of(pb) != -i) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  char *all[8] = {};
  EXPECT_EQ(TAB_searches(&b, 2, "second", all, 8), 8);
  EXPECT_EQ(value_of(all[7]), -7);
}

TEST(TableFailure, UnusableSizesAreRefused) {
  TAB_table tab{};
  EXPECT_EQ(TAB_create(&tab, 0, 8, 1), -1);
  EXPECT_EQ(tab.tab_size, 0);
  EXPECT_EQ(TAB_create(&tab, 10, 8, 0), -1);
  EXPECT_EQ(TAB_create(&tab, 10, 8, 5), -1);
  EXPECT_EQ(TAB_create(&tab, 10, -1, 1), -1);
  EXPECT_EQ(TAB_create(nullptr, 10, 8, 1), -1);
  Rec r = rec(1);
  EXPECT_EQ(TAB_enter(&tab, &r, "A"), -1);
  EXPECT_EQ(TAB_key(&tab, "A"), 0);
  EXPECT_EQ(tab.num_entry, 0);
}

TEST(TableFailure, NullKeyLeavesTheTableUnchanged) {
  TAB_table tab{};
  ASSERT_EQ(TAB_create(&tab, 10, sizeof(Rec), 2), 0);
  Rec a = rec(1);
  ASSERT_EQ(TAB_enter(&tab, &a, "A", "1"), 0);
  Rec b = rec(2);
  EXPECT_EQ(TAB_enter(&tab, &b, "B", static_cast<const char *>(nullptr)), -1);
  EXPECT_EQ(tab.num_entry, 1);
  EXPECT_EQ(TAB_search(&tab, 1, "B"), nullptr);
  EXPECT_EQ(walk(tab), (std::vector<int>{1}));
  Rec c = rec(3);
  ASSERT_EQ(TAB_enter(&tab, &c, "C", "3"), 0);
  EXPECT_EQ(walk(tab), (std::vector<int>{1, 3}));
}

#if defined(__SANITIZE_ADDRESS__)
#define TAVRO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRO_ASAN 1
#endif
#endif

TEST(TableFailure, StorageThatCannotBeHadGivesMinusOne) {
#ifdef TAVRO_ASAN
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of failing";
#else
  // 2^31 buckets of 40 bytes per key, four keys: far beyond this machine.
  TAB_table tab{};
  EXPECT_EQ(TAB_create(&tab, 0x7fffffff, 8, 4), -1);
  EXPECT_EQ(tab.tab_size, 0);
  EXPECT_EQ(TAB_search(&tab, 1, "A"), nullptr);
#endif
}

}  // namespace
