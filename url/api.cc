// The URL class's components: each getter, and each setter, which runs
// the parser from the state that the component starts in.
#include <cstdio>
#include <cstring>

#include "intern.h"

const char *const components[] = {"href", "origin", "protocol", "username", "password", "host",
				  "hostname", "port", "pathname", "search", "hash", nullptr};

static void portout(long port, str *out)
{
	char b[24];
	snprintf(b, sizeof b, "%ld", port);
	addz(out, b);
}

// A tuple origin for the schemes that have one, and "null", an opaque
// origin, for the rest; a blob: URL's is that of the URL in its path.
static void origin(const url *u, str *out)
{
	const char *s = text(&u->scheme);
	if (strcmp(s, "blob") == 0) {
		str p = {};
		url in;
		urlinit(&in);
		report r = {};
		add(&p, text(&u->path), u->path.n);
		bool ok = parseurl(text(&p), p.n, nullptr, &in, &r) &&
			  (strcmp(text(&in.scheme), "http") == 0 || strcmp(text(&in.scheme), "https") == 0);
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
		if (strcmp(s, *t) == 0) {
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
	if (strcmp(name, "href") == 0) {
		serialize(u, out);
	} else if (strcmp(name, "origin") == 0) {
		origin(u, out);
	} else if (strcmp(name, "protocol") == 0) {
		add(out, text(&u->scheme), u->scheme.n);
		addc(out, ':');
	} else if (strcmp(name, "username") == 0) {
		add(out, text(&u->username), u->username.n);
	} else if (strcmp(name, "password") == 0) {
		add(out, text(&u->password), u->password.n);
	} else if (strcmp(name, "host") == 0 || strcmp(name, "hostname") == 0) {
		add(out, text(&u->host), u->host.n);
		if (name[4] == '\0' && u->host_type != nohost && u->port >= 0) {
			addc(out, ':');
			portout(u->port, out);
		}
	} else if (strcmp(name, "port") == 0) {
		if (u->port >= 0)
			portout(u->port, out);
	} else if (strcmp(name, "pathname") == 0) {
		add(out, text(&u->path), u->path.n);
	} else if (strcmp(name, "search") == 0 || strcmp(name, "hash") == 0) {
		const str *s = name[0] == 's' ? &u->query : &u->fragment;
		if (s->n > 0) {
			addc(out, name[0] == 's' ? '?' : '#');
			add(out, text(s), s->n);
		}
	} else {
		return false;
	}
	return true;
}

// A URL that cannot have a username, password or port: no host, an
// empty one, or a file: URL.
static bool bare(const url *u)
{
	return u->host_type == nohost || u->host_type == emptyhost || strcmp(text(&u->scheme), "file") == 0;
}

bool urlset(url *u, const char *name, const char *value, size_t n, report *r)
{
	str v = {};
	const char *s = value;

	if (strcmp(name, "href") == 0) {
		url to;
		urlinit(&to);
		if (!parseurl(value, n, nullptr, &to, r)) {
			urlfree(&to);
			return false;
		}
		urlfree(u);
		*u = to;
	} else if (strcmp(name, "protocol") == 0) {
		add(&v, value, n);
		addc(&v, ':');
		run(text(&v), v.n, nullptr, u, at_schemestart, r);
	} else if (strcmp(name, "username") == 0 || strcmp(name, "password") == 0) {
		if (!bare(u)) {
			str *to = name[0] == 'u' ? &u->username : &u->password;
			fixutf8(value, n, &v);
			clear(to);
			encode(to, text(&v), v.n, userinfoset);
		}
	} else if (strcmp(name, "host") == 0 || strcmp(name, "hostname") == 0) {
		if (!u->opaque)
			run(value, n, nullptr, u, name[4] == '\0' ? at_host : at_hostname, r);
	} else if (strcmp(name, "port") == 0) {
		if (bare(u))
			;
		else if (n == 0)
			u->port = -1;
		else
			run(value, n, nullptr, u, at_port, r);
	} else if (strcmp(name, "pathname") == 0) {
		if (!u->opaque) {
			clear(&u->path);
			run(value, n, nullptr, u, at_pathstart, r);
		}
	} else if (strcmp(name, "search") == 0 || strcmp(name, "hash") == 0) {
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
	release(&v);
	return true;
}
