// The byte routines that stand in for the C library's, against it, at
// every length and place around a word's eight bytes; and the pieces of a
// message, cut on a character's boundary.
#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "text.h"
#include "words.h"

TEST(Bytes, AsTheCLibraryHasThem)
{
	char a[40], b[40];
	for (size_t n = 0; n <= 24; n++) {
		for (size_t i = 0; i < n; i++)
			a[i] = b[i] = static_cast<char>('a' + i);
		EXPECT_TRUE(samebytes(a, b, n)) << n;
		EXPECT_EQ(findbyte(a, n, '#'), nullptr) << n;
		for (size_t at = 0; at < n; at++) {
			// A byte that differs or is sought at each place, one with
			// its top bit set among them.
			b[at] = '\xe9';
			EXPECT_FALSE(samebytes(a, b, n)) << n << " " << at;
			EXPECT_EQ(findbyte(b, n, '\xe9'), b + at) << n << " " << at;
			b[at] = a[at];
		}
		// Moved down by each distance, overlapping, as memmove moves.
		for (size_t by = 0; by <= 9; by++) {
			char want[40], got[40];
			for (size_t i = 0; i < n + by; i++)
				want[i] = got[i] = static_cast<char>('A' + i);
			memmove(want, want + by, n);
			movedown(got, got + by, n);
			EXPECT_EQ(std::string(want, n + by), std::string(got, n + by)) << n << " " << by;
		}
	}
}

TEST(Bytes, Strings)
{
	struct {
		const char *s, *z;
		bool same, starts;
		long at;	// where z stands in s, or -1
	} cases[] = {
		{"", "", true, true, 0},
		{"abc", "", false, true, 0},
		{"", "a", false, false, -1},
		{"abc", "abc", true, true, 0},
		{"abc", "abcd", false, false, -1},
		{"byte offset 7 (/a): x", "byte offset ", false, true, 0},
		{"a (/b): c: d", "): ", false, false, 5},
		{"a: b: c", ": ", false, false, 1},
		{"aab", "ab", false, false, 1},
	};
	for (const auto &c : cases) {
		EXPECT_EQ(samestr(c.s, c.z), c.same) << c.s << " " << c.z;
		EXPECT_EQ(startswith(c.s, c.z), c.starts) << c.s << " " << c.z;
		const char *at = findstr(c.s, c.z);
		EXPECT_EQ(at == nullptr ? -1 : at - c.s, c.at) << c.s << " " << c.z;
	}
}

TEST(Message, NumbersAndCuts)
{
	struct {
		long long v;
		const char *want;
	} numbers[] = {
		{0, "0"}, {7, "7"}, {-1, "-1"}, {1000000, "1000000"},
		{LLONG_MAX, "9223372036854775807"}, {LLONG_MIN, "-9223372036854775808"},
	};
	for (const auto &c : numbers) {
		char d[24];
		EXPECT_EQ(std::string(d, numout(d, c.v)), c.want);
	}
	// A piece that does not fit is cut before the character it would
	// split: "é" is two bytes, "€" three.
	struct {
		size_t size;
		const char *before, *piece, *want;
	} cuts[] = {
		{16, "no key ", "abc", "no key abc"},
		{10, "no key ", "abc", "no key ab"},
		{10, "no key ", "a\xc3\xa9", "no key a"},
		{11, "no key ", "a\xc3\xa9", "no key a\xc3\xa9"},
		{11, "no key ", "\xe2\x82\xac\xe2\x82\xac", "no key \xe2\x82\xac"},
		{4, "abc", "d", "abc"},
	};
	for (const auto &c : cuts) {
		char m[32];
		strcpy(m, c.before);
		textcat(m, c.size, c.piece);
		EXPECT_STREQ(m, c.want) << c.size << " " << c.piece;
	}
	char m[32] = "record ";
	textcatnum(m, sizeof m, 18446744073709551615ULL);
	EXPECT_STREQ(m, "record 18446744073709551615");
}
