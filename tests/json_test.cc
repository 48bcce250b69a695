// One table of JSON texts, each through the library, the program and the
// builtin: a text that is accepted prints as the program prints it (a
// container compacted, a scalar as its bytes) and gives its strings,
// numbers, booleans and nulls, each under its pointer, as -a gives them;
// one that is refused says why, with the byte offset and the pointer, and
// gives nothing.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json.h"
#include "run.h"

struct jsoncase {
	std::string text, out, pairs, err = {};
	bool strict = false;
};

// A hundred thousand '[', refused at the thousand and first, its pointer
// shown cut short.
static const std::string deep(100000, '['), zeros = [] {
	std::string z;
	for (int i = 0; i < 50; i++)
		z += "/0";
	return z;
}();

// Strings and names that fill the reader's 64 KiB pieces, where a piece
// with no room left once spun for ever: ASCII, a 2-byte character
// escaped, a 4-byte character.
static const std::string as(65532, 'a'), e9 = [] {
	std::string t, d;
	for (int i = 0; i < 21845; i++)
		t += "\\u00e9", d += "\xc3\xa9";
	return "[\"x" + t + "\"]=[\"x" + d + "\"]";
}(), smile = [] {
	std::string d;
	for (int i = 0; i < 16384; i++)
		d += "\xf0\x9f\x98\x80";
	return d;
}();

// 8192 names whose FNV-1a hashes share their low 19 bits, then the first
// again: each name is 13 blocks of 4 letters, each block one of a pair
// that takes those bits of the hash to the same value.
static std::string colliding(std::string *first)
{
	const uint64_t prime = 1099511628211ULL, mask = (1u << 19) - 1;
	uint64_t state = 14695981039346656037ULL & mask, r = 88172645463325252ULL;
	std::vector<std::string> pairs;
	while (pairs.size() < 26) {
		std::map<uint64_t, std::string> seen;
		for (;;) {
			std::string b(4, 'a');
			for (char &c : b)
				c = static_cast<char>('a' + (r = r * 6364136223846793005ULL + 1) % 26);
			uint64_t h = state;
			for (char c : b)
				h = ((h ^ static_cast<unsigned char>(c)) * prime) & mask;
			auto it = seen.find(h);
			if (it != seen.end() && it->second != b) {
				pairs.push_back(it->second);
				pairs.push_back(b);
				state = h;
				break;
			}
			seen[h] = b;
		}
	}
	std::string text = "{";
	for (size_t i = 0; i < 8192; i++) {
		std::string name;
		for (size_t k = 0; k < 13; k++)
			name += pairs[2 * k + ((i >> k) & 1)];
		if (i == 0)
			*first = name;
		text += "\"" + name + "\":0,";
	}
	return text + "\"" + *first + "\":1}";
}
static std::string first, crowd = colliding(&first);

static const jsoncase cases[] = {
	// Accepted: numbers as written, strings decoded, names in input order.
	{"{\"a\":[1,\"x\\u00e9\"],\"b\":{},\"c\":[]}", "{\"a\":[1,\"x\xc3\xa9\"],\"b\":{},\"c\":[]}",
	 "/a/0=1;/a/1=x\xc3\xa9;"},
	{" [ true , false , null ] \n", "[true,false,null]", "/0=true;/1=false;/2=null;"},
	{"\"q\\\"\\\\\\/\\b\\f\\n\\r\\t\\ud83d\\ude00<\"", "q\"\\/\b\f\n\r\t\xf0\x9f\x98\x80<",
	 "=q\"\\/\b\f\n\r\t\xf0\x9f\x98\x80<;"},
	{"[\"<&>\\u2028\"]", "[\"\\u003c\\u0026\\u003e\\u2028\"]", "/0=<&>\xe2\x80\xa8;"},
	{"{\"a/b~c\":-0.5e+10,\"\":12345678901234567890}", "{\"a/b~c\":-0.5e+10,\"\":12345678901234567890}",
	 "/a~1b~0c=-0.5e+10;/=12345678901234567890;"},
	{"9007199254740991", "9007199254740991", "=9007199254740991;", "", true},
	{"\"" + as + "\"", as, "=" + as + ";"},
	{e9.substr(0, e9.find('=')), e9.substr(e9.find('=') + 1), "/0=" + e9.substr(e9.find('=') + 3, e9.size() - e9.find('=') - 5) + ";"},
	{"{\"" + smile + "\":1}", "{\"" + smile + "\":1}", "/" + smile + "=1;"},
	// Refused: outside the grammar.
	{"", "", "", "byte offset 0: no value: the text is empty"},
	{"[1,]", "", "", "byte offset 3: a trailing comma"},
	{"{\"a\":1,}", "", "", "byte offset 7: a trailing comma"},
	{"01", "", "", "byte offset 1: a number with a leading zero"},
	{"[1.]", "", "", "byte offset 3 (/0): a '.' with no digit after it"},
	{".5", "", "", "byte offset 0: a number with no digit before '.'"},
	{"+1", "", "", "byte offset 0: a '+' before a number"},
	{"[NaN]", "", "", "byte offset 1 (/0): a word other than true, false or null"},
	{"'a'", "", "", "byte offset 0: a string in single quotes"},
	{"/**/1", "", "", "byte offset 0: a comment"},
	{"[1] 2", "", "", "byte offset 4: bytes after the value"},
	{"{\"a\" 1}", "", "", "byte offset 5: a name not followed by ':'"},
	{"\"a\tb\"", "", "", "byte offset 2: a control byte 0x09 in a string"},
	// Refused: what parsers read in different ways.
	{"{\"user\":{\"id\":1,\"\\u0069d\":2}}", "", "", "byte offset 16 (/user): duplicate name \"id\""},
	{"[\"\\ud800\"]", "", "", "byte offset 2 (/0): a high surrogate not followed by a low one"},
	{"\"\\udc00x\"", "", "", "byte offset 1: a low surrogate with no high one before it"},
	{"\"\\u0000\"", "", "", "byte offset 1: \\u0000, a NUL, which no shell variable can hold"},
	{std::string("\"a\0b\"", 5), "", "", "byte offset 2: a NUL byte"},
	{"\"\xed\xa0\x80\"", "", "", "byte offset 1: not UTF-8"},
	{"\"\xc0\xaf\"", "", "", "byte offset 1: not UTF-8"},
	{"\"\xf4\x90\x80\x80\"", "", "", "byte offset 1: not UTF-8"},
	{"\"\xe2\x82\"", "", "", "byte offset 1: not UTF-8"},
	{"\xef\xbb\xbf[]", "", "", "byte offset 0: a byte order mark"},
	{std::string("[\0]\0", 4), "", "", "byte offset 0: UTF-16 text, not UTF-8"},
	{deep, "", "", "byte offset 1000 (" + zeros + "/...): nesting deeper than 1000 levels"},
	{crowd, "", "", "byte offset " + std::to_string(crowd.size() - first.size() - 5) + ": duplicate name \"" + first + "\""},
	// Refused with -s: what I-JSON forbids.
	{"9007199254740992", "", "", "byte offset 16: an integer beyond 2^53 - 1, which I-JSON forbids", true},
	{"[1e309]", "", "", "byte offset 6 (/0): a number beyond a double's range, which I-JSON forbids", true},
	{"\"\\ufdd0\"", "", "", "byte offset 1: a noncharacter, which I-JSON forbids", true},
	// and names that a reader matching them by case folding takes as one.
	{"{\"admin\":false,\"ADMIN\":true}", "", "", "byte offset 15: a name equal to another under case folding, \"ADMIN\"", true},
	{"{\"sub\":\"alice\",\"\xc5\xbfub\":\"root\"}", "", "", "byte offset 15: a name equal to another under case folding, \"\xc5\xbfub\"", true},
};

static bool take(void *arg, const char *s, size_t n)
{
	static_cast<std::string *>(arg)->append(s, n);
	return true;
}

TEST(Json, Library)
{
	static json j;
	for (const auto &c : cases) {
		std::string out, pairs;
		jsonmem(&j, c.text.data(), c.text.size(), c.strict);
		const char *why = jsonget(&j, "", 0, take, &out);
		jsonend(&j);
		EXPECT_EQ(why != nullptr ? why : "", c.err) << c.text.substr(0, 60);
		EXPECT_EQ(why != nullptr ? "" : out, c.out) << c.text.substr(0, 60);
		jsonflat f = {};
		jsonmem(&j, c.text.data(), c.text.size(), c.strict);
		why = jsonall(&j, &f, ~0UL, ~0ULL);
		jsonend(&j);
		for (size_t i = 0; why == nullptr && i < f.n; i++)
			if (f.v[i].type < jsonarray)
				pairs += std::string(f.bytes.p + f.v[i].ptr) + "=" + (f.bytes.p + f.v[i].value) + ";";
		jsonflatfree(&f);
		EXPECT_EQ(pairs, c.pairs) << c.text.substr(0, 60);
	}
}

class Jsonparse : public testing::TestWithParam<tool> {};
INSTANTIATE_TEST_SUITE_P(Tools, Jsonparse, testing::ValuesIn(jsonparse_tools));

// The text on standard input, as a stream; a NUL cannot go in the table's
// input, so those rows are the library's alone.
TEST_P(Jsonparse, Table)
{
	for (const auto &c : cases) {
		if (c.text.find('\0') != std::string::npos)
			continue;
		std::vector<std::string> args;
		if (c.strict)
			args.push_back("-s");
		outcome o = run(GetParam(), args, c.text.c_str());
		EXPECT_EQ(o.out, c.out) << c.text.substr(0, 60);
		EXPECT_EQ(o.err, c.err.empty() ? "" : "jsonparse: " + c.err + "\n") << c.text.substr(0, 60);
		EXPECT_EQ(o.status, c.err.empty() ? 0 : 1) << c.text.substr(0, 60);
#ifdef URLDECODE_BUILTIN
		if (GetParam().program != nullptr)
			continue;
		o = runbash("jsonparse -a a \"$@\" && printf '%s=%s;' \"${a[@]}\"", args, c.text.c_str());
		EXPECT_EQ(o.out, c.pairs) << c.text.substr(0, 60);
#endif
	}
}
