// Process services: resource commands at prompts, the prompt loops, exit,
// version and sleep.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/mess.hpp"
#include "framework/resrc.hpp"
#include "framework/system.hpp"
#include "testutil.hpp"

using tvtest::read_file;
using tvtest::TempDir;
using tvtest::write_file;

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Standard input from a text, as from a pipe that then closes. The
// directory belongs to the test, so a death test's exit cannot remove it.
void feed_stdin(const TempDir &dir, const std::string &text) {
  write_file(dir.file("stdin"), text);
  if (!std::freopen(dir.file("stdin").c_str(), "r", stdin)) std::abort();
}

std::string listing() {
  CaptureStdout();
  RES_list();
  return GetCapturedStdout();
}

class System : public ::testing::Test {
 protected:
  void SetUp() override { MESS_set(0, 0x000FFFFF); }
  void feed(const std::string &text) { feed_stdin(dir_, text); }
  TempDir dir_;
};

}  // namespace

TEST_F(System, Version) {
  const std::string v = ZOT_version();
  EXPECT_FALSE(v.empty());
  EXPECT_EQ(v.find_first_not_of("0123456789."), std::string::npos) << v;
}

TEST_F(System, SetCommandForms) {
  EXPECT_EQ(ZOT_set_command("set file_path=/data"), 1);
  ASSERT_NE(RES_get("file_path"), nullptr);
  EXPECT_STREQ(RES_get("file_path"), "/data");
  EXPECT_EQ(ZOT_set_command("SET file_path /data2"), 1);
  EXPECT_STREQ(RES_get("file_path"), "/data2");
  EXPECT_EQ(ZOT_set_command("Set  sc_a = = b c"), 1);  // the run of blanks and "=" separates
  EXPECT_STREQ(RES_get("sc_a"), "b c");
  EXPECT_EQ(ZOT_set_command("set sc_b=x=y"), 1);  // a later "=" is part of the value
  EXPECT_STREQ(RES_get("sc_b"), "x=y");
  // A name without a value stores the resource without a value.
  EXPECT_EQ(ZOT_set_command("set sc_none"), 1);
  EXPECT_EQ(ZOT_set_command("set sc_none2="), 1);
  EXPECT_STREQ(RES_get("sc_none"), "");
  const std::string list = listing();
  EXPECT_NE(list.find("sc_none:\nsc_none2:\n"), std::string::npos) << list;
  EXPECT_NE(list.find("sc_a: b c\n"), std::string::npos) << list;
  // Not commands.
  for (const char *line : {"hello", " set x=1", "ex", ""}) EXPECT_EQ(ZOT_set_command(line), 0);
  EXPECT_EQ(ZOT_set_command(nullptr), 0);
  EXPECT_EQ(RES_get("x"), nullptr);
}

TEST_F(System, SetAloneListsResources) {
  ZOT_set_command("set sc_listed=42");
  CaptureStdout();
  EXPECT_EQ(ZOT_set_command("set   "), 1);
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(out.rfind("Set resources\n", 0), 0u) << out;
  EXPECT_NE(out.find("sc_listed: 42\n\n"), std::string::npos) << out;
}

// The store is the resource store's, installed when the program starts;
// any other store gets the same calls, and without one a "set" line is
// still a command that changes nothing.
TEST_F(System, SetCommandsGoToTheInstalledStore) {
  static std::string calls;
  calls.clear();
  const ZOT_store resources = ZOT_use_store(
      {[](const char *name, const char *value) {
         calls.append(name).append("=").append(value ? value : "(none)").append(";");
         return 0;
       },
       [] {
         calls.append("list;");
         return 0;
       }});
  EXPECT_EQ(resources.put, RES_put);
  EXPECT_EQ(resources.list, RES_list);
  CaptureStdout();
  EXPECT_EQ(ZOT_set_command("set st_a=1"), 1);
  EXPECT_EQ(ZOT_set_command("set st_b"), 1);
  EXPECT_EQ(ZOT_set_command("set"), 1);
  ZOT_use_store({});
  EXPECT_EQ(ZOT_set_command("set st_c=3"), 1);
  EXPECT_EQ(ZOT_set_command("set"), 1);
  ZOT_use_store(resources);
  EXPECT_EQ(GetCapturedStdout(), "Set resources\n\nSet resources\n\n");
  EXPECT_EQ(calls, "st_a=1;st_b=(none);list;");
  for (const char *name : {"st_a", "st_b", "st_c"}) EXPECT_EQ(RES_get(name), nullptr) << name;
}

TEST_F(System, ExitEndsProgram) {
  EXPECT_EXIT(ZOT_set_command("exit"), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ZOT_set_command("EXIT now"), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ZOT_exit(3), ::testing::ExitedWithCode(3), "");
  EXPECT_EXIT(
      {
        feed("set pe_x=1\nexit\nnever\n");
        char buf[20];
        ZOT_prompts("> ", buf, 20);
        std::exit(5);
      },
      ::testing::ExitedWithCode(0), "");
}

// An unattended run must never spin on a closed input.
TEST_F(System, EndOfInputEndsWithOne) {
  EXPECT_EXIT(
      {
        feed("\nset pe_y=2\n");
        char buf[20];
        ZOT_prompts("> ", buf, 20);
        std::exit(5);
      },
      ::testing::ExitedWithCode(1), "^ZOT_prompts: No input\n$");
  EXPECT_EXIT(
      {
        feed("x\n");
        ZOT_promptf("> ");
        std::exit(5);
      },
      ::testing::ExitedWithCode(1), "^ZOT_prompts: No input\n$");
}

TEST_F(System, PromptRunsSetLinesAndAsksAgain) {
  ZOT_set_command("set pr_listed=yes");
  feed("set data_path=/tmp\n\n   \nset\r\nanswer more\n");
  CaptureStdout();
  char buf[80];
  EXPECT_EQ(ZOT_prompts("Enter: ", buf, 80), buf);
  EXPECT_STREQ(buf, "answer");
  EXPECT_STREQ(RES_get("data_path"), "/tmp");
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(out.rfind("Enter: Enter: Enter: Enter: Set resources\n", 0), 0u) << out;
  EXPECT_NE(out.find("pr_listed: yes\n"), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.size() - 9), "\n\nEnter: ") << out;
}

TEST_F(System, PromptAnswerLength) {
  feed("abcdefghijklmn rest\nxyz\n" + std::string(100, 'a') + "exit\nsecond\nlast");
  CaptureStdout();
  char buf[200];
  std::memset(buf, '#', sizeof buf);
  EXPECT_STREQ(ZOT_prompts("", buf, 10), "abcdefghi");
  EXPECT_EQ(buf[10], '#');
  EXPECT_STREQ(ZOT_prompts("", buf, 1), "x");  // a length below 2 counts as 2
  // The tail of an over-long line is dropped, never taken as the next answer.
  EXPECT_EQ(std::string(ZOT_prompts("", buf, 200)), std::string(79, 'a'));
  EXPECT_STREQ(ZOT_prompts("", buf, 200), "second");
  char *answer = ZOT_prompts("", nullptr, 20);  // allocated; a last line without a feed counts
  ASSERT_NE(answer, nullptr);
  EXPECT_STREQ(answer, "last");
  std::free(answer);
  GetCapturedStdout();
}

TEST_F(System, PromptFloat) {
  feed("abc\nset pf_level=3\n  -2.5e1 knots\n7\n");
  CaptureStdout();
  EXPECT_FLOAT_EQ(ZOT_promptf("Level: "), -25.0f);
  EXPECT_STREQ(RES_get("pf_level"), "3");
  EXPECT_EQ(GetCapturedStdout(), "Level: Level: Level: ");
  MESS_set_str("warn,-print");  // prompts are ordinary output
  CaptureStdout();
  EXPECT_FLOAT_EQ(ZOT_promptf("Level: "), 7.0f);
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST_F(System, Sleep) {
  using clock = std::chrono::steady_clock;
  auto t0 = clock::now();
  EXPECT_EQ(ZOT_sleep(0.1f), 0);
  const double waited = std::chrono::duration<double>(clock::now() - t0).count();
  EXPECT_GE(waited, 0.099);
  EXPECT_LT(waited, 2.0);
  t0 = clock::now();
  EXPECT_EQ(ZOT_sleep(0.0f), -1);
  EXPECT_EQ(ZOT_sleep(-1.0f), -1);
  EXPECT_EQ(ZOT_sleep(std::nanf("")), -1);
  EXPECT_LT(std::chrono::duration<double>(clock::now() - t0).count(), 0.05);
}
