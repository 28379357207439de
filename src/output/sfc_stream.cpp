// The stream under the byte formats: opening (safely where it can),
// staging records in large blocks, closing.
#include "output/sfc_stream.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "framework/files.hpp"
#include "framework/safe_file.hpp"

namespace {

FILE *cvt_file = nullptr;
bool cvt_pipe = false;      // opened as "|command", closed with pclose
SfcFile *owner = nullptr;   // the open file: marked lost when a write fails
bool failed = false;        // a write to the stream failed

bool is_std_stream(FILE *f) { return f == stdin || f == stdout || f == stderr; }

void fail() {
  failed = true;
  if (owner) owner->lost = owner->tell = true;
}

// Output to a file or a pipe is gathered here and handed to stdio in large
// blocks; records are formatted in place, with no copy and no stdio call of
// their own. The standard streams get every piece at once, so that it keeps
// its place among the messages printed there.
char stage[1 << 16];
std::size_t staged = 0;
bool staging = false;

// The room the records are made in without a call (SFC_stream_record) is
// `staged` as a pointer: taken back before `staged` is read here, and given
// out again, or closed, after it changed. Closed, it points past the block.
bool room_given = false;
void take_room() {
  if (room_given) staged = static_cast<std::size_t>(sfc_stream_detail::g_room.next - stage);
}
void give_room() {
  room_given = staging && cvt_file != nullptr && !failed;
  sfc_stream_detail::g_room.next = room_given ? stage + staged : stage + sizeof stage;
}

void write_out(const char *data, std::size_t n) {
  if (std::fwrite(data, 1, n, cvt_file) != n) fail();
  if (owner && owner->safe) SAFE_written(static_cast<long>(n));
}

void flush_stage() {
  take_room();
  if (staged > 0 && cvt_file && !failed) write_out(stage, staged);
  staged = 0;
  give_room();
}

// What is still staged when the program ends without closing a file
// written directly (an "exit" answer, a time-out) reaches it, as stdio's
// own buffer would. A file written safely is finished by its drain.
void flush_stage_at_exit() {
  if (!(owner && owner->safe)) flush_stage();
}

// A stream over a copy of descriptor `fd` of the safe writer. Records are
// staged in large blocks already, so the stream keeps no buffer of its own:
// after a roll-back nothing is left to reach the file.
FILE *safe_stream(int fd, const char *mode) {
  const int wfd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (wfd < 0) return nullptr;
  FILE *f = ::fdopen(wfd, mode);
  if (!f) {
    ::close(wfd);
    return nullptr;
  }
  std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

// The stream of a safely written file: a new file or an undoable append.
FILE *open_safely(const SfcFile &f, const char *path, const char *mode, int header_lines) {
  FILE_make_dir(path, 1);
  if (f.access == SfcAccess::append && header_lines < 0) {
    // A binary file has no lines to cut a failed append back to: it is
    // continued on a copy that replaces it only when the run succeeds.
    if (SAFE_copy(path) != 0) return nullptr;
    const int fd = ::open(SAFE_temp_path(), O_WRONLY | O_APPEND | O_CLOEXEC);
    FILE *s = fd < 0 ? nullptr : safe_stream(fd, mode);
    if (fd >= 0) ::close(fd);
    if (!s) SAFE_abort();
    return s;
  }
  // The header must survive the removal of a cut last record.
  const int fd = f.access == SfcAccess::create ? SAFE_create(path) : SAFE_append(path, header_lines);
  if (fd < 0) return nullptr;
  FILE *s = safe_stream(fd, mode);
  if (!s) SAFE_abort();
  return s;
}

}  // namespace

sfc_stream_detail::Room sfc_stream_detail::g_room = {stage + sizeof stage, stage + sizeof stage - kSfcLineMax};

bool SFC_safe_target(const char *filename, const char *path) {
  // A "|" name that is no file is a command, or refused by FILE_open.
  const bool command_name = filename[0] == '|' && !FILE_exist(filename);
  return !FILE_is_stdio(filename) && !command_name && SAFE_kind_of(path) != kSafeOther;
}

int SFC_close_stream(FILE *f, bool pipe) {
  if (f == stdin) return 0;
  if (is_std_stream(f)) return std::fflush(f) == 0 && !std::ferror(f) ? 0 : -1;
  if (pipe) return FILE_close(f);
  return std::fclose(f) == 0 ? 0 : -1;
}

int SFC_stream_open(SfcFile &f, const char *filename, const char *mode, int header_lines) {
  char path[160];
  FILE_add_user_path(filename, path);
  const bool safe = f.access != SfcAccess::read && SFC_safe_target(filename, path);
  FILE *s = safe ? open_safely(f, path, mode, header_lines) : FILE_open(filename, mode);
  if (!s) return -1;
  cvt_file = s;
  cvt_pipe = !safe && FILE_is_pipe(s);
  f.safe = safe;
  owner = &f;
  failed = false;
  // Records are short and many: they go out in large blocks.
  staging = !is_std_stream(s);
  staged = 0;
  give_room();
  static bool exit_flush = false;
  if (staging && !exit_flush) exit_flush = std::atexit(flush_stage_at_exit) == 0;
  return fileno(s);
}

int SFC_stream_open_lines(SfcFile &f, const char *filename) {
  const char *mode = "r";
  switch (f.access) {
    case SfcAccess::read: break;
    case SfcAccess::create: mode = "w"; break;
    case SfcAccess::append:
      f.type = static_cast<SfcType>(SFC_chktype(filename));
      if (f.type != SfcType::old_text && f.type != SfcType::text) return -1;
      mode = "a";
      break;
    default: return -1;
  }
  return SFC_stream_open(f, filename, mode, f.type == SfcType::old_text ? 1 : 2);
}

FILE *SFC_stream_file() { return cvt_file; }

void SFC_stream_put(const char *data, std::size_t n) {
  if (!cvt_file || failed) return;
  take_room();
  if (!staging) {
    write_out(data, n);
    return;
  }
  if (n > sizeof stage - staged) flush_stage();
  if (failed) return;
  if (n > sizeof stage) {
    write_out(data, n);
    return;
  }
  std::memcpy(stage + staged, data, n);
  staged += n;
  give_room();
}

char *SFC_stream_room() {
  if (!staging || !cvt_file || failed) return nullptr;
  take_room();
  if (sizeof stage - staged < kSfcLineMax) flush_stage();
  return failed ? nullptr : stage + staged;
}

void SFC_stream_staged(std::size_t n) {
  take_room();
  staged += n;
  give_room();
}

int SFC_stream_close(bool keep) {
  if (!cvt_file) return 0;
  bool bad = false;
  if (keep) {
    flush_stage();
    if (std::ferror(cvt_file)) bad = true;
  }
  take_room();
  staged = 0;
  const bool safe = owner && owner->safe;
  if (safe ? std::fclose(cvt_file) != 0 : SFC_close_stream(cvt_file, cvt_pipe) != 0) bad = true;
  bad = bad || failed;
  cvt_file = nullptr;
  cvt_pipe = false;
  staging = false;
  owner = nullptr;
  failed = false;
  give_room();
  return bad ? -1 : 0;
}
