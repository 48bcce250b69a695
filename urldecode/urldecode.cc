// urldecode: decode one URL-encoded argument and print it, with no newline.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "urlcode.h"

[[noreturn]] static void usage(const char *progname)
{
	usagetext(progname);
	exit(1);
}

[[noreturn]] static void die(const char *what)
{
	fprintf(stderr, "urldecode: %s: %s\n", what, strerror(errno));
	exit(1);
}

int main(int argc, char **argv)
{
	// An empty argument vector is possible, and printf must not see NULL.
	const char *progname = argc > 0 && argv[0] != nullptr ? argv[0] : "urldecode";
	bool blanks, escape;

	const char *arg = options(argc, argv, &blanks, &escape);
	if (arg == nullptr)
		usage(progname);
	char *copy = workcopy(arg);
	if (copy == nullptr)
		die("cannot allocate the working copy");

	printf("%s", decode(copy, blanks, escape));
	free(copy);
	if (!written())
		die("write error");
	return 0;
}
