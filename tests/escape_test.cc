#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "urlcode.h"

// The twenty bytes that get a backslash, written out independently of the
// program's own set.
static const std::string metachars = "&;`'|*?-~<>^()[]{}$\\";

// Escapes in a heap buffer of exactly the room the result needs.
static std::string escaped(const std::string &in)
{
	size_t extra = 0;
	for (char c : in)
		extra += metachars.find(c) != std::string::npos;
	char *buf = static_cast<char *>(malloc(in.size() + extra + 1));
	memcpy(buf, in.c_str(), in.size() + 1);
	escape_shell_cmd(buf);
	std::string out(buf);
	free(buf);
	return out;
}

// ind compares whole bytes, finds the first match, and never the terminator.
TEST(Ind, FindsFirstByte)
{
	EXPECT_EQ(ind("abcb", 'b'), 1);
	EXPECT_EQ(ind("abc", 'a'), 0);
	EXPECT_EQ(ind("abc", 'd'), -1);
	EXPECT_EQ(ind("abc", '\0'), -1);
	EXPECT_EQ(ind("", 'a'), -1);
	EXPECT_EQ(ind("a\xe9", '\xe9'), 1);
	EXPECT_EQ(ind("a\xe9", 'i'), -1);
}

TEST(Escape, Examples)
{
	struct { std::string in, want; } cases[] = {
		{"a;b&c", "a\\;b\\&c"},
		{"\\x", "\\\\x"},
		{"-~", "\\-\\~"},
		{"$HOME;", "\\$HOME\\;"},
		{"", ""},
		{"plain words", "plain words"},
		// Not metacharacters: the output is no safe input for eval.
		{"\" \t\n!#%+=,.:/@", "\" \t\n!#%+=,.:/@"},
		{"\xc3\xa9\x80\xff", "\xc3\xa9\x80\xff"},
		{";;", "\\;\\;"},
		{"a;", "a\\;"},
		{";a", "\\;a"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(escaped(c.in), c.want) << c.in;
}

// Exactly the twenty metacharacters get one backslash each; every other
// byte value passes through.
TEST(Escape, EveryByteValue)
{
	std::string all, want;
	for (int b = 1; b < 256; b++) {
		char c = static_cast<char>(b);
		all += c;
		if (metachars.find(c) != std::string::npos)
			want += '\\';
		want += c;
		EXPECT_EQ(ind(shell_metachars, c) != -1,
			  metachars.find(c) != std::string::npos) << b;
	}
	EXPECT_EQ(strlen(shell_metachars), 20u);
	EXPECT_EQ(escaped(all), want);
	EXPECT_EQ(escaped(metachars).size(), 40u);
}
