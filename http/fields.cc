// The values of the fields that a script acts on, each by its grammar:
// Link (RFC 8288), HTTP-date and Retry-After (RFC 9110), Content-
// Disposition (RFC 6266, RFC 8187) and WWW-Authenticate (RFC 9110).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "http.h"
#include "intern.h"
#include "text.h"
#include "url.h"


bool quoted(cur *c, jsonbuf *out)
{
	if (peek(c) != '"')
		return false;
	for (c->i++; c->i < c->n; c->i++) {
		unsigned char b = static_cast<unsigned char>(c->s[c->i]);
		if (b == '"') {
			c->i++;
			return true;
		}
		if (b == '\\') {
			if (++c->i == c->n)
				return false;
			b = static_cast<unsigned char>(c->s[c->i]);
		}
		if (!valuebyte(b))
			return false;
		jsonadd(out, c->s + c->i, 1);
	}
	return false;
}

static int hexval(char c)
{
	return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// attr-char, what an ext-value may hold unencoded.
static bool attrchar(unsigned char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
	       among(static_cast<char>(c), "!#$&+-.^_`|~");
}

const char *extvalue(const char *s, size_t n, jsonbuf *out)
{
	const char *q1 = findbyte(s, n, '\'');
	const char *q2 = q1 != nullptr ? findbyte(q1 + 1, n - static_cast<size_t>(q1 + 1 - s), '\'') : nullptr;
	if (q2 == nullptr)
		return "an extended value with no charset'language' before it";
	size_t cn = static_cast<size_t>(q1 - s);
	bool latin1;
	if (cn == 5 && samecase(s, "UTF-8", 5))
		latin1 = false;
	else if (cn == 10 && samecase(s, "ISO-8859-1", 10))
		latin1 = true;
	else
		return "an extended value in a charset other than UTF-8 and ISO-8859-1";
	for (const char *l = q1 + 1; l < q2; l++)
		if (!((*l >= 'a' && *l <= 'z') || (*l >= 'A' && *l <= 'Z') || (*l >= '0' && *l <= '9') || *l == '-'))
			return "an extended value whose language is no tag";
	size_t from = out->n;
	for (const char *p = q2 + 1; p < s + n; p++) {
		unsigned char b = static_cast<unsigned char>(*p);
		if (b == '%') {
			if (s + n - p < 3 || hexval(p[1]) < 0 || hexval(p[2]) < 0)
				return "a % in an extended value not followed by two hex digits";
			b = static_cast<unsigned char>(hexval(p[1]) * 16 + hexval(p[2]));
			p += 2;
		} else if (!attrchar(b)) {
			return "a byte in an extended value that must be percent-encoded";
		}
		if (latin1 && b >= 0x80) {
			char u[2] = {static_cast<char>(0xc0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3f))};
			jsonadd(out, u, 2);
		} else {
			char c = static_cast<char>(b);
			jsonadd(out, &c, 1);
		}
	}
	if (out->bad)
		return "cannot allocate the value";
	for (size_t i = from, len = 0; i < out->n; i += len)
		if (utf8point(reinterpret_cast<const unsigned char *>(out->p + i), out->n - i, &len) < 0)
			return "an extended value that is not UTF-8 once decoded";
	return nullptr;
}

// A parameter's name and value: token BWS "=" BWS (token / quoted-string)
// where the cursor is, the name's bytes at c->s + *name, the value into
// v; the value of a name that ends in "*" is an ext-value, decoded.
// Null, or why there is none.
static const char *param(cur *c, size_t *name, size_t *len, jsonbuf *v, bool needvalue = true)
{
	v->n = 0;
	*name = c->i;
	*len = token(c);
	if (*len == 0)
		return "a parameter with no name";
	size_t after = c->i;
	ows(c);
	if (peek(c) != '=') {
		c->i = after;
		return needvalue ? "a parameter with no = and value" : nullptr;
	}
	c->i++;
	ows(c);
	if (c->s[*name + *len - 1] == '*') {
		size_t from = c->i, n = token(c);
		if (n == 0)
			return peek(c) == '"' ? "an extended value in quotes" : "a parameter with no value";
		const char *why = extvalue(c->s + from, n, v);
		if (why != nullptr)
			return why;
	} else if (peek(c) == '"') {
		if (!quoted(c, v))
			return "a quoted string with no end, or a control character in it";
	} else {
		size_t from = c->i, n = token(c);
		if (n == 0)
			return "a parameter with no value";
		jsonadd(v, c->s + from, n);
	}
	return v->bad ? "cannot allocate the value" : nullptr;
}

struct names {
	const char *s;
	const size_t *at, *len;
};

static bool samecase(const void *ctx, size_t a, size_t b)
{
	const names *n = static_cast<const names *>(ctx);
	return n->len[a] == n->len[b] && samecase(n->s + n->at[a], n->s + n->at[b], n->len[a]);
}

static uint64_t hashcase(const char *s, size_t n, uint64_t seed)
{
	char low[64];
	if (n > sizeof low)
		return jsonhash(s, sizeof low, seed ^ n);	// the rest told apart by samecase
	for (size_t i = 0; i < n; i++)
		low[i] = lower(s[i]);
	return jsonhash(low, n, seed);
}

// A URI-Reference (RFC 3986) as it stands: its characters, and a % only
// before two hex digits.
static bool urichars(const char *s, size_t n)
{
	for (size_t i = 0; i < n; i++) {
		unsigned char b = static_cast<unsigned char>(s[i]);
		if (b == '%') {
			if (n - i < 3 || hexval(s[i + 1]) < 0 || hexval(s[i + 2]) < 0)
				return false;
		} else if (!((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
			     among(static_cast<char>(b), "-._~:/?#[]@!$&'()*+,;="))) {
			return false;
		}
	}
	return true;
}

// Link = #link-value, link-value = "<" URI-Reference ">" *( OWS ";" OWS
// link-param ), empty elements of the list allowed, as RFC 9110 asks.
const char *linkread(const char *s, size_t n, const fieldjob *j, httpout *o)
{
	cur c = {s, 0, n};
	jsonbuf v = {}, rels = {};
	str href = {};
	url u;
	urlinit(&u);
	const char *why = nullptr;
	while (why == nullptr) {
		ows(&c);
		if (!more(&c))
			break;
		if (peek(&c) == ',') {
			c.i++;
			continue;
		}
		if (peek(&c) != '<') {
			why = "a link that does not begin with <";
			break;
		}
		const char *gt = findbyte(s + c.i, n - c.i, '>');
		if (gt == nullptr) {
			why = "a link's target with no >";
			break;
		}
		size_t ts = c.i + 1, tn = static_cast<size_t>(gt - s) - ts;
		c.i = static_cast<size_t>(gt - s) + 1;
		if (!urichars(s + ts, tn)) {
			why = "a link's target that is no URI reference";
			break;
		}
		report r = {};
		if (!parseurl(s + ts, tn, j->base, &u, &r)) {
			why = j->base == nullptr ? "a link's target that is no URL (-b resolves a relative one)"
						 : "a link's target that is no URL";
			break;
		}
		bool anchored = false, gotrel = false;
		rels.n = 0;
		for (;;) {
			ows(&c);
			if (peek(&c) != ';')
				break;
			c.i++;
			ows(&c);
			size_t pn, pl;
			why = param(&c, &pn, &pl, &v, false);
			if (why != nullptr)
				break;
			// A second rel is ignored, as RFC 8288 tells a parser.
			if (pl == 3 && samecase(s + pn, "rel", 3) && !gotrel) {
				gotrel = true;
				jsonadd(&rels, v.p != nullptr ? v.p : "", v.n);
			} else if (pl == 6 && samecase(s + pn, "anchor", 6)) {
				anchored = true;
			}
		}
		if (why != nullptr)
			break;
		ows(&c);
		if (more(&c) && peek(&c) != ',') {
			why = "a link followed by what is neither ; nor ,";
			break;
		}
		if (anchored || !gotrel)
			continue;
		href.n = 0;
		serialize(&u, &href);
		// relation-types: one or more, separated by spaces, each compared
		// without regard to case, an extension type (a URI) too.
		for (size_t i = 0; i < rels.n;) {
			while (i < rels.n && rels.p[i] == ' ')
				i++;
			size_t k = i;
			while (k < rels.n && rels.p[k] != ' ')
				k++;
			if (k == i)
				break;
			for (size_t m = i; m < k; m++)
				rels.p[m] = lower(rels.p[m]);
			for (size_t m = i; m < k; m++)
				if (static_cast<unsigned char>(rels.p[m]) <= 0x20 || static_cast<unsigned char>(rels.p[m]) >= 0x7f)
					why = "a relation type that is neither a name nor a URI";
			httpput(o, rels.p + i, k - i, text(&href), href.n, "link");
			i = k;
		}
	}
	if (why == nullptr && (o->bad || v.bad || rels.bad || href.bad))
		why = "cannot allocate the links";
	jsonfree(&v);
	jsonfree(&rels);
	release(&href);
	urlfree(&u);
	return why;
}

static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
static const char *const longdays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
				     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// n digits at s, as a number; -1 where they are not all digits.
static long digits(const char *s, size_t n)
{
	long v = 0;
	for (size_t i = 0; i < n; i++) {
		if (s[i] < '0' || s[i] > '9')
			return -1;
		v = v * 10 + (s[i] - '0');
	}
	return v;
}

static int monthat(const char *s)
{
	for (int m = 0; m < 12; m++)
		if (samebytes(s, months[m], 3))
			return m + 1;
	return 0;
}

// "HH:MM:SS" at s: seconds into the day, or -1.
static long timeat(const char *s)
{
	long h = digits(s, 2), m = digits(s + 3, 2), sec = digits(s + 6, 2);
	if (s[2] != ':' || s[5] != ':' || h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 60)
		return -1;
	return h * 3600 + m * 60 + sec;
}

// HTTP-date, case and all as it stands: IMF-fixdate "Sun, 06 Nov 1994
// 08:49:37 GMT", and the obsolete forms that a recipient must read, RFC
// 850's "Sunday, 06-Nov-94 08:49:37 GMT" and asctime's "Sun Nov  6
// 08:49:37 1994".
const char *dateparse(const char *s, size_t n, long long now, long long *t)
{
	long y = -1, d = -1, sec = -1;
	bool twodigit = false;
	int m = 0;
	for (int w = 0; w < 7 && y < 0; w++) {
		size_t dl = strlen(longdays[w]);
		if (n == 29 && samebytes(s, days[w], 3) && samebytes(s + 3, ", ", 2) && s[7] == ' ' &&
		    s[11] == ' ' && s[16] == ' ' && samebytes(s + 25, " GMT", 4)) {
			d = digits(s + 5, 2);
			m = monthat(s + 8);
			y = digits(s + 12, 4);
			sec = timeat(s + 17);
		} else if (n == dl + 24 && samebytes(s, longdays[w], dl) && samebytes(s + dl, ", ", 2)) {
			const char *p = s + dl + 2;
			if (p[2] != '-' || p[6] != '-' || p[9] != ' ' || !samebytes(p + 18, " GMT", 4))
				break;
			d = digits(p, 2);
			m = monthat(p + 3);
			long yy = digits(p + 7, 2);
			sec = timeat(p + 10);
			if (yy < 0)
				break;
			// A two-digit year: the latest with those digits that is
			// not more than 50 years ahead.
			long nowyear = yearof(dayof(now));
			y = nowyear / 100 * 100 + yy + 100;
			twodigit = true;
		} else if (n == 24 && samebytes(s, days[w], 3) && s[3] == ' ' && s[7] == ' ' && s[10] == ' ' &&
			   s[19] == ' ') {
			m = monthat(s + 4);
			d = s[8] == ' ' ? digits(s + 9, 1) : digits(s + 8, 2);
			sec = timeat(s + 11);
			y = digits(s + 20, 4);
		}
	}
	const long long fifty = 1577836800;	// 50 years of 365.2425 days
	while (twodigit && y >= 0 && d >= 0 && sec >= 0 && m > 0 &&
	       daysfrom(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) * 86400 + sec > now + fifty)
		y -= 100;
	if (y < 0 || d < 0 || sec < 0 || !civildate(y, m, d))
		return "not an HTTP-date (such as Sun, 06 Nov 1994 08:49:37 GMT)";
	*t = daysfrom(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) * 86400 + sec;
	return nullptr;
}

static void number(httpout *o, const char *key, long long v)
{
	char b[24];
	httpput(o, key, strlen(key), b, numout(b, v), "integer");
}

const char *dateread(const char *s, size_t n, const fieldjob *j, httpout *o)
{
	long long t;
	const char *why = dateparse(s, n, j->now, &t);
	if (why == nullptr)
		number(o, "date", t);
	return why;
}

// delay-seconds = 1*DIGIT, or an HTTP-date: the seconds to wait from now.
const char *retryread(const char *s, size_t n, const fieldjob *j, httpout *o)
{
	long long t = 0;
	if (n > 0 && s[0] >= '0' && s[0] <= '9') {
		for (size_t i = 0; i < n; i++) {
			if (s[i] < '0' || s[i] > '9')
				return "neither delay-seconds nor an HTTP-date";
			if (t > (1LL << 53))
				return "delay-seconds past 2^53";
			t = t * 10 + (s[i] - '0');
		}
	} else {
		const char *why = dateparse(s, n, j->now, &t);
		if (why != nullptr)
			return "neither delay-seconds nor an HTTP-date";
		t = t > j->now ? t - j->now : 0;
	}
	number(o, "retry-after", t);
	return nullptr;
}

// A file name that a script may save under as it is: not empty, not . or
// .., no / or \, no control character, UTF-8.
static const char *filename(const char *s, size_t n)
{
	if (n == 0 || (n == 1 && s[0] == '.') || (n == 2 && s[0] == '.' && s[1] == '.'))
		return "a file name that is empty, . or ..";
	for (size_t i = 0, len = 0; i < n; i += len) {
		unsigned char b = static_cast<unsigned char>(s[i]);
		long cp = utf8point(reinterpret_cast<const unsigned char *>(s + i), n - i, &len);
		if (cp < 0)
			return "a file name that is not UTF-8";
		if (b == '/' || b == '\\')
			return "a file name with a / or \\ in it";
		if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0))
			return "a file name with a control character in it";
	}
	return nullptr;
}

// disposition-type *( OWS ";" OWS disposition-parm ), each parameter
// once: RFC 6266 calls a field with a name twice invalid.
const char *dispread(const char *s, size_t n, const fieldjob *, httpout *o)
{
	cur c = {s, 0, n};
	ows(&c);
	size_t ts = c.i, tl = token(&c);
	if (tl == 0)
		return "no disposition type";
	char type[64];
	if (tl >= sizeof type)
		return "a disposition type of more than 63 bytes";
	for (size_t i = 0; i < tl; i++)
		type[i] = lower(s[ts + i]);
	httpput(o, "type", 4, type, tl, nullptr);
	jsonbuf v = {}, name = {}, star = {};
	size_t cap = n / 2 + 1, np = 0;
	size_t *at = static_cast<size_t *>(malloc(cap * sizeof *at)), *len = static_cast<size_t *>(malloc(cap * sizeof *len));
	names nm = {s, at, len};
	nameset set = {};
	bool hasname = false, hasstar = false;
	const char *why = at == nullptr || len == nullptr ? "cannot allocate the parameters" : nullptr;
	while (why == nullptr) {
		ows(&c);
		if (!more(&c))
			break;
		if (peek(&c) != ';') {
			why = "a disposition type or parameter followed by what is not ;";
			break;
		}
		c.i++;
		ows(&c);
		if (!more(&c)) {
			why = "a ; with no parameter after it";
			break;
		}
		size_t pn, pl;
		why = param(&c, &pn, &pl, &v);
		if (why != nullptr)
			break;
		at[np] = pn;
		len[np] = pl;
		long dup = nameadd(&set, hashcase(s + pn, pl, 0x646973), np, samecase, &nm);
		if (dup == -2) {
			why = "cannot allocate the parameters";
			break;
		}
		if (dup >= 0) {
			why = "a parameter given twice";
			break;
		}
		np++;
		char key[64];
		if (pl >= sizeof key) {
			why = "a parameter name of more than 63 bytes";
			break;
		}
		for (size_t i = 0; i < pl; i++)
			key[i] = lower(s[pn + i]);
		const char *vp = v.p != nullptr ? v.p : "";
		if (pl == 8 && samebytes(key, "filename", 8)) {
			hasname = true;
			jsonadd(&name, vp, v.n);
		} else if (pl == 9 && samebytes(key, "filename*", 9)) {
			hasstar = true;
			jsonadd(&star, vp, v.n);
		} else {
			httpput(o, key, pl, vp, v.n, nullptr);
		}
	}
	// filename* where both are given: the other is there for readers
	// that know no RFC 8187.
	if (why == nullptr && (hasname || hasstar)) {
		const jsonbuf *f = hasstar ? &star : &name;
		const char *fp = f->p != nullptr ? f->p : "";
		why = filename(fp, f->n);
		if (why == nullptr)
			httpput(o, "filename", 8, fp, f->n, nullptr);
	}
	if (why == nullptr && (o->bad || v.bad || name.bad || star.bad))
		why = "cannot allocate the parameters";
	namefree(&set);
	free(at);
	free(len);
	jsonfree(&v);
	jsonfree(&name);
	jsonfree(&star);
	return why;
}

// token68 = 1*( ALPHA / DIGIT / "-" / "." / "_" / "~" / "+" / "/" ) *"="
static size_t token68(const cur *c)
{
	size_t i = c->i;
	while (i < c->n && ((c->s[i] >= 'a' && c->s[i] <= 'z') || (c->s[i] >= 'A' && c->s[i] <= 'Z') ||
			    (c->s[i] >= '0' && c->s[i] <= '9') || among(c->s[i], "-._~+/")))
		i++;
	if (i == c->i)
		return 0;
	while (i < c->n && c->s[i] == '=')
		i++;
	return i - c->i;
}

// Whether what is at the cursor begins an auth-param, token BWS "=",
// rather than a new challenge's scheme.
static bool aparam(cur c)
{
	if (token(&c) == 0)
		return false;
	ows(&c);
	return peek(&c) == '=';
}

// A challenge's key, its number and then rest ("0/scheme"), in key: its
// length, with no NUL.
static size_t numbered(char *key, size_t nth, const char *rest)
{
	size_t n = unsignedout(key, nth);
	while (*rest != '\0')
		key[n++] = *rest++;
	return n;
}

// WWW-Authenticate = #challenge, challenge = auth-scheme [ 1*SP ( token68
// / #auth-param ) ]: the commas that part challenges part parameters too.
const char *authread(const char *s, size_t n, const fieldjob *, httpout *o)
{
	cur c = {s, 0, n};
	jsonbuf v = {};
	size_t cap = n / 2 + 1, np = 0, nth = 0;
	size_t *at = static_cast<size_t *>(malloc(cap * sizeof *at)), *len = static_cast<size_t *>(malloc(cap * sizeof *len));
	names nm = {s, at, len};
	nameset set = {};
	char key[96];
	const char *why = at == nullptr || len == nullptr ? "cannot allocate the challenges" : nullptr;
	while (why == nullptr) {
		ows(&c);
		if (!more(&c))
			break;
		if (peek(&c) == ',') {
			c.i++;
			continue;
		}
		size_t ss = c.i, sl = token(&c);
		if (sl == 0 || sl > 63) {
			why = sl == 0 ? "a challenge that does not begin with a scheme" : "a scheme of more than 63 bytes";
			break;
		}
		size_t kl = numbered(key, nth, "/scheme");
		char scheme[64];
		for (size_t i = 0; i < sl; i++)
			scheme[i] = lower(s[ss + i]);
		httpput(o, key, kl, scheme, sl, nullptr);
		size_t first = np;
		if (peek(&c) == ' ') {
			ows(&c);
			size_t t = token68(&c);
			cur after = {s, c.i + t, n};
			ows(&after);
			if (t > 0 && (!more(&after) || peek(&after) == ',')) {
				kl = numbered(key, nth, "/token68");
				httpput(o, key, kl, s + c.i, t, nullptr);
				c = after;
			} else {
				// #auth-param, until what follows a comma is not one.
				while (why == nullptr && aparam(c)) {
					size_t pn, pl;
					why = param(&c, &pn, &pl, &v);
					if (why != nullptr)
						break;
					if (pl > 63) {
						why = "a parameter name of more than 63 bytes";
						break;
					}
					at[np] = pn;
					len[np] = pl;
					// Names are told apart within a challenge: the hash and
					// the test both take the challenge's number.
					long dup = nameadd(&set, hashcase(s + pn, pl, 0x61757468 + nth), np, samecase, &nm);
					if (dup == -2)
						why = "cannot allocate the challenges";
					else if (dup >= 0 && static_cast<size_t>(dup) >= first)
						why = "a parameter given twice in a challenge";
					if (why != nullptr)
						break;
					np++;
					kl = numbered(key, nth, "/");
					for (size_t i = 0; i < pl; i++)
						key[kl + i] = lower(s[pn + i]);
					httpput(o, key, kl + pl, v.p != nullptr ? v.p : "", v.n, nullptr);
					ows(&c);
					cur next = c;
					while (more(&next) && (peek(&next) == ',' || blank(peek(&next))))
						next.i++;
					if (peek(&c) == ',' && aparam(next))
						c = next;
				}
			}
		}
		if (why != nullptr)
			break;
		ows(&c);
		if (more(&c) && peek(&c) != ',')
			why = "a challenge followed by what is not ,";
		nth++;
	}
	if (why == nullptr && (o->bad || v.bad))
		why = "cannot allocate the challenges";
	namefree(&set);
	free(at);
	free(len);
	jsonfree(&v);
	return why;
}
