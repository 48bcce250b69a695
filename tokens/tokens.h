// b64, hmac and randtoken: a run of one from its command line to the bytes
// that it writes, shared by the programs and the builtins.
#ifndef TOKENS_H
#define TOKENS_H
#include <cstddef>

// The builtin's -k NAME: the variable's value, or null where it has none.
// The program has no variables, and passes null.
typedef const char *keyvarfn(const char *name);

// Runs tool ("b64", "hmac", "randtoken", "hookverify", "jwtoken", "otp" or "sigverify") on
// its command line, argv[0] its name, reading standard input where no
// string is given. Returns the
// result, *n bytes and a NUL in memory from malloc, or null with *why set
// to what is wrong in one line; with hmac -c, a result of no bytes where
// the MAC matches, and null with *why null where it does not; sigverify
// likewise.
char *tokens(const char *tool, int argc, char *const argv[], keyvarfn *var, size_t *n, const char **why);
// Whether the last run failed on its command line, as the builtins' status
// tells a bad command line (2) from any other failure (1).
extern bool badline;
// Each tool's own run, as tokens runs it: a program calls its own alone,
// and so links no other tool's code.
typedef char *toolfn(int argc, char *const argv[], keyvarfn *var, size_t *n, const char **why);
toolfn b64run, hmacrun, randtokenrun, hookverifyrun, jwtokenrun, otprun, sigverifyrun;

// A key from a file: all of it, but for a last line feed, which ends the
// file's line and is no part of the key, unless keepnl is set. The bytes,
// *n of them and a NUL, in memory from malloc, which the caller wipes and
// frees; or null with *why set.
unsigned char *keyfile(const char *path, bool keepnl, size_t *n, const char **why);

extern const char b64usage[], hmacusage[], randusage[], hookusage[], jwtusage[], otpusage[], sigusage[];
#endif
