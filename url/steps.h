// The command line of urlparse, as the program and the builtin take it:
//   urlparse [-b BASE] [-s] [-g COMPONENT] [-S COMPONENT=VALUE]... URL
#ifndef URL_STEPS_H
#define URL_STEPS_H

#include "url.h"

struct job {
	const char *base, *input, *get;	// get: the component to print, or null
	bool strict;
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
// name for the failure or the error.
bool urlrun(const job *j, url *u, str *why);

#endif
