// Defaults files: key/value lines shared by several programs, keys that
// name a program (or a pattern of programs) and a resource, conditional
// sections on user tags; and the environment variables of a resource.
#pragma once

// Limits of one entry. Callers of DEF_get provide kDefKeyLen + 1 bytes for
// the key and kDefValueLen + 1 for the value; longer texts are cut.
constexpr int kDefLineLen = 249;
constexpr int kDefKeyLen = 63;
constexpr int kDefValueLen = 207;
constexpr int kDefNameLen = 29;  // program name and title
constexpr int kDefMaxTags = 10;  // tags, and stored open sections
constexpr int kDefMaxBytes = 1 << 20;  // a larger defaults file is refused whole

// Sets the program name used in keys: the invocation name without
// directories (RES_get_progname), cut to kDefNameLen characters.
int DEF_prog(const char *name);
// Program title from the "name" option ("+title" appends to the name).
int DEF_name(const char *name);

int DEF_clr_tag();
// Adds a tag; -1 when kDefMaxTags tags are already defined.
int DEF_tag(const char *str);

// Opens a defaults file, or the first of "zot.cfg", ".zotdef", "Zot.res"
// in a directory; null or empty opens ".zotdef". An open file is closed
// first. A file that is not a regular file (a FIFO, a device) or is larger
// than kDefMaxBytes is refused with a message and not read. 0, or -1 when
// nothing could be opened.
int DEF_open(const char *filename);
int DEF_close();
// The file of the last successful DEF_open, as opened ("" when none), and
// 1 when it lies in the current directory (found through a relative name
// that resolves to it), else 0.
const char *DEF_file_name();
int DEF_file_local();

// Reads up to the next entry that applies; key lower-cased without one
// trailing ':', quoted value without its quotes. 1, or -1 at the end of
// the file or when no file is open.
int DEF_get(char *resrc, char *value);

// 1 when key pattern `string` matches the full name (program, ".", resrc).
int DEF_cmp(const char *resrc, const char *string);
// 1 when the key pattern is meant for this program, whatever the resource.
int DEF_valid(const char *string);
// `ostr` (kDefKeyLen + 1 bytes) = the text after the last '.' or '*'.
int DEF_parse_name(const char *str, char *ostr);

// 1 and the value (kDefValueLen + 1 bytes, cut) when one of the resource's
// variables is set: "zot" + full name, then `env`, then "zot" + resrc.
int DEF_env(const char *resrc, const char *env, char *value);

// Back to the start state: no tags and no open sections (the name and
// title are kept). For tests and fuzzing; the program never needs it.
int DEF_reset();
