// The URL class's components: each getter, and each setter, which runs
// the parser from the state that the component starts in.
#include <cstring>

#include "intern.h"

const char *const components[] = {"href", "origin", "protocol", "username", "password", "host",
				  "hostname", "port", "pathname", "search", "hash", nullptr};
// Their places there.
enum { hrefat, originat, protocolat, usernameat, passwordat, hostat, hostnameat, portat, pathnameat, searchat, hashat };
static_assert(sizeof components / sizeof *components == hashat + 2, "a place for each component");

long componentno(const char *name, size_t n)
{
	for (long k = 0; components[k] != nullptr; k++)
		if (length(components[k]) == n && samebytes(components[k], name, n))
			return k;
	return -1;
}

static void portout(long port, str *out)
{
	addnum(out, static_cast<unsigned long>(port), 10);
}

// A tuple origin for the schemes that have one, and "null", an opaque
// origin, for the rest; a blob: URL's is that of the URL in its path.
static void origin(const url *u, str *out)
{
	const char *s = text(&u->scheme);
	if (samestr(s, "blob")) {
		str p = {};
		url in;
		urlinit(&in);
		report r = {};
		add(&p, text(&u->path), u->path.n);
		bool ok = parseurl(text(&p), p.n, nullptr, &in, &r) &&
			  (samestr(text(&in.scheme), "http") || samestr(text(&in.scheme), "https"));
		if (ok)
			origin(&in, out);
		else
			addz(out, "null");
		urlfree(&in);
		release(&p);
		return;
	}
	static const char *const tuple[] = {"ftp", "http", "https", "ws", "wss", nullptr};
	for (const char *const *t = tuple; *t != nullptr; t++) {
		if (samestr(s, *t)) {
			addz(out, s);
			addz(out, "://");
			add(out, text(&u->host), u->host.n);
			if (u->port >= 0) {
				addc(out, ':');
				portout(u->port, out);
			}
			return;
		}
	}
	addz(out, "null");
}

bool urlget(const url *u, const char *name, str *out)
{
	long k = componentno(name, length(name));
	return k >= 0 && urlgetno(u, static_cast<size_t>(k), out);
}

bool urlgetno(const url *u, size_t k, str *out)
{
	switch (k) {
	case hrefat:
		serialize(u, out);
		break;
	case originat:
		origin(u, out);
		break;
	case protocolat:
		add(out, text(&u->scheme), u->scheme.n);
		addc(out, ':');
		break;
	case usernameat:
		add(out, text(&u->username), u->username.n);
		break;
	case passwordat:
		add(out, text(&u->password), u->password.n);
		break;
	case hostat:
	case hostnameat:
		add(out, text(&u->host), u->host.n);
		if (k == hostat && u->host_type != nohost && u->port >= 0) {
			addc(out, ':');
			portout(u->port, out);
		}
		break;
	case portat:
		if (u->port >= 0)
			portout(u->port, out);
		break;
	case pathnameat:
		add(out, text(&u->path), u->path.n);
		break;
	case searchat:
	case hashat: {
		const str *s = k == searchat ? &u->query : &u->fragment;
		if (s->n > 0) {
			addc(out, k == searchat ? '?' : '#');
			add(out, text(s), s->n);
		}
		break;
	}
	default:
		return false;
	}
	return true;
}

// A URL that cannot have a username, password or port: no host, an
// empty one, or a file: URL.
static bool bare(const url *u)
{
	return u->host_type == nohost || u->host_type == emptyhost || samestr(text(&u->scheme), "file");
}

bool urlset(url *u, const char *name, const char *value, size_t n, report *r)
{
	str v = {};
	const char *s = value;

	if (samestr(name, "href")) {
		url to;
		urlinit(&to);
		if (!parseurl(value, n, nullptr, &to, r)) {
			urlfree(&to);
			return false;
		}
		urlfree(u);
		*u = to;
	} else if (samestr(name, "protocol")) {
		add(&v, value, n);
		addc(&v, ':');
		run(text(&v), v.n, nullptr, u, at_schemestart, r);
	} else if (samestr(name, "username") || samestr(name, "password")) {
		if (!bare(u)) {
			str *to = name[0] == 'u' ? &u->username : &u->password;
			fixutf8(value, n, &v);
			clear(to);
			encode(to, text(&v), v.n, userinfoset);
		}
	} else if (samestr(name, "host") || samestr(name, "hostname")) {
		if (!u->opaque)
			run(value, n, nullptr, u, name[4] == '\0' ? at_host : at_hostname, r);
	} else if (samestr(name, "port")) {
		if (bare(u))
			;
		else if (n == 0)
			u->port = -1;
		else
			run(value, n, nullptr, u, at_port, r);
	} else if (samestr(name, "pathname")) {
		if (!u->opaque) {
			clear(&u->path);
			run(value, n, nullptr, u, at_pathstart, r);
		}
	} else if (samestr(name, "search") || samestr(name, "hash")) {
		bool search = name[0] == 's';
		str *to = search ? &u->query : &u->fragment;
		bool *has = search ? &u->hasquery : &u->hasfragment;
		clear(to);
		*has = n > 0;
		if (n > 0) {
			if (*s == (search ? '?' : '#')) {
				s++;
				n--;
			}
			run(s, n, nullptr, u, search ? at_query : at_fragment, r);
		}
	} else {
		return false;
	}
	checkfile(u, r);
	release(&v);
	return true;
}
