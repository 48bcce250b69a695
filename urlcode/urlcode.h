// The URL-encoding routines. Each works in place on a NUL-terminated byte
// string that the caller owns; none allocates, fails or validates, except
// where said.
#ifndef URLCODE_H
#define URLCODE_H

#include <cstddef>
#include <sys/types.h>

// Decoding: these only ever shorten the string.
void plustospace(char *s);
char x2c(const char *what);
void unescape_url(char *url);
// The n bytes at s (no NUL among them) decoded into out, which needs n + 1
// bytes and may be s itself, exactly as plustospace (with plus) and then
// unescape_url would decode a copy of them, but in one pass; returns the
// end of the result (its NUL), and where cut is not null, whether a
// decoded NUL ended it.
char *decodeinto(char *out, const char *s, size_t n, bool plus, bool *cut = nullptr);

// Strict decoding: a '%' that is not followed by two hex digits, or that
// makes a NUL byte, is an error, where unescape_url decodes it by its
// fixed arithmetic. Returns what is wrong with the first such '%' and sets
// *at to its offset in s, or returns null.
const char *badescape(const char *s, size_t *at);

// Decoding as a standard percent-decoder does: each '%' with two hex
// digits, of the string as it stands, becomes its byte, and no decoded
// byte is read again; any other '%' is kept, and with keepnul "%00" too,
// as a shell string cannot hold the NUL.
void pctdecode(char *s, bool keepnul = false);
// The n bytes at s (no NUL among them) decoded so into out, which needs
// n + 1 bytes and may be s itself, with '+' for a space where plus is
// set, as plustospace and then pctdecode would decode a copy; returns the
// end of the result (its NUL).
char *pctdecodeinto(char *out, const char *s, size_t n, bool plus, bool keepnul = false);

// Escaping: the string grows by one byte per metacharacter, so the buffer
// needs room for that many more bytes (twice the length plus one always
// suffices).
extern const char shell_metachars[];
int ind(const char *s, char c);
void escape_shell_cmd(char *cmd);

// How the escapes decode: by the fixed arithmetic of x2c, which reads a
// decoded '%' again; strictly, where a bad escape is an error (badescape
// says which) and nothing is read again; or leniently, as the URL
// Standard's percent-decode and Python's unquote do, a bad escape and
// "%00" kept as they stand.
enum decoding { fixedarith, strictpct, lenientpct };

// The command line, urldecode [-b] [-e] url, as the program takes it:
// argv[0] is the name and argv[argc - 1] the string. Returns the string,
// or null for a bad command line.
const char *options(int argc, char *const argv[], bool *blanks, bool *escape);
// The builtin's, urldecode [-b] [-e] [-s | -k] [-p] url: the string is
// the last argument, even where it reads "-b"; or, where every argument
// is one of those switches, -l or -z among them, the line mode, each
// line (-l) or NUL-ended record (-z) of standard input a string. -p
// decodes a path: '+' stays a plus sign. With dashes, "--" may stand
// right before the string, which is then never the line mode. False for
// a bad command line.
struct decodejob {
	bool blanks, escape, plus;
	decoding how;
	bool lines;		// the line mode, its records ended by sep
	char sep;
	const char *arg;	// null in line mode
};
bool decodeoptions(int argc, char *const argv[], decodejob *job, bool dashes = false);
void usagetext(const char *progname);	// on standard error

// Whether what the program printed reached standard output, which it
// flushes and closes; false with errno set.
bool written();

// Steps of a run. workcopy allocates the working copy of arg, with room to
// escape it, or returns null with errno set; free it. decodeas runs the
// steps in their fixed order on it and returns where the result starts,
// with *cut, where it is not null, set where a decoded NUL ended the
// string; decode is decodeas with strict decoding or the fixed arithmetic.
char *workcopy(const char *arg);
char *trim(char *s);
char *decodeas(char *copy, bool blanks, bool escape, bool plus, decoding how, bool *cut);
char *decode(char *copy, bool blanks, bool escape, bool plus = true, bool strict = false);

// A query string, or a form's POST body: fields split at every '&', empty
// ones skipped, each split at its first '=' (with none, the value is
// empty), and each half decoded by decode's steps, so a decoded NUL ends
// that half alone. nextfield takes the field that starts at *q, moves *q
// past it and points key and value into buf, room for twice the query's
// length and one byte more (as a working copy from workcopy has), where
// the field is copied as it is decoded; false when none is left.
bool nextfield(const char **q, char *buf, bool blanks, bool escape,
	       const char **key, const char **value, decoding how = fixedarith);

// The fields that nextfield (sep '&') or nextcookie (sep ';') would take
// from q, into *n, and their names' and values' bytes as they stand.
void fieldcount(const char *q, char sep, size_t *n, unsigned long long *bytes);
// Whether n fields or values, of bytes of names and values, pass most or
// maxbytes: what the caller would say, in msg (size bytes), or null.
const char *overlimit(size_t n, unsigned long long bytes, unsigned long long most, unsigned long long maxbytes,
		      char *msg, size_t size);

// A Cookie header, "a=1; b=2", as RFC 6265 has browsers send it: fields
// split at every ';', and one with no '=' skipped; each split at its first
// '=', the spaces and tabs around the name and the value dropped (RFC 6265
// section 5.2), then one pair of double quotes from around the value. The
// value is decoded without '+' for a space, since in a cookie '+' is
// data; the name is not decoded at all, so that no escape can make it
// another cookie's name. Taken as nextfield takes a query's fields.
bool nextcookie(const char **h, char *buf, bool blanks, bool escape,
		const char **key, const char **value, decoding how = fixedarith);

// Encoding: every byte but A-Z a-z 0-9 - . _ ~ becomes '%' and two
// upper-case hex digits, and a space becomes '+', or "%20" with rfc, as
// RFC 3986 asks of a URI component. Decoding the result gives s back.
// urlencode writes the result and its terminator to out, which needs
// encodedlen + 1 bytes (three times the length plus one always suffice),
// and returns where the terminator is.
size_t encodedlen(const char *s, bool rfc);
char *urlencode(char *out, const char *s, bool rfc);

// A query string of n fields from keys and values in turn, pairs[2 * i]
// and pairs[2 * i + 1], each encoded, as "k=v&k2=v2"; querylen is its
// length, and makequery writes it as urlencode writes one string.
size_t querylen(char *const *pairs, size_t n, bool rfc);
char *makequery(char *out, char *const *pairs, size_t n, bool rfc);

// The command line, urlencode [-r] string, as the program and the shell
// builtin both take it; the string, or null for a bad command line.
// encodelines says whether it is the program's line mode instead,
// urlencode [-r] -l or -z, each record of standard input a string, ended
// by *sep.
const char *encodeoptions(int argc, char *const argv[], bool *rfc);
bool encodelines(int argc, char *const argv[], bool *rfc, char *sep, const char **why);
void encodeusage(const char *progname);	// on standard error
// With both -l and -z, *why says so, and the command line is bad.
// encodeeach runs the line mode, each record through eachline with rd
// and say (as lines.h has them), and returns its status: the program and
// the builtin run it alike.
int encodeeach(bool rfc, char sep, ssize_t (*rd)(int, char *, size_t), void (*say)(const char *, const char *));

#endif
