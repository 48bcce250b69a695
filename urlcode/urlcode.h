// The URL-encoding routines. Each works in place on a NUL-terminated byte
// string that the caller owns; none allocates, fails or validates, except
// where said.
#ifndef URLCODE_H
#define URLCODE_H

#include <cstddef>

// Decoding: these only ever shorten the string.
void plustospace(char *s);
char x2c(const char *what);
void unescape_url(char *url);

// Escaping: the string grows by one byte per metacharacter, so the buffer
// needs room for that many more bytes (twice the length plus one always
// suffices).
extern const char shell_metachars[];
int ind(const char *s, char c);
void escape_shell_cmd(char *cmd);

// The command line, urldecode [-b] [-e] url, as the program and the shell
// builtin both take it: argv[0] is the name and argv[argc - 1] the string.
// Returns the string, or null for a bad command line.
const char *options(int argc, char *const argv[], bool *blanks, bool *escape);
void usagetext(const char *progname);	// on standard error

// Steps of a run. workcopy allocates the working copy of arg, with room to
// escape it, or returns null with errno set; free it. decode runs the steps
// in their fixed order on it and returns where the result starts.
char *workcopy(const char *arg);
char *trim(char *s);
char *decode(char *copy, bool blanks, bool escape);

// A query string, or a form's POST body: fields split at every '&', empty
// ones skipped, each split at its first '=' (with none, the value is
// empty), and each half decoded by decode's steps, so a decoded NUL ends
// that half alone. nextfield takes the field that starts at *q, moves *q
// past it and points key and value into buf, a working copy of the query
// (workcopy), which has room for any of its fields; false when none is
// left.
bool nextfield(const char **q, char *buf, bool blanks, bool escape,
	       const char **key, const char **value);

#endif
