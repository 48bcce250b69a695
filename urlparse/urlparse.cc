// urlparse: take a URL apart, or resolve it against a base, as browsers
// do, and print it or one of its components, with no newline.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "steps.h"
#include "urlcode.h"

[[noreturn]] static void die(const char *what, const char *why)
{
	fprintf(stderr, "urlparse: %s%s%s\n", what, why != nullptr ? ": " : "", why != nullptr ? why : "");
	exit(1);
}

int main(int argc, char **argv)
{
	job j;
	str why = {}, out = {};
	url u;

	urlinit(&u);
	const char *bad = urloptions(argc, argv, &j, &why);
	if (bad != nullptr)
		die(bad, nullptr);
	if (!urlrun(&j, &u, &why))
		die(text(&why), nullptr);
	urlget(&u, j.get != nullptr ? j.get : "href", &out);
	if (out.bad || why.bad)
		die("cannot allocate the result", nullptr);
	fwrite(text(&out), 1, out.n, stdout);
	if (!written())
		die("write error", strerror(errno));
	release(&out);
	urlfree(&u);
	jobfree(&j);
	return 0;
}
