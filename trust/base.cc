// Hex, base64 and base64url, each read as RFC 4648 writes it and in no
// other way: two decoders that accept different texts for one value are
// how a check in front reads one thing and the code behind it another.
#include "trust.h"

static const char digits[] = "0123456789abcdef";
static const char std64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
static const char url64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

size_t baselen(basekind k, size_t n, bool pad)
{
	if (k == base_hex)
		return 2 * n;
	return pad ? (n + 2) / 3 * 4 : n / 3 * 4 + (n % 3 == 0 ? 0 : n % 3 + 1);
}

size_t baseout(basekind k, char *to, const void *from, size_t n, bool pad)
{
	const unsigned char *p = static_cast<const unsigned char *>(from);
	char *start = to;
	if (k == base_hex) {
		for (size_t i = 0; i < n; i++)
			*to++ = digits[p[i] >> 4], *to++ = digits[p[i] & 15];
	} else {
		const char *a = k == base_64 ? std64 : url64;
		size_t i = 0;
		for (; i + 3 <= n; i += 3) {
			unsigned long v = static_cast<unsigned long>(p[i]) << 16 | static_cast<unsigned long>(p[i + 1]) << 8 | p[i + 2];
			*to++ = a[v >> 18], *to++ = a[v >> 12 & 63], *to++ = a[v >> 6 & 63], *to++ = a[v & 63];
		}
		if (n - i > 0) {
			unsigned long v = static_cast<unsigned long>(p[i]) << 16 | (n - i == 2 ? static_cast<unsigned long>(p[i + 1]) << 8 : 0);
			*to++ = a[v >> 18], *to++ = a[v >> 12 & 63];
			if (n - i == 2)
				*to++ = a[v >> 6 & 63];
			else if (pad)
				*to++ = '=';
			if (pad)
				*to++ = '=';
		}
	}
	*to = '\0';
	return static_cast<size_t>(to - start);
}

// A character's value in the alphabet, or -1.
static int value(basekind k, char c)
{
	if (k == base_hex)
		return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
	if (c >= 'A' && c <= 'Z')
		return c - 'A';
	if (c >= 'a' && c <= 'z')
		return c - 'a' + 26;
	if (c >= '0' && c <= '9')
		return c - '0' + 52;
	if (k == base_64 && (c == '+' || c == '/'))
		return c == '+' ? 62 : 63;
	if (k == base_64url && (c == '-' || c == '_'))
		return c == '-' ? 62 : 63;
	return -1;
}

static const char *stranger(basekind k, char c)
{
	if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
		return "a blank or a line break";
	if (k == base_64 && (c == '-' || c == '_'))
		return "base64url's alphabet in base64";
	if (k == base_64url && (c == '+' || c == '/'))
		return "base64's alphabet in base64url";
	return k == base_hex ? "not a hex digit" : "a character outside the alphabet";
}

static const char *fault(const char *why, size_t at, size_t *len)
{
	*len = at;
	return why;
}

const char *basein(basekind k, basepad pad, const char *from, size_t n, unsigned char *to, size_t *len)
{
	if (k == base_hex) {
		for (size_t i = 0; i < n; i++) {
			if (value(k, from[i] >= 'A' && from[i] <= 'F' ? static_cast<char>(from[i] + 32) : from[i]) < 0)
				return fault(stranger(k, from[i]), i, len);
		}
		if (n % 2 != 0)
			return fault("an odd number of hex digits", n, len);
		for (size_t i = 0; i < n; i += 2) {
			char a = from[i] >= 'A' && from[i] <= 'F' ? static_cast<char>(from[i] + 32) : from[i];
			char b = from[i + 1] >= 'A' && from[i + 1] <= 'F' ? static_cast<char>(from[i + 1] + 32) : from[i + 1];
			to[i / 2] = static_cast<unsigned char>(value(k, a) << 4 | value(k, b));
		}
		*len = n / 2;
		return nullptr;
	}
	size_t d = 0;
	for (; d < n && from[d] != '='; d++)
		if (value(k, from[d]) < 0)
			return fault(stranger(k, from[d]), d, len);
	for (size_t i = d; i < n; i++)
		if (from[i] != '=')
			return fault(value(k, from[i]) >= 0 ? "padding before the end" : stranger(k, from[i]), i, len);
	size_t rem = d % 4, given = n - d, needed = rem == 0 ? 0 : 4 - rem;
	if (rem == 1)
		return fault("a length that no encoding has", d - 1, len);
	if (given > 0 && (pad == pad_never || given != needed))
		return fault(pad == pad_never ? "padding where none belongs" : "wrong padding", d, len);
	if (given == 0 && needed > 0 && pad == pad_must)
		return fault("padding missing", n, len);
	// The last character's bits that no byte takes must be zero, or
	// another text would decode to the same bytes.
	if (rem > 0 && (value(k, from[d - 1]) & (rem == 2 ? 15 : 3)) != 0)
		return fault("bits left over that are not zero (not the canonical encoding)", d - 1, len);
	size_t o = 0;
	unsigned long v = 0;
	for (size_t i = 0; i < d; i++) {
		v = (v << 6 | static_cast<unsigned long>(value(k, from[i]))) & 0xffffff;
		if (i % 4 == 3)
			to[o++] = static_cast<unsigned char>(v >> 16), to[o++] = static_cast<unsigned char>(v >> 8),
			to[o++] = static_cast<unsigned char>(v);
	}
	if (rem >= 2)
		to[o++] = static_cast<unsigned char>(v >> (rem == 2 ? 4 : 10));
	if (rem == 3)
		to[o++] = static_cast<unsigned char>(v >> 2);
	*len = o;
	return nullptr;
}
