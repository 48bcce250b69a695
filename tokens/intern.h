// Between the tools' files: a command line read into a job, keys read
// from files and variables, and growing buffers that are wiped when freed.
#ifndef TOKENS_INTERN_H
#define TOKENS_INTERN_H
#include <cstddef>

#include "tokens.h"
#include "trust.h"

enum { keysmost = 8, keybytes = 65536, inputmost = 64 << 20, tokenmost = 1024, headersmost = 32 };

// A message made for the caller, of up to six pieces, in msg; a number
// in decimal, for one of them.
extern char msg[256];
const char *says(const char *a, const char *b, const char *c = "", const char *d = "", const char *e = "",
		 const char *f = "");
const char *decimal(unsigned long long v);
// strcmp's answer to whether a and b are equal, by hand.
bool same(const char *a, const char *b);

// A growing buffer of bytes, wiped whenever it is given back: more makes
// room for n more and a NUL (false where memory runs out), drop frees it.
struct bytes {
	unsigned char *p;
	size_t n, cap;
};
bool more(bytes *b, size_t n);
void drop(bytes *b);
// All of fd, at most most bytes; null, or what went wrong ("too long").
const char *slurp(int fd, bytes *b, size_t most);

// A command line. Names that a tool alone reads (-a, -S) are kept as
// they stand, for it to read, so that no tool's program takes another's
// code.
struct job {
	bool decode, urlsafe, b64out, keepnl;
	const char *url;		// hookverify's -u
	const char *algname, *schemename;
	basekind keyform;
	const char *expect, *string;
	const char *keyfiles[keysmost], *keyvars[keysmost];
	int nfiles, nvars;
	unsigned long count;
	long long tolerance;
	const char *headers[headersmost];
	int nheaders;
	const char *issuer, *audience, *required;	// jwtoken's -I, -U, -R
	const char *replays;		// hookverify's -R
	long long again;		// and -r
	long waitms;			// hookverify's -t, 0 for no bound
	const char *waitname;		// as it was given
};
const char *options(const char *tool, int argc, char *const argv[], job *j);
// The keys of -K and -k, as -f says they are written, into keys; null, or
// what is wrong. var is null for a program.
const char *loadkeys(const job *j, keyvarfn *var, bytes *keys);
// n bytes of s and a NUL, in memory from malloc, *len set; or null.
char *result(const char *s, size_t n, size_t *len);
#endif
