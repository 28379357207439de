// Safe writing of one output file per process: temporary file and rename,
// append with roll-back, copy and rename, and the lock file beside the
// target. Everything a signal handler needs is kept in fixed storage, so
// that SIGINT, SIGTERM and SIGHUP can roll back with system calls alone.
#include "framework/safe_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "framework/mess.hpp"
#include "framework/system.hpp"

namespace {

constexpr M_type kWarn = 0xC0;
constexpr std::size_t kPath = PATH_MAX + 64;
constexpr std::size_t kTailMax = 4096;      // longest cut last line removed
constexpr long kStartWriteback = 8L << 20;  // bytes between early write-back requests

enum Op : int { kNone = 0, kReplace = 1, kRewrite = 2, kAppend = 3 };

// The pending operation and the lock, as the signal handler sees them.
volatile sig_atomic_t op = kNone;
int op_fd = -1;         // the temporary file, or the file appended to
char target[kPath];     // the file replaced or appended to
char temp[kPath];       // the temporary file
off_t keep = 0;         // append: the size to cut back to
char tail[kTailMax];    // append: the removed cut line, put back on roll-back
std::size_t tail_len = 0;
volatile sig_atomic_t locked = 0;
int lock_fd = -1;
char lock_path[kPath];

long unflushed = 0;  // bytes written since the last early write-back request
int (*drain_fn)(int) = nullptr;

constexpr int kHandled[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved[3];
struct sigaction saved_xfsz;
bool handlers_on = false;

bool copy_path(char (&dst)[kPath], std::string_view src) {
  if (src.size() >= kPath) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(dst, src.data(), src.size());
  dst[src.size()] = '\0';
  return true;
}

void write_all(int fd, const char *p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

// Undoes the pending operation, with system calls only (this also runs in
// the signal handler).
void undo_op() {
  const int was = op;
  op = kNone;
  if (was == kReplace || was == kRewrite) {
    if (op_fd >= 0) ::close(op_fd);
    ::unlink(temp);
  } else if (was == kAppend) {
    if (::ftruncate(op_fd, keep) == 0 && tail_len > 0) write_all(op_fd, tail, tail_len);
    ::close(op_fd);
  }
  op_fd = -1;
}

// The lock file goes while it is still locked: a run waiting on it finds
// it gone and takes a new one.
void release_lock() {
  if (!locked) return;
  locked = 0;
  ::unlink(lock_path);
  ::close(lock_fd);
  lock_fd = -1;
}

void roll_back_now() {
  undo_op();
  release_lock();
}

void on_signal(int sig) {
  const int saved_errno = errno;
  roll_back_now();
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  // Delivered as soon as the handler returns: the program ends as the
  // signal would have ended it.
  raise(sig);
  errno = saved_errno;
}

void handlers_install() {
  if (handlers_on) return;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigfillset(&sa.sa_mask);
  for (std::size_t i = 0; i < std::size(kHandled); ++i) {
    sigaction(kHandled[i], nullptr, &saved[i]);
    // A signal the caller ignores (nohup) stays ignored.
    if (saved[i].sa_handler != SIG_IGN) sigaction(kHandled[i], &sa, nullptr);
  }
  struct sigaction ign {};
  ign.sa_handler = SIG_IGN;
  sigemptyset(&ign.sa_mask);
  sigaction(SIGXFSZ, &ign, &saved_xfsz);
  handlers_on = true;
}

// Back to the caller's signal handling once nothing is pending.
void settle() {
  if (op != kNone || locked) return;
  drain_fn = nullptr;
  if (!handlers_on) return;
  for (std::size_t i = 0; i < std::size(kHandled); ++i) sigaction(kHandled[i], &saved[i], nullptr);
  sigaction(SIGXFSZ, &saved_xfsz, nullptr);
  handlers_on = false;
}

// Keeps the handled signals out while the state changes.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kHandled) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  SignalBlock(const SignalBlock &) = delete;
  SignalBlock &operator=(const SignalBlock &) = delete;

 private:
  sigset_t old_;
};

int exit_hook(int status) {
  if (drain_fn) {
    int (*drain)(int) = drain_fn;
    drain_fn = nullptr;
    if (drain(status) != 0 && status == 0) status = 1;
  }
  if (status == 0) {
    if (SAFE_commit() != 0) status = 1;
  } else {
    SAFE_abort();
  }
  return status;
}

// A program that ends without ZOT_exit did not finish its output.
void at_exit() {
  if (op != kNone || locked) SAFE_abort();
}

void hooks_install() {
  static bool done = false;
  if (done) return;
  done = true;
  ZOT_on_exit(exit_hook);
  std::atexit(at_exit);
}

// The file a name stands for: a symbolic link to an existing file is
// followed, so that the link stays and its file is replaced.
std::string resolved(const char *path) {
  struct stat ls;
  if (::lstat(path, &ls) == 0 && S_ISLNK(ls.st_mode)) {
    char buf[PATH_MAX];
    if (::realpath(path, buf)) return buf;
  }
  return path;
}

void split(const std::string &p, std::string *dir, std::string *base) {
  const std::size_t s = p.rfind('/');
  if (s == std::string::npos) {
    dir->assign(1, '.');
    base->assign(p);
  } else {
    dir->assign(p, 0, s == 0 ? 1 : s);  // "/x" lies in "/"
    base->assign(p, s + 1, std::string::npos);
  }
}

// `p` made absolute, "." and ".." parts resolved by text.
std::string lexical_absolute(const std::string &p) {
  std::string full;
  if (p.empty() || p[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) full = cwd;
    full += '/';
  }
  full += p;
  std::vector<std::string_view> parts;
  std::string_view s(full);
  std::size_t i = 0;
  while (i <= s.size()) {
    std::size_t j = s.find('/', i);
    if (j == std::string_view::npos) j = s.size();
    std::string_view part = s.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (std::string_view part : parts) {
    out += '/';
    out.append(part);
  }
  return out.empty() ? "/" : out;
}

// The path a name will have once it exists. Missing directories are made
// before a file is written, so "." and ".." count as text first; then the
// directory is resolved as far as it exists.
std::string future_path(const char *path) {
  std::string dir, base;
  split(lexical_absolute(path), &dir, &base);
  char buf[PATH_MAX];
  if (::realpath(dir.c_str(), buf)) {
    std::string out(buf);
    if (out != "/") out += '/';
    return out + base;
  }
  return lexical_absolute(path);
}

mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Creates the temporary file beside `tgt` with the mode (and, as far as
// allowed, the owner) of `old`, or the mode of a new file.
int make_temp(const std::string &tgt, const struct stat *old) {
  std::string dir, base;
  split(tgt, &dir, &base);
  if (!copy_path(target, tgt) || !copy_path(temp, dir + "/." + base + ".XXXXXX")) return -1;
  const int fd = ::mkostemp(temp, O_CLOEXEC);
  if (fd < 0) return -1;
  if (old) {
    if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        ::fchown(fd, old->st_uid, old->st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0) {
      // Not allowed: the new file belongs to this user.
    }
    ::fchmod(fd, old->st_mode & 07777);
  } else {
    ::fchmod(fd, new_file_mode());
  }
  return fd;
}

bool copy_bytes(int from, int to) {
  for (;;) {
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
    if (n == 0) return true;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
    return false;
  }
  // Not supported between these files: plain reads and writes.
  std::vector<char> buf(1 << 16);
  for (;;) {
    const ssize_t n = ::read(from, buf.data(), buf.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(n)) {
      const ssize_t w = ::write(to, buf.data() + done, static_cast<std::size_t>(n) - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += static_cast<std::size_t>(w);
    }
  }
}

void sync_dir(const char *file) {
  std::string dir, base;
  split(file, &dir, &base);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // some file systems cannot: the rename is made all the same
  ::close(fd);
}

// A cut line for a message: bounded, control characters shown as "?".
std::string shown(const char *p, std::size_t n) {
  constexpr std::size_t kShow = 200;
  std::string s;
  for (std::size_t i = 0; i < n && i < kShow; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    s += (c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c);
  }
  if (n > kShow) s += "...";
  return s;
}

}  // namespace

SAFE_kind SAFE_kind_of(const char *path) {
  if (!path || !*path) return kSafeOther;
  struct stat st;
  if (::stat(path, &st) == 0) return S_ISREG(st.st_mode) ? kSafeRegular : kSafeOther;
  if (errno != ENOENT) return kSafeOther;
  // A link that points nowhere is left to the caller as it is.
  return ::lstat(path, &st) == 0 ? kSafeOther : kSafeNew;
}

int SAFE_same_file(const char *a, const char *b) {
  if (!a || !b) return 0;
  struct stat sa, sb;
  const bool ea = ::stat(a, &sa) == 0;
  const bool eb = ::stat(b, &sb) == 0;
  if (ea && eb) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino ? 1 : 0;
  // One or both not there yet: the paths they will have (a name through a
  // directory still to be made can lead back to an existing file).
  return future_path(a) == future_path(b) ? 1 : 0;
}

int SAFE_lock(const char *path) {
  if (locked) return 0;
  if (!path) return -1;
  std::string dir, base;
  split(resolved(path), &dir, &base);
  if (!copy_path(lock_path, dir + "/." + base + ".lock")) {
    MESS_print(kWarn, "SAFE_lock: Unable to lock %s: %s\n", path, std::strerror(errno));
    return -1;
  }
  hooks_install();
  handlers_install();
  bool told = false;
  for (;;) {
    int fd = ::open(lock_path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    // A lock file made by another user may be readable only; it locks as well.
    if (fd < 0 && errno == EACCES) fd = ::open(lock_path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
      MESS_print(kWarn, "SAFE_lock: Unable to lock %s: %s\n", lock_path, std::strerror(errno));
      settle();
      return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK && !told) {
        MESS_print(kWarn, "SAFE_lock: Waiting for another run to finish with %s\n", path);
        told = true;
      }
      int rc;
      while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
      }
      if (rc != 0) {
        MESS_print(kWarn, "SAFE_lock: Unable to lock %s: %s\n", lock_path, std::strerror(errno));
        ::close(fd);
        settle();
        return -1;
      }
    }
    // The run before may have removed the file it locked: only the file
    // still under the name counts.
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(lock_path, &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      SignalBlock block;
      lock_fd = fd;
      locked = 1;
      return 0;
    }
    ::close(fd);
  }
}

int SAFE_create(const char *path) {
  if (op != kNone || !path) return -1;
  const std::string tgt = resolved(path);
  struct stat old;
  const bool exists = ::stat(tgt.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // A file this user may not write is not replaced behind its back.
  if (exists && ::access(tgt.c_str(), W_OK) != 0) return -1;
  hooks_install();
  SignalBlock block;
  handlers_install();
  const int fd = make_temp(tgt, exists ? &old : nullptr);
  if (fd < 0) {
    MESS_print(kWarn, "SAFE_create: Unable to create a temporary file beside %s: %s\n", path,
               std::strerror(errno));
    settle();
    return -1;
  }
  op_fd = fd;
  unflushed = 0;
  op = kReplace;
  return fd;
}

int SAFE_copy(const char *path) {
  if (op != kNone || !path) return -1;
  const std::string tgt = resolved(path);
  if (::access(tgt.c_str(), W_OK) != 0) return -1;
  const int src = ::open(tgt.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat old;
  if (src < 0 || ::fstat(src, &old) != 0 || !S_ISREG(old.st_mode)) {
    MESS_print(kWarn, "SAFE_copy: Unable to copy %s: %s\n", path,
               src < 0 ? std::strerror(errno) : "not a regular file");
    if (src >= 0) ::close(src);
    return -1;
  }
  hooks_install();
  SignalBlock block;
  handlers_install();
  const int fd = make_temp(tgt, &old);
  if (fd < 0) {
    MESS_print(kWarn, "SAFE_copy: Unable to create a temporary file beside %s: %s\n", path,
               std::strerror(errno));
    ::close(src);
    settle();
    return -1;
  }
  op_fd = fd;
  op = kRewrite;
  const bool copied = copy_bytes(src, fd);
  const int err = errno;
  ::close(src);
  if (!copied) {
    MESS_print(kWarn, "SAFE_copy: Unable to copy %s: %s\n", path, std::strerror(err));
    undo_op();
    settle();
    return -1;
  }
  return 0;
}

int SAFE_append(const char *path, int min_lines) {
  if (op != kNone || !path) return -1;
  const std::string tgt = resolved(path);
  const int fd = ::open(tgt.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  const off_t size = st.st_size;
  off_t whole = size;  // the end of the last whole line
  std::size_t cut = 0;
  char last = '\n';
  if (size > 0 && ::pread(fd, &last, 1, size - 1) != 1) last = '\n';
  if (last != '\n') {
    const off_t from = size > static_cast<off_t>(kTailMax) ? size - static_cast<off_t>(kTailMax) : 0;
    const auto n = static_cast<std::size_t>(size - from);
    if (::pread(fd, tail, n, from) != static_cast<ssize_t>(n)) {
      ::close(fd);
      return -1;
    }
    std::size_t nl = n;
    while (nl > 0 && tail[nl - 1] != '\n') --nl;
    if (nl == 0 && from > 0) {
      MESS_print(kWarn, "SAFE_append: Last line of %s is too long for a record, not appended to\n", path);
      ::close(fd);
      return -1;
    }
    whole = from + static_cast<off_t>(nl);
    cut = n - nl;
    std::memmove(tail, tail + nl, cut);
    // What stays must still hold the header.
    char head[kTailMax];
    const std::size_t hn = static_cast<std::size_t>(whole < static_cast<off_t>(sizeof head) ? whole : sizeof head);
    const ssize_t got = hn > 0 ? ::pread(fd, head, hn, 0) : 0;
    int lines = 0;
    for (ssize_t i = 0; i < got; ++i) lines += head[i] == '\n';
    if (lines < min_lines) {
      MESS_print(kWarn, "SAFE_append: %s has no whole header, not appended to\n", path);
      ::close(fd);
      return -1;
    }
  }
  hooks_install();
  SignalBlock block;
  handlers_install();
  if (cut > 0) {
    // A record cut short (a killed run, a full disk, another program) is
    // never glued onto: it goes, and the user is told what went.
    MESS_print(kWarn, "SAFE_append: Removed cut last record of %s: %s\n", path, shown(tail, cut).c_str());
    if (::ftruncate(fd, whole) != 0) {
      MESS_print(kWarn, "SAFE_append: Unable to cut %s: %s\n", path, std::strerror(errno));
      ::close(fd);
      settle();
      return -1;
    }
  }
  if (!copy_path(target, tgt)) target[0] = '\0';
  op_fd = fd;
  keep = whole;
  tail_len = cut;
  unflushed = 0;
  op = kAppend;
  return fd;
}

const char *SAFE_temp_path() { return (op == kReplace || op == kRewrite) ? temp : ""; }

void SAFE_written(long bytes) {
  if (op != kReplace && op != kAppend && op != kRewrite) return;
  unflushed += bytes;
  if (unflushed < kStartWriteback) return;
  unflushed = 0;
  // Start writing what is there; the flush at the end then has little left.
  ::sync_file_range(op_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void SAFE_set_drain(int (*drain)(int status)) { drain_fn = drain; }

int SAFE_commit() {
  SignalBlock block;
  drain_fn = nullptr;
  const int was = op;
  const char *failed = nullptr;
  int err = 0;
  if (was == kReplace || was == kRewrite) {
    if (::fsync(op_fd) != 0) {
      failed = "write";
      err = errno;
    } else {
      ::close(op_fd);
      op_fd = -1;
      if (::rename(temp, target) != 0) {
        failed = "replace";
        err = errno;
      } else {
        op = kNone;
        sync_dir(target);
      }
    }
  } else if (was == kAppend) {
    if (::fsync(op_fd) != 0) {
      failed = "write";
      err = errno;
    } else {
      op = kNone;
      ::close(op_fd);
      op_fd = -1;
    }
  }
  if (failed) {
    MESS_print(kWarn, "SAFE_commit: Unable to %s %s: %s\n", failed, target, std::strerror(err));
    roll_back_now();
    settle();
    return -1;
  }
  op = kNone;
  release_lock();
  settle();
  return 0;
}

void SAFE_abort() {
  SignalBlock block;
  drain_fn = nullptr;
  roll_back_now();
  settle();
}
