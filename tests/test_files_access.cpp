// Path joining, home expansion, existence and size tests, directory
// creation, opening of files, streams and pipes, and the file time.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "child_process.hpp"
#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "testutil.hpp"

namespace {

using tvtest::TempDir;

// Sets $HOME for the life of the object.
class HomeAs {
 public:
  explicit HomeAs(const std::string &dir) {
    if (const char *old = std::getenv("HOME")) old_ = old;
    setenv("HOME", dir.c_str(), 1);
  }
  ~HomeAs() { setenv("HOME", old_.c_str(), 1); }

 private:
  std::string old_ = "/";
};

TEST(FilePath, AddPathJoinsOnlyRelativeNames) {
  char out[160];
  EXPECT_STREQ(FILE_add_path("/data", "/tmp/x", out), "/tmp/x");
  EXPECT_STREQ(FILE_add_path("/data", "x", out), "/data/x");
  EXPECT_STREQ(FILE_add_path("/data/", "x", out), "/data/x");
  EXPECT_STREQ(FILE_add_path(nullptr, "x", out), "x");
  EXPECT_STREQ(FILE_add_path("/data", "-", out), "-");
  EXPECT_STREQ(FILE_add_path("/data", "~/x", out), "~/x");
  // The result may be written over either input.
  char buf[160] = "/data";
  FILE_add_path(buf, "obs.txt", buf);
  EXPECT_STREQ(buf, "/data/obs.txt");
}

TEST(FilePath, LongResultsAreCutAtTheBound) {
  std::string path(150, 'p'), name(40, 'n');
  char out[168];
  std::memset(out, 'Z', sizeof out);
  testing::internal::CaptureStderr();
  FILE_add_path(path.c_str(), name.c_str(), out);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "FILE_add_path: Text too long, cut\n");
  EXPECT_EQ(std::string(out), (path + "/" + name).substr(0, 159));
  EXPECT_EQ(out[160], 'Z');

  char full[160];
  std::memset(full, 'x', 159);
  full[159] = '\0';
  testing::internal::CaptureStderr();
  EXPECT_EQ(FILE_add_path_delim(full), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::strlen(full), 159u);
}

TEST(FilePath, AddPathDelim) {
  char a[160] = "/data";
  EXPECT_EQ(FILE_add_path_delim(a), 1);
  EXPECT_STREQ(a, "/data/");
  EXPECT_EQ(FILE_add_path_delim(a), 0);
  EXPECT_STREQ(a, "/data/");
  char e[160] = "";
  EXPECT_EQ(FILE_add_path_delim(e), 0);
  EXPECT_STREQ(e, "");
}

TEST(FilePath, UserPathExpandsOwnAndNamedHome) {
  TempDir home;
  HomeAs h(home.path());
  char out[160];
  EXPECT_EQ(FILE_add_user_path("~", out), 1);
  EXPECT_EQ(std::string(out), home.path());
  EXPECT_EQ(FILE_add_user_path("~/obs/x.txt", out), 1);
  EXPECT_EQ(std::string(out), home.path() + "/obs/x.txt");
  const passwd *root = getpwnam("root");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(FILE_add_user_path("~root/etc", out), 1);
  EXPECT_EQ(std::string(out), std::string(root->pw_dir) + "/etc");
  EXPECT_EQ(FILE_add_user_path("~no_such_user_tv/x", out), 0);
  EXPECT_STREQ(out, "~no_such_user_tv/x");
  EXPECT_EQ(FILE_add_user_path("plain/x", out), 0);
  EXPECT_STREQ(out, "plain/x");
}

TEST(FileTest, StandardStreamsAndRealEntries) {
  for (const char *n : {"", "-", "STD", "stdn"}) EXPECT_EQ(FILE_is_stdio(n), 1) << n;
  for (const char *n : {"stdx", "--", "a"}) EXPECT_EQ(FILE_is_stdio(n), 0) << n;
  TempDir d;
  HomeAs h(d.path());
  tvtest::write_file(d.file("five"), "12345");
  tvtest::write_file(d.file("empty"), "");
  EXPECT_EQ(FILE_exist("-"), 1);
  EXPECT_EQ(FILE_exist(d.file("five").c_str()), 1);
  EXPECT_EQ(FILE_exist(d.file("none").c_str()), 0);
  EXPECT_EQ(FILE_is_dir(d.path().c_str()), 1);
  EXPECT_EQ(FILE_is_dir(d.file("five").c_str()), 0);
  EXPECT_EQ(FILE_size(d.file("five").c_str()), 5);
  EXPECT_EQ(FILE_size(d.file("empty").c_str()), 0);
  EXPECT_EQ(FILE_size(d.file("none").c_str()), -1);
  EXPECT_EQ(FILE_size("-"), -1);
  // Every test expands the home directory first.
  EXPECT_EQ(FILE_size("~/five"), 5);
  EXPECT_EQ(FILE_is_dir("~"), 1);
}

TEST(FileMakeDir, CreatesAllButTheLastParts) {
  TempDir d;
  std::string target = d.path() + "/a/b/c/file.txt";
  EXPECT_EQ(FILE_make_dir(target.c_str(), 1), 0);
  EXPECT_EQ(FILE_is_dir((d.path() + "/a/b/c").c_str()), 1);
  EXPECT_EQ(FILE_exist(target.c_str()), 0);
  EXPECT_EQ(FILE_make_dir(target.c_str(), 1), 1);

  EXPECT_EQ(FILE_make_dir((d.path() + "/x/y/z/f").c_str(), 2), 0);
  EXPECT_EQ(FILE_is_dir((d.path() + "/x/y").c_str()), 1);
  EXPECT_EQ(FILE_exist((d.path() + "/x/y/z").c_str()), 0);

  EXPECT_EQ(FILE_make_dir((d.path() + "\\p\\q\\f.txt").c_str(), 1), 0);
  EXPECT_EQ(FILE_is_dir((d.path() + "/p/q").c_str()), 1);
  EXPECT_EQ(FILE_make_dir("justafile", 1), 1);
}

TEST(FileOpen, DashGivesTheStandardStreams) {
  EXPECT_EQ(FILE_open("-", "r"), stdin);
  EXPECT_EQ(FILE_open("-", "w"), stdout);
  EXPECT_EQ(FILE_open("std", "a"), stdout);
}

TEST(FileOpen, BarOpensAPipeOnlyToACommandTheUserGave) {
  TempDir d;
  std::string out = d.file("sorted");
  const std::string sort = "|sort > '" + out + "'";
  // Not given by the user: refused, nothing runs.
  testing::internal::CaptureStderr();
  EXPECT_EQ(FILE_open(sort.c_str(), "w"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FILE_open: Not run as a command (not given by the user): " + sort + "\n");
  EXPECT_FALSE(tvtest::file_exists(out));
  EXPECT_EQ(FILE_is_command(sort.c_str()), 0);

  EXPECT_EQ(FILE_allow_command(sort.c_str()), 1);
  EXPECT_EQ(FILE_allow_command("plain"), 0) << "only a \"|\" name is a command";
  EXPECT_EQ(FILE_is_command(sort.c_str()), 1);
  FILE *p = FILE_open(sort.c_str(), "w");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(FILE_is_pipe(p), 1);
  std::fputs("pear\napple\nfig\n", p);
  EXPECT_EQ(FILE_close(p), 0);
  EXPECT_EQ(tvtest::read_file(out), "apple\nfig\npear\n");
  // An append to a pipe (a log file, say) is a write.
  const std::string cat = "|cat >> '" + out + "'";
  FILE_allow_command(cat.c_str());
  p = FILE_open(cat.c_str(), "a");
  ASSERT_NE(p, nullptr);
  std::fputs("kiwi\n", p);
  EXPECT_EQ(FILE_close(p), 0);
  EXPECT_EQ(tvtest::read_file(out), "apple\nfig\npear\nkiwi\n");
}

// File access lies below the message layer, which installs its printer
// for the failures when the program starts: they then follow the message
// level. Without it they still reach standard error.
TEST(FileOpen, FailuresGoThroughTheInstalledReport) {
  const std::string refused = "|never run";
  const std::string message = "FILE_open: Not run as a command (not given by the user): " + refused + "\n";
  MESS_set(0, 0);  // every message off
  testing::internal::CaptureStderr();
  EXPECT_EQ(FILE_open(refused.c_str(), "w"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  const FILE_report_fn mess = FILE_use_report(nullptr);
  EXPECT_NE(mess, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(FILE_open(refused.c_str(), "w"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), message);

  static std::string got;
  got.clear();
  FILE_use_report([](const char *format, std::va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    got += text;
  });
  char out[160];
  FILE_add_path(std::string(200, 'd').c_str(), "x", out);
  EXPECT_EQ(got, "FILE_add_path: Text too long, cut\n");
  FILE_use_report(mess);
  MESS_set(0, 0x000FFFFF);
}

TEST(FileOpen, AFileNamedWithABarIsThatFileEvenWhenAllowed) {
  TempDir d;
  auto r = tvtest::in_child([&] {
    if (chdir(d.path().c_str()) != 0) return std::string("chdir");
    tvtest::write_file("|>marker", "bulletins\n");
    FILE_allow_command("|>marker");  // the same text given as a command
    std::string got = FILE_is_command("|>marker") ? "command;" : "file;";
    FILE *f = FILE_open("|>marker", "r");
    if (!f) return got + "null";
    got += FILE_is_pipe(f) ? "pipe;" : "stream;";
    char line[32] = "";
    if (std::fgets(line, sizeof line, f)) got += line;
    FILE_close(f);
    f = FILE_open("|>marker", "a");  // and so for writing: appended, never run
    if (f) {
      std::fputs("more\n", f);
      FILE_close(f);
    }
    return got + tvtest::read_file("|>marker") + (tvtest::file_exists("marker") ? "RAN" : "");
  });
  EXPECT_EQ(r.text, "file;stream;bulletins\nbulletins\nmore\n");
}

TEST(FileOpen, CloseReportsDataThatCouldNotBeWritten) {
  FILE *f = FILE_open("/dev/full", "w");
  ASSERT_NE(f, nullptr);
  std::fputs("lost", f);
  EXPECT_EQ(FILE_close(f), -1);
  EXPECT_EQ(FILE_close(stdin), 0);
}

TEST(FileOpen, WritingCreatesDirectoriesReadingDoesNot) {
  TempDir d;
  std::string name = d.path() + "/new/deeper/out.txt";
  FILE *f = FILE_open(name.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("data", f);
  std::fclose(f);
  EXPECT_EQ(tvtest::read_file(name), "data");
  EXPECT_EQ(FILE_open((d.path() + "/absent/in.txt").c_str(), "r"), nullptr);
  EXPECT_EQ(FILE_exist((d.path() + "/absent").c_str()), 0);
  HomeAs h(d.path());
  f = FILE_open("~/sub/x.txt", "a");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(FILE_exist((d.path() + "/sub/x.txt").c_str()), 1);
}

TEST(FileTime, ResetClearsTheDateFields) {
  Date in = {2023, 12, 7, 341, 4, 15, 30, 0};
  FILE_set_time(&in);
  Date out;
  FILE_get_time(&out);
  EXPECT_EQ(out.hour, 15);
  FILE_reset_time();
  FILE_get_time(&out);
  for (int v : {out.year, out.month, out.day, out.hour, out.min}) EXPECT_EQ(v, tv::kMissInt);
}

}  // namespace
