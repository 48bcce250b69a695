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

// The prefix in any case, as browsers now match it.
static bool prefixed(const char *name, const char *prefix)
{
	for (; *prefix != '\0'; name++, prefix++)
		if ((*name | 0x20) != (*prefix | 0x20) || *name == '\0')
			return false;
	return true;
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
	if ((c->path != nullptr && !attribute(c->path)) || (c->domain != nullptr && !attribute(c->domain)))
		return "a path or domain may hold no control byte and no ';'";
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
	if (prefixed(c->name, "__Host-") &&
	    (!c->secure || c->path == nullptr || strcmp(c->path, "/") != 0 || c->domain != nullptr))
		return "a __Host- cookie needs -s and -p /, and no -d, or browsers drop it";
	if (prefixed(c->name, "__Secure-") && !c->secure)
		return "a __Secure- cookie needs -s, or browsers drop it";
	return nullptr;
}

static char *put(char *out, const char *s)
{
	size_t n = strlen(s);
	memcpy(out, s, n);
	return out + n;
}

size_t cookielen(const cookie *c)
{
	size_t n = strlen("Set-Cookie: =") + strlen(c->name);
	for (const char *s = c->value; *s != '\0'; s++)
		n += octet(static_cast<unsigned char>(*s)) ? 1u : 3u;
	const char *attr[] = {c->path, c->domain, c->maxage, c->samesite};
	for (const char *a : attr)
		if (a != nullptr)
			n += strlen("; Max-Age=") + strlen(a);
	return n + strlen("; Secure; HttpOnly");
}

char *setcookie(char *out, const cookie *c)
{
	static const char hex[] = "0123456789ABCDEF";
	out = put(put(put(out, "Set-Cookie: "), c->name), "=");
	for (const char *s = c->value; *s != '\0'; s++) {
		unsigned char b = static_cast<unsigned char>(*s);
		if (octet(b)) {
			*out++ = *s;
		} else {
			*out++ = '%';
			*out++ = hex[b >> 4];
			*out++ = hex[b & 15];
		}
	}
	if (c->path != nullptr)
		out = put(put(out, "; Path="), c->path);
	if (c->domain != nullptr)
		out = put(put(out, "; Domain="), c->domain);
	if (c->maxage != nullptr)
		out = put(put(out, "; Max-Age="), c->maxage);
	if (c->secure)
		out = put(out, "; Secure");
	if (c->httponly)
		out = put(out, "; HttpOnly");
	if (c->samesite != nullptr)
		out = put(put(out, "; SameSite="), c->samesite);
	*out = '\0';
	return out;
}
