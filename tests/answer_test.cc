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
	EXPECT_EQ(o.status, c.err.empty() ? 0 : 1) << shown;
}

// The five bytes as Python's html.escape(s, quote=True) writes them, and
// every other byte as it stands, UTF-8 or not; the one argument is the
// string, whatever it reads.
TEST_P(Htmlescape, Table)
{
	const std::string usage = "htmlescape: usage: htmlescape string\n";
	const answercase cases[] = {
		{{"a&b<c>d\"e'f"}, "a&amp;b&lt;c&gt;d&quot;e&#x27;f"},
		{{"J\xc3\xb6rg \xff\xfe&"}, "J\xc3\xb6rg \xff\xfe&amp;"},
		{{"&amp;"}, "&amp;amp;"},
		{{"-x"}, "-x"},
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
	const std::string usage = "jsonquote: usage: jsonquote string\n";
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

// The line is as long as the room counted for it, with every set of
// options (the sanitizers see a byte too many). Refused, as browsers drop
// or misread the cookie: a name holding '%', which is never decoded where
// it comes back; the __Http- and __Host-Http- prefixes without what they
// need; a name and encoded value over 4096 bytes; a path or domain over
// 1024; a domain that is no host name.
TEST_P(Setcookie, Table)
{
	const std::string x4095(4095, 'x'), sp1365(1365, ' '), p1024 = "/" + std::string(1023, 'p');
	const std::string dom = "setcookie: a domain is a host name: letters, digits, '-', '_' and '.'\n";
	const answercase cases[] = {
		{{"-s", "-h", "-S", "Lax", "a", "b"}, "Set-Cookie: a=b; Secure; HttpOnly; SameSite=Lax"},
		{{"-s", "-h", "-S", "Strict", "a", ""}, "Set-Cookie: a=; Secure; HttpOnly; SameSite=Strict"},
		{{"-p/", "-d", "example.org", "-m", "-1", "-shSNone", "a", "\xff"},
		 "Set-Cookie: a=%FF; Path=/; Domain=example.org; Max-Age=-1; Secure; HttpOnly; SameSite=None"},
		{{"-s", "-h", "__Http-a", "v"}, "Set-Cookie: __Http-a=v; Secure; HttpOnly"},
		{{"-s", "-h", "-p", "/", "__Host-Http-a", "v"}, "Set-Cookie: __Host-Http-a=v; Path=/; Secure; HttpOnly"},
		{{"-s", "__http-a", "v"}, "", "setcookie: a __Http- cookie needs -s and -h, or browsers drop it\n"},
		{{"-s", "-p", "/", "__Host-Http-a", "v"}, "",
		 "setcookie: a __Host-Http- cookie needs -s, -h and -p /, and no -d, or browsers drop it\n"},
		{{"__Host%2Dsid", "v"}, "", "setcookie: a name may hold no '%', as names are not decoded where they come back\n"},
		{{"a", x4095}, "Set-Cookie: a=" + x4095},
		{{"ab", x4095}, "", "setcookie: the name and the encoded value are over 4096 bytes, or browsers drop the cookie\n"},
		{{"a", sp1365 + " "}, "", "setcookie: the name and the encoded value are over 4096 bytes, or browsers drop the cookie\n"},
		{{"-p", p1024, "a", "v"}, "Set-Cookie: a=v; Path=" + p1024},
		{{"-p", p1024 + "p", "a", "v"}, "", "setcookie: a path or domain is over 1024 bytes, or browsers ignore it\n"},
		{{"-d", ".example.test", "a", "v"}, "Set-Cookie: a=v; Domain=.example.test"},
		{{"-d", "a b.example.test", "a", "v"}, "", dom},
		{{"-d", "example.test:443", "a", "v"}, "", dom},
		{{"-d", "*.example.test", "a", "v"}, "", dom},
		{{"-d", "", "a", "v"}, "", dom},
	};
	for (const auto &c : cases)
		check(GetParam(), c);
}
