// What a CGI script writes back: text for HTML, a JSON string, and a
// Set-Cookie header, each made from bytes exactly. Each routine writes
// its result and a NUL into a buffer that the caller owns, of the size
// that its len function gives, and returns where the NUL is.
#ifndef ANSWER_H
#define ANSWER_H

#include <cstddef>

// & < > " ' as &amp; &lt; &gt; &quot; &#x27;, every other byte as it
// stands: safe in HTML text and in a quoted attribute's value.
size_t htmllen(const char *s);
char *htmlescape(char *out, const char *s);

// One JSON string literal, quotes included, as Python's json.dumps with
// ensure_ascii=False writes it, and then < > & U+2028 U+2029 as \u
// escapes, so that it is safe in a <script> too. s must be UTF-8:
// utf8bad returns the offset of the first byte that is not, or -1.
long utf8bad(const char *s);
// The UTF-8 sequence at s, of at most avail bytes: its code point, and its
// length in *len; or -1 where it is none (an overlong form, a surrogate, a
// code point past U+10FFFF, a byte that cannot start or continue one, a
// sequence cut short).
long utf8point(const unsigned char *s, size_t avail, size_t *len);
size_t jsonlen(const char *s);
char *jsonquote(char *out, const char *s);
// The escaped body of n bytes at s, with no quotes, written to out where
// it is not null; returns its length.
size_t jsonbody(char *out, const char *s, size_t n);

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

#endif
