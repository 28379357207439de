// Defaults files: entries, key patterns, conditional sections, file
// choice in a directory, and the environment variables of a resource.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "child_process.hpp"
#include "framework/def_read.hpp"
#include "framework/resrc.hpp"
#include "testutil.hpp"

namespace {

class Defaults : public testing::Test {
 protected:
  void SetUp() override { use_program("tavro"); }
  void TearDown() override {
    DEF_close();
    DEF_reset();
    DEF_name("");
  }

  void use_program(const char *argv0) {
    prog_ = argv0;
    argv_[0] = prog_.data();
    RES_setCL(1, argv_);
    char name[160];
    DEF_prog(RES_get_progname(name));
    DEF_name("");
    DEF_reset();
  }

  // Every entry that applies, as "key=value;".
  std::string entries(const std::string &text) {
    std::string path = dir_.file("defaults");
    tvtest::write_file(path, text);
    return entries_of(path);
  }
  static std::string entries_of(const std::string &path) {
    std::string out;
    if (DEF_open(path.c_str()) != 0) return "(none)";
    char key[kDefKeyLen + 1], value[kDefValueLen + 1];
    while (DEF_get(key, value) == 1) out += std::string(key) + "=" + value + ";";
    DEF_close();
    return out;
  }

  tvtest::TempDir dir_;
  std::string prog_;
  char *argv_[2] = {nullptr, nullptr};
};

TEST_F(Defaults, KeyPatternsForThisProgram) {
  struct Case {
    const char *key;
    int match;
  } cases[] = {
      {"tavro.data_path", 1}, {"*data_path", 1},  {"*.data_path", 1},   {"other.data_path", 0},
      {"data_path", 0},       {"tavro.*", 0},     {"t*o.data_path", 1}, {"*", 0},
      {"tavro.data_pat", 0},  {"tavro.data_path2", 0},
      {"*a", 0},  // "*" takes the first "a" and never looks for a later one
  };
  for (const Case &c : cases) EXPECT_EQ(DEF_cmp("data_path", c.key), c.match) << c.key;
  EXPECT_EQ(DEF_valid("tavro.colour"), 1);
  EXPECT_EQ(DEF_valid("*.colour"), 1);
  EXPECT_EQ(DEF_valid("other.colour"), 0);
  EXPECT_EQ(DEF_valid("colour"), 0);
  EXPECT_EQ(DEF_valid("tavro.*"), 0) << "names no resource";
  EXPECT_EQ(DEF_valid("tavro."), 0);
  char name[kDefKeyLen + 1];
  DEF_parse_name("tavro.radar.colour", name);
  EXPECT_STREQ(name, "colour");
  DEF_parse_name("*colour", name);
  EXPECT_STREQ(name, "colour");
  DEF_parse_name("plain", name);
  EXPECT_STREQ(name, "plain");
}

TEST_F(Defaults, ProgramTitleAndCapitals) {
  DEF_name("radar");
  EXPECT_EQ(DEF_cmp("data_path", "radar.data_path"), 1);
  EXPECT_EQ(DEF_cmp("data_path", "tavro.data_path"), 0);
  DEF_name("+radar");
  EXPECT_EQ(DEF_cmp("data_path", "tavro.radar.data_path"), 1);
  EXPECT_EQ(DEF_cmp("data_path", "radar.data_path"), 0);
  DEF_name("");
  // The invocation name is used as it is, keys are lower-cased.
  use_program("/opt/bin/TaVro");
  std::string got = entries("TaVro.data_path /x\n*data_path /y\n");
  EXPECT_EQ(got, "tavro.data_path=/x;*data_path=/y;");
  EXPECT_EQ(DEF_cmp("data_path", "tavro.data_path"), 0);
  EXPECT_EQ(DEF_cmp("data_path", "*data_path"), 1);
}

TEST_F(Defaults, EntryLines) {
  EXPECT_EQ(entries("# comment line\n"
                    "lonely\n"
                    "\n"
                    "Tavro.File_path: /data\n"
                    "tavro.title \"two  words\" ignored\n"
                    "tavro.open \"no closing quote\n"
                    "tavro.empty \"\"\n"
                    "\ttavro.tabbed\t/t\r\n"
                    "tavro.cr /c\r\n"),
            "tavro.file_path=/data;tavro.title=two  words;tavro.open=no closing quote;"
            "tavro.empty=;tavro.tabbed=/t;tavro.cr=/c;");
}

TEST_F(Defaults, LongLinesAreCutNotSplit) {
  std::string key(100, 'k');
  std::string value(300, 'v');
  std::string got = entries(key + " " + value + " tail.key tail\n" + "tavro.next /n\n");
  // Key cut at 63; the line itself at 249, so the value keeps 249-101 bytes;
  // the rest of the long line never becomes an entry.
  EXPECT_EQ(got, std::string(63, 'k') + "=" + std::string(148, 'v') + ";tavro.next=/n;");
  std::string longval = "k " + std::string(240, 'w') + "\n";
  EXPECT_EQ(entries(longval), "k=" + std::string(207, 'w') + ";");
}

TEST_F(Defaults, ConditionalBranches) {
  const std::string text = "IF tag1\nA a\nELIF tag2\nB b\nELSE\nC c\nEND\nafter x\n";
  DEF_tag("TAG1");  // tags compare ignoring case
  EXPECT_EQ(entries(text), "a=a;after=x;");
  DEF_clr_tag();
  DEF_tag("tag2");
  EXPECT_EQ(entries(text), "b=b;after=x;");
  DEF_clr_tag();
  EXPECT_EQ(entries(text), "c=c;after=x;");
  DEF_tag("tag1");
  DEF_tag("tag2");
  EXPECT_EQ(entries(text), "a=a;after=x;") << "only the first branch that applies";
}

TEST_F(Defaults, TagsDefinedInFiles) {
  EXPECT_EQ(entries("DEF local\nIF local\nin yes\nEND\nUNDEF never\nUNDEF local\nIF local\nout no\nEND\n"),
            "in=yes;");
  // A definition inside a skipped section does not take effect.
  EXPECT_EQ(entries("IF missing\nDEF hidden\nEND\nIF hidden\nx 1\nELSE\ny 2\nEND\n"), "y=2;");
  // Nested sections inside a skipped one stay skipped, whatever their tags.
  DEF_tag("inner");
  EXPECT_EQ(entries("IF outer\nIF inner\na 1\nELSE\nb 2\nEND\nELSE\nc 3\nEND\n"), "c=3;");
}

TEST_F(Defaults, UnbalancedDirectivesAreReported) {
  testing::internal::CaptureStderr();
  std::string got = entries("ELIF t\nELSE\nEND\nkept 1\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "DEF_get: elif without an if\nDEF_get: else without an if\nDEF_get: end without an if\n");
  EXPECT_EQ(got, "kept=1;");
  // An open section carries on into the next file.
  entries("IF nothing\nskipped 1\n");
  EXPECT_EQ(entries("still skipped\nEND\nback 1\n"), "back=1;");
}

TEST_F(Defaults, TooManyTagsAndSections) {
  std::string text;
  for (int i = 0; i < 11; ++i) text += "DEF t" + std::to_string(i) + "\n";
  text += "IF t10\nnot_stored 1\nEND\nIF t9\nstored 1\nEND\n";
  testing::internal::CaptureStderr();
  EXPECT_EQ(entries(text), "stored=1;");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DEF_get: Too many tags or sections: DEF t10\n");
  EXPECT_EQ(DEF_tag("more"), -1);

  DEF_reset();
  DEF_tag("t");
  std::string deep;
  for (int i = 0; i < 10; ++i) deep += "IF t\n";
  deep += "IF t\neleventh 1\nELSE\neleventh_else 1\nEND\ntenth 1\n";
  for (int i = 0; i < 10; ++i) deep += "END\n";
  deep += "outside 1\n";
  testing::internal::CaptureStderr();
  EXPECT_EQ(entries(deep), "tenth=1;outside=1;");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DEF_get: Too many tags or sections: IF t\n");
}

TEST_F(Defaults, FileChoiceInADirectory) {
  tvtest::write_file(dir_.file("zot.cfg"), "from cfg\n");
  tvtest::write_file(dir_.file(".zotdef"), "from zotdef\n");
  tvtest::write_file(dir_.file("Zot.res"), "from res\n");
  EXPECT_EQ(entries_of(dir_.path()), "from=cfg;");
  EXPECT_EQ(entries_of(dir_.path() + "/"), "from=cfg;");
  std::remove(dir_.file("zot.cfg").c_str());
  EXPECT_EQ(entries_of(dir_.path()), "from=zotdef;");
  std::remove(dir_.file(".zotdef").c_str());
  EXPECT_EQ(entries_of(dir_.path()), "from=res;");
  std::remove(dir_.file("Zot.res").c_str());
  EXPECT_EQ(DEF_open(dir_.path().c_str()), -1);
  EXPECT_EQ(DEF_open(dir_.file("missing").c_str()), -1);
  char key[kDefKeyLen + 1], value[kDefValueLen + 1];
  EXPECT_EQ(DEF_get(key, value), -1);

  // No name at all: ".zotdef" of the working directory.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  tvtest::write_file(dir_.file(".zotdef"), "here 1\n");
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  int rc = DEF_open("");
  EXPECT_EQ(chdir(cwd), 0);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(DEF_get(key, value), 1);
  EXPECT_STREQ(key, "here");
}

TEST_F(Defaults, FilesThatAreNoRegularFilesAreRefusedUnread) {
  ASSERT_EQ(mkfifo(dir_.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir_.file("etc").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir_.file("etc/zot.cfg").c_str(), 0755), 0);
  tvtest::write_file(dir_.file("etc/.zotdef"), "never read\n");
  // In a child with an alarm: a FIFO without a writer must not block.
  tvtest::ChildResult r = tvtest::in_child([&] {
    alarm(20);
    std::string got;
    for (const std::string &f : {std::string("/dev/zero"), dir_.file("fifo"), dir_.path() + "/etc"})
      got += std::to_string(DEF_open(f.c_str())) + ";";
    return got;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.text, "-1;-1;-1;");
  testing::internal::CaptureStderr();
  EXPECT_EQ(DEF_open("/dev/zero"), -1);
  EXPECT_EQ(DEF_open((dir_.path() + "/etc").c_str()), -1) << "the first file that exists is the one";
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "DEF_open: Not a regular file, not read: /dev/zero\n"
            "DEF_open: Not a regular file, not read: " + dir_.path() + "/etc/zot.cfg\n");
  // The usual "no defaults": empty, no message.
  testing::internal::CaptureStderr();
  EXPECT_EQ(entries_of("/dev/null"), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Defaults, FileOverTheCapIsRefusedWhole) {
  std::string text = "tavro.first 1\n";
  text += std::string(kDefMaxBytes - text.size() - 1, '#') + "\n";
  ASSERT_EQ(text.size(), static_cast<std::size_t>(kDefMaxBytes));
  EXPECT_EQ(entries(text), "tavro.first=1;") << "at the cap: read";
  testing::internal::CaptureStderr();
  EXPECT_EQ(entries(text + "x"), "(none)");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "DEF_open: Defaults file larger than 1048576 bytes, not read: " + dir_.file("defaults") + "\n");
}

TEST_F(Defaults, OnlyFilesFoundInTheCurrentDirectoryAreLocal) {
  ASSERT_EQ(mkdir(dir_.file("sub").c_str(), 0755), 0);
  tvtest::write_file(dir_.file("sub/zot.cfg"), "x 1\n");
  tvtest::write_file(dir_.file("zot.cfg"), "x 1\n");
  tvtest::write_file(dir_.file(".zotdef"), "x 1\n");
  const std::string base = dir_.path().substr(dir_.path().rfind('/') + 1);
  tvtest::ChildResult r = tvtest::in_child([&] {
    if (chdir(dir_.path().c_str()) != 0) return std::string("chdir");
    std::string got;
    for (const std::string &f : {std::string(""), std::string("."), std::string("zot.cfg"), std::string("./"),
                                 "../" + base, std::string("sub/.."), std::string("sub"), std::string("sub/zot.cfg"),
                                 dir_.path(), dir_.file("zot.cfg")}) {
      if (DEF_open(f.c_str()) != 0) return got + "(failed " + f + ")";
      got += std::string(DEF_file_name()) + "=" + std::to_string(DEF_file_local()) + ";";
    }
    return got;
  });
  EXPECT_EQ(r.text, ".zotdef=1;./zot.cfg=1;zot.cfg=1;./zot.cfg=1;../" + base + "/zot.cfg=1;sub/../zot.cfg=1;" +
                        "sub/zot.cfg=0;sub/zot.cfg=0;" + dir_.path() + "/zot.cfg=0;" + dir_.path() + "/zot.cfg=0;")
      << "a full path is the user's own choice, even of this directory";
}

TEST_F(Defaults, EnvironmentVariablesInOrder) {
  char value[kDefValueLen + 1];
  unsetenv("zottavro.st_env");
  unsetenv("zotown");
  unsetenv("zotst_env");
  EXPECT_EQ(DEF_env("st_env", "zotown", value), 0);
  setenv("zotst_env", "generic", 1);
  ASSERT_EQ(DEF_env("st_env", "zotown", value), 1);
  EXPECT_STREQ(value, "generic");
  setenv("zotown", "own", 1);
  DEF_env("st_env", "zotown", value);
  EXPECT_STREQ(value, "own");
  setenv("zottavro.st_env", std::string(300, 'f').c_str(), 1);
  DEF_env("st_env", "zotown", value);
  EXPECT_EQ(std::string(value), std::string(207, 'f')) << "full name first, cut at the value limit";
  EXPECT_EQ(DEF_env("st_env", nullptr, value), 1);
  unsetenv("zottavro.st_env");
  DEF_env("st_env", "", value);
  EXPECT_STREQ(value, "generic");
  unsetenv("zotown");
  unsetenv("zotst_env");
}

}  // namespace
