// httphead: read a response's head as curl -D or curl -i writes it, the
// last of its heads, and print its status or one field's value, with no
// newline; or with -t, one field's value by its grammar.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "httpjob.h"
#include "lines.h"
#include "text.h"
#include "urlcode.h"

int main(int argc, char **argv)
{
	headjob j;
	httpout o = {};
	jsonbuf out = {};
	const char *why = headoptions(argc, argv, &j);
	// The process ends here, and its memory with it.
	if (why == nullptr && j.lines)
		return headeach(&j, nullptr, lineprogram);
	if (why == nullptr)
		why = headrun(&j, nullptr, &o);
	if (why == nullptr && o.bad)
		why = "cannot allocate the result";
	if (why == nullptr)
		why = headprint(&j, &o, &out);
	// Straight to the file: the one write there is needs no stream.
	if (why == nullptr && !writeall(1, out.p, out.n))
		why = strerror(errno);
	if (why != nullptr) {
		saytext("httphead", why);
		return 1;
	}
	return 0;
}
