// What a CGI script writes back: text for HTML, a JSON string (text.h's),
// and a Set-Cookie header, each made from bytes exactly. Each routine writes
// its result and a NUL into a buffer that the caller owns, of the size
// that its len function gives, and returns where the NUL is.
#ifndef ANSWER_H
#define ANSWER_H

#include <cstddef>
#include <sys/types.h>

#include "text.h"	// jsonquote

// & < > " ' as &amp; &lt; &gt; &quot; &#x27;, every other byte as it
// stands: safe in HTML text and in a quoted attribute's value.
size_t htmllen(const char *s);
char *htmlescape(char *out, const char *s);

// A Set-Cookie header line, with no CR or LF: the command line, setcookie
// [-p PATH] [-d DOMAIN] [-m MAX-AGE] [-s] [-h] [-S Strict|Lax|None] name
// value, as the program and the builtin take it. argv[0] is the name.
struct cookie {
	const char *name, *value, *path, *domain, *maxage, *samesite;
	bool secure, httponly;
};

extern const char cookieusage[];

// Returns null, or what is wrong in one line: a bad command line, or a
// cookie that the RFCs or the browsers' prefixes refuse.
const char *cookieoptions(int argc, char *const argv[], cookie *c);
size_t cookielen(const cookie *c);
char *setcookie(char *out, const cookie *c);

// A run of htmlescape, jsonquote or setcookie (the tool's own name, which
// argv[0] need not be) on its command line: the result, in memory from
// malloc, or null with *why set to what is wrong, in one line.
char *answer(const char *tool, int argc, char *const argv[], const char **why);
// The line mode of htmlescape or jsonquote, -l or -z alone, each record of
// standard input through eachline with rd and say (as lines.h has them):
// the status, or -1 where the command line asks for none. The programs and
// the builtins run it alike.
int answereach(const char *tool, int argc, char *const argv[], ssize_t (*rd)(int, char *, size_t),
	       void (*say)(const char *, const char *));

#endif
