// HTTP fields against published cases (tests/data/http): RFC 9651's
// structured-field tests, a Content-Disposition parser's cases and a Link
// parser's, each read as its source reads it or refused for the reason
// the table gives; and a table of heads, read whole and a few bytes at a
// time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "http.h"
#include "httpjob.h"
#include "load.h"
#include "url.h"

static const std::string data = HTTP_DATA_DIR;

// What a reading gave, a "KEY=VALUE" line a pair, or "!" and why not.
static std::string pairs(const char *why, const httpout *o)
{
	if (why != nullptr)
		return std::string("!") + why;
	std::string s;
	for (size_t i = 0; i < o->n; i++)
		s += std::string(httpkey(o, i)) + "=" + httpvalue(o, i) + "\n";
	return s;
}

static std::string sorted(const std::string &lines)
{
	std::vector<std::string> all;
	for (size_t at = 0, nl; (nl = lines.find('\n', at)) != std::string::npos; at = nl + 1)
		all.push_back(lines.substr(at, nl + 1 - at));
	std::sort(all.begin(), all.end());
	std::string s;
	for (const auto &l : all)
		s += l;
	return s;
}

TEST(http, structured)
{
	size_t cases = 0;
	for (const char *file : {"binary", "boolean", "date", "dictionary", "display-string", "examples", "item",
				 "key-generated", "large-generated", "list", "listlist", "number-generated", "number",
				 "param-dict", "param-list", "param-listlist", "string-generated", "string",
				 "token-generated", "token"}) {
		scalars f = load(data + "/sf/" + file + ".json");
		for (int i = 0; f.count("/" + std::to_string(i) + "/name"); i++, cases++) {
			std::string c = "/" + std::to_string(i) + "/", raw, canon;
			for (int k = 0; f.count(c + "raw/" + std::to_string(k)); k++)
				raw += (k > 0 ? ", " : "") + f[c + "raw/" + std::to_string(k)];
			bool canonical = f.count(c + "canonical/0") > 0;
			for (int k = 0; f.count(c + "canonical/" + std::to_string(k)); k++)
				canon += (k > 0 ? ", " : "") + f[c + "canonical/" + std::to_string(k)];
			std::string type = f[c + "header_type"];
			fieldreader *read = type == "item" ? sfitem : type == "list" ? sflist : sfdict;
			httpout o = {};
			fieldjob j = {};
			const char *why = read(raw.data(), raw.size(), &j, &o);
			std::string where = std::string(file) + c + f[c + "name"];
			if (f[c + "must_fail"] == "true") {
				EXPECT_NE(why, nullptr) << where;
			} else if (why == nullptr) {
				EXPECT_EQ(httpvalue(&o, 0), canonical || f.count(c + "canonical") ? canon : raw) << where;
			} else {
				EXPECT_EQ(f[c + "can_fail"], "true") << where << ": " << why;
			}
			httpfree(&o);
		}
	}
	EXPECT_EQ(cases, 1591u);
}

// A list's members and an inner list's, and parameters, by path, with
// their types, as the builtin's -A and -T hold them.
TEST(http, paths)
{
	struct {
		fieldreader *read;
		std::string in, out;
	} rows[] = {
		{sflist, "a, (1 2.50);q=?0, :aGk=:", "=a, (1 2.5);q=?0, :aGk=:\n0=a\n1=2\n1/;q=0\n1/0=1\n1/1=2.5\n2=aGk=\n"},
		// A repeated key: the last member, in the first one's place.
		{sfdict, "k=\"x\\\"y\";p, m=%\"%c3%a9\", k=@1;q", "=k=@1;q, m=%\"%c3%a9\"\nk=1\nk/;q=1\nm=\xc3\xa9\n"},
		{sfitem, "?1;a=1.0", "=?1;a=1.0\n0=1\n0/;a=1.0\n"},
	};
	for (const auto &r : rows) {
		httpout o = {};
		fieldjob j = {};
		EXPECT_EQ(pairs(r.read(r.in.data(), r.in.size(), &j, &o), &o), r.out) << r.in;
		httpfree(&o);
	}
}

TEST(http, disposition)
{
	scalars f = load(data + "/disposition/cases.json");
	int i = 0;
	for (; f.count("/" + std::to_string(i) + "/input"); i++) {
		std::string c = "/" + std::to_string(i) + "/", in = f[c + "input"];
		httpout o = {};
		fieldjob j = {};
		const char *why = dispread(in.data(), in.size(), &j, &o);
		std::string where = c + f[c + "name"];
		if (f.count(c + "refused")) {
			EXPECT_EQ(why != nullptr ? why : "", f[c + "refused"]) << where;
		} else if (!f.count(c + "differs")) {
			// Theirs as this reader gives it: the parameters but the file
			// names, then filename, theirs decoded from filename* first.
			std::string want = "type=" + f[c + "type"] + "\n", name;
			std::string p = c + "parameters/";
			for (const auto &kv : f) {
				if (kv.first.compare(0, p.size(), p) != 0)
					continue;
				std::string k = kv.first.substr(p.size());
				if (k == "filename")
					name = "filename=" + kv.second + "\n";
				else if (k != "filename*")
					want += k + "=" + kv.second + "\n";
			}
			EXPECT_EQ(sorted(pairs(why, &o)), sorted(want + name)) << where;
		}
		httpfree(&o);
	}
	EXPECT_EQ(i, 127);
}

// A Link parser's cases (RFC 8288's examples among them), against a base
// for the relative targets; where this reader refuses, why.
TEST(http, link)
{
	const std::string next = "next=https://acme-staging.api.letsencrypt.org/acme/new-authz\n"
				 "terms-of-service=https://letsencrypt.org/documents/LE-SA-v1.1.1-August-1-2016.pdf\n";
	struct {
		std::string in, out;
	} rows[] = {
		{"<example.com>", ""},
		{"<example.com>; rel=example", "example=https://b.example/d/example.com\n"},
		{"<example.com>; rel=", "!a parameter with no value"},
		{"<example.com>; nopush", ""},
		{"<example.com>; rel=\"example\", <example-01.com>; rel=alternate",
		 "example=https://b.example/d/example.com\nalternate=https://b.example/d/example-01.com\n"},
		{"<example.com>; rel=\"example\"; rel=\"invalid\"", "example=https://b.example/d/example.com\n"},
		{"<example.com>; rel=\"example\"; title=\"Something of \\\"importance\\\"\"",
		 "example=https://b.example/d/example.com\n"},
		{"<example.com>; rel= example; title = Something", "example=https://b.example/d/example.com\n"},
		{"</example>; rel=alternate; hreflang=en-US; hreflang=de; type=\"text/html\"; media=screen",
		 "alternate=https://b.example/example\n"},
		{"<https://some.url>; rel=\"http://some.rel/caseSensitive\"", "http://some.rel/casesensitive=https://some.url/\n"},
		{"<http://example.com/quotes>; rel=\"previous\"; title=\"previous; chapter\"",
		 "previous=http://example.com/quotes\n"},
		{"<example.com>; rel=\"example,comma\", <example-01.com>; rel=\"alternate;semicolon\"",
		 "example,comma=https://b.example/d/example.com\nalternate;semicolon=https://b.example/d/example-01.com\n"},
		{"<example.com>; rel=\"example; start\"",
		 "example;=https://b.example/d/example.com\nstart=https://b.example/d/example.com\n"},
		{"<https://acme-staging.api.letsencrypt.org/acme/new-authz>;rel=\"next\", "
		 "<https://letsencrypt.org/documents/LE-SA-v1.1.1-August-1-2016.pdf>;rel=\"terms-of-service\"",
		 next},
		{"<https://api.github.com/user/repos?page=3&per_page=100>; rel=\"next\", "
		 "<https://api.github.com/user/repos?page=50&per_page=100>; rel=\"last\"",
		 "next=https://api.github.com/user/repos?page=3&per_page=100\n"
		 "last=https://api.github.com/user/repos?page=50&per_page=100\n"},
		{"</risk-mitigation>; rel=\"start\"; title*=UTF-8'en'%E2%91%A0%E2%93%AB%E2%85%93%E3%8F%A8%E2%99%B3%F0%9D%84%9E%CE%BB",
		 "start=https://b.example/risk-mitigation\n"},
		{"</risk-mitigation>; rel=\"start\"; title*=UTF-8''%E2%91%A0", "start=https://b.example/risk-mitigation\n"},
		{"</risk-mitigation>; rel=\"start\"; title*=GB2312'cn'%C6%F3",
		 "!an extended value in a charset other than UTF-8 and ISO-8859-1"},
		// A field's lines come joined: a line end inside a value is none.
		{"<https://acme-staging.api.letsencrypt.org/acme/new-authz>;rel=\"next\",\r\n <https://x/>;rel=\"ter\r\n ms\"",
		 "!a link that does not begin with <"},
		{"<https://acme-staging.api.let\r\n sencrypt.org/acme/new-authz>;\r\n rel=\"next\"",
		 "!a link's target that is no URI reference"},
		// RFC 8288 section 3.5.
		{"<http://example.com/TheBook/chapter2>; rel=\"previous\";\n         title=\"previous chapter\"",
		 "!a parameter with no name"},
		{"<http://example.com/TheBook/chapter2>; rel=\"previous\"; title=\"previous chapter\"",
		 "previous=http://example.com/TheBook/chapter2\n"},
		{"</>; rel=\"http://example.net/foo\"", "http://example.net/foo=https://b.example/\n"},
		{"</terms>; rel=\"copyright\"; anchor=\"#foo\"", ""},
		{"</TheBook/chapter2>; rel=\"previous\"; title*=UTF-8'de'letztes%20Kapitel, "
		 "</TheBook/chapter4>; rel=\"next\"; title*=UTF-8'de'n%c3%a4chstes%20Kapitel",
		 "previous=https://b.example/TheBook/chapter2\nnext=https://b.example/TheBook/chapter4\n"},
		{"<http://example.org/>; rel=\"start http://example.net/relation/other\"",
		 "start=http://example.org/\nhttp://example.net/relation/other=http://example.org/\n"},
		{"<https://example.org/>; rel=\"start\", <https://example.org/index>; rel=\"index\"",
		 "start=https://example.org/\nindex=https://example.org/index\n"},
		// Refused: what the grammar does not allow.
		{"<a b>; rel=next", "!a link's target that is no URI reference"},
		{"<a>; rel=next <b>", "!a link followed by what is neither ; nor ,"},
		{"<a; rel=next", "!a link's target with no >"},
		{"<a>; title*=\"UTF-8''x\"; rel=next", "!an extended value in quotes"},
		{", ,<a>;rel=NEXT,", "next=https://b.example/d/a\n"},
	};
	url base;
	urlinit(&base);
	report r = {};
	ASSERT_TRUE(parseurl("https://b.example/d/", 20, nullptr, &base, &r));
	for (const auto &row : rows) {
		httpout o = {};
		fieldjob j = {&base, 0, false};
		EXPECT_EQ(pairs(linkread(row.in.data(), row.in.size(), &j, &o), &o), row.out) << row.in;
		httpfree(&o);
	}
	urlfree(&base);
}

// Dates in all three forms, and Retry-After, from a fixed now.
TEST(http, dates)
{
	struct {
		fieldreader *read;
		std::string in, out;
	} rows[] = {
		{dateread, "Sun, 06 Nov 1994 08:49:37 GMT", "784111777"},
		{dateread, "Sunday, 06-Nov-94 08:49:37 GMT", "784111777"},
		{dateread, "Sun Nov  6 08:49:37 1994", "784111777"},
		{dateread, "Thu, 01 Jan 1970 00:00:00 GMT", "0"},
		{dateread, "Tue, 29 Feb 2028 23:59:60 GMT", "1835481600"},
		// A two-digit year, from November 1994: 2043, but 1944, not 2044.
		{dateread, "Thursday, 31-Dec-43 00:00:00 GMT", "2335132800"},
		{dateread, "Sunday, 31-Dec-44 00:00:00 GMT", "-789004800"},
		{dateread, "Tuesday, 01-Jan-30 00:00:00 GMT", "1893456000"},
		{dateread, "Sun, 06 Nov 1994 08:49:37 gmt", "!"},
		{dateread, "sun, 06 Nov 1994 08:49:37 GMT", "!"},
		{dateread, "Sun, 6 Nov 1994 08:49:37 GMT", "!"},
		{dateread, "Sun, 31 Nov 1994 08:49:37 GMT", "!"},
		{dateread, "Sun, 29 Feb 2100 08:49:37 GMT", "!"},
		{dateread, "Sun, 06 Nov 1994 24:00:00 GMT", "!"},
		{dateread, "Sun, 06 Nov 1994 08:49:37 GMT ", "!"},
		{dateread, "1994-11-06T08:49:37Z", "!"},
		{retryread, "120", "120"},
		{retryread, "0", "0"},
		{retryread, "Sun, 06 Nov 1994 08:51:37 GMT", "20"},	// now is 08:51:17
		{retryread, "Sun, 06 Nov 1994 08:49:37 GMT", "0"},	// past: no wait
		{retryread, "-1", "!"},
		{retryread, "1.5", "!"},
		{retryread, "99999999999999999999", "!"},
		{retryread, " 120", "!"},
	};
	for (const auto &r : rows) {
		httpout o = {};
		fieldjob j = {nullptr, 784111877, false};
		const char *why = r.read(r.in.data(), r.in.size(), &j, &o);
		EXPECT_EQ(why != nullptr ? "!" : httpvalue(&o, 0), r.out) << r.in;
		httpfree(&o);
	}
}

TEST(http, auth)
{
	struct {
		std::string in, out;
	} rows[] = {
		{"Basic realm=\"simple\"", "0/scheme=basic\n0/realm=simple\n"},
		{"Newauth realm=\"apps\", type=1, title=\"Login to \\\"apps\\\"\", Basic realm=\"simple\"",
		 "0/scheme=newauth\n0/realm=apps\n0/type=1\n0/title=Login to \"apps\"\n1/scheme=basic\n1/realm=simple\n"},
		{"Negotiate abc==, Bearer", "0/scheme=negotiate\n0/token68=abc==\n1/scheme=bearer\n"},
		{"Bearer realm = x ,, error=\"invalid_token\"", "0/scheme=bearer\n0/realm=x\n0/error=invalid_token\n"},
		{"Basic realm=a, REALM=b", "!a parameter given twice in a challenge"},
		{"Basic realm=a, Other realm=b", "0/scheme=basic\n0/realm=a\n1/scheme=other\n1/realm=b\n"},
		{"Basic realm=\"a", "!a quoted string with no end, or a control character in it"},
		{"=x", "!a challenge that does not begin with a scheme"},
		{"Basic\trealm=a", "!a challenge followed by what is not ,"},
	};
	for (const auto &r : rows) {
		httpout o = {};
		fieldjob j = {};
		EXPECT_EQ(pairs(authread(r.in.data(), r.in.size(), &j, &o), &o), r.out) << r.in;
		httpfree(&o);
	}
}

// A stream that gives a few bytes a read, so that every head and line
// ends somewhere across two reads.
static std::string feed;
static size_t fed, piece;
static ssize_t trickle(int, char *buf, size_t len)
{
	size_t n = std::min({len, piece, feed.size() - fed});
	memcpy(buf, feed.data() + fed, n);
	fed += n;
	return static_cast<ssize_t>(n);
}

TEST(http, heads)
{
	const std::string three = "HTTP/1.1 100 Continue\r\n\r\n"
				  "HTTP/1.1 301 Moved Permanently\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n"
				  "HTTP/2 200 \r\ncontent-type: application/json\r\nlink: <https://a/?p=2>; rel=\"next\"\r\n"
				  "X-Ids: 1\r\nSet-Cookie: a=1; Expires=Wed, 21 Oct 2026 07:28:00 GMT\r\nx-ids: 2\r\n"
				  "set-cookie: b=2\r\n\r\n";
	struct {
		std::string in, out;
		bool strict = false;
	} rows[] = {
		{three + "{\"body\": 1}\n",
		 ":status=200\n:reason=\n:version=HTTP/2\ncontent-type=application/json\nlink=<https://a/?p=2>; "
		 "rel=\"next\"\nx-ids=1, 2\nset-cookie=a=1; Expires=Wed, 21 Oct 2026 07:28:00 GMT\nset-cookie=b=2\n"},
		{three, ":status=200\n:reason=\n:version=HTTP/2\ncontent-type=application/json\nlink=<https://a/?p=2>; "
			"rel=\"next\"\nx-ids=1, 2\nset-cookie=a=1; Expires=Wed, 21 Oct 2026 07:28:00 GMT\nset-cookie=b=2\n"},
		{"HTTP/1.0 404 Not Found\nA:b \n\n", ":status=404\n:reason=Not Found\n:version=HTTP/1.0\na=b\n"},
		{"HTTP/1.1 200 OK\r\nA: x\r\n  y \r\nA:\r\n\r\n", ":status=200\n:reason=OK\n:version=HTTP/1.1\na=x y, \n"},
		{"HTTP/1.1 200 OK\r\nA: x\r\n  y\r\n\r\n", "!line 3: a line folded onto the one before (obs-fold)", true},
		{"HTTP/1.1 200 OK\r\n y\r\n\r\n", "!line 2: a line that begins with a blank before any field"},
		{"HTTP/1.1 200 OK\r\nA : b\r\n\r\n", "!line 2: whitespace between a field's name and its colon"},
		{"HTTP/1.1 200 OK\r\nA(b): c\r\n\r\n", "!line 2: a field name that is not a token"},
		{"HTTP/1.1 200 OK\r\n: c\r\n\r\n", "!line 2: a field name that is not a token"},
		{"HTTP/1.1 200 OK\r\nA b\r\n\r\n", "!line 2: a field name that is not a token"},
		{"HTTP/1.1 200 OK\r\nAb\r\n\r\n", "!line 2: a field line with no colon"},
		{"HTTP/1.1 200 OK\r\nA: b\rc\r\n\r\n", "!line 2: a CR that ends no line"},
		{std::string("HTTP/1.1 200 OK\r\nA: b\0c\r\n\r\n", 27), "!line 2: a control character in a field's value"},
		{"HTTP/1.1 200 OK\r\nA: b\x01\r\n\r\n", "!line 2: a control character in a field's value"},
		{"HTTP/1.1 200 OK\r\nA: caf\xc3\xa9\r\n\r\n", ":status=200\n:reason=OK\n:version=HTTP/1.1\na=caf\xc3\xa9\n"},
		{"Content-Type: text/plain\r\n\r\n", "!no status line: the input is not a response's head"},
		{"HTTP/1.1 20 OK\r\n\r\n", "!line 1: no status code of three digits after the version"},
		{"HTTP/1.1 200OK\r\n\r\n", "!line 1: no space after the status code"},
		{"HTTP/1.1 099 X\r\n\r\n", "!line 1: a status code outside 100 to 599"},
		{"HTTP/1.1 600 X\r\n\r\n", "!line 1: a status code outside 100 to 599"},
		{"HTTP/1.1 200 OK\x01\r\n\r\n", "!line 1: a control character in the reason"},
		{"HTTP/1.10 200 OK\r\n\r\n", "!line 1: no status code of three digits after the version"},
		{"HTTP/1.1 200 OK\r\nA: b\r\n", "!the input ends inside a head, before its empty line"},
		{"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200", "!the input ends inside a head, before its empty line"},
		{"", "!no head in the input"},
		{"HTTP/1.1 200 OK\r\n" + std::string(70000, 'a') + ": b\r\n\r\n", "!a head of more than 65536 bytes (-m raises it)"},
		{"HTTP/1.1 200 OK\r\n" + [] {
			 std::string s;
			 for (int i = 0; i < 1001; i++)
				 s += "A: b\r\n";
			 return s;
		 }() + "\r\n",
		 "!more than 1000 fields in a head (-F raises it)"},
	};
	for (const auto &r : rows) {
		headlimits lim = {headbytes, headfields, r.strict};
		httpout o = {};
		EXPECT_EQ(pairs(headmem(r.in.data(), r.in.size(), &lim, &o), &o), r.out) << r.in;
		for (size_t p : {1u, 3u, 7u, 4096u}) {
			feed = r.in;
			fed = 0;
			piece = p;
			EXPECT_EQ(pairs(headread(0, trickle, &lim, &o), &o), r.out) << r.in << " in pieces of " << p;
		}
		httpfree(&o);
	}
}

// What the program prints: the status, a field, each cookie a line, and
// the links a pair a line.
TEST(http, print)
{
	struct {
		std::vector<const char *> argv;
		std::string in, out;
	} rows[] = {
		{{"httphead"}, "HTTP/1.1 204 No Content\r\n\r\n", "204"},
		{{"httphead", "-g", "X-A"}, "HTTP/1.1 200 OK\r\nx-a: 1\r\nX-A: 2\r\n\r\n", "1, 2"},
		{{"httphead", "-g", "set-cookie"}, "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n\r\n", "a=1\nb=2\n"},
		{{"httphead", "-g", "nope"}, "HTTP/1.1 200 OK\r\n\r\n", "!no field nope"},
		{{"httphead", "-t", "link", "-b", "https://a/", "--", "</2>; rel=next", "</9>; rel=\"last prev\""}, "",
		 "next\thttps://a/2\nlast\thttps://a/9\nprev\thttps://a/9\n"},
		{{"httphead", "-t", "link", "-g", "prev", "--", "<https://a/1>; rel=prev, <https://a/2>; rel=prev"}, "",
		 "https://a/1"},
		{{"httphead", "-t", "link", "--", "</2>; rel=next"}, "",
		 "!a link's target that is no URL (-b resolves a relative one)"},
		{{"httphead", "-t", "disposition", "--", "attachment; filename=\"a.txt\""}, "", "a.txt"},
		{{"httphead", "-t", "disposition", "--", "inline"}, "", "!no filename in the field"},
		{{"httphead", "-t", "sf-list", "--", "a;x=1", "b"}, "", "a;x=1, b"},
		{{"httphead", "-t", "retry-after", "-n", "100", "--", "Thu, 01 Jan 1970 00:02:00 GMT"}, "", "20"},
		{{"httphead", "-t", "date"}, "", "!" + std::string(headusage)},
		{{"httphead", "-t", "date", "-l", "--", "x"}, "", "!-l and -z read the values from standard input: give none"},
		{{"httphead", "-b", "https://a/"}, "", "!-l, -z, -b and -n go with -t"},
		{{"httphead", "-t", "json", "x"}, "",
		 "!-t: no such type: link, date, retry-after, disposition, auth, sf-item, sf-list or sf-dict"},
	};
	for (const auto &r : rows) {
		headjob j;
		httpout o = {};
		jsonbuf out = {};
		const char *why = headoptions(static_cast<int>(r.argv.size()), const_cast<char *const *>(r.argv.data()), &j);
		feed = r.in;
		fed = 0;
		piece = 4096;
		if (why == nullptr)
			why = headrun(&j, trickle, &o);
		if (why == nullptr)
			why = headprint(&j, &o, &out);
		EXPECT_EQ(why != nullptr ? "!" + std::string(why) : std::string(out.p != nullptr ? out.p : "", out.n), r.out)
			<< r.argv.back();
		httpfree(&o);
		jsonfree(&out);
	}
}
