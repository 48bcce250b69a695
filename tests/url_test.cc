// The URL parser against web-platform-tests' conformance data, every case
// of both files: each URL parsed against its base gives every component
// that the case names, or fails where it says so, and each setter leaves
// the components that it expects. A host that needs UTS #46 may be
// refused where libidn2 cannot be loaded (as under an emulator, which has
// none of the target's), and is counted apart; nothing may be wrong.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "steps.h"
#include "url.h"

// As much JSON as the data holds. A string is UTF-8, with U+FFFD for a
// lone surrogate, as a USVString takes it.
struct json {
	enum { jnull, jscalar, jtext, jlist, jobject } kind = jnull;
	std::string s;
	std::vector<json> items;
	std::vector<std::string> keys;		// an object's, one an item
};

static const json *field(const json &j, const char *key)
{
	for (size_t i = 0; i < j.keys.size(); i++)
		if (j.keys[i] == key)
			return &j.items[i];
	return nullptr;
}

static void utf8(std::string *out, unsigned long c)
{
	if (c < 0x80) {
		*out += static_cast<char>(c);
		return;
	}
	int n = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
	static const unsigned long lead[] = {0, 0xC0, 0xE0, 0xF0};
	*out += static_cast<char>(lead[n] | (c >> (6 * n)));
	while (n-- > 0)
		*out += static_cast<char>(0x80 | ((c >> (6 * n)) & 0x3F));
}

static json parse(const char *&p)
{
	json j;
	while (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r' || *p == ',' || *p == ':')
		p++;
	if (*p == '{' || *p == '[') {
		char close = *p++ == '{' ? '}' : ']';
		j.kind = close == '}' ? json::jobject : json::jlist;
		for (;;) {
			while (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r' || *p == ',')
				p++;
			if (*p == close || *p == '\0')
				break;
			if (close == '}')
				j.keys.push_back(parse(p).s);
			j.items.push_back(parse(p));
		}
		p++;
	} else if (*p == '"') {
		j.kind = json::jtext;
		for (p++; *p != '"' && *p != '\0'; p++) {
			if (*p != '\\') {
				j.s += *p;
				continue;
			}
			char e = *++p;
			if (e != 'u') {
				j.s += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == 'b' ? '\b' : e == 'f' ? '\f' : e;
				continue;
			}
			unsigned long c = std::stoul(std::string(p + 1, 4), nullptr, 16);
			p += 4;
			if (c >= 0xD800 && c < 0xDC00 && p[1] == '\\' && p[2] == 'u') {
				unsigned long lo = std::stoul(std::string(p + 3, 4), nullptr, 16);
				if (lo >= 0xDC00 && lo < 0xE000) {
					c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
					p += 6;
				}
			}
			utf8(&j.s, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
		}
		p++;
	} else {
		const char *start = p;
		while (*p != ',' && *p != '}' && *p != ']' && *p != '\0')
			p++;
		j.s.assign(start, p);
		j.kind = j.s == "null" ? json::jnull : json::jscalar;
	}
	return j;
}

static json load(const char *name)
{
	std::string text;
	FILE *f = fopen((std::string(URL_DATA_DIR "/") + name).c_str(), "rb");
	EXPECT_NE(f, nullptr) << name;
	char buf[65536];
	for (size_t n; f != nullptr && (n = fread(buf, 1, sizeof buf, f)) > 0;)
		text.append(buf, n);
	if (f != nullptr)
		fclose(f);
	const char *p = text.c_str();
	return parse(p);
}

static std::string get(const url *u, const char *name)
{
	str s = {};
	urlget(u, name, &s);
	std::string v = text(&s);
	release(&s);
	return v;
}

// The components that the case expects, each as the URL has it; or what
// differs.
static std::string unlike(const url *u, const json &want)
{
	std::string diff;
	for (const char *const *c = components; *c != nullptr; c++)
		if (const json *w = field(want, *c); w != nullptr && get(u, *c) != w->s)
			diff += std::string(*c) + "=" + get(u, *c) + " ";
	return diff;
}

TEST(Url, Parsing)
{
	int held = 0, idna = 0, wrong = 0;
	for (const json &c : load("urltestdata.json").items) {
		if (c.kind != json::jobject)
			continue;	// a comment
		const json *in = field(c, "input"), *b = field(c, "base");
		url base, u;
		urlinit(&base);
		urlinit(&u);
		report r = {};
		bool ok = b == nullptr || b->kind == json::jnull ||
			  parseurl(b->s.data(), b->s.size(), nullptr, &base, &r);
		if (ok)
			ok = parseurl(in->s.data(), in->s.size(), b != nullptr && b->kind != json::jnull ? &base : nullptr,
				      &u, &r);
		std::string diff = ok ? unlike(&u, c) : "";
		if (field(c, "failure") != nullptr ? !ok : ok && diff.empty())
			held++;
		else if (!ok && r.failure != nullptr && std::string(r.failure) == "domain-to-ASCII")
			idna++;
		else
			ADD_FAILURE() << ++wrong << ": " << in->s << (ok ? " gives " + diff : std::string(" fails: ") + (r.failure != nullptr ? r.failure : "?"));
		urlfree(&base);
		urlfree(&u);
	}
	printf("parsing: %d held, %d refused as IDNA, %d wrong\n", held, idna, wrong);
	EXPECT_GT(held, 800);
}

TEST(Url, Setters)
{
	int held = 0, idna = 0, wrong = 0;
	json all = load("setters_tests.json");
	for (size_t k = 0; k < all.items.size(); k++) {
		const std::string &component = all.keys[k];
		if (all.items[k].kind != json::jlist)
			continue;
		for (const json &c : all.items[k].items) {
			if (c.kind != json::jobject)
				continue;	// a comment
			url u;
			urlinit(&u);
			report r = {};
			const json *href = field(c, "href"), *value = field(c, "new_value");
			ASSERT_TRUE(parseurl(href->s.data(), href->s.size(), nullptr, &u, &r)) << href->s;
			urlset(&u, component.c_str(), value->s.data(), value->s.size(), &r);
			std::string diff = unlike(&u, *field(c, "expected"));
			if (diff.empty())
				held++;
			else if (r.failure != nullptr && std::string(r.failure) == "domain-to-ASCII")
				idna++;
			else
				ADD_FAILURE() << ++wrong << ": " << href->s << " " << component << "=" << value->s
					      << " gives " << diff;
			urlfree(&u);
		}
	}
	printf("setters: %d held, %d refused as IDNA, %d wrong\n", held, idna, wrong);
	EXPECT_GT(held, 250);
}

// Strict, what curl, Python or an older IDNA reads with another scheme or
// host is refused too, by names of our own; what is left reads alike.
TEST(Url, StrictAgainstOtherReaders)
{
	// A host that needs IDNA is refused otherwise where libidn2 is not to
	// be had, as under qemu.
	str ascii = {};
	const char *odd;
	bool idna = toascii("b\xc3\xbc" "cher", 7, false, &ascii, &odd) == nullptr;
	release(&ascii);
	struct { const char *base, *input, *error; bool idn = false; } cases[] = {
		{nullptr, "localhost:8080", "scheme-missing-following-solidus"},
		{"http://example.com/", "javascript:x", "scheme-missing-following-solidus"},
		{nullptr, "gopher:/evil.com/", "non-special-host-missing"},
		{nullptr, "gopher://%31%32%37.0.0.1/", "opaque-host-percent-encoded"},
		{nullptr, "ftps://\xef\xbc\x91\xef\xbc\x92\xef\xbc\x97.0.0.1/", "opaque-host-non-ASCII"},
		{nullptr, "gopher://0x7f.1/", "opaque-host-IPv4-non-canonical"},
		{nullptr, "http://\xe1\xba\x9e.de/", "IDNA-deviation"},
		{"file:///etc/x", "////x", "file-host-empty-extra-solidus"},
		{"file:///etc/x", "/.//evil", "file-host-empty-extra-solidus"},
		{nullptr, "http://x/%2e%2E/etc/passwd", "dot-segment-percent-encoded"},
		{nullptr, "http://\xe2\x89\xa0.com/", "IDNA-2008-disallowed", true},
		{nullptr, "http://\xea\xad\xb0.com/", "IDNA-unassigned-in-Unicode-3.2", true},
		{nullptr, "https://\xe1\x8e\xa0.com/", "IDNA-case-changed-after-Unicode-3.2", true},
		{nullptr, "http://b\xc3\xbc" "cher.de/", "", true},
		{nullptr, "http://ex\xff" "ample.org/", "not-UTF-8"},
		{nullptr, "https://[2001:db8::1]:8443/x", ""},
		{nullptr, "file:///etc/passwd", ""},
	};
	for (const auto &c : cases) {
		if (c.idn && !idna)
			continue;
		job j = {c.base, c.input, true, false, false, 0, nullptr, 0, nullptr, 0};
		url u;
		urlinit(&u);
		str why = {};
		EXPECT_EQ(urlrun(&j, &u, &why), *c.error == '\0') << c.input;
		EXPECT_EQ(text(&why), std::string(*c.error ? c.input : "") + (*c.error ? ": " : "") + c.error);
		release(&why);
		urlfree(&u);
	}
}

// Request targets as RFC 9112 has a server read them, on the origin that
// -b gives: origin-form as it stands, never a reference ("//x" is a path),
// its dot segments removed; asterisk-form and authority-form with no
// path; absolute-form a URL of its own; anything else none of them. With
// -s, what readers take apart differently is refused.
TEST(Url, RequestTargets)
{
	struct { const char *target, *href, *strict; } cases[] = {
		{"/a/b?q=1", "http://example.org/a/b?q=1", ""},
		{"//evil.example/x", "http://example.org//evil.example/x", "request-target-empty-segment"},
		{"/%2e%2e/etc/passwd", "http://example.org/etc/passwd", "dot-segment-percent-encoded"},
		{"/a/./b/../c", "http://example.org/a/c", ""},
		{"/a\\b", "http://example.org/a/b", "invalid-reverse-solidus"},
		{"/a#f", "http://example.org/a#f", "request-target-fragment"},
		{"*", "http://example.org/", ""},
		{"example.org:8080", "http://example.org:8080/", ""},
		{"http://other.example/p?x", "http://other.example/p?x", ""},
		{"-", nullptr, "request-target-none-of-its-forms"},
		{"200", nullptr, "request-target-none-of-its-forms"},
	};
	for (const auto &c : cases)
		for (bool strict : {false, true}) {
			job j = {"http://example.org/", c.target, strict, true, false, 0, nullptr, 0, nullptr, 0};
			url u;
			urlinit(&u);
			str why = {}, href = {};
			bool ok = urlrun(&j, &u, &why);
			const char *error = strict && *c.strict != '\0' ? c.strict : c.href == nullptr ? c.strict : "";
			EXPECT_EQ(ok, *error == '\0') << c.target << (strict ? " -s" : "");
			if (ok)
				urlget(&u, "href", &href);
			EXPECT_EQ(std::string(text(&href)), ok ? c.href : "") << c.target;
			EXPECT_EQ(std::string(text(&why)), *error ? std::string(c.target) + ": " + error : "") << c.target;
			release(&why);
			release(&href);
			urlfree(&u);
		}
}
