#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"

class Htmlescape : public testing::TestWithParam<tool> {};
INSTANTIATE_TEST_SUITE_P(Tools, Htmlescape, testing::ValuesIn(htmlescape_tools));
class Jsonquote : public testing::TestWithParam<tool> {};
INSTANTIATE_TEST_SUITE_P(Tools, Jsonquote, testing::ValuesIn(jsonquote_tools));
class Setcookie : public testing::TestWithParam<tool> {};
INSTANTIATE_TEST_SUITE_P(Tools, Setcookie, testing::ValuesIn(setcookie_tools));

struct answercase {
	std::vector<std::string> args;
	std::string want, err = {};
};

static void check(const tool &t, const answercase &c)
{
	outcome o = run(t, c.args, "", stdout_to::pipe, {"LC_ALL=C.UTF-8"});
	std::string shown = c.args.empty() ? "(none)" : c.args.back();
	EXPECT_EQ(o.out, c.want) << shown;
	EXPECT_EQ(o.err, c.err) << shown;
	// A bad command line is a builtin's 2, as bash's own builtins give.
	bool usage = c.err.find(": usage: ") != std::string::npos;
	EXPECT_EQ(o.status, c.err.empty() ? 0 : usage && t.program == nullptr ? 2 : 1) << shown;
}

// The five bytes as Python's html.escape(s, quote=True) writes them, and
// every other byte as it stands, UTF-8 or not; the one argument is the
// string, whatever it reads, but -l and -z, which need "--" before them.
TEST_P(Htmlescape, Table)
{
	const std::string usage = "htmlescape: usage: htmlescape [--] string\n";
	const answercase cases[] = {
		{{"a&b<c>d\"e'f"}, "a&amp;b&lt;c&gt;d&quot;e&#x27;f"},
		{{"J\xc3\xb6rg \xff\xfe&"}, "J\xc3\xb6rg \xff\xfe&amp;"},
		{{"&amp;"}, "&amp;amp;"},
		{{"-x"}, "-x"},
		{{"--", "-l"}, "-l"},
		{{""}, ""},
		{{}, "", usage},
		{{"a", "b"}, "", usage},
	};
	for (const auto &c : cases)
		check(GetParam(), c);
}

// Python's json.dumps(s, ensure_ascii=False), then < > & U+2028 U+2029
// as \u escapes; a string that is not UTF-8 is refused at its first bad
// byte, and nothing printed.
TEST_P(Jsonquote, Table)
{
	const std::string usage = "jsonquote: usage: jsonquote [--] string\n";
	const answercase cases[] = {
		{{"a\"b\\c/d"}, "\"a\\\"b\\\\c/d\""},
		{{"\t\n\r\b\f\x01\x1f\x7f"}, "\"\\t\\n\\r\\b\\f\\u0001\\u001f\x7f\""},
		{{"</script><!--&"}, "\"\\u003c/script\\u003e\\u003c!--\\u0026\""},
		{{"\xe2\x80\xa8\xe2\x80\xa9 \xc3\xa9 \xf0\x9f\x98\x80"}, "\"\\u2028\\u2029 \xc3\xa9 \xf0\x9f\x98\x80\""},
		{{""}, "\"\""},
		{{"ab\xc0\xaf"}, "", "jsonquote: byte offset 2: not UTF-8\n"},
		{{"a\xed\xa0\x80"}, "", "jsonquote: byte offset 1: not UTF-8\n"},
		{{"\xf4\x90\x80\x80"}, "", "jsonquote: byte offset 0: not UTF-8\n"},
		{{"abc\xe2\x82"}, "", "jsonquote: byte offset 3: not UTF-8\n"},
		{{}, "", usage},
	};
	for (const auto &c : cases)
		check(GetParam(), c);
}

// The line fills its room exactly, with the options that once overflowed
// it by a byte and with all of them, as the sanitizers see.
TEST_P(Setcookie, Table)
{
	const answercase cases[] = {
		{{"-s", "-h", "-S", "Lax", "a", "b"}, "Set-Cookie: a=b; Secure; HttpOnly; SameSite=Lax"},
		{{"-shSStrict", "a", ""}, "Set-Cookie: a=; Secure; HttpOnly; SameSite=Strict"},
		{{"-p/", "-d", ".example.org", "-m", "-1", "-shSNone", "a", "\xff"},
		 "Set-Cookie: a=%FF; Path=/; Domain=.example.org; Max-Age=-1; Secure; HttpOnly; SameSite=None"},
	};
	for (const auto &c : cases)
		check(GetParam(), c);
}
