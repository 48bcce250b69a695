// URLs taken apart, resolved against a base and put back together as
// browsers do: the WHATWG URL Standard's basic URL parser, its host
// parser, serializer and the URL API's getters and setters. Input is
// bytes, read as UTF-8; every result is ASCII. Nothing here reads the
// environment or keeps state between calls, but for libidn2, which is
// loaded the first time a host needs it.
#ifndef URL_H
#define URL_H

#include <cstddef>

// A string that grows: p holds n bytes and a NUL, or is null while empty.
// An allocation that fails sets bad and drops what comes after, so a
// caller checks once, at the end. Strings that share a budget point room
// at the bytes they may still take between them, or leave it null for no
// bound; growing past it sets over as well as bad, and takes nothing.
struct str {
	char *p;
	size_t n, cap;
	bool bad, over;
	size_t *room;
};

// Inline where there is room already, as most of a URL is added a few
// bytes at a time; grow makes the room, or marks the string bad. Up to
// 16 bytes go in two copies of a fixed size that may overlap, which the
// compiler makes moves of its own.
void grow(str *s, const char *b, size_t n);
inline void add(str *s, const char *b, size_t n)
{
	if (s->n + n < s->cap && n <= 16 && !s->bad) {
		char *d = s->p + s->n;
		if (n >= 8) {
			__builtin_memcpy(d, b, 8);
			__builtin_memcpy(d + n - 8, b + n - 8, 8);
		} else if (n >= 4) {
			__builtin_memcpy(d, b, 4);
			__builtin_memcpy(d + n - 4, b + n - 4, 4);
		} else {
			for (size_t i = 0; i < n; i++)
				d[i] = b[i];
		}
		s->n += n;
		s->p[s->n] = '\0';
	} else {
		grow(s, b, n);
	}
}
inline void addc(str *s, char c)
{
	if (s->n + 1 < s->cap && !s->bad) {
		s->p[s->n++] = c;
		s->p[s->n] = '\0';
	} else {
		grow(s, &c, 1);
	}
}
void addz(str *s, const char *z);
inline void clear(str *s)
{
	s->n = 0;
	if (s->p != nullptr)
		s->p[0] = '\0';
}
void release(str *s);
inline const char *text(const str *s)		// never null
{
	return s->p != nullptr ? s->p : "";
}

// The string functions that the parser needs, its own, since each of
// the C library's that a program calls costs it a symbol to bind when it
// starts: a string's length, and where a byte other than NUL first
// stands in one, or null (whether two are the same is text/'s samestr).
size_t length(const char *z);
const char *findc(const char *z, char c);

enum hosttype { nohost, domainhost, ipv4host, ipv6host, opaquehost, emptyhost };

// A URL record. The host is kept serialized. A path that is a list is
// kept as its serialization, "/a/b", one '/' before each segment (no
// segment holds one), and an opaque path as it stands.
struct url {
	str scheme, username, password, host, path, query, fragment;
	hosttype host_type;
	long port;		// -1 for none
	bool opaque;		// the path is opaque
	bool hasquery, hasfragment;
	// The most memory that taking a URL apart may hold, its copy of the
	// input, the parser's buffer and the parts together, or 0 for no
	// bound; and what is left of it. Past it the parse fails "too-long",
	// as a caller that keeps to a memory bound sets it.
	size_t most, room;
};

void urlinit(url *u);
void urlfree(url *u);
bool urlcopy(url *to, const url *from);

// How a parse went: the first validation error, by the standard's name
// for it ("invalid-reverse-solidus"), or null; and the failure, or null.
// Input that is not UTF-8 is read with U+FFFD for each bad sequence, as a
// browser decodes it, and reported as "not-UTF-8" (a name of our own).
// Other errors of our own name what the standard accepts but other
// readers (curl, Python, IDNA 2003) take with another scheme or host:
// "scheme-missing-following-solidus" and "non-special-host-missing", a
// scheme with no "//" after it; "opaque-host-percent-encoded" and
// "opaque-host-non-ASCII"; "IDNA-deviation", a host holding ß, ς, ZWJ,
// ZWNJ or U+1E9E; "IDNA-2008-disallowed" and
// "IDNA-unassigned-in-Unicode-3.2", as toascii has them;
// "file-host-empty-extra-solidus", a file URL with an empty host whose
// path starts with an empty segment, "file:////x", which others read as
// having the host x; "dot-segment-percent-encoded", a "." or ".." segment
// written with "%2e", which others keep as it stands. A failure of our
// own: "too-long", past the bound that a caller set in the URL's most.
struct report {
	const char *error;
	const char *failure;
	const char *detail;	// what a domain-to-ASCII failure was, or null
};

// The basic URL parser, on n bytes of input: a new URL into u (which
// must be initialised, and is emptied), relative to base where that is
// not null. Returns false with r->failure set. A caller that must be
// strict refuses what gave r->error.
bool parseurl(const char *input, size_t n, const url *base, url *u, report *r);

// The API's components by name, as the URL class gives them: href,
// origin, protocol, username, password, host, hostname, port, pathname,
// search, hash. get appends the component to out, and returns false for
// a name that is none of them; set runs that component's setter, and
// returns false for a name that has none (origin, or none at all), or
// where the href setter fails, with r->failure set.
extern const char *const components[];
// The place in components of the one whose name is the n bytes at name,
// or -1.
long componentno(const char *name, size_t n);
bool urlget(const url *u, const char *name, str *out);
// The same by the name's place in components, as a caller that asks for
// one again and again finds it once.
bool urlgetno(const url *u, size_t k, str *out);
bool urlset(url *u, const char *name, const char *value, size_t n, report *r);

// The serialization, the href.
void serialize(const url *u, str *out);

// International domain names, by UTS #46 as the standard asks, through
// libidn2, which is loaded on the first call: the ASCII form of n bytes
// of UTF-8 into out. Returns null, or why it failed. strict checks
// hyphens, STD3 rules and lengths too, as beStrict asks. *odd is null,
// or one of our error names for a name that other readers map otherwise:
// "IDNA-2008-disallowed", a name that IDNA 2008 (RFC 5892) does not allow
// once mapped; "IDNA-unassigned-in-Unicode-3.2", one that holds, as it
// came or as it was mapped, a code point that IDNA 2003 does not know.
const char *toascii(const char *domain, size_t n, bool strict, str *out, const char **odd);

#endif
