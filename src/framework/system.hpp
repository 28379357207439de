// Process services: exit, version, prompts that accept resource commands, sleep.
#pragma once

// Ends the program with `status`, after the registered exit functions.
[[noreturn]] void ZOT_exit(int status);
// Registers a function that ZOT_exit calls before the program ends, the
// latest first; it gets the status and returns the status to go on with.
// 0, or -1 when no more can be registered.
int ZOT_on_exit(int (*hook)(int status));
const char *ZOT_version();
int ZOT_set_command(const char *string);
char *ZOT_prompts(const char *prompt, char *str, int length);
float ZOT_promptf(const char *prompt);
int ZOT_sleep(float secs);
// The store of the "set" commands typed at a prompt: `put` keeps a value
// ("set name value"), `list` prints every value ("set" alone). The resource
// store, which lies above this module, installs it when the program
// starts; until then, or in a program without it, a "set" line is still
// taken as a command and changes nothing. Returns the store in use.
struct ZOT_store {
  int (*put)(const char *name, const char *value);
  int (*list)();
};
ZOT_store ZOT_use_store(ZOT_store store);
// Writes to a pipe whose reader has gone fail with EPIPE instead of ending
// the process. 0, or -1 when the handler could not be set.
int ZOT_catch_sigpipe();
