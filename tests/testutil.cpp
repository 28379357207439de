#include "testutil.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tvtest {

TempDir::TempDir() {
  const char *base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/tavro-test-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

RunResult run_command(const std::string &command, const std::string &dir,
                      const std::string &input) {
  TempDir io;
  std::string in = io.file("in"), out = io.file("out"), err = io.file("err");
  write_file(in, input);
  std::string cmd;
  if (!dir.empty()) cmd = "cd '" + dir + "' && ";
  cmd += "( " + command + " ) <'" + in + "' >'" + out + "' 2>'" + err + "'";
  int rc = std::system(cmd.c_str());
  RunResult r;
  r.status = (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
  r.out = read_file(out);
  r.err = read_file(err);
  return r;
}

std::string corpus_dir() {
  std::string d = TAVRO_CORPUS_DIR;
  struct stat st;
  if (stat(d.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return d;
  return "";
}

namespace {

void walk(const std::string &root, const std::string &rel, std::vector<std::string> &out) {
  DIR *d = opendir((root + "/" + rel).c_str());
  if (d == nullptr) return;
  while (const dirent *e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string sub = rel.empty() ? name : rel + "/" + name;
    struct stat st;
    if (stat((root + "/" + sub).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      walk(root, sub, out);
    else if (sub != "SOURCES.txt" && sub != "COUNTS.txt")
      out.push_back(sub);
  }
  closedir(d);
}

}  // namespace

std::vector<std::string> corpus_bulletins() {
  std::vector<std::string> files;
  if (!corpus_dir().empty()) walk(corpus_dir(), "", files);
  std::sort(files.begin(), files.end());
  return files;
}

std::string corpus_command(const std::string &rel) {
  return std::string(TAVRO_EXE) + " -ba -pf over -pa range=-1440:1440 -ho '#2023120712' '" + corpus_dir() + "/" +
         rel + "' ";
}

void corpus_run_dir(const TempDir &dir) {
  write_file(dir.file("name_conv"), "syn_dat %y%m%d%h.syn -\n");
  write_file(dir.file("syn.cty"), "");
}

std::string source_path(const std::string &rel) {
  return std::string(TAVRO_SOURCE_DIR) + "/" + rel;
}

std::string numbered(const char *prefix, long long n, const char *suffix) {
  std::string s(prefix);
  s.append(std::to_string(n));
  s.append(suffix);
  return s;
}

}  // namespace tvtest
