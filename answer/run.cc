// A run of one of the three tools from its command line to its result,
// shared by their programs and builtins.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "answer.h"
#include "lines.h"

char *answer(const char *tool, int argc, char *const argv[], const char **why)
{
	static char bad[64];
	cookie c;
	bool html = strcmp(tool, "htmlescape") == 0, json = strcmp(tool, "jsonquote") == 0;
	*why = nullptr;
	if (html || json) {
		// The one argument is the string, even where it reads "-v", but
		// for -l and -z, the line mode, which answereach runs; after "--",
		// whatever it reads.
		bool dashes = argc == 3 && strcmp(argv[1], "--") == 0;
		if (argc != 2 && !dashes) {
			*why = html ? "usage: htmlescape [--] string" : "usage: jsonquote [--] string";
			return nullptr;
		}
		argv += dashes ? 1 : 0;
		long at = json ? utf8bad(argv[1]) : -1;
		if (at >= 0) {
			snprintf(bad, sizeof bad, "byte offset %ld: not UTF-8", at);
			*why = bad;
			return nullptr;
		}
	} else if ((*why = cookieoptions(argc, argv, &c)) != nullptr) {
		return nullptr;
	}
	size_t n = html ? htmllen(argv[1]) : json ? jsonlen(argv[1]) : cookielen(&c);
	char *out = static_cast<char *>(malloc(n + 1));
	if (out == nullptr)
		*why = "cannot allocate the result";
	else if (html)
		htmlescape(out, argv[1]);
	else if (json)
		jsonquote(out, argv[1]);
	else
		setcookie(out, &c);
	return out;
}

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

int answereach(const char *tool, int argc, char *const argv[], linereader *rd, linesay *say)
{
	bool html = strcmp(tool, "htmlescape") == 0;
	if ((!html && strcmp(tool, "jsonquote") != 0) || argc != 2 || (strcmp(argv[1], "-l") != 0 && strcmp(argv[1], "-z") != 0))
		return -1;
	return eachline(tool, argv[1][1] == 'l' ? '\n' : '\0', record, &html, rd, say);
}
