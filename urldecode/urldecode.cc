// urldecode: decode one URL-encoded argument and print it, with no newline.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "urldecode.h"

[[noreturn]] static void usage(const char *progname)
{
	fprintf(stderr, "Usage:\n%s [-b] [-e] url\n", progname);
	fputs("The -b switch strip off leading and trailing blanks,\n"
	      "the -e switch automatically escapes shell characters like ^ and &,\n"
	      "and url is the encoded url string\n", stderr);
	exit(1);
}

[[noreturn]] static void die(const char *what)
{
	fprintf(stderr, "urldecode: %s: %s\n", what, strerror(errno));
	exit(1);
}

// Only the space byte is a blank: tab, CR and LF are data. Returns the new
// start of the string.
static char *trim(char *s)
{
	while (*s == ' ')
		s++;
	size_t n = strlen(s);
	while (n > 0 && s[n - 1] == ' ')
		s[--n] = '\0';
	return s;
}

int main(int argc, char **argv)
{
	// An empty argument vector is possible, and printf must not see NULL.
	const char *progname = argc > 0 && argv[0] != nullptr ? argv[0] : "urldecode";
	bool blanks = false, escape = false;

	if (argc < 2 || argc > 4)
		usage(progname);
	// The last argument is always the string, even when it reads "-b".
	for (int i = 1; i < argc - 1; i++) {
		if (strcmp(argv[i], "-b") == 0)
			blanks = true;
		else if (strcmp(argv[i], "-e") == 0)
			escape = true;
		else
			usage(progname);
	}

	// Decoding only shortens the string; escaping at most doubles it.
	size_t len = strlen(argv[argc - 1]);
	char *copy = static_cast<char *>(malloc(2 * len + 1));
	if (copy == nullptr)
		die("cannot allocate the working copy");
	memcpy(copy, argv[argc - 1], len + 1);

	// The order is fixed: blanks that were '+' are trimmed, "%20" is not, and
	// whatever decoding produces gets escaped.
	plustospace(copy);
	char *s = blanks ? trim(copy) : copy;
	unescape_url(s);
	if (escape)
		escape_shell_cmd(s);

	printf("%s", s);
	free(copy);
	// A result that never reached its reader is a failure, whether the
	// print, the flush or the close found out. Closing an already closed
	// stdout with nothing to write loses nothing.
	if (fflush(stdout) != 0 || ferror(stdout))
		die("write error");
	if (fclose(stdout) != 0 && errno != EBADF)
		die("write error");
	return 0;
}
