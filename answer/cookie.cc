// A Set-Cookie header line, checked against RFC 6265 and RFC 7230 and the
// rules that browsers keep for a cookie's prefix and for SameSite=None.
#include <cstring>

#include "answer.h"

const char cookieusage[] =
	"usage: setcookie [-p PATH] [-d DOMAIN] [-m MAX-AGE] [-s] [-h] [-S Strict|Lax|None] name value";

// RFC 7230's tchar.
static bool tchar(unsigned char c)
{
	return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
	       (c != 0 && strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

// RFC 6265's cookie-octet, but for '%', which is written as an escape too,
// so that every value comes back from its escapes as it was.
static bool octet(unsigned char c)
{
	return c > 0x20 && c < 0x7F && c != '"' && c != ',' && c != ';' && c != '\\' && c != '%';
}

// An attribute's value goes into the header as it is: it may hold no
// control byte, which could end the line, and no ';', which would start
// another attribute.
static bool attribute(const char *s)
{
	for (; *s != '\0'; s++)
		if (static_cast<unsigned char>(*s) < 0x20 || *s == 0x7F || *s == ';')
			return false;
	return true;
}

// A Domain that a host can match: one that holds a blank, ':', '*' or any
// other byte that no host name has is dropped by browsers, or matches
// nothing. Bytes above ASCII are an international name's, which browsers
// map to its ASCII form.
static bool hostname(const char *s)
{
	if (*s == '\0')
		return false;
	for (; *s != '\0'; s++) {
		unsigned char c = static_cast<unsigned char>(*s);
		if (!(c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
		      (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.'))
			return false;
	}
	return true;
}

// The prefix in any case, as browsers now match it.
static bool prefixed(const char *name, const char *prefix)
{
	for (; *prefix != '\0'; name++, prefix++)
		if ((*name | 0x20) != (*prefix | 0x20) || *name == '\0')
			return false;
	return true;
}

// Each piece of the line is counted, and copied where out is not null, by
// the same call, so that the room that cookielen counts is the room that
// setcookie fills: at is where the piece goes, and the result is where
// the next one does.
static size_t put(char *out, size_t at, const char *s)
{
	size_t n = strlen(s);
	if (out != nullptr)
		memcpy(out + at, s, n);
	return at + n;
}

// The value, each byte outside octet as '%' and two hex digits.
static size_t putvalue(char *out, size_t at, const char *s)
{
	static const char hex[] = "0123456789ABCDEF";
	for (; *s != '\0'; s++) {
		unsigned char b = static_cast<unsigned char>(*s);
		if (octet(b)) {
			if (out != nullptr)
				out[at] = *s;
			at++;
		} else {
			if (out != nullptr) {
				out[at] = '%';
				out[at + 1] = hex[b >> 4];
				out[at + 2] = hex[b & 15];
			}
			at += 3;
		}
	}
	return at;
}

const char *cookieoptions(int argc, char *const argv[], cookie *c)
{
	*c = {};
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		if (strcmp(argv[i], "--") == 0) {
			i++;
			break;
		}
		for (const char *o = argv[i] + 1; *o != '\0'; o++) {
			if (*o == 's' || *o == 'h') {
				(*o == 's' ? c->secure : c->httponly) = true;
				continue;
			}
			const char **to = *o == 'p' ? &c->path : *o == 'd' ? &c->domain :
					  *o == 'm' ? &c->maxage : *o == 'S' ? &c->samesite : nullptr;
			if (to == nullptr)
				return cookieusage;
			*to = o[1] != '\0' ? o + 1 : i + 1 < argc ? argv[++i] : nullptr;
			if (*to == nullptr)
				return cookieusage;
			break;
		}
	}
	if (i != argc - 2)
		return cookieusage;
	c->name = argv[i];
	c->value = argv[i + 1];

	if (*c->name == '\0')
		return "the name is empty";
	for (const char *s = c->name; *s != '\0'; s++)
		if (!tchar(static_cast<unsigned char>(*s)))
			return "the name is not an RFC 7230 token";
	// A name is not decoded where it comes back, so that an escape cannot
	// make it another cookie's: "__Host%2Dsid" is not "__Host-sid".
	if (strchr(c->name, '%') != nullptr)
		return "a name may hold no '%', as names are not decoded where they come back";
	if (strlen(c->name) + putvalue(nullptr, 0, c->value) > 4096)
		return "the name and the encoded value are over 4096 bytes, or browsers drop the cookie";
	if ((c->path != nullptr && !attribute(c->path)) || (c->domain != nullptr && !attribute(c->domain)))
		return "a path or domain may hold no control byte and no ';'";
	if ((c->path != nullptr && strlen(c->path) > 1024) ||
	    (c->domain != nullptr && strlen(c->domain) > 1024))
		return "a path or domain is over 1024 bytes, or browsers ignore it";
	if (c->domain != nullptr && !hostname(c->domain))
		return "a domain is a host name: letters, digits, '-', '_' and '.'";
	if (c->maxage != nullptr) {
		const char *m = c->maxage + (*c->maxage == '-');
		size_t digits = strspn(m, "0123456789");
		if (digits == 0 || m[digits] != '\0' || digits > 18)
			return "Max-Age is not an integer";
	}
	if (c->samesite != nullptr && strcmp(c->samesite, "Strict") != 0 &&
	    strcmp(c->samesite, "Lax") != 0 && strcmp(c->samesite, "None") != 0)
		return "SameSite is Strict, Lax or None";
	if (c->samesite != nullptr && strcmp(c->samesite, "None") == 0 && !c->secure)
		return "SameSite=None needs -s (Secure), or browsers drop the cookie";
	if (prefixed(c->name, "__Host-Http-") &&
	    (!c->secure || !c->httponly || c->path == nullptr || strcmp(c->path, "/") != 0 ||
	     c->domain != nullptr))
		return "a __Host-Http- cookie needs -s, -h and -p /, and no -d, or browsers drop it";
	if (prefixed(c->name, "__Http-") && (!c->secure || !c->httponly))
		return "a __Http- cookie needs -s and -h, or browsers drop it";
	if (prefixed(c->name, "__Host-") &&
	    (!c->secure || c->path == nullptr || strcmp(c->path, "/") != 0 || c->domain != nullptr))
		return "a __Host- cookie needs -s and -p /, and no -d, or browsers drop it";
	if (prefixed(c->name, "__Secure-") && !c->secure)
		return "a __Secure- cookie needs -s, or browsers drop it";
	return nullptr;
}

static size_t putline(char *out, const cookie *c)
{
	size_t at = put(out, put(out, put(out, 0, "Set-Cookie: "), c->name), "=");
	at = putvalue(out, at, c->value);
	if (c->path != nullptr)
		at = put(out, put(out, at, "; Path="), c->path);
	if (c->domain != nullptr)
		at = put(out, put(out, at, "; Domain="), c->domain);
	if (c->maxage != nullptr)
		at = put(out, put(out, at, "; Max-Age="), c->maxage);
	if (c->secure)
		at = put(out, at, "; Secure");
	if (c->httponly)
		at = put(out, at, "; HttpOnly");
	if (c->samesite != nullptr)
		at = put(out, put(out, at, "; SameSite="), c->samesite);
	return at;
}

size_t cookielen(const cookie *c)
{
	return putline(nullptr, c);
}

char *setcookie(char *out, const cookie *c)
{
	out += putline(out, c);
	*out = '\0';
	return out;
}
