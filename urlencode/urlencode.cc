// urlencode: URL-encode one argument and print it, with no newline; or
// with -l or -z, each record of standard input.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lines.h"
#include "urlcode.h"

[[noreturn]] static void usage(const char *progname)
{
	encodeusage(progname);
	exit(1);
}

[[noreturn]] static void die(const char *what)
{
	fprintf(stderr, "urlencode: %s: %s\n", what, strerror(errno));
	exit(1);
}

int main(int argc, char **argv)
{
	// An empty argument vector is possible, and printf must not see NULL.
	const char *progname = argc > 0 && argv[0] != nullptr ? argv[0] : "urlencode";
	bool rfc;
	char sep;
	const char *why;
	if (encodelines(argc, argv, &rfc, &sep, &why)) {
		if (why != nullptr) {
			lineprogram("urlencode", why);
			return 1;
		}
		return encodeeach(rfc, sep, nullptr, lineprogram);
	}
	const char *arg = encodeoptions(argc, argv, &rfc);
	if (arg == nullptr)
		usage(progname);
	char *out = static_cast<char *>(malloc(encodedlen(arg, rfc) + 1));
	if (out == nullptr)
		die("cannot allocate the result");
	urlencode(out, arg, rfc);

	fputs(out, stdout);
	free(out);
	if (!written())
		die("write error");
	return 0;
}
