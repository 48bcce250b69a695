#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"

class Urlencode : public testing::TestWithParam<tool> {};
INSTANTIATE_TEST_SUITE_P(Tools, Urlencode, testing::ValuesIn(urlencode_tools));

// Every byte but the unreserved ones becomes an upper-case escape, and a
// space '+', or "%20" with -r, whatever the locale; the result has no
// newline. The last argument is always the string, and "-r" alone may
// come before it, and "--" right before it: anything else is the usage
// text (the builtin's own synopsis) and status 1, or the builtin's 2.
TEST_P(Urlencode, Table)
{
	const tool &t = GetParam();
	const std::string usage = "Usage:\n" + std::string(t.name) + " [-r] string\n"
		"Every byte but A-Z a-z 0-9 - . _ ~ is written as %XX, and a space as +;\n"
		"the -r switch writes a space as %20, as in a URI component\n";
	struct { std::vector<std::string> args; std::string want; int status = 0; } cases[] = {
		{{"caf\xc3\xa9 au lait"}, "caf%C3%A9+au+lait"},
		{{"-r", "caf\xc3\xa9 au lait"}, "caf%C3%A9%20au%20lait"},
		{{"-AZaz09._~"}, "-AZaz09._~"},
		{{"%+&=/?#\t\n\x01\x7f\x80\xff"}, "%25%2B%26%3D%2F%3F%23%09%0A%01%7F%80%FF"},
		{{"-r"}, "-r"},
		{{"--", "-l"}, "-l"},
		{{"-r", "--", "a b"}, "a%20b"},
		{{"--", "--"}, "--"},
		{{""}, ""},
		{{}, "", 1},
		{{"-r", "-r", "a"}, "", 1},
		{{"-x", "a"}, "", 1},
		{{"-R", "a"}, "", 1},
		{{"a", "b"}, "", 1},
		{{"--", "-r", "a"}, "", 1},
	};
	for (const auto &c : cases) {
		outcome o = run(t, c.args, "", stdout_to::pipe, {"LC_ALL=C.UTF-8"});
		std::string shown = c.args.empty() ? "(none)" : c.args.back();
		EXPECT_EQ(o.out, c.want) << shown;
		EXPECT_EQ(o.err, c.status == 0 ? "" : t.program != nullptr ? usage :
			  "urlencode: usage: urlencode [-v NAME] [-r] [--] string | [-r] -a ARRAY | -A ARRAY | [-r] -l | -z\n") << shown;
		EXPECT_EQ(o.status, c.status == 0 || t.program != nullptr ? c.status : 2) << shown;
	}
}
