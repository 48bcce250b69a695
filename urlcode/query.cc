// Query strings, "k=v&k2=v2" as a form sends them, taken apart a field at
// a time, each half decoded as one argument is.
#include <cstdio>
#include <cstring>

#include "urlcode.h"

// One half of a field, the n bytes at s, decoded by decode's steps in buf.
// Most often there is no step but the decoding itself, taken in one pass.
static const char *half(char *buf, const char *s, size_t n, bool blanks, bool escape, bool plus,
			decoding how)
{
	if (!blanks && !escape) {
		if (how == fixedarith)
			decodeinto(buf, s, n, plus);
		else
			pctdecodeinto(buf, s, n, plus, how == lenientpct);
		return buf;
	}
	memcpy(buf, s, n);
	buf[n] = '\0';
	return decodeas(buf, blanks, escape, plus, how, nullptr);
}

// Each half is decoded into buf; the key's result ends
// within twice its length, so the value goes just after that, and both
// fit in the room that escaping the whole field would take. A field with
// no '=' has nothing to decode for its value. Only the field itself is
// scanned, for its '&' and then its '=', so a whole query string takes
// linear time.
bool nextfield(const char **q, char *buf, bool blanks, bool escape,
	       const char **key, const char **value, decoding how)
{
	const char *f = *q + strspn(*q, "&");
	size_t len = strcspn(f, "&");

	*q = f + len;
	if (len == 0)
		return false;
	const char *eq = static_cast<const char *>(memchr(f, '=', len));
	size_t klen = eq != nullptr ? static_cast<size_t>(eq - f) : len;
	size_t vlen = eq != nullptr ? len - klen - 1 : 0;

	*key = half(buf, f, klen, blanks, escape, true, how);
	if (eq == nullptr) {
		*value = "";
		return true;
	}
	*value = half(buf + 2 * klen + 1, eq + 1, vlen, blanks, escape, true, how);
	return true;
}

static bool cookieblank(char c)
{
	return c == ' ' || c == '\t';
}

bool nextcookie(const char **h, char *buf, bool blanks, bool escape,
		const char **key, const char **value, decoding how)
{
	const char *f, *eq;
	size_t len;

	do {
		if (**h == '\0')
			return false;
		f = *h + strspn(*h, " \t");
		len = strcspn(f, ";");
		*h = f + len + (f[len] == ';');
		while (len > 0 && cookieblank(f[len - 1]))
			len--;
		eq = static_cast<const char *>(memchr(f, '=', len));
	} while (eq == nullptr);

	size_t klen = static_cast<size_t>(eq - f), vlen = len - klen - 1;
	const char *v = eq + 1;
	while (klen > 0 && cookieblank(f[klen - 1]))
		klen--;
	while (vlen > 0 && cookieblank(*v)) {
		v++;
		vlen--;
	}
	if (vlen >= 2 && v[0] == '"' && v[vlen - 1] == '"') {
		v++;
		vlen -= 2;
	}
	// The name stays as its bytes stand: decoded, "__Host%2Dsid" would
	// shadow "__Host-sid", whose prefix the browser checked, and which it
	// sends after the other.
	memcpy(buf, f, klen);
	buf[klen] = '\0';
	if (escape)
		escape_shell_cmd(buf);
	*key = buf;
	*value = half(buf + 2 * klen + 1, v, vlen, blanks, escape, false, how);
	return true;
}

void fieldcount(const char *q, char sep, size_t *n, unsigned long long *bytes)
{
	*n = 0;
	*bytes = 0;
	for (const char *f = q; *f != '\0';) {
		size_t len = strcspn(f, sep == ';' ? ";" : "&");
		const char *eq = static_cast<const char *>(memchr(f, '=', len));
		// A field that nextfield or nextcookie takes: any but an empty
		// one, and of a cookie's, one with a '='.
		if (sep == '&' ? len > 0 : eq != nullptr) {
			++*n;
			*bytes += len - (eq != nullptr ? 1 : 0);
		}
		f += len + (f[len] != '\0');
	}
}

const char *overlimit(size_t n, unsigned long long bytes, unsigned long long most, unsigned long long maxbytes,
		      char *msg, size_t size)
{
	if (n > most)
		snprintf(msg, size, "more than %llu fields; -n raises the limit", most);
	else if (bytes > maxbytes)
		snprintf(msg, size, "more than %llu bytes of names and values; -m raises the limit", maxbytes);
	else
		return nullptr;
	return msg;
}
