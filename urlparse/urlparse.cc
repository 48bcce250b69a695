// urlparse: take a URL apart, or resolve it against a base, as browsers
// do, and print it or one of its components, with no newline.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "steps.h"
#include "urlcode.h"

static void say(const char *s)
{
	fwrite(s, 1, length(s), stderr);
}

static int die(const char *what, const char *why)
{
	say("urlparse: ");
	say(what);
	if (why != nullptr) {
		say(": ");
		say(why);
	}
	say("\n");
	return 1;
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
	if (!urlrun(&j, &u, &why))
		return die(text(&why), nullptr);
	urlget(&u, j.get != nullptr ? j.get : "href", &out);
	if (out.bad || why.bad)
		return die("cannot allocate the result", nullptr);
	fwrite(text(&out), 1, out.n, stdout);
	if (!written())
		return die("write error", strerror(errno));
	return 0;
}
