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

static const decodejob plain = {false, false, true, fixedarith, false, '\n', nullptr};

// A switch of a single call, or with lines, of the line mode too; false
// where it is none, or clashes with one before it.
static bool flag(const char *a, decodejob *job, bool lines)
{
	if (a[0] != '-' || a[1] == '\0' || a[2] != '\0')
		return false;
	decoding how = a[1] == 's' ? strictpct : lenientpct;
	char sep = a[1] == 'l' ? '\n' : '\0';
	switch (a[1]) {
	case 'b':
		return job->blanks = true;
	case 'e':
		return job->escape = true;
	case 'p':
		job->plus = false;
		return true;
	case 's':
	case 'k':
		if (job->how != fixedarith && job->how != how)
			return false;
		job->how = how;
		return true;
	case 'l':
	case 'z':
		if (!lines || (job->lines && job->sep != sep))
			return false;
		job->lines = true;
		job->sep = sep;
		return true;
	}
	return false;
}

// As many of -b and -e as the program takes, two, besides the string.
static int blankescapes(int argc, char *const argv[])
{
	int n = 0;
	for (int i = 1; i < argc; i++)
		n += strcmp(argv[i], "-b") == 0 || strcmp(argv[i], "-e") == 0;
	return n;
}

bool decodeoptions(int argc, char *const argv[], decodejob *job, bool dashes)
{
	*job = plain;
	bool lines = argc >= 2;
	for (int i = 1; i < argc && lines; i++)
		lines = flag(argv[i], job, true);
	if (lines && job->lines)
		return blankescapes(argc, argv) <= 2;
	*job = plain;
	if (argc < 2 || blankescapes(argc - 1, argv) > 2)
		return false;
	// The last argument is always the string, even when it reads "-b";
	// the builtin takes "--" right before it too.
	for (int i = 1; i < argc - 1; i++)
		if (!(dashes && i == argc - 2 && strcmp(argv[i], "--") == 0) && !flag(argv[i], job, false))
			return false;
	job->arg = argv[argc - 1];
	return true;
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
char *decodeas(char *copy, bool blanks, bool escape, bool plus, decoding how, bool *cut)
{
	bool nul = false;
	if (plus)
		plustospace(copy);
	char *s = blanks ? trim(copy) : copy;
	char *first = strchr(s, '%');
	if (first != nullptr && how == fixedarith)
		decodeinto(first, first, strlen(first), false, &nul);
	else if (first != nullptr)
		pctdecodeinto(first, first, strlen(first), false, how == lenientpct);
	if (escape)
		escape_shell_cmd(s);
	if (cut != nullptr)
		*cut = nul;
	return s;
}

char *decode(char *copy, bool blanks, bool escape, bool plus, bool strict)
{
	return decodeas(copy, blanks, escape, plus, strict ? strictpct : fixedarith, nullptr);
}
