// The pieces of HTTP's grammar that the field readers share (RFC 9110
// section 5.6), on a cursor over a value.
#ifndef HTTP_INTERN_H
#define HTTP_INTERN_H

#include <cstddef>
#include <cstring>

#include "json.h"

inline bool tchar(unsigned char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
	       (c != '\0' && strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

inline bool blank(char c)
{
	return c == ' ' || c == '\t';
}

// A field value's bytes: visible ASCII, obs-text, spaces and tabs; no
// other control character, NUL, CR and LF among them.
inline bool valuebyte(unsigned char c)
{
	return c >= 0x20 ? c != 0x7f : c == '\t';
}

inline char lower(char c)
{
	return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct cur {
	const char *s;
	size_t i, n;
};

inline bool more(const cur *c)
{
	return c->i < c->n;
}
inline char peek(const cur *c)
{
	return c->i < c->n ? c->s[c->i] : '\0';
}
inline void ows(cur *c)
{
	while (c->i < c->n && blank(c->s[c->i]))
		c->i++;
}
// A token's length where the cursor is (0 where there is none), the
// cursor moved past it.
inline size_t token(cur *c)
{
	size_t from = c->i;
	while (c->i < c->n && tchar(static_cast<unsigned char>(c->s[c->i])))
		c->i++;
	return c->i - from;
}

// A quoted-string where the cursor is, at its DQUOTE: its content,
// unescaped, into out; false where it is none (no end, a control
// character, a backslash before one).
bool quoted(cur *c, jsonbuf *out);

// An ext-value of RFC 8187 (charset'language'pct-encoded), the n bytes at
// s: its text as UTF-8 into out. Null, or why it is none.
const char *extvalue(const char *s, size_t n, jsonbuf *out);

// The day count of a civil date from 1970-01-01, proleptic Gregorian.
long long daysfrom(long long y, unsigned m, unsigned d);

#endif
