// The command line of httphead, as the program and the builtin take it:
//   httphead [-s] [-m BYTES] [-F FIELDS] [-g NAME] [file]
//   httphead -t TYPE [-s] [-b BASE] [-n NOW] [-g KEY] [-l | -z | [--] VALUE...]
#ifndef HTTPJOB_H
#define HTTPJOB_H

#include <sys/types.h>

#include "http.h"

struct headjob {
	const char *type;	// -t, null for a head
	fieldreader *read;
	const char *get;	// -g
	const char *base;	// -b
	long long now;		// -n, or the clock
	bool nowgiven;
	headlimits lim;		// -m, -F, -s
	bool lines;		// -l or -z, records ended by sep
	char sep;
	char *const *values;	// a head's file (one, or none: standard input), or -t's values
	size_t nvalues;
};

extern const char headusage[];

// argv[0] is the name. Returns null, or what is wrong in one line.
const char *headoptions(int argc, char *const argv[], headjob *j);

// The head (from the file, or from fd 0 with rd), or the values joined,
// read into o. Null, or why it was refused.
const char *headrun(const headjob *j, ssize_t (*rd)(int, char *, size_t), httpout *o);
// -b's URL into base (initialised), where there is one; false with *why.
bool headbase(const headjob *j, url *base, const char **why);
// One value of n bytes by -t's grammar into o.
const char *headvalue(const headjob *j, const url *base, const char *s, size_t n, httpout *o);

// What the program prints of o, appended to out: -g's value (each
// Set-Cookie line ended by a newline), or by default a head's status, a
// date's or delay's seconds, the file name, a structured field's
// canonical form, or each link and challenge's pairs as "KEY<TAB>VALUE"
// lines. Null, or why there is nothing to print.
const char *headprint(const headjob *j, const httpout *o, jsonbuf *out);

// -l or -z: each record of standard input a value, through eachline.
int headeach(const headjob *j, ssize_t (*rd)(int, char *, size_t), void (*say)(const char *, const char *));

#endif
