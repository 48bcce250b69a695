// The basic URL parser, a state machine over the input's bytes, and the
// URL serializer. The standard speaks of code points; every one outside
// ASCII is percent-encoded byte by byte wherever it lands, or handed to
// the host parser as UTF-8, so bytes serve as well.
#include <cstdlib>
#include <cstring>

#include "intern.h"
#include "words.h"

size_t length(const char *z)
{
	const char *p = z;
	while (*p != '\0')
		p++;
	return static_cast<size_t>(p - z);
}

const char *findc(const char *z, char c)
{
	for (; *z != '\0'; z++)
		if (*z == c)
			return z;
	return nullptr;
}

void grow(str *s, const char *b, size_t n)
{
	if (s->bad || n == 0)
		return;
	if (s->n + n + 1 > s->cap) {
		size_t cap = s->cap == 0 ? 32 : s->cap;
		while (cap < s->n + n + 1)
			cap *= 2;
		// Within a budget, the last of it is taken as it is needed,
		// not doubled past it.
		size_t most = s->room != nullptr ? s->cap + *s->room : cap;
		if (s->n + n + 1 > most) {
			s->bad = s->over = true;
			return;
		}
		cap = cap < most ? cap : most;
		char *p = static_cast<char *>(realloc(s->p, cap));
		if (p == nullptr) {
			s->bad = true;
			return;
		}
		if (s->room != nullptr)
			*s->room -= cap - s->cap;
		s->p = p;
		s->cap = cap;
	}
	copywords(s->p + s->n, b, n);
	s->n += n;
	s->p[s->n] = '\0';
}

void addz(str *s, const char *z)
{
	add(s, z, length(z));
}

void release(str *s)
{
	free(s->p);
	*s = {};
}

void addnum(str *out, unsigned long v, unsigned base)
{
	char b[24], *p = b + sizeof b;
	// Each base a constant, which needs no division routine on a machine
	// that cannot divide.
	do
		*--p = "0123456789abcdef"[base == 16 ? v & 15 : v % 10];
	while ((v = base == 16 ? v >> 4 : v / 10) > 0);
	add(out, p, static_cast<size_t>(b + sizeof b - p));
}

static bool same(const str *s, const char *z)
{
	return samestr(text(s), z);
}

static inline void copy(str *to, const str *from)
{
	clear(to);
	if (from->n > 0)
		add(to, from->p, from->n);
	to->bad = to->bad || from->bad;
}

void urlinit(url *u)
{
	*u = {};
	u->port = -1;
}

void urlfree(url *u)
{
	str *parts[] = {&u->scheme, &u->username, &u->password, &u->host, &u->path, &u->query, &u->fragment};
	for (str *s : parts)
		release(s);
	urlinit(u);
}

bool urlcopy(url *to, const url *from)
{
	copy(&to->scheme, &from->scheme);
	copy(&to->username, &from->username);
	copy(&to->password, &from->password);
	copy(&to->host, &from->host);
	copy(&to->path, &from->path);
	copy(&to->query, &from->query);
	copy(&to->fragment, &from->fragment);
	to->host_type = from->host_type;
	to->port = from->port;
	to->opaque = from->opaque;
	to->hasquery = from->hasquery;
	to->hasfragment = from->hasfragment;
	return !(to->scheme.bad || to->username.bad || to->password.bad || to->host.bad ||
		 to->path.bad || to->query.bad || to->fragment.bad);
}

void encode(str *out, const char *s, size_t n, encodeset set)
{
	static const char digits[] = "0123456789ABCDEF";
	for (size_t i = 0; i < n;) {
		size_t run = i;
		while (run < n && !inset(static_cast<unsigned char>(s[run]), set))
			run++;
		add(out, s + i, run - i);
		if (run == n)
			break;
		unsigned char c = static_cast<unsigned char>(s[run]);
		char e[3] = {'%', digits[c >> 4], digits[c & 15]};
		add(out, e, 3);
		i = run + 1;
	}
}

bool isspecial(const str *scheme)
{
	// By length first: most schemes are asked about again and again.
	const char *s = scheme->p;
	switch (scheme->n) {
	case 2:
		return samebytes(s, "ws", 2);
	case 3:
		return samebytes(s, "ftp", 3) || samebytes(s, "wss", 3);
	case 4:
		return samebytes(s, "http", 4) || samebytes(s, "file", 4);
	case 5:
		return samebytes(s, "https", 5);
	default:
		return false;
	}
}

long defaultport(const str *scheme)
{
	return same(scheme, "http") || same(scheme, "ws") ? 80 :
	       same(scheme, "https") || same(scheme, "wss") ? 443 : same(scheme, "ftp") ? 21 : -1;
}

// One UTF-8 sequence at p, as the Encoding Standard decodes it: its code
// point and length, or -1 and the length of the maximal subpart that one
// U+FFFD replaces.
static long utf8at(const unsigned char *p, const unsigned char *end, size_t *len)
{
	unsigned c = *p;
	size_t need = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 :
		      c >= 0xF0 && c <= 0xF4 ? 3 : 4;
	*len = 1;
	if (need == 0)
		return static_cast<long>(c);
	if (need == 4)
		return -1;
	unsigned lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
	unsigned hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
	long cp = static_cast<long>(c & (0x3F >> need));
	for (size_t k = 1; k <= need; k++) {
		if (p + k >= end || p[k] < (k == 1 ? lo : 0x80) || p[k] > (k == 1 ? hi : 0xBF))
			return -1;
		cp = cp << 6 | static_cast<long>(p[k] & 0x3F);
		*len = k + 1;
	}
	return cp;
}

bool fixutf8(const char *in, size_t n, str *out)
{
	const unsigned char *p = reinterpret_cast<const unsigned char *>(in), *end = p + n;
	bool good = true;
	while (p < end) {
		size_t len;
		long cp = utf8at(p, end, &len);
		if (cp < 0) {
			good = false;
			if (out != nullptr)
				addz(out, "\xEF\xBF\xBD");
		} else {
			// A run of ASCII, or one sequence, as it stands.
			while (cp < 0x80 && p + len < end && p[len] < 0x80)
				len++;
			if (out != nullptr)
				add(out, reinterpret_cast<const char *>(p), len);
		}
		p += len;
	}
	return good;
}

// The URL code points below 0x80, letters, digits and those below; and of
// them, for each state that takes runs of bytes, those that it takes as
// they stand: they need no encoding there and end nothing. A bit each.
enum { unitbyte = 1, pathbyte = 2, querybyte = 4, specialquerybyte = 8, fragmentbyte = 16 };
struct asciiunits {
	unsigned char is[256];
	constexpr asciiunits() : is()
	{
		for (unsigned c = 0; c < 128; c++)
			if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
				is[c] = unitbyte;
		for (const char *e = "!$&'()*+,-./:;=?@_~"; *e != '\0'; e++)
			is[static_cast<unsigned char>(*e)] = unitbyte;
		for (unsigned c = 0; c < 128; c++) {
			unsigned sets = is[c] != 0 ? encodetable.in[c] : 0xFF;
			if (c != '/' && c != '?' && !(sets >> pathset & 1))
				is[c] |= pathbyte;
			if (!(sets >> queryset & 1))
				is[c] |= querybyte;
			if (!(sets >> specialqueryset & 1))
				is[c] |= specialquerybyte;
			if (!(sets >> fragmentset & 1))
				is[c] |= fragmentbyte;
		}
	}
};
static constexpr asciiunits units;

bool urlunit(const char *p, const char *end)
{
	unsigned char c = static_cast<unsigned char>(*p);
	if (c == '%')
		return end - p >= 3 && hex(p[1]) && hex(p[2]);
	if (c < 0x80)
		return units.is[c] & unitbyte;
	if (c < 0xC0)
		return true;	// judged with the byte that leads it
	size_t len;
	long cp = utf8at(reinterpret_cast<const unsigned char *>(p),
			 reinterpret_cast<const unsigned char *>(end), &len);
	return cp >= 0xA0 && !(cp >= 0xFDD0 && cp <= 0xFDEF) && (cp & 0xFFFE) != 0xFFFE;
}


static bool credentials(const url *u)
{
	return u->username.n > 0 || u->password.n > 0;
}

// Two bytes that are a Windows drive letter, "c:" or "c|"; normalized,
// only "c:".
static bool drive(const char *s, size_t n, bool normalized)
{
	return n == 2 && alpha(s[0]) && (s[1] == ':' || (!normalized && s[1] == '|'));
}

// Whether the bytes from s on start with a Windows drive letter.
static bool startsdrive(const char *s, const char *end)
{
	return end - s >= 2 && drive(s, 2, false) &&
	       (end - s == 2 || findc("/\\?#", s[2]) != nullptr);
}

// The first segment of a list path, "/c:/x" giving "c:".
static bool firstdrive(const url *u)
{
	if (u->path.n == 0)
		return false;
	size_t n = 0;
	while (u->path.p[1 + n] != '\0' && u->path.p[1 + n] != '/')
		n++;
	return drive(u->path.p + 1, n, true);
}

static void shorten(url *u)
{
	if (same(&u->scheme, "file") && u->path.n > 0 && findc(u->path.p + 1, '/') == nullptr &&
	    firstdrive(u))
		return;
	size_t n = u->path.n;
	while (n > 0 && u->path.p[n - 1] != '/')
		n--;
	if (n > 0) {
		u->path.n = n - 1;
		u->path.p[n - 1] = '\0';
	}
}

// A single-dot or double-dot segment, "%2e" in any case for a dot: 1 or
// 2, or 0 for any other.
static int dots(const str *b)
{
	// Most segments are none: longer, or starting with another byte.
	if (b->n == 0 || b->n > 6 || (b->p[0] != '.' && b->p[0] != '%'))
		return 0;
	static const char *const all[] = {".", "%2e", "..", ".%2e", "%2e.", "%2e%2e", nullptr};
	for (const char *const *d = all; *d != nullptr; d++) {
		const char *s = b->p, *t = *d;
		while (*t != '\0' && lower(*s) == *t)
			s++, t++;
		if (*s == '\0' && *t == '\0')
			return d - all < 2 ? 1 : 2;
	}
	return 0;
}

// The base's username, password, host and port, as a relative URL takes
// them.
static void authority(url *u, const url *base)
{
	copy(&u->username, &base->username);
	copy(&u->password, &base->password);
	copy(&u->host, &base->host);
	u->host_type = base->host_type;
	u->port = base->port;
}

// Where a run ends, from in[i] on, of bytes that the state at hand takes
// as they stand (those whose bit in the table is take) and of
// percent-encoded bytes: the state machine takes such a run at once.
static inline long takerun(const char *in, long i, long n, unsigned take)
{
	const unsigned char *u = reinterpret_cast<const unsigned char *>(in);
	// Four at a time while all four are taken, as most are.
	while (n - i >= 4 && (units.is[u[i]] & units.is[u[i + 1]] & units.is[u[i + 2]] & units.is[u[i + 3]] & take))
		i += 4;
	while (i < n) {
		if (units.is[u[i]] & take)
			i++;
		else if (u[i] == '%' && n - i >= 3 && hex(in[i + 1]) && hex(in[i + 2]))
			i += 3;
		else
			break;
	}
	return i;
}

// The query or the fragment that '?' or '#' begins, empty and there: the
// state that reads it.
static state begin(url *u, int c)
{
	bool query = c == '?';
	clear(query ? &u->query : &u->fragment);
	(query ? u->hasquery : u->hasfragment) = true;
	return query ? at_query : at_fragment;
}

// Whether the input holds c at k, a byte after the one at hand.
static inline bool byteis(const char *in, long n, long k, char c)
{
	return k < n && in[k] == c;
}

// One step of a state that writes what it reads into to: a run of bytes
// that it takes as they stand (whose bit is take), or else one byte,
// checked and encoded by set. Returns where the step ended, its last byte.
static long takeinto(str *to, const char *in, long i, long n, unsigned take, encodeset set, report *r)
{
	long run = takerun(in, i, n, take);
	if (run > i) {
		add(to, in + i, static_cast<size_t>(run - i));
		return run - 1;
	}
	if (!urlunit(in + i, in + n))
		invalid(r, "invalid-URL-unit");
	encode(to, in + i, 1, set);
	return i;
}

// A segment onto the path, after its '/'. A long one is not copied: the
// path so far goes in front of it, and the two change places, so that a
// long path is never held twice.
static void segment(str *path, str *seg)
{
	size_t k = path->n + 1, n = seg->n;
	if (n <= 4096 || n <= path->n) {
		addc(path, '/');
		add(path, text(seg), n);
		return;
	}
	add(seg, text(path), k - 1);
	addc(seg, '/');
	if (seg->bad)
		return;
	for (size_t i = n; i-- > 0;)
		seg->p[i + k] = seg->p[i];
	copywords(seg->p, text(path), k - 1);
	seg->p[k - 1] = '/';
	str t = *path;
	*path = *seg;
	*seg = t;
}

// The state machine, on input with its tabs and newlines gone, as the
// standard runs it; override is the state it starts in for a setter, or
// none. A setter's "return" and its "failure" both end the run, and
// leave the URL as it is by then.
static bool machine(const char *in, size_t len, const url *base, url *u, state override, report *r)
{
	state st = override != at_none ? override : at_schemestart;
	// The buffer is kept from one URL to the next, as a line mode parses
	// one after another, unless one made it large. Nothing that runs
	// meanwhile parses a URL of its own.
	static str buf;
	clear(&buf);
	buf.bad = buf.over = false;
	buf.room = u->most != 0 ? &u->room : nullptr;
	if (buf.room != nullptr)
		u->room -= buf.cap < u->room ? buf.cap : u->room;
	bool atsign = false, brackets = false, pwseen = false, ok = true;
	bool special = isspecial(&u->scheme);	// again whenever the scheme changes
	long n = static_cast<long>(len);
	const char *end = in + len;

	for (long i = 0;; i++) {
		int c = i < n ? static_cast<unsigned char>(in[i]) : -1;
		switch (st) {
		case at_none:
		case at_schemestart:
			if (c >= 0 && alpha(static_cast<char>(c))) {
				addc(&buf, lower(static_cast<char>(c)));
				st = at_scheme;
			} else if (override == at_none) {
				st = at_noscheme;
				i--;
			} else {
				goto failed;
			}
			break;
		case at_scheme:
			if (c >= 0 && (alpha(static_cast<char>(c)) || digit(static_cast<char>(c)) || c == '+' ||
				       c == '-' || c == '.')) {
				addc(&buf, lower(static_cast<char>(c)));
			} else if (c == ':') {
				if (override != at_none) {
					if (special != isspecial(&buf) ||
					    ((credentials(u) || u->port >= 0) && same(&buf, "file")) ||
					    (same(&u->scheme, "file") && u->host_type == emptyhost))
						goto done;
				}
				// The buffer becomes the scheme, and starts anew.
				release(&u->scheme);
				u->scheme = buf;
				buf = {};
				buf.room = u->scheme.room;
				special = isspecial(&u->scheme);
				if (override != at_none) {
					if (u->port == defaultport(&u->scheme))
						u->port = -1;
					goto done;
				}
				if (same(&u->scheme, "file")) {
					if (!byteis(in, n, i + 1, '/') || !byteis(in, n, i + 2, '/'))
						invalid(r, "special-scheme-missing-following-solidus");
					st = at_file;
				} else if (special && base != nullptr && same(&base->scheme, text(&u->scheme))) {
					st = at_specialrelativeorauthority;
				} else if (special) {
					st = at_specialauthorityslashes;
				} else if (byteis(in, n, i + 1, '/')) {
					// Errors of our own, for what others read as a host
					// where the standard reads none: curl takes
					// "gopher:/evil.com/" to evil.com.
					if (!byteis(in, n, i + 2, '/'))
						invalid(r, "non-special-host-missing");
					st = at_pathorauthority;
					i++;
				} else {
					// "localhost:8080", "mailto:x@evil.com": a scheme and
					// an opaque path for the standard, a host and port,
					// or userinfo and a host, for curl.
					invalid(r, "scheme-missing-following-solidus");
					u->opaque = true;
					clear(&u->path);
					st = at_opaquepath;
				}
			} else if (override == at_none) {
				clear(&buf);
				st = at_noscheme;
				i = -1;
			} else {
				goto failed;
			}
			break;
		case at_noscheme:
			if (base == nullptr || (base->opaque && c != '#')) {
				fail(r, "missing-scheme-non-relative-URL");
				goto failed;
			}
			if (base->opaque) {
				copy(&u->scheme, &base->scheme);
				special = isspecial(&u->scheme);
				copy(&u->path, &base->path);
				u->opaque = true;
				copy(&u->query, &base->query);
				u->hasquery = base->hasquery;
				st = begin(u, '#');
			} else {
				st = same(&base->scheme, "file") ? at_file : at_relative;
				i--;
			}
			break;
		case at_specialrelativeorauthority:
			if (c == '/' && byteis(in, n, i + 1, '/')) {
				st = at_specialauthorityignoreslashes;
				i++;
			} else {
				invalid(r, "special-scheme-missing-following-solidus");
				st = at_relative;
				i--;
			}
			break;
		case at_pathorauthority:
			if (c == '/') {
				st = at_authority;
			} else {
				st = at_path;
				i--;
			}
			break;
		case at_relative:
			copy(&u->scheme, &base->scheme);
			special = isspecial(&u->scheme);
			if (c == '/') {
				st = at_relativeslash;
			} else if (special && c == '\\') {
				invalid(r, "invalid-reverse-solidus");
				st = at_relativeslash;
			} else {
				authority(u, base);
				copy(&u->path, &base->path);
				copy(&u->query, &base->query);
				u->hasquery = base->hasquery;
				if (c == '?' || c == '#') {
					st = begin(u, c);
				} else if (c >= 0) {
					clear(&u->query);
					u->hasquery = false;
					shorten(u);
					st = at_path;
					i--;
				}
			}
			break;
		case at_relativeslash:
			if (special && (c == '/' || c == '\\')) {
				if (c == '\\')
					invalid(r, "invalid-reverse-solidus");
				st = at_specialauthorityignoreslashes;
			} else if (c == '/') {
				st = at_authority;
			} else {
				authority(u, base);
				st = at_path;
				i--;
			}
			break;
		case at_specialauthorityslashes:
			if (c == '/' && byteis(in, n, i + 1, '/')) {
				st = at_specialauthorityignoreslashes;
				i++;
			} else {
				invalid(r, "special-scheme-missing-following-solidus");
				st = at_specialauthorityignoreslashes;
				i--;
			}
			break;
		case at_specialauthorityignoreslashes:
			if (c != '/' && c != '\\') {
				st = at_authority;
				i--;
			} else {
				invalid(r, "special-scheme-missing-following-solidus");
			}
			break;
		case at_authority:
			if (c == '@') {
				invalid(r, "invalid-credentials");
				if (atsign)
					addz(pwseen ? &u->password : &u->username, "%40");
				atsign = true;
				for (size_t k = 0; k < buf.n; k++) {
					if (buf.p[k] == ':' && !pwseen) {
						pwseen = true;
						continue;
					}
					encode(pwseen ? &u->password : &u->username, buf.p + k, 1, userinfoset);
				}
				clear(&buf);
			} else if (c < 0 || c == '/' || c == '?' || c == '#' || (special && c == '\\')) {
				if (atsign && buf.n == 0) {
					fail(r, "host-missing");
					goto failed;
				}
				i -= static_cast<long>(buf.n) + 1;
				clear(&buf);
				st = at_host;
			} else {
				addc(&buf, static_cast<char>(c));
			}
			break;
		case at_host:
		case at_hostname:
			if (override != at_none && same(&u->scheme, "file")) {
				i--;
				st = at_filehost;
			} else if (c == ':' && !brackets) {
				if (buf.n == 0) {
					fail(r, "host-missing");
					goto failed;
				}
				if (override == at_hostname || !parsehost(text(&buf), buf.n, !special, u, r))
					goto failed;
				clear(&buf);
				st = at_port;
			} else if (c < 0 || c == '/' || c == '?' || c == '#' || (special && c == '\\')) {
				i--;
				if (special && buf.n == 0) {
					fail(r, "host-missing");
					goto failed;
				}
				if (override != at_none && buf.n == 0 && (credentials(u) || u->port >= 0))
					goto failed;
				if (!parsehost(text(&buf), buf.n, !special, u, r))
					goto failed;
				clear(&buf);
				st = at_pathstart;
				if (override != at_none)
					goto done;
			} else {
				if (c == '[')
					brackets = true;
				if (c == ']')
					brackets = false;
				addc(&buf, static_cast<char>(c));
			}
			break;
		case at_port:
			if (c >= 0 && digit(static_cast<char>(c))) {
				addc(&buf, static_cast<char>(c));
			} else if (c < 0 || c == '/' || c == '?' || c == '#' || (special && c == '\\') ||
				   override != at_none) {
				if (buf.n > 0) {
					long p = 0;
					for (size_t k = 0; k < buf.n && p <= 65535; k++)
						p = p * 10 + (buf.p[k] - '0');
					if (p > 65535) {
						fail(r, "port-out-of-range");
						goto failed;
					}
					u->port = p == defaultport(&u->scheme) ? -1 : p;
					clear(&buf);
					if (override != at_none)
						goto done;
				}
				if (override != at_none)
					goto failed;
				st = at_pathstart;
				i--;
			} else {
				fail(r, "port-invalid");
				goto failed;
			}
			break;
		case at_file:
			clear(&u->scheme);
			addz(&u->scheme, "file");
			special = true;
			clear(&u->host);
			u->host_type = emptyhost;
			if (c == '/' || c == '\\') {
				if (c == '\\')
					invalid(r, "invalid-reverse-solidus");
				st = at_fileslash;
			} else if (base != nullptr && same(&base->scheme, "file")) {
				copy(&u->host, &base->host);
				u->host_type = base->host_type;
				copy(&u->path, &base->path);
				copy(&u->query, &base->query);
				u->hasquery = base->hasquery;
				if (c == '?' || c == '#') {
					st = begin(u, c);
				} else if (c >= 0) {
					clear(&u->query);
					u->hasquery = false;
					if (!startsdrive(in + i, end)) {
						shorten(u);
					} else {
						invalid(r, "file-invalid-Windows-drive-letter");
						clear(&u->path);
					}
					st = at_path;
					i--;
				}
			} else {
				st = at_path;
				i--;
			}
			break;
		case at_fileslash:
			if (c == '/' || c == '\\') {
				if (c == '\\')
					invalid(r, "invalid-reverse-solidus");
				st = at_filehost;
			} else {
				if (base != nullptr && same(&base->scheme, "file")) {
					copy(&u->host, &base->host);
					u->host_type = base->host_type;
					if (!startsdrive(in + i, end) && firstdrive(base))
						add(&u->path, base->path.p, 3);
				}
				st = at_path;
				i--;
			}
			break;
		case at_filehost:
			if (c < 0 || c == '/' || c == '\\' || c == '?' || c == '#') {
				i--;
				if (override == at_none && drive(text(&buf), buf.n, false)) {
					invalid(r, "file-invalid-Windows-drive-letter-host");
					st = at_path;
				} else if (buf.n == 0) {
					clear(&u->host);
					u->host_type = emptyhost;
					if (override != at_none)
						goto done;
					st = at_pathstart;
				} else {
					if (!parsehost(text(&buf), buf.n, !special, u, r))
						goto failed;
					if (same(&u->host, "localhost")) {
						clear(&u->host);
						u->host_type = emptyhost;
					}
					if (override != at_none)
						goto done;
					clear(&buf);
					st = at_pathstart;
				}
			} else {
				addc(&buf, static_cast<char>(c));
			}
			break;
		case at_pathstart:
			if (special) {
				if (c == '\\')
					invalid(r, "invalid-reverse-solidus");
				st = at_path;
				if (c != '/' && c != '\\')
					i--;
			} else if (override == at_none && (c == '?' || c == '#')) {
				st = begin(u, c);
			} else if (c >= 0) {
				st = at_path;
				if (c != '/')
					i--;
			} else if (override != at_none && u->host_type == nohost) {
				addc(&u->path, '/');
			}
			break;
		case at_path: {
			bool written = false;	// the segment went straight into the path
			if (!(c < 0 || c == '/' || (special && c == '\\') || (override == at_none && (c == '?' || c == '#')))) {
				long run = takerun(in, i, n, pathbyte);
				if (run == i) {
					if (!urlunit(in + i, end))
						invalid(r, "invalid-URL-unit");
					encode(&buf, in + i, 1, pathset);
					break;
				}
				// Most segments are one such run, and neither a dot
				// segment nor a drive letter: they go into the path as
				// they stand, and the byte that ends them is taken now.
				int next = run < n ? static_cast<unsigned char>(in[run]) : -1;
				size_t seglen = static_cast<size_t>(run - i);
				if (buf.n > 0 || (seglen <= 6 && (in[i] == '.' || in[i] == '%')) || (seglen == 2 && u->path.n == 0) ||
				    !(next < 0 || next == '/' || (special && next == '\\') ||
				      (override == at_none && (next == '?' || next == '#')))) {
					add(&buf, in + i, seglen);
					i = run - 1;
					break;
				}
				addc(&u->path, '/');
				add(&u->path, in + i, seglen);
				written = true;
				i = run;
				c = next;
			}
			bool slash = c == '/' || (special && c == '\\');
			if (special && c == '\\')
				invalid(r, "invalid-reverse-solidus");
			// "%2e" for a dot: others keep such a segment as it stands,
			// and a server that decodes it later sees "..".
			int dotted = written ? 0 : dots(&buf);
			if (dotted > 0 && findc(text(&buf), '%') != nullptr)
				invalid(r, "dot-segment-percent-encoded");
			if (dotted == 2) {
				shorten(u);
				if (!slash)
					addc(&u->path, '/');
			} else if (dotted == 1) {
				if (!slash)
					addc(&u->path, '/');
			} else if (!written) {
				if (u->path.n == 0 && buf.n == 2 && same(&u->scheme, "file") && drive(text(&buf), buf.n, false))
					buf.p[1] = ':';
				segment(&u->path, &buf);
			}
			clear(&buf);
			if (c == '?' || c == '#')
				st = begin(u, c);
			break;
		}
		case at_opaquepath:
			if (c == '?' || c == '#') {
				st = begin(u, c);
			} else if (c == ' ') {
				invalid(r, "invalid-URL-unit");
				addz(&u->path, byteis(in, n, i + 1, '?') || byteis(in, n, i + 1, '#') ? "%20" : " ");
			} else if (c >= 0) {
				if (!urlunit(in + i, end))
					invalid(r, "invalid-URL-unit");
				encode(&u->path, in + i, 1, c0set);
			}
			break;
		case at_query:
			// Each byte encoded as it comes, straight into the query:
			// the encoding is a byte's own, whatever stands around it.
			if ((override == at_none && c == '#') || c < 0) {
				if (c == '#')
					st = begin(u, c);
			} else {
				i = takeinto(&u->query, in, i, n, special ? specialquerybyte : querybyte,
					     special ? specialqueryset : queryset, r);
			}
			break;
		case at_fragment:
			if (c >= 0)
				i = takeinto(&u->fragment, in, i, n, fragmentbyte, fragmentset, r);
			break;
		}
		if (i >= n)
			break;
	}
	goto done;
failed:
	ok = false;
	if (r->failure == nullptr)
		r->failure = "failure";
done:
	// A buffer that could not grow held part of what it was given: a
	// host made of it would be another host. Nothing made of it stands.
	if (buf.bad)
		ok = lacking(r, &buf);
	buf.room = nullptr;
	if (buf.cap > 65536)
		release(&buf);
	return ok;
}

// The input as the parser takes it: UTF-8, with U+FFFD for what is not;
// with no C0 control or space at either end, for a new URL; and with no
// tab or newline. Made in one copy, edited in place, as a copy can be
// three times the input.
static bool prepare(const char *in, size_t n, bool trim, str *out, report *r)
{
	if (!fixutf8(in, n, out))
		invalid(r, "not-UTF-8");
	if (out->bad)
		return false;
	char *p = out->p;
	size_t s = 0, e = out->n, at = 0;
	if (trim) {
		while (s < e && static_cast<unsigned char>(p[s]) <= 0x20)
			s++;
		while (e > s && static_cast<unsigned char>(p[e - 1]) <= 0x20)
			e--;
		if (s != 0 || e != out->n)
			invalid(r, "invalid-URL-unit");
	}
	for (; s < e; s++)
		if (p[s] == '\t' || p[s] == '\n' || p[s] == '\r')
			invalid(r, "invalid-URL-unit");
		else
			p[at++] = p[s];
	out->n = at;
	if (p != nullptr)
		p[at] = '\0';
	return true;
}

// Whether n bytes need nothing of prepare: none below 0x20 or above 0x7F,
// looked for eight at a time (a byte below 0x20 borrows once 0x20 is
// taken from each), the last eight overlapping those before; and neither
// end a space. None at all needs nothing either.
static bool plainascii(const char *in, size_t n)
{
	if (n == 0)
		return true;
	if (static_cast<unsigned char>(in[0]) <= 0x20 || static_cast<unsigned char>(in[n - 1]) <= 0x20)
		return false;
	if (n < 8) {
		for (size_t i = 0; i < n; i++)
			if (static_cast<unsigned char>(in[i]) < 0x20 || static_cast<unsigned char>(in[i]) >= 0x80)
				return false;
		return true;
	}
	for (size_t i = 0;; i += 8) {
		if (i + 8 > n)
			i = n - 8;
		uint64_t w = loadword(in + i);
		if (((w - 0x20 * byteones) | w) & 0x8080808080808080ULL)
			return false;
		if (i + 8 == n)
			return true;
	}
}

bool run(const char *in, size_t n, const url *base, url *u, state override, report *r)
{
	// Most input needs nothing changed, and is parsed as it stands.
	if (plainascii(in, n))
		return machine(in, n, base, u, override, r);
	str s = {};
	s.room = u->most != 0 ? &u->room : nullptr;
	bool ok = prepare(in, n, override == at_none, &s, r);
	if (!ok)
		lacking(r, &s);
	else
		ok = machine(text(&s), s.n, base, u, override, r);
	release(&s);
	return ok;
}

void checkfile(const url *u, report *r)
{
	// A file URL whose host is empty and whose path starts with an empty
	// segment, "file:////x", however it was made: readers that take
	// "//x" as an authority find the host x in it.
	if (u->host.n == 0 && u->path.n >= 2 && u->path.p[0] == '/' && u->path.p[1] == '/' &&
	    same(&u->scheme, "file"))
		invalid(r, "file-host-empty-extra-solidus");
}

bool parseurl(const char *input, size_t n, const url *base, url *u, report *r)
{
	// Emptied, its memory kept for the next URL, as a line mode parses
	// one after another.
	str *parts[] = {&u->scheme, &u->username, &u->password, &u->host, &u->path, &u->query, &u->fragment};
	// Within a bound, a part that a long URL made large is given back,
	// and what the rest keep is counted against it.
	size_t *room = u->most != 0 ? &u->room : nullptr, held = 0;
	for (str *s : parts) {
		clear(s);
		s->bad = s->over = false;
		s->room = room;
		held += s->cap;
	}
	if (room != nullptr && held > 65536) {
		held = 0;
		for (str *s : parts) {
			if (s->cap > 65536) {
				release(s);
				s->room = room;
			}
			held += s->cap;
		}
	}
	u->room = held < u->most ? u->most - held : 0;
	u->host_type = nohost;
	u->port = -1;
	u->opaque = u->hasquery = u->hasfragment = false;
	bool ok = run(input, n, base, u, at_none, r);
	for (str *s : parts)
		if (s->bad)
			return lacking(r, s);
	if (ok)
		checkfile(u, r);
	return ok;
}

void serialize(const url *u, str *out)
{
	add(out, text(&u->scheme), u->scheme.n);
	addc(out, ':');
	if (u->host_type != nohost) {
		addz(out, "//");
		if (credentials(u)) {
			add(out, text(&u->username), u->username.n);
			if (u->password.n > 0) {
				addc(out, ':');
				add(out, text(&u->password), u->password.n);
			}
			addc(out, '@');
		}
		add(out, text(&u->host), u->host.n);
		if (u->port >= 0) {
			addc(out, ':');
			addnum(out, static_cast<unsigned long>(u->port), 10);
		}
	} else if (!u->opaque && u->path.n >= 2 && u->path.p[0] == '/' && u->path.p[1] == '/') {
		addz(out, "/.");
	}
	add(out, text(&u->path), u->path.n);
	if (u->hasquery) {
		addc(out, '?');
		add(out, text(&u->query), u->query.n);
	}
	if (u->hasfragment) {
		addc(out, '#');
		add(out, text(&u->fragment), u->fragment.n);
	}
}
