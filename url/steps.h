// The command line of urlparse, as the program and the builtin take it:
//   urlparse [-b BASE] [-s] [-r] [-g COMPONENT]... [-S COMPONENT=VALUE]... URL
// or the program's line mode, with -l or -z and no URL, each record of
// standard input one.
#ifndef URL_STEPS_H
#define URL_STEPS_H

#include "url.h"

struct job {
	const char *base, *input;
	bool strict;
	bool target;			// -r: input is a request line's target
	bool lines;			// the line mode, records ended by sep
	char sep;
	size_t *gets;			// the components to print, TAB between them, by
					// their places in components[]
	size_t ngets;
	const char **sets;		// each "COMPONENT=VALUE", in order
	size_t nsets;
};

extern const char urlusage[];

// argv[0] is the name. Returns null, or what is wrong in one line (in why,
// or the usage text); free the job with jobfree either way.
const char *urloptions(int argc, char *const argv[], job *j, str *why);
void jobfree(job *j);

// The URL that the job asks for into u: its base parsed, then the URL
// against it, then each setter run in turn. With strict, what the
// standard calls a validation error fails too. False with the reason in
// why, "WHAT: NAME", WHAT the string that gave it and NAME the standard's
// name for the failure or the error. urlbase and urlinput are its two
// halves, for the line mode, which parses the base once: urlbase parses
// it into base, where there is one; urlinput takes n bytes of input
// against it.
bool urlrun(const job *j, url *u, str *why);
bool urlbase(const job *j, url *base, str *why);
bool urlinput(const job *j, const char *input, size_t n, const url *base, url *u, str *why);

// What the job prints of u: each component it asks for, or the href,
// with a TAB between two; false, and stopped, once out holds more than
// most bytes.
bool urlprint(const job *j, const url *u, str *out, size_t most = ~static_cast<size_t>(0));

// The line mode of j, each record of standard input a URL, through
// eachline with rd and say (as lines.h has them), the base parsed once;
// its status. The program and the builtin run it alike.
int urleach(const job *j, ssize_t (*rd)(int, char *, size_t), void (*say)(const char *, const char *));

#endif
