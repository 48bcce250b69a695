// Undoing URL form encoding: '+' for a space and '%' with two characters
// for a byte.
#include <cstring>

#include "urlcode.h"

void plustospace(char *s)
{
	size_t len = strlen(s);

	// Written as a store to every byte, the loop vectorizes.
	for (size_t i = 0; i < len; i++)
		s[i] = s[i] == '+' ? ' ' : s[i];
}

// The value of one escape character. Bytes above '@' in the 7-bit range
// have bit 0x20 cleared, which folds a lower-case letter to upper case (and
// '`', '{', '|', '}', '~' and DEL onto '@', '[', '\', ']', '^' and '_'), and
// count from 'A' as 10; every other byte, 0x80 and up included, counts from
// '0'. Nothing is rejected, so malformed escapes decode by the same
// arithmetic. The byte is taken as unsigned here, so the result does not
// depend on whether plain char is signed; only the low eight bits of the
// value are ever used.
static unsigned digit(char c)
{
	unsigned u = static_cast<unsigned char>(c);

	if (u > 0x40 && u < 0x80)
		return (u & 0xDF) - 0x37;
	return u - 0x30;
}

char x2c(const char *what)
{
	return static_cast<char>((digit(what[0]) * 16 + digit(what[1])) & 0xFF);
}

// Two passes. The first writes each escape's byte over the escape's first
// character and moves on by one, so a decoded byte is examined like any
// other: a decoded '%' starts an escape of its own, and a decoded NUL ends
// the pass. The second closes the gaps, taking the byte after each '%' and
// stepping over the two characters that followed it.
//
// A '%' among the last two bytes of the string has no two characters after
// it. Neither pass takes it as an escape, so it is kept as it stands and
// nothing beyond the terminator is read or written.
void unescape_url(char *url)
{
	char *first = strchr(url, '%');

	if (first == nullptr)
		return;

	size_t start = static_cast<size_t>(first - url);
	size_t len = start + strlen(first);	// strchr has scanned up to first
	size_t last = len >= 2 ? len - 2 : 0;	// an escape starts below this

	for (size_t i = start; url[i] != '\0'; i++)
		if (url[i] == '%' && i < last)
			url[i + 1] = x2c(url + i + 1);

	size_t r = start, w = start;
	for (; url[r] != '\0'; r++, w++) {
		if (url[r] == '%' && r < last) {
			url[w] = url[r + 1];
			r += 2;
		} else {
			url[w] = url[r];
		}
	}
	url[w] = '\0';
}

static bool hexdigit(char c)
{
	return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// One pass, reading only the bytes as given: a '%' that decoding makes is
// written and never looked at again.
void pctdecode(char *s)
{
	char *w = strchr(s, '%');

	if (w == nullptr)
		return;
	for (const char *r = w; *r != '\0'; w++) {
		if (r[0] == '%' && hexdigit(r[1]) && hexdigit(r[2])) {
			*w = x2c(r + 1);
			r += 3;
		} else {
			*w = *r++;
		}
	}
	*w = '\0';
}

// Only the bytes as given are looked at, never what decoding makes of
// them; '+', '&', '=' and the spaces that -b trims are none of them hex
// digits, so the verdict is the same before or after those steps.
const char *badescape(const char *s, size_t *at)
{
	for (const char *p = strchr(s, '%'); p != nullptr; p = strchr(p + 1, '%')) {
		*at = static_cast<size_t>(p - s);
		if (!hexdigit(p[1]) || !hexdigit(p[2]))
			return "'%' not followed by two hex digits";
		if (p[1] == '0' && p[2] == '0')
			return "'%00', a NUL byte";
	}
	return nullptr;
}
