#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"

// Every rule holds for the program and for the builtin alike.
class Urldecode : public testing::TestWithParam<tool> {};
INSTANTIATE_TEST_SUITE_P(Tools, Urldecode, testing::ValuesIn(urldecode_tools));

static std::string usage(const std::string &name)
{
	return "Usage:\n" + name + " [-b] [-e] url\n"
	       "The -b switch strip off leading and trailing blanks,\n"
	       "the -e switch automatically escapes shell characters like ^ and &,\n"
	       "and url is the encoded url string\n";
}

static outcome urldecode(const std::vector<std::string> &args,
			 stdout_to where = stdout_to::pipe)
{
	return run(Urldecode::GetParam(), args, "", where);
}

// A good command line prints the result, byte for byte, with no newline,
// and exits 0 whatever the result's length.
TEST_P(Urldecode, Results)
{
	struct { std::vector<std::string> args; std::string want; } cases[] = {
		{{"-b", "-e", "+%24HOME%3B+"}, "\\$HOME\\;"},
		{{"-e", "-b", "+%24HOME%3B+"}, "\\$HOME\\;"},	// order is fixed
		{{"-e", "-e", "-b"}, "\\-b"},			// the last is data
		{{"-b"}, "-b"},
		{{"-e"}, "-e"},
		{{"--help"}, "--help"},
		{{"x"}, "x"},
		{{"-b", "++a+b++"}, "a b"},
		{{"-b", "%20a%20"}, " a "},			// trimmed before decoding
		{{"-b", "+++"}, ""},
		{{"-b", ""}, ""},
		{{""}, ""},
		{{"a b  c"}, "a b  c"},				// no -b, no trimming
		{{"-b", " \ta\r\n "}, "\ta\r\n"},		// only spaces are blanks
		{{"-e", "%00;"}, ""},				// a decoded NUL ends it
		{{"a+b%2B"}, "a b+"},
		{{"-e", "%22%20%0A%21"}, "\" \n!"},
		{{"%C3%A9t%C3%A9"}, "\xc3\xa9t\xc3\xa9"},
		{{"-b", "-e", "+%2520+"}, "%20"},
		{{"ab%"}, "ab%"},
		{{"%25\xe0" "b%41c"}, "%\xe0" "b4c"},
	};
	for (const auto &c : cases) {
		outcome o = urldecode(c.args);
		std::string shown = c.args.back();
		EXPECT_EQ(o.out, c.want) << shown;
		EXPECT_EQ(o.err, "") << shown;
		EXPECT_EQ(o.status, 0) << shown;
	}
}

// A bad command line: the usage text on stderr, nothing on stdout, status 1;
// the builtin's is its own synopsis, and its status 2, as bash's own give.
TEST_P(Urldecode, BadCommandLine)
{
	std::vector<std::vector<std::string>> cases = {
		{},
		{"-b", "-e", "-b", "x"},
		{"a", "b", "c", "d"},
		{"-x", "a"},
		{"-be", "a"},
		{"-b ", "a"},
		{"--b", "a"},
		{"-B", "a"},
		{"", "a"},
		{"a", "b"},
		{"-b", "-x", "a"},
	};
	for (const auto &args : cases) {
		outcome o = urldecode(args);
		EXPECT_EQ(o.out, "");
		EXPECT_EQ(o.err, GetParam().program != nullptr ? usage(GetParam().name) :
				 "urldecode: usage: urldecode [-v NAME | -a NAME | -A NAME | -C NAME] [-n COUNT] [-m BYTES] [-b] [-e] [-s | -k] [-p] [--] url | -l | -z\n");
		EXPECT_EQ(o.status, GetParam().program != nullptr ? 1 : 2);
	}
}

// The usage text names the program as it was invoked.
TEST(Program, UsageNamesProgram)
{
	outcome o = run(URLDECODE_PATH, {"ud"});
	EXPECT_EQ(o.err, usage("ud"));
	EXPECT_EQ(o.status, 1);
}

// The longest argument Linux accepts, all metacharacters, doubles exactly.
TEST_P(Urldecode, LongestArgument)
{
	const std::string set = "&;`'|*?-~<>^()[]{}$\\";
	std::string arg, want;
	for (size_t i = 0; i < 131071; i++) {
		arg += set[i % set.size()];
		want += '\\';
		want += set[i % set.size()];
	}
	outcome o = urldecode({"-b", "-e", arg});
	EXPECT_EQ(o.out.size(), want.size());
	EXPECT_TRUE(o.out == want);
	EXPECT_EQ(o.status, 0);
}

// Output that cannot be written is a failure, reported on one line.
TEST_P(Urldecode, WriteErrors)
{
	if (GetParam().setvar)
		GTEST_SKIP() << "urldecode -v writes nothing";
	struct { std::string arg; stdout_to where; std::string err; } cases[] = {
		{"x", stdout_to::full, "urldecode: write error: No space left on device\n"},
		{std::string(100000, 'x'), stdout_to::full,
		 "urldecode: write error: No space left on device\n"},
		{"x", stdout_to::closed, "urldecode: write error: Bad file descriptor\n"},
	};
	for (const auto &c : cases) {
		outcome o = urldecode({c.arg}, c.where);
		EXPECT_EQ(o.err, c.err);
		EXPECT_EQ(o.status, 1);
	}
	// With nothing to write, a closed stdout loses nothing.
	outcome o = urldecode({"-b", "+"}, stdout_to::closed);
	EXPECT_EQ(o.err, "");
	EXPECT_EQ(o.status, 0);
}

#ifdef FAILMALLOC_PATH
// No room for the working copy: a message and status 1, not a crash. (A
// shell runs out of memory for such an argument before its builtin does.)
TEST(Program, AllocationFails)
{
	outcome o = run(URLDECODE_PATH, {URLDECODE_PATH, std::string(40000, 'a')}, "",
			stdout_to::pipe, {"LD_PRELOAD=" FAILMALLOC_PATH});
	EXPECT_EQ(o.out, "");
	EXPECT_EQ(o.err, "urldecode: cannot allocate the working copy: Cannot allocate memory\n");
	EXPECT_EQ(o.status, 1);
}
#endif
