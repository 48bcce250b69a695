// A run of urldecode from its command line to its result, shared by the
// program and the shell builtin, which differ only in how they end.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "urlcode.h"

const char *options(int argc, char *const argv[], bool *blanks, bool *escape)
{
	*blanks = *escape = false;
	if (argc < 2 || argc > 4)
		return nullptr;
	// The last argument is always the string, even when it reads "-b".
	for (int i = 1; i < argc - 1; i++) {
		if (strcmp(argv[i], "-b") == 0)
			*blanks = true;
		else if (strcmp(argv[i], "-e") == 0)
			*escape = true;
		else
			return nullptr;
	}
	return argv[argc - 1];
}

void usagetext(const char *progname)
{
	fprintf(stderr, "Usage:\n%s [-b] [-e] url\n", progname);
	fputs("The -b switch strip off leading and trailing blanks,\n"
	      "the -e switch automatically escapes shell characters like ^ and &,\n"
	      "and url is the encoded url string\n", stderr);
}

// Decoding only shortens the string; escaping at most doubles it.
char *workcopy(const char *arg)
{
	size_t len = strlen(arg);

	if (len > (SIZE_MAX - 1) / 2) {
		errno = ENOMEM;
		return nullptr;
	}
	char *copy = static_cast<char *>(malloc(2 * len + 1));
	if (copy != nullptr)
		memcpy(copy, arg, len + 1);
	return copy;
}

// Only the space byte is a blank: tab, CR and LF are data. Returns the new
// start of the string.
char *trim(char *s)
{
	while (*s == ' ')
		s++;
	size_t n = strlen(s);
	while (n > 0 && s[n - 1] == ' ')
		s[--n] = '\0';
	return s;
}

// The order is fixed: blanks that were '+' are trimmed, "%20" is not, and
// whatever decoding produces gets escaped.
char *decode(char *copy, bool blanks, bool escape, bool plus, bool strict)
{
	if (plus)
		plustospace(copy);
	char *s = blanks ? trim(copy) : copy;
	if (strict)
		pctdecode(s);
	else
		unescape_url(s);
	if (escape)
		escape_shell_cmd(s);
	return s;
}
