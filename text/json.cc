// A JSON string literal from UTF-8, as RFC 8259 has it: only what must be
// escaped is, in the forms that Python's json.dumps chooses, and then what
// would end a <script> element or a line of JavaScript; and the check that
// a string is UTF-8, which it asks of what it is given.
#include <cstring>

#include "text.h"

// The length of the UTF-8 sequence at s, of at most avail bytes, or 0
// where it is not one.
static size_t sequence(const unsigned char *s, size_t avail)
{
	size_t n;
	return utf8point(s, avail, &n) < 0 ? 0 : n;
}

long utf8bad(const char *s)
{
	const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
	size_t len = strlen(s);
	for (size_t i = 0; i < len;) {
		size_t n = sequence(p + i, len - i);
		if (n == 0)
			return static_cast<long>(i);
		i += n;
	}
	return -1;
}

// The escape for the character at s, of n bytes, into e, or false where it
// stands as it is.
static bool escape(const char *s, size_t n, char e[7])
{
	unsigned char c = static_cast<unsigned char>(s[0]);
	const char *two = c == '"' ? "\\\"" : c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" :
			  c == '\t' ? "\\t" : c == '\b' ? "\\b" : c == '\f' ? "\\f" : nullptr;
	if (two != nullptr) {
		memcpy(e, two, 3);
		return true;
	}
	unsigned u = c;
	if (n == 3 && c == 0xE2 && static_cast<unsigned char>(s[1]) == 0x80 &&
	    (static_cast<unsigned char>(s[2]) == 0xA8 || static_cast<unsigned char>(s[2]) == 0xA9))
		u = 0x2000 + (static_cast<unsigned char>(s[2]) & 0x7F);	// U+2028, U+2029
	else if (n != 1 || (c >= 0x20 && c != '<' && c != '>' && c != '&'))
		return false;
	static const char hex[] = "0123456789abcdef";
	e[0] = '\\';
	e[1] = 'u';
	for (int k = 0; k < 4; k++)
		e[2 + k] = hex[(u >> (12 - 4 * k)) & 15];
	e[6] = '\0';
	return true;
}

// Whether each byte stands for itself, with no look at what follows it.
struct plainbytes {
	bool is[256];
	constexpr plainbytes() : is()
	{
		for (unsigned u = 0x20; u < 0x80; u++)
			is[u] = u != '"' && u != '\\' && u != '<' && u != '>' && u != '&';
	}
};
static constexpr plainbytes plain;

size_t jsonbody(char *out, const char *s, size_t len)
{
	char e[7];
	size_t at = 0;
	for (size_t i = 0; i < len;) {
		// Most of a text is runs of such bytes, copied whole.
		size_t run = i;
		while (run < len && plain.is[static_cast<unsigned char>(s[run])])
			run++;
		if (run > i) {
			if (out != nullptr)
				memcpy(out + at, s + i, run - i);
			at += run - i;
			i = run;
			continue;
		}
		size_t n = sequence(reinterpret_cast<const unsigned char *>(s + i), len - i);
		n = n == 0 ? 1 : n;
		const char *from = s + i;
		size_t k = n;
		if (escape(s + i, n, e)) {
			from = e;
			k = strlen(e);
		}
		if (out != nullptr)
			memcpy(out + at, from, k);
		at += k;
		i += n;
	}
	return at;
}

size_t jsonlen(const char *s)
{
	return jsonbody(nullptr, s, strlen(s)) + 2;
}

char *jsonquote(char *out, const char *s)
{
	*out++ = '"';
	out += jsonbody(out, s, strlen(s));
	*out++ = '"';
	*out = '\0';
	return out;
}
