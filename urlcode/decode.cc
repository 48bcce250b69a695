// Undoing URL form encoding: '+' for a space and '%' with two characters
// for a byte.
#include <cstdint>
#include <cstring>

#include "urlcode.h"
#include "words.h"

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
static constexpr unsigned udigit(unsigned u)
{
	return u > 0x40 && u < 0x80 ? (u & 0xDF) - 0x37 : u - 0x30;
}

static unsigned digit(char c)
{
	return udigit(static_cast<unsigned char>(c));
}

// For decodeinto, by byte: the byte as plustospace leaves it, without and
// with '+' for a space, and the value of that as an escape's character.
struct bytetables {
	unsigned char conv[2][256], value[2][256];
	constexpr bytetables() : conv(), value()
	{
		for (unsigned plus = 0; plus < 2; plus++) {
			for (unsigned c = 0; c < 256; c++) {
				unsigned b = plus != 0 && c == '+' ? ' ' : c;
				conv[plus][c] = static_cast<unsigned char>(b);
				value[plus][c] = static_cast<unsigned char>(udigit(b) & 0xFF);
			}
		}
	}
};
static constexpr bytetables tables;

char x2c(const char *what)
{
	return static_cast<char>((digit(what[0]) * 16 + digit(what[1])) & 0xFF);
}

// Where the first '%' stands from u[r] on, or n: eight bytes at a time.
static inline size_t pctat(const unsigned char *u, size_t r, size_t n)
{
	for (; r + 8 <= n; r += 8) {
		uint64_t z = zerobytes(loadword(u + r) ^ byteones * '%');
		if (z == 0)
			continue;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
		return r + lowestflag(z);
#else
		break;
#endif
	}
	while (r < n && u[r] != '%')
		r++;
	return r;
}

// n bytes with no '%' among them to w, each as conv has it, eight at a
// time where it can: with plus, a '+' of them becomes a space. Each eight
// are read before they are written, and w is never past u, so the bytes
// may be moved down within one string. Returns the end.
static inline char *plainrun(char *w, const unsigned char *u, size_t n, bool plus, const unsigned char *conv)
{
	size_t i = 0;
	for (; i + 8 <= n; i += 8) {
		uint64_t b = loadword(u + i);
		if (plus) {
			// A one in each '+' byte, made 0x0B, which turns '+' to ' '.
			uint64_t m = zerobytes(b ^ byteones * '+') >> 7;
			b ^= m << 3 | m << 1 | m;
		}
		__builtin_memcpy(w + i, &b, 8);
	}
	for (; i < n; i++)
		w[i] = static_cast<char>(conv[u[i]]);
	return w + n;
}

// x2c's byte for the escape characters a and b, by decodeinto's table.
static inline unsigned escbyte(const unsigned char *value, unsigned char a, unsigned char b)
{
	return (value[a] * 16u + value[b]) & 0xFF;
}

void unescape_url(char *url)
{
	char *first = strchr(url, '%');

	if (first != nullptr)
		decodeinto(first, first, strlen(first), false);
}

// unescape_url's decoding is two passes over the string. The first writes
// each escape's byte over the escape's first character and moves on by
// one, so a decoded byte is examined like any other: a decoded '%' starts
// an escape of its own, and a decoded NUL ends the pass. The second closes
// the gaps, taking the byte after each '%' and stepping over the two
// characters that followed it.
//
// Both are taken here in one. The first pass changes the byte after each
// '%' that it meets, which the second pass reads; mostly the byte after
// that is still the string's own. But where an escape makes a '%', the
// first pass decodes the escape's next two characters too, into its
// second character, which the second pass steps over; where that is a '%'
// as well, it decodes the two after it, which the second pass reads next;
// and where it is a NUL, the first pass ends, and the second goes on over
// the string as it stands.
//
// A '%' among the last two bytes of the string has no two characters after
// it. Neither pass takes it as an escape, so it is kept as it stands and
// nothing beyond the terminator is read. out may be s itself: what is
// written never overtakes what is still to be read.
char *decodeinto(char *out, const char *s, size_t n, bool plus, bool *cut)
{
	bool nul = false;
	const unsigned char *u = reinterpret_cast<const unsigned char *>(s);
	const unsigned char *conv = tables.conv[plus], *value = tables.value[plus];
	size_t last = n >= 2 ? n - 2 : 0, r = 0;	// escapes start below last
	char *w = out;

	while (r < n) {
		// The bytes before the next '%', as plustospace leaves them.
		size_t to = pctat(u, r, n);
		w = plainrun(w, u + r, to - r, plus, conv);
		if ((r = to) == n)
			break;
		unsigned c = '%';
		if (r >= last) {
			*w++ = static_cast<char>(c);
			r++;
			continue;
		}
		// An escape at r, and each that the first pass makes after it.
		for (;;) {
			unsigned d = escbyte(value, u[r + 1], u[r + 2]);
			if ((nul = d == 0))
				goto end;	// the string ends at a decoded NUL
			*w++ = static_cast<char>(d);
			unsigned second = d == '%' && r + 1 < last ? escbyte(value, u[r + 2], u[r + 3]) :
								     conv[u[r + 2]];
			r += 3;
			if (second == 0) {
				// The first pass ended: the rest as it stands.
				while (r < n) {
					if (u[r] == '%' && r < last) {
						*w++ = static_cast<char>(conv[u[r + 1]]);
						r += 3;
					} else {
						*w++ = static_cast<char>(conv[u[r++]]);
					}
				}
				goto end;
			}
			if (second != '%' || r - 1 >= last)
				break;
			unsigned next = escbyte(value, u[r], u[r + 1]);
			if ((nul = next == 0))
				goto end;
			if (next != '%' || r >= last) {
				*w++ = static_cast<char>(next);
				r++;
				break;
			}
		}
	}
end:
	*w = '\0';
	if (cut != nullptr)
		*cut = nul;
	return w;
}

static bool hexdigit(char c)
{
	return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// One pass, reading only the bytes as given: a '%' that decoding makes is
// written and never looked at again.
void pctdecode(char *s, bool keepnul)
{
	char *w = strchr(s, '%');

	if (w != nullptr)
		pctdecodeinto(w, w, strlen(w), false, keepnul);
}

char *pctdecodeinto(char *out, const char *s, size_t n, bool plus, bool keepnul)
{
	size_t w = 0;
	for (size_t r = 0; r < n; w++) {
		if (s[r] == '%' && r + 2 < n && hexdigit(s[r + 1]) && hexdigit(s[r + 2]) &&
		    !(keepnul && s[r + 1] == '0' && s[r + 2] == '0')) {
			out[w] = x2c(s + r + 1);
			r += 3;
		} else {
			out[w] = plus && s[r] == '+' ? ' ' : s[r];
			r++;
		}
	}
	out[w] = '\0';
	return out + w;
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
