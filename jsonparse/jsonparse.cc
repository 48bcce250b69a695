// jsonparse: read one JSON text, strictly, from the argument or from
// standard input as a stream, and print the value that a pointer names,
// with no newline; or with -l or -z, each record of standard input as a
// text (JSON Lines), and the values that some pointers name.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "json.h"
#include "lines.h"
#include "text.h"
#include "urlcode.h"

// The result is held until the text has been read whole and found good,
// so that a refused text prints nothing; but a result over 1 MiB is
// written as it is made, so that memory stays small whatever the text.
static jsonbuf held;
static bool streaming, failed;

static bool out(void *, const char *s, size_t n)
{
	if (!streaming && held.n + n <= (1u << 20)) {
		jsonadd(&held, s, n);
		return !held.bad;
	}
	if (!streaming && held.n > 0 && fwrite(held.p, 1, held.n, stdout) != held.n)
		return !(failed = true);
	streaming = true;
	return fwrite(s, 1, n, stdout) == n || !(failed = true);
}

// The reader holds a piece of a value: zeroed, and no page of it touched
// before it is used.
static json reader;

int main(int argc, char **argv)
{
	jsonjob job;
	const char *why = jsonoptions(argc, argv, &job);
	json *j = &reader;
	if (why == nullptr && job.lines)
		return jsoneach(&job, nullptr, lineprogram);
	if (why == nullptr) {
		if (job.text != nullptr)
			jsonmem(j, job.text, strlen(job.text), job.strict);
		else
			jsonstream(j, 0, nullptr, ~0ULL, job.strict);
		why = jsonget(j, job.pointer, job.what, out, nullptr);
		if (why == nullptr && !streaming && held.n > 0 && fwrite(held.p, 1, held.n, stdout) != held.n)
			failed = true;
		if (failed)
			why = strerror(errno);
	}
	// The process ends here, and its memory with it.
	if (why == nullptr && !written())
		why = strerror(errno);
	if (why != nullptr) {
		saytext("jsonparse", why);
		return 1;
	}
	return 0;
}
