// The conversion run and the report loop of the synoptic converter.
#include "syn_run.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "framework/safe_file.hpp"
#include "framework/string.hpp"
#include "framework/system.hpp"
#include "framework/table.hpp"
#include "output/formats.hpp"
#include "output/sfc_bufr.hpp"
#include "output/sfc_read.hpp"
#include "report/scanp.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"
#include "stations/cty_tool.hpp"
#include "stations/tools.hpp"

// ===========================================================================
// Conversion run and report loop.

namespace {

constexpr M_type kFailure = 0xC0u;
constexpr M_type kProgress = 0xF00u;
constexpr M_type kListing = 0x100000u;
constexpr M_type kRawText = 0x400000u;
constexpr M_type kReportNum = 0x4000000u;
constexpr M_type kMerge = 0x10000000u;
constexpr int kNameMax = 159;  // file names and templates
constexpr int kAllClasses = 31;
constexpr int kMaxSameId = 10;  // kept reports compared with a new one

int rep_save = kAllClasses;  // report classes to write
bool reports_lost = false;   // a report could not be kept: the run failed
int file_type = SFC_type_code(SFC_formats().front().types.front());  // output file type
int file_mode = 0;           // 1 create, 2 append
int update = 0;              // merge level; 0 = every report written at once
int id_type = 0;             // 0 WMO number, 1 database id, 2 database id or made from WMO
int numid = 0;               // identifiers to select; 0 = all
char **ids = nullptr;
int cvt_fd = -1;
TAB_table data_tbl{};
char in_buf[1 << 16];  // stdio buffer of the input file being read

// What became of the run's reports: one counter per outcome (the built-in
// ones, then those an output format adds), the reports found and the
// files read.
constexpr int kMaxOutcomes = 12;
struct Outcome {
  const char *label;
  long count;
};
Outcome outcomes[kMaxOutcomes] = {
    {"written", 0},       {"outside the time window", 0}, {"not selected", 0},
    {"dropped as duplicates", 0}, {"merged", 0},           {"not decoded", 0},
};
int num_outcomes = kOutBuiltIn;
long reports_found = 0;
int files_read = 0;
int out_lost = -1;  // outcome of reports the report table could not take, once one was

inline void count(int outcome) { ++outcomes[outcome].count; }

// Could the report ever be written? It needs an identifier (the decoder
// then marks it a regular report) and a time.
bool decoded(const SFC_report &rep) { return (rep.type & 1) != 0 && rep.time != tv::kMissInt; }

// The outcome of a report that reaches the output stage: the same gate as
// SFC_save_report, which writes it only when it is decoded and in the window.
int final_outcome(const SFC_report &rep, bool in_window) {
  if (!decoded(rep)) return kOutNotDecoded;
  return in_window ? kOutWritten : kOutOutside;
}

// The run's input files, known before the output is opened so that no
// input can be overwritten by it: the first file and date the run starts
// from (set by SYN_decode_all) and the whole sequence.
const char *run_first = nullptr;
Date run_date{};
std::vector<std::string> run_inputs;

// Report classes, their save bits and keywords.
struct ClassBit {
  const char *area;  // two-letter class at the start of SFC_report.area
  const char *word;  // keyword of "output"
  int bit;
};
constexpr ClassBit kClasses[] = {
    {"LA", "land", 1}, {"SH", "ship", 2}, {"BU", "buoy", 4}, {"DR", "dribu", 8}, {"CM", "cman", 16},
};

// Is the report held back by the class selection? A class outside the
// table (UN, a report no decoder classed) never is; with every class
// selected (the usual run), none is.
bool class_dropped(const SFC_report &rep) {
  if (rep_save == kAllClasses) return false;
  for (const auto &c : kClasses)
    if (rep.area[0] == c.area[0] && rep.area[1] == c.area[1]) return (rep_save & c.bit) == 0;
  return false;
}

// Is `id` one of the selected identifiers (ignoring case)?
bool id_selected(const char *id) {
  for (int i = 0; i < numid; ++i)
    if (stricmp(id, ids[i]) == 0) return true;
  return false;
}

// The message levels, taken once per input file (and for the writing of
// the merged reports) rather than asked for each report.
M_type levels = 0;
inline bool shown(M_type level) { return (levels & level) != 0; }

void list_report(SFC_report *rep) {
  if (shown(kListing)) SFC_print_line(kListing, rep);
}

// Land report completion from the station database.
void complete_land(SFC_report &rep) {
  CTY_data station;  // filled by the search when it finds the station
  if (CTY_search_buffer(rep.id, sizeof rep.id, &station)) {
    std::snprintf(rep.area + 2, sizeof rep.area - 2, " %2s %2s", station.state, station.region);
    if (id_type != 0 && station.id[0] != '-') {
      std::snprintf(rep.id, sizeof rep.id, "%s", station.id);
    } else if (id_type == 2) {
      wmo_to_id(rep.id, rep.wmo);
    }
    if (SFC_type_has_position(file_type)) {
      rep.lat = station.lat;
      rep.lon = station.lon;
      rep.elev = station.el;
      rep.prior = station.prior;
    }
  } else {
    if (shown(kRawText)) MESS_print(kRawText, "Station not in database: %s\n", rep.id);
    if (id_type == 2) wmo_to_id(rep.id, rep.wmo);
  }
}

// Table mode: the report is dropped as a duplicate, merged into a kept
// report of the same identifier, or kept as a new one.
void merge_report(SFC_report &rep) {
  char *list[kMaxSameId];
  const int n = TAB_searches(&data_tbl, 1, rep.id, list, kMaxSameId);
  bool handled = false;
  bool merged = false;
  if (n > 0) {
    MESS_print(kMerge, "FOUND: %d\n", n);
    for (int i = 0; i < n && i < kMaxSameId; ++i) {
      auto *kept = reinterpret_cast<SFC_report *>(list[i]);
      const int cmp = SFC_compare(&rep, kept);
      if (cmp == 0) {
        MESS_print(kMerge, "%d-DUPLICATE\n", i);
        handled = true;
      } else if (cmp >= 3) {
        MESS_print(kMerge, "%d-UPDATE\n", i);
        SFC_print_line(kMerge, kept);
        SFC_update(kept, &rep, update);
        handled = true;
        merged = true;
      } else {
        MESS_print(kMerge, "%d-OTHER: %d\n", i, cmp);
        SFC_print_line(kMerge, kept);
      }
    }
  }
  if (handled) {
    // Reports without an identifier are all kept under the empty one, where
    // they compare as equal: not decoded, whatever the comparison said.
    count((rep.type & 1) == 0 ? kOutNotDecoded : merged ? kOutMerged : kOutDuplicate);
  } else {
    // A kept report is counted when the table is written at the end.
    MESS_print(kMerge, "ADDING\n");
    if (TAB_enter(&data_tbl, &rep, rep.id) == -1) {
      MESS_print(kFailure, "SYN_decode_file: Unable to add: %s\n", rep.id);
      if (out_lost < 0) out_lost = SYN_add_outcome("lost (report table full)");
      if (out_lost >= 0) count(out_lost);
      reports_lost = true;
    }
  }
  list_report(&rep);
}

// Direct mode: listed and, inside the window, written at once.
void save_report(SFC_report &rep) {
  const int in_window = DATE_chk_range(rep.time);
  if (class_dropped(rep)) {
    count(kOutNotSelected);
    return;
  }
  list_report(&rep);
  const int outcome = final_outcome(rep, in_window != 0);
  count(outcome);
  if (outcome == kOutWritten) SFC_save_report(cvt_fd, &rep);
}

}  // namespace

namespace {

// The valid words of "output": the formats, then the report classes.
const char *output_words() {
  static const std::string words = std::string(SFC_format_words()) + ",all,land,ship,buoy,cman,dribu";
  return words.c_str();
}
constexpr const char *kParameterWords =
    "id,id_enc,wmo,pln,plns,psyn,pfull,range[=from[:to]],all,dup,update[=level]";

// An output word: a format or a report class.
bool output_word(const char *w) {
  if (SFC_format_of_word(w) || stricmp(w, "all") == 0) return true;
  for (const auto &c : kClasses)
    if (stricmp(w, c.word) == 0) return true;
  return false;
}

// A whole signed decimal number that fits an int.
bool whole_int(std::string_view text, int *out) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  const char *end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && p == end && !text.empty();
}

// After `keyword`: nothing (`has_form` false), or one separator that is
// not a letter or digit and the form text. False when `v` is not the
// keyword at all.
bool keyword_form(const char *v, std::string_view keyword, bool *has_form, std::string_view *form) {
  const std::size_t n = keyword.size();
  if (strnicmp(v, keyword.data(), static_cast<int>(n)) != 0) return false;
  const std::string_view rest(v + n);
  *has_form = !rest.empty();
  if (!*has_form) return true;
  const unsigned char sep = static_cast<unsigned char>(rest[0]);
  if (std::isalnum(sep)) return false;
  *form = rest.substr(1);
  return true;
}

// "range[=from[:to]]": the minutes before and after the hour; a number not
// given keeps its default.
bool range_word(const char *v, int *pre, int *post) {
  bool has_form = false;
  std::string_view form;
  if (!keyword_form(v, "range", &has_form, &form)) return false;
  *pre = -45;
  *post = 45;
  if (!has_form) return true;
  const std::size_t colon = form.find(':');
  if (!whole_int(form.substr(0, colon), pre)) return false;
  return colon == std::string_view::npos || whole_int(form.substr(colon + 1), post);
}

// "update[=level]": the merge level, 20 when none is given.
bool update_word(const char *v, int *level) {
  bool has_form = false;
  std::string_view form;
  if (!keyword_form(v, "update", &has_form, &form)) return false;
  *level = 20;
  return !has_form || whole_int(form, level);
}

}  // namespace

int SYN_decode_params() {
  int wrong = 0;
  int argc = 0;
  char **argv = nullptr;
  RES_getvals("output", &argc, &argv);
  // A list that starts with a class names the only classes to write; one
  // that starts with a format adds its classes to the default. An unknown
  // word is reported and counts for nothing, not even as the first.
  bool first = true;
  for (int i = 0; i < argc; ++i) {
    if (argv[i][0] == '\0') continue;
    if (!output_word(argv[i])) {
      wrong += RES_bad_word("SYN_decode_params", "output", argv[i], output_words());
      continue;
    }
    if (first && !SFC_format_of_word(argv[i])) rep_save = 0;
    first = false;
    if (stricmp(argv[i], "all") == 0) {
      rep_save = kAllClasses;
      continue;
    }
    for (const auto &c : kClasses)
      if (stricmp(argv[i], c.word) == 0) rep_save |= c.bit;
  }
  free_parsed_array(argc, argv);

  argc = 0;
  argv = nullptr;
  RES_getvals("parameter", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char *v = argv[i];
    int a = 0, b = 0;
    if (v[0] == '\0') {
      continue;
    } else if (stricmp(v, "id") == 0) {
      id_type = 1;
    } else if (stricmp(v, "id_enc") == 0) {
      id_type = 2;
    } else if (stricmp(v, "wmo") == 0) {
      id_type = 0;
    } else if (stricmp(v, "pln") == 0) {
      SFC_set_print(2);
    } else if (stricmp(v, "plns") == 0) {
      SFC_set_print(1);
    } else if (stricmp(v, "psyn") == 0) {
      SFC_set_print(4);
    } else if (stricmp(v, "pfull") == 0) {
      SFC_set_print(3);
    } else if (range_word(v, &a, &b)) {
      DATE_set_range(a, b);
    } else if (stricmp(v, "all") == 0) {
      update = 0;
    } else if (stricmp(v, "dup") == 0) {
      update = -1;
    } else if (update_word(v, &a)) {
      update = a;
    } else {
      // A window or merge level that cannot be read is as wrong as a
      // misspelt word: the run would not do what was asked.
      wrong += RES_bad_word("SYN_decode_params", "parameter", v, kParameterWords);
    }
  }
  free_parsed_array(argc, argv);
  wrong += BUFR_check_words();
  return wrong == 0 ? 0 : -1;
}

namespace {

// A template too long for the naming layer would be cut there: refused as
// a name that is too long.
void refuse_long_template(const char *t) {
  if (std::strlen(t) <= static_cast<std::size_t>(kNameMax)) return;
  MESS_print(kFailure, "SYN_out_file: Output file name longer than %d characters: %.*s...\n", kNameMax,
             kNameMax, t);
  ZOT_exit(1);
}

}  // namespace

namespace {

// Did the user name the output file (not only its format)? The last value
// of "out_file" wins.
bool out_name_given() {
  int argc = 0;
  char **argv = nullptr;
  RES_getvals("out_file", &argc, &argv);
  bool given = false;
  if (argc > 0) {
    const char *v = argv[argc - 1];
    const char *rest = nullptr;
    given = !SFC_format_of_prefix(v, &rest) || rest;
  }
  if (argv) free_parsed_array(argc, argv);
  return given;
}

// Opens an input file for reading; what cannot be read is reported and
// gives null. Standard input, commands and FIFOs are streams; anything else
// must be a regular file (a directory opens, but reads as nothing).
FILE *open_input(const char *filename) {
  FILE *in = FILE_open(filename, "r");
  if (!in) {
    MESS_print(kFailure, "SYN_decode_file: Unable to open file:%s\n", filename);
    return nullptr;
  }
  struct stat st;
  if (in != stdin && !FILE_is_pipe(in) &&
      (fstat(fileno(in), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)))) {
    MESS_print(kFailure, "SYN_decode_file: Not a regular file: %s\n", filename);
    FILE_close(in);
    return nullptr;
  }
  return in;
}

// Could the input be read? Opens nothing that waits or runs: standard
// input, commands and FIFOs count as readable.
bool input_readable(const char *filename) {
  if (FILE_is_stdio(filename) || FILE_is_command(filename)) return true;
  char path[kNameMax + 1];
  FILE_add_user_path(filename, path);
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool ok = fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode));
  close(fd);
  return ok;
}

// Set when the date of the data could not be told because no input could
// be read: the output is refused before anything is made.
bool date_unknown = false;

[[noreturn]] void no_date(const char *filename) {
  if (FILE_is_stdio(filename) || FILE_is_command(filename))
    MESS_print(kFailure,
               "SYN_decode_all: No date for the data of %s: a stream is not searched for a heading; "
               "give -ho #YYYYMMDDHH\n",
               filename);
  else
    MESS_print(kFailure,
               "SYN_decode_all: No date for the data of %s: its name does not give it and it holds no "
               "bulletin heading; add it to the name as #YYYYMMDDHH or give -ho #YYYYMMDDHH\n",
               filename);
  ZOT_exit(2);
}

}  // namespace

namespace {

// The output format and name template from "output" and "out_file": the
// format's own template unless a name follows its keyword; the last word
// of each wins.
void choose_output_format() {
  FILE_set_name("syn_cvt");
  int argc = 0;
  char **argv = nullptr;
  RES_getvals("output", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    if (const SfcFormat *f = SFC_format_of_word(argv[i])) {
      file_type = SFC_type_code(f->types.front());
      FILE_set_name(f->name_template);
    }
  }
  free_parsed_array(argc, argv);

  argc = 0;
  argv = nullptr;
  RES_getvals("out_file", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char *v = argv[i];
    // A format keyword counts only as a whole word or before a separator
    // (cdf:hourly), so that a file name such as "xmlfeed" stays a name.
    const char *rest = nullptr;
    if (const SfcFormat *fmt = SFC_format_of_prefix(v, &rest)) {
      file_type = SFC_type_code(fmt->types.front());
      if (rest) refuse_long_template(rest);
      FILE_set_name(rest ? rest : fmt->name_template);
    } else {
      refuse_long_template(v);
      FILE_set_name(v);
    }
  }
  free_parsed_array(argc, argv);
}

}  // namespace

int SYN_out_file(Date *date) {
  choose_output_format();
  char name[kNameMax + 1] = "";
  // A name cut to the limit would be another file (every hour after the
  // cut would go to one): refused instead.
  if (FILE_set_date_whole(date, name) == -1) {
    MESS_print(kFailure, "SYN_out_file: Output file name longer than %d characters: %s...\n", kNameMax,
               name);
    ZOT_exit(1);
  }
  // Before the naming state moves on to the inputs.
  FILE_allow_template_command("out_file", name);  // runs only a "|command" the user gave

  // The input sequence, named after the output as it always was (templates
  // share the naming state), and checked before anything is opened.
  if (run_first) {
    run_inputs.clear();
    FILE_restore_name_conv();
    FILE_set_filename(run_first);
    FILE_first(&run_date);
    char in[kNameMax + 1];
    while (FILE_get_next(in)) run_inputs.emplace_back(in);
  }
  char path[kNameMax + 1];
  FILE_add_user_path(name, path);
  const bool stream = FILE_is_stdio(name) || FILE_is_command(name);
  if (!stream) {
    for (const std::string &in : run_inputs) {
      if (FILE_is_stdio(in.c_str()) || FILE_is_command(in.c_str())) continue;
      char in_path[kNameMax + 1];
      FILE_add_user_path(in.c_str(), in_path);
      if (SAFE_same_file(path, in_path)) {
        MESS_print(kFailure, "SYN_out_file: Output file %s is the input file %s\n", name, in.c_str());
        ZOT_exit(1);
      }
    }
  }

  // A run that can read none of its inputs makes and replaces nothing.
  if (!run_inputs.empty()) {
    bool any = false;
    for (const std::string &in : run_inputs) any = any || input_readable(in.c_str());
    if (!any) {
      for (const std::string &in : run_inputs)
        if (FILE *f = open_input(in.c_str())) FILE_close(f);
      ZOT_exit(1);
    }
    if (date_unknown) no_date(run_first);
  }

  // One run at a time on a file: the lock is taken before the file is
  // looked at, so a run that waited appends to what the other one wrote.
  if (!stream && SAFE_kind_of(path) != kSafeOther) {
    FILE_make_dir(path, 1);
    if (SAFE_lock(path) != 0) {
      MESS_print(kFailure, "SYN_out_file: Unable to open converted data file: %s\n", name);
      ZOT_exit(1);
    }
  }

  file_mode = FILE_overwrite(name, 2);
  int fd = -1;
  if (file_mode == 1 || file_mode == 2) {
    fd = SFC_open(name, file_mode, &file_type);
    if (fd == -1) {
      MESS_print(kFailure, "SYN_out_file: Unable to open converted data file: %s\n", name);
      ZOT_exit(1);
    }
    MESS_print(kProgress, file_mode == 1 ? "Creating output file: %s\n"
                                         : "Appending to output file: %s\n",
               name);
  } else {
    MESS_print(kFailure, "SYN_out_file: Unable to overwrite converted data file\n");
    ZOT_exit(0);
  }
  return fd;
}

int SYN_decode_file(const char *filename) {
  FILE *in = open_input(filename);
  if (!in) return 0;
  MESS_print(kProgress, "Processing file: %s\n", filename);
  // Bulletin files are large: read them in large pieces. Standard input may
  // have been read already (a prompt), so it keeps its own buffer.
  if (in != stdin) std::setvbuf(in, in_buf, _IOFBF, sizeof in_buf);

  char text[kSynTextRoom];  // room for the decoder's zeros after the text
  char id[kSynIdMax + 1] = "";
  ReportType type = SYN_get_rep_type();
  SFC_report report;
  // What holds for the whole file is asked once, not for each report.
  levels = MESS_get();
  const bool t_num = shown(kReportNum);
  const bool t_raw = shown(kRawText);
  const bool t_any = t_num || t_raw;
  const bool selecting = numid != 0;
  const bool merging = update != 0;

  // Nothing of the previous file is read again; and the loop runs until the
  // reader has nothing left (it gives 1 for each report, -1 at the end), so
  // a last line without a newline still counts.
  SYN_read_reset();
  while (SYN_read_raw(in, text, id, &type) == 1) {
    // The input ended before a report started: a report starts with its
    // first group, never with a blank.
    if (text[0] == ' ') continue;
    ++reports_found;
    if (selecting && !id_selected(id)) {
      count(kOutNotSelected);
      continue;
    }
    SFC_initialize(&report);
    std::memcpy(report.area, "UN", 3);
    if (t_any) {
      if (t_num) MESS_print(kReportNum, "%d:%s ", type_bit(type), id);
      if (t_raw) MESS_print(kRawText, "%s\n", text);
    }
    // The type of the report's own section (the section state may already
    // have moved on to the next one).
    SYN_decode_in_place(text, SYN_read_len(), type, &report);
    SFC_check_valid(&report, 0);
    if (type == ReportType::land) complete_land(report);
    if (merging)
      merge_report(report);
    else
      save_report(report);
  }

  const bool failed = std::ferror(in) != 0;
  if (in == stdin) {
    std::clearerr(in);
  } else {
    FILE_close(in);  // a pipe only when the user named a command
  }
  if (failed) {
    MESS_print(kFailure, "SYN_decode_file: Error reading file:%s\n", filename);
    return -1;
  }
  ++files_read;
  return 1;
}

namespace {

// Is the day of the data known (year, month and day)?
bool day_given(const Date &d) {
  return d.year != tv::kMissInt && d.month != tv::kMissInt && d.day != tv::kMissInt;
}

// The positional input names (null when none, or when the first asks for
// the current or latest file); free with free_parsed_array.
int input_names(char ***names) {
  int n = 0;
  *names = nullptr;
  RES_getvals("filename", &n, names);
  if (n > 0 && (std::strncmp((*names)[0], "la", 2) == 0 || std::strncmp((*names)[0], "cu", 2) == 0)) {
    free_parsed_array(n, *names);
    *names = nullptr;
    n = 0;
  }
  return n;
}

// The name-convention file names the output (unless the user did), the
// current, latest or prompted file and the files of a sequence of hours
// (unless "in_file" is a template of the user's own). A run that needs it
// and has none stops; a run that does not need it is not told about it.
void check_name_conv(const char *in_file) {
  char path[kNameMax + 1];
  if (FILE_name_conv_path(path)) return;
  char **names = nullptr;
  const int n = input_names(&names);
  bool listing = false;  // "list": the files of the input template
  if (n > 0) listing = stricmp(names[0], "list") == 0;
  if (names) free_parsed_array(n, names);
  const bool own_in = in_file && (in_file[0] == '@' || std::strchr(in_file, '%') || stricmp(in_file, "none") == 0);
  const bool needs_in = !own_in && (n == 0 || listing || FILE_is_sequence());
  if (!needs_in && out_name_given()) {
    FILE_quiet_conv(1);
    return;
  }
  // Looking the type up reports the missing file.
  FILE_set_name(needs_in ? (in_file ? in_file : "syn_dat") : "syn_cvt");
  MESS_print(kFailure, "SYN_decode_all: This run takes %s from that file; give it with -nc%s\n",
             needs_in ? "its input file names" : "the output file name",
             needs_in ? "" : ", or name the output file with -of");
  ZOT_exit(2);
}

// The date of the data when the input's name does not give it: from the
// feed file's WMO name or first heading. When the first input cannot be
// read, the next named one that can gives it; when none can, the output is
// refused later for that (date_unknown).
void date_from_feed(const char *first, Date &date) {
  int from = FILE_feed_date(first, &date);
  if (from == 0) no_date(first);
  if (from > 0) return;
  if (!FILE_is_sequence()) {
    char **names = nullptr;
    const int n = input_names(&names);
    for (int i = 1; i < n && from < 0; ++i) {
      char name[kNameMax + 1];
      FILE_set_file(names[i], name);
      Date d{};
      FILE_get_date(&d);
      if (FILE_name_fits() || day_given(d)) {
        date = d;
        from = 1;
      } else if ((from = FILE_feed_date(name, &d)) > 0) {
        date = d;
      } else if (from == 0) {
        no_date(name);
      }
    }
    if (names) free_parsed_array(n, names);
  }
  date_unknown = from < 0;
}

// The summary line of the run, whatever way it ends.
int print_summary(int status) {
  char line[512];
  int len = std::snprintf(line, sizeof line, "Summary: %d file%s read, %ld report%s found", files_read,
                          files_read == 1 ? "" : "s", reports_found, reports_found == 1 ? "" : "s");
  for (int i = 0; i < num_outcomes && len > 0 && len < static_cast<int>(sizeof line); ++i)
    len += std::snprintf(line + len, sizeof line - static_cast<std::size_t>(len), ", %ld %s",
                         outcomes[i].count, outcomes[i].label);
  MESS_print(kProgress, "%s\n", line);
  return status;
}

}  // namespace

int SYN_add_outcome(const char *label) {
  if (!label || num_outcomes == kMaxOutcomes) return -1;
  outcomes[num_outcomes] = {label, 0};
  return num_outcomes++;
}

void SYN_count(int outcome, long n) {
  if (outcome >= 0 && outcome < num_outcomes) outcomes[outcome].count += n;
}

long SYN_outcome_count(int outcome) {
  return outcome >= 0 && outcome < num_outcomes ? outcomes[outcome].count : 0;
}

namespace {

// The run's date from the input name (or the feed), the output file opened
// and its header written or read; the date goes into `datim`.
void open_run(Date &datim) {
  const char *in_file = RES_get("in_file");
  check_name_conv(in_file);
  FILE_set_name(in_file ? in_file : "syn_dat");
  FILE_save_name_conv();

  char filename[kNameMax + 1] = "";
  FILE_get_file_only("Enter the synoptic filename: ", filename);

  Date file_date{};
  FILE_get_date(&file_date);
  // A name that does not give the date by the template: a feed file.
  if (!day_given(file_date) && !FILE_name_fits()) date_from_feed(filename, file_date);
  DATE_set_datim(&file_date);
  DATE_get_datim(&datim);
  FILE_reset_time();

  ZOT_on_exit(print_summary);
  run_first = filename;
  run_date = file_date;
  cvt_fd = SYN_out_file(&datim);

  SFC_info info{};
  info.date = datim;
  info.cmdline = nullptr;
  DATE_make_label(&datim, info.datim);
  if (file_mode == 2)
    SFC_getinfo(cvt_fd, &info);
  else
    SFC_putinfo(cvt_fd, &info);
  MESS_print(0xF0000u, "DATE: ");
  MESS_print(kProgress, "%s\n", info.datim);
}

void forget_selection() {
  free_parsed_array(numid, ids);
  numid = 0;
  ids = nullptr;
}

// The reports the "identifier" words select; none: every report.
void select_reports() {
  numid = 0;
  ids = nullptr;
  if (const char *sel = RES_get("identifier")) {
    MESS_print(kProgress, "Searching for: %s...\n", sel);
    RES_getvals("identifier", &numid, &ids);
    // "all" selects every report, as it selects every station.
    if (numid == 1 && stricmp(ids[0], "all") == 0) forget_selection();
  } else {
    MESS_print(kProgress, "Converting data...\n");
  }
}

// With merging, the reports are written once every file has been read.
void save_merged() {
  MESS_print(0xF000u, "Saving stations...\n");
  levels = MESS_get();
  TAB_first(&data_tbl);
  while (char *rec = TAB_next(&data_tbl)) {
    auto *rep = reinterpret_cast<SFC_report *>(rec);
    const int in_window = DATE_chk_range(rep->time);
    if (class_dropped(*rep)) {
      count(kOutNotSelected);
      continue;
    }
    list_report(rep);
    const int outcome = final_outcome(*rep, in_window != 0);
    count(outcome);
    if (outcome == kOutWritten) SFC_save_report(cvt_fd, rep);
  }
}

}  // namespace

int SYN_decode_all() {
  SFC_set_print(4);
  DATE_set_range(-45, 45);
  // A wrong word on the command line ends the run before anything is
  // opened: the user asked for something this run would not do.
  if (SYN_decode_params() != 0 || RES_usage_errors() != 0) ZOT_exit(2);

  Date datim{};
  open_run(datim);

  CTY_store("syn.cty", 1, nullptr, 10);
  SFC_set_table(1);
  select_reports();

  if (update != 0) TAB_create(&data_tbl, 4000, static_cast<int>(sizeof(SFC_report)), 1);
  SFC_print_line(kListing, nullptr);

  // In a sequence of hours a missing file is a gap; named files must all
  // be read. A file that failed part way always fails the run.
  const bool sequence = FILE_is_sequence() != 0;
  int opened = 0;
  bool unread = false;
  for (const std::string &in : run_inputs) {
    const int rc = SYN_decode_file(in.c_str());
    if (rc == 1) ++opened;
    if (rc == -1 || (rc == 0 && !sequence)) unread = true;
  }
  // A run that could read nothing must not stand in for the file that was
  // there (the usual cron case: the bulletins are not there yet).
  if (opened == 0) ZOT_exit(1);

  if (numid != 0) forget_selection();
  if (update != 0) save_merged();

  SFC_close(cvt_fd);
  return unread || reports_lost ? 1 : 0;
}

