// Small helpers shared by the test programs.
#pragma once

#include <string>
#include <vector>

namespace tvtest {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void write_file(const std::string &path, const std::string &text);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

// Result of running a command through the shell.
struct RunResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `command` with /bin/sh in `dir` (when not empty), standard input
// from `input`, and collects both output streams.
RunResult run_command(const std::string &command, const std::string &dir = "",
                      const std::string &input = "");

// Path of the shared corpus of real bulletins, or empty when it is absent.
std::string corpus_dir();

// The corpus's bulletin files (paths under corpus_dir(), sorted, without its
// notes SOURCES.txt and COUNTS.txt); empty when the corpus is absent.
std::vector<std::string> corpus_bulletins();

// A converter command line for corpus bulletin `rel` run in a directory that
// `corpus_run_dir` has set up (empty station file, names by date): batch
// mode, outputs overwritten, the bulletins' own dates accepted. The caller
// adds its outputs and options.
std::string corpus_command(const std::string &rel);
void corpus_run_dir(const TempDir &dir);

// Path of a file under the project source tree.
std::string source_path(const std::string &rel);

// `prefix`, the decimal `n`, then `suffix`, built by appending: g++ 12 warns
// falsely (-Wrestrict, an error here) on "text" + std::to_string(n) when it
// optimises.
std::string numbered(const char *prefix, long long n, const char *suffix = "");

}  // namespace tvtest
