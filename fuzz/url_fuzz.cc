// The URL parser on any bytes: a URL, against a base where the input
// holds a 0xFF before it, and then a setter where the first byte asks
// for one. Whatever parses gives an href that parses again to itself,
// and every component stays within the bytes that the standard lets it
// hold; a parse within a memory bound gives the same, or fails
// "too-long"; all of it clean under the sanitizers.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "url.h"

// The bytes that a component may never hold as they are: each is
// percent-encoded where it comes in. Every component is ASCII with no
// control byte.
static const char *const never[] = {
	"",			// href
	" #<>?@\\^|",		// origin
	" \"#<>?`{}/@[]%\\^|",	// protocol
	" \"#<>?`{}/:;=@[\\]^|",	// username
	" \"#<>?`{}/:;=@[\\]^|",	// password
	" #/<>?@\\^|",		// host: a domain may hold " ` { }
	" #/<>?@\\^|",		// hostname
	nullptr,		// port: digits alone
	"\"#<>?`{}^",		// pathname, a list; an opaque one holds these, a space too
	" \"#<>",		// search
	" \"<>`",		// hash
};

// Whether two URLs serialize alike.
static bool samehref(const url *a, const url *b)
{
	str x = {}, y = {};
	serialize(a, &x);
	serialize(b, &y);
	bool same = x.n == y.n && memcmp(text(&x), text(&y), x.n) == 0;
	release(&x);
	release(&y);
	return same;
}

static void check(const url *u)
{
	for (int c = 0; components[c] != nullptr; c++) {
		str s = {};
		urlget(u, components[c], &s);
		for (size_t i = 0; i < s.n; i++) {
			unsigned char b = static_cast<unsigned char>(s.p[i]);
			if (b < 0x20 || b > 0x7E || (b == ' ' && !u->opaque) ||
			    (never[c] == nullptr ? b < '0' || b > '9' :
			     i > 0 && strchr(u->opaque && c == 8 ? "#?" : never[c], b) != nullptr))
				abort();
		}
		release(&s);
	}
	str href = {};
	serialize(u, &href);
	url v;
	urlinit(&v);
	report r = {};
	if (!parseurl(text(&href), href.n, nullptr, &v, &r) || !samehref(u, &v))
		abort();
	release(&href);
	urlfree(&v);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1)
		return 0;
	const char *in = reinterpret_cast<const char *>(data) + 1, *end = in + size - 1;
	const char *ff = static_cast<const char *>(memchr(in, 0xFF, static_cast<size_t>(end - in)));
	url base, u;
	urlinit(&base);
	urlinit(&u);
	report r = {};
	bool based = ff != nullptr && parseurl(in, static_cast<size_t>(ff - in), nullptr, &base, &r);
	if (based)
		check(&base);
	const char *s = ff != nullptr ? ff + 1 : in;
	// A setter takes what follows a second 0xFF, the URL what is before.
	const char *ff2 = static_cast<const char *>(memchr(s, 0xFF, static_cast<size_t>(end - s)));
	size_t n = static_cast<size_t>((ff2 != nullptr ? ff2 : end) - s);
	r = {};
	bool ok = parseurl(s, n, based ? &base : nullptr, &u, &r);
	// Within a memory bound, the same URL, or "too-long"; twice, as a line
	// mode parses one URL after another in the same record.
	url w;
	urlinit(&w);
	w.most = 64 + static_cast<size_t>(data[0]) * 8;
	for (int k = 0; k < 2; k++) {
		report wr = {};
		bool wok = parseurl(s, n, based ? &base : nullptr, &w, &wr);
		if (!wok && wr.failure != nullptr && strcmp(wr.failure, "too-long") == 0)
			continue;
		if (wok != ok || (!ok && strcmp(wr.failure, r.failure) != 0) || (ok && !samehref(&u, &w)))
			abort();
	}
	urlfree(&w);
	if (ok) {
		check(&u);
		if (ff2 != nullptr) {
			r = {};
			urlset(&u, components[data[0] % 11], ff2 + 1, static_cast<size_t>(end - ff2 - 1), &r);
			check(&u);
		}
	}
	urlfree(&base);
	urlfree(&u);
	return 0;
}
