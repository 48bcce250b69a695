// urlparse: take a URL apart, or resolve it against a base, as browsers
// do, and print it or some of its components, with no newline; or with -l
// or -z, each record of standard input.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lines.h"
#include "steps.h"
#include "urlcode.h"

// Through fprintf, a fortified call, as Debian's hardening checks look
// for one in each program that reads, as this one does in its line mode.
static int die(const char *what, const char *why)
{
	fprintf(stderr, "urlparse: %s%s%s\n", what, why != nullptr ? ": " : "", why != nullptr ? why : "");
	return 1;
}

// The line mode's job, and its base, parsed once.
struct each {
	job *j;
	const url *base;
	url u;
	str why, got;
};

static const char *record(void *arg, char *rec, size_t n, lineout *out)
{
	each *e = static_cast<each *>(arg);
	clear(&e->why);
	clear(&e->got);
	bool ok = urlinput(e->j, rec, n, e->base, &e->u, &e->why);
	if (ok)
		urlprint(e->j, &e->u, &e->got);
	if (ok && !e->got.bad)
		lineadd(out, text(&e->got), e->got.n);
	return !ok ? text(&e->why) : e->got.bad ? "cannot allocate the result" : nullptr;
}

int main(int argc, char **argv)
{
	job j;
	str why = {}, out = {};
	url u;

	urlinit(&u);
	const char *bad = urloptions(argc, argv, &j, &why);
	// The process ends here, and its memory with it.
	if (bad != nullptr)
		return die(bad, nullptr);
	if (j.lines) {
		url base;
		urlinit(&base);
		if (!urlbase(&j, &base, &why))
			return die(text(&why), nullptr);
		each e = {&j, j.base != nullptr ? &base : nullptr, {}, {}, {}};
		urlinit(&e.u);
		return eachline("urlparse", j.sep, record, &e);
	}
	if (!urlrun(&j, &u, &why))
		return die(text(&why), nullptr);
	urlprint(&j, &u, &out);
	if (out.bad || why.bad)
		return die("cannot allocate the result", nullptr);
	fwrite(text(&out), 1, out.n, stdout);
	if (!written())
		return die("write error", strerror(errno));
	return 0;
}
