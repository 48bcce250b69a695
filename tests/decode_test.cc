#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "urlcode.h"

// The string in a heap buffer of exactly its own size, so that the
// sanitizer build catches any byte touched beyond the terminator.
static std::string transformed(const std::string &in, void (*f)(char *))
{
	char *buf = static_cast<char *>(malloc(in.size() + 1));
	memcpy(buf, in.c_str(), in.size() + 1);
	f(buf);
	std::string out(buf);	// as every later step sees it: up to the first NUL
	free(buf);
	return out;
}

static void decode(char *s)
{
	plustospace(s);
	unescape_url(s);
}

// Every pair of characters has a value, by digit arithmetic modulo 256, and
// only the low four bits of the first digit count.
TEST(X2c, DigitArithmetic)
{
	struct { const char *pair; unsigned char want; } cases[] = {
		{"41", 0x41}, {"7e", 0x7E}, {"7E", 0x7E}, {"00", 0x00}, {"ff", 0xFF},
		{"FF", 0xFF}, {"aF", 0xAF}, {"09", 0x09},
		{"zz", 0x53}, {"g0", 0x00}, {"@@", 0x10}, {"0G", 0x10},
		{"%%", 0x45}, {"%x", 0x71}, {"%b", 0x5B},
		// Bytes 0x80 and up count from '0' like the bytes below 'A';
		// 0x7F is still folded like a letter.
		{"\x80" "0", 0x00}, {"0\x80", 0x50}, {"\xff\xff", 0xBF},
		{"5\xe0", 0x00}, {"\x7f\x7f", 0xA8}, {"1\xc3", 0xA3},
	};
	for (const auto &c : cases)
		EXPECT_EQ(static_cast<unsigned char>(x2c(c.pair)), c.want) << c.pair;
}

// Decoding as the program does it: plustospace, then unescape_url.
TEST(Decode, Escapes)
{
	struct { std::string in, want; } cases[] = {
		{"a+b%20c", "a b c"},
		{"%2B", "+"},			// an encoded '+' stays
		{"%7e%7E", "~~"},
		{"%C3%A9", "\xc3\xa9"},
		{"%zz", "S"},
		{"%g0xyz", ""},			// a decoded NUL ends the string
		{"a%00b%41c", "a"},
		{"%2541", "%41"},		// a decoded '%' is not decoded again
		{"%25%41", "%A"},
		// A decoded '%' has the two characters after it decoded too,
		// into a byte that is stepped over.
		{"100%25+off", "100% off"},
		{"%252", "%2"},
		{"5%25%25", "5%%"},
		// The '%' from '%25' decodes '5' and 0xE0 to NUL in a byte that
		// is stepped over, so the rest is copied, unconverted.
		{"%25\xe0" "b%41c", "%\xe0" "b4c"},
		{"%%x", "q"},			// '%' as a digit of an earlier escape
		{"a%%b", "a["},
		{"plain text", "plain text"},
		{"", ""},
		{"%41%42%43", "ABC"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(transformed(c.in, decode), c.want) << c.in;
}

// unescape_url leaves '+' alone: the driver trims between the two steps.
TEST(Decode, UnescapeKeepsPlus)
{
	EXPECT_EQ(transformed("a+b%20c", unescape_url), "a+b c");
}

// A '%' among the last two bytes is no escape for either pass: it is kept
// as it stands and nothing past the terminator is touched.
TEST(Decode, IncompleteEscapes)
{
	struct { std::string in, want; } cases[] = {
		{"%", "%"}, {"%4", "%4"}, {"ab%", "ab%"}, {"a%4", "a%4"},
		{"%%", "%%"}, {"%41%", "A%"}, {"%41%4", "A%4"},
		{"%%%25", "E%5"},		// conversion wrote the '%' at the end
		{"%2525", "%25"},
		{"%25%", "%%"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(transformed(c.in, decode), c.want) << c.in;
}
