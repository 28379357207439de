// What a failed, killed or concurrent run does to the output file: the old
// file is kept byte for byte (or brought back), nothing is left behind, no
// record is lost or torn, and no input or device is ever overwritten.
// Every case runs the real program in a scratch directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output/cdf.hpp"
#include "testutil.hpp"

namespace {

namespace fs = std::filesystem;
using tvtest::read_file;
using tvtest::write_file;

// `n` land reports of stations first, first + 1, ...: one record each.
std::string bulletins(int n, int first = 10000) {
  std::string s = "** SMUS01 KWBC 071200\nAAXX 07124\n";
  char line[96];
  for (int i = 0; i < n; ++i) {
    std::snprintf(line, sizeof line, "%05d 11560 82705 10%03d 20045 39876 40123 52011=\n",
                  first + i, i % 400);
    s += line;
  }
  return s;
}

// Record lines of a text file (after its two header lines); every one of
// them must be whole.
int whole_records(const std::string &text) {
  int n = 0;
  std::size_t at = text.find('\n', text.find('\n') + 1) + 1;
  for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1, ++n)
    EXPECT_EQ(text.compare(nl - 2, 2, " $"), 0) << text.substr(at, nl - at);
  EXPECT_EQ(at, text.size()) << "a cut last line";
  return n;
}

bool wait_for(const std::function<bool()> &cond, double secs = 30) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(secs);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Is a flock held on `path`? Read from /proc/locks, so that asking takes
// no lock that a run could find taken.
bool flock_held(const std::string &path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  std::istringstream locks(read_file("/proc/locks"));
  const std::string inode = tvtest::numbered(":", static_cast<long long>(st.st_ino), " ");
  for (std::string line; std::getline(locks, line);)
    if (line.find(" FLOCK ") != std::string::npos && line.find(inode) != std::string::npos) return true;
  return false;
}

struct Result {
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;
  std::string err;
};

class Safety : public testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);  // the program may be gone when input is written
    for (const char *f : {"name_conv", "syn.cty"})
      write_file(dir.file(f), read_file(tvtest::source_path(std::string("tests/data/run/") + f)));
    write_file(dir.file("23120712.syn"), bulletins(500));
  }

  // Starts the program in batch mode; its standard error goes to `err`.
  // `fsize` limits the size of every file it writes.
  pid_t start(const std::vector<std::string> &args, const std::string &err = "err",
              rlim_t fsize = RLIM_INFINITY, mode_t mask = 022) {
    std::vector<std::string> all = {TAVRO_EXE, "-ba"};
    all.insert(all.end(), args.begin(), args.end());
    const std::string err_path = dir.file(err);
    // Emptied before the fork: a caller waiting for the child's first message
    // must not see the one a previous child left there.
    std::remove(err_path.c_str());
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<char *> argv;
      for (std::string &a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      const int null = open("/dev/null", O_RDWR);
      const int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (null < 0 || e < 0 || chdir(dir.path().c_str()) != 0) _exit(126);
      dup2(null, 0);
      dup2(null, 1);
      dup2(e, 2);
      for (int fd = 3; fd < 1024; ++fd) close(fd);  // no FIFO end of the test stays open
      for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, SIG_DFL);
      if (fsize != RLIM_INFINITY) {
        const rlimit r{fsize, fsize};
        setrlimit(RLIMIT_FSIZE, &r);
        std::signal(SIGXFSZ, SIG_IGN);
      }
      umask(mask);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }

  Result finish(pid_t pid, const std::string &err = "err") {
    int st = 0;
    waitpid(pid, &st, 0);
    Result r;
    if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
    r.err = read_file(dir.file(err));
    return r;
  }

  Result tavro(const std::vector<std::string> &args, rlim_t fsize = RLIM_INFINITY, mode_t mask = 022) {
    return finish(start(args, "err", fsize, mask));
  }

  // Opens the FIFO `name` for writing once the program reads it (that is,
  // once it holds the lock and has opened its output). -1 if it never does.
  int feed(const std::string &name, pid_t pid) {
    int fd = -1;
    wait_for([&] {
      fd = open(dir.file(name).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      return fd >= 0 || waitpid(pid, nullptr, WNOHANG) != 0;
    });
    if (fd >= 0) fcntl(fd, F_SETFL, 0);
    return fd;
  }

  // Names in the directory other than the files the test made.
  std::vector<std::string> leftovers() {
    std::vector<std::string> out;
    for (const auto &e : fs::directory_iterator(dir.path())) {
      const std::string n = e.path().filename().string();
      if (n[0] == '.') out.push_back(n);
    }
    return out;
  }

  long long size_of(const std::string &name) {
    struct stat st;
    return stat(dir.file(name).c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  }

  // The hidden temporary file of a replacement in progress, or "".
  std::string temp_file(const std::string &target) {
    for (const std::string &n : leftovers())
      if (n.rfind("." + target + ".", 0) == 0 && n.size() == target.size() + 8) return n;
    return "";
  }

  tvtest::TempDir dir;
};

// ----- runs that fail before or after converting ---------------------------

TEST_F(Safety, MissingInputKeepsTheOldFile) {
  ASSERT_EQ(tavro({"-pf", "over", "23120712.syn"}).status, 0);
  const std::string good = read_file(dir.file("23120712.zot"));
  std::remove(dir.file("23120712.syn").c_str());
  for (const char *mode : {"over", "app"}) {
    Result r = tavro({"-pf", mode, "23120712.syn"});
    EXPECT_EQ(r.status, 1) << mode;
    EXPECT_EQ(r.err, "SYN_decode_file: Unable to open file:23120712.syn\n");
    EXPECT_EQ(read_file(dir.file("23120712.zot")), good) << mode;
    EXPECT_TRUE(leftovers().empty());
  }
}

TEST_F(Safety, OutputEqualToAnInputIsRefused) {
  const std::string raw = read_file(dir.file("23120712.syn"));
  Result r = tavro({"-pf", "over", "-of", "%y%m%d%h.syn", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_out_file: Output file 23120712.syn is the input file 23120712.syn\n");
  // Through a directory still to be made, and as the second input.
  write_file(dir.file("23120712b.syn"), "");
  r = tavro({"-pf", "over", "-of", "./sub/../%y%m%d%h.syn", "23120712b.syn", "23120712.syn"});
  EXPECT_EQ(r.err, "SYN_out_file: Output file ./sub/../23120712.syn is the input file 23120712.syn\n");
  EXPECT_FALSE(fs::exists(dir.file("sub")));
  EXPECT_EQ(read_file(dir.file("23120712.syn")), raw);
  // An input not there yet still names the same file.
  std::remove(dir.file("23120712.syn").c_str());
  r = tavro({"-pf", "over", "-of", "%y%m%d%h.syn", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_out_file: Output file 23120712.syn is the input file 23120712.syn\n");
  EXPECT_FALSE(fs::exists(dir.file("23120712.syn")));
}

TEST_F(Safety, OverLongOutputNameIsRefusedNotCut) {
  const std::string path = dir.path() + "/" + std::string(150, 'p');
  Result r = tavro({"-pf", "over", "-cp", path, "-of", "%C/%y%m%d%h.zot", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_out_file: Output file name longer than 159 characters: " +
                       (path + "/23120712.zot").substr(0, 159) + "...\n");
  const std::string literal(170, 'q');
  r = tavro({"-pf", "over", "-of", literal, "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_out_file: Output file name longer than 159 characters: " + literal.substr(0, 159) +
                       "...\n");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(leftovers().empty());
}

// ----- a full file system --------------------------------------------------

struct Format {
  const char *out_file;
  const char *name;
};
constexpr Format kFormats[] = {
    {"zot:%y%m%d%h.zot", "23120712.zot"}, {"xml:%y%m%d%h.xml", "23120712.xml"}, {"cdf:%y%m%d%h.cdf", "23120712.cdf"}};

TEST_F(Safety, FullDiskDuringOverwriteKeepsTheOldFile) {
  for (const Format &f : kFormats) {
    write_file(dir.file("23120712.syn"), bulletins(200));
    ASSERT_EQ(tavro({"-pf", "over", "-of", f.out_file, "23120712.syn"}).status, 0) << f.name;
    const std::string good = read_file(dir.file(f.name));
    write_file(dir.file("23120712.syn"), bulletins(5000));
    Result r = tavro({"-pf", "over", "-of", f.out_file, "23120712.syn"}, good.size() * 2);
    EXPECT_EQ(r.status, 1) << f.name;
    EXPECT_NE(r.err.find("SFC_close: Error writing converted data file\n"), std::string::npos) << r.err;
    EXPECT_LT(std::count(r.err.begin(), r.err.end(), '\n'), 10) << r.err;
    EXPECT_EQ(read_file(dir.file(f.name)), good) << f.name;
    EXPECT_TRUE(leftovers().empty()) << f.name;
  }
}

TEST_F(Safety, FullDiskDuringAppendBringsTheFileBack) {
  for (const Format &f : {kFormats[0], kFormats[2]}) {
    write_file(dir.file("23120712.syn"), bulletins(200));
    ASSERT_EQ(tavro({"-pf", "over", "-of", f.out_file, "23120712.syn"}).status, 0) << f.name;
    const std::string good = read_file(dir.file(f.name));
    write_file(dir.file("23120712.syn"), bulletins(5000));
    Result r = tavro({"-pf", "app", "-of", f.out_file, "23120712.syn"}, good.size() + 20000);
    EXPECT_EQ(r.status, 1) << f.name;
    EXPECT_NE(r.err.find("SFC_close: Error writing converted data file\n"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.file(f.name)), good) << f.name;
    EXPECT_TRUE(leftovers().empty()) << f.name;
  }
}

// ----- killed runs ---------------------------------------------------------

// The program reads its bulletins from a FIFO, so that it is surely still
// running when the signal comes.
class Killed : public Safety {
 protected:
  void SetUp() override {
    Safety::SetUp();
    ASSERT_EQ(tavro({"-pf", "over", "23120712.syn"}).status, 0);
    good = read_file(dir.file("23120712.zot"));
    std::remove(dir.file("23120712.syn").c_str());
    ASSERT_EQ(mkfifo(dir.file("23120712.syn").c_str(), 0644), 0);
  }
  // Starts a run, feeds it bulletins until `grown` says enough reached the
  // disk, and sends `sig`.
  Result run_until(const char *mode, int sig, const std::function<bool()> &grown) {
    const pid_t pid = start({"-pf", mode, "23120712.syn"});
    const int in = feed("23120712.syn", pid);
    EXPECT_GE(in, 0);
    std::thread writer([in] {
      for (int i = 0; i < 50; ++i) {
        const std::string b = bulletins(2000, 10000 + i);
        if (write(in, b.data(), b.size()) != static_cast<ssize_t>(b.size())) break;
      }
    });
    EXPECT_TRUE(wait_for(grown));
    kill(pid, sig);
    Result r = finish(pid);
    close(in);
    writer.join();
    return r;
  }
  std::string good;
};

TEST_F(Killed, OverwriteKilledKeepsTheOldFile) {
  std::string temp;
  Result r = run_until("over", SIGKILL, [&] {
    temp = temp_file("23120712.zot");
    return !temp.empty() && size_of(temp) > 200000;
  });
  EXPECT_EQ(r.signal, SIGKILL);
  EXPECT_EQ(read_file(dir.file("23120712.zot")), good);
  // Nothing cleans up after SIGKILL, but the next run is not hindered.
  std::remove(dir.file("23120712.syn").c_str());
  write_file(dir.file("23120712.syn"), bulletins(3));
  r = tavro({"-pf", "over", "23120712.syn"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(whole_records(read_file(dir.file("23120712.zot"))), 3);
}

TEST_F(Killed, AppendKilledNeverGetsGluedOnto) {
  Result r = run_until("app", SIGKILL, [&] { return size_of("23120712.zot") > 200000; });
  EXPECT_EQ(r.signal, SIGKILL);
  const std::string cut = read_file(dir.file("23120712.zot"));
  ASSERT_EQ(cut.compare(0, good.size(), good), 0) << "the old bytes are an unchanged prefix";
  const std::string tail = cut.substr(cut.rfind('\n') + 1);

  std::remove(dir.file("23120712.syn").c_str());
  write_file(dir.file("23120712.syn"), bulletins(3, 20000));
  r = tavro({"-pf", "app", "23120712.syn"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, tail.empty() ? ""
                                : "SAFE_append: Removed cut last record of 23120712.zot: " +
                                      tail.substr(0, 200) + (tail.size() > 200 ? "..." : "") + "\n");
  const std::string after = read_file(dir.file("23120712.zot"));
  EXPECT_EQ(after.compare(0, good.size(), good), 0);
  whole_records(after);
  const std::size_t first_new = after.find("\n20000 ");
  ASSERT_NE(first_new, std::string::npos);
  EXPECT_EQ(after.find("\n20002 ", first_new), after.rfind('\n', after.size() - 2)) << "three whole records last";
}

TEST_F(Killed, InterruptedOverwriteLeavesNothingBehind) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    Result r = run_until("over", sig, [&] {
      const std::string temp = temp_file("23120712.zot");
      return !temp.empty() && size_of(temp) > 100000;
    });
    EXPECT_EQ(r.signal, sig);
    EXPECT_EQ(read_file(dir.file("23120712.zot")), good);
    EXPECT_TRUE(leftovers().empty()) << sig;
  }
}

TEST_F(Killed, InterruptedAppendBringsTheFileBack) {
  Result r = run_until("app", SIGTERM, [&] { return size_of("23120712.zot") > 200000; });
  EXPECT_EQ(r.signal, SIGTERM);
  EXPECT_EQ(read_file(dir.file("23120712.zot")), good);
  EXPECT_TRUE(leftovers().empty());
}

// ----- two runs on one file ------------------------------------------------

// The first run holds the file (its input is a FIFO it waits on) while the
// second one starts; each appends 4000 records.
TEST_F(Safety, ConcurrentAppendsKeepEveryRecordWhole) {
  const bool have_ncdump = tvtest::run_command("command -v ncdump").status == 0;
  for (const Format &f : {kFormats[0], kFormats[2]}) {
    if (f.name == kFormats[2].name && !have_ncdump) {
      std::puts("ncdump is not installed: the netCDF case is skipped");
      continue;
    }
    std::remove(dir.file("23120712.syn").c_str());
    write_file(dir.file("23120712.syn"), bulletins(100, 90000));
    ASSERT_EQ(tavro({"-pf", "over", "-of", f.out_file, "23120712.syn"}).status, 0);
    std::remove(dir.file("23120712.syn").c_str());
    ASSERT_EQ(mkfifo(dir.file("23120712.syn").c_str(), 0644), 0);
    write_file(dir.file("23120712b.syn"), bulletins(4000, 50000));

    const pid_t a = start({"-pf", "app", "-of", f.out_file, "23120712.syn"}, "err_a");
    const int in = feed("23120712.syn", a);
    ASSERT_GE(in, 0);
    // The first run looks at its input before it takes the lock: the second
    // starts only once the first holds it.
    const std::string lock = dir.file(std::string(".").append(f.name).append(".lock"));
    EXPECT_TRUE(wait_for([&] { return flock_held(lock); }));
    const pid_t b = start({"-pf", "app", "-of", f.out_file, "23120712b.syn"}, "err_b");
    EXPECT_TRUE(wait_for([&] { return !read_file(dir.file("err_b")).empty(); }));
    const std::string text = bulletins(4000, 10000);
    EXPECT_EQ(write(in, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(in);
    Result ra = finish(a, "err_a");
    Result rb = finish(b, "err_b");
    EXPECT_EQ(ra.status, 0) << ra.err;
    EXPECT_EQ(rb.status, 0);
    EXPECT_EQ(ra.err, "");
    EXPECT_EQ(rb.err, std::string("SAFE_lock: Waiting for another run to finish with ") + f.name + "\n");
    if (f.name == kFormats[0].name) {
      const std::string out = read_file(dir.file(f.name));
      EXPECT_EQ(whole_records(out), 8100);
      EXPECT_LT(out.find("\n10000 "), out.find("\n50000 ")) << "the run that waited came second";
    } else {
      const std::string head = tvtest::run_command("ncdump -h " + dir.file(f.name)).out;
      EXPECT_NE(head.find("report = UNLIMITED ; // (8100 currently)"), std::string::npos) << head;
    }
    EXPECT_TRUE(leftovers().empty());
  }
}

// ----- targets that are not regular files ----------------------------------

TEST_F(Safety, FifoAndDeviceTargetsAreWrittenDirectly) {
  write_file(dir.file("23120712.syn"), bulletins(50));
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0644), 0);
  std::string got;
  std::thread reader([&] { got = read_file(dir.file("pipe")); });
  Result r = tavro({"-pf", "over", "-of", "pipe", "23120712.syn"});
  reader.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(whole_records(got), 50);
  EXPECT_TRUE(fs::is_fifo(dir.file("pipe")));
  r = tavro({"-pf", "over", "-of", "/dev/null", "23120712.syn"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_FALSE(fs::exists("/dev/.null.lock"));
  // netCDF is written only to a regular file of its own.
  r = tavro({"-pf", "over", "-of", "cdf:pipe", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "SFC_open: netCDF output must be a regular file: pipe\n"
            "SYN_out_file: Unable to open converted data file: pipe\n");
  EXPECT_TRUE(fs::is_fifo(dir.file("pipe")));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Safety, NetcdfToDeviceIsRefusedAndTheDeviceStays) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: the device could not be removed anyway";
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Result r = tavro({"-pf", "over", "-of", "cdf:/dev/full", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "SFC_open: netCDF output must be a regular file: /dev/full\n"
            "SYN_out_file: Unable to open converted data file: /dev/full\n");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// ----- what is appended to -------------------------------------------------

TEST_F(Safety, ForeignAndCutNetcdfFilesAreNotAppendedTo) {
  ASSERT_EQ(tavro({"-pf", "over", "-of", "cdf:good.cdf", "23120712.syn"}).status, 0);
  std::string cut = read_file(dir.file("good.cdf"));
  cut.resize(cut.size() - 50);
  write_file(dir.file("cut.cdf"), cut);
  Result r = tavro({"-pf", "app", "-of", "cdf:cut.cdf", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "SFC_open: netCDF file cut short, not appended to: cut.cdf\n"
            "SYN_out_file: Unable to open converted data file: cut.cdf\n");
  EXPECT_EQ(read_file(dir.file("cut.cdf")), cut);

  if (tvtest::run_command("command -v ncgen").status != 0) GTEST_SKIP() << "ncgen is not installed";
  write_file(dir.file("f.cdl"),
             "netcdf f { dimensions: report = UNLIMITED ; id_len = 12 ;\n"
             "variables: char id(report, id_len) ; float T(report) ;\n"
             "// global attributes:\n :filetime = \"1200Z  7 DEC 23\" ;\n data: T = 1, 2 ; }\n");
  ASSERT_EQ(tvtest::run_command("ncgen -o foreign.cdf f.cdl", dir.path()).status, 0);
  const std::string foreign = read_file(dir.file("foreign.cdf"));
  r = tavro({"-pf", "app", "-of", "cdf:foreign.cdf", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "SFC_open: Not a netCDF file of this program's layout, not appended to: foreign.cdf\n"
            "SYN_out_file: Unable to open converted data file: foreign.cdf\n");
  EXPECT_EQ(read_file(dir.file("foreign.cdf")), foreign);
  EXPECT_TRUE(leftovers().empty());
}

// The size a header asks for is what the library writes, record for record.
TEST_F(Safety, NetcdfNeededSizeMatchesWrittenFiles) {
  for (int n : {0, 1, 7, 300}) {
    write_file(dir.file("23120712.syn"), bulletins(n));
    Result r = tavro({"-pf", "over", "-of", "cdf:x.cdf", "23120712.syn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CDF_needed_size(dir.file("x.cdf").c_str()), size_of("x.cdf")) << n;
  }
  write_file(dir.file("junk.cdf"), "CDF\001" + std::string(3, '\377'));
  EXPECT_EQ(CDF_needed_size(dir.file("junk.cdf").c_str()), -1);
  EXPECT_EQ(CDF_needed_size(dir.file("absent.cdf").c_str()), -1);
}

TEST_F(Safety, CutLastTextRecordIsRemovedWithAWarning) {
  write_file(dir.file("23120712.syn"), bulletins(2, 30000));
  const std::string kept = "ZOTSFC\n1200Z  7 DEC 23\nA1 -99 $\n";
  write_file(dir.file("23120712.zot"), kept + "10136 590 480 27");
  Result r = tavro({"-pf", "app", "23120712.syn"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "SAFE_append: Removed cut last record of 23120712.zot: 10136 590 480 27\n");
  const std::string out = read_file(dir.file("23120712.zot"));
  EXPECT_EQ(out.compare(0, kept.size(), kept), 0);
  EXPECT_EQ(whole_records(out), 3);
  // A file whose header itself is cut is not a file to go on with.
  write_file(dir.file("23120712.zot"), "ZOTSFC\n1200Z  7");
  r = tavro({"-pf", "app", "23120712.syn"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "SAFE_append: 23120712.zot has no whole header, not appended to\n"
            "SYN_out_file: Unable to open converted data file: 23120712.zot\n");
  EXPECT_EQ(read_file(dir.file("23120712.zot")), "ZOTSFC\n1200Z  7");
}

TEST_F(Safety, FileModeAndLinksSurviveReplacement) {
  ASSERT_EQ(tavro({"-pf", "over", "23120712.syn"}, RLIM_INFINITY, 027).status, 0);
  EXPECT_EQ(fs::status(dir.file("23120712.zot")).permissions(), fs::perms(0640));
  fs::permissions(dir.file("23120712.zot"), fs::perms(0604));
  for (const char *mode : {"over", "app"}) {
    ASSERT_EQ(tavro({"-pf", mode, "23120712.syn"}).status, 0);
    EXPECT_EQ(fs::status(dir.file("23120712.zot")).permissions(), fs::perms(0604)) << mode;
  }
  fs::create_directory(dir.file("real"));
  fs::rename(dir.file("23120712.zot"), dir.file("real/data.zot"));
  fs::create_symlink("real/data.zot", dir.file("23120712.zot"));
  ASSERT_EQ(tavro({"-pf", "over", "23120712.syn"}).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir.file("23120712.zot")));
  EXPECT_EQ(whole_records(read_file(dir.file("real/data.zot"))), 500);
}

}  // namespace
