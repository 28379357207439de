// Safe writing of one output file per process.
//
// A new or replaced file is written under a hidden temporary name in the
// target's directory (".<name>.XXXXXX") and renamed over the target only
// when the run succeeds, so the old file is never lost; an append to a text
// file is undone on failure (the file is cut back to its old size); an
// append that must rewrite the file (netCDF) works on a copy renamed over
// the original at the end. An advisory lock on ".<name>.lock" beside the
// target keeps runs on the same file one after the other.
//
// Failures end through ZOT_exit: a nonzero status rolls back whatever is
// pending, status 0 commits it. SIGINT, SIGTERM and SIGHUP roll back and
// then end the program as the signal would; SIGXFSZ is ignored while a file
// is pending, so that a file size limit shows as a write error.
#pragma once

#include <sys/types.h>

// What an output name refers to.
enum SAFE_kind : int {
  kSafeNew = 0,      // nothing there yet
  kSafeRegular = 1,  // a regular file (directly or through a symbolic link)
  kSafeOther = 2,    // anything else: FIFO, device, directory, unreachable
};
SAFE_kind SAFE_kind_of(const char *path);

// Same file: the same device and inode when both exist, else the same
// resolved path. 1 or 0.
int SAFE_same_file(const char *a, const char *b);

// Takes the lock of `path` (new or regular) for the rest of the run,
// waiting for another run that holds it (one message). 0, or -1 with a
// message.
int SAFE_lock(const char *path);

// Starts a replacement of `path`: an empty temporary file with the mode
// the target will have (the old file's, or 0666 less the umask). Returns
// the descriptor of the temporary file (owned here; the caller duplicates
// it to write), or -1: with a message, or without one for an existing file
// this user may not write.
int SAFE_create(const char *path);

// Starts a rewrite of the regular file `path`: a temporary copy of it
// (SAFE_temp_path) that replaces it at commit. 0, or -1 (with a message,
// unless this user may not write the file).
int SAFE_copy(const char *path);

// Starts an append to the regular text file `path`. A last line without
// its newline (a record cut short) is removed first with a warning; the
// file must keep at least `min_lines` whole lines (its header). Returns a
// descriptor open for appending (owned here), or -1 (with a message when
// the file could be opened).
int SAFE_append(const char *path, int min_lines);

// Path of the pending temporary file ("" when none).
const char *SAFE_temp_path();

// Tells the module that `bytes` more were written to the pending file, so
// that the kernel starts writing them out early and the final flush is short.
void SAFE_written(long bytes);

// Called before a commit or rollback at ZOT_exit, so that the writer can
// finish (status 0) or drop (nonzero) what it holds. It returns 0, or -1
// when its data could not be written (the exit then rolls back, status 1).
void SAFE_set_drain(int (*drain)(int status));

// Makes the pending file durable and visible (fsync, rename), then releases
// the lock. 0, or -1 with a message (everything rolled back).
int SAFE_commit();

// Rolls back the pending file (temporary file removed, append cut back)
// and releases the lock. Harmless when nothing is pending.
void SAFE_abort();
