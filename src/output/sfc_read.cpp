// The converted surface data file: detection, opening, headers, closing
// and the report gate, each handed to the format of the open file through
// the format registry.
#include "output/sfc_read.hpp"

#include <cstdio>

#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/safe_file.hpp"
#include "framework/system.hpp"
#include "output/formats.hpp"
#include "output/sfc_stream.hpp"

namespace {

constexpr M_type kFail = 0xC0;

// One output file per process, and the operations of its format (null
// while none is open).
SfcFile file;
const SfcFormatOps *ops = nullptr;
int stat_num = 0;  // the index of the next record to write
int use_table = 0;

// Forgets the open file; its date stays, as the record writers left it.
void forget_file() {
  const Date date = file.date;
  file = SfcFile{};
  file.date = date;
  ops = nullptr;
}

// Finishes (status 0) or drops (any other) the safely written file when
// the program ends without SFC_close. 0, or -1 when its data did not all
// reach it.
int drain_output(int status) {
  if (!file.safe || !ops) return 0;
  bool failed = file.lost;
  if (ops->close(file, false, status == 0) != 0) failed = true;
  forget_file();
  if (failed && status == 0) MESS_print(kFail, "SFC_close: Error writing converted data file\n");
  return failed ? -1 : 0;
}

}  // namespace

int SFC_chktype(const char *filename) {
  if (!filename) return -1;
  FILE *f = FILE_open(filename, "r");
  if (!f) return -1;
  const int c = std::fgetc(f);
  SFC_close_stream(f, FILE_is_pipe(f));
  // Also an empty file: it has no type yet.
  for (const SfcFormat &fmt : SFC_formats()) {
    const SfcType t = fmt.ops->detect(c, filename);
    if (t != SfcType::unknown) return SFC_type_code(t);
  }
  return -1;
}

int SFC_open(const char *filename, int f_access, int *f_type) {
  if (!filename || !f_type || ops) return -1;
  auto type = static_cast<SfcType>(*f_type);
  if (type == SfcType::none) {
    if (static_cast<SfcAccess>(f_access) == SfcAccess::create) return -1;  // nothing to detect
    type = static_cast<SfcType>(*f_type = SFC_chktype(filename));
    if (type == SfcType::unknown) return -1;
  }
  const SfcFormat *fmt = SFC_format_of_type(type);
  if (!fmt || f_access < 0 || f_access > 2) return -1;
  // The format opens the module's file itself: its stream marks it lost
  // when a write fails.
  const SfcFile before = file;
  file = SfcFile{};
  file.type = type;
  file.access = static_cast<SfcAccess>(f_access);
  file.date = before.date;
  const int handle = fmt->ops->open(file, filename);
  if (file.type != type) *f_type = SFC_type_code(file.type);  // an append found the file's own type
  if (handle < 0) {
    file = before;
    return -1;
  }
  file.handle = handle;
  ops = SFC_format_of_type(file.type)->ops;
  if (file.safe) SAFE_set_drain(drain_output);
  stat_num = 0;
  return handle;
}

int SFC_putinfo(int /*cvt_fd*/, SFC_info *info) {
  if (!info) return -1;
  file.date = info->date;
  return ops ? ops->put_header(file, info) : -1;
}

int SFC_getinfo(int /*cvt_fd*/, SFC_info *info) {
  if (!info || !ops) return -1;
  const int rc = ops->get_header(file, info);
  // Appended records follow those already there.
  if (rc == 0) stat_num = static_cast<int>(file.records);
  return rc;
}

int SFC_close(int /*cvt_fd*/) {
  if (!ops) return -1;
  const bool close_failed = ops->close(file, true, true) != 0;
  const SfcFile closed = file;
  forget_file();
  // Data that did not reach the file must not end as a successful run, nor
  // take the place of the file that was there.
  if (closed.tell || close_failed) MESS_print(kFail, "SFC_close: Error writing converted data file\n");
  if (closed.lost || close_failed) {
    if (closed.safe) SAFE_abort();
    ZOT_exit(1);
  }
  if (closed.safe && SAFE_commit() != 0) {
    MESS_print(kFail, "SFC_close: Error writing converted data file\n");
    ZOT_exit(1);
  }
  return 0;
}

int SFC_save_report(int cvt_fd, SFC_report *report) {
  if (report && DATE_chk_range(report->time) && (report->type & 1)) {
    SFC_write(cvt_fd, report, 1, &stat_num);
    ++stat_num;
  }
  return 0;
}

int SFC_write(int /*cvt_fd*/, SFC_report *report, int /*rep_type*/, int *statnum) {
  if (!report || !ops) return -1;
  return ops->write(file, *report, statnum ? *statnum : -1);
}

int SFC_set_table(int value) {
  use_table = value;
  return 1;
}

int SFC_write_failed() { return file.lost ? 1 : 0; }
