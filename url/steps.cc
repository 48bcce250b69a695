// A run of urlparse from its command line to its result, shared by the
// program and the shell builtin, which differ only in how they end.
#include <cstdlib>
#include <cstring>

#include "intern.h"
#include "lines.h"
#include "steps.h"

const char urlusage[] = "usage: urlparse [-b BASE] [-s] [-r] [-g COMPONENT]... [-S COMPONENT=VALUE]... URL";

const char *urloptions(int argc, char *const argv[], job *j, str *why)
{
	*j = {};
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		if (samestr(argv[i], "--")) {
			i++;
			break;
		}
		for (const char *o = argv[i] + 1; *o != '\0'; o++) {
			if (*o == 's' || *o == 'r') {
				(*o == 's' ? j->strict : j->target) = true;
				continue;
			}
			const char *clash = nullptr;
			if (lineswitch(*o, &j->lines, &j->sep, &clash)) {
				if (clash != nullptr)
					return clash;
				continue;
			}
			if (findc("bgS", *o) == nullptr) {
				addz(why, "-");
				addc(why, *o);
				addz(why, ": no such option; ");
				addz(why, urlusage);
				return text(why);
			}
			const char *arg = o[1] != '\0' ? o + 1 : i + 1 < argc ? argv[++i] : nullptr;
			if (arg == nullptr) {
				addz(why, "-");
				addc(why, *o);
				addz(why, ": option requires an argument");
				return text(why);
			}
			const char *eq = *o == 'S' ? findc(arg, '=') : nullptr;
			if (*o == 'b') {
				j->base = arg;
			} else if (*o == 'g' ? componentno(arg, length(arg)) < 0 :
				   eq == nullptr || componentno(arg, static_cast<size_t>(eq - arg)) < 0 ||
				   (eq - arg == 6 && samebytes(arg, "origin", 6))) {
				addz(why, *o == 'g' ? "-g " : "-S ");
				addz(why, arg);
				addz(why, *o == 'g' ? ": not a component" : ": not a component that can be set, =, and a value");
				return text(why);
			} else if (*o == 'g') {
				if (j->gets == nullptr &&
				    (j->gets = static_cast<size_t *>(malloc(static_cast<size_t>(argc) * sizeof *j->gets))) == nullptr)
					return "cannot allocate the command line";
				j->gets[j->ngets++] = static_cast<size_t>(componentno(arg, length(arg)));
			} else {
				if (j->sets == nullptr &&
				    (j->sets = static_cast<const char **>(malloc(static_cast<size_t>(argc) * sizeof *j->sets))) == nullptr)
					return "cannot allocate the command line";
				j->sets[j->nsets++] = arg;
			}
			break;
		}
	}
	if (i != argc - (j->lines ? 0 : 1))
		return urlusage;
	if (j->target && j->base == nullptr)
		return "-r reads a request's target on the origin that -b gives";
	j->input = j->lines ? nullptr : argv[i];
	return nullptr;
}

void jobfree(job *j)
{
	free(j->gets);
	free(j->sets);
}

bool urlprint(const job *j, const url *u, str *out, size_t most)
{
	if (j->ngets == 0)
		urlgetno(u, 0, out);	// the href
	for (size_t i = 0; i < j->ngets && out->n <= most; i++) {
		if (i > 0)
			addc(out, '\t');
		urlgetno(u, j->gets[i], out);
	}
	return out->n <= most;
}

// What was given, on one line whatever it holds: a control byte as \xXX;
// and past some 800 bytes cut, on a character's boundary, with "...", so
// that what is wrong, which follows it, always fits a message's line.
static void shown(str *out, const char *s, size_t n)
{
	size_t at = out->n;
	for (size_t i = 0; i < n; i++) {
		unsigned char c = static_cast<unsigned char>(s[i]);
		if (out->n - at >= 800 && (c & 0xC0) != 0x80) {
			addz(out, "...");
			return;
		}
		if (c < 0x20 || c == 0x7F) {
			char b[4] = {'\\', 'x', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
			add(out, b, 4);
		} else {
			addc(out, s[i]);
		}
	}
}

// "WHAT: NAME", or false where the parse went well enough. Strict, the
// first error found names it, even where the parse went on to fail: input
// that is not UTF-8 is refused as such, whatever U+FFFD made of the rest.
static bool failed(const char *what, size_t n, bool ok, bool strict, const report *r, str *why)
{
	const char *name = strict && r->error != nullptr ? r->error : !ok ? r->failure : nullptr;
	if (name == nullptr)
		return false;
	shown(why, what, n);
	addz(why, ": ");
	addz(why, name);
	if (r->detail != nullptr && samestr(name, "domain-to-ASCII")) {
		addz(why, " (");
		addz(why, r->detail);
		addc(why, ')');
	}
	return true;
}

bool urlbase(const job *j, url *base, str *why)
{
	report r = {};
	bool ok = j->base == nullptr || parseurl(j->base, length(j->base), nullptr, base, &r);
	return !failed(j->base != nullptr ? j->base : "", j->base != nullptr ? length(j->base) : 0, ok, j->strict, &r,
		       why);
}

// A request line's target, as RFC 9112 section 3.2 has a server read it,
// made into the URL to parse, on the origin of base. Origin-form ("/p?q")
// is the path and query as they stand, never a reference to resolve:
// "//evil.example/x" is a path on the origin's host. Asterisk-form ("*")
// and authority-form ("host:port") have no path. Absolute-form is a URL
// of its own. Null, with why set, for none of them; and with strict, for
// a target that readers take apart in different ways: an empty segment,
// which some read as a host, and a fragment, which no client sends. The
// URL parser's own strict errors name the rest (a backslash, dots that
// are percent-encoded, bytes that are not UTF-8).
static const char *target(const job *j, const char *input, size_t n, const url *base, str *made, str *why)
{
	const char *name = nullptr;
	size_t scheme = 0;
	while (scheme < n && (alpha(input[scheme]) || (scheme > 0 && (digit(input[scheme]) ||
					findc("+-.", input[scheme]) != nullptr))))
		scheme++;
	size_t colon = 0;
	while (colon < n && input[colon] != ':' && input[colon] != '/')
		colon++;
	bool port = colon + 1 < n && input[colon] == ':';
	for (size_t i = colon + 1; port && i < n; i++)
		port = digit(input[i]);
	if (n > 0 && input[0] == '/') {
		size_t path = 0;
		while (path < n && input[path] != '?' && input[path] != '#')
			path++;
		for (size_t i = 0; j->strict && name == nullptr && i + 1 < path; i++)
			if (input[i] == '/' && input[i + 1] == '/')
				name = "request-target-empty-segment";
		if (j->strict && name == nullptr && path < n && input[path] == '#')
			name = "request-target-fragment";
		urlget(base, "origin", made);
		add(made, input, n);
	} else if (n == 1 && input[0] == '*') {
		urlget(base, "origin", made);
	} else if (port && colon > 0) {
		urlget(base, "protocol", made);
		addz(made, "//");
		add(made, input, n);
	} else if (scheme > 0 && scheme < n && input[scheme] == ':') {
		add(made, input, n);
		return text(made);
	} else {
		name = "request-target-none-of-its-forms";
	}
	if (name == nullptr)
		return text(made);
	shown(why, input, n);
	addz(why, ": ");
	addz(why, name);
	return nullptr;
}

bool urlinput(const job *j, const char *input, size_t n, const url *base, url *u, str *why)
{
	report r = {};
	str made = {};
	// A target is made a URL of its own, parsed against nothing.
	const char *parse = j->target ? target(j, input, n, base, &made, why) : input;
	if (parse == nullptr) {
		release(&made);
		return false;
	}
	// A failure names what was given, the target, not what was made of it.
	bool ok = parseurl(parse, j->target ? made.n : n, j->target ? nullptr : base, u, &r);
	bool bad = failed(input, n, ok, j->strict, &r, why);
	release(&made);
	for (size_t i = 0; !bad && i < j->nsets; i++) {
		const char *eq = findc(j->sets[i], '=');
		char name[16] = "";	// a component's name, which fits, and the copy is checked
		for (const char *c = j->sets[i]; c < eq; c++)
			name[c - j->sets[i]] = *c;
		r = {};
		ok = urlset(u, name, eq + 1, length(eq + 1), &r);
		bad = failed(j->sets[i], length(j->sets[i]), ok, j->strict, &r, why);
	}
	return !bad;
}

bool urlrun(const job *j, url *u, str *why)
{
	url base;
	urlinit(&base);
	bool ok = urlbase(j, &base, why) &&
		  urlinput(j, j->input, length(j->input), j->base != nullptr ? &base : nullptr, u, why);
	urlfree(&base);
	return ok;
}

// The line mode's job, and its base, parsed once.
struct each {
	const job *j;
	const url *base;
	url u;
	str why;
};

// What taking a record's URL apart may hold, its mended copy and its
// parts together: with the record, the loop's own and a result of 1 MiB,
// the line mode stays under 4 MiB whatever the input.
enum { parsemost = 3 << 19 };

static const char *record(void *arg, char *rec, size_t n, lineout *out)
{
	each *e = static_cast<each *>(arg);
	clear(&e->why);
	if (!urlinput(e->j, rec, n, e->base, &e->u, &e->why))
		return text(&e->why);
	// The result is made where it is written, in the loop's own room,
	// which holds 1 MiB and cannot grow: past it, the string is over.
	char *at = lineroom(out, resultmax);
	if (at == nullptr)
		return "cannot allocate the result";
	size_t none = 0;
	str got = {at, 0, resultmax + 1, false, false, &none};
	if (!urlprint(e->j, &e->u, &got, resultmax) || got.over)
		return "a result over 1 MiB";
	out->n += got.n;
	return nullptr;
}

int urleach(const job *j, linereader *rd, linesay *say)
{
	url base;
	urlinit(&base);
	each e = {j, j->base != nullptr ? &base : nullptr, {}, {}};
	urlinit(&e.u);
	e.u.most = parsemost;
	int status = 1;
	if (!urlbase(j, &base, &e.why))
		say("urlparse", text(&e.why));
	else
		status = eachline("urlparse", j->sep, record, &e, rd, say);
	urlfree(&base);
	urlfree(&e.u);
	release(&e.why);
	return status;
}
