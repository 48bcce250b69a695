// Routines of urldecode. Each works in place on a NUL-terminated byte
// string that the caller owns; none allocates, fails or validates.
#ifndef URLDECODE_H
#define URLDECODE_H

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

#endif
