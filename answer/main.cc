// htmlescape, jsonquote and setcookie, the program that each is: TOOL
// names it. Each writes its result with no newline; with -l or -z, the
// first two take each record of standard input.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "answer.h"
#include "lines.h"
#include "urlcode.h"

#define NAME_(t) #t
#define NAME(t) NAME_(t)

static const char *record(void *arg, char *rec, size_t, lineout *out)
{
	static char bad[64];
	bool html = *static_cast<bool *>(arg);
	long at = html ? -1 : utf8bad(rec);
	if (at >= 0) {
		snprintf(bad, sizeof bad, "byte offset %ld: not UTF-8", at);
		return bad;
	}
	char *to = lineroom(out, html ? htmllen(rec) : jsonlen(rec));
	if (to != nullptr)
		out->n = static_cast<size_t>((html ? htmlescape(to, rec) : jsonquote(to, rec)) - out->p);
	return nullptr;
}

int main(int argc, char **argv)
{
	bool html = strcmp(NAME(TOOL), "htmlescape") == 0;
	if ((html || strcmp(NAME(TOOL), "jsonquote") == 0) && argc == 2 &&
	    (strcmp(argv[1], "-l") == 0 || strcmp(argv[1], "-z") == 0))
		return eachline(NAME(TOOL), argv[1][1] == 'l' ? '\n' : '\0', record, &html);
	const char *why;
	char *out = answer(NAME(TOOL), argc, argv, &why);
	if (out == nullptr) {
		fprintf(stderr, NAME(TOOL) ": %s\n", why);
		return 1;
	}
	fputs(out, stdout);
	free(out);
	if (!written()) {
		fprintf(stderr, NAME(TOOL) ": write error: %s\n", strerror(errno));
		return 1;
	}
	return 0;
}
