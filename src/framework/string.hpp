// String and line utilities working in place on NUL-terminated texts.
// Named string.hpp so that it can never shadow the C library's <string.h>.
#pragma once

#include <cstdio>

int stricmp(const char *s1, const char *s2);
int strnicmp(const char *s1, const char *s2, int n);
int parse_string(const char *string, char delim, int *argc, char ***argv);
int free_parsed_array(int argc, char **argv);
int fill_string(char *string, char tar, char fill);
int strip_string(char *string, char tar);
int trim_string(char *string);
int trim_cr_string(char *string);
int wstrim_string(char *string);
int strip_escape(char *string);
int low_string(char *string);
int string_is_num(const char *string);
int string_is_num_len(const char *string, int len);
int clean_line(unsigned char *line);
int strmcat(char *s1, const char *s2, int m);
int fgetnline(FILE *ifile, char *string, int len);
int fgetstring(FILE *ifile, char *string, int len);
