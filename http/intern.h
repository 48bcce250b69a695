// The pieces of HTTP's grammar that the field readers share (RFC 9110
// section 5.6), on a cursor over a value.
#ifndef HTTP_INTERN_H
#define HTTP_INTERN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "json.h"
#include "words.h"

// A token's bytes, looked up: a field name's bytes are looked at one by
// one, and every head holds tens of them.
struct bytetable {
	bool t[256];
};
constexpr bytetable tokenbytes()
{
	bytetable b = {};
	for (int c = 0; c < 256; c++)
		b.t[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
	for (const char *p = "!#$%&'*+-.^_`|~"; *p != '\0'; p++)
		b.t[static_cast<unsigned char>(*p)] = true;
	return b;
}
inline constexpr bytetable tokens = tokenbytes();
inline bool tchar(unsigned char c)
{
	return tokens.t[c];
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

// The offset of the first of the n bytes at s that a value may not hold,
// or n: words of eight with no byte below 0x20 and no DEL are passed at
// once, as a head is mostly values; a word that holds one, a tab
// perhaps, is looked at a byte at a time. A byte below 0x20 (and not
// 0x80 or over) sets its top bit in w less 0x20 each, and DEL is zero in
// w xor 0x7F each.
inline size_t valuebad(const char *s, size_t n)
{
	size_t i = 0;
	for (; i + 8 <= n; i += 8) {
		uint64_t w = loadword(s + i);
		if ((((w - byteones * 0x20) & ~w & (byteones * 0x80)) | zerobytes(w ^ (byteones * 0x7f))) == 0)
			continue;
		for (size_t k = i; k < i + 8; k++)
			if (!valuebyte(static_cast<unsigned char>(s[k])))
				return k;
	}
	for (; i < n; i++)
		if (!valuebyte(static_cast<unsigned char>(s[i])))
			return i;
	return n;
}

inline char lower(char c)
{
	return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether c, not NUL, is one of set's bytes; and whether n bytes are the
// same without regard to ASCII case. Loops of their own: each function of
// the C library that a program calls is a symbol to bind when it starts.
inline bool among(char c, const char *set)
{
	for (; c != '\0' && *set != '\0'; set++)
		if (*set == c)
			return true;
	return false;
}
inline bool samecase(const char *a, const char *b, size_t n)
{
	for (size_t i = 0; i < n; i++)
		if (lower(a[i]) != lower(b[i]))
			return false;
	return true;
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


#endif
