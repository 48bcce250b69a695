// Hosts: domains, IPv4 and IPv6 addresses, opaque hosts, each parsed and
// serialized as the URL Standard has it.
#include <cstring>

#include "intern.h"

static unsigned hexval(char c)
{
	return digit(c) ? static_cast<unsigned>(c - '0') : static_cast<unsigned>(lower(c) - 'a' + 10);
}

static bool forbiddenhost(unsigned char c)
{
	return c == 0 || c == '\t' || c == '\n' || c == '\r' || (c != 0 && findc(" #/:<>?@[\\]^|", static_cast<char>(c)) != nullptr);
}

static bool forbiddendomain(unsigned char c)
{
	return forbiddenhost(c) || c < 0x20 || c == '%' || c == 0x7F;
}

// The IPv6 parser, on the address between the brackets, into pieces.
static bool ipv6(const char *p, const char *end, unsigned short piece[8], report *r)
{
	int index = 0, compress = -1;

	memset(piece, 0, 8 * sizeof *piece);
	if (p < end && *p == ':') {
		if (p + 1 >= end || p[1] != ':')
			return fail(r, "IPv6-invalid-compression");
		p += 2;
		compress = ++index;
	}
	while (p < end) {
		if (index == 8)
			return fail(r, "IPv6-too-many-pieces");
		if (*p == ':') {
			if (compress >= 0)
				return fail(r, "IPv6-multiple-compression");
			p++;
			compress = ++index;
			continue;
		}
		unsigned value = 0;
		int length = 0;
		while (length < 4 && p < end && hex(*p)) {
			value = value * 16 + hexval(*p++);
			length++;
		}
		if (p < end && *p == '.') {
			if (length == 0)
				return fail(r, "IPv4-in-IPv6-invalid-code-point");
			p -= length;
			if (index > 6)
				return fail(r, "IPv4-in-IPv6-too-many-pieces");
			int seen = 0;
			while (p < end) {
				int part = -1;
				if (seen > 0) {
					if (*p == '.' && seen < 4)
						p++;
					else
						return fail(r, "IPv4-in-IPv6-invalid-code-point");
				}
				if (p == end || !digit(*p))
					return fail(r, "IPv4-in-IPv6-invalid-code-point");
				while (p < end && digit(*p)) {
					int number = *p - '0';
					if (part < 0)
						part = number;
					else if (part == 0)
						return fail(r, "IPv4-in-IPv6-invalid-code-point");
					else
						part = part * 10 + number;
					if (part > 255)
						return fail(r, "IPv4-in-IPv6-out-of-range-part");
					p++;
				}
				piece[index] = static_cast<unsigned short>(piece[index] * 0x100 + part);
				if (++seen == 2 || seen == 4)
					index++;
			}
			if (seen != 4)
				return fail(r, "IPv4-in-IPv6-too-few-parts");
			break;
		}
		if (p < end && *p == ':') {
			if (++p == end)
				return fail(r, "IPv6-invalid-code-point");
		} else if (p < end) {
			return fail(r, "IPv6-invalid-code-point");
		}
		if (length > 1 && value < (1u << (4 * (length - 1))))
			invalid(r, "IPv6-piece-leading-zero");
		piece[index++] = static_cast<unsigned short>(value);
	}
	if (compress >= 0) {
		int swaps = index - compress;
		for (index = 7; index != 0 && swaps > 0; index--, swaps--) {
			unsigned short t = piece[index];
			piece[index] = piece[compress + swaps - 1];
			piece[compress + swaps - 1] = t;
		}
	} else if (index != 8) {
		return fail(r, "IPv6-too-few-pieces");
	}
	return true;
}

// The shortest form, the longest run of two or more zero pieces as "::".
static void ipv6out(const unsigned short piece[8], str *out)
{
	int longest = -1, longsize = 1, found = -1, size = 0;
	for (int i = 0; i < 8; i++) {
		if (piece[i] != 0) {
			if (size > longsize) {
				longest = found;
				longsize = size;
			}
			found = -1;
			size = 0;
		} else {
			if (found < 0)
				found = i;
			size++;
		}
	}
	if (size > longsize)
		longest = found;

	addc(out, '[');
	bool ignore0 = false;
	for (int i = 0; i < 8; i++) {
		if (ignore0 && piece[i] == 0)
			continue;
		ignore0 = false;
		if (longest == i) {
			addz(out, i == 0 ? "::" : ":");
			ignore0 = true;
			continue;
		}
		addnum(out, piece[i], 16);
		if (i != 7)
			addc(out, ':');
	}
	addc(out, ']');
}

// The IPv4 number parser: a part in decimal, or hexadecimal after "0x", or
// octal after "0"; -1 for none, and *other where it was not decimal.
// Parts past 2^32 are only ever too big, so they stop there.
static long long ipv4number(const char *p, const char *end, bool *other)
{
	unsigned radix = 10;

	*other = false;
	if (p == end)
		return -1;
	if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
		*other = true;
		p += 2;
		radix = 16;
	} else if (end - p >= 2 && p[0] == '0') {
		*other = true;
		p++;
		radix = 8;
	}
	long long n = 0;
	for (; p < end; p++) {
		if (!(radix == 16 ? hex(*p) : digit(*p) && static_cast<unsigned>(*p - '0') < radix))
			return -1;
		if (n < (1LL << 33))
			n = n * radix + hexval(*p);
	}
	return n;
}

// Whether the domain's last label (before a final '.') is a number, which
// makes it an IPv4 address or nothing.
static bool endsinnumber(const char *p, const char *end)
{
	if (end > p && end[-1] == '.')
		end--;
	const char *last = end;
	while (last > p && last[-1] != '.')
		last--;
	if (last == end)
		return false;
	bool other;
	const char *s = last;
	while (s < end && digit(*s))
		s++;
	return s == end || ipv4number(last, end, &other) >= 0;
}

static bool ipv4(const char *p, const char *end, url *u, report *r)
{
	const char *part[5];
	const char *stop[5];
	int n = 0;

	if (end > p && end[-1] == '.') {
		invalid(r, "IPv4-empty-part");
		end--;
	}
	for (const char *s = p;; s++) {
		const char *dot = s;
		while (dot < end && *dot != '.')
			dot++;
		if (n == 4)
			return fail(r, "IPv4-too-many-parts");
		part[n] = s;
		stop[n++] = dot;
		if (dot == end)
			break;
		s = dot;
	}
	if (n < 4)
		invalid(r, "IPv4-too-few-parts");
	long long num[4];
	for (int i = 0; i < n; i++) {
		bool other;
		if ((num[i] = ipv4number(part[i], stop[i], &other)) < 0)
			return fail(r, "IPv4-non-numeric-part");
		if (other)
			invalid(r, "IPv4-non-decimal-part");
	}
	for (int i = 0; i < n; i++)
		if (num[i] > 255) {
			invalid(r, "IPv4-out-of-range-part");
			if (i < n - 1)
				return fail(r, "IPv4-out-of-range-part");
		}
	if (num[n - 1] >= 1LL << (8 * (5 - n)))
		return fail(r, "IPv4-out-of-range-part");
	unsigned long long v = static_cast<unsigned long long>(num[n - 1]);
	for (int i = 0; i < n - 1; i++)
		v += static_cast<unsigned long long>(num[i]) << (8 * (3 - i));
	clear(&u->host);
	for (int shift = 24; shift >= 0; shift -= 8) {
		addnum(&u->host, static_cast<unsigned long>(v >> shift & 255), 10);
		if (shift > 0)
			addc(&u->host, '.');
	}
	u->host_type = ipv4host;
	return true;
}

// What beStrict adds for an ASCII domain, which needs no mapping but the
// lower case already made: STD3's letters, digits and hyphens, hyphens
// not at a label's ends nor in its third and fourth places, and DNS's
// lengths. A label of Punycode must decode to a valid one, which
// libidn2 decides.
static const char *strictascii(const char *p, size_t n, const char **odd)
{
	*odd = nullptr;
	if (n > 0 && p[n - 1] == '.')
		n--;	// the root label
	if (n == 0 || n > 253)
		return "the domain is empty or over 253 bytes";
	bool punycode = false;
	for (const char *s = p, *end = p + n; s <= end; s++) {
		const char *e = s;
		bool ldh = true;
		for (; e < end && *e != '.'; e++)
			ldh = ldh && ((*e >= 'a' && *e <= 'z') || digit(*e) || *e == '-');
		size_t len = static_cast<size_t>(e - s);
		if (len == 0 || len > 63)
			return "a label is empty or over 63 bytes";
		if (!ldh)
			return "a label holds a byte other than a letter, digit or hyphen";
		if (s[0] == '-' || s[len - 1] == '-')
			return "a label starts or ends with a hyphen";
		if (len >= 4 && s[2] == '-' && s[3] == '-') {
			if (s[0] != 'x' || s[1] != 'n')
				return "a label has hyphens in its third and fourth places";
			punycode = true;
		}
		s = e;
	}
	if (punycode) {
		str out = {};
		const char *why = toascii(p, n, true, &out, odd);
		bool same = why == nullptr && out.n == n && samebytes(out.p, p, n);
		release(&out);
		if (!same)
			return why != nullptr ? why : "a label of Punycode is not valid";
	}
	return nullptr;
}

// The domain parser, and then the checks that make a domain: lower case
// for ASCII, UTS #46 for the rest.
static bool domain(const char *p, size_t n, url *u, report *r)
{
	bool ascii = true;
	for (size_t i = 0; i < n; i++)
		ascii = ascii && static_cast<unsigned char>(p[i]) < 0x80;
	str d = {};
	d.room = u->host.room;	// it becomes the host
	if (ascii) {
		for (size_t i = 0; i < n; i++)
			addc(&d, lower(p[i]));
		const char *odd, *why = strictascii(text(&d), d.n, &odd);
		if (why != nullptr && r->error == nullptr) {
			invalid(r, "domain-to-ASCII");
			r->detail = why;
		}
		if (odd != nullptr)
			invalid(r, odd);
	} else {
		// An error of our own: the deviation characters, and U+1E9E, are
		// mapped by some readers (IDNA 2003, older tables) and kept by
		// others, so "faß.de" is xn--fa-hia.de for one and fass.de for
		// another.
		if (deviation(p, n, true))
			invalid(r, "IDNA-deviation");
		str s = {};
		const char *odd, *strictodd, *strictwhy = toascii(p, n, true, &s, &strictodd);
		const char *why = toascii(p, n, false, &d, &odd);
		if (why != nullptr) {
			release(&s);
			release(&d);
			r->detail = why;
			return fail(r, "domain-to-ASCII");
		}
		// beStrict may only refuse: a name that it makes otherwise (libidn2
		// drops "\xE2\x89\xA0" under STD3's rules) is no name to trust.
		if (strictwhy == nullptr && (s.n != d.n || !samebytes(text(&s), text(&d), d.n)))
			strictwhy = "beStrict gives another name";
		release(&s);
		if (odd != nullptr || strictodd != nullptr)
			invalid(r, odd != nullptr ? odd : strictodd);
		if (strictwhy != nullptr && r->error == nullptr) {
			invalid(r, "domain-to-ASCII");
			r->detail = strictwhy;
		}
	}
	if (d.bad) {
		lacking(r, &d);
		release(&d);
		return false;
	}
	bool ok = d.n > 0;
	for (size_t i = 0; ok && i < d.n; i++)
		ok = !forbiddendomain(static_cast<unsigned char>(d.p[i]));
	if (!ok) {
		release(&d);
		r->detail = "a forbidden domain code point, or none at all";
		return fail(r, "domain-to-ASCII");
	}
	if (endsinnumber(d.p, d.p + d.n)) {
		ok = ipv4(d.p, d.p + d.n, u, r);
		release(&d);
		return ok;
	}
	size_t *room = u->host.room;
	release(&u->host);
	u->host = d;
	u->host.room = room;
	u->host_type = domainhost;
	return true;
}

bool parsehost(const char *in, size_t n, bool opaque, url *u, report *r)
{
	const char *end = in + n;

	if (n > 0 && in[0] == '[') {
		if (in[n - 1] != ']')
			return fail(r, "IPv6-unclosed");
		unsigned short piece[8];
		if (!ipv6(in + 1, end - 1, piece, r))
			return false;
		clear(&u->host);
		ipv6out(piece, &u->host);
		u->host_type = ipv6host;
		return true;
	}
	if (opaque) {
		for (size_t i = 0; i < n; i++)
			if (forbiddenhost(static_cast<unsigned char>(in[i])))
				return fail(r, "host-invalid-code-point");
		// Errors of our own: an opaque host stays as it is written, but
		// curl decodes "%31%32%37.0.0.1" to 127.0.0.1 and maps
		// "１２７.0.0.1" through IDNA to it, for the schemes it fetches.
		for (const char *p = in; p < end; p++) {
			if (!urlunit(p, end))
				invalid(r, "invalid-URL-unit");
			if (*p == '%')
				invalid(r, "opaque-host-percent-encoded");
			if (static_cast<unsigned char>(*p) >= 0x80)
				invalid(r, "opaque-host-non-ASCII");
		}
		// "foo:///u@evil.com/": an empty host for the standard, and a
		// path that curl takes the host from.
		if (n == 0)
			invalid(r, "non-special-host-missing");
		// "gopher://127.1/", "gopher://0x7f.1/": a name for the standard,
		// an IPv4 address for curl, which would take it as 127.0.0.1.
		if (n > 0 && endsinnumber(in, end)) {
			url v;
			urlinit(&v);
			report scratch = {};
			if (ipv4(in, end, &v, &scratch) && !(v.host.n == n && samebytes(text(&v.host), in, n)))
				invalid(r, "opaque-host-IPv4-non-canonical");
			urlfree(&v);
		}
		clear(&u->host);
		encode(&u->host, in, n, c0set);
		u->host_type = n > 0 ? opaquehost : emptyhost;
		return true;
	}
	// Percent-decoded, then read as UTF-8.
	const char *pct = in;
	while (pct < end && *pct != '%')
		pct++;
	if (pct == end)
		return fixutf8(in, n, nullptr) ? domain(in, n, u, r) : fail(r, "domain-to-ASCII");
	str d = {};
	d.room = u->host.room;
	for (const char *p = in; p < end; p++) {
		if (*p == '%' && end - p >= 3 && hex(p[1]) && hex(p[2])) {
			invalid(r, "domain-percent-encoded");
			addc(&d, static_cast<char>(hexval(p[1]) * 16 + hexval(p[2])));
			p += 2;
		} else {
			addc(&d, *p);
		}
	}
	if (d.bad) {	// part of a host would be another host
		lacking(r, &d);
		release(&d);
		return false;
	}
	bool ok = fixutf8(text(&d), d.n, nullptr);
	if (ok)
		ok = domain(text(&d), d.n, u, r);
	else
		r->detail = "percent-decoded, it is not UTF-8";
	if (!ok && r->failure == nullptr)
		fail(r, "domain-to-ASCII");
	release(&d);
	return ok;
}
