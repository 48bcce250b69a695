// Bytes eight at a time: a word loaded and stored in copies of a fixed
// size, which the compiler makes moves of its own (no call of the C
// library's to bind), and the bytes of a word told apart without a look
// at each. The line loop, the form decoder and the URL parser scan and
// copy their input so, and the header reader compares, finds and moves
// bytes so: each function of the C library that a program calls is a
// symbol to bind when it starts, which costs more than these do.
#ifndef WORDS_H
#define WORDS_H

#include <cstddef>
#include <cstdint>

inline constexpr uint64_t byteones = 0x0101010101010101ULL;

inline uint64_t loadword(const void *p)
{
	uint64_t w;
	__builtin_memcpy(&w, p, 8);
	return w;
}

// n bytes from one buffer to another, apart from it, the last eight
// overlapping those before.
inline void copywords(char *to, const char *from, size_t n)
{
	if (n < 8) {
		for (size_t i = 0; i < n; i++)
			to[i] = from[i];
		return;
	}
	for (size_t i = 0; i + 8 < n; i += 8)
		__builtin_memcpy(to + i, from + i, 8);
	__builtin_memcpy(to + n - 8, from + n - 8, 8);
}

// n bytes moved to a place at or before them, where the two may overlap:
// each word is read before any byte of it is written over.
inline void movedown(char *to, const char *from, size_t n)
{
	size_t i = 0;
	for (; i + 8 <= n; i += 8) {
		uint64_t w = loadword(from + i);
		__builtin_memcpy(to + i, &w, 8);
	}
	for (; i < n; i++)
		to[i] = from[i];
}

// Whether n bytes at a are those at b: a word at a time, the last word
// overlapping the one before, and fewer than eight in two halves that may
// overlap, as most of the runs compared are short.
inline bool samebytes(const void *a, const void *b, size_t n)
{
	const char *x = static_cast<const char *>(a), *y = static_cast<const char *>(b);
	if (n >= 8) {
		for (size_t i = 0; i + 8 < n; i += 8)
			if (loadword(x + i) != loadword(y + i))
				return false;
		return loadword(x + n - 8) == loadword(y + n - 8);
	}
	if (n >= 4) {
		uint32_t h[4];
		__builtin_memcpy(&h[0], x, 4);
		__builtin_memcpy(&h[1], y, 4);
		__builtin_memcpy(&h[2], x + n - 4, 4);
		__builtin_memcpy(&h[3], y + n - 4, 4);
		return h[0] == h[1] && h[2] == h[3];
	}
	for (size_t i = 0; i < n; i++)
		if (x[i] != y[i])
			return false;
	return true;
}

// Whether two strings are the same, and whether s begins with z.
inline bool samestr(const char *a, const char *b)
{
	while (*a != '\0' && *a == *b)
		a++, b++;
	return *a == *b;
}

inline bool startswith(const char *s, const char *z)
{
	while (*z != '\0' && *s == *z)
		s++, z++;
	return *z == '\0';
}

// The bytes of w that are zero, as 0x80 in each of them and nothing else:
// no carry runs from one byte into the next. A byte that is c is zero in
// w ^ byteones * c.
inline uint64_t zerobytes(uint64_t w)
{
	const uint64_t lows = 0x7F7F7F7F7F7F7F7FULL;
	return ~(((w & lows) + lows) | w) & ~lows;
}

// Which byte the lowest bit of such a mask flags, where the first byte in
// memory is the lowest: the bits below it made a one in each byte below,
// and those summed into the top byte by one multiplication. Not a bit
// scan, which a machine without the instruction takes from libgcc_s.
inline size_t lowestflag(uint64_t mask)
{
	uint64_t below = ((mask & (~mask + 1)) >> 7) - 1;
	return static_cast<size_t>(((below & byteones) * byteones) >> 56);
}

// The first of n bytes at s that is c, or null: words of eight with no c
// passed by, the rest looked at one by one.
inline const char *findbyte(const char *s, size_t n, char c)
{
	const uint64_t cs = byteones * static_cast<unsigned char>(c);
	size_t i = 0;
	for (; i + 8 <= n; i += 8)
		if (zerobytes(loadword(s + i) ^ cs) != 0)
			break;
	for (; i < n; i++)
		if (s[i] == c)
			return s + i;
	return nullptr;
}

// Where the string z first stands in s, or null.
inline const char *findstr(const char *s, const char *z)
{
	for (; *s != '\0'; s++)
		if (startswith(s, z))
			return s;
	return *z == '\0' ? s : nullptr;
}

#endif
